#include "ui/chart/PixelLayer.h"

#include <QPaintEngine>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zefirel {

namespace {

/// Segments wider or taller than this are stroked by a painter, not from a footprint
/// (crowded columns give narrow ones; wide ones are few, and their footprints large).
constexpr int MAX_SHAPE_X = 64;
constexpr int MAX_SHAPE_Y = 4095;
/// Footprints kept, in runs; past this the kept ones are dropped and measured anew.
constexpr size_t MAX_RUNS = size_t{1} << 21;
/// Room around a segment's ends that its footprint stays within (pen and caps).
constexpr int REACH = 3;

bool WholePixelShift(const QTransform& t) {
    return t.type() <= QTransform::TxTranslate && t.dx() == std::trunc(t.dx()) && t.dy() == std::trunc(t.dy()) &&
           std::fabs(t.dx()) < 1e6 && std::fabs(t.dy()) < 1e6;
}

QPen SegmentPen(QRgb colour) { return QPen(QColor::fromRgb(colour), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin); }

} // namespace

CPixelLayer* CPixelLayer::Begin(QPainter& dc) {
    thread_local CPixelLayer layer;
    const QPaintDevice* device = dc.device();
    const QPaintEngine* engine = dc.paintEngine();
    if (!device || !engine || engine->type() != QPaintEngine::Raster || device->depth() != 32 ||
        device->devicePixelRatio() != 1)
        return nullptr;
    if (dc.compositionMode() != QPainter::CompositionMode_SourceOver || dc.opacity() != 1.0 ||
        dc.window() != dc.viewport() || !WholePixelShift(dc.worldTransform()) || !WholePixelShift(dc.deviceTransform()))
        return nullptr;
    const QRect area = dc.window();
    if (area.isEmpty() || area.width() > 16384 || area.height() > 16384) return nullptr;
    if (layer.m_image.size() != area.size()) {
        layer.m_image = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
        if (layer.m_image.isNull()) return nullptr;
        layer.m_image.fill(0);
    }
    layer.ClearDirty();
    layer.m_bits = reinterpret_cast<QRgb*>(layer.m_image.bits());
    layer.m_stride = static_cast<size_t>(layer.m_image.bytesPerLine()) / sizeof(QRgb);
    // Painter coordinates of the window's top left corner.
    layer.m_origin = area.topLeft() - QPoint(static_cast<int>(dc.worldTransform().dx()),
                                             static_cast<int>(dc.worldTransform().dy()));
    return &layer;
}

void CPixelLayer::Fill(int x, int y, int w, int h, QRgb colour) {
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + w, m_image.width()), y1 = std::min(y + h, m_image.height());
    if (x0 >= x1 || y0 >= y1) return;
    QRgb* row = m_bits + static_cast<size_t>(y0) * m_stride;
    for (int r = y0; r < y1; ++r, row += m_stride) std::fill(row + x0, row + x1, colour);
    Touch(x0, y0, x1, y1);
}

void CPixelLayer::FillRects(const QRect* rects, size_t count, QRgb colour) {
    colour |= 0xFF000000u;  // opaque: premultiplied and plain are the same
    for (size_t i = 0; i < count; ++i) {
        const QRect& r = rects[i];
        Fill(r.x() - m_origin.x(), r.y() - m_origin.y(), r.width(), r.height(), colour);
    }
}

