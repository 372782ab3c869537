#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/os/LockLayout.h"
#include "engine/records/RecordHeader.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::NoSlot;
using engine::RecordPin;
using engine::SlotNumber;

constexpr std::int64_t RecordLockByte(std::uint32_t slot) {
    return engine::RecordLockTop - slot;
}

// A memo table "t" of ten records (the last with a memo), and handles on it whose semaphore and read and
// write locks are tried once and whose waits do not sleep, so that a refused lock fails at once.
class DataFileLocksTest : public TableTest {
protected:
    void SetUp() override { CreateTenRecordMemoTable("t", std::string(1500, 'm')); }

    static engine::LockRetryPolicy AtOnce() {
        return engine::LockRetryPolicy{0, [](auto) {}, {}};
    }

    static void Open(engine::TDataFile& table, bool exclusive = false, bool strict = false) {
        table.SetFileName("t");
        table.SetExclusive(exclusive);
        table.SetStrictChangeDetection(strict);
        table.SetLockRetryPolicy(AtOnce());
        table.Open();
    }

    // A holder of the table in table mode whose locks are tried once.
    static void StartTableHolder(HolderProcess& holder) {
        ASSERT_TRUE(holder.Ready()) << holder.Greeting();
        ASSERT_EQ(holder.Send("retries 0 0"), "ok");
    }

    // Whether another program can take the range at once (and lets it go again).
    static bool Free(HolderProcess& file, std::int64_t offset, std::int64_t length) {
        if (!file.Lock(offset, length)) return false;
        EXPECT_TRUE(file.Unlock(offset, length));
        return true;
    }

    // Makes slot n the handle's current record.
    // The record becomes current with the index cursor on its key, as the table cursor keeps them.
    static void MakeCurrent(engine::TDataFile& table, std::uint32_t slot) {
        engine::TReadGuard read(table);
        RecordPin record;
        ASSERT_TRUE(table.GetRecord(SlotNumber(slot), false, false, engine::ReadForward, record));
        engine::TIndexKey key;
        table.BuildKey(record->Image(), key);
        ASSERT_TRUE(table.IndexFile().FindKey(key.View(), false, false, key.Length));
        table.SetCurrentRecord(std::move(record));
        read.End();
    }

    // The NOTE of slot n as the handle shows it.
    static std::string Note(engine::TDataFile& table, std::uint32_t slot) {
        engine::TReadGuard read(table);
        RecordPin record;
        while (!table.GetRecord(SlotNumber(slot), false, false, engine::ReadForward, record)) {
        }
        const std::string note = StoredText(table, record->Image(), MemoNoteField);
        record.Release();
        read.End();
        return note;
    }

    // Changes slot n in another handle as a shared change does: under the write locks, written with every
    // header forced.
    static void ChangeRecord(engine::TDataFile& other, std::uint32_t slot,
                             const std::function<void(engine::TDataFile&, engine::TRecord&)>& change) {
        other.BeginWrite();
        RecordPin record;
        ASSERT_TRUE(other.GetRecord(SlotNumber(slot), false, false, engine::ReadForward, record));
        change(other, *record);
        record->MarkDirty();
        record.Release();
        other.FlushBuffers(false, true, true);
        other.EndWrite();
    }
    static void SetNote(engine::TDataFile& table, engine::TRecord& record, const std::string& note) {
        SetStored(table, record.Image(), MemoNoteField, Str(note));
    }

    static double ThreadCpuSeconds() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    }
};

// ---- Lock bytes ----

TEST_F(DataFileLocksTest, EachLockHoldsExactlyItsBytesAndItsReleaseFreesThem) {
    struct Range {
        const char* file;
        std::int64_t offset, length;
        bool held;
    };
    struct Case {
        const char* what;
        std::function<void(engine::TDataFile&)> take, release;
        std::vector<Range> ranges;
    };
    const Case cases[] = {
        {"record lock of slot 7",
         [](engine::TDataFile& t) { t.LockRecord(SlotNumber(7)); },
         [](engine::TDataFile& t) { t.UnlockRecord(SlotNumber(7)); },
         {{"t.DAT", 0x7FFFFFF7, 1, true}, {"t.DAT", 0x7FFFFFF6, 1, false}, {"t.DAT", 0x7FFFFFF8, 1, false}}},
        {"table lock",
         [](engine::TDataFile& t) { t.LockTable(); },
         [](engine::TDataFile& t) { t.UnlockTable(); },
         {{"t.DAT", 0x7A0A1EFD, 1, true},
          {"t.DAT", 0x7FFFFFFD, 1, true},
          {"t.DAT", 0x7A0A1EFC, 1, false},
          {"t.DAT", 0x7FFFFFFE, 1, false}}},
        {"write locks",
         [](engine::TDataFile& t) { t.BeginWrite(); },
         [](engine::TDataFile& t) { t.EndWrite(); },
         {{"t.DAT", 0x7FFFFFFF, 1, true},
          {"t.DAT", 0x7FFFFFFE, 1, false},
          {"t.IDX", 0x7FFF0000, 1, true},
          {"t.IDX", 0x7FFFFFFE, 1, true},
          {"t.IDX", 0x7FFEFFFF, 1, false},
          {"t.IDX", 0x7FFFFFFF, 1, false},
          {"t.BLB", 0x7FFF0000, 65535, true}}},
    };
    HolderProcess dat("t.DAT", "shared", "write");
    HolderProcess idx("t.IDX", "shared", "write");
    HolderProcess blb("t.BLB", "shared", "write");
    ASSERT_TRUE(dat.Ready() && idx.Ready() && blb.Ready());
    const auto holderOf = [&](const std::string& file) -> HolderProcess& {
        return file == "t.DAT" ? dat : file == "t.IDX" ? idx : blb;
    };
    engine::TDataFile table;
    Open(table);
    for (const Case& c : cases) {
        c.take(table);
        for (const Range& r : c.ranges) {
            EXPECT_EQ(Free(holderOf(r.file), r.offset, r.length), !r.held)
                << c.what << ' ' << r.file << ' ' << std::hex << r.offset;
        }
        c.release(table);
        for (const Range& r : c.ranges) {
            EXPECT_TRUE(Free(holderOf(r.file), r.offset, r.length)) << c.what << " released";
        }
    }
    // Close lets go of everything held at once: a record lock with the write locks, then the table lock with
    // both read locks.
    const auto everyRangeFree = [&](const char* when) {
        for (const Case& c : cases) {
            for (const Range& r : c.ranges) {
                EXPECT_TRUE(Free(holderOf(r.file), r.offset, r.length)) << when << ' ' << c.what;
            }
        }
    };
    cases[0].take(table);
    cases[2].take(table);
    table.Close();
    everyRangeFree("after a close with a record and the write locks held");
    Open(table);
    cases[1].take(table);
    table.AcquireReadLock();
    EXPECT_FALSE(table.BeginRead());
    table.Close();
    everyRangeFree("after a close with the table and read locks held");
}

