// What the charts tell besides their data: a legend entry for every series in the
// series' own colour that says when the series lies under another, and y labels
// that never repeat when the grid gets fine and are never cut off.

#include <QSet>

#include <memory>

#include "gui/ChartTestSupport.h"
#include "ui/chart/SeriesCharts.h"
#include "ui/diag/DisplayView.h"

namespace zefirel::test {
namespace {

using ChartLegend = ChartTest;

TEST_F(ChartLegend, EverySeriesHasAnEntryInItsOwnColour) {
    // Samples on petrol and on LPG, with pressures and a lambda voltage, so that every
    // series of every chart gets points.
    std::vector<CDiag> samples;
    for (uint32_t no = 1; no <= 40; ++no) {
        CDiag d = Sample(no, no % 2 == 0);
        d.setAuxTime(Ticks(4.0));
        d.setPressureCode(120);
        d.setPressure2Code(140);
        d.setPressure3Code(60);
        d.setLpgTempCode(90);
        d.setLambdaCode(100);
        samples.push_back(d);
    }
    for (int kind = 0; kind < CHART_COUNT; ++kind) {
        const std::unique_ptr<CSeriesChart> chart = makeChart(kind, nullptr);
        chart->SetData(samples);
        const std::vector<LegendEntry> legend = chart->Legend();
        ASSERT_EQ(legend.size(), chart->Series().size()) << chart->GetName();
        for (size_t i = 0; i < legend.size(); ++i) {
            EXPECT_FALSE(chart->Series()[i].points.empty()) << chart->GetName() << " series " << i;
            EXPECT_EQ(legend[i].colour, chart->Series()[i].drawColour()) << chart->GetName() << " series " << i;
            EXPECT_FALSE(legend[i].text.isEmpty());
        }
    }
}

TEST_F(ChartLegend, YLabelsGainDecimalsOnlyWhileTheyWouldRepeat) {
    struct Case {
        int kind;
        double yMin, yMax, grid;
        const char* first;  // label of the bottom line
        const char* second; // label of the next line
    };
    const Case cases[] = {
        {CHART_RPM, 0, 8000, 2000, "0", "2000"},      // the chart's own format suffices
        {CHART_RPM, 100, 105, 0.5, "100.0", "100.5"}, // a zoom finer than whole numbers
        {CHART_TIME, 2, 3, 0.05, "2.00", "2.05"},
        {CHART_TIME, 0, 40, 5, "0.0", "5.0"},
        {CHART_LAMBDA, 0.5, 0.51, 0.001, "0.500", "0.501"},
        {CHART_PRESSURE, 0, 0.001, 0.00001, "0.0000", "0.0000"}, // at most four more decimals
        {CHART_TEMPR_LPG, -0.5, 0.5, 0.1, "-0.5", "-0.4"},
    };
    for (const Case& c : cases) {
        const std::unique_ptr<CSeriesChart> chart = makeChart(c.kind, nullptr);
        chart->SetYRange(c.yMin, c.yMax);
        chart->SetYGrid(c.grid);
        Render(*chart, QSize(600, 400));
        const std::string row = std::string(chart->GetName()) + " " + std::to_string(c.grid);
        EXPECT_EQ(chart->FormatYLabel(c.yMin), c.first) << row;
        EXPECT_EQ(chart->FormatYLabel(c.yMin + c.grid), c.second) << row;
        if (c.grid < 0.0001) continue;
        QSet<QString> seen;
        for (int i = 0; c.yMin + i * c.grid <= c.yMax + 1e-9; ++i) {
            const QString label = chart->FormatYLabel(c.yMin + i * c.grid);
            EXPECT_FALSE(seen.contains(label)) << row << " repeats " << label.toStdString();
            seen.insert(label);
        }
    }
}

/// Columns left of the plot that hold a black pixel in the rows [y0, y1).
std::vector<bool> InkColumns(const QImage& img, int width, int y0, int y1) {
    std::vector<bool> ink(static_cast<size_t>(width), false);
    for (int x = 0; x < width; ++x)
        for (int y = std::max(0, y0); y < std::min(img.height(), y1); ++y)
            if (QColor(img.pixel(x, y)) == QColor(Qt::black)) ink[static_cast<size_t>(x)] = true;
    return ink;
}

TEST_F(ChartLegend, YLabelsAreNeverCutOffNorDrawnOverTheCaption) {
    struct Case {
        int kind;
        double yMin, yMax, grid;
    };
    const Case cases[] = {
        {CHART_RPM, 8000, 8001, 0.1},          // "8000.0" .. "8001.0"
        {CHART_RPM, 10000, 12000, 200},        // "10000" .. "12000"
        {CHART_PRESSURE, 100, 100.01, 0.001},  // "100.000"
        {CHART_TIME, 0, 40, 5},                // the default: the class's own margin
    };
    for (const Case& c : cases) {
        const std::unique_ptr<CSeriesChart> chart = makeChart(c.kind, nullptr);
        chart->SetYRange(c.yMin, c.yMax);
        chart->SetYGrid(c.grid);
        const QImage img = Render(*chart, QSize(600, 400));
        const std::string row = std::string(chart->GetName()) + " " + std::to_string(c.yMin);
        const int left = static_cast<int>(chart->Left());
        EXPECT_GE(left, 60) << row;
        EXPECT_EQ(chart->PlotWidth(), 600 - left - 20) << row;
        // The caption's right edge, from the rows near the middle that lie clear of
        // every label, where nothing else is drawn left of the plot.
        const double mid = chart->Top() + chart->PlotHeight() / 2;
        std::vector<int> lines;
        for (int i = 0; c.yMin + i * c.grid <= c.yMax + 1e-9; ++i) lines.push_back(chart->YToPixel(c.yMin + i * c.grid));
        int captionRight = -1;
        for (int r = static_cast<int>(mid) - 20; r <= static_cast<int>(mid) + 20; ++r) {
            bool clear = true;
            for (int py : lines) clear = clear && std::abs(r - py) > 6;
            if (!clear) continue;
            const std::vector<bool> ink = InkColumns(img, left - 1, r, r + 1);
            for (size_t x = 0; x < ink.size(); ++x)
                if (ink[x]) captionRight = std::max(captionRight, static_cast<int>(x));
        }
        ASSERT_GE(captionRight, 5) << row;
        // Away from the caption every label lies wholly between it and the plot.
        for (int i = 0; c.yMin + i * c.grid <= c.yMax + 1e-9; ++i) {
            const int py = chart->YToPixel(c.yMin + i * c.grid);
            if (std::abs(py - mid) < 60) continue;
            const std::vector<bool> ink = InkColumns(img, left - 1, py - 3, py + 2);
            int first = -1;
            for (size_t x = 0; x < ink.size() && first < 0; ++x)
                if (ink[x]) first = static_cast<int>(x);
            ASSERT_GE(first, 0) << row << " line " << i << " has no label";
            EXPECT_GT(first, captionRight + 1) << row << " line " << i;
        }
    }
}

TEST_F(ChartLegend, TheLegendSaysWhichSeriesLiesUnderAnother) {
    // On LPG without an extra time the petrol time (red) and the LPG time (blue) are
    // one value: the blue line covers the red one.
    std::vector<CDiag> samples;
    for (uint32_t no = 1; no <= 200; ++no) {
        CDiag d = Sample(no);
        d.setLpgExtraTime(0, 0);
        d.setAuxTime(Ticks(2.0));
        samples.push_back(d);
    }
    CTimeChart chart(nullptr);
    chart.SetData(samples);
    const QImage img = Render(chart, QSize(600, 400));
    int red = 0, blue = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            red += QColor(img.pixel(x, y)) == QColor(255, 0, 0);
            blue += QColor(img.pixel(x, y)) == QColor(0, 0, 255);
        }
    EXPECT_EQ(red, 0);
    EXPECT_GT(blue, 300);
    std::vector<LegendEntry> legend = chart.ShownLegend();
    ASSERT_EQ(legend.size(), 4u);
    EXPECT_EQ(legend[0].text, QString::fromUtf8("czas dodatkowy"));
    EXPECT_EQ(legend[2].text, QString::fromUtf8("benzyna (jazda na LPG) (leży pod: LPG)"));
    EXPECT_EQ(legend[3].text, QString::fromUtf8("LPG"));

