// The windowed program from start-up: connection state in the status bar, the
// default recording and the title, the menus and their enabling, the About box,
// the keyboard shortcuts and closing, against the virtual controller on a pseudo-terminal.

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>

#include <filesystem>

#include "AppTestKit.h"
#include "ui/app/AboutDlg.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/chart/Chart.h"
#include "ui/diag/DevicePanel.h"
#include "ui/diag/DisplayView.h"

namespace zefirel::test {
namespace {

QStringList menuTitles(CMainFrame& f) {
    QStringList out;
    for (QMenu* m : f.topMenus()) out << withoutMnemonic(m->title());
    return out;
}

QStringList menuTexts(QMenu* m) {
    QStringList out;
    for (QAction* a : m->actions()) out << (a->isSeparator() ? QStringLiteral("-") : withoutMnemonic(a->text()));
    return out;
}

QAction* act(CMainFrame& f, int id) {
    QAction* a = f.action(id);
    EXPECT_NE(a, nullptr) << id;
    return a;
}

TEST_F(AppTest, ConnectsAtStartAndRecordsIntoTheDefaultRecording) {
    sim::SimConfig cfg;
    cfg.featureMask = 0x0011;
    startSimulator(cfg);
    startProgram();
    CLPGBar* bar = docUi().frame()->bar();
    EXPECT_EQ(bar->connectionField()->text(), QStringLiteral("Połączony"));
    EXPECT_EQ(shownColour(bar->connectionField()), SHOWN_GREEN);
    ASSERT_TRUE(doc().diagnosticsOn());
    const std::string recording = doc().recordingPath();
    EXPECT_EQ(std::filesystem::path(recording).filename(), "Diagnostyka.lpgd");
    EXPECT_EQ(mainFrame().windowTitle(), QStringLiteral("Zefirel - ") + QString::fromStdString(recording));
    EXPECT_EQ(m_prefs.lastSerialPort(), 1u);
    // Samples arrive and are recorded while the program runs.
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 20; }, 5000));
    EXPECT_GT(std::filesystem::file_size(recording), 0u);

    // Switching diagnostics off through the menu: text, title and rules follow.
    updateMenus();
    EXPECT_EQ(act(mainFrame(), ID_DIAGNOSTIC)->text(), QStringLiteral("Wyłącz tryb diagnostyczny"));
    EXPECT_FALSE(act(mainFrame(), ID_REPLAY)->isEnabled());
    EXPECT_TRUE(docUi().ruleEnabled(ID_WIZARD));
    act(mainFrame(), ID_DIAGNOSTIC)->trigger();
    EXPECT_FALSE(doc().diagnosticsOn());
    EXPECT_EQ(mainFrame().windowTitle(), QStringLiteral("Zefirel"));
    EXPECT_EQ(act(mainFrame(), ID_DIAGNOSTIC)->text(), QStringLiteral("Włącz tryb diagnostyczny"));
    EXPECT_TRUE(act(mainFrame(), ID_REPLAY)->isEnabled());
    EXPECT_FALSE(docUi().ruleEnabled(ID_WIZARD));

    // The About box lists the controller's features in bit order.
    CAboutDlg about(&doc());
    EXPECT_EQ(about.versionText(), QStringLiteral("5"));
    EXPECT_EQ(about.details(), (QStringList{"Obsługa różnych typów sterowania wtryskiwaczami benzynowymi",
                                            "Poprawki od napięcia zasilania"}));
    EXPECT_EQ(featureTexts(0x0880), (QStringList{"Rozszerzona diagnostyka",
                                                 "Pomiar napięcia zasilania tylko przy pracy na LPG"}));
}

