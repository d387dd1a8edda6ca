#pragma once
/// Conversions between the controller's raw units (timer ticks, ADC codes) and
/// engineering units, the process-wide timer constants, and the rounding helpers
/// shared by the settings record, the readouts and the charts.

#include <array>
#include <cstdint>

namespace zefirel {

/// Timer frequency assumed until a feature record has been read.
inline constexpr double DEFAULT_TIMER_FREQUENCY = 40000.0;

/// Feature bits of the controller's feature record.
inline constexpr uint32_t FEATURE_EXTENDED_DIAG = 0x0080;
inline constexpr uint32_t FEATURE_VOLTAGE_ON_LPG_ONLY = 0x0800;
inline constexpr uint32_t FEATURE_INIT_NOTICE = 0x1000;
/// Every feature bit this program knows (0x0001..0x1000).
inline constexpr uint32_t FEATURE_KNOWN_MASK = 0x1FFF;

/// Sets the process-wide constants from the controller's timer frequency F.
/// A frequency of 0 is ignored (it would make the tick length infinite).
void setTimerFrequency(double hz);
/// Tick length in ms = 1000 / F (0.025 until a feature record was read).
double tickLength();
/// Engine-speed constant = 120 × F (4 800 000 until a feature record was read).
double rpmConstant();

/// Temperature table: code 0 → 209 °C … code 255 → −36 °C.
extern const std::array<int, 256> TEMPERATURE_TABLE;
inline double temperature(uint8_t code) { return TEMPERATURE_TABLE[code]; }
/// First code i with t >= T[i], or 0 when t is below every entry.
uint8_t temperatureCode(double t);

/// ADC code → volts (code × 5 / 255).
inline double adcVoltage(double code) { return code * 5.0 / 255.0; }
/// ADC code → kPa; results of 0 or less give 0.
double pressureKPa(double code);
/// kPa → ADC code (unrounded).
double pressureCode(double kpa);
/// Supply-voltage ADC code → volts; +0.7 V unless feature bit 0x0800 is set.
double supplyVoltage(double code, uint32_t featureMask);
/// Volts → supply-voltage ADC code (unrounded).
double supplyVoltageCode(double volts, uint32_t featureMask);

/// Round half away from zero to an integer (as a double, the fraction dropped).
double roundToInt(double x);
/// Round to 1, 2, 3 decimals, halves away from zero.
double round1(double x);
double round2(double x);
double round3(double x);
/// Nearest whole number of controller ticks, expressed in ms (three decimals).
double quantizeMs(double ms);

} // namespace zefirel
