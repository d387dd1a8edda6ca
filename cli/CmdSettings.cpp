// zefirelctl settings get | set NAME=VALUE ...: the controller's settings record
// (export, import and factory are in CmdSettingsFiles.cpp).

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <utility>

#include "CmdSettings.h"
#include "CtlCli.h"
#include "link/SettingsBlock.h"

namespace zefirel::ctl {

namespace {

/// Unit shown after each value in text output.
const char* unitOf(ESetting id) {
    switch (id) {
    case ESetting::switchSpeed: return " 1/min";
    case ESetting::switchTemperature:
    case ESetting::maxInternalTemperature:
    case ESetting::waterValveOnTemperature:
    case ESetting::waterValveOffTemperature: return " °C";
    case ESetting::minSupplyVoltage:
    case ESetting::referenceVoltage: return " V";
    case ESetting::mainCorrection:
    case ESetting::mainCorrection2:
    case ESetting::voltageLimitDelay: return " ms";
    case ESetting::referencePressure:
    case ESetting::petrolSwitchPressure: return " kPa";
    case ESetting::voltageLimit: return " %";
    case ESetting::lpgSwitchDelay: return " s";
    case ESetting::voltageCorrection: return " ms/100mV";
    default: return "";
    }
}

/// The settings values in the order of the settings record.
std::vector<SettingInfo> inRecordOrder() {
    std::vector<SettingInfo> infos(settingInfos().begin(), settingInfos().end());
    std::sort(infos.begin(), infos.end(), [](const SettingInfo& a, const SettingInfo& b) { return a.offset < b.offset; });
    return infos;
}

/// Parses NAME=VALUE. Whole numbers for the byte and integer values, any finite
/// number for the others. False with a reason when the word is not valid.
bool parseAssignment(const std::string& word, std::pair<ESetting, double>& out, std::string& error) {
    const size_t eq = word.find('=');
    if (eq == std::string::npos || eq == 0) {
        error = "oczekiwano NAZWA=WARTOŚĆ, podano " + word;
        return false;
    }
    const std::string name = word.substr(0, eq), text = word.substr(eq + 1);
    ESetting id;
    if (!findSetting(name, id)) {
        error = "nieznane ustawienie " + name;
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v)) {
        error = "nieprawidłowa liczba dla " + name + ": " + text;
        return false;
    }
    const ESettingKind kind = settingInfo(id).kind;
    if (kind != ESettingKind::Double) {
        const bool whole = v == std::trunc(v);
        const bool fits = kind == ESettingKind::U8 ? (v >= 0 && v <= 255) : (v >= -2147483648.0 && v <= 2147483647.0);
        if (!whole || !fits) {
            error = name + (kind == ESettingKind::U8 ? " przyjmuje liczbę całkowitą od 0 do 255" : " przyjmuje liczbę całkowitą");
            return false;
        }
    }
    out = {id, v};
    return true;
}

void printSettings(CCtlContext& ctx, const CSettingsBlock& blk) {
    const std::vector<SettingInfo> infos = inRecordOrder();
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject();
        for (const SettingInfo& info : infos)
            w.key(info.name).value(blk.value(info.id));
        w.endObject();
        ctx.json(w);
        return;
    }
    for (const SettingInfo& info : infos)
        ctx.out(std::string(info.name) + ": " + formatNumber(blk.value(info.id)) + unitOf(info.id));
}

int printNames(CCtlContext& ctx) {
    for (const SettingInfo& info : inRecordOrder())
        ctx.out(info.name);
    return EXIT_OK;
}

int runGet(CCtlContext& ctx) {
    if (const int rc = readControllerSettings(ctx, false); rc != EXIT_OK)
        return rc;
    printSettings(ctx, ctx.device().settings());
    return EXIT_OK;
}

int runSet(CCtlContext& ctx, const std::vector<std::string>& words) {
    std::vector<std::pair<ESetting, double>> changes;
    for (const std::string& word : words) {
        std::pair<ESetting, double> change;
        std::string error;
        if (!parseAssignment(word, change, error))
            return ctx.usageError(error);
        changes.push_back(change);
    }
    // The write needs the car data; refuse before anything is sent, as the program does.
    if (!ctx.options().haveCar) {
        return ctx.carDataNeeded(MSG_WRITE_NEEDS_CAR_DATA);
    }
    if (const int rc = readControllerSettings(ctx, false); rc != EXIT_OK)
        return rc;
    CDeviceDoc& dev = ctx.device();
    SettingsWriteRequest request;
    request.wanted = dev.settings();
    for (const auto& [id, v] : changes)
        request.wanted.setValue(id, v);
    request.source = EWriteSource::CommandLine;
    if (const int rc = commitRequest(ctx, std::move(request), false, false); rc != EXIT_OK)
        return rc;
    // Show what the controller keeps now (values snap to its units).
    if (!dev.readSettings()) {
        ctx.message(MSG_SETTINGS_READ_FAILED);
        return EXIT_FAILED;
    }
    printSettings(ctx, dev.settings());
    return EXIT_OK;
}

CtlRunner declareSettings(CLI::App& cmd) {
    cmd.require_subcommand(1);
    auto o = std::make_shared<SettingsFileOptions>();
    auto assignments = std::make_shared<std::vector<std::string>>();
    CLI::App* get = cmd.add_subcommand("get", "print every settings value by name");
    CLI::App* set = cmd.add_subcommand("set", "change values, check the record, write it (needs --car)");
    set->add_option("ASSIGNMENT", *assignments, "NAME=VALUE: a setting by its name and its new value")->required();
    CLI::App* exportFile = cmd.add_subcommand("export", "the controller's settings as a car settings file (needs --car)");
    exportFile->add_option("FILE", o->file, "the car settings file to write")->required();
    CLI::App* importFile = cmd.add_subcommand("import", "a car settings file into the controller");
    importFile->add_option("FILE", o->file, "the car settings file to read")->required();
    importFile->add_flag("--dry-run", o->dryRun, "print the changes, write nothing")->disable_flag_override();
    CLI::App* factory = cmd.add_subcommand("factory", "print the changes the factory record makes");
    factory->add_flag("--yes", o->yes, "and write it (needs --car)")->disable_flag_override();
    // Hidden (no group): the names "settings set" takes, one a line, for Tab completion.
    CLI::App* names = cmd.add_subcommand("names", "the names of the settings values")->group("");
    return [=](CCtlContext& ctx) {
        if (names->parsed())
            return printNames(ctx);
        if (get->parsed())
            return runGet(ctx);
        if (set->parsed())
            return runSet(ctx, *assignments);
        if (exportFile->parsed())
            return runSettingsExport(ctx, *o);
        return importFile->parsed() ? runSettingsImport(ctx, *o) : runSettingsFactory(ctx, *o);
    };
}

const CCtlRegistration reg{{"settings",
                            "settings get | set NAME=VALUE ... | export FILE | import FILE [--dry-run] | factory [--yes]",
                            "read the settings; change, check and write them (writes need --car); car settings "
                            "files; the factory record",
                            declareSettings}};

} // namespace

} // namespace zefirel::ctl
