#include "diag/DiagSummary.h"

#include <algorithm>
#include <vector>

#include "diag/DiagUnits.h"

namespace zefirel {

namespace {

constexpr int WINDOW = 4096;

struct Accumulator {
    double min = 0, max = 0, sum = 0;
    void add(double v, bool first) {
        min = first ? v : std::min(min, v);
        max = first ? v : std::max(max, v);
        sum += v;
    }
    ValueStats stats(int n) const { return n > 0 ? ValueStats{min, sum / n, max} : ValueStats{}; }
};

} // namespace

DiagSummary summarise(const CDiagData& store) {
    DiagSummary s;
    Accumulator rpm, petrol, lpg;
    std::vector<CDiag> window;
    for (int from = 0;; from += WINDOW) {
        window.clear();
        store.getRange(window, from, from + WINDOW);
        if (window.empty())
            break;
        for (const CDiag& d : window) {
            const bool first = s.count == 0;
            if (first)
                s.firstSample = d.sampleNo();
            s.lastSample = d.sampleNo();
            rpm.add(engineSpeed(d), first);
            petrol.add(petrolMs(d, 0), first);
            lpg.add(lpgMs(d, 0), first);
            ++s.count;
        }
    }
    s.rpm = rpm.stats(s.count);
    s.petrolMs = petrol.stats(s.count);
    s.lpgMs = lpg.stats(s.count);
    return s;
}

} // namespace zefirel
