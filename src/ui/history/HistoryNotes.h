#pragma once
/// What the windows tell the car history besides the writes (which the device
/// reports itself): a live recording when it ends, an automatic setup run with
/// its log, a service report when its file is chosen. Each goes to the history
/// journal hung on the document's device; without one nothing happens.

#include <chrono>
#include <string>

namespace zefirel {

class CDeviceDoc;

/// Follows the document's live recording: looked at now and then (whenever the
/// commands' states are refreshed), it notes a recording in the history once the
/// run that wrote it has ended or moved on to another file.
class CRecordingWatch {
public:
    /// Notes the recording that ended since the last look.
    void look(CDeviceDoc& doc);
    /// The document closes: the running recording ends here.
    void end(CDeviceDoc& doc);

private:
    void note(CDeviceDoc& doc);

    std::string m_path; ///< the live recording seen last (empty: none)
    std::chrono::steady_clock::time_point m_since;
};

/// An automatic setup run ended with this log (its lines, one per line).
void noteAutoSetup(CDeviceDoc& doc, bool ok, const std::string& log);
/// A service report is being saved into this file.
void noteReport(CDeviceDoc& doc, const std::string& path);

} // namespace zefirel
