#pragma once
/// "Sprawdzenie ustawień": the check after calibration over a recording, shown on
/// the map's grid with coloured cells (green within the tolerance, red outside it,
/// yellow for too few samples) and the total verdict above it. The tolerance can
/// be changed at once: the cells are judged again without reading the recording
/// again.

#include <QDialog>
#include <QString>

#include <functional>

#include "map/AcceptanceCheck.h"

class QDoubleSpinBox;
class QLabel;

namespace zefirel {

class CMapGrid;

inline constexpr QRgb CHECK_PASS_COLOUR = 0xA8E6A1;
inline constexpr QRgb CHECK_FAIL_COLOUR = 0xF28B82;
inline constexpr QRgb CHECK_TOO_FEW_COLOUR = 0xFFE08A;

class CAcceptanceDlg : public QDialog {
    Q_OBJECT
public:
    /// chooser asks for a recording (empty on Cancel).
    explicit CAcceptanceDlg(QWidget* parent = nullptr, std::function<QString()> chooser = {});

    /// Reads the recording under a progress window and shows the check. False when
    /// it could not be read (the message was shown) or the reading was cancelled.
    bool load(const QString& path);
    const AcceptanceResult& result() const { return m_result; }
    CMapGrid* grid() const { return m_grid; }
    QString verdictText() const;
    void setTolerance(double percent);

private:
    void judge();

    std::function<QString()> m_chooser;
    MapResult m_cells;
    uint64_t m_samples = 0;
    bool m_loaded = false;
    AcceptanceResult m_result;
    QString m_path;
    QLabel* m_file = nullptr;
    QLabel* m_verdict = nullptr;
    QDoubleSpinBox* m_tolerance = nullptr;
    CMapGrid* m_grid = nullptr;
};

} // namespace zefirel
