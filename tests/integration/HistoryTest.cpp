// The car history: its schema on first use and the migration of an older file,
// one row for every write path with the records before and after, a restore that
// puts the earlier record on the wire, a database that cannot be used never
// stopping a write, a kill during writes leaving the file whole, and zefirelctl
// history end to end.
#include <gtest/gtest.h>

#ifdef ZEFIREL_HAVE_SIMLIB

#include <nlohmann/json.hpp>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "DiagTestKit.h"
#include "SimKit.h"
#include "history/HistoryJournal.h"
#include "link/Protocol.h"
#include "map/MapWrite.h"
#include "support/TestDevice.h"

using namespace zefirel;
using namespace zefirel::test;
using namespace zefirel::sim;

namespace {

/// The first column of the first row of a query on a database file ("" when none).
std::string sqlValue(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* q = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW &&
            sqlite3_column_text(q, 0))
            out = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
        sqlite3_finalize(q);
    }
    sqlite3_close(db);
    return out;
}

void sqlRun(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

/// A document on the virtual controller keeping its history in a scratch folder.
struct Bench {
    Bench() : journal(EWriteSource::Dialog, dbPath(), scratch.path() + "/cars/") {
        host.carDataAnswer = true;
        doc.folder = scratch.path() + "/cars/";
        doc.setResetTimeout(5000);
        doc.setWriteJournal(&journal);
        connected = doc.connectPath(sim.server.slavePath()) && doc.isVersionOk() && doc.readSettings();
        doc.updateSettings([](CSettingsBlock& b) {
            b.setCarText(ECarText::make, "Opel");
            b.setCarText(ECarText::model, "Astra");
            b.setCarText(ECarText::capacity, "1600");
        });
    }
    std::string dbPath() const { return scratch.path() + "/h/historia.sqlite"; }
    int64_t writes() const { return std::atoll(sqlValue(dbPath(), "SELECT count(*) FROM writes").c_str()); }
    std::optional<HistoryWrite> newest() {
        std::optional<HistoryWrite> w;
        journal.withDatabase([&](CHistoryDb& db) {
            w = db.write(std::atoll(sqlValue(dbPath(), "SELECT max(id) FROM writes").c_str()));
        });
        return w;
    }
    std::vector<SimRequest> since(size_t n) const {
        const auto all = sim.ctl.received();
        return {all.begin() + static_cast<long>(std::min(n, all.size())), all.end()};
    }
    /// The payload of the last frame of a type sent since n.
    std::vector<uint8_t> lastSent(size_t n, uint8_t type) const {
        std::vector<uint8_t> p;
        for (const SimRequest& r : since(n))
            if (r.type == type) p = r.payload;
        return p;
    }

    CScratchFolder scratch;
    CThreadSafeHost host;
    CSimOnPty sim;
    CTestDevice doc{&host};
    CHistoryJournal journal;
    bool connected = false;
};

SettingsWriteRequest valueRequest(CLPGDevice& d, EWriteSource source, const std::function<void(CSettingsBlock&)>& f) {
    SettingsWriteRequest q;
    q.wanted = d.settings();
    q.source = source;
    f(q.wanted);
    return q;
}

/// The settings record as the wire carries it.
std::vector<uint8_t> wire(const CSettingsBlock& b) {
    std::vector<uint8_t> p(SETUP_RECORD_SIZE);
    encodeSettings(b, p.data());
    return p;
}

} // namespace

TEST(HistoryDb, FirstUseCreatesTheCurrentSchemaInWalMode) {
    CScratchFolder dir;
    const std::string path = dir.path() + "/new/historia.sqlite";
    CHistoryDb db(path);
    ASSERT_TRUE(db.open()) << db.problem();
    EXPECT_EQ(db.schemaVersion(), HISTORY_SCHEMA_VERSION);
    EXPECT_EQ(sqlValue(path, "PRAGMA journal_mode"), "wal");
    for (const char* table : {"controllers", "cars", "writes", "write_changes", "autosetup_runs", "recordings", "reports"})
        EXPECT_EQ(sqlValue(path, std::string("SELECT count(*) FROM sqlite_master WHERE name = '") + table + "'"), "1")
            << table;
}

