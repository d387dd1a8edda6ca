#include "ui/events/CompareChart.h"

#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "diag/Diag.h"
#include "diag/DiagUnits.h"
#include "link/Conversions.h"

namespace zefirel {

namespace {

constexpr uint32_t A_PETROL = RGBValue(0, 170, 0);
constexpr uint32_t A_LPG = RGBValue(0, 0, 255);
constexpr uint32_t B_PETROL = RGBValue(255, 140, 0);
constexpr uint32_t B_LPG = RGBValue(200, 0, 200);

/// Grid steps of 1, 2 or 5 times a power of ten giving about ten lines.
double NiceStep(double span) {
    if (!(span > 0)) return 50;
    const double raw = span / 10;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * p >= raw) return m * p;
    return 10 * p;
}

} // namespace

CCompareTimeChart::CCompareTimeChart(QWidget* parent, bool second) : CSeriesChart(parent), m_second(second) {
    SetLook({"Porównanie czasów wtrysku", "Próbki", "[ms]", 60, 10, 0, 20, 2, "%.0f", "%.1f"});
    SetReduceDrawing(true);
}

QString CCompareTimeChart::Unit() const { return QStringLiteral("ms"); }

std::vector<LegendEntry> CCompareTimeChart::Legend() const {
    const QString side = m_second ? QStringLiteral("B") : QStringLiteral("A");
    return {{m_second ? B_PETROL : A_PETROL, QStringLiteral("%1: czas benzyny").arg(side)},
            {m_second ? B_LPG : A_LPG, QStringLiteral("%1: czas LPG").arg(side)}};
}

void CCompareTimeChart::StartSeries(size_t n) {
    MakeSeries({{m_second ? B_PETROL : A_PETROL, true}, {m_second ? B_LPG : A_LPG, true}}, n);
}

void CCompareTimeChart::TakeSample(const CDiag& d, bool) {
    const double petrol = petrolMs(d);
    if (petrol < MIN_PETROL_MS) return;
    const double no = d.sampleNo();
    const auto tag = static_cast<int32_t>(d.sampleNo());
    S(0).add(no, petrol, tag);
    if (d.workState() != WORK_STATE_PETROL) S(1).add(no, lpgMs(d), tag);
}

CCompareChartView::CCompareChartView(QWidget* parent)
    : QWidget(parent), m_a(std::make_unique<CCompareTimeChart>(this, false)),
      m_b(std::make_unique<CCompareTimeChart>(this, true)) {
    setObjectName(QStringLiteral("compareChart"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(300, 160);
    placeWindow();
}

CCompareChartView::~CCompareChartView() = default;

void CCompareChartView::setRecordings(const std::vector<CDiag>& a, const std::vector<CDiag>& b) {
    m_a->SetData(a);
    m_b->SetData(b);
    m_lastA = a.empty() ? 0 : a.back().sampleNo();
    m_lastB = b.empty() ? 0 : b.back().sampleNo();
    // One y range for both, around the highest time either shows.
    double high = 0;
    for (const CCompareTimeChart* c : {m_a.get(), m_b.get()})
        for (const ChartSeries& s : c->Series())
            for (const ChartPoint& p : s.points)
                if (std::isfinite(p.y)) high = std::max(high, p.y);
    const double top = high > 0 ? std::ceil(high * 1.1) : 20;
    for (CCompareTimeChart* c : {m_a.get(), m_b.get()}) {
        c->SetYRange(0, top);
        c->SetYGrid(top / 10);
    }
    placeWindow();
    update();
}

void CCompareChartView::setOffset(int samples) {
    if (samples == m_offset) return;
    m_offset = samples;
    placeWindow();
    update();
}

void CCompareChartView::placeWindow() {
    m_first = std::min(0.0, double(m_offset));
    m_last = std::max({double(m_lastA), double(m_lastB) + m_offset, m_first + 50});
    const double step = NiceStep(m_last - m_first);
    m_a->SetOwnXWindow(m_first, m_last);
    m_a->SetOwnXGrid(step);
    // B's sample s stands where A's sample s + offset does.
    m_b->SetOwnXWindow(m_first - m_offset, m_last - m_offset);
    m_b->SetOwnXGrid(step);
}

void CCompareChartView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const QSize chartSize(width(), std::max(0, height() - LegendHeight()));
    m_a->SetSize(chartSize);
    m_b->SetSize(chartSize);
}

void CCompareChartView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    m_a->Draw(p);
    // B lies on A's plot: the same area whatever room its own labels would want.
    m_b->SetPlotArea(QRect(int(m_a->Left()), int(m_a->Top()), int(m_a->PlotWidth()), int(m_a->PlotHeight())));
    m_b->DrawSeries(p);
    std::vector<LegendEntry> legend = m_a->Legend();
    for (const LegendEntry& e : m_b->Legend()) legend.push_back(e);
    DrawLegend(p, QRect(int(m_a->Left()), height() - LegendHeight(), width() - int(m_a->Left()), LegendHeight()),
               legend);
}

void CCompareChartView::keyPressEvent(QKeyEvent* e) {
    const int step = (e->modifiers() & Qt::ShiftModifier) ? 1 : 10;
    switch (e->key()) {
    case Qt::Key_Left: emit offsetStepRequested(-step); break;
    case Qt::Key_Right: emit offsetStepRequested(step); break;
    default: QWidget::keyPressEvent(e); return;
    }
}

} // namespace zefirel
