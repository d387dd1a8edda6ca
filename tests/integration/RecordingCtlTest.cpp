// Recordings read by zefirelctl: a file without a record is refused with exit 1 and
// nothing written, a damaged one is read line by line with its counts reported, an
// output that is the recording itself (under any name) is refused, and the export
// takes the recording's own controller features for the supply voltage.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "SimKit.h"
#include "diag/Companion.h"
#include "link/Conversions.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::sim;
using namespace zefirel::test;

namespace {

namespace fs = std::filesystem;

std::string line(int n, int rpmPeriod = 4800) {
    return std::to_string(n) + "\t1\t2\t1\t" + std::to_string(rpmPeriod) +
           "\t4800\t120\t0\t0\t0\t100\t120\t110\t70\t23\t30\t0\t0\r\n";
}

void writeText(const std::string& path, const std::string& text) { writeBytes(path, Bytes(text.begin(), text.end())); }

struct Home {
    CScratchFolder dir;
    std::vector<std::string> env() const {
        return {"XDG_CONFIG_HOME=" + dir.path() + "/config", "XDG_DATA_HOME=" + dir.path() + "/data"};
    }
    std::string file(const std::string& name) const { return dir.path() + "/" + name; }
    RunResult operator()(const std::vector<std::string>& args) const { return run(CTL, args, env()); }
};

} // namespace

TEST(RecordingCtl, AFileWithoutARecordIsRefusedAndNothingIsWritten) {
    Home h;
    std::string binary(500, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 53 + 7);
    const struct {
        const char* what;
        std::string text;
    } files[] = {
        {"an empty file", ""},
        {"a binary file", binary},
        {"text only", "Nagranie z jazdy\r\nto nie są dane\r\n"},
        {"one line without its line break", line(1).substr(0, line(1).size() - 2)},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.what);
        const std::string rec = h.file("bad.lpgd"), csv = h.file("bad.csv"), map = h.file("bad.map");
        writeText(rec, f.text);
        RunResult r = h({"export", rec, csv});
        EXPECT_EQ(r.rc, 1) << r.err;
        EXPECT_NE(r.err.find("Plik nie zawiera żadnego poprawnego zapisu danych diagnostycznych"), std::string::npos)
            << r.err;
        r = h({"map", "compute", rec, map});
        EXPECT_EQ(r.rc, 1) << r.err;
        EXPECT_NE(r.err.find("holds no readable record"), std::string::npos) << r.err;
        for (const char* cmd : {"check", "replay"}) {
            r = h({cmd, rec});
            EXPECT_EQ(r.rc, 1) << cmd << ": " << r.err;
            EXPECT_FALSE(r.err.empty()) << cmd;
        }
        EXPECT_FALSE(fs::exists(csv));
        EXPECT_FALSE(fs::exists(map));
        // Nothing but the recording: no temporary file left either.
        EXPECT_EQ(std::distance(fs::directory_iterator(h.dir.path()), fs::directory_iterator()), 1);
    }
}

TEST(RecordingCtl, ADamagedLineIsSkippedCountedAndNamedByEveryReader) {
    Home h;
    // Line 3 is cut short; without line-by-line reading it would swallow line 4.
    std::string text;
    for (int n = 1; n <= 6; ++n)
        text += n == 3 ? std::string("3\t1\t2\t1\t4800\r\n") : line(n);
    const std::string rec = h.file("drive.lpgd");
    writeText(rec, text);

    RunResult r = h({"export", rec, h.file("drive.csv")});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("Zapisano 5 wierszy"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Wczytano wierszy: 6, użyto: 5, pominięto: 1 (pierwszy błędny: wiersz 3)"), std::string::npos)
        << r.err;
    const Bytes csv = readBytes(h.file("drive.csv"));
    const std::string csvText(csv.begin(), csv.end());
    EXPECT_NE(csvText.find("\r\n4;1;"), std::string::npos) << "sample 4 keeps its own values";
    EXPECT_EQ(csvText.find("\r\n3;"), std::string::npos);

    r = h({"map", "compute", rec, h.file("drive.map")});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("lines read 6, used 5, skipped 1 (first bad line: 3)"), std::string::npos) << r.err;

    r = h({"replay", rec});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("samples   5 (1 .. 6)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("rpm       min 1000  mean 1000  max 1000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("lines read 6, used 5, skipped 1 (first bad line: 3)"), std::string::npos) << r.out;

    r = h({"--json", "replay", rec});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find(R"("lines":{"read":6,"used":5,"skipped":1,"firstBad":3})"), std::string::npos) << r.out;

    r = h({"check", rec});
    EXPECT_NE(r.err.find("pominięto: 1 (pierwszy błędny: wiersz 3)"), std::string::npos) << r.err;
}