const CPixelLayer::Footprint& CPixelLayer::FootprintOf(int dx, int dy) {
    const auto key = (static_cast<uint32_t>(dx + MAX_SHAPE_X) << 13) | static_cast<uint32_t>(dy + MAX_SHAPE_Y);
    const auto found = m_footprints.find(key);
    if (found != m_footprints.end()) return found->second;
    if (m_runs.size() > MAX_RUNS) {
        m_runs.clear();
        m_footprints.clear();
    }
    // Stroke the shape with Qt on a clear image and read back its pixel runs.
    const int margin = 2 * REACH;
    const QSize size(std::abs(dx) + 2 * margin + 1, std::abs(dy) + 2 * margin + 1);
    if (m_scratch.width() < size.width() || m_scratch.height() < size.height())
        m_scratch = QImage(size.expandedTo(m_scratch.size()), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_scratch.scanLine(y));
        std::fill(row, row + size.width(), QRgb{0});
    }
    const QPoint start(margin + std::max(0, -dx), margin + std::max(0, -dy));
    {
        QPainter p(&m_scratch);
        p.setPen(SegmentPen(0xFFFFFFFFu));
        const QLine line(start, start + QPoint(dx, dy));
        p.drawLines(&line, 1);
    }
    Footprint fp{static_cast<uint32_t>(m_runs.size()), 0};
    for (int y = 0; y < size.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(m_scratch.constScanLine(y));
        for (int x = 0; x < size.width();) {
            if (qAlpha(row[x]) == 0) {
                ++x;
                continue;
            }
            const int from = x;
            while (x < size.width() && qAlpha(row[x]) != 0) ++x;
            m_runs.push_back(Run{static_cast<int16_t>(y - start.y()), static_cast<int16_t>(from - start.x()),
                                 static_cast<int16_t>(x - from)});
            ++fp.count;
        }
    }
    return m_footprints.emplace(key, fp).first->second;
}

void CPixelLayer::StrokeWithPainter(const QLine& line, QRgb colour) {
    QPainter p(&m_image);
    p.translate(-m_origin);
    p.setPen(SegmentPen(colour));
    p.drawLines(&line, 1);
    const QRect box =
        (QRect(line.p1(), line.p2()).normalized().adjusted(-REACH, -REACH, REACH, REACH).translated(-m_origin)) &
        m_image.rect();
    if (!box.isEmpty()) Touch(box.left(), box.top(), box.right() + 1, box.bottom() + 1);
}

void CPixelLayer::StrokeSegments(const QLine* lines, size_t count, QRgb colour) {
    colour |= 0xFF000000u;
    const QRect inside = m_image.rect().adjusted(REACH, REACH, -REACH, -REACH);
    for (size_t i = 0; i < count; ++i) {
        const QLine& line = lines[i];
        const int x = line.x1() - m_origin.x(), y = line.y1() - m_origin.y();
        const int dx = line.dx(), dy = line.dy();
        if (dx == 0) {
            // A vertical stroke covers the column left of x and x itself, from one
            // row above its upper end down to its lower end.
            Fill(x - 1, std::min(y, y + dy) - 1, 2, std::abs(dy) + 2, colour);
            continue;
        }
        // Away from the image's edges a stroke's pixels depend only on the shape of
        // its segment; near them Qt clips the segment first, so it strokes it itself.
        if (std::abs(dx) > MAX_SHAPE_X || std::abs(dy) > MAX_SHAPE_Y || !inside.contains(x, y) ||
            !inside.contains(x + dx, y + dy)) {
            StrokeWithPainter(line, colour);
            continue;
        }
        const Footprint fp = FootprintOf(dx, dy);
        for (uint32_t k = fp.first; k < fp.first + fp.count; ++k) {
            const Run& r = m_runs[k];
            QRgb* at = m_bits + static_cast<size_t>(y + r.dy) * m_stride + (x + r.dx);
            std::fill(at, at + r.length, colour);
        }
        Touch(std::min(x, x + dx) - REACH, std::min(y, y + dy) - REACH, std::max(x, x + dx) + REACH + 1,
              std::max(y, y + dy) + REACH + 1);
    }
}

void CPixelLayer::Touch(int x0, int y0, int x1, int y1) {
    m_dirtyX0 = std::min(m_dirtyX0, x0);
    m_dirtyY0 = std::min(m_dirtyY0, y0);
    m_dirtyX1 = std::max(m_dirtyX1, x1);
    m_dirtyY1 = std::max(m_dirtyY1, y1);
}

void CPixelLayer::Finish(QPainter& dc) {
    if (m_dirtyX0 >= m_dirtyX1 || m_dirtyY0 >= m_dirtyY1) return;
    const QRect dirty(QPoint(m_dirtyX0, m_dirtyY0), QPoint(m_dirtyX1 - 1, m_dirtyY1 - 1));
    dc.drawImage(dirty.topLeft() + m_origin, m_image, dirty);
    for (int y = dirty.top(); y <= dirty.bottom(); ++y) {
        QRgb* row = m_bits + static_cast<size_t>(y) * m_stride;
        std::fill(row + dirty.left(), row + dirty.right() + 1, QRgb{0});
    }
    ClearDirty();
}

} // namespace zefirel
