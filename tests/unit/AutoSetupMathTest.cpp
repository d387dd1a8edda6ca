// The automatic setup's arithmetic: the settle count after a switch, the outlier
// filter over the five step corrections (with the zero-middle rule) and the
// number form of the log lines.
#include <gtest/gtest.h>

#include "autosetup/AutoSetWizard.h"
#include "autosetup/AutoSetupMath.h"

using namespace zefirel;

namespace {

constexpr double TICK = 0.025;

TEST(AutoSetupMath, SettleCount) {
    struct Case {
        uint32_t features;
        uint8_t injectionType;
        int injectors, stepDelay, expected;
    } cases[] = {
        {0x0004, 0x00, 4, 50, 60},                             // 50 raised to the minimum
        {0x0004, 0x00, 8, 40, 80},  {0x0004, 0x00, 7, 35, 61}, // 61.25 truncated
        {0x0004, 0x01, 8, 40, 80},                             // the 12 V bit is not a sequence type
        {0x0004, 0x02, 8, 40, 60},                             // half sequence
        {0x0004, 0x04, 8, 40, 60},                             // non-sequence
        {0x1053, 0x00, 8, 255, 60},                            // no cascaded emulators
    };
    for (const Case& c : cases)
        EXPECT_EQ(settleCount(c.features, c.injectionType, c.injectors, c.stepDelay), c.expected)
            << std::hex << c.features << " type " << int(c.injectionType) << std::dec << " " << c.injectors
            << "x" << c.stepDelay;
}

TEST(AutoSetupMath, FilterRejectsTheOutlierAndAveragesTheRest) {
    const CorrectionFilter f = filterCorrections({2.0, 0.1, 0.2, 0.1, 0.2}, 10.0, TICK);
    EXPECT_DOUBLE_EQ(f.reference, 0.04);
    EXPECT_EQ(f.kept, (std::vector<double>{0.1, 0.1, 0.2, 0.2}));
    EXPECT_DOUBLE_EQ(f.mean, 0.15);
}

TEST(AutoSetupMath, KeptExactlyBetweenMinus1_8And2_2TimesAPositiveMiddle) {
    // Middle 0.5: kept when -0.9 < x < 1.1 (a truncated quotient below 10).
    struct Case {
        double x;
        bool kept;
    } cases[] = {{-0.925, false}, {-0.9, false}, {-0.875, true}, {0.0, true},
                 {1.075, true},   {1.1, false},  {1.125, false}};
    for (const Case& c : cases) {
        const CorrectionFilter f = filterCorrections({0.5, 0.5, 0.5, 0.5, c.x}, 10.0, TICK);
        const bool kept = f.kept.size() == 5;
        EXPECT_EQ(kept, c.kept) << c.x;
    }
    // A negative middle mirrors the range: kept when -1.1 < x < 0.9.
    const CorrectionFilter neg = filterCorrections({-0.5, -0.5, -0.5, 0.875, -1.2}, 10.0, TICK);
    EXPECT_EQ(neg.kept, (std::vector<double>{-0.5, -0.5, -0.5, 0.875}));
}

TEST(AutoSetupMath, ZeroMiddleIsJudgedAsOneTick) {
    // Small residuals around a zero middle are all kept.
    const CorrectionFilter small = filterCorrections({-0.025, 0.0, 0.0, 0.025, 0.05}, 10.0, TICK);
    EXPECT_EQ(small.kept.size(), 5u);
    EXPECT_DOUBLE_EQ(small.mean, 0.0);
    // A first-step jump with nothing left to correct afterwards: the jump is not
    // averaged in again (all five would give 1.15 / 5 = 0.225 of overshoot).
    const CorrectionFilter jump = filterCorrections({1.15, 0.0, 0.0, 0.0, 0.0}, 10.0, TICK);
    EXPECT_EQ(jump.kept, (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
    EXPECT_DOUBLE_EQ(jump.mean, 0.0);
    const CorrectionFilter negJump = filterCorrections({-0.8, 0.0, 0.0, 0.025, 0.0}, 10.0, TICK);
    EXPECT_EQ(negJump.kept, (std::vector<double>{0.0, 0.0, 0.0, 0.025}));
    EXPECT_DOUBLE_EQ(negJump.mean, 0.0); // 0.00625 quantised to whole ticks
}

TEST(AutoSetupMath, InjectorsTheWizardChecks) {
    struct Case {
        const char* cylinders;
        uint8_t injectionType;
        int expected;
    } cases[] = {
        {"6", 0x00, 6}, {"6", 0x01, 6},  // full sequence (the 12 V bit is no sequence type)
        {"6", 0x02, 2}, {"3", 0x02, 2},  // half sequence: two groups whatever was chosen
        {"6", 0x04, 1}, {"8", 0x06, 2},  // non-sequence: one; half sequence wins over it
        {"5x", 0x00, 5},                 // the leading number of the text
        {"", 0x00, 1},  {"x", 0x00, 1},  // no number: injector 1 is still checked
        {"0", 0x00, 1}, {"12", 0x00, 8}, // at most the eight injectors a controller drives
    };
    for (const Case& c : cases)
        EXPECT_EQ(injectorsToCheck(c.cylinders, c.injectionType), c.expected)
            << '"' << c.cylinders << "\" type " << int(c.injectionType);
}

TEST(AutoSetupMath, StreamNumberForm) {
    const std::pair<double, const char*> cases[] = {{3.1, "3.1"}, {2.0, "2"},       {-0.025, "-0.025"},
                                                    {0.0, "0"},   {1.825, "1.825"}, {123.4567, "123.457"}};
    for (const auto& [v, text] : cases)
        EXPECT_EQ(streamNumber(v), text);
}

} // namespace
