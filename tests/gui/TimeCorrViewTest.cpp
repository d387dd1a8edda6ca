// The time correction pane against the virtual controller: editing checked points
// with the arrows, interpolation, writing the curve with its in-use flag, the
// recording's curve, no controller, and the operating-point mark.

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <fstream>

#include "AppTestKit.h"
#include "diag/Companion.h"
#include "diag/DiagUnits.h"
#include "map/TimeCorrections.h"
#include "ui/app/DeviceFrm.h"
#include "ui/map/TimeCorrView.h"

namespace zefirel::test {
namespace {

class TimeCorrViewTest : public AppTest {
protected:
    CTimeCorrView& view() { return *docUi().frame()->timeCorrView(); }
    /// A control of the curve's pane: the view's, or a button in the bar under it.
    template <class W>
    W* child(const QString& name) {
        W* w = docUi().frame()->findChild<QWidget*>(QStringLiteral("timeCorrPane"))->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QString value(int i) { return child<QLineEdit>(QStringLiteral("value%1").arg(i))->text(); }
    void click(const QString& name) { child<QAbstractButton>(name)->click(); }
    void press(const char* arrow, int point, int times = 1) {
        for (int n = 0; n < times; ++n) click(QStringLiteral("%1%2").arg(QLatin1String(arrow)).arg(point));
    }
    /// The controller's stored point and the curve's in-use flag.
    int simPoint(size_t i) { return m_controller->eeprom()[sim::eeprom::TABLE + i] - 100; }
    bool simFlag() {
        CSettingsBlock blk;
        decodeSettings(blk, m_controller->setupRecord().data());
        return (blk.optionFlags() & OPTION_FLAG_TIME_CORRECTIONS) != 0;
    }
};

TEST_F(TimeCorrViewTest, ArrowsEditCheckedPointsAndTheRestFollowTheLine) {
    startWithoutDiagnostics();
    EXPECT_FALSE(child<QToolButton>(QStringLiteral("spinUp24"))->isEnabled()) << "unchecked points are not edited";
    click(QStringLiteral("check0"));
    click(QStringLiteral("check24"));
    ASSERT_TRUE(child<QToolButton>(QStringLiteral("spinUp24"))->isEnabled());

    // 0 and 24 checked at 0 and 12; raising 24 to 13 puts 12 at round(6.5) = 7.
    press("spinUp", 24, 13);
    EXPECT_EQ(value(24), QStringLiteral("13"));
    EXPECT_EQ(value(12), QStringLiteral("7"));
    EXPECT_EQ(view().curve()[23], 12.0) << "interpolated values go into the curve";
    EXPECT_EQ(view().chart().Points().at(12).y, 7.0);

    // At the limit the arrow does nothing at all, not even the interpolation.
    press("spinUp", 24, 12);
    TimeCorrectionCurve edited = view().curve();
    edited[12] = 3;
    view().setCurve(edited);
    press("spinUp", 24);
    EXPECT_EQ(view().curve()[24], 25.0);
    EXPECT_EQ(view().curve()[12], 3.0);
    press("spinDown", 24);
    EXPECT_EQ(value(24), QStringLiteral("24"));
    EXPECT_EQ(value(12), QStringLiteral("12"));
    EXPECT_EQ(simPoint(24), 0) << "editing sends nothing";
}

TEST_F(TimeCorrViewTest, WritingStoresTheCurveWithItsInUseFlag) {
    startWithoutDiagnostics();
    // Without car data (the dialog cancelled) nothing is written.
    const auto withPoint24 = [&](double v) {
        TimeCorrectionCurve c = view().curve();
        c[24] = v;
        view().setCurve(c);
    };
    withPoint24(-1);
    onNextModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    click(QStringLiteral("btnTimeCorrWrite"));
    EXPECT_TRUE(shown(QStringLiteral("Musisz podać dane dotyczące samochodu i zamontowanej instalacji")));
    EXPECT_EQ(simPoint(24), 0);

    doc().setAdministratorLevel(true); // no car data needed from here on
    const struct {
        std::function<void()> edit;
        int at24;
        bool flag;
    } cases[] = {
        {[&] { withPoint24(-1); }, -1, true},                               // one −1 switches the curve on
        {[&] { click(QStringLiteral("btnTimeCorrClear")); }, 0, false},    // all zero switches it off
    };
    for (const auto& c : cases) {
        c.edit();
        EXPECT_NE(simPoint(24), c.at24) << "nothing is sent before \"Wpisz do urządzenia\"";
        click(QStringLiteral("btnTimeCorrWrite"));
        EXPECT_EQ(simPoint(24), c.at24);
        EXPECT_EQ(simFlag(), c.flag);
    }

    // After a replay the recording's own curve is shown, and nothing is asked.
    const std::string recording = m_home.path() + "/drive.lpgd";
    CSettingsBlock recorded = doc().settings();
    recorded.setTimeCorrection(7, -30); // beyond the edit limit: shown as it is
    ASSERT_TRUE(appendCompanionRecord(companionPath(recording), recorded));
    doc().setRecordingPath(recording);
    const uint64_t before = m_server->requestCount();
    click(QStringLiteral("btnTimeCorrRead"));
    EXPECT_EQ(value(7), QStringLiteral("-30"));
    EXPECT_EQ(view().chart().Points().at(7).y, -30.0) << "a read shows the points without interpolating";
    EXPECT_EQ(m_server->requestCount(), before);
}

TEST_F(TimeCorrViewTest, AReplayedCurveIsShownButNeverWrittenIntoThisCar) {
    startWithoutDiagnostics();
    doc().setAdministratorLevel(true); // a write needs no car data
    ASSERT_TRUE(child<QPushButton>(QStringLiteral("btnTimeCorrWrite"))->isEnabled());
    const CSettingsBlock live = doc().settings();

    // Another car's recording, its curve in its companion.
    const std::string recording = m_home.path() + "/other-car.lpgd";
    std::ofstream(recording, std::ios::binary) << "1\t1\t2\t1\t4800\t4800\t120\t0\t0\t0\t100\t120\t110\t70\t23\t30\t0\t0\r\n";
    CSettingsBlock other = live;
    other.setTimeCorrection(7, -9);
    ASSERT_TRUE(appendCompanionRecord(companionPath(recording), other));
    doc().replayFile(recording);
    view().onTimeCorrGet();
    EXPECT_EQ(value(7), QStringLiteral("-9")) << "the recording's curve is shown";
    EXPECT_EQ(doc().settings().bytes(), live.bytes()) << "the live settings block is untouched";

    // "Wpisz" would save that curve into this car: it waits for this car's own.
    EXPECT_FALSE(child<QPushButton>(QStringLiteral("btnTimeCorrWrite"))->isEnabled());
    press("spinUp", 7); // an edit does not make the other car's curve this car's
    EXPECT_FALSE(child<QPushButton>(QStringLiteral("btnTimeCorrWrite"))->isEnabled());
    click(QStringLiteral("btnTimeCorrWrite"));
    EXPECT_EQ(simPoint(7), 0);
}

TEST_F(TimeCorrViewTest, WithoutAVersionCheckedControllerNothingIsAsked) {
    sim::SimConfig cfg;
    cfg.versionWord = 6; // the link is up, the version check fails
    startSimulator(cfg);
    startProgram();
    for (const char* name : {"btnTimeCorrRead", "btnTimeCorrWrite"})
        EXPECT_FALSE(child<QPushButton>(QString::fromLatin1(name))->isEnabled()) << name;
    const uint64_t before = m_server->requestCount();
    CTimeCorrView fresh(doc());
    fresh.initialUpdate();
    pump(200);
    EXPECT_EQ(m_server->requestCount(), before);
}

TEST_F(TimeCorrViewTest, TheNewestSamplesPetrolTimeIsMarked) {
    startSimulator();
    startProgram();
    CTimeCorrView& v = view();
    ASSERT_TRUE(waitUntil([&] { return v.chart().Highlight() > 0; }, 3000));
    mainFrame().action(ID_DIAGNOSTIC)->trigger();
    ASSERT_TRUE(doc().waitInputThread(3000));
    pump(300); // the mark follows the last sample within a tick
    CDiag newest;
    ASSERT_TRUE(doc().diagData().getLast(newest));
    EXPECT_DOUBLE_EQ(v.chart().Highlight(), petrolMs(newest));

    // Drawn red in the column of that time, over the whole plot height.
    const QImage img = v.grab().toImage();
    const int x = v.chart().XToPixel(v.chart().Highlight()) + 6;
    for (double y : {20.0, -20.0})
        EXPECT_EQ(QColor(img.pixel(x, v.chart().YToPixel(y))), QColor(255, 0, 0)) << y;

    doc().diagData().clear();
    v.onMarkTimer();
    EXPECT_EQ(v.chart().Highlight(), 0.0) << "an empty store marks nothing";
}

} // namespace
} // namespace zefirel::test
