// The injection map pane against the virtual controller: typed cells written with
// verification and read back, "Kasuj" + "Wpisz", a failed read-back, a map computed
// from a recording with what each cell rests on, the chart window, a vanished line,
// and a document without a controller.
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
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
    view().readButton()->click(); // the cleared grid is given up: answered Yes
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].text, QString::fromUtf8(MSG_MAP_REPLACE_QUESTION));
    EXPECT_EQ(grid().cellText(6, 1), QStringLiteral("5%"));
    EXPECT_EQ(grid().cellText(7, 2), QStringLiteral("150%"));
    EXPECT_EQ(grid().cellText(8, 3), QStringLiteral("-100%"));

    view().clearButton()->click();
    view().writeButton()->click();
    const sim::EepromImage e = m_controller->eeprom();
    EXPECT_TRUE(std::all_of(e.begin() + sim::eeprom::MAP, e.begin() + sim::eeprom::MAP + 400, [](uint8_t b) { return b == 100; }));
    EXPECT_FALSE(mapFlag());
    EXPECT_EQ(messages().size(), 1u) << messages().back().text.toStdString();
}

TEST_F(MapViewTest, WczytajAsksBeforeTheControllersMapReplacesAnotherInTheGrid) {
    openPane();
    // The grid shows what the controller holds: nothing to lose, no question.
    view().readButton()->click();
    EXPECT_TRUE(messages().empty());
    std::vector<ShownMessage> asked;
    EMsgResult answer = EMsgResult::No;
    setMessageInterceptor([&](const ShownMessage& m) {
        asked.push_back(m);
        return m.style == EMsgStyle::Question ? answer : EMsgResult::Ok;
    });
    type(6, 1, QStringLiteral("5"));
    view().readButton()->click();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, QString::fromUtf8(MSG_MAP_REPLACE_QUESTION));
    EXPECT_EQ(asked[0].style, EMsgStyle::Question);
    EXPECT_EQ(grid().cellText(6, 1), QStringLiteral("5%")); // No keeps the grid
    answer = EMsgResult::Yes;
    view().readButton()->click();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(grid().cellText(6, 1), QString());
    // Once written, the grid is the controller's map: read again without a question.
    type(6, 1, QStringLiteral("5"));
    view().writeButton()->click();
    ASSERT_EQ(eepromCell(6, 1), 105);
    const size_t before = asked.size();
    view().readButton()->click();
    EXPECT_EQ(asked.size(), before);
    EXPECT_EQ(grid().cellText(6, 1), QStringLiteral("5%"));
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
    int points = -1, xCaptionInk = 0;
    QString title;
    onNextModal([&](QWidget* w) {
        if (auto* dlg = qobject_cast<CInjMapDlg*>(w)) {
            title = dlg->windowTitle();
            points = static_cast<int>(dlg->chart().Points().size());
            // The x axis is named under its labels: ink in the band below them.
            const QImage image = dlg->grab().toImage();
            const CInjMapChart& chart = dlg->chart();
            const int below = chart.YToPixel(chart.YMin()) + 19, centre = int(chart.Left() + chart.PlotWidth() / 2);
            for (int y = below; y < below + 16; ++y)
                for (int x = centre - 120; x < centre + 120; ++x)
                    xCaptionInk += QColor(image.pixel(x, y)).lightness() < 128;
        }
        QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
    });
    view().chartButton()->click();
    // The title names the chart, what it plots and the recording.
    EXPECT_TRUE(title.startsWith(QStringLiteral("Mapa wtrysków — czas wtrysku benzyny względem obciążenia"))) << title.toStdString();
    EXPECT_TRUE(title.endsWith(QStringLiteral("drive.lpgd"))) << title.toStdString();
    EXPECT_EQ(points, 22);
    EXPECT_GT(xCaptionInk, 40);

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

namespace zefirel::test {

// The main window on a 1280 × 800 screen with the map pane open: every header and
// row label of the grid is whole and every column in view, and the curve pane's
// buttons can be pressed without scrolling.
TEST_F(MapViewTest, OnA1280x800ScreenTheGridFitsAndTheCurveButtonsStayInView) {
    openPane();
    mainFrame().setWindowState(Qt::WindowNoState);
    mainFrame().resize(1280, 800);
    docUi().onCommand(ID_MAP);
    docUi().onCommand(ID_MAP); // shown again in the window of its final size
    QApplication::processEvents();
    ASSERT_TRUE(view().isVisible());

    const QFontMetrics headers(grid().horizontalHeader()->font()), cells(grid().font());
    constexpr int MARGINS = 8; // the text's margins inside a section or cell
    int columns = 0;
    for (int c = 0; c <= MAP_COLUMNS; ++c) {
        const QString header = grid().horizontalHeaderItem(c)->text();
        EXPECT_GE(grid().columnWidth(c), headers.horizontalAdvance(header) + MARGINS) << header.toStdString();
        columns += grid().columnWidth(c);
    }
    for (int row = 0; row < MAP_ROWS; ++row)
        EXPECT_GE(grid().columnWidth(0), cells.horizontalAdvance(grid().item(row, 0)->text()) + MARGINS) << row;
    EXPECT_GE(grid().rowHeight(0), cells.height());
    EXPECT_GE(grid().viewport()->width(), columns);
    // Not cut off by the pane either: the whole grid is on the screen.
    EXPECT_EQ(grid().visibleRegion().boundingRect(), grid().rect());

    for (const char* name : {"btnTimeCorrRead", "btnTimeCorrWrite", "btnTimeCorrClear"}) {
        auto* button = mainFrame().findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        EXPECT_TRUE(button->isVisible()) << name;
        EXPECT_EQ(button->visibleRegion().boundingRect(), button->rect()) << name;
        const QRect inWindow(button->mapTo(&mainFrame(), QPoint(0, 0)), button->size());
        EXPECT_TRUE(mainFrame().rect().contains(inWindow)) << name;
    }
}

} // namespace zefirel::test
