// Two recordings compared cell by cell.

#include <cmath>
#include <cstdio>

#include "events/RecordingCompare.h"
#include "map/AcceptanceCheck.h"

namespace zefirel {

namespace {

CompareSide sideOf(const MapCell& c) {
    CompareSide s;
    s.petrolCount = c.petrolCount;
    s.lpgCount = c.lpgCount;
    s.petrolMs = c.petrolMean;
    s.lpgMs = c.lpgMean;
    s.judged = c.petrolCount > ACCEPT_MIN_COUNT && c.lpgCount > ACCEPT_MIN_COUNT && c.petrolMean != 0;
    if (s.judged)
        s.difference = percentTenths((c.lpgMean - c.petrolMean) * 100.0 / c.petrolMean) / 10.0;
    return s;
}

std::string cellName(const CompareCell& c) {
    return compareSpeedText(c.speedBucket) + " obr/min, " + compareLoadText(c.loadBucket);
}

} // namespace

std::string compareSpeedText(int speedBucket) {
    return std::to_string(speedBucket * 1000) + "-" + std::to_string(speedBucket * 1000 + 1000);
}

std::string compareLoadText(int loadBucket) {
    return std::to_string(loadBucket * 10) + "-" + std::to_string(loadBucket * 10 + 10) + " kPa";
}

CompareResult compareComputations(const MapResult& a, const MapResult& b) {
    CompareResult r;
    const CompareCell* most = nullptr;
    for (int speed = 0; speed < SPEED_BUCKETS; ++speed) {
        for (int load = 0; load < LOAD_BUCKETS; ++load) {
            const MapCell& ca = a.cells[speed][load];
            const MapCell& cb = b.cells[speed][load];
            if (ca.petrolCount + ca.lpgCount + cb.petrolCount + cb.lpgCount == 0)
                continue;
            CompareCell c;
            c.speedBucket = speed;
            c.loadBucket = load;
            c.a = sideOf(ca);
            c.b = sideOf(cb);
            if (c.a.judged && c.b.judged) {
                c.change = std::round((c.b.difference - c.a.difference) * 10.0) / 10.0;
                const double gain = std::fabs(c.a.difference) - std::fabs(c.b.difference);
                c.verdict = gain >= COMPARE_SIGNIFICANT_POINTS    ? ECompareChange::Better
                            : gain <= -COMPARE_SIGNIFICANT_POINTS ? ECompareChange::Worse
                                                                  : ECompareChange::Same;
            }
            r.cells.push_back(c);
        }
    }
    double largest = -1;
    for (const CompareCell& c : r.cells) {
        switch (c.verdict) {
        case ECompareChange::Better: ++r.better; break;
        case ECompareChange::Worse: ++r.worse; break;
        case ECompareChange::Same: ++r.same; break;
        case ECompareChange::NotJudged: ++r.notJudged; break;
        }
        const double gain = std::fabs(std::fabs(c.a.difference) - std::fabs(c.b.difference));
        if (c.verdict != ECompareChange::NotJudged && c.verdict != ECompareChange::Same && gain > largest) {
            largest = gain;
            most = &c;
        }
    }
    char buf[160];
    if (r.better + r.worse + r.same == 0) {
        r.verdict = "Za mało danych do porównania: żaden zakres obrotów i obciążenia nie ma w obu nagraniach "
                    "dość próbek na benzynie i na LPG.";
        return r;
    }
    std::snprintf(buf, sizeof buf, "Lepiej: %d, gorzej: %d, bez zmian: %d, bez oceny: %d", r.better, r.worse, r.same,
                  r.notJudged);
    r.verdict = buf;
    if (most) {
        std::snprintf(buf, sizeof buf, "; największa zmiana: %s (%+.1f%% → %+.1f%%)", cellName(*most).c_str(),
                      most->a.difference, most->b.difference);
        r.verdict += buf;
    }
    r.verdict += ".";
    return r;
}

CompareResult compareRecordings(const std::string& pathA, const std::string& pathB, const MapUnits& units) {
    RecordingReadStats sa, sb;
    const MapResult a = computeMapFromFile(pathA, units, nullptr, &sa);
    const MapResult b = computeMapFromFile(pathB, units, nullptr, &sb);
    CompareResult r = compareComputations(a, b);
    r.linesA = sa;
    r.linesB = sb;
    return r;
}

} // namespace zefirel
