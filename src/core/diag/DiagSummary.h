#pragma once
/// A summary of a diagnostic run: how many samples, their first and last numbers,
/// and minimum, mean and maximum of engine speed and petrol and LPG injection times
/// (sub-record 0), in engineering units.

#include <cstdint>

#include "diag/DiagData.h"

namespace zefirel {

struct ValueStats {
    double min = 0;
    double mean = 0;
    double max = 0;
};

struct DiagSummary {
    int count = 0;
    uint32_t firstSample = 0;
    uint32_t lastSample = 0;
    ValueStats rpm;       ///< 1/min; a period of 0 counts as 0
    ValueStats petrolMs;
    ValueStats lpgMs;
};

/// Summarises every sample of the store, reading it window by window (the lock is
/// held for one window at a time). All zero for an empty store.
DiagSummary summarise(const CDiagData& store);

} // namespace zefirel
