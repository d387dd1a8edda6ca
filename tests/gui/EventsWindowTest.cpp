// Events and markers in the windows: their lines on the charts (pixels), the list
// "Zdarzenia" that moves the chart, the marker key on a recording being made, and
// two recordings compared in their window.
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

#include <fstream>
#include <sstream>

#include "AppTestKit.h"
#include "ChartTestSupport.h"
#include "events/DiagEvents.h"
#include "ui/app/DeviceFrm.h"
#include "ui/chart/SeriesCharts.h"
#include "ui/diag/DisplayView.h"
#include "ui/events/CompareChart.h"
#include "ui/events/CompareDlg.h"
#include "ui/events/EventsPane.h"
#include "ui/events/MarkerDlg.h"

namespace zefirel::test {
namespace {

constexpr uint32_t MARK_A = RGBValue(200, 0, 200);
constexpr uint32_t MARK_B = RGBValue(0, 160, 160);

/// Rows of the image's column x (inside the rows top..bottom) painted in colour.
int rowsOfColour(const QImage& img, int x, int top, int bottom, uint32_t colour) {
    const QRgb want = ToQColor(colour).rgb();
    int n = 0;
    for (int y = top; y <= bottom; ++y) n += img.pixel(x, y) == want;
    return n;
}

/// One recording line: sample, work state (petrol or LPG), engine-speed period,
/// petrol time in ticks and the third pressure code; the rest plausible.
std::string line(int n, bool lpg, int rpmPeriod, int petrolTicks, int pressure3 = 0) {
    std::ostringstream s;
    s << n << "\t1\t" << (lpg ? 3 : 2) << "\t1\t" << rpmPeriod << '\t' << rpmPeriod << '\t' << petrolTicks
      << "\t20\t0\t0\t100\t120\t110\t200\t23\t200\t0\t" << pressure3 << "\r\n";
    return s.str();
}

} // namespace

using ChartMarksTest = ChartTest;

TEST_F(ChartMarksTest, LinesStandAtTheirSamplesInTheirColoursAndTheLegendNamesTheKindsShown) {
    CTimeChart chart(nullptr);
    std::vector<CDiag> samples;
    for (uint32_t i = 1; i <= 500; ++i) samples.push_back(Sample(i));
    chart.SetData(samples);
    chart.SetMarks({{400, MARK_B, QStringLiteral("drugi"), QStringLiteral("Rodzaj B")},
                    {120, MARK_A, QStringLiteral("pierwszy"), QStringLiteral("Rodzaj A")},
                    {700, MARK_B, QStringLiteral("poza"), QStringLiteral("Rodzaj C")}});
    const QImage img = Render(chart, QSize(700, 300));
    const int top = int(chart.Top()), bottom = int(chart.Top() + chart.PlotHeight());
    // Below the labels (three rows at the top), the line is all there is.
    const int from = top + 45;
    for (const auto& [x, colour] : {std::pair{120.0, MARK_A}, std::pair{400.0, MARK_B}}) {
        const int px = chart.XToPixel(x);
        SCOPED_TRACE(px);
        EXPECT_GT(rowsOfColour(img, px, from, bottom, colour), (bottom - from) / 3) << "a dashed line at its sample";
        EXPECT_EQ(rowsOfColour(img, px - 3, from, bottom, colour), 0);
        EXPECT_EQ(rowsOfColour(img, px + 3, from, bottom, colour), 0);
    }
    // Nothing of B's colour beyond the two lines: the mark at 700 is outside the window.
    int elsewhere = 0;
    for (int x = 0; x < img.width(); ++x)
        if (std::abs(x - chart.XToPixel(400)) > 1) elsewhere += rowsOfColour(img, x, from, bottom, MARK_B);
    EXPECT_EQ(elsewhere, 0);
    const std::vector<LegendEntry> legend = chart.ShownLegend();
    ASSERT_GE(legend.size(), 2u);
    EXPECT_EQ(legend[legend.size() - 2].text, QStringLiteral("Rodzaj A"));
    EXPECT_EQ(legend.back().text, QStringLiteral("Rodzaj B"));
    EXPECT_EQ(legend.back().colour, MARK_B);
}

TEST_F(ChartMarksTest, TheComparisonDrawsBWhereTheOffsetPutsIt) {
    CCompareChartView view;
    view.resize(800, 300);
    std::vector<CDiag> a, b;
    for (uint32_t i = 1; i <= 1000; ++i) a.push_back(Sample(i));
    for (uint32_t i = 1; i <= 600; ++i) b.push_back(Sample(i));
    view.setRecordings(a, b);
    view.setOffset(250);
    // B's sample 100 stands where A's sample 350 does, whatever the window.
    EXPECT_EQ(view.chartB().XToPixel(100), view.chartA().XToPixel(350));
    view.setOffset(-50);
    EXPECT_EQ(view.chartB().XToPixel(100), view.chartA().XToPixel(50));
    EXPECT_LE(view.windowFirst(), -50);
}

class EventsWindowTest : public AppTest {
protected:
    CDisplayView* view() { return docUi().frame()->displayView(); }
    CEventsPane* pane() { return docUi().frame()->eventsPane(); }

