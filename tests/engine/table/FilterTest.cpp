#include "engine/table/Filter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
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
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/StoredValues.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using engine::SlotNumber;
using engine::TFilter;
using exprtest::Binary;
using exprtest::Column;
using exprtest::Const;
using exprtest::Int;
using Bits = std::vector<std::uint8_t>;
using Records = std::vector<std::uint32_t>;

// Tables whose records this test changes in place (statuses, values) live apart from the clean check.
const std::string TableName = "filter/t";
constexpr std::uint16_t IdField = 1;
constexpr std::uint16_t TypeField = 2;

Records SetBits(const Bits& bits) {
    Records records;
    for (std::uint32_t r = 1; r <= bits.size() * 8; ++r)
        if (engine::BitmapTestBit(r, bits.data())) records.push_back(r);
    return records;
}

class FilterTest : public TableTest {
protected:
    // n slots with ID = slot number and TESTTYPE "alpha" on every third slot, blank on every fifth, else
    // "beta"; the deleted slots get status 1. Open exclusively.
    void Build(std::uint32_t n, const Records& deleted = {}) {
        table_.Close();
        fs::remove_all("filter");
        fs::create_directories("filter");
        std::vector<engine::TFieldDesc> fields = {
            FieldDef(IdField, "ID", engine::FieldTypeInteger),
            FieldDef(TypeField, "TESTTYPE", engine::FieldTypeString, 12)};
        std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {IdField})};
        CreateTable(TableName, fields, indexes);
        AppendActiveSlots(TableName + ".DAT", static_cast<int>(n));
        table_.SetFileName(TableName);
        table_.SetExclusive(true);
        table_.Open();
        for (std::uint32_t slot = 1; slot <= n; ++slot) {
            engine::RecordPin record;
            ASSERT_TRUE(table_.GetRecord(SlotNumber(slot), false, false, 1, record));
            const std::string type = slot % 5 == 0 ? "" : slot % 3 == 0 ? "alpha" : "beta";
            if (!type.empty()) SetStoredText(record->Image(), type);
            if (std::find(deleted.begin(), deleted.end(), slot) != deleted.end()) record->SetStatus(1);
            record->MarkDirty();
        }
        table_.FlushRecords();
        n_ = n;
        dataSize_ = fs::file_size(TableName + ".DAT");
    }
    void SetStoredText(std::span<std::uint8_t> image, const std::string& text) {
        const Bytes value = Str(text);
        table_.SetField(false, TypeField, image, std::span<const std::uint8_t>(value));
    }

    engine::TIndexFile& Index() { return table_.IndexFile(); }

    // The scan: EvaluateExpr over every live slot among the candidates.
    Records Scan(const engine::TExprNode& tree, const Bits& candidates) {
        Records records;
        for (std::uint32_t slot = 1; slot <= n_; ++slot) {
            if (!engine::BitmapTestBit(slot, candidates.data())) continue;
            engine::RecordPin record;
            EXPECT_TRUE(table_.GetRecord(SlotNumber(slot), false, false, 1, record));
            if (record->Status() != 0) continue;
            std::span<const std::uint8_t> image = record->Image();
            engine::ExprValue result = tree.Value;
            engine::EvaluateExpr(tree, &image, &table_, engine::GetColumnValue, 0, 0, result);
            if (result.IsTrue()) records.push_back(slot);
        }
        return records;
    }
    // The live slots: every slot but the deleted ones.
    Bits Live(const Records& deleted) const {
        Bits bits(n_ / 8 + 1, 0);
        for (std::uint32_t r = 1; r <= n_; ++r)
            if (std::find(deleted.begin(), deleted.end(), r) == deleted.end())
                engine::BitmapSetBit(r, bits.data());
        return bits;
    }

    std::unique_ptr<TFilter> MakeFilter(engine::TRecordFilterProc callback, void* clientData, bool ownsTree,
                                        engine::TExprNode* tree, std::span<const std::uint8_t> blob = {}) {
        std::unique_ptr<TFilter> filter;
        EXPECT_EQ(TFilter::Create(table_, callback, clientData, false, ownsTree, tree, blob, filter), 0);
        return filter;
    }

    engine::TDataFile table_;
    std::uint32_t n_ = 0;
    std::uintmax_t dataSize_ = 0;
};

