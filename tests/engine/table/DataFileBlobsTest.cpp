#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/file/SharedFileLock.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"
#include "tests/engine/support/BlobTestTable.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/StoredValues.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::BlockOffset;
using engine::RecordPin;
using engine::SlotNumber;
using engine::TDataFile;

constexpr std::uint16_t IdField = 1;
constexpr std::uint16_t MemoA = 2;
constexpr std::uint16_t NameField = 3;
constexpr std::uint16_t MemoB = 4;
constexpr std::uint8_t Read = engine::BlobOpenRead;
constexpr std::uint8_t Write = engine::BlobOpenReadWrite;

// A table "t" of three records (slots 1 to 3) with two large-object fields, both empty.
class DataFileBlobsTest : public TableTest {
protected:
    void SetUp() override {
        std::vector<engine::TFieldDesc> fields = {FieldDef(IdField, "ID", engine::FieldTypeInteger),
                                                  FieldDef(MemoA, "MEMO", engine::FieldTypeBlob),
                                                  FieldDef(NameField, "NAME", engine::FieldTypeString, 10),
                                                  FieldDef(MemoB, "PHOTO", engine::FieldTypeBlob)};
        std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {IdField})};
        CreateTable("t", fields, indexes);
        AppendActiveSlots("t.DAT", 3);
    }

    static void Open(TDataFile& table, bool exclusive = true, bool strict = false) {
        table.SetFileName("t");
        table.SetExclusive(exclusive);
        table.SetStrictChangeDetection(strict);
        const engine::LockRetryPolicy atOnce{0, [](auto) {}, {}};
        table.IndexFile().Locks().SetRetryPolicy(atOnce);
        table.BlobFile().Locks().SetRetryPolicy(atOnce);
        table.Open();
    }

    // A record buffer: a copy of the slot's image, as a dataset holds it.
    static Bytes Buffer(TDataFile& table, std::uint32_t slot) {
        engine::TReadGuard read(table);
        RecordPin record;
        while (!table.GetRecord(SlotNumber(slot), false, false, engine::ReadForward, record)) {
        }
        Bytes buffer(table.GetRecordBufferSize(), 0);
        std::copy_n(record->Image().begin(), table.GetRecordSize(), buffer.begin());
        record.Release();
        read.End();
        return buffer;
    }

    // Posts the buffer into its slot as the record layer does: the changed values saved for the slot, the
    // record's image taking the buffer with the first blocks in place of the handles.
    static void Post(TDataFile& table, std::uint32_t slot, const Bytes& buffer) {
        engine::TReadGuard read(table);
        table.BlobFile().SetOwnerRecord(SlotNumber(slot));
        table.BlobFile().SaveModified();
        RecordPin record;
        while (!table.GetRecord(SlotNumber(slot), false, false, engine::ReadForward, record)) {
        }
        std::copy_n(buffer.begin(), table.GetRecordSize(), record->Image().begin());
        table.SaveBlobReferences(false, record->Image());
        record->MarkDirty();
        record.Release();
        read.End();
    }

    static Bytes Current(const TDataFile& table) {
        const std::span<const std::uint8_t> image = table.CurrentRecord()->Image();
        return Bytes(image.begin(), image.end());
    }

    static std::int32_t FieldValue(const TDataFile& table, std::uint16_t field, const Bytes& buffer) {
        Bytes value(4);
        table.GetField(false, field, buffer, value);
        return static_cast<std::int32_t>(GetLE(std::string(value.begin(), value.end()), 0, 4));
    }
    static std::uint8_t Flag(const TDataFile& table, std::uint16_t field, const Bytes& buffer) {
        return buffer.at(table.GetFieldDesc(false, field).Offset);
    }

    static std::uint16_t WriteText(TDataFile& table, std::uint16_t field, Bytes& buffer,
                                   const std::string& text, std::int32_t offset = 0) {
        const Bytes bytes(text.begin(), text.end());
        return table.WriteBlob(false, field, bytes, static_cast<std::int32_t>(bytes.size()), offset, buffer);
    }
    static std::string ReadText(TDataFile& table, std::uint16_t field, const Bytes& buffer) {
        std::int32_t size = 0;
        if (table.GetBlobSize(false, field, size, buffer) != 0) return "<not open>";
        Bytes bytes(static_cast<std::size_t>(size));
        std::int32_t got = 0;
        EXPECT_EQ(table.ReadBlob(false, field, got, size, bytes, 0, buffer), 0);
        return std::string(bytes.begin(), bytes.begin() + got);
    }

    // Replaces slot 2's MEMO value through a whole post in the open table, writing every header as a shared
    // change does; answers the record buffer after the close.
    static Bytes RewriteMemo(TDataFile& table, const std::string& text, std::uint32_t slot = 2) {
        Bytes buffer = Buffer(table, slot);
        EXPECT_EQ(table.OpenBlob(false, MemoA, Write, buffer), 0);
        EXPECT_EQ(table.TruncateBlob(false, MemoA, 0, buffer), 0);
        EXPECT_EQ(WriteText(table, MemoA, buffer, text), 0);
        Post(table, slot, buffer);
        EXPECT_EQ(table.CloseBlob(false, MemoA, buffer), 0);
        table.FlushBuffers(false, true, true);
        return buffer;
    }
    // The same in a table of its own, closed afterwards; the value's first block.
    static std::int32_t StoreMemo(const std::string& text) {
        TDataFile table;
        Open(table);
        return FieldValue(table, MemoA, RewriteMemo(table, text));
    }
};

