// TFilter and the record-by-record evaluation of conditions and callbacks (declared in Filter.h).
#include "engine/table/Filter.h"

#include <utility>

#include "engine/base/Bitmap.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/expr/FilterBlob.h"
#include "engine/table/DataFile.h"
#include "engine/table/FilterFields.h"
#include "engine/table/Optimiser.h"
#include "engine/table/Record.h"

namespace engine {

// ---- Record by record ----

void GetColumnValue(void* owner, void* data, const TExprNode& column, ExprValue& value) {
    const TDataFile& table = *static_cast<const TDataFile*>(owner);
    const auto& image = *static_cast<const std::span<const std::uint8_t>*>(data);
    value.Bytes.fill(0);
    value.IsNull = table.GetField(false, column.FieldNo, image, value.Bytes) ? 1 : 0;
}

bool EvaluateRecord(TDataFile& table, std::span<const std::uint8_t> image, SlotNumber record,
                    const TRecordTest& test) {
    if (test.Tree == nullptr) return test.Callback(test.ClientData, image.data(), record);
    ExprValue result = test.Tree->Value;
    EvaluateExpr(*test.Tree, &image, &table, GetColumnValue, table.GetLanguageId(), table.GetSortId(),
                 result);
    return result.IsTrue();
}

void EvaluateRecords(TDataFile& table, std::span<std::uint8_t> bitmap, bool& changed, const TRecordTest& test,
                     ExprOperator parentOperator) {
    const std::int64_t size = static_cast<std::int64_t>(bitmap.size());
    // Bits above the records that exist stand for nothing: no slot past them is ever read.
    const std::int64_t highest = std::min<std::int64_t>(table.GetPhysicalRecordCount(), size * 8);
    BitmapClearAbove(highest, bitmap.data(), size);
    const bool candidatesOnly = parentOperator == opAnd;
    if (!candidatesOnly) {
        BitmapSetAll(bitmap.data(), size);
        BitmapClearAbove(highest, bitmap.data(), size);
    }
    std::int64_t position = 0;
    for (;;) {
        if (candidatesOnly) {
            if (!BitmapNextSetBit(bitmap.data(), size, highest, position)) return;
        } else if (++position > highest) {
            return;
        }
        const SlotNumber slot(static_cast<std::uint32_t>(position));
        // Scattered candidates (an AND after an index found a few) are read one at a time: a read-ahead
        // pays off only when the next candidate lies within its reach.
        std::int64_t next = position;
        const bool readAhead = !candidatesOnly || (BitmapNextSetBit(bitmap.data(), size, highest, next) &&
                                                   next - position < table.ReadAheadLimit());
        RecordPin record;
        if (!table.GetRecord(slot, readAhead, false, 1, record)) {
            changed = true;
            return;
        }
        // Under AND the candidates are live already; otherwise a deleted slot keeps its bit for the live
        // records to remove.
        if (!candidatesOnly && record->Status() != 0) continue;
        const std::span<const std::uint8_t> image = record->Image();
        if (!EvaluateRecord(table, image, slot, test)) BitmapClearBit(position, bitmap.data());
    }
}

// ---- TFilter ----

std::uint16_t TFilter::Create(TDataFile& owner, TRecordFilterProc callback, void* clientData, bool andEarlier,
                              bool ownsTree, TExprNode* tree, std::span<const std::uint8_t> blob,
                              std::unique_ptr<TFilter>& filter) {
    filter.reset();
    // A tree handed over for the filter to own goes with a failure before the filter takes it.
    std::unique_ptr<TExprNode> handed(ownsTree && blob.empty() ? tree : nullptr);
    std::unique_ptr<TFilter> made(new TFilter(owner));
    if (!blob.empty() || tree != nullptr) {
        if (made->SetExpression(blob, handed ? handed.release() : tree, ownsTree) != 0)
            return ErrInvalidFilterExpression;
    } else if (callback != nullptr) {
        made->callback_ = callback;
        made->clientData_ = clientData;
        made->optLevel_ = 2;
    } else {
        return ErrInvalidFilterExpression;
    }
    made->andEarlier_ = andEarlier;
    filter = std::move(made);
    return 0;
}

TFilter::~TFilter() = default;

std::unique_ptr<TExprNode> TFilter::ConvertExpression(std::span<const std::uint8_t> blob) const {
    // Over the physical field set, the numbering that GetColumnValue reads.
    return BuildFilterTree(owner_, blob);
}

std::uint16_t TFilter::SetExpression(std::span<const std::uint8_t> blob, TExprNode* tree, bool ownsTree) {
    std::unique_ptr<TExprNode> owned;
    TExprNode* next = tree;
    if (!blob.empty()) {
        owned = ConvertExpression(blob);
        if (!owned) return ErrInvalidFilterExpression;
        next = owned.get();
    } else if (tree == nullptr) {
        return ErrInvalidFilterExpression;
    } else if (ownsTree) {
        owned.reset(tree);
    }
    // The old tree goes only now, and only when it was the filter's own.
    ownedExpression_ = std::move(owned);
    expression_ = next;
    callback_ = nullptr;
    clientData_ = nullptr;
    optLevel_ = AnalyseOptimization(owner_.IndexFile(), opNone, expression_, false);
    return 0;
}

void TFilter::SetBitmapSize(std::int64_t size) {
    if (size < 1) {
        bitmap_.clear();
        bitmap_.shrink_to_fit();
        return;
    }
    bitmap_.resize(static_cast<std::size_t>(size), 0);
}

void TFilter::SetMarks(std::vector<std::uint32_t> marks) noexcept {
    marks_ = std::move(marks);
    marksKnown_ = true;
}

void TFilter::ForgetMarks() noexcept {
    marks_.clear();
    marks_.shrink_to_fit();
    marksKnown_ = false;
}

void TFilter::Evaluate(std::span<const std::uint8_t> candidates, bool& changed) {
    ForgetMarks();
    bitmap_.assign(candidates.begin(), candidates.end());
    optLevel_ = 2;
    if (IsCallback()) {
        EvaluateByRecords(bitmap_, changed, opAnd, nullptr);
        return;
    }
    optLevel_ = EvaluateNode(bitmap_, changed, opAnd, expression_);
    // Marked parts name records of the whole table, an inverted one deleted slots too.
    if (!changed) BitmapAnd(candidates.data(), bitmap_.data(), static_cast<std::int64_t>(bitmap_.size()));
}

void TFilter::EvaluateByRecords(std::span<std::uint8_t> bitmap, bool& changed, ExprOperator parentOperator,
                                const TExprNode* node) {
    EvaluateRecords(owner_, bitmap, changed, Test(IsCallback() ? nullptr : node), parentOperator);
}

void TFilter::UpdateRecord(std::int64_t size, SlotNumber record, std::span<const std::uint8_t> image) {
    SetBitmapSize(size);
    if (record.Value < 1 || record.Value > bitmap_.size() * 8) return;
    // Noted before the bit is set, so that a throwing evaluation leaves no bit outside the list; past the
    // bitmap's size the list costs more than clearing the bitmap whole.
    if (marksKnown_ && marks_.size() >= bitmap_.size()) ForgetMarks();
    if (marksKnown_) marks_.push_back(record.Value);
    BitmapSetBit(record.Value, bitmap_.data());
    if (!EvaluateRecord(owner_, image, record, Test(expression_)))
        BitmapClearBit(record.Value, bitmap_.data());
}

void TFilter::ClearRecordBit(SlotNumber record) noexcept {
    if (record.Value >= 1 && record.Value <= bitmap_.size() * 8) BitmapClearBit(record.Value, bitmap_.data());
}

}  // namespace engine
