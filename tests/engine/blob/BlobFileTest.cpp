#include "engine/blob/BlobFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/Scramble.h"
#include "engine/blob/BlobBuffer.h"
#include "tests/engine/support/BlobTestTable.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::BlockOffset;
using engine::BlockPin;

constexpr std::uint32_t B = 512;
constexpr std::uint32_t Payload = B - 18;

using BlobFileTest = TableTest;

// A file of n blocks of slot 1 (each a chain of its own, total 1), block k's payload starting with the byte
// k.
std::string FileOfBlocks(int n, std::uint32_t blockSize = B) {
    std::string file = BlobHeaderImage(1, 0, 512 + n * blockSize);
    for (int k = 0; k < n; ++k) {
        PutBlock(file, 512 + k * blockSize, blockSize, {0, 0, 1, 1, 1, std::string(1, static_cast<char>(k))});
    }
    return file;
}

BlockPin Fetch(engine::TBlobFile& file, std::uint32_t offset, std::uint32_t count = 1) {
    BlockPin block;
    EXPECT_TRUE(file.GetBlock(BlockOffset(offset), count > 1, count, block));
    return block;
}

TEST_F(BlobFileTest, TranslateFileNameReplacesTheExtension) {
    FakeBlobTable table;
    engine::TBlobFile file(table);
    EXPECT_EQ(file.TranslateFileName(" dir.v2/t.DAT "), "dir.v2/t.BLB");
    EXPECT_EQ(file.TranslateFileName("t"), "t.BLB");
}

TEST_F(BlobFileTest, DamagedHeadersFailToOpenAndLeaveTheFileClosed) {
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        int code;
    };
    const Case cases[] = {
        {"version 2", [](std::string& f) { f[8] = 2; }, engine::ErrWrongVersion},
        {"end of file off the grid", [](std::string& f) { PutLE(f, 13, 4, 700); }, engine::ErrHeaderCorrupt},
        {"end of file inside the header", [](std::string& f) { PutLE(f, 13, 4, 0); },
         engine::ErrHeaderCorrupt},
        {"end of file beyond the append limit", [](std::string& f) { PutLE(f, 13, 4, 2000001024u); },
         engine::ErrHeaderCorrupt},
        {"short header", [](std::string& f) { f.resize(100); }, engine::ErrRead},
        // Appends start at the end of file and every offset is judged against it: the file must hold it.
        {"end of file a block beyond the file", [](std::string& f) { PutLE(f, 13, 4, 512 + 3 * 512); },
         engine::ErrHeaderCorrupt},
        {"end of file at the append limit", [](std::string& f) { PutLE(f, 13, 4, 2000000000u); },
         engine::ErrHeaderCorrupt},
        {"end of file a block short of a cut file", [](std::string& f) { f.resize(512 + 512 + 100); },
         engine::ErrHeaderCorrupt},
    };
    for (const Case& c : cases) {
        std::string bytes = FileOfBlocks(2);
        c.damage(bytes);
        WriteBytes("t.BLB", bytes);
        BlobTable t;
        EXPECT_EQ(EngineCode([&] { t.Open(); }), c.code) << c.what;
        EXPECT_EQ(engine::CurrentErrorContext().FileName, "t.BLB") << c.what;
        EXPECT_FALSE(t.file.IsOpen()) << c.what;
    }
    // The block size is the table's.
    WriteBytes("t.BLB", FileOfBlocks(2));
    for (std::uint32_t size : {63u, 65536u}) {
        BlobTable t(size);
        EXPECT_EQ(EngineCode([&] { t.Open(); }), engine::ErrHeaderCorrupt) << size;
        EXPECT_EQ(engine::CurrentErrorContext().FileName, "t.DAT");
        EXPECT_FALSE(t.file.IsOpen());
    }
}

TEST_F(BlobFileTest, AnAppendMovesTheEndOfFileWithoutTouchingTheFile) {
    BlobTable t;
    t.Create();
    t.file.WriteHeader(false);
    t.file.writes.clear();
    BlockPin block = t.file.AllocBlock();
    EXPECT_EQ(block->GetPosition(), BlockOffset(512));
    EXPECT_EQ(t.file.GetEndOfFile(), BlockOffset(1024));
    EXPECT_EQ(t.file.Header().HeaderChanged, 1);
    EXPECT_FALSE(block->Dirty());
    EXPECT_TRUE(t.file.reads.empty());
    EXPECT_TRUE(t.file.writes.empty());
    EXPECT_EQ(t.file.GetFreeBlockPosition(), BlockOffset(1024));
}

