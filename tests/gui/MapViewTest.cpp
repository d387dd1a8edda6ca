// The injection map pane against the virtual controller: typed cells written with
// verification and read back, "Kasuj" + "Wpisz", a failed read-back, a map computed
// from a recording with what each cell rests on, the chart window, a vanished line,
// and a document without a controller.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <fstream>

#include "AppTestKit.h"
#include "diag/Recording.h"
#include "link/Conversions.h"
#include "link/Protocol.h"
#include "map/MapWrite.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/chart/XYCharts.h"
#include "ui/map/InjMapDlg.h"
#include "ui/map/MapGrid.h"
#include "ui/map/MapView.h"

namespace zefirel::test {
namespace {

class MapViewTest : public AppTest {
protected:
    /// The program on a simulator, diagnostics on, the map pane shown.
    void openPane(const sim::SimConfig& cfg = sim::SimConfig()) {
        startSimulator(cfg);
        startProgram();
        doc().setCarDataKnown(true);
        updateMenus();
        ASSERT_TRUE(mainFrame().action(ID_MAP)->isEnabled());
        docUi().onCommand(ID_MAP);
    }
    CMapView& view() { return *docUi().frame()->mapView(); }
    CMapGrid& grid() { return *view().grid(); }
    bool mapFlag() { return (m_controller->setupRecord()[10] & OPTION_MAP_IN_USE) != 0; }
    uint8_t eepromCell(int row, int column) { return m_controller->eeprom()[sim::eeprom::MAP + size_t(row * 8 + column)]; }
    /// Types into a speed column's editor and commits it with Enter.
    void type(int row, int column, const QString& text) {
        grid().setCurrentCell(row, column + 1);
        grid().editItem(grid().item(row, column + 1));
        QLineEdit* edit = openEditor(column);
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        // The delegate commits and closes the editor from a queued call.
        ASSERT_TRUE(waitUntil([this, column] { return openEditor(column) == nullptr; }, 2000));
    }
    // The cell editor being shown; a closed one may linger until its deferred
    // deletion, hidden.
    QLineEdit* openEditor(int column) {
        for (QLineEdit* e : grid().findChildren<QLineEdit*>(QStringLiteral("percentEdit%1").arg(column)))
            if (e->isVisible())
                return e;
        return nullptr;
    }
};

/// Lines of a recording: count samples of one kind at 2000 rpm and load 30..40.
void appendSamples(std::string& out, int count, bool petrol, uint16_t ticks) {
    CDiag d;
    d.setInjector(1);
    d.setWorkState(petrol ? 2 : 3);
    d.setRpmPeriod(2400);
    d.setPetrolTime(0, ticks);
    d.setPressure3Code(static_cast<uint8_t>(std::lround(pressureCode(101.0 - 35))));
    char buf[RECORDING_LINE_MAX];
    for (int i = 0; i < count; ++i) {
        d.setSampleNo(static_cast<uint32_t>(out.size()));
        out.append(buf, formatRecordingLine(d, buf));
    }
}

} // namespace

TEST_F(MapViewTest, TypedCellsAreWrittenVerifiedAndReadBackAndKasujWritesAnEmptyMap) {
    openPane();
    EXPECT_GT(docUi().frame()->paneWidth(2), 0);
    EXPECT_TRUE(view().isVisible());
    EXPECT_TRUE(mainFrame().action(ID_MAP)->isChecked());
    EXPECT_EQ(grid().horizontalHeaderItem(0)->text(), QStringLiteral("ms"));
    EXPECT_EQ(grid().horizontalHeaderItem(8)->text(), QStringLiteral("7000-8000"));
    EXPECT_EQ(grid().item(49, 0)->text(), QStringLiteral("24.5-25.0"));
    EXPECT_FALSE(grid().item(3, 0)->flags() & Qt::ItemIsEditable);
    EXPECT_EQ(grid().cellBackground(2, 0), QColor(255, 255, 255));
    EXPECT_EQ(grid().cellBackground(3, 0), QColor(210, 210, 210));
    EXPECT_TRUE(view().readButton()->isEnabled());
    EXPECT_EQ(grid().cellText(6, 1), QString()); // the empty map read on opening

    type(6, 1, QStringLiteral("5"));
    EXPECT_EQ(grid().cellText(6, 1), QStringLiteral("5%"));
    EXPECT_EQ(eepromCell(6, 1), 100); // nothing sent while editing
    grid().setCellText(7, 2, QStringLiteral("200%"));
    grid().setCellText(8, 3, QStringLiteral("-120"));
    view().writeButton()->click();
    EXPECT_EQ(eepromCell(6, 1), 105);
    // The restart after the map leaves the car on petrol, and the status bar says so.
    EXPECT_TRUE(waitUntil([&] { return docUi().frame()->bar()->notice().endsWith(
                                    QStringLiteral("Sterownik pracuje na benzynie")); }, 2000))
        << docUi().frame()->bar()->notice().toStdString();
    EXPECT_EQ(eepromCell(7, 2), 250);
    EXPECT_EQ(eepromCell(8, 3), 0);
    EXPECT_TRUE(mapFlag());

    view().clearButton()->click();
    EXPECT_EQ(grid().cellText(6, 1), QString());
    view().readButton()->click();
    EXPECT_EQ(grid().cellText(6, 1), QStringLiteral("5%"));
    EXPECT_EQ(grid().cellText(7, 2), QStringLiteral("150%"));
    EXPECT_EQ(grid().cellText(8, 3), QStringLiteral("-100%"));

    view().clearButton()->click();
    view().writeButton()->click();
    const sim::EepromImage e = m_controller->eeprom();
    EXPECT_TRUE(std::all_of(e.begin() + sim::eeprom::MAP, e.begin() + sim::eeprom::MAP + 400, [](uint8_t b) { return b == 100; }));
    EXPECT_FALSE(mapFlag());
    EXPECT_TRUE(messages().empty()) << messages().front().text.toStdString();
}

// A typed cell is the whole number its text starts with, whichever decimal mark
// follows, and shows clamped to -100 .. 150 as soon as the editing ends; "Wpisz"
// sends what the cells show.
TEST_F(MapViewTest, ATypedCellShowsTheClampedWholeNumberItStartsWith) {
    openPane();
    const struct {
        const char* typed;
        const char* shown;
        uint8_t byte;
    } cases[] = {
        {"12.5", "12%", 112}, {"7,4", "7%", 107},     {"-3,9%", "-3%", 97},
        {"200", "150%", 250}, {"-120", "-100%", 0}, {"0.9", "0%", 100},
    };
    int row = 10;
    for (const auto& c : cases) {
        type(row, 2, QString::fromUtf8(c.typed));
        EXPECT_EQ(grid().cellText(row, 2), QString::fromUtf8(c.shown)) << c.typed;
        ++row;
    }
    view().writeButton()->click();
    row = 10;
    for (const auto& c : cases) EXPECT_EQ(eepromCell(row++, 2), c.byte) << c.typed;
    EXPECT_TRUE(messages().empty()) << messages().front().text.toStdString();
}

TEST_F(MapViewTest, AFailedReadBackShowsTheVerificationMessageAndLeavesTheFlag) {
    sim::SimConfig cfg;
    cfg.faults.badChecksumCommand = CMD_EEPROM; // written, never read back
    openPane(cfg);
    ASSERT_TRUE(shown(QString::fromUtf8(MSG_MAP_READ_FAILED))); // the read on opening
    // A grid the controller's map never reached cannot be written...
    EXPECT_FALSE(view().writeButton()->isEnabled());
    // ...until it is wholly the installer's.
    view().clearButton()->click();
    ASSERT_TRUE(view().writeButton()->isEnabled());
    const auto before = m_controller->setupRecord();
    grid().setCellText(10, 4, QStringLiteral("7"));
    view().writeButton()->click();
    const auto all = messages();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().text, QString::fromUtf8(MSG_MAP_VERIFY_FAILED));
    EXPECT_EQ(all.back().style, EMsgStyle::Error);
    EXPECT_EQ(eepromCell(10, 4), 107);
    EXPECT_EQ(m_controller->setupRecord(), before);
}

