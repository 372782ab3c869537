#include "engine/expr/ExprEvaluator.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "engine/base/LikeMatch.h"
#include "engine/expr/ExprConvert.h"
#include "engine/expr/ExprOperators.h"
#include "engine/values/Collation.h"
#include "engine/values/FieldTypes.h"
#include "rtl/DateTime.h"

namespace engine {

namespace {

// What every level of one evaluation shares.
struct Evaluation {
    void* data;
    void* owner;
    TExprColumnProc columnProc;
    std::uint16_t languageId;
    std::uint16_t sortId;
    // Where a step that left its result type's range is told; null when nobody asks.
    bool* overflowed;
};

void Evaluate(const TExprNode& node, const Evaluation& e, ExprValue& result);

bool IsText(const ExprValue& value) noexcept {
    return value.IsNull == 0 && value.FieldType == FieldTypeString;
}

void Substring(const TExprNode& node, ExprValue& result) {
    if (!IsText(result) || node.Items.empty()) return;
    const std::string_view text = result.GetText();
    // 64 bits: a start and a length near INT32_MAX still add up.
    const std::int64_t start = std::max<std::int64_t>(node.Items[0]->Value.GetInt32(), 1);
    const std::int64_t length =
        node.Items.size() > 1 ? node.Items[1]->Value.GetInt32() : static_cast<std::int64_t>(text.size());
    const auto size = static_cast<std::int64_t>(text.size());
    if (length < 0 || start > size) return result.SetText({});
    result.SetText(text.substr(static_cast<std::size_t>(start - 1),
                               static_cast<std::size_t>(std::min(length, size - start + 1))));
}

void Trim(const TExprNode& node, ExprValue& result) {
    if (!IsText(result) || !node.Right) return;
    const char removed = static_cast<char>(node.Right->Value.Bytes[0]);
    std::string_view text = result.GetText();
    if (node.Operator != opTrimTrailing) {
        const std::size_t first = text.find_first_not_of(removed);
        text.remove_prefix(first == std::string_view::npos ? text.size() : first);
    }
    if (node.Operator != opTrimLeading) {
        const std::size_t last = text.find_last_not_of(removed);
        text = text.substr(0, last == std::string_view::npos ? 0 : last + 1);
    }
    result.SetText(text);
}

void ChangeCase(LetterCase letterCase, const Evaluation& e, ExprValue& result) {
    if (!IsText(result)) return;
    const std::string mapped = ExprCollation(e.languageId, e.sortId).ChangeCase(result.GetText(), letterCase);
    result.SetText(mapped);
}

void Extract(const TExprNode& node, const Evaluation& e, ExprValue& result) {
    ExprValue argument;
    Evaluate(*node.Left, e, argument);
    std::int32_t dayNumber = 0;
    bool hasDay = false;
    if (argument.IsNull == 0 && argument.FieldType == FieldTypeDate) {
        dayNumber = argument.GetInt32();
        hasDay = true;
    } else if (argument.IsNull == 0 && argument.FieldType == FieldTypeDateTime) {
        std::int32_t msecs = 0;
        hasDay = SplitDateTime(argument.GetDouble(), dayNumber, msecs);
    }
    int year = 0;
    int month = 0;
    int day = 0;
    if (!hasDay || !rtl::TryDayNumberToDate(dayNumber, year, month, day)) {
        result.IsNull = 1;
        return;
    }
    const int part = node.Operator == opExtractYear ? year : node.Operator == opExtractMonth ? month : day;
    result.SetUInt32(static_cast<std::uint32_t>(part));
}

void EvaluateFunction(const TExprNode& node, const Evaluation& e, ExprValue& result) {
    if (!node.Left) return;
    switch (node.Operator) {
        case opExtractYear:
        case opExtractMonth:
        case opExtractDay:
            return Extract(node, e, result);
        case opSum:
        case opCount:
        case opMin:
        case opMax:
        case opAvg:
        case opUpper:
        case opLower:
        case opSubstring:
        case opTrimLeading:
        case opTrimTrailing:
        case opTrimBoth:
            break;
        default:
            return;
    }
    // The argument's value becomes the result, type fields included.
    Evaluate(*node.Left, e, result);
    switch (node.Operator) {
        case opUpper:
            return ChangeCase(LetterCase::Upper, e, result);
        case opLower:
            return ChangeCase(LetterCase::Lower, e, result);
        case opSubstring:
            return Substring(node, result);
        case opTrimLeading:
        case opTrimTrailing:
        case opTrimBoth:
            return Trim(node, result);
        default:
            return;
    }
}

// LIKE, IN, BETWEEN and their NOT forms; any other operator, or a node without its operands, keeps the
// node's own value.
void EvaluatePredicate(const TExprNode& node, const Evaluation& e, ExprValue& result) {
    const bool negated =
        node.Operator == opNotLike || node.Operator == opNotIn || node.Operator == opNotBetween;
    ExprValue tested;
    ExprValue other;
    switch (node.Operator) {
        case opLike:
        case opNotLike: {
            if (!node.Left || !node.Right) return;
            Evaluate(*node.Left, e, tested);
            Evaluate(*node.Right, e, other);
            const bool match =
                tested.IsNull == 0 && other.IsNull == 0 && LikeMatch(tested.GetText(), other.GetText());
            result.SetTruth(match);
            break;
        }
        case opIn:
        case opNotIn:
            if (!node.Left) return;
            Evaluate(*node.Left, e, tested);
            for (const auto& item : node.Items) {
                Evaluate(*item, e, other);
                EvalBinaryOp(opEqual, tested, other, e.languageId, e.sortId, result);
                if (result.IsTrue()) break;
            }
            break;
        case opBetween:
        case opNotBetween:
            if (!node.Left || node.Items.size() < 2) return;
            Evaluate(*node.Left, e, tested);
            Evaluate(*node.Items[0], e, other);
            EvalBinaryOp(opGreaterEqual, tested, other, e.languageId, e.sortId, result);
            if (result.IsTrue()) {
                Evaluate(*node.Items[1], e, other);
                EvalBinaryOp(opLessEqual, tested, other, e.languageId, e.sortId, result);
            }
            break;
        default:
            return;
    }
    result.SetUInt16(result.IsTrue() != negated ? 1 : 0);
}

void Evaluate(const TExprNode& node, const Evaluation& e, ExprValue& result) {
    result = node.Value;
    switch (node.NodeClass) {
        case ncUnary: {
            if (!node.Left) return;
            ExprValue operand;
            Evaluate(*node.Left, e, operand);
            EvalUnaryOp(node.Operator, operand, result);
            if (e.overflowed != nullptr && UnaryStepOverflowed(node.Operator, operand, result))
                *e.overflowed = true;
            return;
        }
        case ncBinary: {
            if (!node.Left || !node.Right) return;
            ExprValue right;
            Evaluate(*node.Right, e, right);
            if ((node.Operator == opAnd && !right.IsTrue()) || (node.Operator == opOr && right.IsTrue())) {
                result = right;
                return;
            }
            ExprValue left;
            Evaluate(*node.Left, e, left);
            EvalBinaryOp(node.Operator, left, right, e.languageId, e.sortId, result);
            if (e.overflowed != nullptr && BinaryStepOverflowed(node.Operator, left, right, result))
                *e.overflowed = true;
            return;
        }
        case ncCompare: {
            if (!node.Left || !node.Right) return;
            ExprValue left;
            ExprValue right;
            Evaluate(*node.Left, e, left);
            Evaluate(*node.Right, e, right);
            return EvalFilterCompare(node.Operator, left, right, node.PartialLen, node.CaseInsensitive != 0,
                                     e.languageId, e.sortId, result);
        }
        case ncField:
            if (e.columnProc != nullptr) e.columnProc(e.owner, e.data, node, result);
            return;
        case ncFunction:
            return EvaluateFunction(node, e, result);
        case ncPredicate:
            return EvaluatePredicate(node, e, result);
        default:
            return;
    }
}

}  // namespace

void EvaluateExpr(const TExprNode& node, void* data, void* owner, TExprColumnProc columnProc,
                  std::uint16_t languageId, std::uint16_t sortId, ExprValue& result, bool* overflowed) {
    Evaluate(node, {data, owner, columnProc, languageId, sortId, overflowed}, result);
}

}  // namespace engine
