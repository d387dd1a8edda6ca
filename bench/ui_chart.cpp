// Chart drawing figures: a 10 000-sample window of the injection-time chart drawn
// into a 1600 × 400 image, and a whole 1 000 000-sample store built into the chart
// and drawn (the redraw after a replay). Run with QT_QPA_PLATFORM=offscreen.

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "diag/DiagData.h"
#include "link/Conversions.h"
#include "ui/chart/SeriesCharts.h"

using namespace zefirel;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

/// CPU time of this thread in ms: on a busy machine it shows the work itself.
double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

uint16_t Ticks(double ms) { return static_cast<uint16_t>(std::lround(ms / tickLength())); }

/// A plausible drive: idle and load phases, petrol and LPG stretches, noise.
CDiag MakeSample(uint32_t no) {
    CDiag d;
    d.setSampleNo(no);
    d.setWorkState((no / 5000) % 3 == 0 ? 2 : 3);
    const double load = 0.5 + 0.5 * std::sin(no * 0.0007);
    const double ms = 2.5 + 9 * load + ((no * 2654435761u) % 100) * 0.01;
    d.setPetrolTime(0, Ticks(ms));
    d.setLpgExtraTime(0, Ticks(ms * 0.12));
    d.setAuxTime(Ticks(ms * 0.8));
    d.setRpmPeriod(static_cast<uint16_t>(rpmConstant() / (900 + 3000 * load)));
    d.setSubRpmPeriod(0, d.rpmPeriod());
    return d;
}

size_t PointCount(const CSeriesChart& c) {
    size_t n = 0;
    for (const ChartSeries& s : c.Series()) n += s.points.size();
    return n;
}

size_t PointCapacity(const CSeriesChart& c) {
    size_t n = 0;
    for (const ChartSeries& s : c.Series()) n += s.points.capacity();
    return n;
}

struct DrawTimes {
    double best = 1e9;  ///< fastest wall-clock ms
    double mean = 0;    ///< mean wall-clock ms
    double cpu = 0;     ///< mean CPU ms
};

/// Draws the chart `runs` times into a fresh image.
DrawTimes TimeDraw(CSeriesChart& chart, QImage& img, int runs) {
    DrawTimes t;
    for (int i = 0; i < runs; ++i) {
        img.fill(Qt::white);
        const auto t0 = Clock::now();
        const double c0 = CpuMs();
        QPainter p(&img);
        chart.Draw(p);
        p.end();
        const double ms = MsSince(t0);
        t.cpu += (CpuMs() - c0) / runs;
        t.best = std::min(t.best, ms);
        t.mean += ms / runs;
    }
    return t;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QSize size(1600, 400);
    QImage img(size, QImage::Format_RGB32);

    // 1. A window of 10 000 samples.
    {
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
        const DrawTimes t = TimeDraw(chart, img, 30);
        const size_t points = PointCount(chart);
        std::printf("window 10000 samples (%zu points), 1600x400: SetData %.2f ms; Draw best %.2f ms, mean %.2f ms,"
                    " CPU %.2f ms (target < 10 ms); %.1f M points/s\n",
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
        std::printf("store 1000000 samples (%zu points), whole store on screen: SetData %.1f ms + Draw %.1f ms"
                    " = %.1f ms (CPU %.1f + %.1f ms; target < 250 ms), %.1f M points/s\n",
                    points, setMs, drawMs, setMs + drawMs, setCpu, d.cpu,
                    points / ((setMs + drawMs) / 1000.0) / 1e6);
        std::printf("  series memory %.1f MB for %.1f MB of points (%.2fx)\n", heldMB, pointsMB, heldMB / pointsMB);
        CSeriesChart::ResetXWindow();
        const DrawTimes w = TimeDraw(chart, img, 10);
        std::printf("  after the replay, window 0..500: Draw best %.2f ms, CPU %.2f ms\n", w.best, w.cpu);
    }
    return 0;
}