    /// Replays a recording through "Wczytaj plik diagnostyczny..." and waits for its
    /// events in the list.
    void replay(const std::string& path) {
        m_nextFile = QString::fromStdString(path);
        docUi().onReplay();
        ASSERT_TRUE(waitUntil([&] { return !pane()->rows().empty(); }, 5000));
    }
    int rowOf(uint32_t sample, EEventKind kind) {
        const auto& rows = pane()->rows();
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].sampleNo == sample && rows[i].kind == QString::fromUtf8(eventKindName(kind))) return int(i);
        return -1;
    }
};

TEST_F(EventsWindowTest, ADoubleClickInTheListMovesTheChartToTheEventWhoseLineIsDrawnThere) {
    startProgram(); // no controller: a recording is looked at
    mainFrame().resize(1280, 800);
    mainFrame().show();
    const std::string rec = m_home.path() + "/jazda.lpgd";
    {
        std::ofstream out(rec, std::ios::binary);
        for (int n = 1; n <= 3000; ++n) out << line(n, n < 2000, 1920, 200);
    }
    replay(rec);
    const int row = rowOf(2000, EEventKind::ToPetrol);
    ASSERT_GE(row, 0) << "the switch to petrol is listed";
    EXPECT_FALSE(pane()->table()->item(row, 3)->text().isEmpty()) << "with what it means";
    EXPECT_DOUBLE_EQ(view()->chart().XMax(), 500) << "the chart starts at the recording's beginning";

    QTableWidget* table = pane()->table();
    table->scrollToItem(table->item(row, 0));
    pump(50);
    ASSERT_TRUE(table->viewport()->rect().contains(table->visualItemRect(table->item(row, 0)).center()))
        << table->viewport()->rect().height();
    const QPoint at = table->visualItemRect(table->item(row, 0)).center();
    // The view takes a double-click on the row its press went down on.
    QTest::mousePress(table->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_DOUBLE_EQ(view()->chart().XMin(), 1750);
    EXPECT_DOUBLE_EQ(view()->chart().XMax(), 2250);

    // The chart on screen: the event's line at its sample's x, in its kind's colour.
    const QImage shown = view()->grab().toImage();
    const int px = view()->chart().XToPixel(2000);
    const int top = int(view()->chart().Top()) + 45, bottom = int(view()->chart().Top() + view()->chart().PlotHeight());
    ASSERT_GT(bottom, top);
    EXPECT_GT(rowsOfColour(shown, px, top, bottom, eventKindColour(EEventKind::ToPetrol)), (bottom - top) / 4);
    EXPECT_EQ(rowsOfColour(shown, px - 4, top, bottom, eventKindColour(EEventKind::ToPetrol)), 0);
    // And the legend names it.
    const auto legend = view()->shownLegend();
    EXPECT_TRUE(std::any_of(legend.begin(), legend.end(), [](const LegendEntry& e) {
        return e.text == QString::fromUtf8(eventKindName(EEventKind::ToPetrol));
    }));
}

TEST_F(EventsWindowTest, TheMarkerKeyPutsANoteAtTheNewestSampleAndTheSidecarKeepsIt) {
    startSimulator();
    startProgram();
    ASSERT_TRUE(waitUntil([&] { return doc().diagData().count() > 20; }, 5000));
    const std::string recording = doc().recordingPath();
    ASSERT_FALSE(recording.empty());
    updateMenus();
    mainFrame().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainFrame()));
    uint32_t newestWhenOpened = 0;
    onNextModal([&](QWidget* w) {
        auto* dlg = qobject_cast<CMarkerDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        CDiag last;
        doc().diagData().getLast(last);
        newestWhenOpened = last.sampleNo();
        dlg->noteEdit()->setText(QStringLiteral("szarpnięcie\tprzy 3000"));
        dlg->accept();
    });
    QTest::keyClick(&mainFrame(), Qt::Key_F9);
    ASSERT_GT(newestWhenOpened, 0u) << "F9 opened the marker's dialog";

    // The sidecar beside the recording holds it, with the note in one line.
    std::ifstream in(sidecarPath(recording), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const size_t at = text.find("marker\t");
    ASSERT_NE(at, std::string::npos) << text;
    std::istringstream markerLine(text.substr(at, text.find('\n', at) - at));
    std::string key, note;
    uint32_t sample = 0;
    markerLine >> key >> sample;
    std::getline(markerLine >> std::ws, note);
    EXPECT_GE(sample, newestWhenOpened);
    EXPECT_LE(sample, newestWhenOpened + 20);
    EXPECT_EQ(note, "szarpnięcie przy 3000");

    // The list shows it, and so does the chart (as a mark of its own kind).
    ASSERT_TRUE(waitUntil([&] {
        const auto& rows = pane()->rows();
        return std::any_of(rows.begin(), rows.end(), [](const EventRow& r) { return r.marker; });
    }, 3000));
    const auto& marks = view()->chart().Marks().All();
    EXPECT_TRUE(std::any_of(marks.begin(), marks.end(), [&](const ChartMark& m) {
        return m.x == sample && m.kind == QStringLiteral("Znacznik");
    }));
}

