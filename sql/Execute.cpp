// Execution: a live SELECT's filtered source table, and a copied SELECT's result table filled from the
// nested-loop join, row by row, with progress and abort.
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/expr/ExprConvert.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "sql/RowBlobs.h"
#include "sql/SqlError.h"

namespace sql {

namespace {

// What Execute answers when a large-object column's source value does not stay open for its copy.
constexpr std::uint16_t kBlobCopyFailed = engine::ErrOsError;  // 11047
// A large-object value is copied in pieces of this many bytes.
constexpr std::int32_t kBlobCopyChunk = 64 * 1024;

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

// Shows the result table's hidden AVG count fields for the run and hides them again on every way out.
class ShownCountFields {
public:
    ShownCountFields(engine::TDataFile& table, std::uint16_t count) : table_(table), count_(count) {
        if (count_ != 0) table_.AddWorkingFields(count_);
    }
    ShownCountFields(const ShownCountFields&) = delete;
    ShownCountFields& operator=(const ShownCountFields&) = delete;
    ~ShownCountFields() {
        if (count_ != 0) table_.RemoveWorkingFields(count_);
    }

private:
    engine::TDataFile& table_;
    std::uint16_t count_;
};

// The join's key tables hold copies of inner rows: they go when the run ends, also on failure.
class KeyTablesReleased {
public:
    explicit KeyTablesReleased(const std::vector<std::unique_ptr<TSourceDataFile>>& sources) : sources_(sources) {}
    KeyTablesReleased(const KeyTablesReleased&) = delete;
    KeyTablesReleased& operator=(const KeyTablesReleased&) = delete;
    ~KeyTablesReleased() {
        for (const auto& source : sources_)
            for (const auto& link : source->Links) link->ReleaseKeyTable();
    }

private:
    const std::vector<std::unique_ptr<TSourceDataFile>>& sources_;
};

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
        case StatementType::Select: {
            std::uint16_t code = 0;
            if (LiveResult) {
                result = RunLiveSelect();
            } else {
                code = RunCopiedSelect(result);
            }
            Executed = true;
            return code;
        }
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
    CheckConditions(false);
    engine::TDataFile& table = *Sources.front()->Table;
    table.SetQueryOwned(true);
    table.SetIndexNumber(OrderByUsesIndex ? OrderByIndex : 0);
    ApplyWhereToSources();
    return &table;
}

std::uint16_t TDataQuery::RunCopiedSelect(engine::TDataFile*& handle) {
    CloseAllSourceFilters();
    CheckConditions(true);
    ReadLocks locks;
    if (WithLocks)
        for (const auto& source : Sources) locks.Acquire(*source->Table);
    engine::TDataFile& result = *ResultTable;
    result.EmptyTable();
    SelectRunIndex();
    const ShownCountFields shown(result, HasAverages ? AverageCountFields : 0);
    ApplyWhereToSources();
    const KeyTablesReleased released(Sources);

    std::vector<std::uint8_t> image(result.GetRecordBufferSize());
    std::size_t aggregates = 0;
    for (const auto& column : ResultColumns)
        if (column->Aggregate != AggregateKind::None) ++aggregates;
    TGroupStates groups(aggregates, image.size());
    if (!Grouped) {
        if (!RunPlainRows(image)) return kBlobCopyFailed;
    } else if (!AllAggregates) {
        RunGroupedRows(image, groups);
    } else {
        RunAggregateRows(groups);
    }
    // The visible bitmap is rebuilt once, here, not after every row.
    result.Refresh();
    result.SetIndexNumber(0);
    result.SetToBegin();
    result.SetQueryOwned(true);
    handle = &result;
    return 0;
}

void TDataQuery::SelectRunIndex() {
    engine::TDataFile& result = *ResultTable;
    // Index 0 is the key's own when no ORDER BY needs another order, or when the ORDER BY index is it.
    const bool keyIsPrimary = SharedOrderIndex || OrderBy.empty();
    if (Distinct) {
        result.SetIndexName(keyIsPrimary ? "" : "Distinct");
    } else if (Grouped && !AllAggregates) {
        result.SetIndexName(keyIsPrimary ? "" : "GroupBy");
    } else {
        result.SetIndexNumber(255);
    }
}

bool TDataQuery::RunPlainRows(std::span<std::uint8_t> image) {
    engine::TDataFile& result = *ResultTable;
    bool copied = true;
    // The DISTINCT keys stored so far, in the result's DISTINCT index's encoding.
    std::unordered_set<std::string> keys;
    engine::TIndexKey key;
    RunRowLoop([&] {
        const RowBlobs blobs(result, Sources, CopiesBlobs());
        if (!BuildResultRow(image)) {
            copied = false;
            return false;
        }
        if (Distinct) {
            result.BuildKey(image, key);
            const std::span<const std::uint8_t> bytes = key.View();
            if (!keys.emplace(bytes.begin(), bytes.end()).second) return true;
        }
        // The visible bitmap is rebuilt once, by the Refresh at the end, not after every row.
        result.InsertRecord(image, false);
        return true;
    });
    return copied;
}

bool TDataQuery::RunRowLoop(const std::function<bool()>& handleRow, ProgressPart part) {
    TSourceDataFile& first = *Sources.front();
    // The percentage is against the count when the loop starts: a DELETE shrinks it while it runs.
    const std::int32_t total = first.Table->GetRecordCount();
    if (!StartRows()) return true;
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
                const std::int64_t span = part.To - part.From;
                const std::int32_t percent =
                    part.From + (total <= 0 ? 0
                                            : static_cast<std::int32_t>(
                                                  std::min<std::int64_t>(span, std::int64_t{counter} * span / total)));
                DoProgress(counter, percent, abort);
            }
        }
        if (HasResidual) {
            engine::ExprValue truth = ResidualCondition->Value;
            engine::EvaluateExpr(*ResidualCondition, nullptr, this, FetchColumnValue, LanguageId, SortId,
                                 truth);
            if (truth.IsNull != 0 || !truth.IsTrue()) continue;
        }
        if (!handleRow()) return true;
    }
    return !abort;
}

