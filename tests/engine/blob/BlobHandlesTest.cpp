#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/blob/BlobFile.h"
#include "tests/engine/support/BlobTestTable.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::BlockOffset;
using engine::SlotNumber;

constexpr std::uint32_t B = 512;
constexpr std::uint32_t Payload = B - 18;
constexpr std::int32_t MaxI32 = std::numeric_limits<std::int32_t>::max();

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

class BlobHandlesTest : public TableTest {
protected:
    // A new, empty large-object file of the fake table.
    BlobHandlesTest() { t.Create(); }

    // Opens a value of the record in the slot; the handle.
    std::int32_t Open(std::uint32_t first = 0, std::uint32_t slot = 1,
                      std::uint8_t mode = engine::BlobOpenReadWrite, std::uint16_t field = 1) {
        std::int32_t handle = 0;
        EXPECT_EQ(t.file.OpenBlob(BlockOffset(first), field, SlotNumber(slot), mode, handle), 0);
        return handle;
    }
    // Opens an empty value of the slot holding the bytes.
    std::int32_t OpenWith(const std::string& bytes, std::uint32_t slot = 1) {
        const std::int32_t handle = Open(0, slot);
        const Bytes source = ToBytes(bytes);
        EXPECT_EQ(t.file.WriteBlob(handle, 0, static_cast<std::int32_t>(source.size()), source), 0);
        return handle;
    }
    engine::TBlobBuffer& ValueOf(std::int32_t handle) {
        engine::TBlobBuffer* value = t.file.FindValue(handle);
        EXPECT_NE(value, nullptr);
        return *value;
    }
    std::string Read(std::int32_t handle) {
        std::int32_t size = 0;
        if (t.file.GetBlobSize(handle, size) != 0) return "<not open>";
        Bytes bytes(static_cast<std::size_t>(size));
        std::int32_t got = 0;
        EXPECT_EQ(t.file.ReadBlob(handle, 0, size, bytes, got), 0);
        return std::string(bytes.begin(), bytes.begin() + got);
    }
    // Saves every changed value as a post does, and writes the blocks and header.
    void Post(std::uint32_t slot) {
        t.file.SetOwnerRecord(SlotNumber(slot));
        t.file.SaveModified();
        t.file.FlushBlocks();
        t.file.WriteHeader(false);
    }
    // The value's chain as another open of the first block loads it.
    std::string Reload(BlockOffset first, std::uint32_t slot = 1) {
        engine::TBlobBuffer value = Value(t.file, slot, first.Value);
        value.LoadChain();
        return Text(value);
    }

    BlobTable t;
};

// ---- Reading, writing, sizing ----

