// The parse nodes and the blob writer of filter conditions (declared in FilterExpr.h).
#include "components/FilterExpr.h"

#include <algorithm>
#include <string>
#include <utility>

#include "components/ComponentTexts.h"
#include "db/DatabaseError.h"
#include "engine/expr/ExprNode.h"

namespace components {

namespace {

// The operator that keeps a comparison's meaning when its operands change sides.
std::uint32_t Mirrored(std::uint32_t op) noexcept {
    switch (op) {
        case engine::opGreater:
            return engine::opLess;
        case engine::opLess:
            return engine::opGreater;
        case engine::opGreaterEqual:
            return engine::opLessEqual;
        case engine::opLessEqual:
            return engine::opGreaterEqual;
        default:
            return op;
    }
}

bool IsComparison(std::uint32_t op) noexcept {
    return op >= engine::opEqual && op <= engine::opLessEqual;
}

}  // namespace

TFilterExpr::TFilterExpr(db::TDataSet& dataset, db::TFilterOptions options)
    : dataset_(dataset), options_(options) {}

TFilterExpr::~TFilterExpr() = default;

TFilterParseNode* TFilterExpr::NewNode(TFilterNodeKind kind, std::uint32_t op, rtl::Variant data,
                                       TFilterParseNode* left, TFilterParseNode* right) {
    auto node = std::make_unique<TFilterParseNode>();
    node->Kind = kind;
    node->Operator = op;
    node->Data = std::move(data);
    node->Left = left;
    node->Right = right;
    nodes_.push_back(std::move(node));
    return nodes_.back().get();
}

TFilterParseNode* TFilterExpr::NewFieldCompare(const db::TField& field, std::uint32_t op,
                                               const rtl::Variant& value) {
    TFilterParseNode* name = NewNode(nkField, 0, rtl::Variant(field.FieldName()));
    TFilterParseNode* constant = NewNode(nkConstant, 0, value);
    return NewNode(nkOperator, op, rtl::Variant(), name, constant);
}

db::TField& TFilterExpr::GetFilterField(const TFilterParseNode& node) const {
    db::TField& field = dataset_.FieldByName(rtl::VarToStr(node.Data));
    if (field.FieldKind() != db::fkData && field.FieldKind() != db::fkInternalCalc)
        db::DatabaseErrorFmt(kFieldNotInFilter, {field.FieldName()});
    return field;
}

std::span<const std::uint8_t> TFilterExpr::BuildBlob(const TFilterParseNode& root) {
    writer_ = engine::TFilterBlobWriter();
    written_ = engine::FilterBlobHeaderSize;
    blob_.clear();
    WriteNode(root, 1);
    blob_ = writer_.Blob();
    return blob_;
}

std::uint16_t TFilterExpr::WriteNode(const TFilterParseNode& node, int level) {
    switch (node.Kind) {
        case nkField: {
            // A field standing alone as a condition: a Boolean field, read as field = true.
            db::TField& field = GetFilterField(node);
            if (field.DataType() != db::ftBoolean)
                db::DatabaseErrorFmt(kFieldNotBoolean, {field.FieldName()});
            const std::uint16_t at = AppendNode(engine::ncBinary, engine::opEqual, level);
            SetNodeOperand(at, 0, WriteFieldNode(field, level + 1));
            SetNodeOperand(at, 1, WriteConstant(FilterTrueConstant(), level + 1));
            return at;
        }
        case nkOperator:
            if (IsComparison(node.Operator)) return WriteComparison(node, level);
            if (node.Operator == engine::opAnd || node.Operator == engine::opOr) {
                if (node.Left == nullptr || node.Right == nullptr) db::DatabaseError(kBadFilterExpression);
                const std::uint16_t at = AppendNode(engine::ncBinary, node.Operator, level);
                SetNodeOperand(at, 0, WriteNode(*node.Left, level + 1));
                SetNodeOperand(at, 1, WriteNode(*node.Right, level + 1));
                return at;
            }
            if (node.Left == nullptr) db::DatabaseError(kBadFilterExpression);
            {
                const std::uint16_t at = AppendNode(engine::ncUnary, engine::opNot, level);
                SetNodeOperand(at, 0, WriteNode(*node.Left, level + 1));
                return at;
            }
        default:
            // A constant standing alone is no condition.
            db::DatabaseError(kBadFilterExpression);
    }
}

std::uint16_t TFilterExpr::WriteComparison(const TFilterParseNode& node, int level) {
    const TFilterParseNode* left = node.Left;
    const TFilterParseNode* right = node.Right;
    // A condition compared with something (A = (B = 1)) has no value to compare.
    if (left == nullptr || right == nullptr || left->Kind == nkOperator || right->Kind == nkOperator)
        db::DatabaseError(kBadFilterExpression);
    std::uint32_t op = node.Operator;
    if (right->Kind == nkField && left->Kind != nkField) {
        std::swap(left, right);
        op = Mirrored(op);
    }
    db::TField& field = GetFilterField(*left);

    if (right->Kind == nkField) {
        db::TField& other = GetFilterField(*right);
        const std::uint16_t at = AppendNode(engine::ncBinary, op, level);
        SetNodeOperand(at, 0, WriteFieldNode(field, level + 1));
        SetNodeOperand(at, 1, WriteFieldNode(other, level + 1));
        return at;
    }

    if (right->Data.IsNull()) {
        if (op != engine::opEqual && op != engine::opNotEqual) db::DatabaseError(kNullOnlyEqual);
        const std::uint16_t at = AppendNode(
            engine::ncUnary, op == engine::opEqual ? engine::opIsNull : engine::opIsNotNull, level);
        SetNodeOperand(at, 0, WriteFieldNode(field, level + 1));
        return at;
    }

    if (field.DataType() == db::ftString) {
        std::string text = rtl::VarToStr(right->Data);
        return WriteStringComparison(op, field, std::move(text), node.Partial, level);
    }

    const std::optional<TFilterConstant> constant =
        FilterConstantFor(field.DataType(), field.Size(), right->Data);
    if (!constant) db::DatabaseErrorFmt(kFieldNotInFilter, {field.FieldName()});
    const std::uint16_t at = AppendNode(engine::ncBinary, op, level);
    SetNodeOperand(at, 0, WriteFieldNode(field, level + 1));
    SetNodeOperand(at, 1, WriteConstant(*constant, level + 1));
    return at;
}

std::uint16_t TFilterExpr::WriteStringComparison(std::uint32_t op, const db::TField& field, std::string text,
                                                 std::uint8_t partial, int level) {
    std::uint16_t caseFlag = 0;
    std::size_t length = 0;
    if ((op == engine::opEqual || op == engine::opNotEqual) && !text.empty()) {
        caseFlag = (options_ & db::foCaseInsensitive) != 0 ? 1 : 0;
        if (partial == 1) {
            length = text.size();
        } else if ((options_ & db::foNoPartialCompare) == 0 && text.size() >= 2 && text.back() == '*') {
            // 'Sm*' compares the leading characters Sm.
            text.pop_back();
            length = text.size();
        }
    }
    const TFilterConstant constant = FilterStringConstant(dataset_.Translate(text, true));
    if (caseFlag == 0 && length == 0) {
        const std::uint16_t at = AppendNode(engine::ncBinary, op, level);
        SetNodeOperand(at, 0, WriteFieldNode(field, level + 1));
        SetNodeOperand(at, 1, WriteConstant(constant, level + 1));
        return at;
    }
    // The partial length is that of the constant as written, which may have been cut.
    const std::size_t written = constant.Value.size() - 1;
    const std::uint16_t at = AppendNode(engine::ncCompare, op, level);
    SetNodeOperand(at, 0, caseFlag);
    SetNodeOperand(at, 1, static_cast<std::uint16_t>(std::min(length, written)));
    SetNodeOperand(at, 2, WriteFieldNode(field, level + 1));
    SetNodeOperand(at, 3, WriteConstant(constant, level + 1));
    return at;
}

std::uint16_t TFilterExpr::WriteFieldNode(const db::TField& field, int level) {
    std::string name = dataset_.Translate(field.FieldName(), true);
    name.resize(std::min(name.find('\0'), name.size()));
    // The engine reads names of at most this length.
    if (name.size() > engine::MaxFilterNameLength)
        db::DatabaseErrorFmt(kFieldNotInFilter, {field.FieldName()});
    name.push_back('\0');
    const std::uint16_t at = AppendNode(engine::ncField, engine::opField, level);
    // The engine finds the field by its name; the number only tells a reader which field of the dataset.
    SetNodeOperand(at, 0, static_cast<std::uint16_t>(field.FieldNo()));
    SetNodeOperand(at, 1,
                   AppendLiteral(std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size())));
    return at;
}

