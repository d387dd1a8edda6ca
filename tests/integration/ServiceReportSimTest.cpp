// The service report against the virtual controller: what is gathered (identity,
// a changed setting marked, the decoded errors, a recording's summary), a part
// the controller does not give left out and named, a missing recording refused
// before any file is written, and the PDF zefirelctl writes, read back as text.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <sstream>

#include "SimKit.h"
#include "diag/Recording.h"
#include "link/Conversions.h"
#include "link/Protocol.h"
#include "settings/ServiceReport.h"
#include "support/RecordingHost.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

namespace {

const ReportLine* findLine(const std::vector<ReportLine>& lines, const std::string& label) {
    for (const ReportLine& l : lines)
        if (l.label == label)
            return &l;
    return nullptr;
}

} // namespace

TEST(ServiceReportSim, GathersTheControllerTheChangedSettingTheErrorsAndARecording) {
    CScratchFolder home;
    SimConfig cfg;
    cfg.identity = "PL-RAPORT-7";
    cfg.errors[0] = 0x01;
    CSimOnPty sim(cfg);
    const std::string rec = home.path() + "/idle.lpgd";
    ASSERT_EQ(run(CTL, {"--device", sim.server.slavePath(), "record", rec, "--seconds", "1"},
                  {"XDG_CONFIG_HOME=" + home.path() + "/config", "XDG_DATA_HOME=" + home.path() + "/data"})
                  .rc,
              0);
    CRecordingHost host;
    host.carDataAnswer = true;
    CTestDevice dev(&host);
    ASSERT_TRUE(dev.connectPath(sim.server.slavePath()) && dev.isVersionOk());
    ASSERT_TRUE(commitRecord(dev, changed(dev, [](CSettingsBlock& b) { b.setValue(ESetting::switchSpeed, 1500); })).ok());

    std::vector<int> steps;
    const ServiceReportData r = gatherServiceReport(dev, rec, [&](int p, const std::string&) { steps.push_back(p); });
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    EXPECT_EQ(r.identity, "PL-RAPORT-7");
    EXPECT_EQ(r.version, 5u);
    EXPECT_EQ(r.programmingDate, "16/03/2026");
    const ReportLine* speed = findLine(r.settings, "Obroty automatycznego przejścia na LPG");
    ASSERT_NE(speed, nullptr);
    EXPECT_TRUE(speed->changed);
    EXPECT_EQ(speed->value, "1500 obr/min");
    EXPECT_EQ(speed->factory, "1200 obr/min");
    const ReportLine* main = findLine(r.settings, "Główna poprawka");
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(main->changed) << main->value;
    EXPECT_EQ(r.settings.size(), static_cast<size_t>(ESetting::Count));
    EXPECT_NE(r.errors, "Brak błędów.");
    EXPECT_FALSE(r.errors.empty());
    ASSERT_TRUE(r.haveRecording);
    std::vector<CDiag> samples;
    loadRecording(rec, samples);
    EXPECT_EQ(r.recording.samples, samples.size());
    // Engine speed and heater temperature over the samples, by the conversion rules.
    double rpmMin = 1e9, rpmMax = 0, rpmSum = 0, heaterMin = 1e9, heaterMax = -1e9;
    for (const CDiag& d : samples) {
        const double rpm = d.rpmPeriod() ? 4800000.0 / d.rpmPeriod() : 0;
        rpmMin = std::min(rpmMin, rpm);
        rpmMax = std::max(rpmMax, rpm);
        rpmSum += rpm;
        heaterMin = std::min(heaterMin, double(TEMPERATURE_TABLE[d.heaterTempCode()]));
        heaterMax = std::max(heaterMax, double(TEMPERATURE_TABLE[d.heaterTempCode()]));
    }
    EXPECT_NEAR(r.recording.rpm.min, rpmMin, 1e-6);
    EXPECT_NEAR(r.recording.rpm.max, rpmMax, 1e-6);
    EXPECT_NEAR(r.recording.rpm.mean, rpmSum / double(samples.size()), 1e-6);
    EXPECT_EQ(r.recording.heaterC.min, heaterMin);
    EXPECT_EQ(r.recording.heaterC.max, heaterMax);
    EXPECT_EQ(r.recording.petrolSamples, samples.size()); // idling on petrol throughout
    EXPECT_EQ(r.check.verdict, ECheckVerdict::NoData); // idling on petrol: nothing to compare
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), 100);
}

