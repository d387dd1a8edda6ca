#pragma once
/// The legend of a chart: one small colour swatch and a short name per series,
/// laid out in a strip of its own so that it never covers the plotted data.

#include <QRect>
#include <QString>

#include <cstdint>
#include <vector>

class QPainter;

namespace zefirel {

/// One legend entry: the series colour (0x00BBGGRR) and what the series shows.
struct LegendEntry {
    uint32_t colour = 0;
    QString text;
};

/// Height of the legend strip in pixels (one line of the legend font).
int LegendHeight();

/// Draws the entries left to right inside area, vertically centred; entries that
/// do not fit in the width are left out rather than drawn over each other.
/// Returns how many entries were drawn.
int DrawLegend(QPainter& dc, const QRect& area, const std::vector<LegendEntry>& entries);

} // namespace zefirel
