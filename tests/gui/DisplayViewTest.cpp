// The diagnostic display view on a store the test fills: following the newest
// sample, paging, zoom by dragging, the pointer read-out, the chart menu, the chart
// exchange with its scale file, and printing.

#include <QAction>
#include <QLineEdit>
#include <QFile>
#include <QMenu>
#include <QPaintEngine>
#include <QPrinter>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "AppTestKit.h"
#include "gui/ChartTestSupport.h"
#include "ui/chart/Chart.h"
#include "ui/chart/ChartSetupDlg.h"
#include "ui/diag/ChartOverview.h"
#include "ui/diag/DisplayView.h"

namespace zefirel::test {
namespace {

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        ::setenv("XDG_DATA_HOME", (m_home.path() + "/data").c_str(), 1);
        CSeriesChart::ResetXWindow();
        CSeriesChart::ResetAutoscaleStates();
        m_bar = std::make_unique<CLPGBar>();
        m_doc = std::make_unique<CDeviceDoc>(nullptr, &m_prefs);
        m_view = std::make_unique<CDisplayView>(*m_doc, m_bar.get());
        // 720 plot pixels for a 720-sample window: one pixel per sample.
        m_view->resize(60 + 720 + 20, 10 + 270 + 20 + OVERVIEW_HEIGHT + LegendHeight());
        m_view->show();
    }
    void TearDown() override {
        m_view.reset();
        m_doc.reset();
        CSeriesChart::ResetXWindow();
        CSeriesChart::SetLiveCheck(nullptr);
    }
    void fill(int n, double petrolMs = 3.0) {
        for (int i = 0; i < n; ++i) {
            CDiag d;
            d.setSampleNo(static_cast<uint32_t>(m_doc->diagData().count() + 1));
            d.setInjector(1);
            d.setPetrolTime(0, Ticks(petrolMs));
            m_doc->diagData().add(d);
        }
    }
    /// Columns of the image between x0 and x1 (exclusive) that hold this colour.
    static int ColumnsWith(const QImage& img, QColor colour, int x0, int x1) {
        int n = 0;
        for (int x = std::max(0, x0); x < std::min(img.width(), x1); ++x)
            for (int y = 0; y < img.height(); ++y)
                if (QColor(img.pixel(x, y)) == colour) {
                    ++n;
                    break;
                }
        return n;
    }
    CSeriesChart& chart() { return m_view->chart(); }
    QPoint at(double x, double y) { return QPoint(chart().XToPixel(x), chart().YToPixel(y)); }

    CScratchFolder m_home;
    CMemoryPreferences m_prefs;
    std::unique_ptr<CLPGBar> m_bar;
    std::unique_ptr<CDeviceDoc> m_doc;
    std::unique_ptr<CDisplayView> m_view;
};

TEST_F(DisplayTest, RefreshFollowsTheNewestSampleOnlyNearTheWindowsEnd) {
    fill(490);
    m_view->onRefresh();
    EXPECT_EQ(chart().GetLastSampleNo(), 490);
    EXPECT_THAT(XRange(chart()), Near({0, 500}));
    // Nothing new: nothing happens.
    m_view->onRefresh();
    EXPECT_EQ(chart().XMin(), 0);

    fill(5); // 495 samples
    m_view->onRefresh();
    EXPECT_THAT(XRange(chart()), Near({450, 950}));
    // The new window's samples are loaded at once.
    EXPECT_EQ(chart().GetLastSampleNo(), 495);
}

TEST_F(DisplayTest, RefreshInvalidatesTheStripOfTheNewSamples) {
    fill(100);
    m_view->onRefresh();
    fill(50);
    m_view->onRefresh();
    const QRect r = m_view->lastRefreshRect();
    EXPECT_LE(r.left(), chart().XToPixel(100));
    EXPECT_GE(r.right(), chart().XToPixel(150));
    EXPECT_LT(r.width(), chart().XToPixel(150) - chart().XToPixel(100) + 10);
    EXPECT_LE(r.top(), chart().YToPixel(chart().YMax()));
    EXPECT_GE(r.bottom(), chart().YToPixel(chart().YMin()));
}

