#include "ui/diag/DisplayView.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QMenu>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRubberBand>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <sstream>

#include "diag/DeviceDoc.h"
#include "link/Conversions.h"
#include "settings/CarFiles.h"
#include "ui/app/Commands.h"
#include "ui/app/LPGBar.h"
#include "ui/chart/ChartPage.h"
#include "ui/chart/ChartSetupDlg.h"
#include "ui/chart/SeriesCharts.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

std::unique_ptr<CSeriesChart> makeChart(int kind, QWidget* parent) {
    switch (kind) {
    case CHART_RPM: return std::make_unique<CRPMChart>(parent);
    case CHART_PRESSURE: return std::make_unique<CPressureChart>(parent);
    case CHART_TEMPR_LPG: return std::make_unique<CTemprLPGChart>(parent);
    case CHART_LAMBDA: return std::make_unique<CLambdaChart>(parent);
    default: return std::make_unique<CTimeChart>(parent);
    }
}

CDisplayView::CDisplayView(CDeviceDoc& doc, CLPGBar* bar, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_bar(bar), m_chart(makeChart(CHART_TIME, this)) {
    setObjectName(QStringLiteral("displayView"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 120);
    CSeriesChart::SetLiveCheck([] {
        const CDeviceDoc* d = CDeviceDoc::current();
        return d && d->diagnosticsOn();
    });

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("timer5000"));
    // The timer only posts the refresh, so its handler stays short.
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (CDeviceDoc::current()) QMetaObject::invokeMethod(this, &CDisplayView::onRefresh, Qt::QueuedConnection);
    });

    const struct {
        QToolButton** button;
        const char* text;
        int id;
        void (CDisplayView::*handler)();
    } buttons[] = {{&m_btnLast, ">>", 5, &CDisplayView::onPageForward},
                   {&m_btnFirst, "<<", 6, &CDisplayView::onPageBack},
                   {&m_btnForward, ">", 7, &CDisplayView::onStepForward},
                   {&m_btnBack, "<", 8, &CDisplayView::onStepBack}};
    for (const auto& b : buttons) {
        auto* tb = new QToolButton(this);
        tb->setText(QString::fromLatin1(b.text));
        tb->setObjectName(QStringLiteral("page%1").arg(b.id));
        tb->setFixedSize(PAGE_BUTTON_SIZE, PAGE_BUTTON_SIZE);
        tb->setAutoRaise(false);
        QFont f = tb->font();
        f.setPixelSize(9);
        tb->setFont(f);
        connect(tb, &QToolButton::clicked, this, b.handler);
        *b.button = tb;
    }
}

CDisplayView::~CDisplayView() = default;

void CDisplayView::setupChart() {
    m_chart->LoadScale(m_chart->ScaleFilePath());
    m_chart->SetSize(chartSize());
    m_chartReady = true;
}

void CDisplayView::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!m_chartReady) setupChart();
}

void CDisplayView::resetWindow() {
    CSeriesChart::SetXWindow(CSeriesChart::DefaultXMin(), CSeriesChart::DefaultXMax());
    CSeriesChart::SetXGridStep(50);
}

// --- IDiagDisplay ----------------------------------------------------------------

void CDisplayView::reset() {
    runOnGuiThread(this, [this] {
        m_chart->Clear();
        // A window left far out by the previous run would show the new one blank.
        resetWindow();
        update();
    });
}

void CDisplayView::start() {
    runOnGuiThread(this, [this] { m_timer->start(m_period); });
}

void CDisplayView::stop(RunId run) {
    runOnGuiThread(this, [this, run] {
        if (m_doc.isCurrentRun(run)) m_timer->stop();
    });
}

void CDisplayView::setRefreshPeriod(int periodMs) {
    runOnGuiThread(this, [this, periodMs] {
        m_period = periodMs;
        if (m_timer->isActive()) m_timer->start(m_period);
    });
}

bool CDisplayView::refreshTimerActive() const { return m_timer->isActive(); }
int CDisplayView::refreshPeriod() const { return m_period; }

// --- data --------------------------------------------------------------------------

