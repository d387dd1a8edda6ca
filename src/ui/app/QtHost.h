#pragma once
/// CQtHost: the windowed program's side of the core's host interface. Messages go
/// through the message helper, the wait window is a CWaitDlg, the status bar is the
/// device frame's CLPGBar. Calls from worker threads are marshalled to the GUI
/// thread: queued, except a question, which waits for the answer (a worker never
/// asks while the GUI thread waits for that worker).

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "link/Host.h"

namespace zefirel {

class CLPGBar;
class CMainFrame;
class CWaitDlg;

class CQtHost : public QObject, public ILPGHost {
    Q_OBJECT
public:
    explicit CQtHost(QObject* parent = nullptr);
    ~CQtHost() override;

    void setBar(CLPGBar* bar) { m_bar = bar; }
    void setMainFrame(CMainFrame* frame) { m_frame = frame; }
    /// What startTimer runs (the live panel's timers), on the GUI thread.
    void setTimerStarter(std::function<void(int id, int periodMs)> f) { m_timerStarter = std::move(f); }
    /// What diagnosticsEnded runs, on the GUI thread, with the run that ended.
    void setDiagnosticsEndedHandler(std::function<void(uint64_t run)> f) { m_diagEnded = std::move(f); }
    /// What reconnectEnded runs, on the GUI thread.
    void setReconnectEndedHandler(std::function<void(bool connected)> f) { m_reconnectEnded = std::move(f); }
    /// What settingsWritten runs, on the GUI thread.
    void setSettingsWrittenHandler(std::function<void()> f) { m_settingsWritten = std::move(f); }
    /// Whether car data can be asked for (the car information dialog); until one is
    /// installed the answer is "missing".
    void setCarDataAsker(std::function<bool(CSettingsBlock&)> f) { m_askCarData = std::move(f); }

    EMsgResult showMessage(const std::string& text, const std::string& caption, EMsgStyle style) override;
    void removeDeviceMenus() override;
    void showConnection(bool connected) override;
    void showError(bool on) override;
    void setProgress(int percent) override;
    void showWait(const std::string& text) override;
    void showCancellableWait(const std::string& text) override;
    void closeWait() override;
    /// Runs pending events (painting, timers, the wait window's button); false once
    /// "Anuluj" of the wait window was pressed.
    bool pumpEvents() override;
    bool askCarData(CSettingsBlock& block) override;
    void settingsWritten() override;
    void startTimer(int id, int periodMs) override;
    void diagnosticsEnded(uint64_t run) override;
    void reconnectEnded(bool connected) override;

    /// The open wait window, or null.
    CWaitDlg* waitDialog() const { return m_wait.get(); }
    /// Runs f on the GUI thread: at once when called there, otherwise queued.
    void onGui(std::function<void()> f);

private:
    bool onGuiThread() const;
    void openWait(const QString& text, bool cancellable);
    QPointer<CLPGBar> m_bar;
    QPointer<CMainFrame> m_frame;
    std::unique_ptr<CWaitDlg> m_wait;
    std::function<void(int, int)> m_timerStarter;
    std::function<void(uint64_t)> m_diagEnded;
    std::function<void()> m_settingsWritten;
    std::function<void(bool)> m_reconnectEnded;
    std::function<bool(CSettingsBlock&)> m_askCarData;
};

} // namespace zefirel
