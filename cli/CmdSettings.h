#pragma once
/// The settings sub-commands that work with whole records and car settings files
/// (export, import, factory), and the printing of changed values they share with
/// "settings set".

#include <string>
#include <vector>

#include "CtlCommon.h"
#include "link/SettingsWrite.h"
#include "settings/SettingsDiff.h"

namespace zefirel::ctl {

inline constexpr const char* MSG_SETTINGS_READ_FAILED = "Nie powiodło się odczytanie ustawień urządzenia!";
inline constexpr const char* MSG_SETTINGS_WRITE_FAILED = "Nie powiodło się wpisanie ustawień do urządzenia!";
inline constexpr const char* MSG_WRITE_NEEDS_CAR_DATA =
    "Aby wpisać ustawienia musisz podać dane dotyczące samochodu i zamontowanej instalacji";

/// Connects and reads the controller's settings values (and, withCorrections, its
/// time corrections) into the device. EXIT_OK, or the exit code after the message.
int readControllerSettings(CCtlContext& ctx, bool withCorrections);

/// Prints the changes: "name: old → new" lines (or "no changes") on standard output;
/// with --json on standard error, so the JSON output stays one value.
void printChanges(CCtlContext& ctx, const std::vector<SettingChange>& changes);

/// Hands a request to the controller's one write path. The changes it lists
/// against the controller's record are printed (printChanges) before anything is
/// written; with dryRun nothing is written. A refused record, missing car data
/// and a failed step print their message. Returns EXIT_OK, EXIT_USAGE (refused,
/// no car data) or EXIT_FAILED; with --json and jsonSummary, prints the changes
/// and what was done as one JSON value.
int commitRequest(CCtlContext& ctx, SettingsWriteRequest request, bool dryRun, bool jsonSummary = true);

/// The words of settings export, import and factory.
struct SettingsFileOptions {
    std::string file;
    bool dryRun = false; ///< import --dry-run
    bool yes = false;    ///< factory --yes
};

/// settings export FILE: the controller's settings as a car settings file.
int runSettingsExport(CCtlContext& ctx, const SettingsFileOptions& o);
/// settings import FILE [--dry-run]: a car settings file into the controller.
int runSettingsImport(CCtlContext& ctx, const SettingsFileOptions& o);
/// settings factory [--yes]: the factory record into the controller.
int runSettingsFactory(CCtlContext& ctx, const SettingsFileOptions& o);

} // namespace zefirel::ctl
