// Diagnostic samples: both payload layouts, unit conversions, readout texts with
// their "BRAK" rules, and the normalisation of a fresh controller answer.
#include <gtest/gtest.h>

#include "diag/DiagUnits.h"
#include "link/Conversions.h"

using namespace zefirel;

namespace {

// Every test starts in the standard layout at the default timer frequency and
// leaves the process-wide state as it found it.
class DiagUnits : public ::testing::Test {
protected:
    void SetUp() override {
        CDiag::setExtendedLayout(false);
        setTimerFrequency(DEFAULT_TIMER_FREQUENCY);
    }
    void TearDown() override { SetUp(); }
};

} // namespace

TEST_F(DiagUnits, LayoutsPlaceSubRecordsAndHideFieldsOfTheOtherLayout) {
    CDiag d;
    d.setSubRpmPeriod(1, 0x1234);
    d.setLpgExtraTime(0, 77);
    d.setSubAuxTime(0, 55);
    d.setLpgActivityPairs(9); // ignored in the standard layout
    EXPECT_EQ(d.raw()[22], 0x34);
    EXPECT_EQ(d.raw()[23], 0x12);
    EXPECT_EQ(d.raw()[20], 77);
    EXPECT_EQ(d.subAuxTime(0), 55);
    EXPECT_EQ(d.lpgActivityPairs(), 0);
    EXPECT_EQ(d.raw()[26], 0);

    CDiag::setExtendedLayout(true);
    CDiag e;
    e.setSubRpmPeriod(1, 0x1234);
    e.setLpgExtraTime(0, 77);
    e.setSubAuxTime(0, 55); // ignored in the extended layout
    e.setLpgActivityPairs(9);
    EXPECT_EQ(e.raw()[20], 0x34);
    EXPECT_EQ(e.raw()[18], 77);
    EXPECT_EQ(e.subAuxTime(0), 0);
    EXPECT_EQ(e.lpgActivityPairs(), 9);
    // The LPG time uses the field at sub-record offset +4 in this layout.
    e.setPetrolTime(0, 200);
    EXPECT_DOUBLE_EQ(lpgMs(e), (200 + 77) * 0.025);
}

TEST_F(DiagUnits, EngineSpeedFollowsFrequencyAndNeverDividesByZero) {
    CDiag d;
    d.setRpmPeriod(4800);
    EXPECT_DOUBLE_EQ(engineSpeed(d), 1000.0);
    EXPECT_EQ(rpmText(d), "1000");
    d.setRpmPeriod(0);
    EXPECT_DOUBLE_EQ(engineSpeed(d), 0.0);
    EXPECT_EQ(rpmText(d), "BRAK");
    // 4 800 000 / 48 000 = 100: shown; one tick longer is below 100.
    d.setRpmPeriod(48000);
    EXPECT_EQ(rpmText(d), "100");
    d.setRpmPeriod(48001);
    EXPECT_EQ(rpmText(d), "BRAK");
    setTimerFrequency(20000);
    d.setRpmPeriod(4800);
    EXPECT_EQ(rpmText(d), "500");
}

TEST_F(DiagUnits, InjectionTimesAndTheirTexts) {
    CDiag d;
    d.setPetrolTime(0, 120);
    d.setLpgExtraTime(0, 41);
    EXPECT_EQ(petrolTimeText(d), "3.00");
    EXPECT_EQ(lpgTimeText(d), "4.03"); // 161 × 0.025 = 4.025
    // Sub-record 1 does not feed the readouts.
    d.setPetrolTime(1, 400);
    EXPECT_EQ(petrolTimeText(d), "3.00");
    // The sum of two full 16-bit fields does not wrap.
    d.setPetrolTime(0, 65535);
    d.setLpgExtraTime(0, 65535);
    EXPECT_DOUBLE_EQ(lpgMs(d), 131070 * 0.025);
}

TEST_F(DiagUnits, PressureTemperatureLambdaAndVoltageReadouts) {
    CDiag d;
    // Code 0 is clamped to 0 kPa (not negative) and shown as "BRAK".
    EXPECT_DOUBLE_EQ(differentialPressure(d), 0.0);
    EXPECT_EQ(pressureText(d), "BRAK");
    d.setPressureCode(255);
    EXPECT_EQ(pressureText(d), "240.0");
    // 15 kPa lies between codes 25 (≈14.5) and 26 (≈15.5).
    d.setPressureCode(25);
    EXPECT_EQ(pressureText(d), "BRAK");
    d.setPressureCode(26);
    EXPECT_EQ(pressureText(d), "15.5");

    d.setHeaterTempCode(0);
    d.setLpgTempCode(255);
    d.setInternalTempCode(255);
    EXPECT_EQ(heaterTempText(d), "209");
    EXPECT_EQ(lpgTempText(d), "BRAK");       // −36 °C
    EXPECT_EQ(internalTempText(d), "-36");   // always a number
    d.setLpgTempCode(250);                   // −30 °C is still shown
    EXPECT_EQ(lpgTempText(d), "-30");
    d.setHeaterTempCode(251);                // −31 °C
    EXPECT_EQ(heaterTempText(d), "BRAK");

    d.setLambdaCode(0);
    EXPECT_EQ(lambdaText(d), "0.0");
    d.setLambdaCode(255);
    EXPECT_EQ(lambdaText(d), "5.0");

    d.setSupplyVoltageCode(255);
    EXPECT_NEAR(supplyVolts(d, 0), 31.45, 1e-9);
    EXPECT_NEAR(supplyVolts(d, FEATURE_VOLTAGE_ON_LPG_ONLY), 30.75, 1e-9);
    d.setSupplyVoltageCode(100); // 12.06 V from the divider
    EXPECT_EQ(supplyVoltageText(d, 0), "12.8");
    EXPECT_EQ(supplyVoltageText(d, FEATURE_VOLTAGE_ON_LPG_ONLY), "12.1");
}

