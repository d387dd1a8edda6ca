// The history journal: keeps each write and each piece of work on a car in the
// history database, opening it on first use, and reports a problem once.
#include "history/HistoryJournal.h"

#include "support/Paths.h"

namespace zefirel {

CHistoryJournal::CHistoryJournal(EWriteSource defaultSource, std::string path, std::string carFilesFolder)
    : m_defaultSource(defaultSource), m_path(std::move(path)), m_carFilesFolder(std::move(carFilesFolder)) {}

void CHistoryJournal::setNoticeHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard<std::mutex> g(m_lock);
    m_notice = std::move(handler);
}

std::string CHistoryJournal::ensureOpenLocked() {
    if (m_db && m_db->isOpen())
        return {};
    if (!m_db)
        m_db = std::make_unique<CHistoryDb>(m_path);
    if (!m_db->open())
        return afterLocked(0);
    return afterLocked(1);
}

void CHistoryJournal::importOnceLocked() {
    // The car settings files written before there was a history become its
    // first entries (once per database; the files stay where they are). Run
    // after a write is kept, so the file that write has just saved is known.
    if (m_db && m_db->isOpen() && !m_db->carFilesImported())
        m_db->importCarFiles(m_carFilesFolder.empty() ? settingsFolder() : m_carFilesFolder);
}

std::string CHistoryJournal::afterLocked(int64_t id) {
    if (id != 0 || !m_db || m_db->problem().empty()) {
        // Working (again): a later problem is worth telling.
        if (id != 0)
            m_reported = false;
        return {};
    }
    if (m_reported)
        return {};
    m_reported = true;
    return m_db->problem();
}

void CHistoryJournal::notify(const std::string& note) {
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard<std::mutex> g(m_lock);
        handler = m_notice;
    }
    if (!note.empty() && handler)
        handler(note);
}

std::string CHistoryJournal::recordWrite(const WriteJournalEntry& entry) {
    std::string note;
    {
        std::lock_guard<std::mutex> g(m_lock);
        note = ensureOpenLocked();
        if (m_db->isOpen() && note.empty()) {
            const int64_t id = m_db->recordWrite(entry, m_defaultSource);
            // A record without a controller's identity names no car: not a problem.
            if (id != 0 || !(entry.after.identity().empty() && entry.before.identity().empty()))
                note = afterLocked(id);
            importOnceLocked();
        }
    }
    if (entry.kind != EWriteKind::Settings)
        notify(note);
    return note;
}

void CHistoryJournal::recordOther(const CSettingsBlock& car, const std::function<int64_t(CHistoryDb&)>& store) {
    std::string note;
    {
        std::lock_guard<std::mutex> g(m_lock);
        note = ensureOpenLocked();
        if (m_db->isOpen() && note.empty() && !car.identity().empty())
            note = afterLocked(store(*m_db));
        importOnceLocked();
    }
    notify(note);
}

void CHistoryJournal::recordAutoSetup(const CSettingsBlock& car, bool ok, const std::string& log) {
    recordOther(car, [&](CHistoryDb& db) { return db.recordAutoSetup(car, ok, log); });
}

void CHistoryJournal::recordRecording(const CSettingsBlock& car, const std::string& path, double lengthSeconds,
                                      const std::string& summary) {
    recordOther(car, [&](CHistoryDb& db) { return db.recordRecording(car, path, lengthSeconds, summary); });
}

void CHistoryJournal::recordReport(const CSettingsBlock& car, const std::string& path) {
    recordOther(car, [&](CHistoryDb& db) { return db.recordReport(car, path); });
}

bool CHistoryJournal::withDatabase(const std::function<void(CHistoryDb&)>& work, std::string* problem) {
    std::lock_guard<std::mutex> g(m_lock);
    ensureOpenLocked();
    if (!m_db->isOpen()) {
        if (problem)
            *problem = m_db->problem();
        return false;
    }
    importOnceLocked();
    work(*m_db);
    return true;
}

} // namespace zefirel
