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
    const CarTexts texts = CCarInfo::carTexts(*file);
    CarData car;
    std::copy(texts.begin(), texts.end(), car.texts);
    if (!completeCarData(car))
        return false;
    out = car;
    return true;
}


bool sameTimeCorrections(const CSettingsBlock& a, const CSettingsBlock& b) {
    for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i)
        if (a.timeCorrection(i) != b.timeCorrection(i))
            return false;
    return true;
}

/// Applies a stored record to the controller's values read just now, prints the
/// changes and, unless dryRun, writes the time corrections (when they changed) and
/// the settings. The car data go into the record first, so only the controller's
/// values show as changes.
int applyAndWrite(CCtlContext& ctx, const CSettingsBlock& stored, const CarData* car, bool dryRun) {
    CDeviceDoc& dev = ctx.device();
    if (car) {
        ctx.host().setCarData(*car);
        for (size_t i = 0; i < 7; ++i)
            dev.settings().setCarText(static_cast<ECarText>(i), car->texts[i]);
    }
    const CSettingsBlock before = dev.settings();
    applyStoredRecord(stored, dev.settings(), true);
    if (const std::string problems = checkSettings(dev.settings()); !problems.empty()) {
        ctx.message(problems);
        return EXIT_USAGE;
    }
    const std::vector<SettingChange> changes = settingsChanges(before, dev.settings());
    printChanges(ctx, changes);
    if (!dryRun) {
        // The curve first: the settings may switch it on (optionFlags bit 0).
        if (!sameTimeCorrections(before, dev.settings()) && !dev.writeTimeCorrections()) {
            ctx.message(MSG_CORRECTIONS_WRITE_FAILED);
            return EXIT_FAILED;
        }
        if (!dev.writeSettings()) {
            ctx.message(MSG_SETTINGS_WRITE_FAILED);
            return EXIT_FAILED;
        }
    }
    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject().key("changes").beginArray();
        for (const SettingChange& c : changes)
            w.beginObject().key("name").value(c.name).key("before").value(c.before).key("after").value(c.after).endObject();
        w.endArray().key("written").value(!dryRun).endObject();
        ctx.json(w);
    }
    return EXIT_OK;
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
        ctx.message(MSG_CAR_DATA_MISSING);
        return EXIT_USAGE;
    }
    if (const int rc = readControllerSettings(ctx, true); rc != EXIT_OK)
        return rc;
    CDeviceDoc& dev = ctx.device();
    for (size_t i = 0; i < 7; ++i)
        dev.settings().setCarText(static_cast<ECarText>(i), car.texts[i]);
    dev.stampTime();
    if (!saveSettingsFile(o.file, dev.settings())) {
        ctx.message("Nie można zapisać pliku " + o.file);
        return EXIT_FAILED;
    }
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("file").value(o.file).key("label").value(dev.settings().timeStamp()).endObject());
    else
        ctx.out("written " + o.file + " (" + dev.settings().timeStamp() + ")");
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
        ctx.message(MSG_WRITE_NEEDS_CAR_DATA);
        return EXIT_USAGE;
    }
    if (const int rc = readControllerSettings(ctx, true); rc != EXIT_OK)
        return rc;
    return applyAndWrite(ctx, file, haveCar ? &car : nullptr, dryRun);
}

int runSettingsFactory(CCtlContext& ctx, const SettingsFileOptions& o) {
    const bool write = o.yes;
    CarData car;
    const bool haveCar = carDataFor(ctx, nullptr, car);
    if (write && !haveCar) {
        ctx.message(MSG_WRITE_NEEDS_CAR_DATA);
        return EXIT_USAGE;
    }
    if (const int rc = readControllerSettings(ctx, true); rc != EXIT_OK)
        return rc;
    const int rc = applyAndWrite(ctx, factorySettings(), haveCar ? &car : nullptr, !write);
    if (rc == EXIT_OK && !write)
        ctx.message("nothing written: add --yes to write the factory settings");
    return rc;
}

} // namespace zefirel::ctl
