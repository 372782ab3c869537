#include "engine/table/RecordBitmaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/base/Bitmap.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/base/FileBytes.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/index/IndexFile.h"
#include "engine/table/DataFile.h"
#include "engine/table/Record.h"
#include "tests/engine/support/ExprBuilders.h"
#include "tests/engine/support/FilterBlobBuilder.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using engine::SlotNumber;
using engine::TDataFile;
using engine::TFilter;
using exprtest::Binary;
using exprtest::Column;
using exprtest::Const;
using exprtest::Int;
using Records = std::vector<std::uint32_t>;

// "f": ID (autoincrement), CODE (the primary index, or none), NAME ("ByName"), PAD (a wide field, so that a
// read-ahead covers about a hundred records), NAME again descending ("Down").
constexpr std::uint16_t IdField = 1;
constexpr std::uint16_t CodeField = 2;
constexpr std::uint16_t NameField = 3;
constexpr std::uint16_t PadField = 4;
constexpr int ByName = 1;
constexpr int Down = 2;

void CreateF(bool primary) {
    std::vector<engine::TFieldDesc> fields = {AutoIncDef(IdField, "ID"),
                                              FieldDef(CodeField, "CODE", engine::FieldTypeInteger),
                                              FieldDef(NameField, "NAME", engine::FieldTypeString, 20),
                                              FieldDef(PadField, "PAD", engine::FieldTypeString, 250)};
    engine::TIndexDescriptor down = IndexDef("Down", {NameField});
    down.Descending = 1;
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {CodeField}),
                                                     IndexDef("ByName", {NameField}), down};
    TableOptions options;
    if (!primary) {
        indexes[0] = IndexDef("", {});
        options.allowNoPrimary = true;
    }
    CreateTable("f", fields, indexes, options);
}

void OpenF(TDataFile& table, bool exclusive = false) {
    table.SetFileName("f");
    table.SetExclusive(exclusive);
    table.Open();
}

// NAME "n" + three digits, so that name order is code order.
std::string NameOf(std::int32_t code) {
    std::string digits = std::to_string(code);
    return "n" + std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits;
}

SlotNumber Add(TDataFile& table, std::int32_t code) {
    return Insert(table, {{CodeField, I32(code)}, {NameField, Str(NameOf(code))}});
}

std::int32_t CodeOf(const TDataFile& table, std::span<const std::uint8_t> image) {
    std::array<std::uint8_t, 4> value{};
    if (table.GetField(false, CodeField, image, value)) return 0;
    return static_cast<std::int32_t>(engine::LoadU32(value.data()));
}

// The records navigation visits, first to last, by slot number.
Records Visit(TDataFile& table) {
    Records records;
    table.SetToBegin();
    while (table.GetNextRecord() == 0) records.push_back(table.CurrentRecord()->RecordNumber().Value);
    return records;
}

Records Sorted(Records records) {
    std::sort(records.begin(), records.end());
    return records;
}

Records SetBits(const std::vector<std::uint8_t>& bits) {
    Records records;
    for (std::uint32_t r = 1; r <= bits.size() * 8; ++r)
        if (engine::BitmapTestBit(r, bits.data())) records.push_back(r);
    return records;
}

// CODE <= limit.
engine::TExprNode* AtMost(std::int32_t limit) {
    return Binary(engine::opLessEqual, Column(CodeField, Int(0)), Const(Int(limit))).release();
}

// The scan: EvaluateExpr over every live slot whose CODE lies in low .. high.
Records Scan(TDataFile& table, const engine::TExprNode& tree, std::int32_t low = INT32_MIN,
             std::int32_t high = INT32_MAX) {
    Records records;
    engine::TReadGuard read(table);
    read.Begin();
    for (std::uint32_t slot = 1; slot <= table.GetPhysicalRecordCount(); ++slot) {
        engine::RecordPin record;
        if (!table.GetRecord(SlotNumber(slot), false, false, 1, record)) {
            EXPECT_TRUE(table.GetRecord(SlotNumber(slot), false, false, 1, record));
        }
        if (record->Status() != 0) continue;
        std::span<const std::uint8_t> image = record->Image();
        const std::int32_t code = CodeOf(table, image);
        if (code < low || code > high) continue;
        engine::ExprValue result = tree.Value;
        engine::EvaluateExpr(tree, &image, &table, engine::GetColumnValue, 0, 0, result);
        if (result.IsTrue()) records.push_back(slot);
    }
    read.End();
    return records;
}

