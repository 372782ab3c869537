// The items of a statement's lists: select-list columns, INSERT and UPDATE target columns and values, and
// ORDER BY and GROUP BY items. Each item owns its expression tree.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/expr/ExprNode.h"

namespace sql {

class TDataQuery;
class TSourceDataFile;

// The all-columns symbol, as a column name.
inline constexpr std::string_view AllColumnsName = "*";
// The first field of every result table, numbering its rows; no select-list column may take its name.
inline constexpr std::string_view RowNumberFieldName = "Row___No";
// A result column names its result-table field with its first 30 characters: a field name's room.
inline constexpr std::size_t MaxResultNameLength = 30;

// The aggregate of a select-list column. Numbered apart from the tree operators (opSum 23 ... opAvg 27) so
// that the two cannot be mixed up; binding's captions ("Sum Of ", "Min Of ", ...) follow this order.
enum class AggregateKind : std::uint8_t {
    None = 0,
    Sum = 1,
    Min = 2,
    Max = 3,
    Avg = 4,
    Count = 5,
};

// The aggregate an operator stands for; None for an operator that is no aggregate.
AggregateKind AggregateOf(engine::ExprOperator op) noexcept;

// One select-list column.
struct TResultDataField {
    explicit TResultDataField(TDataQuery* owner) noexcept : Owner(owner) {}

    // Stores a name that differs from ColumnName; while ResultName is empty and the name is not "*", it
    // becomes the result name too.
    void SetColumnName(std::string_view name);

    TDataQuery* Owner;
    TSourceDataFile* SourceTable = nullptr;  // the table the column is bound to; null until binding
    std::string ColumnName;                  // the source column as written, or "*"
    std::uint16_t SourceFieldNumber = 0;     // the field's number in the source table
    std::string CorrelationName;             // the correlation name qualifying the column
    std::string ResultName;                  // the alias, or the caption binding makes
    std::uint16_t ResultFieldNumber = 0;     // the column's place in the result, from 1
    bool IsExpression = false;               // computed from Expression for every row
    std::uint8_t FieldType = 0;              // engine type, subtype, stored size and scale of the value
    std::uint8_t SubType = 0;
    std::uint8_t Size = 0;
    std::uint8_t Scale = 0;
    AggregateKind Aggregate = AggregateKind::None;
    std::uint16_t AvgCountField = 0;                // AVG: the number of its hidden count field
    bool CountAll = false;                          // COUNT(*)
    std::string ExpressionText;                     // an expression column's text as written
    std::unique_ptr<engine::TExprNode> Expression;  // the item's whole tree, aggregate included
};

// One INSERT or SET target column.
struct TUpdateDataField {
    explicit TUpdateDataField(TDataQuery* owner) noexcept : Owner(owner) {}

    // Stores a name that differs from ColumnName.
    void SetColumnName(std::string_view name);

    TDataQuery* Owner;
    TSourceDataFile* SourceTable = nullptr;  // the target table; null until binding
    std::string ColumnName;                  // as written, or "*" for every column in order
    std::uint16_t FieldNumber = 0;           // the field's number in the target table
    std::string CorrelationName;
    std::uint8_t FieldType = 0;  // copied from the table's field descriptor by binding
    std::uint8_t SubType = 0;
    std::uint8_t Size = 0;
    std::uint8_t Scale = 0;
    std::string FieldName;                          // the field's name as the table stores it
    std::unique_ptr<engine::TExprNode> Expression;  // the column node as parsed; null for "*"
};

// One INSERT or SET value.
struct TUpdateDataValue {
    explicit TUpdateDataValue(TDataQuery* owner) noexcept : Owner(owner) {}

    TDataQuery* Owner;
    std::string ValueText;  // the value as written, for messages
    std::unique_ptr<engine::TExprNode> Expression;
};

// What an ORDER BY or GROUP BY item names: a column, or a select-list position.
struct TClauseColumn {
    explicit TClauseColumn(TDataQuery* owner) noexcept : Owner(owner) {}

    TDataQuery* Owner;
    std::string ColumnName;
    std::string CorrelationName;
    std::uint16_t ColumnNumber = 0;  // the select-list position, from 1, when given as a number; else 0
    bool Descending = false;         // DESC or DESCENDING (ORDER BY only)
};

struct TOrderByDataField : TClauseColumn {
    using TClauseColumn::TClauseColumn;
};

struct TGroupByDataField : TClauseColumn {
    using TClauseColumn::TClauseColumn;
};

}  // namespace sql
