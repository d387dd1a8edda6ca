// zefirelctl history cars | show CAR | diff ID1 ID2 | restore ID [--yes] | import |
// backup FILE: the car history kept by every program on this computer. Only
// restore talks to the controller, through the one write path like every write.

#include <memory>

#include "CmdSettings.h"
#include "CtlCli.h"
#include "support/Paths.h"

namespace zefirel::ctl {

namespace {

struct HistoryOptions {
    std::string search;
    std::string car;
    int64_t first = 0;
    int64_t second = 0;
    std::string file;
    bool yes = false;
};

/// The car texts' names, as the change lists name them.
constexpr const char* CAR_TEXT_NAMES[] = {"make", "model", "capacity", "power", "year", "injectors", "flow"};

void carJson(CJsonWriter& w, const HistoryCar& c) {
    w.beginObject().key("id").value(c.id).key("identity").value(c.identity);
    for (size_t t = 0; t < c.texts.size(); ++t)
        w.key(CAR_TEXT_NAMES[t]).value(c.texts[t]);
    w.key("registration").value(c.registration).key("vin").value(c.vin).key("note").value(c.note);
    w.key("firstSeen").value(c.firstSeen).key("lastSeen").value(c.lastSeen).key("entries").value(c.entryCount);
    w.endObject();
}

std::string carLine(const HistoryCar& c) {
    std::string line = std::to_string(c.id) + "\t" + c.texts[0] + " " + c.texts[1] + " " + c.texts[2];
    line += "\t" + (c.registration.empty() ? std::string("-") : c.registration) + "\t" + c.identity;
    return line + "\t" + c.lastSeen + "\t" + std::to_string(c.entryCount);
}

void changesJson(CJsonWriter& w, const std::vector<SettingChange>& changes) {
    w.beginArray();
    for (const SettingChange& c : changes)
        w.beginObject().key("name").value(c.name).key("before").value(c.before).key("after").value(c.after).endObject();
    w.endArray();
}

/// Runs work on the history; prints its problem and gives EXIT_FAILED when the
/// database cannot be used.
int withHistory(CCtlContext& ctx, const std::function<int(CHistoryDb&)>& work) {
    int rc = EXIT_OK;
    std::string problem;
    if (!ctx.journal().withDatabase([&](CHistoryDb& db) { rc = work(db); }, &problem)) {
        ctx.message(problem);
        return EXIT_FAILED;
    }
    return rc;
}

int runCars(CCtlContext& ctx, const HistoryOptions& o) {
    return withHistory(ctx, [&](CHistoryDb& db) {
        const std::vector<HistoryCar> cars = db.cars(o.search);
        if (ctx.jsonOutput()) {
            CJsonWriter w;
            w.beginArray();
            for (const HistoryCar& c : cars)
                carJson(w, c);
            ctx.json(w.endArray());
            return EXIT_OK;
        }
        for (const HistoryCar& c : cars)
            ctx.out(carLine(c));
        if (cars.empty())
            ctx.message(o.search.empty() ? "Historia nie zawiera jeszcze żadnego samochodu."
                                         : "Żaden samochód nie pasuje do: " + o.search);
        return EXIT_OK;
    });
}

int runShow(CCtlContext& ctx, const HistoryOptions& o) {
    return withHistory(ctx, [&](CHistoryDb& db) {
        const std::optional<HistoryCar> car = db.findCar(o.car);
        if (!car) {
            ctx.message("Nie ma w historii samochodu " + o.car +
                        " (podaj numer z \"history cars\", numer rejestracyjny, VIN lub identyfikator sterownika).");
            return EXIT_USAGE;
        }
        const std::vector<HistoryEntry> entries = db.timeline(car->id);
        if (ctx.jsonOutput()) {
            CJsonWriter w;
            w.beginObject().key("car");
            carJson(w, *car);
            w.key("entries").beginArray();
            for (const HistoryEntry& e : entries) {
                w.beginObject().key("kind").value(historyEntryKindName(e.kind)).key("id").value(e.id);
                w.key("time").value(e.time).key("ok").value(e.ok).key("what").value(e.what);
                w.key("source").value(e.source).key("result").value(e.result).key("summary").value(e.summary);
                w.key("path").value(e.path).endObject();
            }
            ctx.json(w.endArray().endObject());
            return EXIT_OK;
        }
        ctx.out(carLine(*car));
        for (const HistoryEntry& e : entries) {
            const std::string id = e.kind == EHistoryEntryKind::Write ? "#" + std::to_string(e.id) : "-";
            ctx.out(e.time + "\t" + id + "\t" + (e.source.empty() ? historyEntryKindName(e.kind) : e.source) + "\t" +
                    e.summary);
        }
        return EXIT_OK;
    });
}

/// A kept write by its id, or the message why there is none.
std::optional<HistoryWrite> keptWrite(CCtlContext& ctx, CHistoryDb& db, int64_t id) {
    std::optional<HistoryWrite> w = db.write(id);
    if (!w)
        ctx.message("Nie ma w historii zapisu #" + std::to_string(id) + ".");
    return w;
}

int runDiff(CCtlContext& ctx, const HistoryOptions& o) {
    return withHistory(ctx, [&](CHistoryDb& db) {
        const std::optional<HistoryWrite> a = keptWrite(ctx, db, o.first);
        const std::optional<HistoryWrite> b = a ? keptWrite(ctx, db, o.second) : std::nullopt;
        if (!a || !b)
            return EXIT_USAGE;
        const std::vector<SettingChange> changes = historyDiff(*a, *b);
        if (ctx.jsonOutput()) {
            CJsonWriter w;
            w.beginObject().key("from").value(a->id).key("to").value(b->id).key("changes");
            changesJson(w, changes);
            ctx.json(w.endObject());
            return EXIT_OK;
        }
        ctx.out(plainLines(changes.empty() ? std::string("no changes\n") : formatChanges(changes)));
        return EXIT_OK;
    });
}

int runRestore(CCtlContext& ctx, const HistoryOptions& o) {
    std::optional<HistoryWrite> kept;
    if (const int rc = withHistory(ctx, [&](CHistoryDb& db) {
            kept = keptWrite(ctx, db, o.first);
            return kept ? EXIT_OK : EXIT_USAGE;
        });
        rc != EXIT_OK)
        return rc;
    // The record's own car data, unless --car names others.
    if (!ctx.options().haveCar) {
        const CarData car{CCarInfo::carTexts(kept->after)};
        if (completeCarData(car))
            ctx.host().setCarData(car);
    }
    if (const int rc = readControllerSettings(ctx, true); rc != EXIT_OK)
        return rc;
    if (const std::string why = restoreProblem(*kept, ctx.device().settings()); !why.empty()) {
        ctx.message(why);
        return EXIT_USAGE;
    }
    const int rc = commitRequest(ctx, restoreRequest(*kept, EWriteSource::CommandLine), !o.yes);
    if (rc == EXIT_OK && !o.yes)
        ctx.message("nothing written: add --yes to write the record of #" + std::to_string(kept->id) + " back");
    return rc;
}

int runImport(CCtlContext& ctx) {
    // The database itself, not the journal: the journal's own first-use import
    // would leave this one nothing to count.
    CHistoryDb db(ctx.journal().path());
    const HistoryImportResult r = db.open() ? db.importCarFiles(settingsFolder(), true) : HistoryImportResult{};
    if (!db.problem().empty()) {
        ctx.message(db.problem());
        return EXIT_FAILED;
    }
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("files").value(r.filesSeen).key("imported").value(r.imported)
                     .key("skipped").value(r.skipped).key("unreadable").value(r.unreadable).endObject());
    else
        ctx.out("files " + std::to_string(r.filesSeen) + ", imported " + std::to_string(r.imported) +
                ", already kept " + std::to_string(r.skipped) + ", unreadable " + std::to_string(r.unreadable));
    return EXIT_OK;
}

int runBackup(CCtlContext& ctx, const HistoryOptions& o) {
    return withHistory(ctx, [&](CHistoryDb& db) {
        std::string error;
        if (!db.backup(o.file, error)) {
            ctx.message(error);
            return EXIT_FAILED;
        }
        if (ctx.jsonOutput())
            ctx.json(CJsonWriter().beginObject().key("file").value(o.file).key("schema").value(db.schemaVersion())
                         .endObject());
        else
            ctx.out("written " + o.file);
        return EXIT_OK;
    });
}

CtlRunner declareHistory(CLI::App& cmd) {
    cmd.require_subcommand(1);
    auto o = std::make_shared<HistoryOptions>();
    CLI::App* cars = cmd.add_subcommand("cars", "the cars in the history, the latest first");
    cars->add_option("SEARCH", o->search, "only cars whose make, model, registration, VIN or identity contains it");
    CLI::App* show = cmd.add_subcommand("show", "a car's timeline: writes, setup runs, recordings, reports");
    show->add_option("CAR", o->car, "the car's number (history cars), registration, VIN or controller identity")
        ->required();
    CLI::App* diff = cmd.add_subcommand("diff", "what differs from the record of write ID1 to that of ID2");
    diff->add_option("ID1", o->first, "a write's number (#N in history show)")->required()->transform(decimal());
    diff->add_option("ID2", o->second, "another write's number")->required()->transform(decimal());
    CLI::App* restore = cmd.add_subcommand("restore", "print what writing a kept record back changes");
    restore->add_option("ID", o->first, "the write whose record goes back")->required()->transform(decimal());
    restore->add_flag("--yes", o->yes, "and write it into the controller")->disable_flag_override();
    CLI::App* import = cmd.add_subcommand("import", "take the car settings files into the history (again)");
    CLI::App* backup = cmd.add_subcommand("backup", "a consistent copy of the history database");
    backup->add_option("FILE", o->file, "the copy to write")->required()->check(nonEmpty());
    return [=](CCtlContext& ctx) {
        if (cars->parsed())
            return runCars(ctx, *o);
        if (show->parsed())
            return runShow(ctx, *o);
        if (diff->parsed())
            return runDiff(ctx, *o);
        if (restore->parsed())
            return runRestore(ctx, *o);
        return import->parsed() ? runImport(ctx) : runBackup(ctx, *o);
    };
}

const CCtlRegistration reg{{"history",
                            "history cars [SEARCH] | show CAR | diff ID1 ID2 | restore ID [--yes] | import | "
                            "backup FILE",
                            "the car history: cars, a car's timeline, two records compared, a kept record "
                            "written back, the car files imported, a copy of the database",
                            declareHistory}};

} // namespace

} // namespace zefirel::ctl