class RecordBitmapsTest : public TableTest {
protected:
    // The slot current, the cursor on it in every order.
    void GoTo(std::uint32_t slot) {
        GoToSlot(a, SlotNumber(slot));
        if (a.IndexFile().NaturalOrder()) a.IndexFile().GotoRecordNumber(slot);
    }
    // n records of CODE 1 .. n in slots 1 .. n, then the slots deleted.
    void Build(bool primary, int n, const Records& deleted, bool exclusive = false) {
        CreateF(primary);
        OpenF(a, exclusive);
        for (int code = 1; code <= n; ++code) Add(a, code);
        for (std::uint32_t slot : deleted) DeleteSlot(a, SlotNumber(slot));
    }
    TFilter* Filter(engine::TExprNode* tree) {
        TFilter* handle = nullptr;
        EXPECT_EQ(a.AddFilter(nullptr, {}, handle, false, nullptr, true, tree), 0);
        return handle;
    }
    TFilter* Activated(engine::TExprNode* tree) {
        TFilter* handle = Filter(tree);
        EXPECT_EQ(a.ActivateFilter(handle), 0);
        return handle;
    }
    // Navigation and the count match the scan of the condition.
    void ExpectScan(const engine::TExprNode& tree, std::int32_t low = INT32_MIN,
                    std::int32_t high = INT32_MAX) {
        const Records scan = Scan(a, tree, low, high);
        EXPECT_EQ(Sorted(Visit(a)), scan);
        EXPECT_EQ(a.GetRecordCount(), static_cast<std::int32_t>(scan.size()));
    }
    TDataFile a;
    TDataFile b;
};

// ---- The fixture of ten slots, and its sizes around a byte ----

TEST_F(RecordBitmapsTest, TenSlotsWithTwoDeletedAndAFilterOnOneToFive) {
    Build(true, 10, {3, 7});
    Activated(AtMost(5));
    const engine::TRecordBitmaps& bitmaps = a.Bitmaps();
    EXPECT_EQ(SetBits(bitmaps.Live()), (Records{1, 2, 4, 5, 6, 8, 9, 10}));
    EXPECT_EQ(SetBits(bitmaps.Visible()), (Records{1, 2, 4, 5}));
    EXPECT_EQ(bitmaps.VisibleCount(), 4u);
    EXPECT_EQ(a.GetRecordCount(), 4);
    EXPECT_EQ(Visit(a), (Records{1, 2, 4, 5}));
}

// More deleted than live records: the live records are marked directly instead of inverting the deleted.
TEST_F(RecordBitmapsTest, MostlyDeletedTablesMarkTheLiveRecordsDirectly) {
    Build(true, 10, {1, 2, 3, 5, 6, 8, 9});
    Activated(AtMost(100));
    EXPECT_EQ(SetBits(a.Bitmaps().Live()), (Records{4, 7, 10}));
    EXPECT_EQ(Visit(a), (Records{4, 7, 10}));
}

class RecordBitmapsSizesTest : public RecordBitmapsTest,
                               public ::testing::WithParamInterface<std::tuple<bool, int>> {};

TEST_P(RecordBitmapsSizesTest, TheFirstAndLastSlotDeletedStayHiddenInEveryOrder) {
    const auto [primary, n] = GetParam();
    Build(primary, n, {1, static_cast<std::uint32_t>(n)});
    const std::unique_ptr<engine::TExprNode> tree(AtMost(n - 2));
    Activated(AtMost(n - 2));
    ExpectScan(*tree);
    const engine::TRecordBitmaps& bitmaps = a.Bitmaps();
    Records live;
    for (int slot = 2; slot < n; ++slot) live.push_back(static_cast<std::uint32_t>(slot));
    EXPECT_EQ(SetBits(bitmaps.Live()), live);
    for (int index : {255, ByName, Down, 0}) {
        SCOPED_TRACE(index);
        a.SetIndexNumber(index);
        ExpectScan(*tree);
    }
}

INSTANTIATE_TEST_SUITE_P(AroundAByte, RecordBitmapsSizesTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(7, 8, 9, 16, 17)));

// ---- Upkeep after this handle's writes ----

class RecordBitmapsUpkeepTest : public RecordBitmapsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RecordBitmapsUpkeepTest, WritesKeepTheVisibleRecordsAndTheCount) {
    Build(GetParam(), 10, {3});
    const std::unique_ptr<engine::TExprNode> tree(AtMost(5));
    Activated(AtMost(5));
    ASSERT_EQ(a.GetRecordCount(), 4);

    // An insert that fails the filter stays hidden.
    Add(a, 50);
    // It takes the deleted slot; without a primary index it is appended.
    const SlotNumber hidden(GetParam() ? 3 : 11);
    EXPECT_TRUE(engine::BitmapTestBit(hidden.Value, a.Bitmaps().Live().data()));
    EXPECT_EQ(a.GetRecordCount(), 4);
    ExpectScan(*tree);

    // A modify that makes a record fail hides it.
    GoTo(2);
    std::vector<std::uint8_t> image(a.GetRecordBufferSize());
    ASSERT_EQ(a.GetCurrentRecord(image, false), 0);
    a.SetField(false, CodeField, image, std::span<const std::uint8_t>(I32(60)));
    a.ModifyRecord(image, true, true);
    EXPECT_EQ(a.GetRecordCount(), 3);
    ExpectScan(*tree);

    // Deleting a hidden record keeps the count.
    GoToSlot(a, hidden);
    a.DeleteRecord(true);
    EXPECT_EQ(a.GetRecordCount(), 3);

