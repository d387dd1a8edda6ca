#pragma once
/// Moving whole settings records around: a snapshot, a car settings file or the
/// factory record into the document's record, and reading a car settings file.
/// The injection map is never part of such a copy: it lives in the controller's
/// EEPROM and has its own commands.

#include <string>

#include "link/SettingsBlock.h"

namespace zefirel {

/// Copies every part of a settings block except the injection map (which stays as
/// it was in `to`).
void copySettingsExceptMap(const CSettingsBlock& from, CSettingsBlock& to);

/// The factory settings block: all zero apart from the settings dialog's factory
/// values (the defaults of the settings record); time corrections and map 0, label
/// and notes empty.
CSettingsBlock factorySettings();

/// A file or factory record applied to the document's record: copySettingsExceptMap,
/// but the document keeps its own first 168 bytes (version word, identity, injector
/// count, car data, reducer pressure) and its 20-byte feature record; when
/// carDataKnown is false the stored record's seven car texts are copied in.
void applyStoredRecord(const CSettingsBlock& stored, CSettingsBlock& doc, bool carDataKnown);

enum class ESettingsFileResult { Ok, Unreadable, OtherVersion };

/// Reads a car settings file into `out` (first set to factorySettings()):
/// Unreadable when the file cannot be opened or holds fewer than 1240 bytes (out
/// then stays the factory record); OtherVersion when its version word is not 5
/// (out then holds the file's record). Bytes after the first 1240 are ignored.
ESettingsFileResult loadCarSettingsFile(const std::string& path, CSettingsBlock& out);

/// Loads a car settings file and, only when it is usable (Ok), applies it to the
/// document's record with applyStoredRecord. A refused file changes nothing.
ESettingsFileResult applyCarSettingsFile(const std::string& path, CSettingsBlock& doc, bool carDataKnown);

/// The message for a result other than Ok (empty for Ok).
std::string settingsFileMessage(ESettingsFileResult result);

inline constexpr const char* MSG_SETTINGS_FILE_UNREADABLE = "Nie można wczytać ustawień z pliku";
inline constexpr const char* MSG_SETTINGS_FILE_VERSION =
    "Nie można użyć pliku, ponieważ został utworzony inną wersją aplikacji.";

/// Writes a settings block as a car settings file, whole or not at all.
bool saveSettingsFile(const std::string& path, const CSettingsBlock& blk);

} // namespace zefirel
