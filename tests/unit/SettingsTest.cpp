// The settings block layout, the 26-byte setup record each way, and the settings check.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "link/Conversions.h"
#include "link/Protocol.h"
#include "link/SettingsBlock.h"

using namespace zefirel;

namespace {

using Record = std::array<uint8_t, SETUP_RECORD_SIZE>;

class SettingsCodec : public ::testing::Test {
protected:
    void SetUp() override { setTimerFrequency(40000); }
    void TearDown() override { setTimerFrequency(40000); }

    Record encode() const {
        Record r;
        r.fill(0xEE);
        encodeSettings(blk, r.data());
        return r;
    }
    /// Encodes, then decodes into a fresh default block.
    CSettingsBlock roundTrip() const {
        Record r = encode();
        CSettingsBlock back;
        decodeSettings(back, r.data());
        return back;
    }

    CSettingsBlock blk;
};

double doubleAt(const CSettingsBlock& b, size_t off) {
    double d;
    std::memcpy(&d, b.bytes().data() + off, 8);
    return d;
}

} // namespace

// --- wire record ------------------------------------------------------------

TEST_F(SettingsCodec, SwitchSpeedTravelsAsBigEndianPeriod) {
    Record r = encode();
    EXPECT_EQ(getU16(&r[6]), 4000);
    toWireOrder(r.data(), r.size(), MSG_TYPE_SETUP, false);
    EXPECT_EQ(r[6], 0x0F);
    EXPECT_EQ(r[7], 0xA0);
    fromWireOrder(r.data(), r.size(), MSG_TYPE_SETUP, false);
    blk.setValue(ESetting::switchSpeed, 0);
    decodeSettings(blk, r.data());
    EXPECT_EQ(blk.value(ESetting::switchSpeed), 1200);
}

TEST_F(SettingsCodec, PeriodZeroKeepsThePreviousSpeed) {
    blk.setValue(ESetting::switchSpeed, 2500);
    Record r = encode();
    r[6] = r[7] = 0;
    decodeSettings(blk, r.data());
    EXPECT_EQ(blk.value(ESetting::switchSpeed), 2500);
}

TEST_F(SettingsCodec, CorrectionsInWholeTicks) {
    EXPECT_EQ(encode()[9], 40);
    blk.setMainCorrection(2.51);
    blk.setValue(ESetting::mainCorrection2, 1.999); // 79.96 ticks -> 80
    Record r = encode();
    EXPECT_EQ(r[9], 100);
    EXPECT_EQ(r[23], 80);
    blk.setValue(ESetting::mainCorrection2, 1.9985); // 79.94 ticks -> 79
    EXPECT_EQ(encode()[23], 79);
    blk.setValue(ESetting::mainCorrection2, 1.999);
    const CSettingsBlock back = roundTrip();
    EXPECT_DOUBLE_EQ(back.mainCorrection(), 2.5);
    EXPECT_DOUBLE_EQ(back.value(ESetting::mainCorrection2), 2.0);
    // Another timer frequency: 1.0 ms is 20 ticks of 0.05 ms.
    setTimerFrequency(20000);
    blk.setMainCorrection(1.0);
    EXPECT_EQ(encode()[9], 20);
}

TEST_F(SettingsCodec, HalfSecondsPercentPressureTemperatureSlope) {
    Record r = encode();
    EXPECT_EQ(r[19], 120); // lpgSwitchDelay 60 s
    EXPECT_EQ(r[14], 128); // voltageLimit 50 % -> 127.5 rounded away from zero
    EXPECT_EQ(r[1], 112);  // referencePressure 100 kPa -> 112.2
    EXPECT_EQ(r[8], 158);  // switchTemperature 25 °C
    EXPECT_EQ(r[25], 0);
    blk.setValue(ESetting::pressureSlope, 1.25);
    EXPECT_EQ(encode()[2], 12);

    const CSettingsBlock back = roundTrip();
    EXPECT_EQ(back.value(ESetting::lpgSwitchDelay), 60);
    EXPECT_EQ(back.value(ESetting::voltageLimit), 50);
    EXPECT_EQ(back.value(ESetting::referencePressure), 100);
    EXPECT_EQ(back.value(ESetting::switchTemperature), 25);
    EXPECT_DOUBLE_EQ(back.value(ESetting::pressureSlope), 1.2);

    r[19] = 121;
    decodeSettings(blk, r.data());
    EXPECT_EQ(blk.value(ESetting::lpgSwitchDelay), 60);

    // The slope byte is signed.
    blk.setValue(ESetting::pressureSlope, -1.0);
    r = encode();
    EXPECT_EQ(r[2], 0xF6);
    decodeSettings(blk, r.data());
    EXPECT_DOUBLE_EQ(blk.value(ESetting::pressureSlope), -1.0);
}

