// The service side of the program: unlocking, error codes, EEPROM image files, the
// replay of a recording, the message helper around modal boxes, the caught-error
// text, the wait window and the status bar's indicators.

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "AppTestKit.h"
#include "support/Error.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/chart/Chart.h"
#include "ui/diag/DisplayView.h"
#include "ui/support/ErrCodesDlg.h"
#include "ui/support/PasswdDlg.h"
#include "ui/support/WaitDlg.h"

namespace zefirel::test {
namespace {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void typePassword(CPasswdDlg& dlg, const QString& text) {
    dlg.findChild<QLineEdit*>(QStringLiteral("password"))->setText(text);
    dlg.findChild<QPushButton*>(QStringLiteral("ok"))->click();
}

TEST(PasswdDialog, OnlyTheExactPasswordsUnlock) {
    qtApp();
    EXPECT_FALSE(passwordLevels(QStringLiteral("kotleci")).service);
    EXPECT_FALSE(passwordLevels(QStringLiteral("ZIELONYOGRODEK")).service);
    EXPECT_FALSE(passwordLevels(QString()).service);
    const AccessLevels admin = passwordLevels(QStringLiteral("ZielonyOgrodek"));
    EXPECT_TRUE(admin.administrator && admin.service);
    const AccessLevels service = passwordLevels(QStringLiteral("KotLeci"));
    EXPECT_TRUE(service.service);
    EXPECT_FALSE(service.administrator);

    CPasswdDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Odblokowanie"));
    EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("password"))->echoMode(), QLineEdit::Password);
    dlg.show();
    typePassword(dlg, QStringLiteral("kotLeci"));
    EXPECT_TRUE(dlg.isVisible()); // a wrong password leaves the dialog open
    EXPECT_EQ(dlg.result(), 0);
    typePassword(dlg, QStringLiteral("KotLeci"));
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(dlg.levels().service);
    EXPECT_FALSE(dlg.levels().administrator);
}

TEST_F(AppTest, UnlockingAsAdministratorEnablesTheEepromCopyThatRefusesAShortFile) {
    startSimulator();
    startProgram();
    updateMenus();
    EXPECT_FALSE(mainFrame().action(ID_EEPROM_READ)->isEnabled());
    // Escape closes the dialog of a locked document and unlocks nothing.
    bool escaped = false;
    onNextModal([&](QWidget* w) {
        escaped = qobject_cast<CPasswdDlg*>(w) != nullptr;
        QTest::keyClick(w, Qt::Key_Escape);
    });
    mainFrame().action(ID_UNLOCK)->trigger();
    EXPECT_TRUE(escaped);
    EXPECT_FALSE(doc().administratorLevel());
    EXPECT_FALSE(doc().serviceLevel());
    EXPECT_FALSE(mainFrame().action(ID_EEPROM_READ)->isEnabled());

    onNextModal([](QWidget* w) {
        auto* dlg = qobject_cast<CPasswdDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        typePassword(*dlg, QStringLiteral("ZielonyOgrodek"));
    });
    mainFrame().action(ID_UNLOCK)->trigger();
    EXPECT_TRUE(doc().administratorLevel());
    EXPECT_TRUE(doc().serviceLevel());
    EXPECT_TRUE(mainFrame().action(ID_EEPROM_READ)->isEnabled());
    EXPECT_TRUE(mainFrame().action(ID_EEPROM_WRITE)->isEnabled());
    EXPECT_TRUE(mainFrame().action(ID_DEVICE_VERSION)->isEnabled());

    // Unlocked, the EEPROM is copied to a file byte for byte.
    const std::string image = m_home.path() + "/copy.eeprom";
    m_nextFile = QString::fromStdString(image);
    mainFrame().action(ID_EEPROM_READ)->trigger();
    ASSERT_FALSE(m_dialogs.empty());
    EXPECT_TRUE(m_dialogs.back().save);
    EXPECT_EQ(m_dialogs.back().filter, QStringLiteral("Pliki eeprom(*.eeprom)"));
    EXPECT_EQ(m_dialogs.back().suffix, QStringLiteral("eeprom"));
    const auto sim = m_controller->eeprom();
    EXPECT_EQ(readFile(image), std::vector<uint8_t>(sim.begin(), sim.end()));
    EXPECT_EQ(doc().dataFolder(), m_home.path() + "/");

    const std::string shortFile = m_home.path() + "/short.eeprom";
    std::vector<uint8_t> bytes(511, 0x5A);
    std::ofstream(shortFile, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 511);
    m_nextFile = QString::fromStdString(shortFile);
    mainFrame().action(ID_EEPROM_WRITE)->trigger();
    EXPECT_FALSE(m_dialogs.back().save);
    EXPECT_EQ(messages().back().text, QStringLiteral("Niepoprawny format pliku EEPROM!"));
    EXPECT_EQ(messages().back().style, EMsgStyle::Error);
    EXPECT_EQ(m_controller->eeprom(), sim);

    // Cancelling the dialog does nothing.
    m_nextFile.clear();
    const size_t before = messages().size();
    mainFrame().action(ID_EEPROM_WRITE)->trigger();
    EXPECT_EQ(messages().size(), before);
}

