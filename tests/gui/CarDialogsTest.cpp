// The car information dialog (its OK rule, the injector list, the last car of the
// same controller) and the car settings file list (rows, colours, "Wybierz"), and
// the settings write of the program asking for the car data with the dialog.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <filesystem>

#include "AppTestKit.h"
#include "settings/CarInfo.h"
#include "settings/SettingsCopy.h"
#include "ui/app/DeviceFrm.h"
#include "ui/diag/DevicePanel.h"
#include "ui/settings/CarInfoDlg.h"
#include "ui/settings/CarSettingsDlg.h"

namespace zefirel::test {
namespace {

namespace fs = std::filesystem;

const QString REQUIRED = QString::fromUtf8(MSG_CAR_DATA_REQUIRED);

/// Records the messages the dialogs show instead of showing them.
struct MessageLog {
    MessageLog() {
        qtApp();
        setMessageInterceptor([this](const ShownMessage& m) {
            texts.push_back(m.text);
            return EMsgResult::Ok;
        });
    }
    ~MessageLog() { setMessageInterceptor({}); }
    std::vector<QString> texts;
};

template <class T>
T* child(QWidget& dlg, const char* name) {
    T* w = dlg.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

void enter(CCarInfoDlg& dlg, const CarTexts& t) {
    child<QComboBox>(dlg, "make")->setEditText(qstr(t[0]));
    child<QComboBox>(dlg, "model")->setEditText(qstr(t[1]));
    child<QLineEdit>(dlg, "capacity")->setText(qstr(t[2]));
    child<QLineEdit>(dlg, "power")->setText(qstr(t[3]));
    child<QLineEdit>(dlg, "year")->setText(qstr(t[4]));
    child<QComboBox>(dlg, "injectors")->setEditText(qstr(t[5]));
    child<QLineEdit>(dlg, "flow")->setText(qstr(t[6]));
}

/// A record of a controller as the settings write stores it.
CSettingsBlock stored(const std::string& identity, const CarTexts& car, const std::string& label) {
    CSettingsBlock b = factorySettings();
    b.setVersionMark(5);
    b.setIdentity(identity);
    CCarInfo::setCarTexts(b, car);
    b.setTimeStamp(label);
    return b;
}

const CarTexts ASTRA = {"Opel", "Astra", "1600", "101", "2003", "2.0", "12"};

TEST(CarInfoDialog, OkNeedsMakeModelCapacityPowerAndInjectors) {
    MessageLog log;
    CScratchFolder folder;
    {
        // The nozzle sizes ascend, "2.0" selected.
        CCarInfoDlg dlg(folder.path() + "/", nullptr, CSettingsBlock());
        auto* injectors = child<QComboBox>(dlg, "injectors");
        QStringList items;
        for (int i = 0; i < injectors->count(); ++i) items << injectors->itemText(i);
        EXPECT_EQ(items, (QStringList{"1.0", "1.5", "1.8", "2.0", "2.5", "3.0"}));
        EXPECT_EQ(injectors->currentText(), QStringLiteral("2.0"));
    }
    // A refusal names the first missing field by its label.
    const struct {
        const char* what;
        CarTexts texts;
        const char* missing; // null: accepted
    } cases[] = {
        {"all given", ASTRA, nullptr},
        {"no year and no flow", {"Opel", "Astra", "1600", "101", "", "2.0", ""}, nullptr},
        {"a count of injectors, as --car takes it", {"Opel", "Astra", "1600", "101", "2003", "4", "12"}, nullptr},
        {"no power", {"Opel", "Astra", "1600", "", "2003", "2.0", "12"}, "Moc [KM]"},
        {"no make", {"", "Astra", "1600", "101", "2003", "2.0", "12"}, "Marka pojazdu"},
        {"blank model", {"Opel", "  ", "1600", "101", "2003", "2.0", "12"}, "Model"},
        {"no capacity", {"Opel", "Astra", "", "101", "2003", "2.0", "12"}, "Pojemność silnika"},
        {"no injectors", {"Opel", "Astra", "1600", "101", "2003", "", "12"}, "Zamontowane wtryskiwacze"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        log.texts.clear();
        CCarInfoDlg dlg(folder.path() + "/", nullptr, CSettingsBlock());
        dlg.show();
        enter(dlg, c.texts);
        child<QPushButton>(dlg, "ok")->click();
        const bool accepted = c.missing == nullptr;
        EXPECT_EQ(dlg.result() == QDialog::Accepted, accepted);
        EXPECT_EQ(log.texts, accepted ? std::vector<QString>{}
                                       : std::vector<QString>{REQUIRED + QStringLiteral("\nBrak danych: ") +
                                                              QString::fromUtf8(c.missing)});
        if (accepted) {
            EXPECT_EQ(dlg.texts(), c.texts);
        }
    }
}

TEST(CarInfoDialog, StartsFromTheLastCarOfTheSameControllerOnly) {
    qtApp();
    CScratchFolder folder;
    CMemoryPreferences prefs;
    const std::string path = folder.path() + "/Opel-Astra-1600/ZF-7-08-12-2026.settings";
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(saveSettingsFile(path, stored("ZF-7", ASTRA, "08-12-2026-10:00:00")));
    CCarInfo::rememberLastCar(prefs, path);
    // Two makes offered from the folders.
    fs::create_directories(folder.path() + "/Fiat-Punto-1200");

    CSettingsBlock doc;
    doc.setIdentity("ZF-7");
    CCarInfoDlg same(folder.path() + "/", &prefs, doc);
    EXPECT_EQ(same.texts(), ASTRA);
    EXPECT_EQ(child<QComboBox>(same, "make")->count(), 2);

    doc.setIdentity("ZF-8");
    doc.setCarText(ECarText::make, "Fiat");
    CCarInfoDlg other(folder.path() + "/", &prefs, doc);
    EXPECT_EQ(other.texts(), (CarTexts{"Fiat", "", "", "", "", "2.0", ""}))
        << "another controller's car is not offered: the document's own data are";
}

// Filled from the last car, the dialog keeps every text through the keyboard and
// OK: leaving "Marka pojazdu" matches the make in its list, which must not count as
// choosing another make (that empties capacity, power, year and flow).
TEST(CarInfoDialog, TheRestoredCarSurvivesTabAndOk) {
    MessageLog log;
    CScratchFolder folder;
    CMemoryPreferences prefs;
    // The texts as the command line's --car stores them: injectors as a count.
    const CarTexts car = {"Opel", "Astra", "1600", "101", "2003", "4", "12"};
    const std::string path = folder.path() + "/Opel-Astra-1600/ZF-7-08-12-2026.settings";
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(saveSettingsFile(path, stored("ZF-7", car, "08-12-2026-10:00:00")));
    CCarInfo::rememberLastCar(prefs, path);
    CSettingsBlock doc;
    doc.setIdentity("ZF-7");

    CCarInfoDlg dlg(folder.path() + "/", &prefs, doc);
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    EXPECT_EQ(dlg.texts(), car);
    auto* make = child<QComboBox>(dlg, "make");
    make->setFocus();
    ASSERT_TRUE(waitUntil([&] { return make->hasFocus(); }, 2000));
    for (int field = 0; field < 7; ++field) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(dlg.texts(), car);
    // Choosing the same make again from the list keeps the fields too.
    make->activated(make->findText(QStringLiteral("Opel")));
    EXPECT_EQ(dlg.texts(), car);
    make->setFocus();
    QTest::mouseClick(child<QPushButton>(dlg, "ok"), Qt::LeftButton);
    EXPECT_EQ(log.texts, std::vector<QString>{});
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.texts(), car);
}

TEST(CarSettingsDialog, RowsMarkTheControllersOwnFilesAndWybierzNeedsARow) {
    MessageLog log;
    CScratchFolder folder;
    const std::string car = folder.path() + "/Opel-Astra-1600/";
    fs::create_directories(car);
    ASSERT_TRUE(saveSettingsFile(car + "A-01-02-2026.settings", stored("A", ASTRA, "01-02-2026-09:00:00")));
    ASSERT_TRUE(saveSettingsFile(car + "B-02-02-2026.settings", stored("B", ASTRA, "02-02-2026-09:00:00")));
    ASSERT_TRUE(saveSettingsFile(car + "C-03-02-2026.settings", stored("C", ASTRA, "03-02-2026-09:00:00")));
    ASSERT_TRUE(saveSettingsFile(car + "D-04-02-2026.settings", stored("D", ASTRA, "04-02-2026-09:00:00")));

    CCarSettingsDlg dlg(folder.path() + "/", "C");
    dlg.show();
    EXPECT_EQ(child<QComboBox>(dlg, "capacity")->currentText(), QStringLiteral("1600"));
    child<QPushButton>(dlg, "find")->click();
    auto* list = child<QTableWidget>(dlg, "files");
    ASSERT_EQ(list->rowCount(), 4);
    EXPECT_EQ(list->item(2, 0)->text(), QStringLiteral("03-02-2026-09:00:00"));
    EXPECT_EQ(list->item(2, 5)->text(), QStringLiteral("0.0"));
    EXPECT_EQ(list->item(2, 7)->text(), QStringLiteral("5"));
    EXPECT_EQ((std::vector<uint32_t>{dlg.rowColour(0), dlg.rowColour(1), dlg.rowColour(2), dlg.rowColour(3)}),
              (std::vector<uint32_t>{0xFFFFFF, 0xD2D2D2, 0x1E64D2, 0xD2D2D2}));

    child<QPushButton>(dlg, "choose")->click();
    EXPECT_EQ(log.texts, std::vector<QString>{QString::fromUtf8(MSG_SELECT_SETTINGS)});
    EXPECT_TRUE(dlg.isVisible());

    list->selectRow(1);
    child<QPushButton>(dlg, "chooseAndWrite")->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.chosenPath(), car + "B-02-02-2026.settings");
    EXPECT_TRUE(dlg.writeRequested());
}

// The program: a settings write without car data opens the dialog; its texts go
// into the record and name the car settings file, and are not asked for again.
TEST_F(AppTest, SettingsWriteAsksForTheCarDataWithTheDialog) {
    startSimulator();
    startProgram();
    CDevicePanel* panel = docUi().frame()->panel();
    auto* edit = panel->findChild<QLineEdit*>(QStringLiteral("correctionEdit"));
    auto* write = panel->findChild<QPushButton*>(QStringLiteral("btnWrite"));

    int asked = 0;
    const auto answer = [&](QWidget* w) {
        ++asked;
        auto* dlg = qobject_cast<CCarInfoDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        enter(*dlg, ASTRA);
        child<QPushButton>(*dlg, "ok")->click();
    };
    onNextModal(answer);
    edit->setText(QStringLiteral("1.500"));
    write->click();
    EXPECT_EQ(asked, 1);
    EXPECT_NEAR(m_controller->mainCorrectionMs(), 1.5, 1e-9);
    EXPECT_EQ(doc().settings().carText(ECarText::model), "Astra");
    const std::string last = m_prefs.value(PREF_APP_V52, PREF_LAST_CAR_FILE);
    EXPECT_EQ(fs::path(last).parent_path().filename(), "Opel-Astra-1600");
    EXPECT_TRUE(fs::is_regular_file(last));

    edit->setText(QStringLiteral("1.750"));
    write->click();
    EXPECT_EQ(asked, 1) << "the car data are known for this connection";
    EXPECT_NEAR(m_controller->mainCorrectionMs(), 1.75, 1e-9);
}

} // namespace
} // namespace zefirel::test
