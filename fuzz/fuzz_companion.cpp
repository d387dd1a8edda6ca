// The "-config" companion of a recording: any bytes, read record by record, and
// every record put to the uses a replay puts it to (settings snapshot list, check).
#include <vector>

#include "FuzzSupport.h"
#include "diag/Companion.h"
#include "link/Conversions.h"
#include "settings/CarInfo.h"
#include "settings/SettingsCopy.h"

using namespace zefirel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::writeInput("input.lpgd-config", data, size);
    std::vector<CSettingsBlock> records;
    fuzz::require(readCompanion(path, records), "an existing companion opens");
    fuzz::require(records.size() <= size / block::SIZE, "only whole records are read");
    for (const CSettingsBlock& r : records) {
        fuzz::require(r.versionMark() == COMPANION_VERSION_MARK, "only records of version 5 are read");
        (void)r.timeStamp();
        (void)r.remarks();
        (void)r.recordingContext();
        (void)CCarInfo::carTexts(r);
        (void)checkSettingsWithRanges(r);
        CSettingsBlock doc;
        applyStoredRecord(r, doc, false);
        uint8_t p[SETUP_RECORD_SIZE];
        encodeSettings(doc, p);
    }
    return 0;
}
