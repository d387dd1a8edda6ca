#include "ui/app/DeviceFrm.h"

#include <QApplication>
#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>

#include "diag/DeviceDoc.h"
#include "ui/app/LPGBar.h"
#include "ui/app/MainFrm.h"
#include "ui/autosetup/AutoSetupView.h"
#include "ui/diag/DevicePanel.h"
#include "ui/diag/DisplayView.h"
#include "ui/events/EventsPane.h"
#include "ui/events/EventsTracker.h"
#include "ui/map/TimeCorrView.h"
#include "ui/map/MapView.h"

namespace zefirel {

CDeviceFrame::CDeviceFrame(CDeviceDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
    setObjectName(QStringLiteral("deviceFrame"));
    resize(780, 550);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    m_bar = new CLPGBar(this);

    m_outer = new QSplitter(Qt::Horizontal, this);
    m_outer->setObjectName(QStringLiteral("outerSplitter"));
    m_outer->setChildrenCollapsible(true);
    m_panel = new CDevicePanel(doc, m_bar, m_outer);
    m_autoSetupPane = new CAutoSetupView(doc, m_outer);
    m_mapPane = new CMapView(doc, m_outer);
    m_inner = new QSplitter(Qt::Vertical, m_outer);
    m_inner->setObjectName(QStringLiteral("innerSplitter"));
    // The chart with the list of its events beside it.
    auto* chartRow = new QSplitter(Qt::Horizontal, m_inner);
    chartRow->setObjectName(QStringLiteral("chartRowSplitter"));
    m_view = new CDisplayView(doc, m_bar, chartRow);
    m_eventsPane = new CEventsPane(chartRow);
    chartRow->addWidget(m_view);
    chartRow->addWidget(m_eventsPane);
    chartRow->setStretchFactor(0, 1);
    chartRow->setStretchFactor(1, 0);
    chartRow->setSizes({580 - EVENTS_PANE_WIDTH, EVENTS_PANE_WIDTH});
    m_events = new CEventsTracker(doc, m_view, m_eventsPane, this);
    // The curve scrolls when the pane is narrow (the map pane beside it); its
    // buttons stay in view under it.
    m_timeCorrPane = new QWidget(m_inner);
    m_timeCorrPane->setObjectName(QStringLiteral("timeCorrPane"));
    auto* timeCorrScroll = new QScrollArea;
    timeCorrScroll->setObjectName(QStringLiteral("timeCorrScroll"));
    m_timeCorrView = new CTimeCorrView(doc);
    timeCorrScroll->setWidget(m_timeCorrView);
    auto* timeCorrLay = new QVBoxLayout(m_timeCorrPane);
    timeCorrLay->setContentsMargins(0, 0, 0, 0);
    timeCorrLay->setSpacing(0);
    timeCorrLay->addWidget(timeCorrScroll, 1);
    timeCorrLay->addWidget(m_timeCorrView->buttonBar());
    // Tall enough for the curve, its point controls and the buttons without a
    // vertical scroll bar; the chart above takes what is left.
    m_timeCorrPane->setMinimumHeight(m_timeCorrView->minimumHeight() + m_timeCorrView->buttonBar()->sizeHint().height() +
                                     timeCorrScroll->horizontalScrollBar()->sizeHint().height() +
                                     2 * timeCorrScroll->frameWidth());
    m_inner->addWidget(chartRow);
    m_inner->addWidget(m_timeCorrPane);
    for (QWidget* w : {static_cast<QWidget*>(m_panel), static_cast<QWidget*>(m_autoSetupPane), static_cast<QWidget*>(m_mapPane),
                       static_cast<QWidget*>(m_inner)})
        m_outer->addWidget(w);
    m_outer->setStretchFactor(3, 1);
    // The chart takes what the window gains; the time corrections keep their height.
    m_inner->setStretchFactor(0, 1);
    m_inner->setStretchFactor(1, 0);
    // Handles wide and shaded enough to be seen and caught with the mouse.
    for (QSplitter* s : {m_outer, m_inner, chartRow}) {
        s->setHandleWidth(6);
        s->setStyleSheet(QStringLiteral("QSplitter::handle { background-color: palette(mid); }"));
    }
    m_autoSetupPane->hide();
    m_mapPane->hide();
    m_outer->setSizes({PANEL_WIDTH, 0, 0, 580});
    m_inner->setSizes({DISPLAY_VIEW_HEIGHT, m_timeCorrPane->minimumHeight()});
    lay->addWidget(m_outer, 1);
    lay->addWidget(m_bar);

    connect(m_panel, &CDevicePanel::chartSelected, this, &CDeviceFrame::replaceChart);
    connect(m_panel, &CDevicePanel::connectionChanged, m_timeCorrView, &CTimeCorrView::followConnection);
    connect(m_panel, &CDevicePanel::connectionChanged, m_mapPane, &CMapView::updateConnection);
    qApp->installEventFilter(this);
    m_doc.addDisplay(m_panel);
    m_doc.addDisplay(m_view);
}

CDeviceFrame::~CDeviceFrame() {
    qApp->removeEventFilter(this);
    m_doc.removeDisplay(m_panel);
    m_doc.removeDisplay(m_view);
}

QMdiSubWindow* CDeviceFrame::addTo(QMdiArea* area) {
    QMdiSubWindow* sub = area->addSubWindow(this, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                      Qt::WindowMinMaxButtonsHint);
    sub->setObjectName(QStringLiteral("deviceSubWindow"));
    // Without the system-menu hint the close entry is hidden; taking it out of the
    // menu as well keeps its shortcut (Ctrl+W, Ctrl+F4) from reaching it.
    if (QMenu* menu = sub->systemMenu()) {
        for (QAction* a : menu->actions()) {
            if (a->shortcuts().contains(QKeySequence(QKeySequence::Close)) || a->text() == QMdiSubWindow::tr("&Close")) {
                a->setShortcuts({});
                a->setEnabled(false);
                menu->removeAction(a);
            }
        }
        assignMnemonics(menu->actions()); // the translated entries may share a letter
    }
    sub->showMaximized();
    return sub;
}

void CDeviceFrame::closeEvent(QCloseEvent* event) { event->ignore(); }

int CDeviceFrame::paneWidth(int column) const {
    QWidget* w = m_outer->widget(column);
    return (w && !w->isHidden()) ? m_outer->sizes().value(column) : 0;
}

void CDeviceFrame::setPaneWidth(int column, int width) {
    QWidget* pane = m_outer->widget(column);
    QList<int> sizes = m_outer->sizes();
    const int total = std::max(sizes.value(0) + sizes.value(1) + sizes.value(2) + sizes.value(3), width + 400);
    pane->setVisible(width > 0);
    sizes[column] = width;
    sizes[3] = std::max(0, total - sizes[0] - sizes[1] - sizes[2]);
    m_outer->setSizes(sizes);
}

void CDeviceFrame::showAutoSetupPane(bool show) { setPaneWidth(1, show ? AUTOSETUP_PANE_WIDTH : 0); }

void CDeviceFrame::showMapPane(bool show) {
    if (show) setPaneWidth(1, 0);
    // Wider than usual where the font needs it: every column of the grid in view.
    setPaneWidth(2, show ? std::max(MAP_PANE_WIDTH, m_mapPane->minimumSizeHint().width()) : 0);
}

void CDeviceFrame::replaceChart(int kind) {
    m_view->setChart(kind);
    if (m_doc.diagnosticsOn()) {
        m_view->setRefreshPeriod(REFRESH_NORMAL_MS);
        m_view->start();
    }
}

bool CDeviceFrame::handleKey(const QKeyEvent& k) {
    // X11 key symbols of the modifier keys.
    constexpr quint32 SHIFT_L = 0xffe1, SHIFT_R = 0xffe2, CONTROL_L = 0xffe3, CONTROL_R = 0xffe4;
    const bool press = k.type() == QEvent::KeyPress;
    switch (k.nativeVirtualKey()) {
    case CONTROL_L: m_ctrl.left = press; break;
    case CONTROL_R: m_ctrl.right = press; break;
    case SHIFT_L: m_shift.left = press; break;
    case SHIFT_R: m_shift.right = press; break;
    default: break;
    }
    // A release missed while another window had the focus must not stick.
    if (!(k.modifiers() & Qt::ControlModifier) && k.key() != Qt::Key_Control) m_ctrl = SideKeys();
    if (!(k.modifiers() & Qt::ShiftModifier) && k.key() != Qt::Key_Shift) m_shift = SideKeys();
    if (!press) return false;
    Qt::KeyboardModifiers mods = k.modifiers();
    if (m_ctrl.onlyRight()) mods &= ~Qt::KeyboardModifiers(Qt::ControlModifier);
    if (m_shift.onlyRight()) mods &= ~Qt::KeyboardModifiers(Qt::ShiftModifier);
    return handleShortcut(k.key(), mods);
}

bool CDeviceFrame::handleShortcut(int key, Qt::KeyboardModifiers mods) {
    const bool alt = mods & Qt::AltModifier;
    if ((mods & Qt::ControlModifier) && !alt) return m_panel->modeKey(key);
    if ((mods & Qt::ShiftModifier) && !alt) {
        if (key >= Qt::Key_F1 && key <= Qt::Key_F5) {
            m_panel->selectChart(key - Qt::Key_F1);
            return true;
        }
        return false;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F8) {
        m_panel->selectInjector(key - Qt::Key_F1 + 1);
        return true;
    }
    return false;
}

// The shortcuts work wherever the focus is in the main window, before the focused
// control sees the key, but not inside a modal dialog.
bool CDeviceFrame::eventFilter(QObject* watched, QEvent* event) {
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (key && watched->isWidgetType() && !QApplication::activeModalWidget()) {
        auto* w = static_cast<QWidget*>(watched);
        if (w->window() == window() && w->isActiveWindow() && handleKey(*static_cast<QKeyEvent*>(event)))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zefirel
