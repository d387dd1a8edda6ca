// Judging the operating points of the check after calibration: the tolerance's
// edge, too few samples never passing, where a cell shows on the map's grid, a
// failing point that a good neighbour in the same map cell cannot hide, how much
// of the map a pass needs judged, and the shown tenth being the judged one.
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
        // One operating point fails the settings, but is too little of the map to pass them.
        EXPECT_EQ(r.verdict, k.state == ECheckCell::Fail ? ECheckVerdict::Fail : ECheckVerdict::NoData);
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
    const AcceptanceResult wide = judgeCells(m, 10.0);
    EXPECT_EQ(wide.passed, 3);
    EXPECT_EQ(wide.failed, 0);
}

TEST(AcceptanceCheck, APassNeedsEnoughOfTheMapJudged) {
    struct Case {
        const char* what;
        int good, bad, tooFew;
        ECheckVerdict verdict;
    } cases[] = {
        {"idle on petrol, then idle on LPG", 1, 0, 0, ECheckVerdict::NoData},
        {"seven points", 7, 0, 0, ECheckVerdict::NoData},
        {"eight points", 8, 0, 0, ECheckVerdict::Pass},
        {"eight judged of sixteen driven", 8, 0, 8, ECheckVerdict::Pass},
        {"eight judged of seventeen driven", 8, 0, 9, ECheckVerdict::NoData},
        {"thirty judged of seventy driven", 30, 0, 40, ECheckVerdict::NoData},
        {"one failing point", 0, 1, 0, ECheckVerdict::Fail},
        {"one failing point among many good ones", 20, 1, 0, ECheckVerdict::Fail},
        {"nothing on LPG", 0, 0, 5, ECheckVerdict::NoData},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        MapResult m;
        int next = 0;
        const auto put = [&](const MapCell& c) {
            m.cells[next % SPEED_BUCKETS][next / SPEED_BUCKETS] = c;
            ++next;
        };
        for (int i = 0; i < k.good; ++i)
            put(cell(40, 4.0, 40, 4.08));
        for (int i = 0; i < k.bad; ++i)
            put(cell(40, 4.0, 40, 4.4));
        for (int i = 0; i < k.tooFew; ++i)
            put(cell(40, 4.0, 4, 4.0));
        const AcceptanceResult r = judgeCells(m);
        EXPECT_EQ(r.verdict, k.verdict) << checkVerdictText(r);
        const std::string text = checkVerdictText(r);
        EXPECT_EQ(text.rfind(k.verdict == ECheckVerdict::Pass   ? "Wynik: ustawienia poprawne."
                             : k.verdict == ECheckVerdict::Fail ? "Wynik: ustawienia wymagają poprawy"
                                                                : "Wynik: za mało danych",
                             0),
                  0u)
            << text;
    }
}

TEST(AcceptanceCheck, ACellIsJudgedByTheTenthItShows) {
    struct Case {
        double difference, tolerance;
        const char* shown;
        ECheckCell state;
    } cases[] = {
        {5.04, 5.0, "+5.0%", ECheckCell::Pass},
        {-5.04, 5.0, "-5.0%", ECheckCell::Pass},
        {5.06, 5.0, "+5.1% !", ECheckCell::Fail},
        {-5.06, 5.0, "-5.1% !", ECheckCell::Fail},
        {2.54, 2.5, "+2.5%", ECheckCell::Pass},
        {-0.04, 5.0, "+0.0%", ECheckCell::Pass}, // no sign of a difference rounded away
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.shown);
        MapResult m;
        m.cells[2][3] = cell(50, 4.0, 50, 4.0 * (1 + k.difference / 100));
        const AcceptanceResult r = judgeCells(m, k.tolerance);
        const CheckCell& c = r.cells[8][2];
        EXPECT_EQ(c.state, k.state);
        EXPECT_EQ(checkCellText(c), k.shown);
    }
}
