#include "engine/blob/BlobBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "tests/engine/support/BlobTestTable.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using engine::BlockOffset;
using engine::TBlobBuffer;

constexpr std::uint32_t B = 512;
constexpr std::uint32_t Payload = B - 18;

using BlobBufferTest = TableTest;

// The file's bytes once its blocks and header are written.
std::string Written(BlobTable& t) {
    t.file.FlushBlocks();
    t.file.WriteHeader(false);
    return ReadBytes("t.BLB");
}

// The free list from its head, at most limit blocks (a loop shows as a list of limit blocks).
std::vector<std::uint32_t> FreeList(const std::string& file, std::size_t limit = 100) {
    std::vector<std::uint32_t> list;
    for (std::uint32_t at = GetLE(file, 9, 4); at != 0 && list.size() < limit; at = GetLE(file, at + 4, 4)) {
        list.push_back(at);
    }
    return list;
}

TEST_F(BlobBufferTest, TheLayoutOfAValueAsItGrowsShrinksAndGoes) {
    BlobTable t;
    t.Create();
    // A new file is its header alone.
    std::string expected = BlobHeaderImage(1, 0, 512);
    expected[17] = 1;  // the changed flag is written as it stood
    ASSERT_EQ(Written(t), expected);

    const std::string first = Pattern(1000);
    TBlobBuffer value = Value(t.file, 5);
    Fill(value, first);
    value.SaveChain();
    EXPECT_EQ(value.FirstBlock(), BlockOffset(512));
    EXPECT_FALSE(value.Changed());
    expected = BlobHeaderImage(2, 0, 2048);
    expected[17] = 1;
    PutBlock(expected, 512, B, {0, 1024, 494, 5, 1000, first.substr(0, 494)});
    PutBlock(expected, 1024, B, {512, 1536, 494, 5, 0, first.substr(494, 494)});
    PutBlock(expected, 1536, B, {1024, 0, 12, 5, 0, first.substr(988)});
    ASSERT_EQ(Written(t), expected);

    // 500 bytes reuse the first two blocks; the third goes to the free list with its header but for the link.
    const std::string second = Pattern(500, 3);
    Fill(value, second);
    value.SaveChain();
    expected = BlobHeaderImage(3, 1536, 2048);
    expected[17] = 1;
    PutBlock(expected, 512, B, {0, 1024, 494, 5, 500, second.substr(0, 494)});
    PutBlock(expected, 1024, B, {512, 0, 6, 5, 0, second.substr(494) + first.substr(500, 488)});
    PutBlock(expected, 1536, B, {1024, 0, 12, 5, 0, first.substr(988)});
    ASSERT_EQ(Written(t), expected);

    // An empty value has no blocks.
    value.SetSize(0);
    value.SaveChain();
    EXPECT_EQ(value.FirstBlock(), BlockOffset(512));
    value.FreeChain();
    EXPECT_EQ(value.FirstBlock(), BlockOffset(0));
    const std::string freed = Written(t);
    EXPECT_EQ(GetLE(freed, 0, 4), 4u);
    EXPECT_EQ(FreeList(freed), (std::vector<std::uint32_t>{1024, 512, 1536}));
    EXPECT_EQ(freed.size(), 2048u);
}