// What a callback saw: each call's client data, record number and the ID its image holds.
struct Calls {
    const engine::TDataFile* table = nullptr;
    std::vector<std::uint32_t> records;
    std::vector<std::int32_t> ids;
    bool answer = true;
    bool throws = false;
};

bool Record(void* clientData, const std::uint8_t* image, SlotNumber record) {
    auto& calls = *static_cast<Calls*>(clientData);
    calls.records.push_back(record.Value);
    Bytes id(4);
    calls.table->GetField(false, IdField, std::span<const std::uint8_t>(image, calls.table->GetRecordSize()),
                          id);
    calls.ids.push_back(static_cast<std::int32_t>(engine::LoadU32(id.data())));
    if (calls.throws) throw std::runtime_error("callback");
    return calls.answer && record.Value % 2 == 1;
}

TEST_F(FilterTest, ABlobConditionEqualsTheScanForEverySizeAndDeletion) {
    const struct {
        std::uint32_t n;
        Records deleted;
    } tables[] = {{10, {3, 7}}, {7, {3, 7}}, {8, {3, 7}}, {9, {1, 9}}, {16, {1, 16}}, {17, {3, 7, 17}}};
    const Bits blob = filterblobtest::StringComparisonBlob("testtype", "alpha");
    for (const auto& t : tables) {
        Build(t.n, t.deleted);
        const std::unique_ptr<TFilter> filter = MakeFilter(nullptr, nullptr, false, nullptr, blob);
        ASSERT_TRUE(filter);
        EXPECT_TRUE(filter->OwnsExpression());
        const Bits live = Live(t.deleted);
        bool changed = false;
        filter->Evaluate(live, changed);
        EXPECT_FALSE(changed);
        EXPECT_EQ(filter->OptLevel(), 2);
        const Records expected = Scan(*filter->Expression(), live);
        EXPECT_FALSE(expected.empty()) << t.n;
        EXPECT_EQ(SetBits(Bits(filter->GetBitmap().begin(), filter->GetBitmap().end())), expected) << t.n;
    }
}

TEST_F(FilterTest, TheTenSlotFixturePassesOneToFive) {
    Build(10, {3, 7});
    auto tree = Binary(engine::opLessEqual, Column(IdField, Int(0)), Const(Int(5)));
    const std::unique_ptr<TFilter> filter = MakeFilter(nullptr, nullptr, false, tree.get());
    EXPECT_FALSE(filter->OwnsExpression());
    bool changed = false;
    filter->Evaluate(Live({3, 7}), changed);
    EXPECT_EQ(SetBits(Bits(filter->GetBitmap().begin(), filter->GetBitmap().end())), (Records{1, 2, 4, 5}));
}

