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
#include "ui/chart/ChartLod.h"
#include "ui/chart/PixelLayer.h"
#include "ui/chart/SeriesMapper.h"

namespace zefirel {

namespace {

/// Samples copied out of the store per lock hold when building from a whole store.
constexpr size_t STORE_BLOCK = 32768;
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
    m_client = client;
    m_fixedArea = false;
    Layout();
}

void CSeriesChart::Layout() {
    if (m_fixedArea || !m_client.isValid()) return;
    const double left = std::max(LookLeft(), LabelMargin());
    SetOrigin(left, Top());
    SetPlotSize(m_client.width() - left - 20, m_client.height() - Top() - 20);
}

void CSeriesChart::SetPlotArea(const QRect& area) {
    EnsureFonts();
    m_fixedArea = true;
    SetOrigin(area.left(), area.top());
    SetPlotSize(area.width(), area.height());
}

void CSeriesChart::SetOwnXWindow(double xMin, double xMax) {
    m_ownWindow = true;
    m_ownXMin = xMin;
    m_ownXMax = xMax;
}

bool CSeriesChart::ShownValueRange(double& low, double& high) const {
    low = INFINITY;
    high = -INFINITY;
    for (const ChartSeries& s : m_series) {
        const auto [from, to] = VisibleSpan(s);
        for (size_t i = from; i < to; ++i) {
            const ChartPoint& p = s.points[i];
            if (!(p.x >= XMin() && p.x <= XMax()) || !std::isfinite(p.y)) continue;
            low = std::min(low, p.y);
            high = std::max(high, p.y);
        }
    }
    return low <= high;
}

bool CSeriesChart::FitYToWindow() {
    double low = 0, high = 0;
    if (!Extremes() || !ShownValueRange(low, high)) return false;
    // The autoscale margins (a tenth above and below), rounded outwards so that the
    // extreme values stay on the chart.
    const double step = BoundStep();
    double hi = std::ceil((high + 0.1 * std::fabs(high)) / step - 1e-9) * step;
    double lo = FitKeepsBottom() ? YMin() : std::floor((low - 0.1 * std::fabs(low)) / step + 1e-9) * step;
    if (!(hi > lo)) hi = lo + 10 * step;
    if (FitKeepsBottom() && high < lo) return false;
    SetYRange(std::round(lo / step) * step, std::round(hi / step) * step);
    SetYGrid((YMax() - YMin()) / 10);
    return true;
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
    m_lods.clear();
    m_lastSampleNo = 0;
    ForgetSource();
}

size_t CSeriesChart::SummaryBytes() const {
    size_t n = 0;
    for (const CChartLod& lod : m_lods) n += lod.MemoryBytes();
    return n;
}

// ---- drawing ---------------------------------------------------------------------

void CSeriesChart::Draw(QPainter& dc) {
    // The y range may have changed since the layout (autoscale, zoom): the labels'
    // room follows it.
    Layout();
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setRenderHint(QPainter::TextAntialiasing, false);
    const QPen dotted(Qt::black, 1, Qt::DotLine);
    DrawFrameGridCaption(dc, dotted, dotted, nullptr);
    DrawSeries(dc);
    DrawMarks(dc);
    dc.restore();
}

void CSeriesChart::DrawSeries(QPainter& dc) {
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);
    // Reduced drawing paints the series into a pixel layer where the painter allows
    // it; drawing every point always goes through the painter.
    // A sorted series is walked once for its line and dots; the dots wait until
    // every line is drawn.
    CPixelLayer* layer = m_reduce ? CPixelLayer::Begin(dc) : nullptr;
    std::vector<std::vector<QRect>> heldDots(m_series.size());
    auto summarised = [&](const ChartSeries& s) { return m_reduce && s.sortedByX; };
    for (size_t i = 0; i < m_series.size(); ++i) {
        const ChartSeries& s = m_series[i];
        if (s.points.empty() || !s.drawLine) continue;
        if (summarised(s))
            heldDots[i] = DrawSummarised(dc, layer, i, true, s.drawDots);
        else
            DrawLine(dc, layer, i);
    }
    for (size_t i = 0; i < m_series.size(); ++i) {
        const ChartSeries& s = m_series[i];
        if (s.points.empty() || !s.drawDots) continue;
        if (!summarised(s))
            DrawDots(dc, layer, i);
        else if (s.drawLine)
            PaintDots(dc, layer, i, heldDots[i]);
        else {
            std::vector<QRect> squares = DrawSummarised(dc, layer, i, false, true);
            PaintDots(dc, layer, i, squares);
        }
    }
    if (layer) layer->Finish(dc);
    dc.restore();
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
    m_lods.assign(m_series.size(), CChartLod());
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

CSeriesChart::AutoscaleState* CSeriesChart::CountedExtremes() {
    // A chart with a window of its own (an overview) neither counts its calls nor
    // resets the running extremes of the chart that the autoscale follows.
    return m_ownWindow ? nullptr : Extremes();
}

void CSeriesChart::BeginData(size_t n, bool keep) {
    AutoscaleState* st = CountedExtremes();
    m_tracking = m_autoscale && st != nullptr && s_isLive && s_isLive();
    m_extremesChanged = false;
    if (st && st->calls >= 10) st->reset();
    if (!keep) StartSeries(n);
}

void CSeriesChart::TakeBlock(const CDiag* d, size_t count, size_t firstIndex, size_t total) {
    for (size_t i = 0; i < count; ++i) {
        const size_t index = firstIndex + i;
        TakeSample(d[i], m_tracking && total - index < 10);
    }
}

void CSeriesChart::EndData(size_t n, uint32_t lastNo) {
    AutoscaleState* st = CountedExtremes();
    if (st && n > 0) ++st->calls;
    // Each series was given room for every sample; one that took under half of them
    // gives the room back, so the series never hold more than twice their points.
    for (ChartSeries& s : m_series)
        if (s.points.capacity() > 2 * s.points.size() + 1024) s.points.shrink_to_fit();
    m_lods.resize(m_series.size());
    for (size_t i = 0; i < m_series.size(); ++i) m_lods[i].Extend(m_series[i]);
    m_lastSampleNo = n > 0 ? static_cast<int>(lastNo) : 0;
    if (m_tracking && m_extremesChanged && st && ApplyExtremes(*st) && Parent()) {
        QRect r = Parent()->rect();
        r.setBottom(r.bottom() - 15);
        Parent()->update(r);
    }
    m_tracking = false;
}

void CSeriesChart::SetData(const std::vector<CDiag>& samples) {
    ForgetSource();
    BeginData(samples.size());
    TakeBlock(samples.data(), samples.size(), 0, samples.size());
    EndData(samples.size(), samples.empty() ? 0 : samples.back().sampleNo());
}

void CSeriesChart::SetData(const CDiagData& store) {
    // A clear of the store in the middle of a pass starts the pass again; a store
    // cleared over and over keeps what the last pass took.
    for (int attempt = 0; attempt < 3; ++attempt)
        if (TakeFromStore(store)) return;
}

bool CSeriesChart::TakeFromStore(const CDiagData& store) {
    const uint64_t generation = store.generation();
    const size_t n = static_cast<size_t>(std::max(0, store.count()));
    AutoscaleState* st = CountedExtremes();
    // Autoscale looks again at the newest samples on every call, as a full rebuild
    // does; it runs only on live windows, which are small, so it always rebuilds.
    const bool tracking = m_autoscale && st != nullptr && s_isLive && s_isLive();
    const bool resume = !tracking && m_source == &store && m_sourceGeneration == generation && m_taken <= n;
    BeginData(n, resume);
    std::vector<CDiag> block;
    size_t done = resume ? m_taken : 0;
    block.reserve(std::min(n - done, STORE_BLOCK));
    uint32_t lastNo = resume ? static_cast<uint32_t>(m_lastSampleNo) : 0;
    bool whole = true;
    while (done < n) {
        block.clear();
        const uint64_t of =
            store.getRangeOf(block, static_cast<int>(done), static_cast<int>(std::min(done + STORE_BLOCK, n)));
        if (of != generation) {  // the store was cleared (and maybe refilled) meanwhile
            whole = false;
            break;
        }
        if (block.empty()) break;
        TakeBlock(block.data(), block.size(), done, n);
        lastNo = block.back().sampleNo();
        done += block.size();
    }
    EndData(done, lastNo);
    m_source = whole ? &store : nullptr;
    m_sourceGeneration = generation;
    m_taken = done;
    return whole;
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