    // Deleting the current record lowers the count at once, and no move lands on it.
    GoTo(4);
    a.DeleteRecord(true);
    EXPECT_EQ(a.GetRecordCount(), 2);
    EXPECT_EQ(Visit(a), (Records{1, 5}));
    a.SetToEnd();
    Records back;
    while (a.GetPriorRecord() == 0) back.push_back(a.CurrentRecord()->RecordNumber().Value);
    EXPECT_EQ(Sorted(back), (Records{1, 5}));
    ExpectScan(*tree);
}

// Deleted records stay gone after every rebuild: a refresh, an index switch, another filter's activation and
// another handle's insert.
TEST_P(RecordBitmapsUpkeepTest, DeletedRecordsStayGoneAfterEveryRebuild) {
    Build(GetParam(), 12, {3, 7, 12});
    OpenF(b);
    const std::unique_ptr<engine::TExprNode> tree(AtMost(100));
    Activated(AtMost(100));
    ExpectScan(*tree);
    a.RefreshBitmaps();
    ExpectScan(*tree);
    a.SetIndexNumber(ByName);
    ExpectScan(*tree);
    a.SetIndexNumber(255);
    ExpectScan(*tree);
    Activated(Binary(engine::opGreaterEqual, Column(CodeField, Int(0)), Const(Int(0))).release());
    ExpectScan(*tree);
    Add(b, 13);
    a.Refresh();
    ExpectScan(*tree);
    EXPECT_EQ(a.GetRecordCount(), 10);
}

// Natural order without any filter: deleted slots are not visited, after a rebuild either.
TEST_P(RecordBitmapsUpkeepTest, NaturalOrderSkipsDeletedSlots) {
    Build(GetParam(), 9, {2, 9});
    a.SetIndexNumber(255);
    EXPECT_EQ(Visit(a), (Records{1, 3, 4, 5, 6, 7, 8}));
    a.RefreshBitmaps();
    EXPECT_EQ(a.GetRecordCount(), 7);
    GoTo(5);
    a.DeleteRecord(true);
    EXPECT_EQ(Visit(a), (Records{1, 3, 4, 6, 7, 8}));
    EXPECT_EQ(a.GetRecordCount(), 6);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutPrimaryIndex, RecordBitmapsUpkeepTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Primary" : "NoPrimary";
                         });

// ---- Ranges ----

TEST_F(RecordBitmapsTest, RangesOverMoreAndLessThanHalfTheKeysEqualTheScan) {
    Build(true, 40, {5, 17, 30});
    const std::unique_ptr<engine::TExprNode> tree(AtMost(1000));
    Activated(AtMost(1000));
    struct Case {
        int index;
        std::int32_t low, high;
    };
    for (const Case& c : {Case{0, 3, 8}, Case{0, 2, 39}, Case{ByName, 10, 12}, Case{ByName, 1, 38},
                          Case{Down, 25, 20}, Case{Down, 39, 2}}) {
        SCOPED_TRACE(std::to_string(c.index) + " " + std::to_string(c.low));
        a.SetIndexNumber(c.index);
        std::vector<std::uint8_t> start =
            NewImage(a, {{CodeField, I32(c.low)}, {NameField, Str(NameOf(c.low))}});
        std::vector<std::uint8_t> end =
            NewImage(a, {{CodeField, I32(c.high)}, {NameField, Str(NameOf(c.high))}});
        a.SetRange(false, start, 0, end, 0);
        ExpectScan(*tree, std::min(c.low, c.high), std::max(c.low, c.high));
        a.CancelRange();
    }
}

TEST_F(RecordBitmapsTest, ARecordModifiedIntoAndOutOfTheRangeFollows) {
    Build(true, 10, {});
    const std::unique_ptr<engine::TExprNode> tree(AtMost(1000));
    Activated(AtMost(1000));
    a.SetIndexNumber(ByName);
    std::vector<std::uint8_t> start = NewImage(a, {{NameField, Str(NameOf(3))}});
    std::vector<std::uint8_t> end = NewImage(a, {{NameField, Str(NameOf(6))}});
    a.SetRange(false, start, 0, end, 0);
    ExpectScan(*tree, 3, 6);
    const auto setName = [&](std::uint32_t slot, const std::string& name) {
        // The record may lie outside the range, where the cursor does not go.
        GoToSlot(a, SlotNumber(slot));
        std::vector<std::uint8_t> image(a.CurrentRecord()->Image().begin(), a.CurrentRecord()->Image().end());
        a.SetField(false, NameField, image, std::span<const std::uint8_t>(Str(name)));
        a.ModifyRecord(image, true, true);
    };
    setName(9, "n004x");
    EXPECT_EQ(Sorted(Visit(a)), (Records{3, 4, 5, 6, 9}));
    EXPECT_EQ(a.GetRecordCount(), 5);
    setName(4, "n900");
    EXPECT_EQ(Sorted(Visit(a)), (Records{3, 5, 6, 9}));
    EXPECT_EQ(a.GetRecordCount(), 4);
}

