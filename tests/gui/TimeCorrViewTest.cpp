// The time correction pane against the virtual controller: editing points with the
// arrows and check boxes, interpolation, writing the curve with its in-use flag,
// the recording's curve after a replay, no controller, and the operating-point mark.

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "AppTestKit.h"
#include "diag/Companion.h"
#include "diag/DiagUnits.h"
#include "map/TimeCorrections.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/map/TimeCorrView.h"

namespace zefirel::test {
namespace {

class TimeCorrViewTest : public AppTest {
protected:
    CTimeCorrView& view() { return *docUi().frame()->timeCorrView(); }
    template <class W>
    W* child(const QString& name) {
        W* w = view().findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QString valueText(int i) { return child<QLineEdit>(QStringLiteral("value%1").arg(i))->text(); }
    void press(const char* arrow, int point, int times = 1) {
        for (int n = 0; n < times; ++n) child<QToolButton>(QStringLiteral("%1%2").arg(QLatin1String(arrow)).arg(point))->click();
    }
    /// The controller's stored curve and its in-use flag.
    TimeCorrectionCurve simCurve() {
        const sim::EepromImage e = m_controller->eeprom();
        TimeCorrectionCurve c{};
        for (size_t i = 0; i < c.size(); ++i) c[i] = e[sim::eeprom::TABLE + i] - 100.0;
        return c;
    }
    bool simFlag() {
        CSettingsBlock blk;
        decodeSettings(blk, m_controller->setupRecord().data());
        return (blk.optionFlags() & OPTION_FLAG_TIME_CORRECTIONS) != 0;
    }
};

TEST_F(TimeCorrViewTest, ArrowsEditCheckedPointsAndTheRestFollowTheLine) {
    startWithoutDiagnostics();
    EXPECT_TRUE(view().markTimerActive());
    // Unchecked points cannot be edited.
    EXPECT_FALSE(child<QToolButton>(QStringLiteral("spinUp24"))->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(QStringLiteral("value24"))->isEnabled());
    child<QCheckBox>(QStringLiteral("check0"))->click();
    child<QCheckBox>(QStringLiteral("check24"))->click();
    EXPECT_TRUE(view().chart().IsEdited(24));
    EXPECT_TRUE(child<QToolButton>(QStringLiteral("spinUp24"))->isEnabled());

    // 0 and 24 checked at 0 and 12; raising 24 to 13 puts 12 at round(6.5) = 7.
    press("spinUp", 24, 12);
    EXPECT_EQ(valueText(12), QStringLiteral("6"));
    press("spinUp", 24);
    EXPECT_EQ(valueText(24), QStringLiteral("13"));
    EXPECT_EQ(valueText(12), QStringLiteral("7"));
    EXPECT_EQ(doc().settings().timeCorrection(12), 7.0) << "interpolated values go into the curve";
    EXPECT_EQ(doc().settings().timeCorrection(23), 12.0); // 13 × 23 / 24 = 12.46
    EXPECT_EQ(view().chart().Points().at(12).y, 7.0);

    // At the limit the arrow does nothing at all, not even the interpolation.
    press("spinUp", 24, 12);
    EXPECT_EQ(valueText(24), QStringLiteral("25"));
    doc().settings().setTimeCorrection(12, 3);
    press("spinUp", 24);
    EXPECT_EQ(doc().settings().timeCorrection(24), 25.0);
    EXPECT_EQ(doc().settings().timeCorrection(12), 3.0);
    press("spinDown", 24);
    EXPECT_EQ(valueText(24), QStringLiteral("24"));
    EXPECT_EQ(valueText(12), QStringLiteral("12"));

    // Editing is local: the controller still holds its flat curve.
    EXPECT_EQ(simCurve(), TimeCorrectionCurve{});
}

TEST_F(TimeCorrViewTest, WritingStoresTheCurveWithItsInUseFlag) {
    startWithoutDiagnostics();
    QPushButton* write = child<QPushButton>(QStringLiteral("btnTimeCorrWrite"));
    ASSERT_TRUE(write->isEnabled());

    // Without car data (the dialog cancelled) nothing is written.
    doc().settings().setTimeCorrection(24, -1);
    onNextModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    write->click();
    EXPECT_TRUE(shown(QStringLiteral("Musisz podać dane dotyczące samochodu i zamontowanej instalacji")));
    EXPECT_EQ(simCurve(), TimeCorrectionCurve{});
    EXPECT_FALSE(simFlag());

    doc().setAdministratorLevel(true); // car data not needed from here on
    struct Case {
        const char* what;
        std::function<void()> edit;
        double at24;
        bool flag;
    };
    const Case cases[] = {
        {"one point of -1 switches the curve on", [&] { doc().settings().setTimeCorrection(24, -1); }, -1, true},
        {"\"Kasuj poprawki\" and a write switch it off", [&] { child<QPushButton>(QStringLiteral("btnTimeCorrClear"))->click(); },
         0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.edit();
        EXPECT_NE(simCurve()[24], c.at24) << "nothing is sent before \"Wpisz do urządzenia\"";
        write->click();
        EXPECT_EQ(simCurve()[24], c.at24);
        EXPECT_EQ(simFlag(), c.flag);
    }
    EXPECT_EQ(valueText(24), QStringLiteral("0"));

    // A read shows what the controller holds.
    TimeCorrectionCurve stored{};
    stored[5] = 12;
    stored[6] = -30; // beyond the edit limit: shown as read
    sim::EepromImage e = m_controller->eeprom();
    for (size_t i = 0; i < stored.size(); ++i) e[sim::eeprom::TABLE + i] = static_cast<uint8_t>(stored[i] + 100);
    m_controller->setEeprom(e);
    child<QPushButton>(QStringLiteral("btnTimeCorrRead"))->click();
    EXPECT_EQ(valueText(5), QStringLiteral("12"));
    EXPECT_EQ(valueText(6), QStringLiteral("-30"));
    EXPECT_EQ(view().chart().Points().at(6).y, -30.0);
    EXPECT_EQ(view().chart().Points().at(3).y, 0.0) << "a read shows the points without interpolating";

    // A lost line meets the write with the handler's message, not a crash.
    m_server->closeLine();
    ASSERT_TRUE(waitUntil([&] { return m_server->lineClosed(); }, 2000));
    write->click();
    EXPECT_TRUE(messages().back().text.contains(QStringLiteral("CTimeCorrView::onTimeCorrSet()")));
}

TEST_F(TimeCorrViewTest, WithoutAVersionCheckedControllerNothingIsAsked) {
    sim::SimConfig cfg;
    cfg.versionWord = 6; // the link is up, the version check fails
    startSimulator(cfg);
    startProgram();
    ASSERT_FALSE(doc().isVersionOk());
    for (const char* name : {"btnTimeCorrRead", "btnTimeCorrWrite"})
        EXPECT_FALSE(child<QPushButton>(QString::fromLatin1(name))->isEnabled()) << name;
    const uint64_t before = m_server->requestCount();
    CTimeCorrView fresh(doc());
    fresh.initialUpdate();
    fresh.onTimeCorrGet();
    pump(200);
    EXPECT_EQ(m_server->requestCount(), before);
}

TEST_F(TimeCorrViewTest, AfterAReplayTheRecordingsCurveIsShownWithoutAsking) {
    startWithoutDiagnostics();
    const std::string recording = m_home.path() + "/drive.lpgd";
    CSettingsBlock withCurve = doc().settings();
    withCurve.setTimeCorrection(7, 9);
    ASSERT_TRUE(appendCompanionRecord(companionPath(recording), withCurve));
    doc().setRecordingPath(recording); // as a finished replay leaves it
    const uint64_t before = m_server->requestCount();
    child<QPushButton>(QStringLiteral("btnTimeCorrRead"))->click();
    EXPECT_EQ(valueText(7), QStringLiteral("9"));
    EXPECT_EQ(m_server->requestCount(), before);
}

TEST_F(TimeCorrViewTest, TheNewestSamplesPetrolTimeIsMarked) {
    startSimulator();
    startProgram();
    ASSERT_TRUE(doc().diagnosticsOn());
    CTimeCorrView& v = view();
    ASSERT_TRUE(waitUntil([&] { return v.chart().Highlight() > 0; }, 3000));
    mainFrame().action(ID_DIAGNOSTIC)->trigger();
    ASSERT_TRUE(doc().waitInputThread(3000));
    pump(300); // the mark follows the last sample within a tick
    CDiag newest;
    ASSERT_TRUE(doc().diagData().getLast(newest));
    EXPECT_DOUBLE_EQ(v.chart().Highlight(), petrolMs(newest));

    // Drawn red in the column of that time, over the whole plot height.
    v.resize(v.minimumSize());
    const QImage img = v.grab().toImage();
    const int x = v.chart().XToPixel(v.chart().Highlight()) + 6;
    for (double y : {20.0, -20.0})
        EXPECT_EQ(QColor(img.pixel(x, v.chart().YToPixel(y))), QColor(255, 0, 0)) << y;

    // An empty store marks nothing.
    doc().diagData().clear();
    v.onMarkTimer();
    EXPECT_EQ(v.chart().Highlight(), 0.0);
}

} // namespace
} // namespace zefirel::test
