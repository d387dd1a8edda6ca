#include "ui/chart/Chart.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace zefirel {

namespace {

/// Requested cell height of the chart fonts, in pixels.
constexpr int FONT_CELL_HEIGHT = 15;
/// A grid with more lines than this is not drawn (a tiny or broken step).
constexpr double MAX_GRID_LINES = 1000;

/// The chart font: "Courier New CE" (or the system's monospaced face), normal weight,
/// no antialiasing, sized so that its cell is at most 15 pixels high.
QFont MakeChartFont() {
    QFont f(QStringLiteral("Courier New CE"));
    f.setStyleHint(QFont::TypeWriter, QFont::NoAntialias);
    f.setFixedPitch(true);
    f.setWeight(QFont::Normal);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    int px = FONT_CELL_HEIGHT;
    f.setPixelSize(px);
    while (px > 6 && QFontMetrics(f).height() > FONT_CELL_HEIGHT) f.setPixelSize(--px);
    return f;
}

/// Calls f(value, isZero) for min, min + step, ... while value <= max. A step that
/// is not positive, or that would give an absurd number of lines, draws nothing.
template <class F>
void ForEachGridValue(double min, double max, double step, F f) {
    if (!(step > 0) || !std::isfinite(step) || !std::isfinite(min) || !std::isfinite(max)) return;
    if ((max - min) / step > MAX_GRID_LINES) return;
    // Each value is computed from the start so rounding errors do not pile up and
    // drop the last line.
    const double slack = step * 1e-9;
    for (int i = 0;; ++i) {
        const double v = min + i * step;
        if (v > max + slack) break;
        f(v, std::fabs(v) <= slack);
    }
}

} // namespace

CChart::CChart(QWidget* parent) : m_parent(parent) {}

CChart::~CChart() = default;

void CChart::EnsureFonts() {
    if (!m_tickFont) m_tickFont = std::make_unique<QFont>(MakeChartFont());
    if (!m_captionFont) m_captionFont = std::make_unique<QFont>(MakeChartFont());
}

void CChart::SetSize(const QSize&) { EnsureFonts(); }

QString CChart::FormatXLabel(double x) const { return QString::asprintf(m_xFormat, x); }

namespace {
/// The N of a format that is exactly "%.Nf", or -1 for any other format.
int PlainDecimals(const char* format) {
    const std::string f(format);
    if (f.size() != 4 || f.compare(0, 2, "%.") != 0 || f[3] != 'f' || f[2] < '0' || f[2] > '9') return -1;
    return f[2] - '0';
}
} // namespace

QString CChart::FormatYLabel(double y) const {
    const int decimals = PlainDecimals(m_yFormat);
    if (m_yExtraDecimals > 0 && decimals >= 0) return QString::asprintf("%.*f", decimals + m_yExtraDecimals, y);
    return QString::asprintf(m_yFormat, y);
}

void CChart::FitYDecimals() {
    m_yExtraDecimals = 0;
    if (PlainDecimals(m_yFormat) < 0) return;
    for (; m_yExtraDecimals < 4; ++m_yExtraDecimals) {
        bool repeats = false;
        QString previous;
        bool first = true;
        ForEachGridValue(m_yMin, m_yMax, m_yGrid, [&](double y, bool zero) {
            const QString text = FormatYLabel(zero ? 0.0 : y);
            if (!first && text == previous) repeats = true;
            previous = text;
            first = false;
        });
        if (!repeats) return;
    }
}

double CChart::PlainPixelToX(int px) const {
    if (!(m_width > 0)) return XMin();
    return XMin() + (px - m_left) * (XMax() - XMin()) / m_width;
}

double CChart::PlainPixelToY(int py) const {
    if (!(m_height > 0)) return m_yMin;
    return m_yMin + (m_height - (py - m_top)) * (m_yMax - m_yMin) / m_height;
}

double CChart::PixelToX(int px) const { return PlainPixelToX(px); }

double CChart::PixelToY(int py) const { return PlainPixelToY(py); }

QRect CChart::GetPlotRect() const {
    const int l = ClampToInt(m_left), t = ClampToInt(m_top);
    const int r = ClampToInt(m_left + m_width), b = ClampToInt(m_top + m_height + 2);
    return QRect(l, t, r - l, b - t);
}

void CChart::SetLook(const Look& look) {
    m_title = QString::fromUtf8(look.title);
    m_xCaption = QString::fromUtf8(look.xCaption);
    m_yCaption = QString::fromUtf8(look.yCaption);
    m_lookLeft = m_left = look.left;
    m_top = look.top;
    m_defYMin = m_yMin = look.yMin;
    m_defYMax = m_yMax = look.yMax;
    m_yGrid = look.yGrid;
    m_xFormat = look.xFormat;
    m_yFormat = look.yFormat;
}

