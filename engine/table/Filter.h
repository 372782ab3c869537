// TFilter: one filter of a table handle, a condition or a record callback, with the bitmap of the records
// that pass it; and the record-by-record evaluation that computes such bitmaps.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/expr/ExprNode.h"
#include "engine/records/RecordNumbers.h"

namespace engine {

class TDataFile;

// Decides whether one record passes: the client data given when the filter was added, the record image and
// the record's physical number.
using TRecordFilterProc = bool (*)(void* clientData, const std::uint8_t* image, SlotNumber recordNumber);

// What a record is tested with: a condition tree, else a callback with its client data.
struct TRecordTest {
    const TExprNode* Tree = nullptr;
    TRecordFilterProc Callback = nullptr;
    void* ClientData = nullptr;
};

// The engine's column procedure: field FieldNo of the physical field set of the record image (data points at
// a std::span<const std::uint8_t>) into the value and its null flag. Owner is the TDataFile.
void GetColumnValue(void* owner, void* data, const TExprNode& column, ExprValue& value);

// Whether the record passes the test: a condition whose truth value is not 0 (its null flag is not
// consulted), or a callback answering true. Exceptions of the callback or the evaluator pass out.
bool EvaluateRecord(TDataFile& table, std::span<const std::uint8_t> image, SlotNumber record,
                    const TRecordTest& test);

// Evaluates records into the bitmap, n being the physical record count; no record above n is ever fetched.
// Under parent operator AND only the records whose bit is set are fetched and evaluated, in ascending order,
// whatever their status; under any other parent operator the bits 1 .. n are set first and every record
// 1 .. n is fetched, an active one evaluated, a deleted one keeping its bit. Either way the bits above n are
// cleared. A record that fails has its bit cleared. Fetches read ahead forward. A fetch that reports another
// program's change sets the changed flag and stops.
void EvaluateRecords(TDataFile& table, std::span<std::uint8_t> bitmap, bool& changed, const TRecordTest& test,
                     ExprOperator parentOperator);

class TFilter {
public:
    // A condition filter from the blob (a tree the filter owns) or else from the tree (owned or borrowed by
    // the owns-tree flag); a callback given as well is ignored. Else a callback filter. Neither a condition
    // nor a callback, or a damaged blob, answers 10051 with no filter; a blob naming a field the table does
    // not have raises 9985. The new filter is inactive, without a bitmap. 0 on success.
    static std::uint16_t Create(TDataFile& owner, TRecordFilterProc callback, void* clientData,
                                bool andEarlier, bool ownsTree, TExprNode* tree,
                                std::span<const std::uint8_t> blob, std::unique_ptr<TFilter>& filter);
    TFilter(const TFilter&) = delete;
    TFilter& operator=(const TFilter&) = delete;
    ~TFilter();

    TDataFile& Owner() const noexcept { return owner_; }
    bool IsCallback() const noexcept { return callback_ != nullptr; }
    bool Active() const noexcept { return active_; }
    void Activate() noexcept { active_ = true; }
    void Deactivate() noexcept { active_ = false; }
    bool AndEarlier() const noexcept { return andEarlier_; }
    // 0 answered by an index, 1 partly, 2 record by record; always 2 for a callback.
    std::uint8_t OptLevel() const noexcept { return optLevel_; }
    const TExprNode* Expression() const noexcept { return expression_; }
    bool OwnsExpression() const noexcept { return static_cast<bool>(ownedExpression_); }
    TRecordFilterProc Callback() const noexcept { return callback_; }
    void* ClientData() const noexcept { return clientData_; }
    // A deep copy of the condition, for a clone of the table handle; none for a callback filter.
    std::unique_ptr<TExprNode> CopyExpression() const { return CopyExprTree(expression_); }

    // The filter's record bitmap; empty without one.
    std::span<const std::uint8_t> GetBitmap() const noexcept { return bitmap_; }
    std::span<std::uint8_t> Bitmap() noexcept { return bitmap_; }
    // A size of at least 1 keeps the bits it covers and zero-fills new bytes; below 1 frees the bitmap.
    void SetBitmapSize(std::int64_t size);

    // When known, every set bit of the bitmap is among these record numbers (duplicates allowed): a new
    // interval then clears them instead of the whole bitmap. A whole evaluation forgets them; a record this
    // handle writes that passes is added, and a list grown past the bitmap's byte count is dropped.
    bool MarksKnown() const noexcept { return marksKnown_; }
    const std::vector<std::uint32_t>& Marks() const noexcept { return marks_; }
    void SetMarks(std::vector<std::uint32_t> marks) noexcept;
    void ForgetMarks() noexcept;

    // Replaces the condition: the blob's tree (owned) or else the tree (owned or borrowed by the flag). The
    // new condition is converted and checked first: a damaged blob, or neither blob nor tree, answers 10051
    // and the filter keeps its condition; an unknown field raises 9985 likewise. The old tree is freed only
    // when the filter owned it. 0 on success.
    std::uint16_t SetExpression(std::span<const std::uint8_t> blob, TExprNode* tree, bool ownsTree);

    // The bitmap := the candidates (their size is the bitmap size), then the condition evaluated over them
    // (EvaluateNode under parent operator AND; a callback record by record), and the result ANDed with the
    // candidates: no bit outside them stays.
    void Evaluate(std::span<const std::uint8_t> candidates, bool& changed);
    // The node's records into the bitmap, which holds the candidates on entry (Optimiser.cpp): a node the
    // analysis rated 0 is marked from an index (its records over the whole table, which an AND containing it
    // or the final combination limits to the candidates); what it rated 2 is evaluated record by record,
    // under parent operator AND only over the records set. An AND of two comparisons that bound one indexed
    // column from both sides, and BETWEEN, are marked as the one interval between the bounds. Answers the
    // level used; stops when a step reports another program's change.
    std::uint8_t EvaluateNode(std::span<std::uint8_t> bitmap, bool& changed, ExprOperator parentOperator,
                              TExprNode* node);
    // EvaluateRecords with the filter's callback, or with the node.
    void EvaluateByRecords(std::span<std::uint8_t> bitmap, bool& changed, ExprOperator parentOperator,
                           const TExprNode* node);
    // After this handle wrote the record: the bitmap sized, the record's bit set, then cleared when the
    // record fails.
    void UpdateRecord(std::int64_t size, SlotNumber record, std::span<const std::uint8_t> image);
    void ClearRecordBit(SlotNumber record) noexcept;

private:
    explicit TFilter(TDataFile& owner) : owner_(owner) {}
    // The tree of a blob, or none for a damaged one; 9985 for an unknown field.
    std::unique_ptr<TExprNode> ConvertExpression(std::span<const std::uint8_t> blob) const;
    TRecordTest Test(const TExprNode* node) const noexcept { return {node, callback_, clientData_}; }

    TDataFile& owner_;
    // The condition: the tree owned, or borrowed; expression_ points at whichever is in use.
    std::unique_ptr<TExprNode> ownedExpression_;
    TExprNode* expression_ = nullptr;
    TRecordFilterProc callback_ = nullptr;
    void* clientData_ = nullptr;
    std::vector<std::uint8_t> bitmap_;
    std::vector<std::uint32_t> marks_;
    bool marksKnown_ = false;
    bool active_ = false;
    bool andEarlier_ = false;
    std::uint8_t optLevel_ = 2;
};

}  // namespace engine