// ---- Field errors ----

TEST_F(DataFileBlobsTest, FieldsThatAreNoLargeObjectsAreRefused) {
    TDataFile table;
    Open(table);
    Bytes buffer = Buffer(table, 1);
    Bytes bytes(4);
    std::int32_t n = 7;
    const std::function<std::uint16_t(std::uint16_t)> calls[] = {
        [&](std::uint16_t f) { return table.OpenBlob(false, f, Write, buffer); },
        [&](std::uint16_t f) { return table.CloseBlob(false, f, buffer); },
        [&](std::uint16_t f) { return table.ReadBlob(false, f, n, 1, bytes, 0, buffer); },
        [&](std::uint16_t f) { return table.WriteBlob(false, f, bytes, 1, 0, buffer); },
        [&](std::uint16_t f) { return table.TruncateBlob(false, f, 1, buffer); },
        [&](std::uint16_t f) { return table.GetBlobSize(false, f, n, buffer); },
    };
    const struct {
        std::uint16_t field;
        const char* named;
    } fields[] = {{IdField, "ID"}, {NameField, "NAME"}, {0, "0"}, {5, "5"}};
    for (const auto& field : fields) {
        for (const auto& call : calls) {
            EXPECT_EQ(call(field.field), engine::ErrInvalidBlobField) << field.named;
            EXPECT_EQ(engine::CurrentErrorContext().FieldName, field.named);
        }
        EXPECT_FALSE(table.IsBlobOpen(false, field.field, buffer));
    }
    EXPECT_EQ(engine::GetEngineErrorMessage(engine::ErrInvalidBlobField),
              "Invalid blob field 5 specified for data file t.DAT");
    // The working set counts the same fields after open.
    EXPECT_EQ(table.OpenBlob(true, 5, Write, buffer), engine::ErrInvalidBlobField);
    EXPECT_TRUE(table.BlobFile().OpenValues().empty());
    // An image too short for the field is refused as field access refuses it.
    Bytes shortImage(table.GetFieldDesc(false, MemoA).Offset + 2, 0);
    EXPECT_EQ(EngineCode([&] { table.OpenBlob(false, MemoA, Write, shortImage); }),
              engine::ErrRecordBuffersCorrupt);
}

