// What the charts tell besides their data: a legend entry for every series in the
// series' own colour, and y labels that never repeat when the grid gets fine.

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

} // namespace
} // namespace zefirel::test
