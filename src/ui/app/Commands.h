#pragma once
/// Command ids of the menus, toolbar and the display view's buttons, as the
/// program's menu resources number them.

namespace zefirel {

inline constexpr int ID_DIAGNOSTIC = 32775;
inline constexpr int ID_REPLAY = 32783;
inline constexpr int ID_MANUAL_SETTINGS = 32790;
inline constexpr int ID_AUTO_SETTINGS = 32791;
inline constexpr int ID_INJ_SEQUENCE = 32792;
inline constexpr int ID_EEPROM_READ = 32793;
inline constexpr int ID_EEPROM_WRITE = 32794;
inline constexpr int ID_ERRORS_READ = 32795;
inline constexpr int ID_ERRORS_CLEAR = 32796;
inline constexpr int ID_MAP = 32798;
inline constexpr int ID_DEVICE_VERSION = 32801;
inline constexpr int ID_LEVEL_SENSOR = 32802;
inline constexpr int ID_WIZARD = 32803;
inline constexpr int ID_UNLOCK = 32804;
inline constexpr int ID_CHART_SETUP = 32773;
inline constexpr int ID_RESTORE_SCALE = 32789;
inline constexpr int ID_AUTOSCALE = 32805;
inline constexpr int ID_NEW = 57600;
inline constexpr int ID_OPEN = 57601;
inline constexpr int ID_PRINT = 57607;
inline constexpr int ID_PRINT_PREVIEW = 57609;
inline constexpr int ID_ABOUT = 57664;
inline constexpr int ID_EXIT = 57665;
inline constexpr int ID_DISPLAY_REFRESH = 1025;
// The installer's bench tools.
inline constexpr int ID_CONN_DOCTOR = 32810;
inline constexpr int ID_CSV_EXPORT = 32811;
inline constexpr int ID_ACCEPTANCE_CHECK = 32812;
inline constexpr int ID_SERVICE_REPORT = 32813;
/// "Nauka mapy...": the window that learns the injection map while driving.
inline constexpr int ID_MAP_LEARN = 32826;
// Events and markers of a recording, and two recordings compared.
inline constexpr int ID_MARKER = 32820;
inline constexpr int ID_COMPARE = 32821;
// The car history window.
inline constexpr int ID_CAR_HISTORY = 32822;

} // namespace zefirel
