#pragma once
/// "Diagnostyka połączenia": runs the connection troubleshooter on a worker thread,
/// shows its progress and then its report as text, which "Kopiuj" puts on the
/// clipboard for a support message. Closing the window stops the run at the next
/// port and waits for the port being looked at (a few seconds at most) while the
/// window keeps painting.

#include <QDialog>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "link/ConnectionDoctor.h"

class QEventLoop;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace zefirel {

class CConnDoctorDlg : public QDialog {
    Q_OBJECT
public:
    /// runner does the work (the real troubleshooter by default; tests give their
    /// own candidates). It runs on the worker thread.
    using Runner = std::function<DoctorReport(const DoctorProgress&, const std::atomic<bool>*)>;
    explicit CConnDoctorDlg(QWidget* parent = nullptr, Runner runner = {});
    ~CConnDoctorDlg() override;

    /// Starts a run (nothing happens while one is going on).
    void start();
    bool running() const { return m_worker.joinable() && !m_finished; }
    QString reportText() const;

protected:
    void done(int result) override;

private:
    void onProgress(int percent, const QString& what);
    void onFinished(const QString& text);
    void finishWorker();

    Runner m_runner;
    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    bool m_finished = true;
    QEventLoop* m_waitLoop = nullptr; ///< closing waits in it for the run to end
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QPushButton* m_rerun = nullptr;
    QPushButton* m_copy = nullptr;
};

} // namespace zefirel