TEST_F(MapViewTest, AMapComputedFromARecordingShowsWhatEachCellRestsOn) {
    openPane();
    // One cell at 10 ms, 2000 rpm and load 30..40: 11 + 11 samples, +5 %.
    std::string lines;
    appendSamples(lines, 11, true, 400);
    appendSamples(lines, 11, false, 420);
    const std::string path = m_home.path() + "/drive.lpgd";
    std::ofstream(path, std::ios::binary) << lines;
    m_nextFile = QString::fromStdString(path);
    view().createButton()->click();

    ASSERT_EQ(m_dialogs.size(), 1u);
    EXPECT_FALSE(m_dialogs[0].save);
    EXPECT_EQ(m_dialogs[0].filter, QStringLiteral("Pliki diagnostyczne(*.lpgd)"));
    EXPECT_EQ(m_dialogs[0].suffix, QStringLiteral("txt"));
    EXPECT_EQ(m_dialogs[0].folder.toStdString(), CDeviceDoc::defaultDataFolder());
    EXPECT_EQ(doc().dataFolder(), m_home.path() + "/");

    for (int row : {20, 21}) {
        EXPECT_EQ(grid().cellText(row, 2), QStringLiteral("5%"));
        EXPECT_EQ(grid().bytes()[static_cast<size_t>(row * 8 + 2)], 105);
        EXPECT_EQ(grid().cellBackground(row, 2), QColor::fromRgb(MAP_CELL_WEAK)); // 11 samples only
        EXPECT_TRUE(grid().item(row, 3)->toolTip().contains(QStringLiteral("benzyna 11 próbek, średnio 10.00 ms")));
    }
    EXPECT_EQ(grid().cellText(22, 2), QString());
    EXPECT_TRUE(grid().item(22, 3)->toolTip().isEmpty());
    // A value typed over it no longer rests on the samples.
    grid().setCellText(20, 2, QStringLiteral("9%"));
    EXPECT_TRUE(grid().item(20, 3)->toolTip().isEmpty());
    EXPECT_EQ(grid().cellBackground(20, 2), QColor(255, 255, 255));

    // The chart window over the same recording.
    int points = -1;
    QString title;
    onNextModal([&](QWidget* w) {
        if (auto* dlg = qobject_cast<CInjMapDlg*>(w)) {
            title = dlg->windowTitle();
            points = static_cast<int>(dlg->chart().Points().size());
        }
        QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
    });
    view().chartButton()->click();
    EXPECT_EQ(title, QStringLiteral("Mapa wtrysków"));
    EXPECT_EQ(points, 22);

    // Cancel changes nothing.
    m_nextFile.clear();
    view().clearButton()->click();
    view().createButton()->click();
    EXPECT_EQ(grid().cellText(21, 2), QString());
}

