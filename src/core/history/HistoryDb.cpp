// The history database: opening, the schema and its migrations, and the rows
// written for every write and every other piece of work on a car.
#include "history/HistoryDb.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "history/HistorySql.h"
#include "settings/CarFiles.h"
#include "support/FileUtil.h"
#include "support/Paths.h"

namespace zefirel {

using history::CStatement;
using history::exec;

namespace {

/// How long a write waits for another program's transaction before giving up.
constexpr int BUSY_TIMEOUT_MS = 300;

/// The schema, one migration per version: entry i brings version i to i + 1.
/// Version 1 kept controllers, cars and writes; version 2 added the car's
/// registration number, VIN and note, and the automatic setup runs, recordings
/// and service reports.
const char* const MIGRATIONS[] = {
    R"(CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE controllers (
  id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE,
  version INTEGER NOT NULL, injectors INTEGER NOT NULL,
  first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL);
CREATE TABLE cars (
  id INTEGER PRIMARY KEY, controller_id INTEGER NOT NULL REFERENCES controllers(id),
  make TEXT NOT NULL, model TEXT NOT NULL, capacity TEXT NOT NULL,
  power TEXT NOT NULL, year TEXT NOT NULL, injectors TEXT NOT NULL, flow TEXT NOT NULL,
  first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL,
  UNIQUE (controller_id, make, model, capacity));
CREATE TABLE writes (
  id INTEGER PRIMARY KEY, car_id INTEGER NOT NULL REFERENCES cars(id),
  time INTEGER NOT NULL, kind TEXT NOT NULL, source TEXT NOT NULL,
  result TEXT NOT NULL, ok INTEGER NOT NULL, message TEXT NOT NULL,
  before BLOB, after BLOB, map_known INTEGER NOT NULL,
  data BLOB, address INTEGER NOT NULL);
CREATE TABLE write_changes (
  write_id INTEGER NOT NULL REFERENCES writes(id), seq INTEGER NOT NULL,
  name TEXT NOT NULL, before TEXT NOT NULL, after TEXT NOT NULL,
  PRIMARY KEY (write_id, seq));
CREATE INDEX writes_by_car ON writes (car_id, time);)",
    R"(ALTER TABLE cars ADD COLUMN registration TEXT NOT NULL DEFAULT '';
ALTER TABLE cars ADD COLUMN vin TEXT NOT NULL DEFAULT '';
ALTER TABLE cars ADD COLUMN note TEXT NOT NULL DEFAULT '';
CREATE TABLE autosetup_runs (
  id INTEGER PRIMARY KEY, car_id INTEGER NOT NULL REFERENCES cars(id),
  time INTEGER NOT NULL, ok INTEGER NOT NULL, log TEXT NOT NULL);
CREATE TABLE recordings (
  id INTEGER PRIMARY KEY, car_id INTEGER NOT NULL REFERENCES cars(id),
  time INTEGER NOT NULL, path TEXT NOT NULL, length_s REAL NOT NULL, summary TEXT NOT NULL);
CREATE TABLE reports (
  id INTEGER PRIMARY KEY, car_id INTEGER NOT NULL REFERENCES cars(id),
  time INTEGER NOT NULL, path TEXT NOT NULL);
CREATE INDEX autosetup_by_car ON autosetup_runs (car_id, time);
CREATE INDEX recordings_by_car ON recordings (car_id, time);
CREATE INDEX reports_by_car ON reports (car_id, time);)",
};
static_assert(std::size(MIGRATIONS) == HISTORY_SCHEMA_VERSION);

constexpr const char* KEY_CAR_FILES_IMPORTED = "car_files_imported";

int64_t now() { return static_cast<int64_t>(std::time(nullptr)); }

std::string localTime(int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm local{};
    localtime_r(&tt, &local);
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0)
        return {};
    return text;
}