bool TDataQuery::BuildResultRow(std::span<std::uint8_t> image, bool withBlobs) {
    engine::TDataFile& result = *ResultTable;
    result.InitRecord(image);
    for (const auto& item : ResultColumns) {
        const TResultDataField& column = *item;
        // Aggregates are folded from their argument's typed value, not from a built row.
        if (column.Aggregate != AggregateKind::None) continue;
        if (!column.IsExpression) {
            const TSourceDataFile& source = *column.SourceTable;
            FieldBytes bytes{};
            if (source.Table->GetField(false, column.SourceFieldNumber, source.RecordBuffer, bytes)) continue;
            if (source.Table->GetFieldDesc(false, column.SourceFieldNumber).FieldType == engine::FieldTypeBlob) {
                if (withBlobs && !CopyBlobColumn(column, image)) return false;
                continue;
            }
            result.SetField(true, column.ResultFieldNumber, image, std::span<const std::uint8_t>(bytes));
            continue;
        }
        if (!column.Expression) continue;
        engine::ExprValue value = EvaluateColumn(column, *column.Expression);
        // A NULL result (a NULL operand, a division by zero) is stored as NULL.
        if (value.IsNull != 0) {
            result.SetField(true, column.ResultFieldNumber, image, std::nullopt);
            continue;
        }
        result.SetField(true, column.ResultFieldNumber, image, std::span<const std::uint8_t>(value.Bytes));
    }
    return true;
}

engine::ExprValue TDataQuery::EvaluateColumn(const TResultDataField& column, const engine::TExprNode& tree) {
    engine::ExprValue value = tree.Value;
    engine::EvaluateExpr(tree, nullptr, this, FetchColumnValue, LanguageId, SortId, value);
    if (value.IsNull != 0 || value.FieldType == column.FieldType) return value;
    engine::ExprValue converted;
    converted.FieldType = column.FieldType;
    converted.SubType = column.SubType;
    converted.Size = column.Size;
    converted.Scale = column.Scale;
    // A value the column's type cannot hold has none there.
    if (!engine::ConvertExprValue(value, converted)) converted.IsNull = 1;
    return converted;
}

bool TDataQuery::CopiesBlobs() const {
    return std::any_of(ResultColumns.begin(), ResultColumns.end(), [](const auto& column) {
        return column->Aggregate == AggregateKind::None && !column->IsExpression &&
               column->SourceTable->Table->GetFieldDesc(false, column->SourceFieldNumber).FieldType ==
                   engine::FieldTypeBlob;
    });
}

bool TDataQuery::CopyBlobColumn(const TResultDataField& column, std::span<std::uint8_t> image) {
    TSourceDataFile& source = *column.SourceTable;
    engine::TDataFile& from = *source.Table;
    const std::uint16_t field = column.SourceFieldNumber;
    std::int32_t size = 0;
    if (from.OpenBlob(false, field, engine::BlobOpenRead, source.RecordBuffer) == 0)
        from.GetBlobSize(false, field, size, source.RecordBuffer);
    if (!from.IsBlobOpen(false, field, source.RecordBuffer)) return false;
    engine::TDataFile& result = *ResultTable;
    const std::uint16_t target = column.ResultFieldNumber;
    if (result.OpenBlob(true, target, engine::BlobOpenReadWrite, image) != 0) return false;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(size, kBlobCopyChunk)));
    for (std::int32_t offset = 0; offset < size;) {
        const std::int32_t wanted = std::min(size - offset, kBlobCopyChunk);
        std::int32_t read = 0;
        if (from.ReadBlob(false, field, read, wanted, chunk, offset, source.RecordBuffer) != 0 || read <= 0)
            return false;
        if (result.WriteBlob(true, target, std::span<const std::uint8_t>(chunk.data(), read), read, offset,
                             image) != 0)
            return false;
        offset += read;
    }
    return true;
}

}  // namespace sql