TEST_F(AppTest, WithoutControllerShowsNoConnectionAndKeepsTheAlwaysCommands) {
    startProgram();
    CLPGBar* bar = docUi().frame()->bar();
    EXPECT_EQ(bar->connectionField()->text(), QStringLiteral("Brak połączenia"));
    EXPECT_EQ(shownColour(bar->connectionField()), SHOWN_RED);
    EXPECT_TRUE(shownStartingWith(QStringLiteral("Nie można nawiązać komunikacji z urządzeniem LPG\n")));
    EXPECT_FALSE(doc().diagnosticsOn());
    EXPECT_EQ(mainFrame().windowTitle(), QStringLiteral("Zefirel"));
    updateMenus();
    EXPECT_TRUE(act(mainFrame(), ID_REPLAY)->isEnabled());
    EXPECT_TRUE(act(mainFrame(), ID_UNLOCK)->isEnabled());
    EXPECT_TRUE(act(mainFrame(), ID_ABOUT)->isEnabled());
    for (int id : {ID_DIAGNOSTIC, ID_WIZARD, ID_ERRORS_READ, ID_ERRORS_CLEAR, ID_EEPROM_READ, ID_EEPROM_WRITE,
                   ID_MANUAL_SETTINGS, ID_LEVEL_SENSOR})
        EXPECT_FALSE(act(mainFrame(), id)->isEnabled()) << id;
    // The panel's controls follow the connected flag.
    CDevicePanel* panel = docUi().frame()->panel();
    EXPECT_FALSE(panel->findChild<QWidget*>(QStringLiteral("btnLpg"))->isEnabled());
    EXPECT_FALSE(panel->findChild<QWidget*>(QStringLiteral("btnWrite"))->isEnabled());

    // The About box without a controller.
    CAboutDlg about(&doc());
    EXPECT_EQ(about.versionText(), QStringLiteral("Brak połączenia"));
    EXPECT_EQ(about.details(), QStringList{QStringLiteral("Brak połączenia")});
}

TEST_F(AppTest, MenusStartInTheirStatesAndDeviceMenusCanBeRemoved) {
    startProgram();
    EXPECT_EQ(menuTitles(mainFrame()), (QStringList{"Plik", "EEPROM", "Diagnostyka", "Ustawienia urządzenia", "Czujniki",
                                              "Kody błędów", "Informacje"}));
    // Entries and separators, as the installer sees them.
    const QList<QMenu*> menus = mainFrame().topMenus();
    EXPECT_EQ(menuTexts(menus[0]), (QStringList{"Wczytaj plik diagnostyczny...\tCtrl+F", "Eksport do CSV...",
                                                "Raport serwisowy...", "-", "Drukuj...\tCtrl+P", "Podgląd wydruku...", "-",
                                                "Wyjście"}));
    EXPECT_EQ(menuTexts(menus[1]), (QStringList{"Wczytaj...", "Wpisz...", "-", "Wersja urządzenia..."}));
    EXPECT_EQ(menuTexts(menus[2]), (QStringList{"Włącz tryb diagnostyczny", "Sprawdzenie ustawień...", "-", "Wstaw znacznik...\tF9",
                           "Porównaj nagrania..."}));
    EXPECT_EQ(menuTexts(menus[3]),
              (QStringList{"Ustawienia krok po kroku...", "Ustawienia automatycze", "-", "Ustawienia ręczne...",
                           "Historia samochodu...", "-", "Kolejność wtryskiwaczy...", "-", "Mapa wtrysków", "Nauka mapy..."}));
    EXPECT_EQ(menuTexts(menus[4]), (QStringList{"Kalibracja czujnika poziomu gazu..."}));
    EXPECT_EQ(menuTexts(menus[5]), (QStringList{"Wczytaj...", "Kasuj"}));
    EXPECT_EQ(menuTexts(menus[6]), (QStringList{"O programie...", "-", "Odblokowanie ", "-", "Diagnostyka połączenia..."}));
    for (int id : {ID_EEPROM_READ, ID_EEPROM_WRITE, ID_DEVICE_VERSION}) EXPECT_FALSE(act(mainFrame(), id)->isEnabled());
    EXPECT_EQ(act(mainFrame(), ID_MANUAL_SETTINGS)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_U));
    EXPECT_EQ(act(mainFrame(), ID_REPLAY)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    // The toolbar's open button has no handler and stays disabled.
    EXPECT_FALSE(act(mainFrame(), ID_OPEN)->isEnabled());
    EXPECT_TRUE(act(mainFrame(), ID_PRINT)->isEnabled());

    // The wizard's guard grays every top-level entry while it lives.
    {
        CAutoDisableMenu guard(&mainFrame());
        for (QAction* top : mainFrame().menuBar()->actions()) EXPECT_FALSE(top->isEnabled());
    }
    for (QAction* top : mainFrame().menuBar()->actions()) EXPECT_TRUE(top->isEnabled());

    // A controller of another version removes the three menus from position 2 on.
    mainFrame().removeDeviceMenus();
    EXPECT_EQ(menuTitles(mainFrame()), (QStringList{"Plik", "EEPROM", "Kody błędów", "Informacje"}));
    EXPECT_EQ(mainFrame().action(ID_DIAGNOSTIC), nullptr);
}

