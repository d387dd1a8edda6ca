#include "ui/chart/ChartLegend.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include "ui/chart/ChartTypes.h"

namespace zefirel {

namespace {

constexpr int LEGEND_FONT_PX = 11;
constexpr int SWATCH = 9;       ///< side of the colour square
constexpr int SWATCH_GAP = 4;   ///< between the square and its text
constexpr int ENTRY_GAP = 14;   ///< between two entries

QFont LegendFont() {
    QFont f;
    f.setPixelSize(LEGEND_FONT_PX);
    return f;
}

} // namespace

int LegendHeight() { return QFontMetrics(LegendFont()).height() + 2; }

int DrawLegend(QPainter& dc, const QRect& area, const std::vector<LegendEntry>& entries) {
    if (entries.empty() || area.width() <= 0 || area.height() <= 0) return 0;
    dc.save();
    const QFont font = LegendFont();
    dc.setFont(font);
    const QFontMetrics fm(font);
    const int mid = area.top() + area.height() / 2;
    int x = area.left();
    int drawn = 0;
    for (const LegendEntry& e : entries) {
        const int width = SWATCH + SWATCH_GAP + fm.horizontalAdvance(e.text);
        if (x + width > area.right() + 1) break;
        const QRect swatch(x, mid - SWATCH / 2, SWATCH, SWATCH);
        dc.fillRect(swatch, ToQColor(e.colour));
        dc.setPen(Qt::black);
        dc.drawRect(swatch.adjusted(0, 0, -1, -1));
        dc.drawText(x + SWATCH + SWATCH_GAP, mid + (fm.ascent() - fm.descent()) / 2, e.text);
        x += width + ENTRY_GAP;
        ++drawn;
    }
    dc.restore();
    return drawn;
}

} // namespace zefirel