std::uint16_t TFilterExpr::WriteConstant(const TFilterConstant& constant, int level) {
    const std::uint16_t at = AppendNode(engine::ncConstant, engine::opConstant, level);
    SetNodeOperand(at, 0, constant.Type);
    SetNodeOperand(at, 1, static_cast<std::uint16_t>(constant.Value.size()));
    SetNodeOperand(at, 2, AppendLiteral(constant.Value));
    return at;
}

std::uint16_t TFilterExpr::AppendNode(std::uint32_t nodeClass, std::uint32_t op, int level) {
    if (level > engine::MaxExprDepth) db::DatabaseError(kFilterTooComplex);
    Reserve(engine::FilterBlobNodeSize(nodeClass));
    return writer_.AppendNode(nodeClass, op);
}

std::uint16_t TFilterExpr::AppendLiteral(std::span<const std::uint8_t> bytes) {
    Reserve(bytes.size());
    return writer_.AppendLiteral(bytes);
}

void TFilterExpr::SetNodeOperand(std::uint16_t node, std::size_t index, std::uint16_t value) {
    writer_.SetNodeOperand(node, index, value);
}

void TFilterExpr::Reserve(std::size_t bytes) {
    // Offsets and the size are 16-bit words: stop before any would wrap, and before the writer refuses.
    if (written_ + bytes > engine::MaxFilterBlobSize) db::DatabaseError(kFilterTooLarge);
    written_ += bytes;
}

}  // namespace components
