#include "tools/keyvale-setup/InvsortWords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

#include "tests/app/core/support/ScriptedRandomSource.h"
#include "tests/tools/keyvale-setup/WordChecks.h"

namespace keyvalesetup {
namespace {

using setuptest::IsFieldWord;

std::size_t Longest(std::span<const std::string_view> words) {
    std::size_t longest = 0;
    for (std::string_view word : words) longest = std::max(longest, word.size());
    return longest;
}

TEST(InvsortWords, EveryWordFitsItsField) {
    for (std::string_view word : GivenNames()) EXPECT_TRUE(IsFieldWord(word, 20));
    for (std::string_view word : FamilyNames()) EXPECT_TRUE(IsFieldWord(word, 20));
    for (std::string_view word : Towns()) EXPECT_TRUE(IsFieldWord(word, 20));
    for (std::string_view word : StreetNames()) EXPECT_TRUE(IsFieldWord(word, 30));
    for (std::string_view word : StreetSuffixes()) EXPECT_TRUE(IsFieldWord(word, 30));
    // "9999 " + the longest name + " " + the longest suffix.
    EXPECT_LE(5 + Longest(StreetNames()) + 1 + Longest(StreetSuffixes()), 30u);
}

TEST(InvsortWords, APersonIsDrawnFirstLastStreetCity) {
    testsupport::ScriptedRandomSource random;
    random.Push({0, 1, 41, 2, 3, 4});
    const InvsortPerson person = DrawPerson(random);
    EXPECT_EQ(person.first, GivenNames()[0]);
    EXPECT_EQ(person.last, FamilyNames()[1]);
    EXPECT_EQ(person.street, "42 " + std::string(StreetNames()[2]) + " " + std::string(StreetSuffixes()[3]));
    EXPECT_EQ(person.city, Towns()[4]);
    const std::vector<std::int32_t> ranges = {static_cast<std::int32_t>(GivenNames().size()),
                                              static_cast<std::int32_t>(FamilyNames().size()),
                                              9999,
                                              static_cast<std::int32_t>(StreetNames().size()),
                                              static_cast<std::int32_t>(StreetSuffixes().size()),
                                              static_cast<std::int32_t>(Towns().size())};
    EXPECT_EQ(random.Ranges(), ranges);
}

}  // namespace
}  // namespace keyvalesetup
