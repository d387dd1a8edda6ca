#pragma once
/// CDiagData: the thread-safe, append-only store of the samples of one diagnostic
/// run. Every operation holds the store's lock for its own body only and calls
/// nothing outside while holding it.

#include <vector>

#include "diag/Diag.h"
#include "link/Threads.h"

namespace zefirel {

class CDiagData {
public:
    /// Appends a copy of the sample.
    void add(const CDiag& d);
    /// Appends several samples under one hold of the lock.
    void addMany(const CDiag* d, size_t n);
    int count() const;
    /// Copies the newest sample into out when there is one; returns whether it did.
    bool getLast(CDiag& out) const;
    /// Appends samples [from, min(to, count)) to out when the store holds at least
    /// from samples; otherwise appends nothing.
    void getRange(std::vector<CDiag>& out, int from, int to) const;
    void clear();

private:
    mutable CMutex m_lock;
    std::vector<CDiag> m_samples;
};

} // namespace zefirel
