#include "ui/map/MapGrid.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QScrollBar>

#include <algorithm>

#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {

constexpr int LABEL_WIDTH = 60, CELL_WIDTH = 70;

QColor rowColour(int row) { return QColor::fromRgb(row % 2 == 0 ? MAP_ROW_EVEN : MAP_ROW_ODD); }

} // namespace

// --- editor -------------------------------------------------------------------------

CPercentEditInExtListCtrl::CPercentEditInExtListCtrl(int column, QObject* parent)
    : QStyledItemDelegate(parent), m_column(column) {}

QWidget* CPercentEditInExtListCtrl::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("percentEdit%1").arg(m_column));
    edit->setAlignment(Qt::AlignCenter);
    // A number with an optional sign, decimals after either mark and an optional
    // trailing "%": "12.5" and "7,4" stay what was typed (the cell keeps their
    // whole part) instead of losing the mark and becoming 125 and 74.
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[-+\u2212]?\\d{0,6}([.,]\\d{0,6})?%?")), edit));
    return edit;
}

void CPercentEditInExtListCtrl::setEditorData(QWidget* editor, const QModelIndex& index) const {
    static_cast<QLineEdit*>(editor)->setText(index.data(Qt::DisplayRole).toString());
}

void CPercentEditInExtListCtrl::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    model->setData(index, storedText(static_cast<QLineEdit*>(editor)->text()), Qt::EditRole);
}

QString CPercentEditInExtListCtrl::storedText(const QString& typed) {
    // The cell shows at once the value "Wpisz" will send: the whole number the
    // text starts with, kept within -100 .. 150.
    return typed.trimmed().isEmpty() ? QString() : qstr(mapPercentText(parseMapPercent(typed.toStdString())));
}

// --- grid ---------------------------------------------------------------------------

CMapGrid::CMapGrid(QWidget* parent) : QTableWidget(MAP_ROWS, MAP_COLUMNS + 1, parent) {
    setObjectName(QStringLiteral("mapGrid"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setStyleSheet(QStringLiteral("QTableWidget { gridline-color: #%1; }").arg(MAP_GRID_COLOUR, 6, 16, QLatin1Char('0')));
    verticalHeader()->hide();

    auto* ms = new QTableWidgetItem(QStringLiteral("ms"));
    ms->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setHorizontalHeaderItem(0, ms);
    for (int column = 0; column < MAP_COLUMNS; ++column) {
        auto* h = new QTableWidgetItem(qstr(mapColumnHeader(column)));
        h->setTextAlignment(Qt::AlignCenter);
        setHorizontalHeaderItem(column + 1, h);
        setItemDelegateForColumn(column + 1, new CPercentEditInExtListCtrl(column, this));
    }
    for (int row = 0; row < MAP_ROWS; ++row) {
        auto* label = new QTableWidgetItem(qstr(mapRowLabel(row)));
        label->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        label->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setBackground(rowColour(row));
        label->setForeground(Qt::black);
        setItem(row, 0, label);
        for (int column = 0; column < MAP_COLUMNS; ++column) {
            auto* c = new QTableWidgetItem();
            c->setTextAlignment(Qt::AlignCenter);
            c->setBackground(rowColour(row));
            c->setForeground(Qt::black);
            setItem(row, column + 1, c);
        }
    }
    fitColumns();
    connect(this, &QTableWidget::itemChanged, this, &CMapGrid::onItemChanged);
}

void CMapGrid::fitColumns() {
    // 60 and 70 pixels where the font allows; wider where a label, a header or the
    // widest cell text ("-100%") would be cut, so nothing shows as "24.5-2…".
    const QFontMetrics cells(font()), headers(horizontalHeader()->font());
    constexpr int PADDING = 14;
    int label = std::max(LABEL_WIDTH, headers.horizontalAdvance(QStringLiteral("ms")) + PADDING);
    for (int row = 0; row < MAP_ROWS; ++row)
        label = std::max(label, cells.horizontalAdvance(item(row, 0)->text()) + PADDING);
    setColumnWidth(0, label);
    for (int column = 0; column < MAP_COLUMNS; ++column)
        setColumnWidth(column + 1,
                       std::max({CELL_WIDTH, headers.horizontalAdvance(horizontalHeaderItem(column + 1)->text()) + PADDING,
                                 cells.horizontalAdvance(QStringLiteral("-100%")) + PADDING}));
    verticalHeader()->setDefaultSectionSize(std::max(verticalHeader()->defaultSectionSize(), cells.height() + 6));
    horizontalHeader()->setMinimumHeight(headers.height() + 8);
    // The pane keeps every column in view: no horizontal scrolling of the grid.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setMinimumWidth(fullWidth());
}

int CMapGrid::fullWidth() const {
    int w = 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
    for (int column = 0; column <= MAP_COLUMNS; ++column)
        w += columnWidth(column);
    return w;
}

QString CMapGrid::cellText(int row, int column) const { return cell(row, column)->text(); }

void CMapGrid::setCellText(int row, int column, const QString& text) { cell(row, column)->setText(text); }

MapTexts CMapGrid::texts() const {
    MapTexts t;
    for (int row = 0; row < MAP_ROWS; ++row)
        for (int column = 0; column < MAP_COLUMNS; ++column)
            t[size_t(row * MAP_COLUMNS + column)] = cellText(row, column).toStdString();
    return t;
}

void CMapGrid::setTexts(const MapTexts& texts) {
    m_filling = true;
    for (int row = 0; row < MAP_ROWS; ++row) {
        for (int column = 0; column < MAP_COLUMNS; ++column) {
            setCellText(row, column, qstr(texts[size_t(row * MAP_COLUMNS + column)]));
            clearBasis(row, column);
        }
    }
    m_filling = false;
}

MapBytes CMapGrid::bytes() const {
    MapBytes b;
    for (int row = 0; row < MAP_ROWS; ++row)
        for (int column = 0; column < MAP_COLUMNS; ++column)
            b[size_t(row * MAP_COLUMNS + column)] = mapByteFromText(cellText(row, column).toStdString());
    return b;
}

void CMapGrid::setBasis(const MapResult& result) {
    m_filling = true;
    for (int row = 0; row < MAP_ROWS; ++row) {
        for (int column = 0; column < MAP_COLUMNS; ++column) {
            QTableWidgetItem* c = cell(row, column);
            c->setToolTip(qstr(mapCellBasis(result, row, column)));
            // A value on few samples, or a driven cell left empty for too few of one fuel.
            const bool few = result.filled(row, column) ? result.weak(row, column) : result.unjudged(row, column) != 0;
            c->setBackground(few ? QColor::fromRgb(MAP_CELL_WEAK) : rowColour(row));
        }
    }
    m_filling = false;
}

QColor CMapGrid::cellBackground(int row, int column) const { return cell(row, column)->background().color(); }

void CMapGrid::clearBasis(int row, int column) {
    QTableWidgetItem* c = cell(row, column);
    c->setToolTip(QString());
    c->setBackground(rowColour(row));
}

void CMapGrid::onItemChanged(QTableWidgetItem* changed) {
    if (m_filling || changed->column() == 0) return;
    // A value typed by hand no longer rests on the recording's samples.
    m_filling = true;
    clearBasis(changed->row(), changed->column() - 1);
    m_filling = false;
}

} // namespace zefirel
