// The car settings file loader on any file (usually 1240 bytes), and the uses of a
// loaded record: the car list row, the look-up path made from its texts, applying
// it to the document's record, checking and encoding the result.
#include <filesystem>

#include "FuzzSupport.h"
#include "link/Conversions.h"
#include "settings/CarFiles.h"
#include "settings/CarInfo.h"
#include "settings/SettingsCopy.h"

using namespace zefirel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::writeInput("input.settings", data, size);
    CSettingsBlock record;
    const ESettingsFileResult r = loadCarSettingsFile(path, record);
    fuzz::require((r == ESettingsFileResult::Unreadable) == (size < block::SIZE), "short files only are unreadable");
    if (r == ESettingsFileResult::Unreadable)
        return 0;
    (void)settingsFileMessage(r);

    // The row the car settings list shows, and the path a chosen row leads to.
    const CarTexts texts = CCarInfo::carTexts(record);
    (void)record.identity();
    (void)record.timeStamp();
    (void)record.remarks();
    (void)record.reducerPressure();
    const std::string folder = "/settings/";
    const std::string look = CCarInfo::lookUpPath(folder, record);
    if (!look.empty()) {
        const std::filesystem::path rel = std::filesystem::path(look).lexically_relative(folder);
        fuzz::require(std::distance(rel.begin(), rel.end()) == 2, "the look-up path is one car folder deep");
    }

    CSettingsBlock doc;
    const ESettingsFileResult applied = applyCarSettingsFile(path, doc, false);
    fuzz::require(applied == r, "loading twice gives the same result");
    (void)checkSettingsWithRanges(doc);
    uint8_t p[SETUP_RECORD_SIZE];
    encodeSettings(doc, p);
    (void)texts;
    return 0;
}
