#include "engine/values/Collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"

namespace {

using engine::CollationTable;
using engine::CompareLocaleStrings;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kEnglishUs = 0x0409;

CollationTable Identity() {
    CollationTable table;
    std::iota(table.begin(), table.end(), 0);
    return table;
}

// A collation unlike byte order: letters ignore case (so "a" and "A" tie) and sort after everything else.
class LettersLast final : public engine::Collation {
public:
    int Compare(std::string_view, std::string_view, std::size_t, bool) const override { return 0; }
    std::string ChangeCase(std::string_view text, engine::LetterCase) const override {
        return std::string(text);
    }
    int CompareChars(std::uint8_t a, std::uint8_t b) const override {
        const int ka = Key(a);
        const int kb = Key(b);
        return ka < kb ? -1 : ka > kb ? 1 : 0;
    }

private:
    static int Key(std::uint8_t c) {
        if (c >= 'a' && c <= 'z') return 256 + (c - 'a');
        if (c >= 'A' && c <= 'Z') return 256 + (c - 'A');
        return c;
    }
};

// The highest character first and the lowest last.
class Reversed final : public engine::Collation {
public:
    int Compare(std::string_view, std::string_view, std::size_t, bool) const override { return 0; }
    std::string ChangeCase(std::string_view text, engine::LetterCase) const override {
        return std::string(text);
    }
    int CompareChars(std::uint8_t a, std::uint8_t b) const override { return a > b ? -1 : a < b ? 1 : 0; }
};

TEST(Collation, ByteOrderComparison) {
    const struct {
        std::string_view a;
        std::string_view b;
        std::size_t length;
        bool ignoreCase;
        int expected;
    } cases[] = {
        {"ab", "abc", 0, false, -1},  // a text sorts before its extensions
        {"abc", "ab", 0, false, 1},
        {"abc", "abc", 0, false, 0},
        {"ABC", "abc", 0, false, -1},
        {"abc", "ABC", 0, true, 0},
        {"\xE9", "z", 0, false, 1},  // bytes compare unsigned
        {"\xE9", "Z", 0, true, 1},
        {"_", "a", 0, false, -1},
        {"_", "a", 0, true, 1},  // ignoring case folds to upper case, and "A" lies below "_"
        {"abcd", "abce", 3, false, 0},
        {"abcd", "abce", 4, false, -1},
        {"ab", "abc", 2, false, 0},
        {"ab", "abc", 3, false, -1},
        {std::string_view("ab\0x", 4), std::string_view("ab\0y", 4), 0, false, 0},  // a text ends at its zero
        {std::string_view("ab\0x", 4), std::string_view("ab\0y", 4), 4, false, 0},
        {"", "", 0, false, 0},
        {"", "a", 0, false, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompareLocaleStrings(0, 0, c.a, c.b, c.length, c.ignoreCase), c.expected)
            << c.a << " / " << c.b << " length " << c.length;
    }
}

TEST(Collation, ComparingWithoutCaseLeavesTheTextsAlone) {
    char a[] = "abc";
    char b[] = "ABC";
    EXPECT_EQ(CompareLocaleStrings(0, 0, a, b, 0, true), 0);
    EXPECT_STREQ(a, "abc");
    EXPECT_STREQ(b, "ABC");
}

std::string Mapped(engine::LetterCase letterCase, std::string_view source) {
    std::vector<char> out(256, '#');
    if (letterCase == engine::LetterCase::Upper) {
        engine::LocaleUpperCase(0, 0, source, out);
    } else {
        engine::LocaleLowerCase(0, 0, source, out);
    }
    return out.data();
}

TEST(Collation, ByteOrderCaseMapsAsciiLettersOnly) {
    EXPECT_EQ(Mapped(engine::LetterCase::Upper, "abc xyz \xE9\xFF[`{"), "ABC XYZ \xE9\xFF[`{");
    EXPECT_EQ(Mapped(engine::LetterCase::Lower, "ABC XYZ \xC9@[_"), "abc xyz \xC9@[_");
    EXPECT_EQ(Mapped(engine::LetterCase::Upper, std::string_view("ab\0cd", 5)), "AB");
}

TEST(Collation, CaseMappingMapsLongTextsWholeAndStaysInItsDestination) {
    const std::string source(254, 'q');
    // A destination of 255 bytes takes all 254 characters and the zero.
    std::vector<char> full(255, '#');
    engine::LocaleUpperCase(0, 0, source, full);
    EXPECT_EQ(std::string(full.data()), std::string(254, 'Q'));

    // A smaller one takes what fits; the guard bytes beyond it stay.
    std::vector<char> buffer(16, '#');
    engine::LocaleUpperCase(0, 0, source, std::span<char>(buffer.data(), 10));
    EXPECT_EQ(std::string(buffer.data()), std::string(9, 'Q'));
    EXPECT_EQ(std::string(buffer.data() + 10, 6), "######");

    // In place, as the expression evaluator maps a value.
    char value[] = "MiXed";
    engine::LocaleLowerCase(0, 0, value, value);
    EXPECT_STREQ(value, "mixed");
}

TEST(Collation, TableOfLanguageZeroIsTheIdentity) {
    CollationTable table{};
    engine::BuildCollationTable(table, 0, 0);
    EXPECT_EQ(table, Identity());
    for (int c = 0; c < 256; ++c) EXPECT_EQ(engine::CollationIndex(static_cast<std::uint8_t>(c), table), c);
}

TEST(Collation, TableFollowsTheCollationsOrder) {
    const Reversed reversed;
    CollationTable table{};
    engine::BuildCollationTable(table, reversed);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(table[i], 255 - i);

    const LettersLast lettersLast;
    engine::BuildCollationTable(table, lettersLast);
    CollationTable sorted = table;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, Identity());  // a permutation of 0 .. 255
    for (int i = 1; i < 256; ++i) EXPECT_LE(lettersLast.CompareChars(table[i - 1], table[i]), 0) << i;
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[255] == 'z' || table[255] == 'Z', true);
    EXPECT_EQ(engine::CollationIndex(table[200], table), 200);
}

