#include "engine/table/RecordChanges.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/os/PosixFile.h"
#include "engine/records/FreeSlotChain.h"
#include "engine/records/RecordHeader.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/TableFixture.h"
#include "tools/tarnis-check/TableCheck.h"

namespace {

using namespace enginetest;
using engine::SlotNumber;
namespace fs = std::filesystem;

// "people": ID (autoincrement), CODE (the primary index), NAME ("ByName"), TAG ("ByTag", unique, the last
// index), NOTE (no index), MEMO (large object, blocks of 64 bytes).
constexpr std::uint16_t IdField = 1;
constexpr std::uint16_t CodeField = 2;
constexpr std::uint16_t NameField = 3;
constexpr std::uint16_t TagField = 4;
constexpr std::uint16_t NoteField = 5;
constexpr std::uint16_t MemoBlobField = 6;

void CreatePeople(const std::string& name, bool primary = true) {
    std::vector<engine::TFieldDesc> fields = {AutoIncDef(IdField, "ID"),
                                              FieldDef(CodeField, "CODE", engine::FieldTypeInteger),
                                              FieldDef(NameField, "NAME", engine::FieldTypeString, 20),
                                              FieldDef(TagField, "TAG", engine::FieldTypeString, 10),
                                              FieldDef(NoteField, "NOTE", engine::FieldTypeString, 30),
                                              FieldDef(MemoBlobField, "MEMO", engine::FieldTypeBlob)};
    std::vector<engine::TIndexDescriptor> indexes = {
        IndexDef("", {CodeField}), IndexDef("ByName", {NameField}), IndexDef("ByTag", {TagField}, true)};
    TableOptions options;
    options.blockSize = 64;
    if (!primary) {
        indexes[0] = IndexDef("", {});
        options.allowNoPrimary = true;
    }
    CreateTable(name, fields, indexes, options);
}

FieldValues Person(std::int32_t code, const std::string& name, const std::string& tag,
                   const std::string& note = "") {
    return {{CodeField, I32(code)}, {NameField, Str(name)}, {TagField, Str(tag)}, {NoteField, Str(note)}};
}

void Open(engine::TDataFile& table, const std::string& name, bool exclusive) {
    table.SetFileName(name);
    table.SetExclusive(exclusive);
    table.Open();
}

// Adds people 1 .. count: CODE step x i, NAME "n<i>", TAG "t<i>".
void AddPeople(engine::TDataFile& table, int count, int step = 1) {
    for (int i = 1; i <= count; ++i)
        Insert(table, Person(step * i, "n" + std::to_string(i), "t" + std::to_string(i)));
}

// "people" as "damaged/t" (the directory made when missing) with people 1 .. count, then damaged by the
// action through an exclusive handle.
template <class Damage>
void MakeDamagedPeople(int count, Damage damage) {
    fs::create_directory("damaged");
    CreatePeople("damaged/t");
    engine::TDataFile table;
    Open(table, "damaged/t", true);
    AddPeople(table, count);
    damage(table);
    table.IndexFile().SelectIndex(0);
}

// Inserts the person with a memo written into an open value of the image, as a post does; the values are
// freed afterwards.
SlotNumber InsertWithMemo(engine::TDataFile& table, const FieldValues& values, const std::string& memo) {
    std::vector<std::uint8_t> image = NewImage(table, values);
    EXPECT_EQ(table.OpenBlob(false, MemoBlobField, engine::BlobOpenReadWrite, image), 0);
    EXPECT_EQ(
        table.WriteBlob(false, MemoBlobField, Chars(memo), static_cast<std::int32_t>(memo.size()), 0, image),
        0);
    table.InsertRecord(image, true);
    table.FreeBlobs();
    return table.CurrentRecord()->RecordNumber();
}

// The slot's record image as the table holds it.
std::vector<std::uint8_t> ImageOf(engine::TDataFile& table, SlotNumber slot) {
    engine::TReadGuard read(table);
    read.Begin();
    engine::RecordPin record;
    if (!table.GetRecord(slot, false, false, engine::ReadForward, record)) {
        EXPECT_TRUE(table.GetRecord(slot, false, false, engine::ReadForward, record));
    }
    std::vector<std::uint8_t> image(record->Image().begin(), record->Image().end());
    record.Release();
    read.End();
    return image;
}

std::int32_t StoredI32(const engine::TDataFile& table, std::span<const std::uint8_t> image,
                       std::uint16_t field) {
    std::array<std::uint8_t, 4> value{};
    if (table.GetField(false, field, image, value)) return 0;
    return static_cast<std::int32_t>(GetLE(std::string(value.begin(), value.end()), 0, 4));
}

std::string MemoOf(engine::TDataFile& table, SlotNumber slot) {
    return ReadBlobValue(table, MemoBlobField, ImageOf(table, slot));
}

// Whether index n holds the key the image gives it; the current index stays.
bool HasKey(engine::TDataFile& table, int n, std::span<const std::uint8_t> image) {
    engine::TIndexFile& index = table.IndexFile();
    const std::uint8_t current = index.CurrentIndex();
    index.SelectIndex(n);
    engine::TIndexKey key;
    table.BuildKey(image, key);
    const bool found = index.KeyExists(key.View());
    index.SelectIndex(current);
    return found;
}

// Whether "Sys Deleted" holds status + ID.
bool HasPhysicalKey(engine::TDataFile& table, std::uint8_t status, std::uint32_t id) {
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    table.SetRecordId(image, engine::RecordId(id));
    const std::array<std::uint8_t, 1> statusByte{status};
    engine::TIndexKey key;
    table.BuildPhysicalKey(statusByte, key, image);
    engine::TIndexFile& index = table.IndexFile();
    const std::uint8_t current = index.CurrentIndex();
    index.SelectIndex(engine::SysDeletedSlot);
    const bool found = index.KeyExists(key.View());
    index.SelectIndex(current);
    return found;
}

// The bytes of a table's three files.
std::map<std::string, std::string> Snapshot(const std::string& name) {
    std::map<std::string, std::string> files;
    for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
        if (fs::exists(name + extension)) files[extension] = ReadBytes(name + extension);
    }
    return files;
}

class RecordChangesTest : public TableTest {};

