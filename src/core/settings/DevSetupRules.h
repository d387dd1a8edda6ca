#pragma once
/// The rules of the device settings dialog that need no window: the LPG injector
/// types with their voltage-limit values, and the packed bytes of the settings
/// record that the dialog assembles from check boxes, radio buttons and the type
/// list (and spreads back over them when it shows a record).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zefirel {

class CSettingsBlock;

/// Controller features that change what the settings dialog offers.
inline constexpr uint32_t FEATURE_PETROL_INJECTION_TYPES = 0x0001;
inline constexpr uint32_t FEATURE_HEATER_SWITCH = 0x0002;
inline constexpr uint32_t FEATURE_CASCADE_EMULATORS = 0x0004;
inline constexpr uint32_t FEATURE_SUPPLY_VOLTAGE_CORRECTION = 0x0010;
inline constexpr uint32_t FEATURE_SECOND_MAIN_CORRECTION = 0x0040;
inline constexpr uint32_t FEATURE_LPG_TEMPERATURE_SWITCH = 0x0100;
inline constexpr uint32_t FEATURE_LPG_INJECTOR_TYPES = 0x0400;

/// One LPG injector type of the list.
struct LpgInjectorType {
    const char* name;
    uint8_t code;
    double voltageLimit;  ///< per cent
    double limitDelay;    ///< ms
};

/// Name of the type whose voltage-limit values are edited by hand (code 0).
inline constexpr const char* LPG_INJECTOR_OTHER = "INNE";

/// The types with their own values, in list order ("INNE" is not among them: it
/// is added last, at the service level or when a record needs it).
const std::vector<LpgInjectorType>& lpgInjectorTypes();
/// The type of a code, or null for a code without its own values (0 and any
/// unknown code: "INNE").
const LpgInjectorType* lpgInjectorTypeOfCode(unsigned code);
/// Without the injector type feature the type follows from the values: 50 % and
/// 3.5 ms is "VALTEK 3.5R", 35 % and 2 ms "MATRIX", anything else "INNE".
std::string lpgInjectorTypeFromValues(double voltageLimit, double limitDelay);

/// The petrol injection sequence of the radio buttons, in their order.
enum class ESequenceType { Full = 0, Non = 1, Half = 2 };

/// petrolInjectionType: bit 0 the 12 V signal, bit 1 half sequence, bit 2
/// non-sequence; other bits are kept from the previous byte.
uint8_t packPetrolInjectionType(uint8_t previous, bool signal12V, ESequenceType sequence);
/// Bit 2 selects non-sequence, else bit 1 half sequence, else full sequence.
ESequenceType sequenceTypeOf(uint8_t petrolInjectionType);

/// correction2Injectors: bit i set for injector i + 1 checked.
uint8_t packInjectorMask(const std::array<bool, 8>& checked);
std::array<bool, 8> unpackInjectorMask(uint8_t mask);

/// auxOption: bit 0 the "switch to AUTO below 3 °C" box; other bits kept.
uint8_t packAuxOption(uint8_t previous, bool autoBelow3C);

/// optionFlags: bit 0 set when any of the 25 time corrections is not 0; otherwise
/// the byte stays as it was.
uint8_t packOptionFlags(const CSettingsBlock& blk);

} // namespace zefirel
