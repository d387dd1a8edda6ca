// Conversion of the settings values between the block (engineering units) and the
// controller's 26-byte setup record (timer ticks and ADC codes), and their check.
#include <cmath>
#include <sstream>

#include "link/Conversions.h"
#include "link/Protocol.h"
#include "link/SettingsBlock.h"

namespace zefirel {

namespace {

using S = ESetting;

/// Truncates toward zero for a wire field. NaN becomes 0 and values beyond the
/// 32-bit range are held at its ends first: casting those to an integer would be
/// undefined, and the check reports such values before anything is written.
uint32_t wireInt(double v) {
    if (std::isnan(v))
        return 0;
    constexpr double lo = -2147483648.0;
    constexpr double hi = 2147483647.0;
    const double t = std::trunc(v < lo ? lo : (v > hi ? hi : v));
    return static_cast<uint32_t>(static_cast<int32_t>(t));
}

uint8_t wireByte(double v) { return static_cast<uint8_t>(wireInt(v)); }

struct RangeCheck {
    ESetting id;
    double lo;
    double hi;
    const char* message;
};

// In the order the messages are reported.
const RangeCheck CHECKS[] = {
    {S::switchSpeed, 100, 8000, "Błędna wartość prędkości przełączenia na LPG\n"},
    {S::switchTemperature, 0, 100, "Błędna wartość temperatury przełączenia na LPG\n"},
    {S::ignitionsPerCycle, 1, 255, "Błędna wartość ilości impulsów zapłonu na obrót\n"},
    {S::minSupplyVoltage, 9, 12, "Błędna wartość minimalnego napięcia zasilania\n"},
    {S::maxInternalTemperature, 0, 85, "Błędna wartość maksymalnej temperatury wewnętrznej\n"},
    {S::mainCorrection, 0, 6, "Błędna wartość głównej poprawki\n"},
    {S::mainCorrection2, 0, 6, "Błędna wartość głównej drugiej poprawki\n"},
    {S::pressureSlope, 0, 10, "Błędna wartość nachylenia krzywej ciśnienia\n"},
    {S::referencePressure, 60, 140, "Błędna wartość ciśnienia reg=ferencyjnego\n"},
    {S::emulatorStepDelay, 0, 255,
     "Błędna wartość opóźnienia włączenia kolejnej części emulatora\n"},
    {S::petrolSwitchPressure, 0, 140, "Błędna wartość ciśnienia przełączenia na benzynę\n"},
    {S::voltageLimitDelay, 1, 6,
     "Błędna wartość opóźnienia włączenia ograniczenia napięcia wtryskiwaczy\n"},
    {S::voltageLimit, 15, 100, "Błędna wartość ograniczenia napięcia wtryskiwaczy\n"},
    {S::lpgSwitchDelay, 0, 127, "Błędna wartość opóźnienia przełączenia na LPG\n"},
    {S::pressureAveraging, 1, 255, "Błędna wartość uśredniania ciśnienia\n"},
    {S::waterValveOnTemperature, 0, 100, "Błędna wartość temperatury włączenia zaworu wodnego\n"},
    {S::waterValveOffTemperature, 0, 100,
     "Błędna wartość temperatury wyłączenia zaworu wodnego\n"},
    {S::referenceVoltage, 12, 15, "Błędna wartość napięcia referencyjnego\n"},
    {S::voltageCorrection, 0, 0.5, "Błędna wartość poprawki od napięcia zasilania\n"},
};

// Values carried byte for byte, with their place in the record.
struct CopiedByte {
    ESetting id;
    size_t offset;
};
const CopiedByte COPIED[] = {
    {S::emulatorStepDelay, 0},    {S::pressureAveraging, 4},   {S::ignitionsPerCycle, 5},
    {S::optionFlags, 10},         {S::petrolInjectionType, 20}, {S::auxOption, 21},
    {S::lpgInjectorType, 22},     {S::correction2Injectors, 24},
};

} // namespace

void decodeSettings(CSettingsBlock& blk, const uint8_t* p) {
    const double tick = tickLength();
    const uint32_t mask = blk.featureMask();
    for (const CopiedByte& c : COPIED)
        blk.setValue(c.id, p[c.offset]);
    blk.setValue(S::referencePressure, roundToInt(pressureKPa(p[1])));
    blk.setValue(S::pressureSlope, static_cast<int8_t>(p[2]) / 10.0);
    blk.setValue(S::petrolSwitchPressure, roundToInt(pressureKPa(p[3])));
    // A period of 0 has no engine speed: the previous value stays.
    const uint16_t period = getU16(p + 6);
    if (period != 0)
        blk.setValue(S::switchSpeed, roundToInt(rpmConstant() / period));
    blk.setValue(S::switchTemperature, roundToInt(temperature(p[8])));
    blk.setValue(S::mainCorrection, quantizeMs(p[9] * tick));
    blk.setValue(S::maxInternalTemperature, roundToInt(temperature(p[11])));
    blk.setValue(S::minSupplyVoltage, round1(supplyVoltage(p[12], mask)));
    blk.setValue(S::voltageLimitDelay, round1(p[13] * tick));
    blk.setValue(S::voltageLimit, roundToInt(p[14] * 100.0 / 255.0));
    blk.setValue(S::waterValveOnTemperature, temperature(p[15]));
    blk.setValue(S::waterValveOffTemperature, temperature(p[16]));
    blk.setValue(S::referenceVoltage, round1(supplyVoltage(p[17], mask)));
    blk.setValue(S::voltageCorrection, round2(p[18] * tick));
    blk.setValue(S::lpgSwitchDelay, p[19] / 2);
    blk.setValue(S::mainCorrection2, quantizeMs(p[23] * tick));
}

void encodeSettings(const CSettingsBlock& blk, uint8_t* p) {
    const double tick = tickLength();
    const uint32_t mask = blk.featureMask();
    auto v = [&blk](ESetting id) { return blk.value(id); };
    for (const CopiedByte& c : COPIED)
        p[c.offset] = wireByte(v(c.id));
    p[1] = wireByte(roundToInt(pressureCode(v(S::referencePressure))));
    p[2] = wireByte(v(S::pressureSlope) * 10);
    p[3] = wireByte(roundToInt(pressureCode(v(S::petrolSwitchPressure))));
    setU16(p + 6, static_cast<uint16_t>(wireInt(roundToInt(rpmConstant() / v(S::switchSpeed)))));
    p[8] = temperatureCode(v(S::switchTemperature));
    p[9] = wireByte(round1(v(S::mainCorrection) / tick));
    p[11] = temperatureCode(v(S::maxInternalTemperature));
    p[12] = wireByte(roundToInt(supplyVoltageCode(v(S::minSupplyVoltage), mask)));
    p[13] = wireByte(roundToInt(v(S::voltageLimitDelay) / tick));
    p[14] = wireByte(roundToInt(v(S::voltageLimit) * 255 / 100));
    p[15] = temperatureCode(v(S::waterValveOnTemperature));
    p[16] = temperatureCode(v(S::waterValveOffTemperature));
    p[17] = wireByte(roundToInt(supplyVoltageCode(v(S::referenceVoltage), mask)));
    p[18] = wireByte(roundToInt(v(S::voltageCorrection) / tick));
    p[19] = wireByte(v(S::lpgSwitchDelay) * 2);
    p[23] = wireByte(round1(v(S::mainCorrection2) / tick));
    p[25] = 0;
}

namespace {
std::string checkText(const CSettingsBlock& blk, bool withRanges) {
    std::string text;
    for (const RangeCheck& c : CHECKS) {
        const double v = blk.value(c.id);
        // Written so that NaN, which compares false with everything, fails.
        if (!(v >= c.lo && v <= c.hi)) {
            text += c.message;
            if (withRanges) {
                std::ostringstream range;
                range << "  (dozwolone wartości: od " << c.lo << " do " << c.hi << ")\n";
                text += range.str();
            }
        }
    }
    return text;
}
} // namespace

std::string checkSettings(const CSettingsBlock& blk) { return checkText(blk, false); }

std::string checkSettingsWithRanges(const CSettingsBlock& blk) { return checkText(blk, true); }

} // namespace zefirel
