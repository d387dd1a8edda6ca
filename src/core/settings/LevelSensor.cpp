#include "settings/LevelSensor.h"

#include <cerrno>
#include <cstdlib>

namespace zefirel {

std::vector<LevelSensorType> levelSensorTypes(bool lowOhm) {
    std::vector<LevelSensorType> types;
    if (lowOhm) {
        types.push_back({LEVEL_SENSOR_AEB1050, true, {241, 249, 253, 255}});
        types.push_back({"Czujnik 90 ohm", true, {119, 112, 106, 103}});
        types.push_back({"Czujnik rezerwy", true, {255, 253, 249, 241}});
    } else {
        types.push_back({LEVEL_SENSOR_AEB1050, true, {42, 130, 170, 225}});
        types.push_back({"Czujnik rezerwy", true, {225, 170, 130, 42}});
    }
    types.push_back({LEVEL_SENSOR_OTHER, false, {}});
    return types;
}

LevelThresholds factoryLevelThresholds(bool lowOhm) { return levelSensorTypes(lowOhm).front().thresholds; }

size_t matchLevelSensorType(const LevelThresholds& t, bool lowOhm) {
    const auto types = levelSensorTypes(lowOhm);
    for (size_t i = 0; i < types.size(); ++i)
        if (types[i].hasFactorySet && types[i].thresholds == t)
            return i;
    return types.size() - 1;
}

bool levelThresholdsInOrder(const LevelThresholds& t) {
    if (t[3] == t[2])
        return false;
    if (t[3] < t[2])
        return t[2] < t[1] && t[1] < t[0];
    return t[2] > t[1] && t[1] > t[0];
}

ELevel levelFromReading(uint32_t r, const LevelThresholds& t) {
    if (t[0] < t[3]) {
        if (r < t[0]) return ELevel::Full;
        if (r < t[1]) return ELevel::ThreeQuarters;
        if (r < t[2]) return ELevel::Half;
        if (r < t[3]) return ELevel::Quarter;
        return ELevel::Reserve;
    }
    if (r > t[0]) return ELevel::Full;
    if (r > t[1]) return ELevel::ThreeQuarters;
    if (r > t[2]) return ELevel::Half;
    if (r > t[3]) return ELevel::Quarter;
    return ELevel::Reserve;
}

std::array<uint32_t, 4> levelLampColours(ELevel level, bool blinkOn) {
    // Each lamp lights from its own level upwards: 1/1 and 3/4 green, 1/2 yellow,
    // 1/4 red.
    const std::array<uint32_t, 4> lit = {LAMP_GREEN, LAMP_GREEN, LAMP_YELLOW, LAMP_RED};
    int litFrom = 0; // lamps with an index >= litFrom are lit
    switch (level) {
    case ELevel::Full: litFrom = 0; break;
    case ELevel::ThreeQuarters: litFrom = 1; break;
    case ELevel::Half: litFrom = 2; break;
    case ELevel::Quarter: litFrom = 3; break;
    case ELevel::Reserve: litFrom = blinkOn ? 3 : 4; break;
    }
    std::array<uint32_t, 4> out{};
    for (int i = 0; i < 4; ++i)
        out[static_cast<size_t>(i)] = i >= litFrom ? lit[static_cast<size_t>(i)] : LAMP_OFF;
    return out;
}

bool parseLevelThresholds(const std::string& text, LevelThresholds& out) {
    LevelThresholds t{};
    size_t pos = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const size_t comma = text.find(',', pos);
        const bool last = i + 1 == t.size();
        if (last != (comma == std::string::npos))
            return false;
        const std::string word = text.substr(pos, last ? std::string::npos : comma - pos);
        if (word.empty() || word.find_first_not_of("0123456789") != std::string::npos || word.size() > 3)
            return false;
        const unsigned long v = std::strtoul(word.c_str(), nullptr, 10);
        if (v > 255)
            return false;
        t[i] = static_cast<uint8_t>(v);
        pos = comma + 1;
    }
    out = t;
    return true;
}

} // namespace zefirel
