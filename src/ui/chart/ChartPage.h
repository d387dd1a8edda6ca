#pragma once
/// A printed page of a diagnostic chart: a heading with the chart's name, the
/// recording it shows, the date and time and the sample range, then the chart over
/// most of the page and its legend under it.

#include <QDateTime>
#include <QRect>
#include <QString>

class QPainter;

namespace zefirel {

class CSeriesChart;

/// What the heading of a chart page names besides the chart.
struct ChartPageInfo {
    QString recording;   ///< the recording's path; empty when the samples are not from a file
    QDateTime printedAt;
};

/// Logical width of a chart page: the page is drawn as if it were this many pixels
/// wide and scaled to the device, so the chart's pixel-sized fonts stay legible on
/// any printer resolution.
inline constexpr int CHART_PAGE_WIDTH = 1400;

/// The heading's second line: file, date and time, sample range.
QString ChartPageSubtitle(const CSeriesChart& chart, const ChartPageInfo& info);

/// Draws the page into the painter's viewport. The chart is laid out for the page
/// and left so; the caller lays it out for its window again.
void DrawChartPage(QPainter& dc, CSeriesChart& chart, const ChartPageInfo& info);

} // namespace zefirel
