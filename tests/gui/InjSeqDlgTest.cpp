// The injector sequence window against the virtual controller: one trace per
// injector, the non-sequential notice, the periodic refresh and its failures.

#include <QPushButton>

#include <set>

#include "AppTestKit.h"
#include "ui/app/Commands.h"
#include "ui/map/InjSeqDlg.h"

namespace zefirel::test {
namespace {

const QString MSG_NON_SEQUENTIAL = QStringLiteral("Silnik z wtryskiem niesekwencyjnym");

class InjSeqDlgTest : public AppTest {
protected:
    /// Traces' base levels (even y) and pulse levels (odd y) of the chart's points.
    static std::set<double> levels(CInjSeqDlg& dlg, bool pulses) {
        std::set<double> out;
        for (const ChartPoint& p : dlg.chart().Points())
            if ((static_cast<int>(p.y) % 2 == 1) == pulses) out.insert(p.y);
        return out;
    }
    size_t count(const QString& text) {
        const auto all = messages();
        return static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](const ShownMessage& m) { return m.text == text; }));
    }
    QPushButton* refreshButton(CInjSeqDlg& dlg) { return dlg.findChild<QPushButton*>(QStringLiteral("btnRefresh")); }
};

TEST_F(InjSeqDlgTest, FourInjectorsDrawFourTracesWithTheirPulses) {
    startSimulator(); // four injectors, full sequence
    startProgram();
    updateMenus();
    QAction* entry = mainFrame().action(ID_INJ_SEQUENCE);
    ASSERT_TRUE(entry->isEnabled());
    bool opened = false;
    onNextModal([&](QWidget* w) {
        opened = qobject_cast<CInjSeqDlg*>(w) != nullptr;
        static_cast<QDialog*>(w)->accept();
    });
    entry->trigger();
    EXPECT_TRUE(opened);

    CInjSeqDlg dlg(doc());
    EXPECT_EQ(levels(dlg, false), (std::set<double>{0, 2, 4, 6}));
    EXPECT_EQ(levels(dlg, true), (std::set<double>{1, 3, 5, 7}));
    EXPECT_EQ(count(MSG_NON_SEQUENTIAL), 0u);
    // Each pulse is open for 5 ms right after its injector's opening time, over the
    // chart's 0 .. 150 in steps of 0.3.
    for (const SequenceItem& it : dlg.sequence()) {
        if (!it.present) continue;
        const double base = 2.0 * (it.injector - 1);
        for (const ChartPoint& p : dlg.chart().Points()) {
            if (p.y != base && p.y != base + 1) continue;
            EXPECT_EQ(p.y == base + 1, p.x > it.time && p.x < it.time + 5.0) << int(it.injector) << " at " << p.x;
        }
    }
    EXPECT_EQ(dlg.chart().Points().size(), 4u * 500u);

    // Drawn: blue on the levels of injectors 1 and 4, nothing on injector 5's.
    dlg.resize(705, 518);
    dlg.show();
    QWidget* area = dlg.findChild<QWidget*>(QStringLiteral("injSeqChartArea"));
    ASSERT_NE(area, nullptr);
    const QImage img = area->grab().toImage();
    auto blueOnRow = [&](double y) {
        const int py = dlg.chart().YToPixel(y);
        for (int x = dlg.chart().XToPixel(0); x < dlg.chart().XToPixel(150); ++x)
            if (QColor(img.pixel(x, py)) == QColor(0, 0, 255)) return true;
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
    EXPECT_EQ(count(MSG_NON_SEQUENTIAL), 1u);
    EXPECT_EQ(levels(dlg, false).size(), 8u);
    for (int i = 0; i < 3; ++i) dlg.onRefreshTimer();
    EXPECT_EQ(count(MSG_NON_SEQUENTIAL), 1u);
    EXPECT_EQ(levels(dlg, false).size(), 8u);
}

TEST_F(InjSeqDlgTest, RefreshButtonTogglesAndAFailedRefreshKeepsTheTraces) {
    startSimulator();
    startProgram();
    CInjSeqDlg dlg(doc());
    QPushButton* button = refreshButton(dlg);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("Odświerzaj cyklicznie"));
    button->click();
    EXPECT_TRUE(dlg.refreshing());
    EXPECT_EQ(button->text(), QStringLiteral("Zatrzymaj odświeżanie"));
    button->click();
    EXPECT_FALSE(dlg.refreshing());
    EXPECT_EQ(button->text(), QStringLiteral("Odświerzaj cyklicznie"));

    const std::vector<ChartPoint> drawn = dlg.chart().Points();
    ASSERT_FALSE(drawn.empty());
    sim::SimFaults faults;
    faults.badChecksumCommand = CMD_SEQUENCE;
    m_server->setFaults(faults);
    const size_t shownBefore = messages().size();
    dlg.onRefreshTimer();
    EXPECT_EQ(dlg.chart().Points().size(), drawn.size());
    EXPECT_EQ(messages().size(), shownBefore) << "refresh failures are silent";

    // The same failure on opening is told, and the window opens empty.
    CInjSeqDlg failed(doc());
    EXPECT_TRUE(shown(QStringLiteral("Nie można pobrać informacji o sekwencji wtrysków")));
    EXPECT_TRUE(failed.chart().Points().empty());
}

} // namespace
} // namespace zefirel::test
