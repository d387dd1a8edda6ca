// zefirelctl level [set V1,V2,V3,V4 | factory]: the LPG level sensor's reading and
// its four thresholds (wire order: byte 0 between full and 3/4, byte 3 between 1/4
// and the reserve).

#include "CtlCommon.h"
#include "settings/LevelSensor.h"

namespace zefirel::ctl {

namespace {

void printThresholds(CCtlContext& ctx, const LevelThresholds& t) {
    if (ctx.jsonOutput()) {
        ctx.json(CJsonWriter().beginObject().key("thresholds").array(t.data(), t.size()).endObject());
        return;
    }
    const char* const between[] = {"1/1-3/4", "3/4-1/2", "1/2-1/4", "1/4-Rezerwa"};
    for (size_t i = 0; i < t.size(); ++i)
        ctx.out(std::string("threshold ") + between[i] + ": " + std::to_string(t[i]));
}

int readLevel(CCtlContext& ctx) {
    CDeviceDoc& dev = ctx.device();
    uint32_t value = 0;
    if (!dev.readLevelValue(value)) {
        ctx.message(MSG_LEVEL_READ_VALUE);
        return EXIT_FAILED;
    }
    LevelThresholds t{};
    if (!dev.readLevelCalibration(t.data())) {
        ctx.message(MSG_LEVEL_READ_THRESHOLDS);
        return EXIT_FAILED;
    }
    const bool lowOhm = (dev.settings().featureMask() & FEATURE_LOW_OHM_LEVEL) != 0;
    const std::string type = levelSensorTypes(lowOhm)[matchLevelSensorType(t, lowOhm)].name;
    if (ctx.jsonOutput()) {
        ctx.json(CJsonWriter().beginObject().key("value").value(value).key("thresholds").array(t.data(), t.size())
                     .key("type").value(type).endObject());
        return EXIT_OK;
    }
    ctx.out("value: " + std::to_string(value));
    printThresholds(ctx, t);
    ctx.out("type: " + type);
    return EXIT_OK;
}

int writeLevel(CCtlContext& ctx, const LevelThresholds& t) {
    if (!ctx.device().writeLevelCalibration(t.data())) {
        ctx.message(MSG_LEVEL_WRITE);
        return EXIT_FAILED;
    }
    printThresholds(ctx, t);
    return EXIT_OK;
}

int runLevel(CCtlContext& ctx, const std::vector<std::string>& args) {
    const char* usage = "usage: level | level set V1,V2,V3,V4 | level factory";
    if (!args.empty() && args[0] == "set") {
        if (args.size() != 2)
            return ctx.usageError(usage);
        LevelThresholds t{};
        if (!parseLevelThresholds(args[1], t))
            return ctx.usageError("level set takes four whole numbers 0..255 separated by commas");
        // Thresholds out of order are refused before anything is sent.
        if (!levelThresholdsInOrder(t)) {
            ctx.message(MSG_LEVEL_ORDER);
            return EXIT_USAGE;
        }
        if (const int rc = ctx.connect(); rc != EXIT_OK)
            return rc;
        return writeLevel(ctx, t);
    }
    if (!args.empty() && args[0] == "factory") {
        if (const int rc = ctx.begin(args.size() == 1, usage); rc != EXIT_OK)
            return rc;
        const bool lowOhm = (ctx.device().settings().featureMask() & FEATURE_LOW_OHM_LEVEL) != 0;
        return writeLevel(ctx, factoryLevelThresholds(lowOhm));
    }
    if (const int rc = ctx.begin(args.empty(), usage); rc != EXIT_OK)
        return rc;
    return readLevel(ctx);
}

const CCtlRegistration reg{{"level", "level [set V1,V2,V3,V4 | factory]",
                            "LPG level reading and thresholds; set checks their order, factory writes the "
                            "AEB1050 set",
                            runLevel}};

} // namespace

} // namespace zefirel::ctl
