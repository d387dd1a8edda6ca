#pragma once
/// Command ids of the menus, toolbar and the display view's buttons, as the
/// program's menu resources number them.

namespace zefirel {

inline constexpr int CMD_DIAGNOSTIC = 32775;
inline constexpr int CMD_REPLAY = 32783;
inline constexpr int CMD_MANUAL_SETTINGS = 32790;
inline constexpr int CMD_AUTO_SETTINGS = 32791;
inline constexpr int CMD_INJ_SEQUENCE = 32792;
inline constexpr int CMD_EEPROM_READ = 32793;
inline constexpr int CMD_EEPROM_WRITE = 32794;
inline constexpr int CMD_ERRORS_READ = 32795;
inline constexpr int CMD_ERRORS_CLEAR = 32796;
inline constexpr int CMD_MAP = 32798;
inline constexpr int CMD_DEVICE_VERSION = 32801;
inline constexpr int CMD_LEVEL_SENSOR = 32802;
inline constexpr int CMD_WIZARD = 32803;
inline constexpr int CMD_UNLOCK = 32804;
inline constexpr int CMD_CHART_SETUP = 32773;
inline constexpr int CMD_RESTORE_SCALE = 32789;
inline constexpr int CMD_AUTOSCALE = 32805;
inline constexpr int CMD_NEW = 57600;
inline constexpr int CMD_OPEN = 57601;
inline constexpr int CMD_PRINT = 57607;
inline constexpr int CMD_PRINT_PREVIEW = 57609;
inline constexpr int CMD_ABOUT = 57664;
inline constexpr int CMD_EXIT = 57665;
inline constexpr int CMD_DISPLAY_REFRESH = 1025;

} // namespace zefirel
