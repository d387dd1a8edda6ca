// Recording files: the line format, reading rules for damaged and odd files, and
// the settings companion.
#include <gtest/gtest.h>

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
    // A trailing space after the last value is enough to end it.
    writeText("space.lpgd", two.substr(0, two.size() - 2) + " ");
    EXPECT_EQ(readAll("space.lpgd").size(), 2u);
    // A record cut in the middle of its values.
    writeText("half.lpgd", std::string(EXAMPLE_LINE) + "2\t1\t2\t1\t4800\r\n");
    EXPECT_EQ(readAll("half.lpgd").size(), 1u);
}

TEST_F(Recording, EmptyTextAndOutOfRangeInput) {
    writeText("empty.lpgd", "");
    EXPECT_TRUE(readAll("empty.lpgd").empty());
    writeText("blank.lpgd", "\r\n \t\r\n");
    EXPECT_TRUE(readAll("blank.lpgd").empty());

    // Text that is not a number ends the reading like the end of the file.
    writeText("text.lpgd", std::string(EXAMPLE_LINE) + "1\t1\tx\t1\r\n" + EXAMPLE_LINE);
    EXPECT_EQ(readAll("text.lpgd").size(), 1u);
    writeText("sign.lpgd", std::string(EXAMPLE_LINE) + "-\t1\r\n");
    EXPECT_EQ(readAll("sign.lpgd").size(), 1u);

    // Negative numbers are truncated to the field width.
    std::string neg = EXAMPLE_LINE;
    neg.replace(neg.find("4800"), 4, "-1");
    writeText("neg.lpgd", neg);
    const auto n = readAll("neg.lpgd");
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].rpmPeriod(), 65535);
    // Values beyond the field but inside 32 bits are truncated too.
    std::string wide = EXAMPLE_LINE;
    wide.replace(wide.find("\t100\t"), 5, "\t356\t");
    writeText("wide.lpgd", wide);
    ASSERT_EQ(readAll("wide.lpgd").size(), 1u);
    EXPECT_EQ(readAll("wide.lpgd")[0].heaterTempCode(), 100);
    // A number beyond 32 bits is a failed read.
    std::string big = EXAMPLE_LINE;
    big.replace(0, 1, "2147483648");
    writeText("big.lpgd", big);
    EXPECT_TRUE(readAll("big.lpgd").empty());
    big.replace(0, 10, "-2147483648");
    writeText("min.lpgd", big);
    ASSERT_EQ(readAll("min.lpgd").size(), 1u);
    EXPECT_EQ(readAll("min.lpgd")[0].sampleNo(), 2147483648u);
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
