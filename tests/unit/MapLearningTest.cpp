// Live map learning: the guard rails (each refuses what lies inside it and counts
// it, and lets through what lies just outside), learning from a replayed recording
// against learning live from the store, and the check pass's residual arithmetic.
#include <gtest/gtest.h>

#include <cmath>

#include "diag/DiagData.h"
#include "diag/DiagUnits.h"
#include "diag/Recording.h"
#include "link/Conversions.h"
#include "map/MapLearnSession.h"
#include "support/TestDevice.h"

using namespace zefirel;
using zefirel::test::CScratchFolder;

namespace {

/// Units with an exact tick (0.125 ms), so means are exact.
const MapUnits EXACT{0.125, 4800000};
constexpr double SWITCH_C = 30;

uint8_t warmCode() { return temperatureCode(70); }

/// A warm sample at 2000 rpm (period 2400), load bucket 3, 5 ms (40 ticks).
CDiag sample(bool petrol, uint16_t ticks = 40, uint16_t period = 2400, double load = 35) {
    CDiag d;
    d.setWorkState(petrol ? WORK_STATE_PETROL : 3);
    d.setPetrolTime(0, ticks);
    d.setRpmPeriod(period);
    d.setPressure3Code(static_cast<uint8_t>(std::lround(pressureCode(101.0 - load))));
    d.setHeaterTempCode(warmCode());
    return d;
}

LearnLimits limits() {
    LearnLimits l;
    l.switchTemperature = SWITCH_C;
    return l;
}

void feed(CMapLearner& l, const CDiag& d, int n) {
    for (int i = 0; i < n; ++i)
        l.add(d);
}

double rpmOf(const CDiag& d) { return EXACT.rpmConstant / d.rpmPeriod(); }

} // namespace