TEST(HistoryDb, AVersionOneFileIsCopiedThenMigratedKeepingItsRows) {
    CScratchFolder dir;
    const std::string path = dir.path() + "/historia.sqlite";
    // A file as the first version of the history wrote it.
    sqlRun(path, R"(CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE controllers (id INTEGER PRIMARY KEY, identity TEXT NOT NULL UNIQUE, version INTEGER NOT NULL,
  injectors INTEGER NOT NULL, first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL);
CREATE TABLE cars (id INTEGER PRIMARY KEY, controller_id INTEGER NOT NULL REFERENCES controllers(id),
  make TEXT NOT NULL, model TEXT NOT NULL, capacity TEXT NOT NULL, power TEXT NOT NULL, year TEXT NOT NULL,
  injectors TEXT NOT NULL, flow TEXT NOT NULL, first_seen INTEGER NOT NULL, last_seen INTEGER NOT NULL,
  UNIQUE (controller_id, make, model, capacity));
CREATE TABLE writes (id INTEGER PRIMARY KEY, car_id INTEGER NOT NULL REFERENCES cars(id), time INTEGER NOT NULL,
  kind TEXT NOT NULL, source TEXT NOT NULL, result TEXT NOT NULL, ok INTEGER NOT NULL, message TEXT NOT NULL,
  before BLOB, after BLOB, map_known INTEGER NOT NULL, data BLOB, address INTEGER NOT NULL);
CREATE TABLE write_changes (write_id INTEGER NOT NULL REFERENCES writes(id), seq INTEGER NOT NULL,
  name TEXT NOT NULL, before TEXT NOT NULL, after TEXT NOT NULL, PRIMARY KEY (write_id, seq));
CREATE INDEX writes_by_car ON writes (car_id, time);
INSERT INTO controllers VALUES (1, 'OLD-0001', 5, 4, 1700000000, 1700000000);
INSERT INTO cars VALUES (1, 1, 'Fiat', 'Punto', '1200', '44', '2001', '4', '', 1700000000, 1700000000);
INSERT INTO writes VALUES (1, 1, 1700000000, 'settings', 'panel', 'written', 1, '', NULL, NULL, 0, NULL, 0);
INSERT INTO write_changes VALUES (1, 0, 'mainCorrection', '1', '1.5');
PRAGMA user_version = 1;)");
    CHistoryDb db(path);
    ASSERT_TRUE(db.open()) << db.problem();
    EXPECT_EQ(db.schemaVersion(), 2);
    EXPECT_EQ(sqlValue(path + ".v1.bak", "PRAGMA user_version"), "1") << "the file as it was, kept beside";
    EXPECT_EQ(sqlValue(path + ".v1.bak", "SELECT count(*) FROM writes"), "1");
    ASSERT_TRUE(db.setCarDetails(1, "WE 12345", "VF1ABC", "klient stały"));
    const std::vector<HistoryCar> cars = db.cars("we12");
    ASSERT_TRUE(cars.empty()) << "the search takes the text as written";
    const std::vector<HistoryCar> found = db.cars("we 12");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].texts[0], "Fiat");
    const std::vector<HistoryEntry> line = db.timeline(1);
    ASSERT_EQ(line.size(), 1u);
    EXPECT_EQ(line[0].summary, "Ustawienia: 1 zmiana");
    EXPECT_EQ(db.write(1)->changes.at(0).after, "1.5");
}