// "people" as "t", open shared through a and b.
class SharedPairTest : public RecordChangesTest {
protected:
    void SetUp() override {
        CreatePeople("t");
        Open(a, "t", false);
        Open(b, "t", false);
    }
    // A's delete, modify (to the image) and fetch with lock of its current record.
    std::vector<std::function<void()>> ChangesOfA(std::vector<std::uint8_t>& image) {
        return {
            [this] { a.DeleteRecord(true); },
            [this, &image] { a.ModifyRecord(image, true, true); },
            [this] {
                std::vector<std::uint8_t> fetched(a.GetRecordBufferSize());
                a.GetCurrentRecord(fetched, true);
            },
        };
    }
    engine::TDataFile a;
    engine::TDataFile b;
};

// ---- Inserts, slots and record IDs, shared and exclusive ----

class RecordChangesSharingTest : public RecordChangesTest, public ::testing::WithParamInterface<bool> {
protected:
    bool Exclusive() const { return GetParam(); }
    // A shared table is clean after every change; an exclusive one is checked at the end.
    void ExpectClean(const std::string& name) {
        if (!Exclusive()) {
            EXPECT_TRUE(IsCleanTable(name));
        }
    }
};

INSTANTIATE_TEST_SUITE_P(SharedAndExclusive, RecordChangesSharingTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Exclusive" : "Shared";
                         });

TEST_P(RecordChangesSharingTest, AnInsertReusesTheDeletedSlotAndTakesTheNextRecordId) {
    CreatePeople("t");
    engine::TDataFile table;
    Open(table, "t", Exclusive());
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(Insert(table, Person(10 * i, "n" + std::to_string(i), "t" + std::to_string(i))),
                  SlotNumber(i));
        EXPECT_EQ(table.CurrentRecord()->Id(), engine::RecordId(i));
        ExpectClean("t");
    }
    DeleteSlot(table, SlotNumber(5));
    DeleteSlot(table, SlotNumber(3));
    ExpectClean("t");
    EXPECT_EQ(table.Header().FreeSlotHead, SlotNumber(3));
    EXPECT_TRUE(HasPhysicalKey(table, engine::RecordDeleted, 3));
    const auto size = fs::file_size("t.DAT");

    EXPECT_EQ(Insert(table, Person(70, "n7", "t7")), SlotNumber(3));
    ExpectClean("t");
    EXPECT_EQ(table.Header().FreeSlotHead, SlotNumber(5));
    EXPECT_EQ(table.GetPhysicalRecordCount(), 6u);
    if (!Exclusive()) {
        EXPECT_EQ(fs::file_size("t.DAT"), size);
    }
    EXPECT_FALSE(HasPhysicalKey(table, engine::RecordDeleted, 3));
    EXPECT_TRUE(HasPhysicalKey(table, engine::RecordActive, 7));
    // The autoincrement field reads the record ID; a modify keeps it.
    std::vector<std::uint8_t> image = ImageOf(table, SlotNumber(3));
    EXPECT_EQ(StoredI32(table, image, IdField), 7);
    table.SetField(false, NoteField, image, std::span<const std::uint8_t>(Str("changed")));
    table.SetRecordId(image, engine::RecordId(99));
    table.ModifyRecord(image, true, true);
    ExpectClean("t");
    EXPECT_EQ(table.CurrentRecord()->Id(), engine::RecordId(7));
    EXPECT_EQ(StoredText(table, ImageOf(table, SlotNumber(3)), NoteField), "changed");
    EXPECT_EQ(Insert(table, Person(80, "n8", "t8")), SlotNumber(5));
    EXPECT_EQ(table.CurrentRecord()->Id(), engine::RecordId(8));
    EXPECT_EQ(table.IndexFile().GetRecordCount(), 6u);
}

TEST_P(RecordChangesSharingTest, WithoutAPrimaryIndexInsertsAppend) {
    CreatePeople("t", false);
    engine::TDataFile table;
    Open(table, "t", Exclusive());
    AddPeople(table, 3);
    DeleteSlot(table, SlotNumber(2));
    ExpectClean("t");
    EXPECT_EQ(Insert(table, Person(4, "n4", "t4")), SlotNumber(4));
    ExpectClean("t");
    EXPECT_EQ(table.GetPhysicalRecordCount(), 4u);
    EXPECT_EQ(table.CurrentRecord()->Id(), engine::RecordId(4));
    EXPECT_EQ(table.IndexFile().GetRecordCount(), 3u);
}

TEST_P(RecordChangesSharingTest, ADuplicateInTheLastIndexLeavesNoKeyAndUsesUpNoId) {
    CreatePeople("t");
    engine::TDataFile table;
    Open(table, "t", Exclusive());
    Insert(table, Person(1, "a", "x"));
    Insert(table, Person(2, "b", "y"));
    const auto before = Snapshot("t");
    std::vector<std::uint8_t> image = NewImage(table, Person(3, "c", "y"));
    EXPECT_EQ(EngineCode([&] { table.InsertRecord(image, true); }), engine::ErrDuplicateKey);
    if (!Exclusive()) {
        EXPECT_EQ(Snapshot("t"), before);
    }
    EXPECT_FALSE(HasKey(table, 0, image));
    EXPECT_FALSE(HasKey(table, 1, image));
    EXPECT_EQ(table.IndexFile().GetRecordCount(), 2u);
    EXPECT_EQ(Insert(table, Person(3, "c", "z")), SlotNumber(3));
    EXPECT_EQ(table.CurrentRecord()->Id(), engine::RecordId(3));
}