TEST_F(AppTest, FunctionKeysPickInjectorsAndChartsAndClosingReleasesThePort) {
    startSimulator();
    startProgram();
    CDeviceFrame* frame = docUi().frame();
    CDevicePanel* panel = frame->panel();
    QWidget* focus = panel->findChild<QWidget*>(QStringLiteral("correctionEdit"));
    focus->setFocus();

    EXPECT_TRUE(frame->handleShortcut(Qt::Key_F3, Qt::NoModifier));
    EXPECT_EQ(panel->injector(), 3);
    EXPECT_EQ(doc().selectedInjector(), 3);
    // Samples polled from now on are asked for injector 3.
    const int from = doc().diagData().count();
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > from + 5; }, 5000));
    CDiag last;
    doc().diagData().getLast(last);
    EXPECT_EQ(last.injector(), 3);

    CSeriesChart* before = &frame->displayView()->chart();
    EXPECT_TRUE(frame->handleShortcut(Qt::Key_F3, Qt::ShiftModifier));
    EXPECT_EQ(panel->chartIndex(), CHART_PRESSURE);
    EXPECT_EQ(frame->displayView()->chartKind(), CHART_PRESSURE);
    EXPECT_STREQ(frame->displayView()->chart().GetName(), "CPressureChart");
    EXPECT_NE(&frame->displayView()->chart(), before);
    CSeriesChart* pressure = &frame->displayView()->chart();
    frame->handleShortcut(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(&frame->displayView()->chart(), pressure); // the same choice changes nothing
    // Shift+F6 is no chart and, being shifted, no injector either.
    EXPECT_FALSE(frame->handleShortcut(Qt::Key_F6, Qt::ShiftModifier));
    EXPECT_EQ(panel->injector(), 3);
    // Alt held: no shortcut.
    EXPECT_FALSE(frame->handleShortcut(Qt::Key_L, Qt::ControlModifier | Qt::AltModifier));

    // Only the left Ctrl and Shift keys make shortcuts: with the right Shift, F2 picks
    // injector 2 instead of the second chart.
    const quint32 shiftRight = 0xffe2, shiftLeft = 0xffe1;
    frame->handleKey(QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 62, shiftRight, 0));
    frame->handleKey(QKeyEvent(QEvent::KeyPress, Qt::Key_F2, Qt::ShiftModifier, 68, 0xffbf, 0));
    EXPECT_EQ(panel->injector(), 2);
    EXPECT_EQ(panel->chartIndex(), CHART_PRESSURE);
    frame->handleKey(QKeyEvent(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier, 62, shiftRight, 0));
    frame->handleKey(QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 50, shiftLeft, 0));
    frame->handleKey(QKeyEvent(QEvent::KeyPress, Qt::Key_F2, Qt::ShiftModifier, 68, 0xffbf, 0));
    EXPECT_EQ(panel->chartIndex(), CHART_TIME);
    frame->handleKey(QKeyEvent(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier, 50, shiftLeft, 0));
    frame->handleKey(QKeyEvent(QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier, 70, 0xffc1, 0));
    EXPECT_EQ(panel->injector(), 4);

    // The same keys delivered to a control of the window.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier);
    mainFrame().activateWindow();
    if (QApplication::activeWindow() == &mainFrame()) {
        QApplication::sendEvent(focus, &press);
        EXPECT_EQ(panel->injector(), 3);
    } else {
        ADD_FAILURE() << "the main window did not become active";
    }

    // Closing the window stops diagnostics and frees the port for another client.
    mainFrame().close();
    EXPECT_FALSE(doc().diagnosticsOn());
    EXPECT_FALSE(doc().inputThreadRunning());
    CLPGDevice other;
    EXPECT_TRUE(other.connectPath(m_server->slavePath()));
    other.disconnect();
}

} // namespace
} // namespace zefirel::test
