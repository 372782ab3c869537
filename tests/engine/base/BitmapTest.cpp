#include "engine/base/Bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes WithBits(std::size_t size, std::initializer_list<std::int64_t> bits) {
    Bytes bytes(size);
    for (const std::int64_t bit : bits) engine::BitmapSetBit(bit, bytes.data());
    return bytes;
}

TEST(Bitmap, BitNumbersStartAtTheLowBitOfByteZero) {
    EXPECT_EQ(WithBits(2, {1}), Bytes({0x01, 0x00}));
    EXPECT_EQ(WithBits(2, {8}), Bytes({0x80, 0x00}));
    EXPECT_EQ(WithBits(2, {9}), Bytes({0x00, 0x01}));
    Bytes bytes = WithBits(2, {3, 16});
    EXPECT_TRUE(engine::BitmapTestBit(16, bytes.data()));
    EXPECT_FALSE(engine::BitmapTestBit(15, bytes.data()));
    engine::BitmapClearBit(16, bytes.data());
    EXPECT_EQ(bytes, Bytes({0x04, 0x00}));
}

TEST(Bitmap, NextSetBit) {
    const Bytes bytes = WithBits(2, {10});
    std::int64_t position = 0;
    EXPECT_TRUE(engine::BitmapNextSetBit(bytes.data(), 2, 16, position));
    EXPECT_EQ(position, 10);
    EXPECT_FALSE(engine::BitmapNextSetBit(bytes.data(), 2, 16, position));
    EXPECT_EQ(position, 10);
    position = 0;
    EXPECT_FALSE(engine::BitmapNextSetBit(bytes.data(), 2, 9, position));
    EXPECT_EQ(position, 0);
}

TEST(Bitmap, PriorSetBit) {
    const Bytes bytes = WithBits(2, {3, 16});
    std::int64_t position = 16;
    EXPECT_TRUE(engine::BitmapPriorSetBit(bytes.data(), 2, position));
    EXPECT_EQ(position, 3);
    EXPECT_FALSE(engine::BitmapPriorSetBit(bytes.data(), 2, position));
    EXPECT_EQ(position, 3);
    position = 17;
    EXPECT_TRUE(engine::BitmapPriorSetBit(bytes.data(), 2, position));
    EXPECT_EQ(position, 16);
    position = 1;
    EXPECT_FALSE(engine::BitmapPriorSetBit(bytes.data(), 2, position));
}

TEST(Bitmap, CountStopsAtTheHighestBitAndTheLimit) {
    const Bytes bytes(2, 0xFF);
    EXPECT_EQ(engine::BitmapCount(bytes.data(), 2, 12), 12);
    EXPECT_EQ(engine::BitmapCountUpTo(5, bytes.data(), 2, 12), 5);
    EXPECT_EQ(engine::BitmapCountUpTo(0, bytes.data(), 2, 12), 0);
    EXPECT_EQ(engine::BitmapCount(bytes.data(), 2, 0), 0);
}

TEST(Bitmap, ClearAboveKeepsExactlyTheBitsUpToTheHighest) {
    const struct {
        std::int64_t highest;
        std::uint8_t first, second, third;
    } cases[] = {{0, 0, 0, 0},           {3, 0x07, 0, 0},        {8, 0xFF, 0, 0}, {9, 0xFF, 0x01, 0},
                 {24, 0xFF, 0xFF, 0xFF}, {30, 0xFF, 0xFF, 0xFF}, {-1, 0, 0, 0}};
    for (const auto& c : cases) {
        Bytes bytes(3, 0xFF);
        engine::BitmapClearAbove(c.highest, bytes.data(), 3);
        EXPECT_EQ(bytes, (Bytes{c.first, c.second, c.third})) << c.highest;
    }
}

TEST(Bitmap, WholeArrayOperationsCoverExactlyTheCount) {
    const std::int64_t n = 65536;
    Bytes source(n + 1, 0x0F);
    Bytes target(n + 1, 0x3C);
    engine::BitmapAnd(source.data(), target.data(), n);
    EXPECT_EQ(target[0], 0x0C);
    EXPECT_EQ(target[n - 1], 0x0C);
    EXPECT_EQ(target[n], 0x3C);
    engine::BitmapOr(source.data(), target.data(), n);
    EXPECT_EQ(target[n - 1], 0x0F);
    engine::BitmapNot(target.data(), target.data(), n);
    EXPECT_EQ(target[n - 1], 0xF0);
    EXPECT_EQ(target[n], 0x3C);
    const Bytes before = target;
    engine::BitmapAnd(source.data(), target.data(), 0);
    engine::BitmapOr(source.data(), target.data(), 0);
    engine::BitmapNot(source.data(), target.data(), 0);
    engine::BitmapSetAll(target.data(), 0);
    engine::BitmapClearAll(target.data(), 0);
    EXPECT_EQ(target, before);
    engine::BitmapSetAll(target.data(), n);
    EXPECT_EQ(engine::BitmapCount(target.data(), n, n * 8), n * 8);
    engine::BitmapClearAll(target.data(), n);
    EXPECT_EQ(engine::BitmapCount(target.data(), n, n * 8), 0);
}