TEST_P(RecordChangesSharingTest, ADeleteFreesTheLargeObjectChain) {
    CreatePeople("t");
    engine::TDataFile table;
    Open(table, "t", Exclusive());
    Insert(table, Person(1, "a", "x"));
    const SlotNumber slot = InsertWithMemo(table, Person(2, "b", "y"), std::string(200, 'm'));
    EXPECT_EQ(MemoOf(table, slot), std::string(200, 'm'));
    const std::int32_t first = StoredI32(table, ImageOf(table, slot), MemoBlobField);
    ASSERT_GT(first, 0);
    ExpectClean("t");
    DeleteSlot(table, slot);
    ExpectClean("t");
    // The chain's blocks are free: the same memo again takes them instead of growing the file.
    const engine::BlockOffset end = table.BlobFile().GetEndOfFile();
    EXPECT_NE(table.BlobFile().Header().FreeHead, engine::BlockOffset{});
    EXPECT_EQ(StoredI32(table, ImageOf(table, slot), MemoBlobField), 0);
    EXPECT_EQ(table.IndexFile().GetRecordCount(), 1u);
    EXPECT_TRUE(table.BlobFile().OpenValues().empty());
    const SlotNumber again = InsertWithMemo(table, Person(3, "c", "z"), std::string(200, 'n'));
    EXPECT_EQ(table.BlobFile().GetEndOfFile(), end);
    EXPECT_EQ(MemoOf(table, again), std::string(200, 'n'));
}

TEST_P(RecordChangesSharingTest, TheCursorStandsOnTheInsertedOrModifiedRecordAfterAnEndState) {
    CreatePeople("t");
    engine::TDataFile table;
    Open(table, "t", Exclusive());
    AddPeople(table, 3, 10);
    std::vector<std::uint8_t> fetched(table.GetRecordBufferSize());
    table.SetToEnd();
    Insert(table, Person(15, "n", "t"));
    ASSERT_EQ(table.GetCurrentRecord(fetched, false), 0);
    EXPECT_EQ(StoredI32(table, fetched, CodeField), 15);
    EXPECT_EQ(table.GetRecNo(), 2);
    // After SetToEnd the last record is current, with the after-last flag.
    table.SetToEnd();
    std::vector<std::uint8_t> image = ImageOf(table, SlotNumber(3));
    table.SetField(false, NoteField, image, std::span<const std::uint8_t>(Str("last")));
    table.ModifyRecord(image, true, true);
    ASSERT_EQ(table.GetCurrentRecord(fetched, false), 0);
    EXPECT_EQ(StoredI32(table, fetched, CodeField), 30);
    EXPECT_EQ(StoredText(table, fetched, NoteField), "last");
    EXPECT_EQ(table.GetRecNo(), 4);
}

TEST_P(RecordChangesSharingTest, DeleteAndModifyWithoutACurrentRecordGive10258) {
    CreatePeople("t");
    engine::TDataFile table;
    Open(table, "t", Exclusive());
    ASSERT_EQ(table.CurrentRecord(), nullptr);
    std::vector<std::uint8_t> image = NewImage(table, Person(1, "a", "x"));
    EXPECT_EQ(EngineCode([&] { table.DeleteRecord(true); }), engine::ErrRecordInUse);
    EXPECT_EQ(EngineCode([&] { table.ModifyRecord(image, true, true); }), engine::ErrRecordInUse);
    EXPECT_EQ(table.IndexFile().GetRecordCount(), 0u);
}

// Deleting the record the cursor stands on when no record follows it leaves no deleted record current: the
// next insert takes that slot from the free chain and goes through, and so does every one after it.
TEST_P(RecordChangesSharingTest, AHandleThatDeletedTheLastRecordInsertsAgain) {
    for (const int records : {1, 2}) {
        SCOPED_TRACE(records);
        const std::string name = "t" + std::to_string(records);
        CreatePeople(name);
        engine::TDataFile table;
        Open(table, name, Exclusive());
        AddPeople(table, records);
        table.SetToEnd();
        ASSERT_EQ(table.GetPriorRecord({}), 0);
        table.DeleteRecord(true);
        const engine::TRecord* current = table.CurrentRecord();
        EXPECT_TRUE(current == nullptr || current->Status() == engine::RecordActive);
        EXPECT_EQ(EngineCode([&] { Insert(table, Person(100, "again", "a")); }), 0);
        EXPECT_EQ(EngineCode([&] { Insert(table, Person(101, "more", "m")); }), 0);
        EXPECT_EQ(table.IndexFile().GetRecordCount(), static_cast<std::uint32_t>(records + 1));
        table.Close();
        EXPECT_TRUE(IsCleanTable(name));
    }
}

// ---- Shared tables ----

TEST_F(RecordChangesTest, AModifyOfANonKeyFieldWritesNoIndexPage) {
    CreatePeople("t");
    engine::TDataFile table;
    Open(table, "t", false);
    AddPeople(table, 4);
    GoToSlot(table, SlotNumber(2));
    const std::string index = ReadBytes("t.IDX");
    const std::uint32_t counter = table.Header().ChangeCounter;
    std::vector<std::uint8_t> image = ImageOf(table, SlotNumber(2));
    table.SetField(false, NoteField, image, std::span<const std::uint8_t>(Str("note")));
    table.ModifyRecord(image, true, true);
    EXPECT_EQ(ReadBytes("t.IDX"), index);
    EXPECT_EQ(table.Header().ChangeCounter, counter + 1);
    EXPECT_TRUE(IsCleanTable("t"));

    // A new TAG changes the header page and the pages of "ByTag" only.
    engine::TIndexFile& indexFile = table.IndexFile();
    std::set<std::uint32_t> tagPages = {0};
    indexFile.SelectIndex(2);
    tagPages.insert(indexFile.GetRootPosition().Value);
    indexFile.SelectIndex(0);
    table.SetField(false, TagField, image, std::span<const std::uint8_t>(Str("new")));
    table.ModifyRecord(image, true, true);
    const std::string after = ReadBytes("t.IDX");
    ASSERT_EQ(after.size(), index.size());
    for (std::size_t page = 0; page < index.size(); page += 4096) {
        const bool changed = index.compare(page, 4096, after, page, 4096) != 0;
        EXPECT_EQ(changed, tagPages.count(static_cast<std::uint32_t>(page)) == 1) << page;
    }
    EXPECT_TRUE(IsCleanTable("t"));
}

TEST_F(SharedPairTest, ASharedInsertIsOnDiskWhenItReturns) {
    engine::TDataFile& writer = a;
    engine::TDataFile& other = b;
    Insert(writer, Person(1, "a", "x"));
    const SlotNumber slot = InsertWithMemo(writer, Person(2, "b", "y"), "memo");
    const tarnischeck::TableCheck check = tarnischeck::CheckTable("t");
    EXPECT_TRUE(check.Findings().empty());
    EXPECT_EQ(check.Record().ActiveSlots, 2u);
    EXPECT_TRUE(other.BeginRead());
    other.EndRead();
    EXPECT_EQ(other.IndexFile().GetRecordCount(), 2u);
    EXPECT_TRUE(HasKey(other, 0, ImageOf(writer, slot)));
    EXPECT_EQ(MemoOf(other, slot), "memo");
}

