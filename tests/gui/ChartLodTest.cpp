// Drawing long recordings from the series' summaries: the pixels are those of
// drawing every point, for every series chart, window, plot size and y range; a
// chart that follows a store while another thread fills it (and clears it) ends
// with what a build of the whole store gives.

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "diag/DiagData.h"
#include "gui/ChartTestSupport.h"
#include "ui/chart/SeriesCharts.h"

namespace zefirel::test {
namespace {

/// A long drive: petrol and LPG stretches, stretches that do not inject (below
/// 0.2 ms), jumps in the sample numbers of 2 (the line goes on) and of 3 to 6 (it
/// breaks), slow curves with a little noise whose dots join, noisy stretches and
/// spikes whose dots do not. `seed` varies the values.
std::vector<CDiag> Drive(size_t count, uint32_t seed = 1) {
    std::vector<CDiag> out;
    out.reserve(count);
    uint32_t no = 0;
    for (size_t k = 0; k < count; ++k) {
        const auto i = static_cast<uint32_t>(k);
        no += i % 1499 == 0 && i > 0 ? 3 + i % 4 : i % 701 == 700 ? 2 : 1;
        CDiag d = Sample(no, (i / 2300) % 2 == 0);
        const uint32_t hash = (i + seed) * 2654435761u;
        const double noise = (i / 4000) % 3 == 2 ? (hash % 1000) / 1000.0 : (hash % 100) / 1000.0;
        const double spike = i % 333 == 0 ? 1.0 : 0.0;
        // 0 .. 1, stepping up or down at every break of the sample numbers: where a
        // line breaks, its two ends lie apart.
        const double wave = 0.6 * (std::sin(i * 0.0011 * seed) * 0.5 + 0.5) + 0.4 * (i / 1499 % 2);
        const double petrol = (i / 5100) % 7 == 3 && i % 5100 < 60 ? 0.1 : 3 + 8 * wave + 4 * noise + 6 * spike;
        d.setPetrolTime(0, Ticks(petrol));
        d.setLpgExtraTime(0, Ticks(0.5 + 2 * noise));
        d.setAuxTime(Ticks(petrol * 0.8));
        d.setRpmPeriod(Period(900 + 3000 * wave + 400 * noise + 2500 * spike));
        d.setSubRpmPeriod(0, Period(850 + 2900 * wave + 900 * noise));
        d.setPressureCode(static_cast<uint8_t>(60 + 120 * wave + 30 * noise + 60 * spike));
        d.setPressure2Code(static_cast<uint8_t>(50 + 100 * wave + 20 * noise));
        d.setPressure3Code(static_cast<uint8_t>(20 + 60 * wave + 25 * noise));
        d.setLpgTempCode(static_cast<uint8_t>(90 + 80 * wave + 20 * noise));
        d.setLambdaCode(static_cast<uint8_t>(10 + 150 * wave + 60 * noise + 80 * spike));
        out.push_back(d);
    }
    return out;
}

/// The pixels where two renderings differ, and the first of them (for the message).
struct Difference {
    int count = 0;
    QPoint first;
};
Difference Compare(const QImage& a, const QImage& b) {
    Difference d;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y) && d.count++ == 0) d.first = QPoint(x, y);
    return d;
}

/// Renders with the summaries and again drawing every point; returns the difference.
Difference SummariesAgainstEveryPoint(CSeriesChart& chart, QSize size) {
    chart.SetReduceDrawing(true);
    const QImage reduced = Render(chart, size);
    chart.SetReduceDrawing(false);
    const QImage full = Render(chart, size);
    chart.SetReduceDrawing(true);
    return Compare(reduced, full);
}

/// The time chart with its lines only: elsewhere each series' dots cover most of
/// its line.
class CTimeLinesChart : public CTimeChart {
public:
    using CTimeChart::CTimeChart;

protected:
    void StartSeries(size_t n) override {
        CTimeChart::StartSeries(n);
        for (size_t i = 0; i < Series().size(); ++i) S(i).drawDots = false;
    }
};

struct ChartKind {
    const char* name;
    std::function<std::unique_ptr<CSeriesChart>()> make;
    double clipMin, clipMax;  ///< a y range that cuts through the data
};

const ChartKind KINDS[] = {
    {"rpm", [] { return std::make_unique<CRPMChart>(nullptr); }, 1500, 3500},
    {"time", [] { return std::make_unique<CTimeChart>(nullptr); }, 4, 9},
    {"time lines", [] { return std::make_unique<CTimeLinesChart>(nullptr); }, 4, 9},
    {"pressure", [] { return std::make_unique<CPressureChart>(nullptr); }, 60, 120},
    {"temperature", [] { return std::make_unique<CTemprLPGChart>(nullptr); }, 20, 40},
    {"lambda", [] { return std::make_unique<CLambdaChart>(nullptr); }, 0.5, 2},
};

using ChartLod = ChartTest;