// ---- The bound: no slot above the records that exist ----

struct Seen {
    TDataFile* table = nullptr;
    std::uint32_t highest = 0;
    Records records;
    int throwAt = 0;
    bool result = true;
};

bool Record(void* clientData, const std::uint8_t* image, SlotNumber record) {
    Seen& seen = *static_cast<Seen*>(clientData);
    seen.highest = std::max(seen.highest, record.Value);
    seen.records.push_back(record.Value);
    if (seen.throwAt != 0 && static_cast<int>(seen.records.size()) == seen.throwAt)
        throw std::runtime_error("callback");
    const std::span<const std::uint8_t> bytes(image, seen.table->GetRecordBufferSize());
    return seen.result && CodeOf(*seen.table, bytes) % 2 == 1;
}

TEST_F(RecordBitmapsTest, ACallbackUnderAWideRangeSeesNoSlotAboveTheRecords) {
    Build(true, 20, {2, 4, 6});
    const std::uintmax_t size = fs::file_size("f.DAT");
    std::vector<std::uint8_t> start = NewImage(a, {{CodeField, I32(2)}});
    std::vector<std::uint8_t> end = NewImage(a, {{CodeField, I32(19)}});
    a.SetRange(false, start, 0, end, 0);
    Seen seen;
    seen.table = &a;
    TFilter* handle = nullptr;
    ASSERT_EQ(a.AddFilter(&seen, {}, handle, false, Record, false, nullptr), 0);
    ASSERT_EQ(a.ActivateFilter(handle), 0);
    EXPECT_LE(seen.highest, 20u);
    // Called once per candidate: the live records inside the range.
    EXPECT_EQ(Sorted(seen.records), (Records{3, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
    EXPECT_EQ(Visit(a), (Records{3, 5, 7, 9, 11, 13, 15, 17, 19}));
    a.CancelRange();
    EXPECT_LE(seen.highest, 20u);
    EXPECT_EQ(fs::file_size("f.DAT"), size);
}

// ---- Callbacks ----

TEST_F(RecordBitmapsTest, ACallbackGetsItsClientDataImageAndRecordNumber) {
    Build(false, 6, {4});
    Seen seen;
    seen.table = &a;
    TFilter* handle = nullptr;
    ASSERT_EQ(a.AddFilter(&seen, {}, handle, false, Record, false, nullptr), 0);
    ASSERT_EQ(a.ActivateFilter(handle), 0);
    EXPECT_EQ(seen.records, (Records{1, 2, 3, 5, 6}));
    EXPECT_EQ(Visit(a), (Records{1, 3, 5}));

    seen.result = false;
    ASSERT_EQ(a.DeactivateFilter(handle), 0);
    ASSERT_EQ(a.ActivateFilter(handle), 0);
    EXPECT_EQ(a.GetRecordCount(), 0);
    EXPECT_TRUE(Visit(a).empty());
}

TEST_F(RecordBitmapsTest, AThrowingCallbackLeavesNoBuildingFlag) {
    Build(true, 6, {});
    Seen seen;
    seen.table = &a;
    seen.throwAt = 3;
    TFilter* handle = nullptr;
    ASSERT_EQ(a.AddFilter(&seen, {}, handle, false, Record, false, nullptr), 0);
    EXPECT_THROW(a.ActivateFilter(handle), std::runtime_error);
    EXPECT_FALSE(handle->Active());
    EXPECT_FALSE(a.Bitmaps().Building());
    EXPECT_EQ(a.IndexFile().CurrentIndex(), 0);
    seen.throwAt = 0;
    seen.records.clear();
    ASSERT_EQ(a.DeactivateFilter(handle), 0);
    ASSERT_EQ(a.ActivateFilter(handle), 0);
    EXPECT_EQ(Visit(a), (Records{1, 3, 5}));
}

// A filter added with and-earlier is evaluated only over the records the earlier active filters pass.
TEST_F(RecordBitmapsTest, AndEarlierNarrowsTheCandidatesToTheEarlierFilters) {
    Build(true, 8, {2});
    TFilter* first = Activated(AtMost(5));
    Seen seen;
    seen.table = &a;
    TFilter* handle = nullptr;
    ASSERT_EQ(a.AddFilter(&seen, {}, handle, true, Record, false, nullptr), 0);
    ASSERT_EQ(a.ActivateFilter(handle), 0);
    EXPECT_EQ(seen.records, (Records{1, 3, 4, 5}));
    EXPECT_EQ(Visit(a), (Records{1, 3, 5}));
    // Once the earlier filter passes more, the later one answers for the records it had not seen.
    ASSERT_EQ(a.DeactivateFilter(first), 0);
    EXPECT_EQ(Visit(a), (Records{1, 3, 5, 7}));
}

// ---- The filter list ----

TEST_F(RecordBitmapsTest, TheListHoldsAtMost128Filters) {
    Build(true, 3, {});
    Seen seen;
    seen.table = &a;
    TFilter* handle = nullptr;
    for (int n = 0; n < 128; ++n) ASSERT_EQ(a.AddFilter(&seen, {}, handle, false, Record, false, nullptr), 0);
    EXPECT_EQ(a.AddFilter(&seen, {}, handle, false, Record, false, nullptr), engine::ErrTooManyFilters);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(a.AddFilter(nullptr, {}, handle, false, nullptr, true, AtMost(1)), engine::ErrTooManyFilters);
    EXPECT_EQ(a.Bitmaps().GetFilterCount(), 128);
    ASSERT_EQ(a.DropFilter(nullptr), 0);
    EXPECT_EQ(a.Bitmaps().GetFilterCount(), 0);
}

// A change whose read lock is refused (another handle writing, a strict handle) fails before the filter
// takes the tree it was handed: the tree goes with the failure, which the sanitizers' leak check sees.
TEST_F(RecordBitmapsTest, AModifyFilterThatCannotReadFreesTheTreeItWasHanded) {
    CreateF(true);
    a.SetStrictChangeDetection(true);
    a.SetLockRetryPolicy(engine::LockRetryPolicy{0, [](auto) {}, {}});
    OpenF(a);
    for (int code = 1; code <= 3; ++code) Add(a, code);
    TFilter* handle = Activated(AtMost(1));
    OpenF(b);
    b.BeginWrite();
    EXPECT_NE(EngineCode([&] { a.ModifyFilter(handle, {}, AtMost(2), true); }), 0);
    b.EndWrite();
    EXPECT_EQ(Visit(a), (Records{1}));
    EXPECT_EQ(a.ModifyFilter(handle, {}, AtMost(2), true), 0);
    EXPECT_EQ(Visit(a), (Records{1, 2}));
}

TEST_F(RecordBitmapsTest, UnknownHandlesAndMissingConditionsAreRefused) {
    Build(true, 3, {});
    TFilter* handle = nullptr;
    EXPECT_EQ(a.AddFilter(nullptr, {}, handle, false, nullptr, false, nullptr),
              engine::ErrInvalidFilterExpression);
    TFilter* inactive = Filter(AtMost(1));
    EXPECT_EQ(a.ModifyFilter(inactive, {}, AtMost(2), true), engine::ErrInvalidFilterHandle);
    ASSERT_EQ(a.ActivateFilter(inactive), 0);
    EXPECT_EQ(a.ModifyFilter(inactive, {}, nullptr, false), engine::ErrInvalidFilterExpression);
    EXPECT_EQ(Visit(a), (Records{1}));
    EXPECT_EQ(a.ModifyFilter(inactive, {}, AtMost(2), true), 0);
    EXPECT_EQ(Visit(a), (Records{1, 2}));

    TFilter* dropped = Filter(AtMost(1));
    ASSERT_EQ(a.DropFilter(dropped), 0);
    for (const auto& change :
         {&TDataFile::DropFilter, &TDataFile::ActivateFilter, &TDataFile::DeactivateFilter})
        EXPECT_EQ((a.*change)(dropped), engine::ErrInvalidFilterHandle);
}

TEST_F(RecordBitmapsTest, DeactivatingEveryFilterFreesTheBitmapsInIndexOrderOnly) {
    Build(true, 5, {2});
    Activated(AtMost(3));
    Activated(AtMost(4));
    ASSERT_EQ(a.DeactivateFilter(nullptr), 0);
    EXPECT_FALSE(a.IndexFile().BitmapMode());
    EXPECT_TRUE(a.Bitmaps().Visible().empty());
    EXPECT_TRUE(a.Bitmaps().Live().empty());
    EXPECT_EQ(Visit(a), (Records{1, 3, 4, 5}));

    a.SetIndexNumber(255);
    ASSERT_EQ(a.ActivateFilter(nullptr), 0);
    EXPECT_EQ(Visit(a), (Records{1, 3}));
    ASSERT_EQ(a.DeactivateFilter(nullptr), 0);
    EXPECT_TRUE(a.IndexFile().BitmapMode());
    EXPECT_FALSE(a.Bitmaps().Live().empty());
    EXPECT_EQ(Visit(a), (Records{1, 3, 4, 5}));
}

// A blob names its field by name; a damaged one, or one naming a field the table lacks, adds nothing.
TEST_F(RecordBitmapsTest, BlobFiltersThroughTheTable) {
    Build(true, 4, {});
    GoTo(3);
    std::vector<std::uint8_t> image(a.CurrentRecord()->Image().begin(), a.CurrentRecord()->Image().end());
    a.SetField(false, NameField, image, std::span<const std::uint8_t>(Str("alpha")));
    a.ModifyRecord(image, true, true);
    TFilter* handle = nullptr;
    const std::vector<std::uint8_t> blob = filterblobtest::StringComparisonBlob("name", "alpha");
    ASSERT_EQ(a.AddFilter(nullptr, blob, handle, false, nullptr, false, nullptr), 0);
    ASSERT_EQ(a.ActivateFilter(handle), 0);
    EXPECT_EQ(Visit(a), (Records{3}));

    // Cut short: the last literal loses its end.
    const std::vector<std::uint8_t> damaged(blob.begin(), blob.end() - 3);
    TFilter* refused = nullptr;
    EXPECT_EQ(a.AddFilter(nullptr, damaged, refused, false, nullptr, false, nullptr),
              engine::ErrInvalidFilterExpression);
    const std::vector<std::uint8_t> unknown = filterblobtest::StringComparisonBlob("NOSUCH", "alpha");
    EXPECT_EQ(EngineCode([&] { a.AddFilter(nullptr, unknown, refused, false, nullptr, false, nullptr); }),
              engine::ErrInvalidField);
    // A damaged replacement keeps the condition.
    EXPECT_EQ(a.ModifyFilter(handle, damaged, nullptr, false), engine::ErrInvalidFilterExpression);
    EXPECT_EQ(a.Bitmaps().GetFilterCount(), 1);
    EXPECT_EQ(Visit(a), (Records{3}));
}

// ---- Another handle's write in the middle of a build ----

struct Writer {
    TDataFile* reader = nullptr;
    TDataFile* writer = nullptr;
    int calls = 0;
};

// On its first call the other handle inserts a record (CODE 0, which passes); the reader's read ends so that
// its next miss reads the change.
bool WriteOnFirstCall(void* clientData, const std::uint8_t*, SlotNumber) {
    Writer& w = *static_cast<Writer*>(clientData);
    if (w.calls++ == 0) {
        w.reader->EndRead();
        Add(*w.writer, 0);
    }
    return true;
}

TEST_F(RecordBitmapsTest, AWriteMidBuildRestartsItAndTheCursorKeepsItsPlace) {
    // More records than one read-ahead brings in, so that the build misses after the write.
    Build(true, 250, {10, 200});
    // Nothing cached: the build reads the records from the file.
    a.Close();
    OpenF(a);
    OpenF(b);
    a.SetIndexNumber(ByName);
    GoToSlot(a, SlotNumber(120));
    Writer w{&a, &b};
    TFilter* handle = nullptr;
    ASSERT_EQ(a.AddFilter(&w, {}, handle, false, WriteOnFirstCall, false, nullptr), 0);
    ASSERT_EQ(a.ActivateFilter(handle), 0);
    // The build ran again from the start after the write: more calls than records.
    EXPECT_GT(w.calls, 249);
    EXPECT_EQ(a.IndexFile().CurrentIndex(), ByName);
    EXPECT_EQ(a.CurrentRecord()->RecordNumber().Value, 120u);
    const std::unique_ptr<engine::TExprNode> tree(AtMost(1000));
    ExpectScan(*tree);
    EXPECT_EQ(a.GetRecordCount(), 249);
}

// ---- Clones ----

TEST_F(RecordBitmapsTest, AClonedHandleCarriesTheFilters) {
    Build(true, 6, {});
    Activated(AtMost(4));
    Filter(AtMost(1));
    std::unique_ptr<TDataFile> clone = a.CloneCursor();
    EXPECT_EQ(clone->Bitmaps().GetFilterCount(), 2);
    EXPECT_EQ(Visit(*clone), (Records{1, 2, 3, 4}));
    clone->Close();
}

// ---- Upkeep: a write moves only its own record's bits ----

bool EvenCode(void* clientData, const std::uint8_t* image, SlotNumber /*record*/) {
    const TDataFile& table = *static_cast<const TDataFile*>(clientData);
    return CodeOf(table, std::span<const std::uint8_t>(image, table.GetRecordBufferSize())) % 2 == 0;
}

TEST_F(RecordBitmapsTest, AfterEachWriteTheKeptVisibleRecordsEqualAFullRebuild) {
    Build(true, 40, {3, 9, 17});
    struct Setup {
        const char* what;
        bool natural;
        bool callback;
        bool range;
    };
    const Setup setups[] = {{"natural order, no filter", true, false, false},
                            {"natural order, a condition", true, false, false},
                            {"natural order, a callback", true, true, false},
                            {"a condition under a range", false, false, true},
                            {"a callback under a range", false, true, true}};
    std::mt19937 random(122);
    // CODE is the primary key: every write takes a code no record has held, in an order that puts some
    // inside the range and the condition and some outside.
    std::vector<std::int32_t> codes;
    for (std::int32_t code = 41; code <= 400; ++code) codes.push_back(code);
    std::shuffle(codes.begin(), codes.end(), random);
    const auto freeCode = [&codes] {
        const std::int32_t code = codes.back();
        codes.pop_back();
        return code;
    };
    for (const Setup& setup : setups) {
        a.SetIndexNumber(setup.natural ? engine::NaturalOrderIndex : ByName);
        if (setup.range) {
            a.SetRange(false, NewImage(a, {{NameField, Str(NameOf(10))}}), 0,
                       NewImage(a, {{NameField, Str(NameOf(60))}}), 0);
        }
        TFilter* filter = nullptr;
        if (setup.callback) {
            ASSERT_EQ(a.AddFilter(&a, {}, filter, false, EvenCode, false, nullptr), 0);
        } else if (setup.what != setups[0].what) {
            filter = Filter(AtMost(50));
        }
        if (filter != nullptr) {
            ASSERT_EQ(a.ActivateFilter(filter), 0);
        }
        for (int write = 0; write < 60; ++write) {
            const Records live = Scan(a, *std::unique_ptr<engine::TExprNode>(AtMost(INT32_MAX)));
            const int kind = static_cast<int>(random() % 3);
            const std::int32_t code = freeCode();
            std::string done;
            if (kind == 0 || live.empty()) {
                // An insert into the freed slot of a deleted current record is refused (8710).
                a.ReleaseCurrentRecord();
                Add(a, code);
                done = "insert";
            } else {
                const std::uint32_t slot = live[random() % live.size()];
                GoTo(slot);
                if (kind == 1) {
                    std::vector<std::uint8_t> image(a.CurrentRecord()->Image().begin(),
                                                    a.CurrentRecord()->Image().end());
                    a.SetField(false, CodeField, image, std::span<const std::uint8_t>(I32(code)));
                    a.SetField(false, NameField, image, std::span<const std::uint8_t>(Str(NameOf(code))));
                    a.ModifyRecord(image, false, true);
                    done = "modify " + std::to_string(slot);
                } else {
                    a.DeleteRecord(true);
                    done = "delete " + std::to_string(slot);
                }
            }
            const engine::TRecordBitmaps& bitmaps = a.Bitmaps();
            const Records kept = SetBits(bitmaps.Visible());
            const std::uint32_t keptCount = bitmaps.VisibleCount();
            const std::int32_t keptRecNo = a.GetRecNo();
            a.RefreshBitmaps();
            const std::string where =
                std::string(setup.what) + ", write " + std::to_string(write) + ": " + done;
            EXPECT_EQ(kept, SetBits(bitmaps.Visible())) << where;
            EXPECT_EQ(keptCount, bitmaps.VisibleCount()) << where;
            if (setup.natural) {
                const std::uint32_t record = a.IndexFile().Position().NaturalRecord;
                const std::int64_t rank =
                    record == 0 ? 0
                                : engine::BitmapCountUpTo(record, bitmaps.Visible().data(),
                                                          static_cast<std::int64_t>(bitmaps.Visible().size()),
                                                          a.GetPhysicalRecordCount());
                EXPECT_EQ(keptRecNo, rank) << where;
            }
        }
        if (filter != nullptr) {
            ASSERT_EQ(a.DropFilter(filter), 0);
        }
        if (setup.range) a.CancelRange();
    }
}

// ---- A filter modified again and again, served by a few records of an index ----

class RecordBitmapsIntervalTest : public RecordBitmapsTest {
protected:
    // The visible bitmap, its count, navigation and the record count all name the expected records.
    void ExpectVisible(const Records& expected, const std::string& where) {
        const engine::TRecordBitmaps& bitmaps = a.Bitmaps();
        EXPECT_EQ(SetBits(bitmaps.Visible()), expected) << where;
        EXPECT_EQ(bitmaps.VisibleCount(), expected.size()) << where;
        EXPECT_EQ(Sorted(Visit(a)), expected) << where;
        EXPECT_EQ(a.GetRecordCount(), static_cast<std::int32_t>(expected.size())) << where;
        // Backward too: the searches from the end skip the empty stretches as well.
        a.SetToEnd();
        Records back;
        while (a.GetPriorRecord() == 0) back.push_back(a.CurrentRecord()->RecordNumber().Value);
        EXPECT_EQ(Sorted(back), expected) << where;
    }
    void SetCode(TDataFile& table, std::uint32_t slot, std::int32_t code) {
        GoToSlot(table, SlotNumber(slot));
        std::vector<std::uint8_t> image(table.CurrentRecord()->Image().begin(), table.CurrentRecord()->Image().end());
        table.SetField(false, CodeField, image, std::span<const std::uint8_t>(I32(code)));
        table.SetField(false, NameField, image, std::span<const std::uint8_t>(Str(NameOf(code))));
        table.ModifyRecord(image, false, true);
    }
};

exprtest::NodePtr ByCode(engine::ExprOperator op, std::int32_t code) {
    return Binary(op, Column(CodeField, Int(0)), Const(Int(code)));
}

exprtest::NodePtr Named(engine::ExprOperator op, std::int32_t code) {
    return Binary(op, Column(NameField, exprtest::Text("")), Const(exprtest::Text(NameOf(code))));
}

exprtest::NodePtr Both(exprtest::NodePtr left, exprtest::NodePtr right) {
    return Binary(engine::opAnd, std::move(left), std::move(right));
}

// What the SQL join does for each outer row: the inner table's link filter (and-earlier, after another
// filter) gets a new condition. Each condition comes with writes before it, by this handle and by another;
// after each, the visible records are exactly what a scan of both conditions finds. The handle stays in one
// order throughout, natural (the join's) or an index's: a switch rebuilds every bitmap.
class RecordBitmapsIntervalOrderTest : public RecordBitmapsIntervalTest,
                                       public ::testing::WithParamInterface<int> {};

TEST_P(RecordBitmapsIntervalOrderTest, EveryNewConditionGivesTheRecordsAScanFinds) {
    // 640 slots, so that an interval of up to ten records is served from its records alone.
    Build(true, 640, {100, 101});
    OpenF(b);
    a.SetStrictChangeDetection(true);
    a.SetIndexNumber(GetParam());
    const exprtest::NodePtr earlier = Named(engine::opNotEqual, 6);
    Activated(Named(engine::opNotEqual, 6).release());
    TFilter* link = nullptr;
    ASSERT_EQ(a.AddFilter(nullptr, {}, link, true, nullptr, true, ByCode(engine::opEqual, 1).release()), 0);
    ASSERT_EQ(a.ActivateFilter(link), 0);
    ExpectVisible({1}, "the first condition");

    struct Step {
        const char* what;
        std::function<void()> write;
        std::function<exprtest::NodePtr()> condition;
        bool fewRecords;  // served from the interval's records, not the whole bitmap
    };
    const auto none = [] {};
    const Step steps[] = {
        {"moves", none, [] { return ByCode(engine::opEqual, 600); }, true},
        {"the earlier filter's record", none, [] { return ByCode(engine::opEqual, 6); }, true},
        {"grows", none, [] { return ByCode(engine::opLessEqual, 4); }, true},
        {"a record modified out of it", [&] { SetCode(a, 3, 800); }, [] { return ByCode(engine::opLessEqual, 4); },
         true},
        {"grows past the earlier filter", [&] { Add(a, 0); }, [] { return ByCode(engine::opLessEqual, 9); }, true},
        {"shrinks after a delete", [&] { DeleteSlot(a, SlotNumber(2)); },
         [] { return ByCode(engine::opLessEqual, 2); }, true},
        {"moves to the top, a record modified into it", [&] { SetCode(a, 1, 650); },
         [] { return ByCode(engine::opGreaterEqual, 636); }, true},
        {"empty, a record modified into the last one leaving with it", [&] { SetCode(a, 300, 900); },
         [] { return ByCode(engine::opEqual, 5000); }, true},
        {"another handle's insert", [&] { Add(b, 5000); }, [] { return ByCode(engine::opEqual, 5000); }, true},
        {"another handle's delete", [&] { DeleteSlot(b, SlotNumber(637)); },
         [] { return ByCode(engine::opGreaterEqual, 636); }, true},
        {"the whole table", none, [] { return ByCode(engine::opGreaterEqual, 0); }, false},
        {"one record after the whole table", none, [] { return ByCode(engine::opEqual, 7); }, true},
        {"and a further condition on its records",
         none, [] { return Both(ByCode(engine::opLessEqual, 9), Named(engine::opNotEqual, 8)); }, true},
        {"two bounds of one column", none,
         [] { return Both(ByCode(engine::opLessEqual, 105), ByCode(engine::opGreaterEqual, 100)); }, true},
        {"two bounds and a further condition", none,
         [] {
             return Both(Both(ByCode(engine::opGreater, 99), ByCode(engine::opLess, 106)),
                         Named(engine::opNotEqual, 101));
         },
         true},
        {"two crossed bounds", none, [] { return Both(ByCode(engine::opLess, 50), ByCode(engine::opGreater, 60)); },
         true},
        {"two bounds around most of the table", none,
         [] { return Both(ByCode(engine::opGreaterEqual, 1), ByCode(engine::opLess, 630)); }, false},
        {"on another index", none, [] { return Named(engine::opEqual, 20); }, true},
        {"a deleted slot taken again", [&] { Add(a, 2000); }, [] { return ByCode(engine::opEqual, 2000); }, true},
        {"more than a few", none, [] { return Named(engine::opLessEqual, 21); }, false},
        {"a few again", none, [] { return Named(engine::opGreaterEqual, 639); }, true},
    };
    for (const Step& step : steps) {
        step.write();
        ASSERT_EQ(a.ModifyFilter(link, {}, step.condition().release(), true), 0) << step.what;
        EXPECT_EQ(link->MarksKnown(), step.fewRecords) << step.what;
        const exprtest::NodePtr condition = step.condition();
        Records expected;
        const Records first = Scan(a, *earlier);
        const Records second = Scan(a, *condition);
        std::set_intersection(first.begin(), first.end(), second.begin(), second.end(), std::back_inserter(expected));
        ExpectVisible(expected, step.what);
    }
}

INSTANTIATE_TEST_SUITE_P(NaturalAndIndexOrder, RecordBitmapsIntervalOrderTest,
                         ::testing::Values(int{engine::NaturalOrderIndex}, ByName),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == ByName ? "ByName" : "Natural";
                         });

}  // namespace
