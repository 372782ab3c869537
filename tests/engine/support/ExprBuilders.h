// Values, nodes and a record with counted column reads for the expression tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/expr/ExprEvaluator.h"
#include "engine/expr/ExprNode.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/ScaledNumber.h"
#include "rtl/Currency.h"

namespace exprtest {

using engine::ExprOperator;
using engine::ExprValue;
using engine::TExprNode;
using NodePtr = std::unique_ptr<TExprNode>;

inline ExprValue Typed(std::uint8_t fieldType, std::uint8_t size) {
    ExprValue value;
    value.FieldType = fieldType;
    value.Size = size;
    return value;
}
// The value stored through one of the value's setters.
template <class Setter, class V>
ExprValue With(ExprValue value, Setter setter, V v) {
    (value.*setter)(v);
    return value;
}
inline ExprValue Int(std::int32_t v) {
    return With(Typed(engine::FieldTypeInteger, 4), &ExprValue::SetInt32, v);
}
inline ExprValue SmallInt(std::int16_t v) {
    return With(Typed(engine::FieldTypeSmallInt, 2), &ExprValue::SetInt16, v);
}
inline ExprValue Word(std::uint16_t v) {
    return With(Typed(engine::FieldTypeWord, 2), &ExprValue::SetUInt16, v);
}
inline ExprValue LongWord(std::uint32_t v) {
    return With(Typed(engine::FieldTypeLongWord, 4), &ExprValue::SetUInt32, v);
}
inline ExprValue Float(double v) {
    return With(Typed(engine::FieldTypeFloat, 8), &ExprValue::SetDouble, v);
}
// A BCD value of `tenThousandths` / 10000 stored at the scale.
inline ExprValue Bcd(std::int64_t tenThousandths, int scale) {
    ExprValue value = Typed(engine::FieldTypeBcd, 8);
    value.Scale = static_cast<std::uint8_t>(scale);
    return With(value, &ExprValue::SetInt64,
                *engine::CurrToScaledInt(scale, rtl::Currency::FromRaw(tenThousandths)));
}
inline ExprValue Date(std::int32_t dayNumber) {
    return With(Typed(engine::FieldTypeDate, 4), &ExprValue::SetInt32, dayNumber);
}
inline ExprValue Time(std::int32_t msecs) {
    return With(Typed(engine::FieldTypeTime, 4), &ExprValue::SetInt32, msecs);
}
inline ExprValue DateTime(double msecs) {
    return With(Typed(engine::FieldTypeDateTime, 8), &ExprValue::SetDouble, msecs);
}
inline ExprValue Bool(std::uint16_t v) {
    return With(Typed(engine::FieldTypeBoolean, 2), &ExprValue::SetUInt16, v);
}
inline ExprValue Text(std::string_view text) {
    ExprValue value = Typed(engine::FieldTypeString, static_cast<std::uint8_t>(text.size() + 1));
    value.SetText(text);
    return value;
}
inline ExprValue Null(ExprValue value) {
    value.IsNull = 1;
    return value;
}
inline ExprValue Untyped() {
    return ExprValue{};
}
// A result record as the evaluator starts it from an operator node: typed or not, its area marked so that a
// step that writes nothing shows.
inline constexpr std::uint8_t kMarker = 0xA5;
inline ExprValue MarkedResult(std::uint8_t fieldType = engine::FieldTypeNone) {
    ExprValue value;
    value.FieldType = fieldType;
    value.Bytes.fill(kMarker);
    return value;
}
inline bool Untouched(const ExprValue& value) {
    for (const std::uint8_t b : value.Bytes)
        if (b != kMarker) return false;
    return true;
}

inline NodePtr Const(const ExprValue& value) {
    auto node = std::make_unique<TExprNode>();
    node->NodeClass = engine::ncConstant;
    node->Value = value;
    return node;
}
inline NodePtr Column(std::uint16_t fieldNo, const ExprValue& type = Int(0)) {
    auto node = std::make_unique<TExprNode>();
    node->NodeClass = engine::ncField;
    node->FieldNo = fieldNo;
    node->Value.FieldType = type.FieldType;
    node->Value.Size = type.Size;
    node->Value.Scale = type.Scale;
    return node;
}
inline NodePtr Node(engine::ExprNodeClass nodeClass, ExprOperator op, NodePtr left, NodePtr right = nullptr,
                    std::uint8_t fieldType = engine::FieldTypeNone) {
    auto node = std::make_unique<TExprNode>();
    node->NodeClass = nodeClass;
    node->Operator = op;
    node->Value.FieldType = fieldType;
    node->Left = std::move(left);
    node->Right = std::move(right);
    return node;
}
inline NodePtr Unary(ExprOperator op, NodePtr operand) {
    return Node(engine::ncUnary, op, std::move(operand));
}
inline NodePtr Binary(ExprOperator op, NodePtr left, NodePtr right, std::uint8_t fieldType = 0) {
    return Node(engine::ncBinary, op, std::move(left), std::move(right), fieldType);
}
inline NodePtr WithItems(NodePtr node, std::vector<NodePtr> items) {
    for (auto& item : items) node->Items.push_back(std::move(item));
    return node;
}
inline NodePtr Predicate(ExprOperator op, NodePtr tested, NodePtr right = nullptr) {
    return Node(engine::ncPredicate, op, std::move(tested), std::move(right), engine::FieldTypeBoolean);
}
inline NodePtr Function(ExprOperator op, NodePtr argument, NodePtr right = nullptr) {
    return Node(engine::ncFunction, op, std::move(argument), std::move(right));
}
inline std::vector<NodePtr> List(NodePtr a, NodePtr b = nullptr, NodePtr c = nullptr) {
    std::vector<NodePtr> items;
    for (NodePtr* p : {&a, &b, &c})
        if (*p) items.push_back(std::move(*p));
    return items;
}

// A record whose fields the column procedure reads by FieldNo (from 1), noting each read in order.
struct Row {
    std::vector<ExprValue> fields;
    std::vector<int> reads;
};

inline void ReadRowColumn(void* /*owner*/, void* data, const TExprNode& column, ExprValue& value) {
    Row& row = *static_cast<Row*>(data);
    row.reads.push_back(column.FieldNo);
    const ExprValue& field = row.fields.at(column.FieldNo - 1);
    value.Bytes = field.Bytes;
    value.IsNull = field.IsNull;
}

inline ExprValue Evaluate(const TExprNode& node, Row* row = nullptr) {
    ExprValue result;
    engine::EvaluateExpr(node, row, nullptr, row != nullptr ? ReadRowColumn : nullptr, 0, 0, result);
    return result;
}

}  // namespace exprtest
