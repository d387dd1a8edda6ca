#pragma once
/// CChartLod: the level-of-detail summaries of one chart series. The series' points
/// are cut into blocks of 32, 128, 512, ... points (each level four times the one
/// below); a block records its lowest and highest y, the widest hole between its y
/// values (sorted by size) and whether the line breaks inside it (x jumps by more
/// than 2), and the x of the first and last point of every 32-point block is kept
/// beside them. Drawing a crowded pixel column then reads a few blocks, which lie
/// close together in memory, instead of every point. The summaries grow as points
/// are appended and cover whole blocks only; the points after the last whole block
/// are drawn one by one.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/chart/ChartTypes.h"

namespace zefirel {

class CChartLod {
public:
    /// Points per block at level 0 and growth of the block size per level.
    static constexpr size_t BASE = 32;
    static constexpr size_t FACTOR = 4;
    /// Levels kept: the largest block holds BASE · FACTOR^(MAX_LEVELS − 1) points.
    static constexpr size_t MAX_LEVELS = 8;
    /// A line breaks between neighbouring points whose x differ by more than this.
    static constexpr double GAP = 2;

    /// Summary of one block of points.
    struct Block {
        double low;   ///< the lowest y
        double high;  ///< the highest y
        /// No less than the widest hole between two of the block's y values that are
        /// next to each other in size (rounded up); negative when the line breaks inside
        /// the block; NaN when some y is not a finite number.
        float hole;

        double Hole() const { return std::fabs(hole); }
        bool HasGap() const { return std::signbit(hole); }
        bool NotFinite() const { return std::isnan(hole); }
    };

    /// Summarises the points appended since the last call. Points already summarised
    /// must not have changed. A series whose x falls somewhere, or whose x are not
    /// whole numbers from 0 to 2^32 − 1 (sample numbers), is not summarised.
    void Extend(const ChartSeries& series);
    /// Drops every summary.
    void Clear();

    /// Number of levels holding at least one block.
    size_t Levels() const { return m_levels.size(); }
    /// Points per block at a level.
    static size_t BlockSize(size_t level) {
        size_t n = BASE;
        for (size_t i = 0; i < level; ++i) n *= FACTOR;
        return n;
    }
    /// The block of this level that starts at point `first`, or nullptr when the
    /// level has no whole block there (first not aligned, or not summarised yet).
    const Block* At(size_t level, size_t first) const {
        if (level >= m_levels.size()) return nullptr;
        const size_t size = BlockSize(level);
        if (first % size != 0) return nullptr;
        const size_t k = first / size;
        return k < m_levels[level].size() ? &m_levels[level][k] : nullptr;
    }
    /// x of the first point of the block starting at `first` (a multiple of BASE
    /// below Summarised()), and of the last point of the `size` points from there.
    double FirstX(size_t first) const { return m_x[first / BASE].first; }
    double LastX(size_t first, size_t size) const { return m_x[(first + size) / BASE - 1].last; }
    /// Points covered by whole level-0 blocks.
    size_t Summarised() const { return m_x.size() * BASE; }
    /// Bytes held by the summaries.
    size_t MemoryBytes() const;

private:
    /// x of the first and the last point of a level-0 block.
    struct Ends {
        uint32_t first, last;
    };
    Block Summarise(const std::vector<ChartPoint>& pts, size_t first);
    Block Combine(const Block* children, size_t firstChild, size_t childSize) const;
    /// Appends, growing the room by a quarter at a time (not doubling), so the room
    /// left over stays small next to the summaries in use.
    template <class T>
    static void Append(std::vector<T>& v, const T& item) {
        if (v.size() == v.capacity()) v.reserve(v.size() + v.size() / 4 + 64);
        v.push_back(item);
    }

    std::vector<std::vector<Block>> m_levels;
    std::vector<Ends> m_x;
    bool m_off = false;  ///< the series cannot be summarised (until Clear)
};

} // namespace zefirel
