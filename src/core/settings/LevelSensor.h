#pragma once
/// The rules of the LPG level sensor calibration: the factory threshold sets of the
/// known sensor types (per the low-ohm sensor feature), the order check of four
/// thresholds, the level a reading stands for, and the colours of the four level
/// lamps. Pure functions; the calibration dialog and the command line use them.
///
/// Thresholds are the four calibration bytes in wire order: byte 0 lies between
/// the levels full and 3/4, byte 3 between 1/4 and the reserve.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zefirel {

using LevelThresholds = std::array<uint8_t, 4>;

/// Controller feature: low-ohm level sensors are supported.
inline constexpr uint32_t FEATURE_LOW_OHM_LEVEL = 0x0200;

/// The thresholds shown before the first successful read.
inline constexpr LevelThresholds INITIAL_LEVEL_THRESHOLDS = {1, 40, 100, 200};

/// The refusal of thresholds that are not in order (two lines).
inline constexpr const char* MSG_LEVEL_ORDER =
    "Nieprawidłowe wartości.\nPowinny być wprowadzone w porządku rosnącym lub malejącym.";
inline constexpr const char* MSG_LEVEL_READ_VALUE = "Nie można wczytać wskazania czujnika poziomu gazu";
inline constexpr const char* MSG_LEVEL_READ_THRESHOLDS =
    "Nie można wczytać ustawień czujnika poziomu gazu z urządzenia";
inline constexpr const char* MSG_LEVEL_WRITE = "Nie można wpisać ustawień czujnika poziomu gazu do urządzenia";
inline constexpr const char* MSG_LEVEL_FACTORY_QUESTION =
    "Czy chcesz przywrócić ustawienia fabryczne dla czujnika poziomu gazu?";

/// Name of the type whose thresholds are entered by hand.
inline constexpr const char* LEVEL_SENSOR_OTHER = "Inny";
inline constexpr const char* LEVEL_SENSOR_AEB1050 = "Czujnik AEB1050";

/// One entry of the sensor type list.
struct LevelSensorType {
    std::string name;
    bool hasFactorySet = false;  ///< false for "Inny"
    LevelThresholds thresholds{};
};

/// The type list in its order: "Czujnik AEB1050", "Czujnik 90 ohm" (only with the
/// low-ohm feature), "Czujnik rezerwy", "Inny".
std::vector<LevelSensorType> levelSensorTypes(bool lowOhm);

/// The "Czujnik AEB1050" set of the feature column (the factory thresholds).
LevelThresholds factoryLevelThresholds(bool lowOhm);

/// Index in levelSensorTypes(lowOhm) of the type whose factory set equals the
/// thresholds; the index of "Inny" when none does.
size_t matchLevelSensorType(const LevelThresholds& t, bool lowOhm);

/// True when the thresholds strictly rise or strictly fall from byte 0 to byte 3.
bool levelThresholdsInOrder(const LevelThresholds& t);

enum class ELevel { Full, ThreeQuarters, Half, Quarter, Reserve };

/// The level a reading stands for. When byte 0 is below byte 3 the reading grows as
/// the tank empties, otherwise it falls.
ELevel levelFromReading(uint32_t reading, const LevelThresholds& t);

/// Lamp colours (0x00BBGGRR).
inline constexpr uint32_t LAMP_OFF = 0x00323232;     ///< dark grey RGB(50,50,50)
inline constexpr uint32_t LAMP_GREEN = 0x0000FF00;
inline constexpr uint32_t LAMP_YELLOW = 0x0000FFFF;
inline constexpr uint32_t LAMP_RED = 0x000000FF;

/// Colours of the lamps 1/1, 3/4, 1/2 and 1/4 for a level. In the reserve the 1/4
/// lamp blinks: red when blinkOn, off otherwise.
std::array<uint32_t, 4> levelLampColours(ELevel level, bool blinkOn);

/// Parses "V1,V2,V3,V4" (each a whole number 0..255). False on anything else.
bool parseLevelThresholds(const std::string& text, LevelThresholds& out);

} // namespace zefirel
