#include "settings/SettingsDiff.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace zefirel {

namespace {

const char* const CAR_TEXT_NAMES[] = {"make", "model", "capacity", "power", "year", "injectors", "flow"};
static_assert(std::size(CAR_TEXT_NAMES) == static_cast<size_t>(ECarText::Count));

bool sameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

void addNumber(std::vector<SettingChange>& out, const std::string& name, double a, double b) {
    if (sameNumber(a, b))
        return;
    out.push_back({name, formatSettingNumber(a), formatSettingNumber(b)});
}

void addText(std::vector<SettingChange>& out, const std::string& name, const std::string& a, const std::string& b) {
    if (a != b)
        out.push_back({name, quoted(a), quoted(b)});
}

} // namespace

std::string formatSettingNumber(double v) {
    if (std::isnan(v))
        return "nan";
    char buf[64];
    for (int precision = 6; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v)
            break;
    }
    return buf;
}

std::vector<SettingChange> settingsChanges(const CSettingsBlock& before, const CSettingsBlock& after) {
    std::vector<SettingChange> out;
    std::vector<SettingInfo> infos(settingInfos().begin(), settingInfos().end());
    std::sort(infos.begin(), infos.end(), [](const SettingInfo& a, const SettingInfo& b) { return a.offset < b.offset; });
    for (const SettingInfo& info : infos)
        addNumber(out, info.name, before.value(info.id), after.value(info.id));
    for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i)
        addNumber(out, "timeCorrection[" + std::to_string(i) + "]", before.timeCorrection(i), after.timeCorrection(i));
    addText(out, "remarks", before.remarks(), after.remarks());
    for (size_t t = 0; t < static_cast<size_t>(ECarText::Count); ++t)
        addText(out, CAR_TEXT_NAMES[t], before.carText(static_cast<ECarText>(t)), after.carText(static_cast<ECarText>(t)));
    return out;
}

std::string formatChanges(const std::vector<SettingChange>& changes) {
    std::string text;
    for (const SettingChange& c : changes)
        text += c.name + ": " + c.before + " → " + c.after + "\n";
    return text;
}

} // namespace zefirel
