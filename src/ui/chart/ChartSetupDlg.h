#pragma once
/// CChartSetupDlg: edits a series chart's x window, y range and grid steps
/// ("Ustawienia wykresu...").

#include <QDialog>

#include <array>

class QLineEdit;

namespace zefirel {

class CSeriesChart;

class CChartSetupDlg : public QDialog {
    Q_OBJECT
public:
    /// The eight values the dialog edits, in the order of its fields.
    enum Field { PlotWidth, PlotHeight, XMin, XMax, YMin, YMax, XGrid, YGrid, FieldCount };

    explicit CChartSetupDlg(QWidget* parent = nullptr);

    /// Sets / returns the value of a field (the value last read from or written to it).
    void SetValue(Field f, double v) { m_values[f] = v; }
    double Value(Field f) const { return m_values[f]; }
    /// Fills the values from a chart: plot size, shared x window, y range, both grids.
    void FillFrom(const CSeriesChart& chart);
    /// Copies the values into the shared x window and grid and the chart's y range and grid.
    void ApplyTo(CSeriesChart& chart) const;
    /// Writes the values into the fields.
    void WriteFields();
    /// Reads the fields into the values; false (values unchanged) when one is not a number.
    bool ReadFields();
    /// The edit of a field (named after the field, for finding it in tests).
    QLineEdit* Edit(Field f) const { return m_edits[f]; }

    /// Runs the dialog on a chart; on OK applies it, repaints the view and saves the
    /// chart's scale file. Returns true on OK.
    static bool Run(CSeriesChart& chart, QWidget* view, const QString& scalePath);

    /// OK: closes only with increasing ranges and positive grid steps, otherwise
    /// shows "Nieprawidłowe wartości" and stays open.
    void accept() override;

public slots:
    /// Focus left "do" of the x range: keep the width within 50 .. 10000 samples.
    void OnXMaxLeft();
    /// Focus left "od" of the x range: keep the width within 50 .. 10000 samples.
    void OnXMinLeft();
    /// Focus left either y bound: y grid := a tenth of the range.
    void OnYLeft();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<double, FieldCount> m_values{};
    std::array<QLineEdit*, FieldCount> m_edits{};
};

} // namespace zefirel
