#include "support/TimeText.h"

namespace zefirel {

std::string localTimeText(std::time_t when, const char* format) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[64];
    const size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

} // namespace zefirel
