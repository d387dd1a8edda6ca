// The map learning window against the virtual controller: the coverage grid's
// colours, "Wpisz" with the list of changes first (declined: nothing written),
// and "Cofnij" writing back the map the controller held before the test.
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <cmath>

#include "AppTestKit.h"
#include "link/Conversions.h"
#include "link/Protocol.h"
#include "map/MapCompute.h"
#include "ui/map/CoverageGrid.h"
#include "ui/map/MapCompare.h"
#include "ui/map/MapLearnWindow.h"

namespace zefirel::test {
namespace {

/// A warm, steady sample at 2000 rpm and load 35 kPa (speed bucket 2, load bucket 3).
CDiag steadySample(bool petrol, uint16_t ticks) {
    CDiag d;
    d.setInjector(1);
    d.setWorkState(petrol ? 2 : 3);
    d.setRpmPeriod(2400);
    d.setPetrolTime(0, ticks);
    d.setPressure3Code(static_cast<uint8_t>(std::lround(pressureCode(101.0 - 35))));
    d.setHeaterTempCode(temperatureCode(80));
    return d;
}

QColor pixelIn(QWidget* w, const QRect& r) {
    // A corner inside the box: its colour, clear of the counts drawn in the middle.
    return QColor(w->grab().toImage().pixel(r.topLeft() + QPoint(2, 2)));
}

class MapLearnWindowTest : public AppTest {
protected:
    /// The program on a simulator whose map holds a few corrections, without
    /// polling (only the samples a test feeds are learned), the window open.
    void openWindow() {
        sim::SimConfig cfg;
        startSimulator(cfg);
        sim::EepromImage image = m_controller->eeprom();
        m_before.fill(MAP_NO_CORRECTION);
        m_before[0] = 110;
        m_before[1] = 110;
        m_before[30 * MAP_COLUMNS + 4] = 95;
        std::copy(m_before.begin(), m_before.end(), image.begin() + sim::eeprom::MAP);
        const uint16_t sum = frameChecksum(m_before.data(), MAP_BYTES);
        image[sim::eeprom::MAP_CHECKSUM] = static_cast<uint8_t>(sum >> 8);
        image[sim::eeprom::MAP_CHECKSUM + 1] = static_cast<uint8_t>(sum);
        image[sim::eeprom::SETUP + 10] |= OPTION_MAP_IN_USE;
        m_controller->setEeprom(image);
        startProgram();
        m_app->mainFrame()->action(ID_DIAGNOSTIC)->trigger();
        ASSERT_TRUE(doc().waitInputThread(3000));
        doc().setCarDataKnown(true);
        docUi().onCommand(ID_MAP_LEARN);
        ASSERT_NE(docUi().mapLearnWindow(), nullptr);
        ASSERT_TRUE(window().isVisible());
        window().startButton()->click();
        ASSERT_TRUE(window().session().running());
        ASSERT_EQ(window().session().previousMap(), m_before);
    }
    CMapLearnWindow& window() { return *docUi().mapLearnWindow(); }
    MapBytes eepromMap() {
        const sim::EepromImage e = m_controller->eeprom();
        MapBytes m;
        std::copy_n(e.begin() + sim::eeprom::MAP, MAP_BYTES, m.begin());
        return m;
    }
    /// Drives one operating point on petrol, then on LPG needing a quarter more
    /// (a +5 % correction), enough of each after the settling after the switch.
    void learnOnePoint() {
        for (int i = 0; i < 80; ++i) window().session().add(steadySample(true, 200));
        for (int i = 0; i < 80; ++i) window().session().add(steadySample(false, 210));
        window().refresh();
    }
    MapBytes m_before{};
};

} // namespace

TEST(CoverageGrid, EveryStateIsPaintedInItsColourInTheBoxAndTheLegend) {
    qtApp();
    CCoverageGrid grid;
    CoverageTable table{};
    table[0][0] = {0, 0, ELearnCell::NoData};
    table[1][2] = {25, 0, ELearnCell::Partial};
    table[3][4] = {40, 12, ELearnCell::Enough};
    table[7][10] = {60, 30, ELearnCell::Within};
    table[5][0] = {18, 22, ELearnCell::Outside};
    grid.setTable(table);
    grid.resize(grid.sizeHint());
    const QImage img = grid.grab().toImage();
    auto at = [&](const QRect& r) { return QColor(img.pixel(r.topLeft() + QPoint(2, 2))); };
    EXPECT_EQ(at(grid.boxRect(0, 0)), QColor::fromRgb(COVERAGE_NO_DATA));
    EXPECT_EQ(at(grid.boxRect(1, 2)), QColor::fromRgb(COVERAGE_PARTIAL));
    EXPECT_EQ(at(grid.boxRect(3, 4)), QColor::fromRgb(COVERAGE_ENOUGH));
    EXPECT_EQ(at(grid.boxRect(7, 10)), QColor::fromRgb(COVERAGE_WITHIN));
    EXPECT_EQ(at(grid.boxRect(5, 0)), QColor::fromRgb(COVERAGE_OUTSIDE));
    EXPECT_EQ(at(grid.boxRect(1, 3)), QColor::fromRgb(COVERAGE_NO_DATA)); // the row below a coloured box
    // The five colours differ, and the legend shows each one.
    for (ELearnCell s : {ELearnCell::NoData, ELearnCell::Partial, ELearnCell::Enough, ELearnCell::Within,
                         ELearnCell::Outside}) {
        const QRect sw = grid.swatchRect(s);
        ASSERT_TRUE(QRect(QPoint(0, 0), img.size()).contains(sw)) << coverageName(s).toStdString();
        EXPECT_EQ(QColor(img.pixel(sw.center())), coverageColour(s)) << coverageName(s).toStdString();
        EXPECT_GT(sw.top(), grid.boxRect(0, LOAD_BUCKETS - 1).bottom());
    }
}

TEST_F(MapLearnWindowTest, TheGridColoursTheCellsTheSessionLearnedAndTheMapsShowTheProposal) {
    openWindow();
    CCoverageGrid* grid = window().coverage();
    EXPECT_EQ(pixelIn(grid, grid->boxRect(2, 3)), QColor::fromRgb(COVERAGE_NO_DATA));
    for (int i = 0; i < 30; ++i) window().session().add(steadySample(true, 200));
    window().refresh();
    EXPECT_EQ(pixelIn(grid, grid->boxRect(2, 3)), QColor::fromRgb(COVERAGE_PARTIAL));
    EXPECT_EQ(grid->table()[2][3].petrol, 30);
    learnOnePoint();
    EXPECT_EQ(pixelIn(grid, grid->boxRect(2, 3)), QColor::fromRgb(COVERAGE_ENOUGH));
    EXPECT_EQ(pixelIn(grid, grid->boxRect(3, 3)), QColor::fromRgb(COVERAGE_NO_DATA));
    EXPECT_EQ(window().doneText(), QStringLiteral("Gotowe: 1 z 1 przejechanych komórek (100%)"));
    // Petrol mean 5.0 ms, LPG 5.25 ms: +5 % in map rows 10 and 11 of column 2000-3000,
    // beside the controller's map (nothing there) and the difference.
    CMapCompare* maps = window().compare();
    EXPECT_EQ(maps->proposedTable()->item(10, 2)->text(), QStringLiteral("5"));
    EXPECT_EQ(maps->controllerTable()->item(0, 0)->text(), QStringLiteral("10"));
    EXPECT_EQ(maps->differenceTable()->item(11, 2)->text(), QStringLiteral("+5"));
    EXPECT_EQ(maps->differenceTable()->item(0, 0)->text(), QStringLiteral("-10"));
    EXPECT_TRUE(window().writeButton()->isEnabled());
    EXPECT_FALSE(window().undoButton()->isEnabled()); // nothing of the test written yet
}

TEST_F(MapLearnWindowTest, WpiszListsTheChangesFirstAndWritesNothingWhenDeclined) {
    openWindow();
    learnOnePoint();
    std::vector<ShownMessage> asked;
    setMessageInterceptor([&](const ShownMessage& m) {
        asked.push_back(m);
        return m.style == EMsgStyle::Question ? EMsgResult::No : EMsgResult::Ok;
    });
    window().writeButton()->click();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].style, EMsgStyle::Question);
    // The cells that change, each with its old and new value, then the question.
    EXPECT_TRUE(asked[0].text.startsWith(QStringLiteral("Zmienione komórki mapy wtrysków: 5\n"))) << asked[0].text.toStdString();
    EXPECT_TRUE(asked[0].text.contains(QStringLiteral("5.0-5.5 ms, 2000-3000 obr/min: 0% → 5%"))) << asked[0].text.toStdString();
    EXPECT_TRUE(asked[0].text.contains(QStringLiteral("0.0-0.5 ms, 0-1000 obr/min: 10% → 0%")));
    EXPECT_TRUE(asked[0].text.endsWith(QStringLiteral("Czy chcesz wpisać proponowaną mapę do urządzenia?")));
    EXPECT_EQ(eepromMap(), m_before);
    EXPECT_FALSE(window().session().wroteMap());
    EXPECT_FALSE(window().session().learner().checking());
    EXPECT_FALSE(window().undoButton()->isEnabled());
}