TEST_F(SettingsCodec, DefaultsSurviveTheRoundTripByteForByte) {
    blk.setValue(ESetting::optionFlags, 0x83);
    blk.setValue(ESetting::correction2Injectors, 0x5A);
    blk.setValue(ESetting::petrolInjectionType, 0x05);
    blk.setValue(ESetting::lpgInjectorType, 7);
    const Record r = encode();
    EXPECT_EQ(r[10], 0x83);
    EXPECT_EQ(r[24], 0x5A);
    EXPECT_EQ(r[20], 0x05);
    EXPECT_EQ(r[22], 7);
    EXPECT_EQ(r[21], 1);
    EXPECT_EQ(r[0], 100);
    CSettingsBlock back;
    back.setValue(ESetting::optionFlags, 0);
    decodeSettings(back, r.data());
    EXPECT_EQ(back, blk);
}

TEST_F(SettingsCodec, TickAndVoltageBytesSurviveReadingBack) {
    // Settings read from a controller and written back unchanged must not drift:
    // every byte of the tick-count and supply-voltage fields comes back as it was.
    for (double hz : {40000.0, 35000.0}) {
        setTimerFrequency(hz);
        for (size_t off : {9, 12, 17, 18, 23})
            for (int b = 0; b < 256; ++b) {
                Record r = encode();
                r[off] = static_cast<uint8_t>(b);
                decodeSettings(blk, r.data());
                ASSERT_EQ(encode()[off], b) << "byte " << off << " at " << hz << " Hz";
            }
    }
}

TEST_F(SettingsCodec, SupplyVoltageCodeFollowsFeatureBit) {
    // 10 V: ((10 - 0.7) / 6.15) / (5 / 255) = 77.1, or 82.9 without the 0.7 V offset.
    EXPECT_EQ(encode()[12], 77);
    uint8_t features[20] = {};
    features[1] = 0x08; // mask 0x0800
    blk.setFeatures(features);
    const Record r = encode();
    EXPECT_EQ(r[12], 83);
    CSettingsBlock back;
    back.setFeatures(features);
    decodeSettings(back, r.data());
    EXPECT_DOUBLE_EQ(back.value(ESetting::minSupplyVoltage), 10.0); // 83 -> 10.008
}

TEST_F(SettingsCodec, UnrepresentableValuesEncodeDeterministically) {
    // NaN and infinities are not numbers a byte can hold: they go out as defined
    // values rather than through an undefined conversion.
    blk.setMainCorrection(std::numeric_limits<double>::quiet_NaN());
    blk.setValue(ESetting::voltageLimit, std::numeric_limits<double>::infinity());
    blk.setValue(ESetting::switchSpeed, 0); // period would be infinite
    blk.setValue(ESetting::pressureSlope, -1e300);
    const Record r = encode();
    EXPECT_EQ(r[9], 0);
    EXPECT_EQ(r[14], 0xFF);
    EXPECT_EQ(getU16(&r[6]), 0xFFFF);
    EXPECT_EQ(r[2], 0x00);
    // Low bits of an ordinary out-of-range number are kept as they are.
    blk.setValue(ESetting::switchSpeed, 50); // 96000 ticks = 0x17700
    EXPECT_EQ(getU16(&encode()[6]), 0x7700);
}

// --- settings check -----------------------------------------------------------

TEST(SettingsCheck, DefaultsPassAndEachLimitIsInclusive) {
    CSettingsBlock b;
    EXPECT_EQ(checkSettings(b), "");
    b.setValue(ESetting::referencePressure, 59);
    EXPECT_EQ(checkSettings(b), "Błędna wartość ciśnienia reg=ferencyjnego\n");
    b.setValue(ESetting::referencePressure, 60);
    b.setValue(ESetting::voltageCorrection, 0.5);
    b.setValue(ESetting::switchSpeed, 8000);
    b.setValue(ESetting::pressureAveraging, 255);
    EXPECT_EQ(checkSettings(b), "");
    b.setValue(ESetting::switchSpeed, 8000.5);
    EXPECT_EQ(checkSettings(b), "Błędna wartość prędkości przełączenia na LPG\n");
}

TEST(SettingsCheck, MessagesComeInTableOrder) {
    CSettingsBlock b;
    b.setValue(ESetting::voltageCorrection, 0.51);
    b.setValue(ESetting::ignitionsPerCycle, 0);
    b.setValue(ESetting::pressureAveraging, 0);
    b.setValue(ESetting::lpgSwitchDelay, 128);
    b.setValue(ESetting::switchTemperature, -1);
    EXPECT_EQ(checkSettings(b), "Błędna wartość temperatury przełączenia na LPG\n"
                                "Błędna wartość ilości impulsów zapłonu na obrót\n"
                                "Błędna wartość opóźnienia przełączenia na LPG\n"
                                "Błędna wartość uśredniania ciśnienia\n"
                                "Błędna wartość poprawki od napięcia zasilania\n");
}

