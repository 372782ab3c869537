#include "engine/base/Scramble.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(Scramble, XorsWithTheSteppedSeed) {
    const engine::ScrambleSeed seed{0xF0, 0x05};
    std::vector<std::uint8_t> bytes(300);
    engine::ScrambleBuffer(bytes.data(), bytes.size(), seed);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto up = static_cast<std::uint8_t>(seed.first + i);
        const auto down = static_cast<std::uint8_t>(seed.second - i);
        ASSERT_EQ(bytes[i], up ^ down) << i;
    }
    engine::UnscrambleBuffer(bytes.data(), bytes.size(), seed);
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(300));
}

TEST(Scramble, RoundTripsWithBothEngineSeeds) {
    for (const engine::ScrambleSeed seed : {engine::PasswordSeed, engine::DataSeed}) {
        std::vector<std::uint8_t> bytes(4096);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31);
        const std::vector<std::uint8_t> plain = bytes;
        engine::ScrambleBuffer(bytes.data(), bytes.size(), seed);
        EXPECT_NE(bytes, plain);
        engine::UnscrambleBuffer(bytes.data(), bytes.size(), seed);
        EXPECT_EQ(bytes, plain);
    }
}

TEST(Scramble, OnlyTheLow16BitsOfTheLengthCount) {
    std::vector<std::uint8_t> bytes(65536 + 3);
    engine::ScrambleBuffer(bytes.data(), 0, engine::DataSeed);
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(65539));
    engine::ScrambleBuffer(bytes.data(), bytes.size(), {1, 0});
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[2], 3 ^ 0xFE);
    EXPECT_EQ(bytes[3], 0);
}

}  // namespace