TEST_F(DataFileLocksTest, AnExclusiveTableTakesNoLock) {
    engine::TDataFile table;
    Open(table, true);
    MakeCurrent(table, 3);
    table.LockRecord(SlotNumber(7));
    table.LockRecord(NoSlot);
    table.LockTable();
    table.BeginWrite();
    table.AcquireReadLock();
    EXPECT_FALSE(table.BeginRead());
    EXPECT_TRUE(table.LockedRecords().empty());
    EXPECT_FALSE(table.TableLockHeld());
    EXPECT_FALSE(table.WriteLocksHeld());
    EXPECT_FALSE(table.WriteSemaphoreHeld());
    EXPECT_FALSE(table.LongLivedReadLockHeld());
    EXPECT_FALSE(table.OperationReadLockHeld());
}

// ---- Record locks ----

TEST_F(DataFileLocksTest, ARecordLockedElsewhereFailsAfterItsTriesSleepingBetweenThem) {
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    ASSERT_EQ(holder.Send("lockrecord 4"), "ok");
    {
        // The defaults: 16 tries, 100 ms apart.
        engine::TDataFile table;
        table.SetFileName("t");
        table.Open();
        const auto started = std::chrono::steady_clock::now();
        const double cpuStarted = ThreadCpuSeconds();
        EXPECT_EQ(EngineCode([&] { table.LockRecord(SlotNumber(4)); }), engine::ErrRecordInUse);
        const double cpu = ThreadCpuSeconds() - cpuStarted;
        EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));
        EXPECT_LT(cpu, 0.25);
        EXPECT_TRUE(table.LockedRecords().empty());
    }
    struct Case {
        std::uint8_t retries;
        std::uint16_t waitMs;
        int sleeps;
    };
    // No retry gives up at once; 255 retries end (a count kept in a byte would never reach 255), their
    // waits adding up to 255 steps: two short ones, 254 of a step and the quarter step left.
    for (const Case c : {Case{0, 1000, 0}, Case{255, 1, 257}}) {
        engine::TDataFile table;
        int sleeps = 0;
        std::chrono::microseconds waited{0};
        table.SetFileName("t");
        table.SetLockRetryPolicy(engine::LockRetryPolicy{0,
                                                         [&](std::chrono::microseconds wait) {
                                                             EXPECT_LE(wait, std::chrono::milliseconds(c.waitMs));
                                                             waited += wait;
                                                             ++sleeps;
                                                         },
                                                         {}});
        table.Open();
        table.SetLockRetryCount(c.retries);
        table.SetLockWaitTime(c.waitMs);
        EXPECT_EQ(EngineCode([&] { table.LockRecord(SlotNumber(4)); }), engine::ErrRecordInUse);
        EXPECT_EQ(sleeps, c.sleeps) << int{c.retries};
        EXPECT_EQ(waited, c.retries * std::chrono::milliseconds(c.waitMs));
    }
}

// Another program waiting for a record lock with the default tries holds nothing between them: the holder of
// the lock modifies and deletes at once instead of waiting for the waiter to give up, and the waiter gets
// the lock at its next try.
TEST_F(DataFileLocksTest, AWaiterForARecordLockDoesNotStallTheProgramHoldingIt) {
    engine::TDataFile table;
    table.SetFileName("t");
    table.Open();
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    ASSERT_TRUE(holder.Ready()) << holder.Greeting();
    using Clock = std::chrono::steady_clock;
    const auto waitFor = std::chrono::milliseconds(engine::DefaultLockWaitTime);
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"modify",
         [&] {
             std::vector<std::uint8_t> image(table.GetCurrentRecordImage().begin(),
                                             table.GetCurrentRecordImage().end());
             SetStored(table, image, MemoNoteField, Str("changed"));
             table.ModifyRecord(image, true, true);
         }},
        {"delete", [&] { table.DeleteRecord(true); }},
    };
    std::uint32_t slot = 2;
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        MakeCurrent(table, slot);
        table.LockRecord(NoSlot);
        std::string reply;
        std::thread waiter([&] { reply = holder.Send("lockrecord " + std::to_string(slot)); });
        // The waiter has tried and is between its tries.
        std::this_thread::sleep_for(3 * waitFor);
        const auto start = Clock::now();
        change();
        const auto took = Clock::now() - start;
        waiter.join();
        EXPECT_LT(took, waitFor);
        EXPECT_EQ(reply, "ok");
        EXPECT_EQ(holder.Send("unlockrecord " + std::to_string(slot)), "ok");
        ++slot;
    }
}

