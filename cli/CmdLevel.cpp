// zefirelctl level [set V1,V2,V3,V4 | factory]: the LPG level sensor's reading and
// its four thresholds (wire order: byte 0 between full and 3/4, byte 3 between 1/4
// and the reserve).

#include "CtlCli.h"
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

int runLevelSet(CCtlContext& ctx, const std::string& list) {
    LevelThresholds t{};
    if (!parseLevelThresholds(list, t))
        return ctx.usageError("level set przyjmuje cztery liczby całkowite 0..255 rozdzielone przecinkami");
    // Thresholds out of order are refused before anything is sent.
    if (!levelThresholdsInOrder(t)) {
        ctx.message(MSG_LEVEL_ORDER);
        return EXIT_USAGE;
    }
    if (const int rc = ctx.connect(); rc != EXIT_OK)
        return rc;
    return writeLevel(ctx, t);
}

CtlRunner declareLevel(CLI::App& cmd) {
    cmd.require_subcommand(0, 1);
    auto list = std::make_shared<std::string>();
    CLI::App* set = cmd.add_subcommand("set", "check the four thresholds' order, then write them");
    set->add_option("THRESHOLDS", *list, "V1,V2,V3,V4: whole numbers 0..255 between full-3/4, 3/4-1/2, 1/2-1/4, 1/4-reserve")
        ->required();
    CLI::App* factory = cmd.add_subcommand("factory", "write the factory thresholds of the controller's sensor type");
    return [=](CCtlContext& ctx) {
        if (set->parsed())
            return runLevelSet(ctx, *list);
        if (const int rc = ctx.connect(); rc != EXIT_OK)
            return rc;
        if (!factory->parsed())
            return readLevel(ctx);
        const bool lowOhm = (ctx.device().settings().featureMask() & FEATURE_LOW_OHM_LEVEL) != 0;
        return writeLevel(ctx, factoryLevelThresholds(lowOhm));
    };
}

const CCtlRegistration reg{{"level", "level [set V1,V2,V3,V4 | factory]",
                            "LPG level reading and thresholds; set checks their order, factory writes the "
                            "AEB1050 set",
                            declareLevel}};

} // namespace

} // namespace zefirel::ctl