// A calculated field of the working set filters by the value the table computes for it; a physical field
// of the same name comes first.
TEST_F(FilterTest, ABlobNamingACalculatedFieldFiltersByItsComputedValue) {
    Build(10, {3, 7});
    auto twice = Binary(engine::opMultiply, Column(IdField, Int(0)), Const(Int(2)), engine::FieldTypeInteger);
    twice->Value.Size = 4;
    const auto define = [&](const std::string& name) {
        std::vector<engine::TFieldDesc> fields = table_.PhysicalFields();
        engine::TFieldDesc calculated = FieldDef(3, name, engine::FieldTypeInteger);
        calculated.Calculated = 1;
        calculated.CompiledExpression = twice.get();
        fields.push_back(calculated);
        table_.DefineWorkingFields(fields);
    };
    const auto kept = [&](const std::string& field, std::int32_t value) {
        filterblobtest::TFilterBlobWriter w;
        filterblobtest::WriteComparison(w, engine::ncBinary, field, engine::FieldTypeInteger, I32(value));
        const std::unique_ptr<TFilter> filter = MakeFilter(nullptr, nullptr, false, nullptr, w.Blob());
        bool changed = false;
        filter->Evaluate(Live({3, 7}), changed);
        return SetBits(Bits(filter->GetBitmap().begin(), filter->GetBitmap().end()));
    };
    define("TWICE");
    EXPECT_EQ(kept("twice", 8), (Records{4}));
    EXPECT_EQ(kept("TWICE", 6), (Records{}));  // slot 3 is deleted
    EXPECT_EQ(kept("ID", 8), (Records{8}));
    define("ID");
    EXPECT_EQ(kept("ID", 8), (Records{8}));
}