TEST(RecordingCtl, AnOutputThatIsTheRecordingItselfIsRefused) {
    Home h;
    std::string text;
    for (int n = 1; n <= 20; ++n)
        text += line(n);
    const std::string rec = h.file("drive.lpgd");
    writeText(rec, text);
    const Bytes config(1240, 5);
    writeBytes(companionPath(rec), config);
    ASSERT_EQ(::symlink(rec.c_str(), h.file("link.lpgd").c_str()), 0);
    ASSERT_EQ(::link(rec.c_str(), h.file("hard.lpgd").c_str()), 0);
    const std::string dotted = h.dir.path() + "/./drive.lpgd";
    const std::vector<std::string> outputs = {rec, h.file("link.lpgd"), h.file("hard.lpgd"), dotted,
                                              h.dir.path() + "/../" + fs::path(h.dir.path()).filename().string() +
                                                  "/drive.lpgd",
                                              companionPath(rec)};
    for (const std::string& out : outputs) {
        SCOPED_TRACE(out);
        RunResult r = h({"export", rec, out});
        EXPECT_EQ(r.rc, 1) << r.err;
        EXPECT_NE(r.err.find("Plik wynikowy jest tym samym plikiem co czytane nagranie"), std::string::npos) << r.err;
        r = h({"map", "compute", rec, out});
        EXPECT_EQ(r.rc, 1) << r.err;
        EXPECT_NE(r.err.find("is the recording"), std::string::npos) << r.err;
        EXPECT_EQ(readBytes(rec), Bytes(text.begin(), text.end()));
        EXPECT_EQ(readBytes(companionPath(rec)), config);
    }
    // The recording read through another name is still refused as the output.
    RunResult r = h({"export", h.file("link.lpgd"), rec});
    EXPECT_EQ(r.rc, 1) << r.err;
    EXPECT_EQ(readBytes(rec), Bytes(text.begin(), text.end()));
    // Another file is fine.
    r = h({"export", rec, h.file("drive.csv")});
    EXPECT_EQ(r.rc, 0) << r.err;
}

TEST(RecordingCtl, ExportTakesTheRecordingsFeaturesForTheSupplyVoltage) {
    Home h;
    const std::string rec = h.file("drive.lpgd");
    writeText(rec, line(1) + line(2));
    // Code 70 is 1.373 V at the converter: 8.44 V on a controller that measures on
    // LPG only, 9.14 V with the diode drop added otherwise.
    const auto exported = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"export", rec, h.file("out.csv")};
        args.insert(args.end(), extra.begin(), extra.end());
        const RunResult r = h(args);
        EXPECT_EQ(r.rc, 0) << r.err;
        const Bytes b = readBytes(h.file("out.csv"));
        return std::string(b.begin(), b.end());
    };
    EXPECT_NE(exported({}).find(";9,14;"), std::string::npos) << "no companion: features 0";
    CSettingsBlock b;
    b.initDefaults();
    b.setVersionMark(COMPANION_VERSION_MARK);
    uint8_t features[20] = {};
    const uint32_t mask = FEATURE_VOLTAGE_ON_LPG_ONLY;
    std::memcpy(features, &mask, sizeof mask);
    b.setFeatures(features);
    ASSERT_TRUE(appendCompanionRecord(companionPath(rec), b));
    EXPECT_NE(exported({}).find(";8,44;"), std::string::npos) << "the recording's features";
    EXPECT_NE(exported({"--features", "0"}).find(";9,14;"), std::string::npos) << "--features wins";
}
