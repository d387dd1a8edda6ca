#pragma once
/// Writing the injection map goes through the controller's one write path
/// (CLPGDevice::commitSettings): with the map switched off while it is rewritten,
/// a reset, the 400 bytes with their checksum, a read-back of every byte, the
/// map-in-use bit in the record, and a reset. The windowed program's "Wpisz" and
/// the command line's "map write" build the same request.

#include "link/SettingsWrite.h"
#include "map/MapCompute.h"

namespace zefirel {

class CLPGDevice;

inline constexpr const char* MSG_MAP_READ_FAILED = "Nie powiodło się odczytanie mapy wtrysków z urządzenia!";

/// The request that writes bytes as the map through the one write path: verified
/// byte for byte, the map-in-use bit following the map, every other value the
/// controller's own; the remarks and car texts are the document's.
SettingsWriteRequest mapWriteRequest(const CLPGDevice& device, const MapBytes& bytes, EWriteSource source);

/// Reads the map into bytes; false when the read or its checksum fails (bytes then
/// hold what was read, if anything).
bool readMapBytes(CLPGDevice& device, MapBytes& bytes);

} // namespace zefirel
