// zefirelctl errors [clear], mode, sequence: service reads and switches.

#include <cstdio>

#include "CtlCli.h"
#include "link/Conversions.h"

namespace zefirel::ctl {

namespace {

int runErrors(CCtlContext& ctx, bool clear) {
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    CDeviceDoc& dev = ctx.device();
    if (clear) {
        if (!dev.clearErrors()) {
            ctx.message("Nie można skasować błędów urządzenia");
            return EXIT_FAILED;
        }
        if (ctx.jsonOutput())
            ctx.json(CJsonWriter().beginObject().key("cleared").value(true).endObject());
        else
            ctx.out("Błędy skasowane.");
        return EXIT_OK;
    }
    uint8_t report[ERROR_REPORT_SIZE] = {};
    if (!dev.readErrors(report)) {
        ctx.message("Nie można wczytać błędów urządzenia");
        return EXIT_FAILED;
    }
    const std::string text = dev.describeReport(report);
    if (ctx.jsonOutput()) {
        ctx.json(CJsonWriter().beginObject().key("report").array(report, ERROR_REPORT_SIZE).key("text").value(text).endObject());
    } else {
        ctx.out(text.empty() ? std::string("Brak błędów.") : plainLines(text));
    }
    return EXIT_OK;
}

CtlRunner declareErrors(CLI::App& cmd) {
    cmd.require_subcommand(0, 1);
    const CLI::App* clear = cmd.add_subcommand("clear", "clear the controller's error report");
    return [clear](CCtlContext& ctx) { return runErrors(ctx, clear->parsed()); };
}

int runMode(CCtlContext& ctx, const std::string& mode) {
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    CDeviceDoc& dev = ctx.device();
    bool ok;
    const char* failure;
    if (mode == "petrol") {
        ok = dev.setWorkPetrol();
        failure = "Nie powiodło się przełączenie na benzynę!";
    } else if (mode == "lpg") {
        ok = dev.setWorkLpg();
        failure = "Nie powiodło się przełączenie na LPG!";
    } else {
        ok = dev.setWorkAuto();
        failure = "Nie powiodło się przełączenie w tryb AUTO!";
    }
    if (!ok) {
        ctx.message(failure);
        return EXIT_FAILED;
    }
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("mode").value(mode).endObject());
    else
        ctx.out("mode: " + mode);
    return EXIT_OK;
}

CtlRunner declareMode(CLI::App& cmd) {
    cmd.require_subcommand(1);
    cmd.add_subcommand("petrol", "work on petrol");
    cmd.add_subcommand("lpg", "work on LPG");
    cmd.add_subcommand("auto", "the controller switches by itself");
    const CLI::App* mode = &cmd;
    return [mode](CCtlContext& ctx) { return runMode(ctx, mode->get_subcommands().front()->get_name()); };
}

int runSequence(CCtlContext& ctx) {
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    std::vector<SequenceItem> items;
    bool spread = false;
    if (!ctx.device().readSequence(items, spread)) {
        ctx.message("Nie można pobrać informacji o sekwencji wtrysków");
        return EXIT_FAILED;
    }
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject().key("items").beginArray();
        for (const SequenceItem& it : items) {
            w.beginObject();
            w.key("position").value(static_cast<int>(it.position));
            w.key("injector").value(static_cast<int>(it.injector));
            w.key("time").value(it.present ? round3(it.time) : 0.0);
            w.key("present").value(it.present);
            w.endObject();
        }
        w.endArray().key("spread").value(spread).endObject();
        ctx.json(w);
        return EXIT_OK;
    }
    for (const SequenceItem& it : items) {
        char line[96];
        if (it.present)
            std::snprintf(line, sizeof line, "%u. injector %u at %.3f ms", it.position, it.injector, it.time);
        else
            std::snprintf(line, sizeof line, "%u. injector %u: no signal", it.position, it.injector);
        ctx.out(line);
    }
    if (!spread)
        ctx.out("Silnik z wtryskiem niesekwencyjnym");
    return EXIT_OK;
}

const CCtlRegistration regErrors{{"errors", "errors [clear]", "read the error report, or clear it", declareErrors}};
const CCtlRegistration regMode{{"mode", "mode petrol|lpg|auto", "switch the work mode", declareMode}};
const CCtlRegistration regSequence{{"sequence", "sequence", "injector firing sequence", noArguments<runSequence>}};

} // namespace

} // namespace zefirel::ctl
