#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/records/RecordHeader.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"
#include "tests/engine/support/IndexTestTable.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using engine::RecordPin;
using engine::SlotNumber;
using engine::TRecord;

using RecordCacheTest = TableTest;

void Open(engine::TDataFile& table, const std::string& name, bool exclusive) {
    table.SetFileName(name);
    table.SetExclusive(exclusive);
    table.Open();
}

RecordPin Fetch(engine::TDataFile& table, std::uint32_t slot, bool readAhead = false,
                int direction = engine::ReadForward) {
    RecordPin record;
    EXPECT_TRUE(table.GetRecord(SlotNumber(slot), readAhead, false, direction, record)) << slot;
    return record;
}

// The slots the cache holds, most recently used first.
std::vector<std::uint32_t> CachedSlots(const engine::TDataFile& table) {
    std::vector<std::uint32_t> slots;
    table.RecordCache().ForEach([&](const TRecord& record) {
        if (record.RecordNumber() != engine::NoSlot) slots.push_back(record.RecordNumber().Value);
    });
    return slots;
}

TEST_F(RecordCacheTest, TheCacheAndTheReadAheadFollowTheRecordSize) {
    struct Case {
        std::uint32_t recordSize;
        int capacity;
        std::uint32_t readAhead;
    };
    // 131070 div size entries and 32767 div size slots, at least one: a record of 32,768 bytes or more still
    // reads its own slot.
    for (const Case c : {Case{100, 1310, 327}, Case{40000, 3, 1}, Case{65535, 2, 1}}) {
        const std::string name = "r" + std::to_string(c.recordSize);
        CreateSizedTable(name, c.recordSize, 3);
        RecordingDataFile table;
        Open(table, name, true);
        EXPECT_EQ(table.RecordCache().Capacity(), c.capacity) << c.recordSize;
        EXPECT_EQ(table.ReadAheadLimit(), c.readAhead) << c.recordSize;
        table.reads.clear();
        RecordPin record = Fetch(table, 2, true);
        ASSERT_TRUE(record) << c.recordSize;
        EXPECT_EQ(record->Id().Value, 2u);
        EXPECT_EQ(record->Image().size(), c.recordSize);
        const std::int32_t bytes = static_cast<std::int32_t>(std::min(c.readAhead, 2u) * c.recordSize);
        EXPECT_EQ(table.reads, (std::vector<FileAccess>{{SlotOffset(table, 2), bytes}})) << c.recordSize;
    }

    // Two images of 65,535 bytes fill the cache: with both pinned there is no room for a third.
    engine::TDataFile table;
    Open(table, "r65535", true);
    RecordPin first = Fetch(table, 1);
    RecordPin second = Fetch(table, 2);
    RecordPin third;
    EXPECT_EQ(EngineCode([&] { table.GetRecord(SlotNumber(3), false, false, engine::ReadForward, third); }),
              engine::ErrRecordBuffersCorrupt);
    second.Release();
    third = Fetch(table, 3);
    EXPECT_EQ(CachedSlots(table), (std::vector<std::uint32_t>{3, 1}));
}