TEST_F(BlobHandlesTest, ReadsDeliverTheBytesThatExist) {
    const std::int32_t handle = OpenWith("0123456789");
    ValueOf(handle).SetChanged(false);
    struct Case {
        std::int32_t offset, count;
        std::string bytes;
        int code;
    };
    const Case cases[] = {
        {0, 10, "0123456789", 0},
        {9, 5, "9", engine::ErrEndOfBlob},
        {10, 1, "", engine::ErrEndOfBlob},
        {0, 0, "", 0},
        {3, 4, "3456", 0},
        {-1, 1, "", engine::ErrInvalidBlobOffset},
        {0, -1, "", engine::ErrInvalidBlobLength},
        {MaxI32, 1, "", engine::ErrEndOfBlob},
    };
    for (const Case& c : cases) {
        // Exactly as long as the count, so that ASan sees any byte written past it.
        Bytes destination(static_cast<std::size_t>(std::max(c.count, 0)));
        std::int32_t got = 77;
        const std::span<std::uint8_t> target(destination);
        EXPECT_EQ(t.file.ReadBlob(handle, c.offset, c.count, target, got), c.code)
            << c.offset << "," << c.count;
        EXPECT_EQ(got, static_cast<std::int32_t>(c.bytes.size())) << c.offset << "," << c.count;
        EXPECT_EQ(std::string(destination.begin(), destination.begin() + got), c.bytes);
    }
    // Nothing beyond what was read changes in a longer destination.
    Bytes destination(8, 0xEE);
    std::int32_t got = 0;
    EXPECT_EQ(t.file.ReadBlob(handle, 8, 6, destination, got), engine::ErrEndOfBlob);
    EXPECT_EQ(destination, (Bytes{'8', '9', 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    // A handle that is not open.
    got = 5;
    EXPECT_EQ(t.file.ReadBlob(handle + 1, 0, 1, destination, got), engine::ErrInvalidBlobHandle);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(engine::CurrentErrorContext().FileName, "t.DAT");
    EXPECT_FALSE(ValueOf(handle).Changed());
}

TEST_F(BlobHandlesTest, WritesGrowTheValueWithZeros) {
    const std::int32_t handle = Open();
    const Bytes five = ToBytes("abcde");
    EXPECT_EQ(t.file.WriteBlob(handle, 20, 5, five), 0);
    EXPECT_EQ(Read(handle), std::string(20, '\0') + "abcde");
    EXPECT_TRUE(ValueOf(handle).Changed());
    // Overwriting inside the value keeps its size.
    EXPECT_EQ(t.file.WriteBlob(handle, 1, 3, five), 0);
    EXPECT_EQ(Read(handle), std::string(1, '\0') + "abc" + std::string(16, '\0') + "abcde");
    // A write of no bytes still grows the value to its offset.
    EXPECT_EQ(t.file.WriteBlob(handle, 30, 0, {}), 0);
    std::int32_t size = 0;
    EXPECT_EQ(t.file.GetBlobSize(handle, size), 0);
    EXPECT_EQ(size, 30);
}

TEST_F(BlobHandlesTest, TruncatingZeroFillsOrCuts) {
    const std::int32_t handle = OpenWith("0123456789");
    ValueOf(handle).SetChanged(false);
    EXPECT_EQ(t.file.TruncateBlob(handle, 40), 0);
    EXPECT_EQ(Read(handle), "0123456789" + std::string(30, '\0'));
    EXPECT_TRUE(ValueOf(handle).Changed());
    EXPECT_EQ(t.file.TruncateBlob(handle, 3), 0);
    EXPECT_EQ(Read(handle), "012");
    EXPECT_EQ(t.file.TruncateBlob(handle, 0), 0);
    EXPECT_EQ(Read(handle), "");
}

TEST_F(BlobHandlesTest, TheChangedFlagFollowsWritesAndSizeChanges) {
    const std::int32_t handle = OpenWith("0123456789");
    const Bytes same = ToBytes("0123");
    ValueOf(handle).SetChanged(false);
    EXPECT_EQ(t.file.TruncateBlob(handle, 10), 0);
    EXPECT_FALSE(ValueOf(handle).Changed());
    // An overwrite with the same bytes is a change all the same.
    EXPECT_EQ(t.file.WriteBlob(handle, 0, 4, same), 0);
    EXPECT_TRUE(ValueOf(handle).Changed());
}

TEST_F(BlobHandlesTest, BadOffsetsCountsAndSizesChangeNothing) {
    const std::int32_t handle = OpenWith("0123456789");
    ValueOf(handle).SetChanged(false);
    const Bytes source(16, 'x');
    struct Case {
        const char* what;
        std::function<std::uint16_t()> call;
        int code;
    };
    const Case cases[] = {
        {"write at -1", [&] { return t.file.WriteBlob(handle, -1, 1, source); },
         engine::ErrInvalidBlobOffset},
        {"write of -1", [&] { return t.file.WriteBlob(handle, 0, -1, source); },
         engine::ErrInvalidBlobLength},
        {"write ending past 2^31 - 1", [&] { return t.file.WriteBlob(handle, MaxI32 - 4, 5, source); },
         engine::ErrInvalidBlobLength},
        {"write of more than the source", [&] { return t.file.WriteBlob(handle, 0, 17, source); },
         engine::ErrInvalidBlobLength},
        {"truncate to -1", [&] { return t.file.TruncateBlob(handle, -1); }, engine::ErrInvalidBlobLength},
        {"truncate to the lowest i32",
         [&] { return t.file.TruncateBlob(handle, std::numeric_limits<std::int32_t>::min()); },
         engine::ErrInvalidBlobLength},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), c.code) << c.what;
        EXPECT_EQ(Read(handle), "0123456789") << c.what;
        EXPECT_FALSE(ValueOf(handle).Changed()) << c.what;
    }
    // The value still takes valid writes.
    EXPECT_EQ(t.file.WriteBlob(handle, 100, 4, source), 0);
    EXPECT_EQ(Read(handle).size(), 104u);
}

// ---- Open limits, closing and handles ----

TEST_F(BlobHandlesTest, SixtyFourValuesOpenAndTheNextIsRefused) {
    std::vector<std::int32_t> handles;
    for (std::uint16_t field = 1; field <= 64; ++field) handles.push_back(Open(0, 1, 2, field));
    EXPECT_EQ(t.file.OpenValues().size(), 64u);
    const std::int32_t next = t.file.NextHandle();
    std::int32_t handle = -5;
    engine::ClearErrorContext();
    EXPECT_EQ(t.file.OpenBlob(BlockOffset{}, 65, SlotNumber(1), 2, handle), engine::ErrTooManyBlobs);
    EXPECT_EQ(engine::CurrentErrorContext().FileName, "t.DAT");
    EXPECT_EQ(engine::GetEngineErrorMessage(engine::ErrTooManyBlobs),
              "Too many blobs opened in data file t.DAT");
    EXPECT_EQ(handle, -5);
    EXPECT_EQ(t.file.OpenValues().size(), 64u);
    EXPECT_EQ(t.file.NextHandle(), next);
    for (std::int32_t h : handles) EXPECT_TRUE(t.file.IsBlobOpen(h));
}

TEST_F(BlobHandlesTest, ClosingAValueShiftsTheLaterOnesAndKeepsTheirHandles) {
    std::vector<std::int32_t> handles;
    for (int i = 0; i < 5; ++i) handles.push_back(OpenWith("value " + std::to_string(i)));
    BlockOffset first(99);
    EXPECT_EQ(t.file.CloseBlob(handles[2], first), 0);
    EXPECT_EQ(first, BlockOffset{});
    ASSERT_EQ(t.file.OpenValues().size(), 4u);
    EXPECT_EQ(t.file.OpenValues()[2].Handle, handles[3]);
    for (int i : {0, 1, 3, 4}) EXPECT_EQ(Read(handles[i]), "value " + std::to_string(i));
    EXPECT_FALSE(t.file.IsBlobOpen(handles[2]));
    EXPECT_EQ(t.file.CloseBlob(handles[2], first), engine::ErrInvalidBlobHandle);
    for (std::int32_t bad : {0, -1}) EXPECT_EQ(t.file.CloseBlob(bad, first), engine::ErrInvalidBlobHandle);
}

TEST_F(BlobHandlesTest, AClosedHandleNeverReachesAnotherValue) {
    const std::int32_t old = OpenWith("old");
    BlockOffset first;
    ASSERT_EQ(t.file.CloseBlob(old, first), 0);
    const std::int32_t fresh = OpenWith("new");
    EXPECT_NE(fresh, old);
    Bytes bytes(3);
    std::int32_t got = 0;
    EXPECT_EQ(t.file.ReadBlob(old, 0, 3, bytes, got), engine::ErrInvalidBlobHandle);
    EXPECT_EQ(t.file.WriteBlob(old, 0, 3, bytes), engine::ErrInvalidBlobHandle);
    EXPECT_EQ(Read(fresh), "new");
}

TEST_F(BlobHandlesTest, TheCounterWrapsToOneAndSkipsOpenHandles) {
    const std::int32_t one = Open();
    const std::int32_t two = Open();
    ASSERT_EQ(one, 1);
    ASSERT_EQ(two, 2);
    t.file.SetNextHandle(MaxI32);
    EXPECT_EQ(Open(), MaxI32);
    // 1 and 2 are open: the wrap skips them.
    EXPECT_EQ(Open(), 3);
    EXPECT_EQ(t.file.OpenValues().size(), 4u);
}

TEST_F(BlobHandlesTest, FreeingEveryValueInvalidatesTheirHandles) {
    const std::int32_t a = OpenWith("a");
    const std::int32_t b = OpenWith("b");
    t.file.FreeAllBuffers();
    EXPECT_TRUE(t.file.OpenValues().empty());
    std::int32_t size = 9;
    for (std::int32_t handle : {a, b}) {
        EXPECT_EQ(t.file.GetBlobSize(handle, size), engine::ErrInvalidBlobHandle);
        EXPECT_EQ(size, 0);
        EXPECT_EQ(t.file.TruncateBlob(handle, 1), engine::ErrInvalidBlobHandle);
    }
    // Closing the file frees them too, and the counter goes on.
    const std::int32_t c = OpenWith("c");
    t.file.WriteHeader(false);
    t.file.Close();
    t.file.Open();
    EXPECT_FALSE(t.file.IsBlobOpen(c));
    EXPECT_GT(Open(), c);
}

// ---- Loading at open ----

TEST_F(BlobHandlesTest, OpeningLoadsTheChainAndAForeignChainOnlyForReading) {
    const std::int32_t handle = OpenWith(Pattern(2 * Payload + 5));
    Post(1);
    const BlockOffset first = ValueOf(handle).FirstBlock();
    const std::int32_t again = Open(first.Value, 1, engine::BlobOpenRead);
    EXPECT_EQ(Read(again), Pattern(2 * Payload + 5));
    EXPECT_FALSE(ValueOf(again).Changed());
    // Slot 2 does not own the chain: reading sees an empty value, writing fails and opens nothing.
    EXPECT_EQ(Read(Open(first.Value, 2, engine::BlobOpenRead)), "");
    const std::size_t open = t.file.OpenValues().size();
    const std::int32_t next = t.file.NextHandle();
    std::int32_t refused = 0;
    EXPECT_EQ(
        EngineCode([&] { t.file.OpenBlob(first, 1, SlotNumber(2), engine::BlobOpenReadWrite, refused); }),
        engine::ErrBlobBuffersCorrupt);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(t.file.OpenValues().size(), open);
    EXPECT_EQ(t.file.NextHandle(), next);
    // A chain shorter than its length: 8711, and nothing is opened either.
    t.file.WriteHeader(false);
    t.file.Close();
    PatchFile("t.BLB", first.Value + 14, 4, 3 * Payload + 1);
    t.file.Open();
    EXPECT_EQ(EngineCode([&] { t.file.OpenBlob(first, 1, SlotNumber(1), engine::BlobOpenRead, refused); }),
              engine::ErrEndOfBlob);
    EXPECT_TRUE(t.file.OpenValues().empty());
}

// ---- Saving ----

TEST_F(BlobHandlesTest, SavingWritesTheChangedValuesOfTheRecord) {
    const std::int32_t grown = OpenWith(Pattern(Payload + 1, 1), 0);
    const std::int32_t emptied = OpenWith("short", 0);
    const std::int32_t untouched = Open(0, 0);
    Post(4);
    const BlockOffset grownFirst = ValueOf(grown).FirstBlock();
    const BlockOffset emptiedFirst = ValueOf(emptied).FirstBlock();
    EXPECT_NE(grownFirst, BlockOffset{});
    EXPECT_NE(emptiedFirst, BlockOffset{});
    EXPECT_FALSE(ValueOf(grown).Changed());
    EXPECT_EQ(ValueOf(untouched).FirstBlock(), BlockOffset{});
    EXPECT_EQ(Reload(grownFirst, 4), Pattern(Payload + 1, 1));
    // Emptied and posted, a value gives its whole chain back to the free list.
    EXPECT_EQ(t.file.TruncateBlob(emptied, 0), 0);
    Post(4);
    EXPECT_EQ(ValueOf(emptied).FirstBlock(), BlockOffset{});
    EXPECT_FALSE(ValueOf(emptied).Changed());
    EXPECT_EQ(t.file.Header().FreeHead, emptiedFirst);
    BlockOffset first(7);
    EXPECT_EQ(t.file.CloseBlob(emptied, first), 0);
    EXPECT_EQ(first, BlockOffset{});
    // The stored blocks are handed out in slot order, with the field each was opened for.
    std::vector<std::pair<std::uint16_t, BlockOffset>> stored;
    t.file.StoreFirstBlocks(
        [&](std::uint16_t field, BlockOffset block) { stored.emplace_back(field, block); });
    EXPECT_EQ(stored,
              (std::vector<std::pair<std::uint16_t, BlockOffset>>{{1, grownFirst}, {1, BlockOffset{}}}));
}

TEST_F(BlobHandlesTest, UnchangedValuesCauseNoWrite) {
    const std::int32_t handle = OpenWith("kept");
    Post(1);
    const std::int32_t again = Open(ValueOf(handle).FirstBlock().Value);
    t.file.writes.clear();
    Post(1);
    EXPECT_TRUE(t.file.writes.empty());
    EXPECT_EQ(Read(again), "kept");
}

TEST_F(BlobHandlesTest, ValuesOfTwoRecordsAreRefusedBeforeAnythingIsWritten) {
    const std::int32_t one = OpenWith("of one");
    Post(1);
    const std::string before = ReadBytes("t.BLB");
    const BlockOffset first = ValueOf(one).FirstBlock();
    const Bytes change = ToBytes("CHANGED");
    ASSERT_EQ(t.file.WriteBlob(one, 0, 7, change), 0);
    OpenWith("of two", 2);
    EXPECT_EQ(EngineCode([&] { t.file.SaveModified(); }), engine::ErrBlobBuffersCorrupt);
    EXPECT_FALSE(t.file.FlushBlocks());
    EXPECT_EQ(t.file.Header().HeaderChanged, 0);
    t.file.WriteHeader(false);
    EXPECT_EQ(ReadBytes("t.BLB"), before);
    EXPECT_EQ(Reload(first), "of one");
}

TEST_F(BlobHandlesTest, ASaveWithoutRoomForTheLastValueWritesNoneOfThem) {
    const std::int32_t first = OpenWith("first value");
    Post(1);
    const BlockOffset firstBlock = ValueOf(first).FirstBlock();
    // No free block, and room for one more block only: the first value grows by one, the second needs two.
    t.file.Close();
    std::string file = ReadBytes("t.BLB");
    PutLE(file, 13, 4, 2000000000);
    WriteBytes("t.BLB", file);
    // The file really reaches that far (sparse: the file system stores no block of it).
    std::filesystem::resize_file("t.BLB", 2000000000);
    t.file.Open();
    const std::int32_t reopened = Open(firstBlock.Value);
    const Bytes grown = ToBytes(Pattern(Payload + 1));
    ASSERT_EQ(t.file.WriteBlob(reopened, 0, static_cast<std::int32_t>(grown.size()), grown), 0);
    OpenWith(Pattern(2 * Payload), 1);
    EXPECT_EQ(EngineCode([&] { t.file.SaveModified(); }), engine::ErrFileFull);
    EXPECT_EQ(engine::CurrentErrorContext().FileName, "t.DAT");
    EXPECT_FALSE(t.file.FlushBlocks());
    EXPECT_EQ(t.file.Header().HeaderChanged, 0);
    EXPECT_EQ(t.file.GetEndOfFile(), BlockOffset(2000000000));
    EXPECT_EQ(Reload(firstBlock), "first value");
    EXPECT_TRUE(ValueOf(reopened).Changed());
}

}  // namespace
