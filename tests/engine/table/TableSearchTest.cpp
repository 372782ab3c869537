#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/base/EngineState.h"
#include "engine/base/FileBytes.h"
#include "engine/base/FileSession.h"
#include "engine/table/DataFile.h"
#include "tests/engine/support/CursorTestTable.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::SlotNumber;
using Image = std::vector<std::uint8_t>;

class TableSearchTest : public TableTest {
protected:
    void SetUp() override {
        CreateCursorTable("t");
        FillCursorTable("t", FiveRows);
    }
};

// ---- Key searches ----

TEST_F(TableSearchTest, FindKeyOnATwoFieldIndexInEitherDirection) {
    struct Case {
        const char* what;
        std::int32_t group;
        std::string name;
        int fieldCount;
        bool nearest;
        std::uint8_t partial;
        bool found;
        // Where the cursor stands afterwards, ascending and descending.
        std::int32_t ascending, descending;
    };
    // Ascending: 10 (1 alpha), 20 (1 bravo), 30 (2 alpha), 40 (2 charlie), 50 (3 bravo); descending the
    // reverse. The cursor starts on the first key of the order (10 or 50).
    const Case cases[] = {
        {"exact", 2, "alpha", 0, false, 0, true, 30, 30},
        {"exact miss stays", 2, "b", 0, false, 0, false, 10, 50},
        {"nearest miss", 2, "b", 0, true, 0, false, 40, 30},
        {"first of a value", 2, "", 1, false, 0, true, 30, 40},
        {"no such value", 4, "", 1, false, 0, false, 50, 50},
        {"no such value below", 0, "", 1, false, 0, false, 10, 10},
        {"partial length 2", 1, "br", 1, false, 2, true, 20, 20},
        {"partial length 2 missed", 1, "bx", 1, false, 2, false, 30, 20},
        {"above every key", 9, "z", 0, true, 0, false, 50, 50},
        {"below every key", 0, "a", 0, true, 0, false, 10, 10},
    };
    engine::TDataFile table;
    OpenTable(table, "t");
    for (const bool descending : {false, true}) {
        table.SetIndexName(descending ? "GrpNameDesc" : "GrpName");
        for (const Case& c : cases) {
            table.GotoRecNo(1);
            const Image source = RowImage(table, 0, c.group, c.name);
            Image image(table.GetRecordBufferSize());
            EXPECT_EQ(table.FindKey(false, source, c.fieldCount, c.nearest, c.partial, image), c.found)
                << c.what << " " << descending;
            const std::int32_t at = descending ? c.descending : c.ascending;
            EXPECT_EQ(CurrentId(table), at) << c.what << " " << descending;
            EXPECT_EQ(IdOf(table, image), at) << c.what << " " << descending;
            EXPECT_FALSE(table.GetCurrentRecord({}, false)) << c.what << " " << descending;
        }
    }
}