TEST_F(RecordCacheTest, ASixtyFifthPinIsACorruptCache) {
    CreateSizedTable("t", 100, 2);
    engine::TDataFile table;
    Open(table, "t", true);
    std::vector<RecordPin> pins;
    for (int i = 0; i < 64; ++i) pins.push_back(Fetch(table, 1));
    EXPECT_EQ(pins.front()->PinCount(), 64);
    RecordPin one;
    EXPECT_EQ(EngineCode([&] { table.GetRecord(SlotNumber(1), false, false, engine::ReadForward, one); }),
              engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(pins.front()->PinCount(), 64);
}

TEST_F(RecordCacheTest, AReadAheadFillsOnlyWhatIsNeitherPinnedNorDirty) {
    CreateSizedTable("t", 100, 20);
    const std::string before = ReadBytes("t.DAT");
    RecordingDataFile table;
    Open(table, "t", false);
    engine::TReadGuard read(table);
    // Slot 12 is pinned and slot 15 dirty, each with a change the file does not have.
    RecordPin pinned = Fetch(table, 12);
    SetStored(table, pinned->Image(), 2, Str("pinned"));
    {
        RecordPin dirty = Fetch(table, 15);
        SetStored(table, dirty->Image(), 2, Str("dirty"));
        dirty->MarkDirty();
    }
    table.reads.clear();
    RecordPin tenth = Fetch(table, 10, true);
    ASSERT_TRUE(tenth);
    // One read of slots 10 .. 20: the next slot number ends the run.
    EXPECT_EQ(table.reads, (std::vector<FileAccess>{{SlotOffset(table, 10), 11 * 100}}));
    EXPECT_EQ(table.RecordCache().Front(), tenth.Get());
    EXPECT_EQ(StoredText(table, pinned->Image(), 2), "pinned");
    const TRecord* dirty = table.RecordCache().Peek(SlotNumber(15));
    ASSERT_NE(dirty, nullptr);
    EXPECT_TRUE(dirty->Dirty());
    EXPECT_EQ(StoredText(table, dirty->Image(), 2), "dirty");
    for (std::uint32_t slot = 10; slot <= 20; ++slot) {
        const TRecord* record = table.RecordCache().Peek(SlotNumber(slot));
        ASSERT_NE(record, nullptr) << slot;
        EXPECT_EQ(record->Id().Value, slot);
        EXPECT_EQ(record->Link().Value, slot);
    }
    EXPECT_EQ(table.RecordCache().Peek(SlotNumber(9)), nullptr);
    EXPECT_TRUE(table.writes.empty());
    pinned.Release();
    tenth.Release();
    EXPECT_EQ(ReadBytes("t.DAT"), before);
}

TEST_F(RecordCacheTest, AReadAheadNeverLeavesTheSlotArea) {
    CreateSizedTable("t", 100, 20);
    RecordingDataFile table;
    Open(table, "t", true);
    struct Case {
        std::uint32_t slot;
        int direction;
        std::uint32_t first;
        std::uint32_t count;
    };
    // Backward near the start reads slots 1 .. n, never the descriptors before them; forward near the end
    // stops before the next slot number.
    for (const Case c : {Case{3, engine::ReadBackward, 1, 3}, Case{19, engine::ReadForward, 19, 2},
                         Case{10, engine::ReadBackward, 1, 10}}) {
        table.reads.clear();
        table.ClearRecordCache();
        RecordPin record = Fetch(table, c.slot, true, c.direction);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->RecordNumber().Value, c.slot);
        EXPECT_EQ(
            table.reads,
            (std::vector<FileAccess>{{SlotOffset(table, c.first), static_cast<std::int32_t>(c.count * 100)}}))
            << c.slot;
        EXPECT_EQ(CachedSlots(table).size(), c.count) << c.slot;
        EXPECT_EQ(table.RecordCache().Front(), record.Get());
    }
}

TEST_F(RecordCacheTest, AReadAheadInIndexOrderTakesTheRunTheCurrentPageNames) {
    CreateSizedTable("t", 100, 20);
    RecordingDataFile table;
    Open(table, "t", true);
    // The primary index holds IDs 1 .. 20 for slots 1 .. 20 in one leaf; the cursor stands on the fifth.
    engine::PagePin root;
    ASSERT_TRUE(table.IndexFile().GetRootPage(root, true));
    root->UpdateCursor = 5;
    table.IndexFile().SetCurrentPage(std::move(root));
    table.reads.clear();
    RecordPin record;
    ASSERT_TRUE(table.GetRecord(SlotNumber(5), true, true, engine::ReadForward, record));
    EXPECT_EQ(table.reads, (std::vector<FileAccess>{{SlotOffset(table, 5), 16 * 100}}));
    table.ClearRecordCache();
    table.reads.clear();
    ASSERT_TRUE(table.GetRecord(SlotNumber(5), true, true, engine::ReadBackward, record));
    EXPECT_EQ(table.reads, (std::vector<FileAccess>{{SlotOffset(table, 1), 5 * 100}}));
}

