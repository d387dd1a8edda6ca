// Recording files: the line format, reading rules for damaged and odd files, and
// the settings companion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "diag/Companion.h"
#include "diag/DiagUnits.h"
#include "diag/Recording.h"
#include "support/Error.h"
#include "support/TestDevice.h"

using namespace zefirel;

namespace {

class Recording : public ::testing::Test {
protected:
    void SetUp() override { CDiag::setExtendedLayout(false); }
    void TearDown() override { CDiag::setExtendedLayout(false); }
    std::string path(const std::string& name) const { return m_dir.path() + "/" + name; }
    void writeText(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string readText(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::vector<CDiag> readAll(const std::string& name) const {
        std::vector<CDiag> out;
        loadRecording(path(name), out);
        return out;
    }

    test::CScratchFolder m_dir;
};

// The sample of the file format's worked example.
CDiag exampleSample() {
    CDiag d;
    d.setSampleNo(1);
    d.setInjector(1);
    d.setWorkState(2);
    d.setInjectorActivity(1);
    d.setRpmPeriod(4800);
    d.setSubRpmPeriod(0, 4800);
    d.setPetrolTime(0, 120);
    d.setHeaterTempCode(100);
    d.setLpgTempCode(120);
    d.setInternalTempCode(110);
    d.setSupplyVoltageCode(70);
    d.setLambdaCode(23);
    d.setPressureCode(30);
    return d;
}

const char* EXAMPLE_LINE = "1\t1\t2\t1\t4800\t4800\t120\t0\t0\t0\t100\t120\t110\t70\t23\t30\t0\t0\r\n";

} // namespace

TEST_F(Recording, ExampleLineIsWrittenAndReadBack) {
    {
        CRecordingWriter w;
        ASSERT_TRUE(w.open(path("a.lpgd")));
        EXPECT_TRUE(w.write(exampleSample()));
    }
    EXPECT_EQ(readText("a.lpgd"), EXAMPLE_LINE);
    const auto back = readAll("a.lpgd");
    ASSERT_EQ(back.size(), 1u);
    CDiag expected = exampleSample();
    expected.setColour(0x0000FF);
    EXPECT_EQ(std::memcmp(back[0].raw(), expected.raw(), DIAG_PAYLOAD_SIZE), 0);
    EXPECT_EQ(back[0].sampleNo(), 1u);
    EXPECT_EQ(back[0].injector(), 1);
    EXPECT_EQ(back[0].colour(), 0x0000FFu);
}

TEST_F(Recording, FullWidthValuesRoundTripInBothLayouts) {
    for (bool ext : {false, true}) {
        CDiag::setExtendedLayout(ext);
        CDiag d;
        d.setSampleNo(2147483647u);
        d.setInjector(8);
        d.setWorkState(255);
        d.setInjectorActivity(255);
        d.setRpmPeriod(65535);
        d.setSubRpmPeriod(0, 65534);
        d.setPetrolTime(0, 65533);
        d.setLpgExtraTime(0, 65532);
        d.setSubAuxTime(0, 65531);
        d.setAuxTime(65530);
        d.setPressure3Code(255);
        {
            CRecordingWriter w;
            ASSERT_TRUE(w.open(path("full.lpgd")));
            w.write(d);
        }
        const auto back = readAll("full.lpgd");
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].sampleNo(), 2147483647u);
        EXPECT_EQ(back[0].rpmPeriod(), 65535);
        EXPECT_EQ(back[0].lpgExtraTime(0), 65532);
        EXPECT_EQ(back[0].subAuxTime(0), ext ? 0 : 65531);
        EXPECT_EQ(back[0].auxTime(), 65530);
        EXPECT_EQ(back[0].pressure3Code(), 255);
    }
}

TEST_F(Recording, LastLineWithoutLineBreakIsDropped) {
    std::string two = std::string(EXAMPLE_LINE) + EXAMPLE_LINE;
    two[std::string(EXAMPLE_LINE).size()] = '2';
    writeText("full.lpgd", two);
    EXPECT_EQ(readAll("full.lpgd").size(), 2u);
    writeText("cut.lpgd", two.substr(0, two.size() - 2));
    const auto cut = readAll("cut.lpgd");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].sampleNo(), 1u);
    // Whatever ends it, a last line without its line break was cut off.
    writeText("space.lpgd", two.substr(0, two.size() - 2) + " ");
    EXPECT_EQ(readAll("space.lpgd").size(), 1u);
}

