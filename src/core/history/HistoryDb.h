#pragma once
/// The workshop's memory: one SQLite database (through SQLite's C library) with
/// every controller and car the program met and, per car, what was done to it:
/// every write into the controller with the whole record before and after, the
/// automatic setup runs with their log, the recordings and the service reports.
///
/// The database lives in the program's application folder (defaultHistoryPath())
/// and is created on first use. Its schema carries a version (PRAGMA
/// user_version) and is brought up to date by numbered migrations; a file of an
/// older version is copied beside itself ("<file>.v<N>.bak") before it is
/// migrated. It runs in WAL mode and every write is one transaction.
///
/// The database is a witness, never a gate: a file that cannot be opened, is
/// locked, read-only, corrupt or from a newer program makes open() false with a
/// clear Polish message in problem(); every record* call then returns 0 and
/// nothing else happens. The car settings files stay what they are and are still
/// written by the settings write; the history only imports them (once).
///
/// A car is a controller (its identity) in a car described by make, model and
/// capacity, as the car settings files name it; the other four car texts, the
/// registration number, the VIN and a free note are the car's details.
///
/// Not thread-safe by itself: CHistoryJournal serialises its callers.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/SettingsBlock.h"
#include "link/SettingsWrite.h"
#include "link/WriteJournal.h"
#include "settings/CarInfo.h"
#include "settings/SettingsDiff.h"

struct sqlite3;

namespace zefirel {

namespace history {
class CStatement;
}

/// The schema version this program writes and reads.
inline constexpr int HISTORY_SCHEMA_VERSION = 2;

/// <application folder>/Historia/historia.sqlite
std::string defaultHistoryPath();

/// Why the database is not available (see CHistoryDb::problem()).
enum class EHistoryProblem { None, CannotOpen, Locked, ReadOnly, Corrupt, NewerVersion, MigrationFailed };

inline constexpr const char* MSG_HISTORY_PROBLEM_HEAD =
    "Historia samochodów jest niedostępna; zapis do sterownika odbywa się bez wpisu do historii.";

/// A controller the program has written to or read from.
struct HistoryController {
    int64_t id = 0;
    std::string identity;
    unsigned version = 0;
    unsigned injectors = 0;
};

/// A car: a controller in a car of one make, model and capacity.
struct HistoryCar {
    int64_t id = 0;
    int64_t controllerId = 0;
    std::string identity;    ///< the controller's identity
    CarTexts texts;          ///< the seven car texts, indexed by ECarText (the latest seen)
    std::string registration; ///< registration number (PC only)
    std::string vin;
    std::string note;
    std::string firstSeen;   ///< local time "YYYY-MM-DD HH:MM:SS"
    std::string lastSeen;
    int64_t entryCount = 0;  ///< lines of its timeline
};

/// What a timeline line is.
enum class EHistoryEntryKind { Write, AutoSetup, Recording, Report };
/// A short English name ("write", "autosetup", "recording", "report").
const char* historyEntryKindName(EHistoryEntryKind kind);

/// One line of a car's timeline (newest first).
struct HistoryEntry {
    EHistoryEntryKind kind = EHistoryEntryKind::Write;
    int64_t id = 0;          ///< the row's id in its own table (a write's id is what diff and restore take)
    std::string time;        ///< local time "YYYY-MM-DD HH:MM:SS"
    bool ok = false;
    /// Writes: writeKindName; the others: empty.
    std::string what;
    /// Writes: writeSourceName; imported car files: "file"; the others: empty.
    std::string source;
    /// Writes: writeOutcomeName; automatic setup: "done"/"failed"; others: empty.
    std::string result;
    /// One line for people (Polish): the number of changes, a recording's length
    /// and summary, a report's file name, the first line of a setup log.
    std::string summary;
    /// Recordings and reports: the file.
    std::string path;
};

/// One write as kept, with both records.
struct HistoryWrite {
    int64_t id = 0;
    int64_t carId = 0;
    std::string time;
    EWriteKind kind = EWriteKind::Settings;
    std::string source;      ///< writeSourceName, or "file" for an imported car file
    std::string result;      ///< writeOutcomeName, or "imported"
    bool ok = false;
    std::string message;
    std::vector<SettingChange> changes;
    CSettingsBlock before;
    CSettingsBlock after;
    bool mapKnown = false;
    std::vector<uint8_t> data;
    uint16_t address = 0;
};

/// One automatic setup run (its log as shown in the pane).
struct HistoryAutoSetup {
    int64_t id = 0;
    int64_t carId = 0;
    std::string time;
    bool ok = false;
    std::string log;
};

/// What an import of the car settings files did.
struct HistoryImportResult {
    int filesSeen = 0;
    int imported = 0;   ///< new rows
    int skipped = 0;    ///< already in the history (same car, same record)
    int unreadable = 0;
    bool alreadyDone = false; ///< the one-time import had run before (and force was not asked)
};

class CHistoryDb {
public:
    explicit CHistoryDb(std::string path = defaultHistoryPath());
    ~CHistoryDb();
    CHistoryDb(const CHistoryDb&) = delete;
    CHistoryDb& operator=(const CHistoryDb&) = delete;

