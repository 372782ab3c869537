#include "engine/blob/Block.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "tests/engine/support/BlobTestTable.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::BlockOffset;
using engine::SlotNumber;
using engine::TBlock;

// 64-byte blocks: 46 bytes of payload.
constexpr std::uint32_t B = 64;
constexpr std::uint32_t Payload = B - 18;

class BlockTest : public TableTest {
protected:
    // Blocks take the payload size of the file as created or opened.
    BlockTest() { table_.Create(); }

    BlobTable table_{B};
};

std::vector<std::uint8_t> Image(const CraftedBlock& block) {
    std::string bytes;
    PutBlock(bytes, 0, B, block);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

TEST_F(BlockTest, DataStaysInsideThePayload) {
    TBlock block(table_.file);
    const std::string text = Pattern(Payload);
    EXPECT_EQ(block.WriteData(0, Payload, reinterpret_cast<const std::uint8_t*>(text.data())), Payload);
    EXPECT_EQ(block.BytesUsed(), Payload);
    EXPECT_TRUE(block.Dirty());
    EXPECT_EQ(block.WriteData(40, 6, reinterpret_cast<const std::uint8_t*>("abcdef")), 6u);
    EXPECT_EQ(block.BytesUsed(), 46u);
    std::array<std::uint8_t, Payload + 1> out{};
    EXPECT_EQ(block.ReadData(0, Payload, out.data()), Payload);
    EXPECT_EQ(std::string(out.begin() + 40, out.begin() + 46), "abcdef");

    struct Case {
        std::uint32_t offset;
        std::uint32_t count;
    };
    for (const Case c : {Case{0, Payload + 1}, Case{1, Payload}, Case{Payload, 1}, Case{0xFFFFFFFF, 2}}) {
        EXPECT_EQ(EngineCode([&] { block.ReadData(c.offset, c.count, out.data()); }),
                  engine::ErrInvalidBlobLength)
            << c.offset << "+" << c.count;
        EXPECT_EQ(EngineCode([&] { block.WriteData(c.offset, c.count, out.data()); }),
                  engine::ErrInvalidBlobLength)
            << c.offset << "+" << c.count;
    }
}

TEST_F(BlockTest, AReadCopiesNoMoreThanTheBytesUsed) {
    TBlock block(table_.file);
    block.Load(Image({0, 0, 5, 1, 5, "hello world"}));
    std::array<std::uint8_t, Payload> out{};
    EXPECT_EQ(block.ReadData(0, Payload, out.data()), 5u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 6), std::string("hello\0", 6));
    // A count of bytes used that no payload holds is damage, not data.
    block.Load(Image({0, 0, Payload + 1, 1, 5, "x"}));
    EXPECT_EQ(EngineCode([&] { block.ReadData(0, 1, out.data()); }), engine::ErrBlobBuffersCorrupt);
}

TEST_F(BlockTest, SettersMarkTheBlockDirtyOnlyForAChange) {
    TBlock block(table_.file);
    block.Load(Image({512, 1024, 3, 7, 0, "abc"}));
    EXPECT_EQ(block.Previous(), BlockOffset(512));
    EXPECT_EQ(block.Next(), BlockOffset(1024));
    EXPECT_EQ(block.Owner(), SlotNumber(7));
    block.SetPrevious(BlockOffset(512));
    block.SetNext(BlockOffset(1024));
    block.SetOwner(SlotNumber(7));
    block.SetTotalLength(0);
    EXPECT_FALSE(block.Dirty());
    block.SetTotalLength(3);
    EXPECT_TRUE(block.Dirty());
    // Store writes the image as loaded, with the change.
    std::vector<std::uint8_t> image(B);
    block.Store(image);
    EXPECT_EQ(image, Image({512, 1024, 3, 7, 3, "abc"}));
    block.Reset();
    EXPECT_EQ(block.Next(), BlockOffset(0));
    EXPECT_EQ(block.Payload()[0], 0);
}

}  // namespace
