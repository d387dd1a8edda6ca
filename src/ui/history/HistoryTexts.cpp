#include "ui/history/HistoryTexts.h"

#include <string_view>

namespace zefirel {

namespace {

struct Word {
    std::string_view stored;
    const char* shown;
};

template <size_t N>
QString lookUp(const Word (&words)[N], const std::string& stored) {
    for (const Word& w : words)
        if (w.stored == stored) return QString::fromUtf8(w.shown);
    return QString::fromStdString(stored);
}

constexpr Word SOURCES[] = {
    {"panel", "Panel"},
    {"dialog", "Ustawienia ręczne"},
    {"file", "Zapisane ustawienia"}, // a car settings file, or a record put back from the history
    {"factory", "Ustawienia fabryczne"},
    {"autosetup", "Ustawienia automatyczne"},
    {"wizard", "Ustawienia krok po kroku"},
    {"map", "Mapa wtrysków"},
    {"curve", "Krzywa poprawek"},
    {"command line", "Wiersz poleceń"},
    {"learning", "Uczenie mapy"},
    {"history", "Historia samochodu"},
    {"test", "Test"},
};

constexpr Word KINDS[] = {
    {"settings", "Zapis ustawień"},
    {"level", "Zapis progów czujnika poziomu"},
    {"version", "Zapis wersji urządzenia"},
    {"eeprom", "Zapis EEPROM"},
};

constexpr Word RESULTS[] = {
    {"written", "Wpisano"},
    {"refused", "Odrzucono (błędne wartości)"},
    {"no car data", "Brak danych samochodu"},
    {"declined", "Anulowano"},
    {"busy", "Sterownik zajęty"},
    {"read failed", "Błąd odczytu ustawień"},
    {"version failed", "Błąd odczytu wersji"},
    {"car file failed", "Błąd pliku samochodu"},
    {"reset failed", "Błąd resetu"},
    {"curve failed", "Błąd zapisu krzywej"},
    {"map failed", "Błąd zapisu mapy"},
    {"write failed", "Błąd zapisu"},
    {"after failed", "Wpisano (błąd po zapisie)"},
    {"imported", "Zaimportowano"},
    {"done", "Zakończono"},
    {"failed", "Nie powiodło się"},
};

} // namespace

QString historySourceText(const std::string& source) { return lookUp(SOURCES, source); }

QString historyWhatText(const HistoryEntry& entry) {
    switch (entry.kind) {
    case EHistoryEntryKind::Write: return lookUp(KINDS, entry.what);
    case EHistoryEntryKind::AutoSetup: return QStringLiteral("Ustawienia automatyczne");
    case EHistoryEntryKind::Recording: return QStringLiteral("Nagranie");
    case EHistoryEntryKind::Report: return QStringLiteral("Raport serwisowy");
    }
    return QString();
}

QString historyResultText(const HistoryEntry& entry) { return lookUp(RESULTS, entry.result); }

bool historyEntryFailed(const HistoryEntry& entry) {
    if (entry.kind == EHistoryEntryKind::Write) return !entry.ok && entry.result != "declined";
    return entry.kind == EHistoryEntryKind::AutoSetup && !entry.ok;
}

} // namespace zefirel
