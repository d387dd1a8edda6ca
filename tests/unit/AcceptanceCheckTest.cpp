// Judging the operating points of the check after calibration: the tolerance's
// edge, too few samples never passing, where a cell shows on the map's grid, and
// a failing point that a good neighbour in the same map cell cannot hide.
#include <gtest/gtest.h>

#include "map/AcceptanceCheck.h"

using namespace zefirel;

namespace {

MapCell cell(int petrolCount, double petrolMean, int lpgCount, double lpgMean) {
    MapCell c;
    c.petrolCount = petrolCount;
    c.petrolMean = petrolMean;
    c.lpgCount = lpgCount;
    c.lpgMean = lpgMean;
    return c;
}

} // namespace

TEST(AcceptanceCheck, JudgesEachOperatingPointAgainstTheTolerance) {
    struct Case {
        const char* what;
        MapCell cell;
        ECheckCell state;
        double difference;
    } cases[] = {
        {"equal times", cell(50, 4.0, 50, 4.0), ECheckCell::Pass, 0},
        {"exactly at +5 %", cell(50, 4.0, 50, 4.2), ECheckCell::Pass, 5},
        {"just beyond −5 %", cell(50, 4.0, 50, 3.79), ECheckCell::Fail, -5.25},
        {"11 samples of each fuel", cell(11, 8.0, 11, 9.0), ECheckCell::Fail, 12.5},
        {"10 LPG samples only", cell(50, 8.0, 10, 8.0), ECheckCell::TooFew, 0},
        {"petrol only", cell(200, 8.0, 0, 0), ECheckCell::TooFew, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        MapResult m;
        m.cells[2][3] = k.cell; // 2000-3000 rpm
        const AcceptanceResult r = judgeCells(m);
        const int row = static_cast<int>((k.cell.petrolCount ? k.cell.petrolMean : k.cell.lpgMean) / 0.5);
        const CheckCell& shown = r.cells[row][2];
        EXPECT_EQ(shown.state, k.state);
        EXPECT_NEAR(shown.difference, k.difference, 1e-9);
        EXPECT_EQ(r.verdict, k.state == ECheckCell::Pass   ? ECheckVerdict::Pass
                             : k.state == ECheckCell::Fail ? ECheckVerdict::Fail
                                                           : ECheckVerdict::NoData);
    }
}

TEST(AcceptanceCheck, AFailingPointIsNotHiddenByAGoodOneInTheSameMapCell) {
    MapResult m;
    // Two loads at 1000-2000 rpm whose petrol times meet in the 6.0-6.5 ms row:
    // +8 % and −2 % would average to +3 %, a pass.
    m.cells[1][2] = cell(40, 6.1, 40, 6.1 * 1.08);
    m.cells[1][3] = cell(40, 6.3, 40, 6.3 * 0.98);
    m.cells[1][4] = cell(40, 6.2, 3, 6.2); // too few: does not mask either
    m.cells[5][6] = cell(40, 12.0, 40, 12.12);
    const AcceptanceResult r = judgeCells(m, 5.0);
    EXPECT_EQ(r.cells[12][1].state, ECheckCell::Fail);
    EXPECT_NEAR(r.cells[12][1].difference, 8.0, 1e-9);
    EXPECT_EQ(r.cells[24][5].state, ECheckCell::Pass);
    EXPECT_EQ(r.passed, 2);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.tooFew, 1);
    EXPECT_NEAR(r.worst, 8.0, 1e-9);
    EXPECT_EQ(r.verdict, ECheckVerdict::Fail);
    EXPECT_EQ(checkCellText(r.cells[12][1]), "+8.0% !");
    // A wider tolerance judges the same figures again.
    EXPECT_EQ(judgeCells(m, 10.0).verdict, ECheckVerdict::Pass);
}
