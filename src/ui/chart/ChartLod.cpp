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

} // namespace

void CChartLod::Clear() { m_levels.clear(); }

size_t CChartLod::MemoryBytes() const {
    size_t n = m_levels.capacity() * sizeof(m_levels[0]);
    for (const auto& level : m_levels) n += level.capacity() * sizeof(Block);
    return n;
}

CChartLod::Block CChartLod::Summarise(const std::vector<ChartPoint>& pts, size_t first, size_t count) const {
    Block b{static_cast<uint32_t>(first), static_cast<uint32_t>(first), 0.0f};
    bool gap = false, notFinite = false;
    double sorted[BASE];
    for (size_t i = first; i < first + count; ++i) {
        const double y = pts[i].y;
        sorted[i - first] = y;
        if (!std::isfinite(y)) notFinite = true;
        // Strict comparisons keep the first point of the lowest and highest value.
        if (y < pts[b.lowAt].y) b.lowAt = static_cast<uint32_t>(i);
        if (y > pts[b.highAt].y) b.highAt = static_cast<uint32_t>(i);
        if (i > first && pts[i].x - pts[i - 1].x > GAP) gap = true;
    }
    double hole = 0;
    if (!notFinite) {
        std::sort(sorted, sorted + count);
        for (size_t k = 1; k < count; ++k) hole = std::max(hole, sorted[k] - sorted[k - 1]);
    }
    b.hole = EncodeHole(hole, gap, notFinite);
    return b;
}

CChartLod::Block CChartLod::Combine(const std::vector<ChartPoint>& pts, const Block* children, size_t first,
                                    size_t childSize) const {
    Block b = children[0];
    double hole = 0;
    bool gap = false, notFinite = false;
    for (size_t k = 0; k < FACTOR; ++k) {
        gap = gap || children[k].HasGap();
        notFinite = notFinite || children[k].NotFinite();
    }
    if (!notFinite) {
        // The children's value ranges by their lower ends: a hole of the whole is
        // inside a child or between ranges that do not overlap.
        const Block* byLow[FACTOR];
        for (size_t k = 0; k < FACTOR; ++k) byLow[k] = &children[k];
        std::sort(byLow, byLow + FACTOR,
                  [&](const Block* l, const Block* r) { return pts[l->lowAt].y < pts[r->lowAt].y; });
        double reach = pts[byLow[0]->highAt].y;
        for (const Block* c : byLow) {
            hole = std::max({hole, c->Hole(), pts[c->lowAt].y - reach});
            reach = std::max(reach, pts[c->highAt].y);
        }
    }
    for (size_t k = 1; k < FACTOR; ++k) {
        const Block& c = children[k];
        if (pts[c.lowAt].y < pts[b.lowAt].y) b.lowAt = c.lowAt;
        if (pts[c.highAt].y > pts[b.highAt].y) b.highAt = c.highAt;
        // The two neighbours across the children's boundary.
        const size_t at = first + k * childSize;
        if (pts[at].x - pts[at - 1].x > GAP) gap = true;
    }
    b.hole = EncodeHole(hole, gap, notFinite);
    return b;
}

void CChartLod::Append(std::vector<Block>& level, const Block& b) {
    if (level.size() == level.capacity()) level.reserve(level.size() + level.size() / 4 + 64);
    level.push_back(b);
}

void CChartLod::Extend(const ChartSeries& series) {
    const std::vector<ChartPoint>& pts = series.points;
    // Blocks refer to points by 32-bit index; the summaries assume x never falls.
    if (!series.sortedByX || pts.size() >= std::numeric_limits<uint32_t>::max()) {
        Clear();
        return;
    }
    if (pts.size() < BASE) return;
    if (m_levels.empty()) m_levels.emplace_back();
    for (size_t have = m_levels[0].size(); (have + 1) * BASE <= pts.size(); ++have)
        Append(m_levels[0], Summarise(pts, have * BASE, BASE));
    for (size_t level = 1; level < MAX_LEVELS; ++level) {
        const size_t below = m_levels[level - 1].size();
        size_t have = level < m_levels.size() ? m_levels[level].size() : 0;
        if ((have + 1) * FACTOR > below) break;
        if (level == m_levels.size()) m_levels.emplace_back();
        const size_t childSize = BlockSize(level - 1);
        for (; (have + 1) * FACTOR <= below; ++have)
            Append(m_levels[level],
                   Combine(pts, &m_levels[level - 1][have * FACTOR], have * FACTOR * childSize, childSize));
    }
}

} // namespace zefirel
