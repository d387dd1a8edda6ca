// The windows' writes on the frames the virtual controller received: a settings
// dialog answered "Nie" or closed with "Anuluj" leaves the controller and the
// document as they were (also for a factory record or a loaded file the panel
// writes later), a restored car file changing the sequence is written between a
// reset and the clearing of the errors with its curve, the map and curve panes of
// a controller found late read it before they offer "Wpisz", and while a setup
// procedure holds the car every other writer is refused.

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <numeric>

#include "AppTestKit.h"
#include "settings/SettingsCopy.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/diag/DevicePanel.h"
#include "ui/map/MapGrid.h"
#include "ui/map/MapView.h"
#include "ui/map/TimeCorrView.h"
#include "ui/settings/CarSettingsDlg.h"
#include "ui/settings/DevSetupDlg.h"

namespace zefirel::test {
namespace {

bool isCommand(const sim::SimRequest& r, uint8_t cmd) {
    return r.type == MSG_TYPE_COMMAND && !r.payload.empty() && r.payload[0] == cmd;
}

class WritePathGui : public AppTest {
protected:
    /// The controller holds a record other than the factory one, a curve and a map.
    void tune() {
        sim::EepromImage e = m_controller->eeprom();
        e[sim::eeprom::SETUP + 19] = 100; // the switch to LPG after 50 s
        e[sim::eeprom::TABLE + 4] = 100 + 6;
        for (size_t i = 0; i < 400; i += 7) e[sim::eeprom::MAP + i] = 110;
        const unsigned sum = std::accumulate(e.begin() + sim::eeprom::MAP, e.begin() + sim::eeprom::MAP + 400, 0u);
        e[sim::eeprom::MAP_CHECKSUM] = static_cast<uint8_t>(sum >> 8);
        e[sim::eeprom::MAP_CHECKSUM + 1] = static_cast<uint8_t>(sum);
        m_controller->setEeprom(e);
    }
    size_t received() const { return m_controller->received().size(); }
    std::vector<sim::SimRequest> since(size_t n) const {
        const auto all = m_controller->received();
        return {all.begin() + static_cast<long>(std::min(n, all.size())), all.end()};
    }
    static bool anyWrite(const std::vector<sim::SimRequest>& rs) {
        return std::any_of(rs.begin(), rs.end(), [](const sim::SimRequest& r) {
            return r.type == MSG_TYPE_SETUP || r.type == MSG_TYPE_TABLE || r.type == MSG_TYPE_EEPROM ||
                   isCommand(r, CMD_CLEAR_ERRORS);
        });
    }
    /// Answers the list of changes (and the closing question) with No, anything else with Yes.
    void answerNoToWrites() {
        setMessageInterceptor([this](const ShownMessage& m) {
            std::lock_guard<std::mutex> g(m_lock);
            m_messages.push_back(m);
            const bool write = m.text.startsWith(QStringLiteral("Zmiany")) ||
                               m.text == QStringLiteral("Czy chcesz wpisać ustawienia do urządzenia?");
            return m.style == EMsgStyle::Question && !write ? EMsgResult::Yes : EMsgResult::No;
        });
    }
    QLineEdit* panelEdit() { return docUi().frame()->panel()->findChild<QLineEdit*>(QStringLiteral("correctionEdit")); }
};

TEST_F(WritePathGui, NoAndCancelInTheSettingsDialogSendNothingAndLeaveTheDocument) {
    startSimulator();
    tune();
    startProgram();
    doc().setCarDataKnown(true);
    const CSettingsBlock docBefore = doc().settings();
    const auto controllerBefore = m_controller->setupRecord();
    answerNoToWrites();
    {
        CDevSetupDlg dlg(doc());
        // A new sequence type, answered "Nie" at the list: nothing is sent.
        dlg.findChild<QRadioButton*>(QStringLiteral("sequenceNon"))->click();
        const size_t start = received();
        EXPECT_FALSE(dlg.onWrite());
        const auto all = messages();
        EXPECT_TRUE(std::any_of(all.begin(), all.end(), [](const ShownMessage& m) {
            return m.text.startsWith(QStringLiteral("Zmiany")) &&
                   m.text.contains(
                       QStringLiteral("Sterowanie wtryskiwaczami benzynowymi (rodzaj sekwencji, sygnał 12 V): 0 → 4"));
        }));
        EXPECT_FALSE(anyWrite(since(start)));
        EXPECT_TRUE(doc().settings() == docBefore) << "the document took the refused sequence";
        // The factory record, then "Anuluj" (the closing question answered "Nie").
        dlg.onFactory();
        dlg.show();
        dlg.reject();
        EXPECT_FALSE(anyWrite(since(start)));
        EXPECT_TRUE(doc().settings() == docBefore);
    }
    EXPECT_EQ(m_controller->setupRecord(), controllerBefore);

    // The panel's next write carries the controller's values, not the factory's.
    setMessageInterceptor({});
    const size_t start = received();
    panelEdit()->setText(QStringLiteral("1.250"));
    docUi().frame()->panel()->onBtnWrite();
    const auto after = m_controller->setupRecord();
    EXPECT_EQ(after[9], 50) << "1.25 ms";
    EXPECT_EQ(after[19], 100) << "the switch delay the controller held, not the factory's 60 s";
    EXPECT_EQ(after[20], controllerBefore[20]) << "the sequence the dialog was refused";
    const auto rs = since(start);
    EXPECT_FALSE(std::any_of(rs.begin(), rs.end(), [](const sim::SimRequest& r) { return isCommand(r, CMD_CLEAR_ERRORS); }));
}

TEST_F(WritePathGui, ClosingTheDialogAsksOnlyWhenItsRecordDiffers) {
    startSimulator();
    startProgram();
    doc().setCarDataKnown(true);
    CDevSetupDlg dlg(doc());
    dlg.show();
    dlg.reject();
    EXPECT_FALSE(shown(QStringLiteral("Czy chcesz wpisać ustawienia do urządzenia?")))
        << "nothing changed: an Enter at the wrong moment must not write the car";
    CDevSetupDlg changed(doc());
    changed.findChild<QLineEdit*>(QStringLiteral("lpgSwitchDelay"))->setText(QStringLiteral("30"));
    changed.show();
    changed.reject();
    EXPECT_TRUE(shown(QStringLiteral("Czy chcesz wpisać ustawienia do urządzenia?")));
    EXPECT_EQ(m_controller->setupRecord()[19], 60) << "answered Yes: written";
}

TEST_F(WritePathGui, ARestoredFileChangingTheSequenceResetsAroundTheWriteAndBringsItsCurve) {
    startSimulator();
    startProgram();
    doc().setCarDataKnown(true);
    CSettingsBlock file = doc().settings();
    file.setVersionMark(5);
    file.setValue(ESetting::petrolInjectionType, 0x02);
    file.setTimeCorrection(9, -4);
    file.setValue(ESetting::optionFlags, 0x01);
    const std::string path = m_home.path() + "/restore.settings";
    ASSERT_TRUE(saveSettingsFile(path, file));
    CDevSetupDlg dlg(doc());
    ASSERT_TRUE(dlg.loadFile(QString::fromStdString(path)));
    const size_t start = received();
    ASSERT_TRUE(dlg.onWrite());
    const auto rs = since(start);
    const auto record = std::find_if(rs.begin(), rs.end(), [](const sim::SimRequest& r) { return r.type == MSG_TYPE_SETUP; });
    ASSERT_NE(record, rs.end());
    EXPECT_TRUE(std::any_of(rs.begin(), record, [](const sim::SimRequest& r) { return isCommand(r, CMD_WORK_GAS); }));
    EXPECT_TRUE(std::any_of(rs.begin(), record, [](const sim::SimRequest& r) { return r.type == MSG_TYPE_TABLE; }))
        << "the file's curve goes before the record that switches it on";
    EXPECT_TRUE(std::any_of(record, rs.end(), [](const sim::SimRequest& r) { return isCommand(r, CMD_CLEAR_ERRORS); }));
    EXPECT_EQ(m_controller->eeprom()[sim::eeprom::TABLE + 9], 100 - 4);
    EXPECT_EQ(m_controller->setupRecord()[20], 0x02);
    EXPECT_TRUE(dlg.lastWriteReset());
}

TEST_F(WritePathGui, PanesOfAControllerFoundLateReadItBeforeTheyWrite) {
    startProgram(); // no controller yet
    doc().setCarDataKnown(true);
    docUi().onCommand(ID_MAP);
    CMapView& map = *docUi().frame()->mapView();
    CTimeCorrView& curve = *docUi().frame()->timeCorrView();
    EXPECT_FALSE(map.writeButton()->isEnabled());
    startSimulator(); // plugged in: the reconnect finds it
    tune();
    ASSERT_TRUE(waitUntil([&] { return doc().isVersionOk() && map.writeButton()->isEnabled(); }, 20000));
    EXPECT_EQ(map.grid()->cellText(0, 0), QStringLiteral("10%")) << "the controller's map was read";
    map.grid()->setCellText(1, 0, QStringLiteral("3"));
    map.writeButton()->click();
    const sim::EepromImage e = m_controller->eeprom();
    EXPECT_EQ(e[sim::eeprom::MAP + 8], 103);
    EXPECT_EQ(e[sim::eeprom::MAP + 7], 110) << "a cell never read was written over";
    EXPECT_EQ(e[sim::eeprom::MAP + 399], 110) << "the last cell";

    QWidget* curvePane = docUi().frame()->findChild<QWidget*>(QStringLiteral("timeCorrPane"));
    ASSERT_TRUE(waitUntil([&] { return curvePane->findChild<QPushButton*>(QStringLiteral("btnTimeCorrWrite"))->isEnabled(); }, 5000));
    EXPECT_EQ(curve.curve()[4], 6.0) << "the controller's curve was read";
    TimeCorrectionCurve edited = curve.curve();
    edited[10] = 2;
    curve.setCurve(edited);
    curve.onTimeCorrSet();
    EXPECT_EQ(m_controller->eeprom()[sim::eeprom::TABLE + 4], 106) << "a point never read was written as 0";
    EXPECT_EQ(m_controller->eeprom()[sim::eeprom::TABLE + 10], 102);
}

TEST_F(WritePathGui, WhileASetupProcedureHoldsTheCarOtherWritersAreRefused) {
    startSimulator();
    startProgram();
    doc().setCarDataKnown(true);
    CDevicePanel& panel = *docUi().frame()->panel();
    {
        const CProcedureHold hold(doc());
        panel.onReadoutTick();
        updateMenus();
        for (const char* name : {"btnWrite", "btnGasoline", "btnLpg", "btnAuto"})
            EXPECT_FALSE(panel.findChild<QPushButton*>(QString::fromLatin1(name))->isEnabled()) << name;
        EXPECT_FALSE(mainFrame().action(ID_MANUAL_SETTINGS)->isEnabled());
        EXPECT_FALSE(mainFrame().action(ID_EEPROM_WRITE)->isEnabled());
        EXPECT_FALSE(docUi().frame()->mapView()->writeButton()->isEnabled());
        // The core refuses too, whatever a window does.
        SettingsWriteRequest q;
        q.wanted = doc().settings();
        q.source = EWriteSource::Panel;
        const size_t start = received();
        EXPECT_EQ(doc().commitSettings(q).outcome, EWriteOutcome::Busy);
        const uint8_t thresholds[4] = {200, 150, 100, 50};
        EXPECT_FALSE(doc().writeLevelCalibration(thresholds));
        const std::array<uint8_t, 16> block{};
        EXPECT_FALSE(doc().writeEeprom(block.data(), 0, 16));
        const auto rs = since(start);
        EXPECT_FALSE(anyWrite(rs));
        EXPECT_TRUE(std::none_of(rs.begin(), rs.end(), [](const sim::SimRequest& r) { return r.type == MSG_TYPE_LEVEL_SENSOR; }));
    }
    panel.onReadoutTick();
    EXPECT_TRUE(panel.findChild<QPushButton*>(QStringLiteral("btnWrite"))->isEnabled());
    EXPECT_TRUE(panel.findChild<QPushButton*>(QStringLiteral("btnLpg"))->isEnabled());
}

} // namespace
} // namespace zefirel::test