TEST_F(DisplayTest, ButtonsPageAndStepThroughTheRecording) {
    // "<" at 0..500 does nothing; then ">", ">>" and "<<".
    const struct {
        const char* button;
        double xMin, xMax;
    } clicks[] = {{"page8", 0, 500}, {"page7", 50, 550}, {"page5", 550, 1050}, {"page6", 50, 550}};
    for (const auto& c : clicks) {
        QTest::mouseClick(m_view->findChild<QWidget*>(QString::fromLatin1(c.button)), Qt::LeftButton);
        EXPECT_EQ(chart().XMin(), c.xMin) << c.button;
        EXPECT_EQ(chart().XMax(), c.xMax) << c.button;
    }
    // "<<" closer than one width to the start: the old first sample becomes the last.
    m_view->onPageBack();
    EXPECT_THAT(XRange(chart()), Near({0, 50}));
    // "<" near the start clamps at 0 and keeps a positive end.
    CSeriesChart::SetXWindow(20, 40);
    m_view->onStepBack();
    EXPECT_THAT(XRange(chart()), Near({0, 50}));
}

TEST_F(DisplayTest, DraggingZoomsOnlyOverFiftySamplesAndTenPixels) {
    CSeriesChart::SetXWindow(700, 1420);
    // 40 samples wide: no zoom.
    QTest::mousePress(m_view.get(), Qt::LeftButton, {}, at(1000, 30));
    QTest::mouseMove(m_view.get(), at(1040, 10));
    QTest::mouseRelease(m_view.get(), Qt::LeftButton, {}, at(1040, 10));
    EXPECT_THAT(XRange(chart()), Near({700, 1420}));
    // Wide enough but only a few pixels high: no zoom either.
    EXPECT_FALSE(m_view->zoomTo(at(1000, 20), at(1200, 20) + QPoint(0, 5)));

    QTest::mousePress(m_view.get(), Qt::LeftButton, {}, at(1200, 10));
    QTest::mouseMove(m_view.get(), at(1000, 30));
    QTest::mouseRelease(m_view.get(), Qt::LeftButton, {}, at(1000, 30));
    EXPECT_THAT(XScale(chart()), Near({1000, 1200, 20}));
    EXPECT_NEAR(chart().YMin(), 10, 0.2);
    EXPECT_NEAR(chart().YMax(), 30, 0.2);

    // A double click cancels a drag: the release that follows zooms nothing.
    QTest::mousePress(m_view.get(), Qt::LeftButton, {}, at(1020, 12));
    QTest::mouseDClick(m_view.get(), Qt::LeftButton, {}, at(1020, 12));
    QTest::mouseRelease(m_view.get(), Qt::LeftButton, {}, at(1150, 28));
    EXPECT_EQ(chart().XMin(), 1000);
}

TEST_F(DisplayTest, PointerReadoutShowsSampleAndValueInsideThePlotOnly) {
    CSeriesChart::SetXWindow(0, 720);
    QTest::mouseMove(m_view.get(), at(300, 20));
    EXPECT_EQ(m_bar->info(), QStringLiteral("Próbka = 300, wartość = 20 ms"));
    // On the plot border the field is emptied.
    QTest::mouseMove(m_view.get(), QPoint(static_cast<int>(chart().Left()), chart().YToPixel(20)));
    EXPECT_EQ(m_bar->info(), QString());
    EXPECT_EQ(m_view->readoutAt(QPoint(5, 5)), QString());
    EXPECT_EQ(m_view->readoutAt(at(250, 8)), QStringLiteral("Próbka = 250, wartość = 8 ms"));
    // Sample numbers stay whole numbers however large.
    CSeriesChart::SetXWindow(1234000, 1234720);
    EXPECT_EQ(m_view->readoutAt(at(1234567, 20)), QStringLiteral("Próbka = 1234567, wartość = 20 ms"));
    // Values keep one decimal and never turn into exponents; each chart has its unit.
    CSeriesChart::SetXWindow(0, 720);
    chart().SetYRange(0, 1e9);
    EXPECT_THAT(m_view->readoutAt(QPoint(at(300, 0).x(), chart().YToPixel(5.2e8))).toStdString(),
                ::testing::MatchesRegex("Próbka = 300, wartość = 5[0-9]{8} ms"));
    chart().SetYRange(0, 40);
    const QPoint fraction(at(300, 0).x(), chart().YToPixel(8.3));
    EXPECT_EQ(m_view->readoutAt(fraction), QStringLiteral("Próbka = 300, wartość = 8.3 ms"));
    m_view->setChart(CHART_RPM);
    EXPECT_TRUE(m_view->readoutAt(at(300, 4000)).endsWith(QStringLiteral(" obr/min")));
    m_view->setChart(CHART_TEMPR_LPG);
    EXPECT_TRUE(m_view->readoutAt(at(300, 40)).endsWith(QString::fromUtf8(" °C")));
}