TEST_F(DiagUnits, SupplyVoltageHiddenOnPetrolOnlyWithTheFeature) {
    CDiag d;
    d.setWorkState(2);
    EXPECT_TRUE(supplyVoltageVisible(d, 0));
    EXPECT_FALSE(supplyVoltageVisible(d, FEATURE_VOLTAGE_ON_LPG_ONLY));
    d.setWorkState(3);
    EXPECT_TRUE(supplyVoltageVisible(d, FEATURE_VOLTAGE_ON_LPG_ONLY));
    const DiagReadouts r = readouts(d, FEATURE_VOLTAGE_ON_LPG_ONLY);
    EXPECT_EQ(r.workState, "LPG");
    EXPECT_EQ(r.workStateColour, 0x00FF00u);
    EXPECT_TRUE(r.supplyVoltageVisible);
    d.setWorkState(2);
    EXPECT_EQ(readouts(d, 0).workState, "Benzyna");
    EXPECT_EQ(readouts(d, 0).workStateColour, 0x00FFFFu);
}

TEST_F(DiagUnits, WorkStateRewriteDependsOnLayout) {
    for (uint8_t s : {0, 1, 2, 3, 6, 255})
        for (bool ext : {false, true})
            EXPECT_EQ(normalisedWorkState(s, ext), s);
    EXPECT_EQ(normalisedWorkState(4, false), 2);
    EXPECT_EQ(normalisedWorkState(5, false), 3);
    EXPECT_EQ(normalisedWorkState(4, true), 3);
    EXPECT_EQ(normalisedWorkState(5, true), 3);

    CDiag d;
    d.setWorkState(4);
    normaliseWorkState(d);
    EXPECT_EQ(d.workState(), 2);
    CDiag::setExtendedLayout(true);
    d.setWorkState(4);
    normaliseWorkState(d);
    EXPECT_EQ(d.workState(), 3);
}

TEST_F(DiagUnits, ColourTableAndShortPetrolTimes) {
    for (int outside : {-1, 0, 9}) // no injector of that number: black
        EXPECT_EQ(injectorColour(outside), 0u) << outside;

    CDiag d;
    d.setInjector(3);
    d.setPetrolTime(0, 7);   // 0.175 ms
    d.setPetrolTime(1, 7);   // the rule is for sub-record 0 only
    normaliseSample(d);
    EXPECT_EQ(d.colour(), 0x00FF00u);
    EXPECT_EQ(d.petrolTime(0), 0);
    EXPECT_EQ(d.petrolTime(1), 7);
    d.setPetrolTime(0, 8);   // 0.2 ms exactly is kept
    normaliseSample(d);
    EXPECT_EQ(d.petrolTime(0), 8);
}

TEST_F(DiagUnits, DoubleAnswerMovesSubRecordOneIntoTheSecondSample) {
    for (bool ext : {false, true}) {
        CDiag::setExtendedLayout(ext);
        CDiag d;
        d.setInjector(2);
        d.setRpmPeriod(3000);
        d.setSubRpmPeriod(0, 3001);
        d.setPetrolTime(0, 100);
        d.setLpgExtraTime(0, 10);
        d.setSubAuxTime(0, 5);
        EXPECT_FALSE(hasSecondMeasurement(d));
        d.setSubRpmPeriod(1, 3002);
        EXPECT_FALSE(hasSecondMeasurement(d)) << "a period alone is no measurement";
        d.setPetrolTime(1, 200);
        d.setLpgExtraTime(1, 20);
        d.setSubAuxTime(1, 6);
        ASSERT_TRUE(hasSecondMeasurement(d));
        const CDiag s = secondMeasurement(d);
        EXPECT_EQ(s.subRpmPeriod(0), 3002);
        EXPECT_EQ(s.petrolTime(0), 200);
        EXPECT_EQ(s.lpgExtraTime(0), 20);
        EXPECT_EQ(s.subAuxTime(0), ext ? 0 : 6);
        EXPECT_EQ(s.rpmPeriod(), 3000);
        EXPECT_EQ(s.injector(), 2);
        EXPECT_EQ(d.petrolTime(0), 100) << "the first sample is unchanged";
    }
}