TEST_F(BlobFileTest, NoAppendStartsBeyondTwoBillion) {
    std::string bytes = FileOfBlocks(1);
    PutLE(bytes, 13, 4, 2000000512u);
    WriteBytes("t.BLB", bytes);
    // The file really reaches that far (sparse: the file system stores no block of it).
    std::filesystem::resize_file("t.BLB", 2000000512u);
    BlobTable t;
    t.Open();
    EXPECT_EQ(EngineCode([&] { t.file.AllocBlock(); }), engine::ErrFileFull);
    EXPECT_EQ(engine::CurrentErrorContext().FileName, "t.DAT");
    EXPECT_EQ(t.file.GetEndOfFile(), BlockOffset(2000000512u));
    EXPECT_EQ(t.file.Header().HeaderChanged, 0);
}

TEST_F(BlobFileTest, FreedBlocksAreTakenBackFromTheHeadOfTheList) {
    WriteBytes("t.BLB", FileOfBlocks(3));
    BlobTable t;
    t.Open();
    for (std::uint32_t offset : {1024u, 512u}) {
        BlockPin block = Fetch(t.file, offset);
        t.file.FreeBlock(*block);
    }
    EXPECT_EQ(t.file.Header().FreeHead, BlockOffset(512));
    BlockPin reused = t.file.AllocBlock();
    EXPECT_EQ(reused->GetPosition(), BlockOffset(512));
    EXPECT_EQ(reused->Next(), BlockOffset(0));
    EXPECT_EQ(reused->Payload()[0], 0);
    EXPECT_EQ(t.file.Header().FreeHead, BlockOffset(1024));
    EXPECT_EQ(t.file.AllocBlock()->GetPosition(), BlockOffset(1024));
    EXPECT_EQ(t.file.AllocBlock()->GetPosition(), BlockOffset(2048));
}

TEST_F(BlobFileTest, ADamagedFreeListIsRefusedBeforeAnythingChanges) {
    struct Case {
        const char* what;
        std::uint32_t head;
        std::uint32_t next;
    };
    const Case cases[] = {{"head off the grid", 700, 0},
                          {"head at the end of file", 2048, 0},
                          {"link to itself", 1024, 1024},
                          {"link off the grid", 1024, 1100}};
    for (const Case& c : cases) {
        std::string bytes = FileOfBlocks(3);
        PutLE(bytes, 9, 4, c.head);
        PutLE(bytes, 1024 + 4, 4, c.next);
        WriteBytes("t.BLB", bytes);
        BlobTable t;
        t.Open();
        EXPECT_EQ(EngineCode([&] { t.file.AllocBlock(); }), engine::ErrBlobBuffersCorrupt) << c.what;
        EXPECT_EQ(t.file.Header().FreeHead, BlockOffset(c.head)) << c.what;
        EXPECT_EQ(t.file.GetEndOfFile(), BlockOffset(2048)) << c.what;
    }
}

TEST_F(BlobFileTest, OnlyBlocksOfTheFileAreFetched) {
    WriteBytes("t.BLB", FileOfBlocks(3));
    BlobTable t;
    t.Open();
    BlockPin block;
    EXPECT_FALSE(t.file.GetBlock(BlockOffset(0), false, 1, block));
    EXPECT_FALSE(block);
    for (std::uint32_t offset : {1u, 511u, 700u, 2048u, 2560u, 0x7FFFFE00u}) {
        EXPECT_EQ(EngineCode([&] { t.file.GetBlock(BlockOffset(offset), true, 5, block); }),
                  engine::ErrBlobBuffersCorrupt)
            << offset;
    }
    EXPECT_TRUE(t.file.reads.size() == 1 && t.file.reads[0].offset == 0);
    EXPECT_EQ(t.file.GetEndOfFile(), BlockOffset(2048));
}

