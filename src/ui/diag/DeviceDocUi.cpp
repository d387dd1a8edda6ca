#include "ui/diag/DeviceDocUi.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "autosetup/AutoSetup.h"
#include "diag/DeviceDoc.h"
#include "history/HistoryJournal.h"
#include "support/FileUtil.h"
#include "ui/app/Commands.h"
#include "ui/app/DeviceFrm.h"
#include "ui/app/LPGBar.h"
#include "ui/app/MainFrm.h"
#include "ui/app/QtHost.h"
#include "ui/autosetup/AutoSetupView.h"
#include "ui/autosetup/WizardHost.h"
#include "ui/diag/DevicePanel.h"
#include "ui/diag/DisplayView.h"
#include "ui/events/EventsTracker.h"
#include "ui/map/TimeCorrView.h"
#include "ui/map/MapLearnWindow.h"
#include "ui/map/MapView.h"
#include "ui/support/BackgroundWork.h"
#include "ui/settings/CarInfoDlg.h"
#include "ui/support/ErrCodesDlg.h"
#include "ui/support/MsgHelper.h"
#include "ui/support/PasswdDlg.h"

namespace zefirel {

namespace {
const QString FILTER_DIAG = QStringLiteral("Pliki diagnostyczne(*.lpgd)");
const QString FILTER_EEPROM = QStringLiteral("Pliki eeprom(*.eeprom)");
// Dialog titles that say what the chosen file is for.
const QString TITLE_RECORD =
    QStringLiteral("Zapisz nagranie diagnostyki jako... (Anuluj: nagrywanie do pliku Diagnostyka.lpgd)");
const QString TITLE_REPLAY = QStringLiteral("Wczytaj nagranie diagnostyki do odtworzenia");
const QString TITLE_EEPROM_READ = QStringLiteral("Zapisz kopię pamięci EEPROM sterownika jako...");
const QString MSG_EEPROM_WRITE_CONFIRM =
    QStringLiteral("Wpisanie pliku %1 zastąpi wszystkie ustawienia sterownika.\nCzy wpisać go do sterownika?");
const QString TITLE_EEPROM_WRITE = QStringLiteral("Wybierz kopię pamięci EEPROM do wpisania do sterownika");

/// Why an image file cannot be written to the controller (the messages the write
/// itself would give), or nothing when its first 512 bytes can be read.
QString eepromImageProblem(const QString& path) {
    std::vector<uint8_t> image;
    if (!readFile(path.toStdString(), image, EEPROM_SIZE)) return QString::fromUtf8(MSG_EEPROM_FILE_OPEN);
    if (image.size() < EEPROM_SIZE) return QString::fromUtf8(MSG_EEPROM_FILE_FORMAT);
    return QString();
}

FileChooser& fileChooser() {
    static FileChooser f;
    return f;
}
} // namespace

void CDeviceDocUi::setFileChooser(FileChooser chooser) { fileChooser() = std::move(chooser); }

// Every command's window is built; the hook stays for entries whose window comes later.
bool CDeviceDocUi::windowAvailable(int) { return true; }

CDeviceDocUi::CDeviceDocUi(CMainFrame* main, IPreferences* prefs) : m_main(main) {
    setObjectName(QStringLiteral("deviceDocUi"));
    m_host = std::make_unique<CQtHost>();
    m_doc = std::make_unique<CDeviceDoc>(m_host.get(), prefs);
    m_history = std::make_unique<CHistoryJournal>(EWriteSource::Dialog);
    m_doc->setWriteJournal(m_history.get());
    // A history that cannot be kept is said once; the writes go on without it.
    // The note may come from a worker thread (an automatic setup's end).
    m_history->setNoticeHandler([this](const std::string& note) {
        QMetaObject::invokeMethod(this, [this, text = qstr(note)] {
            zefMessageBox(m_main, text, QString(APP_CAPTION), EMsgStyle::Info);
        }, Qt::QueuedConnection);
    });
    m_frame = new CDeviceFrame(*m_doc);
    // No title of its own: a maximised child would add "[title]" to the main window's.
    if (m_main) {
        m_frame->addTo(m_main->mdiArea());
        m_main->installDeviceMenus();
    }
    m_host->setBar(m_frame->bar());
    m_host->setMainFrame(m_main);
    QPointer<CDevicePanel> panel = m_frame->panel();
    m_host->setTimerStarter([panel](int id, int ms) {
        if (panel) panel->startPanelTimer(id, ms);
    });
    // The polling thread's calls arrive queued; by then another run may have begun,
    // and what belonged to the old one must not touch the new one.
    m_host->setDiagnosticsEndedHandler([this](uint64_t run) {
        if (m_doc->isCurrentRun(run)) updateCommands();
    });
    m_host->setSettingsWrittenHandler([this, panel] {
        // Every view that shows the controller's record follows a write.
        if (panel) panel->showCorrection();
        if (m_frame) m_frame->timeCorrView()->onSettingsWritten();
        notify(QStringLiteral("Zapisano ustawienia w sterowniku"));
    });
    // The ensure-car-data step asks with the car information dialog (the host runs
    // it on the GUI thread), with the displays slowed while it is open.
    m_host->setCarDataAsker([this, prefs](CSettingsBlock& record) {
        const CCursorLift lift; // the write that asks shows the wait cursor
        m_doc->slowRefresh();
        const bool ok = askCarDataWithDialog(m_doc->settingsFolder(), prefs, record, m_main);
        m_doc->normalRefresh();
        return ok;
    });
    m_host->setReconnectEndedHandler([this, panel](bool connected) {
        if (!m_closed && panel) panel->onReconnectEnded(connected);
    });
    QPointer<CMainFrame> mainPtr = m_main;
    CQtHost* host = m_host.get();
    CDeviceDoc* doc = m_doc.get();
    m_doc->setTitleListener([host, mainPtr, doc](const std::string& title, RunId run) {
        const QString t = qstr(title);
        runOnGuiThread(host, [mainPtr, doc, t, run] {
            if (mainPtr && doc->isCurrentRun(run)) mainPtr->setWindowTitle(t);
        });
    });
    setModalRefreshHook([doc](bool slow) {
        if (slow) doc->slowRefresh();
        else doc->normalRefresh();
    });
    connect(panel.data(), &CDevicePanel::connectionChanged, this, [this] { updateCommands(); });
    connect(m_frame->mapView(), &CMapView::notice, this, &CDeviceDocUi::notify);
    if (m_main) connect(m_main, &CMainFrame::updateCommands, this, &CDeviceDocUi::updateCommands);
    updateCommands();
}

CDeviceDocUi::~CDeviceDocUi() {
    close();
    if (m_frame) {
        if (QWidget* sub = m_frame->parentWidget()) delete sub;
        else delete m_frame.data();
    }
}

CDeviceFrame* CDeviceDocUi::frame() const { return m_frame.data(); }

bool CDeviceDocUi::open() {
    guarded(m_main, "CDeviceDoc::OnNewDocument()", [&] { m_doc->openConnection(); });
    m_frame->panel()->initialUpdate();
    m_frame->autoSetupView()->initialUpdate();
    m_frame->timeCorrView()->initialUpdate();
    m_frame->mapView()->initialUpdate();
    updateCommands();
    return true;
}

void CDeviceDocUi::close() {
    if (m_closed) return;
    m_closed = true;
    delete m_learnWindow.data(); // it reads the document's store
    // A running automatic setup stops at its next wait; it uses the document, so
    // it is given the document's closing time to end first.
    if (m_frame) m_frame->autoSetupView()->stopAndWait(CLOSE_WAIT_MS);
    m_doc->closeDocument();
    setModalRefreshHook({});
}

// --- enabling --------------------------------------------------------------------

bool CDeviceDocUi::writesToController(int id) {
    switch (id) {
    case ID_MANUAL_SETTINGS:
    case ID_EEPROM_WRITE:
    case ID_ERRORS_CLEAR:
    case ID_LEVEL_SENSOR:
    case ID_DEVICE_VERSION:
    case ID_WIZARD:
    case ID_DIAGNOSTIC:
    case ID_REPLAY: return true;
    default: return false;
    }
}

bool CDeviceDocUi::ruleEnabled(int id) const {
    const bool connected = m_doc->isVersionOk();
    const bool diagOn = m_doc->diagnosticsOn();
    const bool admin = m_doc->administratorLevel();
    // While a setup procedure measures, no other command may write or reset.
    if (m_doc->procedureRunning() && writesToController(id)) return false;
    switch (id) {
    case ID_DIAGNOSTIC: return connected;
    case ID_REPLAY: return !diagOn;
    case ID_MANUAL_SETTINGS:
        return (connected || !m_doc->recordingPath().empty()) && !m_doc->isConnectionLost();
    case ID_AUTO_SETTINGS: return connected && diagOn;
    case ID_INJ_SEQUENCE: return connected;
    case ID_EEPROM_READ:
    case ID_EEPROM_WRITE: return connected && admin;
    case ID_ERRORS_READ:
    case ID_ERRORS_CLEAR: return connected;
    case ID_MAP: return true;
    case ID_DEVICE_VERSION: return connected && admin;
    case ID_LEVEL_SENSOR: return connected;
    // The wizard runs the automatic setup itself: not beside a run the pane started.
    case ID_WIZARD: return connected && diagOn && !autoSetupRunning();
    case ID_UNLOCK: return true;
    // A marker needs a recording: the one being made or the one replayed.
    case ID_MARKER: return !m_doc->recordingPath().empty();
    default: return true;
    }
}

bool CDeviceDocUi::autoSetupRunning() const {
    if (!m_frame) return false;
    const CAutoSetup& run = m_frame->autoSetupView()->procedure();
    return run.running() || run.threadActive();
}

void CDeviceDocUi::setAction(int id, bool enabled, bool checked) {
    if (!m_main) return;
    if (QAction* a = m_main->action(id)) {
        a->setEnabled(enabled);
        if (a->isCheckable()) a->setChecked(checked);
    }
}

void CDeviceDocUi::updateCommands() {
    if (!m_main) return;
    for (int id : {ID_DIAGNOSTIC, ID_REPLAY, ID_MANUAL_SETTINGS, ID_AUTO_SETTINGS, ID_INJ_SEQUENCE, ID_EEPROM_READ,
                   ID_EEPROM_WRITE, ID_ERRORS_READ, ID_ERRORS_CLEAR, ID_MAP, ID_DEVICE_VERSION, ID_LEVEL_SENSOR,
                   ID_WIZARD, ID_UNLOCK, ID_MARKER}) {
        const bool checked = id == ID_AUTO_SETTINGS ? m_autoSetupShown : id == ID_MAP ? m_mapShown : false;
        setAction(id, ruleEnabled(id) && windowAvailable(id), checked);
    }
    if (QAction* a = m_main->action(ID_DIAGNOSTIC))
        a->setText(m_doc->diagnosticsOn() ? QStringLiteral("Wyłącz tryb diagnostyczny")
                                          : QStringLiteral("Włącz tryb diagnostyczny"));
}

// --- commands --------------------------------------------------------------------

bool CDeviceDocUi::onCommand(int id) {
    // Like a menu's enabling, an accelerator does nothing for a disabled command;
    // nor does one while the wizard has the menus grayed.
    if (m_wizardRunning || !(ruleEnabled(id) && windowAvailable(id))) return true;
    switch (id) {
    case ID_DIAGNOSTIC: onDiagnostic(); break;
    case ID_REPLAY: onReplay(); break;
    case ID_EEPROM_READ: onEepromRead(); break;
    case ID_EEPROM_WRITE: onEepromWrite(); break;
    case ID_ERRORS_READ: onErrorsRead(); break;
    case ID_ERRORS_CLEAR: onErrorsClear(); break;
    case ID_UNLOCK: onUnlock(); break;
    case ID_AUTO_SETTINGS: onAutoSettingsPane(); break;
    case ID_MAP: onMapPane(); break;
    case ID_MAP_LEARN: onMapLearn(); break;
    case ID_LEVEL_SENSOR: onLevelSensor(); break;
    case ID_DEVICE_VERSION: onDeviceVersion(); break;
    case ID_INJ_SEQUENCE: onInjSequence(); break;
    case ID_MANUAL_SETTINGS: onManualSettings(); break;
    case ID_WIZARD: onAutoSet(); break;
    case ID_MARKER: m_frame->eventsTracker()->addMarkerWithDialog(m_main); break;
    case ID_PRINT: m_frame->displayView()->printWithDialog(); break;
    case ID_PRINT_PREVIEW: m_frame->displayView()->printPreview(); break;
    default: return false;
    }
    updateCommands();
    return true;
}

QString CDeviceDocUi::chooseFile(bool save, const QString& title, const QString& filter, const QString& defaultSuffix) {
    m_doc->resetDataFolder();
    return askFile(m_main, save, qstr(m_doc->dataFolder()), filter, defaultSuffix, title);
}

QString CDeviceDocUi::askFile(QWidget* parent, bool save, const QString& folder, const QString& filter,
                              const QString& defaultSuffix, const QString& title) {
    if (fileChooser()) return fileChooser()(save, folder, filter, defaultSuffix);
    QFileDialog dlg(parent, title, folder, filter);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setDefaultSuffix(defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
    return dlg.selectedFiles().constFirst();
}

QString CDeviceDocUi::askFile(QWidget* parent, bool save, const QString& folder, const QString& filter,
                              const QString& defaultSuffix, const QString& title, const QString& optionText,
                              bool& option) {
    if (fileChooser()) return fileChooser()(save, folder, filter, defaultSuffix);
    QFileDialog dlg(parent, title, folder, filter);
    // Qt's own dialog, so that the checkbox can join its layout.
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setDefaultSuffix(defaultSuffix);
    auto* box = new QCheckBox(optionText, &dlg);
    box->setObjectName(QStringLiteral("fileOption"));
    box->setChecked(option);
    if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout()))
        grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    else if (dlg.layout())
        dlg.layout()->addWidget(box);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
    option = box->isChecked();
    return dlg.selectedFiles().constFirst();
}