    // With an extra time of 1 ms both lines show, and the legend names them plainly.
    for (CDiag& d : samples) d.setLpgExtraTime(0, Ticks(1.0));
    chart.SetData(samples);
    EXPECT_EQ(chart.ShownLegend()[2].text, QString::fromUtf8("benzyna (jazda na LPG)"));
}

TEST_F(ChartLegend, ThePressureLegendSaysThePressuresAreChartedOnLpgOnly) {
    // A drive on petrol: the samples hold both pressures, the chart draws the load only.
    std::vector<CDiag> samples;
    for (uint32_t no = 1; no <= 200; ++no) {
        CDiag d = Sample(no, no <= 100);
        d.setPressureCode(120);
        d.setPressure2Code(140);
        d.setPressure3Code(60);
        samples.push_back(d);
    }
    CPressureChart chart(nullptr);
    chart.SetData(samples);
    const QImage img = Render(chart, QSize(600, 400));
    auto columnsWith = [&](QColor colour, double fromSample, double toSample) {
        int n = 0;
        for (int x = chart.XToPixel(fromSample); x < chart.XToPixel(toSample); ++x)
            for (int y = static_cast<int>(chart.Top()); y < chart.Top() + chart.PlotHeight(); ++y)
                if (QColor(img.pixel(x, y)) == colour) {
                    ++n;
                    break;
                }
        return n;
    };
    EXPECT_EQ(columnsWith(QColor(255, 0, 0), 5, 95), 0);
    EXPECT_GT(columnsWith(QColor(255, 0, 0), 105, 195), 50);
    const std::vector<LegendEntry> legend = chart.ShownLegend();
    ASSERT_EQ(legend.size(), 3u);
    EXPECT_EQ(legend[0].text, QString::fromUtf8("ciśnienie 2 (na LPG)"));
    EXPECT_EQ(legend[1].text, QString::fromUtf8("ciśn. różnicowe (na LPG)"));
}

} // namespace
} // namespace zefirel::test