TEST_F(DataFileBlobsTest, AStaleNegativeValueIsNoHandle) {
    TDataFile table;
    Open(table);
    Bytes buffer = Buffer(table, 1);
    Bytes bytes(4);
    for (std::int32_t stale : {-12345, std::numeric_limits<std::int32_t>::min()}) {
        SetStored(table, buffer, MemoA, I32(stale));
        std::int32_t n = 7;
        EXPECT_EQ(table.OpenBlob(false, MemoA, Write, buffer), engine::ErrInvalidBlobOffset);
        EXPECT_EQ(table.CloseBlob(false, MemoA, buffer), engine::ErrInvalidBlobHandle);
        EXPECT_EQ(table.ReadBlob(false, MemoA, n, 1, bytes, 0, buffer), engine::ErrInvalidBlobHandle);
        EXPECT_EQ(n, 0);
        EXPECT_EQ(table.WriteBlob(false, MemoA, bytes, 1, 0, buffer), engine::ErrInvalidBlobHandle);
        EXPECT_EQ(table.TruncateBlob(false, MemoA, 1, buffer), engine::ErrInvalidBlobHandle);
        n = 7;
        EXPECT_EQ(table.GetBlobSize(false, MemoA, n, buffer), engine::ErrInvalidBlobHandle);
        EXPECT_EQ(n, 0);
        EXPECT_FALSE(table.IsBlobOpen(false, MemoA, buffer));
        EXPECT_EQ(FieldValue(table, MemoA, buffer), stale);
    }
    EXPECT_TRUE(table.BlobFile().OpenValues().empty());
    // A field that holds no handle cannot be closed or used.
    for (std::int32_t value : {0, 512}) {
        SetStored(table, buffer, MemoA, I32(value));
        EXPECT_EQ(table.CloseBlob(false, MemoA, buffer), engine::ErrInvalidBlobHandle);
        EXPECT_EQ(table.TruncateBlob(false, MemoA, 1, buffer), engine::ErrInvalidBlobHandle);
        EXPECT_EQ(FieldValue(table, MemoA, buffer), value);
    }
}

TEST_F(DataFileBlobsTest, ReopeningAnOpenFieldKeepsItsHandleAndMode) {
    TDataFile table;
    Open(table);
    Bytes buffer = Buffer(table, 1);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
    const std::int32_t handle = FieldValue(table, MemoA, buffer);
    EXPECT_LT(handle, 0);
    EXPECT_TRUE(table.IsBlobOpen(false, MemoA, buffer));
    EXPECT_EQ(table.OpenBlob(false, MemoA, Write, buffer), 0);
    EXPECT_EQ(FieldValue(table, MemoA, buffer), handle);
    ASSERT_EQ(table.BlobFile().OpenValues().size(), 1u);
    EXPECT_EQ(table.BlobFile().OpenValues()[0].Value->OpenMode(), Read);
    EXPECT_EQ(table.BlobFile().OpenValues()[0].Value->OwnerSlot(), SlotNumber(1));
}

// ---- Field access ----

TEST_F(DataFileBlobsTest, AnOpenValueIsBlankExactlyWhenEmpty) {
    TDataFile table;
    Open(table);
    Bytes buffer = Buffer(table, 1);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Write, buffer), 0);
    const std::int32_t handle = FieldValue(table, MemoA, buffer);
    EXPECT_TRUE(table.GetField(false, MemoA, buffer));
    EXPECT_EQ(Flag(table, MemoA, buffer), 0);
    ASSERT_EQ(WriteText(table, MemoA, buffer, "12345"), 0);
    EXPECT_FALSE(table.GetField(false, MemoA, buffer));
    // Storing the handle again sets the flag by the value's length.
    SetStored(table, buffer, MemoA, I32(handle));
    EXPECT_EQ(Flag(table, MemoA, buffer), 1);
    ASSERT_EQ(table.TruncateBlob(false, MemoA, 0, buffer), 0);
    EXPECT_TRUE(table.GetField(false, MemoA, buffer));
    SetStored(table, buffer, MemoA, I32(handle));
    EXPECT_EQ(Flag(table, MemoA, buffer), 0);
    // A negative value that is no open handle has a value, whatever its flag.
    SetStored(table, buffer, MemoB, I32(-999));
    EXPECT_EQ(Flag(table, MemoB, buffer), 1);
    buffer.at(table.GetFieldDesc(false, MemoB).Offset) = 0;
    EXPECT_FALSE(table.GetField(false, MemoB, buffer));
}

// ---- Handles ----

