// zefirelctl record, replay: a diagnostic recording made from the command line,
// and a recording loaded back with a summary of what it holds.

#include <unistd.h>

#include <chrono>
#include <thread>

#include "CtlCli.h"
#include "diag/DiagSummary.h"
#include "diag/Recording.h"

namespace zefirel::ctl {

namespace {

constexpr const char* MSG_PETROL_FAILED = "Nie powiodło się przełączenie na benzynę!";
constexpr const char* MSG_LPG_FAILED = "Nie powiodło się przełączenie na LPG!";

struct RecordOptions {
    std::string file;
    double seconds = 0;
    int injector = 1;
    double lpgAfter = 0; ///< 0: LPG is not switched on during the run
};

int runRecord(CCtlContext& ctx, const RecordOptions& o) {
    const double seconds = o.seconds, lpgAfter = o.lpgAfter;
    const bool haveLpgAfter = lpgAfter > 0;
    if (!(seconds > 0) || seconds > 86400)
        return ctx.usageError("--seconds: potrzebna liczba sekund większa od 0 (najwyżej 86400)");
    if (haveLpgAfter && !(lpgAfter < seconds))
        return ctx.usageError("--lpg-after: potrzebna liczba sekund większa od 0 i mniejsza niż --seconds");
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;

    CDeviceDoc& dev = ctx.device();
    // A map drive: the first part on petrol, the rest on LPG, in one recording.
    if (haveLpgAfter && !dev.setWorkPetrol()) {
        ctx.message(MSG_PETROL_FAILED);
        return EXIT_FAILED;
    }
    dev.setSelectedInjector(o.injector);
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    dev.startDiagnostics(o.file);
    // An earlier recording there is moved aside, never truncated; when it cannot
    // be, the run records next to it under another name, reported below.
    const std::string file = dev.recordingPath();
    const auto lpgAt = start + std::chrono::duration<double>(lpgAfter);
    bool lpgDue = haveLpgAfter, switchFailed = false;
    while (std::chrono::steady_clock::now() < until && dev.diagnosticsOn()) {
        if (lpgDue && std::chrono::steady_clock::now() >= lpgAt) {
            lpgDue = false;
            switchFailed = !dev.setWorkLpg();
            if (switchFailed)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const bool endedEarly = !dev.diagnosticsOn();
    dev.stopDiagnostics();
    dev.waitInputThread(CLOSE_WAIT_MS);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const int count = dev.diagData().count();
    const bool created = ::access(file.c_str(), F_OK) == 0;
    if (!created)
        ctx.message(MSG_RECORDING_CREATE);
    else if (switchFailed)
        ctx.message(MSG_LPG_FAILED);
    else if (endedEarly)
        ctx.message("Brak połączenia");
    if (ctx.jsonOutput()) {
        ctx.json(CJsonWriter()
                     .beginObject()
                     .key("file").value(file)
                     .key("count").value(count)
                     .key("seconds").value(elapsed)
                     .key("samplesPerSecond").value(elapsed > 0 ? count / elapsed : 0.0)
                     .key("complete").value(created && !endedEarly && !switchFailed)
                     .endObject());
    } else {
        ctx.out("recorded " + std::to_string(count) + " samples in " + formatNumber(elapsed) + " s to " + file);
    }
    return created && !endedEarly && !switchFailed ? EXIT_OK : EXIT_FAILED;
}

CtlRunner declareRecord(CLI::App& cmd) {
    auto o = std::make_shared<RecordOptions>();
    cmd.add_option("FILE", o->file, "the recording to write (with its -config companion)")->required();
    cmd.add_option("--seconds", o->seconds, "how long to poll, above 0 and at most 86400")
        ->type_name("S")
        ->required();
    cmd.add_option("--injector", o->injector, "the injector whose petrol time is recorded, 1..8 (default 1)")
        ->type_name("N")
        ->transform(decimal())
        ->check(within(1, 8));
    cmd.add_option("--lpg-after", o->lpgAfter, "drive on petrol first and on LPG from S2 seconds on (a map drive)")
        ->type_name("S2")
        ->check(CLI::Validator(CLI::PositiveNumber).description(""));
    return [o](CCtlContext& ctx) { return runRecord(ctx, *o); };
}

void statsJson(CJsonWriter& w, const char* name, const ValueStats& s) {
    w.key(name).beginObject().key("min").value(s.min).key("mean").value(s.mean).key("max").value(s.max).endObject();
}

std::string statsText(const char* name, const ValueStats& s, int decimals) {
    char out[200];
    std::snprintf(out, sizeof out, "%-9s min %.*f  mean %.*f  max %.*f", name, decimals, s.min, decimals, s.mean,
                  decimals, s.max);
    return out;
}

int runReplay(CCtlContext& ctx, const std::string& file) {
    if (::access(file.c_str(), R_OK) != 0) {
        ctx.message(MSG_RECORDING_OPEN);
        return EXIT_FAILED;
    }
    CDeviceDoc& dev = ctx.device();
    dev.replayFile(file);
    const RecordingReadStats lines = dev.lastReplayStats();
    if (dev.lastReplayRefused()) {
        ctx.message("zefirelctl: " + file + " holds no readable record (" + recordingStatsTextEnglish(lines) + ")");
        return EXIT_FAILED;
    }
    const DiagSummary s = summarise(dev.diagData());
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject().key("count").value(s.count).key("firstSample").value(s.firstSample)
            .key("lastSample").value(s.lastSample);
        statsJson(w, "rpm", s.rpm);
        statsJson(w, "petrolMs", s.petrolMs);
        statsJson(w, "lpgMs", s.lpgMs);
        ctx.json(linesJson(w, lines).endObject());
    } else {
        ctx.out("lines     " + recordingStatsTextEnglish(lines));
        ctx.out("samples   " + std::to_string(s.count) + " (" + std::to_string(s.firstSample) + " .. " +
                std::to_string(s.lastSample) + ")");
        ctx.out(statsText("rpm", s.rpm, 0));
        ctx.out(statsText("petrol ms", s.petrolMs, 2));
        ctx.out(statsText("LPG ms", s.lpgMs, 2));
    }
    return EXIT_OK;
}

CtlRunner declareReplay(CLI::App& cmd) {
    auto file = std::make_shared<std::string>();
    cmd.add_option("FILE", *file, "the recording to load")->required();
    return [file](CCtlContext& ctx) { return runReplay(ctx, *file); };
}

const CCtlRegistration recordReg{{"record", "record FILE --seconds S [--injector N] [--lpg-after S2]",
                                  "poll diagnostics for S seconds into a recording and its companion; with "
                                  "--lpg-after on petrol first and on LPG from S2 seconds (a map drive)",
                                  declareRecord}};
const CCtlRegistration replayReg{{"replay", "replay FILE",
                                  "load a recording and print its sample count and engine figures", declareReplay}};

} // namespace

} // namespace zefirel::ctl