TEST_F(RecordCacheTest, AJumpReadsOneSlotAndTheStepsAfterItReadAhead) {
    CreateSizedTable("t", 100, 20);
    RecordingDataFile table;
    Open(table, "t", true);
    struct Case {
        const char* what;
        std::function<void()> jump;
    };
    const Case cases[] = {
        {"record number", [&] { table.GotoRecNo(5); }},
        {"bookmark",
         [&] {
             table.GotoRecNo(5);
             std::vector<std::uint8_t> bookmark(table.GetKeySize());
             table.GetBookmark(bookmark);
             table.ClearRecordCache();
             table.reads.clear();
             table.GotoBookmark(bookmark, false);
         }},
    };
    for (const Case& c : cases) {
        table.ClearRecordCache();
        table.reads.clear();
        c.jump();
        EXPECT_EQ(table.reads, (std::vector<FileAccess>{{SlotOffset(table, 5), 100}})) << c.what;
        table.reads.clear();
        ASSERT_EQ(table.GetNextRecord({}), 0) << c.what;
        EXPECT_EQ(table.reads, (std::vector<FileAccess>{{SlotOffset(table, 6), 15 * 100}})) << c.what;
    }
}

TEST_F(RecordCacheTest, DirtyRecordsAreWrittenInRunsOfConsecutiveSlots) {
    CreateSizedTable("t", 100, 12);
    RecordingDataFile table;
    Open(table, "t", true);
    for (const std::uint32_t slot : {9u, 4u, 3u, 5u}) {
        RecordPin record = Fetch(table, slot);
        SetStored(table, record->Image(), 2, Str("changed " + std::to_string(slot)));
        record->MarkDirty();
    }
    RecordPin clean = Fetch(table, 6);
    EXPECT_TRUE(table.FlushRecords());
    EXPECT_EQ(table.writes,
              (std::vector<FileAccess>{{SlotOffset(table, 3), 300}, {SlotOffset(table, 9), 100}}));
    EXPECT_FALSE(table.FlushRecords());
    table.Close();
    engine::TDataFile reopened;
    Open(reopened, "t", false);
    engine::TReadGuard read(reopened);
    EXPECT_EQ(StoredText(reopened, Fetch(reopened, 4)->Image(), 2), "changed 4");
    EXPECT_EQ(StoredText(reopened, Fetch(reopened, 9)->Image(), 2), "changed 9");
}

TEST_F(RecordCacheTest, AScanThroughACacheFullOfChangesReadsEachRunOnceAndLosesNone) {
    // Records of 100 bytes: 1310 cached, 327 read at once.
    constexpr std::uint32_t Slots = 6000;
    CreateSizedTable("t", 100, static_cast<int>(Slots));
    std::map<std::uint32_t, std::string> changed;
    {
        RecordingDataFile table;
        Open(table, "t", true);
        const int capacity = table.RecordCache().Capacity();
        ASSERT_EQ(capacity, 1310);
        // Changes in a seeded order, fetched one slot at a time: each time the cache is full of them it
        // writes them all, and the last round leaves it full but for ten entries.
        std::mt19937 random(59);
        std::uniform_int_distribution<std::uint32_t> anySlot(1, Slots);
        while (changed.size() < 3 * static_cast<std::size_t>(capacity) - 10) {
            const std::uint32_t slot = anySlot(random);
            if (changed.contains(slot)) continue;
            RecordPin record = Fetch(table, slot);
            changed[slot] = "changed " + std::to_string(slot);
            SetStored(table, record->Image(), 2, Str(changed[slot]));
            record->MarkDirty();
        }
        int dirty = 0;
        table.RecordCache().ForEach([&](const TRecord& record) { dirty += record.Dirty() ? 1 : 0; });
        ASSERT_EQ(dirty, capacity - 10);

        table.reads.clear();
        for (std::uint32_t slot = 1; slot <= Slots; ++slot) {
            RecordPin record = Fetch(table, slot, true);
            ASSERT_TRUE(record) << slot;
            const auto found = changed.find(slot);
            EXPECT_EQ(StoredText(table, record->Image(), 2), found != changed.end() ? found->second : "")
                << slot;
        }
        // A run for every 327 slots, and a few more where a cached change began a run's slot (a run starts
        // at the slot missed).
        const std::size_t runs = (Slots + table.ReadAheadLimit() - 1) / table.ReadAheadLimit();
        EXPECT_LE(table.reads.size(), runs + runs / 2);
    }
    // The file, walked by a fresh handle: every change reached it, whether written by an eviction or the
    // close.
    RecordingDataFile reopened;
    Open(reopened, "t", true);
    for (std::uint32_t slot = 1; slot <= Slots; ++slot) {
        const auto found = changed.find(slot);
        EXPECT_EQ(StoredText(reopened, Fetch(reopened, slot)->Image(), 2),
                  found != changed.end() ? found->second : "")
            << slot;
    }
}