TEST_F(SharedPairTest, AChangeOfTheRecordAnotherHandleDeletedGives8710) {
    AddPeople(b, 5, 10);
    std::vector<std::uint8_t> image = NewImage(a, Person(25, "changed", "c"));
    const std::vector<std::function<void()>> changes = ChangesOfA(image);
    for (std::size_t k = 0; k < changes.size(); ++k) {
        SCOPED_TRACE(k);
        // A stands on R, between the records of codes 20 and 30; B deletes R.
        const SlotNumber r = Insert(b, Person(25, "r", "r"));
        GoToSlot(a, r);
        DeleteSlot(b, r);
        EXPECT_EQ(EngineCode(changes[k]), engine::ErrRecordNotFound);
        EXPECT_TRUE(a.LockedRecords().empty());
        EXPECT_EQ(a.IndexFile().GetRecordCount(), 5u);
        EXPECT_TRUE(IsCleanTable("t"));
    }
    for (int slot = 1; slot <= 5; ++slot) EXPECT_TRUE(HasKey(a, 0, ImageOf(a, SlotNumber(slot)))) << slot;

    // A change of another record leaves A's edit and post alone.
    GoToSlot(a, SlotNumber(2));
    std::vector<std::uint8_t> other = ImageOf(b, SlotNumber(4));
    GoToSlot(b, SlotNumber(4));
    b.SetField(false, NoteField, other, std::span<const std::uint8_t>(Str("b")));
    b.ModifyRecord(other, true, true);
    std::vector<std::uint8_t> edit(a.GetRecordBufferSize());
    ASSERT_EQ(a.GetCurrentRecord(edit, true), 0);
    EXPECT_EQ(a.LockedRecords(), std::vector<SlotNumber>{SlotNumber(2)});
    a.SetField(false, NoteField, edit, std::span<const std::uint8_t>(Str("a")));
    a.ModifyRecord(edit, true, true);
    EXPECT_TRUE(a.LockedRecords().empty());
    EXPECT_EQ(StoredText(b, ImageOf(b, SlotNumber(2)), NoteField), "a");
    EXPECT_EQ(StoredText(a, ImageOf(a, SlotNumber(4)), NoteField), "b");
}

// A record another handle holds locked (edited) is not deleted under it: the delete answers 10258 at once.
TEST_F(SharedPairTest, ADeleteOfARecordAnotherHandleHoldsLockedGives10258) {
    AddPeople(a, 3);
    GoToSlot(b, SlotNumber(2));
    std::vector<std::uint8_t> edit(b.GetRecordBufferSize());
    ASSERT_EQ(b.GetCurrentRecord(edit, true), 0);
    GoToSlot(a, SlotNumber(2));
    EXPECT_EQ(EngineCode([&] { a.DeleteRecord(true); }), engine::ErrRecordInUse);
    EXPECT_TRUE(a.LockedRecords().empty());
    EXPECT_EQ(a.IndexFile().GetRecordCount(), 3u);
    EXPECT_TRUE(HasKey(a, 0, ImageOf(a, SlotNumber(2))));
    b.UnlockRecord(SlotNumber(2));
    a.DeleteRecord(true);
    EXPECT_EQ(a.IndexFile().GetRecordCount(), 2u);
    EXPECT_TRUE(IsCleanTable("t"));
}

// The same in natural order, where A stands on R by its slot: B's delete is found, not another record.
TEST_F(SharedPairTest, InNaturalOrderAChangeOfTheRecordAnotherHandleDeletedGives8710) {
    AddPeople(b, 5, 10);
    a.SetIndexNumber(255);
    std::vector<std::uint8_t> image = NewImage(a, Person(25, "changed", "c"));
    const std::vector<std::function<void()>> changes = ChangesOfA(image);
    for (std::size_t k = 0; k < changes.size(); ++k) {
        SCOPED_TRACE(k);
        const SlotNumber r = Insert(b, Person(25, "r", "r"));
        a.Refresh();
        GoToSlot(a, r);
        a.IndexFile().GotoRecordNumber(r.Value);
        ASSERT_EQ(a.IndexFile().GetCurrentRecordNumber(), r);
        DeleteSlot(b, r);
        EXPECT_EQ(EngineCode(changes[k]), engine::ErrRecordNotFound);
        EXPECT_TRUE(a.LockedRecords().empty());
        EXPECT_EQ(a.IndexFile().GetRecordCount(), 5u);
        EXPECT_EQ(a.GetRecordCount(), 5);
        EXPECT_TRUE(IsCleanTable("t"));
    }
    for (int slot = 1; slot <= 5; ++slot) EXPECT_TRUE(HasKey(a, 0, ImageOf(a, SlotNumber(slot)))) << slot;
}

TEST_F(SharedPairTest, AChangeCheckThatEmptiedTheCurrentRecordLeavesItTheRecordToChange) {
    AddPeople(a, 3);
    GoToSlot(a, SlotNumber(2));
    std::vector<std::uint8_t> image = ImageOf(a, SlotNumber(2));
    Insert(b, Person(4, "n4", "t4"));
    EXPECT_TRUE(a.BeginRead());
    a.EndRead();
    ASSERT_EQ(a.CurrentRecord(), nullptr);
    a.SetField(false, NoteField, image, std::span<const std::uint8_t>(Str("kept")));
    a.ModifyRecord(image, false, true);
    EXPECT_EQ(StoredText(b, ImageOf(b, SlotNumber(2)), NoteField), "kept");
    Insert(b, Person(5, "n5", "t5"));
    EXPECT_TRUE(a.BeginRead());
    a.EndRead();
    ASSERT_EQ(a.CurrentRecord(), nullptr);
    a.DeleteRecord(true);
    EXPECT_TRUE(b.BeginRead());
    b.EndRead();
    EXPECT_EQ(b.IndexFile().GetRecordCount(), 4u);
    EXPECT_FALSE(HasKey(b, 0, image));
}

