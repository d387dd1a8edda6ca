#include "ui/chart/Chart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPen>
#include <QSaveFile>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cmath>
#include <sstream>

#include "diag/DiagData.h"
#include "link/Conversions.h"
#include "support/ChartScaleText.h"
#include "support/Paths.h"

namespace zefirel {

/// The value-to-pixel mapping with the chart's current scale taken once, for the
/// per-point drawing loops.
struct CSeriesChart::Mapper {
    double left, width, xMin, xSpan, bottom, height, yMin, ySpan;

    explicit Mapper(const CSeriesChart& c)
        : left(c.Left()), width(c.PlotWidth()), xMin(s_xMin), xSpan(s_xMax - s_xMin),
          bottom(c.Top() + c.PlotHeight()), height(c.PlotHeight()), yMin(c.YMin()), ySpan(c.YMax() - c.YMin()) {}
    /// Halves away from zero, the rule of roundToInt, inlined for the loops.
    static double Round(double v) { return std::trunc(v >= 0 ? v + 0.5 : v - 0.5); }
    int x(double v) const { return xSpan == 0 ? ClampToInt(left) : ClampToInt(left + Round(width * (v - xMin) / xSpan)); }
    int y(double v) const {
        return ySpan == 0 ? ClampToInt(bottom) : ClampToInt(bottom - Round(height * (v - yMin) / ySpan));
    }
};

namespace {

/// Samples copied out of the store per lock hold when building from a whole store.
constexpr size_t STORE_BLOCK = 32768;
/// Segments and dots are handed to the painter in batches of this many.
constexpr size_t BATCH = 4096;

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
        if (started) segments.emplace_back(last, p);
        last = p;
        started = true;
        if (segments.size() >= BATCH) flush();
    }
    /// The next point starts a new polyline.
    void lift() { started = false; }
    void flush() {
        if (!segments.empty()) dc.drawLines(segments.data(), static_cast<int>(segments.size()));
        segments.clear();
    }
};

/// The y values of the points of one pixel column of a polyline: drawing its first,
/// lowest, highest and last point (in their order) covers the same pixels as all.
struct Column {
    int n = 0, loAt = 0, hiAt = 0;
    double first = 0, last = 0, lo = 0, hi = 0;

    void add(double y) {
        if (n == 0) {
            first = last = lo = hi = y;
            loAt = hiAt = 0;
        } else {
            last = y;
            if (y < lo) { lo = y; loAt = n; }
            if (y > hi) { hi = y; hiAt = n; }
        }
        ++n;
    }
    template <class Map>
    void flushInto(SegmentBatch& line, int px, const Map& map) {
        if (n == 0) return;
        line.to(px, map.y(first));
        if (n > 2) {
            line.to(px, map.y(loAt <= hiAt ? lo : hi));
            line.to(px, map.y(loAt <= hiAt ? hi : lo));
        }
        if (n > 1) line.to(px, map.y(last));
        n = 0;
    }
};

/// Calls f(px, i, j) for runs [i, j) of points that share the pixel column px. With
/// group set (points sorted by x), a run is found by galloping search, so crowded
/// columns cost no per-point x mapping; otherwise every point is its own run.
template <class Map, class F>
void ForEachRun(const std::vector<ChartPoint>& pts, size_t from, size_t to, const Map& map, bool group, F f) {
    size_t i = from;
    while (i < to) {
        const int px = map.x(pts[i].x);
        size_t j = i + 1;
        if (group) {
            // The mapping is monotonic in x, so a column's points are contiguous.
            auto same = [&](const ChartPoint& p) { return map.x(p.x) == px; };
            size_t lo = i + 1, hi = lo, step = 1;
            while (hi < to && same(pts[hi])) {
                lo = hi + 1;
                step *= 2;
                hi = i + step;
            }
            hi = std::min(hi, to);
            j = static_cast<size_t>(std::partition_point(pts.begin() + static_cast<std::ptrdiff_t>(lo),
                                                         pts.begin() + static_cast<std::ptrdiff_t>(hi), same) -
                                    pts.begin());
        }
        f(px, i, j);
        i = j;
    }
}

} // namespace

double CSeriesChart::s_xMin = CSeriesChart::DEFAULT_X_MIN;
double CSeriesChart::s_xMax = CSeriesChart::DEFAULT_X_MAX;
double CSeriesChart::s_xGrid = 50;
std::function<bool()> CSeriesChart::s_isLive;

CSeriesChart::CSeriesChart(QWidget* parent) : CChart(parent) {}

CSeriesChart::~CSeriesChart() = default;

void CSeriesChart::ResetXWindow() {
    s_xMin = DEFAULT_X_MIN;
    s_xMax = DEFAULT_X_MAX;
    s_xGrid = (DEFAULT_X_MAX - DEFAULT_X_MIN) / 10;
}

void CSeriesChart::SetLiveCheck(std::function<bool()> isLive) { s_isLive = std::move(isLive); }