TEST_F(DataFileBlobsTest, AnOldBufferCannotReachAValueOpenedAfterItsClose) {
    TDataFile table;
    Open(table);
    Bytes edited = Buffer(table, 1);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Write, edited), 0);
    // The old-value buffer keeps the negated handle the cancelled edit had.
    const Bytes old = edited;
    table.FreeBlobs();
    Bytes other = Buffer(table, 2);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Write, other), 0);
    ASSERT_EQ(WriteText(table, MemoA, other, "record two"), 0);
    EXPECT_NE(FieldValue(table, MemoA, other), FieldValue(table, MemoA, old));
    Bytes stale = old;
    Bytes bytes(10);
    std::int32_t got = 0;
    EXPECT_EQ(table.ReadBlob(false, MemoA, got, 10, bytes, 0, stale), engine::ErrInvalidBlobHandle);
    EXPECT_EQ(WriteText(table, MemoA, stale, "overwrite!"), engine::ErrInvalidBlobHandle);
    EXPECT_EQ(table.OpenBlob(false, MemoA, Write, stale), engine::ErrInvalidBlobOffset);
    EXPECT_FALSE(table.IsBlobOpen(false, MemoA, stale));
    EXPECT_EQ(ReadText(table, MemoA, other), "record two");
}

TEST_F(DataFileBlobsTest, ClosingTheTableFreesEveryValue) {
    TDataFile table;
    Open(table);
    Bytes buffer = Buffer(table, 1);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Write, buffer), 0);
    ASSERT_EQ(table.OpenBlob(false, MemoB, Write, buffer), 0);
    ASSERT_EQ(WriteText(table, MemoB, buffer, "dropped"), 0);
    table.Close();
    Open(table);
    EXPECT_TRUE(table.BlobFile().OpenValues().empty());
    for (std::uint16_t field : {MemoA, MemoB}) {
        std::int32_t size = 3;
        EXPECT_EQ(table.GetBlobSize(false, field, size, buffer), engine::ErrInvalidBlobHandle);
        EXPECT_FALSE(table.IsBlobOpen(false, field, buffer));
    }
    // The next value's handle is neither of the old ones.
    Bytes fresh = Buffer(table, 1);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Write, fresh), 0);
    EXPECT_FALSE(table.IsBlobOpen(false, MemoA, buffer));
    EXPECT_FALSE(table.IsBlobOpen(false, MemoB, buffer));
}

// ---- The post sequence ----

TEST_F(DataFileBlobsTest, APostStoresTheFirstBlocksAndTheValuesReload) {
    {
        TDataFile table;
        Open(table);
        Bytes buffer = Buffer(table, 2);
        ASSERT_EQ(table.OpenBlob(false, MemoA, Write, buffer), 0);
        ASSERT_EQ(table.OpenBlob(false, MemoB, Write, buffer), 0);
        ASSERT_EQ(WriteText(table, MemoA, buffer, Pattern(1500)), 0);
        ASSERT_EQ(WriteText(table, MemoB, buffer, "photo"), 0);
        Post(table, 2, buffer);
        // The record holds the first blocks; the buffer still the handles until its values are closed.
        const Bytes stored = Buffer(table, 2);
        EXPECT_GT(FieldValue(table, MemoA, stored), 0);
        EXPECT_GT(FieldValue(table, MemoB, stored), 0);
        EXPECT_EQ(Flag(table, MemoA, stored), 1);
        EXPECT_LT(FieldValue(table, MemoA, buffer), 0);
        for (std::uint16_t field : {MemoA, MemoB}) ASSERT_EQ(table.CloseBlob(false, field, buffer), 0);
        EXPECT_EQ(FieldValue(table, MemoA, buffer), FieldValue(table, MemoA, stored));
        EXPECT_EQ(FieldValue(table, MemoB, buffer), FieldValue(table, MemoB, stored));
        EXPECT_EQ(Flag(table, MemoB, buffer), 1);
        EXPECT_TRUE(table.BlobFile().OpenValues().empty());
    }
    TDataFile table;
    Open(table);
    Bytes buffer = Buffer(table, 2);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
    ASSERT_EQ(table.OpenBlob(false, MemoB, Read, buffer), 0);
    EXPECT_EQ(ReadText(table, MemoA, buffer), Pattern(1500));
    EXPECT_EQ(ReadText(table, MemoB, buffer), "photo");
}

