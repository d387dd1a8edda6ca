#pragma once
/// CDevicePanel: the live panel in the device frame's left pane — the newest
/// sample as readouts, the work-mode buttons, the injector polled by diagnostics,
/// the main correction with its spin and "Wpisz", and the chart choice. Its readout
/// timer (5001, 500 ms) also runs the periodic error check and settings re-read; its
/// reconnect timer (5006) brings a lost controller back.

#include <QAbstractSpinBox>
#include <QWidget>
#include <map>

#include "diag/DiagDisplay.h"
#include "link/SettingsBlock.h"
#include "ui/support/BackgroundWork.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace zefirel {

class CDeviceDoc;
class CLPGDevice;
class CLPGBar;

inline constexpr int TIMER_READOUTS = 5001;
inline constexpr int TIMER_RECONNECT = 5006;
inline constexpr int READOUT_PERIOD_MS = 500;
inline constexpr int RECONNECT_FIRST_MS = 1000;
inline constexpr int RECONNECT_RETRY_MS = 5000;
inline constexpr int ERROR_CHECK_TICKS = 10;
inline constexpr int SETTINGS_REREAD_TICKS = 20;
/// One spin step of the main correction, in ms.
inline constexpr double CORRECTION_SPIN_STEP_MS = 0.025;
/// Range a spin step may take the main correction to, in ms.
inline constexpr double CORRECTION_MIN_MS = 0.0;
inline constexpr double CORRECTION_MAX_MS = 6.0;
/// The example of the form the correction field takes.
inline constexpr double CORRECTION_EXAMPLE_MS = 1.8;

/// The line under a message about the correction field: what it takes.
QString correctionRangeText();

/// The up-down control beside the correction edit: reports each step (+1 up, −1 down).
/// Every step writes to the controller, so only a deliberate arrow click or Up/Down
/// key makes one: the mouse wheel and PageUp/PageDown (ten steps at once) do nothing.
class CSpinArrows : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit CSpinArrows(QWidget* parent = nullptr);
    void stepBy(int steps) override;

signals:
    void stepped(int steps);

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};

class CDevicePanel : public QWidget, public IDiagDisplay {
    Q_OBJECT
public:
    CDevicePanel(CDeviceDoc& doc, CLPGBar* bar, QWidget* parent = nullptr);

    /// First showing: starts diagnostics on a connected controller, reads the
    /// settings and shows the main correction, enables the controls.
    void initialUpdate();

    // IDiagDisplay (callable from any thread; runs on the GUI thread)
    void reset() override;
    void start() override;
    void stop(RunId run) override;

    /// Starts one of the panel's timers (the reconnect timer from the polling thread).
    void startPanelTimer(int id, int periodMs);
    /// Waits until the periodic checks started by a readout tick have ended and
    /// shown their outcome (tests, which run the ticks themselves).
    void waitPeriodicReads();
    bool readoutTimerActive() const;
    bool reconnectTimerActive() const;
    int reconnectInterval() const;

    /// Enables the controls by the connected flag and shows the connection state.
    /// The correction edit, its spin and "Wpisz" also wait for the controller's
    /// settings to have been read on this connection, so they never offer the
    /// block's defaults for writing.
    void updateConnectionState();
    /// Shows the settings block's main correction in the edit.
    void showCorrection();
    /// A work-mode key (Ctrl+B, Ctrl+L, Ctrl+A): runs the matching button's handler
    /// when the button is enabled and no text field has the focus (where the keys
    /// keep their editing meaning, such as select-all). True when it ran.
    bool modeKey(int key);

    /// The chart chosen in "Wykres" (0..4) and the injector chosen (1..8).
    int chartIndex() const;
    int injector() const;
    /// Selects a chart (0..4); returns whether the selection changed.
    bool selectChart(int index);
    /// Selects an injector (1..8).
    void selectInjector(int injector);

