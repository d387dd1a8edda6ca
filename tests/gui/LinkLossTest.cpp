// A line that goes dead under the window: a cable pulled for longer than the
// polling thread waits, a dead line under the periodic checks and the level
// dialog, and keys typed while the window waited.

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QThread>

#include "AppTestKit.h"
#include "ui/app/DeviceFrm.h"
#include "ui/app/LPGBar.h"
#include "ui/diag/DevicePanel.h"
#include "ui/settings/FuelSensorDlg.h"

namespace zefirel::test {
namespace {

class LinkLossTest : public AppTest {
protected:
    CDevicePanel* panel() { return docUi().frame()->panel(); }
    CLPGBar* bar() { return docUi().frame()->bar(); }
    QString connection() { return bar()->connectionField()->text(); }
};

/// Waits without letting the window run anything: a window held by a check that
/// waits on the line.
bool holdUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < timeoutMs) QThread::msleep(10);
    return pred();
}

// Pulled for 8 s while a check held the window: the polling thread gives up, and
// the check, retrying on the dead line, is answered once the cable is back. That
// clean exchange cleared the lost flag, after which the reconnect timer stopped
// trying and the window stayed "Brak połączenia" for good.
TEST_F(LinkLossTest, ACableDropOfEightSecondsEndsInAReconnectOnceTheControllerAnswers) {
    startSimulator();
    startProgram();
    ASSERT_TRUE(waitUntil([&] { return doc().diagnosticsOn() && doc().diagData().count() > 0; }, 5000));
    QElapsedTimer dropped;
    dropped.start();
    m_server->setMuted(true);
    ASSERT_TRUE(holdUntil([&] { return doc().isConnectionLost(); }, 15000));
    holdUntil([&] { return dropped.elapsed() >= 8000; }, 9000);
    m_server->setMuted(false);
    uint8_t report[ERROR_REPORT_SIZE] = {};
    EXPECT_TRUE(doc().readErrors(report)); // the check's late answer
    EXPECT_FALSE(doc().isVersionOk());

    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(waitUntil([&] { return doc().diagnosticsOn() && connection() == QStringLiteral("Połączony"); }, 9000))
        << "still not reconnected after " << back.elapsed() << " ms";
    const int from = doc().diagData().count();
    EXPECT_TRUE(waitUntil([&] { return doc().diagData().count() > from + 3; }, 5000));
}

// The error check (every 10th tick) and the settings re-read (every 20th) on a line
// that has just gone dead: each retries for seconds, which held the whole window.
TEST_F(LinkLossTest, ADeadLineNeverHoldsTheWindow) {
    startSimulator();
    startProgram();
    panel()->stop(doc().currentRun()); // the test runs the ticks itself
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 0; }, 5000));
    CFuelSensorDlg level(doc(), &mainFrame());
    bar()->showNotice(QStringLiteral("Zapisano ustawienia w sterowniku"), 60000);
    m_server->setMuted(true);
    ASSERT_TRUE(doc().isVersionOk()); // the polling thread has not given up yet

    QElapsedTimer t;
    t.start();
    for (int i = 0; i < SETTINGS_REREAD_TICKS; ++i) panel()->onReadoutTick();
    for (int i = 0; i < 3; ++i) level.onTimer();
    EXPECT_LT(t.elapsed(), 1000) << "the window waited for the dead line";
    // The loss shows, and no notice of success stands beside it.
    ASSERT_TRUE(waitUntil([&] { return connection() == QStringLiteral("Brak połączenia"); }, 15000));
    EXPECT_EQ(bar()->notice(), QString());
    m_server->setMuted(false); // the reads under way end sooner
    panel()->waitPeriodicReads();
    level.waitReading();
}

// Keys typed while an operation held the window wait in the queue; a question that
// may lead to a write drops them before it appears, so they never land anywhere
// after it.
TEST_F(LinkLossTest, KeysTypedBeforeAQuestionAppearedAreDropped) {
    setMessageInterceptor({});
    QLineEdit field;
    field.show();
    field.setFocus();
    for (const char* key : {"t", "a", "k"}) {
        const QString text = QString::fromLatin1(key);
        QCoreApplication::postEvent(&field, new QKeyEvent(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier, text));
    }
    EMsgResult answer = EMsgResult::Ok;
    onNextModal([](QWidget* box) { QMetaObject::invokeMethod(box, "reject", Qt::QueuedConnection); });
    answer = zefMessageBox(nullptr, QStringLiteral("Czy chcesz wpisać ustawienia do urządzenia?"), QString(APP_CAPTION),
                           EMsgStyle::Question);
    pump(50);
    EXPECT_EQ(answer, EMsgResult::No);
    EXPECT_EQ(field.text(), QString()) << "keys typed before the question were delivered after it";
}

} // namespace
} // namespace zefirel::test
