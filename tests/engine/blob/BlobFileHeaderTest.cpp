#include "engine/blob/BlobFileHeader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "tests/engine/support/RawTableFile.h"

namespace {

using engine::BlockOffset;
using namespace enginetest;

TEST(BlobFileHeaderTest, TheHeaderCodecFollowsTheLayout) {
    std::string bytes(512, '\0');
    PutLE(bytes, 0, 4, 0x01020304);
    PutLE(bytes, 4, 4, 0x0A0B0C0D);
    bytes[8] = 3;
    PutLE(bytes, 9, 4, 1536);
    PutLE(bytes, 13, 4, 2048);
    bytes[17] = 1;
    std::array<std::uint8_t, 512> image{};
    std::copy(bytes.begin(), bytes.end(), image.begin());
    const engine::TBlobFileHeader header = engine::DecodeBlobFileHeader(image);
    EXPECT_EQ(header.ChangeCounter, 0x01020304u);
    EXPECT_EQ(header.Unused, 0x0A0B0C0Du);
    EXPECT_EQ(header.Version, 3);
    EXPECT_EQ(header.FreeHead, BlockOffset(1536));
    EXPECT_EQ(header.EndOfFile, BlockOffset(2048));
    EXPECT_EQ(header.HeaderChanged, 1);
    std::array<std::uint8_t, 512> encoded{};
    encoded.fill(0xEE);
    engine::EncodeBlobFileHeader(header, encoded);
    EXPECT_EQ(encoded, image);
}

TEST(BlobFileHeaderTest, TheBlockHeaderCodecFollowsTheLayout) {
    std::string bytes(18, '\0');
    PutLE(bytes, 0, 4, 512);
    PutLE(bytes, 4, 4, 1536);
    PutLE(bytes, 8, 2, 494);
    PutLE(bytes, 10, 4, 77);
    PutLE(bytes, 14, 4, 1000);
    std::array<std::uint8_t, 18> image{};
    std::copy(bytes.begin(), bytes.end(), image.begin());
    const engine::TBlockHeader header = engine::DecodeBlockHeader(image);
    EXPECT_EQ(header.Previous, BlockOffset(512));
    EXPECT_EQ(header.Next, BlockOffset(1536));
    EXPECT_EQ(header.BytesUsed, 494);
    EXPECT_EQ(header.Owner, engine::SlotNumber(77));
    EXPECT_EQ(header.TotalLength, 1000u);
    std::array<std::uint8_t, 18> encoded{};
    engine::EncodeBlockHeader(header, encoded);
    EXPECT_EQ(encoded, image);
}

TEST(BlobFileHeaderTest, BlockOffsetsLieOnTheGridBelowTheEndOfFile) {
    const BlockOffset end(512 + 4 * 100);
    struct Case {
        std::uint32_t offset;
        bool valid;
    };
    for (const Case c : {Case{0, false}, Case{100, false}, Case{512, true}, Case{612, true}, Case{700, false},
                         Case{812, true}, Case{912, false}, Case{1012, false}}) {
        EXPECT_EQ(engine::IsBlockOffset(BlockOffset(c.offset), end, 100), c.valid) << c.offset;
    }
    EXPECT_TRUE(engine::IsBlockGridEnd(BlockOffset(512), 100));
    EXPECT_TRUE(engine::IsBlockGridEnd(end, 100));
    EXPECT_FALSE(engine::IsBlockGridEnd(BlockOffset(511), 100));
    EXPECT_FALSE(engine::IsBlockGridEnd(BlockOffset(550), 100));
    // One past the last block an append may start: 2,000,000,000 is on the 512 grid.
    EXPECT_TRUE(engine::IsBlockGridEnd(BlockOffset(2000000512u), 512));
    EXPECT_FALSE(engine::IsBlockGridEnd(BlockOffset(2000001024u), 512));
}

}  // namespace
