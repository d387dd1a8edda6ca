// The core's host calls made from a worker thread (as the polling thread makes
// them) reach the windows on the GUI thread: the reconnect timer, the status bar,
// messages and a question that the worker waits for.

#include <QLabel>

#include <atomic>
#include <thread>

#include "AppTestKit.h"
#include "ui/app/DeviceFrm.h"
#include "ui/app/QtHost.h"
#include "ui/diag/DevicePanel.h"

namespace zefirel::test {
namespace {

TEST_F(AppTest, WorkerThreadCallsAreCarriedOutOnTheGuiThread) {
    startProgram();
    CQtHost& host = docUi().host();
    CDevicePanel* panel = docUi().frame()->panel();
    CLPGBar* bar = docUi().frame()->bar();
    // No controller answered at start: the background reconnect is on. This test
    // starts the timer from a worker itself.
    panel->findChild<QTimer*>(QStringLiteral("timer5006"))->stop();
    QThread* gui = QThread::currentThread();
    QThread* shownOn = nullptr;
    setMessageInterceptor([&](const ShownMessage& m) {
        shownOn = QThread::currentThread();
        std::lock_guard<std::mutex> g(m_lock);
        m_messages.push_back(m);
        return m.style == EMsgStyle::Question ? EMsgResult::Yes : EMsgResult::Ok;
    });

    std::atomic<bool> done{false};
    EMsgResult plain = EMsgResult::Cancel;
    std::thread worker([&] {
        host.startTimer(TIMER_RECONNECT, RECONNECT_FIRST_MS);
        host.showConnection(true);
        host.showError(true);
        plain = host.showMessage("z wątku", "Zefirel", EMsgStyle::Plain);
        done = true;
    });
    worker.join(); // a plain message does not wait for the GUI thread
    EXPECT_TRUE(done);
    EXPECT_EQ(plain, EMsgResult::Ok);
    EXPECT_FALSE(panel->reconnectTimerActive()); // nothing ran on the worker
    EXPECT_EQ(bar->connectionField()->text(), QStringLiteral("Brak połączenia"));

    ASSERT_TRUE(waitUntil([&] { return panel->reconnectTimerActive(); }, 2000));
    EXPECT_EQ(panel->reconnectInterval(), RECONNECT_FIRST_MS);
    EXPECT_EQ(bar->connectionField()->text(), QStringLiteral("Połączony"));
    EXPECT_EQ(bar->errorField()->text(), QStringLiteral("Błąd"));
    ASSERT_TRUE(waitUntil([&] { return shownOn != nullptr; }, 2000));
    EXPECT_EQ(shownOn, gui);
    panel->findChild<QTimer*>(QStringLiteral("timer5006"))->stop(); // no reconnect attempt in this test

    // A question blocks the worker until the GUI thread has the answer.
    std::atomic<int> answer{-1};
    std::thread asker([&] { answer = static_cast<int>(host.showMessage("Pytanie?", "Zefirel", EMsgStyle::Question)); });
    ASSERT_TRUE(waitUntil([&] { return answer.load() >= 0; }, 3000));
    asker.join();
    EXPECT_EQ(answer.load(), static_cast<int>(EMsgResult::Yes));
    EXPECT_EQ(messages().back().text, QStringLiteral("Pytanie?"));
}

} // namespace
} // namespace zefirel::test