void CSeriesChart::SetSize(const QSize& client) {
    CChart::SetSize(client);
    SetPlotSize(client.width() - Left() - 20, client.height() - Top() - 20);
}

// ---- mappings --------------------------------------------------------------------

int CSeriesChart::XToPixel(double x) const { return Mapper(*this).x(x); }

int CSeriesChart::YToPixel(double y) const { return Mapper(*this).y(y); }

namespace {
/// Values past 10 in magnitude are whole sample numbers or whole units.
double RoundLarge(double v) { return std::fabs(std::trunc(v)) > 10 ? roundToInt(v) : v; }
} // namespace

double CSeriesChart::PixelToX(int px) const { return RoundLarge(PlainPixelToX(px)); }

double CSeriesChart::PixelToY(int py) const { return RoundLarge(PlainPixelToY(py)); }

void CSeriesChart::RestoreScale() {
    s_xMin = DEFAULT_X_MIN;
    s_xMax = DEFAULT_X_MAX;
    SetYRange(DefaultYMin(), DefaultYMax());
    s_xGrid = (s_xMax - s_xMin) / 10;
    SetYGrid((YMax() - YMin()) / 10);
}

void CSeriesChart::Clear() {
    m_series.clear();
    m_lastSampleNo = 0;
}

// ---- drawing ---------------------------------------------------------------------

std::pair<size_t, size_t> CSeriesChart::VisibleSpan(const ChartSeries& s) const {
    const auto& pts = s.points;
    if (!s.sortedByX) return {0, pts.size()};
    auto lo = std::lower_bound(pts.begin(), pts.end(), s_xMin,
                               [](const ChartPoint& p, double x) { return p.x < x; });
    auto hi = std::upper_bound(lo, pts.end(), s_xMax,
                               [](double x, const ChartPoint& p) { return x < p.x; });
    return {static_cast<size_t>(lo - pts.begin()), static_cast<size_t>(hi - pts.begin())};
}

void CSeriesChart::Draw(QPainter& dc) {
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setRenderHint(QPainter::TextAntialiasing, false);
    const QPen dotted(Qt::black, 1, Qt::DotLine);
    DrawFrameGridCaption(dc, dotted, dotted, nullptr);
    for (const ChartSeries& s : m_series)
        if (!s.points.empty() && s.drawLine) DrawLine(dc, s);
    for (const ChartSeries& s : m_series)
        if (!s.points.empty() && s.drawDots) DrawDots(dc, s);
    dc.restore();
}

