// Expression trees: the node that filter conditions, calculated fields and SQL expressions share, its value
// record, the node classes and operator codes, and copies of whole trees.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/records/CompiledExpression.h"

namespace sql {
class TSourceDataFile;
}

namespace engine {

// Every builder (filter blobs, filter text, the SQL parser and planner, calculated fields) refuses a tree
// with more levels than this, a lone node being one level. The evaluator, CopyExprTree and the release of a
// tree recurse once per level, and 256 levels stay well inside a thread's stack under the sanitizers. The
// items of a node (IN lists, BETWEEN bounds, SUBSTRING operands) stand one level below it however many there
// are.
inline constexpr int MaxExprDepth = 256;

// The value area holds the longest engine short string, 255 bytes; a text keeps one byte for its zero.
inline constexpr std::size_t ExprValueSize = 255;
inline constexpr std::size_t MaxExprTextLength = ExprValueSize - 1;

// The codes are shared with filter blobs, which store them as u32; any u32 may arrive from a blob, and a
// class or operator that nothing defines is evaluated as a plain value.
enum ExprNodeClass : std::uint32_t {
    ncNone = 0,
    ncUnary = 1,      // IS NULL, IS NOT NULL, NOT, unary minus, unary plus: operand in Left
    ncBinary = 2,     // comparisons, AND, OR, + - * /: Left and Right
    ncCompare = 3,    // string = or <> with PartialLen and CaseInsensitive: column in Left, constant in Right
    ncField = 4,      // column reference
    ncConstant = 5,   // constant, NULL, parameter; also what an evaluation gives
    ncFunction = 10,  // aggregates and functions: argument in Left
    ncPredicate = 12,  // LIKE, IN, BETWEEN and their NOT forms: tested value in Left
};

enum ExprOperator : std::uint32_t {
    opNone = 0,
    opIsNull = 1,
    opIsNotNull = 2,
    opEqual = 3,
    opNotEqual = 4,
    opGreater = 5,
    opLess = 6,
    opGreaterEqual = 7,
    opLessEqual = 8,
    opNot = 9,
    opAnd = 10,
    opOr = 11,
    opField = 13,     // written on the field nodes of filter blobs
    opConstant = 14,  // written on the constant nodes of filter blobs
    opNegate = 15,
    opPlus = 16,
    opAdd = 17,  // also string concatenation
    opSubtract = 18,
    opMultiply = 19,
    opDivide = 20,
    opSum = 23,
    opCount = 24,
    opMin = 25,
    opMax = 26,
    opAvg = 27,
    opLike = 31,
    opIn = 32,
    opUpper = 34,
    opLower = 35,
    opBetween = 39,
    opNotBetween = 40,
    opNotLike = 41,
    opNotIn = 42,
    opSubstring = 43,
    opTrimLeading = 44,
    opTrimTrailing = 45,
    opTrimBoth = 46,
    opExtractYear = 48,
    opExtractMonth = 49,
    opExtractDay = 50,
};

// Truth values are u16 words: 0 false, anything else true. Operators write TruthTrue; a node typed boolean
// (FieldTypeBoolean) normalises it to 1.
inline constexpr std::uint16_t TruthTrue = 0xFFFF;

// A value: its type fields and the 255-byte area holding it in the stored form of its FieldType:
//
//   type             area holds (little-endian)
//   0 untyped        nothing
//   1 string         the characters and a zero; at most 254 characters
//   2 date           i32 day number, 1 January of year 1 being day 1
//   4 boolean        u16 truth value
//   5 smallint       i16
//   6 integer        i32
//   7 float          f64
//   8 BCD            i64 scaled integer (ScaledNumber.h)
//   10 time          i32 milliseconds since midnight
//   11 date-time     f64 milliseconds: day number x 86,400,000 + milliseconds of the day
//   12 word          u16
//   13 unsigned      u32
//
// The accessors read and write the leading bytes of the area and nothing else; they neither look at nor
// change the type fields or IsNull.
struct ExprValue {
    std::uint8_t FieldType = 0;  // engine field type code (FieldTypes.h); 0 untyped
    std::uint8_t SubType = 0;    // 21 marks money on floats; the evaluator does not consult it
    std::uint8_t Size = 0;       // value size in bytes; on a column node the field's stored size
    std::uint8_t Scale = 0;      // decimal places of a BCD value
    std::uint8_t IsNull = 0;     // 1 when the value is NULL
    std::array<std::uint8_t, ExprValueSize> Bytes{};

    std::int16_t GetInt16() const noexcept;
    std::uint16_t GetUInt16() const noexcept;
    std::int32_t GetInt32() const noexcept;
    std::uint32_t GetUInt32() const noexcept;
    std::int64_t GetInt64() const noexcept;
    double GetDouble() const noexcept;
    // The u16 truth value is not 0.
    bool IsTrue() const noexcept { return GetUInt16() != 0; }
    // The characters up to the first zero, at most MaxExprTextLength of them whatever the area holds.
    std::string_view GetText() const noexcept;