TEST_F(TableSearchTest, FindKeyTakesAKeyBufferAndRefusesShortSources) {
    engine::TDataFile table;
    OpenTable(table, "t");
    table.SetIndexName("GrpName");
    engine::TIndexKey key;
    table.BuildKey(RowImage(table, 0, 2, "charlie"), key);
    const Image buffer(key.Bytes.begin(), key.Bytes.begin() + key.Length);
    EXPECT_TRUE(table.FindKey(true, buffer, 0, false, 0));
    EXPECT_EQ(CurrentId(table), 40);
    const Image shortKey(buffer.begin(), buffer.end() - 1);
    const Image shortImage(table.GetRecordBufferSize() - 1);
    EXPECT_EQ(EngineCode([&] { table.FindKey(true, shortKey, 0, false, 0); }),
              engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(EngineCode([&] { table.FindKey(false, shortImage, 0, false, 0); }),
              engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(EngineCode([&] { table.FindRecordKey(shortImage); }), engine::ErrRecordBuffersCorrupt);
    // No source at all: not found, nothing moves.
    EXPECT_FALSE(table.FindKey(true, {}, 0, true, 0));
    EXPECT_FALSE(table.FindRecordKey({}));
    EXPECT_EQ(CurrentId(table), 40);
    EXPECT_FALSE(table.OperationReadLockHeld());
}

TEST_F(TableSearchTest, ANonUniqueIndexIgnoresTheRecordIdSuffix) {
    engine::TDataFile table;
    OpenTable(table, "t");
    table.SetIndexName("ByName");
    // The image's record ID (0) is no record's.
    const Image bravo = RowImage(table, 0, 0, "bravo");
    EXPECT_TRUE(table.FindKey(false, bravo, 0, false, 0));
    EXPECT_EQ(CurrentId(table), 20);
    table.SetToBegin();
    EXPECT_TRUE(table.FindRecordKey(bravo));
    EXPECT_EQ(StoredText(table, table.GetCurrentRecordImage(), CursorNameField), "bravo");
    EXPECT_FALSE(table.FindRecordKey(RowImage(table, 0, 0, "delta")));
    // The record's own image finds its own key.
    table.GotoRecNo(5);
    const Image charlie(table.GetCurrentRecordImage().begin(), table.GetCurrentRecordImage().end());
    table.SetToBegin();
    EXPECT_TRUE(table.FindRecordKey(charlie));
    EXPECT_EQ(CurrentId(table), 40);
}

// A query's grouped row loop: the group looked up by its key, the record found changed or a new one inserted,
// all without bitmap upkeep, while the index grows over many pages. The key search once found the key but
// delivered whatever record was current: the cursor counted the keys the index had when it was selected.
TEST_F(TableSearchTest, FindRecordKeyDeliversTheRecordOfItsKeyWhileTheIndexGrows) {
    for (const bool primary : {true, false}) {
        SCOPED_TRACE(primary ? "primary" : "no primary");
        const std::string name = primary ? "g" : "gn";
        enginetest::CreateCursorTable(name, !primary);
        engine::TDataFile table;
        table.SetFileName(name);
        table.SetExclusive(true);
        table.Open();
        table.SetIndexName("GrpName");
        std::mt19937 random(50);
        std::map<std::pair<std::int32_t, std::string>, int> counts;
        std::int32_t nextId = 1;
        for (int row = 0; row < 3000; ++row) {
            const std::int32_t group = static_cast<std::int32_t>(random() % 40);
            const std::string key = "name" + std::to_string(random() % 30);
            Image image = RowImage(table, nextId, group, key);
            Image found(table.GetRecordBufferSize());
            if (table.FindRecordKey(image, found)) {
                std::vector<std::uint8_t> stored(4, 0);
                table.GetField(false, CursorGroupField, found, stored);
                ASSERT_EQ(static_cast<std::int32_t>(engine::LoadU32(stored.data())), group) << "row " << row;
                ASSERT_EQ(StoredText(table, found, CursorNameField), key) << "row " << row;
                const int count = std::stoi(StoredText(table, found, CursorNoteField)) + 1;
                SetStored(table, found, CursorNoteField, Str(std::to_string(count)));
                table.ModifyRecord(found, false, false);
                counts[{group, key}] = count;
            } else {
                ASSERT_EQ(counts.count({group, key}), 0u) << "row " << row;
                SetStored(table, image, CursorNoteField, Str("1"));
                table.InsertRecord(image, false);
                ++nextId;
                counts[{group, key}] = 1;
            }
        }
        EXPECT_EQ(table.GetRecordCount(), static_cast<std::int32_t>(counts.size()));
        table.Close();
    }
}

// ---- Ranges and index switches ----

TEST_F(TableSearchTest, ARangeOfOneFirstFieldValueInEitherDirection) {
    engine::TDataFile table;
    OpenTable(table, "t");
    for (const bool descending : {false, true}) {
        table.SetIndexName(descending ? "GrpNameDesc" : "GrpName");
        // Start and end built from one record: only its first field counts.
        const Image source = RowImage(table, 0, 2, "bravo");
        table.SetRange(false, source, 1, source, 1);
        EXPECT_EQ(table.GetRecordCount(), 2) << descending;
        EXPECT_EQ(WalkIds(table),
                  (descending ? std::vector<std::int32_t>{40, 30} : std::vector<std::int32_t>{30, 40}));
        table.GotoRecNo(2);
        EXPECT_EQ(table.GetRecNo(), 2) << descending;
        EXPECT_EQ(CurrentId(table), descending ? 30 : 40);
        // The clone has the same range and record.
        const std::unique_ptr<engine::TDataFile> clone = table.CloneCursor();
        EXPECT_EQ(clone->GetIndexName(), table.GetIndexName());
        EXPECT_EQ(clone->GetRecordCount(), 2) << descending;
        EXPECT_EQ(clone->GetRecNo(), 2) << descending;
        EXPECT_EQ(CurrentId(*clone), CurrentId(table)) << descending;
        table.CancelRange();
        EXPECT_EQ(table.GetRecordCount(), 5) << descending;
        // Re-found in the whole index.
        EXPECT_EQ(CurrentId(table), descending ? 30 : 40);
        EXPECT_EQ(table.GetRecNo(), descending ? 3 : 4);
    }
}

TEST_F(TableSearchTest, AnIndexSwitchKeepsTheRecordAndAnUnknownNameChangesNothing) {
    engine::TDataFile table;
    OpenTable(table, "t");
    table.GotoRecNo(4);
    ASSERT_EQ(CurrentId(table), 40);
    table.SetIndexName("grpnamedesc");
    EXPECT_EQ(table.GetIndexNumber(), 2);
    EXPECT_EQ(CurrentId(table), 40);
    EXPECT_EQ(table.GetRecNo(), 2);
    EXPECT_EQ(EngineCode([&] { table.SetIndexName("nope"); }), engine::ErrInvalidIndexName);
    EXPECT_EQ(EngineCode([&] { table.SetIndexNumber(9); }), engine::ErrInvalidIndexName);
    EXPECT_EQ(table.GetIndexNumber(), 2);
    EXPECT_EQ(CurrentId(table), 40);
    EXPECT_EQ(table.GetRecNo(), 2);
    EXPECT_FALSE(table.OperationReadLockHeld());
    // A range goes with the index it was set on.
    const Image source = RowImage(table, 0, 1, "");
    table.SetRange(false, source, 1, source, 1);
    ASSERT_EQ(table.GetRecordCount(), 2);
    table.SetIndexNumber(0);
    EXPECT_EQ(table.GetRecordCount(), 5);
    EXPECT_EQ(table.GetKeySize(), 5);
    EXPECT_EQ(table.GetKeyLength(), 5);
    EXPECT_EQ(table.GetCurrentIndexFieldCount(), 1);
    EXPECT_TRUE(table.GetCurrentIndexUnique());
}

// ---- Bookmarks ----

TEST_F(TableSearchTest, BookmarksRoundTripOverDuplicateKeysAndFollowTheIndexOrder) {
    engine::TDataFile table;
    OpenTable(table, "t");
    table.SetIndexName("ByName");
    EXPECT_EQ(table.GetKeySize(), table.GetKeyLength());
    const std::vector<std::int32_t> walk = WalkIds(table);
    ASSERT_EQ(walk, (std::vector<std::int32_t>{10, 30, 20, 50, 40}));
    std::vector<Image> bookmarks;
    for (std::size_t n = 1; n <= walk.size(); ++n) {
        table.GotoRecNo(static_cast<std::int32_t>(n));
        bookmarks.emplace_back(table.GetKeySize());
        table.GetBookmark(bookmarks.back());
    }
    for (std::size_t n = walk.size(); n-- > 0;) {
        table.GotoBookmark(bookmarks[n], false);
        EXPECT_EQ(CurrentId(table), walk[n]) << n;
        if (n > 0) {
            EXPECT_EQ(table.CompareBookmarks(bookmarks[n - 1], bookmarks[n]), -1) << n;
        }
    }
    table.SetIndexName("GrpNameDesc");
    Image first(table.GetKeySize());
    Image second(table.GetKeySize());
    table.GotoRecNo(1);
    table.GetBookmark(first);
    table.GotoRecNo(2);
    table.GetBookmark(second);
    EXPECT_EQ(table.CompareBookmarks(first, second), -1);
    EXPECT_EQ(table.CompareBookmarks(second, first), 1);
    EXPECT_EQ(table.CompareBookmarks(first, first), 0);
    EXPECT_EQ(EngineCode([&] { table.GotoBookmark(Image(first.size() - 1), false); }),
              engine::ErrRecordBuffersCorrupt);
    // Without a position the bookmark is all zero.
    table.IndexFile().ClearPosition();
    table.GetBookmark(first);
    EXPECT_EQ(first, Image(first.size(), 0));
}

TEST_F(TableSearchTest, TheBookmarkOfADeletedRecordLandsOnTheNextKey) {
    engine::TDataFile table;
    OpenTable(table, "t", true);
    table.GotoRecNo(3);
    Image bookmark(table.GetKeySize());
    table.GetBookmark(bookmark);
    DeleteSlot(table, SlotNumber(3));
    table.SetToBegin();
    table.GotoBookmark(bookmark, false);
    EXPECT_EQ(CurrentId(table), 40);
}

class NaturalSearchTest : public TableTest {
protected:
    void SetUp() override { CreateNaturalTables(); }
};

TEST_F(NaturalSearchTest, NaturalOrderBookmarksAreSlotsComparedAsNumbers) {
    for (const std::string name : {"np", "t"}) {
        engine::TDataFile table;
        OpenNatural(table, name);
        EXPECT_EQ(table.GetKeySize(), 4) << name;
        EXPECT_EQ(table.CompareBookmarks(SlotBookmark(2), SlotBookmark(256)), -1) << name;
        EXPECT_EQ(table.CompareBookmarks(SlotBookmark(256), SlotBookmark(2)), 1) << name;
        EXPECT_EQ(table.CompareBookmarks(SlotBookmark(9), SlotBookmark(9)), 0) << name;
        // A hidden slot leads to the next visible one.
        table.GotoBookmark(SlotBookmark(3), false);
        EXPECT_EQ(CurrentId(table), 50) << name;
        Image bookmark(4);
        table.GetBookmark(bookmark);
        EXPECT_EQ(bookmark, SlotBookmark(5)) << name;
        EXPECT_EQ(table.GetRecNo(), 2) << name;
    }
}

TEST_F(NaturalSearchTest, GotoCurrentInNaturalOrderGoesToAVisibleSlot) {
    for (const std::string name : {"np", "t"}) {
        engine::TDataFile table;
        engine::TDataFile other;
        OpenNatural(table, name);
        OpenTable(other, name);
        other.SetIndexName("GrpName");
        other.GotoRecNo(5);
        EXPECT_EQ(table.GotoCurrent(other), 0) << name;
        EXPECT_EQ(CurrentId(table), 50) << name;
        // Slot 3 is hidden here: the position stays.
        other.GotoRecNo(3);
        EXPECT_EQ(table.GotoCurrent(other), engine::ErrRecordNotFound) << name;
        EXPECT_EQ(CurrentId(table), 50) << name;
        // A clone keeps natural order and the visible slot.
        const std::unique_ptr<engine::TDataFile> clone = table.CloneCursor();
        EXPECT_EQ(clone->GetIndexNumber(), table.GetIndexNumber()) << name;
    }
}

// A search decides on what the file holds, not on index pages cached before another program's change: A's
// pages still hold ID 20, which B has deleted. The record of ID 20 lies apart from the one A has read (slots
// 1, 3 and 2 in key order), so loading it misses the cache, meets B's change and would deliver ID 30.
TEST_F(TableSearchTest, ASearchAnswersForTheRecordItDeliversAfterAnotherProgramsDelete) {
    CreateCursorTable("k");
    FillCursorTable("k", {{10, 1, "a"}, {30, 3, "c"}, {20, 2, "b"}});
    // Each search of ID 20 through A; C stands on ID 20 (for GotoCurrent) from before B's delete.
    using Search = std::function<bool(engine::TDataFile & a, engine::TDataFile & c, Image & out)>;
    const std::vector<std::pair<const char*, Search>> cases = {
        {"FindKey", [](engine::TDataFile& a, engine::TDataFile&,
                       Image& out) { return a.FindKey(false, RowImage(a, 20, 0, ""), 1, false, 0, out); }},
        {"FindRecordKey", [](engine::TDataFile& a, engine::TDataFile&,
                             Image& out) { return a.FindRecordKey(RowImage(a, 20, 0, ""), out); }},
        {"GotoCurrent",
         [](engine::TDataFile& a, engine::TDataFile& c, Image& out) {
             return a.GotoCurrent(c) == 0 && a.GetCurrentRecord(out, false) == 0;
         }},
    };
    for (const auto& [what, search] : cases) {
        SCOPED_TRACE(what);
        engine::TDataFile a;
        engine::TDataFile b;
        engine::TDataFile c;
        OpenTable(a, "k");
        OpenTable(b, "k");
        OpenTable(c, "k");
        Image found(a.GetRecordBufferSize());
        ASSERT_TRUE(a.FindKey(false, RowImage(a, 10, 0, ""), 1, false, 0, found));
        ASSERT_TRUE(c.FindKey(false, RowImage(c, 20, 0, ""), 1, false, 0, {}));
        ASSERT_TRUE(b.FindKey(false, RowImage(b, 20, 0, ""), 1, false, 0, {}));
        b.DeleteRecord(true);
        Image delivered(a.GetRecordBufferSize());
        const bool answer = search(a, c, delivered);
        if (answer) {
            EXPECT_EQ(IdOf(a, delivered), 20);
            EXPECT_EQ(CurrentId(a), 20);
        }
        EXPECT_FALSE(answer);
        EXPECT_FALSE(a.OperationReadLockHeld());
        // A delete through A after the answer removes no other record.
        if (answer) a.DeleteRecord(true);
        EXPECT_EQ(WalkIds(b), (std::vector<std::int32_t>{10, 30}));
        b.Close();
        a.Close();
        c.Close();
        engine::TDataFile writer;
        OpenTable(writer, "k");
        AddRow(writer, {20, 2, "b"});
    }
}

// ---- Following another handle, and clones ----

TEST_F(TableSearchTest, GotoCurrentReachesTheOtherHandlesRecordUntilItIsDeleted) {
    engine::TDataFile a;
    engine::TDataFile b;
    engine::TDataFile writer;
    OpenTable(a, "t", false, true);
    OpenTable(b, "t");
    OpenTable(writer, "t");
    a.SetIndexName("GrpNameDesc");
    b.GotoRecNo(3);
    EXPECT_EQ(a.GotoCurrent(b), 0);
    EXPECT_EQ(CurrentId(a), 30);
    EXPECT_EQ(a.GetRecNo(), 3);
    b.GotoRecNo(4);
    WriteShared(writer, [&] { DeleteSlot(writer, SlotNumber(4)); });
    EXPECT_EQ(a.GotoCurrent(b), engine::ErrRecordNotFound);
    EXPECT_EQ(CurrentId(a), 30);
    EXPECT_FALSE(a.OperationReadLockHeld());
}

// Following a handle that stands on no record reports no record, also where a record's key is all zero
// (a unique index of one string field, blank in that record).
TEST_F(TableSearchTest, GotoCurrentOfAHandleWithoutARecordReportsNone) {
    std::vector<engine::TFieldDesc> fields = {FieldDef(CursorIdField, "ID", engine::FieldTypeInteger),
                                              FieldDef(2, "NAME", engine::FieldTypeString, 10)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {CursorIdField}),
                                                     IndexDef("ByName", {2}, true)};
    CreateTable("z", fields, indexes);
    engine::TDataFile a;
    engine::TDataFile b;
    OpenTable(a, "z");
    OpenTable(b, "z");
    Insert(a, {{CursorIdField, I32(1)}});
    Insert(a, {{CursorIdField, I32(2)}, {2, Str("named")}});
    a.SetIndexName("ByName");
    a.SetToEnd();
    ASSERT_EQ(a.GetPriorRecord({}), 0);
    ASSERT_EQ(CurrentId(a), 2);
    ASSERT_EQ(b.GetCurrentRecordImage().size(), 0u);
    EXPECT_EQ(a.GotoCurrent(b), engine::ErrRecordNotFound);
    EXPECT_EQ(CurrentId(a), 2);
}

TEST_F(TableSearchTest, AClonesIndexRecordAndOwnerButNotTheLockSettings) {
    engine::TDataFile table;
    OpenTable(table, "t");
    table.SetLockRetryCount(3);
    table.SetLockWaitTime(7);
    table.SetIndexName("ByName");
    table.GotoRecNo(4);
    std::unique_ptr<engine::TDataFile> clone = table.CloneCursor();
    EXPECT_EQ(clone->Owner(), &table);
    EXPECT_FALSE(clone->Exclusive());
    EXPECT_EQ(clone->GetIndexName(), "ByName");
    EXPECT_EQ(CurrentId(*clone), 50);
    EXPECT_EQ(clone->GetRecNo(), 4);
    EXPECT_EQ(clone->LockRetryCount(), engine::DefaultLockRetryCount);
    EXPECT_EQ(clone->LockWaitTime(), engine::DefaultLockWaitTime);
    // The two handles move apart.
    clone->SetToBegin();
    EXPECT_EQ(CurrentId(table), 50);

    engine::TDataFile exclusive;
    clone.reset();
    table.Close();
    OpenTable(exclusive, "t", true);
    EXPECT_EQ(EngineCode([&] { exclusive.CloneCursor(); }), engine::ErrAccessDenied);
}

TEST_F(TableSearchTest, AProtectedTablesPasswordIsInTheSessionOnlyForTheClone) {
    CreateCursorTable("p", false, true);
    engine::TFileSession& session = engine::GetEngineSession();
    session.AddPassword("Sesame");
    FillCursorTable("p", FiveRows);
    engine::TDataFile table;
    OpenTable(table, "p");
    session.RemovePassword("Sesame");
    table.GotoRecNo(2);
    const std::unique_ptr<engine::TDataFile> clone = table.CloneCursor();
    EXPECT_TRUE(clone->IsOpen());
    EXPECT_EQ(CurrentId(*clone), 20);
    EXPECT_FALSE(session.FindPassword("Sesame"));
}

}  // namespace
