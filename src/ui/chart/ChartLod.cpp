#include "ui/chart/ChartLod.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zefirel {

namespace {

/// The stored hole: no smaller than the hole (so that a test "the hole is small
/// enough" made on the float never passes wrongly), negative for a gap, NaN for a
/// value that is not finite.
float EncodeHole(double hole, bool gap, bool notFinite) {
    if (notFinite) return std::numeric_limits<float>::quiet_NaN();
    auto f = static_cast<float>(hole);
    if (static_cast<double>(f) < hole) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return gap ? -f : f;  // also -0.0 for a gap between equal values
}

/// True for an x that a 32-bit sample number holds exactly.
bool SampleNumber(double x) { return x >= 0 && x <= 4294967295.0 && x == std::floor(x); }

} // namespace

void CChartLod::Clear() {
    m_levels.clear();
    m_x.clear();
    m_off = false;
}

size_t CChartLod::MemoryBytes() const {
    size_t n = m_levels.capacity() * sizeof(m_levels[0]) + m_x.capacity() * sizeof(Ends);
    for (const auto& level : m_levels) n += level.capacity() * sizeof(Block);
    return n;
}

CChartLod::Block CChartLod::Summarise(const std::vector<ChartPoint>& pts, size_t first) {
    Block b{pts[first].y, pts[first].y, 0.0f};
    bool gap = false, notFinite = false;
    double sorted[BASE];
    for (size_t i = first; i < first + BASE; ++i) {
        const double y = pts[i].y;
        sorted[i - first] = y;
        if (!std::isfinite(y)) notFinite = true;
        b.low = std::min(b.low, y);
        b.high = std::max(b.high, y);
        if (i > first && pts[i].x - pts[i - 1].x > GAP) gap = true;
    }
    double hole = 0;
    if (!notFinite) {
        std::sort(sorted, sorted + BASE);
        for (size_t k = 1; k < BASE; ++k) hole = std::max(hole, sorted[k] - sorted[k - 1]);
    }
    b.hole = EncodeHole(hole, gap, notFinite);
    return b;
}

CChartLod::Block CChartLod::Combine(const Block* children, size_t firstChild, size_t childSize) const {
    Block b = children[0];
    double hole = 0;
    bool gap = false, notFinite = false;
    for (size_t k = 0; k < FACTOR; ++k) {
        gap = gap || children[k].HasGap();
        notFinite = notFinite || children[k].NotFinite();
        b.low = std::min(b.low, children[k].low);
        b.high = std::max(b.high, children[k].high);
        // The two neighbours across the boundary with the child before.
        const size_t at = (firstChild + k) * childSize;
        if (k > 0 && FirstX(at) - LastX(at - childSize, childSize) > GAP) gap = true;
    }
    if (!notFinite) {
        // The children's value ranges by their lower ends: a hole of the whole is
        // inside a child or between ranges that do not overlap.
        const Block* byLow[FACTOR];
        for (size_t k = 0; k < FACTOR; ++k) byLow[k] = &children[k];
        std::sort(byLow, byLow + FACTOR, [](const Block* l, const Block* r) { return l->low < r->low; });
        double reach = byLow[0]->high;
        for (const Block* c : byLow) {
            hole = std::max({hole, c->Hole(), c->low - reach});
            reach = std::max(reach, c->high);
        }
    }
    b.hole = EncodeHole(hole, gap, notFinite);
    return b;
}

void CChartLod::Extend(const ChartSeries& series) {
    const std::vector<ChartPoint>& pts = series.points;
    if (m_off) return;
    if (!series.sortedByX) {
        Clear();
        m_off = true;
        return;
    }
    if (m_levels.empty() && pts.size() >= BASE) m_levels.emplace_back();
    for (size_t have = m_x.size(); (have + 1) * BASE <= pts.size(); ++have) {
        const size_t first = have * BASE;
        for (size_t i = first; i < first + BASE; ++i)
            if (!SampleNumber(pts[i].x)) {
                Clear();
                m_off = true;
                return;
            }
        Append(m_x, Ends{static_cast<uint32_t>(pts[first].x), static_cast<uint32_t>(pts[first + BASE - 1].x)});
        Append(m_levels[0], Summarise(pts, first));
    }
    if (m_levels.empty()) return;  // not one whole block yet
    for (size_t level = 1; level < MAX_LEVELS; ++level) {
        const size_t below = m_levels[level - 1].size();
        size_t have = level < m_levels.size() ? m_levels[level].size() : 0;
        if ((have + 1) * FACTOR > below) break;
        if (level == m_levels.size()) m_levels.emplace_back();
        const size_t childSize = BlockSize(level - 1);
        for (; (have + 1) * FACTOR <= below; ++have)
            Append(m_levels[level], Combine(&m_levels[level - 1][have * FACTOR], have * FACTOR, childSize));
    }
}

} // namespace zefirel