TEST_F(EventsWindowTest, TheCompareWindowShowsTheCellsTheirChangeAndTheVerdict) {
    qtApp();
    // One cell driven long enough in both (2500 1/min): A's petrol time on LPG 10 %
    // above that on petrol, B's 2 %; one cell (3500 1/min) with a few samples only.
    const auto write = [&](const std::string& path, int lpgTicks) {
        std::ofstream out(path, std::ios::binary);
        int n = 1;
        for (int i = 0; i < 15; ++i) out << line(n++, false, 1920, 200);
        for (int i = 0; i < 15; ++i) out << line(n++, true, 1920, lpgTicks);
        for (int i = 0; i < 3; ++i) out << line(n++, true, 1371, 200);
    };
    const std::string a = m_home.path() + "/przed.lpgd", b = m_home.path() + "/po.lpgd";
    write(a, 220);
    write(b, 204);
    CCompareDlg dlg;
    ASSERT_TRUE(dlg.load(QString::fromStdString(a), QString::fromStdString(b)));
    QTableWidget* t = dlg.table();
    int judged = -1, few = -1;
    for (int r = 0; r < t->rowCount(); ++r) {
        if (t->item(r, CCompareDlg::COL_SPEED)->text().startsWith(QStringLiteral("2000"))) judged = r;
        if (t->item(r, CCompareDlg::COL_SPEED)->text().startsWith(QStringLiteral("3000"))) few = r;
    }
    ASSERT_GE(judged, 0);
    ASSERT_GE(few, 0);
    const auto text = [&](int r, int c) { return t->item(r, c)->text(); };
    EXPECT_EQ(text(judged, CCompareDlg::COL_A_PETROL), QStringLiteral("5.00"));
    EXPECT_EQ(text(judged, CCompareDlg::COL_A_LPG), QStringLiteral("5.50"));
    EXPECT_EQ(text(judged, CCompareDlg::COL_A_DIFF), QStringLiteral("+10.0"));
    EXPECT_EQ(text(judged, CCompareDlg::COL_B_DIFF), QStringLiteral("+2.0"));
    EXPECT_EQ(text(judged, CCompareDlg::COL_A_COUNTS), QStringLiteral("15 / 15"));
    EXPECT_EQ(text(judged, CCompareDlg::COL_CHANGE), QStringLiteral("-8.0"));
    EXPECT_EQ(text(judged, CCompareDlg::COL_VERDICT), QStringLiteral("lepiej"));
    EXPECT_EQ(text(few, CCompareDlg::COL_A_DIFF), QStringLiteral("za mało"));
    EXPECT_EQ(text(few, CCompareDlg::COL_VERDICT), QStringLiteral("bez oceny"));
    EXPECT_EQ(text(few, CCompareDlg::COL_CHANGE), QString());
    EXPECT_EQ(dlg.verdictText(), QString::fromStdString(dlg.result().verdict));
    EXPECT_FALSE(dlg.verdictText().isEmpty());

    // The offset: spin box, slider and arrow keys move B over A.
    dlg.setOffset(12);
    EXPECT_EQ(dlg.chart()->offset(), 12);
    dlg.chart()->setFocus();
    QTest::keyClick(dlg.chart(), Qt::Key_Right);
    EXPECT_EQ(dlg.offset(), 22);
    QTest::keyClick(dlg.chart(), Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(dlg.offset(), 21);
    EXPECT_EQ(dlg.chart()->chartB().XToPixel(5), dlg.chart()->chartA().XToPixel(26));
}

} // namespace zefirel::test
