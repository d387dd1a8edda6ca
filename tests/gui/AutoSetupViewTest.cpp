// The automatic setup pane against the virtual controller: the menu entry opens
// it, Start insists on the car data, a run fills the log from its worker thread
// and writes the computed correction, and a second run stopped during a wait ends
// with "Koniec" below the first run's lines.
#include "AppTestKit.h"

#include <QAction>
#include <QMainWindow>
#include <QPushButton>
#include <QTableWidget>

#include <atomic>
#include <system_error>

#include "autosetup/AutoSetup.h"
#include "ui/app/Commands.h"
#include "ui/app/MainFrm.h"
#include "ui/app/DeviceFrm.h"
#include "ui/app/LPGBar.h"
#include "ui/autosetup/AutoSetupView.h"

using namespace zefirel;
using namespace zefirel::test;

namespace {

class AutoSetupViewTest : public AppTest {
protected:
    CAutoSetupView& view() { return *docUi().frame()->autoSetupView(); }
    QStringList rows() {
        QStringList out;
        for (int r = 0; r < view().log()->rowCount(); ++r)
            out << view().log()->item(r, 0)->text();
        return out;
    }
    bool idle() { return !view().procedure().running() && !view().procedure().threadActive(); }
};

} // namespace

TEST_F(AutoSetupViewTest, RunFromThePaneWritesTheCorrectionAndStopEndsTheNextRun) {
    sim::SimConfig cfg;
    cfg.ambientC = 60;
    cfg.trueCorrectionMs = 1.8;
    startSimulator(cfg);
    startProgram();
    ASSERT_TRUE(waitUntil([&] { return doc().diagnosticsOn(); }, 5000));
    updateMenus();
    ASSERT_TRUE(mainFrame().action(ID_AUTO_SETTINGS)->isEnabled());
    docUi().onCommand(ID_AUTO_SETTINGS);
    EXPECT_EQ(docUi().frame()->paneWidth(1), AUTOSETUP_PANE_WIDTH);
    EXPECT_TRUE(view().startButton()->isEnabled());
    EXPECT_FALSE(view().stopButton()->isEnabled());
    EXPECT_EQ(view().log()->columnWidth(0), AUTOSETUP_LOG_COLUMN_WIDTH);

    // Without car data (the car information dialog cancelled) nothing starts.
    onNextModal([](QWidget* dlg) { QMetaObject::invokeMethod(dlg, "reject", Qt::QueuedConnection); });
    view().startButton()->click();
    EXPECT_TRUE(shown(QStringLiteral("Musisz podać dane dotyczące samochodu i zamontowanej instalacji")));
    EXPECT_EQ(view().log()->rowCount(), 0);

    doc().setCarDataKnown(true);
    view().startButton()->click();
    EXPECT_FALSE(view().startButton()->isEnabled());
    EXPECT_TRUE(view().stopButton()->isEnabled());
    EXPECT_FALSE(docUi().ruleEnabled(ID_WIZARD)) << "the wizard would run a second procedure beside this one";
    ASSERT_TRUE(waitUntil([&] { return idle(); }, 60000));
    EXPECT_TRUE(docUi().ruleEnabled(ID_WIZARD));
    pump(50);
    const QStringList first = rows();
    ASSERT_GE(first.size(), 5);
    EXPECT_EQ(first[0], QString(82, QLatin1Char('-')));
    EXPECT_TRUE(first[1].startsWith(QStringLiteral("Czas rozpoczęcia: ")));
    EXPECT_EQ(first[2], QStringLiteral("Start"));
    // The last lines say what the controller holds now.
    EXPECT_EQ(first.mid(first.size() - 3),
              (QStringList{qstr(writtenCorrectionLine(m_controller->mainCorrectionMs())),
                           QStringLiteral("Koniec ustawiania"), first[0]}));
    EXPECT_TRUE(shown(QStringLiteral("Ustal wolne obroty")));
    EXPECT_TRUE(view().procedure().succeeded());
    EXPECT_NEAR(m_controller->mainCorrectionMs(), 1.8, 0.05 + 1e-9);
    EXPECT_TRUE(view().startButton()->isEnabled());

    // A second run, stopped while it waits for samples.
    view().startButton()->click();
    ASSERT_TRUE(waitUntil(
        [&] { return rows().size() > first.size() + 3 && rows().last().startsWith("Start pomiaru"); },
        30000));
    view().stopButton()->click();
    ASSERT_TRUE(waitUntil([&] { return idle(); }, 5000));
    pump(50);
    const QStringList all = rows();
    EXPECT_EQ(all.mid(0, first.size()), first) << "rows are only appended";
    EXPECT_EQ(all[first.size()], first[0]);
    EXPECT_TRUE(all[first.size() + 1].startsWith(QStringLiteral("Czas rozpoczęcia: ")));
    // The stop is said in the log, whose last line stays in view, and in the status bar.
    EXPECT_EQ(all.mid(all.size() - 2), (QStringList{QString::fromUtf8(AUTOSETUP_STOPPED), QStringLiteral("Koniec")}));
    QTableWidget* log = view().log();
    EXPECT_TRUE(log->viewport()->rect().contains(log->visualItemRect(log->item(log->rowCount() - 1, 0)).center()));
    EXPECT_EQ(docUi().frame()->bar()->notice(), QString::fromUtf8(AUTOSETUP_STOPPED_NOTICE));
    EXPECT_FALSE(view().procedure().succeeded());
    EXPECT_TRUE(view().startButton()->isEnabled());
    EXPECT_FALSE(view().stopButton()->isEnabled());
}

