// zefirelctl eeprom read|write FILE and map read|write FILE: the controller's
// memory to and from files.

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "CtlCommon.h"
#include "support/FileUtil.h"

namespace zefirel::ctl {

namespace {

constexpr uint8_t MAP_IN_USE = 0x02;
constexpr uint8_t MAP_MAX_BYTE = 250; ///< +150 %

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
        ctx.message("Nie powiodło się odczytanie mapy wtrysków z urządzenia!");
        return EXIT_FAILED;
    }
    if (!writeFileAtomic(path, dev.settings().map(), block::MAP_SIZE))
        return ctx.usageError("cannot write " + path);
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("file").value(path).key("bytes").value(static_cast<int>(block::MAP_SIZE)).endObject());
    return EXIT_OK;
}

int mapWrite(CCtlContext& ctx, const std::string& path) {
    std::vector<uint8_t> map;
    if (!readFile(path, map, block::MAP_SIZE))
        return ctx.usageError("cannot read " + path);
    if (map.size() < block::MAP_SIZE)
        return ctx.usageError(path + " holds " + std::to_string(map.size()) + " bytes; a map holds 400");
    if (std::any_of(map.begin(), map.end(), [](uint8_t b) { return b > MAP_MAX_BYTE; }))
        return ctx.usageError(path + ": map cells range from 0 (-100 %) to 250 (+150 %)");
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    ctx.host().setProgressLabel("Mapa");
    CDeviceDoc& dev = ctx.device();
    const char* const resetFailed = "Nie powiodło się zresetowanie urządzenia!";
    if (!dev.resetController()) {
        ctx.message(resetFailed);
        return EXIT_FAILED;
    }
    std::copy(map.begin(), map.end(), dev.settings().map());
    if (!dev.writeMap()) {
        ctx.message("Nie powiodło się wpisanie mapy wtrysków do urządzenia!");
        return EXIT_FAILED;
    }
    // Verify: the checksum must match and every byte must be what was sent.
    if (!dev.readMap() || !std::equal(map.begin(), map.end(), dev.settings().map())) {
        ctx.message("Nie powiodło się zweryfikowanie mapy wtrysków z urządzenia!");
        return EXIT_FAILED;
    }
    const bool used = std::any_of(map.begin(), map.end(), [](uint8_t b) { return b != 100; });
    if (ctx.options().haveCar) {
        // As the program does: the map-in-use flag follows the map, in the settings.
        if (!dev.readSettings()) {
            ctx.message("Nie powiodło się odczytanie ustawień urządzenia!");
            return EXIT_FAILED;
        }
        uint8_t flags = dev.settings().optionFlags();
        flags = used ? (flags | MAP_IN_USE) : (flags & ~MAP_IN_USE);
        dev.settings().setValue(ESetting::optionFlags, flags);
        if (!dev.writeSettings()) {
            ctx.message("Nie powiodło się wpisanie ustawień do urządzenia!");
            return EXIT_FAILED;
        }
    } else {
        ctx.message("zefirelctl: the map-in-use flag was left as it was (give --car to set it)");
    }
    if (!dev.resetController()) {
        ctx.message(resetFailed);
        return EXIT_FAILED;
    }
    if (ctx.jsonOutput())
        ctx.json(CJsonWriter().beginObject().key("file").value(path).key("verified").value(true).key("used").value(used).endObject());
    return EXIT_OK;
}

int runMap(CCtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() == 2 && args[0] == "read")
        return mapRead(ctx, args[1]);
    if (args.size() == 2 && args[0] == "write")
        return mapWrite(ctx, args[1]);
    return ctx.usageError("usage: map read FILE | map write FILE");
}

const CCtlRegistration regEeprom{{"eeprom", "eeprom read|write FILE", "the whole 512-byte EEPROM to or from a file", runEeprom}};
const CCtlRegistration regMap{{"map", "map read|write FILE", "the 400-byte injection map to or from a file (write verifies)", runMap}};

} // namespace

} // namespace zefirel::ctl
