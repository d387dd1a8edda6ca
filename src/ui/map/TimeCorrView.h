#pragma once
/// CTimeCorrView: the injection time correction curve in the lower right pane of
/// the device frame. The chart shows the 25 corrections as bars; under each bar a
/// value box, a pair of spin arrows and a check box edit that point. Checked points
/// are set by hand, the points between them follow by straight-line interpolation.
/// "Wczytaj z urządzenia" reads the curve, "Wpisz do urządzenia" writes it with the
/// curve's in-use flag, "Kasuj poprawki" sets every point to 0 (nothing is sent).
/// Ten times a second the column of the newest sample's petrol time is marked.

#include <QFont>
#include <QWidget>

#include <array>

#include "map/TimeCorrections.h"
#include "ui/chart/XYCharts.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;

namespace zefirel {

class CDeviceDoc;

class CTimeCorrView : public QWidget {
    Q_OBJECT
public:
    static constexpr int POINTS = static_cast<int>(TIME_CORRECTION_POINTS);
    /// Period of the operating-point mark.
    static constexpr int MARK_PERIOD_MS = 100;
    /// Where the controls start under the chart, and the size the view asks for.
    static constexpr int CONTROLS_TOP = 318;
    static constexpr int VIEW_WIDTH = 810;
    static constexpr int VIEW_HEIGHT = 420;

    explicit CTimeCorrView(CDeviceDoc& doc, QWidget* parent = nullptr);
    ~CTimeCorrView() override;

    /// Opening: every point's box and arrows follow its check box (all off at
    /// first), the curve is read as "Wczytaj z urządzenia" reads it, and the mark
    /// timer starts.
    void initialUpdate();

    // Handlers (also called by the buttons and arrows).
    /// "Wczytaj z urządzenia": the curve of a replayed recording, or the controller's.
    void onTimeCorrGet();
    /// "Wpisz do urządzenia": the curve and its in-use flag into the controller.
    void onTimeCorrSet();
    /// "Kasuj poprawki": every point 0; the controller is not touched.
    void onClear();
    /// One arrow step of a point: step +1 (up) or −1 (down). Unknown points are ignored.
    void onSpin(int point, int step);
    /// A check box was clicked: the point's edited flag and its controls follow it.
    void onCheck(int point);
    /// One tick of the mark timer.
    void onMarkTimer();
    /// "Wczytaj" is offered while the controller is connected and no setup
    /// procedure runs; "Wpisz" also needs the curve read on this connection (or
    /// cleared with "Kasuj poprawki").
    void updateButtons();
    /// The connection changed: a controller new to the pane has its curve read
    /// before "Wpisz" is offered.
    void followConnection();
    /// A write through the one write path ended: an unedited curve shows the
    /// controller's.
    void onSettingsWritten();
    /// The curve being edited (the pane's copy; the document's record changes only
    /// by a write).
    const TimeCorrectionCurve& curve() const { return m_curve; }
    /// Puts a curve into the pane's copy as edits would (nothing is sent).
    void setCurve(const TimeCorrectionCurve& curve);

    CTimeCorrChart& chart() { return m_chart; }
    bool markTimerActive() const;

    /// Moves the three buttons out of the view into a bar of their own (made once),
    /// for a pane that scrolls the curve but keeps the buttons in view.
    QWidget* buttonBar();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    /// The chart's points straight from the curve (after a read).
    void showCurvePoints();
    /// The chart rebuilds its points from the curve, interpolating unchecked points
    /// and writing them back, then the view redraws.
    void rebuildFromCurve();
    /// The value boxes show the curve.
    void showValues();
    /// A point's box and arrows are enabled while its check box is.
    void enablePoint(int point);
    void placeControls();
    /// The curve of the replayed recording: the last settings record of its
    /// companion, when it has one (else the curve held stays).
    void takeRecordingCurve();
    /// Shows a curve as read: it becomes the copy being edited and the unedited state.
    void loadCurve(const TimeCorrectionCurve& curve);

    CDeviceDoc& m_doc;
    CTimeCorrChart m_chart;
    QFont m_valueFont;
    std::array<QLineEdit*, POINTS> m_values{};
    std::array<QToolButton*, POINTS> m_up{};
    std::array<QToolButton*, POINTS> m_down{};
    std::array<QCheckBox*, POINTS> m_checks{};
    QPushButton* m_read;
    QPushButton* m_write;
    QPushButton* m_clear;
    QTimer* m_markTimer;
    TimeCorrectionCurve m_curve{};  ///< the copy being edited
    TimeCorrectionCurve m_loaded{}; ///< as last read or written
    uint64_t m_readOn = 0;          ///< the connection whose controller curve was read (0: none)
    bool m_curveOwned = false;      ///< "Kasuj poprawki": every point is the installer's
    QWidget* m_buttonBar = nullptr; ///< the buttons' own bar, once they moved there
};

} // namespace zefirel