TEST_F(DataFileBlobsTest, AValueEmptiedAndPostedFreesItsChain) {
    const std::int32_t first = StoreMemo(Pattern(1200));
    ASSERT_GT(first, 0);
    {
        TDataFile table;
        Open(table);
        Bytes buffer = Buffer(table, 2);
        ASSERT_EQ(table.OpenBlob(false, MemoA, Write, buffer), 0);
        ASSERT_EQ(table.TruncateBlob(false, MemoA, 0, buffer), 0);
        Post(table, 2, buffer);
        ASSERT_EQ(table.CloseBlob(false, MemoA, buffer), 0);
        EXPECT_EQ(FieldValue(table, MemoA, buffer), 0);
        EXPECT_TRUE(table.GetField(false, MemoA, buffer));
        EXPECT_NE(table.BlobFile().Header().FreeHead, BlockOffset{});
    }
    // tarnis-check finds the chain's blocks on the free list, and no chain in the record.
}

TEST_F(DataFileBlobsTest, ClosingWithoutAPostDropsTheChanges) {
    const std::int32_t first = StoreMemo("stored value");
    const std::string before = ReadBytes("t.BLB");
    {
        TDataFile table;
        Open(table);
        Bytes buffer = Buffer(table, 2);
        ASSERT_EQ(table.OpenBlob(false, MemoA, Write, buffer), 0);
        ASSERT_EQ(WriteText(table, MemoA, buffer, Pattern(2000), 5), 0);
        ASSERT_EQ(table.CloseBlob(false, MemoA, buffer), 0);
        EXPECT_EQ(FieldValue(table, MemoA, buffer), first);
        ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
        EXPECT_EQ(ReadText(table, MemoA, buffer), "stored value");
    }
    EXPECT_EQ(ReadBytes("t.BLB"), before);
}

TEST_F(DataFileBlobsTest, ValuesOfAnotherRecordAreNotSavedWithThisOne) {
    StoreMemo("value of two");
    const std::string before = ReadBytes("t.BLB");
    {
        TDataFile table;
        Open(table);
        Bytes two = Buffer(table, 2);
        Bytes three = Buffer(table, 3);
        ASSERT_EQ(table.OpenBlob(false, MemoA, Write, two), 0);
        ASSERT_EQ(WriteText(table, MemoA, two, "CHANGED"), 0);
        ASSERT_EQ(table.OpenBlob(false, MemoB, Write, three), 0);
        ASSERT_EQ(WriteText(table, MemoB, three, "three"), 0);
        EXPECT_EQ(EngineCode([&] { table.BlobFile().SaveModified(); }), engine::ErrBlobBuffersCorrupt);
        table.FreeBlobs();
        EXPECT_TRUE(table.BlobFile().OpenValues().empty());
    }
    EXPECT_EQ(ReadBytes("t.BLB"), before);
}

// ---- Record changes ----