TEST_F(DisplayTest, ANewRunStartsAtTheFirstWindowAndAStoppedRunCanBePagedThrough) {
    CSeriesChart::SetXWindow(3000, 3500); // where the previous run left the window
    m_view->reset();
    EXPECT_THAT(XRange(chart()), Near({0, 500}));
    // Diagnostics off and no file: the store still holds the stopped run.
    fill(1000);
    const struct {
        const char* button;
        int lastShown;
    } pages[] = {{"page7", 550}, {"page5", 1000}, {"page6", 550}};
    for (const auto& p : pages) {
        QTest::mouseClick(m_view->findChild<QWidget*>(QString::fromLatin1(p.button)), Qt::LeftButton);
        EXPECT_EQ(chart().GetLastSampleNo(), p.lastShown) << p.button;
    }
}

TEST_F(DisplayTest, ChartMenuOffersAutoscaleOnlyWithDataAndRestoresTheScale) {
    QMenu* menu = m_view->chartMenu();
    QAction* autoscale = menu->actions().back();
    ASSERT_EQ(autoscale->text(), QStringLiteral("Autoskalowanie"));
    EXPECT_FALSE(autoscale->isEnabled());

    m_doc->setRecordingPath(m_home.path() + "/replayed.lpgd");
    menu = m_view->chartMenu();
    EXPECT_TRUE(autoscale->isEnabled());
    EXPECT_FALSE(autoscale->isChecked());
    autoscale->trigger();
    EXPECT_TRUE(chart().Autoscale());
    EXPECT_TRUE(m_view->chartMenu()->actions().back()->isChecked());
    chart().SetYRange(3, 7);
    autoscale->trigger(); // switched off: the default scale comes back
    EXPECT_FALSE(chart().Autoscale());
    EXPECT_THAT(YRange(chart()), Near({chart().DefaultYMin(), chart().DefaultYMax()}));

    chart().SetYRange(3, 7);
    ASSERT_EQ(menu->actions().at(1)->text(), QStringLiteral("Przywróć skalę"));
    menu->actions().at(1)->trigger();
    EXPECT_EQ(chart().YMax(), chart().DefaultYMax());
}

TEST_F(DisplayTest, ChartSettingsFromTheMenuAreAppliedAndSavedToTheScaleFile) {
    onNextModal([](QWidget* w) {
        auto* dlg = qobject_cast<CChartSetupDlg*>(w);
        ASSERT_NE(dlg, nullptr);
        const char* texts[] = {"1000", "1200", "20", "2", "12", "2.5"};
        const CChartSetupDlg::Field fields[] = {CChartSetupDlg::XMin, CChartSetupDlg::XMax, CChartSetupDlg::XGrid,
                                                CChartSetupDlg::YMin, CChartSetupDlg::YMax, CChartSetupDlg::YGrid};
        for (int i = 0; i < 6; ++i) dlg->Edit(fields[i])->setText(QString::fromLatin1(texts[i]));
        dlg->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    });
    m_view->chartMenu()->actions().at(0)->trigger();
    // x goes to the window every series chart shares, y to this chart.
    auto other = makeChart(CHART_PRESSURE, nullptr);
    EXPECT_THAT(XScale(*other), Near({1000, 1200, 20}));
    EXPECT_THAT(YRange(chart()), Near({2, 12}));
    // The scale file of the user folder, named after the class, holds the two y lines only.
    EXPECT_EQ(chart().ScaleFilePath(), QString::fromStdString(m_home.path() + "/data/Zefirel/CTimeChart.txt"));
    QFile f(chart().ScaleFilePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("YAXIS\t2\t12\nYGRID\t2.5\n"));
}