TEST(Bitmap, ByteScans) {
    const Bytes zeros(5);
    EXPECT_EQ(engine::NextNonZeroByte(zeros.data(), 5, 0), 4);
    EXPECT_EQ(engine::PriorNonZeroByte(zeros.data(), 5, 4), 0);
    const Bytes some = {0, 1, 0, 2, 0};
    EXPECT_EQ(engine::NextNonZeroByte(some.data(), 5, 2), 3);
    EXPECT_EQ(engine::PriorNonZeroByte(some.data(), 5, 2), 1);
    EXPECT_EQ(engine::PriorNonZeroByte(some.data(), 5, 3), 3);
}

// The word-at-a-time searches against a plain walk over the bits, for many sizes, highest bits and densities.
TEST(Bitmap, SearchesAndCountsAgreeWithABitByBitWalk) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 400; ++round) {
        const std::int64_t size = std::uniform_int_distribution<std::int64_t>(1, 40)(random);
        const std::int64_t highest = std::uniform_int_distribution<std::int64_t>(0, size * 8)(random);
        const double density = std::uniform_real_distribution<double>(0.0, 0.3)(random);
        Bytes bytes(static_cast<std::size_t>(size));
        std::vector<bool> set(static_cast<std::size_t>(size * 8 + 1));
        for (std::int64_t bit = 1; bit <= size * 8; ++bit) {
            if (std::bernoulli_distribution(density)(random)) {
                engine::BitmapSetBit(bit, bytes.data());
                set[static_cast<std::size_t>(bit)] = true;
            }
        }
        std::int64_t count = 0;
        for (std::int64_t bit = 1; bit <= highest; ++bit) count += set[static_cast<std::size_t>(bit)];
        ASSERT_EQ(engine::BitmapCount(bytes.data(), size, highest), count);

        for (std::int64_t start = 0; start <= size * 8 + 1; ++start) {
            std::int64_t next = 0;
            for (std::int64_t bit = start + 1; bit <= highest && next == 0; ++bit) {
                if (set[static_cast<std::size_t>(bit)]) next = bit;
            }
            std::int64_t position = start;
            ASSERT_EQ(engine::BitmapNextSetBit(bytes.data(), size, highest, position), next != 0) << start;
            ASSERT_EQ(position, next != 0 ? next : start);

            std::int64_t prior = 0;
            for (std::int64_t bit = std::min(start - 1, size * 8); bit >= 1 && prior == 0; --bit) {
                if (set[static_cast<std::size_t>(bit)]) prior = bit;
            }
            position = start;
            ASSERT_EQ(engine::BitmapPriorSetBit(bytes.data(), size, position), prior != 0) << start;
            ASSERT_EQ(position, prior != 0 ? prior : start);

            std::int64_t upTo = 0;
            for (std::int64_t bit = 1; bit <= std::min(start, highest); ++bit)
                upTo += set[static_cast<std::size_t>(bit)];
            ASSERT_EQ(engine::BitmapCountUpTo(start, bytes.data(), size, highest), upTo);
        }

        // The n-th set bit within H, for n from 0 to past the count.
        std::int64_t seen = 0;
        for (std::int64_t bit = 1; bit <= highest; ++bit) {
            if (!set[static_cast<std::size_t>(bit)]) continue;
            ++seen;
            std::int64_t position = 0;
            ASSERT_TRUE(engine::BitmapSelect(bytes.data(), size, highest, seen, position)) << seen;
            ASSERT_EQ(position, bit);
        }
        for (const std::int64_t n : {std::int64_t{0}, std::int64_t{-1}, count + 1}) {
            std::int64_t position = 77;
            ASSERT_FALSE(engine::BitmapSelect(bytes.data(), size, highest, n, position)) << n;
            ASSERT_EQ(position, 77);
        }
    }
}

}  // namespace