TEST(SettingsCheck, NotANumberFails) {
    CSettingsBlock b;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    b.setMainCorrection(nan);
    b.setValue(ESetting::referenceVoltage, nan);
    EXPECT_EQ(checkSettings(b), "Błędna wartość głównej poprawki\n"
                                "Błędna wartość napięcia referencyjnego\n");
    // An integer field cannot hold NaN; it becomes 0, which its check refuses.
    CSettingsBlock c;
    c.setValue(ESetting::referencePressure, nan);
    c.setValue(ESetting::pressureAveraging, nan);
    EXPECT_EQ(checkSettings(c), "Błędna wartość ciśnienia reg=ferencyjnego\n"
                                "Błędna wartość uśredniania ciśnienia\n");
}

TEST(SettingsCheck, IntegerFieldsHoldOutOfRangeEntriesAtTheirEnds) {
    CSettingsBlock b;
    b.setValue(ESetting::lpgSwitchDelay, 300); // would wrap to 44 in a byte
    EXPECT_EQ(b.value(ESetting::lpgSwitchDelay), 255);
    EXPECT_EQ(checkSettings(b), "Błędna wartość opóźnienia przełączenia na LPG\n");
    b.setValue(ESetting::lpgSwitchDelay, -4);
    EXPECT_EQ(b.value(ESetting::lpgSwitchDelay), 0);
    b.setValue(ESetting::referencePressure, 1e12);
    EXPECT_EQ(b.value(ESetting::referencePressure), 2147483647);
}

// --- block layout -------------------------------------------------------------

TEST(SettingsBlockLayout, ValuesLiveAtTheirOffsets) {
    struct Place {
        const char* name;
        size_t offset;
        char kind; // d = double, b = byte, i = int32
    };
    const Place places[] = {
        {"switchSpeed", 488, 'd'},           {"switchTemperature", 496, 'd'},
        {"ignitionsPerCycle", 504, 'b'},      {"minSupplyVoltage", 512, 'd'},
        {"maxInternalTemperature", 520, 'd'}, {"mainCorrection", 528, 'd'},
        {"mainCorrection2", 536, 'd'},        {"correction2Injectors", 544, 'b'},
        {"pressureSlope", 552, 'd'},          {"referencePressure", 560, 'i'},
        {"petrolSwitchPressure", 568, 'd'},   {"optionFlags", 576, 'b'},
        {"voltageLimitDelay", 584, 'd'},      {"voltageLimit", 592, 'd'},
        {"lpgInjectorType", 600, 'b'},        {"petrolInjectionType", 601, 'b'},
        {"auxOption", 602, 'b'},              {"emulatorStepDelay", 603, 'b'},
        {"lpgSwitchDelay", 604, 'b'},         {"pressureAveraging", 605, 'b'},
        {"waterValveOnTemperature", 608, 'd'}, {"waterValveOffTemperature", 616, 'd'},
        {"referenceVoltage", 624, 'd'},       {"voltageCorrection", 632, 'd'},
    };
    ASSERT_EQ(std::size(places), static_cast<size_t>(ESetting::Count));
    for (const Place& p : places) {
        SCOPED_TRACE(p.name);
        ESetting id;
        ASSERT_TRUE(findSetting(p.name, id));
        EXPECT_EQ(settingInfo(id).offset, p.offset);
        CSettingsBlock b;
        const auto before = b.bytes();
        const auto& bytes = b.bytes();
        size_t size = 0;
        if (p.kind == 'd') {
            b.setValue(id, 1234.5);
            EXPECT_EQ(doubleAt(b, p.offset), 1234.5);
            size = 8;
        } else if (p.kind == 'b') {
            b.setValue(id, 0xA5);
            EXPECT_EQ(bytes[p.offset], 0xA5);
            size = 1;
        } else {
            b.setValue(id, -5);
            EXPECT_EQ(bytes[p.offset], 0xFB);
            EXPECT_EQ(bytes[p.offset + 3], 0xFF);
            size = 4;
        }
        for (size_t i = 0; i < block::SIZE; ++i) {
            if (i < p.offset || i >= p.offset + size) {
                ASSERT_EQ(bytes[i], before[i]) << "byte " << i << " changed";
            }
        }
    }
    ESetting none;
    EXPECT_FALSE(findSetting("noSuchValue", none));
}