TEST_F(BlobBufferTest, ValuesRoundTripAtEveryBlockSize) {
    struct Case {
        std::uint32_t blockSize;
        int capacity;
        std::uint32_t readAhead;
        std::vector<std::size_t> sizes;
    };
    // 64-byte blocks: 230,000 bytes take 5000 blocks, more than the cache holds; 65,535-byte blocks: a full
    // payload, and values longer than the cache's four blocks.
    const Case cases[] = {{64, 4095, 1023, {1, 46, 47, 230000, 1000}},
                          {512, 511, 127, {494, 495, 100000}},
                          {65535, 4, 1, {65517, 65518, 65517 * 5 + 3, 10}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blockSize);
        fs::remove("t.BLB");
        std::vector<BlockOffset> firsts;
        {
            BlobTable t(c.blockSize);
            t.Create();
            EXPECT_EQ(t.file.Blocks().Capacity(), c.capacity);
            EXPECT_EQ(t.file.ReadAheadLimit(), c.readAhead);
            for (std::size_t i = 0; i < c.sizes.size(); ++i) {
                TBlobBuffer value = Value(t.file, static_cast<std::uint32_t>(i + 1));
                Fill(value, Pattern(c.sizes[i], static_cast<int>(i)));
                value.SaveChain();
                firsts.push_back(value.FirstBlock());
            }
            EXPECT_LE(t.file.Blocks().Count(), c.capacity);
            Written(t);
        }
        BlobTable t(c.blockSize);
        t.Open();
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            TBlobBuffer value = Value(t.file, static_cast<std::uint32_t>(i + 1), firsts[i].Value);
            value.LoadChain();
            EXPECT_EQ(Text(value), Pattern(c.sizes[i], static_cast<int>(i))) << "value " << i;
        }
    }
}

// One file of damaged chains, block size 512, end of file 5120:
//   slot 1: 512 -> 1024 -> 5120 + 512 x 10 (past the end)     slot 5: 3072 -> 3584 -> 3072 (a loop)
//   slot 2's field: 1536, a block of slot 7                     slot 6: 4096, total 2^31 - 1
//   slot 3: 2048 -> 2660 (off the grid)                         slot 8: 4608, total 9880 > 9 blocks
//   slot 4: 2560 -> 5120 (the end of file)
std::string DamagedChains() {
    std::string file = BlobHeaderImage(1, 0, 5120);
    const std::string p = Pattern(Payload);
    PutBlock(file, 512, B, {0, 1024, Payload, 1, 1000, p});
    PutBlock(file, 1024, B, {512, 5120 + 5120, Payload, 1, 0, p});
    PutBlock(file, 1536, B, {0, 0, 10, 7, 10, p});
    PutBlock(file, 2048, B, {0, 2660, Payload, 3, 1000, p});
    PutBlock(file, 2560, B, {0, 5120, Payload, 4, 1000, p});
    PutBlock(file, 3072, B, {0, 3584, Payload, 5, 1500, p});
    PutBlock(file, 3584, B, {3072, 3072, Payload, 5, 0, p});
    PutBlock(file, 4096, B, {0, 0, Payload, 6, 0x7FFFFFFF, p});
    PutBlock(file, 4608, B, {0, 0, Payload, 8, 9880, p});
    return file;
}

struct ChainCase {
    const char* what;
    std::uint32_t slot;
    std::uint32_t first;
    int load;
    int save;
    int free;
};

const ChainCase ChainCases[] = {
    {"next link past the end", 1, 512, engine::ErrEndOfBlob, engine::ErrBlobBuffersCorrupt,
     engine::ErrBlobBuffersCorrupt},
    {"first block of another record", 2, 1536, engine::ErrBlobBuffersCorrupt, engine::ErrBlobBuffersCorrupt,
     engine::ErrBlobBuffersCorrupt},
    {"link off the grid", 3, 2048, engine::ErrEndOfBlob, engine::ErrBlobBuffersCorrupt,
     engine::ErrBlobBuffersCorrupt},
    {"link to the end of file", 4, 2560, engine::ErrEndOfBlob, engine::ErrBlobBuffersCorrupt,
     engine::ErrBlobBuffersCorrupt},
    {"loop", 5, 3072, engine::ErrBlobBuffersCorrupt, engine::ErrBlobBuffersCorrupt,
     engine::ErrBlobBuffersCorrupt},
    {"total of 2^31 - 1", 6, 4096, engine::ErrEndOfBlob, 0, 0},
    {"total beyond the file", 8, 4608, engine::ErrEndOfBlob, 0, 0},
    {"first block off the grid", 9, 700, engine::ErrBlobBuffersCorrupt, engine::ErrBlobBuffersCorrupt,
     engine::ErrBlobBuffersCorrupt},
    {"first block at the end of file", 9, 5120, engine::ErrBlobBuffersCorrupt, engine::ErrBlobBuffersCorrupt,
     engine::ErrBlobBuffersCorrupt},
};

