#include "ui/diag/DevicePanel.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "diag/DeviceDoc.h"
#include "diag/DiagUnits.h"
#include "link/Conversions.h"
#include "ui/app/LPGBar.h"
#include "ui/settings/MsgHelper.h"
#include "ui/settings/WriteResultBox.h"

namespace zefirel {

namespace {
const char* const CHART_NAMES[] = {"Obroty 1/min", "Czas wtrysku [ms]", "Ciśnienie [kPa]", "Temperatura LPG [C]",
                                   "Sonda Lambda [V]"};
constexpr int DEFAULT_CHART = 1;

/// A control where Ctrl+A, Ctrl+B or Ctrl+L mean editing, not a work mode.
bool isTextField(const QWidget* w) {
    if (!w) return false;
    if (qobject_cast<const CSpinArrows*>(w)) return false; // arrows only, no text
    if (auto* combo = qobject_cast<const QComboBox*>(w)) return combo->isEditable();
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w);
}

QFont panelFont(bool bold) {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    // The faces that stand in for MS Sans Serif (DejaVu Sans here) run wider; 17 px
    // gives about the line width its 20 px had, so every readout fits the 200 px pane.
    f.setPixelSize(17);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}

} // namespace

CSpinArrows::CSpinArrows(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    // Only the arrows count: the box shows no number of its own.
    setFixedWidth(22);
    setFocusPolicy(Qt::StrongFocus);
}

void CSpinArrows::stepBy(int steps) { emit stepped(steps); }

void CSpinArrows::wheelEvent(QWheelEvent* e) { e->ignore(); }

void CSpinArrows::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_PageUp || e->key() == Qt::Key_PageDown) {
        e->ignore();
        return;
    }
    QAbstractSpinBox::keyPressEvent(e);
}