TEST_F(RecordCacheTest, OnlyTakingAFreeSlotAppends) {
    CreateSizedTable("t", 100, 5);
    const auto size = fs::file_size("t.DAT");
    engine::TDataFile table;
    Open(table, "t", false);
    engine::TReadGuard read(table);
    RecordPin record;
    EXPECT_TRUE(table.GetRecord(engine::NoSlot, true, false, engine::ReadForward, record));
    EXPECT_FALSE(record);
    // A damaged leaf entry may name the next slot number, or any number beyond it.
    for (const std::uint32_t slot : {6u, 7u, 1000000u}) {
        EXPECT_EQ(
            EngineCode([&] { table.GetRecord(SlotNumber(slot), true, false, engine::ReadForward, record); }),
            engine::ErrRecordBuffersCorrupt)
            << slot;
    }
    EXPECT_EQ(table.Header().NextSlotNumber.Value, 6u);
    EXPECT_EQ(table.Header().ImageChanged, 0);
    table.Close();
    EXPECT_EQ(fs::file_size("t.DAT"), size);
}

// Slots taken and freed stand for no keys: the table lives apart from the clean check.
TEST_F(RecordCacheTest, TakenAndFreedSlotsFollowTheFreeChain) {
    fs::create_directory("crafted");
    CreateSizedTable("crafted/t", 100, 5);
    RecordingDataFile table;
    Open(table, "crafted/t", true);
    table.reads.clear();
    // Without free slots a new slot is appended: nothing is read, the next slot number moves on.
    RecordPin appended = table.TakeFreeSlot();
    EXPECT_EQ(appended->RecordNumber().Value, 6u);
    EXPECT_EQ(appended->PinCount(), 1);
    EXPECT_TRUE(table.reads.empty());
    EXPECT_EQ(table.Header().NextSlotNumber.Value, 7u);
    appended->Clear(true);
    EXPECT_EQ(appended->Link().Value, 6u);
    EXPECT_EQ(appended->Id().Value, 6u);
    EXPECT_TRUE(appended->Dirty());
    appended.Release();

    // Deleted slots 2 and then 4 chain from the head; the next two records take 4, then 2.
    for (const std::uint32_t slot : {2u, 4u}) table.FreeSlot(*Fetch(table, slot));
    EXPECT_EQ(table.Header().FreeSlotHead.Value, 4u);
    RecordPin reused = table.TakeFreeSlot();
    EXPECT_EQ(reused->RecordNumber().Value, 4u);
    EXPECT_EQ(reused->Status(), engine::RecordDeleted);
    EXPECT_EQ(table.Header().FreeSlotHead.Value, 2u);
    reused.Release();
    EXPECT_EQ(table.TakeFreeSlot()->RecordNumber().Value, 2u);
    EXPECT_EQ(table.Header().FreeSlotHead, engine::NoSlot);
    EXPECT_EQ(table.TakeFreeSlot()->RecordNumber().Value, 7u);

    // A head that names a live slot is refused before anything changes.
    table.SetFreeSlotHead(SlotNumber(3));
    EXPECT_EQ(EngineCode([&] { table.TakeFreeSlot(); }), engine::ErrHeaderCorrupt);
    EXPECT_EQ(table.Header().FreeSlotHead.Value, 3u);
    EXPECT_EQ(table.Header().NextSlotNumber.Value, 8u);
}

