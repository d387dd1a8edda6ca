// Drawing the series of a series chart: lines and dots. With reduced drawing on
// (the default) a pixel column crowded with points is drawn from a few of them, and
// whole blocks of points that fall into one column come from the series' summaries,
// so a repaint costs about the pixels on screen, not the points. Every shortcut
// draws exactly the pixels of drawing every point.

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <climits>
#include <cmath>

#include "ui/chart/ChartLod.h"
#include "ui/chart/SeriesMapper.h"

namespace zefirel {

namespace {

/// Segments and dots are handed to the painter in batches of this many.
constexpr size_t BATCH = 4096;
/// A block's dots join into one solid bar when no hole between its values (sorted
/// by size) is wider than this many pixels before rounding: the rows of its dots
/// then leave no hole over 3, and 3 × 3 dots that close overlap or touch in every
/// column they cover.
constexpr double DOT_CHAIN_PIXELS = 2;

/// Collects a polyline as separate segments: a wide pen strokes a long polyline as
/// one self-overlapping outline, which is far slower to fill than its segments.
struct SegmentBatch {
    QPainter& dc;
    std::vector<QLine> segments;
    QPoint last;
    bool started = false;

    explicit SegmentBatch(QPainter& painter) : dc(painter) { segments.reserve(BATCH); }
    ~SegmentBatch() { flush(); }
    void to(int x, int y) {
        const QPoint p(x, y);
        if (started) add(QLine(last, p));
        last = p;
        started = true;
    }
    /// The polyline goes on from (x, y) without a segment to it (the caller drew
    /// the way there itself).
    void jump(int x, int y) {
        last = QPoint(x, y);
        started = true;
    }
    void add(const QLine& segment) {
        segments.push_back(segment);
        if (segments.size() >= BATCH) flush();
    }
    /// The next point starts a new polyline.
    void lift() { started = false; }
    void flush() {
        if (!segments.empty()) dc.drawLines(segments.data(), static_cast<int>(segments.size()));
        segments.clear();
    }
};

/// The points of one pixel column of a polyline. The column's segments (first →
/// ... → last) all lie on one vertical line between the lowest and highest point,
/// so the segment into the first point and one vertical segment from the lowest to
/// the highest cover the same pixels as all of them; the line then goes on from the
/// last point. First and last are kept as point indices and read when drawn.
struct Column {
    int n = 0;
    size_t firstAt = 0, lastAt = 0;
    double lo = 0, hi = 0;

    /// A run of points from firstAt to lastAt whose lowest and highest y are given
    /// (a single point: firstAt == lastAt and lo == hi == its y).
    void add(size_t runFirst, double runLo, double runHi, size_t runLast, int count) {
        if (n == 0) {
            firstAt = runFirst;
            lo = runLo;
            hi = runHi;
        } else {
            lo = std::min(lo, runLo);
            hi = std::max(hi, runHi);
        }
        lastAt = runLast;
        n += count;
    }
    template <class Map>
    void flushInto(SegmentBatch& line, int px, const Map& map, const std::vector<ChartPoint>& pts) {
        if (n == 0) return;
        line.to(px, map.y(pts[firstAt].y));
        if (n > 1) {
            line.add(QLine(px, map.y(lo), px, map.y(hi)));
            line.jump(px, map.y(pts[lastAt].y));
        }
        n = 0;
    }
};

/// Calls f(px, i) for every point i in [from, to) of an unsorted series (or of any
/// series when nothing may be shortened).
template <class Map, class F>
void ForEachPoint(const std::vector<ChartPoint>& pts, size_t from, size_t to, const Map& map, F f) {
    for (size_t i = from; i < to; ++i) f(map.x(pts[i].x), i);
}

/// What a walk does with a whole summarised block.
enum class EBlockUse { Descend, Take, Skip };

/// Walks the points [from, to) of a sorted series in order. Where a summarised block
/// starts, lies inside [from, to) and within one pixel column, and `use` accepts it,
/// the block is handed whole to onBlock(px, block) (or passed over for Skip); the
/// largest such block wins. Everything else goes point by point to onPoint(px, i).
template <class Map, class Use, class OnBlock, class OnPoint>
void WalkSummarised(const std::vector<ChartPoint>& pts, const CChartLod& lod, size_t from, size_t to,
                    const Map& map, Use use, OnBlock onBlock, OnPoint onPoint) {
    const size_t levels = lod.Levels();
    const size_t summarised = std::min(to, lod.Summarised());
    size_t i = from;
    while (i < to) {
        // Blocks are looked at where one starts; their ends' x come from the
        // summaries, so the points themselves are not read.
        if (i % CChartLod::BASE == 0 && i < summarised) {
            const int px = map.x(lod.FirstX(i));
            bool done = false;
            for (size_t level = levels; level-- > 0 && !done;) {
                const size_t size = CChartLod::BlockSize(level);
                if (i + size > to) continue;
                const CChartLod::Block* b = lod.At(level, i);
                if (!b || map.x(lod.LastX(i, size)) != px) continue;
                const EBlockUse how = use(*b);
                if (how == EBlockUse::Descend) continue;
                if (how == EBlockUse::Take) onBlock(px, *b, i, size);
                i += size;
                done = true;
            }
            if (done) continue;
            onPoint(px, i);
            ++i;
            continue;
        }
        onPoint(map.x(pts[i].x), i);
        ++i;
    }
}

/// Builds a series' polyline column by column, joining runs of points and whole
/// blocks that share a pixel column, and breaking where x jumps by more than 2.
template <class Map>
struct LineWalk {
    SegmentBatch& line;
    const Map& map;
    const std::vector<ChartPoint>& pts;
    Column col;
    int px = 0;
    bool any = false;
    double prevX = 0;  // the previous visible point's x; starts at 0