CDevicePanel::CDevicePanel(CDeviceDoc& doc, CLPGBar* bar, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_bar(bar) {
    setObjectName(QStringLiteral("devicePanel"));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(4, 4, 4, 4);
    lay->setSpacing(4);

    auto* modes = new QHBoxLayout;
    m_btnGasoline = new QPushButton(QStringLiteral("Benzyna"), this);
    m_btnLpg = new QPushButton(QStringLiteral("LPG"), this);
    m_btnAuto = new QPushButton(QStringLiteral("Auto"), this);
    m_btnGasoline->setObjectName(QStringLiteral("btnGasoline"));
    m_btnLpg->setObjectName(QStringLiteral("btnLpg"));
    m_btnAuto->setObjectName(QStringLiteral("btnAuto"));
    m_btnGasoline->setToolTip(QStringLiteral("Przełącz sterownik na benzynę (Ctrl+B)"));
    m_btnLpg->setToolTip(QStringLiteral("Przełącz sterownik na LPG (Ctrl+L)"));
    m_btnAuto->setToolTip(QStringLiteral("Sterownik sam przełącza na LPG i benzynę (Ctrl+A)"));
    for (QPushButton* b : {m_btnGasoline, m_btnLpg, m_btnAuto}) {
        b->setMinimumWidth(10);
        // The mode chosen last stays pressed; the field below shows what the
        // controller reports it does.
        b->setCheckable(true);
        b->setAutoExclusive(false);
        modes->addWidget(b);
    }
    lay->addLayout(modes);
    connect(m_btnGasoline, &QPushButton::clicked, this, &CDevicePanel::onBtnGasoline);
    connect(m_btnLpg, &QPushButton::clicked, this, &CDevicePanel::onBtnLpg);
    connect(m_btnAuto, &QPushButton::clicked, this, &CDevicePanel::onBtnAuto);

    auto* state = new QLabel(this);
    state->setObjectName(QStringLiteral("workState"));
    state->setAlignment(Qt::AlignCenter);
    state->setAutoFillBackground(true);
    state->setFrameShape(QFrame::Box);
    state->setFont(panelFont(true));
    m_fields[QStringLiteral("workState")] = state;
    lay->addWidget(state);

    auto* injRow = new QHBoxLayout;
    injRow->addWidget(new QLabel(QStringLiteral("Wtryskiwacz"), this));
    m_injector = new QComboBox(this);
    m_injector->setObjectName(QStringLiteral("injector"));
    for (int i = 1; i <= 8; ++i) m_injector->addItem(QString::number(i));
    injRow->addWidget(m_injector, 1);
    lay->addLayout(injRow);
    connect(m_injector, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_doc.setSelectedInjector(index + 1); });

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    addReadout(grid, 0, QStringLiteral("RPM"), QStringLiteral("rpm"), COLOUR_YELLOW, true);
    addReadout(grid, 1, QStringLiteral("Czas benz."), QStringLiteral("petrolTime"), COLOUR_WHITE, false);
    addReadout(grid, 2, QStringLiteral("Czas LPG"), QStringLiteral("lpgTime"), COLOUR_YELLOW, true);
    addReadout(grid, 3, QStringLiteral("T.ogrzewacza"), QStringLiteral("heaterTemp"), COLOUR_WHITE, false);
    addReadout(grid, 4, QStringLiteral("T. LPG"), QStringLiteral("lpgTemp"), COLOUR_YELLOW, true);
    addReadout(grid, 5, QStringLiteral("Ciśn.różnicowe"), QStringLiteral("pressure"), COLOUR_WHITE, false);
    addReadout(grid, 6, QStringLiteral("Lambda"), QStringLiteral("lambda"), COLOUR_YELLOW, true);
    addReadout(grid, 7, QStringLiteral("T. wewn."), QStringLiteral("internalTemp"), COLOUR_WHITE, false);
    addReadout(grid, 8, QStringLiteral("Nap. zas."), QStringLiteral("supplyVoltage"), COLOUR_YELLOW, false);
    m_supplyLabel = qobject_cast<QLabel*>(grid->itemAtPosition(8, 0)->widget());
    m_supplyLabel->setObjectName(QStringLiteral("supplyVoltageLabel"));
    lay->addLayout(grid);

    auto* corr = new QGroupBox(QStringLiteral("Główna poprawka [ms]"), this);
    auto* corrLay = new QHBoxLayout(corr);
    corrLay->setContentsMargins(4, 4, 4, 4);
    m_correction = new QLineEdit(corr);
    m_correction->setObjectName(QStringLiteral("correctionEdit"));
    m_spin = new CSpinArrows(corr);
    m_spin->setObjectName(QStringLiteral("correctionSpin"));
    m_btnWrite = new QPushButton(QStringLiteral("Wpisz"), corr);
    m_btnWrite->setObjectName(QStringLiteral("btnWrite"));
    m_btnWrite->setMinimumWidth(10);
    corrLay->addWidget(m_correction, 1);
    corrLay->addWidget(m_spin);
    corrLay->addWidget(m_btnWrite);
    lay->addWidget(corr);
    connect(m_spin, &CSpinArrows::stepped, this, &CDevicePanel::onSpin);
    connect(m_btnWrite, &QPushButton::clicked, this, &CDevicePanel::onBtnWrite);
    // Enter in the edit writes as "Wpisz"; Up and Down step it as the arrows do.
    connect(m_correction, &QLineEdit::returnPressed, this, [this] {
        if (m_btnWrite->isEnabled()) onBtnWrite();
    });
    m_correction->installEventFilter(this);

    lay->addWidget(new QLabel(QStringLiteral("Wykres"), this));
    m_chart = new QComboBox(this);
    m_chart->setObjectName(QStringLiteral("chart"));
    for (const char* name : CHART_NAMES) m_chart->addItem(QString::fromUtf8(name));
    m_chart->setCurrentIndex(DEFAULT_CHART);
    lay->addWidget(m_chart);
    connect(m_chart, &QComboBox::activated, this, [this](int index) { emit chartSelected(index); });
    lay->addStretch(1);

    m_readoutTimer = new QTimer(this);
    m_readoutTimer->setObjectName(QStringLiteral("timer5001"));
    m_readoutTimer->setInterval(READOUT_PERIOD_MS);
    connect(m_readoutTimer, &QTimer::timeout, this, &CDevicePanel::onReadoutTick);
    m_reconnectTimer = new QTimer(this);
    m_reconnectTimer->setObjectName(QStringLiteral("timer5006"));
    connect(m_reconnectTimer, &QTimer::timeout, this, &CDevicePanel::onReconnectTick);

    resetNow();
}

