// The SQL type rules: which operand types each operator accepts and what type and subtype its result has.
#pragma once

#include <cstdint>

#include "engine/expr/ExprNode.h"

namespace sql {

// Operators are the expression codes (ExprOperator), as trees and filter blobs carry them; any code may be
// given. Types are the engine's field type codes (FieldTypes.h), 0 being no type (NULL, a parameter without a
// value). Only strings, dates, booleans, the numbers 5, 6, 7, 8 and 12, times and date-times take part in
// operations; large objects, bytes and the types 13 to 15 in none. Every function is pure. A type or operand
// pair that an operator rejects has result type 0 (and, for unary operators, subtype 0).

// Dates, times and date-times: the types a string constant is read as when it meets one.
bool IsMomentType(std::uint8_t type) noexcept;

// IS NULL, IS NOT NULL and NOT take booleans; negation takes dates, times, date-times and the numbers but
// the 16-bit unsigned one; unary plus takes those and the 16-bit unsigned one as well. No other operator is
// unary.
bool UnaryOperandTypeValid(std::uint32_t op, std::uint8_t type) noexcept;
// Boolean for IS NULL, IS NOT NULL and NOT; the operand's type for negation and unary plus.
std::uint8_t UnaryResultType(std::uint32_t op, std::uint8_t type) noexcept;
// The operand's subtype for negation and unary plus; 0 otherwise.
std::uint8_t UnaryResultSubType(std::uint32_t op, std::uint8_t type, std::uint8_t subType) noexcept;

// The six comparisons and AND and OR (by the left type; NULL only on the right of = and <>), and the
// arithmetic operators + (also concatenation), -, * and /.
bool BinaryOperandTypesValid(std::uint32_t op, std::uint8_t left, std::uint8_t right) noexcept;
// Boolean for comparisons and logic; for arithmetic the type its table gives the pair.
std::uint8_t BinaryResultType(std::uint32_t op, std::uint8_t left, std::uint8_t right) noexcept;
// Money (21) for arithmetic only: + and * keep it when the left side is money and the right a number, or
// when only the right side is money; - and / keep it only when the left side is money and the right a
// number. Every subtype other than 21 counts as plain. The rule does not test the pair itself: the checker
// asks only for pairs that BinaryOperandTypesValid accepts.
std::uint8_t BinaryResultSubType(std::uint32_t op, std::uint8_t leftType, std::uint8_t leftSubType,
                                 std::uint8_t rightType, std::uint8_t rightSubType) noexcept;

}  // namespace sql
