#include "link/SettingsBlock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "link/Conversions.h"
#include "link/Protocol.h"
#include "support/Cp1250.h"

namespace zefirel {

namespace {

using K = ESettingKind;
using S = ESetting;

// Indexed by ESetting: the entries follow the enum's order exactly.
constexpr std::array<SettingInfo, static_cast<size_t>(ESetting::Count)> SETTINGS = {{
    {S::switchSpeed, "switchSpeed", 488, K::Double, 1200},
    {S::switchTemperature, "switchTemperature", 496, K::Double, 25},
    {S::ignitionsPerCycle, "ignitionsPerCycle", 504, K::U8, 1},
    {S::minSupplyVoltage, "minSupplyVoltage", 512, K::Double, 10},
    {S::maxInternalTemperature, "maxInternalTemperature", 520, K::Double, 75},
    {S::mainCorrection, "mainCorrection", 528, K::Double, 1.0},
    {S::mainCorrection2, "mainCorrection2", 536, K::Double, 1.0},
    {S::pressureSlope, "pressureSlope", 552, K::Double, 1.0},
    {S::referencePressure, "referencePressure", 560, K::I32, 100},
    {S::emulatorStepDelay, "emulatorStepDelay", 603, K::U8, 100},
    {S::petrolSwitchPressure, "petrolSwitchPressure", 568, K::Double, 60},
    {S::voltageLimitDelay, "voltageLimitDelay", 584, K::Double, 3.5},
    {S::voltageLimit, "voltageLimit", 592, K::Double, 50},
    {S::lpgSwitchDelay, "lpgSwitchDelay", 604, K::U8, 60},
    {S::pressureAveraging, "pressureAveraging", 605, K::U8, 1},
    {S::waterValveOnTemperature, "waterValveOnTemperature", 608, K::Double, 30},
    {S::waterValveOffTemperature, "waterValveOffTemperature", 616, K::Double, 50},
    {S::referenceVoltage, "referenceVoltage", 624, K::Double, 14.4},
    {S::voltageCorrection, "voltageCorrection", 632, K::Double, 0.05},
    {S::correction2Injectors, "correction2Injectors", 544, K::U8, 0},
    {S::optionFlags, "optionFlags", 576, K::U8, 0},
    {S::lpgInjectorType, "lpgInjectorType", 600, K::U8, 1},
    {S::petrolInjectionType, "petrolInjectionType", 601, K::U8, 0},
    {S::auxOption, "auxOption", 602, K::U8, 1},
}};

constexpr bool inEnumOrder() {
    for (size_t i = 0; i < SETTINGS.size(); ++i)
        if (static_cast<size_t>(SETTINGS[i].id) != i)
            return false;
    return true;
}
static_assert(inEnumOrder(), "settings table must follow ESetting");

const CarTextInfo CAR_TEXTS[] = {
    {19, 50},  // make
    {69, 50},  // model
    {119, 5},  // engine capacity
    {124, 4},  // power [KM]
    {128, 5},  // production year
    {133, 10}, // injectors fitted
    {143, 10}, // calibrated flow
};

/// Nearest integer within [lo, hi]; NaN gives 0 (it has no integer to stand for).
double toIntegerRange(double v, double lo, double hi) {
    if (std::isnan(v))
        return 0;
    const double r = roundToInt(v);
    return r < lo ? lo : (r > hi ? hi : r);
}

} // namespace

const std::array<SettingInfo, static_cast<size_t>(ESetting::Count)>& settingInfos() { return SETTINGS; }

const SettingInfo& settingInfo(ESetting id) { return SETTINGS[static_cast<size_t>(id)]; }

bool findSetting(const std::string& name, ESetting& out) {
    for (const SettingInfo& s : SETTINGS)
        if (name == s.name) {
            out = s.id;
            return true;
        }
    return false;
}

CarTextInfo carTextInfo(ECarText t) { return CAR_TEXTS[static_cast<size_t>(t)]; }

// --- raw field access -------------------------------------------------------

namespace {

// Doubles go through their 64-bit pattern, so the block is little-endian on any host.
double readDouble(const uint8_t* p) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | p[i];
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

void writeDouble(uint8_t* p, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(bits >> (8 * i));
}

/// Text of a fixed-width field up to its first zero; never reads past the field,
/// so a field without a terminator (a foreign or damaged file) stays in bounds.
std::string readText(const uint8_t* p, size_t width) {
    size_t n = 0;
    while (n < width && p[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

/// Stores at most width − 1 bytes and zero-fills the rest, so the field always
/// ends with a terminator.
void writeText(uint8_t* p, size_t width, const std::string& bytes) {
    std::memset(p, 0, width);
    std::memcpy(p, bytes.data(), std::min(bytes.size(), width - 1));
}

} // namespace

static_assert(std::numeric_limits<double>::is_iec559, "the block stores IEEE 754 doubles");

void CSettingsBlock::initDefaults() {
    std::memset(m_bytes.data(), 0, block::RECORDING_CONTEXT);
    std::memset(m_bytes.data() + block::TIME_CORRECTIONS, 0, block::SIZE - block::TIME_CORRECTIONS);
    for (const SettingInfo& s : SETTINGS)
        setValue(s.id, s.defaultValue);
}

double CSettingsBlock::value(ESetting id) const {
    const SettingInfo& s = settingInfo(id);
    const uint8_t* p = m_bytes.data() + s.offset;
    switch (s.kind) {
    case K::Double:
        return readDouble(p);
    case K::U8:
        return *p;
    case K::I32:
        return static_cast<int32_t>(getU32(p));
    }
    return 0;
}

void CSettingsBlock::setValue(ESetting id, double v) {
    const SettingInfo& s = settingInfo(id);
    uint8_t* p = m_bytes.data() + s.offset;
    // Integer fields take the nearest whole number, held inside the field's range,
    // so an out-of-range entry still fails the check instead of wrapping into range.
    switch (s.kind) {
    case K::Double:
        writeDouble(p, v);
        break;
    case K::U8:
        *p = static_cast<uint8_t>(toIntegerRange(v, 0, 255));
        break;
    case K::I32:
        setU32(p, static_cast<uint32_t>(static_cast<int32_t>(
                        toIntegerRange(v, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()))));
        break;
    }
}

uint16_t CSettingsBlock::versionMark() const { return getU16(m_bytes.data() + block::VERSION); }

void CSettingsBlock::setVersionMark(uint16_t v) { setU16(m_bytes.data() + block::VERSION, v); }

std::string CSettingsBlock::identity() const {
    return cp1250ToUtf8(readText(m_bytes.data() + block::IDENTITY, block::IDENTITY_SIZE));
}

void CSettingsBlock::setIdentity(const std::string& utf8) {
    // All 16 bytes may hold identity characters: no terminator is needed here.
    // CP1250 has one byte per character, so the cut never splits one.
    const std::string id = utf8ToCp1250(utf8);
    uint8_t* p = m_bytes.data() + block::IDENTITY;
    std::memset(p, 0, block::IDENTITY_SIZE);
    std::memcpy(p, id.data(), std::min(id.size(), block::IDENTITY_SIZE));
}

uint32_t CSettingsBlock::feature(int index) const {
    if (index < 0 || index > 4)
        return 0;
    return getU32(m_bytes.data() + block::FEATURES + 4 * static_cast<size_t>(index));
}

void CSettingsBlock::setFeatures(const uint8_t* record20) {
    // The record is in host order, which is the block's little-endian order. Word by
    // word, as feature() reads it (a thread checker sees these stores; a fixed-size
    // copy is folded into moves it does not see).
    for (size_t i = 0; i < 5; ++i)
        setU32(m_bytes.data() + block::FEATURES + 4 * i, getU32(record20 + 4 * i));
}

std::string CSettingsBlock::carText(ECarText t) const {
    const CarTextInfo info = carTextInfo(t);
    return cp1250ToUtf8(readText(m_bytes.data() + info.offset, info.width));
}

void CSettingsBlock::setCarText(ECarText t, const std::string& utf8) {
    // CP1250 has one byte per character, so cutting the bytes never splits one.
    const CarTextInfo info = carTextInfo(t);
    writeText(m_bytes.data() + info.offset, info.width, utf8ToCp1250(utf8));
}

double CSettingsBlock::reducerPressure() const { return readDouble(m_bytes.data() + block::REDUCER_PRESSURE); }

void CSettingsBlock::setReducerPressure(double kpa) { writeDouble(m_bytes.data() + block::REDUCER_PRESSURE, kpa); }

std::string CSettingsBlock::timeStamp() const {
    return readText(m_bytes.data() + block::TIME_STAMP, block::TIME_STAMP_SIZE);
}

void CSettingsBlock::setTimeStamp(const std::string& text) {
    // At most 25 bytes with the terminator; the rest of the 40 stays zero.
    constexpr size_t kStampLimit = 25;
    uint8_t* p = m_bytes.data() + block::TIME_STAMP;
    std::memset(p, 0, block::TIME_STAMP_SIZE);
    writeText(p, kStampLimit, text);
}

std::string CSettingsBlock::remarks() const {
    return cp1250ToUtf8(readText(m_bytes.data() + block::REMARKS, block::REMARKS_SIZE));
}

void CSettingsBlock::setRemarks(const std::string& utf8) {
    writeText(m_bytes.data() + block::REMARKS, block::REMARKS_SIZE, utf8ToCp1250(utf8));
}

int32_t CSettingsBlock::recordingContext() const {
    return static_cast<int32_t>(getU32(m_bytes.data() + block::RECORDING_CONTEXT));
}

void CSettingsBlock::setRecordingContext(int32_t v) {
    setU32(m_bytes.data() + block::RECORDING_CONTEXT, static_cast<uint32_t>(v));
}

double CSettingsBlock::timeCorrection(size_t i) const {
    if (i >= block::TIME_CORRECTION_COUNT)
        return 0;
    return readDouble(m_bytes.data() + block::TIME_CORRECTIONS + 8 * i);
}

void CSettingsBlock::setTimeCorrection(size_t i, double percent) {
    if (i < block::TIME_CORRECTION_COUNT)
        writeDouble(m_bytes.data() + block::TIME_CORRECTIONS + 8 * i, percent);
}

} // namespace zefirel