QLabel* CDevicePanel::addReadout(QGridLayout* grid, int row, const QString& label, const QString& name,
                                 uint32_t colour, bool bold) {
    auto* caption = new QLabel(label, this);
    caption->setFont(panelFont(bold));
    grid->addWidget(caption, row, 0);
    auto* f = new QLabel(this);
    f->setObjectName(name);
    f->setAutoFillBackground(true);
    f->setFrameShape(QFrame::Panel);
    f->setFrameShadow(QFrame::Sunken);
    f->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    f->setFont(panelFont(true));
    f->setMinimumWidth(60);
    paintField(f, colour);
    grid->addWidget(f, row, 1);
    m_fields[name] = f;
    return f;
}

QLabel* CDevicePanel::field(const QString& name) const {
    auto it = m_fields.find(name);
    return it == m_fields.end() ? nullptr : it->second;
}

void CDevicePanel::setReadout(const QString& name, const QString& text) {
    if (QLabel* f = field(name)) f->setText(text);
}

void CDevicePanel::setWorkState(const QString& text, uint32_t colour, bool keepColour) {
    QLabel* f = field(QStringLiteral("workState"));
    f->setText(text);
    if (!keepColour) paintField(f, colour);
    f->repaint();
}

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

int CDevicePanel::chartIndex() const { return m_chart->currentIndex(); }
int CDevicePanel::injector() const { return m_injector->currentIndex() + 1; }

bool CDevicePanel::selectChart(int index) {
    if (index < 0 || index >= m_chart->count() || index == m_chart->currentIndex()) return false;
    m_chart->setCurrentIndex(index);
    emit chartSelected(index);
    return true;
}

void CDevicePanel::selectInjector(int injector) {
    if (injector >= 1 && injector <= m_injector->count() && injectorAvailable(injector))
        m_injector->setCurrentIndex(injector - 1);
}

bool CDevicePanel::injectorAvailable(int injector) const {
    const int count = m_doc.isVersionOk() ? m_doc.settings().injectorCount() : 0;
    // Without a known count (no controller yet) every injector may be chosen.
    return count <= 0 || injector <= count;
}

void CDevicePanel::limitInjectors() {
    auto* model = qobject_cast<QStandardItemModel*>(m_injector->model());
    if (!model) return;
    for (int i = 0; i < model->rowCount(); ++i)
        if (QStandardItem* item = model->item(i)) item->setEnabled(injectorAvailable(i + 1));
    if (!injectorAvailable(m_injector->currentIndex() + 1)) m_injector->setCurrentIndex(0);
}

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
    const bool free = connected && !m_procedureSeen;
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

bool CDevicePanel::modeKey(int key) {
    QPushButton* button = key == Qt::Key_B ? m_btnGasoline : key == Qt::Key_L ? m_btnLpg : key == Qt::Key_A ? m_btnAuto : nullptr;
    if (!button || !button->isEnabled() || isTextField(QApplication::focusWidget())) return false;
    if (button == m_btnGasoline) onBtnGasoline();
    else if (button == m_btnLpg) onBtnLpg();
    else onBtnAuto();
    return true;
}

void CDevicePanel::switchMode(bool (CLPGDevice::*op)(), const QString& text, uint32_t colour, bool keepColour,
                              const QString& failure, const char* where) {
    try {
        CWaitCursor wait;
        const bool ok = (m_doc.*op)();
        wait.end();
        if (ok) {
            setWorkState(text, colour, keepColour);
            m_chosenMode = op;
        } else {
            zefMessageBox(this, failure, QStringLiteral("Zefirel"), EMsgStyle::Error);
        }
    } catch (IError* e) {
        showCaughtError(this, QString(), where, e);
    } catch (...) {
        showCatchAll(this, where);
    }
    showChosenMode();
}

