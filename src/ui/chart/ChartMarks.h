#pragma once
/// Marks on a series chart: a labelled vertical line at a sample number, for the
/// events found in a recording and the installer's own markers. They are drawn over
/// the series, in the colour of their kind, and the legend names the kinds shown.

#include <QString>

#include <cstdint>
#include <vector>

#include "ui/chart/ChartLegend.h"

class QPainter;

namespace zefirel {

/// One mark: where it stands, its colour (0x00BBGGRR), the short label drawn by the
/// line and the name of its kind in the legend.
struct ChartMark {
    double x = 0;
    uint32_t colour = 0;
    QString label;
    QString kind;
};

/// The marks of a chart, kept in the order of their sample numbers so that drawing
/// a window looks at the marks inside it only.
class CChartMarks {
public:
    /// Replaces the marks (any order).
    void Set(std::vector<ChartMark> marks);
    void Clear() { m_marks.clear(); }
    const std::vector<ChartMark>& All() const { return m_marks; }
    bool Empty() const { return m_marks.empty(); }
    /// Index range of the marks whose x lies in [xMin, xMax].
    std::pair<size_t, size_t> Span(double xMin, double xMax) const;
    /// One legend entry per kind of the marks in [xMin, xMax], in the order of
    /// their first appearance.
    std::vector<LegendEntry> Legend(double xMin, double xMax) const;

private:
    std::vector<ChartMark> m_marks;
};

} // namespace zefirel
