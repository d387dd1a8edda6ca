// Rounding helpers and unit conversions shared by the settings record and readouts.
#include <gtest/gtest.h>

#include "link/Conversions.h"

using namespace zefirel;

TEST(Rounding, HalvesGoAwayFromZero) {
    EXPECT_EQ(roundToInt(2.5), 3);
    EXPECT_EQ(roundToInt(-2.5), -3);
    EXPECT_EQ(roundToInt(127.5), 128);
    EXPECT_EQ(roundToInt(2.4999), 2);
    EXPECT_DOUBLE_EQ(round3(-0.025), -0.025);
    EXPECT_DOUBLE_EQ(round3(-1.236), -1.236);
    EXPECT_DOUBLE_EQ(round2(-1.236), -1.24);
    EXPECT_DOUBLE_EQ(round1(2.45), 2.5);
    EXPECT_DOUBLE_EQ(round1(-2.45), -2.5);
}

TEST(Rounding, QuantizeSnapsToWholeTicks) {
    setTimerFrequency(40000);
    EXPECT_DOUBLE_EQ(quantizeMs(1.0), 1.0);
    EXPECT_DOUBLE_EQ(quantizeMs(1.012), 1.0);
    EXPECT_DOUBLE_EQ(quantizeMs(1.013), 1.025);
    EXPECT_DOUBLE_EQ(quantizeMs(2.51), 2.5);
}

TEST(Conversions, TimerConstantsFollowFrequencyAndIgnoreZero) {
    setTimerFrequency(40000);
    EXPECT_DOUBLE_EQ(tickLength(), 0.025);
    EXPECT_DOUBLE_EQ(rpmConstant(), 4800000.0);
    setTimerFrequency(0);
    EXPECT_DOUBLE_EQ(tickLength(), 0.025);
    setTimerFrequency(20000);
    EXPECT_DOUBLE_EQ(tickLength(), 0.05);
    setTimerFrequency(40000);
}

TEST(Conversions, TemperaturePressureVoltage) {
    EXPECT_EQ(temperature(0), 209);
    EXPECT_EQ(temperature(255), -36);
    EXPECT_EQ(temperatureCode(25), 158);
    EXPECT_EQ(temperatureCode(-40), 0);
    EXPECT_EQ(pressureKPa(0), 0.0);
    EXPECT_NEAR(supplyVoltage(255, FEATURE_VOLTAGE_ON_LPG_ONLY), 30.75, 1e-9);
    EXPECT_NEAR(supplyVoltage(255, 0), 31.45, 1e-9);
    EXPECT_EQ(roundToInt(pressureCode(100)), 112);
    EXPECT_EQ(roundToInt(pressureKPa(112)), 100);
}