TEST_F(FilterTest, ACallbackSeesEachCandidateOnceAndNothingAboveTheRecords) {
    Build(10, {3, 7});
    Calls calls;
    calls.table = &table_;
    const std::unique_ptr<TFilter> filter = MakeFilter(Record, &calls, false, nullptr);
    ASSERT_TRUE(filter->IsCallback());
    // Candidates as an inversion leaves them: every bit of the two bytes set, 11..16 beyond the records.
    Bits candidates(2, 0xFF);
    engine::BitmapClearBit(4, candidates.data());
    bool changed = false;
    filter->Evaluate(candidates, changed);
    const Records expected = {1, 2, 3, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(calls.records, expected);
    EXPECT_EQ(calls.ids, (std::vector<std::int32_t>{1, 2, 3, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(SetBits(Bits(filter->GetBitmap().begin(), filter->GetBitmap().end())),
              (Records{1, 3, 5, 7, 9}));
    EXPECT_EQ(fs::file_size(TableName + ".DAT"), dataSize_);

    calls = Calls{};
    calls.table = &table_;
    calls.answer = false;
    filter->Evaluate(Live({3, 7}), changed);
    EXPECT_TRUE(SetBits(Bits(filter->GetBitmap().begin(), filter->GetBitmap().end())).empty());
}

TEST_F(FilterTest, ACallbackThrowPassesOutAndTheNextEvaluationWorks) {
    Build(10);
    Calls calls;
    calls.table = &table_;
    calls.throws = true;
    const std::unique_ptr<TFilter> filter = MakeFilter(Record, &calls, false, nullptr);
    bool changed = false;
    EXPECT_THROW(filter->Evaluate(Live({}), changed), std::runtime_error);
    calls = Calls{};
    calls.table = &table_;
    filter->Evaluate(Live({}), changed);
    EXPECT_EQ(calls.records.size(), 10u);
}

TEST_F(FilterTest, UnderAnotherParentEverySlotIsReadAndDeletedSlotsKeepTheirBit) {
    Build(10, {3, 7});
    Calls calls;
    calls.table = &table_;
    calls.answer = false;
    Bits bits(3, 0);
    bool changed = false;
    engine::EvaluateRecords(table_, bits, changed, {nullptr, Record, &calls}, engine::opOr);
    EXPECT_EQ(calls.records, (Records{1, 2, 4, 5, 6, 8, 9, 10}));
    EXPECT_EQ(SetBits(bits), (Records{3, 7}));
    EXPECT_EQ(fs::file_size(TableName + ".DAT"), dataSize_);
}

TEST_F(FilterTest, CreatingChecksTheConditionFirst) {
    Build(4);
    std::unique_ptr<TFilter> filter;
    const auto create = [&](engine::TRecordFilterProc callback, engine::TExprNode* tree, const Bits& blob) {
        return TFilter::Create(table_, callback, nullptr, false, false, tree, blob, filter);
    };
    EXPECT_EQ(create(nullptr, nullptr, {}), engine::ErrInvalidFilterExpression);
    EXPECT_FALSE(filter);
    EXPECT_EQ(create(nullptr, nullptr, Bits(12, 0)), engine::ErrInvalidFilterExpression);
    EXPECT_FALSE(filter);
    EXPECT_EQ(
        EngineCode([&] { create(nullptr, nullptr, filterblobtest::StringComparisonBlob("NAME", "x")); }),
        engine::ErrInvalidField);
    EXPECT_FALSE(filter);
    // A callback given with a condition is ignored.
    auto tree = Binary(engine::opEqual, Column(IdField, Int(0)), Const(Int(2)));
    EXPECT_EQ(create(Record, tree.get(), {}), 0);
    ASSERT_TRUE(filter);
    EXPECT_FALSE(filter->IsCallback());
    EXPECT_EQ(filter->Expression(), tree.get());
}

TEST_F(FilterTest, SetExpressionKeepsTheOldConditionOnFailureAndFreesOnlyItsOwn) {
    Build(6);
    auto borrowed = Binary(engine::opEqual, Column(IdField, Int(0)), Const(Int(2)));
    std::unique_ptr<TFilter> filter = MakeFilter(nullptr, nullptr, false, borrowed.get());
    EXPECT_EQ(filter->SetExpression(Bits(20, 0xEE), nullptr, false), engine::ErrInvalidFilterExpression);
    EXPECT_EQ(filter->SetExpression({}, nullptr, false), engine::ErrInvalidFilterExpression);
    EXPECT_EQ(filter->Expression(), borrowed.get());
    // The borrowed tree stays the caller's: replacing it must not free it.
    EXPECT_EQ(
        filter->SetExpression(filterblobtest::StringComparisonBlob("TESTTYPE", "alpha"), nullptr, false), 0);
    EXPECT_TRUE(filter->OwnsExpression());
    EXPECT_EQ(borrowed->Right->Value.GetInt32(), 2);
    // An owned tree replaced by another: the filter frees the first (the leak check would see it otherwise).
    EXPECT_EQ(filter->SetExpression(
                  {}, Binary(engine::opEqual, Column(IdField, Int(0)), Const(Int(4))).release(), true),
              0);
    bool changed = false;
    filter->Evaluate(Live({}), changed);
    EXPECT_EQ(SetBits(Bits(filter->GetBitmap().begin(), filter->GetBitmap().end())), (Records{4}));
    EXPECT_EQ(filter->SetExpression({}, borrowed.get(), false), 0);
    filter->Evaluate(Live({}), changed);
    EXPECT_EQ(SetBits(Bits(filter->GetBitmap().begin(), filter->GetBitmap().end())), (Records{2}));
}

TEST_F(FilterTest, UpdateRecordSizesTheBitmapAndEvaluatesTheRecord) {
    Build(9);
    auto tree = Binary(engine::opLessEqual, Column(IdField, Int(0)), Const(Int(5)));
    std::unique_ptr<TFilter> filter = MakeFilter(nullptr, nullptr, false, tree.get());
    for (const std::uint32_t slot : {4u, 9u}) {
        engine::RecordPin record;
        ASSERT_TRUE(table_.GetRecord(SlotNumber(slot), false, false, 1, record));
        filter->UpdateRecord(2, SlotNumber(slot), record->Image());
    }
    EXPECT_EQ(filter->GetBitmap().size(), 2u);
    EXPECT_EQ(SetBits(Bits(filter->GetBitmap().begin(), filter->GetBitmap().end())), (Records{4}));
    filter->ClearRecordBit(SlotNumber(4));
    EXPECT_TRUE(SetBits(Bits(filter->GetBitmap().begin(), filter->GetBitmap().end())).empty());
    filter->SetBitmapSize(0);
    EXPECT_TRUE(filter->GetBitmap().empty());
}

}  // namespace
