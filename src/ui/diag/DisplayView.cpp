#include "ui/diag/DisplayView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
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
#include <cmath>
#include <sstream>

#include "diag/DeviceDoc.h"
#include "link/Conversions.h"
#include "settings/CarFiles.h"
#include "ui/app/Commands.h"
#include "ui/app/LPGBar.h"
#include "ui/chart/ChartPage.h"
#include "ui/chart/ChartSetupDlg.h"
#include "ui/chart/SeriesCharts.h"
#include "ui/diag/ChartOverview.h"
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
    // A click on the chart gives it the keyboard: Home, End, PageUp and PageDown page it.
    setFocusPolicy(Qt::StrongFocus);
    m_overview = new CChartOverview(doc.diagData(), this);
    m_overview->setFocusProxy(this);
    connect(m_overview, &CChartOverview::centreRequested, this, &CDisplayView::centreOn);
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
        m_chart->SetMarks({});
        m_cursor = -1;
        m_overview->reset();
        m_wholeRun = false;
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
    // The events and markers belong to the recording, not to the chart shown.
    std::vector<ChartMark> marks = m_chart->Marks().All();
    m_chart = makeChart(kind, this);
    m_chart->SetMarks(std::move(marks));
    m_kind = kind;
    setupChart();
    m_overview->setKind(kind);
    placeOverview();
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
    m_wholeRun = false;
    fitShownSamples();
    m_overview->refresh();
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
    // A window over the whole store takes it as it is: the chart then needs only
    // the samples added since it last took it.
    if (m_chart->XMin() <= 0 && m_chart->XMax() >= m_doc.diagData().count()) {
        m_chart->SetData(m_doc.diagData());
        return;
    }
    std::vector<CDiag> samples;
    m_doc.diagData().getRange(samples, static_cast<int>(m_chart->XMin()), static_cast<int>(m_chart->XMax()));
    m_chart->SetData(samples);
}

void CDisplayView::onRefresh() {
    const int count = m_doc.diagData().count();
    const int lastBefore = m_chart->GetLastSampleNo();
    if (count <= lastBefore + 1) return;
    m_overview->refresh();
    if (m_wholeRun && count > m_chart->XMax()) {
        // The whole-run view grows with the run; its grid stays at tenths.
        CSeriesChart::SetXWindow(0, count);
        CSeriesChart::SetXGridStep(count / 10.0);
    }
    const double yMin = m_chart->YMin(), yMax = m_chart->YMax();
    reloadWindow();
    const int lastAfter = m_chart->GetLastSampleNo();
    m_lastRefreshRect = QRect(QPoint(m_chart->XToPixel(lastBefore), m_chart->YToPixel(m_chart->YMax())),
                              QPoint(m_chart->XToPixel(lastAfter), m_chart->YToPixel(m_chart->YMin())))
                            .normalized()
                            .adjusted(-2, -2, 2, 2);
    if (m_wholeRun || yMin != m_chart->YMin() || yMax != m_chart->YMax()) update(); // the axes changed
    else update(m_lastRefreshRect);
    // Follow the newest sample: keep the width, start one grid step before the end.
    // Not while a zoom rectangle is being dragged: it would lie over other samples.
    const double xMin = m_chart->XMin(), xMax = m_chart->XMax();
    if (!m_wholeRun && !m_dragging && count > xMax - FOLLOW_MARGIN) {
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
    fitShownSamples();
    repaint();
    m_overview->update();
}

void CDisplayView::moveWindow(double first, double last) {
    m_wholeRun = false;
    CSeriesChart::SetXWindow(first, last);
    showMovedWindow();
}

void CDisplayView::fitShownSamples() {
    // Live, autoscale follows the newest samples on its own.
    if (m_chart->Autoscale() && !m_doc.diagnosticsOn()) m_chart->FitYToWindow();
}

void CDisplayView::showWholeRun() {
    const double last = std::max<double>(m_doc.diagData().count(), CSeriesChart::DefaultXMax() / 10);
    CSeriesChart::SetXGridStep(last / 10);
    moveWindow(0, last);
    m_wholeRun = true;
}

void CDisplayView::onHome() {
    const double width = m_chart->XMax() - m_chart->XMin();
    moveWindow(0, width);
}

void CDisplayView::onEnd() {
    const double width = m_chart->XMax() - m_chart->XMin();
    const double first = std::max(0.0, m_doc.diagData().count() - width);
    moveWindow(first, first + width);
}

void CDisplayView::centreOn(double sample) {
    const double width = m_chart->XMax() - m_chart->XMin();
    const double first = std::max(0.0, std::round(sample - width / 2));
    moveWindow(first, first + width);
}

double CDisplayView::cursorSample() const {
    const bool inWindow = m_cursor >= m_chart->XMin() && m_cursor <= m_chart->XMax();
    return inWindow ? m_cursor : std::round((m_chart->XMin() + m_chart->XMax()) / 2);
}

void CDisplayView::setCursorSample(double sample) {
    if (sample == m_cursor) return;
    const int before = m_chart->XToPixel(m_cursor);
    m_cursor = sample;
    const int top = static_cast<int>(m_chart->Top()), bottom = static_cast<int>(m_chart->Top() + m_chart->PlotHeight());
    update(QRect(QPoint(before - 1, top), QPoint(before + 1, bottom)));
    const int now = m_chart->XToPixel(m_cursor);
    update(QRect(QPoint(now - 1, top), QPoint(now + 1, bottom)));
}

void CDisplayView::keyPressEvent(QKeyEvent* e) {
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier)) return QWidget::keyPressEvent(e);
    switch (e->key()) {
    case Qt::Key_Home: onHome(); break;
    case Qt::Key_End: onEnd(); break;
    case Qt::Key_PageUp: onPageBack(); break;
    case Qt::Key_PageDown: onPageForward(); break;
    default: return QWidget::keyPressEvent(e);
    }
}