// A failed read anywhere in an insert on a shared table, with every cache cold: the insert raises 9217 and
// leaves the files as they were; the caller's memo is saved by the next insert of the same image. The
// indexes have two levels, and deleted slots are there to reuse.
TEST_F(RecordChangesTest, AReadFailureAnywhereInASharedInsertLeavesTheFilesAsTheyWere) {
    CreatePeople("t");
    {
        engine::TDataFile table;
        Open(table, "t", true);
        for (int i = 1; i <= 400; ++i) {
            InsertWithMemo(table, Person(i, "name " + std::to_string(i), "t" + std::to_string(i)),
                           std::string(static_cast<std::size_t>(i % 150), 'a'));
        }
        for (int slot = 10; slot <= 400; slot += 40) DeleteSlot(table, SlotNumber(slot));
    }
    std::int32_t code = 1000;
    int failures = 0;
    for (const char* file : {"t.DAT", "t.IDX", "t.BLB"}) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string(file) + " read " + std::to_string(n));
            const auto before = Snapshot("t");
            engine::TDataFile table;
            Open(table, "t", false);
            const std::uint32_t count = table.IndexFile().GetRecordCount();
            const std::string memo(static_cast<std::size_t>(code % 170), 'z');
            std::vector<std::uint8_t> image =
                NewImage(table, Person(code, "x" + std::to_string(code), std::to_string(code)));
            ASSERT_EQ(table.OpenBlob(false, MemoBlobField, engine::BlobOpenReadWrite, image), 0);
            ASSERT_EQ(table.WriteBlob(false, MemoBlobField, Chars(memo),
                                      static_cast<std::int32_t>(memo.size()), 0, image),
                      0);
            ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Read, file, n, EIO));
            const int result = EngineCode([&] { table.InsertRecord(image, true); });
            const bool fired = engine::IoFaultFired();
            engine::DisarmIoFault();
            if (fired) {
                ++failures;
                EXPECT_EQ(result, engine::ErrRead);
                EXPECT_EQ(Snapshot("t"), before);
                table.InsertRecord(image, true);
            } else {
                EXPECT_EQ(result, 0);
            }
            const SlotNumber slot = table.CurrentRecord()->RecordNumber();
            table.FreeBlobs();
            ++code;
            EXPECT_EQ(table.IndexFile().GetRecordCount(), count + 1);
            EXPECT_EQ(MemoOf(table, slot), memo);
            ASSERT_TRUE(IsCleanTable("t"));
            if (!fired) break;
        }
    }
    // Every file is read at least once: its header in the change check.
    EXPECT_GE(failures, 3);
}

TEST_F(RecordChangesTest, ATransactionWritesNothingAndItsCloseLeavesTheFilesAsTheyWere) {
    CreatePeople("t");
    {
        engine::TDataFile table;
        Open(table, "t", false);
        AddPeople(table, 3);
    }
    const auto before = Snapshot("t");
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    ASSERT_TRUE(holder.Ready());
    ASSERT_EQ(holder.Send("retries 0 0"), "ok");
    {
        engine::TDataFile table;
        Open(table, "t", false);
        table.StartTransaction();
        const SlotNumber added = Insert(table, Person(4, "n4", "t4"));
        std::vector<std::uint8_t> image = ImageOf(table, SlotNumber(1));
        GoToSlot(table, SlotNumber(1));
        table.SetField(false, NameField, image, std::span<const std::uint8_t>(Str("renamed")));
        table.ModifyRecord(image, true, true);
        DeleteSlot(table, SlotNumber(2));
        EXPECT_TRUE(table.FirstWriteDone());
        EXPECT_EQ(table.IndexFile().GetRecordCount(), 3u);
        EXPECT_TRUE(HasKey(table, 1, image));
        EXPECT_TRUE(HasKey(table, 0, ImageOf(table, added)));
        EXPECT_EQ(Snapshot("t"), before);
        EXPECT_EQ(holder.Send("beginwrite"), "error " + std::to_string(engine::ErrGeneralLockFailure));
        table.Close();
    }
    EXPECT_EQ(Snapshot("t"), before);
    EXPECT_EQ(holder.Send("beginwrite"), "ok");
    EXPECT_EQ(holder.Send("endwrite"), "ok");
}

// ---- Exclusive tables: expected failures are caught before the first change ----

TEST_F(RecordChangesTest, AnInsertAtTheAppendLimitGives9479AndLeavesTheIndexFile) {
    fs::create_directory("full");
    // No primary index, one secondary; records of 1000 bytes, the slot area filled up to the limit.
    std::vector<engine::TFieldDesc> fields = SizedFields(1000);
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {}), IndexDef("ByS", {2})};
    TableOptions options;
    options.allowNoPrimary = true;
    CreateTable("full/t", fields, indexes, options);
    const std::uint32_t lastSlot = engine::MaxSlotAreaBytes / 1000;
    ASSERT_FALSE(engine::WithinAppendLimit(SlotNumber(lastSlot + 1), 1000));
    {
        const std::string header = ReadBytes("full/t.DAT");
        PatchFile("full/t.DAT", NextSlotAt, 4, lastSlot + 1);
        fs::resize_file("full/t.DAT", header.size() + static_cast<std::uintmax_t>(lastSlot) * 1000);
    }
    const std::string index = ReadBytes("full/t.IDX");
    {
        engine::TDataFile table;
        Open(table, "full/t", true);
        std::vector<std::uint8_t> image = NewImage(table, {{1, I32(1)}, {2, Str("s")}});
        EXPECT_EQ(EngineCode([&] { table.InsertRecord(image, true); }), engine::ErrFileFull);
    }
    EXPECT_EQ(ReadBytes("full/t.IDX"), index);
    fs::remove_all("full");
}