TEST_F(BlobFileTest, AReadAheadKeepsCachedDirtyAndPinnedBlocks) {
    WriteBytes("t.BLB", FileOfBlocks(8));
    BlobTable t;
    t.Open();
    BlockPin pinned = Fetch(t.file, 512 + 3 * B);
    pinned->SetTotalLength(33);
    Fetch(t.file, 512 + 5 * B)->SetTotalLength(55);
    // The file changes underneath: only the blocks not in hand take the new bytes.
    std::string bytes = ReadBytes("t.BLB");
    for (int k = 0; k < 8; ++k) PutLE(bytes, 512 + k * B + 14, 4, 100 + k);
    WriteBytes("t.BLB", bytes);
    t.file.reads.clear();
    BlockPin wanted = t.file.ReadBlocks(BlockOffset(512 + 2 * B), 5);
    EXPECT_EQ(t.file.reads, (std::vector<FileAccess>{{512 + 2 * B, 5 * B}}));
    EXPECT_EQ(wanted->TotalLength(), 102u);
    EXPECT_EQ(t.file.Blocks().Front(), wanted.Get());
    EXPECT_EQ(t.file.Blocks().Peek(BlockOffset(512 + 3 * B))->TotalLength(), 33u);
    EXPECT_EQ(t.file.Blocks().Peek(BlockOffset(512 + 5 * B))->TotalLength(), 55u);
    EXPECT_EQ(t.file.Blocks().Peek(BlockOffset(512 + 4 * B))->TotalLength(), 104u);
    EXPECT_EQ(t.file.Blocks().Peek(BlockOffset(512 + 6 * B))->TotalLength(), 106u);
    // Read ahead stops at the end of file, whatever the caller asks.
    t.file.reads.clear();
    Fetch(t.file, 512 + 7 * B, 50);
    EXPECT_EQ(t.file.reads, (std::vector<FileAccess>{{512 + 7 * B, B}}));
}

TEST_F(BlobFileTest, AFlushWritesDirtyBlocksInAscendingRuns) {
    WriteBytes("t.BLB", FileOfBlocks(12));
    BlobTable t;
    t.Open();
    for (int k : {9, 1, 2, 4, 3}) Fetch(t.file, 512 + k * B)->SetNext(BlockOffset(512));
    Fetch(t.file, 512 + 6 * B);
    ASSERT_TRUE(t.file.FlushBlocks());
    EXPECT_EQ(t.file.writes, (std::vector<FileAccess>{{512 + 1 * B, 4 * B}, {512 + 9 * B, B}}));
    EXPECT_FALSE(t.file.FlushBlocks());
    const std::string bytes = ReadBytes("t.BLB");
    EXPECT_EQ(GetLE(bytes, 512 + 3 * B + 4, 4), 512u);
    EXPECT_EQ(GetLE(bytes, 512 + 6 * B + 4, 4), 0u);
}

TEST_F(BlobFileTest, AFullCacheOfPinnedBlocksIsCorruptOutsideATransaction) {
    // 65,535-byte blocks: the cache holds four.
    constexpr std::uint32_t Big = 65535;
    WriteBytes("t.BLB", FileOfBlocks(6, Big));
    BlobTable t(Big);
    t.Open();
    std::vector<BlockPin> pins;
    for (int k = 0; k < 4; ++k) pins.push_back(Fetch(t.file, 512 + k * Big));
    BlockPin block;
    EXPECT_EQ(EngineCode([&] { t.file.GetBlock(BlockOffset(512 + 4 * Big), false, 1, block); }),
              engine::ErrBlobBuffersCorrupt);

    // Under the transaction lock the cache grows instead, by 256 blocks, and a trim takes it back.
    t.table.transaction = true;
    pins[0]->SetNext(BlockOffset(512));
    pins.push_back(Fetch(t.file, 512 + 4 * Big));
    EXPECT_EQ(t.file.Blocks().Capacity(), 4 + 256);
    EXPECT_EQ(t.file.Blocks().Count(), 5);
    EXPECT_TRUE(t.file.writes.empty());
    pins.clear();
    t.table.transaction = false;
    t.file.TrimBlockCache();
    EXPECT_EQ(t.file.Blocks().Capacity(), 4);
    EXPECT_EQ(t.file.Blocks().Count(), 4);

    // Outside it, a cache full of dirty blocks writes them all before it evicts one.
    for (int k = 0; k < 4; ++k) Fetch(t.file, 512 + k * Big)->SetTotalLength(7);
    Fetch(t.file, 512 + 5 * Big);
    EXPECT_EQ(t.file.writes, (std::vector<FileAccess>{{512, 4 * static_cast<std::int32_t>(Big)}}));
}

