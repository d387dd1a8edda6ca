// The document's commands that open the settings and service dialogs of the
// controller: each runs its dialog modally between the slow and the normal refresh.
#include "ui/diag/DeviceDocUi.h"

#include <functional>
#include <memory>

#include "diag/DeviceDoc.h"
#include "ui/app/DeviceFrm.h"
#include "ui/chart/Chart.h"
#include "ui/diag/DisplayView.h"
#include "ui/app/MainFrm.h"
#include "ui/map/InjSeqDlg.h"
#include "ui/settings/DevSetupDlg.h"
#include "ui/settings/FuelSensorDlg.h"
#include "ui/settings/LPGDevVersionDlg.h"
#include "ui/support/MsgHelper.h"

namespace zefirel {

namespace {
/// Runs a dialog built on the document modally, showing anything it throws; what
/// it reports of its writes goes to the status bar.
template <class Dlg>
void runModal(CDeviceDoc& doc, QWidget* parent, const char* where,
              const std::function<void(const QString&)>& notify) {
    doc.slowRefresh();
    guarded(parent, where, [&] {
        Dlg dlg(doc, parent);
        QObject::connect(&dlg, &Dlg::notice, &dlg, notify);
        dlg.exec();
    });
    doc.normalRefresh();
}
} // namespace

void CDeviceDocUi::onLevelSensor() {
    runModal<CFuelSensorDlg>(*m_doc, m_main, "CDeviceDoc::onLevelSensor()",
                             [this](const QString& t) { notify(t); });
}

void CDeviceDocUi::onInjSequence() {
    m_doc->slowRefresh();
    guarded(m_main, "CDeviceDoc::onInjSequence()", [&] {
        std::unique_ptr<CInjSeqDlg> dlg;
        {
            CWaitCursor cursor;
            dlg = std::make_unique<CInjSeqDlg>(*m_doc, m_main);
        }
        dlg->exec();
    });
    m_doc->normalRefresh();
}

void CDeviceDocUi::onDeviceVersion() {
    runModal<CLPGDevVersionDlg>(*m_doc, m_main, "CDeviceDoc::onDeviceVersion()",
                                [this](const QString& t) { notify(t); });
}

void CDeviceDocUi::onManualSettings() {
    guarded(m_main, "CDeviceDoc::onManualSettings()", [&] {
        // A controller that reports errors is not set up until they are cleared.
        if (m_doc->isVersionOk()) {
            uint8_t report[ERROR_REPORT_SIZE] = {};
            bool ok = false;
            {
                CWaitCursor cursor;
                ok = m_doc->readErrors(report);
            }
            if (!ok) {
                zefMessageBox(m_main, QStringLiteral("Nie można wczytać błędów urządzenia"));
                return;
            }
            if (!m_doc->describeReport(report).empty()) {
                zefMessageBox(m_main, QStringLiteral("Sterownik LPG sygnalizuje błędy!\nSkasuj błędy i ponownie "
                                                     "wczytaj ustawienia"));
                showErrors(report);
                return;
            }
        }
        m_doc->slowRefresh();
        CDevSetupDlg dlg(*m_doc, m_main);
        dlg.setSnapshotHook([this](uint32_t sampleNo, bool moveWindow) { showSnapshotWindow(sampleNo, moveWindow); });
        dlg.exec();
    });
    m_doc->normalRefresh();
}

void CDeviceDocUi::showSnapshotWindow(uint32_t sampleNo, bool moveWindow) {
    if (moveWindow) {
        CSeriesChart::SetXWindow(sampleNo, static_cast<double>(sampleNo) + SNAPSHOT_WINDOW_SAMPLES);
        CSeriesChart::SetXGridStep(SNAPSHOT_WINDOW_GRID);
    }
    if (m_frame)
        m_frame->displayView()->update();
}

} // namespace zefirel
