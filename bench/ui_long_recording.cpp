// A long recording end to end: a generated recording of 10 000 000 lines (or the
// count given as the first argument) is replayed through the replay thread while
// the injection-time chart follows the store every 100 ms, as the display view does;
// then the chart takes the rest and draws the whole recording zoomed out into a
// 1600 × 400 image. Prints the time from the replay's start to that first draw, the
// zoomed-out repaint, and the memory per sample of the store, the chart's
// summaries and its series. Run with QT_QPA_PLATFORM=offscreen.
#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "ChartBench.h"
#include "ReplayBench.h"
#include "diag/Recording.h"

using namespace zefirel;
using namespace zefirel::bench;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long lines = argc > 1 ? std::atol(argv[1]) : 10000000;
    const std::string path = "/tmp/zefirel-bench-long-" + std::to_string(::getpid()) + ".lpgd";
    auto t0 = Clock::now();
    {
        CRecordingWriter w;
        if (!w.open(path)) {
            std::fprintf(stderr, "cannot create %s\n", path.c_str());
            return 1;
        }
        for (long i = 1; i <= lines; ++i) w.write(MakeSample(static_cast<uint32_t>(i)));
    }
    std::printf("generated %ld lines in %.1f s\n", lines, MsSince(t0) / 1000);

    const QSize size(1600, 400);
    QImage img(size, QImage::Format_RGB32);
    CDiagData store;
    CTimeChart chart(nullptr);
    chart.SetSize(size);
    CSeriesChart::SetXWindow(0, static_cast<double>(lines));
    CSeriesChart::SetXGridStep(lines / 10.0);

    t0 = Clock::now();
    const CReplayRun replay(store, path);
    int follows = 0;
    double followMs = 0;
    while (replay.running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto f0 = Clock::now();
        chart.SetData(store);
        followMs += MsSince(f0);
        ++follows;
    }
    const double replayMs = MsSince(t0);
    const auto r0 = Clock::now();
    chart.SetData(store);
    const double restMs = MsSince(r0);
    const DrawTimes first = TimeDraw(chart, img, 1);
    const double totalMs = MsSince(t0);
    std::printf("replay of %d samples with the chart following (%d times, %.0f ms in all): %.2f s; the rest %.1f ms;"
                " first full draw %.1f ms; replay + first draw %.2f s (target < 5 s)\n",
                store.count(), follows, followMs, replayMs / 1000, restMs, first.best, totalMs / 1000);
    const DrawTimes again = TimeDraw(chart, img, 10);
    std::printf("zoomed-out repaint of the whole recording: best %.2f ms, mean %.2f ms, CPU %.2f ms (target < 16 ms)\n",
                again.best, again.mean, again.cpu);

    const double n = store.count();
    const double storeB = static_cast<double>(store.memoryBytes()) / n;
    const double summaryB = static_cast<double>(chart.SummaryBytes()) / n;
    const double seriesB = static_cast<double>(PointCapacity(chart) * sizeof(ChartPoint)) / n;
    std::printf("memory per sample: store %.1f B + summaries %.2f B = %.1f B (+%.1f%%; target <= 118 B);"
                " the chart's series %.1f B (%zu points)\n",
                storeB, summaryB, storeB + summaryB, 100 * summaryB / storeB, seriesB, PointCount(chart));
    ::unlink(path.c_str());
    return 0;
}
