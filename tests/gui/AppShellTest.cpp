// The application shell around a running document: the device window that cannot
// be closed on its own, the views the document calls only while they exist, the
// window's shortcuts, and the slow refresh that nests across dialogs and messages.

#include <QAction>
#include <QDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QToolBar>

#include "AppTestKit.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/diag/DisplayView.h"

namespace zefirel::test {
namespace {

/// Rejects every modal dialog that opens while it lives (print dialogs and the like).
class CModalCloser {
public:
    CModalCloser() {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ++closed;
                d->reject();
            }
        });
        m_timer.start();
    }
    int closed = 0;

private:
    QTimer m_timer;
};

TEST_F(AppTest, TheDeviceWindowCannotBeClosedOnItsOwnAndTheProgramGoesOn) {
    startSimulator();
    startProgram();
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 10; }, 5000));
    QPointer<CDeviceFrame> frame = docUi().frame();
    auto* sub = qobject_cast<QMdiSubWindow*>(frame->parentWidget());
    ASSERT_NE(sub, nullptr);

    // Every way a child window is closed: its system menu, Ctrl+W, the area's
    // "close all", and a plain close request. A closed child window is deleted at
    // the next turn of the program's event loop.
    const std::pair<const char*, std::function<void()>> routes[] = {
        {"system menu",
         [&] {
             for (QAction* a : sub->systemMenu()->actions())
                 if (a->text().remove(QLatin1Char('&')).contains(QStringLiteral("Close"))) a->trigger();
         }},
        {"Ctrl+W", [&] { QTest::keyClick(sub, Qt::Key_W, Qt::ControlModifier); }},
        {"close all", [&] { mainFrame().mdiArea()->closeAllSubWindows(); }},
        {"close request", [&] { EXPECT_FALSE(sub->close()); }},
    };
    for (const auto& [how, close] : routes) {
        close();
        pump(50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // as the program's loop does
        ASSERT_TRUE(frame) << how << " closed the device window";
        EXPECT_TRUE(sub->isVisible()) << how;
    }
    EXPECT_EQ(doc().displayCount(), 2u);

    // What used to meet freed views: stopping, a replay, starting again, exiting.
    mainFrame().action(ID_DIAGNOSTIC)->trigger();
    EXPECT_FALSE(doc().diagnosticsOn());
    ASSERT_TRUE(doc().waitInputThread(3000));
    m_nextFile.clear();
    mainFrame().action(ID_DIAGNOSTIC)->trigger();
    EXPECT_TRUE(doc().diagnosticsOn());
    EXPECT_TRUE(frame->displayView()->refreshTimerActive());
    mainFrame().close();
    EXPECT_FALSE(doc().diagnosticsOn());
    EXPECT_FALSE(doc().inputThreadRunning());
}

TEST(DeviceFrame, ItsViewsAreTheDocumentsDisplaysOnlyWhileTheyExist) {
    qtApp();
    CDeviceDoc doc;
    auto frame = std::make_unique<CDeviceFrame>(doc);
    EXPECT_EQ(doc.displayCount(), 2u);
    frame.reset();
    EXPECT_EQ(doc.displayCount(), 0u);
    doc.stopDiagnostics(); // calls every registered display: none may be a freed view
    EXPECT_EQ(doc.title(), "Zefirel");
}

TEST_F(AppTest, CtrlPPrintsWithTheToolbarHiddenAndCtrlFOpensTheReplay) {
    startProgram(); // without a controller the replay is enabled
    mainFrame().toolBar()->hide();
    mainFrame().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainFrame()));
    std::vector<int> commands;
    QObject::connect(&mainFrame(), &CMainFrame::command, [&](int id) { commands.push_back(id); });
    CModalCloser closer; // the print dialog

    QTest::keyClick(&mainFrame(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(commands, std::vector<int>{ID_PRINT});

    m_nextFile.clear(); // the file dialog is cancelled
    const size_t dialogs = m_dialogs.size();
    mainFrame().activateWindow(); // back from the print dialog
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainFrame()));
    QTest::keyClick(&mainFrame(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(commands, (std::vector<int>{ID_PRINT, ID_REPLAY}));
    ASSERT_EQ(m_dialogs.size(), dialogs + 1);
    EXPECT_FALSE(m_dialogs.back().save);
    EXPECT_EQ(m_dialogs.back().filter, QStringLiteral("Pliki diagnostyczne(*.lpgd)"));
}

TEST_F(AppTest, AMessageInsideADialogKeepsTheRefreshSlowUntilTheDialogCloses) {
    startSimulator();
    startProgram();
    CDisplayView* view = docUi().frame()->displayView();
    ASSERT_EQ(view->refreshPeriod(), REFRESH_NORMAL_MS);
    int inDialog = 0, inBox = 0, afterBox = 0;
    setMessageInterceptor([&](const ShownMessage&) {
        inBox = view->refreshPeriod();
        return EMsgResult::Ok;
    });
    onNextModal([&](QWidget* dlg) {
        inDialog = view->refreshPeriod();
        zefMessageBox(dlg, QStringLiteral("Komunikat"));
        afterBox = view->refreshPeriod();
        static_cast<QDialog*>(dlg)->reject();
    });
    mainFrame().action(ID_UNLOCK)->trigger();
    EXPECT_EQ(inDialog, REFRESH_SLOW_MS);
    EXPECT_EQ(inBox, REFRESH_SLOW_MS);
    EXPECT_EQ(afterBox, REFRESH_SLOW_MS);
    EXPECT_EQ(view->refreshPeriod(), REFRESH_NORMAL_MS);
}

} // namespace
} // namespace zefirel::test