// A lock the handle's own lock excludes is answered at once, without one wait: the write locks over its own
// long-lived read lock and the long-lived read lock under its own write locks are refused; an operation's
// read gives way to the write locks.
TEST_F(DataFileLocksTest, ALockThatTheHandlesOwnLockExcludesIsAnsweredAtOnce) {
    engine::TDataFile table;
    int sleeps = 0;
    table.SetFileName("t");
    table.SetLockRetryPolicy(engine::LockRetryPolicy{20, [&](auto) { ++sleeps; }, {}});
    table.Open();
    table.AcquireReadLock();
    EXPECT_EQ(EngineCode([&] { table.BeginWrite(); }), engine::ErrGeneralLockFailure);
    EXPECT_FALSE(table.WriteLocksHeld());
    EXPECT_TRUE(table.LongLivedReadLockHeld());
    table.ReleaseReadLock();
    table.BeginWrite();
    EXPECT_EQ(EngineCode([&] { table.AcquireReadLock(); }), engine::ErrGeneralLockFailure);
    EXPECT_FALSE(table.LongLivedReadLockHeld());
    table.EndWrite();
    table.BeginRead();
    table.BeginWrite();
    EXPECT_TRUE(table.WriteLocksHeld());
    EXPECT_FALSE(table.OperationReadLockHeld());
    table.EndWrite();
    EXPECT_EQ(sleeps, 0);
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    EXPECT_EQ(holder.Send("beginwrite"), "ok");
}

// A slot number that has no lock byte is refused at once, not after every retry.
TEST_F(DataFileLocksTest, ASlotWithoutALockByteIsRefusedAtOnce) {
    engine::TDataFile table;
    int sleeps = 0;
    table.SetFileName("t");
    table.SetLockRetryPolicy(engine::LockRetryPolicy{0, [&](auto) { ++sleeps; }, {}});
    table.Open();
    for (const std::uint32_t slot : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(EngineCode([&] { table.LockRecord(SlotNumber(slot)); }), engine::ErrRecordNotFound);
        EXPECT_TRUE(table.LockedRecords().empty());
    }
    EXPECT_EQ(sleeps, 0);
    table.LockRecord(SlotNumber(0x7FFFFFFE));
    EXPECT_EQ(table.LockedRecords(), std::vector<SlotNumber>{SlotNumber(0x7FFFFFFE)});
}

TEST_F(DataFileLocksTest, ARecordLockedTwiceIsOneLockThatOneUnlockFrees) {
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    engine::TDataFile table;
    Open(table);
    table.LockRecord(SlotNumber(3));
    table.LockRecord(SlotNumber(3));
    EXPECT_EQ(table.LockedRecords(), std::vector<SlotNumber>{SlotNumber(3)});
    EXPECT_EQ(holder.Send("lockrecord 3"), "error 10258");
    table.UnlockRecord(SlotNumber(3));
    EXPECT_TRUE(table.LockedRecords().empty());
    EXPECT_EQ(holder.Send("lockrecord 3"), "ok");
    // Unlocking a record this handle does not hold changes nothing.
    table.UnlockRecord(SlotNumber(3));
    EXPECT_EQ(holder.Send("unlockrecord 3"), "ok");
}

TEST_F(DataFileLocksTest, TheCurrentRecordIsLockedAndUnlockedThroughSlotZero) {
    engine::TDataFile table;
    Open(table);
    EXPECT_EQ(EngineCode([&] { table.LockRecord(NoSlot); }), engine::ErrRecordInUse);
    EXPECT_EQ(EngineCode([&] { table.UnlockRecord(NoSlot); }), engine::ErrCannotUnlock);
    EXPECT_TRUE(table.LockedRecords().empty());
    MakeCurrent(table, 6);
    table.LockRecord(NoSlot);
    EXPECT_EQ(table.LockedRecords(), std::vector<SlotNumber>{SlotNumber(6)});
    table.UnlockRecord(NoSlot);
    EXPECT_TRUE(table.LockedRecords().empty());
}

TEST_F(DataFileLocksTest, TwoHandlesInOneProcessExcludeEachOther) {
    HolderProcess dat("t.DAT", "shared", "write");
    ASSERT_TRUE(dat.Ready());
    engine::TDataFile a;
    Open(a);
    a.LockRecord(SlotNumber(7));
    {
        engine::TDataFile b;
        Open(b);
        b.SetLockRetryCount(0);
        EXPECT_EQ(EngineCode([&] { b.LockRecord(SlotNumber(7)); }), engine::ErrRecordInUse);
        b.Close();
    }
    // B's close gave back only what B held.
    EXPECT_FALSE(Free(dat, RecordLockByte(7), 1));
}

