// Conversion of the settings values between the block (engineering units) and the
// controller's 26-byte setup record (timer ticks and ADC codes), and their check.
#include <array>
#include <cmath>
#include <sstream>

#include "link/Conversions.h"
#include "link/Protocol.h"
#include "link/SettingsBlock.h"
#include "link/SettingsWrite.h"

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

namespace {

/// One computed wire field before it is cut to its byte: the number the encoder
/// stores (truncated toward zero), the field's place and the numbers it can hold.
struct RawField {
    ESetting id;
    size_t offset;
    double raw;
    double lo;
    double hi;
};
constexpr size_t RAW_FIELD_COUNT = 13;

/// The computed fields of the record (the copied bytes and temperature codes
/// always fit, and are not listed).
std::array<RawField, RAW_FIELD_COUNT> rawFields(const CSettingsBlock& blk) {
    const double tick = tickLength();
    const uint32_t mask = blk.featureMask();
    auto v = [&blk](ESetting id) { return blk.value(id); };
    return {{
        {S::referencePressure, 1, roundToInt(pressureCode(v(S::referencePressure))), 0, 255},
        {S::pressureSlope, 2, v(S::pressureSlope) * 10, -128, 127},
        {S::petrolSwitchPressure, 3, roundToInt(pressureCode(v(S::petrolSwitchPressure))), 0, 255},
        {S::switchSpeed, 6, roundToInt(rpmConstant() / v(S::switchSpeed)), 1, 65535},
        {S::mainCorrection, 9, round1(v(S::mainCorrection) / tick), 0, 255},
        {S::minSupplyVoltage, 12, roundToInt(supplyVoltageCode(v(S::minSupplyVoltage), mask)), 0, 255},
        {S::voltageLimitDelay, 13, roundToInt(v(S::voltageLimitDelay) / tick), 0, 255},
        {S::voltageLimit, 14, roundToInt(v(S::voltageLimit) * 255 / 100), 0, 255},
        {S::referenceVoltage, 17, roundToInt(supplyVoltageCode(v(S::referenceVoltage), mask)), 0, 255},
        {S::voltageCorrection, 18, roundToInt(v(S::voltageCorrection) / tick), 0, 255},
        {S::lpgSwitchDelay, 19, v(S::lpgSwitchDelay) * 2, 0, 255},
        {S::mainCorrection2, 23, round1(v(S::mainCorrection2) / tick), 0, 255},
        {S::emulatorStepDelay, 0, v(S::emulatorStepDelay), 0, 255},
    }};
}

const RangeCheck* rangeCheckOf(ESetting id) {
    for (const RangeCheck& c : CHECKS)
        if (c.id == id)
            return &c;
    return nullptr;
}

} // namespace

void encodeSettings(const CSettingsBlock& blk, uint8_t* p) {
    auto v = [&blk](ESetting id) { return blk.value(id); };
    for (const CopiedByte& c : COPIED)
        p[c.offset] = wireByte(v(c.id));
    for (const RawField& f : rawFields(blk)) {
        if (f.id == S::switchSpeed)
            setU16(p + f.offset, static_cast<uint16_t>(wireInt(f.raw)));
        else
            p[f.offset] = wireByte(f.raw);
    }
    p[8] = temperatureCode(v(S::switchTemperature));
    p[11] = temperatureCode(v(S::maxInternalTemperature));
    p[15] = temperatureCode(v(S::waterValveOnTemperature));
    p[16] = temperatureCode(v(S::waterValveOffTemperature));
    p[25] = 0;
}

std::string checkWireRanges(const CSettingsBlock& blk) {
    std::string text;
    for (const RawField& f : rawFields(blk)) {
        const double t = std::trunc(f.raw);
        // Written so that NaN and infinities, which no field can carry, fail.
        if (t >= f.lo && t <= f.hi)
            continue;
        const RangeCheck* c = rangeCheckOf(f.id);
        std::ostringstream line;
        line << (c ? c->message : "Błędna wartość ustawienia\n");
        if (c)
            line << "  (dozwolone wartości: od " << c->lo << " do " << c->hi << ")\n";
        text += line.str();
    }
    for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i) {
        const double x = blk.timeCorrection(i);
        if (!(x >= -100.0 && x <= 155.0)) {
            text += MSG_CURVE_RANGE;
            break;
        }
    }
    return text;
}

CSettingsBlock wireValues(const CSettingsBlock& blk) {
    uint8_t record[SETUP_RECORD_SIZE] = {};
    encodeSettings(blk, record);
    CSettingsBlock out = blk;
    decodeSettings(out, record);
    // Each curve point as its table byte holds it: the point + 100 cut toward zero
    // (so -0.5 % is held as -1 %).
    for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i)
        out.setTimeCorrection(i, std::trunc(blk.timeCorrection(i) + 100.0) - 100.0);
    return out;
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
