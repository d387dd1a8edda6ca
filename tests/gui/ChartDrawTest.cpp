// Drawing of both chart bases, checked on the pixels of a rendered image.

#include <QtMath>

#include <cmath>
#include <vector>

#include "gui/ChartTestSupport.h"
#include "ui/chart/SeriesCharts.h"
#include "ui/chart/XYCharts.h"

namespace zefirel::test {
namespace {

const QColor RED(255, 0, 0), GREEN(0, 255, 0), BLUE(0, 0, 255), WHITE(255, 255, 255);

/// A lambda chart over samples 0 .. 20 on a 400 × 190 plot: 20 pixels per sample.
class ChartDraw : public ChartTest {
protected:
    void SetUp() override {
        ChartTest::SetUp();
        CSeriesChart::SetXWindow(0, 20);
        CSeriesChart::SetXGridStep(50);
    }
    /// Lambda samples at these sample numbers with these ADC codes.
    void Feed(CLambdaChart& chart, const std::vector<std::pair<uint32_t, uint8_t>>& points) {
        std::vector<CDiag> samples;
        for (auto [no, code] : points) {
            CDiag d = Sample(no);
            d.setLambdaCode(code);
            samples.push_back(d);
        }
        chart.SetData(samples);
    }
    static constexpr uint8_t CODE = 128;  // 2.51 V
    const QSize size{480, 220};
};

TEST_F(ChartDraw, LineBreaksAtGapsOfThreeButNotAtPointsOutsideTheYRange) {
    CLambdaChart chart(nullptr);
    Feed(chart, {{2, CODE}, {4, CODE}, {7, CODE}});
    QImage img = Render(chart, size);
    const int py = chart.YToPixel(adcVoltage(CODE));
    ASSERT_EQ(chart.XToPixel(3), 120);
    EXPECT_EQ(Pixel(img, chart.XToPixel(3), py), RED);      // 2 → 4 joined
    EXPECT_EQ(Pixel(img, chart.XToPixel(5.5), py), WHITE);  // 4 → 7 broken
    EXPECT_EQ(Pixel(img, chart.XToPixel(7), py), RED);      // the point after the gap is a dot

    // 3 and 13 lie above the range and are skipped; 2 → 4 stays one line, 12 → 15 breaks (gap 3).
    chart.SetYRange(0, 3);
    Feed(chart, {{2, CODE}, {3, 220}, {4, CODE}, {12, CODE}, {13, 220}, {15, CODE}});
    img = Render(chart, size);
    const int py2 = chart.YToPixel(adcVoltage(CODE));
    EXPECT_EQ(Pixel(img, chart.XToPixel(3), py2), RED);
    EXPECT_EQ(Pixel(img, chart.XToPixel(13.5), py2), WHITE);
}

TEST_F(ChartDraw, SeriesDotsShowTheSeriesColoursForPetrolAndLpg) {
    CSeriesChart::ResetXWindow();
    const QSize big(580, 430);
    for (bool petrol : {true, false}) {
        CRPMChart rpm(nullptr);
        rpm.SetData(std::vector<CDiag>{Sample(101, petrol)});
        QImage img = Render(rpm, big);
        EXPECT_EQ(Pixel(img, rpm.XToPixel(101), rpm.YToPixel(2000)), petrol ? GREEN : RED);
        EXPECT_EQ(Pixel(img, rpm.XToPixel(101), rpm.YToPixel(3000)), BLUE);

        CTimeChart time(nullptr);
        CDiag d = Sample(101, petrol);
        d.setAuxTime(Ticks(2.0));
        time.SetData(std::vector<CDiag>{d});
        img = Render(time, big);
        EXPECT_EQ(Pixel(img, time.XToPixel(101), time.YToPixel(5.0)), petrol ? GREEN : RED);
        EXPECT_EQ(Pixel(img, time.XToPixel(101), time.YToPixel(6.0)), BLUE);
        EXPECT_EQ(Pixel(img, time.XToPixel(101), time.YToPixel(2.0)), petrol ? WHITE : QColor(120, 120, 120));
    }
}

TEST_F(ChartDraw, CrowdedColumnsDrawTheSamePixelsAsEveryPoint) {
    // 30 000 samples on 720 columns, with gaps, both modes and points off the range.
    std::vector<CDiag> samples;
    uint32_t no = 0;
    for (int i = 0; i < 30000; ++i) {
        no += (i % 997 == 0) ? 4 : 1;
        CDiag d = Sample(no, (i / 3000) % 2 == 0);
        const double ms = 12 + 10 * std::sin(i * 0.013) + ((i * 7919) % 13) * 0.4;
        d.setPetrolTime(0, Ticks(ms));
        d.setLpgExtraTime(0, Ticks((i * 31) % 23 == 0 ? 40 : 2));
        d.setAuxTime(Ticks(ms / 2));
        samples.push_back(d);
    }
    CSeriesChart::SetXWindow(0, no);
    CTimeChart chart(nullptr);
    chart.SetData(samples);
    const QImage reduced = Render(chart, QSize(800, 300));
    chart.SetReduceDrawing(false);
    const QImage full = Render(chart, QSize(800, 300));
    int differing = 0;
    for (int y = 0; y < full.height(); ++y)
        for (int x = 0; x < full.width(); ++x) differing += reduced.pixel(x, y) != full.pixel(x, y);
    EXPECT_EQ(differing, 0);
}

TEST_F(ChartDraw, BrokenGridStepsDrawTheFrameButNoGrid) {
    CLambdaChart chart(nullptr);
    chart.SetYGrid(0);
    CSeriesChart::SetXGridStep(-5);
    const QImage img = Render(chart, size);  // must return at all
    int frame = 0;
    for (int x = 60; x <= 460; ++x) frame += Pixel(img, x, 10) == QColor(Qt::black);
    EXPECT_GT(frame, 50);
    int labels = 0;
    for (int x = 26; x < 57; ++x)
        for (int y = 0; y < img.height(); ++y) labels += Pixel(img, x, y) != WHITE;
    EXPECT_EQ(labels, 0);
}

TEST_F(ChartDraw, TimeCorrectionBarsAndHighlight) {
    CTimeCorrChart chart(nullptr);
    chart.SetInterpolating(false);
    CTimeCorrChart::Table table{};
    table.fill(10);
    chart.SetEdited(3, true);
    chart.SetData(table);
    chart.SetHighlight(6.0);
    const QImage img = Render(chart, QSize(800, 300));
    const int w = chart.XToPixel(1) - chart.XToPixel(0);
    const int y = chart.YToPixel(5);
    auto inside = [&](int col) { return Pixel(img, chart.XToPixel(col) + w / 2, y); };
    EXPECT_EQ(inside(0), BLUE);
    EXPECT_EQ(inside(3), BLUE);
    EXPECT_EQ(inside(4), QColor(111, 111, 111));
    EXPECT_EQ(inside(24), BLUE);
    EXPECT_EQ(inside(6), QColor(111, 111, 111));  // the bar is drawn over the highlight
    EXPECT_EQ(Pixel(img, chart.XToPixel(6) + w / 2, chart.YToPixel(20)), RED);
    EXPECT_EQ(Pixel(img, chart.XToPixel(4) + w / 2, chart.YToPixel(20)), WHITE);
}

TEST_F(ChartDraw, XYPointsAreDotsInTheirOwnColourInsideTheRanges) {
    CInjMapChart chart(nullptr);
    chart.AddPoint(ChartPoint{70, 10, 1, CHART_RED});
    chart.AddPoint(ChartPoint{70, 40, 2, CHART_BLUE});
    chart.AddPoint(ChartPoint{30, 60, 3, CHART_BLUE});  // above the y range
    const QImage img = Render(chart, QSize(575, 460));
    EXPECT_EQ(Pixel(img, chart.XToPixel(70), chart.YToPixel(10)), RED);
    EXPECT_EQ(Pixel(img, chart.XToPixel(70), chart.YToPixel(40)), BLUE);
    EXPECT_NE(Pixel(img, chart.XToPixel(30), chart.YToPixel(50)), BLUE);
}

} // namespace
} // namespace zefirel::test
