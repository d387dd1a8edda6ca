// What a desktop user expects around the program's own texts: Qt's dialogs in
// Polish, menus reachable from the keyboard, a word in the status bar after an
// action succeeded, a hint after a wrong password, the chosen mode pressed, and
// injectors the controller does not have kept out of reach.

#include <QComboBox>
#include <QDialogButtonBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QStandardItemModel>
#include <QTest>

#include "AppTestKit.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/app/LPGBar.h"
#include "ui/diag/DevicePanel.h"
#include "ui/support/PasswdDlg.h"

namespace zefirel::test {
namespace {

/// Each entry's Alt+letter, checked to be there and unique in its list.
void expectOwnMnemonics(const QList<QAction*>& actions, const QString& where) {
    QSet<QString> keys;
    for (QAction* a : actions) {
        if (a->isSeparator()) continue;
        const QKeySequence key = QKeySequence::mnemonic(a->text());
        EXPECT_FALSE(key.isEmpty()) << where.toStdString() << ": " << a->text().toStdString() << " "
                                    << a->objectName().toStdString();
        EXPECT_FALSE(keys.contains(key.toString())) << where.toStdString() << ": " << a->text().toStdString();
        keys.insert(key.toString());
    }
}

TEST_F(AppTest, QtsOwnTextsArePolishAndEveryMenuHasItsAltKeys) {
    startSimulator();
    startProgram();
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Anuluj"));

    expectOwnMnemonics(mainFrame().menuBar()->actions(), QStringLiteral("menu bar"));
    // As a menu opens (an entry renamed by the command update gets its key back).
    for (QMenu* m : mainFrame().topMenus()) {
        emit m->aboutToShow();
        expectOwnMnemonics(m->actions(), withoutMnemonic(m->title()));
    }

    // Mode buttons tell their keys.
    auto* panel = docUi().frame()->panel();
    EXPECT_TRUE(panel->findChild<QPushButton*>(QStringLiteral("btnLpg"))->toolTip().contains(QStringLiteral("Ctrl+L")));
}

TEST_F(AppTest, FinishedActionsSayWhatTheyDidAndAWrongPasswordGetsAHint) {
    startSimulator();
    startProgram();
    CLPGBar* bar = docUi().frame()->bar();
    EXPECT_EQ(bar->level(), QString());

    bool hinted = false;
    onNextModal([&](QWidget* w) {
        auto* dlg = qobject_cast<CPasswdDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("password"));
        auto* ok = dlg->findChild<QPushButton*>(QStringLiteral("ok"));
        edit->setText(QStringLiteral("kotleci"));
        ok->click();
        hinted = dlg->isVisible() && dlg->findChild<QLabel*>(QStringLiteral("hint"))->isVisibleTo(dlg);
        edit->setText(QStringLiteral("KotLeci"));
        ok->click();
    });
    mainFrame().action(ID_UNLOCK)->trigger();
    EXPECT_TRUE(hinted);
    EXPECT_EQ(bar->notice(), QStringLiteral("Odblokowano poziom serwisowy"));
    EXPECT_EQ(bar->level(), QStringLiteral("Poziom: serwisowy"));

    // The chosen work mode stays pressed next to what the controller reports.
    auto* panel = docUi().frame()->panel();
    auto* lpg = panel->findChild<QPushButton*>(QStringLiteral("btnLpg"));
    auto* petrol = panel->findChild<QPushButton*>(QStringLiteral("btnGasoline"));
    lpg->click();
    EXPECT_TRUE(lpg->isChecked());
    EXPECT_FALSE(petrol->isChecked());
    petrol->click();
    EXPECT_TRUE(petrol->isChecked());
    EXPECT_FALSE(lpg->isChecked());

    doc().setAdministratorLevel(true); // no car data asked; the EEPROM entries open
    updateMenus();
    panel->findChild<QPushButton*>(QStringLiteral("btnWrite"))->click();
    EXPECT_EQ(bar->notice(), QStringLiteral("Zapisano ustawienia w sterowniku"));

    mainFrame().action(ID_ERRORS_CLEAR)->trigger();
    EXPECT_EQ(bar->notice(), QStringLiteral("Skasowano błędy — sterownik pracuje na benzynie"));

    // Writing an EEPROM image replaces every setting: it is asked first, and No sends nothing.
    const QString image = QString::fromStdString(m_home.path() + "/copy.eeprom");
    m_nextFile = image;
    mainFrame().action(ID_EEPROM_READ)->trigger();
    EXPECT_EQ(bar->notice(), QStringLiteral("Odczytano EEPROM do pliku ") + image);
    std::vector<ShownMessage> questions;
    setMessageInterceptor([&](const ShownMessage& m) {
        questions.push_back(m);
        return m.style == EMsgStyle::Question ? EMsgResult::No : EMsgResult::Ok;
    });
    mainFrame().action(ID_EEPROM_WRITE)->trigger();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].text.contains(QStringLiteral("zastąpi wszystkie ustawienia sterownika")));
    EXPECT_EQ(bar->notice(), QStringLiteral("Odczytano EEPROM do pliku ") + image); // nothing written
}

TEST_F(AppTest, InjectorsBeyondTheControllersCountCannotBeChosen) {
    sim::SimConfig cfg;
    cfg.injectors = 4;
    startSimulator(cfg);
    startProgram();
    CDevicePanel* panel = docUi().frame()->panel();
    auto* list = panel->findChild<QComboBox*>(QStringLiteral("injector"));
    auto* model = qobject_cast<QStandardItemModel*>(list->model());
    ASSERT_NE(model, nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(model->item(i)->isEnabled(), i < 4) << i;
    panel->selectInjector(3);
    panel->selectInjector(6); // as F6 does
    EXPECT_EQ(panel->injector(), 3);
}

} // namespace
} // namespace zefirel::test
