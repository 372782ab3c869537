#include "sql/TypeRules.h"

#include <array>
#include <cstddef>
#include <initializer_list>

#include "engine/values/FieldTypes.h"

namespace sql {

namespace {

// Every field type code is below 16 (FieldTypes.h); a larger code takes part in nothing.
constexpr std::size_t kTypeCount = 16;

constexpr bool IsKnownType(std::uint8_t type) noexcept {
    return type < kTypeCount;
}

// A set of types, one bit per type code.
using TypeSet = std::uint16_t;

constexpr TypeSet Of(std::initializer_list<std::uint8_t> types) {
    TypeSet set = 0;
    for (const std::uint8_t type : types) set = static_cast<TypeSet>(set | (1U << type));
    return set;
}

constexpr bool Contains(TypeSet set, std::uint8_t type) noexcept {
    return IsKnownType(type) && (set >> type & 1U) != 0;
}

// The numbers: smallint, integer, float, BCD and word.
constexpr TypeSet kNumbers = Of({5, 6, 7, 8, 12});
constexpr TypeSet kNull = Of({0});

// --- Unary operators -------------------------------------------------------------------------------------

constexpr TypeSet kNegatable = Of({2, 5, 6, 7, 8, 10, 11});
constexpr TypeSet kPlusable = Of({2, 5, 6, 7, 8, 10, 11, 12});
constexpr TypeSet kBooleans = Of({4});

TypeSet UnaryOperands(std::uint32_t op) noexcept {
    switch (op) {
        case engine::opIsNull:
        case engine::opIsNotNull:
        case engine::opNot:
            return kBooleans;
        case engine::opNegate:
            return kNegatable;
        case engine::opPlus:
            return kPlusable;
        default:
            return 0;
    }
}

// --- Comparisons and logic -------------------------------------------------------------------------------

// The right types each left type accepts, under = and <> and under the four order comparisons.
struct ComparisonRow {
    std::uint8_t Left;
    TypeSet Equality;
    TypeSet Order;
};

constexpr ComparisonRow kComparisons[] = {
    {1, Of({0, 1}), Of({1})},         {2, Of({0, 2, 11}), Of({2, 11})}, {4, Of({0, 4}), 0},
    {5, kNull | kNumbers, kNumbers},  {6, kNull | kNumbers, kNumbers},  {7, kNull | kNumbers, kNumbers},
    {8, kNull | kNumbers, kNumbers},  {10, Of({0, 10}), Of({10})},      {11, Of({0, 2, 11}), Of({2, 11})},
    {12, kNull | kNumbers, kNumbers},
};

bool ComparisonValid(bool equality, std::uint8_t left, std::uint8_t right) noexcept {
    for (const ComparisonRow& row : kComparisons) {
        if (row.Left == left) return Contains(equality ? row.Equality : row.Order, right);
    }
    return false;
}

// --- Arithmetic ------------------------------------------------------------------------------------------

// A result type by left and right type, 0 where the pair is rejected.
using ResultGrid = std::array<std::array<std::uint8_t, kTypeCount>, kTypeCount>;

constexpr std::uint8_t No = 0;

// One row of an operator's table: the left type and the result for each of the table's right types.
template <std::size_t Columns>
struct ResultRow {
    std::uint8_t Left;
    std::array<std::uint8_t, Columns> Results;
};

// The table as written (right types as column heads, one row per left type) spread over a full grid.
template <std::size_t Columns, std::size_t Rows>
constexpr ResultGrid Grid(const std::array<std::uint8_t, Columns>& rights,
                          const std::array<ResultRow<Columns>, Rows>& rows) {
    ResultGrid grid{};
    for (const ResultRow<Columns>& row : rows) {
        for (std::size_t column = 0; column < Columns; ++column)
            grid[row.Left][rights[column]] = row.Results[column];
    }
    return grid;
}

// The tables as the rules are written, one row per left type; "No" marks a rejected pair.
// clang-format off

// Addition, and concatenation of two strings.
constexpr ResultGrid kAdd = Grid<9, 9>(
    {         1,  2,  5,  6,  7,  8, 10, 11, 12},
    {{{ 1, { 1, No, No, No, No, No, No, No, No}},
      { 2, {No, No,  2,  2, No, No, No, No,  2}},
      { 5, {No,  2,  6,  6,  7,  8, 10, 11,  6}},
      { 6, {No,  2,  6,  6,  7,  8, 10, 11,  6}},
      { 7, {No, No,  7,  7,  7,  7, No, No,  7}},
      { 8, {No, No,  8,  8,  7,  8, No, No,  8}},
      {10, {No, No, 10, 10, No, No, No, No, 10}},
      {11, {No, No, 11, 11, No, No, No, No, 11}},
      {12, {No,  2,  6,  6,  7,  8, 10, 11,  6}}}});

// Subtraction: a word minus a smallint or an integer stays a word, unlike under + and *.
constexpr ResultGrid kSubtract = Grid<8, 8>(
    {         2,  5,  6,  7,  8, 10, 11, 12},
    {{{ 2, { 6,  2,  2, No, No, No, No,  2}},
      { 5, {No,  6,  6,  7,  8, No, No,  6}},
      { 6, {No,  6,  6,  7,  8, No, No,  6}},
      { 7, {No,  7,  7,  7,  7, No, No,  7}},
      { 8, {No,  8,  8,  7,  8, No, No,  8}},
      {10, {No, 10, 10, No, No,  6, No, 10}},
      {11, { 6, 11, 11, No, No,  6,  7, 11}},
      {12, {No, 12, 12,  7,  8, No, No, 12}}}});

constexpr ResultGrid kMultiply = Grid<5, 5>(
    {        5, 6, 7, 8, 12},
    {{{ 5, {6, 6, 7, 8,  6}},
      { 6, {6, 6, 7, 8,  6}},
      { 7, {7, 7, 7, 7,  7}},
      { 8, {8, 8, 7, 8,  8}},
      {12, {6, 6, 7, 8,  6}}}});

// Division: integers by integers give a float.
constexpr ResultGrid kDivide = Grid<5, 5>(
    {        5, 6, 7, 8, 12},
    {{{ 5, {7, 7, 7, 8,  7}},
      { 6, {7, 7, 7, 8,  7}},
      { 7, {7, 7, 7, 7,  7}},
      { 8, {8, 8, 7, 8,  8}},
      {12, {7, 7, 7, 8,  7}}}});

// clang-format on

const ResultGrid* ArithmeticGrid(std::uint32_t op) noexcept {
    switch (op) {
        case engine::opAdd:
            return &kAdd;
        case engine::opSubtract:
            return &kSubtract;
        case engine::opMultiply:
            return &kMultiply;
        case engine::opDivide:
            return &kDivide;
        default:
            return nullptr;
    }
}

bool IsComparisonOrLogic(std::uint32_t op) noexcept {
    return (op >= engine::opEqual && op <= engine::opLessEqual) || op == engine::opAnd || op == engine::opOr;
}

}  // namespace

bool IsMomentType(std::uint8_t type) noexcept {
    return type == engine::FieldTypeDate || type == engine::FieldTypeTime ||
           type == engine::FieldTypeDateTime;
}

bool UnaryOperandTypeValid(std::uint32_t op, std::uint8_t type) noexcept {
    return Contains(UnaryOperands(op), type);
}

std::uint8_t UnaryResultType(std::uint32_t op, std::uint8_t type) noexcept {
    if (!UnaryOperandTypeValid(op, type)) return engine::FieldTypeNone;
    return op == engine::opNegate || op == engine::opPlus ? type : engine::FieldTypeBoolean;
}

std::uint8_t UnaryResultSubType(std::uint32_t op, std::uint8_t type, std::uint8_t subType) noexcept {
    if (!UnaryOperandTypeValid(op, type)) return 0;
    return op == engine::opNegate || op == engine::opPlus ? subType : 0;
}

bool BinaryOperandTypesValid(std::uint32_t op, std::uint8_t left, std::uint8_t right) noexcept {
    switch (op) {
        case engine::opEqual:
        case engine::opNotEqual:
            return ComparisonValid(true, left, right);
        case engine::opGreater:
        case engine::opLess:
        case engine::opGreaterEqual:
        case engine::opLessEqual:
            return ComparisonValid(false, left, right);
        case engine::opAnd:
        case engine::opOr:
            return left == engine::FieldTypeBoolean && right == engine::FieldTypeBoolean;
        default:
            return BinaryResultType(op, left, right) != engine::FieldTypeNone;
    }
}

std::uint8_t BinaryResultType(std::uint32_t op, std::uint8_t left, std::uint8_t right) noexcept {
    if (IsComparisonOrLogic(op))
        return BinaryOperandTypesValid(op, left, right) ? engine::FieldTypeBoolean : engine::FieldTypeNone;
    const ResultGrid* const grid = ArithmeticGrid(op);
    if (grid == nullptr || !IsKnownType(left) || !IsKnownType(right)) return engine::FieldTypeNone;
    return (*grid)[left][right];
}

// The left type plays no part: the rule looks at the left side's subtype alone.
std::uint8_t BinaryResultSubType(std::uint32_t op, std::uint8_t /*leftType*/, std::uint8_t leftSubType,
                                 std::uint8_t rightType, std::uint8_t rightSubType) noexcept {
    const bool leftMoney = leftSubType == engine::FieldSubTypeMoney;
    const bool rightMoney = rightSubType == engine::FieldSubTypeMoney;
    const bool keptFromLeft = leftMoney && Contains(kNumbers, rightType);
    switch (op) {
        case engine::opAdd:
        case engine::opMultiply:
            return keptFromLeft || (!leftMoney && rightMoney) ? engine::FieldSubTypeMoney : 0;
        case engine::opSubtract:
        case engine::opDivide:
            return keptFromLeft ? engine::FieldSubTypeMoney : 0;
        default:
            return 0;
    }
}

}  // namespace sql
