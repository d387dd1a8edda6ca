// zefirelctl settings export | import | factory: whole settings records to and from
// car settings files, and the factory record. Whatever is written to the controller
// is printed first as "name: old → new" lines, against the values just read from it.

#include <algorithm>

#include "CmdSettings.h"
#include "settings/CarInfo.h"
#include "settings/SettingsCopy.h"

namespace zefirel::ctl {

namespace {

/// The time correction view's message for a failed write of the curve.
constexpr const char* MSG_CORRECTIONS_WRITE_FAILED = "Nie powiodło się wpisanie ustawień urządzenia!";

/// The car data the write will store: --car when given, otherwise the texts of a
/// loaded file when they are complete. False when there are none.
bool carDataFor(CCtlContext& ctx, const CSettingsBlock* file, CarData& out) {
    if (ctx.options().haveCar)
        return parseCarData(ctx.options().car, out);
    if (!file)
        return false;
    CarData car{CCarInfo::carTexts(*file)};
    if (!completeCarData(car))
        return false;
    out = car;
    return true;
}


/// Applies a stored record to the controller's values read just now and hands it
/// to the one write path (which lists the changes, resets around a sequence change
/// and writes the curve when it changes). The car data go into the record first,
/// so only the controller's values show as changes.
int applyAndWrite(CCtlContext& ctx, const CSettingsBlock& stored, const CarData* car, bool dryRun,
                  EWriteSource source) {
    CDeviceDoc& dev = ctx.device();
    SettingsWriteRequest request;
    request.wanted = dev.settings();
    if (car) {
        ctx.host().setCarData(*car);
        for (size_t i = 0; i < 7; ++i)
            request.wanted.setCarText(static_cast<ECarText>(i), car->texts[i]);
    }
    applyStoredRecord(stored, request.wanted, true);
    request.source = source;
    request.scope = EWriteScope::Record; // the stored curve is written with it
    return commitRequest(ctx, std::move(request), dryRun);
}

} // namespace

int readControllerSettings(CCtlContext& ctx, bool withCorrections) {
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    if (!ctx.device().readSettings() || (withCorrections && !ctx.device().readTimeCorrections())) {
        ctx.message(MSG_SETTINGS_READ_FAILED);
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

int commitRequest(CCtlContext& ctx, SettingsWriteRequest request, bool dryRun, bool jsonSummary) {
    std::vector<SettingChange> listed;
    request.confirm = [&ctx, &listed, dryRun](const std::vector<SettingChange>& changes) {
        listed = changes;
        printChanges(ctx, changes);
        return !dryRun;
    };
    const SettingsWriteResult r = ctx.device().commitSettings(request);
    const bool written = r.ok();
    if (jsonSummary && ctx.jsonOutput() && (written || r.outcome == EWriteOutcome::Declined)) {
        CJsonWriter w;
        w.beginObject().key("changes").beginArray();
        for (const SettingChange& c : listed)
            w.beginObject().key("name").value(c.name).key("before").value(c.before).key("after").value(c.after).endObject();
        w.endArray().key("written").value(written).key("reset").value(r.resetBefore).key("errorsCleared").value(r.errorsCleared);
        w.key("curveWritten").value(r.curveWritten).key("mapWritten").value(r.mapWritten).endObject();
        ctx.json(w);
    }
    switch (r.outcome) {
    case EWriteOutcome::Written:
        if (!r.message.empty())
            ctx.message(r.message); // the car file could not be saved; the controller has the record
        if (r.resetBefore && !ctx.jsonOutput())
            ctx.out("the controller was reset before the write and its errors cleared after it");
        return EXIT_OK;
    case EWriteOutcome::Declined:
        return EXIT_OK;
    case EWriteOutcome::NoCarData:
        return ctx.carDataNeeded(r.message);
    case EWriteOutcome::Refused:
        ctx.message(r.message);
        return EXIT_USAGE;
    case EWriteOutcome::WriteFailed:
        ctx.message(MSG_SETTINGS_WRITE_FAILED);
        return EXIT_FAILED;
    default:
        ctx.message(r.message);
        return EXIT_FAILED;
    }
}

void printChanges(CCtlContext& ctx, const std::vector<SettingChange>& changes) {
    const std::string text = changes.empty() ? std::string("no changes\n") : formatChanges(changes);
    if (ctx.jsonOutput()) {
        std::fputs(text.c_str(), stderr);
        return;
    }
    ctx.out(plainLines(text));
}

int runSettingsExport(CCtlContext& ctx, const SettingsFileOptions& o) {
    CarData car;
    if (!carDataFor(ctx, nullptr, car)) {
        return ctx.carDataNeeded(MSG_CAR_DATA_MISSING);
    }
    if (const int rc = readControllerSettings(ctx, true); rc != EXIT_OK)
        return rc;
    CSettingsBlock record = ctx.device().settings();
    for (size_t i = 0; i < 7; ++i)
        record.setCarText(static_cast<ECarText>(i), car.texts[i]);
    CLPGDevice::stampTime(record);
    if (!saveSettingsFile(o.file, record)) {
        ctx.message("Nie można zapisać pliku " + o.file);
        return EXIT_FAILED;
    }
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("file").value(o.file).key("label").value(record.timeStamp()).endObject());
    else
        ctx.out("written " + o.file + " (" + record.timeStamp() + ")");
    return EXIT_OK;
}

int runSettingsImport(CCtlContext& ctx, const SettingsFileOptions& o) {
    const bool dryRun = o.dryRun;
    // The file is checked before anything is sent.
    CSettingsBlock file;
    if (const ESettingsFileResult r = loadCarSettingsFile(o.file, file); r != ESettingsFileResult::Ok) {
        ctx.message(settingsFileMessage(r));
        return EXIT_USAGE;
    }
    CarData car;
    const bool haveCar = carDataFor(ctx, &file, car);
    if (!haveCar && !dryRun) {
        return ctx.carDataNeeded(MSG_WRITE_NEEDS_CAR_DATA);
    }
    if (const int rc = readControllerSettings(ctx, true); rc != EXIT_OK)
        return rc;
    return applyAndWrite(ctx, file, haveCar ? &car : nullptr, dryRun, EWriteSource::CommandLine);
}

int runSettingsFactory(CCtlContext& ctx, const SettingsFileOptions& o) {
    const bool write = o.yes;
    CarData car;
    const bool haveCar = carDataFor(ctx, nullptr, car);
    if (write && !haveCar) {
        return ctx.carDataNeeded(MSG_WRITE_NEEDS_CAR_DATA);
    }
    if (const int rc = readControllerSettings(ctx, true); rc != EXIT_OK)
        return rc;
    const int rc = applyAndWrite(ctx, factorySettings(), haveCar ? &car : nullptr, !write, EWriteSource::CommandLine);
    if (rc == EXIT_OK && !write)
        ctx.message("nothing written: add --yes to write the factory settings");
    return rc;
}

} // namespace zefirel::ctl
