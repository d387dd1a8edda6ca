// zefirelctl eeprom read|write FILE and map read|write FILE: the controller's
// memory to and from files (map compute is in CmdMapCompute.cpp).

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "CtlCommon.h"
#include "map/MapWrite.h"
#include "support/FileUtil.h"

namespace zefirel::ctl {

int runMapCompute(CCtlContext& ctx, const std::vector<std::string>& args);

namespace {

constexpr uint8_t MAP_MAX_BYTE = MAP_MAX_PERCENT + MAP_NO_CORRECTION;

/// Whether a file can be created at path (its folder exists and is writable).
bool canCreate(const std::string& path) { return ::access(parentFolder(path).c_str(), W_OK) == 0; }

int runEeprom(CCtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 2 || (args[0] != "read" && args[0] != "write"))
        return ctx.usageError("usage: eeprom read FILE | eeprom write FILE");
    const std::string& path = args[1];
    if (args[0] == "read") {
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
    const bool ok = args[0] == "read" ? dev.readEepromToFile(path) : dev.writeEepromFromFile(path);
    if (!ok)
        return EXIT_FAILED; // the document has shown its message
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("file").value(path).key("bytes").value(static_cast<int>(EEPROM_SIZE)).endObject());
    return EXIT_OK;
}

int mapRead(CCtlContext& ctx, const std::string& path) {
    if (!canCreate(path))
        return ctx.usageError("cannot create " + path);
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    ctx.host().setProgressLabel("Mapa");
    CDeviceDoc& dev = ctx.device();
    if (!dev.readMap()) {
        ctx.message(MSG_MAP_READ_FAILED);
        return EXIT_FAILED;
    }
    if (!writeFileAtomic(path, dev.settings().map(), block::MAP_SIZE))
        return ctx.usageError("cannot write " + path);
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("file").value(path).key("bytes").value(static_cast<int>(block::MAP_SIZE)).endObject());
    return EXIT_OK;
}

int mapWrite(CCtlContext& ctx, const std::string& path) {
    std::vector<uint8_t> file;
    if (!readFile(path, file, MAP_BYTES))
        return ctx.usageError("cannot read " + path);
    if (file.size() < MAP_BYTES)
        return ctx.usageError(path + " holds " + std::to_string(file.size()) + " bytes; a map holds 400");
    if (std::any_of(file.begin(), file.end(), [](uint8_t b) { return b > MAP_MAX_BYTE; }))
        return ctx.usageError(path + ": map cells range from 0 (-100 %) to 250 (+150 %)");
    MapBytes map;
    std::copy_n(file.begin(), MAP_BYTES, map.begin());
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    ctx.host().setProgressLabel("Mapa");
    // As the program does, the map-in-use flag follows the map; writing it needs the
    // car data, so without --car the settings are left as they are.
    const bool updateFlag = ctx.options().haveCar;
    const EMapWrite result = writeMapVerified(ctx.device(), map, updateFlag);
    if (result != EMapWrite::Ok) {
        ctx.message(mapWriteMessage(result));
        return EXIT_FAILED;
    }
    if (!updateFlag)
        ctx.message("zefirelctl: the map-in-use flag was left as it was (give --car to set it)");
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("file").value(path).key("verified").value(true).key("used").value(mapInUse(map)).endObject());
    return EXIT_OK;
}

int runMap(CCtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty() && args[0] == "compute")
        return runMapCompute(ctx, std::vector<std::string>(args.begin() + 1, args.end()));
    if (args.size() == 2 && args[0] == "read")
        return mapRead(ctx, args[1]);
    if (args.size() == 2 && args[0] == "write")
        return mapWrite(ctx, args[1]);
    return ctx.usageError("usage: map read FILE | map write FILE | map compute RECORDING OUT [--timer-frequency F]");
}

const CCtlRegistration regEeprom{{"eeprom", "eeprom read|write FILE", "the whole 512-byte EEPROM to or from a file", runEeprom}};
const CCtlRegistration regMap{{"map", "map read|write FILE | map compute RECORDING OUT",
                                "the 400-byte injection map to or from a file (write verifies), or computed "
                                "from a recording (--timer-frequency F, default 40000)",
                                runMap}};

} // namespace

} // namespace zefirel::ctl
