#include "map/MapWrite.h"

#include <algorithm>

#include "link/LPGDevice.h"

namespace zefirel {

bool readMapBytes(CLPGDevice& device, MapBytes& bytes) {
    const bool ok = device.readMap();
    std::copy_n(device.settings().map(), MAP_BYTES, bytes.begin());
    return ok;
}

SettingsWriteRequest mapWriteRequest(const CLPGDevice& device, const MapBytes& bytes, EWriteSource source) {
    SettingsWriteRequest request;
    request.wanted = device.settings();
    request.source = source;
    request.scope = EWriteScope::Map;
    request.map = bytes;
    return request;
}

} // namespace zefirel
