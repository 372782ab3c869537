// Execution: a live SELECT's filtered source table, and a copied SELECT's result table filled from the
// nested-loop join, row by row, with progress and abort.
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "engine/expr/ExprConvert.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "sql/SqlError.h"

namespace sql {

namespace {

// What a run cannot do yet, refused before anything changes.
constexpr std::string_view kNotRunnable = "%s cannot be run yet";

// The long-lived read locks of WITH LOCKS, each released when the run ends, also on failure.
class ReadLocks {
public:
    ReadLocks() = default;
    ReadLocks(const ReadLocks&) = delete;
    ReadLocks& operator=(const ReadLocks&) = delete;
    ~ReadLocks() {
        for (engine::TDataFile* table : held_) table->ReleaseReadLock();
    }
    void Acquire(engine::TDataFile& table) {
        table.AcquireReadLock();
        held_.push_back(&table);
    }

private:
    std::vector<engine::TDataFile*> held_;
};

// A field value: the longest stored field (250 bytes) and its terminating byte, rounded up.
using FieldBytes = std::array<std::uint8_t, 256>;

}  // namespace

bool TDataQuery::StartRows() {
    return Sources.front()->JoinFirst();
}

bool TDataQuery::NextRow() {
    return Sources.front()->JoinNext();
}

std::uint16_t TDataQuery::RunStatement(engine::TDataFile*& result) {
    switch (StatementKind) {
        case StatementType::None:
            return 0;
        case StatementType::Select:
            result = LiveResult ? RunLiveSelect() : RunCopiedSelect();
            Executed = true;
            return 0;
        case StatementType::Insert:
            RunInsert();
            return 0;
        case StatementType::Update:
        case StatementType::Delete:
            RunChange();
            return 0;
    }
    return 0;
}

engine::TDataFile* TDataQuery::RunLiveSelect() {
    CloseAllSourceFilters();
    if (WhereCondition) CheckWhereCondition();
    engine::TDataFile& table = *Sources.front()->Table;
    table.SetQueryOwned(true);
    table.SetIndexNumber(OrderByUsesIndex ? OrderByIndex : 0);
    ApplyWhereToSources();
    return &table;
}

engine::TDataFile* TDataQuery::RunCopiedSelect() {
    if (Distinct) RaiseSqlError(kNotRunnable, {"SELECT DISTINCT"});
    if (Grouped) RaiseSqlError(kNotRunnable, {"SELECT with GROUP BY or aggregates"});
    for (const auto& column : ResultColumns)
        if (column->FieldType == engine::FieldTypeBlob)
            RaiseSqlError(kNotRunnable, {"SELECT of a large-object column"});
    CloseAllSourceFilters();
    if (WhereCondition) CheckWhereCondition();
    ReadLocks locks;
    if (WithLocks)
        for (const auto& source : Sources) locks.Acquire(*source->Table);
    engine::TDataFile& result = *ResultTable;
    result.EmptyTable();
    result.SetIndexNumber(255);
    ApplyWhereToSources();

    std::vector<std::uint8_t> image(result.GetRecordBufferSize());
    RunRowLoop([&] {
        BuildResultRow(image);
        // The visible bitmap is rebuilt once, by the Refresh below, not after every row.
        result.InsertRecord(image, false);
    });
    result.Refresh();
    result.SetIndexNumber(0);
    result.SetToBegin();
    result.SetQueryOwned(true);
    return &result;
}

void TDataQuery::RunRowLoop(const std::function<void()>& handleRow) {
    TSourceDataFile& first = *Sources.front();
    // The percentage is against the count when the loop starts: a DELETE shrinks it while it runs.
    const std::int32_t total = first.Table->GetRecordCount();
    if (!StartRows()) return;
    // A new outer row is a change of the first table's slot; the counter is its place in the walk, and the
    // first row makes no call.
    std::int32_t counter = 0;
    std::uint32_t last = 0;
    bool abort = false;
    while (NextRow() && !abort) {
        const std::uint32_t slot = first.Table->GetSlotNumber(first.RecordBuffer).Value;
        if (counter == 0 || slot != last) {
            ++counter;
            last = slot;
            if (counter > 1) {
                const std::int32_t percent = total <= 0 ? 0
                                                        : static_cast<std::int32_t>(std::min<std::int64_t>(
                                                              100, std::int64_t{counter} * 100 / total));
                DoProgress(counter, percent, abort);
            }
        }
        if (HasResidual) {
            engine::ExprValue truth = ResidualCondition->Value;
            engine::EvaluateExpr(*ResidualCondition, nullptr, this, FetchColumnValue, LanguageId, SortId,
                                 truth);
            if (truth.IsNull != 0 || !truth.IsTrue()) continue;
        }
        handleRow();
    }
}

void TDataQuery::BuildResultRow(std::span<std::uint8_t> image) {
    engine::TDataFile& result = *ResultTable;
    result.InitRecord(image);
    for (const auto& item : ResultColumns) {
        const TResultDataField& column = *item;
        if (!column.IsExpression) {
            const TSourceDataFile& source = *column.SourceTable;
            FieldBytes bytes{};
            if (!source.Table->GetField(false, column.SourceFieldNumber, source.RecordBuffer, bytes))
                result.SetField(true, column.ResultFieldNumber, image, std::span<const std::uint8_t>(bytes));
            continue;
        }
        if (!column.Expression) continue;
        engine::ExprValue value = column.Expression->Value;
        engine::EvaluateExpr(*column.Expression, nullptr, this, FetchColumnValue, LanguageId, SortId, value);
        // A NULL result (a NULL operand, a division by zero) is stored as NULL.
        if (value.IsNull != 0) {
            result.SetField(true, column.ResultFieldNumber, image, std::nullopt);
            continue;
        }
        if (value.FieldType != column.FieldType) {
            engine::ExprValue converted;
            converted.FieldType = column.FieldType;
            converted.SubType = column.SubType;
            converted.Size = column.Size;
            converted.Scale = column.Scale;
            if (!engine::ConvertExprValue(value, converted)) {
                result.SetField(true, column.ResultFieldNumber, image, std::nullopt);
                continue;
            }
            value = converted;
        }
        result.SetField(true, column.ResultFieldNumber, image, std::span<const std::uint8_t>(value.Bytes));
    }
}

}  // namespace sql
