#include "ui/map/CoverageGrid.h"

#include <QPainter>

#include <vector>

namespace zefirel {

namespace {

constexpr int PAD = 4;         // text inside a box or label
constexpr int SWATCH = 14;     // legend square
constexpr int LEGEND_GAP = 14; // between two legend entries
constexpr ELearnCell ALL_STATES[COVERAGE_STATES] = {ELearnCell::NoData, ELearnCell::Partial, ELearnCell::Enough,
                                                    ELearnCell::Within, ELearnCell::Outside};

QString speedHeader(int speed) { return QStringLiteral("%1-%2").arg(speed * 1000).arg((speed + 1) * 1000); }
QString loadLabel(int load) { return QStringLiteral("%1-%2").arg(load * 10).arg((load + 1) * 10); }
QString boxText(const CoverageBox& b) { return QStringLiteral("%1 / %2").arg(b.petrol).arg(b.lpg); }

} // namespace

QColor coverageColour(ELearnCell state) {
    switch (state) {
    case ELearnCell::Partial: return QColor::fromRgb(COVERAGE_PARTIAL);
    case ELearnCell::Enough: return QColor::fromRgb(COVERAGE_ENOUGH);
    case ELearnCell::Within: return QColor::fromRgb(COVERAGE_WITHIN);
    case ELearnCell::Outside: return QColor::fromRgb(COVERAGE_OUTSIDE);
    case ELearnCell::NoData: break;
    }
    return QColor::fromRgb(COVERAGE_NO_DATA);
}

QString coverageName(ELearnCell state) {
    switch (state) {
    case ELearnCell::Partial: return QStringLiteral("za mało próbek (np. tylko benzyna)");
    case ELearnCell::Enough: return QStringLiteral("dość próbek obu paliw");
    case ELearnCell::Within: return QStringLiteral("po wpisaniu: w tolerancji");
    case ELearnCell::Outside: return QStringLiteral("po wpisaniu: poza tolerancją");
    case ELearnCell::NoData: break;
    }
    return QStringLiteral("brak próbek");
}

CCoverageGrid::CCoverageGrid(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("coverageGrid"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setToolTip(QStringLiteral("Liczby próbek w komórce: benzyna / LPG.\n"
                              "Kolumny: prędkość obrotowa [obr/min], wiersze: obciążenie [kPa]."));
}

void CCoverageGrid::setTable(const CoverageTable& table) {
    if (table == m_table) return;
    m_table = table;
    update();
}

int CCoverageGrid::labelWidth() const {
    return fontMetrics().horizontalAdvance(QStringLiteral("100-110 kPa")) + 2 * PAD;
}

int CCoverageGrid::boxWidth() const {
    const QFontMetrics fm = fontMetrics();
    return std::max(fm.horizontalAdvance(QStringLiteral("7000-8000")), fm.horizontalAdvance(QStringLiteral("9999 / 9999"))) +
           2 * PAD;
}

int CCoverageGrid::boxHeight() const { return fontMetrics().height() + 2 * PAD; }

QRect CCoverageGrid::boxRect(int speed, int load) const {
    return QRect(labelWidth() + speed * boxWidth(), boxHeight() * (load + 1), boxWidth(), boxHeight());
}

int CCoverageGrid::legendTop() const { return boxHeight() * (LOAD_BUCKETS + 1) + 2 * PAD; }

QRect CCoverageGrid::swatchRect(ELearnCell state) const {
    // Entries flow left to right and wrap at the grid's width.
    const QFontMetrics fm = fontMetrics();
    const int width = labelWidth() + SPEED_BUCKETS * boxWidth();
    const int line = std::max(SWATCH, fm.height()) + PAD;
    int x = 0, y = legendTop();
    for (ELearnCell s : ALL_STATES) {
        const int w = SWATCH + PAD + fm.horizontalAdvance(coverageName(s));
        if (x > 0 && x + w > width) {
            x = 0;
            y += line;
        }
        if (s == state) return QRect(x, y + (line - PAD - SWATCH) / 2, SWATCH, SWATCH);
        x += w + LEGEND_GAP;
    }
    return {};
}

QSize CCoverageGrid::sizeHint() const {
    const QRect last = swatchRect(ALL_STATES[COVERAGE_STATES - 1]);
    return QSize(labelWidth() + SPEED_BUCKETS * boxWidth() + 1,
                 std::max(last.bottom(), last.top() + fontMetrics().height()) + PAD);
}

void CCoverageGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QColor line(0x90, 0x90, 0x90);
    p.setPen(palette().windowText().color());
    // Headers: the corner names the axes' units, the columns the speeds, the rows the loads.
    p.drawText(QRect(0, 0, labelWidth(), boxHeight()), Qt::AlignCenter, QStringLiteral("kPa \\ obr/min"));
    for (int s = 0; s < SPEED_BUCKETS; ++s) {
        const QRect r = boxRect(s, 0);
        p.drawText(QRect(r.left(), 0, r.width(), boxHeight()), Qt::AlignCenter, speedHeader(s));
    }
    for (int l = 0; l < LOAD_BUCKETS; ++l) {
        const QRect r = boxRect(0, l);
        p.drawText(QRect(0, r.top(), labelWidth() - PAD, r.height()), Qt::AlignRight | Qt::AlignVCenter, loadLabel(l));
    }
    for (int s = 0; s < SPEED_BUCKETS; ++s)
        for (int l = 0; l < LOAD_BUCKETS; ++l) {
            const CoverageBox& b = m_table[size_t(s)][size_t(l)];
            const QRect r = boxRect(s, l);
            p.fillRect(r, coverageColour(b.state));
            p.setPen(line);
            p.drawRect(r);
            if (b.petrol > 0 || b.lpg > 0) {
                p.setPen(Qt::black);
                p.drawText(r, Qt::AlignCenter, boxText(b));
            }
        }
    for (ELearnCell s : ALL_STATES) {
        const QRect sw = swatchRect(s);
        p.fillRect(sw, coverageColour(s));
        p.setPen(line);
        p.drawRect(sw);
        p.setPen(palette().windowText().color());
        const int textLeft = sw.right() + PAD;
        p.drawText(QRect(textLeft, sw.center().y() - fontMetrics().height(), width() - textLeft, 2 * fontMetrics().height()),
                   Qt::AlignLeft | Qt::AlignVCenter, coverageName(s));
    }
}

} // namespace zefirel
