#include "rtl/Text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, EveryByteRoundTripsThroughUtf8AndUtf16) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(rtl::Utf8ToCp1252(rtl::Cp1252ToUtf8(all)), all);
    EXPECT_EQ(rtl::Utf16ToCp1252(rtl::Cp1252ToUtf16(all)), all);
}

TEST(Text, KnownCharactersMapBothWays) {
    EXPECT_EQ(rtl::Cp1252ToUtf8("\x80"), "\u20AC");
    EXPECT_EQ(rtl::Cp1252ToUtf8("\xE9t\xE9"), "\u00E9t\u00E9");
    EXPECT_EQ(rtl::Utf8ToCp1252("\u0153uvre \u2122"), "\x9Cuvre \x99");
    EXPECT_EQ(rtl::Cp1252ToUtf16("\x9F"), u"\u0178");
}

TEST(Text, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(rtl::Utf8ToCp1252("a\u4E2Db\U0001F600c"), "a?b?c");
    EXPECT_EQ(rtl::Utf8ToCp1252("x\xC3"), "x?");      // truncated sequence
    EXPECT_EQ(rtl::Utf8ToCp1252("\xC0\xAF"), "?");    // overlong form
    EXPECT_EQ(rtl::Utf16ToCp1252(u"\xD800z"), "?z");  // lone surrogate
}

TEST(Text, TrimRemovesBlanksAndControlCharacters) {
    EXPECT_EQ(rtl::Trim(" \t FOO.dat \r\n"), "FOO.dat");
    EXPECT_EQ(rtl::TrimLeft("  a b  "), "a b  ");
    EXPECT_EQ(rtl::TrimRight("  a b  "), "  a b");
    EXPECT_EQ(rtl::Trim("   "), "");
}

TEST(Text, CaseMappingCoversAccentedLetters) {
    EXPECT_EQ(rtl::AnsiUpperCase("stra\xDF"
                                 "e \xE9\x9A\xFF \xF7"),
              "STRA\xDF"
              "E \xC9\x8A\x9F \xF7");
    EXPECT_EQ(rtl::AnsiLowerCase("\xC9\x8A\x9F \xD7Z"), "\xE9\x9A\xFF \xD7z");
    EXPECT_EQ(rtl::UpperCase("abc\xE9"), "ABC\xE9");
    EXPECT_EQ(rtl::LowerCase("ABC\xC9"), "abc\xC9");
}

TEST(Text, NameComparison) {
    EXPECT_EQ(rtl::AnsiCompareText("config.DAT", "CONFIG.dat"), 0);
    EXPECT_TRUE(rtl::AnsiSameText("\xE9t\xE9", "\xC9T\xC9"));
    EXPECT_LT(rtl::AnsiCompareText("abc", "ABD"), 0);
    EXPECT_GT(rtl::AnsiCompareText("abcd", "ABC"), 0);
    EXPECT_FALSE(rtl::AnsiSameStr("Secret", "secret"));
    EXPECT_LT(rtl::AnsiCompareStr("A", "a"), 0);
    EXPECT_EQ(rtl::AnsiCompareStr("x", "x"), 0);
}

}  // namespace
