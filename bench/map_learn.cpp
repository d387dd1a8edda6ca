// Map learning cost: 1 000 000 generated samples (or the count given as the first
// argument) over the whole map, petrol then LPG, with steps and cut-off among them,
// fed one by one into the learner as the road test feeds every polled sample, and
// the table and proposal the view asks for twice a second. Prints ns per sample
// (polling brings some 20 samples a second, so anything below a few microseconds is
// nothing against it) and the cost of one view refresh.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "diag/Diag.h"
#include "map/MapLearning.h"

using namespace zefirel;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::vector<CDiag> generate(int count) {
    std::vector<CDiag> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        CDiag& d = out[static_cast<size_t>(i)];
        const bool petrol = i < count / 2;
        // A new operating point every 80 samples (4 s at 20 samples a second).
        const int point = i / 80;
        d.setSampleNo(static_cast<uint32_t>(i + 1));
        d.setWorkState(petrol ? 2 : 3);
        d.setRpmPeriod(static_cast<uint16_t>(700 + (point * 977) % 8000 + i % 3));
        d.setPetrolTime(0, point % 17 == 0 ? 0 : static_cast<uint16_t>(90 + (point * 13) % 850 + (petrol ? 0 : 20)));
        d.setHeaterTempCode(100);
        d.setPressure3Code(static_cast<uint8_t>(20 + (point * 11) % 100));
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const std::vector<CDiag> samples = generate(count);
    CMapLearner learner(MapUnits::ofFrequency(40000));
    auto t0 = Clock::now();
    for (const CDiag& d : samples)
        learner.add(d);
    const double s = seconds(t0);

    constexpr int REFRESHES = 200;
    t0 = Clock::now();
    int done = 0;
    for (int i = 0; i < REFRESHES; ++i) {
        done += learner.table()[2][3].petrolCount > 0 ? 1 : 0;
        done += learner.proposal()[0];
    }
    const double v = seconds(t0);
    std::printf("map learn: %d samples in %.3f s, %.0f ns/sample; %llu used, %llu ignored, %d cells done\n", count, s,
                s * 1e9 / count, static_cast<unsigned long long>(learner.used()),
                static_cast<unsigned long long>(learner.ignoredTotal()), learner.doneCells());
    std::printf("map learn view refresh (table and proposal): %.1f us%s\n", v * 1e6 / REFRESHES, done < 0 ? "!" : "");
    return 0;
}
