#pragma once
/// What the windows tell the car history besides what the core notes itself (the
/// writes, live recordings when their run ends, automatic setup runs with their
/// log): a service report when its file is chosen. It goes to the history journal
/// hung on the document's device; without one nothing happens.

#include <string>

namespace zefirel {

class CDeviceDoc;

/// A service report is being saved into this file.
void noteReport(CDeviceDoc& doc, const std::string& path);

} // namespace zefirel
