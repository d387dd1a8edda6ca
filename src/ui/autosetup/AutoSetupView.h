#pragma once
/// CAutoSetupView: the automatic setup pane of the device frame. A one-column log
/// (270 px, rows only appended and scrolled into view), Start and "Zatrzymaj". It
/// owns the procedure (CAutoSetup) and runs it on a worker thread of the registry.
///
/// Threads: the procedure calls the view from its worker thread through a host
/// object that hands every call to the GUI thread: log rows and button states
/// queued, the question and the messages blocking-queued (the worker waits for the
/// answer). The host holds the view by a guarded pointer, so a call that arrives
/// after the view is gone does nothing (a question then answers Cancel).

#include <QWidget>
#include <memory>

class QPushButton;
class QTableWidget;

namespace zefirel {

class CAutoSetup;
class CDeviceDoc;

inline constexpr int AUTOSETUP_LOG_COLUMN_WIDTH = 270;
/// What Stop waits for the procedure to notice the cleared running flag.
inline constexpr int AUTOSETUP_STOP_WAIT_MS = 200;

class CAutoSetupView : public QWidget {
    Q_OBJECT
public:
    explicit CAutoSetupView(CDeviceDoc& doc, QWidget* parent = nullptr);
    ~CAutoSetupView() override;

    /// Opening: running cleared, Start enabled only while the controller is
    /// connected, Stop disabled.
    void initialUpdate();
    /// While no run is going on, Start follows the connection (the pane is shown
    /// again, the connection came or went).
    void refreshIdle();
    /// Whether a run is under way (or its thread has not ended yet).
    bool runActive() const;
    /// Before the pane goes out of sight or the window closes: during a run asks
    /// whether to stop it; on "Tak" stops it, waits for its end and gives true, on
    /// "Nie" leaves it running and gives false. True at once when no run goes on.
    bool confirmStop();

    /// Start: car data (or the message), the start lines, then the worker thread.
    void OnBtnStart();
    /// Stop: clears running, waits 200 ms, Start enabled, Stop disabled.
    void OnBtnStop();
    /// Appends a log row and scrolls it into view (GUI thread).
    void addLogLine(const QString& text);

    /// The procedure (the step-by-step wizard starts it through the view too).
    CAutoSetup& procedure() const { return *m_setup; }
    /// Starts the procedure as Start does after the car data check (after the
    /// previous run's thread has ended).
    void startProcedure();
    /// Clears the running flag and waits up to timeoutMs for the worker thread.
    bool stopAndWait(int timeoutMs);

    QTableWidget* log() const { return m_log; }
    QPushButton* startButton() const { return m_start; }
    QPushButton* stopButton() const { return m_stop; }

private:
    CDeviceDoc& m_doc;
    QTableWidget* m_log;
    QPushButton* m_start;
    QPushButton* m_stop;
    std::shared_ptr<CAutoSetup> m_setup;
};

} // namespace zefirel
