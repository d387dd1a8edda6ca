#include "diag/RecordingFiles.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "diag/Companion.h"
#include "events/DiagEvents.h"
#include "support/FileUtil.h"
#include "support/TimeText.h"

namespace zefirel {

namespace {

/// Upper bound of the counter: a folder holding more recordings of one second than
/// this is not a real case, and the search must end.
constexpr int MAX_COUNTER = 10000;

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

/// Splits "folder/name.ext" into "folder/name" and ".ext" (a dot inside the folder
/// part or at the start of the name is not an extension).
void splitExtension(const std::string& path, std::string& stem, std::string& ext) {
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart) {
        stem = path;
        ext.clear();
        return;
    }
    stem = path.substr(0, dot);
    ext = path.substr(dot);
}

} // namespace

std::string fileTimeStamp(std::time_t when) { return localTimeText(when, "%Y-%m-%d-%H-%M-%S"); }

std::string freeStampedPath(const std::string& path, std::time_t when) {
    std::string stem, ext;
    splitExtension(path, stem, ext);
    const std::string base = stem + "-" + fileTimeStamp(when);
    for (int n = 1; n <= MAX_COUNTER; ++n) {
        const std::string candidate = (n == 1 ? base : base + "-" + std::to_string(n)) + ext;
        if (!exists(candidate) && !exists(companionPath(candidate)))
            return candidate;
    }
    return {};
}

bool recordingHoldsData(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_size > 0)
        return true;
    return ::stat(companionPath(path).c_str(), &st) == 0 && st.st_size > 0;
}

std::string moveRecordingAside(const std::string& path) {
    const std::string companion = companionPath(path);
    struct stat st {};
    std::time_t when = std::time(nullptr);
    const bool haveRecording = ::stat(path.c_str(), &st) == 0;
    if (haveRecording)
        when = st.st_mtime;
    const bool haveCompanion = ::stat(companion.c_str(), &st) == 0;
    if (haveCompanion && !haveRecording)
        when = st.st_mtime;

    // Another program may take a free name between the search and the rename; the
    // rename never replaces, so search again then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string aside = freeStampedPath(path, when);
        if (aside.empty())
            return {};
        if (haveRecording && !renameNoReplace(path, aside)) {
            if (errno == EEXIST)
                continue;
            return {};
        }
        if (!haveCompanion || renameNoReplace(companion, companionPath(aside))) {
            // The events file goes with them; without it the events are found again.
            renameNoReplace(sidecarPath(path), sidecarPath(aside));
            return aside;
        }
        const int err = errno;
        // The pair must stay together: put the recording back.
        if (haveRecording)
            renameNoReplace(aside, path);
        if (err != EEXIST)
            return {};
    }
    return {};
}

std::string claimRecordingPath(const std::string& wanted, std::time_t now) {
    if (!recordingHoldsData(wanted) || !moveRecordingAside(wanted).empty())
        return wanted;
    return freeStampedPath(wanted, now);
}

} // namespace zefirel
