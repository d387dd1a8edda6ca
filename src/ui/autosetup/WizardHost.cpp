#include "ui/autosetup/WizardHost.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

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

void CQtWizardHost::showErrorCodes(const std::string& text) {
    // The dialog restores the normal refresh when it shows.
    m_ui->doc().slowRefresh();
    CErrCodesDlg dlg(qstr(text), parent());
    dlg.exec();
}

bool CQtWizardHost::askCylinders(std::string& cylinders) {
    CStepStartDlg dlg(parent());
    if (dlg.exec() != QDialog::Accepted) return false;
    cylinders = dlg.cylinders().toStdString();
    return true;
}

bool CQtWizardHost::askBasicSettings(CSettingsBlock& block) {
    CStep1Dlg dlg(block, parent());
    return dlg.exec() == QDialog::Accepted;
}

bool CQtWizardHost::confirm(EWizardDialog dialog) {
    switch (dialog) {
    case EWizardDialog::Step2: return CStep2Dlg(parent()).exec() == QDialog::Accepted;
    case EWizardDialog::Step3: return CStep3Dlg(parent()).exec() == QDialog::Accepted;
    case EWizardDialog::Step4: return CStep4Dlg(parent()).exec() == QDialog::Accepted;
    case EWizardDialog::End: return CStepEndDlg(parent()).exec() == QDialog::Accepted;
    }
    return false;
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
