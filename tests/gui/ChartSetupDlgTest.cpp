// The chart settings dialog: its focus-loss rules, the OK check and applying it.

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
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
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                EXPECT_EQ(box->windowTitle(), "Zefirel");
                box->accept();
            }
        });
        dlg().findChild<QPushButton*>("okButton")->click();
        return shown;
    }
    std::unique_ptr<CChartSetupDlg> m_dlg;
};

TEST_F(ChartSetup, NarrowXWindowWidensToFiftySamples) {
    CRPMChart chart(nullptr);
    chart.SetSize(QSize(580, 430));
    dlg().FillFrom(chart);
    EXPECT_EQ(Text(F::PlotWidth), "500");
    EXPECT_TRUE(dlg().Edit(F::PlotWidth)->isReadOnly());
    Type(F::XMin, "0");
    Type(F::XMax, "20");
    Leave(F::XMax);
    EXPECT_EQ(Text(F::XMin), "0");
    EXPECT_EQ(Text(F::XMax), "50");
    EXPECT_EQ(Text(F::XGrid), "5");
    Type(F::XMin, "300");
    Type(F::XMax, "320");
    Leave(F::XMax);
    EXPECT_EQ(Text(F::XMin), "270");
    EXPECT_EQ(Text(F::XGrid), "5");
}

TEST_F(ChartSetup, WideXWindowIsCutToTenThousandSamples) {
    Type(F::XMin, "0");
    Type(F::XMax, "20000");
    Leave(F::XMax);
    EXPECT_EQ(Text(F::XMin), "10000");
    EXPECT_EQ(Text(F::XGrid), "1000");
    // Leaving "od" moves "do" instead.
    Type(F::XMin, "100");
    Type(F::XMax, "30000");
    Leave(F::XMin);
    EXPECT_EQ(Text(F::XMax), "10100");
    Type(F::XMax, "120");
    Leave(F::XMin);
    EXPECT_EQ(Text(F::XMax), "150");
    EXPECT_EQ(Text(F::XGrid), "5");
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

TEST_F(ChartSetup, OkAppliesTheValuesAndSavesTheScale) {
    QTemporaryDir dir;
    const QString path = dir.filePath("CLambdaChart.txt");
    CLambdaChart chart(nullptr);
    chart.SetSize(QSize(580, 430));
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<CChartSetupDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        ran = true;
        d->Edit(F::XMin)->setText("1000");
        d->Edit(F::XMax)->setText("1200");
        d->Edit(F::XGrid)->setText("20");
        d->Edit(F::YMin)->setText("0.5");
        d->Edit(F::YMax)->setText("1.5");
        d->Edit(F::YGrid)->setText("0.25");
        d->findChild<QPushButton*>("okButton")->click();
    });
    EXPECT_TRUE(CChartSetupDlg::Run(chart, nullptr, path));
    EXPECT_TRUE(ran);
    CTimeChart other(nullptr);
    EXPECT_DOUBLE_EQ(other.XMin(), 1000);
    EXPECT_DOUBLE_EQ(other.XMax(), 1200);
    EXPECT_DOUBLE_EQ(other.XGrid(), 20);
    EXPECT_DOUBLE_EQ(chart.YMin(), 0.5);
    EXPECT_DOUBLE_EQ(chart.YMax(), 1.5);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("YAXIS\t0.5\t1.5\nYGRID\t0.25\n"));
}

} // namespace
} // namespace zefirel::test