// ---- The table lock ----

TEST_F(DataFileLocksTest, TheTableLockAndRecordLocksExcludeEachOther) {
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    engine::TDataFile table;
    Open(table);
    table.SetLockRetryCount(0);
    ASSERT_EQ(holder.Send("lockrecord 4"), "ok");
    EXPECT_EQ(EngineCode([&] { table.LockTable(); }), engine::ErrFileLocked);
    EXPECT_FALSE(table.TableLockHeld());
    ASSERT_EQ(holder.Send("unlockrecord 4"), "ok");
    table.LockTable();
    EXPECT_TRUE(table.TableLockHeld());
    EXPECT_EQ(holder.Send("lockrecord 4"), "error 10258");
    // Under the table lock a record lock takes nothing of its own, and needs no unlock.
    table.LockRecord(SlotNumber(5));
    EXPECT_TRUE(table.LockedRecords().empty());
    EXPECT_EQ(holder.Send("locktable"), "error 10241");
    table.UnlockTable();
    EXPECT_EQ(holder.Send("lockrecord 4"), "ok");
    EXPECT_EQ(holder.Send("lockrecord 5"), "ok");
}

// Another program locks one record after another, never leaving a moment with none locked: a waiting table
// lock has its turn all the same, as the record lock asked for while it waits is refused.
TEST_F(DataFileLocksTest, AWaitingTableLockHasItsTurnUnderSteadyRecordLocking) {
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    engine::TDataFile table;
    Open(table);
    ASSERT_EQ(holder.Send("lockrecord 1"), "ok");
    std::uint32_t held = 1;
    std::vector<std::string> answers;
    table.SetLockRetryPolicy(engine::LockRetryPolicy{0,
                                                     [&](auto) {
                                                         // The next record first, then the last one goes.
                                                         const std::uint32_t next = held % 9 + 1;
                                                         answers.push_back(holder.Send(
                                                             "lockrecord " + std::to_string(next)));
                                                         if (answers.back() == "ok") {
                                                             ASSERT_EQ(holder.Send("unlockrecord " +
                                                                                   std::to_string(held)),
                                                                       "ok");
                                                             held = next;
                                                         } else {
                                                             ASSERT_EQ(holder.Send("unlockrecord " +
                                                                                   std::to_string(held)),
                                                                       "ok");
                                                             held = 0;
                                                         }
                                                     },
                                                     {}});
    table.SetLockRetryCount(5);
    EXPECT_EQ(EngineCode([&] { table.LockTable(); }), 0);
    EXPECT_TRUE(table.TableLockHeld());
    EXPECT_EQ(answers, std::vector<std::string>{"error 10258"});
    // Once the table lock is had, record locks wait for its end, and then go on.
    EXPECT_EQ(holder.Send("lockrecord 3"), "error 10258");
    table.UnlockTable();
    EXPECT_EQ(holder.Send("lockrecord 3"), "ok");
    // Nobody waits for the table any more.
    HolderProcess dat("t.DAT", "shared", "write");
    ASSERT_TRUE(dat.Ready());
    EXPECT_TRUE(Free(dat, engine::TableLockWantedOffset, 1));
}

// Another program locks records one after another and a third handle inserts at every wait: the waiting
// table lock has its turn all the same, as neither the record lock nor the insert's slot lock is granted
// while it waits; both go on once it ends.
TEST_F(DataFileLocksTest, AWaitingTableLockHasItsTurnUnderSteadyInsertsAndRecordLocks) {
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    engine::TDataFile table;
    engine::TDataFile inserter;
    Open(table);
    Open(inserter);
    inserter.SetLockRetryCount(0);
    std::vector<std::uint8_t> image(inserter.GetRecordBufferSize());
    inserter.InitRecord(image);
    SetStored(inserter, image, MemoNameField, Str("steady"));
    std::int32_t id = 50;
    const auto insert = [&] {
        SetStored(inserter, image, MemoIdField, I32(id));
        return EngineCode([&] { inserter.InsertRecord(image, true); });
    };
    ASSERT_EQ(insert(), 0);
    ++id;
    ASSERT_EQ(holder.Send("lockrecord 1"), "ok");
    std::vector<std::string> answers;
    std::vector<int> inserts;
    table.SetLockRetryPolicy(engine::LockRetryPolicy{0,
                                                     [&](auto) {
                                                         inserts.push_back(insert());
                                                         answers.push_back(holder.Send("lockrecord 2"));
                                                         if (answers.size() == 1) {
                                                             ASSERT_EQ(holder.Send("unlockrecord 1"), "ok");
                                                         }
                                                     },
                                                     {}});
    table.SetLockRetryCount(5);
    EXPECT_EQ(EngineCode([&] { table.LockTable(); }), 0);
    EXPECT_TRUE(table.TableLockHeld());
    EXPECT_EQ(answers, std::vector<std::string>{"error 10258"});
    EXPECT_EQ(inserts, std::vector<int>{engine::ErrRecordInUse});
    table.UnlockTable();
    EXPECT_EQ(insert(), 0);
    EXPECT_EQ(holder.Send("lockrecord 2"), "ok");
}

