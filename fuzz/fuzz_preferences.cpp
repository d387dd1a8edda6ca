// The preferences ini reader on any file, and the writer on any value. Properties:
// a value stored is read back exactly, and storing one key leaves the value the
// file gave the other key as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "FuzzSupport.h"
#include "support/Preferences.h"

using namespace zefirel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string value = in.ConsumeRandomLengthString(300);
    const bool storeCarFile = in.ConsumeBool();
    const std::string file = in.ConsumeRemainingBytesAsString();
    fuzz::writeInput("v5.2.conf", reinterpret_cast<const uint8_t*>(file.data()), file.size());

    CIniPreferences prefs(fuzz::scratchFolder());
    (void)prefs.lastSerialPort();
    const char* stored = storeCarFile ? PREF_LAST_CAR_FILE : PREF_LAST_RS;
    const char* other = storeCarFile ? PREF_LAST_RS : PREF_LAST_CAR_FILE;
    const std::string otherBefore = prefs.value(PREF_APP_V52, other);
    prefs.setValue(PREF_APP_V52, stored, value);
    fuzz::require(prefs.value(PREF_APP_V52, stored) == value, "a stored value reads back exactly");
    fuzz::require(prefs.value(PREF_APP_V52, other) == otherBefore, "storing one key keeps another");
    return 0;
}