// A run goes on only where the installer sees it: hiding its pane or closing the
// window asks first; "Nie" leaves both the pane and the run, "Tak" stops the run
// and waits for its end before the pane goes.
TEST_F(AutoSetupViewTest, HidingThePaneOrClosingTheWindowDuringARunAsksFirst) {
    sim::SimConfig cfg;
    cfg.ambientC = 60;
    startSimulator(cfg);
    startProgram();
    ASSERT_TRUE(waitUntil([&] { return doc().diagnosticsOn(); }, 5000));
    docUi().onCommand(ID_AUTO_SETTINGS);
    doc().setCarDataKnown(true);
    view().startButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !rows().isEmpty() && rows().last().startsWith("Start pomiaru"); }, 30000));

    std::atomic<EMsgResult> answer{EMsgResult::No};
    std::atomic<int> asked{0};
    setMessageInterceptor([&](const ShownMessage& m) {
        if (m.text == QString::fromUtf8(AUTOSETUP_STOP_QUESTION)) ++asked;
        return m.style == EMsgStyle::Question ? answer.load() : EMsgResult::Ok;
    });
    docUi().onCommand(ID_AUTO_SETTINGS);
    EXPECT_EQ(asked.load(), 1);
    EXPECT_EQ(docUi().frame()->paneWidth(1), AUTOSETUP_PANE_WIDTH);
    EXPECT_TRUE(view().procedure().running());
    EXPECT_FALSE(mainFrame().close());
    EXPECT_EQ(asked.load(), 2);
    EXPECT_TRUE(mainFrame().isVisible());
    EXPECT_TRUE(view().procedure().running());

    answer = EMsgResult::Yes;
    docUi().onCommand(ID_AUTO_SETTINGS);
    EXPECT_EQ(asked.load(), 3);
    EXPECT_EQ(docUi().frame()->paneWidth(1), 0);
    EXPECT_TRUE(idle());
    pump(50);
    EXPECT_EQ(rows().last(), QStringLiteral("Koniec"));
    EXPECT_TRUE(view().startButton()->isEnabled());
    EXPECT_FALSE(view().stopButton()->isEnabled());
    EXPECT_FALSE(doc().procedureRunning());
}

// A worker that cannot be started (an exhausted system) ends the run it was begun
// for: nothing stays "running", Start comes back and the installer is told.
TEST_F(AutoSetupViewTest, ARunWhoseThreadCannotStartEndsAtOnce) {
    startSimulator();
    startProgram();
    ASSERT_TRUE(waitUntil([&] { return doc().diagnosticsOn(); }, 5000));
    docUi().onCommand(ID_AUTO_SETTINGS);
    doc().setCarDataKnown(true);
    CLPGThreadManager::setStarter([](std::function<void()>) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    view().startButton()->click();
    CLPGThreadManager::setStarter({});
    EXPECT_TRUE(idle());
    EXPECT_TRUE(shown(QString::fromUtf8(AUTOSETUP_ERR_THREAD)));
    pump(50);
    EXPECT_EQ(rows().last(), QStringLiteral("Koniec"));
    EXPECT_TRUE(view().startButton()->isEnabled());
    EXPECT_FALSE(view().stopButton()->isEnabled());
    EXPECT_FALSE(doc().procedureRunning());
    // Hiding the pane needs no question now.
    docUi().onCommand(ID_AUTO_SETTINGS);
    EXPECT_EQ(docUi().frame()->paneWidth(1), 0);
}
