// The sample store: getLast/getRange/clear semantics, growth across storage
// chunks, and concurrent appends and reads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "diag/DiagData.h"
#include "diag/DiagSummary.h"

using namespace zefirel;

namespace {

CDiag sample(uint32_t n) {
    CDiag d;
    d.setSampleNo(n);
    d.setRpmPeriod(static_cast<uint16_t>(n * 7));
    d.raw()[99] = static_cast<uint8_t>(n);
    return d;
}

void fill(CDiagData& store, uint32_t n) {
    for (uint32_t i = 1; i <= n; ++i)
        store.add(sample(i));
}

} // namespace

TEST(DiagData, GetLastLeavesTheRecordAloneWhenEmpty) {
    CDiagData store;
    CDiag out = sample(42);
    EXPECT_FALSE(store.getLast(out));
    EXPECT_EQ(out.sampleNo(), 42u);
    fill(store, 3);
    EXPECT_TRUE(store.getLast(out));
    EXPECT_EQ(out.sampleNo(), 3u);
    EXPECT_EQ(out.raw()[99], 3);
    store.clear();
    EXPECT_EQ(store.count(), 0);
    out = sample(9);
    EXPECT_FALSE(store.getLast(out));
    EXPECT_EQ(out.sampleNo(), 9u);
}

TEST(DiagData, GetRangeBounds) {
    CDiagData store;
    fill(store, 10);
    std::vector<CDiag> out{sample(100)};
    store.getRange(out, 11, 20);   // from beyond the count
    EXPECT_EQ(out.size(), 1u);
    store.getRange(out, 10, 20);   // from equal to the count
    EXPECT_EQ(out.size(), 1u);
    store.getRange(out, 5, 5);     // empty window
    EXPECT_EQ(out.size(), 1u);
    store.getRange(out, 7, 1000);  // to beyond the count stops at the newest
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].sampleNo(), 100u) << "getRange appends, it does not replace";
    EXPECT_EQ(out[1].sampleNo(), 8u);
    EXPECT_EQ(out[3].sampleNo(), 10u);
    out.clear();
    store.getRange(out, -3, 2);    // a window before the first sample starts there
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].sampleNo(), 1u);
}

TEST(DiagData, ManySamplesAcrossChunksKeepOrderAndContent) {
    CDiagData store;
    const uint32_t n = static_cast<uint32_t>(CDiagData::CHUNK * 2 + 17);
    std::vector<CDiag> batch;
    for (uint32_t i = 1; i <= n / 2; ++i)
        batch.push_back(sample(i));
    store.addMany(batch.data(), batch.size());
    for (uint32_t i = n / 2 + 1; i <= n; ++i)
        store.add(sample(i));
    ASSERT_EQ(store.count(), static_cast<int>(n));

    std::vector<CDiag> out;
    const int from = static_cast<int>(CDiagData::CHUNK) - 3;
    store.getRange(out, from, from + 10); // straddles a chunk boundary
    ASSERT_EQ(out.size(), 10u);
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].sampleNo(), static_cast<uint32_t>(from) + 1 + i);
        EXPECT_EQ(out[i].rpmPeriod(), static_cast<uint16_t>(out[i].sampleNo() * 7));
    }
    // Storage stays within one chunk (plus bookkeeping) of what the samples need.
    EXPECT_LT(store.memoryBytes(), (n + CDiagData::CHUNK) * sizeof(CDiag) + 4096);
}

// Readers on another thread always see a consistent prefix: counts never go
// down, getLast is the newest sample of some moment, ranges are contiguous.
TEST(DiagData, ConcurrentAppendAndRead) {
    CDiagData store;
    constexpr uint32_t total = 50000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (uint32_t i = 1; i <= total; ++i)
            store.add(sample(i));
        done = true;
    });
    int lastCount = 0;
    int badOrder = 0;
    while (!done.load()) {
        const int c = store.count();
        EXPECT_GE(c, lastCount);
        lastCount = c;
        CDiag last;
        if (store.getLast(last) && last.sampleNo() < static_cast<uint32_t>(c))
            ++badOrder;
        std::vector<CDiag> window;
        store.getRange(window, c > 100 ? c - 100 : 0, c);
        for (size_t i = 1; i < window.size(); ++i)
            if (window[i].sampleNo() != window[i - 1].sampleNo() + 1)
                ++badOrder;
    }
    writer.join();
    EXPECT_EQ(badOrder, 0);
    EXPECT_EQ(store.count(), static_cast<int>(total));
}

// A clear from another thread may come at any moment; getLast must then either
// copy a whole sample or leave the record untouched.
TEST(DiagData, ClearRacingWithGetLast) {
    CDiagData store;
    std::atomic<bool> stop{false};
    std::thread clearer([&] {
        for (int round = 0; round < 200; ++round) {
            fill(store, 50);
            store.clear();
        }
        stop = true;
    });
    int torn = 0;
    while (!stop.load()) {
        CDiag out = sample(0);
        out.raw()[99] = 0xEE;
        if (store.getLast(out)) {
            if (out.raw()[99] != static_cast<uint8_t>(out.sampleNo()))
                ++torn;
        } else if (out.raw()[99] != 0xEE) {
            ++torn;
        }
    }
    clearer.join();
    EXPECT_EQ(torn, 0);
}

// The run summary reads the store window by window and must see every sample once.
TEST(DiagData, SummaryCoversEverySampleAcrossWindows) {
    CDiagData store;
    EXPECT_EQ(summarise(store).count, 0);
    EXPECT_EQ(summarise(store).rpm.max, 0.0);
    const uint32_t n = 10000; // more than two reading windows
    for (uint32_t i = 1; i <= n; ++i) {
        CDiag d;
        d.setSampleNo(i + 6);
        d.setRpmPeriod(i == 5000 ? 0 : 4800); // 1000 1/min, one sample without a period
        d.setPetrolTime(0, static_cast<uint16_t>(i % 2 ? 100 : 200));
        d.setLpgExtraTime(0, 40);
        store.add(d);
    }
    const DiagSummary s = summarise(store);
    EXPECT_EQ(s.count, static_cast<int>(n));
    EXPECT_EQ(s.firstSample, 7u);
    EXPECT_EQ(s.lastSample, n + 6);
    EXPECT_DOUBLE_EQ(s.rpm.min, 0.0);
    EXPECT_DOUBLE_EQ(s.rpm.max, 1000.0);
    EXPECT_NEAR(s.rpm.mean, 1000.0 * (n - 1) / n, 1e-9);
    EXPECT_DOUBLE_EQ(s.petrolMs.min, 2.5);
    EXPECT_DOUBLE_EQ(s.petrolMs.max, 5.0);
    EXPECT_NEAR(s.petrolMs.mean, 3.75, 1e-9);
    EXPECT_NEAR(s.lpgMs.mean, 4.75, 1e-9);
}
