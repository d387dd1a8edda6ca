#include "diag/DiagData.h"

#include <algorithm>
#include <atomic>

namespace zefirel {

static_assert(sizeof(CDiag) <= 112, "a sample stays a small plain record");

void CDiagData::appendLocked(const CDiag* d, size_t n) {
    while (n > 0) {
        const size_t slot = m_count % CHUNK;
        const size_t take = std::min(n, CHUNK - slot);
        std::copy(d, d + take, m_chunks[m_count / CHUNK].get() + slot);
        m_count += take;
        d += take;
        n -= take;
    }
}

// New chunks are allocated (and their samples constructed) before the lock is
// taken, so a reader never waits for the allocator.
void CDiagData::addMany(const CDiag* d, size_t n) {
    std::vector<std::unique_ptr<CDiag[]>> spare;
    for (;;) {
        {
            CMutexGuard guard(&m_lock);
            const size_t needed = (m_count + n + CHUNK - 1) / CHUNK;
            const size_t missing = needed > m_chunks.size() ? needed - m_chunks.size() : 0;
            if (missing <= spare.size()) {
                for (size_t i = 0; i < missing; ++i)
                    m_chunks.push_back(std::move(spare[i]));
                appendLocked(d, n);
                break;
            }
        }
        spare.push_back(std::make_unique<CDiag[]>(CHUNK));
    }
}

void CDiagData::add(const CDiag& d) { addMany(&d, 1); }

int CDiagData::count() const {
    CMutexGuard guard(&m_lock);
    return static_cast<int>(m_count);
}

bool CDiagData::getLast(CDiag& out) const {
    CMutexGuard guard(&m_lock);
    if (m_count == 0)
        return false;
    const size_t last = m_count - 1;
    out = m_chunks[last / CHUNK][last % CHUNK];
    return true;
}

uint64_t CDiagData::nextGeneration() {
    static std::atomic<uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint64_t CDiagData::generation() const {
    CMutexGuard guard(&m_lock);
    return m_generation;
}

void CDiagData::getRange(std::vector<CDiag>& out, int from, int to) const {
    CMutexGuard guard(&m_lock);
    copyLocked(out, from, to);
}

uint64_t CDiagData::getRangeOf(std::vector<CDiag>& out, int from, int to) const {
    CMutexGuard guard(&m_lock);
    copyLocked(out, from, to);
    return m_generation;
}

void CDiagData::copyLocked(std::vector<CDiag>& out, int from, int to) const {
    // A window that starts before the first sample (a chart asking for the newest
    // N of fewer than N samples) starts at the first one.
    size_t begin = from < 0 ? 0 : static_cast<size_t>(from);
    if (begin > m_count)
        return;
    const size_t end = to < 0 ? begin : std::min(static_cast<size_t>(to), m_count);
    if (end <= begin)
        return;
    out.reserve(out.size() + (end - begin));
    while (begin < end) {
        const CDiag* chunk = m_chunks[begin / CHUNK].get();
        const size_t slot = begin % CHUNK;
        const size_t take = std::min(end - begin, CHUNK - slot);
        out.insert(out.end(), chunk + slot, chunk + slot + take);
        begin += take;
    }
}

void CDiagData::clear() {
    // The chunks are released outside the lock: freeing a long run's storage can
    // take a while, and readers should not wait for it.
    std::vector<std::unique_ptr<CDiag[]>> released;
    {
        CMutexGuard guard(&m_lock);
        released.swap(m_chunks);
        m_count = 0;
        m_generation = nextGeneration();
    }
}

size_t CDiagData::memoryBytes() const {
    CMutexGuard guard(&m_lock);
    return m_chunks.size() * CHUNK * sizeof(CDiag) + m_chunks.capacity() * sizeof(m_chunks[0]) + sizeof(*this);
}

} // namespace zefirel
