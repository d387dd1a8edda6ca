#pragma once
/// CPixelLayer: an image as large as the painter's device into which a chart draws
/// its series itself, laid over the painting in one go when the chart is done.
/// Filling a few thousand narrow rectangles and short wide-pen segments through a
/// QPainter costs a call into the paint engine per row of each; here a rectangle
/// is a few stores per row, and a segment is the set of pixel runs that Qt's own
/// stroke of it covers, measured once per shape and kept. The pixels laid over are
/// those the painter would have drawn: only opaque colours are drawn, and the layer
/// is used only where the painter maps coordinates to pixels one to one.

#include <QImage>
#include <QLine>
#include <QPoint>
#include <QRect>

#include <climits>
#include <cstdint>
#include <unordered_map>
#include <vector>

class QPainter;

namespace zefirel {

class CPixelLayer {
public:
    /// The calling thread's layer, cleared and sized for a drawing through dc, or
    /// nullptr when dc draws on something the layer cannot stand in for (not
    /// pixels of a 32-bit raster, a transform that is not a whole-pixel shift, a
    /// composition other than plain painting over).
    static CPixelLayer* Begin(QPainter& dc);
    /// Fills the rectangles (as QPainter::drawRects with no pen) in an opaque colour.
    void FillRects(const QRect* rects, size_t count, QRgb colour);
    /// Strokes the segments with a 2-pixel solid pen with square caps, as
    /// QPainter::drawLines does with that pen, in an opaque colour.
    void StrokeSegments(const QLine* lines, size_t count, QRgb colour);
    /// Lays what was drawn over dc's painting and clears the layer.
    void Finish(QPainter& dc);

private:
    /// A run of pixels of a stroke's footprint, relative to the segment's start.
    struct Run {
        int16_t dy, dx, length;
    };
    /// Where the footprint of a segment shape lies in m_runs.
    struct Footprint {
        uint32_t first, count;
    };

    void Fill(int x, int y, int w, int h, QRgb colour);
    /// Widens the drawn part of the image to take in [x0, x1) × [y0, y1).
    void Touch(int x0, int y0, int x1, int y1);
    void ClearDirty() {
        m_dirtyX0 = m_dirtyY0 = INT_MAX;
        m_dirtyX1 = m_dirtyY1 = INT_MIN;
    }
    /// Footprint of the segment from (0, 0) to (dx, dy), measured on first use.
    const Footprint& FootprintOf(int dx, int dy);
    /// Strokes one segment with a QPainter on the layer itself.
    void StrokeWithPainter(const QLine& line, QRgb colour);

    QImage m_image;            ///< premultiplied ARGB; transparent where nothing is drawn
    QPoint m_origin;           ///< the painter coordinate of the image's pixel (0, 0)
    QRgb* m_bits = nullptr;    ///< the image's pixels (not shared, so never copied)
    size_t m_stride = 0;       ///< pixels per image row
    /// Image pixels drawn since the last Finish: [x0, x1) × [y0, y1).
    int m_dirtyX0 = INT_MAX, m_dirtyY0 = INT_MAX, m_dirtyX1 = INT_MIN, m_dirtyY1 = INT_MIN;
    QImage m_scratch;          ///< where footprints are measured
    std::unordered_map<uint32_t, Footprint> m_footprints;
    std::vector<Run> m_runs;
};

} // namespace zefirel