    LineWalk(SegmentBatch& l, const Map& m, const std::vector<ChartPoint>& p) : line(l), map(m), pts(p) {}

    /// A visible point (or a block's first point) at x entering column at.
    void enter(int at, double x) {
        if (any && at != px) flush();
        px = at;
        any = true;
        if (x - prevX > CChartLod::GAP) {  // a gap in the samples breaks the line
            flush();
            line.lift();
        }
    }
    void point(int at, size_t i) {
        const ChartPoint& p = pts[i];
        enter(at, p.x);
        col.add(i, p.y, p.y, i, 1);
        prevX = p.x;
    }
    /// A block without a break inside: its first, lowest, highest and last point
    /// stand for all of its points in the column.
    void block(int at, const CChartLod& lod, const CChartLod::Block& b, size_t first, size_t size) {
        enter(at, lod.FirstX(first));
        col.add(first, b.low, b.high, first + size - 1, static_cast<int>(size));
        prevX = lod.LastX(first, size);
    }
    void flush() { col.flushInto(line, px, map, pts); }
    void finish() {
        if (any) flush();
    }
};

/// Collects the filled squares of dots and hands them to the painter in batches.
struct DotBatch {
    QPainter& dc;
    std::vector<QRect> squares;

    explicit DotBatch(QPainter& painter) : dc(painter) { squares.reserve(BATCH); }
    /// The dot at (px, py): the footprint of a 3-pixel-wide stroke from (px, py) to
    /// (px + 1, py + 1), as two 3 × 3 squares.
    void dot(int px, int py) { bar(px, py, py); }
    /// The dots of every row from a to z (a <= z) of column px: the same two squares,
    /// stretched over the rows.
    void bar(int px, int a, int z) {
        squares.emplace_back(px - 1, a - 1, 3, z - a + 3);
        squares.emplace_back(px, a, 3, z - a + 3);
        if (squares.size() >= BATCH) flush();
    }
    void flush() {
        if (!squares.empty()) dc.drawRects(squares.data(), static_cast<int>(squares.size()));
        squares.clear();
    }
};

/// The dots of one pixel column as runs of rows: a run stands for dots on every one
/// of its rows. Runs whose rows lie at most 3 apart are drawn as one bar, since dots
/// that close overlap or touch in every pixel column they cover.
struct DotColumn {
    DotBatch& out;
    std::vector<std::pair<int, int>> runs;
    int px = 0;

