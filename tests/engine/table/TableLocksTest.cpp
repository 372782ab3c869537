#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/file/SharedFileLock.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::RecordPin;
using engine::SlotNumber;

// A memo table "t" of ten records, the last with a memo of several blocks at the block offset the fixture
// keeps; and handles that give up a lock at once instead of retrying for seconds.
class TableLocksTest : public TableTest {
protected:
    void SetUp() override { CreateTenRecordMemoTable("t", Pattern(2000)); }

    static void Open(engine::TDataFile& table, bool exclusive = false) {
        table.SetFileName("t");
        table.SetExclusive(exclusive);
        const engine::LockRetryPolicy atOnce{0, [](auto) {}, {}};
        table.IndexFile().Locks().SetRetryPolicy(atOnce);
        table.BlobFile().Locks().SetRetryPolicy(atOnce);
        table.Open();
    }

    // Loads a record, the root page and the memo's first block into the handle's caches, under a read of
    // its own.
    static void Warm(engine::TDataFile& table) {
        // A cursor without a position is taken up again without a read: what is cached after a check is
        // what the check kept.
        table.IndexFile().ClearPosition();
        engine::TReadGuard read(table);
        RecordPin record;
        ASSERT_TRUE(table.GetRecord(SlotNumber(1), false, false, engine::ReadForward, record));
        engine::PagePin root;
        ASSERT_TRUE(table.IndexFile().GetRootPage(root));
        engine::BlockPin block;
        ASSERT_TRUE(table.BlobFile().GetBlock(engine::BlockOffset(512), false, 1, block));
        read.End();
    }

    static bool RecordsCached(const engine::TDataFile& table) {
        return table.RecordCache().Peek(SlotNumber(1)) != nullptr;
    }
    static bool PagesCached(engine::TDataFile& table) {
        bool cached = false;
        table.IndexFile().Pages().List(0).ForEach(
            [&](const engine::TPage& page) { cached = cached || page.GetPosition() != engine::NoPage; });
        return cached;
    }
    static bool BlocksCached(engine::TDataFile& table) {
        return table.BlobFile().Blocks().Peek(engine::BlockOffset(512)) != nullptr;
    }

    // Changes record 5 in another handle and writes it with every header forced, as a shared insert does.
    static void WriteAChange(engine::TDataFile& other, const std::string& note) {
        engine::TReadGuard read(other);
        RecordPin record;
        ASSERT_TRUE(other.GetRecord(SlotNumber(5), false, false, engine::ReadForward, record));
        SetStored(other, record->Image(), MemoNoteField, Str(note));
        record->MarkDirty();
        record.Release();
        read.End();
        other.FlushBuffers(false, true, true);
    }
};

TEST_F(TableLocksTest, AMissAfterAnotherHandlesWriteDropsTheStaleCachesAndChecksOncePerOperation) {
    engine::TDataFile table;
    engine::TDataFile other;
    Open(table);
    Open(other);
    Warm(table);
    WriteAChange(other, "first");
    {
        engine::TReadGuard read(table);
        RecordPin record;
        EXPECT_FALSE(table.GetRecord(SlotNumber(7), false, false, engine::ReadForward, record));
        EXPECT_FALSE(record);
        EXPECT_FALSE(RecordsCached(table));
        EXPECT_FALSE(PagesCached(table));
        EXPECT_FALSE(BlocksCached(table));
        // The operation starts again; its read lock is held, so another change is not looked for: the next
        // miss drops nothing.
        ASSERT_TRUE(table.GetRecord(SlotNumber(7), false, false, engine::ReadForward, record));
        WriteAChange(other, "second");
        ASSERT_TRUE(table.GetRecord(SlotNumber(8), false, false, engine::ReadForward, record));
        EXPECT_NE(table.RecordCache().Peek(SlotNumber(7)), nullptr);
        EXPECT_TRUE(table.OperationReadLockHeld());
        EXPECT_FALSE(other.IndexFile().LockWrite());
        record.Release();
        read.End();
    }
    // The operation's end lets a writer in at once.
    EXPECT_FALSE(table.OperationReadLockHeld());
    EXPECT_TRUE(other.IndexFile().LockWrite());
    EXPECT_TRUE(other.IndexFile().UnlockWrite());
    // The next operation's miss finds the second change.
    engine::TReadGuard read(table);
    RecordPin record;
    EXPECT_FALSE(table.GetRecord(SlotNumber(6), false, false, engine::ReadForward, record));
    ASSERT_TRUE(table.GetRecord(SlotNumber(5), false, false, engine::ReadForward, record));
    EXPECT_EQ(StoredText(table, record->Image(), MemoNoteField), "second");
}

