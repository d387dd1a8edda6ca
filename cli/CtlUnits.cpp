#include "CtlUnits.h"

#include <cerrno>
#include <cstdlib>

#include "link/Conversions.h"

namespace zefirel::ctl {

bool takeNumber(std::vector<std::string>& args, const std::string& name, double min, double max, double& value,
                std::string& why) {
    std::string text;
    bool found = false;
    if (!takeOption(args, name, text, found)) {
        why = name + " needs a value";
        return false;
    }
    if (!found)
        return true;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(v >= min && v <= max)) {
        why = name + " needs a number from " + formatNumber(min) + " to " + formatNumber(max);
        return false;
    }
    value = v;
    return true;
}

bool takeTimerFrequency(std::vector<std::string>& args, double& frequency, std::string& why) {
    frequency = DEFAULT_TIMER_FREQUENCY;
    return takeNumber(args, "--timer-frequency", 1000, 10000000, frequency, why);
}

} // namespace zefirel::ctl
