// The evaluator of expression trees: computes a tree for one record, its columns supplied by the caller.
#pragma once

#include <cstdint>

#include "engine/expr/ExprNode.h"

namespace engine {

// Fills `value` (already holding the column node's own value fields: its FieldType, Size and Scale as the
// builder left them) with the column's current value in the stored form of that FieldType, and sets its
// IsNull to 1 for NULL, else 0. Owner and data are the caller's, handed over unchanged. It may raise; the
// exception passes out of EvaluateExpr.
using TExprColumnProc = void (*)(void* owner, void* data, const TExprNode& column, ExprValue& value);

// Evaluates the tree for one record into `result`, which starts as the root's own value fields. Language and
// sort id select the locale of string comparison and case mapping (0: bytes). Without a column procedure a
// column keeps its node's own value. Raises nothing of its own and allocates no nodes; the tree is not
// changed. The evaluation order, which a column procedure can observe:
//
//   ncUnary      Left, then the operator (ExprOperators.h)
//   ncBinary     Right first. AND whose right operand is false and OR whose right operand is true give that
//                operand's whole value, IsNull included, without evaluating Left. Otherwise Left, then the
//                operator
//   ncCompare    Left, Right, then the filter string comparison
//   ncField      the column procedure
//   ncFunction   aggregates: the argument itself (the SQL executor accumulates);
//                UPPER, LOWER: the argument in the locale's letter case;
//                SUBSTRING: at most the length's characters from the 1-based start, clipped at the end; a
//                start below 1 counts as 1 and the length stays; a start past the end or a negative length
//                gives the empty string;
//                TRIM: the argument without every leading, trailing or both occurrences of the character;
//                EXTRACT: the year, month or day (u32) of a date, or of a date-time rounded to whole
//                milliseconds; NULL for a null argument or one that is neither;
//                a string function passes a null or non-string argument through unchanged
//   ncPredicate  LIKE: false when either operand is null, else the match; IN: the tested value, then the
//                items in order until one is = to it; BETWEEN: the tested value and the low bound with >=,
//                the high bound with <= only when that holds. The NOT forms invert the outcome; a predicate
//                gives 1 or 0
//   others       the node's own value
//
// With `overflowed` given, it is set when any arithmetic or negation step of the evaluation left its result
// type's range (BinaryStepOverflowed, UnaryStepOverflowed); the result is computed as without it.
void EvaluateExpr(const TExprNode& node, void* data, void* owner, TExprColumnProc columnProc,
                  std::uint16_t languageId, std::uint16_t sortId, ExprValue& result,
                  bool* overflowed = nullptr);

}  // namespace engine
