// Drawing the series of a series chart: lines and dots. With reduced drawing on
// (the default) a pixel column crowded with points is drawn from a few of them, and
// whole blocks of points that fall into one column come from the series' summaries,
// so a repaint costs about the pixels on screen, not the points. Every shortcut
// draws exactly the pixels of drawing every point.

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>

#include "ui/chart/ChartLod.h"
#include "ui/chart/PixelLayer.h"
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
/// They go to the pixel layer when there is one, else to the painter (whose pen
/// is set).
struct SegmentBatch {
    QPainter& dc;
    CPixelLayer* layer;
    QRgb colour;
    std::vector<QLine> segments;
    QPoint last;
    bool started = false;

    SegmentBatch(QPainter& painter, CPixelLayer* pixels, QRgb rgb) : dc(painter), layer(pixels), colour(rgb) {
        segments.reserve(BATCH);
    }
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
        if (segments.empty()) return;
        if (layer)
            layer->StrokeSegments(segments.data(), segments.size(), colour);
        else
            dc.drawLines(segments.data(), static_cast<int>(segments.size()));
        segments.clear();
    }
};

/// The points of one pixel column of a polyline. The column's segments (first →
/// ... → last) all lie on one vertical line between the highest and the lowest row
/// they reach, so the segment into the first point and one vertical segment over
/// those rows cover the same pixels as all of them; the line then goes on from the
/// last point. First and last are kept as point indices and read when drawn.
struct Column {
    int n = 0;
    size_t firstAt = 0, lastAt = 0;
    double lo = INFINITY, hi = -INFINITY;  ///< lowest and highest y that is a number
    bool nan = false;                      ///< some y is not a number (drawn at the row NaN maps to)

    void point(size_t i, double y) {
        if (n++ == 0) firstAt = i;
        lastAt = i;
        lo = std::min(lo, y);  // a NaN y leaves both as they are
        hi = std::max(hi, y);
        nan = nan || y != y;
    }
    /// A run of points from first to last whose lowest and highest y are given.
    void run(size_t first, double low, double high, size_t last, int count) {
        if (n == 0) firstAt = first;
        lastAt = last;
        n += count;
        lo = std::min(lo, low);
        hi = std::max(hi, high);
    }
    template <class Map>
    void flushInto(SegmentBatch& line, int px, const Map& map, const std::vector<ChartPoint>& pts) {
        if (n == 0) return;
        const int first = map.y(pts[firstAt].y);
        line.to(px, first);
        if (n > 1) {
            const int last = map.y(pts[lastAt].y);
            int a = std::min(first, last), z = std::max(first, last);
            if (lo <= hi) {
                const int rl = map.y(lo), rh = map.y(hi);
                a = std::min({a, rl, rh});
                z = std::max({z, rl, rh});
            }
            if (nan) {
                const int r = map.y(NAN);
                a = std::min(a, r);
                z = std::max(z, r);
            }
            line.add(QLine(px, z, px, a));
            line.jump(px, last);
        }
        n = 0;
        lo = INFINITY;
        hi = -INFINITY;
        nan = false;
    }
};

/// Calls f(px, i) for every point i in [from, to) of an unsorted series (or of any
/// series when nothing may be shortened).
template <class Map, class F>
void ForEachPoint(const std::vector<ChartPoint>& pts, size_t from, size_t to, const Map& map, F f) {
    for (size_t i = from; i < to; ++i) f(map.x(pts[i].x), i);
}

