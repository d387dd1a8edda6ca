#include "ui/history/HistoryNotes.h"

#include "diag/DeviceDoc.h"

namespace zefirel {

void noteReport(CDeviceDoc& doc, const std::string& path) {
    if (IWriteJournal* history = doc.writeJournal()) history->recordReport(doc.settings(), path);
}

} // namespace zefirel