TEST_F(RecordCacheTest, ARecordTakesAnotherSlotNumberWithItsLink) {
    fs::create_directory("crafted");
    CreateSizedTable("crafted/t", 100, 5);
    engine::TDataFile table;
    Open(table, "crafted/t", true);
    RecordPin record = Fetch(table, 2);
    Fetch(table, 4);
    table.SetRecordNumber(*record, SlotNumber(4));
    EXPECT_EQ(record->RecordNumber().Value, 4u);
    EXPECT_EQ(record->Link().Value, 4u);
    EXPECT_TRUE(record->Dirty());
    EXPECT_EQ(table.RecordCache().Peek(SlotNumber(4)), record.Get());
    EXPECT_EQ(table.RecordCache().Peek(SlotNumber(2)), nullptr);
}

TEST_F(RecordCacheTest, ASlotCutFromTheFileFailsAsAShortReadOnASharedTableOnly) {
    CreateSizedTable("t", 100, 10);
    const std::string sound = ReadBytes("t.DAT");
    for (const bool exclusive : {false, true}) {
        engine::TDataFile table;
        Open(table, "t", exclusive);
        // Another program cut the file behind the handle's back: slots 6 .. 10 are gone.
        fs::resize_file("t.DAT", SlotOffset(table, 6));
        engine::TReadGuard read(table);
        // A read-ahead that meets the end places the slots that came whole (slots may lie in a cache alone,
        // appended and not yet written).
        RecordPin record = Fetch(table, 4, true);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->Id().Value, 4u);
        EXPECT_EQ(CachedSlots(table), (std::vector<std::uint32_t>{4, 5}));
        // The slot asked for itself: on a shared table the file must hold it; elsewhere the cache alone may,
        // and a slot in neither is missing from the cache.
        EXPECT_EQ(
            EngineCode([&] { table.GetRecord(SlotNumber(8), true, false, engine::ReadForward, record); }),
            exclusive ? engine::ErrRecordBuffersCorrupt : engine::ErrRead)
            << exclusive;
        EXPECT_FALSE(record);
        read.End();
        table.Close();
        WriteBytes("t.DAT", sound);
    }
}

