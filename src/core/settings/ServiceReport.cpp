#include "settings/ServiceReport.h"


#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "diag/DiagUnits.h"
#include "diag/Recording.h"
#include "link/FeatureTexts.h"
#include "link/LPGDevice.h"
#include "map/MapWrite.h"
#include "map/TimeCorrections.h"
#include "settings/DevSetupRules.h"
#include "settings/VersionRecord.h"
#include "support/Error.h"

namespace zefirel {

namespace {

/// Labels in the order of ESetting.
constexpr SettingLabel LABELS[] = {
    {"Obroty automatycznego przejścia na LPG", "obr/min"},
    {"Temperatura automatycznego przejścia na LPG", "°C"},
    {"Ilość zapłonów na cykl", ""},
    {"Minimalne napięcie zasilania", "V"},
    {"Maksymalna temperatura wewnętrzna", "°C"},
    {"Główna poprawka", "ms"},
    {"Główna poprawka 2", "ms"},
    {"Nachylenie korekcji ciśnienia", ""},
    {"Referencja ciśnienia", "kPa"},
    {"Opóźnienie kolejnej części emulatora", "wtrysków"},
    {"Ciśnienie przełączenia na benzynę", "kPa"},
    {"Opóźnienie ograniczenia napięcia wtryskiwaczy", "ms"},
    {"Ograniczenie napięcia wtryskiwaczy do", "%"},
    {"Opóźnienie przełączenia na LPG", "s"},
    {"Uśrednianie ciśnienia po", "obrotach"},
    {"Temperatura włączenia zaworu wody", "°C"},
    {"Temperatura wyłączenia zaworu wody", "°C"},
    {"Referencja napięcia zasilania", "V"},
    {"Poprawka napięciowa", "ms/100mV"},
    {"Wtryskiwacze z główną poprawką 2", ""},
    {"Korekcje w użyciu", ""},
    {"Typ wtryskiwaczy LPG", ""},
    {"Sposób wtrysku benzyny", ""},
    {"Przełącz na AUTO gdy temperatura LPG spadnie poniżej 3 st.C", ""},
};
static_assert(std::size(LABELS) == static_cast<size_t>(ESetting::Count));

constexpr const char* CAR_LABELS[] = {"Marka pojazdu",  "Model",      "Pojemność silnika", "Moc [KM]",
                                      "Rok produkcji", "Zamontowane wtryskiwacze", "Skalibrowane na wydatek"};

} // namespace

std::string reportNumber(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    std::string s = buf;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    if (s == "-0")
        s = "0";
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

namespace {

std::string withUnit(double v, const char* unit) {
    return *unit ? reportNumber(v) + " " + unit : reportNumber(v);
}

/// The packed settings in the words of the settings dialog: injector numbers, the
/// corrections in use, the injector type's name, the sequence and the check box,
/// instead of the bytes that hold them. False for a setting that is a number.
bool namedSettingText(ESetting id, double value, const CSettingsBlock& block, std::string& out) {
    const auto bits = static_cast<uint8_t>(value);
    const auto join = [](const std::vector<std::string>& parts, const char* none) {
        std::string s;
        for (const std::string& p : parts)
            s += (s.empty() ? "" : ", ") + p;
        return s.empty() ? std::string(none) : s;
    };
    switch (id) {
    case ESetting::correction2Injectors: {
        std::vector<std::string> injectors;
        const std::array<bool, 8> on = unpackInjectorMask(bits);
        for (size_t i = 0; i < on.size(); ++i)
            if (on[i])
                injectors.push_back(std::to_string(i + 1));
        out = join(injectors, "żaden");
        return true;
    }
    case ESetting::optionFlags: {
        std::vector<std::string> used;
        if (bits & OPTION_FLAG_TIME_CORRECTIONS)
            used.emplace_back("krzywa korekcji czasu wtrysku");
        if (bits & OPTION_MAP_IN_USE)
            used.emplace_back("mapa wtrysków");
        // Bits this program does not set are carried as the controller holds them.
        if (const unsigned other = bits & ~unsigned(OPTION_FLAG_TIME_CORRECTIONS | OPTION_MAP_IN_USE)) {
            char buf[48];
            std::snprintf(buf, sizeof buf, "inne opcje sterownika (0x%02X)", other);
            used.emplace_back(buf);
        }
        out = join(used, "brak");
        return true;
    }
    case ESetting::lpgInjectorType:
        // Without the controller's list of types the type follows from the voltage-limit values.
        if (block.featureMask() & FEATURE_LPG_INJECTOR_TYPES) {
            const LpgInjectorType* type = lpgInjectorTypeOfCode(bits);
            out = type ? type->name : LPG_INJECTOR_OTHER;
        } else {
            out = lpgInjectorTypeFromValues(block.value(ESetting::voltageLimit), block.value(ESetting::voltageLimitDelay));
        }
        return true;
    case ESetting::petrolInjectionType:
        switch (sequenceTypeOf(bits)) {
        case ESequenceType::Full: out = "Pełna sekwencja"; break;
        case ESequenceType::Half: out = "Półsekwencja"; break;
        case ESequenceType::Non: out = "Niesekwencja"; break;
        }
        if (bits & 0x01)
            out += ", wtryskiwacze benzynowe załączane sygnałem 12 V";
        return true;
    case ESetting::auxOption:
        out = (bits & 0x01) ? "tak" : "nie";
        return true;
    default:
        return false;
    }
}

std::string nowText() {
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M", &local);
    return buf;
}

std::string statText(const RangeStat& s, const char* unit, int decimals) {
    if (s.count == 0)
        return "—";
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.*f / %.*f / %.*f %s", decimals, s.min, decimals, s.mean, decimals, s.max, unit);
    std::string out = buf;
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
}

} // namespace

void RangeStat::add(double v) {
    if (count == 0) {
        min = max = v;
    } else {
        min = std::min(min, v);
        max = std::max(max, v);
    }
    mean += v;
    ++count;
}

void RangeStat::finish() {
    if (count)
        mean /= static_cast<double>(count);
}

SettingLabel settingLabel(ESetting id) { return LABELS[static_cast<size_t>(id)]; }

std::vector<ReportLine> settingLines(const CSettingsBlock& block) {
    std::vector<ReportLine> out;
    // The factory values on this controller (its feature record names the injector types).
    CSettingsBlock factory = block;
    for (const SettingInfo& info : settingInfos())
        factory.setValue(info.id, info.defaultValue);
    for (const SettingInfo& info : settingInfos()) {
        const SettingLabel l = settingLabel(info.id);
        ReportLine line;
        line.label = l.label;
        const double v = block.value(info.id);
        line.value = withUnit(v, l.unit);
        line.factory = withUnit(info.defaultValue, l.unit);
        if (namedSettingText(info.id, v, block, line.value))
            namedSettingText(info.id, info.defaultValue, factory, line.factory);
        // Values are stored as doubles of whole ticks and codes: a thousandth apart is a change.
        line.changed = std::fabs(v - info.defaultValue) > 1e-6;
        out.push_back(line);
    }
    return out;
}

std::vector<ReportLine> carLines(const CSettingsBlock& block) {
    std::vector<ReportLine> out;
    for (size_t i = 0; i < static_cast<size_t>(ECarText::Count); ++i) {
        ReportLine line;
        line.label = CAR_LABELS[i];
        line.value = block.carText(static_cast<ECarText>(i));
        out.push_back(line);
    }
    return out;
}

RecordingSummary summariseRecording(const std::string& path, uint32_t featureMask) {
    (void)featureMask;
    CRecordingReader reader;
    if (!reader.open(path))
        raiseError(ERROR_FILE_OPEN, MSG_RECORDING_OPEN, __LINE__, __FILE__);
    RecordingSummary s;
    s.path = path;
    CDiag d;
    while (reader.read(d)) {
        ++s.samples;
        (d.workState() == WORK_STATE_PETROL ? s.petrolSamples : s.lpgSamples)++;
        s.rpm.add(engineSpeed(d));
        s.petrolMs.add(petrolMs(d));
        if (d.workState() != WORK_STATE_PETROL)
            s.lpgMs.add(lpgMs(d));
        s.heaterC.add(heaterTemperature(d));
        s.lpgC.add(lpgTemperature(d));
        s.internalC.add(internalTemperature(d));
    }
    s.lines = reader.stats();
    requireRecords(path, s.lines);
    for (RangeStat* r : {&s.rpm, &s.petrolMs, &s.lpgMs, &s.heaterC, &s.lpgC, &s.internalC})
        r->finish();
    s.events = findRecordingEvents(path).events;
    return s;
}

bool recordingReadable(const std::string& path, std::string& why) {
    CRecordingReader reader;
    if (!reader.open(path)) {
        why = std::string(MSG_RECORDING_OPEN) + ": " + path;
        return false;
    }
    // A file that opens but holds no whole record is refused as well.
    if (CDiag d; reader.read(d))
        return true;
    why = recordingRefusalText(path, reader.stats());
    return false;
}

ServiceReportData gatherServiceReport(CLPGDevice& dev, const std::string& recording, const ReportProgress& progress) {
    ServiceReportData r;
    r.date = nowText();
    const auto step = [&](int percent, const char* what) {
        if (progress)
            progress(percent, what);
    };
    step(0, "Wersja sterownika...");
    // Each part is either read now or left out: after a failed read the device's
    // block holds what an earlier read or the factory left there, not the controller's.
    const auto readOr = [&r](bool read, const char* missing) {
        if (!read)
            r.problems.push_back(missing);
        return read;
    };
    uint8_t record[VERSION_RECORD_SIZE] = {};
    r.versionRead = readOr(dev.readVersion(record), MSG_REPORT_NO_VERSION);
    r.programmingDate = r.versionRead ? formatProgrammingDate(getU16(record)) : MSG_REPORT_NOT_READ;
    step(15, "Ustawienia...");
    r.settingsRead = readOr(dev.readSettings(), MSG_REPORT_NO_SETTINGS);
    step(35, "Krzywa korekcji czasu wtrysku...");
    r.curveRead = readOr(dev.readTimeCorrections(), MSG_REPORT_NO_CURVE);
    step(50, "Mapa wtrysków...");
    r.mapRead = readOr(readMapBytes(dev, r.map), MSG_REPORT_NO_MAP);
    if (!r.mapRead)
        r.map = emptyMap();
    step(75, "Kody błędów...");
    uint8_t errors[ERROR_REPORT_SIZE] = {};
    r.errorsRead = readOr(dev.readErrors(errors), MSG_REPORT_NO_ERRORS);
    if (r.errorsRead) {
        r.errors = dev.describeReport(errors);
        if (r.errors.empty())
            r.errors = MSG_REPORT_ERRORS_NONE;
    } else {
        r.errors = MSG_REPORT_NO_ERRORS;
    }
    const CSettingsBlock& b = dev.settings();
    r.identity = b.identity();
    r.version = b.versionMark();
    r.injectors = b.injectorCount();
    r.featureMask = b.featureMask();
    r.features = featureDescriptions(r.featureMask);
    // The car texts are the workshop's (the PC's car data), not read from the controller.
    r.car = carLines(b);
    if (r.settingsRead) {
        r.settings = settingLines(b);
        const auto options = static_cast<uint8_t>(b.value(ESetting::optionFlags));
        r.curveInUse = (options & OPTION_FLAG_TIME_CORRECTIONS) != 0;
        r.mapInUse = (options & OPTION_MAP_IN_USE) != 0;
    }
    if (r.curveRead)
        for (size_t i = 0; i < r.curve.size(); ++i)
            r.curve[i] = b.timeCorrection(i);
    if (!recording.empty()) {
        step(85, "Nagranie...");
        try {
            r.recording = summariseRecording(recording, r.featureMask);
            r.check = checkRecording(recording);
            r.check.samples = r.recording.samples;
            r.haveRecording = true;
        } catch (IError* e) {
            // The file that cannot be opened, or the refusal of one without a record.
            const auto owned = adoptError(e);
            r.recordingProblem = e->detail() == MSG_RECORDING_OPEN ? e->detail() + ": " + recording : e->detail();
            r.problems.push_back(r.recordingProblem);
        }
    }
    step(100, "Gotowe");
    return r;
}

std::string serviceReportText(const ServiceReportData& r) {
    std::string s = "Raport serwisowy — " + r.date + "\n\n";
    // The first page's summary first, then the details.
    const ReportSummary summary = summariseReport(r);
    s += summary.verdict.headline + "\n  " + summary.verdict.reason + "\n\nWykonane prace\n";
    for (const std::string& line : summary.workDone)
        s += "  " + line + "\n";
    s += "\nNajważniejsze wyniki\n";
    for (const std::string& line : summary.findings)
        s += "  " + line + "\n";
    s += "\nSterownik\n";
    s += "  Identyfikator: " + r.identity + "\n";
    s += "  Wersja: " + std::to_string(r.version) + ", wtryskiwaczy: " + std::to_string(r.injectors) + "\n";
    s += "  Data programowania: " + r.programmingDate + "\n";
    for (const std::string& f : r.features)
        s += "  " + f + "\n";
    s += "\nSamochód\n";
    for (const ReportLine& l : r.car)
        s += "  " + l.label + ": " + l.value + "\n";
    s += "\nUstawienia (* — inne niż fabryczne)\n";
    if (!r.settingsRead)
        s += std::string("  ") + MSG_REPORT_NO_SETTINGS + "\n";
    for (const ReportLine& l : r.settings)
        s += std::string(l.changed ? "* " : "  ") + l.label + ": " + l.value +
             (l.changed ? " (fabrycznie " + l.factory + ")" : "") + "\n";
    s += "\n" + curveTitle(r) + "\n ";
    if (!r.curveRead)
        s += std::string(" ") + MSG_REPORT_NO_CURVE + "\n";
    for (size_t i = 0; r.curveRead && i < r.curve.size(); ++i)
        s += " " + std::to_string(i) + " ms: " + reportNumber(r.curve[i]) + "%" + (i + 1 < r.curve.size() ? "," : "\n");
    if (r.mapRead) {
        int cells = 0;
        for (uint8_t b : r.map)
            cells += b != MAP_NO_CORRECTION;
        s += "\n" + mapTitle(r) + ": komórek z poprawką " + std::to_string(cells) + "\n";
    } else {
        s += "\n" + mapTitle(r) + "\n  " + MSG_REPORT_NO_MAP + "\n";
    }
    s += "\nKody błędów\n  " + r.errors + "\n";
    if (!r.recordingProblem.empty())
        s += "\nNagranie\n  " + r.recordingProblem + "\n";
    if (r.haveRecording) {
        const RecordingSummary& m = r.recording;
        s += "\nNagranie " + m.path + "\n";
        s += "  Próbek: " + std::to_string(m.samples) + " (benzyna " + std::to_string(m.petrolSamples) + ", LPG " +
             std::to_string(m.lpgSamples) + ")\n";
        s += "  " + recordingStatsText(m.lines) + "\n";
        s += "  Obroty (min / średnio / maks): " + statText(m.rpm, "obr/min", 0) + "\n";
        s += "  Czas wtrysku benzyny: " + statText(m.petrolMs, "ms", 2) + "\n";
        s += "  Czas wtrysku LPG: " + statText(m.lpgMs, "ms", 2) + "\n";
        s += "  Temperatura reduktora: " + statText(m.heaterC, "°C", 0) + "\n";
        s += "  Temperatura LPG: " + statText(m.lpgC, "°C", 0) + "\n";
        s += "  Temperatura sterownika: " + statText(m.internalC, "°C", 0) + "\n";
        s += "  " + checkVerdictText(r.check) + "\n";
    }
    return s;
}

std::string curveTitle(const ServiceReportData& r) {
    // Whether a part is in use is known only from settings that were read.
    return std::string("Krzywa korekcji czasu wtrysku") + (r.settingsRead && !r.curveInUse ? " (nieużywana)" : "");
}

std::string mapTitle(const ServiceReportData& r) {
    return std::string("Mapa wtrysków") + (r.settingsRead && !r.mapInUse ? " (nieużywana)" : "");
}

} // namespace zefirel