TEST_F(MapViewTest, AVanishedLineIsCaughtByTheButtonsHandler) {
    openPane();
    m_server->closeLine();
    ASSERT_TRUE(waitUntil([&] { return m_server->lineClosed(); }, 2000));
    for (auto [button, where] : {std::pair{view().readButton(), "CMapView::OnBtnRead()\n"},
                                 std::pair{view().writeButton(), "CMapView::OnBtnWrite()\n"}}) {
        const size_t before = messages().size();
        if (button->isEnabled()) button->click();
        else (button == view().readButton() ? view().OnBtnRead() : view().OnBtnWrite());
        const auto all = messages();
        ASSERT_GT(all.size(), before) << where;
        EXPECT_TRUE(all.back().text.startsWith(QString::fromLatin1(where))) << all.back().text.toStdString();
    }
}

TEST_F(MapViewTest, WithoutAControllerThePaneOpensButNeitherReadsNorWrites) {
    startProgram();
    updateMenus();
    ASSERT_TRUE(mainFrame().action(ID_MAP)->isEnabled());
    docUi().onCommand(ID_MAP);
    EXPECT_GT(docUi().frame()->paneWidth(2), 0);
    EXPECT_FALSE(view().readButton()->isEnabled());
    EXPECT_FALSE(view().writeButton()->isEnabled());
    EXPECT_TRUE(view().createButton()->isEnabled());
    docUi().onCommand(ID_MAP);
    EXPECT_EQ(docUi().frame()->paneWidth(2), 0);
}

} // namespace zefirel::test
