#pragma once
/// The settings companion of a recording (the recording's name followed by
/// "-config"): a sequence of whole 1240-byte settings blocks, one appended each time
/// settings were written to the controller during the recording. Each appended block
/// carries the time of the write (19 characters "%d-%m-%Y-%H:%M:%S" at its time
/// stamp) and the number of the newest recorded sample (u32 LE at byte 484).

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "link/SettingsBlock.h"

namespace zefirel {

/// Suffix of a recording's settings companion.
inline constexpr const char* COMPANION_SUFFIX = "-config";
/// The settings companion of a recording: the path followed by "-config".
inline std::string companionPath(const std::string& recordingPath) { return recordingPath + COMPANION_SUFFIX; }

/// Version mark of a valid companion record.
inline constexpr uint16_t COMPANION_VERSION_MARK = 5;
/// Characters of the time copied into a companion record.
inline constexpr size_t COMPANION_TIME_LENGTH = 19;

/// The 19-character local time "%d-%m-%Y-%H:%M:%S" of when.
std::string companionTime(std::time_t when);
/// Copies the 19 time characters over the start of the block's time stamp (the rest
/// of the 40-byte field is kept) and stores the sample number at byte 484.
void stampCompanionRecord(CSettingsBlock& block, uint32_t sampleNo, std::time_t when);
/// Creates the companion empty, or empties it; false when it cannot.
bool createEmptyCompanion(const std::string& path);
/// Appends the whole block. False when the file cannot be opened for appending or
/// not all bytes were written (the file is then cut back to its previous size, so a
/// half record never follows the whole ones).
bool appendCompanionRecord(const std::string& path, const CSettingsBlock& block);
/// Appends every valid record to out, stopping at the first short read or the first
/// record whose version mark is not 5. False when the file cannot be opened.
bool readCompanion(const std::string& path, std::vector<CSettingsBlock>& out);
/// The feature mask of the controller a recording was made with, from the newest
/// valid record of its companion; false (mask untouched) when it holds none.
bool recordingFeatureMask(const std::string& recordingPath, uint32_t& mask);

} // namespace zefirel