TEST_F(AppTest, ErrorCodesAreReadShownAndCleared) {
    startSimulator();
    startProgram();
    mainFrame().action(ID_ERRORS_READ)->trigger();
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages().back().text, QStringLiteral("Brak błędów."));
    EXPECT_EQ(messages().back().caption, QStringLiteral("Zefirel"));

    m_controller->setErrors({0x01, 0, 0x02});
    QString shownText;
    onNextModal([&](QWidget* w) {
        auto* dlg = qobject_cast<CErrCodesDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Kody błędów urządzenia"));
        EXPECT_TRUE(dlg->findChild<QPlainTextEdit*>()->isReadOnly());
        shownText = dlg->text();
        dlg->accept();
    });
    const size_t before = messages().size();
    mainFrame().action(ID_ERRORS_READ)->trigger();
    EXPECT_EQ(messages().size(), before); // no "Brak błędów." this time
    uint8_t report[ERROR_REPORT_SIZE] = {0x01, 0, 0x02};
    QString expected = qstr(doc().describeReport(report));
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_FALSE(shownText.isEmpty());
    EXPECT_EQ(shownText, expected);

    mainFrame().action(ID_ERRORS_CLEAR)->trigger();
    const auto after = m_controller->errors();
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_FALSE(shown(QStringLiteral("Nie można skasować błędów urządzenia")));
}

TEST_F(AppTest, RecordingDialogCancelledOrAnsweredThenTheRecordingIsReplayed) {
    startSimulator();
    startProgram();
    const std::string def = doc().recordingPath();
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 500; }, 10000));
    mainFrame().action(ID_DIAGNOSTIC)->trigger(); // off: the recording closes
    ASSERT_TRUE(doc().waitInputThread(3000));
    const auto sizeBefore = std::filesystem::file_size(def);
    // Cancelling the dialog still records, into the default file, truncated rather than appended to.
    m_nextFile.clear();
    mainFrame().action(ID_DIAGNOSTIC)->trigger();
    EXPECT_TRUE(doc().diagnosticsOn());
    EXPECT_EQ(doc().recordingPath(), def);
    EXPECT_LT(std::filesystem::file_size(def), sizeBefore / 2);
    EXPECT_TRUE(docUi().frame()->displayView()->refreshTimerActive());

    // Off and on again into a chosen file.
    mainFrame().action(ID_DIAGNOSTIC)->trigger();
    const std::string chosen = m_home.path() + "/run.lpgd";
    m_nextFile = QString::fromStdString(chosen);
    mainFrame().action(ID_DIAGNOSTIC)->trigger();
    EXPECT_EQ(m_dialogs.back().filter, QStringLiteral("Pliki diagnostyczne(*.lpgd)"));
    EXPECT_EQ(doc().recordingPath(), chosen);
    EXPECT_EQ(mainFrame().windowTitle(), QStringLiteral("Zefirel - ") + QString::fromStdString(chosen));
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 200; }, 10000));
    mainFrame().action(ID_DIAGNOSTIC)->trigger();
    ASSERT_TRUE(doc().waitInputThread(3000));
    const int recorded = doc().diagData().count();

    // The replay fills the store and the chart with exactly what was recorded.
    doc().diagData().clear();
    mainFrame().action(ID_REPLAY)->trigger();
    EXPECT_FALSE(m_dialogs.back().save);
    EXPECT_EQ(m_dialogs.back().suffix, QStringLiteral("txt"));
    EXPECT_FALSE(doc().diagnosticsOn());
    EXPECT_EQ(doc().diagData().count(), recorded);
    EXPECT_EQ(doc().recordingPath(), chosen);
    CDisplayView* view = docUi().frame()->displayView();
    EXPECT_EQ(view->chart().GetLastSampleNo(), recorded);
    EXPECT_EQ(view->chart().XMin(), 0);
    EXPECT_EQ(view->chart().XMax(), 500);
}

