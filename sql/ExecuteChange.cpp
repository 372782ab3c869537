// INSERT, UPDATE and DELETE: one record added, or the filtered target table walked and each row changed
// or deleted, all under the table lock.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr/ExprConvert.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/records/RecordNumbers.h"
#include "engine/values/FieldConversion.h"
#include "engine/values/FieldTypes.h"
#include "rtl/ExceptionHook.h"
#include "sql/DataQuery.h"
#include "sql/SqlError.h"
#include "sql/SqlMessages.h"

namespace sql {

namespace {

// The table lock for a change statement, released on every way out.
class TableLock {
public:
    explicit TableLock(engine::TDataFile& table) : table_(table) { table_.LockTable(); }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;
    ~TableLock() {
        try {
            table_.UnlockTable();
        } catch (...) {
            rtl::HandleCurrentException();
        }
    }

private:
    engine::TDataFile& table_;
};

// Puts the natural-order cursor where the next read gives the first visible record after the slot. A
// change that took the record out of the visible set (a deleted row, a modified row failing the filter)
// has already moved the cursor onto that record, which the next read would skip.
void ContinueAfter(engine::TDataFile& table, std::uint32_t slot) {
    std::array<std::uint8_t, engine::TDataFile::NaturalBookmarkSize> bookmark{};
    std::memcpy(bookmark.data(), &slot, bookmark.size());
    table.GotoBookmark(bookmark, false);
    table.GetBookmark(bookmark);
    std::uint32_t landed = 0;
    std::memcpy(&landed, bookmark.data(), bookmark.size());
    // 0: no visible record at or after the slot, the next read ends the walk. An earlier one: the position
    // fell back on the last visible record, as it does when none follows; stepping back from there would
    // walk rows already changed again, so the walk ends here too. The slot itself: still visible, the next
    // read steps past it. A later one: step back so that the next read gives it.
    if (landed != 0 && landed < slot) {
        table.SetToEnd();
    } else if (landed != 0 && landed != slot) {
        table.GetPriorRecord();
    }
}

bool IsNumericType(std::uint8_t fieldType) noexcept {
    return engine::IsIntegerFieldType(fieldType) || fieldType == engine::FieldTypeFloat ||
           fieldType == engine::FieldTypeBcd;
}

}  // namespace

void TDataQuery::StoreValue(std::size_t i, std::span<std::uint8_t> image, std::string_view context) {
    const TUpdateDataField& column = *TargetColumns[i];
    const TUpdateDataValue& item = *Values[i];
    if (!item.Expression) return;
    engine::ExprValue value = item.Expression->Value;
    bool overflowed = false;
    engine::EvaluateExpr(*item.Expression, nullptr, this, FetchColumnValue, LanguageId, SortId, value,
                         &overflowed);
    if (overflowed) RaiseSqlError(kValueOverflow, {context, column.ColumnName});
    engine::TDataFile& table = *Sources.front()->Table;
    if (value.IsNull != 0) {
        // An INSERT's record starts with its defaults; an UPDATE to NULL empties the field.
        if (StatementKind == StatementType::Update)
            table.SetField(false, column.FieldNumber, image, std::nullopt);
        return;
    }
    std::array<std::uint8_t, engine::FieldValueBufferSize> bytes{};
    std::copy_n(value.Bytes.begin(), std::min(bytes.size(), value.Bytes.size()), bytes.begin());
    if (value.FieldType != column.FieldType &&
        !engine::ConvertFieldValue(value.FieldType, value.Size, value.Scale, column.FieldType, column.Size,
                                   column.Scale, bytes)) {
        // Between two numeric types only a value beyond the target's range fails to convert.
        if (IsNumericType(value.FieldType) && IsNumericType(column.FieldType))
            RaiseSqlError(kValueOverflow, {context, column.ColumnName});
        RaiseSqlError(kValueConversionFailed, {column.ColumnName, item.ValueText, context});
    }
    table.SetField(false, column.FieldNumber, image,
                   std::span<const std::uint8_t>(bytes.data(), column.Size));
}

void TDataQuery::RunInsert() {
    TSourceDataFile& target = *Sources.front();
    engine::TDataFile& table = *target.Table;
    const TableLock lock(table);
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    table.InitRecord(image);
    for (std::size_t i = 0; i < TargetColumns.size(); ++i) StoreValue(i, image, "INSERT statement");
    table.InsertRecord(image, true);
}

void TDataQuery::RunChange() {
    TSourceDataFile& target = *Sources.front();
    engine::TDataFile& table = *target.Table;
    CloseAllSourceFilters();
    CheckConditions(false);
    const TableLock lock(table);
    ApplyWhereToSources();
    const bool update = StatementKind == StatementType::Update;
    // The statement is one unit: a row it would refuse is found before any row is written. The engine's
    // transactions cannot be committed, so every row is computed once without writing; under the table
    // lock nobody changes the rows between that walk and the writing one.
    if (update) CheckUpdateRows();
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    RunRowLoop([&] {
        const std::uint32_t slot = table.GetSlotNumber(target.RecordBuffer).Value;
        if (update) {
            // The row as read, locked: every value is computed from it, so SET A = B, B = A swaps.
            if (table.GetCurrentRecord(target.RecordBuffer, true) != 0) return true;
            image = target.RecordBuffer;
            try {
                for (std::size_t i = 0; i < TargetColumns.size(); ++i)
                    StoreValue(i, image, "UPDATE statement");
                table.ModifyRecord(image, true, true);
            } catch (...) {
                if (table.HoldsRecordLock(engine::SlotNumber(slot)))
                    table.UnlockRecord(engine::SlotNumber(slot));
                throw;
            }
        } else {
            table.DeleteRecord(true);
        }
        ContinueAfter(table, slot);
        return true;
    });
}

void TDataQuery::CheckUpdateRows() {
    TSourceDataFile& target = *Sources.front();
    engine::TDataFile& table = *target.Table;
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    RunRowLoop(
        [&] {
            image = target.RecordBuffer;
            for (std::size_t i = 0; i < TargetColumns.size(); ++i) StoreValue(i, image, "UPDATE statement");
            table.CheckValidity(image);
            return true;
        },
        false);
}

}  // namespace sql
