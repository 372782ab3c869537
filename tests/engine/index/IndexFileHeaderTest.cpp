#include "engine/index/IndexFileHeader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

using engine::IndexHeaderSize;
using Image = std::array<std::uint8_t, IndexHeaderSize>;

std::uint32_t Get(const Image& b, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | b[at + static_cast<std::size_t>(i)];
    return value;
}

TEST(IndexFileHeaderTest, ANewHeaderHoldsOnlyVersionEndOfFileAndSysDeleted) {
    const engine::TIndexFileHeader header = engine::NewIndexFileHeader();
    EXPECT_EQ(header.HeaderChanged, 1);
    Image bytes{};
    engine::EncodeIndexFileHeader(header, bytes);
    Image expected{};
    expected[8] = 3;
    expected[10] = 0x10;  // end of file 4096
    const std::size_t sysDeleted = 14 + 31 * 120;
    ASSERT_EQ(sysDeleted, 3734u);
    expected[sysDeleted] = 11;
    const std::string name = "Sys Deleted";
    std::copy(name.begin(), name.end(), expected.begin() + sysDeleted + 1);
    expected[sysDeleted + 31] = 5;
    expected[3979] = 1;  // the header-changed flag is written as it stands
    EXPECT_EQ(bytes, expected);
}

TEST(IndexFileHeaderTest, EveryFieldSurvivesARoundTripAndUnusedAreasAreWrittenZero) {
    Image bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    // Names within their rooms, the room after each name zero (as every name is written).
    for (std::size_t slot = 0; slot < 32; ++slot) {
        const std::size_t at = 14 + slot * 120;
        const std::size_t length = slot % 31;
        bytes[at] = static_cast<std::uint8_t>(length);
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at + 1 + length),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at + 31), 0);
    }
    engine::TIndexFileHeader header;
    ASSERT_TRUE(engine::DecodeIndexFileHeader(bytes, header));
    EXPECT_EQ(header.ChangeCounter, Get(bytes, 0, 4));
    EXPECT_EQ(header.UnusedWord, Get(bytes, 4, 4));
    EXPECT_EQ(header.EndOfFile.Value, Get(bytes, 9, 4));
    EXPECT_EQ(header.SecondaryCount, bytes[13]);
    EXPECT_EQ(header.Indexes[31].KeyLength, Get(bytes, 14 + 31 * 120 + 31, 2));
    EXPECT_EQ(header.Indexes[5].Name.size(), 5u);
    EXPECT_EQ(header.RecordCount, Get(bytes, 3974, 4));
    EXPECT_EQ(header.NoPrimaryIndex, bytes[3978]);
    EXPECT_EQ(header.HeaderChanged, bytes[3979]);

    Image again{};
    engine::EncodeIndexFileHeader(header, again);
    Image expected = bytes;
    std::fill(expected.begin() + 3854, expected.begin() + 3974, 0);
    std::fill(expected.begin() + 3980, expected.end(), 0);
    EXPECT_EQ(again, expected);

    bytes[14 + 7 * 120] = 31;
    EXPECT_FALSE(engine::DecodeIndexFileHeader(bytes, header));
}

TEST(IndexFileHeaderTest, ClearingADescriptorKeepsItsFreeList) {
    engine::TIndexDescriptor index;
    index.Name = "ByName";
    index.KeyLength = 16;
    index.Unique = 1;
    index.FieldCount = 1;
    index.FieldNumbers[0] = 2;
    index.RootPage = 8192;
    index.FreePageHead = 12288;
    index.Reserved[3] = 9;
    engine::ClearIndexDescriptor(index);
    engine::TIndexDescriptor expected;
    expected.FreePageHead = 12288;
    std::array<std::uint8_t, engine::IndexDescriptorSize> a{};
    std::array<std::uint8_t, engine::IndexDescriptorSize> b{};
    engine::EncodeIndexDescriptor(index, a);
    engine::EncodeIndexDescriptor(expected, b);
    EXPECT_EQ(a, b);
}

}  // namespace