TEST_F(BlobBufferTest, DamagedChainsFailWithTheirCodesAndChangeNothing) {
    const std::string damaged = DamagedChains();
    for (const ChainCase& c : ChainCases) {
        SCOPED_TRACE(c.what);
        const std::function<void(TBlobBuffer&)> actions[] = {[](TBlobBuffer& v) { v.LoadChain(); },
                                                             [](TBlobBuffer& v) {
                                                                 Fill(v, Pattern(600));
                                                                 v.SaveChain();
                                                             },
                                                             [](TBlobBuffer& v) { v.FreeChain(); }};
        const int codes[] = {c.load, c.save, c.free};
        for (int a = 0; a < 3; ++a) {
            WriteBytes("t.BLB", damaged);
            BlobTable t;
            t.Open();
            TBlobBuffer value = Value(t.file, c.slot, c.first);
            EXPECT_EQ(EngineCode([&] { actions[a](value); }), codes[a]) << "action " << a;
            if (codes[a] == 0) continue;
            // Nothing grew, nothing is waiting to be written, and the free list is as it was.
            EXPECT_EQ(t.file.GetEndOfFile(), BlockOffset(5120));
            EXPECT_FALSE(t.file.FlushBlocks());
            EXPECT_EQ(t.file.Header().HeaderChanged, 0);
            EXPECT_EQ(value.FirstBlock(), BlockOffset(c.first));
            t.file.Close();
            EXPECT_EQ(ReadBytes("t.BLB"), damaged);
        }
    }
}

TEST_F(BlobBufferTest, AnotherRecordsValueReadsEmpty) {
    WriteBytes("t.BLB", DamagedChains());
    BlobTable t;
    t.Open();
    TBlobBuffer value = Value(t.file, 2, 1536, engine::BlobOpenRead);
    value.LoadChain();
    EXPECT_EQ(value.Size(), 0);
    EXPECT_FALSE(value.Changed());
}