// A deleted slot another program holds locked is not waited for with the write locks held: the insert
// appends at once.
TEST_F(DataFileLocksTest, AnInsertDoesNotWaitForALockedFreeSlot) {
    {
        engine::TDataFile table;
        Open(table);
        MakeCurrent(table, 4);
        table.DeleteRecord(true);
    }
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    ASSERT_EQ(holder.Send("lockrecord 4"), "ok");
    engine::TDataFile table;
    Open(table);
    int sleeps = 0;
    table.SetLockRetryPolicy(engine::LockRetryPolicy{0, [&](auto) { ++sleeps; }, {}});
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    table.InitRecord(image);
    SetStored(table, image, MemoIdField, I32(40));
    SetStored(table, image, MemoNameField, Str("forty"));
    EXPECT_EQ(EngineCode([&] { table.InsertRecord(image, true); }), 0);
    EXPECT_EQ(sleeps, 0);
    EXPECT_EQ(table.CurrentRecord()->RecordNumber(), SlotNumber(11));
    // The slot stays on the chain for the next insert.
    ASSERT_EQ(holder.Send("unlockrecord 4"), "ok");
    SetStored(table, image, MemoIdField, I32(41));
    table.InsertRecord(image, true);
    EXPECT_EQ(table.CurrentRecord()->RecordNumber(), SlotNumber(4));
}

// A table lock another program holds for a moment, or only waits for while a third holds a record lock,
// holds up an insert with the default settings no longer than it lasts: the insert waits as an edit's
// record lock would, and succeeds.
TEST_F(DataFileLocksTest, AnInsertWaitsOutATableLockHeldOrWaitedForElsewhere) {
    std::int32_t id = 40;
    for (const bool onlyWaiting : {false, true}) {
        SCOPED_TRACE(onlyWaiting ? "waited for" : "held");
        HolderProcess x(HolderProcess::TableMode{}, "t");
        HolderProcess z(HolderProcess::TableMode{}, "t");
        ASSERT_TRUE(x.Ready()) << x.Greeting();
        ASSERT_TRUE(z.Ready()) << z.Greeting();
        std::vector<std::string> answers;
        std::thread tableLock;
        std::thread release;
        if (onlyWaiting) {
            ASSERT_EQ(z.Send("lockrecord 2"), "ok");
            tableLock = std::thread([&] {
                answers.push_back(x.Send("locktable"));
                answers.push_back(x.Send("unlocktable"));
            });
            release = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                answers.push_back(z.Send("unlockrecord 2"));
            });
            // X announces its wait before the insert starts.
            HolderProcess dat("t.DAT", "shared", "write");
            ASSERT_TRUE(dat.Ready());
            while (Free(dat, engine::TableLockWantedOffset, 1)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } else {
            ASSERT_EQ(x.Send("locktable"), "ok");
            release = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                answers.push_back(x.Send("unlocktable"));
            });
        }
        engine::TDataFile table;
        table.SetFileName("t");
        table.Open();
        std::vector<std::uint8_t> image(table.GetRecordBufferSize());
        table.InitRecord(image);
        SetStored(table, image, MemoIdField, I32(id));
        SetStored(table, image, MemoNameField, Str("waited"));
        EXPECT_EQ(EngineCode([&] { table.InsertRecord(image, true); }), 0);
        release.join();
        if (tableLock.joinable()) tableLock.join();
        for (const std::string& answer : answers) EXPECT_EQ(answer, "ok");
        EXPECT_EQ(StoredText(table, table.CurrentRecord()->Image(), MemoNameField), "waited");
        ++id;
    }
}

// ---- Writers and readers ----

TEST_F(DataFileLocksTest, AReaderElsewhereMakesBeginWriteFailHoldingNothing) {
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    ASSERT_EQ(holder.Send("beginread"), "ok");
    engine::TDataFile table;
    int sleeps = 0;
    table.SetFileName("t");
    std::chrono::microseconds waited{0};
    table.SetLockRetryPolicy(engine::LockRetryPolicy{5,
                                                     [&](std::chrono::microseconds wait) {
                                                         EXPECT_LE(wait, std::chrono::milliseconds(
                                                                             engine::LockRetrySleepMs));
                                                         waited += wait;
                                                         ++sleeps;
                                                     },
                                                     {}});
    table.Open();
    EXPECT_EQ(EngineCode([&] { table.BeginWrite(); }), engine::ErrGeneralLockFailure);
    EXPECT_EQ(waited, 5 * std::chrono::milliseconds(engine::LockRetrySleepMs));
    EXPECT_FALSE(table.WriteLocksHeld());
    EXPECT_FALSE(table.WriteSemaphoreHeld());
    // The semaphore went back: another writer gets as far as the reader's byte.
    engine::TDataFile other;
    Open(other);
    EXPECT_TRUE(other.WriteLockByte());
    EXPECT_TRUE(other.WriteUnlockByte());
    ASSERT_EQ(holder.Send("endread"), "ok");
    sleeps = 0;
    table.BeginWrite();
    EXPECT_EQ(sleeps, 0);
    EXPECT_TRUE(table.WriteLocksHeld());
    table.EndWrite();
}

