// CheckExprTypes: resolves the columns of an SQL expression tree, reads its date texts and gives every node
// its result type, subtype, size and scale, so that the evaluator and the result table can rely on them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "engine/expr/ExprNode.h"

namespace sql {

// Binds a column node, named by its Correlation and ColumnName, to a column of one of the statement's
// tables: fills FieldNo, SourceTable, Correlation and the type fields from the field's descriptor and gives
// true; or gives false and leaves the node alone.
using TColumnResolver = std::function<bool(engine::TExprNode&)>;

// Whether the checked tree is evaluated against a record of the statement's tables.
enum class RowAccess : std::uint8_t {
    Record,    // select lists, conditions and UPDATE values: a column gives the current record's value
    NoRecord,  // INSERT values: evaluated with no record at all, so a column there is refused
};

// How a "?" parameter that has no value yet (type 0) is checked.
enum class ParamTyping : std::uint8_t {
    Strict,    // by the type rules like any operand: at run time, once the values are set
    Deferred,  // accepted anywhere, taking the other operand's type while the rest is checked: a condition
               // checked when the statement is prepared, before any value; the run checks it again
};

// The longest SUBSTRING start and length: the longest string a field holds, 250 characters.
inline constexpr int MaxSubstringPosition = 250;

// Checks the tree below node in place and raises engine error `errorCode` (callers pass 11949) with the
// message as extra text on the first fault; `context` ends every message ("source columns", "update
// values", "WHERE or JOIN clause"). Callers install the built-in US format settings first
// (engine::LocaleFormatSwap(0, 0)): date and time texts are read under the settings in force.
//
// Beyond the type rules (TypeRules.h):
// - Text in single quotes is always a string constant. Text in double quotes that names a column becomes
//   that column (FromString set, the constant's type fields saved) and stays one on both sides of a
//   comparison; where a constant is required (IN items, BETWEEN bounds, LIKE patterns, and everywhere
//   under RowAccess::NoRecord) a column, named in double quotes or not, is refused.
// - A string constant compared with a date, time or date-time is read as one and takes that type, also as
//   an IN item or BETWEEN bound; a string that is not a constant has no text to read and is refused.
// - A boolean column (or function) as an operand of NOT, AND or OR becomes the comparison column = TRUE
//   (MakeTrueComparison) right after its own check.
// - Aggregates stand only as the root of the tree: they are computed over the rows of a group, and an
//   expression around them would see only one row's value.
// - A string result's Size is at most 255 (254 characters and the terminator, as long as the evaluator
//   makes a string); a SUBSTRING that starts past the end has Size 1, the empty string.
// - SUBSTRING's start and length and TRIM's character are tested as constants and not checked themselves.
// - Under ParamTyping::Deferred a node over an operand that rests on a parameter without a value has type 0;
//   a parameter never keeps a type it was lent.
// Checking a tree again changes nothing: conversions and rewrites are not repeated and every node gets the
// same type fields. After a failure the nodes already rewritten stay rewritten; the tree stays whole.
void CheckExprTypes(std::int32_t errorCode, std::string_view context, engine::TExprNode& node,
                    const TColumnResolver& resolveColumn, RowAccess access = RowAccess::Record,
                    ParamTyping params = ParamTyping::Strict);

// The comparison operand = TRUE (Text "=", boolean), owning the operand, to stand where the operand stood:
// it takes over the operand's Parent and ClausePosition and becomes the operand's parent. The TRUE constant
// has Text "True", Size 2 and the value 1.
std::unique_ptr<engine::TExprNode> MakeTrueComparison(std::unique_ptr<engine::TExprNode> operand);

}  // namespace sql
