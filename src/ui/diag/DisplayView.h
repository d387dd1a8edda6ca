#pragma once
/// CDisplayView: the view above the time-correction pane that draws one diagnostic
/// chart over the shared window of sample numbers. A timer (5000, 500 ms; 5000 ms
/// around modal dialogs) posts a refresh that pulls the visible samples from the
/// store and follows the newest one. Four buttons and the keys Home, End, PageUp and
/// PageDown page and step the window, a left-button drag zooms, the pointer's sample
/// and value go to the status bar, and the right button opens the chart menu
/// ("Cały przebieg" shows the whole recording). Under the chart an overview strip
/// shows the whole recording with the window marked; a click there moves the window.

#include <QPoint>
#include <QWidget>
#include <memory>
#include <vector>

#include "diag/DiagDisplay.h"
#include "ui/chart/ChartLegend.h"

class QMenu;
class QPaintDevice;
class QPrinter;
class QRubberBand;
class QTimer;
class QToolButton;

namespace zefirel {

class CChartOverview;
class CDeviceDoc;
class CLPGBar;
class CSeriesChart;

/// Sets a printer up for a chart's page: landscape, and the chart's name as the
/// document name, made one safe file name (the print dialog offers it for a PDF).
void SetUpChartPrinter(QPrinter& printer, const CSeriesChart& chart);
/// The message of a print that could not be made, naming the file and the reason
/// when it was printed to a file.
QString PrintFailureText(const QPrinter& printer);

inline constexpr int TIMER_DISPLAY = 5000;
/// Sizes of the paging buttons and the zoom rules.
inline constexpr int PAGE_BUTTON_SIZE = 17;
inline constexpr int ZOOM_MIN_PIXELS = 9;
inline constexpr double ZOOM_MIN_SAMPLES = 49;
/// How close to the window's end the newest sample may come before the window moves.
inline constexpr double FOLLOW_MARGIN = 10;
/// How often the chart takes the new samples of a store that a replay fills.
inline constexpr int FOLLOW_STORE_MS = 20;
/// Chart choices of the live panel's "Wykres" list, in order.
enum EChartKind { CHART_RPM, CHART_TIME, CHART_PRESSURE, CHART_TEMPR_LPG, CHART_LAMBDA, CHART_COUNT };

/// Creates the chart of a "Wykres" choice (0..4) for a parent window.
std::unique_ptr<CSeriesChart> makeChart(int kind, QWidget* parent);

class CDisplayView : public QWidget, public IDiagDisplay {
    Q_OBJECT
public:
    CDisplayView(CDeviceDoc& doc, CLPGBar* bar, QWidget* parent = nullptr);
    ~CDisplayView() override;

    // IDiagDisplay (callable from any thread; runs on the GUI thread)
    /// A new run: empty chart, sample window back to 0..500 (the run starts at sample 1).
    void reset() override;
    void start() override;
    void stop(RunId run) override;
    void setRefreshPeriod(int periodMs) override;

    CSeriesChart& chart() const { return *m_chart; }
    /// Replaces the chart by one of the "Wykres" kinds, keeping the sample window.
    void setChart(int kind);
    int chartKind() const { return m_kind; }
    /// Copies every sample of the store into the chart, window back to 0..500, step 50.
    void redrawFromStore();
    /// While on, the chart takes the store's new samples every 20 ms (a replay fills
    /// the store meanwhile), so the redraw at the replay's end has only the rest to take.
    void followStore(bool on);
    /// Sample window back to 0..500 with step 50.
    static void resetWindow();

    bool refreshTimerActive() const;
    int refreshPeriod() const;
    /// The refresh command: pulls the new samples and follows the newest one.
    void onRefresh();
    /// Paging buttons: ">>" (5), "<<" (6), ">" (7), "<" (8). The new window's
    /// samples come from the store, also after the run has stopped.
    void onPageForward();
    void onPageBack();
    void onStepForward();
    void onStepBack();
    /// Zoom to the rectangle between two points of the view (the drag's two ends);
    /// returns whether it zoomed.
    bool zoomTo(QPoint a, QPoint b);
    /// "Cały przebieg": the window spans the whole recording, and keeps spanning it
    /// while a live run grows, until the window is moved or zoomed.
    void showWholeRun();
    bool showsWholeRun() const { return m_wholeRun; }
    /// Home, End: the window's width at the start or the end of the recording.
    void onHome();
    void onEnd();
    /// Centres the window on a sample (a click on the overview strip); the width stays.
    void centreOn(double sample);
    CChartOverview* overview() const { return m_overview; }
    /// The cursor of a stopped or replayed recording: the sample last under the
    /// pointer on the plot (or chosen in the list of events); the middle of the
    /// window until there is one. A marker dropped outside a live run goes there.
    double cursorSample() const;
    void setCursorSample(double sample);
    /// The legend under the chart: what each colour shows in the window shown.
    std::vector<LegendEntry> shownLegend() const;
    /// The status-bar read-out for a pointer position (empty on or outside the plot border).
    QString readoutAt(QPoint p) const;
    /// Builds the chart menu (for the pointer's context menu; tests look at it).
    QMenu* chartMenu();

    /// Draws the chart's page (heading with the chart's name, the recording, date and
    /// time and the sample range; the chart; its legend) on a printer page or any
    /// page-like paint device, such as an image of the page. False when the device
    /// could not be painted on (a PDF file that cannot be created).
    bool print(QPaintDevice* device);
    /// Shows the print dialog and prints.
    void printWithDialog();
    /// Shows the print preview.
    void printPreview();
    /// The region last invalidated by a refresh (empty when none).
    QRect lastRefreshRect() const { return m_lastRefreshRect; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void setupChart();
    /// The chart's part of the view: all of it less the legend strip at the bottom.
    QSize chartSize() const;
    QRect legendRect() const;
    void placeButtons();
    QPoint clampToPlot(QPoint p) const;
    void reloadWindow();
    bool sourceAvailable() const;
    /// Repaints after the window moved, with the new window's samples.
    void showMovedWindow();
    /// Moves the window on the installer's request: the whole-run view ends.
    void moveWindow(double first, double last);
    /// Without live diagnostics, autoscale fits the y range to the samples shown.
    void fitShownSamples();
    /// Zoom to these values (sample numbers and y values of the two corners).
    void zoomToValues(double x1, double y1, double x2, double y2);
    /// Where the overview strip lies and which part of it lines up with the plot.
    void placeOverview();
    void onChartSetup();
    void onRestoreScale();
    void onAutoscale();

    CDeviceDoc& m_doc;
    CLPGBar* m_bar;
    std::unique_ptr<CSeriesChart> m_chart;
    int m_kind = CHART_TIME;
    QTimer* m_timer;
    int m_period = 500;
    QToolButton* m_btnFirst;
    QToolButton* m_btnBack;
    QToolButton* m_btnForward;
    QToolButton* m_btnLast;
    bool m_dragging = false;
    QPoint m_dragStart;
    /// Sample and value under the drag's start, taken when it began: the window may
    /// move on while the button is held.
    double m_dragX = 0, m_dragY = 0;
    bool m_wholeRun = false;
    CChartOverview* m_overview = nullptr;
    double m_lastPlotLeft = 0;
    /// The legend last worked out, and the scale and points it was worked out for.
    mutable std::vector<LegendEntry> m_legend;
    mutable std::vector<double> m_legendKey;
    QRubberBand* m_band = nullptr;
    QMenu* m_menu = nullptr;
    QRect m_lastRefreshRect;
    bool m_chartReady = false;
    QTimer* m_followTimer = nullptr;
    double m_cursor = -1;
};

} // namespace zefirel
