#pragma once
// What the chart benchmarks share: clocks, a generated drive, point counts and the
// timing of a chart's drawing into an image.

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

#include "diag/Diag.h"
#include "link/Conversions.h"
#include "ui/chart/SeriesCharts.h"

namespace zefirel::bench {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

/// CPU time of this thread in ms: on a busy machine it shows the work itself.
inline double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

inline uint16_t Ticks(double ms) { return static_cast<uint16_t>(std::lround(ms / tickLength())); }

/// A plausible drive: idle and load phases, petrol and LPG stretches, noise.
inline CDiag MakeSample(uint32_t no) {
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

inline size_t PointCount(const CSeriesChart& c) {
    size_t n = 0;
    for (const ChartSeries& s : c.Series()) n += s.points.size();
    return n;
}

inline size_t PointCapacity(const CSeriesChart& c) {
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
inline DrawTimes TimeDraw(CSeriesChart& chart, QImage& img, int runs) {
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

} // namespace zefirel::bench
