// The spreadsheet text: which separators are refused, and the row count as Polish
// says it.
#include <gtest/gtest.h>

#include "diag/CsvExport.h"

using namespace zefirel;

TEST(CsvFormat, RefusesMarksThatCannotBeToldApartFromTheNumbers) {
    struct Case {
        char separator, decimal;
        bool ok;
    } cases[] = {{';', ',', true}, {',', '.', true}, {'\t', ',', true}, {',', ',', false},
                 {'1', ',', false}, {';', '-', false}, {'"', '.', false}, {';', '\n', false}};
    for (const Case& k : cases) {
        CsvFormat f;
        f.separator = k.separator;
        f.decimal = k.decimal;
        std::string why;
        EXPECT_EQ(validCsvFormat(f, why), k.ok) << int(k.separator) << " " << int(k.decimal);
        EXPECT_EQ(why.empty(), k.ok);
    }
}

TEST(CsvFormat, CountsRowsInPolish) {
    const std::pair<uint64_t, const char*> cases[] = {{1, "1 wiersz"},    {2, "2 wiersze"},    {4, "4 wiersze"},
                                                      {5, "5 wierszy"},   {12, "12 wierszy"},  {14, "14 wierszy"},
                                                      {22, "22 wiersze"}, {112, "112 wierszy"}, {0, "0 wierszy"}};
    for (const auto& [n, text] : cases)
        EXPECT_EQ(rowsText(n), text);
}
