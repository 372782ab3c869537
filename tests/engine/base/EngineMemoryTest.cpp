#include "engine/base/EngineMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "engine/base/EngineError.h"

// An impossible allocation must come back as null so that the engine can raise 11016; by default the address
// sanitizer aborts the process instead.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

bool AllZero(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

TEST(EngineMemory, BlocksAreZeroFilled) {
    engine::EngineBlock block(4096);
    ASSERT_NE(block.Data(), nullptr);
    EXPECT_EQ(block.Size(), 4096u);
    EXPECT_TRUE(AllZero(block.Data(), 4096));
}

TEST(EngineMemory, SizeZeroIsNullAndRaisesNothing) {
    void* block = engine::AllocEngineMem(0);
    EXPECT_EQ(block, nullptr);
    engine::FreeEngineMem(block);
    void* other = engine::AllocEngineMem(16);
    EXPECT_EQ(engine::ReallocEngineMem(other, 0), nullptr);
}

TEST(EngineMemory, ReallocKeepsContentsAndZeroFillsGrowth) {
    engine::EngineBlock block(100);
    std::memset(block.Data(), 0xAB, 100);
    block.Resize(50);
    block.Resize(100000);
    EXPECT_EQ(block.Size(), 100000u);
    EXPECT_EQ(block.Data()[0], 0xAB);
    EXPECT_EQ(block.Data()[49], 0xAB);
    // The bytes cut off at 50 do not come back.
    EXPECT_TRUE(AllZero(block.Data() + 50, 100000 - 50));
}

TEST(EngineMemory, ImpossibleSizesRaiseOutOfMemory) {
    for (const std::size_t size : {SIZE_MAX, SIZE_MAX / 2, std::size_t{1} << 50}) {
        try {
            engine::AllocEngineMem(size);
            ADD_FAILURE() << size;
        } catch (const engine::ETARNISEngineError& e) {
            EXPECT_EQ(e.ErrorCode(), 11016);
        }
    }
    engine::EngineBlock block(10);
    block.Data()[9] = 7;
    EXPECT_THROW(block.Resize(std::size_t{1} << 50), engine::ETARNISEngineError);
    // A failed resize leaves the block as it was.
    EXPECT_EQ(block.Size(), 10u);
    EXPECT_EQ(block.Data()[9], 7);
}

TEST(EngineMemory, FreeSetsTheVariableToNull) {
    auto* block = static_cast<char*>(engine::AllocEngineMem(8));
    engine::FreeEngineMem(block);
    EXPECT_EQ(block, nullptr);
    engine::FreeEngineMem(block);
}

TEST(EngineMemory, BlockOwnershipMoves) {
    engine::EngineBlock a(32);
    std::uint8_t* const data = a.Data();
    engine::EngineBlock b(std::move(a));
    EXPECT_EQ(b.Data(), data);
    EXPECT_EQ(a.Data(), nullptr);
    engine::EngineBlock c(8);
    c = std::move(b);
    EXPECT_EQ(c.Data(), data);
    EXPECT_EQ(c.Size(), 32u);
}

}  // namespace
