// zefirelctl map learn: the injection map learned while the car is driven (the
// road test), optionally written through the checked path and checked by a second
// pass on LPG.

#include <algorithm>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "CtlCli.h"
#include "map/MapLearnSession.h"
#include "map/MapText.h"
#include "map/MapWrite.h"
#include "support/FileUtil.h"

namespace zefirel::ctl {

void mapCellsJson(CJsonWriter& w, const MapResult& r);

namespace {

constexpr const char* MSG_PETROL_FAILED = "Nie powiodło się przełączenie na benzynę!";
constexpr const char* MSG_LPG_FAILED = "Nie powiodło się przełączenie na LPG!";
constexpr const char* MSG_LINE_LOST = "Brak połączenia";
constexpr const char* MSG_NOTHING_LEARNED =
    "Żadna komórka nie zebrała dość próbek na benzynie i na LPG; mapa nie została wpisana";
/// How often the samples are taken from the store, and the progress shown.
constexpr int FEED_PERIOD_MS = 100;
constexpr int PROGRESS_PERIOD_MS = 1000;

struct LearnOptions {
    double seconds = 0;
    double lpgAfter = 0; ///< 0: the fuel is left as it is
    std::string out;
    bool write = false;
    int passes = 1;
};

/// "przejazd 1: komórki 12 z 30 (40%), pominięte próbki 310"
std::string progressText(const CMapLearner& l) {
    const bool check = l.checking();
    return "Nauka mapy, przejazd " + std::to_string(l.pass()) + ": " +
           (check ? "w tolerancji " : "komórki gotowe ") + std::to_string(l.doneCells()) + " (" +
           std::to_string(l.doneShare()) + "%), pominięte próbki " + std::to_string(l.ignoredTotal());
}

/// How long the check pass stays on petrol before it goes to LPG.
double checkPetrolSeconds(double seconds) { return std::min(2.0, seconds / 8); }

/// Polls for `seconds`, feeding the session, switching to LPG at lpgAfter (when
/// above 0). A lost line is reconnected while there is time left; the table stays.
/// Returns the message of a failure, empty when the drive went to its end.
std::string drive(CCtlContext& ctx, CMapLearnSession& session, double seconds, double lpgAfter) {
    using clock = std::chrono::steady_clock;
    CDeviceDoc& dev = ctx.device();
    if (lpgAfter > 0 && !dev.setWorkPetrol())
        return MSG_PETROL_FAILED;
    const auto start = clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    const auto lpgAt = start + std::chrono::duration<double>(lpgAfter);
    bool lpgDue = lpgAfter > 0;
    dev.startDiagnostics();
    auto shownAt = start - std::chrono::milliseconds(PROGRESS_PERIOD_MS);
    std::string failure;
    while (clock::now() < until) {
        if (!dev.diagnosticsOn()) {
            // The line was lost: what was learned stays; go on after a reconnect.
            session.feed(dev.diagData());
            session.lineLost();
            dev.waitInputThread(CLOSE_WAIT_MS);
            if (!dev.reconnect()) {
                failure = MSG_LINE_LOST;
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                continue;
            }
            failure.clear();
            dev.startDiagnostics();
        }
        if (lpgDue && clock::now() >= lpgAt) {
            lpgDue = false;
            if (!dev.setWorkLpg()) {
                failure = MSG_LPG_FAILED;
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(FEED_PERIOD_MS));
        session.feed(dev.diagData());
        if (clock::now() - shownAt >= std::chrono::milliseconds(PROGRESS_PERIOD_MS)) {
            shownAt = clock::now();
            ctx.host().progress().show(progressText(session.learner()));
        }
    }
    dev.stopDiagnostics();
    dev.waitInputThread(CLOSE_WAIT_MS);
    session.feed(dev.diagData());
    ctx.host().progress().show(progressText(session.learner()));
    ctx.host().progress().end();
    return failure;
}

/// Writes the session's proposal through the checked path, listing the changes on
/// standard error. Returns the failure's message, empty when written.
std::string writeProposal(CCtlContext& ctx, CMapLearnSession& session) {
    CDeviceDoc& dev = ctx.device();
    ctx.host().setProgressLabel("Mapa");
    const SettingsWriteRequest request = session.writeRequest(dev, [&ctx](const std::vector<SettingChange>& changes) {
        for (const SettingChange& c : changes)
            ctx.message(c.name + ": " + c.before + " -> " + c.after);
        return true;
    });
    const SettingsWriteResult result = dev.commitSettings(request);
    ctx.host().setProgressLabel("");
    if (session.noteWrite(request, result))
        return {};
    return result.message.empty() ? std::string(MSG_MAP_WRITE_FAILED) : result.message;
}

void resultJson(CCtlContext& ctx, const CMapLearnSession& session, const MapBytes& map, bool written,
                const std::vector<LearnResidual>& residuals) {
    const CMapLearner& l = session.learner();
    CJsonWriter w;
    w.beginObject().key("map").array(map.data(), map.size());
    mapCellsJson(w, l.firstPass());
    w.key("ignored").beginObject();
    for (int i = 0; i < LEARN_IGNORE_REASONS; ++i)
        w.key(learnIgnoreKey(ELearnIgnore(i))).value(static_cast<int64_t>(l.ignored(ELearnIgnore(i))));
    w.endObject().key("written").value(written).key("residual").beginArray();
    for (const LearnResidual& r : residuals)
        w.beginObject().key("speed").value(r.speed).key("load").value(r.load).key("percent").value(r.percent).endObject();
    ctx.json(w.endArray().endObject());
}

void resultText(CCtlContext& ctx, const CMapLearnSession& session, const MapBytes& map, bool written,
                const std::vector<LearnResidual>& residuals) {
    const CMapLearner& l = session.learner();
    std::fputs(formatMapTable(mapTextsOfBytes(map)).c_str(), stdout);
    ctx.out("pass " + std::to_string(l.pass()) + ": cells driven " + std::to_string(l.drivenCells()) + ", done " +
            std::to_string(l.doneCells()) + " (" + std::to_string(l.doneShare()) + "%)");
    for (int i = 0; i < LEARN_IGNORE_REASONS; ++i)
        ctx.out(std::string("ignored ") + learnIgnoreKey(ELearnIgnore(i)) + " " +
                std::to_string(l.ignored(ELearnIgnore(i))));
    for (const LearnResidual& r : residuals)
        ctx.out("residual " + std::to_string(r.speed * 1000) + "-" + std::to_string(r.speed * 1000 + 1000) + " rpm, load " +
                std::to_string(r.load * 10) + "-" + std::to_string(r.load * 10 + 10) + " kPa: " + formatNumber(r.percent) +
                " %");
    ctx.out(written ? "the map was written into the controller" : "the map was not written");
}

int runMapLearn(CCtlContext& ctx, const LearnOptions& o) {
    if (!(o.seconds > 0) || o.seconds > 86400)
        return ctx.usageError("--seconds: potrzebna liczba sekund większa od 0 (najwyżej 86400)");
    if (o.lpgAfter > 0 && !(o.lpgAfter < o.seconds))
        return ctx.usageError("--lpg-after: potrzebna liczba sekund większa od 0 i mniejsza niż --seconds");
    if (o.passes == 2 && !o.write)
        return ctx.usageError("--passes 2: drugi przejazd sprawdza wpisaną mapę, potrzebna opcja --write");
    if (!o.out.empty() && ::access(parentFolder(o.out).c_str(), W_OK) != 0)
        return ctx.usageError("nie można utworzyć pliku " + o.out);
    if (o.write && !ctx.options().haveCar)
        return ctx.carDataNeeded(MSG_WRITE_NO_CAR_DATA);
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;

    CMapLearnSession session;
    if (!session.start(ctx.device())) {
        ctx.message(MSG_MAP_READ_FAILED);
        return EXIT_FAILED;
    }
    std::string failure = drive(ctx, session, o.seconds, o.lpgAfter);
    bool written = false;
    std::vector<LearnResidual> residuals; // the check pass's, also when its refinement is written
    if (failure.empty() && o.write) {
        if (session.learner().doneCells() == 0) {
            failure = MSG_NOTHING_LEARNED;
        } else {
            failure = writeProposal(ctx, session);
            written = failure.empty();
        }
    }
    if (failure.empty() && written && o.passes == 2) {
        // The check pass: a short start on petrol, then LPG with the written map in
        // use. The map is looked up by the petrol time the car's computer gives, and
        // on LPG without a map that time carries the computer's fuel trim; on petrol
        // the trim goes back to its petrol value, so the LPG part begins where the
        // written cells are found.
        failure = drive(ctx, session, o.seconds, checkPetrolSeconds(o.seconds));
        residuals = session.learner().residuals();
        // A cell outside the tolerance is refined (written + residual) and written.
        if (failure.empty() && !session.learner().residuals().empty() && !session.learner().converged()) {
            bool outside = false;
            for (const LearnResidual& r : session.learner().residuals())
                outside = outside || session.learner().cell(r.speed, r.load).state == ELearnCell::Outside;
            if (outside)
                failure = writeProposal(ctx, session);
        }
    }
    const MapBytes map = session.proposedMap();
    if (!o.out.empty() && !writeFileAtomic(o.out, map.data(), map.size())) {
        ctx.message("zefirelctl: cannot write " + o.out);
        return EXIT_FAILED;
    }
    if (!failure.empty()) {
        ctx.message(failure);
        if (failure != MSG_NOTHING_LEARNED)
            return EXIT_FAILED;
    }
    if (ctx.jsonOutput())
        resultJson(ctx, session, map, written, residuals);
    else
        resultText(ctx, session, map, written, residuals);
    const bool judged = session.learner().doneCells() > 0 || !residuals.empty();
    return (o.write ? written : judged) ? EXIT_OK : EXIT_FAILED;
}

} // namespace

CtlRunner declareMapLearn(CLI::App& cmd) {
    auto o = std::make_shared<LearnOptions>();
    cmd.add_option("--seconds", o->seconds, "how long to learn (each pass), above 0 and at most 86400")
        ->type_name("S")
        ->required();
    cmd.add_option("--lpg-after", o->lpgAfter, "drive on petrol first and on LPG from S2 seconds on")
        ->type_name("S2")
        ->check(CLI::Validator(CLI::PositiveNumber).description(""));
    cmd.add_option("--out", o->out, "the 400-byte map file to write the proposed map to")->type_name("FILE");
    cmd.add_flag("--write", o->write, "write the map through the checked path (needs --car)")->disable_flag_override();
    cmd.add_option("--passes", o->passes, "2: after the write, a second pass on LPG checks and refines it")
        ->type_name("N")
        ->transform(decimal())
        ->check(within(1, 2));
    return [o](CCtlContext& ctx) { return runMapLearn(ctx, *o); };
}

} // namespace zefirel::ctl
