#include "ui/chart/XYCharts.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include <algorithm>

#include "diag/DiagData.h"
#include "diag/DiagUnits.h"
#include "link/Conversions.h"

namespace zefirel {

namespace {

/// A filled and outlined rectangle between two corners given in either order; the
/// right and bottom edges are exclusive (a one-pixel outline covers left .. right − 1).
void FilledRect(QPainter& dc, int x1, int y1, int x2, int y2) {
    const int l = std::min(x1, x2), r = std::max(x1, x2), t = std::min(y1, y2), b = std::max(y1, y2);
    dc.drawRect(QRect(l, t, r - l - 1, b - t - 1));
}

} // namespace

// ---- CInjSeqChart ----------------------------------------------------------------

CInjSeqChart::CInjSeqChart(QWidget* parent) : CXYChart(parent) {
    SetLook({"", "", "", 60, 5, 0, 15.5, 2, "%.0f", "INJ_%.0f->"});
    SetXDefaults(0, 150, 15);
}

QString CInjSeqChart::FormatYLabel(double y) const { return CXYChart::FormatYLabel(y * 0.5 + 1); }

// ---- CTimeCorrChart --------------------------------------------------------------

CTimeCorrChart::CTimeCorrChart(QWidget* parent) : CXYChart(parent) {
    SetLook({"", "Czas wtrysku [ms]", "Poprawka [%]", 45, 10, -25, 25, 2, "%.0f", "%.0f"});
    SetXDefaults(0, 24.9, 1);
}

void CTimeCorrChart::SetSize(const QSize& client) {
    CChart::SetSize(client);
    SetPlotSize(795 - Left(), 290 - Top());
}


bool CTimeCorrChart::IsEdited(int column) const {
    return column >= 0 && column < COLUMNS && m_edited[static_cast<size_t>(column)];
}

void CTimeCorrChart::SetEdited(int column, bool edited) {
    if (column >= 0 && column < COLUMNS) m_edited[static_cast<size_t>(column)] = edited;
}

void CTimeCorrChart::Interpolate(Table& table, const Flags& edited) {
    const int last = COLUMNS - 1;
    auto nextEdited = [&](int from) {
        for (int j = from; j <= last; ++j)
            if (edited[static_cast<size_t>(j)]) return j;
        return last;
    };
    int anchor = 0;
    int next = nextEdited(1);
    for (int i = 0; i <= last; ++i) {
        if (edited[static_cast<size_t>(i)]) {
            anchor = i;
            next = nextEdited(i + 1);
        } else if (i > 0 && i < last) {
            const double a = table[static_cast<size_t>(anchor)], b = table[static_cast<size_t>(next)];
            table[static_cast<size_t>(i)] = roundToInt(a + (i - anchor) * (b - a) / (next - anchor));
        }
    }
}

void CTimeCorrChart::SetData(Table& table) {
    if (m_interpolate) Interpolate(table, m_edited);
    Clear();
    for (int i = 0; i < COLUMNS; ++i) AddPoint(ChartPoint{double(i), table[static_cast<size_t>(i)], i, CHART_BLUE});
}

void CTimeCorrChart::DrawData(QPainter& dc) {
    const int w = XToPixel(XGrid()) - XToPixel(0);
    const int base = YToPixel(0);
    if (m_highlight != 0) {
        const QColor red = ToQColor(CHART_RED);
        dc.setPen(QPen(red, 1));
        dc.setBrush(red);
        const int hx = XToPixel(m_highlight);
        FilledRect(dc, hx + 1, YToPixel(YMax()) + 1, hx + w + 1, YToPixel(YMin()) - 1);
    }
    dc.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    const QColor blue = ToQColor(CHART_BLUE), grey(111, 111, 111);
    for (const ChartPoint& p : Points()) {
        if (!InRanges(p)) continue;
        const bool marked = p.tag == 0 || p.tag == COLUMNS - 1 || IsEdited(p.tag);
        dc.setBrush(marked ? blue : grey);
        const int px = XToPixel(p.x), py = YToPixel(p.y);
        FilledRect(dc, px + 3, base, px + w - 1, py);
    }
    dc.setBrush(Qt::NoBrush);
}

// ---- CInjMapChart ----------------------------------------------------------------

CInjMapChart::CInjMapChart(QWidget* parent) : CXYChart(parent) {
    SetLook({"", "Obciążenie (101 − ciśn. 3) [kPa]", "<-------- Benzyna ------->|<-------- LPG ---------------->", 60, 5,
             0, 50, 1, "%.0f", "%.0f"});
    SetXDefaults(0, 140, 10);
}

void CInjMapChart::Draw(QPainter& dc) {
    CXYChart::Draw(dc);
    // The chart bases draw only the y caption; the x axis of this one is named
    // under its labels, in the bottom margin.
    dc.save();
    QFont f(QStringLiteral("Courier New CE"));
    f.setStyleHint(QFont::TypeWriter);
    f.setPixelSize(13);
    dc.setFont(f);
    dc.setPen(Qt::black);
    const QFontMetrics fm(f);
    const int centre = static_cast<int>(Left() + PlotWidth() / 2);
    dc.drawText(centre - fm.horizontalAdvance(XCaption()) / 2, YToPixel(YMin()) + 20 + fm.ascent(), XCaption());
    dc.restore();
}

QString CInjMapChart::FormatYLabel(double y) const { return CXYChart::FormatYLabel(y > 25 ? y - 25 : y); }

void CInjMapChart::SetData(const std::vector<CDiag>& samples) {
    Clear();
    for (const CDiag& d : samples) {
        const double rpm = engineSpeed(d);
        const double t = petrolMs(d);
        if (rpm < 2000 || rpm > 6000 || t < 2) continue;
        const double v = 101 - pressure3(d);
        const bool petrol = d.workState() == WORK_STATE_PETROL;
        AddPoint(ChartPoint{v, petrol ? t : t + 25, static_cast<int32_t>(d.sampleNo()), petrol ? CHART_RED : CHART_BLUE});
    }
}

void CInjMapChart::SetData(const CDiagData& store) {
    std::vector<CDiag> samples;
    store.getRange(samples, 0, store.count());
    SetData(samples);
}

} // namespace zefirel
