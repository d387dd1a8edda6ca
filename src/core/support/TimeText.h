#pragma once
/// Local date and time as text, for file names and time stamps.

#include <ctime>
#include <string>

namespace zefirel {

/// when in local time, formatted with strftime's format (at most 63 characters).
std::string localTimeText(std::time_t when, const char* format);

} // namespace zefirel