TEST_F(DisplayTest, ChoosingAChartLoadsItsScaleAndKeepsTheWindow) {
    auto pressure = makeChart(CHART_PRESSURE, nullptr);
    const std::filesystem::path scale = pressure->ScaleFilePath().toStdString();
    std::filesystem::create_directories(scale.parent_path());
    std::ofstream(scale) << "YAXIS\t10\t90\nYGRID\t20\n";
    CSeriesChart::SetXWindow(300, 800);
    m_view->setChart(CHART_PRESSURE);
    EXPECT_STREQ(chart().GetName(), "CPressureChart");
    EXPECT_THAT(YRange(chart()), Near({10, 90}));
    EXPECT_THAT(XRange(chart()), Near({300, 800}));

    // With a replayed file set and diagnostics off the new chart is drawn from the store.
    fill(1000);
    m_doc->setRecordingPath(m_home.path() + "/replayed.lpgd");
    m_view->setChart(CHART_RPM);
    EXPECT_EQ(chart().GetLastSampleNo(), 1000);
    EXPECT_EQ(chart().XMin(), 300);
    // Redrawing from the store takes every sample and starts at 0..500 again.
    m_view->redrawFromStore();
    EXPECT_THAT(XScale(chart()), Near({0, 500, 50}));
}

TEST_F(DisplayTest, RefreshTimerRunsAtTheDocumentsPeriod) {
    m_view->start();
    EXPECT_TRUE(m_view->refreshTimerActive());
    m_view->setRefreshPeriod(5000);
    EXPECT_EQ(m_view->findChild<QTimer*>(QStringLiteral("timer5000"))->interval(), 5000);
    m_view->setRefreshPeriod(500);
    EXPECT_EQ(m_view->findChild<QTimer*>(QStringLiteral("timer5000"))->interval(), 500);
    // The tick posts the refresh, which pulls the samples.
    fill(30);
    ASSERT_TRUE(waitUntil([&] { return chart().GetLastSampleNo() == 30; }, 3000));
    m_view->stop(m_doc->currentRun());
    EXPECT_FALSE(m_view->refreshTimerActive());
    m_view->reset();
    EXPECT_EQ(chart().GetLastSampleNo(), 0);
}

/// A paint device that keeps the texts drawn on it, in order.
class TextRecorder : public QPaintDevice {
public:
    QStringList texts;
    QPaintEngine* paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth: return 1100;
        case PdmHeight: return 850;
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 100;
        case PdmDepth: return 32;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return 1 * QPaintDevice::devicePixelRatioFScale();
        default: return 0;
        }
    }

private:
    struct Engine : QPaintEngine {
        QStringList* out;
        explicit Engine(QStringList* o) : QPaintEngine(AllFeatures), out(o) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override { *out << item.text(); }
        // Shapes are not recorded.
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
        void drawRects(const QRect*, int) override {}
        void drawRects(const QRectF*, int) override {}
        void drawLines(const QLine*, int) override {}
        void drawLines(const QLineF*, int) override {}
        void drawPoints(const QPointF*, int) override {}
        void drawPoints(const QPoint*, int) override {}
        void drawEllipse(const QRectF&) override {}
        void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
        Type type() const override { return User; }
    };
    mutable Engine m_engine{&texts};
};