TEST(ServiceReportSim, TheCommandLineWritesAPdfThatReadsBackAsTheReport) {
    ASSERT_EQ(::access("/usr/bin/pdftotext", X_OK), 0) << "pdftotext is missing: run scripts/setup.sh";
    CScratchFolder home;
    SimConfig cfg;
    cfg.identity = "ZEF-PDF-01";
    CSimOnPty sim(cfg);
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path() + "/config",
                                          "XDG_DATA_HOME=" + home.path() + "/data"};
    const std::string pty = sim.server.slavePath(), pdf = home.path() + "/raport.pdf";
    const std::string car = "--car=Škoda;Octavia;1600;102;2004;4;";
    ASSERT_EQ(run(CTL, {"--device", pty, car, "settings", "set", "switchSpeed=1500"}, env).rc, 0);
    const RunResult r = run(CTL, {"--device", pty, car, "report", pdf}, env);
    ASSERT_EQ(r.rc, 0) << r.err;

    const RunResult text = run("/usr/bin/pdftotext", {"-layout", pdf, "-"});
    ASSERT_EQ(text.rc, 0) << text.err;
    for (const char* expected : {"Raport serwisowy", "ZEF-PDF-01", "Škoda", "Octavia", "Obroty automatycznego przejścia na LPG",
                                 "1500 obr/min", "(fabr. 1200 obr/min)", "Główna poprawka", "Brak błędów.",
                                 "Krzywa korekcji czasu wtrysku", "Mapa wtrysków", "strona 3 z 3",
                                 // The summary first; the packed settings by name.
                                 "Ustawień nie sprawdzono na jeździe", "Wykonane prace", "Najważniejsze wyniki",
                                 "Typ wtryskiwaczy LPG", "VALTEK 3.5R", "Sposób wtrysku benzyny", "Pełna sekwencja"})
        EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
    EXPECT_EQ(text.out.find("maska"), std::string::npos) << text.out;
    EXPECT_LT(text.out.find("Wykonane prace"), text.out.find("Nachylenie korekcji ciśnienia"));
    const RunResult info = run("/usr/bin/pdfinfo", {pdf});
    ASSERT_EQ(info.rc, 0) << info.err;
    const size_t pages = info.out.find("Pages:");
    ASSERT_NE(pages, std::string::npos) << info.out;
    EXPECT_EQ(std::stoi(info.out.substr(pages + 6)), 3) << info.out;
    // The factory value is shown only where the setting was changed.
    EXPECT_EQ(text.out.find("(fabr. 1 ms)"), std::string::npos);
    const RunResult fonts = run("/usr/bin/pdffonts", {pdf});
    ASSERT_EQ(fonts.rc, 0);
    EXPECT_NE(fonts.out.find("DejaVu"), std::string::npos) << fonts.out;
    // Every font line ends with "emb sub uni object generation": emb must say yes.
    std::istringstream lines(fonts.out);
    int embedded = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
        if (w.size() < 6 || line.rfind("name", 0) == 0 || line[0] == '-')
            continue;
        EXPECT_EQ(w[w.size() - 5], "yes") << line;
        ++embedded;
    }
    EXPECT_GE(embedded, 1);
}

