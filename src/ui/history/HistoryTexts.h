#pragma once
/// The history's stored names (sources, kinds, outcomes: short English words) in
/// the installer's Polish, for the car history window.

#include <QString>

#include "history/HistoryDb.h"

namespace zefirel {

/// Who made a write: "panel" → "Panel", "dialog" → "Ustawienia ręczne", ...
QString historySourceText(const std::string& source);
/// What a timeline line is ("Zapis ustawień", "Ustawienia automatyczne", "Nagranie", ...).
QString historyWhatText(const HistoryEntry& entry);
/// What became of it ("Wpisano", "Anulowano", "Nie powiodło się", ...).
QString historyResultText(const HistoryEntry& entry);
/// Whether the line is a write or an automatic setup that did not succeed (a
/// write the installer declined is no failure).
bool historyEntryFailed(const HistoryEntry& entry);

} // namespace zefirel