TEST_F(TableLocksTest, EachChangedFileDropsWhatDependsOnIt) {
    struct Case {
        const char* what;
        std::function<void(engine::TDataFile&)> write;
        bool records, pages, blocks;
    };
    // Another program's insert moves the index file's counter: the records go with the pages.
    const Case cases[] = {
        {"record file", [](engine::TDataFile& t) { t.WriteHeader(true); }, false, true, true},
        {"index file", [](engine::TDataFile& t) { t.IndexFile().WriteHeader(true); }, false, false, true},
        {"large-object file", [](engine::TDataFile& t) { t.BlobFile().WriteHeader(true); }, true, true,
         false},
        {"none", [](engine::TDataFile&) {}, true, true, true},
    };
    engine::TDataFile table;
    engine::TDataFile other;
    Open(table);
    Open(other);
    for (const Case& c : cases) {
        Warm(table);
        c.write(other);
        EXPECT_EQ(table.CheckForChanges(), !(c.records && c.pages && c.blocks)) << c.what;
        EXPECT_EQ(RecordsCached(table), c.records) << c.what;
        EXPECT_EQ(PagesCached(table), c.pages) << c.what;
        EXPECT_EQ(BlocksCached(table), c.blocks) << c.what;
        EXPECT_FALSE(table.CheckForChanges()) << c.what;
    }
}

TEST_F(TableLocksTest, AnExclusiveTableTakesNoLockAndNeverChecks) {
    engine::TDataFile table;
    Open(table, true);
    Warm(table);
    EXPECT_FALSE(table.BeginRead());
    EXPECT_FALSE(table.OperationReadLockHeld());
    // A counter that moved is not even looked at.
    PatchFile("t.DAT", 0, 4, 12345);
    EXPECT_FALSE(table.CheckForChanges());
    EXPECT_TRUE(RecordsCached(table));
}

TEST_F(TableLocksTest, AReadThatCannotLockTheLargeObjectFileHoldsNothing) {
    engine::TDataFile table;
    engine::TDataFile other;
    Open(table);
    Open(other);
    ASSERT_TRUE(other.BlobFile().WriteLock());
    EXPECT_EQ(EngineCode([&] { table.BeginRead(); }), engine::ErrGeneralLockFailure);
    EXPECT_FALSE(table.OperationReadLockHeld());
    EXPECT_TRUE(other.IndexFile().LockWrite());
    EXPECT_TRUE(other.IndexFile().UnlockWrite());
    EXPECT_TRUE(other.BlobFile().WriteUnlock());
    EXPECT_FALSE(table.BeginRead());
    EXPECT_TRUE(table.OperationReadLockHeld());
    table.EndRead();
}

TEST_F(TableLocksTest, AnOpenThatCannotTakeTheReadLockLeavesTheFilesFree) {
    engine::TDataFile writer;
    Open(writer);
    ASSERT_TRUE(writer.IndexFile().LockWrite());
    engine::TDataFile table;
    EXPECT_EQ(EngineCode([&] { Open(table); }), engine::ErrGeneralLockFailure);
    EXPECT_FALSE(table.IsOpen());
    EXPECT_TRUE(writer.IndexFile().UnlockWrite());
    writer.Close();
    engine::TDataFile exclusive;
    Open(exclusive, true);
    EXPECT_TRUE(exclusive.IsOpen());
}

TEST_F(TableLocksTest, AGuardEndsOnlyTheReadThatBeganUnderIt) {
    engine::TDataFile table;
    engine::TDataFile other;
    Open(table);
    Open(other);
    {
        engine::TReadGuard outer(table);
        EXPECT_FALSE(outer.Begin());
        {
            engine::TReadGuard inner(table);
            EXPECT_FALSE(inner.Begin());
        }
        EXPECT_TRUE(table.OperationReadLockHeld());
    }
    EXPECT_FALSE(table.OperationReadLockHeld());
    EXPECT_TRUE(other.IndexFile().LockWrite());
    EXPECT_TRUE(other.IndexFile().UnlockWrite());
    // An operation that fails ends its read through its guard.
    EXPECT_THROW(
        {
            engine::TReadGuard failing(table);
            failing.Begin();
            throw std::runtime_error("failed");
        },
        std::runtime_error);
    EXPECT_FALSE(table.OperationReadLockHeld());
}

TEST_F(TableLocksTest, CloseReleasesTheReadLockOfAnOperationThatDidNotEnd) {
    engine::TDataFile table;
    engine::TDataFile other;
    Open(table);
    Open(other);
    EXPECT_FALSE(table.BeginRead());
    EXPECT_FALSE(other.IndexFile().LockWrite());
    table.Close();
    EXPECT_FALSE(table.OperationReadLockHeld());
    EXPECT_TRUE(other.IndexFile().LockWrite());
    EXPECT_TRUE(other.IndexFile().UnlockWrite());
}

}  // namespace
