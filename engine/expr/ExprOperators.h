// The operator steps of expression evaluation: what each operator computes for each pair of value types,
// with the engine's null rules and truth values.
#pragma once

#include <cstdint>

#include "engine/expr/ExprNode.h"
#include "engine/values/Collation.h"

namespace engine {

// Each step works on operands that are already evaluated and writes only the result's value area, plus its
// IsNull where the result is NULL; the caller has filled the result with the operator node's own value
// fields first, so an operator that has nothing to say about its operands leaves that value (false, zero).
// A step whose result is typed boolean normalises a true value to 1. No step raises an error.
//
// Families: I is smallint, integer, word and the 32-bit unsigned type (widened exactly), F float, N BCD
// (computed in fixed point, a count of 1/10000 units, exactly), D date, T time, DT date-time.
//
// Nulls: = is true when both operands are null and false when one is, <> the opposite; >, <, >= and <= are
// false when either is null; arithmetic, negation and unary plus give NULL (IsNull 1, value untouched) when
// an operand is null; NOT, AND and OR read the truth values as they stand.
//
// Comparisons (neither operand null), by pair:
//   string, string           the locale's order, letter case significant
//   D, D / T, T              day numbers / millisecond counts
//   D, DT / DT, D / DT, DT   milliseconds, the date at its midnight
//   boolean, boolean         = and <> only: both true or both false
//   I, I                     exactly
//   I or F, F / F, I         in extended precision
//   I or F or N, N           fixed point: N against the other value x 10000
//   untyped on either side   = false, <> true (but a boolean left of an untyped right gives nothing)
//
// Arithmetic results, by pair (a result that is not listed is not written; integer results wrap at 32 bits):
//   +  string + string: the concatenation, cut at 254 characters
//      D + I, I + D: D;  T + I, I + T: T (no wrap at midnight);  DT + I, I + DT: DT, I days on, time kept
//      I + I: integer;  F with I or F: float;  N with I: N at N's scale;  N + N: N at the left's scale
//      F + N, N + F: float
//   -  D - D: integer days;  D - I: D;  T - T: integer ms;  T - I: T
//      DT - D: integer days;  DT - T: integer ms of the day;  DT - I: DT;  DT - DT: float ms
//      I - I: integer;  F with I or F: float;  I - N, N - I: N at N's scale;  N - N: left's scale
//      F - N, N - F: float
//   *  I * I: integer;  F with I or F: float;  I * N, N * I: N at N's scale
//      N * N: N at the left's scale;  F * N, N * F: float
//   /  I or F by I or F: float;  I / N, N / I: N at N's scale;  N / N: N at the left's scale
//      F / N, N / F: float
// A fixed-point result is rounded to whole 1/10000 units, halves to even. A zero divisor (integer 0, float
// 0.0, BCD whose fixed-point value is 0), a fixed-point result beyond 64 bits and a BCD result without a
// stored form at its scale all give NULL.

// IS NULL, IS NOT NULL, NOT, negation and unary plus (by the operand's type: 2, 6, 10 and 13 as 32-bit
// words, 5 and 12 as 16-bit words, 7 and 11 as floats, 8 in fixed point at its own scale). Other operators
// write nothing.
void EvalUnaryOp(ExprOperator op, const ExprValue& operand, ExprValue& result);

// The six comparisons, AND, OR and + - * /, with the locale of string comparison. Other operators write
// nothing.
void EvalBinaryOp(ExprOperator op, const ExprValue& left, const ExprValue& right, std::uint16_t languageId,
                  std::uint16_t sortId, ExprValue& result);

// The string = and <> of filters (class ncCompare), left the column and right the constant: one operand null
// gives = false and <> true, both null = true and <> false. Otherwise an untyped left operand, or a string
// against an untyped right one, gives = false and <> true, and two strings compare over their first
// partialLength characters (0: whole) with letter case ignored when asked. Other operators and other types
// write nothing.
void EvalFilterCompare(ExprOperator op, const ExprValue& left, const ExprValue& right,
                       std::uint8_t partialLength, bool caseInsensitive, std::uint16_t languageId,
                       std::uint16_t sortId, ExprValue& result);

// Whether a step just taken by EvalBinaryOp or EvalUnaryOp left its result type's range: the result holds
// the wrapped integer, or the NULL of a fixed-point result without a stored form, or a float that is not
// finite although its operands are. What the dialect computes stays as it is (filters and WHERE keep it); a
// caller that stores the value asks this to refuse it. A zero divisor's NULL is no overflow.
bool BinaryStepOverflowed(ExprOperator op, const ExprValue& left, const ExprValue& right,
                          const ExprValue& result) noexcept;
bool UnaryStepOverflowed(ExprOperator op, const ExprValue& operand, const ExprValue& result) noexcept;

// The collation that the language and sort ids select; byte order for language id 0 and for a locale that
// is not installed (a table of such a locale does not open, so its trees are never evaluated).
const Collation& ExprCollation(std::uint16_t languageId, std::uint16_t sortId) noexcept;

}  // namespace engine
