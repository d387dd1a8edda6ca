#pragma once
/// The write journal: told about every write the program makes into the
/// controller, whatever became of it. The device calls it once after each write
/// attempt (a settings write through commitSettings that the user did not
/// decline, the level thresholds, the version record, an EEPROM range); the
/// history database keeps what it is told.
///
/// A journal never stops or fails a write: it is called after the controller has
/// answered, its own failures stay inside it, and what it wants the user to know
/// (a database that cannot be opened, reported once) comes back as a note.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/SettingsBlock.h"
#include "link/SettingsWrite.h"
#include "settings/SettingsDiff.h"

namespace zefirel {

/// What was written.
enum class EWriteKind { Settings, Level, Version, Eeprom };

/// A short English name of the kind ("settings", "level", "version", "eeprom"),
/// as stored in the history.
const char* writeKindName(EWriteKind kind);

/// A short English name of a settings write's outcome ("written", "refused",
/// "declined", "busy", ... "after failed"), as stored in the history.
const char* writeOutcomeName(EWriteOutcome outcome);

/// One write attempt as the device saw it.
struct WriteJournalEntry {
    EWriteKind kind = EWriteKind::Settings;
    /// Who asked. Set for settings writes (the request's source); the level,
    /// version and EEPROM writes carry none, and the journal fills in its own
    /// default (the windowed program: Dialog, the command line: CommandLine).
    std::optional<EWriteSource> source;
    /// Settings writes: the outcome; the others: Written, Busy (another write
    /// held the controller, nothing was sent) or WriteFailed.
    EWriteOutcome outcome = EWriteOutcome::WriteFailed;
    /// The settings record reached the controller (SettingsWriteResult::ok()).
    bool ok = false;
    /// The message the writer got (a failed step's text, a note); may be empty.
    std::string message;
    /// The whole record (1240 bytes) the document held for the controller before
    /// the attempt: the controller's settings, curve and map as last read or
    /// written, with the car texts the PC holds.
    CSettingsBlock before;
    /// The whole record after: for a settings write the record as written (or as
    /// it would have been written when a step failed; equal to `before` when the
    /// write was refused before it was built); for the other kinds the
    /// document's record after the write.
    CSettingsBlock after;
    /// Whether the map bytes of `after` are the controller's (read or written on
    /// this connection): only then does a restore write the map back.
    bool mapKnown = false;
    /// What changed (settings writes: the list shown before writing).
    std::vector<SettingChange> changes;
    /// The raw bytes sent by a level (4), version (21) or EEPROM write.
    std::vector<uint8_t> data;
    /// EEPROM writes: the first address written.
    uint16_t address = 0;
};

class IWriteJournal {
public:
    virtual ~IWriteJournal() = default;
    /// Keeps one write attempt. Called on the writer's thread after the
    /// controller answered, never while it matters for the write. Returns a note
    /// for the user (empty almost always; a problem of the journal's own store is
    /// reported once).
    virtual std::string recordWrite(const WriteJournalEntry& entry) = 0;

    // The other work done on a car, kept beside its writes. `car` is the
    // document's record (its identity and car texts name the car). These never
    // fail their caller; a problem of the store goes to the journal's own notice.

    /// An automatic setup run ended (done or not), with its log as shown.
    virtual void recordAutoSetup(const CSettingsBlock& /*car*/, bool /*ok*/, const std::string& /*log*/) {}
    /// A recording was finished: its file, length in seconds, one-line summary.
    virtual void recordRecording(const CSettingsBlock& /*car*/, const std::string& /*path*/, double /*lengthSeconds*/,
                                 const std::string& /*summary*/) {}
    /// A service report was saved into a file.
    virtual void recordReport(const CSettingsBlock& /*car*/, const std::string& /*path*/) {}
};

} // namespace zefirel
