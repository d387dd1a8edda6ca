#pragma once
/// CHistoryJournal: the write journal the programs hang on their device. It keeps
/// every write in the history database (opened on first use) and the other
/// things done to a car (automatic setup runs, recordings, service reports). Safe
/// to call from any thread (one at a time inside).
///
/// A database that cannot be used is reported once: the first call that meets
/// the problem returns (recordWrite) or hands the notice handler the message;
/// later calls stay silent until the database works again. Nothing here ever
/// fails a write. On the first open the existing car settings files are
/// imported (once per database).

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "history/HistoryDb.h"
#include "link/WriteJournal.h"

namespace zefirel {

class CHistoryJournal : public IWriteJournal {
public:
    /// `defaultSource` names writes that carry no source of their own (level,
    /// version, EEPROM): Dialog for the windowed program, CommandLine for zefirelctl.
    /// `carFilesFolder`: where the one-time import finds the car settings files
    /// (empty: the program's settings folder).
    explicit CHistoryJournal(EWriteSource defaultSource, std::string path = defaultHistoryPath(),
                             std::string carFilesFolder = "");

    /// Returns the once-only note. A settings write's note reaches the user in
    /// the write's result (the device adds it to the message); for the level,
    /// version and EEPROM writes it goes to the notice handler as well.
    std::string recordWrite(const WriteJournalEntry& entry) override;
    /// The other things done to a car; a once-only note goes to the notice handler.
    void recordAutoSetup(const CSettingsBlock& car, bool ok, const std::string& log) override;
    void recordRecording(const CSettingsBlock& car, const std::string& path, double lengthSeconds,
                         const std::string& summary) override;
    void recordReport(const CSettingsBlock& car, const std::string& path) override;

    /// Called with the once-only note of a problem (from the caller's thread);
    /// the windowed program shows it in the status bar or a message.
    void setNoticeHandler(std::function<void(const std::string&)> handler);

    /// Runs `work` on the open database under the journal's lock (the history
    /// window and the command line read through it). False, with the note in
    /// `problem`, when the database cannot be used.
    bool withDatabase(const std::function<void(CHistoryDb&)>& work, std::string* problem = nullptr);

    const std::string& path() const { return m_path; }

private:
    /// Opens when needed; the note to report now (empty when open or already reported).
    std::string ensureOpenLocked();
    /// The note after a call that returned `id` (0 = failed): the problem, once.
    std::string afterLocked(int64_t id);
    void notify(const std::string& note);
    /// The one-time import of the car settings files, when still due.
    void importOnceLocked();
    /// Stores one piece of work of the car of `car` and tells a problem once.
    void recordOther(const CSettingsBlock& car, const std::function<int64_t(CHistoryDb&)>& store);

    std::mutex m_lock;
    EWriteSource m_defaultSource;
    std::string m_path;
    std::string m_carFilesFolder;
    std::unique_ptr<CHistoryDb> m_db;
    bool m_reported = false;
    std::function<void(const std::string&)> m_notice;
};

} // namespace zefirel
