#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/index/Page.h"
#include "engine/table/DataFile.h"
#include "engine/table/Filter.h"
#include "engine/table/ReadGuard.h"
#include "tests/engine/support/CursorTestTable.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::SlotNumber;
using Image = std::vector<std::uint8_t>;

class TableCursorTest : public TableTest {
protected:
    void SetUp() override {
        CreateCursorTable("t");
        FillCursorTable("t", FiveRows);
    }

    // Whether the image is what InitRecord gives for a new record.
    static bool Cleared(engine::TDataFile& table, const Image& image) {
        Image fresh(table.GetRecordBufferSize(), 0xAA);
        table.InitRecord(fresh);
        return image == fresh;
    }
    static Image Dirty(engine::TDataFile& table) { return Image(table.GetRecordBufferSize(), 0xAA); }
};

// ---- Fetches ----

TEST_F(TableCursorTest, FetchesGoInKeyOrderAndStepBackFromEitherEnd) {
    engine::TDataFile table;
    OpenTable(table, "t");
    Image image = Dirty(table);
    table.SetToBegin();
    EXPECT_EQ(table.GetCurrentRecord(image, false), engine::ErrBeginningOfFile);
    EXPECT_TRUE(Cleared(table, image));
    for (const std::int32_t id : {10, 20, 30, 40, 50}) {
        ASSERT_EQ(table.GetNextRecord(image), 0);
        EXPECT_EQ(IdOf(table, image), id);
    }
    image = Dirty(table);
    EXPECT_EQ(table.GetNextRecord(image), engine::ErrEndOfFile);
    EXPECT_TRUE(Cleared(table, image));
    EXPECT_EQ(table.GetCurrentRecord({}, false), engine::ErrEndOfFile);
    ASSERT_EQ(table.GetPriorRecord(image), 0);
    EXPECT_EQ(IdOf(table, image), 50);

    // The mirror image.
    table.SetToEnd();
    EXPECT_EQ(table.GetCurrentRecord(image, false), engine::ErrEndOfFile);
    for (const std::int32_t id : {50, 40, 30, 20, 10}) {
        ASSERT_EQ(table.GetPriorRecord(image), 0);
        EXPECT_EQ(IdOf(table, image), id);
    }
    image = Dirty(table);
    EXPECT_EQ(table.GetPriorRecord(image), engine::ErrBeginningOfFile);
    EXPECT_TRUE(Cleared(table, image));
    ASSERT_EQ(table.GetNextRecord(image), 0);
    EXPECT_EQ(IdOf(table, image), 10);
    EXPECT_EQ(table.GetCurrentRecord(image, false), 0);
    EXPECT_EQ(IdOf(table, image), 10);
}

// A fetch with lock that delivers no record (an end state) takes no lock the caller would have to free.
TEST_F(TableCursorTest, ALockingFetchAtEitherEndTakesNoLock) {
    engine::TDataFile table;
    OpenTable(table, "t");
    Image image = Dirty(table);
    table.SetToEnd();
    EXPECT_EQ(table.GetCurrentRecord(image, true), engine::ErrEndOfFile);
    EXPECT_TRUE(table.LockedRecords().empty());
    table.SetToBegin();
    ASSERT_EQ(table.GetNextRecord({}), 0);
    ASSERT_EQ(table.GetPriorRecord({}), engine::ErrBeginningOfFile);
    EXPECT_EQ(table.GetCurrentRecord(image, true), engine::ErrBeginningOfFile);
    EXPECT_TRUE(table.LockedRecords().empty());
    ASSERT_EQ(table.GetNextRecord({}), 0);
    EXPECT_EQ(table.GetCurrentRecord(image, true), 0);
    EXPECT_EQ(table.LockedRecords().size(), 1u);
}

TEST_F(TableCursorTest, AnEmptyTableAndAnEmptiedOneHaveNoRecordEitherWay) {
    CreateCursorTable("empty");
    for (const std::string name : {"empty", "t"}) {
        engine::TDataFile table;
        OpenTable(table, name, true);
        if (name == "t") {
            table.GotoRecNo(3);
            table.EmptyTable();
        }
        Image image = Dirty(table);
        EXPECT_EQ(table.GetNextRecord(image), engine::ErrEndOfFile) << name;
        EXPECT_TRUE(Cleared(table, image)) << name;
        table.SetToEnd();
        image = Dirty(table);
        EXPECT_EQ(table.GetPriorRecord(image), engine::ErrBeginningOfFile) << name;
        EXPECT_TRUE(Cleared(table, image)) << name;
        table.SetToBegin();
        EXPECT_EQ(table.GetNextRecord({}), engine::ErrEndOfFile) << name;
        EXPECT_EQ(table.GetRecordCount(), 0) << name;
        EXPECT_EQ(CurrentId(table), 0) << name;
    }
}

