#pragma once
/// CFuelSensorDlg: the LPG level sensor calibration ("Czujnik poziomu gazu"). It
/// shows the sensor's live reading (re-read every 600 ms) with four level lamps,
/// the four thresholds between the levels and the sensor type list, checks the
/// thresholds' order and writes them to the controller.

#include <QDialog>

#include <array>
#include <optional>

#include "settings/LevelSensor.h"
#include "ui/support/BackgroundWork.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimer;

namespace zefirel {

class CLPGDevice;

class CFuelSensorDlg : public QDialog {
    Q_OBJECT
public:
    /// Builds the dialog and reads the reading and thresholds from the controller.
    explicit CFuelSensorDlg(CLPGDevice& device, QWidget* parent = nullptr);

    /// Timer period of the reading.
    static constexpr int REFRESH_MS = 600;

    /// The thresholds in the four fields (wire order).
    LevelThresholds thresholds() const;
    void setThresholds(const LevelThresholds& t);
    /// The text of the selected sensor type.
    QString sensorType() const;
    bool timerActive() const;

    // Button handlers.
    void onRead();
    /// Checks and writes the thresholds; false when refused or not written.
    bool onWrite();
    void onFactory();
    void onTypeSelected(int index);
    /// One tick of the reading timer: starts a read on a worker (unless one is
    /// still under way); the reading and lamps follow when it has answered.
    void onTimer();
    /// Waits until the read started by a tick has ended and shown its outcome.
    void waitReading();

    void accept() override { closeAsking(QDialog::Accepted); }
    void reject() override { closeAsking(QDialog::Rejected); }

signals:
    /// A line for the status bar: the thresholds were written to the controller.
    void notice(const QString& text);

private:
    void fillTypes();
    void selectMatchingType();
    void showReading(uint32_t reading);
    /// The reading, and the lamps by the thresholds in the fields.
    void showLevel(uint32_t reading);
    /// OK and Cancel alike: ask whether to write, write on Yes, close either way.
    void closeAsking(int result);
    bool lowOhm() const;

    CLPGDevice& m_device;
    QLineEdit* m_reading;
    std::array<QSpinBox*, 4> m_edits{};
    std::array<QLabel*, 4> m_lamps{};
    QComboBox* m_types;
    QTimer* m_timer;
    QLabel* m_note;
    /// The thresholds the last "Wpisz" put into the controller: closing with them
    /// still in the fields does not ask to write them again.
    std::optional<LevelThresholds> m_written;
    bool m_blinkOn = false; ///< reserve lamp state; the first reserve tick lights it
    bool m_closing = false;
    /// Last: destroyed first, so a read still under way ends before the widgets go.
    CBackgroundPoll m_poll{this};
};

} // namespace zefirel
