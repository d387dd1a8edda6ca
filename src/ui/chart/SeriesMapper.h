#pragma once
/// The value-to-pixel mapping of a series chart with the chart's current scale taken
/// once, for the per-point drawing loops and the single-value mappings alike.

#include <cmath>

#include "ui/chart/Chart.h"

namespace zefirel {

struct CSeriesChart::Mapper {
    double left, width, xMin, xSpan, bottom, height, yMin, ySpan;

    explicit Mapper(const CSeriesChart& c)
        : left(c.Left()), width(c.PlotWidth()), xMin(s_xMin), xSpan(s_xMax - s_xMin),
          bottom(c.Top() + c.PlotHeight()), height(c.PlotHeight()), yMin(c.YMin()), ySpan(c.YMax() - c.YMin()) {}
    /// Halves away from zero, the rule of roundToInt, inlined for the loops.
    static double Round(double v) { return std::trunc(v >= 0 ? v + 0.5 : v - 0.5); }
    int x(double v) const { return xSpan == 0 ? ClampToInt(left) : ClampToInt(left + Round(width * (v - xMin) / xSpan)); }
    int y(double v) const {
        return ySpan == 0 ? ClampToInt(bottom) : ClampToInt(bottom - Round(height * (v - yMin) / ySpan));
    }
};

} // namespace zefirel
