// The level sensor calibration and the controller version dialogs against the
// virtual controller: their menu entries, reads, checks, writes and messages.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <filesystem>
#include <fstream>

#include "AppTestKit.h"
#include "link/LinkTrace.h"
#include "settings/CarInfo.h"
#include "settings/LevelSensor.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/diag/DevicePanel.h"
#include "ui/settings/DevSetupDlg.h"
#include "ui/settings/FuelSensorDlg.h"
#include "ui/settings/LPGDevVersionDlg.h"
#include "ui/support/WriteGate.h"

namespace zefirel::test {
namespace {

namespace fs = std::filesystem;

class SettingsDlgTest : public AppTest {
protected:
    /// Puts level thresholds into the simulator's EEPROM.
    void setSimThresholds(const LevelThresholds& t) {
        sim::EepromImage e = m_controller->eeprom();
        std::copy(t.begin(), t.end(), e.begin() + sim::eeprom::LEVEL);
        m_controller->setEeprom(e);
    }
    LevelThresholds simThresholds() {
        const sim::EepromImage e = m_controller->eeprom();
        LevelThresholds t{};
        std::copy_n(e.begin() + sim::eeprom::LEVEL, 4, t.begin());
        return t;
    }
    template <class W>
    static W* child(QWidget& dlg, const char* name) {
        W* w = dlg.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

uint32_t lamp(CFuelSensorDlg& dlg, int i) {
    return fieldBackground(dlg.findChild<QLabel*>(QStringLiteral("lamp%1").arg(i)));
}

TEST_F(SettingsDlgTest, LevelSensorReadsChecksTheOrderAndWrites) {
    startSimulator();
    startProgram();
    updateMenus();
    EXPECT_TRUE(mainFrame().action(ID_LEVEL_SENSOR)->isEnabled());

    CFuelSensorDlg dlg(doc());
    EXPECT_EQ(dlg.thresholds(), (LevelThresholds{42, 130, 170, 225}));
    EXPECT_EQ(dlg.sensorType(), QStringLiteral("Czujnik AEB1050"));
    EXPECT_EQ(child<QComboBox>(dlg, "sensorType")->count(), 3); // no low-ohm sensors
    EXPECT_TRUE(dlg.timerActive());
    EXPECT_EQ(child<QLineEdit>(dlg, "reading")->text().toUInt(), m_controller->levelReading());

    // Thresholds out of order are refused with both lines and nothing is written.
    for (const LevelThresholds& bad : {LevelThresholds{42, 130, 130, 225}, LevelThresholds{42, 130, 170, 42}}) {
        dlg.setThresholds(bad);
        child<QPushButton>(dlg, "write")->click();
        EXPECT_EQ(messages().back().text, QStringLiteral("Nieprawidłowe wartości.\nPowinny być wprowadzone w "
                                                         "porządku rosnącym lub malejącym."));
        EXPECT_EQ(simThresholds(), (LevelThresholds{42, 130, 170, 225}));
    }
    dlg.setThresholds({225, 170, 130, 42});
    child<QPushButton>(dlg, "write")->click();
    EXPECT_EQ(simThresholds(), (LevelThresholds{225, 170, 130, 42}));

    // Choosing a type loads its set; "Inny" leaves the fields; factory values ask first.
    dlg.setThresholds({1, 2, 3, 4});
    child<QComboBox>(dlg, "sensorType")->setCurrentText(QStringLiteral("Inny"));
    EXPECT_EQ(dlg.thresholds(), (LevelThresholds{1, 2, 3, 4}));
    child<QComboBox>(dlg, "sensorType")->setCurrentText(QStringLiteral("Czujnik rezerwy"));
    EXPECT_EQ(dlg.thresholds(), (LevelThresholds{225, 170, 130, 42}));
    EXPECT_TRUE(dlg.timerActive());
    dlg.setThresholds({1, 2, 3, 4});
    child<QPushButton>(dlg, "factory")->click();
    EXPECT_EQ(messages().back().text, QStringLiteral("Czy chcesz przywrócić ustawienia fabryczne dla czujnika poziomu gazu?"));
    EXPECT_EQ(dlg.thresholds(), (LevelThresholds{42, 130, 170, 225}));
    EXPECT_EQ(dlg.sensorType(), QStringLiteral("Czujnik AEB1050"));
    EXPECT_EQ(simThresholds(), (LevelThresholds{225, 170, 130, 42})); // not written

    // Closing asks; Yes writes the fields, and the dialog closes even when the
    // thresholds are refused.
    dlg.show();
    dlg.reject();
    EXPECT_EQ(messages().back().text, QStringLiteral("Czy chcesz wpisać ustawienia do urządzenia?"));
    EXPECT_EQ(simThresholds(), (LevelThresholds{42, 130, 170, 225}));
    EXPECT_FALSE(dlg.isVisible());
    dlg.show();
    dlg.setThresholds({1, 1, 1, 1});
    dlg.accept();
    EXPECT_TRUE(shown(QString::fromUtf8(MSG_LEVEL_ORDER)));
    EXPECT_FALSE(dlg.isVisible());
}

// Every button that writes to the controller is offered only while one is connected,
// also in a dialog that stays open while the line goes dead.
TEST_F(SettingsDlgTest, WriteButtonsAreOfferedOnlyWhileAControllerIsConnected) {
    startSimulator();
    startProgram();
    CFuelSensorDlg level(doc());
    CLPGDevVersionDlg version(doc());
    CDevSetupDlg settings(doc());
    QWidget& panel = *docUi().frame()->panel();
    const auto offered = [&] {
        return std::vector<bool>{child<QPushButton>(level, "write")->isEnabled(),
                                 child<QPushButton>(version, "write")->isEnabled(),
                                 child<QPushButton>(settings, "writeDevice")->isEnabled(),
                                 child<QPushButton>(panel, "btnWrite")->isEnabled(),
                                 child<QWidget>(panel, "correctionSpin")->isEnabled()};
    };
    EXPECT_EQ(offered(), std::vector<bool>(5, true));
    m_server->setMuted(true);
    ASSERT_TRUE(waitUntil([&] { return !doc().isVersionOk(); }, 20000));
    EXPECT_TRUE(waitUntil([&] { return offered() == std::vector<bool>(5, false); }, 3000))
        << "level, version, settings, panel Wpisz, spin: " << ::testing::PrintToString(offered());
    m_server->setMuted(false);
}

TEST_F(SettingsDlgTest, LowOhmSensorIsRecognisedAndTheReserveLampBlinks) {
    sim::SimConfig cfg;
    cfg.featureMask |= FEATURE_LOW_OHM_LEVEL;
    startSimulator(cfg);
    setSimThresholds({119, 112, 106, 103});
    startProgram();
    CFuelSensorDlg dlg(doc());
    EXPECT_EQ(dlg.sensorType(), QStringLiteral("Czujnik 90 ohm"));
    EXPECT_EQ(child<QComboBox>(dlg, "sensorType")->count(), 4);

    // Rising thresholds far below the reading: the tank is in the reserve.
    ASSERT_GT(m_controller->levelReading(), 3);
    dlg.setThresholds({0, 1, 2, 3});
    std::vector<uint32_t> quarter;
    for (int tick = 0; tick < 4; ++tick) {
        dlg.onTimer();
        dlg.waitReading();
        quarter.push_back(lamp(dlg, 3));
        for (int i = 0; i < 3; ++i) EXPECT_EQ(lamp(dlg, i), LAMP_OFF);
    }
    EXPECT_EQ(quarter, (std::vector<uint32_t>{LAMP_RED, LAMP_OFF, LAMP_RED, LAMP_OFF}));
    // Rising thresholds above the reading: full, every lamp lit.
    dlg.setThresholds({252, 253, 254, 255});
    dlg.onTimer();
    dlg.waitReading();
    EXPECT_EQ((std::array<uint32_t, 4>{lamp(dlg, 0), lamp(dlg, 1), lamp(dlg, 2), lamp(dlg, 3)}),
              (std::array<uint32_t, 4>{LAMP_GREEN, LAMP_GREEN, LAMP_YELLOW, LAMP_RED}));
}

// The identity is CP1250 bytes in the controller, as every text of it: read as
// Polish letters, written back as CP1250 (16 letters fit), and the car settings
// file is named with the same letters.
TEST_F(SettingsDlgTest, TheIdentityIsCp1250InTheControllerAndPolishLettersOnScreen) {
    sim::SimConfig cfg;
    cfg.identity = "WARSZTAT-\xA3\xD3" "D\x8F-7"; // "WARSZTAT-ŁÓDŹ-7"
    startSimulator(cfg);
    startProgram();
    doc().setAdministratorLevel(true);
    const std::string lodz = "WARSZTAT-ŁÓDŹ-7";
    EXPECT_EQ(doc().settings().identity(), lodz);
    CSettingsBlock named = doc().settings();
    named.setCarText(ECarText::make, "Opel");
    named.setCarText(ECarText::model, "Astra");
    named.setCarText(ECarText::capacity, "1600");
    named.setTimeStamp("08-12-2026-10:00:00");
    EXPECT_EQ(fs::path(CCarInfo::lookUpPath(m_home.path(), named)).filename().string(),
              lodz + "-08-12-2026.settings");

    CLPGDevVersionDlg dlg(doc());
    auto* identity = child<QLineEdit>(dlg, "identity");
    EXPECT_EQ(identity->text(), QString::fromStdString(lodz));
    identity->setText(QStringLiteral("WARSZTAT-ŻÓŁW-ĘĄ")); // 16 letters, 21 bytes in UTF-8
    child<QLineEdit>(dlg, "programmingDate")->setText(QStringLiteral("15/03/2026"));
    const size_t before = messages().size();
    child<QPushButton>(dlg, "write")->click();
    EXPECT_EQ(messages().size(), before);
    EXPECT_EQ(m_controller->identity(), "WARSZTAT-\xAF\xD3\xA3W-\xCA\xA5");
    identity->clear();
    child<QPushButton>(dlg, "read")->click();
    EXPECT_EQ(identity->text(), QStringLiteral("WARSZTAT-ŻÓŁW-ĘĄ"));
}

TEST_F(SettingsDlgTest, VersionDialogReadsWritesAndRoundTripsTheIdentity) {
    sim::SimConfig cfg;
    cfg.programmingDate = 0;
    cfg.identity = "PL-7-ZEF";
    startSimulator(cfg);
    startProgram();
    updateMenus();
    EXPECT_FALSE(mainFrame().action(ID_DEVICE_VERSION)->isEnabled()); // administrator only
    doc().setAdministratorLevel(true);
    updateMenus();
    EXPECT_TRUE(mainFrame().action(ID_DEVICE_VERSION)->isEnabled());

    QString opened;
    onNextModal([&](QWidget* w) {
        auto* dlg = qobject_cast<CLPGDevVersionDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        opened = child<QLineEdit>(*dlg, "programmingDate")->text() + " " + child<QLineEdit>(*dlg, "identity")->text();
        dlg->reject();
    });
    mainFrame().action(ID_DEVICE_VERSION)->trigger();
    EXPECT_EQ(opened, QStringLiteral("01/04/2004 PL-7-ZEF"));

    CLPGDevVersionDlg dlg(doc());
    EXPECT_EQ(child<QSpinBox>(dlg, "version")->value(), 5);
    EXPECT_EQ(child<QSpinBox>(dlg, "injectors")->value(), 4);
    child<QLineEdit>(dlg, "identity")->setText(QStringLiteral("NOWY-ID-42"));
    child<QSpinBox>(dlg, "injectors")->setValue(6);
    // A date of 8 characters makes "Wpisz" do nothing at all.
    child<QLineEdit>(dlg, "programmingDate")->setText(QStringLiteral("1/4/2004"));
    const size_t before = messages().size();
    child<QPushButton>(dlg, "write")->click();
    EXPECT_EQ(messages().size(), before);
    EXPECT_EQ(m_controller->identity(), "PL-7-ZEF");
    // Ten characters that are no date are refused with a message.
    child<QLineEdit>(dlg, "programmingDate")->setText(QStringLiteral("31/02/2026"));
    EXPECT_FALSE(dlg.onWrite());
    EXPECT_EQ(messages().back().style, EMsgStyle::Error);
    EXPECT_EQ(m_controller->identity(), "PL-7-ZEF");

    child<QLineEdit>(dlg, "programmingDate")->setText(QStringLiteral("15/03/2026"));
    child<QPushButton>(dlg, "write")->click();
    EXPECT_EQ(m_controller->identity(), "NOWY-ID-42");
    child<QLineEdit>(dlg, "identity")->clear();
    child<QLineEdit>(dlg, "programmingDate")->clear();
    child<QPushButton>(dlg, "read")->click();
    EXPECT_EQ(child<QLineEdit>(dlg, "identity")->text(), QStringLiteral("NOWY-ID-42"));
    EXPECT_EQ(child<QLineEdit>(dlg, "programmingDate")->text(), QStringLiteral("15/03/2026"));
    EXPECT_EQ(child<QSpinBox>(dlg, "injectors")->value(), 6);

    // A controller that garbles every version answer: ten tries of the request
    // padded to 26 bytes, then the message, and the fields keep their values.
    doc().diagnosticsOnFlag().store(0);
    doc().stopDiagnostics();
    ASSERT_TRUE(doc().waitInputThread(3000));
    CLinkTrace trace;
    ASSERT_TRUE(trace.open(m_home.path() + "/link.trace"));
    doc().setTrace(&trace);
    sim::SimFaults f;
    f.badChecksumCommand = CMD_VERSION;
    m_server->setFaults(f);
    EXPECT_FALSE(dlg.onRead());
    EXPECT_EQ(messages().back().text, QStringLiteral("Nie powiodło się odczytanie ustawień urządzenia!"));
    EXPECT_EQ(messages().back().style, EMsgStyle::Error);
    EXPECT_EQ(child<QLineEdit>(dlg, "identity")->text(), QStringLiteral("NOWY-ID-42"));
    doc().setTrace(nullptr);
    trace.close();
    std::ifstream in(m_home.path() + "/link.trace");
    int tries = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find("TX  AA 55 1A 04 0D 00") != std::string::npos) ++tries;
    EXPECT_EQ(tries, 10);
}

} // namespace
} // namespace zefirel::test