TEST(HistoryJournal, EveryWritePathLeavesOneRowWithItsRecordsAndSource) {
    struct Case {
        const char* name;
        const char* kind;
        const char* source;
        std::function<bool(Bench&)> write;
        std::function<void(Bench&, const HistoryWrite&, size_t sentFrom)> check;
    };
    auto mainCorrectionTo = [](double v, EWriteSource s) {
        return [v, s](Bench& b) {
            return b.doc.commitSettings(valueRequest(b.doc, s, [v](CSettingsBlock& w) { w.setMainCorrection(v); })).ok();
        };
    };
    auto mainCorrectionCheck = [](double v) {
        return [v](Bench& b, const HistoryWrite& w, size_t from) {
            EXPECT_NE(w.before.mainCorrection(), v);
            EXPECT_EQ(w.after.mainCorrection(), v);
            EXPECT_EQ(wire(w.after), b.lastSent(from, MSG_TYPE_SETUP)) << "the record after is the one sent";
            ASSERT_FALSE(w.changes.empty());
            EXPECT_EQ(w.changes[0].name, "mainCorrection");
        };
    };
    const std::vector<Case> cases = {
        {"panel", "settings", "panel", mainCorrectionTo(2.25, EWriteSource::Panel), mainCorrectionCheck(2.25)},
        {"dialog", "settings", "dialog", mainCorrectionTo(1.75, EWriteSource::Dialog), mainCorrectionCheck(1.75)},
        {"automatic setup", "settings", "autosetup", mainCorrectionTo(2.5, EWriteSource::AutoSetup),
         mainCorrectionCheck(2.5)},
        {"wizard", "settings", "wizard", mainCorrectionTo(1.25, EWriteSource::Wizard), mainCorrectionCheck(1.25)},
        {"learning", "settings", "learning", mainCorrectionTo(2.75, EWriteSource::Learning), mainCorrectionCheck(2.75)},
        {"map pane", "settings", "map",
         [](Bench& b) {
             MapBytes map = emptyMap();
             map[42] = 112;
             return b.doc.commitSettings(mapWriteRequest(b.doc, map, EWriteSource::Map)).ok();
         },
         [](Bench&, const HistoryWrite& w, size_t) {
             EXPECT_TRUE(w.mapKnown);
             EXPECT_EQ(w.after.map()[42], 112);
             EXPECT_NE(w.before.map()[42], 112);
         }},
        {"level dialog", "level", "dialog",
         [](Bench& b) {
             const uint8_t t[4] = {10, 20, 30, 40};
             return b.doc.writeLevelCalibration(t);
         },
         [](Bench& b, const HistoryWrite& w, size_t from) {
             EXPECT_EQ(w.data, (std::vector<uint8_t>{10, 20, 30, 40}));
             EXPECT_EQ(b.lastSent(from, MSG_TYPE_LEVEL_SENSOR), w.data);
         }},
        {"version dialog", "version", "dialog",
         [](Bench& b) { return b.doc.writeVersion(900, 5, 4, b.doc.settings().identity()); },
         [](Bench& b, const HistoryWrite& w, size_t from) {
             EXPECT_EQ(w.data.size(), VERSION_RECORD_SIZE);
             EXPECT_EQ(b.lastSent(from, MSG_TYPE_VERSION), w.data);
         }},
        {"EEPROM image", "eeprom", "dialog",
         [](Bench& b) {
             uint8_t bytes[16];
             for (uint8_t i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(0xA0 + i);
             return b.doc.writeEeprom(bytes, 496, 16);
         },
         [](Bench&, const HistoryWrite& w, size_t) {
             EXPECT_EQ(w.address, 496);
             ASSERT_EQ(w.data.size(), 16u);
             EXPECT_EQ(w.data[15], 0xAF);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        ASSERT_TRUE(b.connected);
        // The first use (and its import of car files) is over before counting.
        ASSERT_TRUE(b.journal.withDatabase([](CHistoryDb&) {}));
        const int64_t rows = b.writes();
        const size_t from = b.sim.ctl.received().size();
        ASSERT_TRUE(c.write(b));
        EXPECT_EQ(b.writes(), rows + 1);
        const std::optional<HistoryWrite> w = b.newest();
        ASSERT_TRUE(w);
        EXPECT_EQ(std::string(writeKindName(w->kind)), c.kind);
        EXPECT_EQ(w->source, c.source);
        EXPECT_EQ(w->result, "written");
        EXPECT_TRUE(w->ok);
        EXPECT_EQ(w->after.identity(), b.doc.settings().identity());
        EXPECT_EQ(w->after.carText(ECarText::make), "Opel");
        c.check(b, *w, from);
    }
}

TEST(HistoryJournal, RestoreWritesTheEarlierRecordBackAfterListingTheChanges) {
    Bench b;
    ASSERT_TRUE(b.connected);
    ASSERT_TRUE(b.doc.commitSettings(valueRequest(b.doc, EWriteSource::Panel, [](CSettingsBlock& w) {
        w.setMainCorrection(2.25);
        w.setValue(ESetting::switchSpeed, 1500);
    })).ok());
    const HistoryWrite earlier = *b.newest();
    ASSERT_TRUE(b.doc.commitSettings(valueRequest(b.doc, EWriteSource::Dialog, [](CSettingsBlock& w) {
        w.setMainCorrection(3.0);
        w.setValue(ESetting::switchSpeed, 2000);
    })).ok());
    EXPECT_EQ(restoreProblem(earlier, b.doc.settings()), "");
    SettingsWriteRequest q = restoreRequest(earlier, EWriteSource::Dialog);
    std::vector<SettingChange> listed;
    const size_t from = b.sim.ctl.received().size();
    q.confirm = [&](const std::vector<SettingChange>& changes) {
        listed = changes;
        EXPECT_EQ(b.lastSent(from, MSG_TYPE_SETUP), std::vector<uint8_t>{}) << "nothing sent before the list";
        return true;
    };
    ASSERT_EQ(b.doc.commitSettings(q).outcome, EWriteOutcome::Written);
    const auto main = std::find_if(listed.begin(), listed.end(),
                                   [](const SettingChange& c) { return c.name == "mainCorrection"; });
    ASSERT_NE(main, listed.end());
    EXPECT_EQ(main->before, "3");
    EXPECT_EQ(main->after, "2.25");
    EXPECT_EQ(b.lastSent(from, MSG_TYPE_SETUP), wire(earlier.after)) << "the earlier record, byte for byte";
    // The restore is itself a write of the history, and comparing it with the
    // earlier one finds nothing.
    const HistoryWrite restored = *b.newest();
    EXPECT_NE(restored.id, earlier.id);
    EXPECT_TRUE(historyDiff(earlier, restored).empty());
    // A record of another controller is not written into this one.
    HistoryWrite foreign = earlier;
    foreign.after.setIdentity("OTHER-0000001");
    EXPECT_NE(restoreProblem(foreign, b.doc.settings()), "");
}

TEST(HistoryJournal, ADatabaseThatCannotBeUsedIsReportedOnceAndTheWriteGoesOn) {
    struct Case {
        const char* name;
        const char* said;
        std::function<void(const std::string& path)> spoil;
    };
    sqlite3* holder = nullptr;
    const std::vector<Case> cases = {
        {"locked", "zablokowana",
         [&](const std::string& path) {
             ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
             ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
         }},
        {"read-only", "tylko do odczytu",
         [](const std::string& path) {
             // Root writes through file modes: the file is made immutable instead.
             if (::geteuid() == 0)
                 ASSERT_EQ(std::system(("chattr +i '" + path + "' 2>/dev/null").c_str()), 0) << "chattr";
             else
                 std::filesystem::permissions(path, std::filesystem::perms::owner_read);
         }},
        {"corrupt", "uszkodzony",
         [](const std::string& path) {
             std::filesystem::remove(path + "-wal");
             std::filesystem::remove(path + "-shm");
             std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
         }},
        {"newer", "nowszej wersji", [](const std::string& path) { sqlRun(path, "PRAGMA user_version = 99"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        ASSERT_TRUE(b.connected);
        {
            CHistoryDb made(b.dbPath());
            ASSERT_TRUE(made.open());
        }
        c.spoil(b.dbPath());
        if (HasFatalFailure())
            return;
        for (int round = 0; round < 2; ++round) {
            const double v = round == 0 ? 2.25 : 2.5;
            const size_t from = b.sim.ctl.received().size();
            const SettingsWriteResult r =
                b.doc.commitSettings(valueRequest(b.doc, EWriteSource::Panel, [v](CSettingsBlock& w) { w.setMainCorrection(v); }));
            EXPECT_EQ(r.outcome, EWriteOutcome::Written);
            EXPECT_EQ(b.lastSent(from, MSG_TYPE_SETUP), wire(b.doc.settings())) << "the controller got the record";
            EXPECT_EQ(b.doc.settings().mainCorrection(), v);
            if (round == 0) {
                EXPECT_NE(r.message.find(MSG_HISTORY_PROBLEM_HEAD), std::string::npos) << r.message;
                EXPECT_NE(r.message.find(c.said), std::string::npos) << r.message;
            } else {
                EXPECT_EQ(r.message.find(MSG_HISTORY_PROBLEM_HEAD), std::string::npos) << "said once: " << r.message;
            }
        }
        if (holder) {
            sqlite3_close(holder);
            holder = nullptr;
        }
        if (::geteuid() == 0)
            std::system(("chattr -i '" + b.dbPath() + "' 2>/dev/null").c_str());
    }
}

TEST(HistoryDb, AKillDuringWritesLeavesTheDatabaseWhole) {
    CScratchFolder dir;
    const std::string path = dir.path() + "/historia.sqlite";
    WriteJournalEntry e;
    e.after.setIdentity("KILL-0000001");
    e.after.setCarText(ECarText::make, "Opel");
    e.outcome = EWriteOutcome::Written;
    e.ok = true;
    for (int i = 0; i < 40; ++i)
        e.changes.push_back({"timeCorrection[" + std::to_string(i) + "]", "0", std::to_string(i)});
    for (int round = 0; round < 3; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            CHistoryDb db(path);
            if (!db.open())
                ::_exit(3);
            for (;;)
                db.recordWrite(e, EWriteSource::Test);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 70 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was still writing when killed";
        EXPECT_EQ(sqlValue(path, "PRAGMA integrity_check"), "ok");
        // Every kept write has all its changes: no half transaction survived.
        EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM writes WHERE (SELECT count(*) FROM write_changes "
                                 "WHERE write_id = writes.id) != 40"),
                  "0");
    }
    EXPECT_NE(sqlValue(path, "SELECT count(*) FROM writes"), "0");
}

TEST(HistoryCtl, WritesShowDiffRestoreAndBackUpFromTheCommandLine) {
    CSimOnPty sim;
    CScratchFolder home;
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.path() + "/config",
                                          "XDG_DATA_HOME=" + home.path() + "/data"};
    const std::vector<std::string> dev = {"--device", sim.server.slavePath(), "--car", "Skoda;Octavia;1.6;75;2004;4;"};
    auto ctl = [&](std::vector<std::string> args, bool device = false) {
        if (device) args.insert(args.begin(), dev.begin(), dev.end());
        return run(CTL, args, env);
    };
    ASSERT_EQ(ctl({"settings", "set", "mainCorrection=2"}, true).rc, 0);
    ASSERT_EQ(ctl({"settings", "set", "mainCorrection=3"}, true).rc, 0);
    RunResult r = ctl({"--json", "history", "cars", "octavia"});
    ASSERT_EQ(r.rc, 0) << r.err;
    const auto cars = nlohmann::json::parse(r.out);
    ASSERT_EQ(cars.size(), 1u);
    const std::string car = std::to_string(cars[0]["id"].get<int>());
    r = ctl({"--json", "history", "show", cars[0]["identity"].get<std::string>()});
    ASSERT_EQ(r.rc, 0) << r.err;
    std::vector<int> ids;
    const auto shown = nlohmann::json::parse(r.out);
    for (const auto& e : shown["entries"])
        if (e["source"] == "command line") ids.push_back(e["id"].get<int>());
    ASSERT_EQ(ids.size(), 2u) << r.out;
    const std::string second = std::to_string(ids[0]), first = std::to_string(ids[1]); // newest first
    r = ctl({"--json", "history", "diff", second, first});
    ASSERT_EQ(r.rc, 0) << r.err;
    const auto diffOut = nlohmann::json::parse(r.out);
    const auto& diff = diffOut["changes"];
    ASSERT_EQ(diff.size(), 1u) << r.out;
    EXPECT_EQ(diff[0]["name"], "mainCorrection");
    EXPECT_EQ(diff[0]["before"], "3");
    EXPECT_EQ(diff[0]["after"], "2");
    // Without --yes the change is listed and nothing is sent.
    size_t from = sim.ctl.received().size();
    r = ctl({"history", "restore", first}, true);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("mainCorrection: 3 → 2"), std::string::npos) << r.out;
    for (size_t i = from; i < sim.ctl.received().size(); ++i)
        EXPECT_NE(sim.ctl.received()[i].type, MSG_TYPE_SETUP) << "a dry restore wrote";
    r = ctl({"history", "restore", first, "--yes"}, true);
    ASSERT_EQ(r.rc, 0) << r.err;
    r = ctl({"settings", "get"}, true);
    EXPECT_NE(r.out.find("mainCorrection: 2 ms"), std::string::npos) << r.out;
    r = ctl({"history", "show", car});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1 + 3) << r.out;
    const std::string copy = home.path() + "/kopia.sqlite";
    r = ctl({"--json", "history", "backup", copy});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(sqlValue(copy, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(sqlValue(copy, "SELECT count(*) FROM writes WHERE source = 'command line'"), "3");
    // A write that does not exist is a usage error.
    EXPECT_EQ(ctl({"history", "diff", "999", first}).rc, 2);
}

#endif