// A change saves, re-owns and stores the values its own record holds, and no other: a value open on another
// buffer keeps its owner and its unsaved bytes through an insert, a modify and a delete.
TEST_F(DataFileBlobsTest, AChangeSavesOnlyTheValuesItsRecordHolds) {
    StoreMemo("value of two");
    TDataFile table;
    Open(table, false);
    Bytes three = Buffer(table, 3);
    ASSERT_EQ(table.OpenBlob(false, MemoB, Write, three), 0);
    ASSERT_EQ(WriteText(table, MemoB, three, "unsaved photo of three"), 0);
    const auto unsaved = [&] { return table.BlobFile().FindFieldValue(FieldValue(table, MemoB, three)); };

    Bytes added = Buffer(table, 1);
    SetStored(table, added, IdField, I32(4));
    ASSERT_EQ(table.OpenBlob(false, MemoA, Write, added), 0);
    ASSERT_EQ(WriteText(table, MemoA, added, "memo of four"), 0);
    table.InsertRecord(added, false);
    const SlotNumber four = table.CurrentRecord()->RecordNumber();
    EXPECT_EQ(FieldValue(table, MemoB, Current(table)), 0);
    EXPECT_EQ(ReadBlobValue(table, MemoA, table.CurrentRecord()->Image()), "memo of four");
    ASSERT_NE(unsaved(), nullptr);
    EXPECT_TRUE(unsaved()->Changed());
    EXPECT_EQ(unsaved()->OwnerSlot(), SlotNumber(3));

    GoToSlot(table, SlotNumber(2));
    Bytes two = Buffer(table, 2);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Write, two), 0);
    ASSERT_EQ(WriteText(table, MemoA, two, "VALUE"), 0);
    table.ModifyRecord(two, false, false);
    EXPECT_EQ(FieldValue(table, MemoB, Current(table)), 0);
    EXPECT_EQ(ReadBlobValue(table, MemoA, table.CurrentRecord()->Image()), "VALUE of two");
    EXPECT_TRUE(unsaved()->Changed());
    EXPECT_EQ(unsaved()->OwnerSlot(), SlotNumber(3));

    // The delete frees slot 2's chain; the value still open on its buffer forgets it.
    DeleteSlot(table, SlotNumber(2));
    EXPECT_TRUE(unsaved()->Changed());
    EXPECT_EQ(unsaved()->OwnerSlot(), SlotNumber(3));
    EXPECT_EQ(table.BlobFile().FindFieldValue(FieldValue(table, MemoA, two))->FirstBlock(), BlockOffset{});

    // The value reaches its own record when that record is posted.
    GoToSlot(table, SlotNumber(3));
    table.ModifyRecord(three, false, false);
    EXPECT_EQ(ReadBlobValue(table, MemoB, table.CurrentRecord()->Image()), "unsaved photo of three");
    table.FreeBlobs();
    EXPECT_EQ(ReadBlobValue(table, MemoA, Buffer(table, four.Value)), "memo of four");
}

// A delete opens no value of its own: the values the caller has open do not count against it.
TEST_F(DataFileBlobsTest, ADeleteWithEveryValueSlotButOneTakenSucceeds) {
    StoreMemo(Pattern(700));
    TDataFile table;
    Open(table, false);
    std::vector<Bytes> buffers(engine::MaxOpenBlobs - 1, Buffer(table, 1));
    for (Bytes& buffer : buffers) ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
    const BlockOffset end = table.BlobFile().GetEndOfFile();
    DeleteSlot(table, SlotNumber(2));
    EXPECT_EQ(table.BlobFile().OpenValues().size(), engine::MaxOpenBlobs - 1);
    EXPECT_NE(table.BlobFile().Header().FreeHead, BlockOffset{});
    EXPECT_EQ(table.BlobFile().GetEndOfFile(), end);
}

// A record the post would write with a handle no value has is refused before anything changes.
TEST_F(DataFileBlobsTest, APostOfAStaleHandleIsRefused) {
    TDataFile table;
    Open(table, false);
    Bytes buffer = Buffer(table, 2);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Write, buffer), 0);
    table.FreeBlobs();
    GoToSlot(table, SlotNumber(2));
    EXPECT_EQ(EngineCode([&] { table.ModifyRecord(buffer, false, false); }), engine::ErrInvalidBlobOffset);
    EXPECT_EQ(engine::CurrentErrorContext().FieldName, "MEMO");
    EXPECT_EQ(FieldValue(table, MemoA, Buffer(table, 2)), 0);
}

TEST_F(DataFileBlobsTest, EmptyingTheTableFreesTheOpenValues) {
    StoreMemo(Pattern(1200));
    TDataFile table;
    Open(table);
    Bytes buffer = Buffer(table, 2);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Write, buffer), 0);
    ASSERT_EQ(WriteText(table, MemoA, buffer, "changed"), 0);
    table.EmptyTable();
    EXPECT_TRUE(table.BlobFile().OpenValues().empty());
    EXPECT_FALSE(table.IsBlobOpen(false, MemoA, buffer));
    EXPECT_EQ(table.BlobFile().GetEndOfFile(), BlockOffset(engine::FirstBlockOffset));
}

// ---- Damaged files ----