    /// Opens (creating the file and its folder on first use) and migrates. False
    /// with problem() set when the database cannot be used; a second call tries again.
    bool open();
    bool isOpen() const { return m_db != nullptr; }
    void close();
    const std::string& path() const { return m_path; }
    /// Why the database is not available: a Polish message naming the file and
    /// the cause (empty when it is).
    const std::string& problem() const { return m_problem; }
    EHistoryProblem problemKind() const { return m_problemKind; }
    /// The schema version of the open file.
    int schemaVersion() const;

    // --- recording -----------------------------------------------------------
    /// Keeps a write attempt (see IWriteJournal); the car is the one of the
    /// entry's `after` record (its identity and car texts; `before` when `after`
    /// names no car). Entries without a source take `fallback`. Returns the new
    /// row's id, 0 on failure or when the record names no controller.
    int64_t recordWrite(const WriteJournalEntry& entry, EWriteSource fallback);
    /// Keeps an automatic setup run for the car of `car` (the document's record).
    int64_t recordAutoSetup(const CSettingsBlock& car, bool ok, const std::string& log);
    /// Keeps a finished recording: its file, length in seconds and a one-line summary.
    int64_t recordRecording(const CSettingsBlock& car, const std::string& path, double lengthSeconds,
                            const std::string& summary);
    /// Keeps a saved service report (its file).
    int64_t recordReport(const CSettingsBlock& car, const std::string& path);
    /// Sets a car's registration number, VIN and free note.
    bool setCarDetails(int64_t carId, const std::string& registration, const std::string& vin,
                       const std::string& note);

    // --- reading ------------------------------------------------------------
    /// The cars, the most recently seen first. A non-empty search keeps the cars
    /// whose make, model, registration number, VIN or identity contains it
    /// (letters compared without case, Polish letters included).
    std::vector<HistoryCar> cars(const std::string& search = "") const;
    std::optional<HistoryCar> car(int64_t carId) const;
    /// A car by an id ("12") or, failing that, the one car whose registration
    /// number, VIN or identity equals `key` (ignoring case and blanks).
    std::optional<HistoryCar> findCar(const std::string& key) const;
    std::vector<HistoryController> controllers() const;
    /// A car's timeline, newest first.
    std::vector<HistoryEntry> timeline(int64_t carId) const;
    std::optional<HistoryWrite> write(int64_t writeId) const;
    std::optional<HistoryAutoSetup> autoSetup(int64_t runId) const;

    // --- import and backup --------------------------------------------------
    /// Imports the car settings files of a settings folder (each becomes a write
    /// of source "file", result "imported", at its label's time). Runs once: a
    /// later call does nothing (alreadyDone) unless `force`; a forced import
    /// skips records it already holds. The files are not touched.
    HistoryImportResult importCarFiles(const std::string& settingsFolder, bool force = false);
    /// Whether the one-time import has run.
    bool carFilesImported() const;
    /// A consistent copy of the database into `file` with SQLite's backup API
    /// (also while another program writes to it). False with a Polish message in
    /// `error`.
    bool backup(const std::string& file, std::string& error) const;

private:
    bool fail(EHistoryProblem kind, const std::string& cause);
    bool migrate(int from);
    int64_t carIdFor(const CSettingsBlock& record, int64_t when);
    /// Inserts one row of the car of `car` in one transaction: `sql` takes the
    /// car's id as ?1 and the time as ?2; `bindRest` binds the others.
    int64_t insertForCar(const CSettingsBlock& car, int64_t when, const char* sql,
                         const std::function<void(history::CStatement&)>& bindRest);

    std::string m_path;
    sqlite3* m_db = nullptr;
    std::string m_problem;
    EHistoryProblem m_problemKind = EHistoryProblem::None;
};

/// What differs from write `a`'s record after to write `b`'s (settingsChanges of
/// the two `after` records, then the map's cells when both maps are known and differ).
std::vector<SettingChange> historyDiff(const HistoryWrite& a, const HistoryWrite& b);

/// Why a kept write cannot be put back: not a settings write, nothing reached the
/// controller, or its record is of another controller than `device` (identity).
/// Empty when it can.
std::string restoreProblem(const HistoryWrite& w, const CSettingsBlock& device);

/// The request that puts a kept settings record back: scope Record, the record
/// after the write as wanted, its map when it was known. The caller adds the
/// confirmation (which is shown the change list before anything is sent).
SettingsWriteRequest restoreRequest(const HistoryWrite& w, EWriteSource source);

} // namespace zefirel