TEST(ServiceReportSim, APartTheControllerDoesNotGiveIsNamedInsteadOfShown) {
    struct Case {
        const char* what;
        int command;  // answered with a wrong checksum every time
        const char* missing;
    } cases[] = {
        {"the map", CMD_EEPROM, MSG_REPORT_NO_MAP},
        {"the settings", CMD_SETUP, MSG_REPORT_NO_SETTINGS},
        {"the curve", CMD_SETUP_TABLE, MSG_REPORT_NO_CURVE},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        SimConfig cfg;
        cfg.faults.badChecksumCommand = k.command;
        CSimOnPty sim(cfg);
        CRecordingHost host;
        host.carDataAnswer = true;
        CTestDevice dev(&host);
        ASSERT_TRUE(dev.connectPath(sim.server.slavePath()) && dev.isVersionOk());
        const ServiceReportData r = gatherServiceReport(dev, "");
        ASSERT_EQ(r.problems.size(), 1u) << r.problems.front();
        EXPECT_EQ(r.problems.front(), k.missing);
        EXPECT_EQ(r.mapRead, k.command != CMD_EEPROM);
        EXPECT_EQ(r.settingsRead, k.command != CMD_SETUP);
        EXPECT_EQ(r.curveRead, k.command != CMD_SETUP_TABLE);
        const std::string text = serviceReportText(r);
        EXPECT_NE(text.find(k.missing), std::string::npos) << text;
        // Nothing of the part stands beside the sentence: no map cells, no
        // factory settings passed off as the controller's, no curve points.
        const char* absent = k.command == CMD_EEPROM  ? "komórek z poprawką"
                             : k.command == CMD_SETUP ? "Obroty automatycznego przejścia na LPG"
                                                      : "24 ms:";
        EXPECT_EQ(text.find(absent), std::string::npos) << text;
        if (k.command == CMD_SETUP) {
            EXPECT_TRUE(r.settings.empty());
        }
        if (k.command == CMD_EEPROM) {
            EXPECT_EQ(r.map, emptyMap());
        }
    }
}

TEST(ServiceReportSim, AMissingRecordingIsRefusedBeforeAnyFileIsWritten) {
    CScratchFolder home;
    CSimOnPty sim(SimConfig{});
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path() + "/config",
                                          "XDG_DATA_HOME=" + home.path() + "/data"};
    const std::string pdf = home.path() + "/raport.pdf", missing = home.path() + "/nie-ma.lpgd";
    const RunResult r = run(CTL, {"--device", sim.server.slavePath(), "report", pdf, "--recording", missing}, env);
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find(std::string(MSG_RECORDING_OPEN) + ": " + missing), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Raport serwisowy zapisano"), std::string::npos) << r.out;
    EXPECT_NE(::access(pdf.c_str(), F_OK), 0) << "a PDF was written";
}

TEST(ServiceReportSim, ACopiedRecordingIsSummarisedByItsSamplesNotTheFileTimes) {
    CScratchFolder home;
    CSimOnPty sim(SimConfig{});
    const std::string rec = home.path() + "/idle.lpgd", copy = home.path() + "/kopia.lpgd";
    ASSERT_EQ(run(CTL, {"--device", sim.server.slavePath(), "record", rec, "--seconds", "2"},
                  {"XDG_CONFIG_HOME=" + home.path() + "/config", "XDG_DATA_HOME=" + home.path() + "/data"})
                  .rc,
              0);
    ASSERT_EQ(run("/bin/cp", {rec, copy}).rc, 0);
    CRecordingHost host;
    CTestDevice dev(&host);
    ASSERT_TRUE(dev.connectPath(sim.server.slavePath()) && dev.isVersionOk());
    const ServiceReportData r = gatherServiceReport(dev, copy);
    ASSERT_TRUE(r.haveRecording) << r.recordingProblem;
    std::vector<CDiag> samples;
    loadRecording(rec, samples);
    ASSERT_GT(samples.size(), 10u);
    const std::string text = serviceReportText(r);
    EXPECT_NE(text.find("Próbek: " + std::to_string(samples.size()) + " "), std::string::npos) << text;
    // A copy is made in an instant: its file times say nothing of the drive's length.
    EXPECT_EQ(text.find("Czas trwania"), std::string::npos) << text;
}
