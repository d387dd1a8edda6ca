// Level sensor rules (order check, factory sets, type matching, the level of a
// reading, the lamps) and the version record's date text.
#include <gtest/gtest.h>

#include "settings/LevelSensor.h"
#include "settings/VersionRecord.h"

using namespace zefirel;

namespace {

TEST(LevelThresholds, OnlyStrictlyRisingOrFallingSetsPass) {
    const struct {
        LevelThresholds t;
        bool ok;
    } cases[] = {
        {{225, 170, 130, 42}, true},  {{42, 130, 170, 225}, true},  {{119, 112, 106, 103}, true},
        {{42, 130, 130, 225}, false}, {{42, 130, 170, 42}, false},  {{1, 1, 1, 1}, false},
        {{10, 20, 30, 30}, false},    {{30, 20, 10, 10}, false},    {{10, 30, 20, 40}, false},
        {{40, 20, 30, 10}, false},    {{0, 1, 2, 255}, true},       {{255, 2, 1, 0}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(levelThresholdsInOrder(c.t), c.ok)
            << int(c.t[0]) << "," << int(c.t[1]) << "," << int(c.t[2]) << "," << int(c.t[3]);
}

TEST(LevelThresholds, TypesAndFactorySetsFollowTheLowOhmFeature) {
    auto names = [](bool lowOhm) {
        std::string s;
        for (const LevelSensorType& t : levelSensorTypes(lowOhm))
            s += t.name + ";";
        return s;
    };
    EXPECT_EQ(names(true), "Czujnik AEB1050;Czujnik 90 ohm;Czujnik rezerwy;Inny;");
    EXPECT_EQ(names(false), "Czujnik AEB1050;Czujnik rezerwy;Inny;");
    EXPECT_EQ(factoryLevelThresholds(true), (LevelThresholds{241, 249, 253, 255}));
    EXPECT_EQ(factoryLevelThresholds(false), (LevelThresholds{42, 130, 170, 225}));

    const struct {
        LevelThresholds t;
        bool lowOhm;
        const char* type;
    } cases[] = {
        {{119, 112, 106, 103}, true, "Czujnik 90 ohm"}, {{119, 112, 106, 103}, false, "Inny"},
        {{42, 130, 170, 225}, false, "Czujnik AEB1050"}, {{42, 130, 170, 225}, true, "Inny"},
        {{255, 253, 249, 241}, true, "Czujnik rezerwy"}, {{225, 170, 130, 42}, false, "Czujnik rezerwy"},
        {{1, 40, 100, 200}, false, "Inny"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(levelSensorTypes(c.lowOhm)[matchLevelSensorType(c.t, c.lowOhm)].name, c.type) << c.type;
}

TEST(LevelThresholds, AReadingFallsIntoItsLevelInEitherDirection) {
    const LevelThresholds rising = {42, 130, 170, 225};  // the reading grows as the tank empties
    const LevelThresholds falling = {225, 170, 130, 42}; // the reading falls as the tank empties
    const struct {
        uint32_t reading;
        ELevel onRising, onFalling;
    } cases[] = {
        {0, ELevel::Full, ELevel::Reserve},          {41, ELevel::Full, ELevel::Reserve},
        {42, ELevel::ThreeQuarters, ELevel::Reserve}, {43, ELevel::ThreeQuarters, ELevel::Quarter},
        {130, ELevel::Half, ELevel::Quarter},         {131, ELevel::Half, ELevel::Half},
        {170, ELevel::Quarter, ELevel::Half},         {171, ELevel::Quarter, ELevel::ThreeQuarters},
        {225, ELevel::Reserve, ELevel::ThreeQuarters}, {226, ELevel::Reserve, ELevel::Full},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(levelFromReading(c.reading, rising), c.onRising) << c.reading;
        EXPECT_EQ(levelFromReading(c.reading, falling), c.onFalling) << c.reading;
    }
}

TEST(LevelThresholds, LampsLightFromTheirLevelAndTheReserveLampBlinks) {
    const uint32_t G = LAMP_GREEN, Y = LAMP_YELLOW, R = LAMP_RED, O = LAMP_OFF;
    EXPECT_EQ(O, 0x00323232u);
    const struct {
        ELevel level;
        bool blink;
        std::array<uint32_t, 4> lamps;
    } cases[] = {
        {ELevel::Full, false, {G, G, Y, R}},    {ELevel::ThreeQuarters, false, {O, G, Y, R}},
        {ELevel::Half, false, {O, O, Y, R}},    {ELevel::Quarter, false, {O, O, O, R}},
        {ELevel::Quarter, true, {O, O, O, R}},  {ELevel::Reserve, true, {O, O, O, R}},
        {ELevel::Reserve, false, {O, O, O, O}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(levelLampColours(c.level, c.blink), c.lamps) << static_cast<int>(c.level) << " " << c.blink;
}

TEST(LevelThresholds, CommandLineListParses) {
    LevelThresholds t{};
    ASSERT_TRUE(parseLevelThresholds("225,170,130,42", t));
    EXPECT_EQ(t, (LevelThresholds{225, 170, 130, 42}));
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "1,2,,4", "1,2,3,256", "1,2,3,-4", "a,b,c,d", "1, 2,3,4",
                            "1,2,3,4,", "0001,2,3,4"})
        EXPECT_FALSE(parseLevelThresholds(bad, t)) << bad;
    EXPECT_EQ(t, (LevelThresholds{225, 170, 130, 42})); // a refused text leaves the output alone
}

TEST(VersionDate, DayCountsAndTextsMapBothWays) {
    const struct {
        uint16_t days;
        const char* text;
    } cases[] = {{0, "01/04/2004"}, {30, "01/05/2004"}, {365, "01/04/2005"}, {8013, "10/03/2026"},
                 {65535, "05/09/2183"}};
    for (const auto& c : cases) {
        EXPECT_EQ(formatProgrammingDate(c.days), c.text);
        uint16_t back = 1;
        ASSERT_EQ(parseProgrammingDate(c.text, back), EDateText::Ok) << c.text;
        EXPECT_EQ(back, c.days) << c.text;
    }
    uint16_t days = 77;
    EXPECT_EQ(parseProgrammingDate("1/4/2004", days), EDateText::WrongLength);
    EXPECT_EQ(parseProgrammingDate("01/04/20040", days), EDateText::WrongLength);
    for (const char* bad : {"31/03/2004", "30/02/2025", "00/05/2010", "01/13/2010", "ab/04/2004", "01-04-2004",
                            "06/09/2183", " 1/04/2004"})
        EXPECT_EQ(parseProgrammingDate(bad, days), EDateText::Invalid) << bad;
    EXPECT_EQ(days, 77); // untouched by the refused texts
    EXPECT_EQ(todayDateText().size(), PROGRAMMING_DATE_TEXT_LENGTH);
}

} // namespace
