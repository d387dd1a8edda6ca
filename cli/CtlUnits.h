#pragma once
/// Options of the commands that read a recording without a controller: the timer
/// frequency the recording's ticks are read in.

#include <string>
#include <vector>

#include "CtlCommon.h"

namespace zefirel::ctl {

/// Takes "--name VALUE" out of args as a number within min..max (value keeps what it
/// held when the option is absent). False with the reason in why otherwise.
bool takeNumber(std::vector<std::string>& args, const std::string& name, double min, double max, double& value,
                std::string& why);

/// Takes "--timer-frequency F" out of args into frequency (DEFAULT_TIMER_FREQUENCY
/// when absent). False with the reason in why for a value outside 1000..10000000.
bool takeTimerFrequency(std::vector<std::string>& args, double& frequency, std::string& why);

} // namespace zefirel::ctl
