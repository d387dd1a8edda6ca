#include "ui/history/HistoryCommand.h"

#include "diag/DeviceDoc.h"
#include "ui/app/Commands.h"
#include "ui/diag/DeviceDocUi.h"
#include "ui/history/CarHistoryDlg.h"

namespace zefirel {

bool onHistoryCommand(int id, CDeviceDocUi* doc, QWidget* parent) {
    if (id != ID_CAR_HISTORY) return false;
    if (!doc) return true;
    CDeviceDoc& d = doc->doc();
    d.slowRefresh();
    {
        CCarHistoryDlg dlg(doc->history(), &d, parent);
        // The window opens at the car of the controller in the car, when the history knows it.
        dlg.chooseIdentity(d.settings().identity());
        dlg.exec();
    }
    d.normalRefresh();
    return true;
}

} // namespace zefirel
