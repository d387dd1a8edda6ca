#pragma once
/// Value records shared by the charts: a plotted point, a series of points, and the
/// colour values (0x00BBGGRR, red in the low byte) the samples and charts carry.

#include <QColor>

#include <cstdint>
#include <vector>

namespace zefirel {

/// Builds a colour value with red in the low byte (0x00BBGGRR).
constexpr uint32_t RGBValue(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16);
}

/// Converts a 0x00BBGGRR colour value to a QColor.
inline QColor ToQColor(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

inline constexpr uint32_t CHART_RED = RGBValue(255, 0, 0);
inline constexpr uint32_t CHART_GREEN = RGBValue(0, 255, 0);
inline constexpr uint32_t CHART_BLUE = RGBValue(0, 0, 255);
inline constexpr uint32_t CHART_BLACK = RGBValue(0, 0, 0);
inline constexpr uint32_t CHART_GREY = RGBValue(120, 120, 120);

/// One plotted point: position, tag (sample number or point index) and colour.
struct ChartPoint {
    double x = 0.0;
    double y = 0.0;
    int32_t tag = 0;
    uint32_t colour = 0;  ///< 0x00BBGGRR
};

/// An ordered list of points drawn in one colour, as a line and/or as dots.
struct ChartSeries {
    std::vector<ChartPoint> points;
    bool drawLine = true;
    bool drawDots = true;
    /// True while every point's x is at least the previous one's; lets drawing
    /// jump straight to the visible window.
    bool sortedByX = true;
    /// Colour of the series when it has no point yet (otherwise its first point's).
    uint32_t colour = 0;

    /// Appends a point and keeps the ordering flag up to date (an x that is not a
    /// number has no place in the order).
    void add(const ChartPoint& p) {
        if (!points.empty() && !(p.x >= points.back().x)) sortedByX = false;
        points.push_back(p);
    }
    /// Appends a point with the series' own colour.
    void add(double x, double y, int32_t tag) { add(ChartPoint{x, y, tag, colour}); }
    /// The drawing colour: the first point's, or the series colour while empty.
    uint32_t drawColour() const { return points.empty() ? colour : points.front().colour; }
};

} // namespace zefirel
