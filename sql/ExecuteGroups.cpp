// The grouped row loops of a copied SELECT: rows folded into their GROUP BY group, or into the one group of a
// select list of aggregates only; once every row is in, the sums are checked against their columns' types,
// each AVG divided by its count, and the group records inserted.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "engine/expr/ExprEvaluator.h"
#include "engine/values/FieldConversion.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "sql/SqlError.h"
#include "sql/SqlMessages.h"

namespace sql {

namespace {

AggregateColumn Describe(const TResultDataField& column) noexcept {
    return {column.Aggregate, column.CountAll, column.FieldType, column.Scale};
}

bool IsAggregate(const TResultDataField& column) noexcept {
    return column.Aggregate != AggregateKind::None;
}

// The group's record: a grouped row's plain columns take the last value that was not NULL.
void CopyPlainColumns(engine::TDataFile& result, const std::vector<std::unique_ptr<TResultDataField>>& columns,
                      std::span<const std::uint8_t> image, std::span<std::uint8_t> accumulated) {
    for (const auto& column : columns) {
        if (IsAggregate(*column)) continue;
        std::array<std::uint8_t, engine::FieldValueBufferSize> bytes{};
        if (!result.GetField(true, column->ResultFieldNumber, image, bytes))
            result.SetField(true, column->ResultFieldNumber, accumulated, std::span<const std::uint8_t>(bytes));
    }
}

}  // namespace

engine::ExprValue TDataQuery::AggregateArgument(const TResultDataField& column) {
    engine::ExprValue value;
    if (column.CountAll) return value;
    if (!column.IsExpression) {
        const TSourceDataFile& source = *column.SourceTable;
        const engine::TFieldDesc& field = source.Table->GetFieldDesc(false, column.SourceFieldNumber);
        value.FieldType = field.FieldType;
        value.Scale = field.Scale;
        value.IsNull =
            source.Table->GetField(false, column.SourceFieldNumber, source.RecordBuffer, value.Bytes) ? 1 : 0;
        return value;
    }
    const engine::TExprNode& argument = *column.Expression->Left;
    // COUNT asks only whether there is a value: its argument keeps its own type.
    if (column.Aggregate == AggregateKind::Count) {
        value = argument.Value;
        engine::EvaluateExpr(argument, nullptr, this, FetchColumnValue, LanguageId, SortId, value);
        return value;
    }
    return EvaluateColumn(column, argument);
}

void TDataQuery::AccumulateRow(TGroupStates::Group& group) {
    std::size_t k = 0;
    for (const auto& column : ResultColumns) {
        if (!IsAggregate(*column)) continue;
        AccumulateAggregate(Describe(*column), group.States[k++], AggregateArgument(*column));
    }
    group.HasRows = true;
}

void TDataQuery::FinishGroup(TGroupStates::Group& group) {
    engine::TDataFile& result = *ResultTable;
    std::size_t k = 0;
    for (const auto& column : ResultColumns) {
        if (!IsAggregate(*column)) continue;
        const AggregateState& state = group.States[k++];
        // Over no rows (aggregates only) COUNT is 0 and the others have no value.
        if (!group.HasRows && column->Aggregate != AggregateKind::Count) continue;
        std::array<std::uint8_t, 8> bytes{};
        if (column->Aggregate == AggregateKind::Avg) {
            // The count goes into the hidden count field beside the average.
            const auto count = static_cast<std::int32_t>(state.Count);
            result.SetField(true, column->AvgCountField, group.Row,
                            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&count), 4),
                            true);
            const double average = state.Count == 0 ? 0.0 : state.Float / static_cast<double>(state.Count);
            std::memcpy(bytes.data(), &average, sizeof average);
        } else {
            // StoreGroups has checked that every sum fits.
            AggregateResult(Describe(*column), state, bytes);
        }
        result.SetField(true, column->ResultFieldNumber, group.Row, std::span<const std::uint8_t>(bytes));
    }
}

void TDataQuery::StoreGroups(TGroupStates& groups) {
    // Every sum is checked before any record goes in, column by column, so that the column named does not
    // depend on the order of the groups.
    std::size_t k = 0;
    for (const auto& column : ResultColumns) {
        if (!IsAggregate(*column)) continue;
        if (column->Aggregate == AggregateKind::Sum) {
            for (const TGroupStates::Group& group : groups.Groups()) {
                std::array<std::uint8_t, 8> bytes{};
                if (!AggregateResult(Describe(*column), group.States[k], bytes))
                    RaiseSqlError(kSumOverflow, {column->ResultName});
            }
        }
        ++k;
    }
    engine::TDataFile& result = *ResultTable;
    for (TGroupStates::Group& group : groups.Groups()) {
        FinishGroup(group);
        // The visible bitmap is rebuilt once, after the last record.
        result.InsertRecord(group.Row, false);
    }
}

void TDataQuery::RunGroupedRows(std::span<std::uint8_t> image, TGroupStates& groups) {
    engine::TDataFile& result = *ResultTable;
    engine::TIndexKey key;
    RunRowLoop([&] {
        // A group's record is written once, at the end: large-object values are not carried into it.
        BuildResultRow(image, false);
        // The row's group, by its key in the grouping index.
        result.BuildKey(image, key);
        const std::span<const std::uint8_t> bytes = key.View();
        TGroupStates::Group& group = groups.At(std::string(bytes.begin(), bytes.end()));
        CopyPlainColumns(result, ResultColumns, image, group.Row);
        AccumulateRow(group);
        return true;
    });
    StoreGroups(groups);
}

void TDataQuery::RunAggregateRows(TGroupStates& groups) {
    TGroupStates::Group& group = groups.At({});
    TSourceDataFile& first = *Sources.front();
    // A lone COUNT(*) over one table needs no row: the table's count under its filters is the answer. Only
    // COUNT(*) counts rows whatever their values, and only without a residual are they all the rows.
    if (Sources.size() == 1 && ResultColumns.size() == 1 && ResultColumns.front()->CountAll && !HasResidual) {
        const std::int32_t count = first.Table->GetRecordCount();
        group.States.front().Count = count;
        group.HasRows = count != 0;
        bool abort = false;
        DoProgress(count, 100, abort);
    } else {
        RunRowLoop([&] {
            AccumulateRow(group);
            return true;
        });
    }
    StoreGroups(groups);
}

}  // namespace sql
