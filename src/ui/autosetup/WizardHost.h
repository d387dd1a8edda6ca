#pragma once
/// The windowed side of the step-by-step setup: the wizard's dialogs, messages,
/// busy cursor, the automatic setup pane and the wait that keeps the window alive
/// while the procedure runs, for the device document's command "Ustawienia krok
/// po kroku...".

#include <QPointer>
#include <QStringList>

#include "autosetup/AutoSetWizard.h"

class QWidget;

namespace zefirel {

class CDeviceDocUi;
class CStepDlg;

class CQtWizardHost : public IAutoSetWizardHost {
public:
    explicit CQtWizardHost(CDeviceDocUi& ui);
    ~CQtWizardHost() override;

    void message(const std::string& text, bool errorIcon) override;
    bool ask(const std::string& text) override;
    void note(const std::string& line) override;
    void showErrorCodes(const std::string& text) override;
    bool askCylinders(std::string& cylinders) override;
    bool askBasicSettings(CSettingsBlock& block) override;
    bool confirm(EWizardDialog dialog) override;
    void setBusy(bool on) override;
    void showAutoSetupPane(bool show) override;
    CAutoSetup& startProcedure() override;
    bool waitUntil(const std::function<bool()>& done) override;

private:
    QWidget* parent() const;
    /// Runs a step dialog with the notes not shown yet above its texts.
    bool exec(CStepDlg& dlg);
    QPointer<CDeviceDocUi> m_ui;
    int m_busy = 0; ///< busy cursors shown and not yet restored
    QStringList m_notes; ///< lines for the next dialog
};

/// Runs the wizard on the document with the main window's menus grayed.
void runAutoSetWizard(CDeviceDocUi& ui);

} // namespace zefirel