TEST(MapLearning, EachGuardRailRefusesAndCountsWhatLiesInsideItAndPassesWhatLiesJustOutside) {
    // The coldest and warmest heater codes either side of the switch temperature.
    int cold = -1, warm = -1;
    for (int c = 0; c < 256; ++c) {
        const double t = temperature(uint8_t(c));
        if (t < SWITCH_C && (cold < 0 || t > temperature(uint8_t(cold))))
            cold = c;
        if (t >= SWITCH_C && (warm < 0 || t < temperature(uint8_t(warm))))
            warm = c;
    }
    ASSERT_TRUE(cold >= 0 && warm >= 0);
    const CDiag steady = sample(true);
    CDiag fastRpm = sample(true, 40, 2000), slowRpm = sample(true, 40, 2050);
    CDiag bigLoad = sample(true, 40, 2400, 44), smallLoad = sample(true, 40, 2400, 42);
    CDiag coldOne = sample(true), warmOne = sample(true);
    coldOne.setHeaterTempCode(uint8_t(cold));
    warmOne.setHeaterTempCode(uint8_t(warm));
    // Cut-off: the engine above 1200 rpm with less than 1 ms of petrol time; a
    // sample just below either limit is no cut-off (nor in the map's range).
    const CDiag cutOff = sample(true, 7, 2400), cutOffSlow = sample(true, 7, 4100), injecting = sample(true, 8, 2400);
    ASSERT_GT(std::fabs(rpmOf(fastRpm) - rpmOf(steady)), LEARN_MAX_RPM_CHANGE);
    ASSERT_LT(std::fabs(rpmOf(slowRpm) - rpmOf(steady)), LEARN_MAX_RPM_CHANGE);
    ASSERT_GT(std::fabs(sampleLoad(bigLoad) - sampleLoad(steady)), LEARN_MAX_LOAD_CHANGE);
    ASSERT_LT(std::fabs(sampleLoad(smallLoad) - sampleLoad(steady)), LEARN_MAX_LOAD_CHANGE);
    ASSERT_LT(rpmOf(cutOffSlow), LEARN_CUTOFF_RPM);

    struct Case {
        const char* name;
        CDiag probe;
        bool used;
        int reason;    ///< −1: counted nowhere
        CDiag lead{};  ///< the steady drive before the probe (rpm period 0: `steady`)
    } cases[] = {
        {"engine speed step", fastRpm, false, int(ELearnIgnore::Transient)},
        {"engine speed within the limit", slowRpm, true, -1},
        {"load step", bigLoad, false, int(ELearnIgnore::Transient)},
        {"load within the limit", smallLoad, true, -1},
        {"reducer below the switch temperature", coldOne, false, int(ELearnIgnore::Cold)},
        {"reducer at the switch temperature", warmOne, true, -1},
        {"overrun cut-off", cutOff, false, int(ELearnIgnore::CutOff)},
        {"low time below the cut-off speed", cutOffSlow, false, -1, sample(true, 40, 4100)},
        {"1 ms of petrol time", injecting, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMapLearner l(EXACT, limits());
        feed(l, c.lead.rpmPeriod() ? c.lead : steady, 30);
        ASSERT_EQ(l.ignoredTotal(), 0u);
        const uint64_t used = l.used();
        EXPECT_EQ(l.add(c.probe), c.used);
        EXPECT_EQ(l.used(), used + (c.used ? 1 : 0));
        for (int r = 0; r < LEARN_IGNORE_REASONS; ++r)
            EXPECT_EQ(l.ignored(ELearnIgnore(r)), r == c.reason ? 1u : 0u) << learnIgnoreKey(ELearnIgnore(r));
    }

    // A change of fuel: the first settle samples after it are refused, the next is used.
    CMapLearner l(EXACT, limits());
    feed(l, steady, 30);
    const CDiag lpg = sample(false, 44);
    for (int i = 0; i < LEARN_SETTLE_SAMPLES; ++i)
        EXPECT_FALSE(l.add(lpg)) << i;
    EXPECT_EQ(l.ignored(ELearnIgnore::Switch), uint64_t(LEARN_SETTLE_SAMPLES));
    EXPECT_TRUE(l.add(lpg));

    // A step is a transient until the span has passed over it; a break in the
    // stream (a lost line) is no step.
    CMapLearner t(EXACT, limits());
    feed(t, steady, 30);
    for (int i = 0; i < LEARN_TRANSIENT_SPAN; ++i)
        EXPECT_FALSE(t.add(fastRpm)) << i;
    EXPECT_TRUE(t.add(fastRpm));
    EXPECT_EQ(t.ignored(ELearnIgnore::Transient), uint64_t(LEARN_TRANSIENT_SPAN));
    t.breakStream();
    EXPECT_TRUE(t.add(sample(false)));
    EXPECT_EQ(t.ignoredTotal(), uint64_t(LEARN_TRANSIENT_SPAN));
    // The Polish reasons the view shows.
    EXPECT_STREQ(learnIgnoreText(ELearnIgnore::Cold), "Silnik poniżej temperatury przełączenia");
}

namespace {

/// A drive with every guard rail in it: a cold start, steps between points, cut-off,
/// petrol then LPG over three cells.
std::vector<CDiag> roadTest() {
    std::vector<CDiag> s;
    uint32_t no = 0;
    const auto put = [&](CDiag d, int n) {
        for (int i = 0; i < n; ++i) {
            d.setSampleNo(++no);
            d.setInjector(1);
            s.push_back(d);
        }
    };
    CDiag cold = sample(true);
    cold.setHeaterTempCode(temperatureCode(12));
    put(cold, 50);
    for (bool petrol : {true, false}) {
        put(sample(petrol, petrol ? 40 : 44), 60);
        put(sample(petrol, 0, 2000), 5); // cut-off on the way up
        put(sample(petrol, petrol ? 64 : 72, 1600, 55), 60);
        put(sample(petrol, petrol ? 96 : 90, 1200, 75), 60);
    }
    return s;
}

} // namespace

TEST(MapLearning, LearningFromAReplayedRecordingEqualsLearningLiveFromTheStore) {
    const std::vector<CDiag> drive = roadTest();
    // Live: the store fills in uneven chunks while the session takes what is new.
    CDiagData store;
    CMapLearnSession live(EXACT);
    live.start(emptyMap(), SWITCH_C);
    for (size_t i = 0; i < drive.size();) {
        const size_t n = std::min<size_t>(1 + i % 23, drive.size() - i);
        store.addMany(&drive[i], n);
        i += n;
        live.feed(store);
    }
    EXPECT_EQ(live.feed(store), 0u);

    // Replayed: the same samples written to a recording and read back.
    CScratchFolder dir;
    const std::string path = dir.path() + "/drive.lpgd";
    {
        CRecordingWriter w;
        ASSERT_TRUE(w.open(path));
        for (const CDiag& d : drive)
            w.write(d);
    }
    CRecordingReader reader;
    ASSERT_TRUE(reader.open(path));
    CMapLearnSession replayed(EXACT);
    replayed.start(emptyMap(), SWITCH_C);
    CDiag d;
    size_t read = 0;
    while (reader.read(d)) {
        replayed.add(d);
        ++read;
    }
    ASSERT_EQ(read, drive.size());

    const CMapLearner &a = live.learner(), &b = replayed.learner();
    for (int r = 0; r < LEARN_IGNORE_REASONS; ++r)
        EXPECT_EQ(a.ignored(ELearnIgnore(r)), b.ignored(ELearnIgnore(r))) << learnIgnoreKey(ELearnIgnore(r));
    EXPECT_EQ(a.ignored(ELearnIgnore::Cold), 50u);
    EXPECT_EQ(a.ignored(ELearnIgnore::CutOff), 10u);
    EXPECT_EQ(a.ignored(ELearnIgnore::Transient), 4u * LEARN_TRANSIENT_SPAN);
    EXPECT_EQ(a.ignored(ELearnIgnore::Switch), uint64_t(LEARN_SETTLE_SAMPLES));
    EXPECT_EQ(a.used(), b.used());
    EXPECT_EQ(a.proposal(), b.proposal());
    EXPECT_EQ(a.doneCells(), 3);
    EXPECT_EQ(a.doneShare(), 100);
    const auto ta = a.table(), tb = b.table();
    for (int s = 0; s < SPEED_BUCKETS; ++s)
        for (int l = 0; l < LOAD_BUCKETS; ++l) {
            EXPECT_EQ(ta[s][l].petrolCount, tb[s][l].petrolCount);
            EXPECT_EQ(ta[s][l].lpgCount, tb[s][l].lpgCount);
            EXPECT_DOUBLE_EQ(ta[s][l].correction, tb[s][l].correction);
        }
    // 2000 rpm, load bucket 3: 5 ms on petrol, 5.5 ms on LPG: +10 % in rows 10 and 11.
    EXPECT_EQ(ta[2][3].state, ELearnCell::Enough);
    EXPECT_DOUBLE_EQ(ta[2][3].correction, 10.0);
    EXPECT_EQ(a.proposal()[10 * 8 + 2], 110);
    EXPECT_EQ(a.proposal()[11 * 8 + 2], 110);

    // The fold is the map computation's own: the samples that passed, computed
    // as "Utwórz mapę..." computes them, give the same bytes.
    std::vector<CDiag> passed;
    CMapLearner probe(EXACT, limits());
    for (const CDiag& x : drive)
        if (probe.add(x))
            passed.push_back(x);
    EXPECT_EQ(computeMap(passed, EXACT).bytes, a.proposal());

    // A refilled store (a new run after a lost line) is read from its start, and
    // the table is kept.
    const uint64_t used = a.used();
    store.clear();
    store.addMany(drive.data() + 60, 40);
    EXPECT_EQ(live.feed(store), 40u);
    EXPECT_GT(live.learner().used(), used);
}

TEST(MapLearning, TheCheckPassJudgesResidualsAgainstThePetrolBaselineAndRefinesTheWrittenMap) {
    CMapLearner l(EXACT, limits());
    // First pass: cell (2, 3) 8 ms petrol, 8.75 ms on LPG; cell (4, 6) 12 ms, 13.25 ms.
    const CDiag p1 = sample(true, 64), g1 = sample(false, 70), p2 = sample(true, 96, 1200, 65), g2 = sample(false, 106, 1200, 65);
    feed(l, p1, 20);
    l.breakStream();
    feed(l, g1, 20);
    l.breakStream();
    feed(l, p2, 20);
    l.breakStream();
    feed(l, g2, 20);
    ASSERT_EQ(l.ignoredTotal(), 0u);
    const MapBytes first = l.proposal();
    ASSERT_EQ(first[16 * 8 + 2], 109); // 8.75 / 8 → +9.375 %
    ASSERT_EQ(first[24 * 8 + 4], 110); // 13.25 / 12 → +10.4 %
    EXPECT_TRUE(l.residuals().empty());

    l.setWritten(first);
    EXPECT_EQ(l.pass(), 2);
    EXPECT_EQ(l.doneShare(), 0);
    // Check pass on LPG: cell (2, 3) at 8.375 ms → +4.7 %, within ±5 %; cell (4, 6)
    // at 10.875 ms → −9.4 %, outside.
    l.breakStream();
    feed(l, sample(false, 67, 2400), 5);
    EXPECT_TRUE(l.residuals().empty()) << "too few samples are not judged";
    feed(l, sample(false, 67, 2400), 10);
    const CDiag late = sample(false, 87, 1200, 65);
    l.breakStream();
    feed(l, late, 15);
    const std::vector<LearnResidual> r = l.residuals();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].speed, 2);
    EXPECT_EQ(r[0].load, 3);
    EXPECT_DOUBLE_EQ(r[0].percent, (8.375 - 8.0) * 100 / 8.0);
    EXPECT_EQ(r[1].speed, 4);
    EXPECT_DOUBLE_EQ(r[1].percent, (10.875 - 12.0) * 100 / 12.0);
    const auto t = l.table();
    EXPECT_EQ(t[2][3].state, ELearnCell::Within);
    EXPECT_EQ(t[4][6].state, ELearnCell::Outside);
    EXPECT_DOUBLE_EQ(t[2][3].correction, 9 + r[0].percent);
    EXPECT_EQ(l.doneShare(), 50);
    EXPECT_FALSE(l.converged());
    // new = written + residual, folded into both rows of the written map.
    const MapBytes refined = l.proposal();
    EXPECT_EQ(refined[16 * 8 + 2], 109 + 5);
    EXPECT_EQ(refined[17 * 8 + 2], 109 + 5);
    EXPECT_EQ(refined[24 * 8 + 4], 110 - 9);
    EXPECT_EQ(refined[25 * 8 + 4], 110 - 9);
    MapBytes rest = refined, before = first;
    for (int row : {16, 17})
        rest[size_t(row * 8 + 2)] = before[size_t(row * 8 + 2)] = 0;
    for (int row : {24, 25})
        rest[size_t(row * 8 + 4)] = before[size_t(row * 8 + 4)] = 0;
    EXPECT_EQ(rest, before) << "cells not judged keep the written bytes";

    // Written again: the next pass starts from no check samples on the same baseline,
    // and a cell whose residual takes it back to 0 % is written as 100.
    l.setWritten(refined);
    EXPECT_EQ(l.pass(), 3);
    EXPECT_TRUE(l.residuals().empty());
    l.breakStream();
    const CDiag back = sample(false, static_cast<uint16_t>(std::lround(12.0 * 0.99 / 0.125)), 1200, 65);
    feed(l, back, 15);
    ASSERT_EQ(l.residuals().size(), 1u);
    EXPECT_EQ(l.proposal()[24 * 8 + 4], 100);
    l.breakStream();
    feed(l, sample(false, 64, 2400), 15);
    EXPECT_TRUE(l.converged());
    EXPECT_EQ(l.doneShare(), 100);

    l.backToFirstPass();
    EXPECT_EQ(l.pass(), 1);
    EXPECT_EQ(l.proposal(), first);
}
