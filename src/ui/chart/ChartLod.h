#pragma once
/// CChartLod: the level-of-detail summaries of one chart series. The series' points
/// are cut into blocks of 16, 64, 256, ... points (each level four times the one
/// below); a block records where its lowest and highest point lie, the widest hole
/// between its y values (sorted by size) and whether the line breaks inside it (x
/// jumps by more than 2). Drawing a crowded pixel column then costs a few blocks instead
/// of every point. The summaries grow as points are appended and are built only
/// over whole blocks; the points after the last whole block are drawn one by one.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/chart/ChartTypes.h"

namespace zefirel {

class CChartLod {
public:
    /// Points per block at level 0 and growth of the block size per level.
    static constexpr size_t BASE = 16;
    static constexpr size_t FACTOR = 4;
    /// Levels kept: the largest block holds BASE · FACTOR^(MAX_LEVELS − 1) points.
    static constexpr size_t MAX_LEVELS = 8;
    /// A line breaks between neighbouring points whose x differ by more than this.
    static constexpr double GAP = 2;

    /// Summary of one block of points, in 12 bytes.
    struct Block {
        uint32_t lowAt;   ///< index of the first point with the lowest y
        uint32_t highAt;  ///< index of the first point with the highest y
        /// No less than the widest hole between two of the block's y values that are
        /// next to each other in size (rounded up); negative when the line breaks inside
        /// the block; NaN when some y is not a finite number.
        float hole;

        double Hole() const { return std::fabs(hole); }
        bool HasGap() const { return std::signbit(hole); }
        bool NotFinite() const { return std::isnan(hole); }
    };

    /// Summarises the points appended since the last call. Points already summarised
    /// must not have changed; an unsorted series (x falling) is not summarised.
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
    /// Points covered by whole level-0 blocks.
    size_t Summarised() const { return m_levels.empty() ? 0 : m_levels[0].size() * BASE; }
    /// Bytes held by the summaries.
    size_t MemoryBytes() const;

private:
    Block Summarise(const std::vector<ChartPoint>& pts, size_t first, size_t count) const;
    Block Combine(const std::vector<ChartPoint>& pts, const Block* children, size_t first, size_t childSize) const;
    /// Appends to a level, growing its room by a quarter at a time (not doubling),
    /// so the room left over stays small next to the summaries in use.
    static void Append(std::vector<Block>& level, const Block& b);

    std::vector<std::vector<Block>> m_levels;
};

} // namespace zefirel
