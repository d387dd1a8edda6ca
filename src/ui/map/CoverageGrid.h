#pragma once
/// CCoverageGrid: what map learning has gathered, one box per operating point of
/// the map computation: 8 engine-speed columns of 1000 rpm × 11 load rows of
/// 10 kPa. Each box shows its petrol and LPG sample counts ("12 / 30") on the
/// colour of its state, and a legend under the grid names the colours. Painted,
/// not a table: the boxes are read at a glance from the passenger seat.

#include <QRgb>
#include <QWidget>

#include <array>

#include "map/MapLearning.h"

namespace zefirel {

inline constexpr int COVERAGE_STATES = 5;

/// The colours of the cells' states (the judged ones as "Sprawdzenie ustawień"
/// paints them).
inline constexpr QRgb COVERAGE_NO_DATA = 0xFFFFFF;
inline constexpr QRgb COVERAGE_PARTIAL = 0xFFF0B3;
inline constexpr QRgb COVERAGE_ENOUGH = 0xA9CCF5;
inline constexpr QRgb COVERAGE_WITHIN = 0xA8E6A1;
inline constexpr QRgb COVERAGE_OUTSIDE = 0xF28B82;

/// One box as the grid shows it.
struct CoverageBox {
    int petrol = 0;
    int lpg = 0;
    ELearnCell state = ELearnCell::NoData;
    bool operator==(const CoverageBox&) const = default;
};
/// boxes[speed bucket][load bucket], as the map computation's cells.
using CoverageTable = std::array<std::array<CoverageBox, LOAD_BUCKETS>, SPEED_BUCKETS>;

QColor coverageColour(ELearnCell state);
/// The legend's words for a state.
QString coverageName(ELearnCell state);

class CCoverageGrid : public QWidget {
    Q_OBJECT
public:
    explicit CCoverageGrid(QWidget* parent = nullptr);

    void setTable(const CoverageTable& table);
    const CoverageTable& table() const { return m_table; }

    /// Where a box is drawn (widget coordinates).
    QRect boxRect(int speed, int load) const;
    /// Where the legend's swatch of a state is drawn.
    QRect swatchRect(ELearnCell state) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int labelWidth() const;
    int boxWidth() const;
    int boxHeight() const;
    int legendTop() const;

    CoverageTable m_table{};
};

} // namespace zefirel