bool CDisplayView::sourceAvailable() const { return m_doc.diagnosticsOn() || !m_doc.recordingPath().empty(); }

void CDisplayView::setChart(int kind) {
    m_chart = makeChart(kind, this);
    m_kind = kind;
    setupChart();
    // The sample window is shared by every series chart, so it stays as it was.
    // A replayed file is drawn whole; otherwise the window's samples are shown,
    // also those of a run that has stopped.
    if (!m_doc.diagnosticsOn() && !m_doc.recordingPath().empty()) m_chart->SetData(m_doc.diagData());
    else reloadWindow();
    update();
}

void CDisplayView::redrawFromStore() {
    m_chart->SetData(m_doc.diagData());
    resetWindow();
    update();
}

void CDisplayView::followStore(bool on) {
    if (!m_followTimer) {
        m_followTimer = new QTimer(this);
        m_followTimer->setObjectName(QStringLiteral("followStoreTimer"));
        connect(m_followTimer, &QTimer::timeout, this, [this] { m_chart->SetData(m_doc.diagData()); });
    }
    if (on) m_followTimer->start(FOLLOW_STORE_MS);
    else m_followTimer->stop();
}

void CDisplayView::reloadWindow() {
    std::vector<CDiag> samples;
    m_doc.diagData().getRange(samples, static_cast<int>(m_chart->XMin()), static_cast<int>(m_chart->XMax()));
    m_chart->SetData(samples);
}

void CDisplayView::onRefresh() {
    const int count = m_doc.diagData().count();
    const int lastBefore = m_chart->GetLastSampleNo();
    if (count <= lastBefore + 1) return;
    const double yMin = m_chart->YMin(), yMax = m_chart->YMax();
    reloadWindow();
    const int lastAfter = m_chart->GetLastSampleNo();
    m_lastRefreshRect = QRect(QPoint(m_chart->XToPixel(lastBefore), m_chart->YToPixel(m_chart->YMax())),
                              QPoint(m_chart->XToPixel(lastAfter), m_chart->YToPixel(m_chart->YMin())))
                            .normalized()
                            .adjusted(-2, -2, 2, 2);
    if (yMin != m_chart->YMin() || yMax != m_chart->YMax()) update(); // autoscale changed the axis
    else update(m_lastRefreshRect);
    // Follow the newest sample: keep the width, start one grid step before the end.
    const double xMin = m_chart->XMin(), xMax = m_chart->XMax();
    if (count > xMax - FOLLOW_MARGIN) {
        const double first = xMax - m_chart->XGrid();
        CSeriesChart::SetXWindow(first, first + (xMax - xMin));
        // The whole plot shows another window now, not only a new strip: load its
        // samples at once so the plot is not left with the old window's tail.
        reloadWindow();
        update();
    }
}

// --- paging ------------------------------------------------------------------------

// The store keeps a stopped run's samples until the next run begins, so paging
// over it after the stop shows them.
void CDisplayView::showMovedWindow() {
    reloadWindow();
    repaint();
}

void CDisplayView::onPageForward() {
    const double width = m_chart->XMax() - m_chart->XMin();
    CSeriesChart::SetXWindow(m_chart->XMax(), m_chart->XMax() + width);
    showMovedWindow();
}

void CDisplayView::onPageBack() {
    const double xMin = m_chart->XMin(), xMax = m_chart->XMax(), width = xMax - xMin;
    if (!(xMax > 0 && xMax > width)) return;
    if (xMin - width >= 0) CSeriesChart::SetXWindow(xMin - width, xMax - width);
    else CSeriesChart::SetXWindow(0, xMin);
    showMovedWindow();
}

void CDisplayView::onStepForward() {
    const double step = m_chart->XGrid();
    CSeriesChart::SetXWindow(m_chart->XMin() + step, m_chart->XMax() + step);
    showMovedWindow();
}

void CDisplayView::onStepBack() {
    if (!(m_chart->XMin() > 0)) return;
    const double step = m_chart->XGrid();
    double first = m_chart->XMin() - step, last = m_chart->XMax() - step;
    if (first < 0) first = 0;
    if (last <= 0) last = step;
    CSeriesChart::SetXWindow(first, last);
    showMovedWindow();
}

