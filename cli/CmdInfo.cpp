// zefirelctl info: what the controller says about itself.

#include <cstdio>

#include "CtlCli.h"
#include "link/Conversions.h"
#include "link/FeatureTexts.h"
#include "settings/VersionRecord.h"

namespace zefirel::ctl {

namespace {

int runInfo(CCtlContext& ctx) {
    // A controller of another version is still described; versionOk tells.
    if (const int rc = ctx.connect(false); rc != EXIT_OK)
        return rc;
    CDeviceDoc& dev = ctx.device();
    uint8_t record[VERSION_RECORD_SIZE] = {};
    if (!dev.readVersion(record)) {
        ctx.message("Nie można wczytać wersji urządzenia");
        return EXIT_FAILED;
    }
    const unsigned version = getU16(record + 2);
    const unsigned injectors = record[4];
    const std::string identity = dev.settings().identity();
    const std::string date = formatProgrammingDate(getU16(record));
    const uint32_t mask = dev.settings().featureMask();
    const uint32_t frequency = dev.settings().timerFrequency();
    const std::vector<std::string> features = featureDescriptions(mask);
    const bool versionOk = dev.isVersionOk();

    if (ctx.jsonOutput()) {
        CJsonWriter w;
        w.beginObject();
        w.key("version").value(static_cast<int>(version));
        w.key("injectors").value(static_cast<int>(injectors));
        w.key("identity").value(identity);
        w.key("programmingDate").value(date);
        w.key("features").beginObject().key("mask").value(mask).key("texts").beginArray();
        for (const std::string& f : features)
            w.value(f);
        w.endArray().endObject();
        w.key("timerFrequency").value(frequency);
        w.key("versionOk").value(versionOk);
        w.endObject();
        ctx.json(w);
    } else {
        char maskText[16];
        std::snprintf(maskText, sizeof maskText, "0x%04X", mask);
        ctx.out("version: " + std::to_string(version));
        ctx.out("injectors: " + std::to_string(injectors));
        ctx.out("identity: " + identity);
        ctx.out("programmingDate: " + date);
        ctx.out(std::string("features: ") + maskText);
        for (const std::string& f : features)
            ctx.out("  " + f);
        if (mask & ~FEATURE_KNOWN_MASK)
            ctx.out("  (unknown features present)");
        ctx.out("timerFrequency: " + std::to_string(frequency));
        ctx.out(std::string("versionOk: ") + (versionOk ? "yes" : "no"));
    }
    return EXIT_OK;
}

const CCtlRegistration reg{{"info", "info", "version, injectors, identity, programming date, features",
                            noArguments<runInfo>}};

} // namespace

} // namespace zefirel::ctl
