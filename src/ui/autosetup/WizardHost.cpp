#include "ui/autosetup/WizardHost.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <utility>

#include "diag/DeviceDoc.h"
#include "ui/app/DeviceFrm.h"
#include "ui/app/MainFrm.h"
#include "ui/autosetup/AutoSetupView.h"
#include "ui/autosetup/StepDlgs.h"
#include "ui/diag/DeviceDocUi.h"
#include "ui/support/ErrCodesDlg.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {
/// How often the wait of the running procedure looks whether it has ended.
constexpr int WAIT_LOOK_MS = 20;
} // namespace

CQtWizardHost::CQtWizardHost(CDeviceDocUi& ui) : m_ui(&ui) {}

CQtWizardHost::~CQtWizardHost() {
    while (m_busy > 0) setBusy(false);
}

QWidget* CQtWizardHost::parent() const {
    return m_ui && m_ui->frame() ? m_ui->frame()->window() : nullptr;
}

void CQtWizardHost::message(const std::string& text, bool errorIcon) {
    zefMessageBox(parent(), qstr(text), QString(APP_CAPTION), errorIcon ? EMsgStyle::Error : EMsgStyle::Plain);
}

bool CQtWizardHost::ask(const std::string& text) {
    return zefMessageBox(parent(), qstr(text), QString(APP_CAPTION), EMsgStyle::Question) == EMsgResult::Yes;
}

void CQtWizardHost::note(const std::string& line) { m_notes << qstr(line); }

bool CQtWizardHost::exec(CStepDlg& dlg) {
    for (const QString& line : std::as_const(m_notes)) dlg.addNote(line);
    m_notes.clear();
    return dlg.exec() == QDialog::Accepted;
}

void CQtWizardHost::showErrorCodes(const std::string& text) {
    // The dialog restores the normal refresh when it shows.
    m_ui->doc().slowRefresh();
    CErrCodesDlg dlg(qstr(text), parent());
    dlg.exec();
}

bool CQtWizardHost::askCylinders(std::string& cylinders) {
    CStepStartDlg dlg(parent());
    if (!exec(dlg)) return false;
    cylinders = dlg.cylinders().toStdString();
    return true;
}

bool CQtWizardHost::askBasicSettings(CSettingsBlock& block) {
    CStep1Dlg dlg(block, parent());
    return exec(dlg);
}

bool CQtWizardHost::confirm(EWizardDialog dialog) {
    std::unique_ptr<CStepDlg> dlg;
    switch (dialog) {
    case EWizardDialog::Step2: dlg = std::make_unique<CStep2Dlg>(parent()); break;
    case EWizardDialog::Step3: dlg = std::make_unique<CStep3Dlg>(parent()); break;
    case EWizardDialog::Step4: dlg = std::make_unique<CStep4Dlg>(parent()); break;
    case EWizardDialog::End: dlg = std::make_unique<CStepEndDlg>(parent()); break;
    }
    return dlg && exec(*dlg);
}

void CQtWizardHost::setBusy(bool on) {
    // The arrow with the hourglass: the window still takes clicks ("Zatrzymaj").
    if (on) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        ++m_busy;
    } else if (m_busy > 0) {
        QApplication::restoreOverrideCursor();
        --m_busy;
    }
}

void CQtWizardHost::showAutoSetupPane(bool show) {
    if (m_ui) m_ui->setAutoSetupPane(show);
}

CAutoSetup& CQtWizardHost::startProcedure() {
    CAutoSetupView* view = m_ui->frame()->autoSetupView();
    view->startProcedure();
    return view->procedure();
}

bool CQtWizardHost::waitUntil(const std::function<bool()>& done) {
    // A local event loop: log rows, repaints, the procedure's questions and
    // "Zatrzymaj" are all handled while the wizard waits here.
    QEventLoop loop;
    QTimer look;
    look.setInterval(WAIT_LOOK_MS);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (!m_ui || m_ui->closed() || done()) loop.quit();
    });
    look.start();
    if (!done()) loop.exec();
    return m_ui && !m_ui->closed();
}

void runAutoSetWizard(CDeviceDocUi& ui) {
    CAutoDisableMenu menuGuard(qobject_cast<CMainFrame*>(ui.frame() ? ui.frame()->window() : nullptr));
    CQtWizardHost host(ui);
    CAutoSetWizard(ui.doc(), host).run();
}

} // namespace zefirel
