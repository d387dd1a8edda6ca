#include "settings/DevSetupRules.h"

#include "link/SettingsBlock.h"

namespace zefirel {

namespace {
constexpr uint8_t PETROL_12V = 0x01;
constexpr uint8_t PETROL_HALF = 0x02;
constexpr uint8_t PETROL_NON = 0x04;
constexpr uint8_t OPTION_TIME_CORRECTIONS = 0x01;
constexpr uint8_t AUX_AUTO_BELOW_3C = 0x01;
} // namespace

const std::vector<LpgInjectorType>& lpgInjectorTypes() {
    static const std::vector<LpgInjectorType> types = {
        {"VALTEK 3.5R", 1, 50, 3.5}, {"C & C 5R", 2, 50, 3.5}, {"REG 8R", 3, 50, 3.5},
        {"KEIHIN 2.5R", 6, 35, 2.0}, {"MATRIX", 5, 35, 2.0},   {"RIS 5R", 4, 50, 3.5},
    };
    return types;
}

const LpgInjectorType* lpgInjectorTypeOfCode(unsigned code) {
    for (const LpgInjectorType& t : lpgInjectorTypes())
        if (t.code == code)
            return &t;
    return nullptr;
}

std::string lpgInjectorTypeFromValues(double voltageLimit, double limitDelay) {
    if (voltageLimit == 50 && limitDelay == 3.5)
        return "VALTEK 3.5R";
    if (voltageLimit == 35 && limitDelay == 2)
        return "MATRIX";
    return LPG_INJECTOR_OTHER;
}

uint8_t packPetrolInjectionType(uint8_t previous, bool signal12V, ESequenceType sequence) {
    uint8_t b = previous & static_cast<uint8_t>(~(PETROL_12V | PETROL_HALF | PETROL_NON));
    if (signal12V)
        b |= PETROL_12V;
    if (sequence == ESequenceType::Half)
        b |= PETROL_HALF;
    else if (sequence == ESequenceType::Non)
        b |= PETROL_NON;
    return b;
}

ESequenceType sequenceTypeOf(uint8_t b) {
    if (b & PETROL_NON)
        return ESequenceType::Non;
    if (b & PETROL_HALF)
        return ESequenceType::Half;
    return ESequenceType::Full;
}

uint8_t packInjectorMask(const std::array<bool, 8>& checked) {
    uint8_t mask = 0;
    for (size_t i = 0; i < checked.size(); ++i)
        if (checked[i])
            mask |= static_cast<uint8_t>(1u << i);
    return mask;
}

std::array<bool, 8> unpackInjectorMask(uint8_t mask) {
    std::array<bool, 8> checked{};
    for (size_t i = 0; i < checked.size(); ++i)
        checked[i] = (mask >> i) & 1u;
    return checked;
}

uint8_t packAuxOption(uint8_t previous, bool autoBelow3C) {
    return static_cast<uint8_t>((previous & ~AUX_AUTO_BELOW_3C) | (autoBelow3C ? AUX_AUTO_BELOW_3C : 0));
}

uint8_t packOptionFlags(const CSettingsBlock& blk) {
    const uint8_t flags = blk.optionFlags();
    for (size_t i = 0; i < block::TIME_CORRECTION_COUNT; ++i)
        if (blk.timeCorrection(i) != 0)
            return flags | OPTION_TIME_CORRECTIONS;
    return flags;
}

} // namespace zefirel
