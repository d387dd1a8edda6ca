// What the charts build from samples and tables: series, autoscale, interpolation.

#include <QPaintEvent>
#include <QTest>
#include <QWidget>

#include <vector>

#include "diag/DiagData.h"
#include "gui/ChartTestSupport.h"
#include "ui/chart/SeriesCharts.h"
#include "ui/chart/XYCharts.h"

namespace zefirel::test {
namespace {

using ChartData = ChartTest;

/// The sample numbers each series holds, series by series.
std::vector<std::vector<double>> Xs(const std::vector<ChartSeries>& series) {
    std::vector<std::vector<double>> out;
    for (const ChartSeries& s : series) {
        out.emplace_back();
        for (const ChartPoint& p : s.points) out.back().push_back(p.x);
    }
    return out;
}
using Columns = std::vector<std::vector<double>>;

TEST_F(ChartData, RpmChartTakesSpeedsInRangeIntoItsThreeSeries) {
    std::vector<CDiag> samples{Sample(1, true), Sample(2, false), Sample(3), Sample(4), Sample(5)};
    samples[2].setSubRpmPeriod(0, Period(90));     // measured speed below 100
    samples[3].setSubRpmPeriod(0, Period(12000));  // above 10000
    samples[4].setRpmPeriod(0);                    // no averaged speed
    CRPMChart chart(nullptr);
    chart.SetData(samples);
    const auto& s = chart.Series();
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(Xs(s), (Columns{{2}, {1}, {1, 2}}));  // LPG mode, petrol mode, averaged
    // Only the averaged speed is a line; the measured speeds are dots.
    EXPECT_EQ((std::vector<bool>{s[0].drawLine, s[1].drawLine, s[2].drawLine}), (std::vector<bool>{false, false, true}));
    EXPECT_DOUBLE_EQ(s[0].points[0].y, 2000);
    EXPECT_DOUBLE_EQ(s[2].points[1].y, 3000);
    EXPECT_EQ(s[2].points[1].tag, 2);
    EXPECT_EQ(chart.GetLastSampleNo(), 5);
}

TEST_F(ChartData, TimeAndPressureChartsSplitByWorkMode) {
    CDiag petrol = Sample(1, true), lpg = Sample(2, false), idle = Sample(3, false);
    for (CDiag* d : {&petrol, &lpg, &idle}) {
        d->setAuxTime(Ticks(2));
        d->setPressureCode(143);
        d->setPressure2Code(100);
        d->setPressure3Code(60);
    }
    idle.setPetrolTime(0, Ticks(0.175));  // not injecting
    lpg.setPressure3Code(0);              // 101 − 0 is not below 101
    const std::vector<CDiag> samples{petrol, lpg, idle};

    CTimeChart time(nullptr);
    time.SetData(samples);
    const auto& t = time.Series();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(Xs(t), (Columns{{2}, {1}, {2}, {1, 2}}));
    EXPECT_DOUBLE_EQ(t[0].points[0].y, 2.0);
    EXPECT_DOUBLE_EQ(t[2].points[0].y, 5.0);
    EXPECT_DOUBLE_EQ(t[3].points[0].y, 6.0);

    CPressureChart pressure(nullptr);
    pressure.SetData(samples);
    const auto& p = pressure.Series();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(Xs(p), (Columns{{2}, {2}, {1}}));
    EXPECT_DOUBLE_EQ(p[0].points[0].y, pressureKPa(100));
    EXPECT_DOUBLE_EQ(p[1].points[0].y, pressureKPa(143));
    EXPECT_DOUBLE_EQ(p[2].points[0].y, 101 - pressureKPa(60));
    EXPECT_EQ(p[2].drawColour(), CHART_BLACK);
    EXPECT_EQ(pressure.GetLastSampleNo(), 3);
}

TEST_F(ChartData, BuildingFromTheStoreMatchesBuildingFromACopy) {
    CDiagData store;
    std::vector<CDiag> copy;
    for (uint32_t i = 1; i <= 70000; ++i) {
        CDiag d = Sample(i, i % 3 == 0);
        d.setLpgTempCode(static_cast<uint8_t>(i % 256));
        store.add(d);
        copy.push_back(d);
    }
    CTemprLPGChart fromStore(nullptr), fromCopy(nullptr);
    fromStore.SetData(store);
    fromCopy.SetData(copy);
    const auto& a = fromStore.Series()[0].points;
    const auto& b = fromCopy.Series()[0].points;
    ASSERT_EQ(a.size(), 70000u);
    EXPECT_EQ(fromStore.GetLastSampleNo(), 70000);
    for (size_t i = 0; i < 70000; i += 4999) EXPECT_TRUE(a[i].x == b[i].x && a[i].y == b[i].y) << i;
    EXPECT_DOUBLE_EQ(a[69999].y, temperature(70000 % 256));
}

/// Autoscale runs only with the chart's flag on and live diagnostics running.
class ChartAutoscale : public ChartTest {
protected:
    void SetUp() override {
        ChartTest::SetUp();
        CSeriesChart::SetLiveCheck([this] { return live; });
    }
    static std::vector<CDiag> Speeds(double a, double b, int n = 1) {
        std::vector<CDiag> v;
        for (int i = 0; i < n; ++i) {
            CDiag d = Sample(static_cast<uint32_t>(i + 1));
            d.setRpmPeriod(Period(a));
            d.setSubRpmPeriod(0, Period(b));
            v.push_back(d);
        }
        return v;
    }
    bool live = true;
};

TEST_F(ChartAutoscale, RpmRangeFollowsTheExtremesAndResetsEveryTenCalls) {
    // Only the last ten samples of a call count: the faster ten before them do not.
    std::vector<CDiag> first = Speeds(6000, 5000, 10);
    for (const CDiag& d : Speeds(3000, 2000, 10)) first.push_back(d);
    CRPMChart chart(nullptr);
    chart.SetAutoscale(true);
    chart.SetData(first);
    EXPECT_THAT(YScale(chart), Near({1800, 3300, 150}));
    for (int call = 2; call <= 10; ++call) chart.SetData(Speeds(3000, 2000));
    EXPECT_DOUBLE_EQ(chart.YMax(), 3300);
    // The eleventh call starts from fresh extremes: the old maximum is forgotten.
    chart.SetData(Speeds(1500, 1200));
    EXPECT_THAT(YRange(chart), Near({1080, 1650}));

    CSeriesChart::SetXWindow(2000, 2600);
    chart.RestoreScale();
    EXPECT_THAT(YScale(chart), Near({0, 8000, 800}));
    EXPECT_THAT(XScale(chart), Near({0, 500, 50}));
}

TEST_F(ChartAutoscale, ANewRangeRepaintsTheParentAboveItsBottomStrip) {
    struct PaintSpy : QObject {
        QRegion region;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) region += static_cast<QPaintEvent*>(e)->region();
            return false;
        }
    } spy;
    QWidget view;
    view.resize(300, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::qWait(20);
    view.installEventFilter(&spy);
    CRPMChart chart(&view);
    chart.SetAutoscale(true);
    chart.SetData(Speeds(3000, 2000));
    QTest::qWait(20);
    EXPECT_EQ(spy.region.boundingRect(), QRect(0, 0, 300, 185));
    spy.region = QRegion();
    chart.SetData(Speeds(3000, 2000));  // same extremes: no repaint
    QTest::qWait(20);
    EXPECT_TRUE(spy.region.isEmpty());
}

TEST_F(ChartAutoscale, IdleWhenOffOrReplayingFixedForTemperatureTopOnlyForLambda) {
    CRPMChart off(nullptr);
    off.SetData(Speeds(3000, 2000));
    EXPECT_DOUBLE_EQ(off.YMax(), 8000);
    live = false;
    CRPMChart replay(nullptr);
    replay.SetAutoscale(true);
    replay.SetData(Speeds(3000, 2000));
    EXPECT_DOUBLE_EQ(replay.YMax(), 8000);
    live = true;
    CTemprLPGChart tempr(nullptr);
    tempr.SetAutoscale(true);
    std::vector<CDiag> hot = Speeds(3000, 2000, 2);
    hot[0].setLpgTempCode(40);
    hot[1].setLpgTempCode(60);
    tempr.SetData(hot);
    EXPECT_THAT(YRange(tempr), Near({0, 100}));
    // The lambda chart moves only its top.
    CLambdaChart lambda(nullptr);
    lambda.SetAutoscale(true);
    hot[0].setLambdaCode(100);
    hot[1].setLambdaCode(150);
    lambda.SetData(hot);
    EXPECT_THAT(YRange(lambda), Near({0, 3.2}));
    EXPECT_NEAR(lambda.YGrid(), 0.32, 1e-12);
}

TEST_F(ChartAutoscale, PressureSkipsZeroAndResetsItsMinimumTo100) {
    CPressureChart chart(nullptr);
    chart.SetAutoscale(true);
    std::vector<CDiag> first = Speeds(3000, 2000, 3);
    first[0].setPressureCode(61);
    first[1].setPressureCode(71);
    first[2].setPressureCode(0);  // 0 kPa is not a measurement
    chart.SetData(first);
    EXPECT_THAT(YRange(chart), Near({1.0 * roundToInt(pressureKPa(61) * 0.9), 1.0 * roundToInt(pressureKPa(71) * 1.1)}));
    for (int call = 2; call <= 10; ++call) chart.SetData(first);
    std::vector<CDiag> later = Speeds(3000, 2000, 2);
    later[0].setPressureCode(143);
    later[1].setPressureCode(163);
    chart.SetData(later);
    EXPECT_THAT(YRange(chart), Near({90, 1.0 * roundToInt(pressureKPa(163) * 1.1)}));  // the minimum restarted at 100, not 10000
}

TEST_F(ChartAutoscale, TimeRoundsToTenthsAndNeverClosesTheRange) {
    CTimeChart chart(nullptr);
    chart.SetAutoscale(true);
    chart.SetData(Speeds(3000, 2000));  // petrol 5 ms, LPG 6 ms
    EXPECT_THAT(YRange(chart), Near({4.5, 6.6}));
    EXPECT_NEAR(chart.YGrid(), 0.21, 1e-12);

    CSeriesChart::ResetAutoscaleStates();
    CTimeChart narrow(nullptr);
    narrow.SetAutoscale(true);
    std::vector<CDiag> tiny = Speeds(3000, 2000);
    tiny[0].setPetrolTime(0, 8);     // 0.2 ms
    tiny[0].setLpgExtraTime(0, 1);   // 0.225 ms: both bounds round to 0.2
    narrow.SetData(tiny);
    EXPECT_THAT(YRange(narrow), Near({0, 40}));
}

TEST_F(ChartData, TimeCorrectionsInterpolateBetweenEditedColumns) {
    CTimeCorrChart chart(nullptr);
    CTimeCorrChart::Table table{};
    table[24] = 12;
    chart.SetEdited(0, true);
    chart.SetEdited(24, true);
    chart.SetData(table);
    EXPECT_DOUBLE_EQ(table[12], 6);
    EXPECT_DOUBLE_EQ(table[1], 1);  // 0.5 rounds away from zero
    ASSERT_EQ(chart.Points().size(), 25u);
    EXPECT_DOUBLE_EQ(chart.Points()[12].y, 6);
    EXPECT_EQ(chart.Points()[7].tag, 7);
    EXPECT_EQ(chart.Points()[7].colour, CHART_BLUE);

    table[24] = 13;
    chart.SetData(table);
    EXPECT_DOUBLE_EQ(table[12], 7);  // 6.5
    table[24] = -13;
    chart.SetData(table);
    EXPECT_DOUBLE_EQ(table[12], -7);  // −6.5 rounds away from zero too

    // An edited column in the middle splits the line; its own value stays.
    CTimeCorrChart::Table peak{};
    peak[10] = 20;
    CTimeCorrChart::Flags edited{};
    edited[10] = true;
    CTimeCorrChart::Interpolate(peak, edited);
    EXPECT_DOUBLE_EQ(peak[5], 10);
    EXPECT_DOUBLE_EQ(peak[10], 20);
    EXPECT_DOUBLE_EQ(peak[17], 10);
    EXPECT_DOUBLE_EQ(peak[24], 0);

    chart.SetInterpolating(false);
    CTimeCorrChart::Table kept{};
    kept[5] = 3;
    chart.SetData(kept);
    EXPECT_DOUBLE_EQ(kept[5], 3);
}

TEST_F(ChartData, InjectionMapPlotsPetrolBelowAndLpgAbove) {
    std::vector<CDiag> samples;
    auto add = [&](uint32_t no, double rpm, double ms, bool petrol) {
        CDiag d = Sample(no, petrol);
        d.setRpmPeriod(Period(rpm));
        d.setPetrolTime(0, Ticks(ms));
        d.setPressure3Code(60);
        samples.push_back(d);
    };
    add(1, 2000, 5, true);
    add(2, 6000, 2, false);
    add(3, 1900, 5, true);   // too slow
    add(4, 6100, 5, false);  // too fast
    add(5, 3000, 1.9, true); // too short
    CInjMapChart chart(nullptr);
    chart.SetData(samples);
    ASSERT_EQ(chart.Points().size(), 2u);
    const ChartPoint& a = chart.Points()[0];
    const ChartPoint& b = chart.Points()[1];
    EXPECT_DOUBLE_EQ(a.x, 101 - pressureKPa(60));
    EXPECT_DOUBLE_EQ(a.y, 5);
    EXPECT_EQ(a.colour, CHART_RED);
    EXPECT_DOUBLE_EQ(b.y, 27);
    EXPECT_EQ(b.colour, CHART_BLUE);
    EXPECT_EQ(b.tag, 2);
    EXPECT_EQ(chart.FormatYLabel(27), "2");
    EXPECT_EQ(chart.FormatYLabel(25), "25");
    EXPECT_EQ(chart.YCaption(), "<-------- Benzyna ------->|<-------- LPG ---------------->");

    CInjSeqChart seq(nullptr);
    EXPECT_EQ(seq.FormatYLabel(0), "INJ_1->");
    EXPECT_EQ(seq.FormatYLabel(14), "INJ_8->");
    EXPECT_EQ(seq.FormatXLabel(15), "15");
}

} // namespace
} // namespace zefirel::test
