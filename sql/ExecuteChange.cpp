// INSERT, UPDATE and DELETE: one record added, or the filtered target table walked and each row changed
// or deleted, all under the table lock; a statement that fails part-way puts back the rows it wrote.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/expr/ExprConvert.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/records/RecordNumbers.h"
#include "engine/table/ChangeUnit.h"
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

// The natural-order bookmark of a slot.
std::array<std::uint8_t, engine::TDataFile::NaturalBookmarkSize> SlotBookmark(std::uint32_t slot) noexcept {
    std::array<std::uint8_t, engine::TDataFile::NaturalBookmarkSize> bookmark{};
    std::memcpy(bookmark.data(), &slot, bookmark.size());
    return bookmark;
}

// Puts the natural-order cursor where the next read gives the first visible record after the slot. A
// change that took the record out of the visible set (a deleted row, a modified row failing the filter)
// has already moved the cursor onto that record, which the next read would skip.
void ContinueAfter(engine::TDataFile& table, std::uint32_t slot) {
    auto bookmark = SlotBookmark(slot);
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

// The record lock GetCurrentRecord took on a row about to be written: ModifyRecord frees it with a write
// that succeeds, this frees it when anything before or in the write fails, keeping that failure.
class RowLock {
public:
    RowLock(engine::TDataFile& table, std::uint32_t slot) : table_(table), slot_(slot) {}
    RowLock(const RowLock&) = delete;
    RowLock& operator=(const RowLock&) = delete;
    ~RowLock() {
        if (written_) return;
        engine::CleanUpKeepingError([this] {
            if (table_.HoldsRecordLock(slot_)) table_.UnlockRecord(slot_);
        });
    }
    void Written() noexcept { written_ = true; }

private:
    engine::TDataFile& table_;
    engine::SlotNumber slot_;
    bool written_ = false;
};

// The rows an UPDATE's writing walk has reached outside a change unit, each with its record as it was before
// the write, so that a walk that fails part-way can put them back. One record image per row is kept in
// memory: such a table keeps no journal of the statement, so no other copy of the old rows exists, and the
// memory grows with the rows changed, as a statement that may change the whole table must allow. The images
// lie end to end in one growing buffer, without an allocation per row.
class WrittenRows {
public:
    explicit WrittenRows(std::size_t imageSize) : imageSize_(imageSize) {}

    void Note(std::uint32_t slot, std::span<const std::uint8_t> before) {
        images_.insert(images_.end(), before.begin(),
                       before.begin() + static_cast<std::ptrdiff_t>(imageSize_));
        slots_.push_back(slot);
    }

    // Writes every noted row back, the last one first. Each step returns to a state the table had, so under
    // the table lock no restore meets a key another row holds. The caller's failure is the one the
    // statement reports: a restore that fails leaves its row as the walk left it, and the others are still
    // tried. The filters are already dropped, so that every slot can be reached, changed rows that no longer
    // pass the WHERE included.
    void Restore(engine::TDataFile& table) noexcept {
        std::vector<std::uint8_t> current(table.GetRecordBufferSize());
        for (std::size_t i = slots_.size(); i-- > 0;) {
            engine::CleanUpKeepingError([&] {
                const std::uint32_t slot = slots_[i];
                table.GotoBookmark(SlotBookmark(slot), false);
                if (table.GetCurrentRecord(current, true) != 0) return;
                RowLock lock(table, table.GetSlotNumber(current).Value);
                if (table.GetSlotNumber(current).Value != slot) return;
                table.ModifyRecord(std::span<std::uint8_t>(images_).subspan(i * imageSize_, imageSize_), true,
                                   true);
                lock.Written();
            });
        }
    }

private:
    std::size_t imageSize_;
    std::vector<std::uint8_t> images_;
    std::vector<std::uint32_t> slots_;
};

bool IsNumericType(std::uint8_t fieldType) noexcept {
    return engine::IsIntegerFieldType(fieldType) || fieldType == engine::FieldTypeFloat ||
           fieldType == engine::FieldTypeBcd;
}

}  // namespace

void TDataQuery::StoreValue(std::size_t i, std::span<std::uint8_t> image, std::string_view context) {
    const TUpdateDataField& column = *TargetColumns[i];
    const TUpdateDataValue& item = *Values[i];
    if (!item.Expression) return;
    // A large object's field names its block chain: the only value a statement can give it is a column's,
    // whose chain the two fields would then share while this one's was lost. Refused before anything is
    // written (an UPDATE checks every row first).
    if (column.FieldType == engine::FieldTypeBlob)
        RaiseSqlError(kBinaryTypeMismatch, {"column", column.FieldName, "column", item.ValueText, context});
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
    // The statement is one unit. A shared table holds its changes together in the engine's change unit:
    // whatever fails on any row puts back every row, so the rows are walked once. Elsewhere (an exclusive,
    // in-memory or temporary table) every row is first computed without writing, so that a row the
    // statement would refuse is found before any row is written; under the table lock nobody changes the
    // rows between that walk and the writing one, and each walk reports half of the progress.
    engine::TChangeUnit unit(table);
    ProgressPart writing;
    if (update && !unit.Active()) {
        if (!CheckUpdateRows({0, 50})) return;
        writing.From = 50;
    }
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    // Outside a unit the check cannot see a write the engine refuses (a key another row holds, a failed
    // write): the rows written before it are put back. A DELETE fails there only on a failed write, since
    // under the table lock no other program holds a record, and keeps the rows deleted before it.
    WrittenRows written(image.size());
    try {
        RunRowLoop(
            [&] {
                const std::uint32_t slot = table.GetSlotNumber(target.RecordBuffer).Value;
                if (update) {
                    // The row as read, locked: every value is computed from it, so SET A = B, B = A swaps.
                    if (table.GetCurrentRecord(target.RecordBuffer, true) != 0) return true;
                    RowLock lock(table, slot);
                    image = target.RecordBuffer;
                    for (std::size_t i = 0; i < TargetColumns.size(); ++i)
                        StoreValue(i, image, "UPDATE statement");
                    // Noted before the write, so that a write that fails is put back too: nothing changes
                    // where the engine dropped the whole write, and a write cut between the record and its
                    // keys is brought back in step.
                    if (!unit.Active()) written.Note(slot, target.RecordBuffer);
                    table.ModifyRecord(image, true, true);
                    lock.Written();
                } else {
                    table.DeleteRecord(true);
                }
                ContinueAfter(table, slot);
                return true;
            },
            writing);
        unit.Commit();
    } catch (...) {
        engine::CleanUpKeepingError([this] { CloseAllSourceFilters(); });
        // A unit puts everything back when it ends.
        if (!unit.Active()) written.Restore(table);
        throw;
    }
}

bool TDataQuery::CheckUpdateRows(ProgressPart part) {
    TSourceDataFile& target = *Sources.front();
    engine::TDataFile& table = *target.Table;
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    return RunRowLoop(
        [&] {
            image = target.RecordBuffer;
            for (std::size_t i = 0; i < TargetColumns.size(); ++i) StoreValue(i, image, "UPDATE statement");
            table.CheckValidity(image);
            return true;
        },
        part);
}

}  // namespace sql
