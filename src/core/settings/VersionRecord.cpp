#include "settings/VersionRecord.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "link/Cipher.h"
#include "link/Protocol.h"
#include "link/SettingsBlock.h"
#include "support/Cp1250.h"

namespace zefirel {

namespace {
using namespace std::chrono;

const sys_days DATE_ORIGIN{year{2004} / April / 1};

bool digits(const std::string& text, size_t pos, size_t count, unsigned& out) {
    out = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        out = out * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

std::string dateText(const year_month_day& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u/%02u/%04d", static_cast<unsigned>(d.day()), static_cast<unsigned>(d.month()),
                  static_cast<int>(d.year()));
    return buf;
}
} // namespace

std::string formatProgrammingDate(uint32_t count) { return dateText(year_month_day{DATE_ORIGIN + days{count}}); }

std::string todayDateText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return dateText(year_month_day{year{local.tm_year + 1900}, month{static_cast<unsigned>(local.tm_mon + 1)},
                                   day{static_cast<unsigned>(local.tm_mday)}});
}

EDateText parseProgrammingDate(const std::string& text, uint16_t& out) {
    if (text.size() != PROGRAMMING_DATE_TEXT_LENGTH)
        return EDateText::WrongLength;
    unsigned d = 0, m = 0, y = 0;
    if (!digits(text, 0, 2, d) || !digits(text, 3, 2, m) || !digits(text, 6, 4, y) || text[2] != '/' ||
        text[5] != '/')
        return EDateText::Invalid;
    const year_month_day date{year{static_cast<int>(y)}, month{m}, day{d}};
    if (!date.ok())
        return EDateText::Invalid;
    const long count = (sys_days{date} - DATE_ORIGIN).count();
    if (count < 0 || count > 0xFFFF)
        return EDateText::Invalid;
    out = static_cast<uint16_t>(count);
    return EDateText::Ok;
}

std::string identityText(const std::string& cp1250) { return cp1250ToUtf8(cp1250); }

std::string identityBytes(const std::string& utf8) { return utf8ToCp1250(utf8); }

bool identityFits(const std::string& utf8) { return identityBytes(utf8).size() <= IDENTITY_MAX_BYTES; }

VersionFields decodeVersionRecord(const uint8_t* record) {
    static const CCipher cipher;
    VersionFields f;
    f.programmingDate = getU16(record);
    f.version = getU16(record + 2);
    f.injectors = record[4];
    f.identity = identityText(cipher.decipher(record + 5, block::IDENTITY_SIZE));
    return f;
}

} // namespace zefirel
