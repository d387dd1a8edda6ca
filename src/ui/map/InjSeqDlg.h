#pragma once
/// CInjSeqDlg: "Kolejność wtryskiwaczy", the petrol injectors' firing order as one
/// square-wave trace per injector. It reads the sequence once on opening and, after
/// "Odświerzaj cyklicznie", every 500 ms until "Zatrzymaj odświeżanie". A failed
/// read on opening is reported; failed reads of the refresh are silent and leave
/// the traces drawn.

#include <QDialog>

#include <future>
#include <vector>

#include "link/LPGDevice.h"
#include "ui/chart/XYCharts.h"

class QPushButton;
class QTimer;

namespace zefirel {

class CInjSeqDlg : public QDialog {
    Q_OBJECT
public:
    /// Width of one injector's pulse in the traces, ms.
    static constexpr double PULSE_MS = 5.0;
    /// Samples of each trace across the chart's horizontal range.
    static constexpr int TRACE_STEPS = 500;
    static constexpr int REFRESH_MS = 500;

    /// Builds the window and reads the sequence (a failure is reported, the window
    /// still opens with an empty chart).
    explicit CInjSeqDlg(CLPGDevice& device, QWidget* parent = nullptr);
    ~CInjSeqDlg() override;

    /// The points of the traces of these items over 0 .. range: injector k on level
    /// 2(k − 1), one level higher while its pulse is open; absent injectors draw
    /// nothing.
    static std::vector<ChartPoint> traces(const std::vector<SequenceItem>& items, double range);

    /// "Odświerzaj cyklicznie" / "Zatrzymaj odświeżanie".
    void onRefreshButton();
    /// One refresh tick: starts a read on a worker unless one is still running; on
    /// success the traces are drawn afresh (on this thread).
    void onRefreshTimer();

    bool refreshing() const { return m_refresh; }
    /// Whether a refresh read is running or its result has not been taken yet.
    bool refreshPending() const { return m_pending; }
    const std::vector<SequenceItem>& sequence() const { return m_items; }
    CInjSeqChart& chart() { return m_chart; }

private:
    /// The opening read and its messages.
    void initialRead();
    void buildTraces();
    /// Takes the result of a refresh read (GUI thread).
    void takeRefresh(bool ok, std::vector<SequenceItem> items, bool spread);

    /// The chart's drawing surface.
    class CChartArea;

    CLPGDevice& m_device;
    CChartArea* m_area;
    CInjSeqChart m_chart;
    std::vector<SequenceItem> m_items;
    bool m_spread = false;
    bool m_refresh = false;
    QPushButton* m_refreshButton;
    QTimer* m_timer;
    std::future<void> m_read; ///< the refresh read in flight
    bool m_pending = false;
};

} // namespace zefirel
