// The chart settings dialog: its focus-loss rules and the OK check.

#include <QApplication>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "gui/ChartTestSupport.h"
#include "ui/chart/ChartSetupDlg.h"
#include "ui/chart/SeriesCharts.h"

namespace zefirel::test {
namespace {

class ChartSetup : public ChartTest {
protected:
    using F = CChartSetupDlg::Field;
    void Type(F f, const QString& text) { dlg().Edit(f)->setText(text); }
    void Leave(F f) {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(dlg().Edit(f), &out);
    }
    QString Text(F f) { return dlg().Edit(f)->text(); }
    CChartSetupDlg& dlg() {
        if (!m_dlg) m_dlg = std::make_unique<CChartSetupDlg>();
        return *m_dlg;
    }
    /// Presses OK; returns the text of a message box that came up (closed at once).
    QString PressOk() {
        QString shown;
        // A timer of this call only: when no box comes up it must not fire later,
        // inside another test's dialog, with `shown` gone.
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                EXPECT_EQ(box->windowTitle(), "Zefirel");
                box->accept();
            }
        });
        timer.start(0);
        dlg().findChild<QPushButton*>("okButton")->click();
        return shown;
    }
    std::unique_ptr<CChartSetupDlg> m_dlg;
};

TEST_F(ChartSetup, LeavingAnXBoundKeepsTheWindowBetweenFiftyAndTenThousandSamples) {
    CRPMChart chart(nullptr);
    chart.SetSize(QSize(580, 430));
    dlg().FillFrom(chart);
    EXPECT_EQ(Text(F::PlotWidth), "500");
    EXPECT_TRUE(dlg().Edit(F::PlotWidth)->isReadOnly());
    // Leaving "do" moves "od"; leaving "od" moves "do". nullptr: not checked.
    struct Case {
        const char *xMin, *xMax;
        F left;
        const char *wantMin, *wantMax, *wantGrid;
    };
    const Case cases[] = {
        {"0", "20", F::XMax, "0", "50", "5"},             // too narrow at the start: widened forward
        {"300", "320", F::XMax, "270", "320", "5"},       // widened backward
        {"0", "20000", F::XMax, "10000", "20000", "1000"}, // too wide: cut from the start
        {"100", "30000", F::XMin, "100", "10100", nullptr},
        {"100", "120", F::XMin, "100", "150", "5"},
    };
    for (const Case& c : cases) {
        Type(F::XMin, c.xMin);
        Type(F::XMax, c.xMax);
        Leave(c.left);
        const QString row = QString("%1..%2").arg(c.xMin, c.xMax);
        EXPECT_EQ(Text(F::XMin), c.wantMin) << row.toStdString();
        EXPECT_EQ(Text(F::XMax), c.wantMax) << row.toStdString();
        if (c.wantGrid) {
            EXPECT_EQ(Text(F::XGrid), c.wantGrid) << row.toStdString();
        }
    }
}

TEST_F(ChartSetup, LeavingAYBoundSetsTheYGrid) {
    Type(F::YMin, "-20");
    Type(F::YMax, "30");
    Leave(F::YMin);
    EXPECT_EQ(Text(F::YGrid), "5");
    Type(F::YMax, "abc");  // not a number: nothing is rewritten
    Leave(F::YMax);
    EXPECT_EQ(Text(F::YGrid), "5");
}

TEST_F(ChartSetup, OkRefusesEqualYBoundsAndEmptyGrid) {
    CTimeChart chart(nullptr);
    chart.SetSize(QSize(580, 430));
    dlg().FillFrom(chart);
    dlg().show();
    Type(F::YMin, "7");
    Type(F::YMax, "7");
    EXPECT_EQ(PressOk(), QString::fromUtf8("Nieprawidłowe wartości"));
    EXPECT_TRUE(dlg().isVisible());
    EXPECT_EQ(dlg().result(), QDialog::Rejected);
    Type(F::YMax, "9");
    Type(F::YGrid, "0");
    EXPECT_EQ(PressOk(), QString::fromUtf8("Nieprawidłowe wartości"));
    Type(F::YGrid, "0.5");
    EXPECT_EQ(PressOk(), QString());
    EXPECT_EQ(dlg().result(), QDialog::Accepted);
}

TEST_F(ChartSetup, ShowsRoundNumbersTakesADecimalCommaAndCancelLeavesTheChart) {
    CTimeChart chart(nullptr);
    chart.SetSize(QSize(580, 430));
    chart.SetYRange(0, 3);
    chart.SetYGrid(0.1 * 3);  // 0.30000000000000004 in binary
    dlg().FillFrom(chart);
    EXPECT_EQ(Text(F::YGrid), "0.3");
    Type(F::YMax, "1,5");
    Leave(F::YMax);
    EXPECT_EQ(Text(F::YMax), "1.5");
    EXPECT_EQ(Text(F::YGrid), "0.15");
    Type(F::YMin, "1,5,0");  // not a number with either separator
    EXPECT_EQ(PressOk(), QString::fromUtf8("Nieprawidłowe wartości"));

    // "Anuluj" closes without touching the chart or its scale file.
    const QString scale = QString::fromStdString(::testing::TempDir()) + "/CTimeChart-cancel.txt";
    QFile::remove(scale);
    QTimer::singleShot(0, [] {
        auto* open = qobject_cast<CChartSetupDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(open, nullptr);
        open->Edit(F::YMax)->setText("99");
        open->findChild<QPushButton*>("cancelButton")->click();
    });
    EXPECT_FALSE(CChartSetupDlg::Run(chart, nullptr, scale));
    EXPECT_THAT(YRange(chart), Near({0, 3}));
    EXPECT_FALSE(QFile::exists(scale));
}

} // namespace
} // namespace zefirel::test
