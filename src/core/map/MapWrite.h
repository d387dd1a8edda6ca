#pragma once
/// Writing the injection map to the controller with verification: reset, write the
/// 400 bytes with their checksum, read them back (checksum and every byte must
/// match), set or clear the map-in-use flag in the settings and write them, reset.
/// The windowed program's "Wpisz" and the command line's "map write" share it.

#include "map/MapCompute.h"

namespace zefirel {

class CLPGDevice;

inline constexpr const char* MSG_MAP_READ_FAILED = "Nie powiodło się odczytanie mapy wtrysków z urządzenia!";
inline constexpr const char* MSG_MAP_RESET_FAILED = "Nie powiodło się zresetowanie urządzenia!";
inline constexpr const char* MSG_MAP_WRITE_FAILED = "Nie powiodło się wpisanie mapy wtrysków do urządzenia!";
inline constexpr const char* MSG_MAP_VERIFY_FAILED = "Nie powiodło się zweryfikowanie mapy wtrysków z urządzenia!";
inline constexpr const char* MSG_MAP_SETTINGS_READ_FAILED = "Nie powiodło się odczytanie ustawień urządzenia!";
inline constexpr const char* MSG_MAP_SETTINGS_FAILED = "Nie powiodło się wpisanie ustawień do urządzenia!";

/// How a map write ended: done, or the step that failed (the steps after it were
/// not taken).
enum class EMapWrite { Ok, ResetFailed, WriteFailed, VerifyFailed, SettingsReadFailed, SettingsFailed, FinalResetFailed };

/// The message of a failed step (empty for Ok).
const char* mapWriteMessage(EMapWrite result);

/// Writes bytes as the map, verified. With updateFlag, bit 0x02 of optionFlags is
/// set when a cell holds a correction and cleared otherwise, and the settings are
/// written (read first when none were read or written in this connection, so no
/// stale record reaches the controller); without it the settings are not touched.
/// A failed read-back leaves the flag as it was. Port errors pass to the caller.
EMapWrite writeMapVerified(CLPGDevice& device, const MapBytes& bytes, bool updateFlag = true);

/// Reads the map into bytes; false when the read or its checksum fails (bytes then
/// hold what was read, if anything).
bool readMapBytes(CLPGDevice& device, MapBytes& bytes);

} // namespace zefirel
