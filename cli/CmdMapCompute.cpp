// zefirelctl map compute RECORDING OUT: the injection map computed from a
// diagnostic recording, without a controller.

#include <cerrno>
#include <cstdlib>

#include "CtlCommon.h"
#include "diag/Recording.h"
#include "map/MapCompute.h"
#include "map/MapText.h"
#include "support/Error.h"
#include "support/FileUtil.h"

namespace zefirel::ctl {

namespace {

constexpr double MIN_FREQUENCY = 1000, MAX_FREQUENCY = 10000000;

void cellsJson(CJsonWriter& w, const MapResult& r) {
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

} // namespace

int runMapCompute(CCtlContext& ctx, const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    std::string frequencyText;
    bool haveFrequency = false;
    if (!takeOption(args, "--timer-frequency", frequencyText, haveFrequency) || args.size() != 2)
        return ctx.usageError("usage: map compute RECORDING OUT [--timer-frequency F]");
    double frequency = DEFAULT_TIMER_FREQUENCY;
    if (haveFrequency) {
        errno = 0;
        char* end = nullptr;
        frequency = std::strtod(frequencyText.c_str(), &end);
        if (frequencyText.empty() || *end != '\0' || errno != 0 || !(frequency >= MIN_FREQUENCY && frequency <= MAX_FREQUENCY))
            return ctx.usageError("--timer-frequency needs a frequency in Hz from 1000 to 10000000");
    }
    const std::string& recording = args[0];
    const std::string& out = args[1];

    uint64_t samples = 0;
    MapResult result;
    try {
        result = computeMapFromFile(recording, MapUnits::ofFrequency(frequency), &samples);
    } catch (IError* e) {
        delete e;
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
        cellsJson(w, result);
        w.key("samples").value(static_cast<int64_t>(samples)).key("used").value(static_cast<int64_t>(result.used));
        ctx.json(w.endObject());
    } else {
        std::fputs(formatMapTable(mapTextsOfResult(result)).c_str(), stdout);
        ctx.message(std::to_string(samples) + " samples read, " + std::to_string(result.used) +
                    " within the map's range; the map is in " + out);
    }
    return EXIT_OK;
}

} // namespace zefirel::ctl