// --- mouse ---------------------------------------------------------------------------

QPoint CDisplayView::clampToPlot(QPoint p) const {
    const int l = static_cast<int>(m_chart->Left()), t = static_cast<int>(m_chart->Top());
    const int r = l + static_cast<int>(m_chart->PlotWidth()), b = t + static_cast<int>(m_chart->PlotHeight());
    return QPoint(std::clamp(p.x(), l, std::max(l, r)), std::clamp(p.y(), t, std::max(t, b)));
}

bool CDisplayView::zoomTo(QPoint a, QPoint b) {
    a = clampToPlot(a);
    b = clampToPlot(b);
    if (std::abs(a.x() - b.x()) <= ZOOM_MIN_PIXELS || std::abs(a.y() - b.y()) <= ZOOM_MIN_PIXELS) return false;
    const double x1 = m_chart->PixelToX(a.x()), x2 = m_chart->PixelToX(b.x());
    if (std::abs(x1 - x2) <= ZOOM_MIN_SAMPLES) return false;
    const double y1 = m_chart->PixelToY(a.y()), y2 = m_chart->PixelToY(b.y());
    const double first = roundToInt(std::min(x1, x2)), last = roundToInt(std::max(x1, x2));
    CSeriesChart::SetXWindow(first, last);
    m_chart->SetYRange(std::min(y1, y2), std::max(y1, y2));
    CSeriesChart::SetXGridStep((last - first) / 10.0);
    reloadWindow();
    update();
    return true;
}

QString CDisplayView::readoutAt(QPoint p) const {
    const double l = m_chart->Left(), t = m_chart->Top();
    const double r = l + m_chart->PlotWidth(), b = t + m_chart->PlotHeight();
    if (!(p.x() > l && p.x() < r && p.y() > t && p.y() < b)) return QString();
    const QPoint c = clampToPlot(p);
    std::ostringstream os;
    // The sample number as an integer: a double would print 1234567 as 1.23457e+06.
    const long long sample = static_cast<long long>(roundToInt(m_chart->PixelToX(c.x())));
    os << "Próbka = " << sample << ", wartość = " << round1(m_chart->PixelToY(c.y()));
    return QString::fromStdString(os.str());
}

void CDisplayView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    m_dragStart = clampToPlot(e->position().toPoint());
    m_dragging = true;
    if (!m_band) m_band = new QRubberBand(QRubberBand::Rectangle, this);
    m_band->setGeometry(QRect(m_dragStart, QSize()));
    m_band->show();
}

void CDisplayView::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (m_bar) m_bar->setInfo(readoutAt(p));
    if (m_dragging && (e->buttons() & Qt::LeftButton) && m_band)
        m_band->setGeometry(QRect(m_dragStart, clampToPlot(p)).normalized());
}

void CDisplayView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !m_dragging) return QWidget::mouseReleaseEvent(e);
    m_dragging = false;
    if (m_band) m_band->hide();
    zoomTo(m_dragStart, e->position().toPoint());
}

void CDisplayView::mouseDoubleClickEvent(QMouseEvent*) {
    m_dragging = false;
    if (m_band) m_band->hide();
}

// --- chart menu ------------------------------------------------------------------------

QMenu* CDisplayView::chartMenu() {
    if (!m_menu) {
        m_menu = new QMenu(this);
        m_menu->setObjectName(QStringLiteral("chartMenu"));
        QAction* setup = m_menu->addAction(QStringLiteral("Ustawienia wykresu..."), this, &CDisplayView::onChartSetup);
        setup->setObjectName(QStringLiteral("cmd%1").arg(ID_CHART_SETUP));
        QAction* restore = m_menu->addAction(QStringLiteral("Przywróć skalę"), this, &CDisplayView::onRestoreScale);
        restore->setObjectName(QStringLiteral("cmd%1").arg(ID_RESTORE_SCALE));
        m_menu->addSeparator();
        QAction* autoscale = m_menu->addAction(QStringLiteral("Autoskalowanie"), this, &CDisplayView::onAutoscale);
        autoscale->setObjectName(QStringLiteral("cmd%1").arg(ID_AUTOSCALE));
        autoscale->setCheckable(true);
    }
    QAction* autoscale = m_menu->findChild<QAction*>(QStringLiteral("cmd%1").arg(ID_AUTOSCALE));
    autoscale->setEnabled(sourceAvailable());
    autoscale->setChecked(m_chart->Autoscale());
    return m_menu;
}

