#pragma once
/// The value-to-pixel mapping of a series chart with the chart's current scale taken
/// once, for the per-point drawing loops and the single-value mappings alike.

#include <cmath>
#include <cstdint>

#include "ui/chart/Chart.h"

namespace zefirel {

struct CSeriesChart::Mapper {
    double left, width, xMin, xSpan, bottom, height, yMin, ySpan;

    explicit Mapper(const CSeriesChart& c)
        : left(c.Left()), width(c.PlotWidth()), xMin(c.XMin()), xSpan(c.XMax() - c.XMin()),
          bottom(c.Top() + c.PlotHeight()), height(c.PlotHeight()), yMin(c.YMin()), ySpan(c.YMax() - c.YMin()) {}
    /// Halves away from zero, the rule of roundToInt, inlined for the loops. Cutting
    /// off the fraction through a 64-bit integer is what std::trunc does for every
    /// value that has one, and far cheaper where trunc is a library call.
    static double Round(double v) {
        const double h = v >= 0 ? v + 0.5 : v - 0.5;
        return std::fabs(h) < 4503599627370496.0 ? static_cast<double>(static_cast<int64_t>(h)) : h;  // 2^52
    }
    int x(double v) const { return xSpan == 0 ? ClampToInt(left) : ClampToInt(left + Round(width * (v - xMin) / xSpan)); }
    int y(double v) const {
        return ySpan == 0 ? ClampToInt(bottom) : ClampToInt(bottom - Round(height * (v - yMin) / ySpan));
    }
};

} // namespace zefirel
