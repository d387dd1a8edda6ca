// zefirelctl record, replay: a diagnostic recording made from the command line,
// and a recording loaded back with a summary of what it holds.

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "CtlCommon.h"
#include "diag/DiagSummary.h"
#include "diag/Recording.h"

namespace zefirel::ctl {

namespace {

constexpr const char* MSG_PETROL_FAILED = "Nie powiodło się przełączenie na benzynę!";
constexpr const char* MSG_LPG_FAILED = "Nie powiodło się przełączenie na LPG!";

bool parseNumber(const std::string& text, double& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

int runRecord(CCtlContext& ctx, const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    std::string secondsText, injectorText, lpgAfterText;
    bool haveSeconds = false, haveInjector = false, haveLpgAfter = false;
    if (!takeOption(args, "--seconds", secondsText, haveSeconds) ||
        !takeOption(args, "--injector", injectorText, haveInjector) ||
        !takeOption(args, "--lpg-after", lpgAfterText, haveLpgAfter) || args.size() != 1 || !haveSeconds)
        return ctx.usageError("usage: record FILE --seconds S [--injector N] [--lpg-after S2]");
    double seconds = 0, injector = 1;
    if (!parseNumber(secondsText, seconds) || !(seconds > 0) || seconds > 86400)
        return ctx.usageError("--seconds needs a number of seconds above 0 (at most 86400)");
    if (haveInjector && (!parseNumber(injectorText, injector) || injector != static_cast<int>(injector) ||
                         injector < 1 || injector > 8))
        return ctx.usageError("--injector needs a whole number from 1 to 8");
    double lpgAfter = 0;
    if (haveLpgAfter && (!parseNumber(lpgAfterText, lpgAfter) || !(lpgAfter > 0) || !(lpgAfter < seconds)))
        return ctx.usageError("--lpg-after needs a number of seconds above 0 and below --seconds");
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;

    CDeviceDoc& dev = ctx.device();
    // A map drive: the first part on petrol, the rest on LPG, in one recording.
    if (haveLpgAfter && !dev.setWorkPetrol()) {
        ctx.message(MSG_PETROL_FAILED);
        return EXIT_FAILED;
    }
    dev.setSelectedInjector(static_cast<int>(injector));
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    dev.startDiagnostics(args[0]);
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

void statsJson(CJsonWriter& w, const char* name, const ValueStats& s) {
    w.key(name).beginObject().key("min").value(s.min).key("mean").value(s.mean).key("max").value(s.max).endObject();
}

std::string statsText(const char* name, const ValueStats& s, int decimals) {
    char out[200];
    std::snprintf(out, sizeof out, "%-9s min %.*f  mean %.*f  max %.*f", name, decimals, s.min, decimals, s.mean,
                  decimals, s.max);
    return out;
}

int runReplay(CCtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ctx.usageError("usage: replay FILE");
    const std::string& file = args[0];
    if (::access(file.c_str(), R_OK) != 0) {
        ctx.message(MSG_RECORDING_OPEN);
        return EXIT_FAILED;
    }
    CDeviceDoc& dev = ctx.device();
    dev.replayFile(file);
    const DiagSummary s = summarise(dev.diagData());
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject().key("count").value(s.count).key("firstSample").value(s.firstSample)
            .key("lastSample").value(s.lastSample);
        statsJson(w, "rpm", s.rpm);
        statsJson(w, "petrolMs", s.petrolMs);
        statsJson(w, "lpgMs", s.lpgMs);
        ctx.json(w.endObject());
    } else {
        ctx.out("samples   " + std::to_string(s.count) + " (" + std::to_string(s.firstSample) + " .. " +
                std::to_string(s.lastSample) + ")");
        ctx.out(statsText("rpm", s.rpm, 0));
        ctx.out(statsText("petrol ms", s.petrolMs, 2));
        ctx.out(statsText("LPG ms", s.lpgMs, 2));
    }
    return EXIT_OK;
}

const CCtlRegistration recordReg{{"record", "record FILE --seconds S [--injector N] [--lpg-after S2]",
                                  "poll diagnostics for S seconds into a recording and its companion; with "
                                  "--lpg-after on petrol first and on LPG from S2 seconds (a map drive)",
                                  runRecord}};
const CCtlRegistration replayReg{{"replay", "replay FILE",
                                  "load a recording and print its sample count and engine figures", runReplay}};

} // namespace

} // namespace zefirel::ctl
