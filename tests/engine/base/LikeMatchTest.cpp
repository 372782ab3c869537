#include "engine/base/LikeMatch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

namespace {

// The matching rules read literally, one recursion per character.
bool Reference(std::string_view text, std::string_view pattern) {
    if (pattern == "%") return true;
    if (text.empty()) return pattern.find_first_not_of('%') == std::string_view::npos;
    if (pattern.empty()) return false;
    if (pattern[0] == '%') return Reference(text, pattern.substr(1)) || Reference(text.substr(1), pattern);
    if (pattern[0] == '_' || pattern[0] == text[0]) return Reference(text.substr(1), pattern.substr(1));
    return false;
}

TEST(LikeMatch, Rules) {
    const struct {
        const char* text;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"", "%", true},      {"", "", true},       {"", "_", false},         {"abc", "a%c", true},
        {"abc", "a_c", true}, {"abc", "%", true},   {"abc", "abc%", true},    {"abc", "ABC", false},
        {"abc", "ab", false}, {"a", "a%%", true},   {"abc", "%b", false},     {"abc", "%c", true},
        {"ab", "abc", false}, {"a%c", "a%c", true}, {"aXbXc", "a%b%c", true}, {"abcabd", "%abd", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine::LikeMatch(c.text, c.pattern), c.matches) << c.text << " " << c.pattern;
}

TEST(LikeMatch, AgreesWithTheRecursiveRules) {
    std::mt19937 random(1234);
    const auto draw = [&](const char* alphabet, int maxLength) {
        std::string s(random() % (maxLength + 1), ' ');
        for (char& c : s) c = alphabet[random() % 4];
        return s;
    };
    for (int i = 0; i < 50000; ++i) {
        const std::string text = draw("abab", 7);
        const std::string pattern = draw("ab%_", 6);
        ASSERT_EQ(engine::LikeMatch(text, pattern), Reference(text, pattern)) << text << " " << pattern;
    }
}

TEST(LikeMatch, ManyPercentSignsDoNotTakeExponentialTime) {
    const std::string text(250, 'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine::LikeMatch(text, "%a%a%a%a%a%b"));
    EXPECT_TRUE(engine::LikeMatch(text, "%a%a%a%a%a%"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

}  // namespace