/// The end of the points from i on (i < limit) that lie in pixel column px: the
/// first index up to limit whose point lies in another column. x only grows along
/// a sorted series and the mapping keeps that order, so the column's points end
/// where the first other one begins and a binary search finds it.
template <class Map>
size_t ColumnEnd(const std::vector<ChartPoint>& pts, size_t i, size_t limit, int px, const Map& map) {
    if (map.x(pts[limit - 1].x) == px) return limit;
    size_t lo = i + 1, hi = limit - 1;  // pts[hi] lies in another column
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (map.x(pts[mid].x) == px)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

/// What a walk does with a whole summarised block.
enum class EBlockUse { Descend, Take, Skip };

/// Walks the points [from, to) of a sorted series in order. Where a summarised block
/// starts, lies inside [from, to) and within one pixel column, and `use` accepts it,
/// the block is handed whole to onBlock(px, block, first, size) (or passed over for
/// Skip); the largest such block wins. The other points go in runs that lie in one
/// pixel column and within one level-0 block to onRun(px, first, end).
template <class Map, class Use, class OnBlock, class OnRun>
void WalkSummarised(const std::vector<ChartPoint>& pts, const CChartLod& lod, size_t from, size_t to,
                    const Map& map, Use use, OnBlock onBlock, OnRun onRun) {
    static_assert(CChartLod::FACTOR == 4, "levels are found from pairs of trailing zero bits");
    const size_t levels = lod.Levels();
    const size_t summarised = std::min(to, lod.Summarised());
    size_t i = from;
    while (i < to) {
        int px;
        if (i % CChartLod::BASE == 0 && i < summarised) {
            // Blocks are looked at where one starts; their ends' x come from the
            // summaries, so the points themselves are not read. The blocks starting
            // at i are those of the levels up to the one i is aligned to.
            px = map.x(lod.FirstX(i));
            const size_t k = i / CChartLod::BASE;
            const size_t aligned = k == 0 ? levels : static_cast<size_t>(std::countr_zero(k)) / 2 + 1;
            const size_t highest = std::min(levels, aligned);
            bool done = false;
            for (size_t level = highest, size = highest == 0 ? 0 : CChartLod::BlockSize(highest - 1);
                 level-- > 0 && !done; size /= CChartLod::FACTOR) {
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
        } else {
            px = map.x(pts[i].x);
        }
        const size_t end = ColumnEnd(pts, i, std::min(to, (i / CChartLod::BASE + 1) * CChartLod::BASE), px, map);
        onRun(px, i, end);
        i = end;
    }
}

/// The plot's value window: a point outside it is not drawn.
struct Window {
    double xMin, xMax, yMin, yMax;
    bool shows(const ChartPoint& p) const { return !(p.x < xMin || p.x > xMax || p.y < yMin || p.y > yMax); }
};

/// Builds a series' polyline column by column, joining runs of points and whole
/// blocks that share a pixel column, and breaking where x jumps by more than 2.
template <class Map>
struct LineWalk {
    SegmentBatch& line;
    const Map& map;
    const std::vector<ChartPoint>& pts;
    const Window& window;
    Column col;
    int px = 0;
    bool any = false;
    double prevX = 0;  // the previous visible point's x; starts at 0

    LineWalk(SegmentBatch& l, const Map& m, const std::vector<ChartPoint>& p, const Window& w)
        : line(l), map(m), pts(p), window(w) {}

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
    /// The visible point i, in column at.
    void point(int at, size_t i, const ChartPoint& p) {
        enter(at, p.x);
        col.point(i, p.y);
        prevX = p.x;
    }
    /// The points [i, end), all in column at; those outside the window are skipped.
    void run(int at, size_t i, size_t end) {
        for (; i < end; ++i)
            if (window.shows(pts[i])) point(at, i, pts[i]);
    }
    /// A block without a break inside: its first, lowest, highest and last point
    /// stand for all of its points in the column.
    void block(int at, const CChartLod& lod, const CChartLod::Block& b, size_t first, size_t size) {
        enter(at, lod.FirstX(first));
        col.run(first, b.low, b.high, first + size - 1, static_cast<int>(size));
        prevX = lod.LastX(first, size);
    }
    void flush() { col.flushInto(line, px, map, pts); }
    void finish() {
        if (any) flush();
    }
};

/// Collects the filled squares of dots and hands them to the pixel layer, or to
/// the painter (whose brush is set), in batches; or holds them all until flushed.
struct DotBatch {
    QPainter& dc;
    CPixelLayer* layer;
    QRgb colour;
    bool hold;
    std::vector<QRect> squares;

    DotBatch(QPainter& painter, CPixelLayer* pixels, QRgb rgb, bool holdAll = false)
        : dc(painter), layer(pixels), colour(rgb), hold(holdAll) {
        squares.reserve(BATCH);
    }
    /// The dot at (px, py): the footprint of a 3-pixel-wide stroke from (px, py) to
    /// (px + 1, py + 1), as two 3 × 3 squares.
    void dot(int px, int py) { bar(px, py, py); }
    /// The dots of every row from a to z (a <= z) of column px: the same two squares,
    /// stretched over the rows. The pixel layer takes their union as three bands
    /// instead, which visit fewer rows.
    void bar(int px, int a, int z) {
        if (layer) {
            squares.emplace_back(px - 1, a - 1, 3, 1);
            squares.emplace_back(px - 1, a, 4, z - a + 2);
            squares.emplace_back(px, z + 2, 3, 1);
        } else {
            squares.emplace_back(px - 1, a - 1, 3, z - a + 3);
            squares.emplace_back(px, a, 3, z - a + 3);
        }
        if (!hold && squares.size() >= BATCH) flush();
    }
    void flush() {
        if (squares.empty()) return;
        if (layer) {
            layer->FillRects(squares.data(), squares.size(), colour);
        } else {
            dc.setPen(Qt::NoPen);
            dc.setBrush(QColor::fromRgb(colour));
            dc.drawRects(squares.data(), static_cast<int>(squares.size()));
            dc.setBrush(Qt::NoBrush);
        }
        squares.clear();
    }
};

/// The dots of one pixel column, as a set of plot rows (one bit each). Rows whose
/// dots lie at most 3 apart are drawn as one bar, since dots that close overlap or
/// touch in every pixel column they cover. A row outside the plot gets its dot at once.
struct DotColumn {
    /// Taller plots than this draw every dot on its own.
    static constexpr int MAX_ROWS = 1 << 16;

    DotBatch& out;
    std::vector<uint64_t> bits;
    int base = 0;  ///< the row of bit 0
    int rows = 0;
    size_t loWord = SIZE_MAX, hiWord = 0;  ///< the words holding set bits
    int px = 0;

    /// Rows from a to z (either order) are held as bits.
    DotColumn(DotBatch& batch, int a, int z) : out(batch), base(std::min(a, z)) {
        const long span = static_cast<long>(std::max(a, z)) - base + 1;
        rows = span <= MAX_ROWS ? static_cast<int>(span) : 0;
        bits.assign(static_cast<size_t>(rows) / 64 + 1, 0);
    }
    /// The following rows are those of column at.
    void enter(int at) {
        if (at != px) flush();
        px = at;
    }
    /// A dot on row r of the current column.
    void mark(int r) {
        const auto at = static_cast<unsigned>(r - base);
        if (at >= static_cast<unsigned>(rows)) {
            out.bar(px, r, r);
            return;
        }
        const size_t w = at / 64;
        bits[w] |= uint64_t{1} << (at % 64);
        loWord = std::min(loWord, w);
        hiWord = std::max(hiWord, w);
    }
    /// Dots on the rows a..z (a <= z) of the current column.
    void mark(int a, int z) {
        if (a < base || z >= base + rows) {
            out.bar(px, a, z);
            return;
        }
        const auto from = static_cast<size_t>(a - base), to = static_cast<size_t>(z - base);
        const size_t wa = from / 64, wz = to / 64;
        for (size_t w = wa; w <= wz; ++w) {
            const size_t lo = w == wa ? from % 64 : 0, hi = w == wz ? to % 64 : 63;
            bits[w] |= (~uint64_t{0} >> (63 - hi + lo)) << lo;
        }
        loWord = std::min(loWord, wa);
        hiWord = std::max(hiWord, wz);
    }
    void flush() {
        if (loWord > hiWord) return;
        int a = -1, z = 0;
        for (size_t w = loWord; w <= hiWord; ++w) {
            uint64_t word = bits[w];
            bits[w] = 0;
            while (word != 0) {
                const int at = std::countr_zero(word);
                const int len = std::countr_one(word >> at);
                const int from = static_cast<int>(w * 64) + at, to = from + len - 1;
                if (a < 0) {
                    a = from;
                } else if (from > z + 3) {
                    out.bar(px, base + a, base + z);
                    a = from;
                }
                z = to;
                word = at + len >= 64 ? 0 : word & (~uint64_t{0} << (at + len));
            }
        }
        out.bar(px, base + a, base + z);
        loWord = SIZE_MAX;
        hiWord = 0;
    }
};

} // namespace

std::pair<size_t, size_t> CSeriesChart::VisibleSpan(const ChartSeries& s) const {
    const auto& pts = s.points;
    if (!s.sortedByX) return {0, pts.size()};
    auto lo = std::lower_bound(pts.begin(), pts.end(), XMin(),
                               [](const ChartPoint& p, double x) { return p.x < x; });
    auto hi = std::upper_bound(lo, pts.end(), XMax(),
                               [](double x, const ChartPoint& p) { return x < p.x; });
    return {static_cast<size_t>(lo - pts.begin()), static_cast<size_t>(hi - pts.begin())};
}

void CSeriesChart::DrawLine(QPainter& dc, CPixelLayer* layer, size_t index) const {
    const ChartSeries& s = m_series[index];
    const QColor colour = ToQColor(s.drawColour());
    dc.setPen(QPen(colour, 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const auto [from, to] = VisibleSpan(s);
    const Window window{XMin(), XMax(), YMin(), YMax()};
    const Mapper map(*this);
    SegmentBatch line(dc, layer, colour.rgb());
    LineWalk<Mapper> walk(line, map, s.points, window);
    // Every point on its own: each one ends its column at once.
    ForEachPoint(s.points, from, to, map, [&](int px, size_t i) {
        walk.run(px, i, i + 1);
        walk.flush();
    });
    walk.finish();
}

void CSeriesChart::DrawDots(QPainter& dc, CPixelLayer* layer, size_t index) const {
    const ChartSeries& s = m_series[index];
    const auto [from, to] = VisibleSpan(s);
    const Window window{XMin(), XMax(), YMin(), YMax()};
    const Mapper map(*this);
    DotBatch dots(dc, layer, ToQColor(s.drawColour()).rgb());
    const auto& pts = s.points;
    if (!m_reduce) {
        ForEachPoint(pts, from, to, map, [&](int px, size_t i) {
            if (window.shows(pts[i])) dots.dot(px, map.y(pts[i].y));
        });
    } else {
        // Per plot row, the column in which a dot was last drawn: a second dot on
        // the same pixel would paint the same pixels again.
        const int top = ClampToInt(Top());
        std::vector<int> drawnAt(static_cast<size_t>(std::max(0, ClampToInt(PlotHeight()))) + 3, INT_MIN);
        ForEachPoint(pts, from, to, map, [&](int px, size_t i) {
            if (!window.shows(pts[i])) return;
            const int py = map.y(pts[i].y);
            const int row = py - top;
            if (row >= 0 && static_cast<size_t>(row) < drawnAt.size()) {
                if (drawnAt[static_cast<size_t>(row)] == px) return;
                drawnAt[static_cast<size_t>(row)] = px;
            }
            dots.dot(px, py);
        });
    }
    dots.flush();
}

std::vector<QRect> CSeriesChart::DrawSummarised(QPainter& dc, CPixelLayer* layer, size_t index, bool line,
                                                bool dots) const {
    const ChartSeries& s = m_series[index];
    const QColor colour = ToQColor(s.drawColour());
    if (line) dc.setPen(QPen(colour, 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const auto [from, to] = VisibleSpan(s);
    const Window window{XMin(), XMax(), YMin(), YMax()};
    const Mapper map(*this);
    const auto& pts = s.points;
    const CChartLod& lod = m_lods[index];
    SegmentBatch segments(dc, layer, colour.rgb());
    LineWalk<Mapper> walk(segments, map, pts, window);
    DotBatch held(dc, layer, colour.rgb(), true);
    DotColumn column(held, map.y(window.yMin), map.y(window.yMax));
    const double pixelsPerUnit = map.ySpan == 0 ? NAN : std::fabs(map.height / map.ySpan);
    // A block is drawn whole only when both the line and the dots can take it.
    auto use = [&](const CChartLod::Block& b) {
        if (b.NotFinite()) return EBlockUse::Descend;
        if (b.low > window.yMax || b.high < window.yMin) return EBlockUse::Skip;  // wholly above or below
        if (b.low < window.yMin || b.high > window.yMax) return EBlockUse::Descend;
        if (line && b.HasGap()) return EBlockUse::Descend;
        // Gaps do not matter to dots; the values must lie close enough to join.
        if (dots && !(b.Hole() * pixelsPerUnit <= DOT_CHAIN_PIXELS)) return EBlockUse::Descend;
        return EBlockUse::Take;
    };
    WalkSummarised(
        pts, lod, from, to, map, use,
        [&](int px, const CChartLod::Block& b, size_t first, size_t size) {
            if (line) walk.block(px, lod, b, first, size);
            if (dots) {
                const int a = map.y(b.high), z = map.y(b.low);
                column.enter(px);
                column.mark(std::min(a, z), std::max(a, z));
            }
        },
        [&](int px, size_t first, size_t end) {
            if (dots) column.enter(px);
            // The walk stays inside the x window: only y can hide a point.
            for (size_t i = first; i < end; ++i) {
                const ChartPoint& p = pts[i];
                if (p.y < window.yMin || p.y > window.yMax) continue;
                if (line) walk.point(px, i, p);
                if (dots) column.mark(map.y(p.y));
            }
        });
    if (line) walk.finish();
    segments.flush();
    if (dots) column.flush();
    return std::move(held.squares);
}

void CSeriesChart::PaintDots(QPainter& dc, CPixelLayer* layer, size_t index, std::vector<QRect>& squares) const {
    DotBatch dots(dc, layer, ToQColor(m_series[index].drawColour()).rgb(), true);
    dots.squares.swap(squares);
    dots.flush();
}

} // namespace zefirel
