// How the program's dialogs and its status bar behave for an installer at the
// keyboard: Ctrl+W closes any dialog as Escape does, every message box has its
// icon, a long notice leaves the access level in view, writes of the level
// thresholds and the version record are confirmed in the status bar, factory
// values say that nothing was written yet, the level dialog does not ask again
// right after "Wpisz", an EEPROM file is checked before the question, and the car
// file list shows its selection in a colour of its own with headers that fit.

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "AppTestKit.h"
#include "settings/CarInfo.h"
#include "settings/SettingsCopy.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/settings/CarSettingsDlg.h"
#include "ui/settings/DevSetupDlg.h"
#include "ui/settings/FuelSensorDlg.h"
#include "ui/support/MsgHelper.h"

namespace zefirel::test {
namespace {

namespace fs = std::filesystem;

template <class W> W* child(QWidget& dlg, const char* name) {
    W* w = dlg.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

/// Presses a key combination where the dialog has its focus.
void press(QWidget* dlg, Qt::Key key, Qt::KeyboardModifiers mods) {
    QWidget* target = dlg->focusWidget() ? dlg->focusWidget() : dlg;
    QTest::keyClick(target, key, mods);
}

TEST_F(AppTest, CtrlWClosesEveryDialogOfTheMenusAsEscapeDoes) {
    startSimulator();
    startProgram();
    doc().setAdministratorLevel(true);
    doc().setCarDataKnown(true);
    updateMenus();
    for (int id :
         {ID_ABOUT, ID_UNLOCK, ID_MANUAL_SETTINGS, ID_INJ_SEQUENCE, ID_LEVEL_SENSOR, ID_DEVICE_VERSION}) {
        QString opened;
        bool closedByCtrlW = false;
        onNextModal([&](QWidget* w) {
            opened = QString::fromLatin1(w->metaObject()->className());
            press(w, Qt::Key_W, Qt::ControlModifier);
            closedByCtrlW = !w->isVisible();
            if (!closedByCtrlW) press(w, Qt::Key_Escape, Qt::NoModifier);
        });
        ASSERT_TRUE(mainFrame().action(id)->isEnabled()) << id;
        mainFrame().action(id)->trigger();
        EXPECT_FALSE(opened.isEmpty()) << id;
        EXPECT_TRUE(closedByCtrlW) << opened.toStdString();
    }
}

/// The Alt letters of a list of entries that more than one entry claims.
QStringList clashingMnemonics(const QList<QAction*>& actions) {
    QStringList seen, clashes;
    for (QAction* a : actions) {
        if (a->isSeparator() || !a->isVisible()) continue;
        const QString key = QKeySequence::mnemonic(a->text()).toString();
        if (key.isEmpty()) continue;
        if (seen.contains(key))
            clashes << key + QStringLiteral(" (") + withoutMnemonic(a->text()) + QLatin1Char(')');
        seen << key;
    }
    return clashes;
}

TEST_F(AppTest, EveryMenuOfTheMainFrameGivesEachEntryItsOwnAltLetter) {
    startSimulator();
    startProgram();
    const auto expectNoClash = [&](const char* state) {
        EXPECT_EQ(clashingMnemonics(mainFrame().menuBar()->actions()), QStringList())
            << state << ": menu bar";
        // Every menu the window owns: the menu bar's, their submenus, context menus.
        for (QMenu* m : mainFrame().findChildren<QMenu*>()) {
            emit m->aboutToShow(); // as it opens: entries renamed by the update get their letter
            EXPECT_EQ(clashingMnemonics(m->actions()), QStringList())
                << state << ": " << withoutMnemonic(m->title()).toStdString();
        }
    };
    expectNoClash("connected");
    // An entry whose first letter is taken is reached by another word's first
    // letter ("Diagnostyka &połączenia"), not by a letter that sits beside a
    // capital and reads as it.
    QStringList info;
    for (QAction* a : mainFrame().topMenus().constLast()->actions())
        if (!a->isSeparator()) info << QKeySequence::mnemonic(a->text()).toString();
    EXPECT_EQ(info, (QStringList{"Alt+O", "Alt+D", "Alt+P"}));
    mainFrame().action(ID_DIAGNOSTIC)->trigger(); // "Wyłącz tryb diagnostyczny" becomes "Włącz ..."
    expectNoClash("diagnostics off");
    mainFrame().removeDeviceMenus();
    expectNoClash("device menus removed");
}

TEST(MessageBoxes, EveryBoxHasTheIconOfItsKind) {
    qtApp();
    setMessageInterceptor({});
    const std::pair<EMsgStyle, QMessageBox::Icon> cases[] = {{EMsgStyle::Plain, QMessageBox::Information},
                                                             {EMsgStyle::Info, QMessageBox::Information},
                                                             {EMsgStyle::Error, QMessageBox::Critical},
                                                             {EMsgStyle::Question, QMessageBox::Question}};
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    const auto answer = [&] {
        onNextModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            shownIcon = box->icon();
            box->buttons().constFirst()->click();
        });
    };
    for (const auto& [style, icon] : cases) {
        answer();
        zefMessageBox(nullptr, QStringLiteral("Tekst"), QString(APP_CAPTION), style);
        EXPECT_EQ(shownIcon, icon) << static_cast<int>(style);
    }
    // An error caught at a handler is shown as the error it is.
    answer();
    showCatchAll(nullptr, "CTest::OnBtn()");
    EXPECT_EQ(shownIcon, QMessageBox::Critical);
}

TEST_F(AppTest, ALongNoticeLeavesTheAccessLevelAndTheConnectionInView) {
    startSimulator();
    startProgram();
    mainFrame().showNormal();
    mainFrame().resize(1024, 768);
    CLPGBar* bar = docUi().frame()->bar();
    bar->showLevel(QStringLiteral("Poziom: administratora"));
    bar->showNotice(
        QStringLiteral("Odczytano EEPROM do pliku /home/instalator/Zefirel/Dane/klienci/2026/grudzień/"
                       "Opel-Astra-1600-Kowalski-przed-regulacją-kopia-zapasowa.eeprom"));
    pump(100);
    auto* notice = bar->findChild<QLabel*>(QStringLiteral("notice"));
    auto* level = bar->findChild<QLabel*>(QStringLiteral("level"));
    ASSERT_NE(notice, nullptr);
    ASSERT_NE(level, nullptr);
    EXPECT_LE(bar->width(), mainFrame().width());
    EXPECT_FALSE(notice->geometry().intersects(level->geometry()));
    EXPECT_GE(level->width(), level->sizeHint().width());
    for (QLabel* field : {level, bar->connectionField(), bar->errorField()})
        EXPECT_LE(field->geometry().right(), bar->rect().right()) << field->objectName().toStdString();
    EXPECT_TRUE(notice->toolTip().endsWith(QStringLiteral("kopia-zapasowa.eeprom")));
    // The field shows where the text was cut, and the bar still knows the whole notice.
    EXPECT_TRUE(notice->text().endsWith(QChar(0x2026))) << notice->text().toStdString();
    EXPECT_TRUE(bar->notice().endsWith(QStringLiteral("kopia-zapasowa.eeprom")));
}

TEST_F(AppTest, LevelAndVersionWritesSayThemselvesAndFactoryValuesSayTheyAreNotWrittenYet) {
    startSimulator();
    startProgram();
    doc().setAdministratorLevel(true);
    updateMenus();
    CLPGBar* bar = docUi().frame()->bar();

    size_t questionsAfterWrite = 0;
    QString factoryNote;
    onNextModal([&](QWidget* w) {
        auto* dlg = qobject_cast<CFuelSensorDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        child<QPushButton>(*dlg, "factory")->click();
        auto* note = child<QLabel>(*dlg, "note");
        factoryNote = note && note->isVisible() ? note->text() : QString();
        child<QPushButton>(*dlg, "write")->click();
        const size_t before = messages().size();
        child<QPushButton>(*dlg, "ok")->click(); // closes: the controller holds the fields already
        questionsAfterWrite = messages().size() - before;
    });
    mainFrame().action(ID_LEVEL_SENSOR)->trigger();
    EXPECT_TRUE(factoryNote.contains(QStringLiteral("jeszcze wpisane do sterownika")))
        << factoryNote.toStdString();
    EXPECT_EQ(questionsAfterWrite, 0u);
    EXPECT_EQ(bar->notice(), QStringLiteral("Wpisano progi czujnika poziomu gazu do sterownika"));

    onNextModal([&](QWidget* w) {
        child<QPushButton>(*w, "write")->click();
        press(w, Qt::Key_Escape, Qt::NoModifier);
    });
    mainFrame().action(ID_DEVICE_VERSION)->trigger();
    EXPECT_EQ(bar->notice(), QStringLiteral("Wpisano wersję urządzenia do sterownika"));

    // The settings dialog's factory record, too, is only in the dialog.
    CDevSetupDlg setup(doc());
    setup.show();
    child<QPushButton>(setup, "factory")->click();
    auto* note = child<QLabel>(setup, "note");
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().contains(QStringLiteral("jeszcze wpisane do sterownika")))
        << note->text().toStdString();
    auto* list = child<QTableWidget>(setup, "settingsList");
    for (int c = 0; c < list->columnCount(); ++c)
        EXPECT_GE(list->columnWidth(c), list->horizontalHeader()->sectionSizeHint(c)) << c;
}

