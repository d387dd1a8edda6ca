#include "ui/chart/ChartPage.h"

#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <cmath>

#include "ui/chart/Chart.h"

namespace zefirel {

namespace {

constexpr int MARGIN = 30;
constexpr int TITLE_PX = 22;
constexpr int SUBTITLE_PX = 14;

QFont PageFont(int px, bool bold) {
    QFont f;
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

} // namespace

QString ChartPageSubtitle(const CSeriesChart& chart, const ChartPageInfo& info) {
    const QString file = info.recording.isEmpty() ? QStringLiteral("bez pliku")
                                                  : QFileInfo(info.recording).fileName();
    const auto first = static_cast<long long>(std::llround(chart.XMin()));
    const auto last = static_cast<long long>(std::llround(chart.XMax()));
    return QStringLiteral("Plik: %1    Wydruk: %2    Próbki: %3 – %4")
        .arg(file, info.printedAt.toString(QStringLiteral("dd.MM.yyyy HH:mm")))
        .arg(first)
        .arg(last);
}

namespace {
/// Every series of the chart, then the kinds of the marks on the page.
std::vector<LegendEntry> PageLegend(const CSeriesChart& chart) {
    std::vector<LegendEntry> entries = chart.Legend();
    for (LegendEntry& e : chart.Marks().Legend(chart.XMin(), chart.XMax())) entries.push_back(std::move(e));
    return entries;
}
} // namespace

void DrawChartPage(QPainter& dc, CSeriesChart& chart, const ChartPageInfo& info) {
    const QRect device = dc.viewport();
    if (device.width() <= 0 || device.height() <= 0) return;
    const int width = CHART_PAGE_WIDTH;
    const int height = static_cast<int>(std::lround(double(width) * device.height() / device.width()));
    dc.save();
    dc.setWindow(0, 0, width, height);
    dc.fillRect(QRect(0, 0, width, height), Qt::white);

    int y = MARGIN;
    const QFont titleFont = PageFont(TITLE_PX, true);
    dc.setFont(titleFont);
    dc.setPen(Qt::black);
    y += QFontMetrics(titleFont).ascent();
    dc.drawText(MARGIN, y, chart.Title());
    y += QFontMetrics(titleFont).descent() + 6;
    const QFont subFont = PageFont(SUBTITLE_PX, false);
    dc.setFont(subFont);
    y += QFontMetrics(subFont).ascent();
    dc.drawText(MARGIN, y, ChartPageSubtitle(chart, info));
    y += QFontMetrics(subFont).descent() + 10;

    const int legendHeight = LegendHeight();
    const QRect chartArea(MARGIN, y, width - 2 * MARGIN, height - y - MARGIN - legendHeight - 4);
    chart.SetSize(chartArea.size());
    dc.save();
    dc.translate(chartArea.topLeft());
    dc.setClipRect(QRect(QPoint(0, 0), chartArea.size()));
    chart.Draw(dc);
    dc.restore();
    DrawLegend(dc, QRect(MARGIN + static_cast<int>(chart.Left()), chartArea.bottom() + 4,
                         chartArea.width() - static_cast<int>(chart.Left()), legendHeight),
               PageLegend(chart));
    dc.restore();
}

} // namespace zefirel
