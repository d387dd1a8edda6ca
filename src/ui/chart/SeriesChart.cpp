#include "ui/chart/Chart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPen>
#include <QSaveFile>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cmath>
#include <sstream>

#include "diag/DiagData.h"
#include "link/Conversions.h"

namespace zefirel {

namespace {

/// Samples copied out of the store per lock hold when building from a whole store.
constexpr size_t STORE_BLOCK = 32768;
/// Dots are handed to the painter in batches of this many.
constexpr size_t DOT_BATCH = 4096;

/// The points of one pixel column of a polyline: drawing its first, lowest,
/// highest and last point (in their order) covers the same pixels as all of them.
struct Column {
    int px = 0, n = 0;
    int first = 0, last = 0, lo = 0, hi = 0, loAt = 0, hiAt = 0;

    void add(int x, int y) {
        if (n == 0) {
            px = x;
            first = last = lo = hi = y;
            loAt = hiAt = 0;
        } else {
            last = y;
            if (y < lo) { lo = y; loAt = n; }
            if (y > hi) { hi = y; hiAt = n; }
        }
        ++n;
    }
    void flushInto(std::vector<QPoint>& poly) {
        if (n == 0) return;
        poly.emplace_back(px, first);
        if (n > 2) {
            poly.emplace_back(px, loAt <= hiAt ? lo : hi);
            poly.emplace_back(px, loAt <= hiAt ? hi : lo);
        }
        if (n > 1) poly.emplace_back(px, last);
        n = 0;
    }
};

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

int CSeriesChart::XToPixel(double x) const {
    if (s_xMax == s_xMin) return ClampToInt(Left());
    return ClampToInt(Left() + roundToInt(PlotWidth() * (x - s_xMin) / (s_xMax - s_xMin)));
}

int CSeriesChart::YToPixel(double y) const {
    if (YMax() == YMin()) return ClampToInt(Top() + PlotHeight());
    return ClampToInt(Top() + PlotHeight() - roundToInt(PlotHeight() * (y - YMin()) / (YMax() - YMin())));
}

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
    dc.setPen(QPen(ToQColor(s.drawColour()), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const auto [from, to] = VisibleSpan(s);
    const double yMin = YMin(), yMax = YMax();
    std::vector<QPoint> poly;
    poly.reserve(std::min<size_t>(to - from, static_cast<size_t>(std::max(0.0, PlotWidth())) * 4 + 16));
    auto drawPoly = [&] {
        if (poly.size() >= 2) dc.drawPolyline(poly.data(), static_cast<int>(poly.size()));
        poly.clear();
    };
    Column col;
    double prevX = 0;
    for (size_t i = from; i < to; ++i) {
        const ChartPoint& p = s.points[i];
        if (p.x < s_xMin || p.x > s_xMax || p.y < yMin || p.y > yMax) continue;
        if (p.x - prevX > 2) {  // a gap in the samples breaks the line
            col.flushInto(poly);
            drawPoly();
        }
        prevX = p.x;
        const int px = CSeriesChart::XToPixel(p.x), py = CSeriesChart::YToPixel(p.y);
        if (!m_reduce) {
            poly.emplace_back(px, py);
            continue;
        }
        if (col.n > 0 && col.px != px) col.flushInto(poly);
        col.add(px, py);
    }
    col.flushInto(poly);
    drawPoly();
}

void CSeriesChart::DrawDots(QPainter& dc, const ChartSeries& s) const {
    dc.setPen(QPen(ToQColor(s.drawColour()), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const auto [from, to] = VisibleSpan(s);
    const double yMin = YMin(), yMax = YMax();
    // Per plot row, the column in which a dot was last drawn: a second dot on the
    // same pixel would paint the same pixels again.
    const int top = ClampToInt(Top());
    std::vector<int> drawnAt(static_cast<size_t>(std::max(0, ClampToInt(PlotHeight()))) + 3, INT_MIN);
    std::vector<QLine> dots;
    dots.reserve(std::min(to - from, DOT_BATCH));
    for (size_t i = from; i < to; ++i) {
        const ChartPoint& p = s.points[i];
        if (p.x < s_xMin || p.x > s_xMax || p.y < yMin || p.y > yMax) continue;
        const int px = CSeriesChart::XToPixel(p.x), py = CSeriesChart::YToPixel(p.y);
        const int row = py - top;
        if (m_reduce && row >= 0 && static_cast<size_t>(row) < drawnAt.size()) {
            if (drawnAt[static_cast<size_t>(row)] == px) continue;
            drawnAt[static_cast<size_t>(row)] = px;
        }
        dots.emplace_back(px, py, px + 1, py + 1);
        if (dots.size() >= DOT_BATCH) {
            dc.drawLines(dots.data(), static_cast<int>(dots.size()));
            dots.clear();
        }
    }
    if (!dots.empty()) dc.drawLines(dots.data(), static_cast<int>(dots.size()));
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
    // Series that took few of the samples give back the room reserved for them.
    for (ChartSeries& s : m_series)
        if (s.points.capacity() > s.points.size() + s.points.size() / 4 + 64) s.points.shrink_to_fit();
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
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base + QStringLiteral("/Zefirel/") + QString::fromLatin1(GetName()) + QStringLiteral(".txt");
}

bool CSeriesChart::LoadScale(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    std::istringstream in(f.readAll().toStdString());
    std::string keyword;
    // Each entry is applied only when it makes sense: a range that is not increasing
    // or a step that is not positive would break the mapping and the grid.
    auto range = [](double lo, double hi) { return std::isfinite(lo) && std::isfinite(hi) && lo < hi; };
    auto step = [](double v) { return std::isfinite(v) && v > 0; };
    while (in >> keyword) {
        double a = 0, b = 0;
        if (keyword == "XAXIS" || keyword == "YAXIS") {
            if (!(in >> a >> b)) break;
            if (!range(a, b)) continue;
            if (keyword == "XAXIS")
                SetXWindow(a, b);
            else
                SetYRange(a, b);
        } else if (keyword == "XGRID" || keyword == "YGRID") {
            if (!(in >> a)) break;
            if (!step(a)) continue;
            if (keyword == "XGRID")
                s_xGrid = a;
            else
                SetYGrid(a);
        }
    }
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