TEST_F(DisplayTest, PrintsALandscapePageWithHeadingChartAndLegend) {
    fill(400);
    m_view->redrawFromStore();
    auto bluePixels = [](const QImage& img, int fromRow) {
        int n = 0;
        for (int y = fromRow; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += QColor(img.pixel(x, y)) == QColor(0, 0, 255);
        return n;
    };
    QImage page(1100, 850, QImage::Format_RGB32); // a landscape page at 100 dpi
    page.fill(Qt::gray);
    m_view->print(&page);
    // The LPG time of 400 of the 500 samples, a blue line over 4/5 of the page's plot
    // (the view's own 720-pixel plot would give about 1700 pixels).
    EXPECT_GT(bluePixels(page, 0), 2200);
    EXPECT_EQ(QColor(page.pixel(2, 2)), QColor(Qt::white)); // the whole page is drawn on
    // The view's own layout is back after printing.
    EXPECT_EQ(chart().PlotWidth(), 720);
    EXPECT_EQ(chart().PlotHeight(), 270);

    TextRecorder recorder;
    m_view->print(&recorder);
    ASSERT_FALSE(recorder.texts.isEmpty());
    EXPECT_EQ(recorder.texts.first(), QString::fromUtf8("Zmiany czasów otwarcia benz/LPG"));
    const QString heading = recorder.texts.value(1);
    EXPECT_TRUE(heading.startsWith(QString::fromUtf8("Plik: bez pliku    Wydruk: "))) << heading.toStdString();
    EXPECT_TRUE(heading.endsWith(QString::fromUtf8("Próbki: 0 – 500"))) << heading.toStdString();
    // The legend names every series of the chart, last on the page.
    EXPECT_EQ(recorder.texts.mid(recorder.texts.size() - 4),
              (QStringList{"czas dodatkowy", "benzyna (jazda na benzynie)", "benzyna (jazda na LPG)", "LPG"}));

    // The same drawing reaches a printer: a PDF page comes out.
    const QString pdf = QString::fromStdString(m_home.path() + "/chart.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    EXPECT_TRUE(m_view->print(&printer));
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(5).startsWith("%PDF"));

    // The print dialog offers the document's name as the PDF's file name: the
    // chart's name "…benz/LPG" must not name a folder that is not there.
    QPrinter named(QPrinter::HighResolution);
    SetUpChartPrinter(named, chart());
    EXPECT_EQ(named.docName(), QString::fromUtf8("Zmiany czasów otwarcia benz_LPG"));
    named.setOutputFormat(QPrinter::PdfFormat);
    named.setOutputFileName(QString::fromStdString(m_home.path()) + "/" + named.docName() + ".pdf");
    EXPECT_TRUE(m_view->print(&named));
    EXPECT_TRUE(QFile::exists(named.outputFileName()));
    // A file that cannot be made is reported with its real reason.
    QPrinter lost(QPrinter::HighResolution);
    lost.setOutputFormat(QPrinter::PdfFormat);
    const QString folder = QString::fromStdString(m_home.path()) + "/Zmiany czasów otwarcia benz";
    lost.setOutputFileName(folder + "/LPG.pdf");
    EXPECT_FALSE(m_view->print(&lost));
    EXPECT_EQ(PrintFailureText(lost),
              QStringLiteral("Nie można zapisać wydruku do pliku %1/LPG.pdf: folder %1 nie istnieje.").arg(folder));
}

TEST_F(DisplayTest, TheLegendHasAStripOfItsOwnUnderThePlot) {
    // No samples: the only blue in the view is the legend's swatch of the LPG time.
    const QImage shot = m_view->grab().toImage();
    const int strip = m_view->height() - LegendHeight();
    EXPECT_LE(chart().GetPlotRect().bottom() + 17, strip); // the x labels fit above the strip
    int inStrip = 0, above = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (QColor(shot.pixel(x, y)) == QColor(0, 0, 255)) ++(y >= strip ? inStrip : above);
    EXPECT_GT(inStrip, 20);
    EXPECT_EQ(above, 0);
}

TEST_F(DisplayTest, AutoscaleFitsTheShownSamplesAfterAReplayAndARestoredScale) {
    // A range left by an earlier live run; the replayed recording holds 18 ms times.
    chart().SetAutoscale(true);
    chart().SetYRange(3.1, 11.4);
    fill(300, 18.0);
    fill(600, 6.0);
    m_doc->setRecordingPath(m_home.path() + "/replayed.lpgd");
    m_view->redrawFromStore();
    // The first page (0..500) shows 300 samples at 18 ms and 200 at 6 ms, all on the chart.
    EXPECT_GE(chart().YMax(), 18.0);
    EXPECT_LE(chart().YMin(), 0.0 + 1e-9); // the LPG extra time and the auxiliary time are 0
    const QImage shot = m_view->grab().toImage();
    const int row18 = chart().YToPixel(18.0);
    int blue = 0;
    for (int x = chart().XToPixel(10); x < chart().XToPixel(290); ++x) blue += QColor(shot.pixel(x, row18)) == QColor(0, 0, 255);
    EXPECT_GT(blue, 200) << "the 18 ms samples are drawn";

    // Paging to samples of 6 ms only fits the range to them; "Przywróć skalę" brings
    // the window back to the start and fits it again.
    m_view->onPageForward();
    m_view->onStepForward();
    EXPECT_THAT(XRange(chart()), Near({550, 1050}));
    EXPECT_LT(chart().YMax(), 8.0);
    EXPECT_GE(chart().YMax(), 6.0);
    m_view->chartMenu()->findChild<QAction*>(QStringLiteral("cmd%1").arg(ID_RESTORE_SCALE))->trigger();
    EXPECT_THAT(XRange(chart()), Near({0, 500}));
    EXPECT_GE(chart().YMax(), 18.0);
}

TEST_F(DisplayTest, ADragDuringALiveRunZoomsWhereThePointerWasPressed) {
    CSeriesChart::SetXWindow(0, 720);
    fill(200);
    m_view->onRefresh();
    const QPoint press = at(300, 20), release = at(500, 10);
    QTest::mousePress(m_view.get(), Qt::LeftButton, {}, press);
    QTest::mouseMove(m_view.get(), release);
    // Meanwhile the run reaches the window's end.
    fill(600);
    m_view->onRefresh();
    QTest::mouseRelease(m_view.get(), Qt::LeftButton, {}, release);
    EXPECT_THAT(XScale(chart()), Near({300, 500, 20}));
    EXPECT_NEAR(chart().YMin(), 10, 0.2);
    EXPECT_NEAR(chart().YMax(), 20, 0.2);
    // Once the button is up the window follows the run again.
    fill(100);
    m_view->onRefresh();
    EXPECT_GT(chart().XMin(), 300);
}

TEST_F(DisplayTest, TheOverviewShowsTheWholeRecordingAndMovesTheWindowWhereClicked) {
    // 3000 samples: LPG time 3 ms for the first half, 9 ms for the second.
    fill(1500, 3.0);
    fill(1500, 9.0);
    m_doc->setRecordingPath(m_home.path() + "/replayed.lpgd");
    m_view->redrawFromStore();
    CChartOverview* strip = m_view->overview();
    ASSERT_NE(strip, nullptr);
    const QRect stripArea = strip->geometry();
    EXPECT_GE(stripArea.top(), chart().GetPlotRect().bottom());
    EXPECT_LT(stripArea.bottom(), m_view->height() - LegendHeight());
    // The chart shows 0..500; the strip shows the LPG line over the whole recording,
    // up to its right end, and 9 ms above 3 ms.
    const QImage img = strip->grab().toImage();
    const int plotLeft = static_cast<int>(chart().Left()), plotRight = plotLeft + static_cast<int>(chart().PlotWidth());
    const QColor blue(0, 0, 255);
    EXPECT_GT(ColumnsWith(img, blue, plotLeft, plotRight), 700);
    EXPECT_GT(ColumnsWith(img, blue, plotRight - 20, plotRight), 15);
    auto topBlue = [&](int x) {
        for (int y = 0; y < img.height(); ++y)
            if (QColor(img.pixel(x, y)) == blue) return y;
        return -1;
    };
    EXPECT_LT(topBlue(plotLeft + 600), topBlue(plotLeft + 100));
    // The window 0..500 is marked over the first sixth of the strip.
    const QRect mark = strip->windowMark();
    EXPECT_NEAR(mark.left(), plotLeft, 2);
    EXPECT_NEAR(mark.right(), plotLeft + 720 / 6, 3);
    EXPECT_NE(QColor(img.pixel(plotLeft + 60, 1)), QColor(img.pixel(plotLeft + 400, 1)));

    // A click three quarters along centres the window there; the width stays.
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(plotLeft + 540, stripArea.height() / 2));
    EXPECT_THAT(XRange(chart()), Near({2000, 2500}));
    EXPECT_EQ(chart().GetLastSampleNo(), 2500);
    EXPECT_NEAR(strip->windowMark().left(), plotLeft + 480, 2);
    // A drag carries the window along.
    QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(plotLeft + 540, 10));
    QTest::mouseMove(strip, QPoint(plotLeft + 240, 10));
    QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(plotLeft + 240, 10));
    EXPECT_THAT(XRange(chart()), Near({750, 1250}));
}