TEST_F(DataFileLocksTest, AWriterElsewhereMakesEveryReadFail) {
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    ASSERT_EQ(holder.Send("beginwrite"), "ok");
    engine::TDataFile table;
    table.SetFileName("t");
    table.SetLockRetryPolicy(AtOnce());
    // Even the open reads under the read lock.
    EXPECT_EQ(EngineCode([&] { table.Open(); }), engine::ErrGeneralLockFailure);
    ASSERT_EQ(holder.Send("endwrite"), "ok");
    table.Open();
    ASSERT_EQ(holder.Send("beginwrite"), "ok");
    EXPECT_EQ(EngineCode([&] { table.BeginRead(); }), engine::ErrGeneralLockFailure);
    EXPECT_EQ(EngineCode([&] { table.AcquireReadLock(); }), engine::ErrGeneralLockFailure);
    EXPECT_EQ(EngineCode([&] { table.BeginWrite(); }), engine::ErrGeneralLockFailure);
    EXPECT_FALSE(table.OperationReadLockHeld());
    EXPECT_FALSE(table.LongLivedReadLockHeld());
    ASSERT_EQ(holder.Send("endwrite"), "ok");
    // Nothing of the failures stayed behind.
    EXPECT_EQ(holder.Send("beginwrite"), "ok");
    EXPECT_EQ(holder.Send("endwrite"), "ok");
}

TEST_F(DataFileLocksTest, ALargeObjectWriteLockElsewhereFailsBeginWriteLeavingTheOtherFilesFree) {
    HolderProcess blb("t.BLB", "shared", "write");
    HolderProcess dat("t.DAT", "shared", "write");
    HolderProcess idx("t.IDX", "shared", "write");
    ASSERT_TRUE(blb.Ready() && dat.Ready() && idx.Ready());
    engine::TDataFile table;
    Open(table);
    ASSERT_TRUE(blb.Lock(0x7FFF8000, 1));
    EXPECT_EQ(EngineCode([&] { table.BeginWrite(); }), engine::ErrGeneralLockFailure);
    EXPECT_TRUE(Free(dat, engine::WriteSemaphoreOffset, 1));
    EXPECT_TRUE(Free(idx, engine::WriteLockOffset, engine::WriteLockLength));
    EXPECT_FALSE(table.WriteLocksHeld());
    EXPECT_FALSE(table.WriteSemaphoreHeld());
}

TEST_F(DataFileLocksTest, BothReadLocksShareTheReadBytes) {
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    engine::TDataFile table;
    Open(table);
    // The operation's read ends first: the long-lived lock keeps the bytes.
    EXPECT_FALSE(table.BeginRead());
    table.AcquireReadLock();
    table.EndRead();
    EXPECT_EQ(holder.Send("beginwrite"), "error 10249");
    table.ReleaseReadLock();
    EXPECT_EQ(holder.Send("beginwrite"), "ok");
    EXPECT_EQ(holder.Send("endwrite"), "ok");
    // The long-lived lock ends first: the operation's read keeps them.
    EXPECT_FALSE(table.BeginRead());
    table.AcquireReadLock();
    table.ReleaseReadLock();
    EXPECT_EQ(holder.Send("beginwrite"), "error 10249");
    table.EndRead();
    EXPECT_EQ(holder.Send("beginwrite"), "ok");
    EXPECT_EQ(holder.Send("endwrite"), "ok");
}

// ---- Nothing stays held ----

TEST_F(DataFileLocksTest, NoOperationLeavesALockBehind) {
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    StartTableHolder(holder);
    engine::TDataFile table;
    engine::TDataFile other;
    Open(table);
    Open(other);
    table.SetLockRetryCount(0);
    MakeCurrent(table, 2);
    const std::vector<std::function<void()>> operations = {
        [&] { table.LockRecord(SlotNumber(3)); },
        [&] { table.UnlockRecord(SlotNumber(3)); },
        // Locked after another handle's change: the check drops the caches and still lets go.
        [&] { ChangeRecord(other, 8, [](engine::TDataFile& t, engine::TRecord& r) { SetNote(t, r, "x"); }); },
        [&] { table.LockRecord(NoSlot); },
        [&] { table.UnlockRecord(NoSlot); },
        [&] { table.LockTable(); },
        [&] { table.UnlockTable(); },
        [&] { table.AcquireReadLock(); },
        [&] { table.ReleaseReadLock(); },
        [&] { table.BeginWrite(); },
        [&] { table.EndWrite(); },
        [&] { table.LoadCurrentRecord(engine::ReadForward); },
        // Failures: a record and the table held elsewhere, a writer elsewhere.
        [&] { ASSERT_EQ(holder.Send("lockrecord 9"), "ok"); },
        [&] { EXPECT_EQ(EngineCode([&] { table.LockRecord(SlotNumber(9)); }), engine::ErrRecordInUse); },
        [&] { EXPECT_EQ(EngineCode([&] { table.LockTable(); }), engine::ErrFileLocked); },
        [&] { ASSERT_EQ(holder.Send("unlockrecord 9"), "ok"); },
        [&] { ASSERT_EQ(holder.Send("beginwrite"), "ok"); },
        [&] {
            EXPECT_EQ(EngineCode([&] { table.LockRecord(SlotNumber(9)); }), engine::ErrGeneralLockFailure);
        },
        [&] { EXPECT_EQ(EngineCode([&] { table.AcquireReadLock(); }), engine::ErrGeneralLockFailure); },
        [&] { EXPECT_EQ(EngineCode([&] { table.BeginWrite(); }), engine::ErrGeneralLockFailure); },
        [&] { ASSERT_EQ(holder.Send("endwrite"), "ok"); },
    };
    for (std::size_t i = 0; i < operations.size(); ++i) {
        operations[i]();
        EXPECT_FALSE(table.OperationReadLockHeld()) << "operation " << i;
    }
    EXPECT_TRUE(table.LockedRecords().empty());
    EXPECT_EQ(holder.Send("beginwrite"), "ok");
    EXPECT_EQ(holder.Send("endwrite"), "ok");
    EXPECT_EQ(holder.Send("locktable"), "ok");
}