void CChart::DrawFrameGridCaption(QPainter& dc, const QPen& framePen, const QPen& gridPen,
                                  const QPen* zeroPen) {
    EnsureFonts();
    const int l = ClampToInt(m_left), t = ClampToInt(m_top);
    const int r = ClampToInt(m_left + m_width), b = ClampToInt(m_top + m_height);

    dc.setBrush(Qt::NoBrush);
    dc.setPen(framePen);
    const QPoint frame[5] = {{l, t}, {r, t}, {r, b}, {l, b}, {l, t}};
    dc.drawPolyline(frame, 5);

    dc.setFont(*m_tickFont);
    const QFontMetrics fm(*m_tickFont);
    const QPen textPen(Qt::black);

    // In a narrow chart a label that would run into the one before it is left out
    // (its grid line stays), so the labels shown stay readable.
    int labelsEnd = std::numeric_limits<int>::min();
    ForEachGridValue(XMin(), XMax(), XGrid(), [&](double x, bool zero) {
        const int px = XToPixel(x);
        if (px > r) return;
        dc.setPen(zero && zeroPen ? *zeroPen : gridPen);
        dc.drawLine(px, b, px, t);
        const QString text = FormatXLabel(x);
        const int left = px - fm.horizontalAdvance(text) / 2;
        if (left < labelsEnd) return;
        dc.setPen(textPen);
        dc.drawText(left, b + 2 + fm.ascent(), text);
        labelsEnd = left + fm.horizontalAdvance(text) + fm.horizontalAdvance(QLatin1Char(' '));
    });
    FitYDecimals();
    ForEachGridValue(m_yMin, m_yMax, m_yGrid, [&](double y, bool zero) {
        const int py = YToPixel(y);
        dc.setPen(zero && zeroPen ? *zeroPen : gridPen);
        dc.drawLine(l, py, r, py);
        // A line at zero reached by summing steps may be a hair below it: label it "0", not "-0".
        const QString text = FormatYLabel(zero ? 0.0 : y);
        dc.setPen(textPen);
        dc.drawText(l - 3 - fm.horizontalAdvance(text), py + (fm.ascent() - fm.descent()) / 2, text);
    });
    DrawYCaption(dc);
}

double CChart::LabelMargin() {
    EnsureFonts();
    FitYDecimals();
    const QFontMetrics fm(*m_tickFont);
    int widest = 0;
    ForEachGridValue(m_yMin, m_yMax, m_yGrid, [&](double y, bool zero) {
        widest = std::max(widest, fm.horizontalAdvance(FormatYLabel(zero ? 0.0 : y)));
    });
    // The caption reads upwards from 5 pixels off the left edge and takes one line
    // of its font; a label ends 3 pixels left of the plot.
    const int caption = m_yCaption.isEmpty() ? 0 : QFontMetrics(*m_captionFont).height();
    return 5 + caption + 1 + widest + 3;
}

void CChart::DrawYCaption(QPainter& dc) {
    if (m_yCaption.isEmpty()) return;
    dc.save();
    dc.setFont(*m_captionFont);
    dc.setPen(QPen(Qt::black));
    const QFontMetrics fm(*m_captionFont);
    const int tw = fm.horizontalAdvance(m_yCaption);
    // Reading upwards: the text's top edge lies 5 pixels from the left edge.
    dc.translate(5, ClampToInt(m_top + m_height / 2 + tw / 2.0));
    dc.rotate(-90);
    dc.drawText(0, fm.ascent(), m_yCaption);
    dc.restore();
}

// ---- CXYChart --------------------------------------------------------------------

CXYChart::CXYChart(QWidget* parent) : CChart(parent) {}

CXYChart::~CXYChart() = default;

void CXYChart::SetXDefaults(double xMin, double xMax, double grid) {
    m_defXMin = m_xMin = xMin;
    m_defXMax = m_xMax = xMax;
    m_xGrid = grid;
}

void CXYChart::SetSize(const QSize& client) {
    CChart::SetSize(client);
    SetPlotSize(client.width() - Left() - 15, client.height() - Top() - 55);
}

int CXYChart::XToPixel(double x) const {
    if (m_xMax == m_xMin) return ClampToInt(Left());
    return ClampToInt(Left() + PlotWidth() * (x - m_xMin) / (m_xMax - m_xMin));
}

int CXYChart::YToPixel(double y) const {
    if (YMax() == YMin()) return ClampToInt(Top() + PlotHeight());
    return ClampToInt(Top() + PlotHeight() - PlotHeight() * (y - YMin()) / (YMax() - YMin()));
}

bool CXYChart::InRanges(const ChartPoint& p) const {
    return p.x >= m_xMin && p.x <= m_xMax && p.y >= YMin() && p.y <= YMax();
}

void CXYChart::Draw(QPainter& dc) {
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setRenderHint(QPainter::TextAntialiasing, false);
    const QPen framePen = dc.pen();
    const QPen gridPen(QColor(162, 162, 162), 1, Qt::DotLine);
    const QPen zeroPen(Qt::black, 1, Qt::DotLine);
    DrawFrameGridCaption(dc, framePen, gridPen, &zeroPen);
    DrawData(dc);
    dc.restore();
}

void CXYChart::DrawData(QPainter& dc) {
    dc.setPen(Qt::NoPen);
    std::vector<QRect> dots;
    uint32_t colour = CHART_RED;
    auto flush = [&] {
        if (dots.empty()) return;
        dc.setBrush(ToQColor(colour));
        dc.drawRects(dots.data(), static_cast<int>(dots.size()));
        dots.clear();
    };
    for (const ChartPoint& p : m_points) {
        if (!InRanges(p)) continue;
        if (p.colour != colour) {
            flush();
            colour = p.colour;
        }
        PushDot(dots, XToPixel(p.x), YToPixel(p.y));
    }
    flush();
    dc.setBrush(Qt::NoBrush);
}

} // namespace zefirel