void CDeviceDocUi::onDiagnostic() {
    guarded(m_main, "CDeviceDoc::onDiagnostic()", [&] {
        if (m_doc->diagnosticsOn()) {
            m_doc->diagnosticsOnFlag().store(0);
            m_doc->stopDiagnostics();
            return;
        }
        // A cancelled dialog still starts diagnostics, into the default recording.
        // The displays' reset puts the sample window back to its initial range.
        const QString path = chooseFile(true, TITLE_RECORD, FILTER_DIAG, QStringLiteral("lpgd"));
        m_doc->startDiagnostics(path.toStdString());
    });
}

void CDeviceDocUi::onReplay() {
    const QString path = chooseFile(false, TITLE_REPLAY, FILTER_DIAG, QStringLiteral("txt"));
    if (path.isEmpty()) return;
    const std::string file = path.toStdString();
    // An error object escaping here would end the program: show it like the others.
    guarded(m_main, "CDeviceDoc::onReplay()", [&] {
        // The replay thread drops the flag at the end of the file (or when it cannot
        // read it, or when "Anuluj" is pressed); the window stays alive meanwhile.
        // The chart takes the samples as they come, so little is left for the end.
        CDisplayView* view = m_frame->displayView();
        view->followStore(true);
        const std::unique_ptr<CDisplayView, void (*)(CDisplayView*)> stopFollowing(
            view, [](CDisplayView* v) { v->followStore(false); });
        m_doc->replayFile(file);
        {
            CWaitCursor cursor;
            m_frame->displayView()->redrawFromStore();
        }
        const RecordingReadStats stats = m_doc->lastReplayStats();
        if (m_doc->lastReplayRefused()) {
            zefMessageBox(m_main, qstr(recordingRefusalText(file, stats)), QString(APP_CAPTION), EMsgStyle::Error);
            return;
        }
        notify(qstr(recordingStatsText(stats)));
        showRecordingDamage(m_main, file, stats);
    });
    m_frame->timeCorrView()->onTimeCorrGet(); // the curve that came with the recording
}