void CDisplayView::onPageForward() {
    const double width = m_chart->XMax() - m_chart->XMin();
    moveWindow(m_chart->XMax(), m_chart->XMax() + width);
}

void CDisplayView::onPageBack() {
    const double xMin = m_chart->XMin(), xMax = m_chart->XMax(), width = xMax - xMin;
    if (!(xMax > 0 && xMax > width)) return;
    if (xMin - width >= 0) moveWindow(xMin - width, xMax - width);
    else moveWindow(0, xMin);
}

void CDisplayView::onStepForward() {
    const double step = m_chart->XGrid();
    moveWindow(m_chart->XMin() + step, m_chart->XMax() + step);
}

void CDisplayView::onStepBack() {
    if (!(m_chart->XMin() > 0)) return;
    const double step = m_chart->XGrid();
    double first = m_chart->XMin() - step, last = m_chart->XMax() - step;
    if (first < 0) first = 0;
    if (last <= 0) last = step;
    moveWindow(first, last);
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
    zoomToValues(x1, m_chart->PixelToY(a.y()), x2, m_chart->PixelToY(b.y()));
    return true;
}

void CDisplayView::zoomToValues(double x1, double y1, double x2, double y2) {
    const double first = roundToInt(std::min(x1, x2)), last = roundToInt(std::max(x1, x2));
    m_wholeRun = false;
    CSeriesChart::SetXWindow(first, last);
    m_chart->SetYRange(std::min(y1, y2), std::max(y1, y2));
    CSeriesChart::SetXGridStep((last - first) / 10.0);
    reloadWindow();
    update();
    m_overview->update();
}

QString CDisplayView::readoutAt(QPoint p) const {
    const double l = m_chart->Left(), t = m_chart->Top();
    const double r = l + m_chart->PlotWidth(), b = t + m_chart->PlotHeight();
    if (!(p.x() > l && p.x() < r && p.y() > t && p.y() < b)) return QString();
    const QPoint c = clampToPlot(p);
    // The sample number as an integer: a double would print 1234567 as 1.23457e+06.
    const long long sample = static_cast<long long>(roundToInt(m_chart->PixelToX(c.x())));
    // The value to one decimal, never in exponent form, a whole value without ".0",
    // followed by the chart's unit.
    const double value = round1(m_chart->PixelToY(c.y()));
    QString text = QStringLiteral("Próbka = %1, wartość = %2")
                       .arg(sample)
                       .arg(QString::number(value, 'f', value == std::trunc(value) ? 0 : 1));
    if (!m_chart->Unit().isEmpty()) text += QLatin1Char(' ') + m_chart->Unit();
    return text;
}

void CDisplayView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    setFocus(Qt::MouseFocusReason);
    m_dragStart = clampToPlot(e->position().toPoint());
    m_dragX = m_chart->PixelToX(m_dragStart.x());
    m_dragY = m_chart->PixelToY(m_dragStart.y());
    m_dragging = true;
    if (!m_band) m_band = new QRubberBand(QRubberBand::Rectangle, this);
    m_band->setGeometry(QRect(m_dragStart, QSize()));
    m_band->show();
}