TEST_F(RecordCacheTest, UnpinningAllLetsAFlushWriteTheCursorsEntriesAndPinningAgainKeepsThem) {
    // Keys of 500 bytes, eight to a leaf: 400 keys fill more pages than the index's list holds. The keys
    // stand for no records, so the table lives apart from the clean check.
    fs::create_directory("crafted");
    CreateKeyTable("crafted/k", 500, 0);
    {
        engine::TDataFile table;
        Open(table, "crafted/k", true);
        for (std::uint32_t n = 1; n <= 400; ++n) table.IndexFile().InsertKey(TreeKey(500, n), SlotNumber(n));
        table.Close();
        std::string bytes = ReadBytes("crafted/k.DAT");
        const std::uint32_t recordSize = GetLE(bytes, RecordSizeAt, 2);
        for (std::uint32_t n = 1; n <= 300; ++n) bytes += SlotImage(recordSize, 0, n, n);
        PutLE(bytes, NextSlotAt, 4, 301);
        WriteBytes("crafted/k.DAT", bytes);
    }
    engine::TDataFile table;
    Open(table, "crafted/k", true);
    engine::TIndexFile& index = table.IndexFile();
    ASSERT_LT(table.RecordCache().Capacity(), 300);
    table.SetCurrentRecord(Fetch(table, 7));
    index.SetCurrentPage(index.FetchPage(engine::PageOffset(4096)));
    table.CurrentRecord()->MarkDirty();
    index.CurrentPage()->MarkDirty();

    table.UnpinAll();
    EXPECT_EQ(table.CurrentRecord(), nullptr);
    EXPECT_FALSE(index.CurrentPage());
    table.FlushBuffers(false, false, false);
    table.PinCurrentRecord();
    ASSERT_NE(table.CurrentRecord(), nullptr);
    ASSERT_TRUE(index.CurrentPage());
    EXPECT_FALSE(table.CurrentRecord()->Dirty());
    EXPECT_FALSE(index.CurrentPage()->Dirty());
    EXPECT_EQ(table.CurrentRecord()->PinCount(), 1);
    EXPECT_EQ(index.CurrentPage()->PinCount(), 1);

    // Every other record and page passes through the caches: the cursor's two stay.
    const TRecord* current = table.CurrentRecord();
    const engine::TPage* page = index.CurrentPage().Get();
    for (std::uint32_t slot = 1; slot <= 300; ++slot) Fetch(table, slot);
    for (std::uint32_t offset = 8192; offset < index.GetEndOfFile().Value; offset += 4096)
        index.FetchPage(engine::PageOffset(offset));
    EXPECT_EQ(table.CurrentRecord(), current);
    EXPECT_EQ(current->RecordNumber().Value, 7u);
    EXPECT_EQ(index.CurrentPage().Get(), page);
    EXPECT_EQ(page->GetPosition(), engine::PageOffset(4096));
}

TEST_F(RecordCacheTest, DiscardingDropsEveryChangeAndReadsTheHeadersAgain) {
    CreateMemoTable("t");
    AppendActiveSlots("t.DAT", 4);
    engine::BlockOffset memo;
    {
        engine::TDataFile table;
        Open(table, "t", true);
        const SlotNumber slot = AddRecordByHand(table, 5, "five", Pattern(2000));
        std::vector<std::uint8_t> first(4);
        table.GetField(false, MemoField, Fetch(table, slot.Value)->Image(), first);
        memo = engine::BlockOffset(
            static_cast<std::uint32_t>(GetLE(std::string(first.begin(), first.end()), 0, 4)));
    }
    const std::string dat = ReadBytes("t.DAT");
    const std::string idx = ReadBytes("t.IDX");
    const std::string blb = ReadBytes("t.BLB");
    RecordingDataFile table;
    Open(table, "t", false);
    {
        engine::TReadGuard read(table);
        RecordPin record = Fetch(table, 3);
        SetStored(table, record->Image(), MemoNoteField, Str("never written"));
        record->MarkDirty();
        table.SetFreeSlotHead(SlotNumber(2));
        engine::PagePin root;
        ASSERT_TRUE(table.IndexFile().GetRootPage(root));
        root->MarkDirty();
        table.IndexFile().IncRecordCount();
        engine::BlockPin block;
        ASSERT_TRUE(table.BlobFile().GetBlock(memo, false, 1, block));
        block->MarkDirty();
        table.BlobFile().SetFreeListHead(memo);
    }
    table.DiscardBuffers(true);
    EXPECT_TRUE(table.writes.empty());
    EXPECT_TRUE(CachedSlots(table).empty());
    EXPECT_EQ(table.Header().FreeSlotHead, engine::NoSlot);
    EXPECT_EQ(table.Header().ImageChanged, 0);
    EXPECT_EQ(table.IndexFile().GetRecordCount(), 5u);
    table.IndexFile().Pages().List(0).ForEach(
        [](const engine::TPage& page) { EXPECT_EQ(page.GetPosition(), engine::NoPage); });
    EXPECT_EQ(table.BlobFile().Header().FreeHead, engine::BlockOffset{});
    table.BlobFile().Blocks().ForEach(
        [](const engine::TBlock& block) { EXPECT_EQ(block.GetPosition(), engine::BlockOffset{}); });
    table.Close();
    EXPECT_EQ(ReadBytes("t.DAT"), dat);
    EXPECT_EQ(ReadBytes("t.IDX"), idx);
    EXPECT_EQ(ReadBytes("t.BLB"), blb);
}

