#include "map/MapText.h"

#include <algorithm>
#include <cstdio>

namespace zefirel {

namespace {

std::string format(const char* fmt, auto... args) {
    char buf[400];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

/// The typographic minus sign, U+2212, in UTF-8.
constexpr const char* UNICODE_MINUS = "\xE2\x88\x92";

constexpr size_t LABEL_WIDTH = 10;
constexpr size_t CELL_WIDTH = 10;

void pad(std::string& line, const std::string& text, size_t width) {
    line += text;
    if (text.size() < width)
        line.append(width - text.size(), ' ');
}

} // namespace

std::string mapByteText(uint8_t byte) {
    return byte == MAP_NO_CORRECTION ? std::string() : mapPercentText(int(byte) - MAP_NO_CORRECTION);
}

std::string mapPercentText(int percent) { return format("%d%%", percent); }

int parseMapPercent(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (text.compare(i, 3, UNICODE_MINUS) == 0) {
        negative = true;
        i += 3;
    } else if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(value * 10 + (text[i] - '0'), 1000000L); // far beyond the range, never overflowing
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp(value, long(MAP_MIN_PERCENT), long(MAP_MAX_PERCENT)));
}

uint8_t mapByteFromText(const std::string& text) {
    return static_cast<uint8_t>(parseMapPercent(text) + MAP_NO_CORRECTION);
}

std::string mapRowLabel(int row) { return format("%.1f-%.1f", row / 2.0, row / 2.0 + 0.5); }

std::string mapColumnHeader(int column) { return format("%d-%d", column * 1000, column * 1000 + 1000); }

MapTexts mapTextsOfBytes(const MapBytes& bytes) {
    MapTexts t;
    for (size_t i = 0; i < MAP_BYTES; ++i)
        t[i] = mapByteText(bytes[i]);
    return t;
}

MapTexts mapTextsOfResult(const MapResult& result) {
    MapTexts t;
    for (int row = 0; row < MAP_ROWS; ++row)
        for (int column = 0; column < MAP_COLUMNS; ++column)
            if (result.filled(row, column))
                t[size_t(row * MAP_COLUMNS + column)] = mapPercentText(result.percent(row, column));
    return t;
}

std::string formatMapTable(const MapTexts& texts) {
    std::string out;
    pad(out, "ms", LABEL_WIDTH);
    for (int column = 0; column < MAP_COLUMNS; ++column)
        pad(out, mapColumnHeader(column), CELL_WIDTH);
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    out += '\n';
    for (int row = 0; row < MAP_ROWS; ++row) {
        std::string line;
        pad(line, mapRowLabel(row), LABEL_WIDTH);
        for (int column = 0; column < MAP_COLUMNS; ++column)
            pad(line, texts[size_t(row * MAP_COLUMNS + column)], CELL_WIDTH);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + '\n';
    }
    return out;
}

std::string mapCellBasis(const MapResult& result, int row, int column) {
    if (!result.filled(row, column)) {
        // Driven, but with too few samples of one fuel (or none) for a value: said as
        // of a value resting on few samples, with the counts that were missing.
        const uint16_t driven = result.unjudged(row, column);
        if (!driven)
            return {};
        std::string out = format("Mało próbek (poniżej %d) - brak wartości\n", MAP_FEW_SAMPLES);
        for (int load = 0; load < LOAD_BUCKETS; ++load) {
            if (!(driven & (1u << load)))
                continue;
            const MapCell& c = result.cells[size_t(column)][size_t(load)];
            const auto fuel = [](const char* name, int count, double mean) {
                return count ? format("%s %d próbek, średnio %.2f ms", name, count, mean) : format("%s 0 próbek", name);
            };
            out += format("Obciążenie %d-%d: ", load * 10, load * 10 + 10) + fuel("benzyna", c.petrolCount, c.petrolMean) +
                   "; " + fuel("LPG", c.lpgCount, c.lpgMean) +
                   format("; bez poprawki (potrzeba ponad %d próbek każdego paliwa)\n", MAP_MIN_COUNT);
        }
        out.pop_back();
        return out;
    }
    std::string out;
    if (result.weak(row, column))
        out = format("Mało próbek (poniżej %d) - wartość niepewna\n", MAP_FEW_SAMPLES);
    const uint16_t folded = result.sources[size_t(row / 2)][size_t(column)];
    for (int load = 0; load < LOAD_BUCKETS; ++load) {
        if (!(folded & (1u << load)))
            continue;
        const MapCell& c = result.cells[size_t(column)][size_t(load)];
        out += format("Obciążenie %d-%d: benzyna %d próbek, średnio %.2f ms; LPG %d próbek, średnio %.2f ms; "
                      "poprawka %.1f%%\n",
                      load * 10, load * 10 + 10, c.petrolCount, c.petrolMean, c.lpgCount, c.lpgMean, c.correction);
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

} // namespace zefirel