TEST_F(DisplayTest, WholeRunShowsEveryRecordedSampleAndGrowsWithALiveRun) {
    fill(20000);
    CSeriesChart::SetXWindow(1000, 1500);
    QAction* whole = m_view->chartMenu()->findChild<QAction*>(QStringLiteral("wholeRun"));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->text(), QString::fromUtf8("Cały przebieg"));
    whole->trigger();
    // Past the settings dialog's 10,000-sample limit: the whole recording is drawn.
    EXPECT_THAT(XScale(chart()), Near({0, 20000, 2000}));
    EXPECT_EQ(chart().GetLastSampleNo(), 20000);
    const QImage shot = m_view->grab().toImage();
    const int plotLeft = static_cast<int>(chart().Left());
    EXPECT_GT(ColumnsWith(shot, QColor(0, 0, 255), plotLeft, plotLeft + 721), 715);
    // A live run keeps the whole of it in view instead of paging on.
    fill(1000);
    m_view->onRefresh();
    EXPECT_THAT(XRange(chart()), Near({0, 21000}));
    EXPECT_EQ(chart().GetLastSampleNo(), 21000);
    // Any move of the window ends it.
    m_view->onStepForward();
    EXPECT_FALSE(m_view->showsWholeRun());
}

TEST_F(DisplayTest, HomeEndPageUpAndPageDownPageTheChartWhenItHasTheKeyboard) {
    fill(5000);
    CSeriesChart::SetXWindow(1000, 1500);
    // A click on the plot gives the chart the keyboard.
    m_view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
    QTest::mouseClick(m_view.get(), Qt::LeftButton, {}, at(1200, 10));
    EXPECT_TRUE(m_view->hasFocus());
    const struct {
        Qt::Key key;
        double xMin, xMax;
        int lastShown;
    } keys[] = {{Qt::Key_End, 4500, 5000, 5000},
                {Qt::Key_PageUp, 4000, 4500, 4500},
                {Qt::Key_Home, 0, 500, 500},
                {Qt::Key_PageDown, 500, 1000, 1000}};
    for (const auto& k : keys) {
        QTest::keyClick(m_view.get(), k.key);
        EXPECT_THAT(XRange(chart()), Near({k.xMin, k.xMax})) << k.key;
        EXPECT_EQ(chart().GetLastSampleNo(), k.lastShown) << k.key;
    }
    // With Shift held the keys are not the chart's (Shift+F1..F5 choose charts).
    QTest::keyClick(m_view.get(), Qt::Key_End, Qt::ShiftModifier);
    EXPECT_THAT(XRange(chart()), Near({500, 1000}));
}

} // namespace
} // namespace zefirel::test
