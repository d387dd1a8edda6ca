// Chart drawing figures: a 10 000-sample window of the injection-time chart drawn
// into a 1600 × 400 image; a whole 1 000 000-sample store built into the chart and
// drawn zoomed out (first draw, repaints, and every point for comparison); and the
// redraw after a replay that the chart followed while the store filled; and the
// legend and overview strip of the display view over that store.
// Run with QT_QPA_PLATFORM=offscreen.

#include <QApplication>
#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ChartBench.h"
#include "diag/DiagData.h"

using namespace zefirel;
using namespace zefirel::bench;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // "--repaints N": only the zoomed-out repaint, N times; "--window-repaints N":
    // only the draw of the 10 000-sample window, N times (both for a profiler).
    const std::string mode = argc > 2 ? argv[1] : "";
    const int repaints = mode == "--repaints" ? std::atoi(argv[2]) : 0;
    const int windowRepaints = mode == "--window-repaints" ? std::atoi(argv[2]) : 0;
    const QSize size(1600, 400);
    QImage img(size, QImage::Format_RGB32);

    // 1. A window of 10 000 samples.
    if (repaints == 0) {
        std::vector<CDiag> window;
        for (uint32_t i = 1; i <= 10000; ++i) window.push_back(MakeSample(i));
        CTimeChart chart(nullptr);
        chart.SetSize(size);
        CSeriesChart::SetXWindow(0, 10000);
        CSeriesChart::SetXGridStep(1000);
        const auto t0 = Clock::now();
        chart.SetData(window);
        const double setMs = MsSince(t0);
        TimeDraw(chart, img, 3);  // glyph caches
        if (windowRepaints > 0) {
            const DrawTimes r = TimeDraw(chart, img, windowRepaints);
            std::printf("%d window draws: best %.2f ms, CPU %.2f ms\n", windowRepaints, r.best, r.cpu);
            return 0;
        }
        const DrawTimes t = TimeDraw(chart, img, 30);
        const size_t points = PointCount(chart);
        std::printf("window 10000 samples (%zu points), 1600x400: SetData %.2f ms; Draw best %.2f ms, mean %.2f ms,"
                    " CPU %.2f ms (target < 3 ms); %.1f M points/s\n",
                    points, setMs, t.best, t.mean, t.cpu, points / (t.best / 1000.0) / 1e6);
        chart.SetReduceDrawing(false);
        const DrawTimes all = TimeDraw(chart, img, 10);
        std::printf("  same window drawing every point: best %.2f ms, CPU %.2f ms\n", all.best, all.cpu);
        chart.Clear();
        const DrawTimes bare = TimeDraw(chart, img, 10);
        std::printf("  frame, grid and labels alone: best %.2f ms, CPU %.2f ms\n", bare.best, bare.cpu);
    }

    // 2. A whole 1 000 000-sample store.
    {
        CDiagData store;
        std::vector<CDiag> block;
        for (uint32_t i = 1; i <= 1000000; ++i) {
            block.push_back(MakeSample(i));
            if (block.size() == 65536) {
                store.addMany(block.data(), block.size());
                block.clear();
            }
        }
        store.addMany(block.data(), block.size());
        CTimeChart chart(nullptr);
        chart.SetSize(size);
        CSeriesChart::SetXWindow(0, 1000000);
        CSeriesChart::SetXGridStep(100000);
        const auto t0 = Clock::now();
        const double c0 = CpuMs();
        chart.SetData(store);
        const double setMs = MsSince(t0), setCpu = CpuMs() - c0;
        const DrawTimes d = TimeDraw(chart, img, 1);
        const double drawMs = d.best;
        const size_t points = PointCount(chart);
        const double pointsMB = points * sizeof(ChartPoint) / 1048576.0;
        const double heldMB = PointCapacity(chart) * sizeof(ChartPoint) / 1048576.0;
        std::printf("store 1000000 samples (%zu points), whole store on screen, built from scratch: SetData %.1f ms"
                    " + Draw %.1f ms = %.1f ms (CPU %.1f + %.1f ms)\n",
                    points, setMs, drawMs, setMs + drawMs, setCpu, d.cpu);
        std::printf("  series memory %.1f MB for %.1f MB of points (%.2fx); summaries %.2f MB = %.2f B/sample"
                    " (store %.1f B/sample)\n",
                    heldMB, pointsMB, heldMB / pointsMB, chart.SummaryBytes() / 1048576.0,
                    chart.SummaryBytes() / 1e6, static_cast<double>(store.memoryBytes()) / 1e6);
        if (repaints > 0) {
            const DrawTimes r = TimeDraw(chart, img, repaints);
            std::printf("%d repaints zoomed out: best %.2f ms, CPU %.2f ms\n", repaints, r.best, r.cpu);
            return 0;
        }
        const DrawTimes z = TimeDraw(chart, img, 20);
        std::printf("  full repaint zoomed out, 1600x400: best %.2f ms, mean %.2f ms, CPU %.2f ms (target < 8 ms)\n",
                    z.best, z.mean, z.cpu);
        chart.SetReduceDrawing(false);
        const DrawTimes e = TimeDraw(chart, img, 1);
        std::printf("  the same drawing every point: best %.1f ms, CPU %.1f ms\n", e.best, e.cpu);
        chart.SetReduceDrawing(true);
        CSeriesChart::ResetXWindow();
        const DrawTimes w = TimeDraw(chart, img, 10);
        std::printf("  window 0..500: Draw best %.2f ms, CPU %.2f ms\n", w.best, w.cpu);
        CSeriesChart::SetXWindow(500000, 510000);
        const DrawTimes k = TimeDraw(chart, img, 20);
        std::printf("  window of 10000 samples inside it: Draw best %.2f ms, CPU %.2f ms\n", k.best, k.cpu);
        // The display view's additions: the legend that names hidden series (worked
        // out when the window changes) and the overview strip under the chart (its
        // scale fitted when samples arrive, its series drawn on every repaint).
        CSeriesChart::SetXWindow(0, 1000000);
        double best = 1e9;
        for (int i = 0; i < 5; ++i) {
            const auto l0 = Clock::now();
            (void)chart.ShownLegend();
            best = std::min(best, MsSince(l0));
        }
        std::printf("  legend of the whole store with hidden series looked for: best %.2f ms\n", best);
        chart.SetOwnXWindow(0, 1000000);
        chart.SetPlotArea(QRect(60, 2, 1520, 35));
        best = 1e9;
        for (int i = 0; i < 5; ++i) {
            const auto f0 = Clock::now();
            double low = 0, high = 0;
            chart.ShownValueRange(low, high);
            best = std::min(best, MsSince(f0));
        }
        std::printf("  overview strip 1520x35: scale fitted to the whole store: best %.2f ms\n", best);
        best = 1e9;
        for (int i = 0; i < 10; ++i) {
            img.fill(Qt::white);
            QPainter p(&img);
            const auto d0 = Clock::now();
            chart.DrawSeries(p);
            best = std::min(best, MsSince(d0));
        }
        std::printf("  overview strip 1520x35: series drawn: best %.2f ms\n", best);
    }

    // 3. The redraw after a replay: the store fills on another thread as a replay
    // fills it while the chart follows it every 20 ms, as the display view does;
    // then the chart takes the rest and draws the whole store.
    {
        CDiagData store;
        CTimeChart chart(nullptr);
        chart.SetSize(size);
        CSeriesChart::SetXWindow(0, 1000000);
        CSeriesChart::SetXGridStep(100000);
        std::atomic<bool> done{false};
        std::thread replay([&] {
            std::vector<CDiag> block;
            for (uint32_t i = 1; i <= 1000000; ++i) {
                block.push_back(MakeSample(i));
                if (block.size() == 256) {  // the replay thread adds sample by sample; 256 keeps it quick
                    store.addMany(block.data(), block.size());
                    block.clear();
                }
            }
            store.addMany(block.data(), block.size());
            done = true;
        });
        int follows = 0;
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            chart.SetData(store);
            ++follows;
        }
        replay.join();
        const auto t0 = Clock::now();
        const double c0 = CpuMs();
        chart.SetData(store);
        const double setMs = MsSince(t0), setCpu = CpuMs() - c0;
        const DrawTimes d = TimeDraw(chart, img, 1);
        std::printf("redraw from the store after a 1000000-sample replay followed %d times: SetData %.2f ms + Draw"
                    " %.2f ms = %.2f ms (CPU %.2f + %.2f ms; target < 30 ms)\n",
                    follows, setMs, d.best, setMs + d.best, setCpu, d.cpu);
    }
    return 0;
}