void CDisplayView::contextMenuEvent(QContextMenuEvent* e) { chartMenu()->exec(e->globalPos()); }

void CDisplayView::onChartSetup() {
    m_doc.slowRefresh();
    CChartSetupDlg::Run(*m_chart, this, m_chart->ScaleFilePath());
    m_doc.normalRefresh();
    update();
}

void CDisplayView::onRestoreScale() {
    m_chart->RestoreScale();
    update();
}

void CDisplayView::onAutoscale() {
    const bool on = !m_chart->Autoscale();
    m_chart->SetAutoscale(on);
    if (!on) {
        m_chart->RestoreScale();
        update();
    }
}

// --- painting ------------------------------------------------------------------------

QSize CDisplayView::chartSize() const { return QSize(width(), std::max(0, height() - LegendHeight())); }

QRect CDisplayView::legendRect() const {
    // The strip under the x labels, between the paging buttons.
    const int left = 2 * PAGE_BUTTON_SIZE + 8;
    return QRect(left, height() - LegendHeight(), std::max(0, width() - 2 * left), LegendHeight());
}

void CDisplayView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    m_chart->Draw(p);
    DrawLegend(p, legendRect(), m_chart->Legend());
}

void CDisplayView::placeButtons() {
    const int y = height() - PAGE_BUTTON_SIZE;
    m_btnFirst->move(0, y);
    m_btnBack->move(PAGE_BUTTON_SIZE, y);
    m_btnForward->move(width() - 2 * PAGE_BUTTON_SIZE, y);
    m_btnLast->move(width() - PAGE_BUTTON_SIZE, y);
}

void CDisplayView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_chart->SetSize(chartSize());
    placeButtons();
}

bool CDisplayView::print(QPaintDevice* device) {
    QPainter p(device);
    if (!p.isActive()) return false;
    DrawChartPage(p, *m_chart, {QString::fromStdString(m_doc.recordingPath()), QDateTime::currentDateTime()});
    m_chart->SetSize(chartSize());
    return true;
}

void SetUpChartPrinter(QPrinter& printer, const CSeriesChart& chart) {
    printer.setPageOrientation(QPageLayout::Landscape);
    // The print dialog offers the document's name as the file name of a PDF: the
    // chart's name made one safe file name ("benz/LPG" would name a folder).
    printer.setDocName(qstr(safePathSegment(chart.Title().toStdString())));
}

QString PrintFailureText(const QPrinter& printer) {
    const QString file = printer.outputFileName();
    if (file.isEmpty()) return QStringLiteral("Nie można wydrukować wykresu na wybranej drukarce.");
    const QFileInfo info(file);
    const QString why = !info.absoluteDir().exists() ? QStringLiteral("folder %1 nie istnieje").arg(info.absolutePath())
                                                      : QStringLiteral("brak prawa zapisu w tym miejscu");
    return QStringLiteral("Nie można zapisać wydruku do pliku %1: %2.").arg(file, why);
}

void CDisplayView::printWithDialog() {
    QPrinter printer;
    SetUpChartPrinter(printer, *m_chart);
    m_doc.slowRefresh();
    QPrintDialog dlg(&printer, this);
    if (dlg.exec() == QDialog::Accepted && !print(&printer))
        zefMessageBox(this, PrintFailureText(printer), QString(APP_CAPTION), EMsgStyle::Error);
    m_doc.normalRefresh();
}

void CDisplayView::printPreview() {
    QPrinter printer;
    SetUpChartPrinter(printer, *m_chart);
    m_doc.slowRefresh();
    QPrintPreviewDialog dlg(&printer, this);
    connect(&dlg, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) { print(printer); });
    dlg.exec();
    m_doc.normalRefresh();
}

} // namespace zefirel