// Each a small patch of a sound table of 11 KB: nothing read from the large-object file decides an
// allocation or an append before it is checked against the file's size, so each is refused at once.
TEST_F(DataFileBlobsTest, ADamagedLargeObjectFileIsRefusedBeforeAnythingIsSizedFromIt) {
    const std::int32_t first = StoreMemo(Pattern(10000));
    ASSERT_GT(first, 0);
    const std::string sound = ReadBytes("t.BLB");
    ASSERT_EQ(sound.size(), 512u + 21u * 512u);
    constexpr std::size_t TotalLengthAt = 14;
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        int openCode;
        int loadCode;
    };
    const Case cases[] = {
        {"end of file at the append limit", [](std::string& f) { PutLE(f, 13, 4, 2000000000u); },
         engine::ErrHeaderCorrupt, 0},
        {"end of file a block beyond the file", [&](std::string& f) { PutLE(f, 13, 4, sound.size() + 512); },
         engine::ErrHeaderCorrupt, 0},
        {"end of file and the value's length near two billion",
         [&](std::string& f) {
             PutLE(f, 13, 4, 2000000000u);
             PutLE(f, first + TotalLengthAt, 4, 2000000064u);
         },
         engine::ErrHeaderCorrupt, 0},
        {"the value's length near two billion",
         [&](std::string& f) { PutLE(f, first + TotalLengthAt, 4, 2000000064u); }, 0, engine::ErrEndOfBlob},
        {"the value's length all the file's blocks carry, in a chain of one",
         [&](std::string& f) {
             PutLE(f, first + TotalLengthAt, 4, 21 * 494);
             PutLE(f, first + 4, 4, 0);
         },
         0, engine::ErrEndOfBlob},
    };
    std::filesystem::create_directory("crafted");
    for (const char* extension : {".DAT", ".IDX"}) {
        std::filesystem::copy_file(std::string("t") + extension, std::string("crafted/t") + extension);
    }
    for (const Case& c : cases) {
        for (const bool exclusive : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (exclusive ? ", exclusive" : ", shared"));
            std::string bytes = sound;
            c.damage(bytes);
            WriteBytes("crafted/t.BLB", bytes);
            TDataFile table;
            table.SetFileName("crafted/t");
            table.SetExclusive(exclusive);
            table.SetReadOnly(!exclusive);
            EXPECT_EQ(EngineCode([&] { table.Open(); }), c.openCode);
            if (c.openCode != 0) {
                EXPECT_EQ(engine::CurrentErrorContext().FileName, "crafted/t.BLB");
                EXPECT_FALSE(table.IsOpen());
                continue;
            }
            Bytes buffer = Buffer(table, 2);
            EXPECT_EQ(EngineCode([&] { table.OpenBlob(false, MemoA, Read, buffer); }), c.loadCode);
            EXPECT_EQ(engine::CurrentErrorContext().FileName, "crafted/t.BLB");
            EXPECT_TRUE(table.BlobFile().OpenValues().empty());
            EXPECT_EQ(ReadBytes("crafted/t.BLB"), bytes);
        }
    }
}

// ---- The read protocol ----

TEST_F(DataFileBlobsTest, StrictDetectionReadsUnderItsOwnLockAndSeesAnotherHandlesChange) {
    StoreMemo(Pattern(600, 1));
    TDataFile table;
    TDataFile other;
    Open(table, false, true);
    Open(other, false);
    Bytes buffer = Buffer(table, 2);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
    EXPECT_EQ(ReadText(table, MemoA, buffer), Pattern(600, 1));
    EXPECT_FALSE(table.OperationReadLockHeld());
    ASSERT_TRUE(other.BlobFile().WriteLock());
    ASSERT_TRUE(other.BlobFile().WriteUnlock());
    ASSERT_EQ(table.CloseBlob(false, MemoA, buffer), 0);

    // Another handle rewrites the value in its blocks; the blocks this handle has cached are stale.
    const Bytes changed = RewriteMemo(other, Pattern(600, 2));
    EXPECT_EQ(changed, buffer);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
    EXPECT_EQ(ReadText(table, MemoA, buffer), Pattern(600, 2));

    // A value of another record is not opened for this one: the record's own value is, and the lock goes.
    Bytes three = Buffer(table, 3);
    SetStored(table, three, MemoA, I32(FieldValue(table, MemoA, changed)));
    ASSERT_EQ(table.OpenBlob(false, MemoA, Write, three), 0);
    EXPECT_EQ(ReadText(table, MemoA, three), "");
    EXPECT_FALSE(table.OperationReadLockHeld());
    EXPECT_TRUE(other.BlobFile().WriteLock());
    EXPECT_TRUE(other.BlobFile().WriteUnlock());
}