TEST_F(RecordCacheTest, AWorkingSetResizesTheCachedImagesAndATrimTheCache) {
    CreateSizedTable("t", 1000, 200);
    engine::TDataFile table;
    Open(table, "t", true);
    EXPECT_EQ(table.RecordCache().Capacity(), 131);
    // The current record first: it is the least recently used when the cache is full.
    table.SetCurrentRecord(Fetch(table, 1));
    for (std::uint32_t slot = 2; slot <= 131; ++slot) Fetch(table, slot);
    {
        RecordPin dirty = Fetch(table, 2);
        SetStored(table, dirty->Image(), 2, Str("kept"));
        dirty->MarkDirty();
    }
    // Four calculated strings of 248 characters, 250 bytes each, make the image 2000 bytes.
    std::vector<engine::TFieldDesc> fields = table.PhysicalFields();
    for (std::uint16_t i = 0; i < 4; ++i) {
        engine::TFieldDesc calc = FieldDef(static_cast<std::uint16_t>(fields.size() + 1),
                                           "C" + std::to_string(i), engine::FieldTypeString, 248);
        calc.Calculated = 1;
        fields.push_back(calc);
    }
    table.DefineWorkingFields(fields);
    ASSERT_EQ(table.GetRecordBufferSize(), 2000u);
    const TRecord* dirty = table.RecordCache().Peek(SlotNumber(2));
    ASSERT_NE(dirty, nullptr);
    EXPECT_EQ(dirty->Image().size(), 2000u);
    EXPECT_TRUE(dirty->Dirty());
    EXPECT_EQ(StoredText(table, dirty->Image(), 2), "kept");
    EXPECT_EQ(table.CurrentRecord()->Image().size(), 2000u);

    // The trim halves the cache; the current record, now the least recently used, stays.
    table.FlushRecords();
    table.TrimRecordCache();
    EXPECT_EQ(table.RecordCache().Capacity(), 65);
    EXPECT_EQ(table.RecordCache().Count(), 65);
    ASSERT_NE(table.CurrentRecord(), nullptr);
    EXPECT_EQ(table.CurrentRecord()->RecordNumber().Value, 1u);
}

// ---- Walks in an index order that scatters the slots ----

constexpr int ByNameIndex = 1;

// The name the row of the ID gets: the names' order visits the slots in a scattered order.
std::string ScatteredName(std::int32_t id) {
    return "n" + std::to_string(100000 + (id * 7919) % 1009);
}

// A memo table of rows with IDs 1 .. count, appended in ID order, each with the name above.
void CreateScatteredTable(const std::string& name, int count) {
    CreateMemoTable(name);
    engine::TDataFile table;
    Open(table, name, true);
    for (std::int32_t id = 1; id <= count; ++id) {
        Insert(table, {{MemoIdField, I32(id)},
                       {MemoNameField, Str(ScatteredName(id))},
                       {MemoNoteField, Str("note " + std::to_string(id))}});
    }
    table.Close();
}

// Every row in name order as "ID NAME NOTE", under one read lock (which looks for other programs' changes
// first), as a report reads a shared table.
std::vector<std::string> WalkByName(engine::TDataFile& table) {
    table.SetIndexNumber(ByNameIndex);
    engine::TReadGuard read(table);
    read.Begin();
    std::vector<std::string> rows;
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    table.SetToBegin();
    while (table.GetNextRecord(image) == 0) {
        std::vector<std::uint8_t> id(4, 0);
        table.GetField(false, MemoIdField, image, id);
        rows.push_back(std::to_string(GetLE(std::string(id.begin(), id.end()), 0, 4)) + ' ' +
                       StoredText(table, image, MemoNameField) + ' ' + StoredText(table, image, MemoNoteField));
    }
    read.End();
    return rows;
}

