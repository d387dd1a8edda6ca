#pragma once
/// Conversion between the program's UTF-8 text and the Windows-1250 (CP1250) bytes
/// stored in settings blocks and files, so those stay byte-compatible.

#include <string>

namespace zefirel {

/// UTF-8 → CP1250. A character CP1250 lacks, or a malformed UTF-8 sequence, becomes '?'.
std::string utf8ToCp1250(const std::string& utf8);
/// CP1250 → UTF-8. The five byte values CP1250 leaves undefined become '?'.
std::string cp1250ToUtf8(const std::string& cp1250);

} // namespace zefirel