TEST_F(AppTest, AnEepromFileThatCannotBeWrittenIsRefusedBeforeTheQuestion) {
    startSimulator();
    startProgram();
    doc().setAdministratorLevel(true);
    updateMenus();
    const std::string shortFile = m_home.path() + "/short.eeprom";
    std::ofstream(shortFile, std::ios::binary) << std::string(511, '\x11');
    const std::pair<std::string, const char*> cases[] = {
        {shortFile, MSG_EEPROM_FILE_FORMAT}, {m_home.path() + "/none.eeprom", MSG_EEPROM_FILE_OPEN}};
    for (const auto& [file, text] : cases) {
        m_messages.clear();
        m_nextFile = QString::fromStdString(file);
        mainFrame().action(ID_EEPROM_WRITE)->trigger();
        const auto shownNow = messages();
        ASSERT_EQ(shownNow.size(), 1u) << file;
        EXPECT_EQ(shownNow.front().text, QString::fromUtf8(text));
        EXPECT_EQ(shownNow.front().style, EMsgStyle::Error);
    }
}

TEST(CarSettingsDialog, TheSelectedRowHasAColourOfItsOwnAndHeadersFitTheirTitles) {
    qtApp();
    setMessageInterceptor([](const ShownMessage&) { return EMsgResult::Ok; });
    CScratchFolder folder;
    const std::string car = folder.path() + "/Opel-Astra-1600/";
    fs::create_directories(car);
    const CarTexts astra = {"Opel", "Astra", "1600", "101", "2003", "2.0", "12"};
    for (const char* id : {"A", "B", "C"}) {
        CSettingsBlock b = factorySettings();
        b.setVersionMark(5);
        b.setIdentity(id);
        CCarInfo::setCarTexts(b, astra);
        b.setTimeStamp(std::string("01-02-2026-09:00:0") + id);
        ASSERT_TRUE(saveSettingsFile(car + id + "-01-02-2026.settings", b));
    }
    CCarSettingsDlg dlg(folder.path() + "/", "A");
    dlg.show();
    child<QPushButton>(dlg, "find")->click();
    auto* list = child<QTableWidget>(dlg, "files");
    ASSERT_EQ(list->rowCount(), 3);
    int own = -1;
    for (int r = 0; r < 3; ++r)
        if (dlg.rowColour(r) == ROW_OWN_CONTROLLER) own = r;
    ASSERT_GE(own, 0);
    const auto colourAt = [&](int row) {
        QApplication::processEvents();
        const QRect cell = list->visualItemRect(list->item(row, 1));
        return QColor(list->viewport()->grab().toImage().pixel(cell.left() + 3, cell.center().y()));
    };
    const QColor orange = winColour(ROW_OWN_CONTROLLER);
    EXPECT_EQ(colourAt(own), orange); // not selected: its own colour
    const int other = own == 0 ? 1 : 0;
    list->selectRow(other);
    EXPECT_EQ(colourAt(other), winColour(ROW_SELECTED));
    list->selectRow(own);
    EXPECT_EQ(colourAt(own), winColour(ROW_SELECTED));
    EXPECT_EQ(colourAt(other), winColour(dlg.rowColour(other)));

    for (int c = 0; c < list->columnCount(); ++c) {
        if (list->isColumnHidden(c)) continue;
        EXPECT_GE(list->columnWidth(c), list->horizontalHeader()->sectionSizeHint(c))
            << list->horizontalHeaderItem(c)->text().toStdString();
        // A cell's text is drawn within the focus frame's margins on both sides.
        const int margins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
        for (int r = 0; r < list->rowCount(); ++r)
            EXPECT_GE(list->columnWidth(c) - margins, list->fontMetrics().horizontalAdvance(list->item(r, c)->text()))
                << list->item(r, c)->text().toStdString();
    }
    setMessageInterceptor({});
}

} // namespace
} // namespace zefirel::test