TEST_F(RecordCacheTest, AWalkInAScatteredIndexOrderReadsEverySlotOnce) {
    constexpr int Rows = 400;
    CreateScatteredTable("t", Rows);
    RecordingDataFile table;
    Open(table, "t", false);
    table.reads.clear();
    const std::vector<std::string> rows = WalkByName(table);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(Rows));
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
        return a.substr(a.find(' ')) < b.substr(b.find(' '));
    }));
    // The slot area's reads: no slot twice, every slot once, and fewer reads than slots (the records a leaf
    // names next come in runs of consecutive slots where the scatter leaves any).
    std::map<std::int64_t, std::int32_t> slotReads;
    for (const FileAccess& read : table.reads) {
        if (read.offset < SlotOffset(table, 1)) continue;
        EXPECT_TRUE(slotReads.emplace(read.offset, read.count).second) << read.offset;
    }
    std::int64_t next = SlotOffset(table, 1);
    for (const auto& [offset, count] : slotReads) {
        EXPECT_GE(offset, next) << "slots read twice";
        next = offset + count;
    }
    std::int64_t bytes = 0;
    for (const auto& [offset, count] : slotReads) bytes += count;
    EXPECT_EQ(bytes, static_cast<std::int64_t>(Rows) * table.GetRecordSize());
    EXPECT_LT(slotReads.size(), static_cast<std::size_t>(Rows));
}

// One handle walks with warm caches while another changes, deletes and inserts rows between its walks; each
// walk of the first sees exactly what the other sees.
TEST_F(RecordCacheTest, AWalkInAScatteredIndexOrderAfterAnotherHandlesChangesSeesTheCurrentRows) {
    constexpr int Rows = 300;
    CreateScatteredTable("t", Rows);
    engine::TDataFile reader;
    engine::TDataFile writer;
    Open(reader, "t", false);
    Open(writer, "t", false);
    ASSERT_EQ(WalkByName(reader).size(), static_cast<std::size_t>(Rows));
    std::mt19937 random(58);
    std::int32_t nextId = Rows + 1;
    std::vector<std::int32_t> ids;
    for (std::int32_t id = 1; id <= Rows; ++id) ids.push_back(id);
    for (int round = 0; round < 12; ++round) {
        writer.SetIndexNumber(0);
        for (int change = 0; change < 1 + round * 3; ++change) {
            const std::size_t at = random() % ids.size();
            const std::vector<std::uint8_t> key = NewImage(writer, {{MemoIdField, I32(ids[at])}});
            ASSERT_TRUE(writer.FindKey(false, key, 1, false, 0)) << ids[at];
            switch (random() % 3) {
                case 0: {
                    std::vector<std::uint8_t> image(writer.GetRecordBufferSize());
                    ASSERT_EQ(writer.GetCurrentRecord(image, true), 0);
                    SetStored(writer, image, MemoNoteField, Str("round " + std::to_string(round)));
                    writer.ModifyRecord(image, true, true);
                    break;
                }
                case 1:
                    writer.DeleteRecord(true);
                    ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(at));
                    break;
                default:
                    Insert(writer, {{MemoIdField, I32(nextId)},
                                    {MemoNameField, Str(ScatteredName(nextId))},
                                    {MemoNoteField, Str("new in " + std::to_string(round))}});
                    ids.push_back(nextId++);
                    break;
            }
        }
        const std::vector<std::string> seen = WalkByName(reader);
        EXPECT_EQ(seen.size(), ids.size()) << round;
        EXPECT_EQ(seen, WalkByName(writer)) << round;
    }
}

}  // namespace
