// The optimiser: which nodes of a condition an index can answer (the optimisation levels), and the serving
// rules that filters, the SQL planner and TFilter::EvaluateNode share.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/expr/ExprNode.h"
#include "engine/index/KeyInterval.h"
#include "engine/records/FieldDesc.h"

namespace engine {

class TIndexFile;

// Optimisation levels, kept in TExprNode::OptLevel and in each filter.
inline constexpr std::uint8_t OptIndexed = 0;    // answered entirely from indexes
inline constexpr std::uint8_t OptPartly = 1;     // an AND whose operands differ
inline constexpr std::uint8_t OptByRecords = 2;  // evaluated record by record

// Both 0: 0; both 2: 2; otherwise 1.
std::uint8_t CombineOptimizationLevels(std::uint8_t a, std::uint8_t b) noexcept;

// UPPER applied directly to a column node.
bool IsUpperOfColumn(const TExprNode* node) noexcept;

// A comparison that an index of its column answers with the same records as the evaluator: the column it
// tests and the index it asks for.
struct TServedComparison {
    const TExprNode* Column = nullptr;  // the column node (the one under UPPER)
    const TFieldDesc* Field = nullptr;  // its stored field
    bool CaseInsensitive = false;       // the index's case flag asked for (strings only)
    bool AnyCase = false;               // IS [NOT] NULL: any index of the column
    std::uint8_t PartialLength = 0;     // a leading-part string compare: the characters compared
};

// The serving rules: whether the node (IS [NOT] NULL; a comparison of a column, or UPPER of a string column,
// with a constant; a filter string compare; IN, NOT IN, BETWEEN, NOT BETWEEN of a column with constant
// items) has the same records in an index as record by record. Not served:
// - a value comparison on a type whose key does not sort by value (large objects, bytes, 32-bit unsigned
//   values, extended floats, variable bytes); IS [NOT] NULL, decided by the has-value byte, is served on any;
// - order comparisons and BETWEEN on booleans, which the evaluator answers false;
// - a non-null constant of another type than the column's (a BCD constant of another scale), which the
//   key encoding would read as the column's stored form; a null constant in an order comparison or a
//   BETWEEN bound (false record by record); a null constant of =, <> or an IN item is IS [NOT] NULL;
// - a string constant longer than the field holds (the key encoding would cut it), and a partial length
//   beyond the field's characters (it would compare into the next key field);
// - UPPER(column) compared case-sensitively with a constant that upper-casing changes;
// - a filter string compare other than = and <>, or on a column that is not a string.
std::optional<TServedComparison> ServedComparison(const TIndexFile& file, const TExprNode& node);

// The one interval of an index's keys whose records are exactly the node's, for a node the analysis rated 0:
// a comparison whose records are one interval (=, an order comparison, IS [NOT] NULL, a filter string compare
// =), or an AND of two order comparisons that bound one column from both sides. Its index is made current
// (the caller keeps the one before); none for any other node, or when no index serves it any more.
std::optional<TKeyInterval> IndexedInterval(TIndexFile& file, const TExprNode& node);

// Rates the node and every node below it (storing each level in its OptLevel) and answers the node's level;
// exchanges the operands of an AND so that the better-rated comes first. The current index is restored. With
// the selectivity rule (the SQL planner's), a comparison below the root keeps its index only while its
// interval holds at most nine tenths of the table's live records; a count that meets another program's
// change rates it 2.
std::uint8_t AnalyseOptimization(TIndexFile& file, ExprOperator parentOperator, TExprNode* node,
                                 bool selectivity);

}  // namespace engine