    void SetInt16(std::int16_t value) noexcept;
    void SetUInt16(std::uint16_t value) noexcept;
    void SetInt32(std::int32_t value) noexcept;
    void SetUInt32(std::uint32_t value) noexcept;
    void SetInt64(std::int64_t value) noexcept;
    void SetDouble(double value) noexcept;
    // TruthTrue or 0.
    void SetTruth(bool value) noexcept;
    // At most MaxExprTextLength characters, then a zero: the area always keeps its terminator.
    void SetText(std::string_view text) noexcept;
    // Copies at most ExprValueSize bytes into the area's start (a field's stored bytes, a blob literal).
    void SetBytes(const std::uint8_t* bytes, std::size_t count) noexcept;
};

// The fields of a node apart from its links to other nodes; CopyExprNode copies them whole.
struct ExprNodeFields {
    std::string Text;  // source text of the node, for captions and messages; at most 255 characters
    ExprNodeClass NodeClass = ncNone;
    ExprOperator Operator = opNone;  // opNone on column and constant nodes
    std::uint8_t OptLevel = 0;       // optimiser's rating: 0 served by an index, 1 partly, 2 record by record
    std::uint8_t JoinKind = 0;       // SQL join comparisons: 1 inner, 2 left outer, 3 right outer; 0 else
    // SQL: on every node of an ON condition, the FROM position of the table its join reads; 0 on WHERE nodes.
    // The planner tells by it which clause a part of the merged condition came from.
    std::uint16_t ClausePosition = 0;
    std::string ColumnName;     // column nodes: the field name; at most 255 characters
    std::uint16_t FieldNo = 0;  // column nodes: the field's number among the descriptors, from 1
    std::string Correlation;    // SQL: the table name or alias qualifying a column; at most 255 characters
    sql::TSourceDataFile* SourceTable = nullptr;  // SQL: the table a column was resolved to; not owned
    ExprValue Value;                              // the node's own value and type fields
    std::uint8_t IsParam = 0;                     // 1 on a "?" parameter constant
    // SQL constants written as quoted text: the quote they stood between (' or "); 0 on every other node.
    // Text in single quotes stays a constant, while text in double quotes may name a column.
    char Quote = 0;
    std::uint8_t PartialLen = 0;       // ncCompare: leading characters compared; 0 the whole string
    std::uint8_t CaseInsensitive = 0;  // ncCompare: 1 ignores letter case
    std::uint8_t FromString = 0;       // SQL type checker: a string constant turned into the column it names
    std::uint8_t SavedFieldType = 0;   // the type fields as they were when FromString was set
    std::uint8_t SavedSubType = 0;
    std::uint8_t SavedSize = 0;
    std::uint8_t SavedScale = 0;
};

// One node of an expression tree. A tree owns its children through Left, Right and Items; Parent only
// points. Nodes are neither copied nor moved (children point back at them): CopyExprNode and CopyExprTree
// make new ones.
//
// Shapes by class and operator:
//   ncUnary                      Left: the operand
//   ncBinary, ncCompare          Left, Right (ncCompare: the column and the string constant)
//   ncField, ncConstant          no children
//   ncFunction  UPPER, LOWER, EXTRACT, aggregates   Left: the argument
//               SUBSTRING        Left: the string; Items[0]: the start (its i32 value), Items[1] when FOR is
//                                given: the length (its i32 value); neither is evaluated
//               TRIM             Left: the string; Right: the character to remove, the first byte of its
//                                value, not evaluated
//   ncPredicate LIKE, NOT LIKE   Left: the text; Right: the pattern
//               IN, NOT IN       Left: the tested value; Items: the list, in order
//               BETWEEN, NOT BETWEEN  Left: the tested value; Items[0]: the low bound, Items[1]: the high one
// An operand that a shape needs and the node lacks leaves the node's own value as the result.
struct TExprNode : ExprNodeFields, TCompiledExpression {
    TExprNode() = default;
    TExprNode(const TExprNode&) = delete;
    TExprNode& operator=(const TExprNode&) = delete;

    TExprNode* Parent = nullptr;  // set by the SQL planner and by CopyExprTree
    std::unique_ptr<TExprNode> Left;
    std::unique_ptr<TExprNode> Right;
    std::vector<std::unique_ptr<TExprNode>> Items;
};

// Every field but Left, Right and Items copied into a new node; its Parent is null.
std::unique_ptr<TExprNode> CopyExprNode(const TExprNode& node);
// A deep copy: each node copied with its Left, then its Right, then its Items in order. Each copied node's
// Parent is its parent within the copy; the copy's root has none. Null gives null.
std::unique_ptr<TExprNode> CopyExprTree(const TExprNode* node);
// Releases a tree and sets the owner to null; null is ignored. (Letting the owner go does the same.)
void FreeExprTree(std::unique_ptr<TExprNode>& node) noexcept;
// A constant node holding the value: the model's other fields (its text, names and the rest) copied as
// CopyExprNode does, its value record replaced by the value, and its class ncConstant. This is how an
// evaluation's result becomes a node (for instance the constant of a table filter).
std::unique_ptr<TExprNode> MakeConstantNode(const TExprNode& model, const ExprValue& value);
// The number of levels of the tree (0 for null), counting items one level below their node. Takes no stack
// per level, so builders can measure a tree of any shape.
int ExprTreeDepth(const TExprNode* node);

// The comparison with its operands exchanged: > and <, >= and <= swap; every other operator stays.
ExprOperator MirrorComparison(ExprOperator op) noexcept;

}  // namespace engine