// Each damaged file is read line by line: a bad line costs its own sample only,
// the lines after it keep their values, and the counts say what happened.
TEST_F(Recording, DamagedLinesAreSkippedAndCounted) {
    const std::string a = EXAMPLE_LINE;
    std::string b = a, c = a;
    b.replace(0, 1, "2");
    c.replace(0, 1, "3");
    std::string binary(300, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 37 + 11);
    struct Case {
        const char* what;
        std::string text;
        std::vector<uint32_t> samples; ///< sample numbers read, in order
        uint64_t read, skipped, firstBad;
    } cases[] = {
        {"whole file", a + b + c, {1, 2, 3}, 3, 0, 0},
        {"a line cut short", a + "2\t1\t2\t1\t4800\r\n" + c, {1, 3}, 3, 1, 2},
        {"a line cut short without its CR LF joined to nothing", a + "2\t1\t2" + c, {1}, 2, 1, 2},
        {"a line with extra fields", a + b.substr(0, b.size() - 2) + "\t99999\t7\r\n" + c, {1, 3}, 3, 1, 2},
        {"a text line in the middle", a + "Diagnostyka zapisana\r\n" + b + c, {1, 2, 3}, 4, 1, 2},
        {"a value wider than its field", a + "2\t1\t2\t1\t70000\t4800\t120\t0\t0\t0\t100\t120\t110\t70\t23\t30\t0\t0\r\n" + c,
         {1, 3}, 3, 1, 2},
        {"a negative value", a + "2\t1\t2\t1\t-1\t4800\t120\t0\t0\t0\t100\t120\t110\t70\t23\t30\t0\t0\r\n" + c, {1, 3}, 3, 1, 2},
        {"a blank line", a + "\r\n" + b, {1, 2}, 3, 1, 2},
        {"line breaks without CR", "1\t1\t2\t1\t4800\t4800\t120\t0\t0\t0\t100\t120\t110\t70\t23\t30\t0\t0\n", {1}, 1, 0, 0},
        {"an empty file", "", {}, 0, 0, 0},
        {"a binary file", binary, {}, 1 + static_cast<uint64_t>(std::count(binary.begin(), binary.end(), '\n')),
         1 + static_cast<uint64_t>(std::count(binary.begin(), binary.end(), '\n')), 1},
        {"the widest sample number", "4294967295" + a.substr(1), {4294967295u}, 1, 0, 0},
        {"a sample number beyond 32 bits", "4294967296" + a.substr(1) + b, {2}, 2, 1, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        writeText("damaged.lpgd", k.text);
        std::vector<CDiag> out;
        RecordingReadStats stats;
        loadRecording(path("damaged.lpgd"), out, &stats);
        std::vector<uint32_t> numbers;
        for (const CDiag& d : out) {
            numbers.push_back(d.sampleNo());
            EXPECT_EQ(d.rpmPeriod(), 4800) << "no value shifts into another column";
            EXPECT_EQ(d.petrolTime(0), 120);
        }
        EXPECT_EQ(numbers, k.samples);
        EXPECT_EQ(stats.linesRead, k.read);
        EXPECT_EQ(stats.linesUsed, k.samples.size());
        EXPECT_EQ(stats.linesSkipped, k.skipped);
        EXPECT_EQ(stats.firstBadLine, k.firstBad);
        if (k.samples.empty()) {
            try {
                requireRecords(path("damaged.lpgd"), stats);
                ADD_FAILURE() << "a file without a record is refused";
            } catch (IError* e) {
                auto owned = adoptError(e);
                EXPECT_NE(e->format().find(MSG_RECORDING_NO_RECORDS), std::string::npos);
            }
        }
    }
    RecordingReadStats s;
    s.linesRead = 120;
    s.linesUsed = 118;
    s.linesSkipped = 2;
    s.firstBadLine = 7;
    EXPECT_EQ(recordingStatsText(s), "Wczytano wierszy: 120, użyto: 118, pominięto: 2 (pierwszy błędny: wiersz 7)");
}

TEST_F(Recording, ReaderCrossesItsBufferAndStopsForGood) {
    // Well over one read buffer, so values straddle buffer refills.
    constexpr uint32_t lines = 30000;
    {
        CRecordingWriter w;
        ASSERT_TRUE(w.open(path("long.lpgd")));
        CDiag d = exampleSample();
        for (uint32_t i = 1; i <= lines; ++i) {
            d.setSampleNo(i);
            d.setAuxTime(static_cast<uint16_t>(i * 13));
            w.write(d);
        }
    }
    CRecordingReader r;
    ASSERT_TRUE(r.open(path("long.lpgd")));
    CDiag d;
    uint32_t n = 0;
    while (r.read(d)) {
        ++n;
        ASSERT_EQ(d.sampleNo(), n);
        ASSERT_EQ(d.auxTime(), static_cast<uint16_t>(n * 13));
    }
    EXPECT_EQ(n, lines);
    EXPECT_FALSE(r.read(d));
    EXPECT_GT(r.bytesRead(), 1u << 20);
}

TEST_F(Recording, ReadBufferFollowsTheFileSizeAndAGrowingFileIsReadOn) {
    // Opening many short recordings (the replay list, a fuzzer) must not cost a
    // megabyte each; a recording that grows after it was opened is still read whole.
    CDiag d = exampleSample();
    char line[RECORDING_LINE_MAX];
    const std::string one(line, formatRecordingLine(d, line));
    struct Case {
        const char* what;
        size_t lines;
        size_t minBuffer, maxBuffer;
    } cases[] = {
        {"empty", 0, 4096, 4096},
        {"three lines", 3, 4096, 4096},
        {"about 100 KiB", 2000, 2000 * one.size(), 2000 * one.size() + 1},
        {"over 1 MiB", 25000, 1u << 20, 1u << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text;
        for (size_t i = 0; i < c.lines; ++i)
            text += one;
        writeText("sized.lpgd", text);
        CRecordingReader r;
        ASSERT_TRUE(r.open(path("sized.lpgd")));
        EXPECT_GE(r.bufferSize(), c.minBuffer);
        EXPECT_LE(r.bufferSize(), c.maxBuffer);

        // The writer goes on after the reader opened the file.
        {
            std::ofstream more(path("sized.lpgd"), std::ios::binary | std::ios::app);
            for (int i = 0; i < 3000; ++i)
                more << one;
        }
        size_t n = 0;
        while (r.read(d))
            ++n;
        EXPECT_EQ(n, c.lines + 3000);
    }
}

TEST_F(Recording, MissingFileRaisesTheOpenError) {
    std::vector<CDiag> out;
    try {
        loadRecording(path("none.lpgd"), out);
        FAIL() << "no error raised";
    } catch (IError* e) {
        auto owned = adoptError(e);
        EXPECT_EQ(e->code(), ERROR_FILE_OPEN);
        EXPECT_NE(e->format().find(MSG_RECORDING_OPEN), std::string::npos);
    }
    CRecordingWriter w;
    EXPECT_FALSE(w.open(path("no/such/folder.lpgd")));
    EXPECT_FALSE(w.write(exampleSample()));
}

TEST_F(Recording, CompanionStampsAppendsAndStopsAtABadRecord) {
    const std::string file = path("a.lpgd-config");
    ASSERT_TRUE(createEmptyCompanion(file));
    std::vector<CSettingsBlock> history;
    EXPECT_TRUE(readCompanion(file, history));
    EXPECT_TRUE(history.empty());

    CSettingsBlock b;
    b.setVersionMark(5);
    b.setTimeStamp("old text that is longer than nineteen");
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 7;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 3;
    when.tm_isdst = -1;
    stampCompanionRecord(b, 1234, std::mktime(&when));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.bytes().data() + block::TIME_STAMP), 19),
              "07-03-2026-09:05:03");
    EXPECT_EQ(b.bytes()[block::TIME_STAMP + 19], 'n') << "only 19 characters are copied";
    EXPECT_EQ(b.bytes()[484], 0xD2);
    EXPECT_EQ(b.bytes()[485], 0x04);

    ASSERT_TRUE(appendCompanionRecord(file, b));
    b.setRemarks("drugi");
    ASSERT_TRUE(appendCompanionRecord(file, b));
    CSettingsBlock bad = b;
    bad.setVersionMark(4);
    ASSERT_TRUE(appendCompanionRecord(file, bad));
    ASSERT_TRUE(appendCompanionRecord(file, b));
    history.clear();
    ASSERT_TRUE(readCompanion(file, history));
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[1].remarks(), "drugi");

    // A short last record is not listed.
    std::ofstream(path("short-config"), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.bytes().data()), block::SIZE - 1);
    history.clear();
    EXPECT_TRUE(readCompanion(path("short-config"), history));
    EXPECT_TRUE(history.empty());

    EXPECT_FALSE(readCompanion(path("missing-config"), history));
    EXPECT_FALSE(appendCompanionRecord(path("no/such/dir-config"), b));
}
