#include "engine/records/RecordHeader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

TEST(RecordHeader, StatusLinkAndRecordIdAreLittleEndianAtTheirOffsets) {
    std::array<std::uint8_t, engine::RecordHeaderSize> bytes{};
    engine::EncodeRecordHeader(
        {engine::RecordDeleted, engine::SlotNumber(0x01020304), engine::RecordId(0x7FFFFFFF)}, bytes);
    const std::array<std::uint8_t, engine::RecordHeaderSize> expected = {1,    4,    3,    2,   1,
                                                                         0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(bytes, expected);
    const engine::TRecordHeader decoded = engine::DecodeRecordHeader(bytes);
    EXPECT_TRUE(decoded.IsDeleted());
    EXPECT_EQ(decoded.Link.Value, 0x01020304u);
    EXPECT_EQ(decoded.Id.Value, 0x7FFFFFFFu);
}

}  // namespace