TEST(SettingsBlockLayout, InitDefaultsClearsAllButContextAndPadding) {
    CSettingsBlock b;
    b.bytes().fill(0x77);
    b.initDefaults();
    const auto& x = b.bytes();
    for (size_t i : {484, 485, 486, 487, 505, 511, 545, 551, 564, 567, 577, 583, 606, 607})
        EXPECT_EQ(x[i], 0x77) << i;
    for (size_t i : {0, 2, 18, 19, 167, 168, 188, 228, 483, 640, 839, 840, 1239})
        EXPECT_EQ(x[i], 0) << i;
    EXPECT_EQ(b.value(ESetting::switchSpeed), 1200);
    EXPECT_DOUBLE_EQ(b.value(ESetting::referenceVoltage), 14.4);
    EXPECT_EQ(b.value(ESetting::auxOption), 1);
    EXPECT_EQ(b.value(ESetting::emulatorStepDelay), 100);
    EXPECT_EQ(b.recordingContext(), 0x77777777);
}

TEST(SettingsBlockLayout, HeaderFieldsAndTables) {
    CSettingsBlock b;
    b.setVersionMark(0x0105);
    EXPECT_EQ(b.bytes()[0], 0x05);
    EXPECT_EQ(b.bytes()[1], 0x01);
    b.setIdentity("0123456789ABCDEFGH");
    EXPECT_EQ(b.identity(), "0123456789ABCDEF");
    EXPECT_EQ(b.bytes()[18], 0); // the injector count is not touched
    b.setIdentity("AB");
    EXPECT_EQ(b.identity(), "AB");
    EXPECT_EQ(b.bytes()[2 + 2], 0);

    uint8_t rec[20];
    for (int i = 0; i < 20; ++i)
        rec[i] = static_cast<uint8_t>(i + 1);
    b.setFeatures(rec);
    EXPECT_EQ(b.featureMask(), 0x04030201u);
    EXPECT_EQ(b.timerFrequency(), 0x14131211u);
    EXPECT_EQ(b.bytes()[168], 1);
    EXPECT_EQ(b.feature(5), 0u);

    b.setTimeCorrection(24, -12.5);
    EXPECT_EQ(doubleAt(b, 640 + 24 * 8), -12.5);
    b.setTimeCorrection(25, 1.0); // past the table: ignored
    EXPECT_EQ(b.bytes()[840], 0);
    b.setReducerPressure(101.5);
    EXPECT_EQ(doubleAt(b, 160), 101.5);
    b.setRecordingContext(-2);
    EXPECT_EQ(b.bytes()[484], 0xFE);
    EXPECT_EQ(b.recordingContext(), -2);

    b.setTimeStamp("08-12-2026-01:02:03 and far too long");
    EXPECT_EQ(b.timeStamp(), "08-12-2026-01:02:03 and ");
    EXPECT_EQ(b.bytes()[188 + 24], 0);
}

TEST(SettingsBlockLayout, CarTextsAreCp1250CutInsideTheirWidth) {
    CSettingsBlock b;
    b.setCarText(ECarText::make, "Łada");
    const auto& x = b.bytes();
    EXPECT_EQ(x[19], 0xA3);
    EXPECT_EQ(x[20], 'a');
    EXPECT_EQ(x[23], 0);
    EXPECT_EQ(b.carText(ECarText::make), "Łada");

    // Power is 4 bytes wide: three characters and the terminator.
    b.setCarText(ECarText::power, "1234");
    EXPECT_EQ(b.carText(ECarText::power), "123");
    EXPECT_EQ(x[124 + 3], 0);
    EXPECT_EQ(x[128], 0); // the year after it is untouched
    b.setCarText(ECarText::year, "2004");
    b.setCarText(ECarText::injectors, "żółć-żółć-x");
    EXPECT_EQ(b.carText(ECarText::injectors), "żółć-żółć");
    EXPECT_EQ(b.carText(ECarText::year), "2004");
    b.setCarText(ECarText::flow, "2.0");
    EXPECT_EQ(x[143], '2');
    b.setCarText(ECarText::model, "Samara");
    EXPECT_EQ(x[69], 'S');
    b.setCarText(ECarText::capacity, "1500");
    EXPECT_EQ(x[119], '1');

    // A field without a terminator (damaged file) is read only within its width.
    b.bytes()[124] = b.bytes()[125] = b.bytes()[126] = b.bytes()[127] = '9';
    EXPECT_EQ(b.carText(ECarText::power), "9999");

    b.setRemarks("Uwagi: ąę");
    EXPECT_EQ(x[228 + 7], 0xB9);
    EXPECT_EQ(b.remarks(), "Uwagi: ąę");
    b.setRemarks(std::string(300, 'r'));
    EXPECT_EQ(b.remarks().size(), 255u);
    EXPECT_EQ(x[228 + 255], 0);
}
