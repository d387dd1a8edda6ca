// zefirelctl check RECORDING: the check after calibration, without a controller.

#include <cstdio>

#include "CtlCli.h"
#include "diag/Recording.h"
#include "map/AcceptanceCheck.h"
#include "support/Error.h"

namespace zefirel::ctl {

namespace {

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
    return r.verdict == ECheckVerdict::Pass ? EXIT_OK : EXIT_FAILED;
}

CtlRunner declareCheck(CLI::App& cmd) {
    auto o = std::make_shared<CheckOptions>();
    cmd.add_option("RECORDING", o->recording, "a drive recorded on petrol and then on LPG")->required();
    cmd.add_option("--tolerance", o->tolerance, "the difference in per cent a cell may show, 0.1 .. 50 (default 5)")
        ->type_name("P")
        ->check(within(0.1, 50.0));
    addTimerFrequency(cmd, o->frequency);
    return [o](CCtlContext& ctx) { return runCheck(ctx, *o); };
}

const CCtlRegistration reg{{"check", "check RECORDING [--tolerance P]",
                            "is the car set up well? petrol times on LPG vs petrol per map cell", declareCheck}};

} // namespace

} // namespace zefirel::ctl