void CSeriesChart::DrawLine(QPainter& dc, const ChartSeries& s) const {
    dc.setPen(QPen(ToQColor(s.drawColour()), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const auto [from, to] = VisibleSpan(s);
    const double yMin = YMin(), yMax = YMax();
    const Mapper map(*this);
    SegmentBatch line(dc);
    Column col;
    double prevX = 0;
    ForEachRun(s.points, from, to, map, s.sortedByX && m_reduce, [&](int px, size_t i, size_t j) {
        for (size_t k = i; k < j; ++k) {
            const ChartPoint& p = s.points[k];
            if (p.x < s_xMin || p.x > s_xMax || p.y < yMin || p.y > yMax) continue;
            if (p.x - prevX > 2) {  // a gap in the samples breaks the line
                col.flushInto(line, px, map);
                line.lift();
            }
            prevX = p.x;
            col.add(p.y);
        }
        col.flushInto(line, px, map);
    });
}

void CSeriesChart::DrawDots(QPainter& dc, const ChartSeries& s) const {
    // Dots are filled squares: much faster than stroking with a wide pen.
    dc.setPen(Qt::NoPen);
    dc.setBrush(ToQColor(s.drawColour()));
    const auto [from, to] = VisibleSpan(s);
    const double yMin = YMin(), yMax = YMax();
    const Mapper map(*this);
    // Per plot row, the column in which a dot was last drawn: a second dot on the
    // same pixel would paint the same pixels again.
    const int top = ClampToInt(Top());
    std::vector<int> drawnAt(static_cast<size_t>(std::max(0, ClampToInt(PlotHeight()))) + 3, INT_MIN);
    std::vector<QRect> squares;
    squares.reserve(std::min(2 * (to - from), BATCH));
    auto flush = [&] {
        if (!squares.empty()) dc.drawRects(squares.data(), static_cast<int>(squares.size()));
        squares.clear();
    };
    ForEachRun(s.points, from, to, map, s.sortedByX && m_reduce, [&](int px, size_t i, size_t j) {
        for (size_t k = i; k < j; ++k) {
            const ChartPoint& p = s.points[k];
            if (p.x < s_xMin || p.x > s_xMax || p.y < yMin || p.y > yMax) continue;
            const int py = map.y(p.y);
            const int row = py - top;
            if (m_reduce && row >= 0 && static_cast<size_t>(row) < drawnAt.size()) {
                if (drawnAt[static_cast<size_t>(row)] == px) continue;
                drawnAt[static_cast<size_t>(row)] = px;
            }
            PushDot(squares, px, py);
            if (squares.size() >= BATCH) flush();
        }
    });
    flush();
    dc.setBrush(Qt::NoBrush);
}

// ---- data ------------------------------------------------------------------------

void CSeriesChart::MakeSeries(std::initializer_list<std::pair<uint32_t, bool>> kinds, size_t n) {
    m_series.clear();
    m_series.reserve(kinds.size());
    for (const auto& [colour, line] : kinds) {
        ChartSeries s;
        s.colour = colour;
        s.drawLine = line;
        s.points.reserve(n);
        m_series.push_back(std::move(s));
    }
}

void CSeriesChart::Track(double v) {
    AutoscaleState* st = Extremes();
    if (v > st->max) { st->max = v; m_extremesChanged = true; }
    if (v < st->min) { st->min = v; m_extremesChanged = true; }
}

void CSeriesChart::TrackMax(double v) {
    AutoscaleState* st = Extremes();
    if (v > st->max) { st->max = v; m_extremesChanged = true; }
}

double CSeriesChart::RoundBound(double v) const { return roundToInt(v); }

bool CSeriesChart::ApplyExtremes(AutoscaleState& st) {
    if (!(st.max > st.min)) return false;
    st.max *= 1.1;
    st.min *= 0.9;
    const double hi = RoundBound(st.max), lo = RoundBound(st.min);
    // Rounding can close a narrow range; an empty range cannot be drawn.
    if (!(hi > lo)) return false;
    SetYRange(lo, hi);
    SetYGrid((hi - lo) / 10);
    return true;
}

void CSeriesChart::BeginData(size_t n) {
    AutoscaleState* st = Extremes();
    m_tracking = m_autoscale && st != nullptr && s_isLive && s_isLive();
    m_extremesChanged = false;
    if (st && st->calls >= 10) st->reset();
    StartSeries(n);
}

void CSeriesChart::TakeBlock(const CDiag* d, size_t count, size_t firstIndex, size_t total) {
    for (size_t i = 0; i < count; ++i) {
        const size_t index = firstIndex + i;
        TakeSample(d[i], m_tracking && total - index < 10);
    }
}

void CSeriesChart::EndData(size_t n, uint32_t lastNo) {
    AutoscaleState* st = Extremes();
    if (st && n > 0) ++st->calls;
    // Each series was given room for every sample; one that took under half of them
    // gives the room back, so the series never hold more than twice their points.
    for (ChartSeries& s : m_series)
        if (s.points.capacity() > 2 * s.points.size() + 1024) s.points.shrink_to_fit();
    m_lastSampleNo = n > 0 ? static_cast<int>(lastNo) : 0;
    if (m_tracking && m_extremesChanged && st && ApplyExtremes(*st) && Parent()) {
        QRect r = Parent()->rect();
        r.setBottom(r.bottom() - 15);
        Parent()->update(r);
    }
    m_tracking = false;
}

void CSeriesChart::SetData(const std::vector<CDiag>& samples) {
    BeginData(samples.size());
    TakeBlock(samples.data(), samples.size(), 0, samples.size());
    EndData(samples.size(), samples.empty() ? 0 : samples.back().sampleNo());
}

void CSeriesChart::SetData(const CDiagData& store) {
    const size_t n = static_cast<size_t>(std::max(0, store.count()));
    BeginData(n);
    std::vector<CDiag> block;
    block.reserve(std::min(n, STORE_BLOCK));
    size_t done = 0;
    uint32_t lastNo = 0;
    while (done < n) {
        block.clear();
        store.getRange(block, static_cast<int>(done), static_cast<int>(std::min(done + STORE_BLOCK, n)));
        if (block.empty()) break;  // the store was emptied meanwhile
        TakeBlock(block.data(), block.size(), done, n);
        lastNo = block.back().sampleNo();
        done += block.size();
    }
    EndData(done, lastNo);
}

// ---- scale files -----------------------------------------------------------------

QString CSeriesChart::ScaleFilePath() const {
    return QString::fromStdString(appFolder()) + QString::fromLatin1(GetName()) + QStringLiteral(".txt");
}

bool CSeriesChart::LoadScale(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    // Each entry is applied only when it makes sense: a range that is not increasing
    // or a step that is not positive would break the mapping and the grid.
    const ChartScaleText scale = parseChartScale(f.readAll().toStdString());
    if (scale.xAxis)
        SetXWindow(scale.xAxis->min, scale.xAxis->max);
    if (scale.yAxis)
        SetYRange(scale.yAxis->min, scale.yAxis->max);
    if (scale.xGrid)
        s_xGrid = *scale.xGrid;
    if (scale.yGrid)
        SetYGrid(*scale.yGrid);
    return true;
}

bool CSeriesChart::SaveScale(const QString& path) const {
    std::ostringstream out;
    out.precision(15);
    out << "YAXIS\t" << YMin() << '\t' << YMax() << '\n' << "YGRID\t" << YGrid() << '\n';
    const std::string text = out.str();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    if (f.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

} // namespace zefirel
