// The application shell around a running document: the device window that cannot
// be closed on its own, the views the document calls only while they exist, the
// window's shortcuts, and the slow refresh that nests across dialogs and messages.

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <QToolBar>

#include "AppTestKit.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/diag/DevicePanel.h"
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

/// A text field that claims its editing keys ahead of the window's shortcuts, as a
/// line edit on an X11 desktop claims Ctrl+U (erase the line) and Ctrl+K (erase to
/// its end): here every Ctrl+letter, each one erasing the text.
class CClaimingEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    static bool editingKey(const QKeyEvent& k) {
        return (k.modifiers() & Qt::ControlModifier) && k.key() >= Qt::Key_A && k.key() <= Qt::Key_Z;
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ShortcutOverride && editingKey(*static_cast<QKeyEvent*>(e))) {
            e->accept();
            return true;
        }
        return QLineEdit::event(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (editingKey(*e)) clear();
        else QLineEdit::keyPressEvent(e);
    }
};

} // namespace

// Ctrl+U in the correction field opens "Ustawienia ręczne..." instead of erasing the
// field: every shortcut of the menus and the window runs its command from every
// field, and the field keeps its text, also a field that claims the key for itself.
TEST_F(AppTest, EveryShortcutRunsItsCommandFromEveryFieldWhichKeepsItsText) {
    startSimulator();
    startProgram();
    setMessageInterceptor([](const ShownMessage&) { return EMsgResult::No; });
    CDevicePanel* panel = docUi().frame()->panel();
    auto* correction = panel->findChild<QLineEdit*>(QStringLiteral("correctionEdit"));
    ASSERT_TRUE(waitUntil([&] { return correction->isEnabled(); }, 5000));
    auto* claiming = new CClaimingEdit(QStringLiteral("1.234"), panel);
    claiming->show();

    const struct {
        QKeySequence keys;
        int command;
    } shortcuts[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_U), ID_MANUAL_SETTINGS},
        {QKeySequence(Qt::CTRL | Qt::Key_F), ID_REPLAY},
        {QKeySequence(Qt::CTRL | Qt::Key_P), ID_PRINT},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), ID_PRINT_PREVIEW},
        {QKeySequence(Qt::Key_F9), ID_MARKER},
    };
    // The table holds every shortcut of the menus and the window (F10 opens the
    // menu bar, no command).
    QList<QAction*> actions = mainFrame().actions();
    for (QMenu* m : mainFrame().topMenus()) actions += m->actions();
    const auto holder = [&](const QKeySequence& keys) -> QAction* {
        for (QAction* a : actions)
            if (a->shortcuts().contains(keys)) return a;
        return nullptr;
    };
    for (QAction* a : actions)
        for (const QKeySequence& k : a->shortcuts())
            EXPECT_TRUE(k == QKeySequence(Qt::Key_F10) ||
                        std::any_of(std::begin(shortcuts), std::end(shortcuts), [&](const auto& s) { return s.keys == k; }))
                << k.toString().toStdString();

    updateMenus();
    ASSERT_TRUE(holder(shortcuts[0].keys)->isEnabled()) << "Ctrl+U opens the manual settings of a connected controller";

    std::vector<int> commands;
    QObject::connect(&mainFrame(), &CMainFrame::command, [&](int id) { commands.push_back(id); });
    CModalCloser closer;
    m_nextFile.clear(); // the replay's file dialog is cancelled
    const auto press = [&](QWidget* field, const QKeySequence& keys) {
        mainFrame().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&mainFrame()));
        field->setFocus();
        ASSERT_TRUE(waitUntil([&] { return field->hasFocus(); }, 2000));
        const QKeyCombination k = keys[0];
        QTest::keyClick(field, k.key(), k.keyboardModifiers());
    };
    const auto textOf = [](QWidget* w) {
        if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
        return qobject_cast<QComboBox*>(w)->currentText();
    };
    QWidget* fields[] = {correction, claiming, panel->findChild<QComboBox*>(QStringLiteral("injector")),
                         panel->findChild<QWidget*>(QStringLiteral("correctionSpin"))};
    for (QWidget* field : fields) {
        ASSERT_NE(field, nullptr);
        for (const auto& s : shortcuts) {
            // The arrows and the list have no text to keep: Ctrl+U there suffices.
            const bool hasText = qobject_cast<QLineEdit*>(field) || qobject_cast<QComboBox*>(field);
            if (!qobject_cast<QLineEdit*>(field) && s.command != ID_MANUAL_SETTINGS) continue;
            SCOPED_TRACE(field->objectName().toStdString() + " " + s.keys.toString().toStdString());
            updateMenus();
            QAction* a = holder(s.keys);
            ASSERT_NE(a, nullptr);
            const bool enabled = a->isEnabled();
            const QString before = hasText ? textOf(field) : QString();
            commands.clear();
            press(field, s.keys);
            EXPECT_EQ(commands, enabled ? std::vector<int>{s.command} : std::vector<int>{});
            if (hasText) {
                EXPECT_EQ(textOf(field), before);
            }
        }
    }
    EXPECT_GT(closer.closed, 0);
}

namespace {

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
