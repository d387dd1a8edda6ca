// The service report's content as the pages draw it: the packed settings in the
// settings dialog's words, the rows the grids keep, and the first page's verdict,
// work and findings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "settings/DevSetupRules.h"
#include "settings/ServiceReport.h"

using namespace zefirel;

namespace {

const ReportLine& lineOf(const std::vector<ReportLine>& lines, const std::string& label) {
    static const ReportLine none;
    const auto it = std::find_if(lines.begin(), lines.end(), [&](const ReportLine& l) { return l.label == label; });
    return it == lines.end() ? none : *it;
}

bool has(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

/// A report of a controller read whole, its map with one cell in use.
ServiceReportData readReport() {
    ServiceReportData r;
    r.versionRead = r.settingsRead = r.curveRead = r.mapRead = r.errorsRead = true;
    r.settings = settingLines(CSettingsBlock());
    r.errors = MSG_REPORT_ERRORS_NONE;
    r.map[20 * MAP_COLUMNS + 3] = 110;
    r.mapInUse = true;
    return r;
}

/// A check with one judged cell per given row (column 2) in the given state.
void judge(ServiceReportData& r, int row, ECheckCell state, double difference) {
    r.haveRecording = true;
    r.recording.path = "/dane/jazda.lpgd";
    CheckCell& c = r.check.cells[row][2];
    c.state = state;
    c.difference = difference;
    (state == ECheckCell::Pass ? r.check.passed : state == ECheckCell::Fail ? r.check.failed : r.check.tooFew)++;
}

} // namespace

TEST(ServiceReport, PackedSettingsAreNamedAsTheSettingsDialogNamesThem) {
    CSettingsBlock block;
    uint8_t features[20] = {};
    const uint32_t mask = FEATURE_LPG_INJECTOR_TYPES;
    std::memcpy(features, &mask, sizeof mask);
    block.setFeatures(features);
    block.setValue(ESetting::correction2Injectors, 0x05);
    block.setValue(ESetting::optionFlags, 0x03);
    block.setValue(ESetting::lpgInjectorType, 5);
    block.setValue(ESetting::petrolInjectionType, 0x03);
    block.setValue(ESetting::auxOption, 0);
    const std::vector<ReportLine> lines = settingLines(block);
    struct Case {
        const char* label;
        const char* value;
        const char* factory;
    } cases[] = {
        {"Wtryskiwacze z główną poprawką 2", "1, 3", "żaden"},
        {"Korekcje w użyciu", "krzywa korekcji czasu wtrysku, mapa wtrysków", "brak"},
        {"Typ wtryskiwaczy LPG", "MATRIX", "VALTEK 3.5R"},
        {"Sposób wtrysku benzyny", "Półsekwencja, wtryskiwacze benzynowe załączane sygnałem 12 V", "Pełna sekwencja"},
        {"Przełącz na AUTO gdy temperatura LPG spadnie poniżej 3 st.C", "nie", "tak"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ReportLine& l = lineOf(lines, c.label);
        EXPECT_EQ(l.value, c.value);
        EXPECT_EQ(l.factory, c.factory);
        EXPECT_TRUE(l.changed);
    }
    for (const ReportLine& l : lines) {
        EXPECT_EQ(l.label.find("maska"), std::string::npos) << l.label;
        EXPECT_EQ(l.label.find("kod"), std::string::npos) << l.label;
    }
    // Without the controller's list of types, the type follows from the voltage-limit values.
    CSettingsBlock plain;
    plain.setValue(ESetting::lpgInjectorType, 5);
    plain.setValue(ESetting::voltageLimit, 35);
    plain.setValue(ESetting::voltageLimitDelay, 2);
    EXPECT_EQ(lineOf(settingLines(plain), "Typ wtryskiwaczy LPG").value, "MATRIX");
    plain.setValue(ESetting::voltageLimit, 40);
    EXPECT_EQ(lineOf(settingLines(plain), "Typ wtryskiwaczy LPG").value, LPG_INJECTOR_OTHER);
}

TEST(ServiceReport, TheGridsKeepOnlyRowsWithACorrectionOrADrivenCell) {
    ServiceReportData r = readReport();
    EXPECT_EQ(reportGridRows(r), std::vector<int>{20});
    judge(r, 33, ECheckCell::Pass, 1.0);
    judge(r, 7, ECheckCell::TooFew, 0);
    EXPECT_EQ(reportGridRows(r), (std::vector<int>{7, 20, 33}));
    // Parts not read or not chosen bring no rows of their own.
    r.mapRead = false;
    EXPECT_EQ(reportGridRows(r), (std::vector<int>{7, 33}));
    r.haveRecording = false;
    EXPECT_TRUE(reportGridRows(r).empty());
}

TEST(ServiceReport, TheFirstPageGivesTheVerdictWhatWasDoneAndTheFindings) {
    struct Case {
        const char* what;
        ECheckCell state;  // of the one judged cell; Empty: no recording
        bool errors;
        EReportTone tone;
        const char* headline;
    } cases[] = {
        {"no recording", ECheckCell::Empty, false, EReportTone::Neutral, "Ustawień nie sprawdzono na jeździe"},
        {"too little driven", ECheckCell::TooFew, false, EReportTone::Neutral, "Za mało danych do oceny ustawień"},
        {"a pass", ECheckCell::Pass, false, EReportTone::Good, "Ustawienia poprawne"},
        {"a pass, errors stored", ECheckCell::Pass, true, EReportTone::Bad, "Sterownik zgłasza błędy"},
        {"a failing cell", ECheckCell::Fail, false, EReportTone::Bad, "Ustawienia wymagają poprawy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceReportData r = readReport();
        if (c.state != ECheckCell::Empty) {
            judge(r, 24, c.state, c.state == ECheckCell::Fail ? 7.25 : 1.0);
            r.check.verdict = c.state == ECheckCell::Pass   ? ECheckVerdict::Pass
                              : c.state == ECheckCell::Fail ? ECheckVerdict::Fail
                                                            : ECheckVerdict::NoData;
            r.check.worst = r.check.cells[24][2].difference;
            r.recording.samples = 120;
        }
        if (c.errors)
            r.errors = "Moduł wtrysku: błąd 1\r\nModuł zasilania: błąd 2\r\n";
        const ReportSummary s = summariseReport(r);
        EXPECT_EQ(s.verdict.headline, c.headline);
        EXPECT_EQ(s.verdict.reason.find("największa różnica +7.3%)") != std::string::npos, c.state == ECheckCell::Fail)
            << s.verdict.reason;
        EXPECT_EQ(s.verdict.tone, c.tone);
        EXPECT_EQ(has(s.findings, "Błąd: Moduł zasilania: błąd 2"), c.errors);
        EXPECT_EQ(has(s.findings, "Sterownik nie zgłasza błędów."), !c.errors);
        // The worst operating point by its speed and petrol time.
        EXPECT_EQ(has(s.findings, "Poza tolerancją przy 2000-3000 obr/min i czasie wtrysku 12.0-12.5 ms: +7.3% !"),
                  c.state == ECheckCell::Fail);
        EXPECT_EQ(has(s.workDone, "Sprawdzenie ustawień na nagraniu jazdy jazda.lpgd: 120 próbek"),
                  c.state != ECheckCell::Empty);
        EXPECT_TRUE(has(s.workDone, "Ustawienia sterownika są fabryczne.")) << s.workDone.front();
        EXPECT_TRUE(has(s.workDone, "Mapa wtrysków: 1 komórka z poprawką +10 %."));
        EXPECT_TRUE(has(s.workDone, "Krzywa korekcji czasu wtrysku (nieużywana): bez poprawek."));
    }
}

TEST(ServiceReport, ChangedSettingsAreListedWithTheirFactoryValuesAndPartsNotReadAreNamed) {
    ServiceReportData r = readReport();
    CSettingsBlock block;
    block.setValue(ESetting::mainCorrection, 1.8);
    block.setValue(ESetting::switchSpeed, 1500);
    r.settings = settingLines(block);
    ReportSummary s = summariseReport(r);
    EXPECT_TRUE(has(s.workDone, "Zmieniono 2 ustawienia względem fabrycznych:"));
    EXPECT_TRUE(has(s.workDone, "• Główna poprawka: 1,8 ms (fabrycznie 1 ms)"));
    EXPECT_TRUE(has(s.workDone, "• Obroty automatycznego przejścia na LPG: 1500 obr/min (fabrycznie 1200 obr/min)"));

    r.settingsRead = r.mapRead = r.errorsRead = false;
    r.settings.clear();
    r.problems = {MSG_REPORT_NO_VERSION, MSG_REPORT_NO_SETTINGS, MSG_REPORT_NO_MAP, MSG_REPORT_NO_ERRORS};
    s = summariseReport(r);
    EXPECT_TRUE(has(s.workDone, MSG_REPORT_NO_SETTINGS));
    EXPECT_TRUE(has(s.workDone, MSG_REPORT_NO_MAP));
    EXPECT_FALSE(has(s.workDone, "komórk"));
    EXPECT_TRUE(has(s.findings, MSG_REPORT_NO_ERRORS));
    EXPECT_TRUE(has(s.findings, MSG_REPORT_NO_VERSION));
    // Each part not read is named once on the page.
    const auto count = [&](const char* text) {
        return std::count(s.workDone.begin(), s.workDone.end(), text) + std::count(s.findings.begin(), s.findings.end(), text);
    };
    for (const char* missing : {MSG_REPORT_NO_VERSION, MSG_REPORT_NO_SETTINGS, MSG_REPORT_NO_MAP, MSG_REPORT_NO_ERRORS})
        EXPECT_EQ(count(missing), 1) << missing;
}

TEST(ServiceReport, TheCorrectionsInUseAreCountedWithTheirSpread) {
    ServiceReportData r = readReport();
    r.map[3 * MAP_COLUMNS + 1] = MAP_NO_CORRECTION - 4;
    r.curve[2] = 6;
    r.curve[7] = -2;
    r.curve[9] = 3;
    const ReportSummary s = summariseReport(r);
    EXPECT_TRUE(has(s.workDone, "Mapa wtrysków: 2 komórki z poprawką od −4 % do +10 %."));
    EXPECT_TRUE(has(s.workDone, "Krzywa korekcji czasu wtrysku (nieużywana): 3 punkty z poprawką od −2 % do +6 %."));
}