void CDisplayView::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (m_bar) m_bar->setInfo(readoutAt(p));
    if (!m_dragging && !readoutAt(p).isEmpty() && !m_doc.diagnosticsOn())
        setCursorSample(roundToInt(m_chart->PixelToX(clampToPlot(p).x())));
    if (m_dragging && (e->buttons() & Qt::LeftButton) && m_band)
        m_band->setGeometry(QRect(m_dragStart, clampToPlot(p)).normalized());
}

void CDisplayView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !m_dragging) return QWidget::mouseReleaseEvent(e);
    m_dragging = false;
    if (m_band) m_band->hide();
    // The start is the sample and value that were under the pointer when the
    // button went down, even when a live run has moved the window since.
    const QPoint end = clampToPlot(e->position().toPoint());
    if (std::abs(end.x() - m_dragStart.x()) <= ZOOM_MIN_PIXELS || std::abs(end.y() - m_dragStart.y()) <= ZOOM_MIN_PIXELS)
        return;
    const double x = m_chart->PixelToX(end.x());
    if (std::abs(x - m_dragX) <= ZOOM_MIN_SAMPLES) return;
    zoomToValues(m_dragX, m_dragY, x, m_chart->PixelToY(end.y()));
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
        QAction* whole = m_menu->addAction(QStringLiteral("Cały przebieg"), this, &CDisplayView::showWholeRun);
        whole->setObjectName(QStringLiteral("wholeRun"));
        whole->setToolTip(QStringLiteral("Pokaż cały zapis na wykresie (Home, End, PageUp i PageDown przewijają wykres)"));
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
    // The window is back at its start: show that window's samples.
    m_wholeRun = false;
    showMovedWindow();
}

void CDisplayView::onAutoscale() {
    const bool on = !m_chart->Autoscale();
    m_chart->SetAutoscale(on);
    if (!on) m_chart->RestoreScale();
    showMovedWindow();
}

// --- painting ------------------------------------------------------------------------

QSize CDisplayView::chartSize() const {
    return QSize(width(), std::max(0, height() - LegendHeight() - OVERVIEW_HEIGHT));
}

void CDisplayView::placeOverview() {
    // Under the x labels, lined up with the plot so that a sample lies above itself.
    m_overview->setGeometry(0, chartSize().height(), width(), OVERVIEW_HEIGHT);
    m_overview->setPlotSpan(static_cast<int>(m_chart->Left()), static_cast<int>(m_chart->PlotWidth()));
}

std::vector<LegendEntry> CDisplayView::shownLegend() const {
    // Looking for hidden series walks the points shown: only when they changed.
    size_t points = 0;
    for (const ChartSeries& s : m_chart->Series()) points += s.points.size();
    const std::vector<double> key = {m_chart->XMin(), m_chart->XMax(), m_chart->YMin(), m_chart->YMax(),
                                     m_chart->PlotHeight(), double(points), double(m_chart->GetLastSampleNo()),
                                     double(m_kind), double(m_chart->Marks().All().size())};
    if (key != m_legendKey) {
        m_legendKey = key;
        m_legend = m_chart->ShownLegend();
    }
    return m_legend;
}

QRect CDisplayView::legendRect() const {
    // The strip under the x labels, between the paging buttons.
    const int left = 2 * PAGE_BUTTON_SIZE + 8;
    return QRect(left, height() - LegendHeight(), std::max(0, width() - 2 * left), LegendHeight());
}

void CDisplayView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    m_chart->Draw(p);
    // The cursor of a recording that is not being made: where a marker would go.
    if (!m_doc.diagnosticsOn() && m_cursor >= m_chart->XMin() && m_cursor <= m_chart->XMax()) {
        const int x = m_chart->XToPixel(m_cursor);
        p.setPen(QPen(QColor(150, 150, 150), 1, Qt::DotLine));
        p.drawLine(x, static_cast<int>(m_chart->Top()), x, static_cast<int>(m_chart->Top() + m_chart->PlotHeight()));
    }
    DrawLegend(p, legendRect(), shownLegend());
    // Drawing may widen the left margin for long y labels: the strip follows the plot.
    if (m_overview->geometry().top() != chartSize().height() || m_chart->Left() != m_lastPlotLeft) {
        m_lastPlotLeft = m_chart->Left();
        placeOverview();
    }
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
    placeOverview();
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
