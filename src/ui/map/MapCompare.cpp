#include "ui/map/MapCompare.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "map/MapText.h"

namespace zefirel {

namespace {

constexpr int PADDING = 10;

QTableWidget* makeTable(QWidget* parent, const QString& name) {
    auto* t = new QTableWidget(MAP_ROWS, MAP_COLUMNS, parent);
    t->setObjectName(name);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->setFocusPolicy(Qt::NoFocus);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const QFontMetrics fm(t->font());
    const QFontMetrics hm(t->horizontalHeader()->font());
    // Column headers in thousands of rpm keep three maps within a 1280-pixel screen.
    for (int c = 0; c < MAP_COLUMNS; ++c) {
        t->setHorizontalHeaderItem(c, new QTableWidgetItem(QStringLiteral("%1-%2").arg(c).arg(c + 1)));
        t->setColumnWidth(c, std::max(fm.horizontalAdvance(QStringLiteral("-100")), hm.horizontalAdvance(QStringLiteral("7-8"))) +
                                 PADDING);
    }
    for (int r = 0; r < MAP_ROWS; ++r) {
        t->setVerticalHeaderItem(r, new QTableWidgetItem(QString::number(r * 0.5, 'f', 1)));
        for (int c = 0; c < MAP_COLUMNS; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            t->setItem(r, c, item);
        }
    }
    t->verticalHeader()->setDefaultSectionSize(fm.height() + 4);
    t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    int width = 2 * t->frameWidth() + t->verticalScrollBar()->sizeHint().width() +
                std::max(t->verticalHeader()->sizeHint().width(), hm.horizontalAdvance(QStringLiteral("24.5")) + PADDING);
    for (int c = 0; c < MAP_COLUMNS; ++c) width += t->columnWidth(c);
    t->setFixedWidth(width);
    return t;
}

QString percentText(int percent) { return percent == 0 ? QString() : QString::number(percent); }
QString differenceText(int points) {
    return points == 0 ? QString() : (points > 0 ? QStringLiteral("+%1") : QStringLiteral("%1")).arg(points);
}

} // namespace

CMapCompare::CMapCompare(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("mapCompare"));
    const QString titles[3] = {QStringLiteral("Mapa proponowana [%]"), QStringLiteral("Mapa w sterowniku [%]"),
                               QStringLiteral("Różnica [pkt %]")};
    const QString names[3] = {QStringLiteral("learnProposedMap"), QStringLiteral("learnControllerMap"),
                              QStringLiteral("learnDifferenceMap")};
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
        m_tables[i] = makeTable(this, names[i]);
        m_tables[i]->setToolTip(QStringLiteral("Wiersze: czas wtrysku benzyny od [ms]; kolumny: tysiące obr/min"));
        auto* col = new QVBoxLayout;
        col->addWidget(new QLabel(titles[i], this));
        col->addWidget(m_tables[i], 1);
        row->addLayout(col);
    }
    row->addStretch(1);
    // The three tables scroll as one.
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (i != j)
                connect(m_tables[i]->verticalScrollBar(), &QScrollBar::valueChanged, m_tables[j]->verticalScrollBar(),
                        &QScrollBar::setValue);
}

void CMapCompare::setMaps(const MapBytes& proposed, const MapBytes& controller, bool controllerKnown) {
    if (m_shown && proposed == m_proposed && controller == m_controller && controllerKnown == m_known) return;
    m_shown = true;
    m_proposed = proposed;
    m_controller = controller;
    m_known = controllerKnown;
    m_changed = 0;
    for (int r = 0; r < MAP_ROWS; ++r)
        for (int c = 0; c < MAP_COLUMNS; ++c) {
            const size_t i = size_t(r * MAP_COLUMNS + c);
            const int want = int(proposed[i]) - MAP_NO_CORRECTION;
            const int have = int(controller[i]) - MAP_NO_CORRECTION;
            const bool changes = controllerKnown && proposed[i] != controller[i];
            m_tables[0]->item(r, c)->setText(percentText(want));
            m_tables[1]->item(r, c)->setText(controllerKnown ? percentText(have) : QString());
            m_tables[2]->item(r, c)->setText(changes ? differenceText(want - have) : QString());
            for (QTableWidget* t : m_tables)
                t->item(r, c)->setBackground(changes ? QBrush(QColor::fromRgb(MAP_CHANGE_COLOUR)) : QBrush());
            if (changes) ++m_changed;
        }
}

} // namespace zefirel
