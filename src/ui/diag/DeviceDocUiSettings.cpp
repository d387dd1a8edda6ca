// The document's commands that open the settings and service dialogs of the
// controller: each runs its dialog modally between the slow and the normal refresh.
#include "ui/diag/DeviceDocUi.h"

#include "diag/DeviceDoc.h"
#include "ui/app/MainFrm.h"
#include "ui/settings/FuelSensorDlg.h"
#include "ui/settings/LPGDevVersionDlg.h"
#include "ui/settings/MsgHelper.h"

namespace zefirel {

namespace {
/// Runs a dialog built on the document modally, showing anything it throws.
template <class Dlg>
void runModal(CDeviceDoc& doc, QWidget* parent, const char* where) {
    doc.slowRefresh();
    guarded(parent, where, [&] {
        Dlg dlg(doc, parent);
        dlg.exec();
    });
    doc.normalRefresh();
}
} // namespace

void CDeviceDocUi::onLevelSensor() { runModal<CFuelSensorDlg>(*m_doc, m_main, "CDeviceDoc::onLevelSensor()"); }

void CDeviceDocUi::onDeviceVersion() {
    runModal<CLPGDevVersionDlg>(*m_doc, m_main, "CDeviceDoc::onDeviceVersion()");
}

} // namespace zefirel
