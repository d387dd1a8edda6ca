#include "link/FeatureTexts.h"

#include <iterator>

namespace zefirel {

namespace {

const char* const TEXTS[] = {
    "Obsługa różnych typów sterowania wtryskiwaczami benzynowymi",
    "Możliwość wyłączenia ogrzewacza",
    "Kaskadowe załączanie emulatorów",
    "Szybkie zamykanie wtryskiwaczy LPG",
    "Poprawki od napięcia zasilania",
    "Korekcja Lambda",
    "Dodatkowa główna poprawka dla wybranych wtryskiwaczy",
    "Rozszerzona diagnostyka",
    "Przełączenie na benzynę przy spadku tempr. LPG",
    "Obsługa niskoomowych czujników poziomu LPG",
    "Obsługa wielu typów wtryskiwaczy LPG",
    "Pomiar napięcia zasilania tylko przy pracy na LPG",
    "Wysyłanie informacji o zainicjowaniu sterownika",
};

} // namespace

const char* featureDescription(unsigned bit) { return bit < std::size(TEXTS) ? TEXTS[bit] : nullptr; }

std::vector<std::string> featureDescriptions(uint32_t mask) {
    std::vector<std::string> out;
    for (unsigned bit = 0; bit < std::size(TEXTS); ++bit)
        if (mask & (1u << bit))
            out.push_back(TEXTS[bit]);
    return out;
}

} // namespace zefirel