void CDevicePanel::showChosenMode() {
    m_btnGasoline->setChecked(m_chosenMode == &CLPGDevice::setWorkPetrol);
    m_btnLpg->setChecked(m_chosenMode == &CLPGDevice::setWorkLpg);
    m_btnAuto->setChecked(m_chosenMode == &CLPGDevice::setWorkAuto);
}

bool CDevicePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_correction && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Up || key == Qt::Key_Down) && m_spin->isEnabled()) {
            onSpin(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CDevicePanel::onBtnGasoline() {
    switchMode(&CLPGDevice::setWorkPetrol, QStringLiteral("Benzyna"), COLOUR_YELLOW, false,
               QStringLiteral("Nie powiodło się przełączenie na benzynę!"), "CDevicePanel::onBtnGasoline()");
}

void CDevicePanel::onBtnLpg() {
    switchMode(&CLPGDevice::setWorkLpg, QStringLiteral("LPG"), COLOUR_GREEN, false,
               QStringLiteral("Nie powiodło się przełączenie na LPG!"), "CDevicePanel::onBtnLpg()");
}

// "AUTO" keeps the field's colour: the next readout tick shows the state it chose.
void CDevicePanel::onBtnAuto() {
    switchMode(&CLPGDevice::setWorkAuto, QStringLiteral("AUTO"), 0, true,
               QStringLiteral("Nie powiodło się przełączenie w tryb AUTO!"), "CDevicePanel::onBtnAuto()");
}

bool CDevicePanel::writeCorrection(const CSettingsBlock& record) {
    try {
        SettingsWriteRequest request;
        request.wanted = record;
        request.source = EWriteSource::Panel;
        CWaitCursor wait;
        const SettingsWriteResult result = m_doc.commitSettings(request);
        wait.end();
        const bool ok = showWriteResult(this, result,
                                        {QStringLiteral("Nie powiodło się ustawienie urządzenia!"),
                                         QString::fromUtf8(MSG_WRITE_NO_CAR_DATA), true});
        // A refused value gives way to the controller's; after a failed write the
        // typed value stays, to be written again.
        if (ok || result.outcome == EWriteOutcome::Refused) showCorrection();
        return ok;
    } catch (IError* e) {
        showCaughtError(this, QString(), "CDevicePanel::onBtnWrite()", e);
    }
    return false;
}

bool CDevicePanel::typedCorrection(double& ms) {
    // An installer types "1,8" as readily as "1.8"; anything else that is not a
    // number must not silently become 0 ms and be written.
    QString text = m_correction->text().trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value)) {
        zefMessageBox(this, QStringLiteral("Nieprawidłowe wartości."), QStringLiteral("Zefirel"), EMsgStyle::Error);
        return false;
    }
    ms = value;
    return true;
}

// The panel edits a copy of the document's record; the one write path checks it
// (a refused value is not sent and the field shows the controller's value again).
void CDevicePanel::applyCorrection(double ms, bool alsoSecond) {
    CSettingsBlock s = m_doc.settings();
    s.setMainCorrection(ms);
    if (alsoSecond) s.setValue(ESetting::mainCorrection2, ms);
    m_correction->setText(QString::asprintf("%.3f", ms));
    writeCorrection(s);
}

void CDevicePanel::onBtnWrite() {
    if (!m_btnWrite->isEnabled()) return;
    double typed = 0;
    if (typedCorrection(typed)) applyCorrection(quantizeMs(typed), false);
}

// A step is written as "Wpisz" writes: the whole record is checked first.
void CDevicePanel::onSpin(int steps) {
    double typed = 0;
    if (!typedCorrection(typed)) return;
    const double value = quantizeMs(typed + steps * CORRECTION_SPIN_STEP_MS);
    if (value < CORRECTION_MIN_MS || value > CORRECTION_MAX_MS) return;
    if (!m_btnWrite->isEnabled()) return;
    const bool noSecondInjectors = static_cast<uint32_t>(m_doc.settings().value(ESetting::correction2Injectors)) == 0;
    applyCorrection(value, noSecondInjectors);
}

} // namespace zefirel
