#include "ui/diag/DevicePanel.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cmath>

#include "diag/DeviceDoc.h"
#include "diag/DiagUnits.h"
#include "link/Conversions.h"
#include "ui/app/LPGBar.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WriteGate.h"


namespace zefirel {

void CDevicePanel::resetNow() {
    setReadout(QStringLiteral("rpm"), QStringLiteral("0"));
    for (const char* n : {"petrolTime", "lpgTime", "supplyVoltage"}) setReadout(QString::fromLatin1(n), QStringLiteral("0.00"));
    for (const char* n : {"heaterTemp", "lpgTemp", "pressure", "lambda", "internalTemp"})
        setReadout(QString::fromLatin1(n), QStringLiteral("0.0"));
    setWorkState(QStringLiteral("Benzyna"), COLOUR_YELLOW);
    update();
}

void CDevicePanel::reset() {
    runOnGuiThread(this, [this] { resetNow(); });
}

void CDevicePanel::start() {
    runOnGuiThread(this, [this] {
        m_readoutTimer->start(READOUT_PERIOD_MS);
        showStale();
    });
}

void CDevicePanel::stop(RunId run) {
    runOnGuiThread(this, [this, run] {
        if (m_doc.isCurrentRun(run)) m_readoutTimer->stop();
        showStale();
    });
}

bool CDevicePanel::readoutsStale() const { return !(m_readoutTimer->isActive() && m_doc.isVersionOk()); }

// Without a line or a run the last values stay readable but grey, so nobody takes
// them for live ones.
void CDevicePanel::showStale() {
    const bool stale = readoutsStale();
    for (auto& [name, f] : m_fields) {
        if (name == QLatin1String("workState")) continue;
        QPalette p = f->palette();
        p.setColor(QPalette::WindowText, stale ? QColor(0x80, 0x80, 0x80) : QColor(Qt::black));
        f->setPalette(p);
    }
    if (stale && m_bar) m_bar->clearInjectors();
}

void CDevicePanel::startPanelTimer(int id, int periodMs) {
    runOnGuiThread(this, [this, id, periodMs] {
        if (id == TIMER_RECONNECT) m_reconnectTimer->start(periodMs);
        else if (id == TIMER_READOUTS) m_readoutTimer->start(periodMs);
    });
}

bool CDevicePanel::readoutTimerActive() const { return m_readoutTimer->isActive(); }
bool CDevicePanel::reconnectTimerActive() const { return m_reconnectTimer->isActive(); }
int CDevicePanel::reconnectInterval() const { return m_reconnectTimer->interval(); }
void CDevicePanel::initialUpdate() { startOnController("CDevicePanel::OnInitialUpdate()", false); }

void CDevicePanel::startOnController(const char* where, bool continuation) {
    if (m_doc.isVersionOk()) {
        try {
            if (continuation) m_doc.continueDiagnostics();
            else m_doc.startDiagnostics();
            readControllerSettings();
        } catch (IError* e) {
            showCaughtError(this, QString(), where, e);
        }
    }
    updateConnectionState();
}

void CDevicePanel::startPeriodicReads(bool errors, bool settings) {
    // A check that comes due while the one before is still under way runs after it.
    m_pendingErrors = (m_pendingErrors || errors) && m_doc.isVersionOk();
    m_pendingReread = (m_pendingReread || settings) && m_doc.isVersionOk() && !QApplication::activeModalWidget();
    if (!m_pendingErrors && !m_pendingReread) return;
    if (m_poll.start([this, errors = m_pendingErrors, settings = m_pendingReread]() -> CBackgroundPoll::Finish {
        bool stored = false, read = false;
        try {
            uint8_t report[ERROR_REPORT_SIZE] = {};
            stored = errors && m_doc.readErrors(report) && !m_doc.describeReport(report).empty();
        } catch (IError* e) {
            delete e;
        }
        try {
            read = settings && m_doc.readSettings(false); // skipped while a write holds the controller
        } catch (IError* e) {
            delete e;
        }
        return [this, stored, read] {
            if (stored && m_bar) m_bar->showError(true);
            if (read) showSettingsRead();
            startPeriodicReads(false, false); // what came due meanwhile
        };
    }))
        m_pendingErrors = m_pendingReread = false;
}

void CDevicePanel::waitPeriodicReads() { m_poll.wait(); }

bool CDevicePanel::readControllerSettings(bool wait) {
    if (!m_doc.readSettings(wait)) return false;
    showSettingsRead();
    return true;
}

void CDevicePanel::showSettingsRead() {
    // The periodic re-read must not overwrite a value the installer is typing.
    if (!(m_correction->hasFocus() && m_correction->isModified())) showCorrection();
    if (!m_settingsRead) {
        m_settingsRead = true;
        enableControls();
    }
}

void CDevicePanel::updateConnectionState() {
    const bool connected = m_doc.isVersionOk();
    if (!connected) m_settingsRead = false; // the next controller's settings are read anew
    enableControls();
    limitInjectors();
    showStale();
    if (m_bar) m_bar->showConnection(connected);
    emit connectionChanged(connected);
}

void CDevicePanel::enableControls() {
    const bool connected = m_doc.isVersionOk();
    // While a setup procedure measures, nothing here may change the car under it.
    m_procedureSeen = m_doc.procedureRunning();
    const bool free = writeAllowed(m_doc);
    m_injector->setEnabled(connected);
    for (QWidget* w : std::initializer_list<QWidget*>{m_btnGasoline, m_btnLpg, m_btnAuto})
        w->setEnabled(free);
    for (QWidget* w : std::initializer_list<QWidget*>{m_correction, m_spin, m_btnWrite})
        w->setEnabled(free && m_settingsRead);
}

void CDevicePanel::showCorrection() {
    m_correction->setText(QString::asprintf("%.3f", m_doc.settings().mainCorrection()));
}

void CDevicePanel::onReadoutTick() {
    // A setup procedure began or ended: the commands that write follow it.
    if (m_doc.procedureRunning() != m_procedureSeen) updateConnectionState();
    CDiag d;
    if (!m_doc.diagData().getLast(d)) return;
    const uint32_t features = m_doc.featureMask();
    const DiagReadouts r = readouts(d, features);
    m_supplyLabel->setVisible(r.supplyVoltageVisible);
    field(QStringLiteral("supplyVoltage"))->setVisible(r.supplyVoltageVisible);
    setReadout(QStringLiteral("rpm"), qstr(r.rpm));
    setReadout(QStringLiteral("petrolTime"), qstr(r.petrolTime));
    setReadout(QStringLiteral("lpgTime"), qstr(r.lpgTime));
    setReadout(QStringLiteral("pressure"), qstr(r.pressure));
    setReadout(QStringLiteral("lpgTemp"), qstr(r.lpgTemp));
    setReadout(QStringLiteral("heaterTemp"), qstr(r.heaterTemp));
    setReadout(QStringLiteral("lambda"), qstr(r.lambda));
    setReadout(QStringLiteral("supplyVoltage"), qstr(r.supplyVoltage));
    setReadout(QStringLiteral("internalTemp"), qstr(r.internalTemp));
    setWorkState(qstr(r.workState), r.workStateColour);
    showWorkMode();
    if (m_bar) m_bar->setInjectors(d.injectorActivity(), d.lpgActivityPairs(), CDiag::extendedLayout());

    // The periodic checks run on a worker: on a dead line each read retries for
    // seconds, which on this thread froze the window. A port failure inside one
    // must not end the program either: the polling thread notices a dead line on
    // its own and starts the reconnect.
    bool checkErrors = false, reread = false;
    if (--m_errorCountdown <= 0) {
        m_errorCountdown = ERROR_CHECK_TICKS;
        checkErrors = m_doc.isVersionOk();
    }
    if (--m_settingsCountdown <= 0) {
        m_settingsCountdown = SETTINGS_REREAD_TICKS;
        // While a modal dialog is open (the settings dialog, the car data asked for by
        // a write) the document's record holds values being edited or about to be
        // written: a re-read would silently replace them with the controller's.
        reread = m_doc.isVersionOk() && !QApplication::activeModalWidget();
    }
    startPeriodicReads(checkErrors, reread);
    update();
}

// Also runs while no controller has answered since start-up, so one plugged in
// later is found. The ports are tried on a worker: ports that do not answer would
// otherwise hold the window for seconds every 5 s.
void CDevicePanel::onReconnectTick() {
    m_reconnectTimer->stop();
    updateConnectionState();
    // Only a handshake ends the reconnect. The lost flag is no guide: any clean
    // exchange clears it, such as a check that waited on the dead line and was
    // answered once the cable was back, and the controller is still not connected.
    if (m_doc.isVersionOk()) return;
    m_doc.startReconnect(); // its end restarts the timer when nothing answered
}

void CDevicePanel::onReconnectEnded(bool connected) {
    // After a lost line the run goes on where the interrupted one recorded.
    if (connected) startOnController("CDevicePanel::OnTimer()", true);
    else m_reconnectTimer->start(RECONNECT_RETRY_MS);
}

} // namespace zefirel
