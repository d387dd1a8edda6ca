#include "ui/diag/ChartOverview.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "diag/DiagData.h"
#include "ui/chart/Chart.h"
#include "ui/diag/DisplayView.h"

namespace zefirel {

CChartOverview::CChartOverview(const CDiagData& store, QWidget* parent) : QWidget(parent), m_store(store) {
    setObjectName(QStringLiteral("chartOverview"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Cały zapis: kliknij lub przeciągnij, aby pokazać to miejsce na wykresie"));
    setKind(CHART_TIME);
}

CChartOverview::~CChartOverview() = default;

void CChartOverview::setKind(int kind) {
    if (kind == m_kind) return;
    m_kind = kind;
    m_chart = makeChart(kind, nullptr);
    m_chart->SetOwnXWindow(0, 1);
    refresh();
}

void CChartOverview::reset() {
    m_chart->Clear();
    layOut();
    update();
}

void CChartOverview::refresh() {
    // The chart keeps what it took from the store and takes only the new samples.
    m_chart->SetData(m_store);
    layOut();
    update();
}

void CChartOverview::setPlotSpan(int left, int width) {
    m_left = left;
    m_width = std::max(0, width);
    layOut();
    update();
}

QRect CChartOverview::plotRect() const { return QRect(m_left, 2, m_width, std::max(0, height() - 5)); }

void CChartOverview::layOut() {
    const double last = std::max(1, m_chart->GetLastSampleNo());
    m_chart->SetOwnXWindow(0, last);
    m_chart->SetPlotArea(plotRect());
    // The whole recording's values fill the strip's height.
    double low = 0, high = 0;
    if (m_chart->ShownValueRange(low, high)) {
        const double pad = high > low ? (high - low) * 0.05 : 1;
        m_chart->SetYRange(low - pad, high + pad);
    } else {
        m_chart->SetYRange(m_chart->DefaultYMin(), m_chart->DefaultYMax());
    }
}

QRect CChartOverview::windowMark() const {
    const int a = m_chart->XToPixel(CSeriesChart::SharedXMin());
    const int b = m_chart->XToPixel(CSeriesChart::SharedXMax());
    const QRect plot = plotRect();
    const int left = std::clamp(std::min(a, b), plot.left(), plot.left() + plot.width());
    const int right = std::clamp(std::max(a, b), plot.left(), plot.left() + plot.width());
    // Never thinner than 3 pixels, so a narrow window on a long recording stays visible.
    const int wide = std::max(right - left, 3);
    return QRect(std::min(left, plot.left() + plot.width() - wide), 0, wide, height());
}

double CChartOverview::sampleAt(int x) const {
    const QRect plot = plotRect();
    if (plot.width() <= 0) return 0;
    const double last = std::max(1, m_chart->GetLastSampleNo());
    return std::clamp(double(x - plot.left()) * last / plot.width(), 0.0, last);
}

void CChartOverview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect plot = plotRect();
    p.fillRect(plot.adjusted(0, 0, 1, 1), Qt::white);
    // The mark's shade lies under the series, so that they keep their own colours.
    const bool marked = m_chart->GetLastSampleNo() > 0;
    const QRect mark = windowMark();
    if (marked) p.fillRect(mark, QColor(0, 90, 200, 50));
    m_chart->DrawSeries(p);
    p.setPen(QColor(150, 150, 150));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    if (marked) {
        p.setPen(QPen(QColor(0, 70, 170), 1));
        p.drawRect(mark.adjusted(0, 0, -1, -1));
    }
}

void CChartOverview::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    emit centreRequested(sampleAt(e->position().toPoint().x()));
}

void CChartOverview::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) emit centreRequested(sampleAt(e->position().toPoint().x()));
}

} // namespace zefirel
