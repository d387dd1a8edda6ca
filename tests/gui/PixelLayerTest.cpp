// The pixel layer paints what the painter itself would: wide-pen segments of every
// shape (also crossing the image's edge), rectangles, through a shifted painter; and
// it stands aside for painters it cannot stand in for.

#include <QImage>
#include <QPainter>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "gui/ChartTestSupport.h"
#include "ui/chart/PixelLayer.h"
#include "ui/chart/SeriesCharts.h"

namespace zefirel::test {
namespace {

constexpr QRgb RED = 0xFFFF0000u, BLUE = 0xFF0000FFu;

struct Shapes {
    std::vector<QLine> lines;
    std::vector<QRect> rects;
};

/// Segments of many shapes (vertical, steep, shallow, long, single points) all over a
/// 300 × 200 image and past its edges, and rectangles likewise.
Shapes RandomShapes(uint32_t seed) {
    std::mt19937 rng(seed);
    auto in = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<uint32_t>(hi - lo + 1)); };
    Shapes s;
    for (int i = 0; i < 400; ++i) {
        const int x = in(-20, 320), y = in(-20, 220);
        const int dx = i % 4 == 0 ? 0 : i % 4 == 1 ? in(1, 3) : i % 4 == 2 ? in(-40, 40) : in(-200, 200);
        const int dy = i % 8 == 0 ? 0 : in(-150, 150);
        s.lines.emplace_back(x, y, x + dx, y + dy);
        s.rects.emplace_back(in(-10, 300), in(-10, 200), in(1, 6), in(1, 80));
    }
    return s;
}

QImage Blank() {
    QImage img(300, 200, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

using PixelLayer = ChartTest;

TEST_F(PixelLayer, PaintsThePixelsOfThePainter) {
    for (uint32_t seed : {1u, 2u, 3u})
        for (const QPoint shift : {QPoint(0, 0), QPoint(7, -5)}) {
            const Shapes s = RandomShapes(seed);
            QImage direct = Blank(), layered = Blank();
            {
                QPainter p(&direct);
                p.translate(shift);
                p.setPen(QPen(QColor::fromRgb(RED), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
                p.drawLines(s.lines.data(), static_cast<int>(s.lines.size()));
                p.setPen(Qt::NoPen);
                p.setBrush(QColor::fromRgb(BLUE));
                p.drawRects(s.rects.data(), static_cast<int>(s.rects.size()));
            }
            {
                QPainter p(&layered);
                p.translate(shift);
                CPixelLayer* layer = CPixelLayer::Begin(p);
                ASSERT_NE(layer, nullptr);
                layer->StrokeSegments(s.lines.data(), s.lines.size(), RED);
                layer->FillRects(s.rects.data(), s.rects.size(), BLUE);
                layer->Finish(p);
            }
            EXPECT_TRUE(direct == layered) << "seed " << seed << " shift " << shift.x() << "," << shift.y();
        }
}

TEST_F(PixelLayer, LeavesAlonePaintersItCannotStandInFor) {
    QImage img = Blank();
    QPainter p(&img);
    p.scale(2, 2);
    EXPECT_EQ(CPixelLayer::Begin(p), nullptr);
    p.resetTransform();
    p.translate(0.5, 0);
    EXPECT_EQ(CPixelLayer::Begin(p), nullptr);
    p.resetTransform();
    p.setOpacity(0.5);
    EXPECT_EQ(CPixelLayer::Begin(p), nullptr);
    p.setOpacity(1);
    p.setCompositionMode(QPainter::CompositionMode_Xor);
    EXPECT_EQ(CPixelLayer::Begin(p), nullptr);
    p.end();
    QImage narrow(50, 50, QImage::Format_RGB16);  // not 32-bit pixels
    QPainter q(&narrow);
    EXPECT_EQ(CPixelLayer::Begin(q), nullptr);
}

/// The chart drawn with reduced drawing through a painter set up by `setup`, and
/// drawing every point through the same painter, differ in no pixel.
void ExpectSameAsEveryPoint(CSeriesChart& chart, const std::function<void(QPainter&)>& setup, const char* what) {
    QImage images[2] = {QImage(640, 300, QImage::Format_RGB32), QImage(640, 300, QImage::Format_RGB32)};
    for (int k = 0; k < 2; ++k) {
        images[k].fill(Qt::white);
        chart.SetSize(QSize(600, 280));
        chart.SetReduceDrawing(k == 0);
        QPainter p(&images[k]);
        setup(p);
        chart.Draw(p);
    }
    chart.SetReduceDrawing(true);
    EXPECT_TRUE(images[0] == images[1]) << what;
}

TEST_F(PixelLayer, ChartsDrawTheSamePixelsThroughShiftedAndScaledPainters) {
    std::vector<CDiag> samples;
    for (uint32_t no = 1; no <= 40000; ++no) {
        CDiag d = Sample(no, no / 3000 % 2 == 0);
        d.setPetrolTime(0, Ticks(4 + 3 * std::sin(no * 0.001) + (no * 2654435761u % 97) / 60.0));
        samples.push_back(d);
    }
    CTimeChart chart(nullptr);
    chart.SetData(samples);
    CSeriesChart::SetXWindow(0, 40000);
    ExpectSameAsEveryPoint(chart, [](QPainter& p) { p.translate(13, 9); }, "shifted");
    ExpectSameAsEveryPoint(chart, [](QPainter& p) { p.scale(1.5, 1.5); }, "scaled (no layer)");
    ExpectSameAsEveryPoint(chart, [](QPainter& p) { p.setClipRect(100, 50, 200, 120); }, "clipped");
}

} // namespace
} // namespace zefirel::test
