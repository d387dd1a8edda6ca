// The injector sequence window against the virtual controller: one trace per
// injector, the non-sequential notice, the periodic refresh and its failures.

#include <QPushButton>

#include <set>

#include "AppTestKit.h"
#include "ui/map/InjSeqDlg.h"

namespace zefirel::test {
namespace {

const QString MSG_NON_SEQUENTIAL = QStringLiteral("Silnik z wtryskiem niesekwencyjnym");

/// The y levels of the chart's points.
std::set<double> levels(CInjSeqDlg& dlg) {
    std::set<double> out;
    for (const ChartPoint& p : dlg.chart().Points()) out.insert(p.y);
    return out;
}

class InjSeqDlgTest : public AppTest {
protected:
    /// One refresh tick, waiting for its read to end and its result to be taken.
    static void refresh(CInjSeqDlg& dlg) {
        dlg.onRefreshTimer();
        ASSERT_TRUE(waitUntil([&] { return !dlg.refreshPending(); }, 8000));
    }
    size_t count(const QString& text) {
        const auto all = messages();
        return static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](const ShownMessage& m) { return m.text == text; }));
    }
};

TEST_F(InjSeqDlgTest, FourInjectorsDrawFourTracesWithTheirPulses) {
    startSimulator(); // four injectors, full sequence
    startProgram();
    updateMenus();
    bool opened = false;
    onNextModal([&](QWidget* w) {
        opened = qobject_cast<CInjSeqDlg*>(w) != nullptr;
        static_cast<QDialog*>(w)->accept();
    });
    mainFrame().action(ID_INJ_SEQUENCE)->trigger();
    EXPECT_TRUE(opened);

    CInjSeqDlg dlg(doc());
    EXPECT_EQ(levels(dlg), (std::set<double>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(dlg.chart().Points().size(), 4u * 500u); // x = 0, 0.3 .. 149.7
    EXPECT_EQ(count(MSG_NON_SEQUENTIAL), 0u);
    // Injector 2's pulse is up for 5 ms right after its opening time.
    const auto second = std::find_if(dlg.sequence().begin(), dlg.sequence().end(),
                                     [](const SequenceItem& it) { return it.injector == 2; });
    ASSERT_NE(second, dlg.sequence().end());
    for (const ChartPoint& p : dlg.chart().Points()) {
        if (p.y == 2 || p.y == 3) {
            EXPECT_EQ(p.y == 3, p.x > second->time && p.x < second->time + 5.0) << p.x;
        }
    }

    // Drawn in blue on injector 1's and 4's levels, nothing on injector 5's.
    dlg.resize(705, 518);
    dlg.show();
    const QImage img = dlg.findChild<QWidget*>(QStringLiteral("injSeqChartArea"))->grab().toImage();
    auto blueOnRow = [&](double y) {
        for (int x = dlg.chart().XToPixel(0); x < dlg.chart().XToPixel(150); ++x)
            if (QColor(img.pixel(x, dlg.chart().YToPixel(y))) == QColor(0, 0, 255)) return true;
        return false;
    };
    EXPECT_TRUE(blueOnRow(0));
    EXPECT_TRUE(blueOnRow(6));
    EXPECT_FALSE(blueOnRow(8));
}

TEST_F(InjSeqDlgTest, NonSequentialEngineIsToldOnceAndStillDrawn) {
    sim::SimConfig cfg;
    cfg.injectors = 8;
    startSimulator(cfg);
    sim::EepromImage e = m_controller->eeprom();
    e[sim::eeprom::SETUP + 20] |= 0x04; // the petrol computer opens all injectors together
    m_controller->setEeprom(e);
    startProgram();
    CInjSeqDlg dlg(doc());
    for (int i = 0; i < 3; ++i) refresh(dlg);
    EXPECT_EQ(count(MSG_NON_SEQUENTIAL), 1u);
    EXPECT_EQ(levels(dlg).size(), 16u);
}

TEST_F(InjSeqDlgTest, RefreshButtonTogglesAndAFailedRefreshKeepsTheTraces) {
    startSimulator();
    startProgram();
    CInjSeqDlg dlg(doc());
    QPushButton* button = dlg.findChild<QPushButton*>(QStringLiteral("btnRefresh"));
    for (const QString& text : {QStringLiteral("Zatrzymaj odświeżanie"), QStringLiteral("Odświerzaj cyklicznie")}) {
        button->click();
        EXPECT_EQ(button->text(), text);
    }
    EXPECT_FALSE(dlg.refreshing());

    const size_t drawn = dlg.chart().Points().size();
    ASSERT_GT(drawn, 0u);
    sim::SimFaults faults;
    faults.badChecksumCommand = CMD_SEQUENCE;
    m_server->setFaults(faults);
    const size_t shownBefore = messages().size();
    refresh(dlg);
    EXPECT_EQ(dlg.chart().Points().size(), drawn);
    EXPECT_EQ(messages().size(), shownBefore) << "refresh failures are silent";

    // The same failure on opening is told, and the window opens empty.
    CInjSeqDlg failed(doc());
    EXPECT_TRUE(shown(QStringLiteral("Nie można pobrać informacji o sekwencji wtrysków")));
    EXPECT_TRUE(failed.chart().Points().empty());

    // A controller that stopped answering does not hold the window during the read.
    m_server->setFaults({});
    m_server->setMuted(true);
    dlg.onRefreshTimer();
    EXPECT_TRUE(dlg.refreshPending());
    m_server->setMuted(false); // a later attempt of the same read is answered
    ASSERT_TRUE(waitUntil([&] { return !dlg.refreshPending(); }, 8000));
    EXPECT_EQ(dlg.chart().Points().size(), drawn);
}

} // namespace
} // namespace zefirel::test