TEST_F(MapLearnWindowTest, CofnijWritesBackTheMapTheControllerHeldBeforeTheTest) {
    openWindow();
    learnOnePoint();
    const MapBytes proposal = window().session().proposedMap();
    ASSERT_NE(proposal, m_before);
    window().writeButton()->click(); // answered Yes
    EXPECT_EQ(eepromMap(), proposal);
    EXPECT_TRUE(window().session().learner().checking());
    EXPECT_TRUE(window().undoButton()->isEnabled());
    // The controller's map beside the proposal is now the one written.
    EXPECT_EQ(window().compare()->controllerTable()->item(10, 2)->text(), QStringLiteral("5"));

    window().undoButton()->click();
    EXPECT_EQ(eepromMap(), m_before);
    EXPECT_TRUE((m_controller->setupRecord()[10] & OPTION_MAP_IN_USE) != 0); // the old map has corrections
    EXPECT_FALSE(window().session().learner().checking());
    EXPECT_FALSE(window().undoButton()->isEnabled());
    const auto all = messages();
    ASSERT_EQ(all.size(), 2u); // one question before each write, no failure
    EXPECT_TRUE(all[1].text.contains(QStringLiteral("5.0-5.5 ms, 2000-3000 obr/min: 5% → 0%"))) << all[1].text.toStdString();
    EXPECT_TRUE(all[1].text.endsWith(QStringLiteral("Czy chcesz wpisać z powrotem mapę, którą sterownik miał przed nauką?")));
}

TEST_F(MapLearnWindowTest, LearningTakesWhatTheLivePollingStoresAndStopsWhenStopped) {
    startSimulator();
    startProgram();
    docUi().onCommand(ID_MAP_LEARN);
    CMapLearnWindow& w = window();
    EXPECT_EQ(w.startButton()->text(), QStringLiteral("Rozpocznij naukę"));
    w.startButton()->click();
    EXPECT_EQ(w.startButton()->text(), QStringLiteral("Zatrzymaj naukę"));
    auto seen = [&] { return w.session().learner().used() + w.session().learner().ignoredTotal(); };
    // The idling car of the simulator: its samples reach the learner on the window's timer.
    ASSERT_TRUE(waitUntil([&] { return seen() > 20; }, 10000)) << seen();
    w.startButton()->click();
    EXPECT_EQ(w.startButton()->text(), QStringLiteral("Wznów naukę"));
    const uint64_t atStop = seen();
    pump(3 * LEARN_REFRESH_MS);
    EXPECT_EQ(seen(), atStop);
    EXPECT_FALSE(w.undoButton()->isEnabled());
}

} // namespace zefirel::test
