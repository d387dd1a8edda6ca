// The injection map's computation from samples and its cell texts: which samples
// count, the count threshold, the fold order, rounding and clamping, what a cell
// rests on, and recordings that end badly.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "diag/Recording.h"
#include "link/Conversions.h"
#include "map/MapCompute.h"
#include "map/MapText.h"
#include "support/Error.h"
#include "support/TestDevice.h"

using namespace zefirel;
using zefirel::test::CScratchFolder;

namespace {

/// Units with an exact tick (0.125 ms), so sums and means are exact.
const MapUnits EXACT{0.125, 4800000};

/// A third-pressure code whose load (101 − kPa) lies in the middle of bucket b.
uint8_t loadCode(int bucket) { return static_cast<uint8_t>(std::lround(pressureCode(101.0 - (10 * bucket + 5)))); }

CDiag sample(bool petrol, uint16_t ticks, uint16_t period = 2400 /* 2000 rpm */, uint8_t pressure3 = loadCode(3)) {
    CDiag d;
    d.setWorkState(petrol ? 2 : 3);
    d.setPetrolTime(0, ticks);
    d.setRpmPeriod(period);
    d.setPressure3Code(pressure3);
    return d;
}

void addMany(std::vector<CDiag>& out, int count, const CDiag& d) { out.insert(out.end(), size_t(count), d); }

/// petrolCount samples of petrolTicks and lpgCount of lpgTicks in one cell.
std::vector<CDiag> cell(int petrolCount, uint16_t petrolTicks, int lpgCount, uint16_t lpgTicks,
                        uint8_t pressure3 = loadCode(3)) {
    std::vector<CDiag> s;
    addMany(s, petrolCount, sample(true, petrolTicks, 2400, pressure3));
    addMany(s, lpgCount, sample(false, lpgTicks, 2400, pressure3));
    return s;
}

} // namespace