/// The time of a record's label ("%d-%m-%Y-%H:%M:%S", local); 0 when it has none.
int64_t labelTime(const CSettingsBlock& record) {
    std::tm local{};
    const std::string label = record.timeStamp();
    if (sscanf(label.c_str(), "%d-%d-%d-%d:%d:%d", &local.tm_mday, &local.tm_mon, &local.tm_year, &local.tm_hour,
               &local.tm_min, &local.tm_sec) != 6)
        return 0;
    local.tm_mon -= 1;
    local.tm_year -= 1900;
    local.tm_isdst = -1;
    const std::time_t t = std::mktime(&local);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

/// Reads a code point of UTF-8 text at i (advancing i); a stray byte is itself.
uint32_t nextCodePoint(const std::string& s, size_t& i) {
    const auto b = static_cast<unsigned char>(s[i++]);
    if (b < 0x80 || i >= s.size())
        return b;
    const int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    uint32_t cp = b & (0x3F >> extra);
    for (int k = 0; k < extra && i < s.size(); ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    return cp;
}

/// Lower case of Latin letters (ASCII, Latin-1 and Latin Extended-A, where the
/// Polish letters live), for a search that ignores case.
uint32_t lowerCodePoint(uint32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    if (((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && c % 2 == 0)
        return c + 1;
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && c % 2 == 1)
        return c + 1;
    return c;
}

/// The text as code points in lower case, blanks dropped when asked.
std::u32string folded(const std::string& s, bool dropBlanks = false) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const uint32_t c = lowerCodePoint(nextCodePoint(s, i));
        if (!(dropBlanks && (c == ' ' || c == '\t' || c == '-')))
            out.push_back(c);
    }
    return out;
}

std::string plural(int64_t n, const char* one, const char* few, const char* many) {
    const int64_t tens = n % 100;
    const char* word = n == 1 ? one : (n % 10 >= 2 && n % 10 <= 4 && (tens < 12 || tens > 14)) ? few : many;
    return std::to_string(n) + " " + word;
}

const char* kindLabel(const std::string& kind, const std::string& source) {
    if (kind == "level")
        return "Progi czujnika poziomu";
    if (kind == "version")
        return "Rekord wersji";
    if (kind == "eeprom")
        return "Obraz EEPROM";
    if (source == "map")
        return "Mapa wtrysków";
    if (source == "curve")
        return "Krzywa poprawek";
    if (source == "file" )
        return "Plik ustawień samochodu";
    return "Ustawienia";
}

std::string writeSummary(const std::string& kind, const std::string& source, bool ok, int64_t changes,
                         const std::string& message) {
    std::string s = kindLabel(kind, source);
    if (kind == "settings" && source != "file")
        s += ": " + plural(changes, "zmiana", "zmiany", "zmian");
    if (!ok) {
        const std::string first = message.substr(0, message.find('\n'));
        s += first.empty() ? " (niewpisane)" : " (niewpisane: " + first + ")";
    }
    return s;
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string fileName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

CSettingsBlock blockOf(const std::vector<uint8_t>& bytes) {
    CSettingsBlock b;
    if (bytes.size() == block::SIZE)
        std::copy(bytes.begin(), bytes.end(), b.bytes().begin());
    return b;
}

EWriteKind kindOf(const std::string& name) {
    for (EWriteKind k : {EWriteKind::Settings, EWriteKind::Level, EWriteKind::Version, EWriteKind::Eeprom})
        if (name == writeKindName(k))
            return k;
    return EWriteKind::Settings;
}

/// A transaction that rolls back unless committed.
class CTransaction {
public:
    explicit CTransaction(sqlite3* db) : m_db(db) { m_rc = exec(db, "BEGIN IMMEDIATE"); }
    ~CTransaction() {
        if (m_rc == SQLITE_OK && !m_done)
            exec(m_db, "ROLLBACK");
    }
    int began() const { return m_rc; }
    int commit() {
        m_done = true;
        const int rc = exec(m_db, "COMMIT");
        if (rc != SQLITE_OK)
            exec(m_db, "ROLLBACK");
        return rc;
    }

private:
    sqlite3* m_db;
    int m_rc;
    bool m_done = false;
};

int copyDatabase(sqlite3* from, sqlite3* to) {
    sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
    if (!b)
        return sqlite3_errcode(to);
    int rc;
    while ((rc = sqlite3_backup_step(b, 64)) == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        if (rc != SQLITE_OK)
            sqlite3_sleep(20);
    sqlite3_backup_finish(b);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

EHistoryProblem problemOf(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return EHistoryProblem::Locked;
    case SQLITE_READONLY:
    case SQLITE_PERM: return EHistoryProblem::ReadOnly;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return EHistoryProblem::Corrupt;
    default: return EHistoryProblem::CannotOpen;
    }
}

} // namespace

std::string defaultHistoryPath() { return appFolderPath() + "Historia/historia.sqlite"; }

const char* historyEntryKindName(EHistoryEntryKind kind) {
    switch (kind) {
    case EHistoryEntryKind::Write: return "write";
    case EHistoryEntryKind::AutoSetup: return "autosetup";
    case EHistoryEntryKind::Recording: return "recording";
    case EHistoryEntryKind::Report: return "report";
    }
    return "";
}

CHistoryDb::CHistoryDb(std::string path) : m_path(std::move(path)) {}

CHistoryDb::~CHistoryDb() { close(); }

void CHistoryDb::close() {
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool CHistoryDb::fail(EHistoryProblem kind, const std::string& cause) {
    m_problemKind = kind;
    std::string why;
    switch (kind) {
    case EHistoryProblem::None: break;
    case EHistoryProblem::CannotOpen: why = "Nie można otworzyć pliku bazy"; break;
    case EHistoryProblem::Locked: why = "Baza jest zablokowana przez inny program"; break;
    case EHistoryProblem::ReadOnly: why = "Plik bazy jest tylko do odczytu"; break;
    case EHistoryProblem::Corrupt: why = "Plik bazy jest uszkodzony lub nie jest bazą historii"; break;
    case EHistoryProblem::NewerVersion: why = "Baza pochodzi z nowszej wersji programu"; break;
    case EHistoryProblem::MigrationFailed: why = "Nie udało się uaktualnić bazy"; break;
    }
    m_problem = std::string(MSG_HISTORY_PROBLEM_HEAD) + "\n" + why + ": " + m_path;
    if (!cause.empty())
        m_problem += " (" + cause + ")";
    return false;
}

bool CHistoryDb::open() {
    if (m_db)
        return true;
    m_problem.clear();
    m_problemKind = EHistoryProblem::None;
    makeFolders(parentFolder(m_path));
    int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const std::string cause = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        close();
        return fail(problemOf(rc), cause);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, BUSY_TIMEOUT_MS);
    int version = -1;
    {
        CStatement q(m_db, "PRAGMA user_version");
        rc = q.step();
        if (rc == SQLITE_ROW)
            version = static_cast<int>(q.integer(0));
    }
    if (version < 0) {
        const std::string cause = sqlite3_errmsg(m_db);
        close();
        return fail(problemOf(rc), cause);
    }
    if (version > HISTORY_SCHEMA_VERSION) {
        close();
        return fail(EHistoryProblem::NewerVersion,
                    "wersja " + std::to_string(version) + ", ten program zna " + std::to_string(HISTORY_SCHEMA_VERSION));
    }
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        close();
        return fail(EHistoryProblem::ReadOnly, "");
    }
    // WAL lets the window read while a write goes on; a file another program
    // holds open stays in its mode (the switch needs the file to itself).
    exec(m_db, "PRAGMA journal_mode=WAL");
    rc = exec(m_db, "PRAGMA foreign_keys=ON");
    if (rc != SQLITE_OK) {
        const std::string cause = sqlite3_errmsg(m_db);
        close();
        return fail(problemOf(rc), cause);
    }
    if (version < HISTORY_SCHEMA_VERSION && !migrate(version)) {
        close();
        return false;
    }
    return true;
}

bool CHistoryDb::migrate(int from) {
    if (from > 0) {
        // An older file is kept as it was before any change: a migration that
        // goes wrong (or a program that needs the old file) has it beside.
        sqlite3* copy = nullptr;
        const std::string copyPath = m_path + ".v" + std::to_string(from) + ".bak";
        int rc = sqlite3_open_v2(copyPath.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc == SQLITE_OK)
            rc = copyDatabase(m_db, copy);
        sqlite3_close_v2(copy);
        if (rc != SQLITE_OK)
            return fail(EHistoryProblem::MigrationFailed, "kopia " + copyPath + ": " + sqlite3_errstr(rc));
    }
    for (int v = from; v < HISTORY_SCHEMA_VERSION; ++v) {
        CTransaction t(m_db);
        if (t.began() != SQLITE_OK)
            return fail(problemOf(t.began()), sqlite3_errmsg(m_db));
        // Another program may have brought the file up meanwhile (two programs
        // opening a new database at once): its step is not done twice.
        if (schemaVersion() > v)
            continue;
        const std::string bump = "PRAGMA user_version=" + std::to_string(v + 1);
        int rc = exec(m_db, MIGRATIONS[v]);
        if (rc == SQLITE_OK)
            rc = exec(m_db, bump.c_str());
        if (rc == SQLITE_OK)
            rc = t.commit();
        if (rc != SQLITE_OK) {
            const EHistoryProblem kind = (rc & 0xFF) == SQLITE_ERROR ? EHistoryProblem::MigrationFailed : problemOf(rc);
            return fail(kind, sqlite3_errmsg(m_db));
        }
    }
    return true;
}

int CHistoryDb::schemaVersion() const {
    if (!m_db)
        return 0;
    CStatement q(m_db, "PRAGMA user_version");
    return q.step() == SQLITE_ROW ? static_cast<int>(q.integer(0)) : 0;
}

int64_t CHistoryDb::carIdFor(const CSettingsBlock& record, int64_t when) {
    const std::string identity = record.identity();
    if (identity.empty())
        return 0;
    CStatement c(m_db, "INSERT INTO controllers (identity, version, injectors, first_seen, last_seen) "
                       "VALUES (?1, ?2, ?3, ?4, ?4) ON CONFLICT (identity) DO UPDATE SET "
                       "version = excluded.version, injectors = excluded.injectors, "
                       "first_seen = min(first_seen, excluded.first_seen), "
                       "last_seen = max(last_seen, excluded.last_seen) RETURNING id");
    c.bind(1, identity).bind(2, int64_t{record.versionMark()}).bind(3, int64_t{record.injectorCount()}).bind(4, when);
    if (c.step() != SQLITE_ROW)
        return 0;
    const int64_t controllerId = c.integer(0);
    CStatement car(m_db, "INSERT INTO cars (controller_id, make, model, capacity, power, year, injectors, flow, "
                         "first_seen, last_seen) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?9) "
                         "ON CONFLICT (controller_id, make, model, capacity) DO UPDATE SET "
                         "power = excluded.power, year = excluded.year, injectors = excluded.injectors, "
                         "flow = excluded.flow, first_seen = min(first_seen, excluded.first_seen), "
                         "last_seen = max(last_seen, excluded.last_seen) RETURNING id");
    car.bind(1, controllerId);
    for (int t = 0; t < static_cast<int>(ECarText::Count); ++t)
        car.bind(2 + t, record.carText(static_cast<ECarText>(t)));
    car.bind(9, when);
    return car.step() == SQLITE_ROW ? car.integer(0) : 0;
}

namespace {

/// Inserts a write row and its changes (inside the caller's transaction).
int64_t insertWrite(sqlite3* db, int64_t carId, int64_t when, const std::string& kind, const std::string& source,
                    const std::string& result, bool ok, const WriteJournalEntry& e, bool withBefore) {
    CStatement w(db, "INSERT INTO writes (car_id, time, kind, source, result, ok, message, before, after, "
                     "map_known, data, address) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
    w.bind(1, carId).bind(2, when).bind(3, kind).bind(4, source).bind(5, result).bind(6, int64_t{ok}).bind(7, e.message);
    if (withBefore)
        w.bindBlob(8, e.before.bytes().data(), block::SIZE);
    else
        w.bindNull(8);
    w.bindBlob(9, e.after.bytes().data(), block::SIZE).bind(10, int64_t{e.mapKnown});
    if (e.data.empty())
        w.bindNull(11);
    else
        w.bindBlob(11, e.data.data(), e.data.size());
    w.bind(12, int64_t{e.address});
    if (!w.run())
        return 0;
    const int64_t id = sqlite3_last_insert_rowid(db);
    for (size_t i = 0; i < e.changes.size(); ++i) {
        CStatement one(db, "INSERT INTO write_changes (write_id, seq, name, before, after) VALUES (?1, ?2, ?3, ?4, ?5)");
        one.bind(1, id).bind(2, static_cast<int64_t>(i)).bind(3, e.changes[i].name).bind(4, e.changes[i].before);
        one.bind(5, e.changes[i].after);
        if (!one.run())
            return 0;
    }
    return id;
}

} // namespace

int64_t CHistoryDb::recordWrite(const WriteJournalEntry& entry, EWriteSource fallback) {
    if (!m_db)
        return 0;
    const CSettingsBlock& named = entry.after.identity().empty() ? entry.before : entry.after;
    if (named.identity().empty())
        return 0;
    const int64_t when = now();
    CTransaction t(m_db);
    if (t.began() != SQLITE_OK)
        return fail(problemOf(t.began()), sqlite3_errmsg(m_db)), 0;
    const int64_t carId = carIdFor(named, when);
    const char* outcome = writeOutcomeName(entry.outcome);
    const int64_t id = carId ? insertWrite(m_db, carId, when, writeKindName(entry.kind),
                                           writeSourceName(entry.source.value_or(fallback)), outcome, entry.ok,
                                           entry, true)
                             : 0;
    const int rc = id ? t.commit() : sqlite3_errcode(m_db);
    if (rc != SQLITE_OK)
        return fail(problemOf(rc), sqlite3_errmsg(m_db)), 0;
    return id;
}

int64_t CHistoryDb::insertForCar(const CSettingsBlock& car, int64_t when, const char* sql,
                                 const std::function<void(history::CStatement&)>& bindRest) {
    if (!m_db || car.identity().empty())
        return 0;
    CTransaction t(m_db);
    if (t.began() != SQLITE_OK)
        return fail(problemOf(t.began()), sqlite3_errmsg(m_db)), 0;
    const int64_t carId = carIdFor(car, when);
    CStatement q(m_db, sql);
    q.bind(1, carId).bind(2, when);
    bindRest(q);
    const bool stored = carId && q.run();
    const int64_t id = sqlite3_last_insert_rowid(m_db);
    const int rc = stored ? t.commit() : sqlite3_errcode(m_db);
    if (rc != SQLITE_OK)
        return fail(problemOf(rc), sqlite3_errmsg(m_db)), 0;
    return id;
}

int64_t CHistoryDb::recordAutoSetup(const CSettingsBlock& car, bool ok, const std::string& log) {
    return insertForCar(car, now(), "INSERT INTO autosetup_runs (car_id, time, ok, log) VALUES (?1, ?2, ?3, ?4)",
                        [&](CStatement& q) { q.bind(3, int64_t{ok}).bind(4, log); });
}

int64_t CHistoryDb::recordRecording(const CSettingsBlock& car, const std::string& path, double lengthSeconds,
                                    const std::string& summary) {
    return insertForCar(car, now(),
                        "INSERT INTO recordings (car_id, time, path, length_s, summary) VALUES (?1, ?2, ?3, ?4, ?5)",
                        [&](CStatement& q) { q.bind(3, path).bind(4, lengthSeconds).bind(5, summary); });
}

int64_t CHistoryDb::recordReport(const CSettingsBlock& car, const std::string& path) {
    return insertForCar(car, now(), "INSERT INTO reports (car_id, time, path) VALUES (?1, ?2, ?3)",
                        [&](CStatement& q) { q.bind(3, path); });
}

bool CHistoryDb::setCarDetails(int64_t carId, const std::string& registration, const std::string& vin,
                               const std::string& note) {
    if (!m_db)
        return false;
    CStatement q(m_db, "UPDATE cars SET registration = ?2, vin = ?3, note = ?4 WHERE id = ?1");
    q.bind(1, carId).bind(2, registration).bind(3, vin).bind(4, note);
    if (!q.run())
        return fail(problemOf(sqlite3_errcode(m_db)), sqlite3_errmsg(m_db));
    return sqlite3_changes(m_db) == 1;
}

// --- reading ------------------------------------------------------------------

namespace {

constexpr const char* CAR_COLUMNS =
    "SELECT cars.id, controller_id, identity, make, model, capacity, power, year, cars.injectors, flow, "
    "registration, vin, note, cars.first_seen, cars.last_seen, "
    "(SELECT count(*) FROM writes WHERE car_id = cars.id) + (SELECT count(*) FROM autosetup_runs WHERE car_id = "
    "cars.id) + (SELECT count(*) FROM recordings WHERE car_id = cars.id) + (SELECT count(*) FROM reports WHERE "
    "car_id = cars.id) FROM cars JOIN controllers ON controllers.id = controller_id ";

HistoryCar carOf(const CStatement& q) {
    HistoryCar c;
    c.id = q.integer(0);
    c.controllerId = q.integer(1);
    c.identity = q.text(2);
    for (size_t t = 0; t < c.texts.size(); ++t)
        c.texts[t] = q.text(3 + static_cast<int>(t));
    c.registration = q.text(10);
    c.vin = q.text(11);
    c.note = q.text(12);
    c.firstSeen = localTime(q.integer(13));
    c.lastSeen = localTime(q.integer(14));
    c.entryCount = q.integer(15);
    return c;
}

bool contains(const std::string& text, const std::u32string& needle) {
    return folded(text).find(needle) != std::u32string::npos;
}

} // namespace

std::vector<HistoryCar> CHistoryDb::cars(const std::string& search) const {
    std::vector<HistoryCar> out;
    if (!m_db)
        return out;
    const std::u32string needle = folded(search);
    CStatement q(m_db, (std::string(CAR_COLUMNS) + "ORDER BY cars.last_seen DESC, cars.id DESC").c_str());
    while (q.step() == SQLITE_ROW) {
        HistoryCar c = carOf(q);
        const auto& t = c.texts;
        if (needle.empty() || contains(t[0], needle) || contains(t[1], needle) || contains(c.registration, needle) ||
            contains(c.vin, needle) || contains(c.identity, needle))
            out.push_back(std::move(c));
    }
    return out;
}

std::optional<HistoryCar> CHistoryDb::car(int64_t carId) const {
    if (!m_db)
        return std::nullopt;
    CStatement q(m_db, (std::string(CAR_COLUMNS) + "WHERE cars.id = ?1").c_str());
    q.bind(1, carId);
    if (q.step() != SQLITE_ROW)
        return std::nullopt;
    return carOf(q);
}

std::optional<HistoryCar> CHistoryDb::findCar(const std::string& key) const {
    if (!key.empty() && key.find_first_not_of("0123456789") == std::string::npos)
        if (auto c = car(std::stoll(key)))
            return c;
    const std::u32string wanted = folded(key, true);
    std::optional<HistoryCar> found;
    for (HistoryCar& c : cars()) {
        if (folded(c.registration, true) == wanted || folded(c.vin, true) == wanted ||
            folded(c.identity, true) == wanted) {
            if (found)
                return std::nullopt; // more than one: the key does not name a car
            found = std::move(c);
        }
    }
    return found;
}

std::vector<HistoryController> CHistoryDb::controllers() const {
    std::vector<HistoryController> out;
    if (!m_db)
        return out;
    CStatement q(m_db, "SELECT id, identity, version, injectors FROM controllers ORDER BY last_seen DESC");
    while (q.step() == SQLITE_ROW)
        out.push_back({q.integer(0), q.text(1), static_cast<unsigned>(q.integer(2)), static_cast<unsigned>(q.integer(3))});
    return out;
}

std::vector<HistoryEntry> CHistoryDb::timeline(int64_t carId) const {
    std::vector<HistoryEntry> out;
    if (!m_db)
        return out;
    CStatement q(m_db,
                 "SELECT 0, id, time, ok, kind, source, result, message, "
                 "(SELECT count(*) FROM write_changes WHERE write_id = writes.id), '', 0.0 FROM writes WHERE car_id = ?1 "
                 "UNION ALL SELECT 1, id, time, ok, '', '', '', log, 0, '', 0.0 FROM autosetup_runs WHERE car_id = ?1 "
                 "UNION ALL SELECT 2, id, time, 1, '', '', '', summary, 0, path, length_s FROM recordings "
                 "WHERE car_id = ?1 "
                 "UNION ALL SELECT 3, id, time, 1, '', '', '', '', 0, path, 0.0 FROM reports WHERE car_id = ?1 "
                 "ORDER BY 3 DESC, 1 DESC, 2 DESC");
    q.bind(1, carId);
    while (q.step() == SQLITE_ROW) {
        HistoryEntry e;
        e.kind = static_cast<EHistoryEntryKind>(q.integer(0));
        e.id = q.integer(1);
        e.time = localTime(q.integer(2));
        e.ok = q.integer(3) != 0;
        e.what = q.text(4);
        e.source = q.text(5);
        e.result = q.text(6);
        e.path = q.text(9);
        const std::string text = q.text(7);
        switch (e.kind) {
        case EHistoryEntryKind::Write: e.summary = writeSummary(e.what, e.source, e.ok, q.integer(8), text); break;
        case EHistoryEntryKind::AutoSetup:
            e.result = e.ok ? "done" : "failed";
            e.summary = std::string(e.ok ? "Automatyczne ustawianie zakończone" : "Automatyczne ustawianie przerwane") +
                        (text.empty() ? "" : ": " + firstLine(text));
            break;
        case EHistoryEntryKind::Recording: {
            char len[32];
            std::snprintf(len, sizeof len, "%.0f s", q.real(10));
            e.summary = "Zapis diagnostyki " + fileName(e.path) + " (" + len + ")" + (text.empty() ? "" : ": " + text);
            break;
        }
        case EHistoryEntryKind::Report: e.summary = "Raport serwisowy " + fileName(e.path); break;
        }
        out.push_back(std::move(e));
    }
    return out;
}

std::optional<HistoryWrite> CHistoryDb::write(int64_t writeId) const {
    if (!m_db)
        return std::nullopt;
    CStatement q(m_db, "SELECT id, car_id, time, kind, source, result, ok, message, before, after, map_known, data, "
                       "address FROM writes WHERE id = ?1");
    q.bind(1, writeId);
    if (q.step() != SQLITE_ROW)
        return std::nullopt;
    HistoryWrite w;
    w.id = q.integer(0);
    w.carId = q.integer(1);
    w.time = localTime(q.integer(2));
    w.kind = kindOf(q.text(3));
    w.source = q.text(4);
    w.result = q.text(5);
    w.ok = q.integer(6) != 0;
    w.message = q.text(7);
    w.before = blockOf(q.blob(8));
    w.after = blockOf(q.blob(9));
    w.mapKnown = q.integer(10) != 0;
    w.data = q.blob(11);
    w.address = static_cast<uint16_t>(q.integer(12));
    CStatement c(m_db, "SELECT name, before, after FROM write_changes WHERE write_id = ?1 ORDER BY seq");
    c.bind(1, writeId);
    while (c.step() == SQLITE_ROW)
        w.changes.push_back({c.text(0), c.text(1), c.text(2)});
    return w;
}

std::optional<HistoryAutoSetup> CHistoryDb::autoSetup(int64_t runId) const {
    if (!m_db)
        return std::nullopt;
    CStatement q(m_db, "SELECT id, car_id, time, ok, log FROM autosetup_runs WHERE id = ?1");
    q.bind(1, runId);
    if (q.step() != SQLITE_ROW)
        return std::nullopt;
    return HistoryAutoSetup{q.integer(0), q.integer(1), localTime(q.integer(2)), q.integer(3) != 0, q.text(4)};
}

// --- import and backup --------------------------------------------------------

bool CHistoryDb::carFilesImported() const {
    if (!m_db)
        return false;
    CStatement q(m_db, "SELECT 1 FROM meta WHERE key = ?1");
    q.bind(1, std::string(KEY_CAR_FILES_IMPORTED));
    return q.step() == SQLITE_ROW;
}

HistoryImportResult CHistoryDb::importCarFiles(const std::string& folder, bool force) {
    HistoryImportResult result;
    if (!m_db)
        return result;
    if (!force && carFilesImported()) {
        result.alreadyDone = true;
        return result;
    }
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it.depth() == 1 && it->is_regular_file(ec) && it->path().extension() == CAR_SETTINGS_EXTENSION)
            files.push_back(it->path().string());
    std::sort(files.begin(), files.end());
    CTransaction t(m_db);
    if (t.began() != SQLITE_OK)
        return fail(problemOf(t.began()), sqlite3_errmsg(m_db)), result;
    for (const std::string& path : files) {
        ++result.filesSeen;
        WriteJournalEntry e;
        if (!readFileExact(path, e.after.bytes().data(), block::SIZE) || e.after.identity().empty()) {
            ++result.unreadable;
            continue;
        }
        int64_t when = labelTime(e.after);
        if (when == 0)
            when = static_cast<int64_t>(
                std::chrono::duration_cast<std::chrono::seconds>(fs::last_write_time(path, ec).time_since_epoch())
                    .count());
        const int64_t carId = carIdFor(e.after, when);
        // A file that holds a record the history already has (imported before,
        // or written by this program while it kept the history) is not new.
        CStatement seen(m_db, "SELECT 1 FROM writes WHERE car_id = ?1 AND after = ?2");
        seen.bind(1, carId).bindBlob(2, e.after.bytes().data(), block::SIZE);
        if (carId && seen.step() == SQLITE_ROW) {
            ++result.skipped;
            continue;
        }
        e.message = path;
        if (!carId || !insertWrite(m_db, carId, when, "settings", "file", "imported", true, e, false))
            return fail(problemOf(sqlite3_errcode(m_db)), sqlite3_errmsg(m_db)), HistoryImportResult{};
        ++result.imported;
    }
    CStatement mark(m_db, "INSERT OR REPLACE INTO meta (key, value) VALUES (?1, ?2)");
    mark.bind(1, std::string(KEY_CAR_FILES_IMPORTED)).bind(2, localTime(now()));
    if (!mark.run() || t.commit() != SQLITE_OK)
        return fail(problemOf(sqlite3_errcode(m_db)), sqlite3_errmsg(m_db)), HistoryImportResult{};
    return result;
}

bool CHistoryDb::backup(const std::string& file, std::string& error) const {
    if (!m_db) {
        error = m_problem.empty() ? "Baza historii nie jest otwarta." : m_problem;
        return false;
    }
    // Written beside its place and renamed over it: a copy that fails half way
    // never stands under the name the user gave.
    const std::string part = file + ".part";
    std::remove(part.c_str());
    sqlite3* to = nullptr;
    int rc = sqlite3_open_v2(part.c_str(), &to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK)
        rc = copyDatabase(m_db, to);
    if (rc == SQLITE_OK)
        rc = exec(to, "PRAGMA journal_mode=DELETE");
    sqlite3_close_v2(to);
    if (rc == SQLITE_OK && std::rename(part.c_str(), file.c_str()) != 0)
        rc = SQLITE_CANTOPEN;
    if (rc != SQLITE_OK) {
        std::remove(part.c_str());
        error = "Nie można zapisać kopii bazy historii do pliku " + file + " (" + sqlite3_errstr(rc) + ")";
        return false;
    }
    return true;
}

// --- comparing and restoring -------------------------------------------------

std::vector<SettingChange> historyDiff(const HistoryWrite& a, const HistoryWrite& b) {
    std::vector<SettingChange> out = settingsChanges(a.after, b.after);
    if (a.mapKnown && b.mapKnown && !std::equal(a.after.map(), a.after.map() + block::MAP_SIZE, b.after.map())) {
        int differ = 0;
        for (size_t i = 0; i < block::MAP_SIZE; ++i)
            differ += a.after.map()[i] != b.after.map()[i];
        out.push_back({"map (cells that differ)", "", std::to_string(differ)});
    }
    return out;
}

std::string restoreProblem(const HistoryWrite& w, const CSettingsBlock& device) {
    if (w.kind != EWriteKind::Settings)
        return "Przywrócić można tylko zapis ustawień.";
    if (!w.ok)
        return "Ten zapis nie dotarł do sterownika: nie ma czego przywracać.";
    if (!device.identity().empty() && w.after.identity() != device.identity())
        return "Zapis dotyczy innego sterownika (" + w.after.identity() + "), a podłączony jest sterownik " +
               device.identity() + ".";
    return {};
}

SettingsWriteRequest restoreRequest(const HistoryWrite& w, EWriteSource source) {
    SettingsWriteRequest request;
    request.wanted = w.after;
    request.scope = EWriteScope::Record;
    request.source = source;
    if (w.mapKnown) {
        MapImage map{};
        std::copy_n(w.after.map(), block::MAP_SIZE, map.begin());
        request.map = map;
    }
    return request;
}

} // namespace zefirel
