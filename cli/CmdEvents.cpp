// zefirelctl events RECORDING: what happened on the drive; zefirelctl compare A B:
// two recordings cell by cell. Neither needs a controller.

#include <cstdio>

#include "CtlCli.h"
#include "diag/Recording.h"
#include "events/DiagEvents.h"
#include "events/RecordingCompare.h"
#include "link/Conversions.h"
#include "support/Error.h"

namespace zefirel::ctl {

namespace {

/// Runs work; a recording that cannot be read becomes its message and exit 1.
template <typename Work>
int readingRecording(CCtlContext& ctx, const std::string& path, Work work) {
    try {
        return work();
    } catch (IError* e) {
        const auto owned = adoptError(e);
        ctx.message(e->detail() == MSG_RECORDING_OPEN ? e->detail() + ": " + path : e->detail());
        return EXIT_FAILED;
    }
}

// --- events -------------------------------------------------------------------

struct EventsOptions {
    std::string recording;
    double frequency = 0;
};

void eventsJson(CCtlContext& ctx, const RecordingEvents& r) {
    CJsonWriter w;
    w.beginObject().key("samples").value(static_cast<int64_t>(r.samples));
    w.key("events").beginArray();
    for (const DiagEvent& e : r.events) {
        w.beginObject().key("sample").value(e.sampleNo).key("timeMs").value(e.timeMs);
        w.key("kind").value(eventKindKey(e.kind)).key("name").value(eventKindName(e.kind));
        if (e.kind == EEventKind::ToPetrol)
            w.key("byController").value(e.byController);
        w.key("values").beginObject();
        for (const EventValue& v : e.values)
            w.key(v.name).value(v.value);
        w.endObject().key("sentence").value(e.sentence).endObject();
    }
    w.endArray().key("markers").beginArray();
    for (const DiagMarker& m : r.markers)
        w.beginObject().key("sample").value(m.sampleNo).key("timeMs").value(m.timeMs).key("note").value(m.note)
            .endObject();
    w.endArray();
    linesJson(w, r.lines).endObject();
    ctx.json(w);
}

int runEvents(CCtlContext& ctx, const EventsOptions& o) {
    setTimerFrequency(o.frequency);
    return readingRecording(ctx, o.recording, [&] {
        const RecordingEvents r = findRecordingEvents(o.recording);
        requireRecords(o.recording, r.lines);
        if (const std::string notice = sidecarNotice(r.sidecar, o.recording); !notice.empty())
            ctx.message(notice);
        if (ctx.jsonOutput()) {
            eventsJson(ctx, r);
        } else {
            for (const DiagEvent& e : r.events)
                ctx.out("#" + std::to_string(e.sampleNo) + "  " + eventLine(e));
            for (const DiagMarker& m : r.markers)
                ctx.out("#" + std::to_string(m.sampleNo) + "  " + markerLine(m));
            ctx.out("Zdarzeń: " + std::to_string(r.events.size()) + ", znaczników: " +
                    std::to_string(r.markers.size()));
        }
        ctx.message(r.lines.linesSkipped ? recordingDamageText(o.recording, r.lines)
                                         : recordingStatsText(r.lines));
        return EXIT_OK;
    });
}

CtlRunner declareEvents(CLI::App& cmd) {
    auto o = std::make_shared<EventsOptions>();
    cmd.add_option("RECORDING", o->recording, "the recording to read")->required();
    addTimerFrequency(cmd, o->frequency);
    return [o](CCtlContext& ctx) { return runEvents(ctx, *o); };
}

// --- compare ------------------------------------------------------------------

struct CompareOptions {
    std::string a, b;
    double frequency = 0;
};

const char* changeCode(ECompareChange c) {
    switch (c) {
    case ECompareChange::Better: return "better";
    case ECompareChange::Worse: return "worse";
    case ECompareChange::Same: return "same";
    case ECompareChange::NotJudged: return "not-judged";
    }
    return "";
}

const char* changeText(ECompareChange c) {
    switch (c) {
    case ECompareChange::Better: return "lepiej";
    case ECompareChange::Worse: return "gorzej";
    case ECompareChange::Same: return "bez zmian";
    case ECompareChange::NotJudged: return "bez oceny";
    }
    return "";
}

void sideJson(CJsonWriter& w, const char* name, const CompareSide& s) {
    w.key(name).beginObject().key("petrolCount").value(s.petrolCount).key("lpgCount").value(s.lpgCount);
    w.key("petrolMs").value(s.petrolMs).key("lpgMs").value(s.lpgMs).key("judged").value(s.judged);
    if (s.judged)
        w.key("difference").value(s.difference);
    w.endObject();
}

/// "+3.2% (12/15)" or "-- (3/40)": a side's difference and its counts.
std::string sideText(const CompareSide& s) {
    char buf[64];
    if (s.judged)
        std::snprintf(buf, sizeof buf, "%+.1f%% (%d/%d)", s.difference, s.petrolCount, s.lpgCount);
    else
        std::snprintf(buf, sizeof buf, "-- (%d/%d)", s.petrolCount, s.lpgCount);
    return buf;
}

int runCompare(CCtlContext& ctx, const CompareOptions& o) {
    setTimerFrequency(o.frequency);
    CompareResult r;
    const int read = readingRecording(ctx, o.a + ", " + o.b, [&] {
        r = compareRecordings(o.a, o.b, MapUnits::ofFrequency(o.frequency));
        return EXIT_OK;
    });
    if (read != EXIT_OK)
        return read;
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject().key("cells").beginArray();
        for (const CompareCell& c : r.cells) {
            w.beginObject().key("speed").value(c.speedBucket * 1000).key("load").value(c.loadBucket * 10);
            sideJson(w, "a", c.a);
            sideJson(w, "b", c.b);
            if (c.verdict != ECompareChange::NotJudged)
                w.key("change").value(c.change);
            w.key("verdict").value(changeCode(c.verdict)).endObject();
        }
        w.endArray().key("verdict").value(r.verdict).endObject();
        ctx.json(w);
    } else {
        char line[200];
        std::snprintf(line, sizeof line, "%-10s %-10s %-18s %-18s %-8s %s", "obr/min", "podciśn.", "A: LPG/benz.",
                      "B: LPG/benz.", "zmiana", "ocena");
        ctx.out(line);
        for (const CompareCell& c : r.cells) {
            char change[16] = "--";
            if (c.verdict != ECompareChange::NotJudged)
                std::snprintf(change, sizeof change, "%+.1f", c.change);
            std::snprintf(line, sizeof line, "%-10s %-10s %-18s %-18s %-8s %s", compareSpeedText(c.speedBucket).c_str(),
                          compareLoadText(c.loadBucket).c_str(), sideText(c.a).c_str(), sideText(c.b).c_str(), change,
                          changeText(c.verdict));
            ctx.out(line);
        }
        ctx.out("Różnica czasu wtrysku benzyny na LPG względem jazdy na benzynie (w nawiasie próbki benzyna/LPG); "
                "\"--\": za mało próbek do oceny.");
        ctx.out(r.verdict);
    }
    ctx.message("A: " + (r.linesA.linesSkipped ? recordingDamageText(o.a, r.linesA) : recordingStatsText(r.linesA)));
    ctx.message("B: " + (r.linesB.linesSkipped ? recordingDamageText(o.b, r.linesB) : recordingStatsText(r.linesB)));
    return EXIT_OK;
}

CtlRunner declareCompare(CLI::App& cmd) {
    auto o = std::make_shared<CompareOptions>();
    cmd.add_option("A", o->a, "the recording before")->required();
    cmd.add_option("B", o->b, "the recording after")->required();
    addTimerFrequency(cmd, o->frequency);
    return [o](CCtlContext& ctx) { return runCompare(ctx, *o); };
}

const CCtlRegistration regEvents{{"events", "events RECORDING",
                                  "what happened on the drive: events and markers of a recording", declareEvents}};
const CCtlRegistration regCompare{{"compare", "compare A B",
                                   "two recordings compared per speed x load cell, with a verdict", declareCompare}};

} // namespace

} // namespace zefirel::ctl
