#include "engine/records/IndexDescriptor.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

using engine::IndexDescriptorSize;
using engine::TIndexDescriptor;

TEST(IndexDescriptor, EveryByteSurvivesARoundTrip) {
    std::array<std::uint8_t, IndexDescriptorSize> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(255 - i);
    bytes[0] = 30;
    TIndexDescriptor desc;
    ASSERT_TRUE(engine::DecodeIndexDescriptor(bytes, desc));
    EXPECT_EQ(desc.Name.size(), 30u);
    EXPECT_EQ(desc.KeyLength, (255 - 31) | ((255 - 32) << 8));
    EXPECT_EQ(desc.FieldNumbers[0], (255 - 54) | ((255 - 55) << 8));
    EXPECT_EQ(desc.FieldNumbers[15], (255 - 84) | ((255 - 85) << 8));
    EXPECT_EQ(desc.RootPage, 0xA6A7A8A9u);
    std::array<std::uint8_t, IndexDescriptorSize> again{};
    engine::EncodeIndexDescriptor(desc, again);
    EXPECT_EQ(again, bytes);
}

TEST(IndexDescriptor, ANameBeyondItsRoomIsReported) {
    std::array<std::uint8_t, IndexDescriptorSize> bytes{};
    bytes[0] = 31;
    TIndexDescriptor desc;
    EXPECT_FALSE(engine::DecodeIndexDescriptor(bytes, desc));
    EXPECT_EQ(desc.Name.size(), 30u);
}

}  // namespace
