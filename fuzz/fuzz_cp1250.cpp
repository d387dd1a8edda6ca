// The CP1250 converter both ways. Properties: CP1250 → UTF-8 gives valid UTF-8
// that converts back to the same bytes (the five undefined bytes become '?');
// UTF-8 → CP1250 never grows the text.
#include <string>

#include "FuzzSupport.h"
#include "support/Cp1250.h"

using namespace zefirel;

namespace {
bool undefinedInCp1250(unsigned char c) { return c == 0x81 || c == 0x83 || c == 0x88 || c == 0x90 || c == 0x98; }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::string utf8 = cp1250ToUtf8(bytes);
    std::string expected = bytes;
    for (char& c : expected)
        if (undefinedInCp1250(static_cast<unsigned char>(c)))
            c = '?';
    fuzz::require(utf8ToCp1250(utf8) == expected, "CP1250 round-trips through UTF-8");

    const std::string back = utf8ToCp1250(bytes);
    fuzz::require(back.size() <= bytes.size(), "UTF-8 to CP1250 never grows");
    (void)cp1250ToUtf8(back);
    return 0;
}
