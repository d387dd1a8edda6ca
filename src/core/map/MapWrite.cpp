#include "map/MapWrite.h"

#include <algorithm>

#include "link/LPGDevice.h"

namespace zefirel {

const char* mapWriteMessage(EMapWrite result) {
    switch (result) {
    case EMapWrite::Ok: return "";
    case EMapWrite::ResetFailed:
    case EMapWrite::FinalResetFailed: return MSG_MAP_RESET_FAILED;
    case EMapWrite::WriteFailed: return MSG_MAP_WRITE_FAILED;
    case EMapWrite::VerifyFailed: return MSG_MAP_VERIFY_FAILED;
    case EMapWrite::SettingsReadFailed: return MSG_MAP_SETTINGS_READ_FAILED;
    case EMapWrite::SettingsFailed: return MSG_MAP_SETTINGS_FAILED;
    }
    return "";
}

bool readMapBytes(CLPGDevice& device, MapBytes& bytes) {
    const bool ok = device.readMap();
    std::copy_n(device.settings().map(), MAP_BYTES, bytes.begin());
    return ok;
}

EMapWrite writeMapVerified(CLPGDevice& device, const MapBytes& bytes, bool updateFlag) {
    std::copy(bytes.begin(), bytes.end(), device.settings().map());
    if (!device.resetController())
        return EMapWrite::ResetFailed;
    if (!device.writeMap())
        return EMapWrite::WriteFailed;
    // The checksum alone would pass a map the controller kept consistently but
    // differently: every byte read back must be the one sent.
    MapBytes back{};
    if (!readMapBytes(device, back) || back != bytes)
        return EMapWrite::VerifyFailed;
    if (updateFlag) {
        if (!device.controllerSettingsKnown() && !device.readSettings())
            return EMapWrite::SettingsReadFailed;
        CSettingsBlock& s = device.settings();
        const uint8_t flags = s.optionFlags();
        s.setValue(ESetting::optionFlags,
                   mapInUse(bytes) ? (flags | OPTION_MAP_IN_USE) : (flags & ~OPTION_MAP_IN_USE));
        if (!device.writeSettings())
            return EMapWrite::SettingsFailed;
    }
    if (!device.resetController())
        return EMapWrite::FinalResetFailed;
    return EMapWrite::Ok;
}

} // namespace zefirel