    /// Readout field by name ("rpm", "petrolTime", ..., "workState").
    QLabel* field(const QString& name) const;
    /// The readouts show old values (no run or no controller): drawn grey.
    bool readoutsStale() const;

signals:
    /// A chart was chosen in "Wykres" (index 0..4).
    void chartSelected(int index);
    /// The connection state may have changed (reconnect tick).
    void connectionChanged(bool connected);

public slots:
    void onBtnGasoline();
    void onBtnLpg();
    void onBtnAuto();
    /// "Wpisz": snaps the edited value, checks the record and writes it.
    void onBtnWrite();
    /// Spin steps (+ up); a result outside 0..6 ms is ignored.
    void onSpin(int steps);
    /// Readout timer tick.
    void onReadoutTick();
    /// Reconnect timer tick: starts an attempt on a worker when the connection is
    /// lost or no controller has answered since start-up.
    void onReconnectTick();
    /// The attempt ended: a controller that answered is taken through everything
    /// a start-up connection does; otherwise the timer tries again in 5 s.
    void onReconnectEnded(bool connected);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* addReadout(QGridLayout* grid, int row, const QString& label, const QString& name, uint32_t colour,
                       bool bold);
    void setWorkState(const QString& text, uint32_t colour, bool keepColour = false);
    void setReadout(const QString& name, const QString& text);
    /// Everything a connection does once a controller answered: diagnostics, the
    /// settings read, the controls' enabling. where names the handler for messages;
    /// continuation: after a lost line, the run goes on from the interrupted one.
    void startOnController(const char* where, bool continuation);
    /// Presses the button of the controller's work mode: AUTO when it was set last
    /// (by anyone), else the fuel of the newest sample (or the mode set last).
    void showWorkMode();
    /// Greys the readouts and lamps while no run or no controller feeds them.
    void showStale();
    /// Injectors beyond the controller's count cannot be chosen (list and F-keys).
    void limitInjectors();
    bool injectorAvailable(int injector) const;
    /// Reads the controller's settings; on success shows the main correction
    /// unless the installer is typing one.
    bool readControllerSettings(bool wait = true);
    void enableControls();
    /// The edit's number ("." or "," as the decimal separator); anything else shows
    /// "Nieprawidłowe wartości." and gives false.
    bool typedCorrection(double& ms);
    /// Puts a new main correction (and the second one with it) into the settings,
    /// hands a copy of the record with it to the one write path, which checks it
    /// (a refused value is not sent: the field shows the controller's value again).
    void applyCorrection(double ms, bool alsoSecond);
    /// Writes a record through the one write path; shows why when it was not written.
    bool writeCorrection(const CSettingsBlock& record);
    void switchMode(bool (CLPGDevice::*op)(), const QString& text, uint32_t colour, bool keepColour,
                    const QString& failure, const char* where);
    void resetNow();
    /// The error check and the settings re-read of the readout ticks, on a worker;
    /// what comes due while one is under way runs after it.
    void startPeriodicReads(bool errors, bool settings);
    /// Shows the settings just read: the correction (unless being typed), the controls.
    void showSettingsRead();

    CDeviceDoc& m_doc;
    CLPGBar* m_bar;
    std::map<QString, QLabel*> m_fields;
    QLabel* m_supplyLabel = nullptr;
    QPushButton* m_btnGasoline;
    QPushButton* m_btnLpg;
    QPushButton* m_btnAuto;
    QComboBox* m_injector;
    QComboBox* m_chart;
    QLineEdit* m_correction;
    CSpinArrows* m_spin;
    QPushButton* m_btnWrite;
    QTimer* m_readoutTimer;
    QTimer* m_reconnectTimer;
    int m_errorCountdown = ERROR_CHECK_TICKS;
    int m_settingsCountdown = SETTINGS_REREAD_TICKS;
    /// The controller's settings were read on the current connection.
    bool m_settingsRead = false;
    bool m_procedureSeen = false; ///< whether a setup procedure ran at the last enabling
    /// Samples in the store when this panel last switched the work mode.
    int m_switchedAt = -1;
    bool m_pendingErrors = false; ///< an error check came due while a check was under way
    bool m_pendingReread = false; ///< the same for the settings re-read
    /// Last: destroyed first, so a check still under way ends before the widgets go.
    CBackgroundPoll m_poll{this};
};

} // namespace zefirel
