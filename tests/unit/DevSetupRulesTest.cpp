// The packed bytes and injector types of the device settings dialog.
#include <gtest/gtest.h>

#include "link/SettingsBlock.h"
#include "settings/DevSetupRules.h"

using namespace zefirel;

namespace {

TEST(DevSetupRules, PetrolInjectionTypePacksAndReadsBack) {
    const struct {
        uint8_t previous;
        bool signal12V;
        ESequenceType sequence;
        uint8_t packed;
    } cases[] = {
        {0x00, false, ESequenceType::Full, 0x00}, {0x00, true, ESequenceType::Full, 0x01},
        {0x00, false, ESequenceType::Half, 0x02}, {0x00, true, ESequenceType::Non, 0x05},
        {0x06, false, ESequenceType::Full, 0x00}, {0xF7, false, ESequenceType::Half, 0xF2}, // other bits kept
    };
    for (const auto& c : cases) {
        EXPECT_EQ(packPetrolInjectionType(c.previous, c.signal12V, c.sequence), c.packed) << int(c.packed);
        EXPECT_EQ(sequenceTypeOf(c.packed), c.sequence) << int(c.packed);
    }
    // Both sequence bits: non-sequence wins when read back.
    EXPECT_EQ(sequenceTypeOf(0x06), ESequenceType::Non);
}

TEST(DevSetupRules, InjectorMaskAuxOptionAndTimeCorrectionFlag) {
    const std::array<bool, 8> checked = {true, false, true, false, false, false, false, true};
    EXPECT_EQ(packInjectorMask(checked), 0x85);
    EXPECT_EQ(unpackInjectorMask(0x85), checked);
    EXPECT_EQ(packAuxOption(0x00, true), 0x01);
    EXPECT_EQ(packAuxOption(0x81, false), 0x80);

    CSettingsBlock blk;
    blk.setValue(ESetting::optionFlags, 0x02);
    EXPECT_EQ(packOptionFlags(blk), 0x02); // no correction: as it was
    blk.setTimeCorrection(24, -3);
    EXPECT_EQ(packOptionFlags(blk), 0x03);
    blk.setValue(ESetting::optionFlags, 0x01);
    blk.setTimeCorrection(24, 0);
    EXPECT_EQ(packOptionFlags(blk), 0x01); // a set bit is not cleared
}

TEST(DevSetupRules, InjectorTypesByCodeAndByValues) {
    const struct {
        unsigned code;
        const char* name;
    } codes[] = {{1, "VALTEK 3.5R"}, {2, "C & C 5R"}, {3, "REG 8R"}, {4, "RIS 5R"}, {5, "MATRIX"}, {6, "KEIHIN 2.5R"}};
    for (const auto& c : codes) {
        const LpgInjectorType* t = lpgInjectorTypeOfCode(c.code);
        ASSERT_NE(t, nullptr) << c.code;
        EXPECT_STREQ(t->name, c.name);
    }
    EXPECT_EQ(lpgInjectorTypeOfCode(0), nullptr);
    EXPECT_EQ(lpgInjectorTypeOfCode(7), nullptr);
    EXPECT_EQ(lpgInjectorTypeFromValues(50, 3.5), "VALTEK 3.5R");
    EXPECT_EQ(lpgInjectorTypeFromValues(35, 2), "MATRIX");
    EXPECT_EQ(lpgInjectorTypeFromValues(35, 3.5), "INNE");
}

} // namespace
