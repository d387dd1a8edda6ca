#pragma once
/// CMapCompare: two injection maps side by side and what separates them: the map
/// learning proposes, the map the controller holds, and the difference in
/// percentage points. Three narrow read-only tables of the map's 50 rows of 0.5 ms
/// × 8 speed columns that scroll together; a cell whose value would change is
/// tinted in all three.

#include <QWidget>

#include "map/MapCompute.h"

class QLabel;
class QTableWidget;

namespace zefirel {

/// The tint of a cell that would change.
inline constexpr QRgb MAP_CHANGE_COLOUR = 0xFFD27F;

class CMapCompare : public QWidget {
    Q_OBJECT
public:
    explicit CMapCompare(QWidget* parent = nullptr);

    /// Shows both maps; controllerKnown false: the controller's map was not read
    /// (its table and the difference stay empty).
    void setMaps(const MapBytes& proposed, const MapBytes& controller, bool controllerKnown);
    /// Map cells whose bytes differ.
    int changedCells() const { return m_changed; }

    QTableWidget* proposedTable() const { return m_tables[0]; }
    QTableWidget* controllerTable() const { return m_tables[1]; }
    QTableWidget* differenceTable() const { return m_tables[2]; }

private:
    QTableWidget* m_tables[3] = {};
    int m_changed = 0;
    // What is shown, so an unchanged refresh costs nothing.
    MapBytes m_proposed{}, m_controller{};
    bool m_known = false, m_shown = false;
};

} // namespace zefirel
