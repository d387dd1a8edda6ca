// A recording exported for a spreadsheet: every value of a recording made from the
// virtual controller comes back in engineering units, in both number formats, and
// a failed or cancelled export never leaves a half-written file.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "SimKit.h"
#include "diag/CsvExport.h"
#include "diag/Recording.h"
#include "link/Conversions.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

namespace {

namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    const Bytes b = readBytes(path);
    return std::string(b.begin(), b.end());
}

std::vector<std::string> split(const std::string& text, const std::string& by) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t next; (next = text.find(by, at)) != std::string::npos; at = next + by.size())
        out.push_back(text.substr(at, next - at));
    out.push_back(text.substr(at));
    return out;
}

/// The values a row must hold, by the conversion rules (F = 40000, no feature bits).
std::vector<double> expectedRow(const CDiag& d) {
    const auto rpm = [](double period) { return period ? 4800000.0 / period : 0.0; };
    const auto volts = [](double code) { return code * 5.0 / 255.0; };
    const auto kpa = [&](double code) { return std::max(0.0, (volts(code) / 5.0 - 0.04) / 0.004); };
    return {double(d.sampleNo()), double(d.injector()), 0 /* fuel text */, double(d.workState()),
            double(d.injectorActivity()), rpm(d.rpmPeriod()), rpm(d.subRpmPeriod(0)), d.petrolTime(0) * 0.025,
            (d.petrolTime(0) + d.lpgExtraTime(0)) * 0.025, d.subAuxTime(0) * 0.025, d.auxTime() * 0.025,
            double(TEMPERATURE_TABLE[d.heaterTempCode()]), double(TEMPERATURE_TABLE[d.lpgTempCode()]),
            double(TEMPERATURE_TABLE[d.internalTempCode()]), volts(d.supplyVoltageCode()) * 6.15 + 0.7,
            volts(d.lambdaCode()), kpa(d.pressureCode()), kpa(d.pressure2Code()), kpa(d.pressure3Code())};
}

} // namespace

TEST(CsvExport, EveryValueOfARecordingComesBackInUnitsInBothFormats) {
    CSimOnPty sim;
    CScratchFolder home;
    const std::string rec = home.path() + "/idle.lpgd", csv = home.path() + "/idle.csv",
                      dotted = home.path() + "/idle-dot.csv";
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path() + "/config",
                                          "XDG_DATA_HOME=" + home.path() + "/data"};
    ASSERT_EQ(run(CTL, {"--device", sim.server.slavePath(), "record", rec, "--seconds", "1"}, env).rc, 0);
    std::vector<CDiag> samples;
    loadRecording(rec, samples);
    ASSERT_GT(samples.size(), 20u);

    const RunResult r = run(CTL, {"export", rec, csv}, env);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("Zapisano " + rowsText(samples.size()) + " w pliku "), std::string::npos) << r.out;
    const std::string text = readText(csv);
    ASSERT_EQ(text.rfind("\xEF\xBB\xBFNr próbki;Wtryskiwacz;Paliwo;", 0), 0u) << text.substr(0, 80);
    std::vector<std::string> lines = split(text.substr(3), "\r\n");
    ASSERT_EQ(lines.back(), ""); // the last row ends with CR LF too
    lines.pop_back();
    EXPECT_NE(lines[0].find(";Czas wtrysku benzyny [ms];Czas wtrysku LPG [ms];"), std::string::npos);
    EXPECT_NE(lines[0].find(";Temperatura reduktora [°C];"), std::string::npos);
    ASSERT_EQ(lines.size(), samples.size() + 1);
    for (size_t i = 0; i < samples.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1) + ": " + lines[i + 1]);
        const std::vector<std::string> cells = split(lines[i + 1], ";");
        const std::vector<double> want = expectedRow(samples[i]);
        ASSERT_EQ(cells.size(), want.size());
        EXPECT_EQ(cells[2], samples[i].workState() == 2 ? "Benzyna" : "LPG");
        for (size_t c = 0; c < want.size(); ++c) {
            if (c == 2)
                continue;
            std::string number = cells[c];
            EXPECT_EQ(number.find('.'), std::string::npos) << "column " << c;
            std::replace(number.begin(), number.end(), ',', '.');
            EXPECT_NEAR(std::stod(number), want[c], 0.051) << "column " << c;
        }
    }

    // The other format: the same text with the comma and the semicolon swapped.
    ASSERT_EQ(run(CTL, {"export", rec, dotted, "--separator", ",", "--decimal", "."}, env).rc, 0);
    std::string swapped = text;
    for (char& ch : swapped)
        ch = ch == ';' ? ',' : ch == ',' ? '.' : ch;
    EXPECT_EQ(readText(dotted), swapped);
}

TEST(CsvExport, AFailedOrCancelledExportLeavesNoFileBehind) {
    CScratchFolder home;
    const std::string kept = home.path() + "/kept.csv";
    writeBytes(kept, {'o', 'l', 'd'});
    // A recording of some 2 MB: read in more than one piece, written in many.
    const std::string rec = home.path() + "/long.lpgd";
    std::string lines;
    for (int i = 1; i <= 40000; ++i)
        lines += std::to_string(i) + "\t1\t2\t1\t4800\t4800\t120\t0\t0\t0\t100\t120\t110\t70\t23\t30\t0\t0\r\n";
    writeBytes(rec, Bytes(lines.begin(), lines.end()));

    struct Case {
        const char* what;
        std::vector<std::string> args;
        int rc;
        std::string out;
    } cases[] = {
        {"no such recording", {"export", home.path() + "/none.lpgd", kept}, 1, kept},
        {"no such folder", {"export", rec, home.path() + "/no/folder.csv"}, 1, home.path() + "/no/folder.csv"},
        {"same separator and decimal", {"export", rec, kept, "--separator", ",", "--decimal", ","}, 2, kept},
        {"a separator that is a digit", {"export", rec, kept, "--separator", "5"}, 2, kept},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const RunResult r = run(CTL, k.args);
        EXPECT_EQ(r.rc, k.rc) << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(readBytes(kept), (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(fs::exists(home.path() + "/no"));

    std::atomic<bool> stop{true};
    const CsvExportResult cancelled = exportRecordingCsv(rec, kept, CsvFormat{}, {}, &stop);
    EXPECT_EQ(cancelled.status, ECsvExport::Cancelled);
    EXPECT_EQ(readBytes(kept), (Bytes{'o', 'l', 'd'}));
    std::vector<int> progress;
    stop = false;
    const CsvExportResult done = exportRecordingCsv(rec, kept, CsvFormat{}, [&](int p) { progress.push_back(p); }, &stop);
    EXPECT_EQ(done.status, ECsvExport::Ok);
    EXPECT_EQ(done.rows, 40000u);
    ASSERT_GE(progress.size(), 2u); // on the way, not only at the end
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);
    // Nothing but the recording and the finished file: no temporary file left.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(home.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"kept.csv", "long.lpgd"}));
}