TEST_F(ChartLod, SummarisedDrawingPaintsThePixelsOfEveryPoint) {
    const std::vector<CDiag> drive = Drive(60000);
    const double last = drive.back().sampleNo();
    // The whole drive; windows that begin and end inside blocks (also at fractions
    // of a sample); a narrow one in which no block fits a column; one past the end.
    const struct {
        double from, to;
    } windows[] = {{0, last + 1}, {1237, 40001}, {333.5, 20999.25}, {5000, 5500}, {50000, last + 9000}};
    // A wide plot (tens of samples per column) and a narrow one (hundreds).
    const QSize sizes[] = {{800, 300}, {180, 260}};
    for (const ChartKind& kind : KINDS) {
        std::unique_ptr<CSeriesChart> chart = kind.make();
        chart->SetData(drive);
        const double defMin = chart->DefaultYMin(), defMax = chart->DefaultYMax();
        for (const auto& w : windows)
            for (const QSize& size : sizes)
                for (bool clipped : {false, true}) {
                    CSeriesChart::SetXWindow(w.from, w.to);
                    chart->SetYRange(clipped ? kind.clipMin : defMin, clipped ? kind.clipMax : defMax);
                    const Difference d = SummariesAgainstEveryPoint(*chart, size);
                    EXPECT_EQ(d.count, 0) << kind.name << " window " << w.from << ".." << w.to << " size "
                                          << size.width() << "x" << size.height() << (clipped ? " clipped" : "")
                                          << ", first at " << d.first.x() << "," << d.first.y();
                }
    }
}

/// The points of every series, to compare two charts' series in one go.
std::vector<std::vector<std::pair<double, double>>> Points(const CSeriesChart& c) {
    std::vector<std::vector<std::pair<double, double>>> out;
    for (const ChartSeries& s : c.Series()) {
        out.emplace_back();
        for (const ChartPoint& p : s.points) out.back().emplace_back(p.x, p.y);
    }
    return out;
}

TEST_F(ChartLod, FollowingAStoreTakesNewSamplesAndStartsAgainAfterAClear) {
    const std::vector<CDiag> a = Drive(3000, 1), b = Drive(3000, 2);
    CDiagData store;
    store.addMany(a.data(), 2000);
    CTimeChart chart(nullptr);
    chart.SetData(store);
    store.addMany(a.data() + 2000, 1000);  // grown: only the new samples are taken
    chart.SetData(store);
    CTimeChart whole(nullptr);
    whole.SetData(a);
    EXPECT_EQ(Points(chart), Points(whole));
    EXPECT_EQ(chart.GetLastSampleNo(), whole.GetLastSampleNo());

    // Cleared and refilled with as many other samples: the old run must not stay.
    store.clear();
    store.addMany(b.data(), b.size());
    chart.SetData(store);
    whole.SetData(b);
    EXPECT_EQ(Points(chart), Points(whole));

    // A window handed in between replaces the series; the store is then taken whole.
    chart.SetData(std::vector<CDiag>(b.begin(), b.begin() + 10));
    chart.SetData(store);
    EXPECT_EQ(Points(chart), Points(whole));
    // A chart emptied by Clear takes the store whole again.
    chart.Clear();
    chart.SetData(store);
    EXPECT_EQ(Points(chart), Points(whole));
}

TEST_F(ChartLod, FollowingAStoreWhileAnotherThreadFillsAndClearsIt) {
    const std::vector<CDiag> first = Drive(20000, 3), second = Drive(50000, 4);
    CDiagData store;
    std::atomic<bool> done{false};
    std::atomic<int> follows{0};
    // The filler adds blocks of varying size, as a replay does, clears the store once
    // in the middle (a new run) and fills it with the second drive. After each drive it
    // waits for one more follow, so the chart follows both runs however fast it fills.
    auto awaitFollow = [&] {
        const int seen = follows.load();
        while (follows.load() == seen)
            std::this_thread::yield();
    };
    std::thread filler([&] {
        auto fill = [&](const std::vector<CDiag>& v) {
            for (size_t at = 0; at < v.size();) {
                const size_t n = std::min(v.size() - at, 1 + (at * 7919) % 613);
                store.addMany(v.data() + at, n);
                at += n;
                std::this_thread::yield();
            }
        };
        fill(first);
        awaitFollow();
        store.clear();
        fill(second);
        awaitFollow();
        done = true;
    });
    CTimeChart chart(nullptr);
    CSeriesChart::SetXWindow(0, 60000);
    while (!done.load()) {
        chart.SetData(store);
        // Now and then, while the store still grows, the summaries built so far must
        // draw what every point draws.
        if (follows % 8 == 3) {
            const Difference d = SummariesAgainstEveryPoint(chart, QSize(400, 200));
            EXPECT_EQ(d.count, 0) << "follow " << follows << ", first at " << d.first.x() << "," << d.first.y();
        } else {
            Render(chart, QSize(400, 200));
        }
        ++follows;
    }
    filler.join();
    chart.SetData(store);
    CTimeChart whole(nullptr);
    whole.SetData(second);
    EXPECT_GT(follows.load(), 1);
    EXPECT_EQ(Points(chart), Points(whole));
    for (const QSize size : {QSize(800, 300), QSize(180, 260)}) {
        const Difference d = SummariesAgainstEveryPoint(chart, size);
        EXPECT_EQ(d.count, 0) << size.width() << ", first at " << d.first.x() << "," << d.first.y();
    }
}

} // namespace
} // namespace zefirel::test