TEST_F(BlobBufferTest, RepairModeCutsABrokenChainWhereItBreaks) {
    struct Case {
        std::uint32_t slot;
        std::uint32_t first;
        const char* message;
        std::vector<std::uint32_t> freeList;
    };
    const Case cases[] = {
        {1,
         512,
         "Invalid intra-block pointer in BLOB file for physical record # 1, error fixed",
         {1024, 512}},
        {3, 2048, "Invalid intra-block pointer in BLOB file for physical record # 3, error fixed", {2048}},
        {5,
         3072,
         "Recursive intra-block pointer in BLOB file for physical record # 5, error fixed",
         {3584, 3072}},
        // The first block of another record is left to it.
        {2, 1536, "Invalid intra-block pointer in BLOB file for physical record # 2, error fixed", {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slot);
        WriteBytes("t.BLB", DamagedChains());
        BlobTable t;
        t.table.repair = true;
        t.Open();
        TBlobBuffer value = Value(t.file, c.slot, c.first);
        value.FreeChain();
        EXPECT_EQ(t.table.log, (std::vector<std::string>{c.message}));
        EXPECT_EQ(value.FirstBlock(), BlockOffset(0));
        EXPECT_EQ(FreeList(Written(t)), c.freeList);
    }

    // A save keeps the blocks before the break and takes a new one after it.
    WriteBytes("t.BLB", DamagedChains());
    BlobTable t;
    t.table.repair = true;
    t.Open();
    TBlobBuffer value = Value(t.file, 5, 3072);
    Fill(value, Pattern(3 * Payload));
    value.SaveChain();
    EXPECT_EQ(t.table.log,
              (std::vector<std::string>{
                  "Recursive intra-block pointer in BLOB file for physical record # 5, error fixed"}));
    const std::string file = Written(t);
    EXPECT_EQ(GetBlock(file, 3584, B).next, 5120u);
    EXPECT_EQ(GetBlock(file, 5120, B).next, 0u);
    TBlobBuffer reread = Value(t.file, 5, 3072);
    reread.LoadChain();
    EXPECT_EQ(Text(reread), Pattern(3 * Payload));
}

TEST_F(BlobBufferTest, ASaveWithoutRoomFailsWith9479AndKeepsTheOldValue) {
    {
        BlobTable t;
        t.Create();
        TBlobBuffer value = Value(t.file, 1);
        Fill(value, "old value");
        value.SaveChain();
        Written(t);
    }
    // One free block and an end of file where one more block may start: a value of four blocks does not fit.
    std::string file = ReadBytes("t.BLB");
    PutBlock(file, 1024, B, {0, 0, 0, 0, 0, ""});
    PutLE(file, 9, 4, 1024);
    PutLE(file, 13, 4, 2000000000);
    WriteBytes("t.BLB", file);
    // The file really reaches that far (sparse: the file system stores no block of it).
    std::filesystem::resize_file("t.BLB", 2000000000);
    BlobTable t;
    t.Open();
    TBlobBuffer value = Value(t.file, 1, 512);
    Fill(value, Pattern(4 * Payload));
    const int code = EngineCode([&] { value.SaveChain(); });
    EXPECT_EQ(code, engine::ErrFileFull);
    EXPECT_EQ(engine::CurrentErrorContext().FileName, "t.DAT");
    EXPECT_FALSE(t.file.FlushBlocks());
    EXPECT_EQ(t.file.Header().HeaderChanged, 0);
    TBlobBuffer old = Value(t.file, 1, 512);
    old.LoadChain();
    EXPECT_EQ(Text(old), "old value");
}

// A shared table: a value grows at the end of the file, then another is rewritten whose chain runs through
// the last block on disk; reading ahead from there meets the grown value's block, which is not on disk yet.
TEST_F(BlobBufferTest, ASharedSaveReadsAheadPastBlocksNotWrittenYet) {
    // Slot 2: 512 -> 2048 (the last block on disk) -> 1536; slot 1: 1024.
    std::string file = BlobHeaderImage(1, 0, 2560);
    PutBlock(file, 512, B, {0, 2048, Payload, 2, 3 * Payload, Pattern(Payload, 1)});
    PutBlock(file, 1024, B, {0, 0, 3, 1, 3, "abc"});
    PutBlock(file, 1536, B, {2048, 0, Payload, 2, 0, Pattern(Payload, 3)});
    PutBlock(file, 2048, B, {512, 1536, Payload, 2, 0, Pattern(Payload, 2)});
    WriteBytes("t.BLB", file);

    BlobTable t(B, false);
    t.Open();
    TBlobBuffer grown = Value(t.file, 1, 1024);
    Fill(grown, Pattern(Payload + 1));
    grown.SaveChain();
    EXPECT_EQ(t.file.GetEndOfFile(), BlockOffset(3072));
    TBlobBuffer rewritten = Value(t.file, 2, 512);
    Fill(rewritten, Pattern(3 * Payload, 9));
    rewritten.SaveChain();
    // The block at 2048 was read with the one after it, which the file did not have yet.
    EXPECT_NE(std::find(t.file.reads.begin(), t.file.reads.end(), FileAccess{2048, 2 * B}),
              t.file.reads.end());
    Written(t);
    BlobTable check(B, false);
    check.Open();
    TBlobBuffer reread = Value(check.file, 2, 512);
    reread.LoadChain();
    EXPECT_EQ(Text(reread), Pattern(3 * Payload, 9));
}

TEST_F(BlobBufferTest, AShortBlockOfASharedFileIsAReadError) {
    std::string file = BlobHeaderImage(1, 0, 1536);
    PutBlock(file, 512, B, {0, 1024, Payload, 1, Payload + 5, Pattern(Payload)});
    file.resize(1536);
    WriteBytes("t.BLB", file);
    BlobTable t(B, false);
    t.Open();
    // The file is cut after the open (an open refuses a file shorter than its end of file).
    std::filesystem::resize_file("t.BLB", 1024);
    // The first block is whole; the second lies beyond the file's end: the load ends short.
    TBlobBuffer value = Value(t.file, 1, 512);
    EXPECT_EQ(EngineCode([&] { value.LoadChain(); }), engine::ErrEndOfBlob);
    engine::BlockPin block;
    EXPECT_EQ(EngineCode([&] { t.file.GetBlock(BlockOffset(1024), false, 1, block); }), engine::ErrRead);
}

TEST_F(BlobBufferTest, ChainsInOnePieceOrInSeveralReadBackWholeWithAReadPerPiece) {
    // Twelve values of three blocks written one after another, then every second one freed and the others
    // rewritten twice as long: each keeps its three blocks and takes three from the free list, so the chains
    // run in several pieces through the freed values' blocks.
    constexpr std::uint32_t Values = 12;
    std::vector<BlockOffset> firsts(Values + 1);
    std::vector<std::string> texts(Values + 1);
    {
        BlobTable t;
        t.Create();
        for (std::uint32_t slot = 1; slot <= Values; ++slot) {
            TBlobBuffer value = Value(t.file, slot);
            texts[slot] = Pattern(3 * Payload, static_cast<int>(slot));
            Fill(value, texts[slot]);
            value.SaveChain();
            firsts[slot] = value.FirstBlock();
        }
        Written(t);
    }
    const auto readAll = [&](const std::vector<std::uint32_t>& order) {
        BlobTable t;
        t.Open();
        t.file.reads.clear();
        for (const std::uint32_t slot : order) {
            TBlobBuffer value = Value(t.file, slot, firsts[slot].Value);
            value.LoadChain();
            EXPECT_EQ(Text(value), texts[slot]) << "slot " << slot;
        }
        return t.file.reads.size();
    };
    std::vector<std::uint32_t> written;
    for (std::uint32_t slot = 1; slot <= Values; ++slot) written.push_back(slot);
    // In the order written, 36 blocks: the first value's first block alone (nothing told its length yet),
    // its other two, then one read that brings the eleven values after it.
    EXPECT_EQ(readAll(written), 3u);
    // Apart (every third, with the blocks between not cached): a read per value once a value's length is
    // known, the first one's two reads as before.
    EXPECT_EQ(readAll({1, 4, 7, 10}), 5u);

    {
        BlobTable t;
        t.Open();
        for (std::uint32_t slot = 2; slot <= Values; slot += 2) {
            TBlobBuffer value = Value(t.file, slot, firsts[slot].Value);
            value.FreeChain();
            texts[slot].clear();
        }
        for (std::uint32_t slot = 1; slot <= Values; slot += 2) {
            TBlobBuffer value = Value(t.file, slot, firsts[slot].Value);
            texts[slot] = Pattern(6 * Payload - 1, static_cast<int>(slot) + 50);
            Fill(value, texts[slot]);
            value.SaveChain();
            EXPECT_EQ(value.FirstBlock(), firsts[slot]);
        }
        Written(t);
    }
    // The pieces of each chain, from the file's bytes: a piece ends where a link leads elsewhere than to the
    // next block.
    const std::string bytes = ReadBytes("t.BLB");
    std::size_t pieces = 0;
    std::vector<std::uint32_t> odd;
    for (std::uint32_t n = Values / 2; n >= 1; --n) {
        const std::uint32_t slot = 2 * n - 1;
        odd.push_back(slot);
        ++pieces;
        for (std::uint32_t at = firsts[slot].Value, next = 0; (next = GetBlock(bytes, at, B).next) != 0;
             at = next) {
            if (next != at + B) ++pieces;
        }
    }
    EXPECT_GT(pieces, 2 * odd.size());
    // Backwards and forwards: at most a read a piece, and the first block of the first value on its own.
    EXPECT_LE(readAll(odd), 1 + pieces);
    std::reverse(odd.begin(), odd.end());
    EXPECT_LE(readAll(odd), 1 + pieces);
}

TEST_F(BlobBufferTest, ALinkPastTheFilesRealEndIsAShortValueAndNothingIsReadOrTakenThere) {
    // 512 -> 1024 -> 1536, three payloads long; the header's end of file covers 2048, but the file is cut
    // after the open to end at 1536, so the third block lies past its real end.
    std::string file = BlobHeaderImage(1, 0, 2048);
    PutBlock(file, 512, B, {0, 1024, Payload, 1, 3 * Payload, Pattern(Payload, 1)});
    PutBlock(file, 1024, B, {512, 1536, Payload, 1, 0, Pattern(Payload, 2)});
    PutBlock(file, 1536, B, {1024, 0, Payload, 1, 0, Pattern(Payload, 3)});
    WriteBytes("t.BLB", file);
    BlobTable t;
    t.Open();
    fs::resize_file("t.BLB", 1536);
    TBlobBuffer value = Value(t.file, 1, 512);
    EXPECT_EQ(EngineCode([&] { value.LoadChain(); }), engine::ErrEndOfBlob);
    // The two whole blocks were read; nothing stands for the block the file lacks, nothing is to be written
    // and the file kept its size.
    EXPECT_EQ(value.Size(), static_cast<std::int32_t>(2 * Payload));
    EXPECT_EQ(t.file.Blocks().Peek(BlockOffset(1536)), nullptr);
    EXPECT_FALSE(t.file.FlushBlocks());
    EXPECT_EQ(fs::file_size("t.BLB"), 1536u);
}

TEST_F(BlobBufferTest, AnotherHandlesChangeIsSeenAtTheNextMissAndTheLoadStartsAgain) {
    {
        BlobTable t;
        t.Create();
        TBlobBuffer value = Value(t.file, 1);
        Fill(value, Pattern(3 * Payload));
        value.SaveChain();
        Written(t);
    }
    BlobTable reader(B, false);
    reader.Open();
    engine::BlockPin first;
    ASSERT_TRUE(reader.file.GetBlock(BlockOffset(512), false, 1, first));
    first.Release();
    {
        BlobTable writer(B, false);
        writer.Open();
        TBlobBuffer value = Value(writer.file, 1, 512);
        Fill(value, Pattern(2 * Payload + 7, 5));
        value.SaveChain();
        // A write ends with the header written, changed or not, so that others see the change.
        writer.file.FlushBlocks();
        writer.file.WriteHeader(true);
    }
    // The cached first block is stale; the miss on the second finds the new counter, drops the cache and
    // loads the chain afresh.
    TBlobBuffer value = Value(reader.file, 1, 512);
    value.LoadChain();
    EXPECT_EQ(reader.table.changesReported, 1);
    EXPECT_EQ(Text(value), Pattern(2 * Payload + 7, 5));
}

TEST_F(BlobBufferTest, SizesAreZeroFilledAndMarkTheValueChanged) {
    BlobTable t;
    t.Create();
    TBlobBuffer value = Value(t.file, 1);
    value.SetSize(3);
    EXPECT_TRUE(value.Changed());
    EXPECT_EQ(Text(value), std::string(3, '\0'));
    value.SetChanged(false);
    value.SetSize(3);
    EXPECT_FALSE(value.Changed());
    value.SetSize(-1);
    EXPECT_TRUE(value.Changed());
    EXPECT_EQ(value.Size(), 0);
}

}  // namespace
