#include "link/Threads.h"

#include <chrono>
#include <cstdlib>

#include "support/Error.h"

namespace zefirel {

namespace {
std::atomic<void (*)()> g_exitHook{nullptr};

std::mutex g_starterLock;
CLPGThreadManager::Starter g_starter; // empty: std::thread

void startThread(std::function<void()> work) {
    CLPGThreadManager::Starter starter;
    {
        std::lock_guard<std::mutex> g(g_starterLock);
        starter = g_starter;
    }
    if (starter)
        starter(std::move(work));
    else
        std::thread(std::move(work)).detach();
}
} // namespace

void CLPGThreadManager::setStarter(Starter starter) {
    std::lock_guard<std::mutex> g(g_starterLock);
    g_starter = std::move(starter);
}

CLPGThreadManager& CLPGThreadManager::instance() {
    // Never destroyed: workers may still run when the process ends, and they
    // must not find the registry gone.
    static CLPGThreadManager* registry = new CLPGThreadManager;
    return *registry;
}

void CLPGThreadManager::insert(CSThread* thread) {
    if (!thread)
        return;
    m_running.fetch_add(1);
    try {
        startThread([this, thread] {
            // The registry owns the body from here on: run it, then delete it,
            // even when run() lets an exception out.
            // An error that escapes the body has no one left to show it to.
            try {
                thread->run();
            } catch (IError* e) {
                delete e;
            } catch (...) {
            }
            delete thread;
            m_running.fetch_sub(1);
        });
    } catch (...) {
        // The body never ran: whoever waits for it (a run flag, a count of live
        // threads) must be released, or a replay would wait for ever.
        m_running.fetch_sub(1);
        thread->onStartFailed();
        delete thread;
        throw;
    }
}

bool CLPGThreadManager::waitAll(int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_running.load() > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void CLPGThreadManager::setExitHook(void (*hook)()) { g_exitHook.store(hook); }

void CLPGThreadManager::quickExit() {
    if (auto hook = g_exitHook.load())
        hook();
    std::_Exit(0);
}

} // namespace zefirel
