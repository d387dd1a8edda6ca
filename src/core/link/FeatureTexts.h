#pragma once
/// The texts that describe the controller's feature bits (0x0001 … 0x1000), as
/// the About box and the command line list them.

#include <cstdint>
#include <string>
#include <vector>

namespace zefirel {

/// The text of one feature bit (0..12), or null for a bit this program does not know.
const char* featureDescription(unsigned bit);
/// The texts of every known feature bit set in mask, lowest bit first.
std::vector<std::string> featureDescriptions(uint32_t mask);

} // namespace zefirel
