#pragma once
/// CDeviceFrame: the device document's window inside the main window's document
/// area. Panes: the live panel (200 px), the automatic setup pane and the map pane
/// (hidden; 300 and 660 px when shown), and on the right the display view over the
/// time-correction pane (220 px high), the list "Zdarzenia" right of the chart. The status bar CLPGBar is docked at the
/// bottom. The frame also handles the program's keyboard shortcuts: Ctrl+B/L/A for
/// the work modes (not while a text field has the focus), Shift+F1..F5 for the
/// charts, F1..F8 for the polled injector.
///
/// The frame is the document's only view: its panel and display view are the
/// document's displays from construction to destruction, and the frame cannot be
/// closed on its own (the document goes with the main window).

#include <QWidget>

class QCloseEvent;
class QKeyEvent;
class QMdiArea;
class QMdiSubWindow;
class QSplitter;

namespace zefirel {

class CAutoSetupView;
class CDeviceDoc;
class CDevicePanel;
class CDisplayView;
class CEventsPane;
class CEventsTracker;
class CLPGBar;
class CTimeCorrView;
class CMapView;

inline constexpr int PANEL_WIDTH = 200;
inline constexpr int AUTOSETUP_PANE_WIDTH = 300;
inline constexpr int MAP_PANE_WIDTH = 660;
inline constexpr int DISPLAY_VIEW_HEIGHT = 220;
/// Width of the list "Zdarzenia" right of the chart.
inline constexpr int EVENTS_PANE_WIDTH = 330;

class CDeviceFrame : public QWidget {
    Q_OBJECT
public:
    /// Builds the panes and registers the panel and the display view with the document.
    explicit CDeviceFrame(CDeviceDoc& doc, QWidget* parent = nullptr);
    /// Unregisters the views before they go, so the document never calls a freed one.
    ~CDeviceFrame() override;

    /// Puts the frame into the main window's document area, maximised, as a child
    /// window without a close button or a close entry in its system menu.
    QMdiSubWindow* addTo(QMdiArea* area);

    CDevicePanel* panel() const { return m_panel; }
    CDisplayView* displayView() const { return m_view; }
    CLPGBar* bar() const { return m_bar; }
    CAutoSetupView* autoSetupView() const { return m_autoSetupPane; }
    CTimeCorrView* timeCorrView() const { return m_timeCorrView; }
    CMapView* mapView() const { return m_mapPane; }
    CEventsPane* eventsPane() const { return m_eventsPane; }
    CEventsTracker* eventsTracker() const { return m_events; }
    QSplitter* outerSplitter() const { return m_outer; }
    QSplitter* innerSplitter() const { return m_inner; }

    /// Shows (300 px) or hides (0) the automatic setup pane.
    void showAutoSetupPane(bool show);
    /// Shows (660 px) or hides (0) the map pane; showing it hides the automatic setup pane.
    void showMapPane(bool show);
    /// Width of column 0..3 of the outer splitter (0 for a hidden pane).
    int paneWidth(int column) const;
    /// Replaces the display view's chart (the "Wykres" choice), keeping the window.
    void replaceChart(int kind);
    /// Handles a key press as the frame's shortcuts do; returns true when used.
    bool handleShortcut(int key, Qt::KeyboardModifiers modifiers);
    /// A key event of the window: notes which Ctrl and Shift keys are held (the
    /// shortcuts answer the left ones only) and runs the shortcuts on a press.
    bool handleKey(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    /// Refused: closing the frame alone would take the views from a running document.
    void closeEvent(QCloseEvent* event) override;

private:
    void setPaneWidth(int column, int width);
    /// Which side's modifier keys are down, as far as the platform tells (X11 key
    /// symbols); both false when it does not, and then either side counts.
    struct SideKeys {
        bool left = false;
        bool right = false;
        bool onlyRight() const { return right && !left; }
    };
    SideKeys m_ctrl;
    SideKeys m_shift;
    CDeviceDoc& m_doc;
    QSplitter* m_outer;
    QSplitter* m_inner;
    CDevicePanel* m_panel;
    CDisplayView* m_view;
    CEventsPane* m_eventsPane;
    CEventsTracker* m_events;
    CAutoSetupView* m_autoSetupPane;
    CMapView* m_mapPane;
    QWidget* m_timeCorrPane;
    CTimeCorrView* m_timeCorrView;
    CLPGBar* m_bar;
};

} // namespace zefirel