TEST_F(RecordChangesTest, AFailedDeleteKeepsTheCallersRecordLock) {
    std::int32_t first = 0;
    MakeDamagedPeople(1, [&](engine::TDataFile& table) {
        InsertWithMemo(table, Person(2, "n2", "t2"), "a memo");
        first = StoredI32(table, ImageOf(table, SlotNumber(2)), MemoBlobField);
    });
    // The memo's first block names another record as its owner: the delete's check refuses the chain.
    PatchFile("damaged/t.BLB", static_cast<std::size_t>(first) + 10, 4, 9);
    {
        engine::TDataFile table;
        Open(table, "damaged/t", false);
        GoToSlot(table, SlotNumber(2));
        table.LockRecord(engine::NoSlot);
        EXPECT_EQ(EngineCode([&] { table.DeleteRecord(true); }), engine::ErrBlobBuffersCorrupt);
        EXPECT_EQ(table.LockedRecords(), std::vector<SlotNumber>{SlotNumber(2)});
        table.UnlockRecord(engine::NoSlot);
    }
    fs::remove_all("damaged");
}

// A free-slot head that is no deleted slot with its "Sys Deleted" key (what a change cut short by an older
// engine could leave) is stepped over: inserts append, for the rest of the handle's life, and the chain is
// left as it is.
TEST_F(RecordChangesTest, AnInsertStepsOverAFreeSlotHeadThatIsNotADeletedSlot) {
    fs::create_directory("damaged");
    for (const bool active : {true, false}) {
        SCOPED_TRACE(active ? "active head" : "head without its key");
        CreatePeople("damaged/t");
        {
            engine::TDataFile table;
            Open(table, "damaged/t", true);
            AddPeople(table, 3);
            if (!active) {
                DeleteSlot(table, SlotNumber(2));
                // The slot's "Sys Deleted" key goes back to the active one, as a delete cut short leaves it.
                engine::TIndexFile& index = table.IndexFile();
                index.SelectIndex(engine::SysDeletedSlot);
                const std::vector<std::uint8_t> image = ImageOf(table, SlotNumber(2));
                const std::array<std::uint8_t, 1> deleted{engine::RecordDeleted};
                const std::array<std::uint8_t, 1> live{engine::RecordActive};
                engine::TIndexKey from;
                engine::TIndexKey to;
                table.BuildPhysicalKey(deleted, from, image);
                table.BuildPhysicalKey(live, to, image);
                index.ModifyKey(from.View(), to.View(), SlotNumber(2));
            }
        }
        // The free-slot head names slot 2.
        if (active) PatchFile("damaged/t.DAT", FreeHeadAt, 4, 2);
        {
            engine::TDataFile table;
            Open(table, "damaged/t", false);
            EXPECT_EQ(Insert(table, Person(4, "n4", "t4")), SlotNumber(4));
            EXPECT_EQ(Insert(table, Person(5, "n5", "t5")), SlotNumber(5));
            EXPECT_EQ(table.IndexFile().GetRecordCount(), active ? 5u : 4u);
        }
        EXPECT_EQ(GetLE(ReadBytes("damaged/t.DAT"), FreeHeadAt, 4), 2u);
        // Another handle steps over it too.
        {
            engine::TDataFile table;
            Open(table, "damaged/t", false);
            EXPECT_EQ(Insert(table, Person(6, "n6", "t6")), SlotNumber(6));
        }
    }
    fs::remove_all("damaged");
}


// ---- A change cut short by a write that fails, as a killed program cuts it ----

// What tarnis-check says of the table, errors only: what a cut change may leave is a leak, which it reports
// as a warning.
::testing::AssertionResult HasNoErrors(const std::string& name) {
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(name);
    if (check.Unreadable()) return ::testing::AssertionFailure() << "unreadable: " << check.UnreadableReason();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    bool failed = false;
    for (const tarnischeck::Finding& finding : check.Findings()) {
        if (finding.Level != tarnischeck::Severity::Error) continue;
        failed = true;
        failure << "\n  " << tarnischeck::FormatFinding(finding);
    }
    return failed ? failure : ::testing::AssertionSuccess();
}

// The slots natural order visits, the way a program finds a record no index leads to.
std::vector<SlotNumber> NaturalOrderSlots(engine::TDataFile& table) {
    const int index = table.GetIndexNumber();
    table.SetIndexNumber(engine::NaturalOrderIndex);
    std::vector<SlotNumber> slots;
    table.SetToBegin();
    while (table.GetNextRecord() == 0) slots.push_back(table.CurrentRecord()->RecordNumber());
    table.SetIndexNumber(index);
    return slots;
}

bool InNaturalOrder(engine::TDataFile& table, SlotNumber slot) {
    const std::vector<SlotNumber> slots = NaturalOrderSlots(table);
    return std::find(slots.begin(), slots.end(), slot) != slots.end();
}

// Changes the person in the slot: a new name and tag (two keys) and note, and the memo when one is given.
void ChangePerson(engine::TDataFile& table, SlotNumber slot, const std::string& name,
                  const std::string* memo) {
    GoToSlot(table, slot);
    std::vector<std::uint8_t> image = ImageOf(table, slot);
    table.SetField(false, NameField, image, std::span<const std::uint8_t>(Str(name)));
    table.SetField(false, TagField, image, std::span<const std::uint8_t>(Str("x" + name.substr(0, 8))));
    table.SetField(false, NoteField, image, std::span<const std::uint8_t>(Str("note of " + name)));
    if (memo != nullptr) {
        EXPECT_EQ(table.OpenBlob(false, MemoBlobField, engine::BlobOpenReadWrite, image), 0);
        EXPECT_EQ(table.TruncateBlob(false, MemoBlobField, 0, image), 0);
        EXPECT_EQ(table.WriteBlob(false, MemoBlobField, Chars(*memo), static_cast<std::int32_t>(memo->size()),
                                  0, image),
                  0);
    }
    table.ModifyRecord(image, false, true);
    table.FreeBlobs();
}

// What a change cut short between index pages written apart may leave of slot 2's entries (with "ByName" and
// "ByTag" on pages of their own, any of a record's indexes may have its new key, its old one or none).
struct KeyDamage {
    const char* Name;
    void (*Damage)(engine::TDataFile&);
};

