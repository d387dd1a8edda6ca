// The device settings dialog against the virtual controller: what it shows for the
// controller's features and the access level, the main-correction mirroring, the
// injector types, the reset around a sequence change, the list of changes before a
// write, a refused file, a failing controller and the error check of its command.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <fstream>

#include "AppTestKit.h"
#include "settings/SettingsCopy.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/diag/DisplayView.h"
#include "ui/chart/Chart.h"
#include "ui/settings/CarSettingsDlg.h"
#include "ui/settings/DevSetupDlg.h"
#include "ui/support/ErrCodesDlg.h"

namespace zefirel::test {
namespace {

class DevSetupTest : public AppTest {
protected:
    template <class W>
    static W* child(QWidget& dlg, const char* name) {
        W* w = dlg.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static QString text(QWidget& dlg, const char* name) { return child<QLineEdit>(dlg, name)->text(); }
    static QStringList types(QWidget& dlg) {
        QStringList l;
        auto* box = child<QComboBox>(dlg, "lpgInjectorType");
        for (int i = 0; i < box->count(); ++i) l << box->itemText(i);
        return l;
    }
    /// Connected (diagnostics running) with the car data given.
    void startConnected(const sim::SimConfig& cfg = {}) {
        startSimulator(cfg);
        startProgram();
        doc().setCarDataKnown(true);
    }
};

TEST_F(DevSetupTest, MainCorrectionMirrorsAndInjectorTypesFollowTheLevel) {
    startConnected();
    CDevSetupDlg dlg(doc());
    // The simulator's features: a second main correction for 4 injectors, no
    // injector types, no service level yet.
    EXPECT_FALSE(child<QWidget>(dlg, "injector1197")->isHidden());
    EXPECT_TRUE(child<QWidget>(dlg, "injector1200")->isHidden()); // injector 5 of 4
    auto* main = child<QLineEdit>(dlg, "mainCorrection");
    main->clear();
    QTest::keyClicks(main, QStringLiteral("2.35"));
    EXPECT_EQ(text(dlg, "mainCorrection2"), QStringLiteral("2.35"));
    child<QCheckBox>(dlg, "injector1196")->click();
    QTest::keyClicks(main, QStringLiteral("5"));
    EXPECT_EQ(text(dlg, "mainCorrection2"), QStringLiteral("2.35")); // an injector has its own now

    EXPECT_EQ(types(dlg), (QStringList{"VALTEK 3.5R", "C & C 5R", "REG 8R", "KEIHIN 2.5R", "MATRIX", "RIS 5R"}));
    EXPECT_TRUE(child<QLineEdit>(dlg, "voltageLimit")->isHidden());
    EXPECT_TRUE(child<QLineEdit>(dlg, "voltageLimitDelay")->isHidden());
    EXPECT_TRUE(child<QWidget>(dlg, "supplyVoltageGroup")->isHidden());
    // A record with limit values of no known type selects "INNE", added for it.
    CSettingsBlock sixty = dlg.record();
    sixty.setValue(ESetting::voltageLimit, 60);
    dlg.setRecord(sixty);
    EXPECT_EQ(types(dlg).last(), QStringLiteral("INNE"));
    EXPECT_EQ(child<QComboBox>(dlg, "lpgInjectorType")->currentText(), QStringLiteral("INNE"));

    doc().setServiceLevel(true);
    CDevSetupDlg service(doc());
    EXPECT_EQ(types(service).last(), QStringLiteral("INNE"));
    EXPECT_FALSE(child<QLineEdit>(service, "voltageLimit")->isHidden());
    EXPECT_FALSE(child<QWidget>(service, "supplyVoltageGroup")->isHidden());
    auto* list = child<QComboBox>(service, "lpgInjectorType");
    const struct {
        const char* type;
        const char* limit;
        const char* delay;
        bool enabled;
    } cases[] = {{"MATRIX", "35", "2", false}, {"INNE", "35", "2", true}, {"RIS 5R", "50", "3.5", false}};
    for (const auto& c : cases) {
        list->setCurrentText(QString::fromUtf8(c.type));
        EXPECT_EQ(text(service, "voltageLimit"), QString::fromUtf8(c.limit)) << c.type;
        EXPECT_EQ(text(service, "voltageLimitDelay"), QString::fromUtf8(c.delay)) << c.type;
        EXPECT_EQ(child<QLineEdit>(service, "voltageLimit")->isEnabled(), c.enabled) << c.type;
        EXPECT_EQ(child<QLineEdit>(service, "voltageLimitDelay")->isEnabled(), c.enabled) << c.type;
    }
}

TEST_F(DevSetupTest, InjectorTypeCodesSelectTheirTypeWithTheFeature) {
    sim::SimConfig cfg;
    cfg.featureMask |= FEATURE_LPG_INJECTOR_TYPES;
    startConnected(cfg);
    CDevSetupDlg dlg(doc());
    for (const auto& [code, type] : std::initializer_list<std::pair<int, const char*>>{
             {6, "KEIHIN 2.5R"}, {4, "RIS 5R"}, {0, "INNE"}, {9, "INNE"}}) {
        CSettingsBlock typed = dlg.record();
        typed.setValue(ESetting::lpgInjectorType, code);
        dlg.setRecord(typed);
        EXPECT_EQ(child<QComboBox>(dlg, "lpgInjectorType")->currentText(), QString::fromUtf8(type)) << code;
        EXPECT_EQ(child<QLineEdit>(dlg, "voltageLimit")->isEnabled(), code == 0) << code;
    }
}

TEST_F(DevSetupTest, OnlyAChangedSequenceResetsTheControllerAroundTheWrite) {
    startConnected();
    CDevSetupDlg dlg(doc());
    ASSERT_TRUE(dlg.onRead());

    // Another main correction: written, no reset (the controller stays on LPG and
    // keeps its errors).
    ASSERT_TRUE(doc().setWorkLpg());
    m_controller->setErrors({0, 0, 0x02});
    child<QLineEdit>(dlg, "mainCorrection")->setText(QStringLiteral("2.5"));
    ASSERT_TRUE(dlg.onWrite());
    EXPECT_FALSE(dlg.lastWriteReset());
    EXPECT_EQ(m_controller->setupRecord()[9], 100); // 2.5 ms in ticks
    EXPECT_EQ(m_controller->mode(), sim::EWorkMode::Lpg);
    EXPECT_EQ(m_controller->errors()[2], 0x02);
    EXPECT_TRUE(shown(QStringLiteral("Zmiany względem ustawień sterownika:\nmainCorrection: 1 → 2.5\n\nCzy chcesz "
                                     "wpisać ustawienia do urządzenia?")));

    // A new sequence type: reset to petrol first, the errors cleared after.
    child<QRadioButton>(dlg, "sequenceNon")->click();
    ASSERT_TRUE(dlg.onWrite());
    EXPECT_TRUE(dlg.lastWriteReset());
    EXPECT_EQ(m_controller->setupRecord()[20], 0x04);
    EXPECT_EQ(m_controller->mode(), sim::EWorkMode::Petrol);
    EXPECT_EQ(m_controller->errors()[2], 0);

    // Answering No to the list of changes writes nothing.
    setMessageInterceptor([this](const ShownMessage& m) {
        std::lock_guard<std::mutex> g(m_lock);
        m_messages.push_back(m);
        return m.text.startsWith(QStringLiteral("Zmiany")) ? EMsgResult::No : EMsgResult::Yes;
    });
    child<QLineEdit>(dlg, "mainCorrection")->setText(QStringLiteral("3"));
    EXPECT_FALSE(dlg.onWrite());
    EXPECT_EQ(m_controller->setupRecord()[9], 100);

    // Closing during diagnostics asks whether to write; Yes writes, then it closes.
    setMessageInterceptor([this](const ShownMessage& m) {
        std::lock_guard<std::mutex> g(m_lock);
        m_messages.push_back(m);
        return EMsgResult::Yes;
    });
    dlg.show();
    dlg.reject();
    EXPECT_TRUE(shown(QStringLiteral("Czy chcesz wpisać ustawienia do urządzenia?")));
    EXPECT_EQ(m_controller->setupRecord()[9], 120);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(DevSetupTest, ACarSettingsFileChosenForWritingIsRestoredToTheController) {
    startConnected();
    doc().updateSettings([](CSettingsBlock& b) {
        b.setCarText(ECarText::make, "Opel");
        b.setCarText(ECarText::model, "Astra");
        b.setCarText(ECarText::capacity, "1600");
    });
    CDevSetupDlg dlg(doc());
    child<QLineEdit>(dlg, "mainCorrection")->setText(QStringLiteral("2.5"));
    ASSERT_TRUE(dlg.onWrite()); // leaves today's car settings file
    sim::EepromImage e = m_controller->eeprom();
    e[sim::eeprom::SETUP + 9] = 40; // the controller's correction changed since: 1.0 ms
    m_controller->setEeprom(e);

    onNextModal([](QWidget* w) {
        auto* list = qobject_cast<CCarSettingsDlg*>(w);
        ASSERT_NE(list, nullptr);
        list->onFind();
        list->findChild<QTableWidget*>(QStringLiteral("files"))->selectRow(0);
        list->onChooseAndWrite();
    });
    dlg.onFile();
    EXPECT_EQ(text(dlg, "mainCorrection"), QStringLiteral("2.5"));
    EXPECT_EQ(m_controller->setupRecord()[9], 100);
}

TEST_F(DevSetupTest, RefusedFilesAndAFailingControllerLeaveTheDialogUsable) {
    startConnected();
    CDevSetupDlg dlg(doc());
    dlg.show();
    const CSettingsBlock before = doc().settings();
    CSettingsBlock other = factorySettings();
    other.setVersionMark(4);
    other.setMainCorrection(4.0);
    const std::string path = m_home.path() + "/v4.settings";
    ASSERT_TRUE(saveSettingsFile(path, other));
    EXPECT_FALSE(dlg.loadFile(QString::fromStdString(path)));
    EXPECT_EQ(messages().back().text,
              QStringLiteral("Nie można użyć pliku, ponieważ został utworzony inną wersją aplikacji."));
    EXPECT_EQ(doc().settings(), before);

    // Garbled answers: the Part's messages, and the dialog stays open and enabled.
    sim::SimFaults f;
    f.badChecksumCommand = CMD_SETUP;
    m_server->setFaults(f);
    EXPECT_FALSE(dlg.onRead());
    EXPECT_EQ(messages().back().text, QStringLiteral("Nie powiodło się odczytanie ustawień urządzenia!"));
    f.badChecksumCommand = CMD_VERSION;
    m_server->setFaults(f);
    EXPECT_FALSE(dlg.onWrite());
    EXPECT_EQ(messages().back().text, QStringLiteral("Nie powiodło się ustawienie urządzenia!"));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(child<QPushButton>(dlg, "writeDevice")->isEnabled());
}

TEST_F(DevSetupTest, TheMenuCommandChecksErrorsFirstAndSnapshotsMoveTheCharts) {
    startSimulator();
    startProgram();
    doc().setCarDataKnown(true);
    updateMenus();
    ASSERT_TRUE(mainFrame().action(ID_MANUAL_SETTINGS)->isEnabled());
    m_controller->setErrors({0x01});
    bool errorsShown = false;
    onNextModal([&](QWidget* w) {
        errorsShown = qobject_cast<CErrCodesDlg*>(w) != nullptr;
        w->close();
    });
    mainFrame().action(ID_MANUAL_SETTINGS)->trigger();
    EXPECT_TRUE(shown(QStringLiteral("Sterownik LPG sygnalizuje błędy!\nSkasuj błędy i ponownie wczytaj ustawienia")));
    EXPECT_TRUE(errorsShown);

    // Without errors the dialog opens; a write during diagnostics lands in the
    // recording's settings list.
    m_controller->setErrors({});
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 3; }, 5000));
    int rows = -1;
    onNextModal([&](QWidget* w) {
        auto* dlg = qobject_cast<CDevSetupDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        child<QLineEdit>(*dlg, "mainCorrection")->setText(QStringLiteral("1.5"));
        dlg->onWrite();
        rows = dlg->snapshotCount();
        child<QLineEdit>(*dlg, "mainCorrection")->setText(QStringLiteral("0.5"));
        dlg->applySnapshot(rows - 1);
        EXPECT_EQ(text(*dlg, "mainCorrection"), QStringLiteral("1.5"));
        dlg->done(QDialog::Rejected);
    });
    mainFrame().action(ID_MANUAL_SETTINGS)->trigger();
    EXPECT_GE(rows, 1);

    // With no live run the charts move to the snapshot's samples.
    docUi().showSnapshotWindow(2000, true);
    EXPECT_EQ(docUi().frame()->displayView()->chart().XMin(), 2000);
    EXPECT_EQ(docUi().frame()->displayView()->chart().XMax(), 3000);
    EXPECT_EQ(docUi().frame()->displayView()->chart().XGrid(), 100);
}

} // namespace
} // namespace zefirel::test