TEST_F(TableCursorTest, ShortDestinationsAreRefusedBeforeTheCursorMoves) {
    engine::TDataFile table;
    OpenTable(table, "t");
    table.GotoRecNo(2);
    Image shortImage(table.GetRecordBufferSize() - 1);
    EXPECT_EQ(EngineCode([&] { table.GetNextRecord(shortImage); }), engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(EngineCode([&] { table.GetPriorRecord(shortImage); }), engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(EngineCode([&] { table.GetCurrentRecord(shortImage, false); }),
              engine::ErrRecordBuffersCorrupt);
    EXPECT_EQ(table.GetRecNo(), 2);
    EXPECT_EQ(CurrentId(table), 20);
    EXPECT_FALSE(table.OperationReadLockHeld());
}

// ---- Record numbers ----

TEST_F(TableCursorTest, RecordNumbersRoundTripInIndexOrderAndWithinARange) {
    engine::TDataFile table;
    OpenTable(table, "t");
    struct Case {
        const char* what;
        std::function<void()> order;
    };
    const Case cases[] = {
        {"primary", [&] { table.SetIndexNumber(0); }},
        {"descending", [&] { table.SetIndexName("GrpNameDesc"); }},
        {"range 20..40",
         [&] {
             table.SetIndexNumber(0);
             const Image low = RowImage(table, 20, 0, "");
             const Image high = RowImage(table, 40, 0, "");
             table.SetRange(false, low, 0, high, 0);
         }},
    };
    for (const Case& c : cases) {
        c.order();
        const std::vector<std::int32_t> walk = WalkIds(table);
        ASSERT_EQ(static_cast<std::int32_t>(walk.size()), table.GetRecordCount()) << c.what;
        for (std::size_t n = 1; n <= walk.size(); ++n) {
            table.GotoRecNo(static_cast<std::int32_t>(n));
            EXPECT_EQ(table.GetRecNo(), static_cast<std::int32_t>(n)) << c.what;
            EXPECT_EQ(CurrentId(table), walk[n - 1]) << c.what << " " << n;
        }
        table.GotoRecNo(0);
        EXPECT_EQ(table.GetCurrentRecord({}, false), engine::ErrBeginningOfFile) << c.what;
        table.GotoRecNo(table.GetRecordCount() + 1);
        EXPECT_EQ(table.GetCurrentRecord({}, false), engine::ErrEndOfFile) << c.what;
        table.CancelRange();
    }
    EXPECT_EQ(table.GetRecordCount(), 5);
}

// Only slots 2, 5 and 9 of ten are visible, in both natural orders.
class NaturalOrderTest : public TableTest {
protected:
    void SetUp() override { CreateNaturalTables(); }
};

TEST_F(NaturalOrderTest, RecordNumbersAreRanksAmongTheVisibleSlots) {
    for (const std::string name : {"np", "t"}) {
        engine::TDataFile table;
        OpenNatural(table, name);
        EXPECT_EQ(WalkIds(table), (std::vector<std::int32_t>{20, 50, 90})) << name;
        ASSERT_EQ(table.GetRecordCount(), 3) << name;
        for (std::int32_t n = 1; n <= 3; ++n) {
            table.GotoRecNo(n);
            EXPECT_EQ(table.GetRecNo(), n) << name;
            EXPECT_EQ(CurrentId(table), n == 1 ? 20 : n == 2 ? 50 : 90) << name;
            // Setting the number read back stays on the record.
            table.GotoRecNo(table.GetRecNo());
            EXPECT_EQ(table.GetRecNo(), n) << name;
        }
        table.GotoRecNo(0);
        EXPECT_EQ(table.GetCurrentRecord({}, false), engine::ErrBeginningOfFile) << name;
        table.GotoRecNo(4);
        EXPECT_EQ(table.GetCurrentRecord({}, false), engine::ErrEndOfFile) << name;
    }
}

// A filter turned on re-finds the record; a cursor before the first (after the last) record stays there,
// so that the next step fetches the first (last) record the filter shows. Natural order answers as index
// order does.
TEST_F(NaturalOrderTest, AFilterChangeKeepsTheEndStateInEveryOrder) {
    // Hides the first and the last record (IDs 10 and 100).
    const engine::TRecordFilterProc inner = [](void* clientData, const std::uint8_t* image, SlotNumber) {
        const auto& table = *static_cast<const engine::TDataFile*>(clientData);
        const std::int32_t id =
            IdOf(table, std::span<const std::uint8_t>(image, table.GetRecordBufferSize()));
        return id != 10 && id != 100;
    };
    struct Order {
        std::string label;
        std::string table;
        bool natural;
    };
    for (const Order& order : {Order{"natural, no primary", "np", false}, Order{"natural", "t", true},
                               Order{"primary", "t", false}}) {
        engine::TDataFile table;
        OpenTable(table, order.table);
        if (order.natural) table.SetIndexNumber(engine::NaturalOrderIndex);
        engine::TFilter* filter = nullptr;
        ASSERT_EQ(table.AddFilter(&table, {}, filter, false, inner, false, nullptr), 0);
        Image image(table.GetRecordBufferSize());
        const auto on = [&] { ASSERT_EQ(table.ActivateFilter(filter), 0); };
        const auto off = [&] { ASSERT_EQ(table.DeactivateFilter(filter), 0); };

        table.SetToBegin();
        on();
        EXPECT_EQ(table.GetCurrentRecord({}, false), engine::ErrBeginningOfFile) << order.label;
        ASSERT_EQ(table.GetNextRecord(image), 0) << order.label;
        EXPECT_EQ(IdOf(table, image), 20) << order.label;

        off();
        table.SetToEnd();
        on();
        EXPECT_EQ(table.GetCurrentRecord({}, false), engine::ErrEndOfFile) << order.label;
        ASSERT_EQ(table.GetPriorRecord(image), 0) << order.label;
        EXPECT_EQ(IdOf(table, image), 90) << order.label;

        // On a record, the cursor stays on it.
        off();
        table.GotoRecNo(5);
        on();
        EXPECT_EQ(CurrentId(table), 50) << order.label;
        ASSERT_EQ(table.GetNextRecord(image), 0) << order.label;
        EXPECT_EQ(IdOf(table, image), 60) << order.label;
    }
}

// ---- Another program's change ----

class CursorChangeTableTest : public TableCursorTest {
protected:
    // a and b share "t"; b writes.
    void OpenBoth(bool strict = false) {
        OpenTable(a_, "t", false, strict);
        OpenTable(b_, "t");
    }
    engine::TDataFile a_;
    engine::TDataFile b_;
};

TEST_F(CursorChangeTableTest, RefreshShowsAnotherHandlesModifyAndInsert) {
    OpenBoth();
    a_.GotoRecNo(3);
    ASSERT_EQ(CurrentNote(a_), "note");
    WriteShared(b_, [&] {
        SetNote(b_, 3, "modified");
        AddRow(b_, {5, 9, "zulu"});
    });
    // Cached: the old values show until something checks.
    EXPECT_EQ(CurrentNote(a_), "note");
    a_.Refresh();
    Image image(a_.GetRecordBufferSize());
    ASSERT_EQ(a_.GetCurrentRecord(image, false), 0);
    EXPECT_EQ(IdOf(a_, image), 30);
    EXPECT_EQ(StoredText(a_, image, CursorNoteField), "modified");
    EXPECT_EQ(a_.GetRecNo(), 4);
    EXPECT_FALSE(a_.OperationReadLockHeld());
}

TEST_F(CursorChangeTableTest, TheChangeCheckOfAnEntryNeverLeavesAClearedCurrentRecord) {
    struct Case {
        const char* what;
        bool strict;
        std::function<void(engine::TDataFile&)> read;
    };
    const Case cases[] = {
        {"index switch", false, [](engine::TDataFile& a) { a.SetIndexName("GrpNameDesc"); }},
        {"strict GetCurrentRecord", true, [](engine::TDataFile& a) { a.GetCurrentRecord({}, false); }},
        {"strict Resync", true, [](engine::TDataFile& a) { a.Resync(); }},
        {"locked GetCurrentRecord", false, [](engine::TDataFile& a) { a.GetCurrentRecord({}, true); }},
    };
    int round = 0;
    for (const Case& c : cases) {
        engine::TDataFile a;
        engine::TDataFile b;
        OpenTable(a, "t", false, c.strict);
        OpenTable(b, "t");
        ASSERT_TRUE(a.FindKey(false, RowImage(a, 40, 0, ""), 0, false, 0));
        ASSERT_EQ(CurrentId(a), 40);
        const std::string note = "v" + std::to_string(++round);
        WriteShared(b, [&] {
            SetNote(b, 4, note);
            AddRow(b, {round, 0, "new" + std::to_string(round)});
        });
        c.read(a);
        EXPECT_EQ(CurrentId(a), 40) << c.what;
        EXPECT_EQ(CurrentNote(a), note) << c.what;
        a.UnlockAllRecords();
        EXPECT_FALSE(a.OperationReadLockHeld()) << c.what;
    }
}

TEST_F(CursorChangeTableTest, AfterSetToBeginTheNextFetchFindsTheNewFirstRecord) {
    OpenBoth(true);
    a_.SetToBegin();
    WriteShared(b_, [&] { AddRow(b_, {1, 0, "first"}); });
    a_.SetToBegin();
    Image image(a_.GetRecordBufferSize());
    ASSERT_EQ(a_.GetNextRecord(image), 0);
    EXPECT_EQ(IdOf(a_, image), 1);
}

TEST_F(CursorChangeTableTest, TheStepsAfterAKeyLookupSeeAnotherHandlesChange) {
    OpenBoth();
    // The lookup reads its one record; the records after it are not cached from before the change.
    ASSERT_TRUE(a_.FindKey(false, RowImage(a_, 20, 0, ""), 0, false, 0));
    ASSERT_EQ(CurrentId(a_), 20);
    WriteShared(b_, [&] {
        SetNote(b_, 3, "third");
        SetNote(b_, 4, "fourth");
    });
    Image image(a_.GetRecordBufferSize());
    ASSERT_EQ(a_.GetNextRecord(image), 0);
    EXPECT_EQ(IdOf(a_, image), 30);
    EXPECT_EQ(StoredText(a_, image, CursorNoteField), "third");
    ASSERT_EQ(a_.GetNextRecord(image), 0);
    EXPECT_EQ(IdOf(a_, image), 40);
    EXPECT_EQ(StoredText(a_, image, CursorNoteField), "fourth");
    EXPECT_FALSE(a_.OperationReadLockHeld());
}

TEST_F(TableCursorTest, AWalkChecksOncePerRunAndMeetsAnotherHandlesChangeAtTheNextRun) {
    // 600 records in slots 1..600 whose name order is not their slot order: the walk in "ByName" order
    // misses on nearly every record, and its runs are a leaf page's records each.
    constexpr std::int32_t Rows = 600;
    const auto nameOf = [](std::int32_t slot) {
        const std::string number = std::to_string(slot * 7919 % Rows);
        return "n" + std::string(3 - number.size(), '0') + number;
    };
    const auto slotNamed = [&](const std::string& name) {
        std::int32_t slot = 1;
        while (nameOf(slot) != name) ++slot;
        return static_cast<std::uint32_t>(slot);
    };
    std::vector<CursorRow> rows;
    for (std::int32_t slot = 1; slot <= Rows; ++slot) rows.push_back({slot * 10, slot, nameOf(slot)});
    // The third record in name order lies in the walk's first run, the last one in a later run.
    const std::uint32_t inRun = slotNamed("n002");
    const std::uint32_t later = slotNamed("n599");
    for (const bool strict : {false, true}) {
        const std::string name = strict ? "strict" : "walk";
        CreateCursorTable(name);
        FillCursorTable(name, rows);
        RecordingDataFile a;
        engine::TDataFile b;
        OpenTable(a, name, false, strict);
        OpenTable(b, name);
        a.SetIndexName("ByName");
        a.SetToBegin();
        Image image(a.GetRecordBufferSize());
        // The first record came with the move to the beginning; the second one's miss reads the first run.
        ASSERT_EQ(a.GetNextRecord(image), 0);
        ASSERT_EQ(a.GetNextRecord(image), 0);
        ASSERT_EQ(StoredText(a, image, CursorNameField), "n001");
        WriteShared(b, [&] {
            SetNote(b, inRun, "changed");
            SetNote(b, later, "changed");
        });
        a.reads.clear();
        std::vector<std::string> names;
        while (a.GetNextRecord(image) == 0) {
            const std::int32_t slot = IdOf(a, image) / 10;
            ASSERT_GE(slot, 1);
            ASSERT_LE(slot, Rows);
            // Whole records only: the name is the one of the record's ID.
            EXPECT_EQ(StoredText(a, image, CursorNameField), nameOf(slot));
            const std::string note = StoredText(a, image, CursorNoteField);
            // Without strict detection the first run shows the files as they were when it was read; the
            // change to a record of a later run shows. With it, every step checks.
            const bool changed = slot == static_cast<std::int32_t>(later) ||
                                 (strict && slot == static_cast<std::int32_t>(inRun));
            EXPECT_EQ(note, changed ? "changed" : "note") << name << " " << slot;
            names.push_back(nameOf(slot));
        }
        EXPECT_EQ(names.size(), static_cast<std::size_t>(Rows - 2)) << name;
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << name;
        if (!strict) {
            // A change check reads the record file's header: once per run, not once per record.
            const auto checks = std::count_if(a.reads.begin(), a.reads.end(), [&](const FileAccess& read) {
                return read.offset < SlotOffset(a, 1);
            });
            EXPECT_LE(checks, Rows / 20);
        }
        // A key search checks first, whatever the cache holds.
        WriteShared(b, [&] { SetNote(b, inRun, "again"); });
        a.SetIndexNumber(0);
        ASSERT_TRUE(a.FindKey(false, RowImage(a, static_cast<std::int32_t>(inRun) * 10, 0, ""), 0, false, 0));
        EXPECT_EQ(CurrentNote(a), "again") << name;
        EXPECT_FALSE(a.OperationReadLockHeld()) << name;
    }
}

// ---- Locks ----

TEST_F(TableCursorTest, NoEntryPointLeavesTheReadLockHeldAfterSuccessOrFailure) {
    HolderProcess holder(HolderProcess::TableMode{}, "t");
    ASSERT_TRUE(holder.Ready()) << holder.Greeting();
    ASSERT_EQ(holder.Send("retries 0 0"), "ok");
    for (const bool strict : {false, true}) {
        engine::TDataFile table;
        OpenTable(table, "t", false, strict);
        table.SetLockRetryCount(0);
        Image image(table.GetRecordBufferSize());
        const Image key = RowImage(table, 30, 2, "alpha");
        Image bookmark(table.GetKeySize());
        const std::vector<std::function<void()>> operations = {
            [&] { table.SetToBegin(); },
            [&] { table.GetNextRecord(image); },
            [&] { table.SetToEnd(); },
            [&] { table.GetPriorRecord(image); },
            [&] { table.GotoRecNo(2); },
            [&] { table.GetCurrentRecord(image, false); },
            [&] { table.GetCurrentRecordImage(); },
            [&] { table.FindKey(false, key, 0, true, 0, image); },
            [&] { table.FindRecordKey(key, image); },
            [&] { table.SetRange(false, key, 0, key, 0); },
            [&] { table.CancelRange(); },
            [&] { table.GetBookmark(bookmark); },
            [&] { table.GotoBookmark(bookmark, true); },
            [&] { table.Resync(); },
            [&] { table.Refresh(); },
            [&] { table.SetIndexName("ByName"); },
            [&] { table.SetIndexNumber(0); },
            [&] { table.CloneCursor(); },
            // Failures: an unknown index, the current record locked elsewhere, a damaged page.
            [&] { EXPECT_EQ(EngineCode([&] { table.SetIndexName("nope"); }), engine::ErrInvalidIndexName); },
            [&] { ASSERT_EQ(holder.Send("lockrecord 2"), "ok"); },
            [&] { table.GotoRecNo(2); },
            [&] {
                EXPECT_EQ(EngineCode([&] { table.GetCurrentRecord(image, true); }), engine::ErrRecordInUse);
            },
            [&] { ASSERT_EQ(holder.Send("unlockrecord 2"), "ok"); },
            [&] {
                engine::TReadGuard read(table);
                engine::PagePin root = table.IndexFile().FetchPage(table.IndexFile().GetRootPosition());
                root->SetPageType(engine::PageTypeLeaf);
                root.Release();
                read.End();
            },
            [&] { EXPECT_EQ(EngineCode([&] { table.SetToBegin(); }), engine::ErrIndexPagesCorrupt); },
            [&] {
                EXPECT_EQ(EngineCode([&] { table.FindKey(false, key, 0, true, 0, image); }),
                          engine::ErrIndexPagesCorrupt);
            },
            // The damage stays in the cache.
            [&] { table.DiscardBuffers(false); },
        };
        for (std::size_t i = 0; i < operations.size(); ++i) {
            operations[i]();
            EXPECT_FALSE(table.OperationReadLockHeld()) << strict << " operation " << i;
            ASSERT_EQ(holder.Send("beginwrite"), "ok") << strict << " operation " << i;
            ASSERT_EQ(holder.Send("endwrite"), "ok");
        }
        EXPECT_TRUE(table.LockedRecords().empty());
    }
}

}  // namespace
