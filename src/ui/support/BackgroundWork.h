#pragma once
/// Controller work off the GUI thread.
///
/// runInBackground: long controller transfers. The work runs on a worker thread
/// while the GUI thread keeps painting, running its timers and carrying out the
/// calls queued to it (the status bar's progress). User input made meanwhile is
/// dropped when the work ends: no second command starts beside it, and nothing typed
/// while the window waited is replayed afterwards into whatever comes next.
///
/// CBackgroundPoll: the periodic reads of a window (error check, settings re-read,
/// the level reading). A dead line makes every read retry for seconds; on the GUI
/// thread that froze the window, so they run on a worker and hand their outcome back.

#include <QPointer>

#include <atomic>
#include <functional>
#include <thread>

class QObject;

namespace zefirel {

/// Runs work on a worker thread and returns when it has ended. An exception that
/// escapes the work (an error object of the port) is thrown again here, on the
/// calling thread, so the caller's catch pattern shows it.
void runInBackground(const std::function<void()>& work);

/// Drops the user input (keys, mouse buttons, wheel) that waits to be delivered:
/// what was typed while the window could not answer. Other queued work runs.
void discardQueuedInput();

/// One read at a time on a worker thread for a window (the owner).
class CBackgroundPoll {
public:
    /// What the worker returns: the part that shows the outcome, run on the owner's
    /// thread (dropped when the owner is gone by then). May be empty.
    using Finish = std::function<void()>;

    explicit CBackgroundPoll(QObject* owner) : m_owner(owner) {}
    /// Waits for a read still under way (its outcome is then dropped).
    ~CBackgroundPoll();
    CBackgroundPoll(const CBackgroundPoll&) = delete;
    CBackgroundPoll& operator=(const CBackgroundPoll&) = delete;

    /// Starts work on the worker unless a read is still under way (then false and
    /// nothing starts). Error objects and other exceptions escaping the work are
    /// dropped: the next period tries again.
    bool start(std::function<Finish()> work);
    bool busy() const { return m_busy.load(); }
    /// Waits until the read under way (if any) has ended and its outcome was shown.
    /// For tests and for closing.
    void wait();

private:
    QPointer<QObject> m_owner;
    std::thread m_thread;
    std::atomic<bool> m_busy{false};
};

} // namespace zefirel
