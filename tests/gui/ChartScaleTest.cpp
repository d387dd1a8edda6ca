// Scale files of the series charts.

#include <QFile>
#include <QTemporaryDir>

#include "gui/ChartTestSupport.h"
#include "ui/chart/SeriesCharts.h"

namespace zefirel::test {
namespace {

class ChartScale : public ChartTest {
protected:
    QString PathOf(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void Write(const QString& path, const QByteArray& text) const {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray Read(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
};

TEST_F(ChartScale, SavedFileHoldsExactlyTheYRangeAndYGridLines) {
    CPressureChart chart(nullptr);
    chart.SetYRange(20, 180.5);
    chart.SetYGrid(16.05);
    CSeriesChart::SetXWindow(100, 900);
    const QString path = PathOf("sub/CPressureChart.txt");  // the folder is made on demand
    ASSERT_TRUE(chart.SaveScale(path));
    EXPECT_EQ(Read(path), QByteArray("YAXIS\t20\t180.5\nYGRID\t16.05\n"));
    // Saving again replaces the contents.
    chart.SetYRange(0, 250);
    ASSERT_TRUE(chart.SaveScale(path));
    EXPECT_EQ(Read(path), QByteArray("YAXIS\t0\t250\nYGRID\t16.05\n"));

    CPressureChart loaded(nullptr);
    ASSERT_TRUE(loaded.LoadScale(path));
    EXPECT_THAT(YScale(loaded), Near({0, 250, 16.05}));
}

TEST_F(ChartScale, XAxisLineMovesTheWindowOfEverySeriesChart) {
    const QString path = PathOf("CPressureChart.txt");
    Write(path, "XAXIS\t100\t300\nYAXIS\t10\t90\nXGRID\t20\nYGRID\t8\n");
    CPressureChart chart(nullptr);
    CRPMChart other(nullptr);
    ASSERT_TRUE(chart.LoadScale(path));
    EXPECT_THAT(XScale(other), Near({100, 300, 20}));
    EXPECT_THAT(YScale(chart), Near({10, 90, 8}));
    EXPECT_DOUBLE_EQ(other.YMax(), 8000);  // y stays per chart
}

TEST_F(ChartScale, MissingOrBrokenFilesLeaveTheScale) {
    CRPMChart chart(nullptr);
    EXPECT_FALSE(chart.LoadScale(PathOf("absent.txt")));
    EXPECT_DOUBLE_EQ(chart.YMax(), 8000);

    // Crossed ranges and empty steps are ignored; reading stops at a missing number.
    const QString path = PathOf("CRPMChart.txt");
    Write(path, "YAXIS\t500\t100\r\nYGRID\t0\r\nXAXIS\t50\t50\r\nYAXIS\t100\t900\r\nYGRID\tabc\r\nXGRID\t7\r\n");
    ASSERT_TRUE(chart.LoadScale(path));
    EXPECT_THAT(YScale(chart), Near({100, 900, 2000}));
    EXPECT_THAT(XScale(chart), Near({0, 500, 50}));
}

} // namespace
} // namespace zefirel::test
