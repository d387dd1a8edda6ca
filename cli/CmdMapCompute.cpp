// zefirelctl map compute RECORDING OUT: the injection map computed from a
// diagnostic recording, without a controller.

#include "CtlCli.h"
#include "diag/Recording.h"
#include "map/MapCompute.h"
#include "map/MapText.h"
#include "support/Error.h"
#include "support/FileUtil.h"

#include <unistd.h>

namespace zefirel::ctl {

/// The 88 cells of a computation: "cells", 8 arrays (speed buckets) of 11 objects.
void mapCellsJson(CJsonWriter& w, const MapResult& r) {
    w.key("cells").beginArray();
    for (const auto& speed : r.cells) {
        w.beginArray();
        for (const MapCell& c : speed)
            w.beginObject()
                .key("petrolCount").value(c.petrolCount)
                .key("petrolMean").value(c.petrolMean)
                .key("lpgCount").value(c.lpgCount)
                .key("lpgMean").value(c.lpgMean)
                .key("correction").value(c.correction)
                .endObject();
        w.endArray();
    }
    w.endArray();
}

namespace {

struct ComputeOptions {
    std::string recording, out;
    double frequency = 0;
};

int runMapCompute(CCtlContext& ctx, const ComputeOptions& o) {
    const std::string& recording = o.recording;
    const std::string& out = o.out;
    if (outputIsRecording(recording, out)) {
        ctx.message("zefirelctl: " + out + " is the recording (or its -config file) itself; nothing written");
        return EXIT_FAILED;
    }
    uint64_t samples = 0;
    RecordingReadStats lines;
    MapResult result;
    try {
        result = computeMapFromFile(recording, MapUnits::ofFrequency(o.frequency), &samples, &lines);
    } catch (IError* e) {
        delete e;
        if (lines.linesUsed == 0 && ::access(recording.c_str(), R_OK) == 0)
            ctx.message("zefirelctl: " + recording + " holds no readable record (" + recordingStatsTextEnglish(lines) +
                        "); nothing written");
        else
            ctx.message(MSG_RECORDING_OPEN);
        return EXIT_FAILED;
    }
    if (!writeFileAtomic(out, result.bytes.data(), result.bytes.size())) {
        ctx.message("zefirelctl: cannot write " + out);
        return EXIT_FAILED;
    }
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject().key("map").array(result.bytes.data(), result.bytes.size());
        mapCellsJson(w, result);
        w.key("samples").value(static_cast<int64_t>(samples)).key("used").value(static_cast<int64_t>(result.used));
        ctx.json(linesJson(w, lines).endObject());
    } else {
        std::fputs(formatMapTable(mapTextsOfResult(result)).c_str(), stdout);
        ctx.message(std::to_string(samples) + " samples read, " + std::to_string(result.used) +
                    " within the map's range; the map is in " + out);
        ctx.message(recordingStatsTextEnglish(lines));
    }
    return EXIT_OK;
}

} // namespace

CtlRunner declareMapCompute(CLI::App& cmd) {
    auto o = std::make_shared<ComputeOptions>();
    cmd.add_option("RECORDING", o->recording, "a map drive: on petrol, then on LPG over the same points")->required();
    cmd.add_option("OUT", o->out, "the 400-byte map file to write")->required();
    addTimerFrequency(cmd, o->frequency);
    return [o](CCtlContext& ctx) { return runMapCompute(ctx, *o); };
}

} // namespace zefirel::ctl
