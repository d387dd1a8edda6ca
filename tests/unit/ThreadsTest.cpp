// The worker-thread registry and the scoped lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <system_error>
#include <thread>

#include "link/Threads.h"
#include "support/Error.h"

using namespace zefirel;

namespace {

/// A body that waits for its go signal, then records that it ran and was deleted.
class CProbeThread : public CSThread {
public:
    CProbeThread(std::atomic<bool>& go, std::atomic<int>& ran, std::atomic<int>& deleted, bool raise = false)
        : m_go(go), m_ran(ran), m_deleted(deleted), m_raise(raise) {}
    ~CProbeThread() override { ++m_deleted; }
    void run() override {
        while (!m_go.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++m_ran;
        if (m_raise)
            raiseError(ERROR_FILE_OPEN, "probe", __LINE__, __FILE__);
    }

private:
    std::atomic<bool>& m_go;
    std::atomic<int>& m_ran;
    std::atomic<int>& m_deleted;
    bool m_raise;
};

void printExitNote() { std::fputs("exit hook ran\n", stderr); }

/// Starts a worker that never finishes, then ends the process.
[[noreturn]] void exitWithBusyWorker() {
    static std::atomic<bool> never{false};
    static std::atomic<int> ran{0};
    static std::atomic<int> deleted{0};
    CLPGThreadManager::instance().insert(new CProbeThread(never, ran, deleted));
    CLPGThreadManager::setExitHook(printExitNote);
    CLPGThreadManager::quickExit();
}

} // namespace

TEST(ThreadRegistry, RunsInsertedBodiesAndDeletesThemWhenDone) {
    auto& registry = CLPGThreadManager::instance();
    EXPECT_EQ(&registry, &CLPGThreadManager::instance());
    ASSERT_TRUE(registry.waitAll(2000));
    std::atomic<bool> go{false};
    std::atomic<int> ran{0}, deleted{0};
    registry.insert(new CProbeThread(go, ran, deleted));
    registry.insert(new CProbeThread(go, ran, deleted, true)); // its error is deleted too (ASan checks)
    EXPECT_EQ(registry.running(), 2);
    EXPECT_FALSE(registry.waitAll(50)) << "the bodies are still waiting";
    go = true;
    ASSERT_TRUE(registry.waitAll(2000));
    EXPECT_EQ(ran.load(), 2);
    EXPECT_EQ(deleted.load(), 2);
    EXPECT_EQ(registry.running(), 0);
}

TEST(ThreadRegistry, ABodyThatCannotBeStartedIsUndoneAndDeleted) {
    struct CUndoProbe : CSThread {
        std::atomic<int>& undone;
        std::atomic<int>& deleted;
        CUndoProbe(std::atomic<int>& u, std::atomic<int>& d) : undone(u), deleted(d) {}
        ~CUndoProbe() override { ++deleted; }
        void run() override { ADD_FAILURE() << "never started, never run"; }
        void onStartFailed() override { ++undone; }
    };
    auto& registry = CLPGThreadManager::instance();
    ASSERT_TRUE(registry.waitAll(2000));
    std::atomic<int> undone{0}, deleted{0};
    CLPGThreadManager::setStarter([](std::function<void()>) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    EXPECT_THROW(registry.insert(new CUndoProbe(undone, deleted)), std::system_error);
    CLPGThreadManager::setStarter({});
    EXPECT_EQ(undone.load(), 1);
    EXPECT_EQ(deleted.load(), 1);
    EXPECT_EQ(registry.running(), 0);

    // The default starter is back: bodies run again.
    std::atomic<bool> go{true};
    std::atomic<int> ran{0};
    registry.insert(new CProbeThread(go, ran, deleted));
    ASSERT_TRUE(registry.waitAll(2000));
    EXPECT_EQ(ran.load(), 1);
}

TEST(ThreadRegistryDeathTest, QuickExitRunsTheHookAndDoesNotWaitForWorkers) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exitWithBusyWorker(), ::testing::ExitedWithCode(0), "exit hook ran");
}

TEST(MutexGuard, UnlocksOnEveryExitIncludingErrors) {
    CMutex m;
    try {
        CMutexGuard guard(&m);
        EXPECT_FALSE(std::async(std::launch::async, [&] { return m.tryLock(); }).get());
        raiseError(ERROR_FILE_OPEN, "x", __LINE__, __FILE__);
    } catch (IError* e) {
        delete e;
    }
    EXPECT_TRUE(m.tryLock());
    m.unlock();
    CMutexGuard none(nullptr); // a guard without a mutex holds nothing
}