void CDeviceDocUi::onEepromRead() {
    const QString path = chooseFile(true, TITLE_EEPROM_READ, FILTER_EEPROM, QStringLiteral("eeprom"));
    if (path.isEmpty()) return;
    m_doc->setDataFolderFromFile(path.toStdString());
    if (runEepromTransfer("CDeviceDoc::onEepromRead()",
                          [this, file = path.toStdString()] { return m_doc->readEepromImage(file); }))
        notify(QStringLiteral("Odczytano EEPROM do pliku %1").arg(path));
}

void CDeviceDocUi::onEepromWrite() {
    const QString path = chooseFile(false, TITLE_EEPROM_WRITE, FILTER_EEPROM, QStringLiteral("eeprom"));
    if (path.isEmpty()) return;
    m_doc->setDataFolderFromFile(path.toStdString());
    // A file that cannot be written is refused before the question, not after it.
    const QString problem = eepromImageProblem(path);
    if (!problem.isEmpty()) {
        zefMessageBox(m_main, problem, QString(APP_CAPTION), EMsgStyle::Error);
        return;
    }
    // The image replaces every setting of the controller: the installer confirms it.
    if (zefMessageBox(m_main, MSG_EEPROM_WRITE_CONFIRM.arg(QFileInfo(path).fileName()), QString(APP_CAPTION),
                      EMsgStyle::Question) != EMsgResult::Yes)
        return;
    if (runEepromTransfer("CDeviceDoc::onEepromWrite()",
                          [this, file = path.toStdString()] { return m_doc->writeEepromImage(file); }))
        notify(QStringLiteral("Wpisano do sterownika EEPROM z pliku %1").arg(path));
}