    explicit DotColumn(DotBatch& batch) : out(batch) {}
    /// Dots on rows a..z (either order) of column at.
    void rows(int at, int a, int z) {
        if (!runs.empty() && at != px) flush();
        px = at;
        runs.emplace_back(std::min(a, z), std::max(a, z));
    }
    void flush() {
        if (runs.empty()) return;
        std::sort(runs.begin(), runs.end());
        auto [a, z] = runs.front();
        for (const auto& [from, to] : runs) {
            if (from > z + 3) {
                out.bar(px, a, z);
                a = from;
            }
            z = std::max(z, to);
        }
        out.bar(px, a, z);
        runs.clear();
    }
};

} // namespace

std::pair<size_t, size_t> CSeriesChart::VisibleSpan(const ChartSeries& s) const {
    const auto& pts = s.points;
    if (!s.sortedByX) return {0, pts.size()};
    auto lo = std::lower_bound(pts.begin(), pts.end(), s_xMin,
                               [](const ChartPoint& p, double x) { return p.x < x; });
    auto hi = std::upper_bound(lo, pts.end(), s_xMax,
                               [](double x, const ChartPoint& p) { return x < p.x; });
    return {static_cast<size_t>(lo - pts.begin()), static_cast<size_t>(hi - pts.begin())};
}

void CSeriesChart::DrawLine(QPainter& dc, size_t index) const {
    const ChartSeries& s = m_series[index];
    dc.setPen(QPen(ToQColor(s.drawColour()), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const auto [from, to] = VisibleSpan(s);
    const double yMin = YMin(), yMax = YMax();
    const Mapper map(*this);
    SegmentBatch line(dc);
    const auto& pts = s.points;
    LineWalk<Mapper> walk(line, map, pts);
    auto onPoint = [&](int px, size_t i) {
        const ChartPoint& p = pts[i];
        if (p.x < s_xMin || p.x > s_xMax || p.y < yMin || p.y > yMax) return;  // invisible: skipped
        walk.point(px, i);
    };
    if (!(m_reduce && s.sortedByX)) {
        // Every point on its own: each one ends its column at once.
        ForEachPoint(pts, from, to, map, [&](int px, size_t i) {
            onPoint(px, i);
            walk.flush();
        });
    } else {
        const CChartLod& lod = m_lods[index];
        auto use = [&](const CChartLod::Block& b) {
            if (b.NotFinite()) return EBlockUse::Descend;
            if (b.low > yMax || b.high < yMin) return EBlockUse::Skip;  // wholly above or below
            if (b.low < yMin || b.high > yMax || b.HasGap()) return EBlockUse::Descend;
            return EBlockUse::Take;
        };
        WalkSummarised(pts, lod, from, to, map, use,
                       [&](int px, const CChartLod::Block& b, size_t first, size_t size) {
                           walk.block(px, lod, b, first, size);
                       },
                       onPoint);
    }
    walk.finish();
}

void CSeriesChart::DrawDots(QPainter& dc, size_t index) const {
    const ChartSeries& s = m_series[index];
    // Dots are filled squares: much faster than stroking with a wide pen.
    dc.setPen(Qt::NoPen);
    dc.setBrush(ToQColor(s.drawColour()));
    const auto [from, to] = VisibleSpan(s);
    const double yMin = YMin(), yMax = YMax();
    const Mapper map(*this);
    DotBatch dots(dc);
    const auto& pts = s.points;
    auto visible = [&](const ChartPoint& p) { return !(p.x < s_xMin || p.x > s_xMax || p.y < yMin || p.y > yMax); };
    if (!m_reduce) {
        ForEachPoint(pts, from, to, map, [&](int px, size_t i) {
            if (visible(pts[i])) dots.dot(px, map.y(pts[i].y));
        });
    } else if (!s.sortedByX) {
        // Per plot row, the column in which a dot was last drawn: a second dot on
        // the same pixel would paint the same pixels again.
        const int top = ClampToInt(Top());
        std::vector<int> drawnAt(static_cast<size_t>(std::max(0, ClampToInt(PlotHeight()))) + 3, INT_MIN);
        ForEachPoint(pts, from, to, map, [&](int px, size_t i) {
            if (!visible(pts[i])) return;
            const int py = map.y(pts[i].y);
            const int row = py - top;
            if (row >= 0 && static_cast<size_t>(row) < drawnAt.size()) {
                if (drawnAt[static_cast<size_t>(row)] == px) return;
                drawnAt[static_cast<size_t>(row)] = px;
            }
            dots.dot(px, py);
        });
    } else {
        const double pixelsPerUnit = map.ySpan == 0 ? NAN : std::fabs(map.height / map.ySpan);
        auto use = [&](const CChartLod::Block& b) {
            if (b.NotFinite()) return EBlockUse::Descend;
            if (b.low > yMax || b.high < yMin) return EBlockUse::Skip;
            if (b.low < yMin || b.high > yMax) return EBlockUse::Descend;
            // Gaps do not matter to dots; the values must lie close enough to join.
            return b.Hole() * pixelsPerUnit <= DOT_CHAIN_PIXELS ? EBlockUse::Take : EBlockUse::Descend;
        };
        DotColumn column(dots);
        WalkSummarised(
            pts, m_lods[index], from, to, map, use,
            [&](int px, const CChartLod::Block& b, size_t, size_t) { column.rows(px, map.y(b.high), map.y(b.low)); },
            [&](int px, size_t i) {
                if (!visible(pts[i])) return;
                const int py = map.y(pts[i].y);
                column.rows(px, py, py);
            });
        column.flush();
    }
    dots.flush();
    dc.setBrush(Qt::NoBrush);
}

} // namespace zefirel
