// Value/pixel mappings and the plot geometry of both chart bases.

#include "gui/ChartTestSupport.h"
#include "ui/chart/SeriesCharts.h"
#include "ui/chart/XYCharts.h"

namespace zefirel::test {
namespace {

using ChartMapping = ChartTest;

TEST_F(ChartMapping, SeriesChartLayoutAndMappingAtCornersAndMidpoint) {
    CRPMChart chart(nullptr);
    chart.SetSize(QSize(580, 430));  // W = 580 − 60 − 20, H = 430 − 10 − 20
    EXPECT_EQ(chart.PlotWidth(), 500);
    EXPECT_EQ(chart.PlotHeight(), 400);
    EXPECT_EQ(chart.GetPlotRect(), QRect(60, 10, 500, 402));

    EXPECT_EQ(chart.XToPixel(0), 60);
    EXPECT_EQ(chart.XToPixel(500), 560);
    EXPECT_EQ(chart.XToPixel(250), 310);
    EXPECT_EQ(chart.XToPixel(0.5), 61);  // half a pixel rounds away from zero
    EXPECT_EQ(chart.YToPixel(0), 410);
    EXPECT_EQ(chart.YToPixel(8000), 10);
    EXPECT_EQ(chart.YToPixel(4000), 210);
    EXPECT_EQ(chart.YToPixel(10), 409);  // 0.5 pixel above the bottom
    EXPECT_EQ(chart.YToPixel(9), 410);   // 0.45 pixel

    // The x window is shared: another chart maps through the same window.
    CSeriesChart::SetXWindow(1000, 2000);
    CTimeChart other(nullptr);
    other.SetSize(QSize(580, 430));
    EXPECT_EQ(chart.XToPixel(1500), 310);
    EXPECT_EQ(other.XToPixel(1500), 310);
}

TEST_F(ChartMapping, SeriesPixelToValueRoundsOnlyBeyondTen) {
    CTimeChart chart(nullptr);
    chart.SetSize(QSize(580, 430));
    CSeriesChart::SetXWindow(0, 100);  // 5 pixels per sample
    EXPECT_DOUBLE_EQ(chart.PixelToX(60), 0);
    EXPECT_DOUBLE_EQ(chart.PixelToX(560), 100);
    EXPECT_DOUBLE_EQ(chart.PixelToX(61), 0.2);   // small values keep their fraction
    EXPECT_DOUBLE_EQ(chart.PixelToX(112), 10.4); // whole part 10 is not above 10
    EXPECT_DOUBLE_EQ(chart.PixelToX(117), 11);   // 11.4 rounds
    EXPECT_DOUBLE_EQ(chart.PixelToX(118), 12);   // 11.6 rounds up
    // y range 0 .. 40 over 400 pixels: 0.1 per pixel.
    EXPECT_DOUBLE_EQ(chart.PixelToY(410), 0);
    EXPECT_DOUBLE_EQ(chart.PixelToY(10), 40);
    EXPECT_NEAR(chart.PixelToY(385), 2.5, 1e-12);
    EXPECT_DOUBLE_EQ(chart.PixelToY(285), 13);  // 12.5 rounds away from zero
}

TEST_F(ChartMapping, XYChartsTruncateInsteadOfRounding) {
    CInjMapChart chart(nullptr);
    chart.SetSize(QSize(575, 460));  // W = 575 − 60 − 15, H = 460 − 5 − 55
    EXPECT_EQ(chart.PlotWidth(), 500);
    EXPECT_EQ(chart.PlotHeight(), 400);
    EXPECT_EQ(chart.GetPlotRect(), QRect(60, 5, 500, 402));
    EXPECT_EQ(chart.XToPixel(0), 60);
    EXPECT_EQ(chart.XToPixel(140), 560);
    EXPECT_EQ(chart.XToPixel(70), 310);
    EXPECT_EQ(chart.XToPixel(0.5), 61);  // 1.79 pixels, truncated
    EXPECT_EQ(chart.YToPixel(50), 5);
    EXPECT_EQ(chart.YToPixel(0), 405);
    EXPECT_EQ(chart.YToPixel(0.07), 404);  // 404.44 truncated
    EXPECT_EQ(chart.YToPixel(25), 205);
}

TEST_F(ChartMapping, TimeCorrectionChartKeepsItsFixedPlotSize) {
    CTimeCorrChart chart(nullptr);
    chart.SetSize(QSize(200, 100));
    EXPECT_EQ(chart.PlotWidth(), 750);
    EXPECT_EQ(chart.PlotHeight(), 280);
    chart.SetSize(QSize(1600, 900));
    EXPECT_EQ(chart.PlotWidth(), 750);
    EXPECT_EQ(chart.GetPlotRect(), QRect(45, 10, 750, 282));
}

TEST_F(ChartMapping, DegenerateRangesAndTinyPlotsMapWithoutFailing) {
    CRPMChart chart(nullptr);
    chart.SetSize(QSize(50, 20));  // negative plot size
    EXPECT_DOUBLE_EQ(chart.PixelToX(100), CSeriesChart::DefaultXMin());
    CSeriesChart::SetXWindow(300, 300);
    chart.SetYRange(7, 7);
    chart.SetSize(QSize(580, 430));
    EXPECT_EQ(chart.XToPixel(300), 60);
    EXPECT_EQ(chart.YToPixel(7), 410);
    // Far-away values clamp instead of overflowing the integer.
    CSeriesChart::ResetXWindow();
    EXPECT_GT(chart.XToPixel(1e300), 1000000);
    EXPECT_LT(chart.XToPixel(-1e300), -1000000);
}

} // namespace
} // namespace zefirel::test
