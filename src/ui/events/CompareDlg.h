#pragma once
/// CCompareDlg: "Porównaj nagrania": two recordings of the same car, before (A)
/// and after (B) a change. A table of the speed × load cells gives, per recording,
/// the petrol computer's injection time while on petrol and while on LPG, their
/// difference and the sample counts, and the change from A to B (cells with too few
/// samples are marked and not judged); under it the injection times of B drawn over
/// those of A with an offset the installer shifts (spin box, slider, arrow keys);
/// above both the one-line verdict.

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

#include "diag/Diag.h"
#include "events/RecordingCompare.h"

class QLabel;
class QSlider;
class QSpinBox;
class QTableWidget;

namespace zefirel {

class CCompareChartView;

class CCompareDlg : public QDialog {
    Q_OBJECT
public:
    /// chooser asks for a recording with a title (empty on Cancel).
    explicit CCompareDlg(QWidget* parent = nullptr, std::function<QString(const QString& title)> chooser = {});
    ~CCompareDlg() override;

    /// Reads both recordings (under a progress window) and shows their comparison.
    /// False when one could not be read (the message was shown) or it was cancelled.
    bool load(const QString& pathA, const QString& pathB);
    const CompareResult& result() const { return m_result; }
    QTableWidget* table() const { return m_table; }
    QString verdictText() const;
    CCompareChartView* chart() const { return m_chart; }
    /// Offset of B in samples (spin box, slider and chart follow).
    void setOffset(int samples);
    int offset() const;

    /// Table columns.
    enum EColumn {
        COL_SPEED, COL_LOAD, COL_A_PETROL, COL_A_LPG, COL_A_DIFF, COL_A_COUNTS,
        COL_B_PETROL, COL_B_LPG, COL_B_DIFF, COL_B_COUNTS, COL_CHANGE, COL_VERDICT, COL_COUNT
    };

private:
    void choose(bool second);
    void fillTable();

    std::function<QString(const QString&)> m_chooser;
    QString m_paths[2];
    CompareResult m_result;
    QLabel* m_files[2] = {nullptr, nullptr};
    QLabel* m_verdict = nullptr;
    QTableWidget* m_table = nullptr;
    CCompareChartView* m_chart = nullptr;
    QSpinBox* m_offset = nullptr;
    QSlider* m_slider = nullptr;
};

} // namespace zefirel
