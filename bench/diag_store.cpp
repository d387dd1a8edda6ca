// Store access while the store grows: getRange of a 500-sample window and getLast
// from a store of 1 000 000 samples while another thread appends, and the memory
// the store takes per sample.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "diag/DiagData.h"

using namespace zefirel;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

CDiag sample(uint32_t n) {
    CDiag d;
    d.setSampleNo(n);
    d.setRpmPeriod(static_cast<uint16_t>(n));
    return d;
}

} // namespace

int main() {
    constexpr uint32_t base = 1000000;
    CDiagData store;
    auto t0 = Clock::now();
    for (uint32_t i = 1; i <= base; ++i)
        store.add(sample(i));
    const double fillS = seconds(t0);
    std::printf("add: %u samples in %.3f s (%.0f ns per add)\n", base, fillS, fillS * 1e9 / base);
    std::printf("memory: %.2f bytes per sample, sizeof(CDiag) = %zu (+%.2f%%)\n",
                static_cast<double>(store.memoryBytes()) / base, sizeof(CDiag),
                100.0 * (static_cast<double>(store.memoryBytes()) / base / sizeof(CDiag) - 1.0));

    // An appender as fast as it can go (far faster than any controller answers).
    std::atomic<bool> stop{false};
    std::atomic<uint32_t> appended{0};
    std::thread writer([&] {
        uint32_t n = base;
        while (!stop.load(std::memory_order_relaxed)) {
            store.add(sample(++n));
            appended.fetch_add(1, std::memory_order_relaxed);
        }
    });

    constexpr int calls = 20000;
    std::vector<CDiag> window;
    window.reserve(500);
    std::vector<double> each(calls);
    t0 = Clock::now();
    for (int i = 0; i < calls; ++i) {
        const auto c0 = Clock::now();
        window.clear();
        const int count = store.count();
        store.getRange(window, count - 500, count);
        each[i] = seconds(c0);
        if (window.size() != 500)
            std::printf("window of %zu samples\n", window.size());
    }
    const double rangeS = seconds(t0);
    std::sort(each.begin(), each.end());

    CDiag last;
    uint64_t sum = 0;
    t0 = Clock::now();
    for (int i = 0; i < calls * 10; ++i) {
        store.getLast(last);
        sum += last.sampleNo();
    }
    const double lastS = seconds(t0);
    stop = true;
    writer.join();

    std::printf("getRange(500): %.2f us per call (median %.2f, 99th percentile %.1f, worst %.1f us), "
                "target well under 100 us\n",
                rangeS * 1e6 / calls, each[calls / 2] * 1e6, each[calls * 99 / 100] * 1e6, each.back() * 1e6);
    std::printf("getLast:       %.3f us per call, target under 1 us\n", lastS * 1e6 / (calls * 10));
    std::printf("appended meanwhile: %u samples (checksum %llu)\n", appended.load(),
                static_cast<unsigned long long>(sum % 1000));
    return 0;
}