TEST_F(AppTest, MessageBoxesSlowTheChartRefreshWhileTheyAreOpen) {
    startSimulator();
    startProgram();
    CDisplayView* view = docUi().frame()->displayView();
    ASSERT_TRUE(view->refreshTimerActive());
    int periodDuringBox = 0;
    setMessageInterceptor([&](const ShownMessage&) {
        periodDuringBox = view->refreshPeriod();
        return EMsgResult::Ok;
    });
    zefMessageBox(nullptr, QStringLiteral("x"));
    EXPECT_EQ(periodDuringBox, REFRESH_SLOW_MS);
    EXPECT_EQ(view->refreshPeriod(), REFRESH_NORMAL_MS);
}

TEST(MessageHelper, CaughtErrorsNameTheHandlerAndTheErrorsText) {
    qtApp();
    std::vector<ShownMessage> shown;
    setMessageInterceptor([&](const ShownMessage& m) {
        shown.push_back(m);
        return EMsgResult::Ok;
    });
    showCaughtError(nullptr, QString(), "CDeviceDoc::onErrorsRead()", new IError(ERROR_FILE_OPEN, "plik.lpgd", 1, "x"));
    showCaughtError(nullptr, QStringLiteral("Błąd ustawień"), "CAutoSetupView::doWork()",
                    new IError(ERROR_FILE_OPEN, "d", 1, "x"));
    showCatchAll(nullptr, "CDevicePanel::onBtnLpg()");
    setMessageInterceptor({});
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("Szczegóły: CDeviceDoc::onErrorsRead()\n")));
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("plik.lpgd")));
    EXPECT_TRUE(shown[1].text.startsWith(QStringLiteral("Błąd ustawień\nSzczegóły: CAutoSetupView::doWork()\n")));
    EXPECT_EQ(shown[2].text, QStringLiteral("CDevicePanel::onBtnLpg()\ncatch(...)"));
    for (const auto& m : shown) EXPECT_EQ(m.caption, QStringLiteral("Zefirel"));
}

TEST(WaitWindow, ShowsItsTextUnderTheProgramsCaption) {
    qtApp();
    CWaitDlg wait(QStringLiteral("Nawiązanie połączenia z urządzeniem..."));
    wait.showCentred();
    EXPECT_TRUE(wait.isVisible());
    EXPECT_EQ(wait.windowTitle(), QStringLiteral("Zefirel"));
    EXPECT_EQ(wait.text(), QStringLiteral("Nawiązanie połączenia z urządzeniem..."));
    EXPECT_EQ(CWaitDlg().text(), QStringLiteral("Wczytywanie pliku diagnostycznego..."));
}

TEST(StatusBar, InjectorIndicatorsCountQuietTicksAndColourByLayout) {
    qtApp();
    CLPGBar bar;
    bar.show();
    EXPECT_EQ(bar.connectionField()->text(), QStringLiteral("Brak połączenia"));
    EXPECT_EQ(bar.progressBar()->maximum(), 100);
    auto colour = [&](int i) { return shownColour(bar.injectorField(i)); };
    auto first = [&](int n) {
        std::vector<QColor> out;
        for (int i = 0; i < n; ++i) out.push_back(colour(i));
        return out;
    };
    const QColor G = SHOWN_GREEN, Q = SHOWN_GREY, Y = SHOWN_YELLOW;

    // Standard layout: active injectors are green.
    bar.setInjectors(0x03, 0, false);
    EXPECT_EQ(first(3), (std::vector<QColor>{G, G, Q}));
    // Injector 2 falls quiet with a full countdown: grey on its third quiet tick.
    bar.setInjectors(0x01, 0, false);
    bar.setInjectors(0x01, 0, false);
    EXPECT_EQ(colour(1), G);
    bar.setInjectors(0x01, 0, false);
    EXPECT_EQ(colour(1), Q);
    // Injector 3's countdown stands at 2 (it greyed two ticks ago and stayed quiet
    // since), and firing leaves it there: it greys on its second quiet tick.
    bar.setInjectors(0x05, 0, false);
    EXPECT_EQ(colour(2), G);
    bar.setInjectors(0x01, 0, false);
    EXPECT_EQ(colour(2), G);
    bar.setInjectors(0x01, 0, false);
    // Injector 1 fired on every tick and never turned grey.
    EXPECT_EQ(first(3), (std::vector<QColor>{G, Q, Q}));

    // Extended layout: yellow, and a pair running on LPG turns green.
    bar.setInjectors(0x0F, 0x02, true);
    EXPECT_EQ(first(4), (std::vector<QColor>{Y, Y, G, G}));

    bar.showError(true);
    EXPECT_EQ(bar.errorField()->text(), QStringLiteral("Błąd"));
    bar.showError(false);
    EXPECT_EQ(bar.errorField()->text(), QString());
    EXPECT_EQ(shownColour(bar.errorField()), SHOWN_GREY);
    bar.setProgress(140);
    EXPECT_EQ(bar.progressBar()->value(), 100);
}

} // namespace
} // namespace zefirel::test
