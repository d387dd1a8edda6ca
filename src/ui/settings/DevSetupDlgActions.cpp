// CDevSetupDlg: the actions — read from and write to the controller (with the
// reset around a sequence change and the list of changes before writing), a car
// settings file, the factory record, a snapshot of the settings list, the
// sequence description and closing.
#include <QTableWidget>

#include "diag/DeviceDoc.h"
#include "settings/SettingsCopy.h"
#include "settings/SettingsDiff.h"
#include "ui/map/InjSeqTypeDlg.h"
#include "ui/settings/CarSettingsDlg.h"
#include "ui/settings/DevSetupDlg.h"
#include "ui/settings/MsgHelper.h"

namespace zefirel {

namespace {
constexpr const char* MSG_READ_FAILED = "Nie powiodło się odczytanie ustawień urządzenia!";
constexpr const char* MSG_WRITE_FAILED = "Nie powiodło się ustawienie urządzenia!";
constexpr const char* MSG_RESET_FAILED = "Nie powiodło się zresetowanie urządzenia!";
constexpr const char* MSG_CAR_DATA =
    "Aby wpisać ustawienia musisz podać dane dotyczące samochodu i zamontowanej instalacji";
constexpr const char* MSG_FACTORY_QUESTION = "Czy chcesz przywrócić ustawienia fabryczne?";
constexpr const char* MSG_WRITE_QUESTION = "Czy chcesz wpisać ustawienia do urządzenia?";


void error(QWidget* parent, const char* text) {
    zefMessageBox(parent, QString::fromUtf8(text), QString(APP_CAPTION), EMsgStyle::Error);
}
bool ask(QWidget* parent, const QString& text) {
    return zefMessageBox(parent, text, QString(APP_CAPTION), EMsgStyle::Question) == EMsgResult::Yes;
}
} // namespace


bool CDevSetupDlg::onRead() {
    if (!underWaitCursor([this] { return m_doc.readSettings(); })) {
        error(this, MSG_READ_FAILED);
        return false;
    }
    showRecord();
    return true;
}

bool CDevSetupDlg::confirmChanges() {
    const CSettingsBlock& now = m_doc.settings();
    QString text;
    if (!m_doc.controllerSettingsKnown()) {
        text = QStringLiteral("Ustawienia sterownika nie zostały jeszcze wczytane, więc nie można pokazać zmian.");
    } else {
        const auto changes = settingsChanges(m_doc.lastControllerSettings(), now);
        if (changes.empty())
            return true; // nothing changes: nothing to confirm
        text = QStringLiteral("Zmiany względem ustawień sterownika:\n") + qstr(formatChanges(changes));
    }
    return ask(this, text + QStringLiteral("\nCzy chcesz wpisać ustawienia do urządzenia?"));
}

bool CDevSetupDlg::onWrite() {
    m_lastWriteReset = false;
    if (!readFields())
        return false;
    CSettingsBlock& blk = m_doc.settings();
    const std::string problems = checkSettingsWithRanges(blk);
    if (!problems.empty()) {
        zefMessageBox(this, qstr(problems), QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    }
    if (!m_doc.ensureCarData()) {
        zefMessageBox(this, QString::fromUtf8(MSG_CAR_DATA));
        return false;
    }
    const double previousPetrol = blk.value(ESetting::petrolInjectionType);
    packBytes(blk);
    // A new petrol injection type takes effect only after a restart of the controller.
    const bool reset = blk.value(ESetting::petrolInjectionType) != previousPetrol;
    if (!confirmChanges())
        return false;
    if (reset && !underWaitCursor([this] { return m_doc.resetController(); })) {
        error(this, MSG_RESET_FAILED);
        return false;
    }
    if (!underWaitCursor([this] { return m_doc.writeSettings(); })) {
        error(this, MSG_WRITE_FAILED);
        return false;
    }
    showRecord();
    if (reset) {
        m_lastWriteReset = true;
        if (!underWaitCursor([this] { return m_doc.clearErrors(); })) {
            error(this, MSG_RESET_FAILED);
            return false;
        }
    }
    fillSnapshots();
    return true;
}

void CDevSetupDlg::onFile() {
    CCarSettingsDlg list(m_doc.settingsFolder(), m_doc.settings().identity(), this);
    if (list.exec() != QDialog::Accepted || list.chosenPath().empty())
        return;
    if (loadFile(qstr(list.chosenPath())) && list.writeRequested())
        onWrite();
}

bool CDevSetupDlg::loadFile(const QString& path) {
    const ESettingsFileResult r = applyCarSettingsFile(path.toStdString(), m_doc.settings(), m_doc.carDataKnown());
    if (r != ESettingsFileResult::Ok) {
        zefMessageBox(this, qstr(settingsFileMessage(r)), QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    }
    showRecord();
    return true;
}

void CDevSetupDlg::onFactory() {
    if (!ask(this, QString::fromUtf8(MSG_FACTORY_QUESTION)))
        return;
    // The document keeps its identity, car data and feature record.
    applyStoredRecord(factorySettings(), m_doc.settings(), true);
    showRecord();
}

void CDevSetupDlg::onDescription() {
    modalRefresh(true);
    CInjSeqTypeDlg dlg(this);
    dlg.exec();
    modalRefresh(false);
}

void CDevSetupDlg::applySnapshot(int row) {
    if (row < 0 || row >= static_cast<int>(m_snapshots.size()))
        return;
    const CSettingsBlock& snapshot = m_snapshots[static_cast<size_t>(row)];
    copySettingsExceptMap(snapshot, m_doc.settings());
    showRecord();
    // The snapshot's sample number is kept in the recording-context word.
    const auto sampleNo = static_cast<uint32_t>(snapshot.recordingContext());
    if (m_snapshotHook)
        m_snapshotHook(sampleNo, !m_doc.diagnosticsOn());
}

void CDevSetupDlg::closeAsking(int result) {
    if (m_closing)
        return;
    m_closing = true;
    if (m_doc.diagnosticsOn() || !m_doc.recordingPath().empty()) {
        if (ask(this, QString::fromUtf8(MSG_WRITE_QUESTION)))
            guarded(this, "CDevSetupDlg::OnOK()", [this] { onWrite(); });
    }
    QDialog::done(result);
    m_closing = false;
}

} // namespace zefirel