TEST_F(BlobFileTest, AProtectedTableScramblesTheHeaderAndEachBlocksTwoParts) {
    BlobTable t;
    t.table.isProtected = true;
    t.Create();
    engine::TBlobBuffer value = Value(t.file, 3);
    Fill(value, "scrambled");
    value.SaveChain();
    t.file.FlushBlocks();
    t.file.WriteHeader(false);
    t.file.Close();

    std::string header = BlobHeaderImage(1, 0, 1024);
    header[17] = 1;
    engine::ScrambleBuffer(header.data(), header.size(), engine::DataSeed);
    std::string plain = BlobHeaderImage(1, 0, 1024);
    PutBlock(plain, 512, B, {0, 0, 9, 3, 9, "scrambled"});
    std::string blockHeader = plain.substr(512, 18);
    std::string payload = plain.substr(530, Payload);
    engine::ScrambleBuffer(blockHeader.data(), blockHeader.size(), engine::DataSeed);
    engine::ScrambleBuffer(payload.data(), payload.size(), engine::DataSeed);
    EXPECT_EQ(ReadBytes("t.BLB"), header + blockHeader + payload);

    t.Open();
    engine::TBlobBuffer reread = Value(t.file, 3, 512);
    reread.LoadChain();
    EXPECT_EQ(Text(reread), "scrambled");
}

TEST_F(BlobFileTest, AnotherHandlesHeaderWriteIsSeen) {
    WriteBytes("t.BLB", FileOfBlocks(2));
    BlobTable reader(B, false);
    reader.Open();
    EXPECT_FALSE(reader.file.HeaderChanged());
    {
        BlobTable writer(B, false);
        writer.Open();
        // The block reaches the file before the header that counts it.
        writer.file.AllocBlock()->MarkDirty();
        ASSERT_TRUE(writer.file.FlushBlocks());
        writer.file.WriteHeader(false);
    }
    EXPECT_TRUE(reader.file.HeaderChanged());
    EXPECT_EQ(reader.file.GetEndOfFile(), BlockOffset(512 + 3 * B));
    EXPECT_EQ(reader.file.Header().ChangeCounter, 2u);
    EXPECT_FALSE(reader.file.HeaderChanged());
}

TEST_F(BlobFileTest, ResetCutsTheFileToItsHeader) {
    std::string bytes = FileOfBlocks(3);
    PutLE(bytes, 9, 4, 1024);
    WriteBytes("t.BLB", bytes);
    BlobTable t;
    t.Open();
    t.file.ResetFile();
    EXPECT_EQ(ReadBytes("t.BLB").size(), 512u);
    EXPECT_EQ(t.file.GetEndOfFile(), BlockOffset(512));
    EXPECT_EQ(t.file.Header().FreeHead, BlockOffset(0));
    // The header in the file agrees with the cut at once.
    EXPECT_EQ(t.file.Header().HeaderChanged, 0);
    EXPECT_EQ(GetLE(ReadBytes("t.BLB"), 13, 4), 512u);
    EXPECT_EQ(GetLE(ReadBytes("t.BLB"), 9, 4), 0u);
}

TEST_F(BlobFileTest, CloseFreesTheOpenValuesAndTheBlocks) {
    WriteBytes("t.BLB", FileOfBlocks(3));
    BlobTable t;
    t.Open();
    Fetch(t.file, 512)->SetNext(BlockOffset(1024));
    t.file.OpenValues().push_back({1, std::make_unique<engine::TBlobBuffer>(Value(t.file, 1, 512))});
    t.file.Close();
    EXPECT_TRUE(t.file.OpenValues().empty());
    EXPECT_EQ(t.file.Blocks().Count(), 0);
    // Unwritten blocks go with them.
    EXPECT_EQ(GetLE(ReadBytes("t.BLB"), 512 + 4, 4), 0u);
}

TEST_F(BlobFileTest, TheLockOperationsAreTheSharedFilesLocks) {
    WriteBytes("t.BLB", FileOfBlocks(1));
    BlobTable writer(B, false);
    BlobTable reader(B, false);
    writer.Open();
    reader.Open();
    engine::LockRetryPolicy noRetry;
    noRetry.Retries = 0;
    reader.file.Locks().SetRetryPolicy(noRetry);
    writer.file.Locks().SetRetryPolicy(noRetry);
    ASSERT_TRUE(reader.file.ReadLock());
    EXPECT_FALSE(writer.file.WriteLock());
    EXPECT_TRUE(reader.file.ReadUnlock());
    EXPECT_TRUE(writer.file.WriteLock());
    EXPECT_FALSE(reader.file.ReadLock());
    EXPECT_TRUE(writer.file.WriteUnlock());
    // Closing drops the locks and forgets them.
    ASSERT_TRUE(reader.file.ReadLock());
    reader.file.Close();
    EXPECT_FALSE(reader.file.Locks().ReadHeld());
    EXPECT_TRUE(writer.file.WriteLock());
}

}  // namespace
