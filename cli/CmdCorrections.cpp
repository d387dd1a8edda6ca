// zefirelctl corrections [get | set V1,...,V25]: the injection time correction
// curve, one correction in per cent for each whole millisecond of petrol time
// (0 .. 24 ms). "set" writes the curve together with its in-use flag, as the time
// correction view's "Wpisz do urządzenia" does.

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "CmdSettings.h"
#include "CtlCli.h"
#include "map/TimeCorrections.h"

namespace zefirel::ctl {

namespace {

/// The time correction view's message for a failed write of the curve.
constexpr const char* MSG_CURVE_WRITE_FAILED = "Nie powiodło się wpisanie ustawień urządzenia!";

/// Parses 25 comma-separated whole numbers within the edit limit. False with the
/// reason when the text is not such a list.
bool parseCurve(const std::string& text, TimeCorrectionCurve& out, std::string& error) {
    std::vector<std::string> words;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        words.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (words.size() != TIME_CORRECTION_POINTS) {
        error = "corrections set przyjmuje 25 wartości rozdzielonych przecinkami, podano " + std::to_string(words.size());
        return false;
    }
    const int limit = static_cast<int>(TIME_CORRECTION_EDIT_LIMIT);
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        errno = 0;
        char* end = nullptr;
        const long v = std::strtol(w.c_str(), &end, 10);
        if (w.empty() || *end != '\0' || errno != 0) {
            error = "wartość dla " + std::to_string(i) + " ms nie jest liczbą całkowitą: \"" + w + "\"";
            return false;
        }
        if (v < -limit || v > limit) {
            error = "wartość dla " + std::to_string(i) + " ms jest poza zakresem -25 .. 25: " + w;
            return false;
        }
        out[i] = static_cast<double>(v);
    }
    return true;
}

/// Prints the curve held in the device and whether the controller uses it.
void printCurve(CCtlContext& ctx) {
    const CSettingsBlock& blk = ctx.device().settings();
    const TimeCorrectionCurve curve = timeCorrections(blk);
    const bool inUse = (blk.optionFlags() & OPTION_FLAG_TIME_CORRECTIONS) != 0;
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject().key("corrections").beginArray();
        for (double v : curve) w.value(v);
        w.endArray().key("inUse").value(inUse).endObject();
        ctx.json(w);
        return;
    }
    for (size_t i = 0; i < curve.size(); ++i)
        ctx.out(std::to_string(i) + " ms: " + formatNumber(curve[i]) + " %");
    ctx.out(std::string("in use: ") + (inUse ? "yes" : "no"));
}

int runGet(CCtlContext& ctx) {
    if (const int rc = readControllerSettings(ctx, true); rc != EXIT_OK) return rc;
    printCurve(ctx);
    return EXIT_OK;
}

int runSet(CCtlContext& ctx, const std::string& list) {
    TimeCorrectionCurve curve{};
    std::string error;
    if (!parseCurve(list, curve, error)) return ctx.usageError(error);
    // The write needs the car data: refuse before anything is sent.
    if (!ctx.options().haveCar) {
        return ctx.carDataNeeded(MSG_CAR_DATA_MISSING);
    }
    if (const int rc = ctx.connect(); rc != EXIT_OK) return rc;
    CDeviceDoc& dev = ctx.device();
    const SettingsWriteResult r = dev.commitSettings(curveWriteRequest(dev, curve, EWriteSource::CommandLine));
    if (!r.ok()) {
        ctx.message(r.outcome == EWriteOutcome::WriteFailed || r.message.empty() ? std::string(MSG_CURVE_WRITE_FAILED)
                                                                                : r.message);
        return r.outcome == EWriteOutcome::NoCarData ? EXIT_USAGE : EXIT_FAILED;
    }
    // Show what the controller holds now.
    if (!dev.readTimeCorrections() || !dev.readSettings()) {
        ctx.message(MSG_SETTINGS_READ_FAILED);
        return EXIT_FAILED;
    }
    printCurve(ctx);
    return EXIT_OK;
}

CtlRunner declareCorrections(CLI::App& cmd) {
    cmd.require_subcommand(0, 1);
    cmd.add_subcommand("get", "read the curve and its in-use flag (the same as no word)");
    CLI::App* set = cmd.add_subcommand("set", "write the curve and switch it on (needs --car)");
    auto list = std::make_shared<std::string>();
    set->add_option("CURVE", *list, "V1,...,V25: whole per cent, -25 .. 25, for 0 .. 24 ms")->required();
    return [set, list](CCtlContext& ctx) { return set->parsed() ? runSet(ctx, *list) : runGet(ctx); };
}

const CCtlRegistration reg{{"corrections", "corrections [get | set V1,...,V25]",
                            "read the injection time correction curve, or write it with its in-use flag (writes "
                            "need --car)",
                            declareCorrections}};

} // namespace

} // namespace zefirel::ctl