TEST(MapText, TypedCellsBecomeBytesAndReadBackAsPercent) {
    struct Case {
        const char* typed;
        uint8_t byte;
        const char* shown;
    } cases[] = {
        {"5", 105, "5%"},          {"200%", 250, "150%"},    {"-120", 0, "-100%"}, {"\xE2\x88\x92" "120", 0, "-100%"},
        {"", 100, ""},             {"abc", 100, ""},         {"12abc", 112, "12%"}, {"-7%", 93, "-7%"},
        {"+3", 103, "3%"},         {"99999999999", 250, "150%"}, {" 4", 104, "4%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(mapByteFromText(c.typed), c.byte);
        EXPECT_EQ(mapByteText(c.byte), c.shown);
    }
}

TEST(MapText, LabelsOfRowsAndColumns) {
    EXPECT_EQ(mapRowLabel(0), "0.0-0.5");
    EXPECT_EQ(mapRowLabel(49), "24.5-25.0");
    EXPECT_EQ(mapColumnHeader(0), "0-1000");
    EXPECT_EQ(mapColumnHeader(7), "7000-8000");
}

TEST(MapCompute, ACellNeedsMoreThanTenSamplesOfEachFuel) {
    // 80 ticks = 10 ms on petrol, 84 = 10.5 ms on LPG: +5 % at 2000 rpm.
    struct Case {
        int petrol, lpg;
        bool corrected, weak;
    } cases[] = {{50, 10, false, false}, {10, 50, false, false}, {11, 11, true, true}, {50, 50, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.petrol << " petrol, " << c.lpg << " LPG");
        const MapResult r = computeMap(cell(c.petrol, 80, c.lpg, 84), EXACT);
        const MapCell& m = r.cells[2][3];
        EXPECT_EQ(m.petrolCount, c.petrol);
        EXPECT_EQ(m.lpgCount, c.lpg);
        EXPECT_DOUBLE_EQ(m.petrolMean, 10.0);
        EXPECT_DOUBLE_EQ(m.lpgMean, 10.5);
        EXPECT_DOUBLE_EQ(m.correction, c.corrected ? 5.0 : 0.0);
        // Rows 20 and 21 (10.0 .. 11.0 ms) of the 2000-3000 column, nothing else.
        for (int row = 0; row < MAP_ROWS; ++row) {
            for (int column = 0; column < MAP_COLUMNS; ++column) {
                const bool here = c.corrected && column == 2 && (row == 20 || row == 21);
                EXPECT_EQ(r.bytes[size_t(row * 8 + column)], here ? 105 : 100) << row << "," << column;
            }
        }
        if (c.corrected) {
            EXPECT_EQ(r.weak(20, 2), c.weak);
            const std::string basis = mapCellBasis(r, 21, 2);
            EXPECT_NE(basis.find(std::to_string(c.petrol) + " próbek, średnio 10.00 ms"), std::string::npos) << basis;
            EXPECT_EQ(basis.rfind("Mało próbek", 0) == 0, c.weak) << basis;
        }
        EXPECT_EQ(mapInUse(r.bytes), c.corrected);
    }
}

TEST(MapCompute, ADrivenCellWithoutOneFuelSaysSoLikeACellWithFewSamples) {
    // 10 ms on petrol at 2000 rpm, LPG samples: none, ten (one short), or only LPG.
    struct Case {
        int petrol, lpg;
        const char* counts;
    } cases[] = {{50, 0, "benzyna 50 próbek, średnio 10.00 ms; LPG 0 próbek;"},
                 {50, 10, "benzyna 50 próbek, średnio 10.00 ms; LPG 10 próbek, średnio 10.50 ms"},
                 {0, 30, "benzyna 0 próbek; LPG 30 próbek, średnio 10.50 ms"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.counts);
        const MapResult r = computeMap(cell(c.petrol, 80, c.lpg, 84), EXACT);
        ASSERT_FALSE(r.filled(20, 2));
        for (int row : {20, 21}) {
            const std::string basis = mapCellBasis(r, row, 2);
            EXPECT_EQ(basis.rfind("Mało próbek (poniżej 50)", 0), 0u) << basis;
            EXPECT_NE(basis.find("Obciążenie 30-40: " + std::string(c.counts)), std::string::npos) << basis;
        }
        // Only where the samples were: the next millisecond and the next column say nothing.
        EXPECT_EQ(mapCellBasis(r, 22, 2), "");
        EXPECT_EQ(mapCellBasis(r, 20, 3), "");
    }
    // Enough of both fuels and no difference: a zero correction, not a lack of samples.
    EXPECT_EQ(mapCellBasis(computeMap(cell(50, 80, 50, 80), EXACT), 20, 2), "");
}

TEST(MapCompute, CellsOfOneRowFoldInLoadOrderWithLaterOnesWeighingMore) {
    // Three load buckets at 10 ms petrol: +4 %, +8 %, +10 % in that load order.
    std::vector<CDiag> s;
    const struct {
        int load;
        double lpgTicks;
    } cells[] = {{0, 83.2}, {1, 86.4}, {2, 88.0}};
    for (const auto& [load, lpgTicks] : cells) {
        // 83.2 ticks cannot be sent: half the LPG samples one tick up, half down.
        const auto lo = static_cast<uint16_t>(std::floor(lpgTicks)), hi = static_cast<uint16_t>(std::ceil(lpgTicks));
        const double frac = lpgTicks - lo;
        const int upper = static_cast<int>(std::lround(100 * frac));
        addMany(s, 100, sample(true, 80, 2400, loadCode(load)));
        addMany(s, upper, sample(false, hi, 2400, loadCode(load)));
        addMany(s, 100 - upper, sample(false, lo, 2400, loadCode(load)));
    }
    // Fed in reverse file order: the fold order is the cells', not the file's.
    std::reverse(s.begin(), s.end());
    const MapResult r = computeMap(s, EXACT);
    EXPECT_NEAR(r.cells[2][0].correction, 4.0, 1e-9);
    EXPECT_NEAR(r.cells[2][1].correction, 8.0, 1e-9);
    EXPECT_NEAR(r.cells[2][2].correction, 10.0, 1e-9);
    EXPECT_NEAR(r.grid[10][2], 8.0, 1e-9); // (4 + 8) / 2 = 6, then (6 + 10) / 2
    EXPECT_EQ(r.sources[10][2], 0b111);
    EXPECT_EQ(r.bytes[20 * 8 + 2], 108);
    EXPECT_EQ(r.bytes[21 * 8 + 2], 108);

    // Without the third cell the two give 6.
    s.erase(std::remove_if(s.begin(), s.end(), [](const CDiag& d) { return d.pressure3Code() == loadCode(2); }), s.end());
    EXPECT_NEAR(computeMap(s, EXACT).grid[10][2], 6.0, 1e-9);
}

TEST(MapCompute, ValuesRoundHalfAwayFromZeroAndBytesStayWithinTheRange) {
    struct Case {
        uint16_t petrolTicks, lpgTicks;
        int shown;
        uint8_t byte;
    } cases[] = {
        {80, 82, 3, 103},   // +2.5 %
        {80, 78, -3, 97},   // −2.5 %
        {24, 80, 150, 250}, // +233 % (3 ms petrol, 10 ms LPG)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lpgTicks);
        const MapResult r = computeMap(cell(20, c.petrolTicks, 20, c.lpgTicks), EXACT);
        const int row = 2 * static_cast<int>(c.petrolTicks * 0.125);
        EXPECT_EQ(r.percent(row, 2), c.shown);
        EXPECT_EQ(r.bytes[size_t(row * 8 + 2)], c.byte);
        EXPECT_EQ(mapTextsOfResult(r)[size_t(row * 8 + 2)], mapPercentText(c.shown));
    }
}

TEST(MapCompute, SamplesOutsideTheMapAreIgnored) {
    struct Case {
        const char* what;
        uint16_t period, ticks;
        uint8_t pressure3;
        bool used;
    } cases[] = {
        {"499 rpm", 9619, 400, loadCode(3), false},
        {"500 rpm", 9600, 400, loadCode(3), true},
        {"8000 rpm", 600, 400, loadCode(3), false},
        {"no engine speed", 0, 400, loadCode(3), false},
        {"exactly 2.0 ms", 2400, 80, loadCode(3), false},
        {"2.025 ms", 2400, 81, loadCode(3), true},
        {"exactly 25.0 ms", 2400, 1000, loadCode(3), false},
        {"24.975 ms", 2400, 999, loadCode(3), true},
        {"absurd time", 2400, 65535, loadCode(3), false},
        {"load -9 (bucket 0)", 2400, 400, static_cast<uint8_t>(std::lround(pressureCode(110))), true},
        {"load -10 or lower", 2400, 400, 255, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Real units here: 0.025 ms ticks at F = 40000.
        CMapComputation comp(MapUnits::ofFrequency(40000));
        comp.add(sample(true, c.ticks, c.period, c.pressure3));
        EXPECT_EQ(comp.finish().used, c.used ? 1u : 0u);
    }
}

TEST(MapCompute, ADamagedRecordingComputesFromItsWholeLines) {
    CScratchFolder folder;
    const std::vector<CDiag> good = cell(12, 400, 12, 420); // 10 ms → 10.5 ms at F = 40000
    std::string lines;
    char buf[RECORDING_LINE_MAX];
    for (const CDiag& d : good)
        lines.append(buf, formatRecordingLine(d, buf));
    struct Case {
        const char* what;
        std::string tail;
        uint64_t read;
    } cases[] = {
        {"a truncated last line", "1\t1\t2\t0\t2400\t2400\t400", 24},
        // The lines after a bad one are read on, not lost.
        {"text", "1\t1\t2\tabc\n" + lines, 48},
        // A line whose values do not fit their fields is not a record at all.
        {"absurd values", "-5\t1\t2\t0\t1\t1\t65535\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t999999\r\n", 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.path() + "/r.lpgd";
        std::ofstream(path, std::ios::binary) << lines << c.tail;
        uint64_t read = 0;
        const MapResult r = computeMapFromFile(path, MapUnits::ofFrequency(40000), &read);
        EXPECT_EQ(read, c.read);
        EXPECT_NEAR(r.cells[2][3].correction, 5.0, 1e-9);
        EXPECT_EQ(r.used, c.read);
    }
    try {
        computeMapFromFile(folder.path() + "/missing.lpgd");
        ADD_FAILURE() << "no error for a missing recording";
    } catch (IError* e) {
        EXPECT_EQ(e->code(), ERROR_FILE_OPEN);
        delete e;
    }
}