// ---- Changes found when a record is locked ----

TEST_F(DataFileLocksTest, ALockAfterAnotherHandlesChangeShowsTheChangeStrictOrNot) {
    for (const bool strict : {false, true}) {
        engine::TDataFile table;
        engine::TDataFile other;
        Open(table, false, strict);
        Open(other);
        // No record under the cursor: the check has no current record to read again.
        table.IndexFile().ClearPosition();
        const std::string old = Note(table, 5);
        const std::string note = strict ? "strict" : "lazy";
        ChangeRecord(other, 5, [&](engine::TDataFile& t, engine::TRecord& r) { SetNote(t, r, note); });
        // Still cached: the stale image shows until something checks.
        EXPECT_EQ(Note(table, 5), old);
        table.LockRecord(SlotNumber(5));
        EXPECT_EQ(table.RecordCache().Peek(SlotNumber(5)), nullptr) << strict;
        EXPECT_EQ(Note(table, 5), note) << strict;
        table.UnlockRecord(SlotNumber(5));
    }
}

TEST_F(DataFileLocksTest, TheCurrentRecordUnlocksAfterAChangeCheckEmptiedIt) {
    HolderProcess dat("t.DAT", "shared", "write");
    ASSERT_TRUE(dat.Ready());
    engine::TDataFile table;
    engine::TDataFile other;
    Open(table);
    Open(other);
    MakeCurrent(table, 5);
    table.LockRecord(NoSlot);
    ChangeRecord(other, 8, [](engine::TDataFile& t, engine::TRecord& r) { SetNote(t, r, "elsewhere"); });
    {
        // Any operation's change check empties the cached records, the current one among them.
        engine::TReadGuard read(table);
        EXPECT_TRUE(read.Begin());
        read.End();
    }
    EXPECT_EQ(table.CurrentRecord(), nullptr);
    table.UnlockRecord(NoSlot);
    EXPECT_TRUE(table.LockedRecords().empty());
    EXPECT_TRUE(Free(dat, RecordLockByte(5), 1));
}

TEST_F(DataFileLocksTest, TheCurrentRecordLockedAfterAChangeIsTheSameRecordOrNone) {
    {
        HolderProcess dat("t.DAT", "shared", "write");
        ASSERT_TRUE(dat.Ready());
        engine::TDataFile table;
        engine::TDataFile other;
        Open(table);
        Open(other);
        MakeCurrent(table, 5);
        // Another value: the same record, read again, is locked.
        ChangeRecord(other, 5, [](engine::TDataFile& t, engine::TRecord& r) { SetNote(t, r, "changed"); });
        table.LockRecord(NoSlot);
        EXPECT_EQ(table.LockedRecords(), std::vector<SlotNumber>{SlotNumber(5)});
        ASSERT_NE(table.CurrentRecord(), nullptr);
        EXPECT_EQ(StoredText(table, table.CurrentRecord()->Image(), MemoNoteField), "changed");
        table.UnlockRecord(NoSlot);
        // Another record in the slot: not the record the caller means to edit.
        ChangeRecord(other, 5,
                     [](engine::TDataFile&, engine::TRecord& r) { r.SetId(engine::RecordId(500)); });
        EXPECT_EQ(EngineCode([&] { table.LockRecord(NoSlot); }), engine::ErrRecordNotFound);
        EXPECT_TRUE(table.LockedRecords().empty());
        EXPECT_FALSE(table.OperationReadLockHeld());
        EXPECT_TRUE(Free(dat, RecordLockByte(5), 1));
        // Asked for by its slot, the current record is checked the same way.
        MakeCurrent(table, 5);
        ChangeRecord(other, 5, [](engine::TDataFile& t, engine::TRecord& r) {
            r.SetStatus(engine::RecordDeleted);
            SetNote(t, r, "gone");
        });
        EXPECT_EQ(EngineCode([&] { table.LockRecord(SlotNumber(5)); }), engine::ErrRecordNotFound);
        EXPECT_TRUE(Free(dat, RecordLockByte(5), 1));
        // The slot as it was, so that its keys fit it again for the file check at the end.
        ChangeRecord(other, 5, [](engine::TDataFile&, engine::TRecord& r) {
            r.SetStatus(engine::RecordActive);
            r.SetId(engine::RecordId(5));
        });
    }
}

// ---- The current record ----

TEST_F(DataFileLocksTest, WithoutARecordUnderTheCursorTheCurrentRecordStays) {
    engine::TDataFile table;
    Open(table);
    MakeCurrent(table, 4);
    table.IndexFile().ClearPosition();
    const engine::TRecord* current = table.CurrentRecord();
    table.LoadCurrentRecord(engine::ReadForward);
    EXPECT_EQ(table.CurrentRecord(), current);
    EXPECT_FALSE(table.OperationReadLockHeld());
}

// ---- Transactions ----

// A table of 40 records of 4000 bytes, more than its record cache holds (32), with a handle shared through
// the engine-holder.
class TransactionTest : public DataFileLocksTest {
protected:
    void SetUp() override {
        CreateSizedTable("big", 4000, 40);
        DataFileLocksTest::SetUp();
    }

