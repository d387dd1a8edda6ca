// The service report against the virtual controller: what is gathered (identity,
// a changed setting marked, the decoded errors, a recording's summary), and the
// PDF zefirelctl writes, read back as text.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <sstream>

#include "SimKit.h"
#include "diag/Recording.h"
#include "link/Conversions.h"
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
                                 "Krzywa korekcji czasu wtrysku", "Mapa wtrysków", "strona 2 z 2"})
        EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
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
