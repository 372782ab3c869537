// TFilterExpr: the parse nodes of a filter condition, and the writer of the filter blob they describe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "components/FilterConstant.h"
#include "db/DataSet.h"
#include "db/Field.h"
#include "engine/expr/FilterBlob.h"
#include "rtl/Variant.h"

namespace components {

enum TFilterNodeKind : std::uint8_t { nkField = 0, nkConstant = 1, nkOperator = 2 };

// One element of a parsed condition, owned by the TFilterExpr that made it.
struct TFilterParseNode {
    TFilterNodeKind Kind = nkField;
    // 1: a string comparison over the constant's length only (the lookup filters set it); 0 as made.
    std::uint8_t Partial = 0;
    // Operators: engine::opEqual .. opLessEqual, opNot, opAnd, opOr.
    std::uint32_t Operator = 0;
    // A field: its name as text. A constant: a string, a Boolean, Null, or any field value (lookups).
    rtl::Variant Data;
    // An operator's operands; NOT has Left only.
    TFilterParseNode* Left = nullptr;
    TFilterParseNode* Right = nullptr;
};

// Writes a condition's blob in the engine's layout (engine/expr/FilterBlob.h): every node is appended before
// its operands, so the root is node 0, and fields are named, constants converted to the stored form of the
// field they are compared with. Comparisons put the field on the left: 5 < NUM is written as NUM > 5.
//
// Bad conditions raise the database error with the message texts of ComponentTexts.h; a name that is not a
// field fails in FieldByName, a constant that does not convert in the text or variant conversions. The
// blob's limits: at most engine::MaxFilterBlobSize bytes ("Filter expression too large"), and a tree of at
// most engine::MaxExprDepth levels as the engine builds it, where a comparison and its operands take two
// ("Filter expression too complex"); writing recurses no deeper than that.
class TFilterExpr {
public:
    // Field names and string constants pass through the dataset's Translate on their way to the engine.
    TFilterExpr(db::TDataSet& dataset, db::TFilterOptions options);
    ~TFilterExpr();
    TFilterExpr(const TFilterExpr&) = delete;
    TFilterExpr& operator=(const TFilterExpr&) = delete;

    // A new node, owned here; the pointer stays valid for this object's life.
    TFilterParseNode* NewNode(TFilterNodeKind kind, std::uint32_t op, rtl::Variant data,
                              TFilterParseNode* left = nullptr, TFilterParseNode* right = nullptr);
    // field op value: a field node, a constant node and the operator node over them, which it returns.
    TFilterParseNode* NewFieldCompare(const db::TField& field, std::uint32_t op, const rtl::Variant& value);

    // Writes the blob of the condition at the root and returns it. It replaces any earlier one, whose span
    // no longer holds.
    std::span<const std::uint8_t> BuildBlob(const TFilterParseNode& root);
    std::span<const std::uint8_t> Blob() const noexcept { return blob_; }
    std::size_t BufferSize() const noexcept { return blob_.size(); }

    // The dataset's field named by the node's Data; "Field '%s' cannot be used in a filter expression" for
    // one that is neither a data field nor an internal calculated one.
    db::TField& GetFilterField(const TFilterParseNode& node) const;

private:
    std::uint16_t WriteNode(const TFilterParseNode& node, int level);
    std::uint16_t WriteComparison(const TFilterParseNode& node, int level);
    std::uint16_t WriteStringComparison(std::uint32_t op, const db::TField& field, std::string text,
                                        std::uint8_t partial, int level);
    std::uint16_t WriteFieldNode(const db::TField& field, int level);
    std::uint16_t WriteConstant(const TFilterConstant& constant, int level);
    // The node at its level of the tree (the root is level 1): its offset, its operands 0.
    std::uint16_t AppendNode(std::uint32_t nodeClass, std::uint32_t op, int level);
    std::uint16_t AppendLiteral(std::span<const std::uint8_t> bytes);
    void SetNodeOperand(std::uint16_t node, std::size_t index, std::uint16_t value);
    void Reserve(std::size_t bytes);

    db::TDataSet& dataset_;
    db::TFilterOptions options_;
    // Every node made, in one list, so that none is freed by recursion.
    std::vector<std::unique_ptr<TFilterParseNode>> nodes_;
    engine::TFilterBlobWriter writer_;
    // The blob's bytes so far, the header included.
    std::size_t written_ = 0;
    std::vector<std::uint8_t> blob_;
};

}  // namespace components
