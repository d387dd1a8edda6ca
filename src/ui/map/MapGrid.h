#pragma once
/// CMapGrid: the injection map as an editable grid. Column 0 holds the row labels
/// "0.0-0.5" .. "24.5-25.0" (not editable), columns 1..8 the speed columns
/// "0-1000" .. "7000-8000" with a percentage editor each; white and light grey rows,
/// an orange grid, full-row selection. A computed map can also say what each cell
/// rests on: a tooltip with the sample counts and means, and a shade where a count
/// is low. Editing a cell drops what it rested on.
///
/// CPercentEditInExtListCtrl: the in-place editor of one speed column, a line edit
/// that takes the cell's text and stores back, when its own is not empty, the whole
/// number it starts with (decimals after "." or "," dropped), clamped to −100 .. 150,
/// with "%" appended. Nothing is sent while editing.

#include <QStyledItemDelegate>
#include <QTableWidget>

#include "map/MapText.h"

namespace zefirel {

/// Background of the rows and of a computed cell resting on few samples.
inline constexpr QRgb MAP_ROW_EVEN = 0xFFFFFF;
inline constexpr QRgb MAP_ROW_ODD = 0xD2D2D2;
inline constexpr QRgb MAP_CELL_WEAK = 0xFFE08A;
inline constexpr QRgb MAP_GRID_COLOUR = 0xFF7F00;

class CPercentEditInExtListCtrl : public QStyledItemDelegate {
    Q_OBJECT
public:
    CPercentEditInExtListCtrl(int column, QObject* parent);
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    /// The text an editor stores: empty, or the clamped whole percentage as "%d%%".
    static QString storedText(const QString& typed);

private:
    int m_column;
};

class CMapGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit CMapGrid(QWidget* parent = nullptr);

    /// Text of map cell (row 0..49, column 0..7).
    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);
    MapTexts texts() const;
    /// Shows the texts; every cell's basis is dropped.
    void setTexts(const MapTexts& texts);
    /// The bytes the texts stand for (each parsed from its start, clamped).
    MapBytes bytes() const;
    /// Shows what each computed cell rests on (tooltips and shades).
    void setBasis(const MapResult& result);
    /// The background a map cell is painted with.
    QColor cellBackground(int row, int column) const;
    /// The width that shows every column whole, with the frame and the scroll bar.
    int fullWidth() const;

private:
    QTableWidgetItem* cell(int row, int column) const { return item(row, column + 1); }
    /// Column widths and row heights that fit the labels, headers and cell texts.
    void fitColumns();
    void clearBasis(int row, int column);
    void onItemChanged(QTableWidgetItem* item);
    bool m_filling = false;
};

} // namespace zefirel
