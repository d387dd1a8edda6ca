#include "settings/CarFiles.h"

#include <algorithm>
#include <cstdint>

namespace zefirel {

namespace {

/// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not valid
/// (bad lead byte, missing or bad continuation, overlong form, surrogate, > U+10FFFF).
size_t utf8Length(const std::string& s, size_t i, uint32_t& cp) {
    const auto b = [&](size_t k) { return static_cast<uint8_t>(s[i + k]); };
    const uint8_t c = b(0);
    size_t n;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return n;
}

bool isControl(uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

/// The character mapping of safePathSegment, without the rules for the whole name.
/// The result is valid UTF-8.
std::string mapCharacters(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = utf8Length(text, i, cp);
        if (n == 0) {
            out += '_';
            ++i;
            continue;
        }
        if (isControl(cp) || cp == '/' || cp == '\\')
            out += '_';
        else
            out.append(text, i, n);
        i += n;
    }
    return out;
}

/// Cuts valid UTF-8 to at most maxBytes bytes without splitting a character.
std::string cutAtCharacter(std::string text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    size_t end = maxBytes;
    while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

/// The rules for a whole name: never empty, never starting with "." and no longer
/// than a file system takes.
std::string finishSegment(std::string out) {
    out = cutAtCharacter(std::move(out), PATH_SEGMENT_MAX);
    if (out.empty() || out[0] == '.')
        out = "_" + (out.empty() ? std::string() : out.substr(1));
    return out;
}

} // namespace

std::string safePathSegment(const std::string& text) { return finishSegment(mapCharacters(text)); }

std::string carFolderName(const std::string& make, const std::string& model, const std::string& capacity) {
    std::string mk = mapCharacters(make), md = mapCharacters(model), cp = mapCharacters(capacity);
    // Too long a name is shortened in the model first, then the make, then the
    // capacity, so the name still splits into the three parts at its hyphens. The
    // look-up of a listed file builds its path through here too and finds it.
    const size_t room = PATH_SEGMENT_MAX - 2;
    const auto fits = [&] { return mk.size() + md.size() + cp.size() <= room; };
    if (!fits())
        md = cutAtCharacter(md, room - std::min(room, mk.size() + cp.size()));
    if (!fits())
        mk = cutAtCharacter(mk, room - std::min(room, cp.size()));
    if (!fits())
        cp = cutAtCharacter(cp, room);
    return finishSegment(mk + "-" + md + "-" + cp);
}

std::string carFileName(const std::string& identity, const std::string& date) {
    const std::string tail = mapCharacters("-" + date + CAR_SETTINGS_EXTENSION);
    // The identity gives way first, so the name keeps its date and extension.
    const size_t room = PATH_SEGMENT_MAX - std::min(PATH_SEGMENT_MAX, tail.size());
    return finishSegment(cutAtCharacter(mapCharacters(identity), room) + tail);
}

bool blankCarText(const std::string& text) {
    return text.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

std::string carSettingsFilePath(const std::string& settingsFolder, const std::string& make,
                                const std::string& model, const std::string& capacity,
                                const std::string& identity, const std::string& date) {
    if (blankCarText(make) || blankCarText(model) || blankCarText(capacity))
        return {};
    return settingsFolder + carFolderName(make, model, capacity) + "/" + carFileName(identity, date);
}

} // namespace zefirel