// Index n's key of slot 2 with the field given set to the value (none: as it is).
engine::TIndexKey KeyOfSlot2(engine::TDataFile& table, int n, std::uint16_t field = 0, const std::string& value = {}) {
    std::vector<std::uint8_t> image = ImageOf(table, SlotNumber(2));
    if (field != 0) table.SetField(false, field, image, std::span<const std::uint8_t>(Str(value)));
    table.IndexFile().SelectIndex(n);
    engine::TIndexKey key;
    if (n == engine::SysDeletedSlot) {
        const std::array<std::uint8_t, 1> live{engine::RecordActive};
        table.BuildPhysicalKey(live, key, image);
    } else {
        table.BuildKey(image, key);
    }
    return key;
}

void DropKey(engine::TDataFile& table, int n) {
    const engine::TIndexKey key = KeyOfSlot2(table, n);
    table.IndexFile().DeleteKey(key.View());
}

const KeyDamage KeyDamages[] = {
    {"missing from one index", [](engine::TDataFile& t) { DropKey(t, 1); }},
    {"an old key in one index",
     [](engine::TDataFile& t) {
         const engine::TIndexKey now = KeyOfSlot2(t, 2);
         const engine::TIndexKey old = KeyOfSlot2(t, 2, TagField, "old");
         t.IndexFile().ModifyKey(now.View(), old.View(), SlotNumber(2));
     }},
    {"an old primary key",
     [](engine::TDataFile& t) {
         const engine::TIndexKey now = KeyOfSlot2(t, 0);
         std::vector<std::uint8_t> image = ImageOf(t, SlotNumber(2));
         t.SetField(false, CodeField, image, std::span<const std::uint8_t>(I32(40)));
         engine::TIndexKey old;
         t.BuildKey(image, old);
         t.IndexFile().ModifyKey(now.View(), old.View(), SlotNumber(2));
     }},
    {"missing from \"Sys Deleted\"", [](engine::TDataFile& t) { DropKey(t, engine::SysDeletedSlot); }},
    {"in no index",
     [](engine::TDataFile& t) {
         for (const int n : {0, 1, 2, int{engine::SysDeletedSlot}}) DropKey(t, n);
     }},
};

// A record whose entries are out of step with its fields is modified, or deleted, and leaves every index in
// step: tarnis-check finds no error, and the modified record is found by its new keys.
TEST_F(RecordChangesTest, AModifyOrDeleteBringsARecordsKeysBackInStep) {
    for (const KeyDamage& damage : KeyDamages) {
        for (const bool modify : {true, false}) {
            SCOPED_TRACE(std::string(damage.Name) + (modify ? ", modified" : ", deleted"));
            MakeDamagedPeople(3, damage.Damage);
            // tarnis-check sees the damage (a record in no index at all as a warning).
            ASSERT_FALSE(tarnischeck::CheckTable("damaged/t").Findings().empty());
            {
                engine::TDataFile table;
                Open(table, "damaged/t", false);
                GoToSlot(table, SlotNumber(2));
                if (modify) {
                    std::vector<std::uint8_t> image = NewImage(table, Person(20, "m2", "u2", "note"));
                    ASSERT_EQ(EngineCode([&] { table.ModifyRecord(image, false, true); }), 0);
                    const std::vector<std::uint8_t> stored = ImageOf(table, SlotNumber(2));
                    for (const int n : {0, 1, 2}) EXPECT_TRUE(HasKey(table, n, stored)) << n;
                } else {
                    ASSERT_EQ(EngineCode([&] { table.DeleteRecord(true); }), 0);
                    EXPECT_EQ(Insert(table, Person(2, "n2", "t2")), SlotNumber(2));
                }
            }
            EXPECT_TRUE(HasNoErrors("damaged/t"));
            fs::remove_all("damaged");
        }
    }
}

// A record whose key another record took meanwhile in a unique index keeps it only by a modify that gives it
// another key; its delete removes its own entries and leaves the other record's.
TEST_F(RecordChangesTest, AnOutOfStepRecordWhoseKeyAnotherTookIsRefusedThatKeyAndDeletedCleanly) {
    MakeDamagedPeople(3, [](engine::TDataFile& table) {
        // Slot 2's "ByTag" entry holds "old" while its field says "t2", and slot 4 took "t2".
        const engine::TIndexKey now = KeyOfSlot2(table, 2);
        const engine::TIndexKey old = KeyOfSlot2(table, 2, TagField, "old");
        table.IndexFile().ModifyKey(now.View(), old.View(), SlotNumber(2));
        table.IndexFile().SelectIndex(0);
        EXPECT_EQ(Insert(table, Person(4, "n4", "t2")), SlotNumber(4));
    });
    {
        engine::TDataFile table;
        Open(table, "damaged/t", false);
        GoToSlot(table, SlotNumber(2));
        std::vector<std::uint8_t> image = ImageOf(table, SlotNumber(2));
        table.SetField(false, NoteField, image, std::span<const std::uint8_t>(Str("kept tag")));
        EXPECT_EQ(EngineCode([&] { table.ModifyRecord(image, false, true); }), engine::ErrDuplicateKey);
        GoToSlot(table, SlotNumber(2));
        EXPECT_EQ(EngineCode([&] { table.DeleteRecord(true); }), 0);
        EXPECT_TRUE(HasKey(table, 2, ImageOf(table, SlotNumber(4))));
    }
    EXPECT_TRUE(HasNoErrors("damaged/t"));
    fs::remove_all("damaged");
}

// A change a write may cut short, the table it starts from ("full": six people; "holed": the same with slot 3
// deleted, the head of the free chain; "plain": six people in a table without a primary index) and the slot
// of the record it inserts, modifies or deletes.
struct TornChange {
    const char* Name;
    const char* Base;
    void (*Run)(engine::TDataFile&);
    std::uint32_t Slot;
};

const std::string CutMemo(150, 'm');
const std::string CutLongMemo(300, 'l');

void CutAppend(engine::TDataFile& t) { Insert(t, Person(50, "new", "tnew")); }
void CutAppendMemo(engine::TDataFile& t) { InsertWithMemo(t, Person(50, "new", "tnew"), CutLongMemo); }
void CutModify(engine::TDataFile& t) { ChangePerson(t, SlotNumber(4), "changed", nullptr); }
void CutModifyMemo(engine::TDataFile& t) { ChangePerson(t, SlotNumber(2), "changed", &CutLongMemo); }
void CutDelete4(engine::TDataFile& t) { DeleteSlot(t, SlotNumber(4)); }
void CutDelete2(engine::TDataFile& t) { DeleteSlot(t, SlotNumber(2)); }

