#include "support/Cp1250.h"

#include <cerrno>
#include <iconv.h>

namespace zefirel {

namespace {

/// Length of the UTF-8 sequence that starts with byte c (1 for a stray byte).
size_t utf8SequenceLength(unsigned char c) {
    if (c >= 0xF0 && c <= 0xF4)
        return 4;
    if (c >= 0xE0)
        return c <= 0xEF ? 3 : 1;
    if (c >= 0xC2)
        return 2;
    return 1;
}

/// Converts with iconv; every unconvertible or malformed input piece becomes '?'.
/// skipLength tells how many input bytes one bad piece occupies.
std::string convert(const char* to, const char* from, const std::string& in,
                    size_t (*skipLength)(unsigned char)) {
    std::string out;
    if (in.empty())
        return out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    out.reserve(in.size() * 2);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[256];
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        const int err = errno;
        out.append(buf, static_cast<size_t>(dst - buf));
        if (rc != static_cast<size_t>(-1))
            break;
        if (err == E2BIG)
            continue;
        // EILSEQ (no such character / malformed) or EINVAL (cut-off sequence at the end).
        out += '?';
        size_t skip = skipLength(static_cast<unsigned char>(*src));
        if (skip > srcLeft)
            skip = srcLeft;
        // A malformed multi-byte lead is followed by fewer continuation bytes than it
        // announces: skip only the bytes that really continue it.
        size_t n = 1;
        while (n < skip && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80)
            ++n;
        src += n;
        srcLeft -= n;
        if (err != EILSEQ && err != EINVAL)
            break;
    }
    // Flush any shift state (none for these encodings, but harmless).
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buf, static_cast<size_t>(dst - buf));
    iconv_close(cd);
    return out;
}

size_t oneByte(unsigned char) { return 1; }

} // namespace

std::string utf8ToCp1250(const std::string& utf8) {
    return convert("CP1250", "UTF-8", utf8, utf8SequenceLength);
}

std::string cp1250ToUtf8(const std::string& cp1250) {
    return convert("UTF-8", "CP1250", cp1250, oneByte);
}

} // namespace zefirel