// Without strict detection a value another handle appended lies beyond the end of file this handle knows:
// the change check that a miss runs reads the header again before the offset is judged.
TEST_F(DataFileBlobsTest, WithoutStrictDetectionAValueAppendedByAnotherHandleLoads) {
    TDataFile table;
    TDataFile other;
    Open(table, false);
    Open(other, false);
    ASSERT_EQ(table.BlobFile().GetEndOfFile(), BlockOffset(engine::FirstBlockOffset));
    Bytes buffer = RewriteMemo(other, Pattern(1500, 4));
    ASSERT_GT(FieldValue(table, MemoA, buffer), 0);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
    EXPECT_EQ(ReadText(table, MemoA, buffer), Pattern(1500, 4));
    EXPECT_FALSE(table.OperationReadLockHeld());
}

TEST_F(DataFileBlobsTest, WithoutStrictDetectionAMissFindsAnotherHandlesChange) {
    StoreMemo(Pattern(600, 1));
    TDataFile table;
    TDataFile other;
    Open(table, false);
    Open(other, false);
    Bytes buffer = Buffer(table, 2);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
    ASSERT_EQ(table.CloseBlob(false, MemoA, buffer), 0);

    RewriteMemo(other, Pattern(600, 2));

    // The cached blocks answer without a look at the file.
    ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
    EXPECT_EQ(ReadText(table, MemoA, buffer), Pattern(600, 1));
    ASSERT_EQ(table.CloseBlob(false, MemoA, buffer), 0);
    // A miss compares the change counters and drops the stale blocks: the value loads as it is now.
    Buffer(table, 3);
    ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
    EXPECT_EQ(ReadText(table, MemoA, buffer), Pattern(600, 2));
    EXPECT_FALSE(table.OperationReadLockHeld());
}

// A record image fetched before another program rewrote the value, and another record took the freed
// blocks: the value opens as the record holds it now, never as whatever the old blocks hold.
TEST_F(DataFileBlobsTest, AValueRewrittenElsewhereSinceTheFetchOpensAsTheRecordHoldsItNow) {
    for (const bool strict : {false, true}) {
        SCOPED_TRACE(strict ? "strict" : "not strict");
        StoreMemo(std::string(3000, 'A'));
        TDataFile table;
        TDataFile other;
        Open(table, false, strict);
        Open(other, false);
        const Bytes fetched = Buffer(table, 2);

        RewriteMemo(other, std::string(3000, 'C'));
        RewriteMemo(other, std::string(3000, 'D'), 3);

        Bytes buffer = fetched;
        ASSERT_EQ(table.OpenBlob(false, MemoA, Read, buffer), 0);
        EXPECT_EQ(ReadText(table, MemoA, buffer), std::string(3000, 'C'));
        ASSERT_EQ(table.CloseBlob(false, MemoA, buffer), 0);
        EXPECT_FALSE(table.OperationReadLockHeld());

        // The slot holds another record now: the image's record is gone, and the table and field are named
        // (by a handle that has none of the blocks cached, which without strict detection answer as cached).
        TDataFile fresh;
        Open(fresh, false, strict);
        Bytes gone = fetched;
        fresh.SetRecordId(gone, engine::RecordId(fresh.GetRecordId(fetched).Value + 1000));
        EXPECT_EQ(fresh.OpenBlob(false, MemoA, Read, gone), engine::ErrRecordNotFound);
        EXPECT_EQ(engine::CurrentErrorContext().FieldName, "MEMO");
        EXPECT_NE(engine::CurrentErrorContext().FileName.find("t"), std::string::npos);
        EXPECT_FALSE(fresh.OperationReadLockHeld());
    }
}

}  // namespace
