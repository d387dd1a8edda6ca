#include "ui/diag/DevicePanel.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <cmath>

#include "diag/DeviceDoc.h"
#include "diag/DiagUnits.h"
#include "link/Conversions.h"
#include "ui/app/LPGBar.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WriteResultBox.h"


namespace zefirel {

namespace {

/// A control where Ctrl+A, Ctrl+B or Ctrl+L mean editing, not a work mode.
bool isTextField(const QWidget* w) {
    if (!w) return false;
    if (qobject_cast<const CSpinArrows*>(w)) return false; // arrows only, no text
    if (auto* combo = qobject_cast<const QComboBox*>(w)) return combo->isEditable();
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w);
}

} // namespace

bool CDevicePanel::modeKey(int key) {
    QPushButton* button = key == Qt::Key_B ? m_btnGasoline : key == Qt::Key_L ? m_btnLpg : key == Qt::Key_A ? m_btnAuto : nullptr;
    if (!button || !button->isEnabled() || isTextField(QApplication::focusWidget())) return false;
    if (button == m_btnGasoline) onBtnGasoline();
    else if (button == m_btnLpg) onBtnLpg();
    else onBtnAuto();
    return true;
}

QString correctionRangeText() {
    return QStringLiteral("  (dozwolone wartości: od %1 do %2 ms, np. %3)")
        .arg(QString::asprintf("%.3f", CORRECTION_MIN_MS), QString::asprintf("%.3f", CORRECTION_MAX_MS),
             QString::asprintf("%.3f", CORRECTION_EXAMPLE_MS));
}

void CDevicePanel::switchMode(bool (CLPGDevice::*op)(), const QString& text, uint32_t colour, bool keepColour,
                              const QString& failure, const char* where) {
    try {
        CWaitCursor wait;
        const bool ok = (m_doc.*op)();
        wait.end();
        if (ok) {
            setWorkState(text, colour, keepColour);
            m_switchedAt = m_doc.diagData().count();
        } else {
            zefMessageBox(this, failure, QStringLiteral("Zefirel"), EMsgStyle::Error);
        }
    } catch (IError* e) {
        showCaughtError(this, QString(), where, e);
    } catch (...) {
        showCatchAll(this, where);
    }
    showWorkMode();
}

void CDevicePanel::showWorkMode() {
    // AUTO, whoever set it (this panel, the wizard), holds until another mode is
    // set: in it the controller picks the fuel itself. Otherwise the newest
    // sample says which fuel the controller works on, before any click and after
    // the setup procedure's switching; without one, the mode set last counts.
    const EWorkCommand set = m_doc.lastWorkCommand();
    bool petrol = set == EWorkCommand::Petrol;
    bool lpg = set == EWorkCommand::Lpg;
    // A poll under way at the click may still answer with the fuel before it (a
    // store begun anew since holds only later samples).
    const int count = m_doc.diagData().count();
    const bool sampleAfterSwitch = count > m_switchedAt + 1 || count < m_switchedAt;
    CDiag d;
    if (set != EWorkCommand::Auto && sampleAfterSwitch && !readoutsStale() && m_doc.diagData().getLast(d)) {
        petrol = d.workState() == WORK_STATE_PETROL;
        lpg = !petrol;
    }
    m_btnGasoline->setChecked(petrol);
    m_btnLpg->setChecked(lpg);
    m_btnAuto->setChecked(set == EWorkCommand::Auto);
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
                                         QString::fromUtf8(MSG_WRITE_NO_CAR_DATA)});
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
        // The field gets the last good value back, and the message says what it takes.
        showCorrection();
        zefMessageBox(this, QStringLiteral("Nieprawidłowe wartości.\n") + correctionRangeText(), QStringLiteral("Zefirel"),
                      EMsgStyle::Error);
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
