// Value/pixel mappings and the plot geometry of both chart bases.

#include <utility>
#include <vector>

#include "gui/ChartTestSupport.h"
#include "ui/chart/SeriesCharts.h"
#include "ui/chart/XYCharts.h"

namespace zefirel::test {
namespace {

using ChartMapping = ChartTest;
using Pixels = std::vector<std::pair<double, int>>;
using Values = std::vector<std::pair<int, double>>;

/// Checks a value → pixel mapping at each (value, pixel) pair.
template <class F> void ExpectPixels(F map, const Pixels& cases) {
    for (auto [value, pixel] : cases) EXPECT_EQ(map(value), pixel) << "value " << value;
}
/// Checks a pixel → value mapping at each (pixel, value) pair.
template <class F> void ExpectValues(F map, const Values& cases) {
    for (auto [pixel, value] : cases) EXPECT_NEAR(map(pixel), value, 1e-12) << "pixel " << pixel;
}

TEST_F(ChartMapping, SeriesChartLayoutAndMappingAtCornersAndMidpoint) {
    CRPMChart chart(nullptr);
    chart.SetSize(QSize(580, 430));  // W = 580 − 60 − 20, H = 430 − 10 − 20
    EXPECT_EQ(chart.PlotWidth(), 500);
    EXPECT_EQ(chart.PlotHeight(), 400);
    EXPECT_EQ(chart.GetPlotRect(), QRect(60, 10, 500, 402));
    // Half a pixel rounds away from zero; 0.45 pixel (y = 9) does not.
    ExpectPixels([&](double x) { return chart.XToPixel(x); }, {{0, 60}, {500, 560}, {250, 310}, {0.5, 61}});
    ExpectPixels([&](double y) { return chart.YToPixel(y); }, {{0, 410}, {8000, 10}, {4000, 210}, {10, 409}, {9, 410}});

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
    // Small values keep their fraction (whole part 10 is not above 10); 11.4 and 11.6 round.
    ExpectValues([&](int px) { return chart.PixelToX(px); },
                 {{60, 0}, {560, 100}, {61, 0.2}, {112, 10.4}, {117, 11}, {118, 12}});
    // y range 0 .. 40 over 400 pixels: 0.1 per pixel; 12.5 rounds away from zero.
    ExpectValues([&](int px) { return chart.PixelToY(px); }, {{410, 0}, {10, 40}, {385, 2.5}, {285, 13}});
}

TEST_F(ChartMapping, XYChartsTruncateInsteadOfRounding) {
    CInjMapChart chart(nullptr);
    chart.SetSize(QSize(575, 460));  // W = 575 − 60 − 15, H = 460 − 5 − 55
    EXPECT_EQ(chart.PlotWidth(), 500);
    EXPECT_EQ(chart.PlotHeight(), 400);
    EXPECT_EQ(chart.GetPlotRect(), QRect(60, 5, 500, 402));
    // x = 0.5 is 1.79 pixels and y = 0.07 lies at 404.44: both truncated.
    ExpectPixels([&](double x) { return chart.XToPixel(x); }, {{0, 60}, {140, 560}, {70, 310}, {0.5, 61}});
    ExpectPixels([&](double y) { return chart.YToPixel(y); }, {{50, 5}, {0, 405}, {0.07, 404}, {25, 205}});
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
