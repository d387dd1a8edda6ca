#pragma once
/// CDiagData: the thread-safe, append-only store of the samples of one diagnostic
/// run. Every operation holds the store's lock for its own body only and calls
/// nothing outside while holding it.

#include <cstdint>
#include <memory>
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
    /// from samples; otherwise appends nothing. A negative from counts as 0.
    void getRange(std::vector<CDiag>& out, int from, int to) const;
    void clear();
    /// Which filling of the store its samples belong to: a number that no other store
    /// and no earlier filling of this one had; every clear gives the store a new one.
    /// A reader that took samples before can tell whether to take only the new ones.
    uint64_t generation() const;
    /// As getRange; returns the generation the copied samples belong to.
    uint64_t getRangeOf(std::vector<CDiag>& out, int from, int to) const;
    /// Bytes of sample storage held (capacity, not just the samples in use).
    size_t memoryBytes() const;

    /// Samples per storage chunk. The store grows chunk by chunk, so an append never
    /// moves the samples already stored (no pause for readers while the run grows)
    /// and the storage is at most one chunk larger than the samples it holds.
    static constexpr size_t CHUNK = 4096;

private:
    void appendLocked(const CDiag* d, size_t n);
    void copyLocked(std::vector<CDiag>& out, int from, int to) const;
    static uint64_t nextGeneration();

    mutable CMutex m_lock;
    std::vector<std::unique_ptr<CDiag[]>> m_chunks;
    size_t m_count = 0;
    uint64_t m_generation = nextGeneration();
};

} // namespace zefirel