// The transfer takes seconds (about 9 on a silent line): it runs on a worker while
// the window repaints and the status bar's progress moves. Its message is shown
// here on the GUI thread, after the wait cursor has gone.
bool CDeviceDocUi::runEepromTransfer(const char* where, const std::function<std::string()>& transfer) {
    bool done = false;
    guarded(m_main, where, [&] {
        std::string failure;
        {
            CWaitCursor cursor;
            runInBackground([&] { failure = transfer(); });
        }
        if (!failure.empty()) zefMessageBox(m_main, qstr(failure), QString(APP_CAPTION), EMsgStyle::Error);
        done = failure.empty();
    });
    return done;
}

void CDeviceDocUi::notify(const QString& text) {
    if (m_frame && m_frame->bar()) m_frame->bar()->showNotice(text);
}

void CDeviceDocUi::showErrors(const uint8_t* report11) {
    const std::string text = m_doc->describeReport(report11);
    if (text.empty()) {
        zefMessageBox(m_main, QStringLiteral("Brak błędów."));
        return;
    }
    m_doc->slowRefresh();
    CErrCodesDlg dlg(qstr(text), m_main);
    dlg.exec();
}

void CDeviceDocUi::onErrorsRead() {
    guarded(m_main, "CDeviceDoc::onErrorsRead()", [&] {
        uint8_t report[ERROR_REPORT_SIZE] = {};
        bool ok = false;
        {
            CWaitCursor cursor;
            ok = m_doc->readErrors(report);
        }
        if (!ok) zefMessageBox(m_main, QStringLiteral("Nie można wczytać błędów urządzenia"));
        else showErrors(report);
    });
}

