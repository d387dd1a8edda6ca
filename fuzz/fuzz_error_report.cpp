// The controller's 11-byte error report (and a report index past the table), as
// the error dialog and the wizard describe it.
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "link/DeviceErr.h"

using namespace zefirel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const CLPGDeviceErr table;
    uint8_t report[11] = {};
    std::memcpy(report, data, size < sizeof report ? size : sizeof report);
    const std::string text = table.describeReport(report);
    bool anyBit = false;
    for (uint8_t b : report)
        anyBit = anyBit || b != 0;
    fuzz::require(text.empty() == !anyBit, "a report describes itself exactly when a bit is set");
    for (size_t i = sizeof report; i < size; ++i)
        (void)table.describeModule(data[i] % 16, data[i]);
    return 0;
}
