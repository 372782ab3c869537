#include "engine/records/FieldDesc.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "engine/values/FieldTypes.h"

namespace {

using engine::FieldDescSize;
using engine::TFieldDesc;

TEST(FieldDesc, StoredSizesFollowTheType) {
    struct Case {
        std::uint8_t type, size;
        std::uint16_t stored;
    };
    const Case cases[] = {{1, 30, 31}, {1, 250, 251}, {2, 0, 4},   {3, 0, 4},   {4, 0, 2},  {5, 0, 2},
                          {6, 0, 4},   {7, 0, 8},     {8, 0, 8},   {9, 10, 10}, {10, 0, 4}, {11, 0, 8},
                          {12, 0, 2},  {13, 0, 4},    {14, 0, 10}, {15, 7, 7},  {0, 0, 0},  {200, 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(engine::StoredFieldSize(c.type, c.size), c.stored) << int(c.type);
        EXPECT_EQ(engine::RetainsFieldSize(c.type), c.type == 1 || c.type == 9 || c.type == 15)
            << int(c.type);
    }
    TFieldDesc bcd;
    bcd.FieldType = engine::FieldTypeBcd;
    bcd.Scale = 4;
    engine::SetStoredSize(bcd);
    engine::SetStoredScale(bcd);
    EXPECT_EQ(bcd.StoredSize, 8);
    EXPECT_EQ(bcd.StoredScale, 4);
}

TEST(FieldDesc, ReservedBytesPassThroughAndTheCompiledTreeStaysInMemory) {
    std::array<std::uint8_t, FieldDescSize> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    // Valid string lengths, so that the image is one a file may hold.
    bytes[2] = 30;
    bytes[94] = bytes[145] = bytes[196] = 50;
    bytes[248] = 255;
    bytes[504] = bytes[505] = bytes[506] = bytes[507] = 0;
    TFieldDesc desc;
    ASSERT_TRUE(engine::DecodeFieldDesc(bytes, desc));
    EXPECT_EQ(desc.CompiledExpression, nullptr);
    int tree = 0;
    desc.CompiledExpression = reinterpret_cast<engine::TCompiledExpression*>(&tree);
    std::array<std::uint8_t, FieldDescSize> again{};
    engine::EncodeFieldDesc(desc, again);
    EXPECT_EQ(again, bytes);
}

TEST(FieldDesc, StringLengthsBeyondTheirRoomAreReported) {
    for (const std::size_t lengthAt : {2u, 94u, 145u, 196u}) {
        std::array<std::uint8_t, FieldDescSize> bytes{};
        bytes[lengthAt] = 51;
        TFieldDesc desc;
        EXPECT_FALSE(engine::DecodeFieldDesc(bytes, desc)) << lengthAt;
    }
    std::array<std::uint8_t, FieldDescSize> bytes{};
    bytes[248] = 255;
    TFieldDesc desc;
    EXPECT_TRUE(engine::DecodeFieldDesc(bytes, desc));
    EXPECT_EQ(desc.Expression.size(), 255u);
}

TEST(FieldDesc, AutoIncrementIsAnIntegerWithItsSubtype) {
    TFieldDesc field;
    field.FieldType = engine::FieldTypeInteger;
    field.SubType = engine::FieldSubTypeAutoInc;
    EXPECT_TRUE(field.IsAutoInc());
    EXPECT_FALSE(field.IsStored());
    field.FieldType = engine::FieldTypeWord;
    EXPECT_FALSE(field.IsAutoInc());
    EXPECT_TRUE(field.IsStored());
    field.Calculated = 2;
    EXPECT_FALSE(field.IsStored());
}

}  // namespace