void CDeviceDocUi::onErrorsClear() {
    guarded(m_main, "CDeviceDoc::onErrorsClear()", [&] {
        bool ok = false;
        {
            CWaitCursor cursor;
            ok = m_doc->clearErrors();
        }
        if (!ok) zefMessageBox(m_main, QStringLiteral("Nie można skasować błędów urządzenia"));
        else notify(QStringLiteral("Skasowano błędy — sterownik pracuje na benzynie"));
    });
}

void CDeviceDocUi::onUnlock() {
    m_doc->slowRefresh();
    CPasswdDlg dlg(m_main);
    if (dlg.exec() == QDialog::Accepted) {
        const AccessLevels l = dlg.levels();
        if (l.service) m_doc->setServiceLevel(true);
        if (l.administrator) m_doc->setAdministratorLevel(true);
        const QString level = m_doc->administratorLevel() ? QStringLiteral("administratora") : QStringLiteral("serwisowy");
        notify(QStringLiteral("Odblokowano poziom %1").arg(level));
        if (m_frame && m_frame->bar()) m_frame->bar()->showLevel(QStringLiteral("Poziom: %1").arg(level));
    }
    m_doc->normalRefresh();
}

void CDeviceDocUi::onAutoSettingsPane() { setAutoSetupPane(!m_autoSetupShown); }

bool CDeviceDocUi::mayClose() { return !m_frame || m_frame->autoSetupView()->confirmStop(); }

void CDeviceDocUi::setAutoSetupPane(bool shown) {
    // A run goes on only where the installer sees it: hiding the pane asks first.
    if (!shown && m_autoSetupShown && !m_frame->autoSetupView()->confirmStop()) return;
    m_autoSetupShown = shown;
    if (m_autoSetupShown) m_frame->autoSetupView()->refreshIdle();
    m_frame->showAutoSetupPane(m_autoSetupShown);
    updateCommands();
}

void CDeviceDocUi::onAutoSet() {
    m_wizardRunning = true;
    runAutoSetWizard(*this);
    m_wizardRunning = false;
}

void CDeviceDocUi::onMapPane() {
    if (!m_mapShown && m_autoSetupShown && !m_frame->autoSetupView()->confirmStop()) return;
    m_mapShown = !m_mapShown;
    if (m_mapShown) {
        m_autoSetupShown = false;
        m_frame->mapView()->updateConnection();
    }
    m_frame->showMapPane(m_mapShown);
}

CMapLearnWindow* CDeviceDocUi::mapLearnWindow() const { return m_learnWindow.data(); }

void CDeviceDocUi::onMapLearn() {
    if (!m_learnWindow) {
        m_learnWindow = new CMapLearnWindow(*m_doc, m_main);
        connect(m_learnWindow.data(), &CMapLearnWindow::notice, this, &CDeviceDocUi::notify);
    }
    m_learnWindow->show();
    m_learnWindow->raise();
    m_learnWindow->activateWindow();
}

} // namespace zefirel