const TornChange TornChanges[] = {
    {"append", "full", CutAppend, 7},
    {"append_with_memo", "full", CutAppendMemo, 7},
    {"reuse", "holed", CutAppend, 3},
    {"reuse_with_memo", "holed", CutAppendMemo, 3},
    {"modify", "full", CutModify, 4},
    {"modify_with_memo", "full", CutModifyMemo, 2},
    {"delete", "holed", CutDelete4, 4},
    {"delete_with_memo", "full", CutDelete2, 2},
    {"append_without_primary_index", "plain", CutAppendMemo, 7},
    {"modify_without_primary_index", "plain", CutModifyMemo, 2},
    {"delete_without_primary_index", "plain", CutDelete2, 2},
};

// The base table of a torn change, in the directory of its name.
void CreateCutBase(const std::string& base) {
    fs::create_directory(base);
    CreatePeople(base + "/t", base != "plain");
    engine::TDataFile table;
    Open(table, base + "/t", true);
    for (int i = 1; i <= 6; ++i) {
        const FieldValues person = Person(i, "n" + std::to_string(i), "t" + std::to_string(i));
        if (i % 2 == 0 && i != 2) {
            Insert(table, person);
        } else {
            InsertWithMemo(table, person, i == 2 ? "m" : CutMemo + std::to_string(i));
        }
    }
    // Slot 2's memo grows after the others were written: its chain is one block here and the rest at the end
    // of the file, and a rewrite of it takes more than one write.
    GoToSlot(table, SlotNumber(2));
    std::vector<std::uint8_t> image = ImageOf(table, SlotNumber(2));
    const std::string grown = CutMemo + "2";
    ASSERT_EQ(table.OpenBlob(false, MemoBlobField, engine::BlobOpenReadWrite, image), 0);
    ASSERT_EQ(
        table.WriteBlob(false, MemoBlobField, Chars(grown), static_cast<std::int32_t>(grown.size()), 0, image), 0);
    table.ModifyRecord(image, false, true);
    table.FreeBlobs();
    if (base == "holed") DeleteSlot(table, SlotNumber(3));
}

void CopyTable(const std::string& from, const std::string& to) {
    for (const char* e : {".DAT", ".IDX", ".BLB"}) {
        fs::copy_file(from + e, to + e, fs::copy_options::overwrite_existing);
    }
}

class ChangeCutTest : public RecordChangesTest, public ::testing::WithParamInterface<TornChange> {};

INSTANTIATE_TEST_SUITE_P(EachChange, ChangeCutTest, ::testing::ValuesIn(TornChanges),
                         [](const ::testing::TestParamInfo<TornChange>& info) { return info.param.Name; });

// Every write of the change failed in turn, in each file, as a program killed at that write leaves the
// files. Another handle then opens the table and changes it; the record the cut change touched, found in
// natural order whatever its keys say, is modified (memo included) and later deleted there, and in a copy of
// the cut files deleted at once, its value whole. tarnis-check then finds nothing worse than a leak in the
// whole table.
TEST_P(ChangeCutTest, ACutAtAnyWriteLeavesTheTableUsableForOthers) {
    const TornChange& change = GetParam();
    const std::string base = change.Base;
    CreateCutBase(base);
    fs::create_directory("torn");
    fs::create_directory("torn2");
    const SlotNumber touched(change.Slot);
    for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string("write ") + std::to_string(n) + " of " + extension);
            CopyTable(base + "/t", "torn/t");
            bool fired = false;
            {
                engine::TDataFile cut;
                Open(cut, "torn/t", false);
                ASSERT_TRUE(
                    engine::ArmIoFault(engine::IoCall::Write, std::string("torn/t") + extension, n, EIO));
                const int code = EngineCode([&] { change.Run(cut); });
                fired = engine::IoFaultFired();
                engine::DisarmIoFault();
                EXPECT_EQ(code != 0, fired) << code;
            }
            if (!fired) break;
            CopyTable("torn/t", "torn2/t");
            {
                engine::TDataFile other;
                ASSERT_EQ(EngineCode([&] { Open(other, "torn/t", false); }), 0);
                EXPECT_EQ(EngineCode([&] { InsertWithMemo(other, Person(60, "later", "tlater"), CutMemo); }), 0);
                EXPECT_EQ(EngineCode([&] { ChangePerson(other, SlotNumber(1), "renamed", &CutMemo); }), 0);
                const bool visible = InNaturalOrder(other, touched);
                if (visible) {
                    EXPECT_EQ(EngineCode([&] { ChangePerson(other, touched, "repaired", &CutMemo); }), 0);
                    EXPECT_EQ(MemoOf(other, touched), CutMemo);
                }
                EXPECT_EQ(EngineCode([&] { DeleteSlot(other, SlotNumber(5)); }), 0);
                EXPECT_EQ(EngineCode([&] { Insert(other, Person(61, "last", "tlast")); }), 0);
                if (visible) EXPECT_EQ(EngineCode([&] { DeleteSlot(other, touched); }), 0);
                EXPECT_EQ(EngineCode([&] { Insert(other, Person(62, "final", "tfinal")); }), 0);
            }
            ASSERT_TRUE(HasNoErrors("torn/t"));
            {
                engine::TDataFile other;
                ASSERT_EQ(EngineCode([&] { Open(other, "torn2/t", false); }), 0);
                if (InNaturalOrder(other, touched)) {
                    // Its value is whole: the one it had, or the one the change gave it.
                    std::string value;
                    EXPECT_EQ(EngineCode([&] { value = MemoOf(other, touched); }), 0);
                    EXPECT_TRUE(value.empty() || value == CutMemo + std::to_string(change.Slot) ||
                                value == CutLongMemo)
                        << value;
                    EXPECT_EQ(EngineCode([&] { DeleteSlot(other, touched); }), 0);
                }
                EXPECT_EQ(EngineCode([&] { Insert(other, Person(63, "after", "tafter")); }), 0);
            }
            ASSERT_TRUE(HasNoErrors("torn2/t"));
        }
    }
    fs::remove_all("torn");
    fs::remove_all("torn2");
    fs::remove_all(base);
}

}  // namespace
