#pragma once
/// The three point charts: the injector firing sequence, the injection time
/// correction bars and the injection map scatter.

#include <array>

#include "ui/chart/Chart.h"

namespace zefirel {

/// Injector firing traces; the owning dialog adds the points.
class CInjSeqChart : public CXYChart {
public:
    explicit CInjSeqChart(QWidget* parent);
    const char* GetName() const override { return "CInjSeqChart"; }
    /// Grid line y = 2 (n − 1) is injector n: "INJ_n->".
    QString FormatYLabel(double y) const override;
};

/// The 25-point injection time correction curve drawn as bars, with the column
/// the engine is using highlighted.
class CTimeCorrChart : public CXYChart {
public:
    static constexpr int COLUMNS = 25;
    using Table = std::array<double, COLUMNS>;
    using Flags = std::array<bool, COLUMNS>;

    explicit CTimeCorrChart(QWidget* parent);
    const char* GetName() const override { return "CTimeCorrChart"; }
    /// The plot has a fixed size of (795 − L) × (290 − T) whatever the client size.
    void SetSize(const QSize& client) override;
    /// Bars from the zero line, blue for the ends and edited columns, and the red
    /// highlight column.
    void DrawData(QPainter& dc) override;

    /// Rebuilds the 25 points from the table; with interpolation on, the columns
    /// that are not edited are first recomputed and written back into the table.
    void SetData(Table& table);
    /// Replaces every column strictly between 0 and 24 that is not edited by the
    /// straight line between the nearest edited columns (0 and 24 act as ends),
    /// rounded to a whole number, halves away from zero.
    static void Interpolate(Table& table, const Flags& edited);

    bool IsEdited(int column) const;
    void SetEdited(int column, bool edited);
    const Flags& EditedFlags() const { return m_edited; }
    bool Interpolating() const { return m_interpolate; }
    void SetInterpolating(bool on) { m_interpolate = on; }
    /// Petrol injection time (ms) to highlight; 0 means none.
    double Highlight() const { return m_highlight; }
    void SetHighlight(double ms) { m_highlight = ms; }

private:
    Flags m_edited{};
    bool m_interpolate = true;
    double m_highlight = 0;
};

/// Injection map scatter: x = 101 − third pressure channel, y = petrol time (petrol
/// mode, lower half) or petrol time + 25 (LPG mode, upper half).
class CInjMapChart : public CXYChart {
public:
    explicit CInjMapChart(QWidget* parent);
    const char* GetName() const override { return "CInjMapChart"; }
    /// Both halves read 0 .. 25.
    QString FormatYLabel(double y) const override;
    /// The chart, and its x caption (the load) under the x labels.
    void Draw(QPainter& dc) override;
    /// Rebuilds the points from samples at 2000 .. 6000 1/min with a petrol time of
    /// at least 2 ms.
    void SetData(const std::vector<CDiag>& samples);
    void SetData(const CDiagData& store);
};

} // namespace zefirel