TEST(Collation, StepsKeysByOneCollationPosition) {
    const Reversed reversed;
    CollationTable descending{};
    engine::BuildCollationTable(descending, reversed);  // lowest 0xFF, highest 0x00
    const CollationTable identity = Identity();
    const struct {
        const CollationTable* table;
        Bytes key;
        Bytes incremented;
        Bytes decremented;
    } cases[] = {
        {&identity, {0x10, 0x20}, {0x10, 0x21}, {0x10, 0x1F}},
        {&identity, {0x10, 0xFF, 0xFF}, {0x11, 0x00, 0x00}, {0x10, 0xFF, 0xFE}},
        {&identity, {0x10, 0x00, 0x00}, {0x10, 0x00, 0x01}, {0x0F, 0xFF, 0xFF}},
        {&identity, {0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFE}},
        {&identity, {0x00, 0x00}, {0x00, 0x01}, {0x00, 0x00}},
        {&identity, {0xFF}, {0xFF}, {0xFE}},
        {&descending, {0x10, 0x20}, {0x10, 0x1F}, {0x10, 0x21}},
        {&descending, {0x10, 0x00, 0x00}, {0x0F, 0xFF, 0xFF}, {0x10, 0x00, 0x01}},
        {&descending, {0x10, 0xFF, 0xFF}, {0x10, 0xFF, 0xFE}, {0x11, 0x00, 0x00}},
        {&descending, {0x00, 0x00}, {0x00, 0x00}, {0x00, 0x01}},
        {&descending, {0xFF, 0xFF}, {0xFF, 0xFE}, {0xFF, 0xFF}},
    };
    for (const auto& c : cases) {
        Bytes key = c.key;
        engine::IncrementKey(key.data(), key.size(), *c.table);
        EXPECT_EQ(key, c.incremented);
        key = c.key;
        engine::DecrementKey(key.data(), key.size(), *c.table);
        EXPECT_EQ(key, c.decremented);
    }
}

// Runs the statement and answers the engine error code it raised, with the message.
template <class F>
std::pair<int, std::string> Raised(F&& statement) {
    try {
        statement();
    } catch (const engine::ETARNISEngineError& e) {
        return {e.ErrorCode(), e.Message()};
    }
    return {0, "nothing raised"};
}

TEST(Collation, LocalesOtherThanLanguageZeroAreNotInstalled) {
    EXPECT_TRUE(engine::IsLocaleInstalled(0, 0));
    EXPECT_FALSE(engine::IsLocaleInstalled(kEnglishUs, 0));
    EXPECT_EQ(engine::FindCollation(kEnglishUs, 0), nullptr);

    char buffer[8] = "abc";
    CollationTable table{};
    const std::function<void()> entryPoints[] = {
        [] { engine::GetCollation(kEnglishUs, 0, "T.DAT"); },
        [] { CompareLocaleStrings(kEnglishUs, 0, "a", "b", 0, false, "T.DAT"); },
        [&] { engine::LocaleUpperCase(kEnglishUs, 0, buffer, buffer, "T.DAT"); },
        [&] { engine::LocaleLowerCase(kEnglishUs, 0, buffer, buffer, "T.DAT"); },
        [&] { engine::BuildCollationTable(table, kEnglishUs, 0, "T.DAT"); },
    };
    for (const auto& entryPoint : entryPoints) {
        EXPECT_EQ(
            Raised(entryPoint),
            std::make_pair(15878, std::string("TARNIS Engine Error # 15878 The language driver for data "
                                              "file T.DAT is not available or installed")));
    }
    EXPECT_STREQ(buffer, "abc");
}

}  // namespace
