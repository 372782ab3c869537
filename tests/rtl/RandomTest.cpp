#include "rtl/Random.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

std::vector<std::int32_t> Draws(int count, std::int32_t range) {
    std::vector<std::int32_t> out;
    for (int i = 0; i < count; ++i) out.push_back(rtl::Random(range));
    return out;
}

TEST(Random, ASetSeedReplaysTheSameDraws) {
    rtl::SetRandSeed(12345);
    const auto first = Draws(100, 99999999);
    const double real = rtl::Random();
    rtl::SetRandSeed(12345);
    EXPECT_EQ(Draws(100, 99999999), first);
    EXPECT_EQ(rtl::Random(), real);
    const std::uint64_t state = rtl::RandSeed();
    const auto next = Draws(10, 1000);
    rtl::SetRandSeed(state);
    EXPECT_EQ(Draws(10, 1000), next);
    rtl::SetRandSeed(54321);
    EXPECT_NE(Draws(100, 99999999), first);
}

TEST(Random, DrawsStayInRangeAndCoverIt) {
    rtl::SetRandSeed(7);
    constexpr int kDraws = 100000;
    std::array<int, 10> counts{};
    for (int i = 0; i < kDraws; ++i) {
        const std::int32_t r = rtl::Random(10);
        ASSERT_TRUE(r >= 0 && r < 10) << r;
        ++counts[r];
    }
    for (int c : counts) {
        EXPECT_GT(c, kDraws / 10 * 9 / 10);
        EXPECT_LT(c, kDraws / 10 * 11 / 10);
    }
    for (int i = 0; i < 1000; ++i) {
        const double r = rtl::Random();
        ASSERT_TRUE(r >= 0 && r < 1) << r;
        const std::int32_t big = rtl::Random(INT32_MAX);
        ASSERT_TRUE(big >= 0 && big < INT32_MAX);
    }
    EXPECT_EQ(rtl::Random(1), 0);
    EXPECT_EQ(rtl::Random(0), 0);
    EXPECT_EQ(rtl::Random(-5), 0);
}

TEST(Random, RandomizeSeedsFromTheClock) {
    rtl::SetRandSeed(1);
    rtl::Randomize();
    EXPECT_NE(rtl::RandSeed(), 1u);
}

}  // namespace
