#include "ui/history/HistoryNotes.h"

#include <cmath>

#include "diag/DeviceDoc.h"
#include "diag/DiagSummary.h"

namespace zefirel {

void CRecordingWatch::look(CDeviceDoc& doc) {
    // A replay shows a file but records nothing: only a live run's path counts.
    const std::string now = doc.diagnosticsOn() ? doc.recordingPath() : std::string();
    if (now == m_path) return;
    note(doc);
    m_path = now;
    m_since = std::chrono::steady_clock::now();
}

void CRecordingWatch::end(CDeviceDoc& doc) {
    note(doc);
    m_path.clear();
}

void CRecordingWatch::note(CDeviceDoc& doc) {
    IWriteJournal* history = doc.writeJournal();
    if (m_path.empty() || !history) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_since).count();
    const DiagSummary s = summarise(doc.diagData());
    std::string summary = std::to_string(s.count) + " próbek";
    if (s.count > 0)
        summary += ", obroty " + std::to_string(std::lround(s.rpm.min)) + "–" + std::to_string(std::lround(s.rpm.max)) +
                   " 1/min";
    history->recordRecording(doc.settings(), m_path, std::round(seconds), summary);
}

void noteAutoSetup(CDeviceDoc& doc, bool ok, const std::string& log) {
    if (IWriteJournal* history = doc.writeJournal()) history->recordAutoSetup(doc.settings(), ok, log);
}

void noteReport(CDeviceDoc& doc, const std::string& path) {
    if (IWriteJournal* history = doc.writeJournal()) history->recordReport(doc.settings(), path);
}

} // namespace zefirel
