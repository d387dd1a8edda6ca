// zefirelctl check RECORDING: the check after calibration, without a controller.

#include <cstdio>

#include "CtlCli.h"
#include "diag/Recording.h"
#include "map/AcceptanceCheck.h"
#include "support/Error.h"

namespace zefirel::ctl {

namespace {

/// Too little of the map judged for a verdict ("za mało danych"): neither a pass
/// nor a fail, so a script can tell "drive more" from "correct the settings".
constexpr int EXIT_TOO_LITTLE_DATA = 3;
static_assert(EXIT_TOO_LITTLE_DATA != EXIT_OK && EXIT_TOO_LITTLE_DATA != EXIT_FAILED &&
              EXIT_TOO_LITTLE_DATA != EXIT_USAGE);

const char* stateCode(ECheckCell s) {
    switch (s) {
    case ECheckCell::Empty: return "empty";
    case ECheckCell::TooFew: return "too-few";
    case ECheckCell::Pass: return "pass";
    case ECheckCell::Fail: return "fail";
    }
    return "";
}

const char* verdictCode(ECheckVerdict v) {
    switch (v) {
    case ECheckVerdict::Pass: return "pass";
    case ECheckVerdict::Fail: return "fail";
    case ECheckVerdict::NoData: return "no-data";
    }
    return "";
}

void writeJson(CCtlContext& ctx, const AcceptanceResult& r) {
    CJsonWriter w;
    w.beginObject().key("verdict").value(verdictCode(r.verdict)).key("tolerance").value(r.tolerance);
    w.key("passed").value(r.passed).key("failed").value(r.failed).key("tooFew").value(r.tooFew);
    w.key("minJudged").value(ACCEPT_MIN_JUDGED).key("minJudgedShare").value(ACCEPT_MIN_JUDGED_SHARE);
    w.key("worst").value(r.worst).key("samples").value(static_cast<int64_t>(r.samples));
    linesJson(w, r.lines);
    w.key("cells").beginArray();
    for (int row = 0; row < MAP_ROWS; ++row)
        for (int column = 0; column < MAP_COLUMNS; ++column) {
            const CheckCell& c = r.cells[row][column];
            if (c.state == ECheckCell::Empty)
                continue;
            w.beginObject().key("row").value(row).key("column").value(column).key("state").value(stateCode(c.state));
            w.key("difference").value(c.difference).key("petrolCount").value(c.petrolCount);
            w.key("lpgCount").value(c.lpgCount).endObject();
        }
    w.endArray().endObject();
    ctx.json(w);
}

struct CheckOptions {
    std::string recording;
    double tolerance = ACCEPT_DEFAULT_TOLERANCE;
    double frequency = 0;
};

int runCheck(CCtlContext& ctx, const CheckOptions& o) {
    AcceptanceResult r;
    try {
        r = checkRecording(o.recording, o.tolerance, MapUnits::ofFrequency(o.frequency));
    } catch (IError* e) {
        // The file that cannot be opened, or the refusal of one without a record.
        const auto owned = adoptError(e);
        ctx.message(e->detail() == MSG_RECORDING_OPEN ? e->detail() + ": " + o.recording : e->detail());
        return EXIT_FAILED;
    }
    if (ctx.jsonOutput()) {
        writeJson(ctx, r);
    } else {
        std::fputs(formatMapTable(checkTexts(r)).c_str(), stdout);
        ctx.out("Różnica czasu wtrysku benzyny na LPG względem jazdy na benzynie; \"!\" poza tolerancją, "
                "\"za mało\": za mało próbek.");
        ctx.out(checkVerdictText(r));
    }
    ctx.message(r.lines.linesSkipped ? recordingDamageText(o.recording, r.lines) : recordingStatsText(r.lines));
    switch (r.verdict) {
    case ECheckVerdict::Pass: return EXIT_OK;
    case ECheckVerdict::NoData: return EXIT_TOO_LITTLE_DATA;
    case ECheckVerdict::Fail: break;
    }
    return EXIT_FAILED;
}

CtlRunner declareCheck(CLI::App& cmd) {
    auto o = std::make_shared<CheckOptions>();
    cmd.add_option("RECORDING", o->recording, "a drive recorded on petrol and then on LPG")->required();
    cmd.add_option("--tolerance", o->tolerance, "the difference in per cent a cell may show, 0.1 .. 50 (default 5)")
        ->type_name("P")
        ->check(within(0.1, 50.0));
    addTimerFrequency(cmd, o->frequency);
    cmd.footer("Exit status of check: 0 the settings pass, 1 they need correcting (or the recording cannot\n"
               "be read), 3 too little data: fewer than " + std::to_string(ACCEPT_MIN_JUDGED) +
               " operating points judged, or fewer than\n" + std::to_string(ACCEPT_MIN_JUDGED_SHARE) +
               " % of those driven (\"za mało danych\"); 2 bad usage.");
    return [o](CCtlContext& ctx) { return runCheck(ctx, *o); };
}

const CCtlRegistration reg{{"check", "check RECORDING [--tolerance P]",
                            "is the car set up well? petrol times on LPG vs petrol per map cell", declareCheck}};

} // namespace

} // namespace zefirel::ctl
