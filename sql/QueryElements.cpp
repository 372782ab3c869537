#include "sql/QueryElements.h"

namespace sql {

AggregateKind AggregateOf(engine::ExprOperator op) noexcept {
    switch (op) {
        case engine::opSum:
            return AggregateKind::Sum;
        case engine::opMin:
            return AggregateKind::Min;
        case engine::opMax:
            return AggregateKind::Max;
        case engine::opAvg:
            return AggregateKind::Avg;
        case engine::opCount:
            return AggregateKind::Count;
        default:
            return AggregateKind::None;
    }
}

void TResultDataField::SetColumnName(std::string_view name) {
    if (name == ColumnName) return;
    ColumnName = name;
    if (ResultName.empty() && name != AllColumnsName) ResultName = name;
}

void TUpdateDataField::SetColumnName(std::string_view name) {
    if (name != ColumnName) ColumnName = name;
}

}  // namespace sql
