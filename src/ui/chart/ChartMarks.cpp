// Marks on a series chart: sorting, the marks of a window, their legend, and
// drawing them as labelled vertical lines over the series.

#include "ui/chart/ChartMarks.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <array>

#include "ui/chart/Chart.h"
#include "ui/chart/SeriesMapper.h"

namespace zefirel {

namespace {

constexpr int LABEL_FONT_PX = 10;
/// Labels that would overlap go one row lower; past the last row they are left out
/// (the line and the list of events still show them).
constexpr int LABEL_ROWS = 3;
constexpr int LABEL_PAD = 2;

} // namespace

void CChartMarks::Set(std::vector<ChartMark> marks) {
    std::stable_sort(marks.begin(), marks.end(), [](const ChartMark& a, const ChartMark& b) { return a.x < b.x; });
    m_marks = std::move(marks);
}

std::pair<size_t, size_t> CChartMarks::Span(double xMin, double xMax) const {
    auto from = std::lower_bound(m_marks.begin(), m_marks.end(), xMin, [](const ChartMark& m, double x) { return m.x < x; });
    auto to = std::upper_bound(from, m_marks.end(), xMax, [](double x, const ChartMark& m) { return x < m.x; });
    return {size_t(from - m_marks.begin()), size_t(to - m_marks.begin())};
}

std::vector<LegendEntry> CChartMarks::Legend(double xMin, double xMax) const {
    std::vector<LegendEntry> out;
    const auto [from, to] = Span(xMin, xMax);
    for (size_t i = from; i < to; ++i) {
        const ChartMark& m = m_marks[i];
        const bool known = std::any_of(out.begin(), out.end(), [&](const LegendEntry& e) { return e.text == m.kind; });
        if (!known) out.push_back({m.colour, m.kind});
    }
    return out;
}

void CSeriesChart::SetMarks(std::vector<ChartMark> marks) { m_marks.Set(std::move(marks)); }

std::vector<LegendEntry> CSeriesChart::ShownLegend() const {
    std::vector<LegendEntry> entries = ShownSeriesLegend();
    for (LegendEntry& e : m_marks.Legend(XMin(), XMax())) entries.push_back(std::move(e));
    return entries;
}

void CSeriesChart::DrawMarks(QPainter& dc, bool labels) const {
    if (m_marks.Empty() || PlotWidth() <= 0) return;
    const auto [from, to] = m_marks.Span(XMin(), XMax());
    if (from == to) return;
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);
    const Mapper map(*this);
    const int top = ClampToInt(Top());
    const int bottom = ClampToInt(Top() + PlotHeight());
    QFont font;
    font.setPixelSize(LABEL_FONT_PX);
    dc.setFont(font);
    const QFontMetrics fm(font);
    const int rowHeight = fm.height() + 1;
    // The right edge of the last label in each row.
    std::array<int, LABEL_ROWS> rowEnd;
    rowEnd.fill(INT_MIN);
    int lastPx = INT_MIN;
    uint32_t lastColour = 0;
    for (size_t i = from; i < to; ++i) {
        const ChartMark& m = m_marks.All()[i];
        const int px = map.x(m.x);
        // A crowded window draws one line per pixel column and colour: the cost
        // follows the plot's width, not the number of marks.
        if (px == lastPx && m.colour == lastColour) continue;
        lastPx = px;
        lastColour = m.colour;
        const QColor colour = ToQColor(m.colour);
        dc.setPen(QPen(colour, 1, Qt::DashLine));
        dc.drawLine(px, top, px, bottom);
        if (!labels || m.label.isEmpty()) continue;
        const int width = fm.horizontalAdvance(m.label) + 2 * LABEL_PAD;
        for (int row = 0; row < LABEL_ROWS; ++row) {
            if (rowEnd[row] >= px) continue;
            const QRect box(px + 1, top + 1 + row * rowHeight, width, rowHeight);
            dc.fillRect(box, QColor(255, 255, 255, 220));
            dc.setPen(colour.darker(130));
            dc.drawText(box.adjusted(LABEL_PAD, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, m.label);
            rowEnd[row] = box.right() + 2;
            break;
        }
    }
    dc.restore();
}

} // namespace zefirel