    static void OpenBig(engine::TDataFile& table, bool exclusive = false) {
        table.SetFileName("big");
        table.SetExclusive(exclusive);
        table.SetLockRetryPolicy(AtOnce());
        table.Open();
    }

    // Changes the first string of each slot under the write locks, as a transaction's write does.
    static void Dirty(engine::TDataFile& table, std::uint32_t first, std::uint32_t last,
                      const std::string& text) {
        table.BeginWrite();
        for (std::uint32_t slot = first; slot <= last; ++slot) {
            RecordPin record;
            ASSERT_TRUE(table.GetRecord(SlotNumber(slot), false, false, engine::ReadForward, record));
            SetStored(table, record->Image(), 2, Str(text));
            record->MarkDirty();
        }
        table.EndWrite();
    }
    static std::string Text(engine::TDataFile& table, std::uint32_t slot) {
        engine::TReadGuard read(table);
        RecordPin record;
        EXPECT_TRUE(table.GetRecord(SlotNumber(slot), false, false, engine::ReadForward, record));
        return StoredText(table, record->Image(), 2);
    }
    static std::string Files() { return ReadBytes("big.DAT") + ReadBytes("big.IDX"); }
};

TEST_F(TransactionTest, ASharedTransactionHoldsTheSemaphoreBuffersEverythingAndRollsBack) {
    for (const bool closeInstead : {false, true}) {
        HolderProcess holder(HolderProcess::TableMode{}, "big");
        StartTableHolder(holder);
        const std::string files = Files();
        engine::TDataFile table;
        OpenBig(table);
        table.LockRecord(SlotNumber(3));
        table.StartTransaction();
        EXPECT_FALSE(table.InTransaction());
        ASSERT_EQ(holder.Send("beginwrite"), "ok");
        ASSERT_EQ(holder.Send("endwrite"), "ok");
        table.BeginTransactionWrite();
        EXPECT_TRUE(table.InTransaction());
        EXPECT_EQ(holder.Send("beginwrite"), "error 10249");
        // Writes inside keep the semaphore; unlocks wait for the end.
        Dirty(table, 1, 40, "changed");
        EXPECT_TRUE(table.WriteSemaphoreHeld());
        EXPECT_EQ(holder.Send("beginwrite"), "error 10249");
        table.UnlockRecord(SlotNumber(3));
        EXPECT_EQ(holder.Send("lockrecord 3"), "error 10258");
        EXPECT_GE(table.RecordCache().Capacity(), 40);
        EXPECT_EQ(Files(), files) << "written in the transaction";
        EXPECT_EQ(Text(table, 40), "changed");
        if (closeInstead) {
            table.Close();
        } else {
            table.Rollback();
            EXPECT_FALSE(table.InTransaction());
            EXPECT_FALSE(table.TransactionStarted());
            EXPECT_EQ(Text(table, 40), "");
            EXPECT_EQ(Text(table, 1), "");
            EXPECT_TRUE(table.LockedRecords().empty());
            EXPECT_LE(table.RecordCache().Capacity(), 32);
        }
        EXPECT_EQ(Files(), files) << closeInstead;
        EXPECT_EQ(holder.Send("beginwrite"), "ok");
        EXPECT_EQ(holder.Send("endwrite"), "ok");
        EXPECT_EQ(holder.Send("lockrecord 3"), "ok");
        EXPECT_EQ(holder.Send("locktable"), "error 10241");
        EXPECT_EQ(holder.Send("unlockrecord 3"), "ok");
        EXPECT_EQ(holder.Send("locktable"), "ok");
    }
}

TEST_F(TransactionTest, AnExclusiveTransactionWritesWhatCameBeforeAndDropsWhatCameAfter) {
    engine::TDataFile table;
    OpenBig(table, true);
    Dirty(table, 2, 2, "before");
    const std::int64_t slot2 = SlotOffset(table, 2) + 15;
    EXPECT_NE(ReadBytes("big.DAT").substr(slot2, 6), "before");
    table.StartTransaction();
    table.BeginTransactionWrite();
    EXPECT_EQ(ReadBytes("big.DAT").substr(slot2, 6), "before");
    Dirty(table, 3, 3, "after");
    table.SetFirstWriteDone();
    table.Rollback();
    EXPECT_EQ(Text(table, 2), "before");
    EXPECT_EQ(Text(table, 3), "");
    // Dirtied under the lock with no write done: dropped all the same.
    table.StartTransaction();
    table.BeginTransactionWrite();
    Dirty(table, 4, 4, "unfinished");
    table.Rollback();
    EXPECT_EQ(Text(table, 4), "");
    table.Close();
    engine::TDataFile reopened;
    OpenBig(reopened);
    EXPECT_EQ(Text(reopened, 2), "before");
    EXPECT_EQ(Text(reopened, 3), "");
    EXPECT_EQ(Text(reopened, 4), "");
}

TEST_F(TransactionTest, AStartedTransactionChangesNothingUntilItsFirstWrite) {
    engine::TDataFile table;
    OpenBig(table, true);
    Dirty(table, 5, 5, "kept");
    table.StartTransaction();
    // Close without a transaction write: what was changed before is written as ever.
    table.Close();
    engine::TDataFile reopened;
    OpenBig(reopened);
    EXPECT_EQ(Text(reopened, 5), "kept");
}

}  // namespace
