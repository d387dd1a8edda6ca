#pragma once
/// Naming of recordings on disk, so that no run ever truncates an earlier one. A
/// recording that a new run would overwrite is first moved aside, together with its
/// "-config" companion, to a name carrying its time stamp in the same folder
/// ("Diagnostyka.lpgd" -> "Diagnostyka-2026-12-08-09-30-12.lpgd" and
/// "Diagnostyka-2026-12-08-09-30-12.lpgd-config"); a counter is added when that name
/// is taken ("...-09-30-12-2.lpgd"). Existing files are never replaced.

#include <ctime>
#include <string>

namespace zefirel {

/// Local time as "%Y-%m-%d-%H-%M-%S".
std::string fileTimeStamp(std::time_t when);
/// "<stem>-<stamp><.ext>" next to path, or "<stem>-<stamp>-<n><.ext>" (n = 2, 3, ...)
/// for the first n at which neither the file nor its companion exists.
std::string freeStampedPath(const std::string& path, std::time_t when);
/// True when the recording or its companion holds at least one byte.
bool recordingHoldsData(const std::string& path);
/// Moves the recording and its companion (those of them that exist) to
/// freeStampedPath(path, time of the last change of the recording, or of the
/// companion when it is alone). Returns the new
/// recording path, or an empty text when nothing could be moved; a half-done move
/// is undone.
std::string moveRecordingAside(const std::string& path);
/// The path a new run may create empty, given the one it wants: the wanted path
/// itself when nothing is recorded there or the earlier recording was moved aside;
/// otherwise (it cannot be moved) a free time-stamped path next to it; empty when
/// there is no such path.
std::string claimRecordingPath(const std::string& wanted, std::time_t now);

} // namespace zefirel
