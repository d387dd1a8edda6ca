#pragma once
/// Locking and worker threads: CMutex with its scoped guard CMutexGuard, and the
/// process-wide worker-thread registry CLPGThreadManager that owns every inserted
/// thread and never waits for them at process end.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zefirel {

/// A plain mutex (the transaction lock, the sample store's lock).
class CMutex {
public:
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    /// Locks only when the mutex is free; true when it was taken.
    bool tryLock() { return m_mutex.try_lock(); }

private:
    std::mutex m_mutex;
};

/// Locks a CMutex for its lifetime; unlocks on every exit, including exceptions.
class CMutexGuard {
public:
    explicit CMutexGuard(CMutex* m) : m_mutex(m) { if (m_mutex) m_mutex->lock(); }
    virtual ~CMutexGuard() { if (m_mutex) m_mutex->unlock(); }
    CMutexGuard(const CMutexGuard&) = delete;
    CMutexGuard& operator=(const CMutexGuard&) = delete;

private:
    CMutex* m_mutex;
};

/// A worker thread body. Handed to the registry, which runs run() on a thread of
/// its own and owns the object from then on.
class CSThread {
public:
    virtual ~CSThread() = default;
    virtual void run() = 0;
    /// Called instead of run() when no thread could be started for the body (it
    /// is deleted right after): undo what the creator prepared for a running
    /// thread, so nobody waits for one that never ran.
    virtual void onStartFailed() {}
};

/// The process-wide thread registry.
class CLPGThreadManager {
public:
    static CLPGThreadManager& instance();

    /// Takes ownership of a newly allocated thread body and starts it at once. When
    /// no thread can be started, the body's onStartFailed() runs, the body is deleted
    /// and the failure (std::system_error) passes to the caller.
    void insert(CSThread* thread);
    /// Starts a detached thread running the given work; std::thread by default.
    using Starter = std::function<void(std::function<void()>)>;
    /// Replaces how threads are started (an empty starter restores the default);
    /// tests use it to make a start fail as an exhausted system would.
    static void setStarter(Starter starter);
    /// Number of inserted threads whose run() has not returned yet.
    int running() const { return m_running.load(); }
    /// Waits up to timeoutMs for every worker to finish; returns true if all did.
    bool waitAll(int timeoutMs) const;

    /// Ends the process at once with exit code 0 without waiting for workers
    /// (clears the current-document pointer through the registered hook first).
    [[noreturn]] static void quickExit();
    /// Hook run by quickExit before the process ends (the document pointer reset).
    static void setExitHook(void (*hook)());

private:
    CLPGThreadManager() = default;
    std::atomic<int> m_running{0};
};

} // namespace zefirel
