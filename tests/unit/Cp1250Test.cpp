// UTF-8 <-> Windows-1250 conversion of the texts stored in settings blocks.
#include <gtest/gtest.h>

#include "support/Cp1250.h"

using namespace zefirel;

TEST(Cp1250, PolishLettersMapToTheirCodePageBytes) {
    const std::string utf8 = "ąćęłńóśźż ĄĆĘŁŃÓŚŹŻ";
    const std::string expected = "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF \xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF";
    const std::string cp = utf8ToCp1250(utf8);
    EXPECT_EQ(cp, expected);
    EXPECT_EQ(cp1250ToUtf8(cp), utf8);
    EXPECT_EQ(utf8ToCp1250("Zażółć gęślą jaźń"), "Za\xBF\xF3\xB3\xE6 g\xEA\x9C\x6C\xB9 ja\x9F\xF1");
    EXPECT_EQ(utf8ToCp1250("€"), "\x80");
}

TEST(Cp1250, UnknownOrMalformedCharactersBecomeQuestionMarks) {
    EXPECT_EQ(utf8ToCp1250("a日b"), "a?b");
    EXPECT_EQ(utf8ToCp1250("x😀y"), "x?y");
    EXPECT_EQ(utf8ToCp1250("a\xFF" "b"), "a?b");
    // A multi-byte lead without its continuation bytes.
    EXPECT_EQ(utf8ToCp1250("a\xC4" "b"), "a?b");
    EXPECT_EQ(utf8ToCp1250("end\xC4"), "end?");
    // Byte values CP1250 leaves undefined.
    EXPECT_EQ(cp1250ToUtf8("a\x81" "b\x98"), "a?b?");
}

TEST(Cp1250, EmptyAndLongTexts) {
    EXPECT_EQ(utf8ToCp1250(""), "");
    EXPECT_EQ(cp1250ToUtf8(""), "");
    std::string longUtf8;
    for (int i = 0; i < 700; ++i)
        longUtf8 += "żx";
    const std::string cp = utf8ToCp1250(longUtf8);
    ASSERT_EQ(cp.size(), 1400u);
    EXPECT_EQ(static_cast<unsigned char>(cp[1398]), 0xBF);
    EXPECT_EQ(cp1250ToUtf8(cp), longUtf8);
}
