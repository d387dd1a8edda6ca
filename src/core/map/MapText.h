#pragma once
/// The injection map as the installer reads and types it: cell texts ("5%", empty
/// for no correction), the bytes typed cell texts become, the row and column
/// labels, the printed grid, and what a computed cell rests on.

#include <array>
#include <cstdint>
#include <string>

#include "map/MapCompute.h"

namespace zefirel {

using MapTexts = std::array<std::string, MAP_BYTES>;

/// "%d%%" of byte − 100; empty for 100 (no correction).
std::string mapByteText(uint8_t byte);
/// "%d%%".
std::string mapPercentText(int percent);
/// The percentage of a typed cell: a decimal number read from the start of the
/// text (a sign, also "−", then digits; whatever follows, such as "%", ends it); 0
/// when the text does not start with one. Kept within −100 .. 150.
int parseMapPercent(const std::string& text);
/// The byte a typed cell is stored as: its percentage + 100.
uint8_t mapByteFromText(const std::string& text);

/// Row label "0.0-0.5" .. "24.5-25.0".
std::string mapRowLabel(int row);
/// Column header "0-1000" .. "7000-8000".
std::string mapColumnHeader(int column);

/// The cell texts of map bytes (as "Wczytaj" shows them).
MapTexts mapTextsOfBytes(const MapBytes& bytes);
/// The cell texts of a computation ("Utwórz mapę...").
MapTexts mapTextsOfResult(const MapResult& result);
/// The grid as text: a header line ("ms" and the speed columns), then one line per
/// row with its label and its cells.
std::string formatMapTable(const MapTexts& texts);

/// What a computed cell rests on: for each speed × load cell folded into it, the
/// petrol and LPG sample counts and mean petrol times and its correction; a first
/// line says when some count is below MAP_FEW_SAMPLES. Empty for a cell without a
/// computed value.
std::string mapCellBasis(const MapResult& result, int row, int column);

} // namespace zefirel
