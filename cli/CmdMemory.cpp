// zefirelctl eeprom read|write FILE and map read|write FILE: the controller's
// memory to and from files (map compute is in CmdMapCompute.cpp).

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "CtlCli.h"
#include "map/MapWrite.h"
#include "support/FileUtil.h"

namespace zefirel::ctl {

CtlRunner declareMapCompute(CLI::App& cmd);
CtlRunner declareMapLearn(CLI::App& cmd);

namespace {

constexpr uint8_t MAP_MAX_BYTE = MAP_MAX_PERCENT + MAP_NO_CORRECTION;

/// Whether a file can be created at path (its folder exists and is writable).
bool canCreate(const std::string& path) { return ::access(parentFolder(path).c_str(), W_OK) == 0; }

int runEeprom(CCtlContext& ctx, bool read, const std::string& path) {
    if (read) {
        if (!canCreate(path)) {
            ctx.message(MSG_EEPROM_FILE_OPEN);
            return EXIT_USAGE;
        }
    } else {
        // The image is checked before anything is sent: a short file sends nothing.
        std::vector<uint8_t> image;
        if (!readFile(path, image, EEPROM_SIZE)) {
            ctx.message(MSG_EEPROM_FILE_OPEN);
            return EXIT_USAGE;
        }
        if (image.size() < EEPROM_SIZE) {
            ctx.message(MSG_EEPROM_FILE_FORMAT);
            return EXIT_USAGE;
        }
    }
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    ctx.host().setProgressLabel("EEPROM");
    CDeviceDoc& dev = ctx.device();
    const bool ok = read ? dev.readEepromToFile(path) : dev.writeEepromFromFile(path);
    if (!ok)
        return EXIT_FAILED; // the document has shown its message
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("file").value(path).key("bytes").value(static_cast<int>(EEPROM_SIZE)).endObject());
    return EXIT_OK;
}

int mapRead(CCtlContext& ctx, const std::string& path) {
    if (!canCreate(path))
        return ctx.usageError("nie można utworzyć pliku " + path);
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    ctx.host().setProgressLabel("Mapa");
    CDeviceDoc& dev = ctx.device();
    if (!dev.readMap()) {
        ctx.message(MSG_MAP_READ_FAILED);
        return EXIT_FAILED;
    }
    if (!writeFileAtomic(path, dev.settings().map(), block::MAP_SIZE))
        return ctx.usageError("nie można zapisać pliku " + path);
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("file").value(path).key("bytes").value(static_cast<int>(block::MAP_SIZE)).endObject());
    return EXIT_OK;
}

int mapWrite(CCtlContext& ctx, const std::string& path) {
    std::vector<uint8_t> file;
    // One byte more than a map: a longer file is not a map, not even its start.
    if (!readFile(path, file, MAP_BYTES + 1))
        return ctx.usageError("nie można odczytać pliku " + path);
    if (file.size() != MAP_BYTES)
        return ctx.usageError(path + ": plik ma " + std::to_string(file.size()) + " bajtów, mapa ma ich 400");
    if (std::any_of(file.begin(), file.end(), [](uint8_t b) { return b > MAP_MAX_BYTE; }))
        return ctx.usageError(path + ": komórki mapy przyjmują wartości od 0 (-100 %) do 250 (+150 %)");
    MapBytes map;
    std::copy_n(file.begin(), MAP_BYTES, map.begin());
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    ctx.host().setProgressLabel("Mapa");
    // The map goes with the record that switches it on or off, through the one
    // write path (which needs the car data, as every write does).
    const SettingsWriteResult result =
        ctx.device().commitSettings(mapWriteRequest(ctx.device(), map, EWriteSource::CommandLine));
    if (!result.ok()) {
        ctx.message(result.message.empty() ? std::string("Nie powiodło się wpisanie ustawień do urządzenia!")
                                           : result.message);
        return result.outcome == EWriteOutcome::NoCarData ? EXIT_USAGE : EXIT_FAILED;
    }
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("file").value(path).key("verified").value(true).key("used").value(mapInUse(map)).endObject());
    return EXIT_OK;
}

/// Declares "read FILE" and "write FILE" under a command (exactly one of them);
/// the runner gets whether it was read, and the file.
CtlRunner declareReadWrite(CLI::App& cmd, const char* what, int (*run)(CCtlContext&, bool, const std::string&)) {
    cmd.require_subcommand(1);
    auto file = std::make_shared<std::string>();
    CLI::App* read = cmd.add_subcommand("read", std::string("read ") + what + " into FILE");
    CLI::App* write = cmd.add_subcommand("write", std::string("write FILE into ") + what);
    for (CLI::App* sub : {read, write})
        sub->add_option("FILE", *file, "the file")->required();
    return [file, read, run](CCtlContext& ctx) { return run(ctx, read->parsed(), *file); };
}

CtlRunner declareEeprom(CLI::App& cmd) { return declareReadWrite(cmd, "the controller's EEPROM", runEeprom); }

CtlRunner declareMap(CLI::App& cmd) {
    CtlRunner readOrWrite = declareReadWrite(cmd, "the controller's map", [](CCtlContext& ctx, bool read, const std::string& file) {
        return read ? mapRead(ctx, file) : mapWrite(ctx, file);
    });
    CLI::App* compute = cmd.add_subcommand("compute", "compute the map from a recording, without a controller");
    CtlRunner computeRunner = declareMapCompute(*compute);
    CLI::App* learn = cmd.add_subcommand("learn", "learn the map while the car is driven (a road test)");
    CtlRunner learnRunner = declareMapLearn(*learn);
    return [=](CCtlContext& ctx) {
        return compute->parsed() ? computeRunner(ctx) : learn->parsed() ? learnRunner(ctx) : readOrWrite(ctx);
    };
}

const CCtlRegistration regEeprom{{"eeprom", "eeprom read|write FILE", "the whole 512-byte EEPROM to or from a file", declareEeprom}};
const CCtlRegistration regMap{{"map", "map read|write FILE | map compute RECORDING OUT | map learn --seconds S",
                                "the 400-byte injection map to or from a file (a write needs --car and is verified), or computed "
                                "from a recording (--timer-frequency F, default 40000), or learned while driving",
                                declareMap}};

} // namespace

} // namespace zefirel::ctl
