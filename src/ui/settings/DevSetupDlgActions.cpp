// CDevSetupDlg: the actions — read from and write to the controller (with the
// reset around a sequence change and the list of changes before writing), a car
// settings file, the factory record, a snapshot of the settings list, the
// sequence description and closing.
#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>

#include "diag/DeviceDoc.h"
#include "settings/SettingsCopy.h"
#include "settings/SettingsDiff.h"
#include "ui/map/InjSeqTypeDlg.h"
#include "ui/settings/CarSettingsDlg.h"
#include "ui/settings/ChangeLabels.h"
#include "ui/settings/DevSetupDlg.h"
#include "ui/support/DialogKit.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/WriteResultBox.h"

namespace zefirel {

namespace {
constexpr const char* MSG_READ_FAILED = "Nie powiodło się odczytanie ustawień urządzenia!";
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
    // The controller's record replaces the dialog's copy; the PC-side parts
    // (remarks, car data) are the document's.
    m_record = m_doc.settings();
    m_source = EWriteSource::Dialog;
    m_scope = EWriteScope::Values;
    showRecord();
    showNote(m_note, QString());
    return true;
}

bool CDevSetupDlg::onWrite() {
    m_lastWriteReset = false;
    if (!readFields())
        return false;
    packBytes(m_record);
    // The one write path checks the record, asks for the car data, lists the
    // changes against the controller's last record (the question below), resets
    // around a change of the sequence type and clears the errors after it.
    SettingsWriteRequest request;
    request.wanted = m_record;
    request.source = m_source;
    request.scope = m_scope;
    request.confirm = [this](const std::vector<SettingChange>& changes) {
        const CCursorLift lift;
        return confirmSettingChanges(this, changes);
    };
    SettingsWriteResult result;
    underWaitCursor([&] {
        result = m_doc.commitSettings(request);
        return true;
    });
    m_lastWriteReset = result.resetBefore && result.ok();
    if (result.outcome == EWriteOutcome::Refused) {
        zefMessageBox(this, qstr(result.message), QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    }
    if (!showWriteResult(this, result, {QString::fromUtf8(MSG_WRITE_FAILED), QString::fromUtf8(MSG_CAR_DATA)}))
        return false;
    // The record as the controller now holds it (wire values, time stamp).
    m_record = m_doc.settings();
    m_source = EWriteSource::Dialog;
    m_scope = EWriteScope::Values;
    showRecord();
    fillSnapshots();
    showNote(m_note, QStringLiteral("Ustawienia wpisano do sterownika."));
    return result.outcome == EWriteOutcome::Written;
}

void CDevSetupDlg::onFile() {
    CCarSettingsDlg list(m_doc.settingsFolder(), m_doc.settings().identity(), this);
    if (list.exec() != QDialog::Accepted || list.chosenPath().empty())
        return;
    if (loadFile(qstr(list.chosenPath())) && list.writeRequested())
        onWrite();
}

bool CDevSetupDlg::loadFile(const QString& path) {
    const ESettingsFileResult r = applyCarSettingsFile(path.toStdString(), m_record, m_doc.carDataKnown());
    if (r != ESettingsFileResult::Ok) {
        zefMessageBox(this, qstr(settingsFileMessage(r)), QString(APP_CAPTION), EMsgStyle::Error);
        return false;
    }
    m_source = EWriteSource::FileRestore;
    m_scope = EWriteScope::Record; // the file's curve is restored with it
    showRecord();
    return true;
}

void CDevSetupDlg::onFactory() {
    if (!ask(this, QString::fromUtf8(MSG_FACTORY_QUESTION)))
        return;
    // The record keeps its identity, car data and feature record.
    applyStoredRecord(factorySettings(), m_record, true);
    m_source = EWriteSource::Factory;
    m_scope = EWriteScope::Record;
    showRecord();
    showNote(m_note, QStringLiteral("Wstawiono ustawienia fabryczne. Nie zostały jeszcze wpisane do sterownika — "
                                    "naciśnij „Wpisz do urządzenia”."));
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
    copySettingsExceptMap(snapshot, m_record);
    m_source = EWriteSource::Dialog;
    m_scope = EWriteScope::Record;
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
    // The question comes only when the dialog's record differs from what the
    // controller holds (a field that is no number counts as a difference: "Tak"
    // then names it); Cancel and "Nie" leave the document and the controller as
    // they were.
    if ((m_doc.diagnosticsOn() || !m_doc.recordingPath().empty()) && differsFromController()) {
        if (ask(this, QString::fromUtf8(MSG_WRITE_QUESTION)))
            guarded(this, "CDevSetupDlg::OnOK()", [this] { onWrite(); });
    }
    QDialog::done(result);
    m_closing = false;
}

bool CDevSetupDlg::differsFromController() const {
    CSettingsBlock edited;
    if (!editedRecord(edited))
        return true;
    if (!m_doc.controllerSettingsKnown())
        return true;
    return !settingsChanges(m_doc.lastControllerSettings(), wireValues(edited)).empty();
}

} // namespace zefirel
