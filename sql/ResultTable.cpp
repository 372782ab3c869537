// The result table of a copied SELECT: its fields and indexes designed from the select list and the ORDER
// BY, DISTINCT and GROUP BY clauses, its name, its creation and opening, and its working field set.
#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineState.h"
#include "engine/base/EngineStrings.h"
#include "engine/base/FileSession.h"
#include "engine/os/PosixFile.h"
#include "engine/records/TableDefinition.h"
#include "engine/table/SessionPasswordGrant.h"
#include "engine/values/FieldTypes.h"
#include "rtl/Text.h"
#include "sql/DataQuery.h"
#include "sql/SqlError.h"
#include "sql/SqlMessages.h"

namespace sql {

using engine::TFieldDesc;
using engine::TIndexDescriptor;

namespace {

// What every result table is described as, and its large-object block size.
constexpr std::string_view kResultDescription = "Query Result Set";
constexpr std::uint32_t kResultBlockSize = 512;
// Leaf compression of every result index: both leading and trailing.
constexpr std::uint8_t kResultIndexCompression = 3;
// The hidden fields counting the values of AVG columns are named this and their field number.
constexpr std::string_view kAvgCountPrefix = "Avg__Count";
// "Row___No" is field 1; the select-list column k is field k + 1.
constexpr std::uint16_t kRowNumberField = 1;

struct KeyField {
    std::uint16_t Number;
    bool Descending;
};

TIndexDescriptor MakeIndex(std::string_view name, const std::vector<KeyField>& fields, bool caseInsensitive,
                           bool unique) {
    TIndexDescriptor index;
    index.Name = name;
    index.CaseInsensitive = caseInsensitive ? 1 : 0;
    index.Unique = unique ? 1 : 0;
    index.Compression = kResultIndexCompression;
    bool allDescending = !fields.empty();
    for (const KeyField& field : fields) {
        index.FieldNumbers[index.FieldCount] = field.Number;
        index.FieldDescending[index.FieldCount] = field.Descending ? 1 : 0;
        ++index.FieldCount;
        allDescending = allDescending && field.Descending;
    }
    index.Descending = allDescending ? 1 : 0;
    return index;
}

[[noreturn]] void RaiseTooManyColumns(std::size_t limit, std::string_view clause) {
    RaiseSqlError(kTooManyIndexColumns, {std::to_string(limit), clause});
}

struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const noexcept {
        return rtl::AnsiCompareText(a, b) < 0;
    }
};

}  // namespace

void TDataQuery::CreateResultTable() {
    // Everything a definition can fail on is found before any file is made.
    std::vector<TIndexDescriptor> indexes = DesignResultIndexes();
    std::vector<TFieldDesc> fields = DesignResultFields();
    engine::TDataFile& table = *ResultTable;
    table.SetExclusive(true);
    table.SetReadOnly(false);
    table.SetInMemory(IntoMemory);
    const bool temporary = IntoTableName.empty();
    // A temporary disk name comes reserved: its file exists, empty, and no other program can take it. A
    // table named by INTO replaces a closed table of that name; one that any handle holds refuses (11013).
    const std::string name =
        temporary ? engine::GetEngineSession().GetTempFileName(IntoMemory) : ResultTableName();
    // The reservation's file is held until the table stands: a create that failed once its files existed
    // deleted them again, and the name may then be another statement's reservation already, which only the
    // file's identity tells apart from ours.
    std::optional<engine::HeldFile> reservation;
    if (temporary && !IntoMemory) reservation.emplace(name);
    try {
        table.SetFileName(name);
        engine::ValidateDefinition(table.FileName(), LanguageId, SortId, Encrypted, EncryptionPassword,
                                   kResultBlockSize, fields, indexes, true);
        table.CreateTable(LanguageId, SortId, 0, 0, Encrypted, EncryptionPassword, kResultDescription,
                          kResultBlockSize, fields, indexes, true);
    } catch (...) {
        if (reservation && reservation->IsAt(name))
            engine::CleanUpKeepingError([&] { engine::DeleteDiskFile(name); });
        throw;
    }
    reservation.reset();
    table.SetTemporary(temporary);
    table.SetSkipDuplicatePreCheck(true);
    table.SetQueryOwned(true);
    OpenResultTable();
    SetupResultWorkingFields();
}

std::vector<TFieldDesc> TDataQuery::DesignResultFields() const {
    std::vector<TFieldDesc> fields;
    fields.reserve(ResultColumns.size() + 1);
    TFieldDesc& rowNumber = fields.emplace_back();
    rowNumber.FieldNumber = kRowNumberField;
    rowNumber.Name = RowNumberFieldName;
    rowNumber.FieldType = engine::FieldTypeInteger;
    rowNumber.SubType = engine::FieldSubTypeAutoInc;
    // The names the result's fields will have, "Row___No" among them: the 30-character cut may make two
    // equal, which the table could not hold.
    std::set<std::string, NameLess> names = {std::string(RowNumberFieldName)};
    for (const auto& item : ResultColumns) {
        const TResultDataField& column = *item;
        TFieldDesc& field = fields.emplace_back();
        field.FieldNumber = static_cast<std::uint16_t>(column.ResultFieldNumber + 1);
        field.Name = column.ResultName.substr(0, MaxResultNameLength);
        if (!names.insert(field.Name).second) RaiseSqlError(kResultNameNotUnique, {field.Name});
        if (!column.IsExpression && column.Aggregate == AggregateKind::None) {
            const TFieldDesc& source =
                column.SourceTable->Table->GetFieldDesc(false, column.SourceFieldNumber);
            field.FieldType = source.FieldType;
            field.SubType = source.SubType;
            field.Size = source.Size;
            field.Scale = source.Scale;
        } else if (column.Aggregate == AggregateKind::Avg) {
            field.FieldType = engine::FieldTypeFloat;
            field.SubType = column.SubType;
        } else {
            field.FieldType = column.FieldType;
            field.SubType = column.SubType;
            if (column.FieldType == engine::FieldTypeString)
                field.Size = static_cast<std::uint8_t>(column.Size - 1);
            if (column.FieldType == engine::FieldTypeBcd) field.Scale = column.Scale;
        }
        // The result numbers its rows itself: a source's autoincrement values are plain integers here.
        if (field.SubType == engine::FieldSubTypeAutoInc) field.SubType = 0;
    }
    return fields;
}

std::vector<TIndexDescriptor> TDataQuery::DesignResultIndexes() {
    // The ORDER BY items as result fields; items named get their select-list position.
    std::vector<KeyField> orderFields;
    for (const auto& item : OrderBy) {
        const TResultDataField& column = ResolveClauseItem(*item, true, kOrderByContext);
        if (item->ColumnNumber == 0) item->ColumnNumber = column.ResultFieldNumber;
        orderFields.push_back({static_cast<std::uint16_t>(column.ResultFieldNumber + 1), item->Descending});
    }
    // The index that finds a row's group or its duplicate: over the GROUP BY columns, else with DISTINCT
    // over every column; case-sensitive, in ascending order.
    std::vector<KeyField> keyFields;
    std::string_view keyName;
    if (!GroupBy.empty()) {
        if (GroupBy.size() > engine::MaxIndexFields) RaiseTooManyColumns(engine::MaxIndexFields, "GROUP BY");
        for (const auto& item : GroupBy) {
            const TResultDataField& column = ResolveClauseItem(*item, false, kGroupByContext);
            if (item->ColumnNumber == 0) item->ColumnNumber = column.ResultFieldNumber;
            keyFields.push_back({static_cast<std::uint16_t>(column.ResultFieldNumber + 1), false});
        }
        keyName = "GroupBy";
    } else if (Distinct) {
        if (ResultColumns.size() > engine::MaxIndexFields)
            RaiseTooManyColumns(engine::MaxIndexFields, "DISTINCT");
        for (const auto& column : ResultColumns)
            keyFields.push_back({static_cast<std::uint16_t>(column->ResultFieldNumber + 1), false});
        keyName = "Distinct";
    }
    const bool hasKey = !keyFields.empty();
    SharedOrderIndex = false;
    if (orderFields.empty()) {
        // Without ORDER BY the rows come back in the order they were added, or in the key's order.
        if (hasKey) return {MakeIndex("", keyFields, false, false)};
        return {MakeIndex("", {{kRowNumberField, false}}, false, true)};
    }
    const TIndexDescriptor key = MakeIndex(keyName, keyFields, false, false);
    if (orderFields.size() <= engine::MaxIndexFields) {
        SharedOrderIndex = hasKey && IndexDefsMatch(MakeIndex("", orderFields, NoCase, false), key);
    }
    // An ORDER BY index of its own ends in "Row___No", which keeps equal keys in the order they came.
    const std::size_t limit = SharedOrderIndex ? engine::MaxIndexFields : engine::MaxIndexFields - 1;
    if (orderFields.size() > limit) RaiseTooManyColumns(limit, "ORDER BY");
    if (!SharedOrderIndex) orderFields.push_back({kRowNumberField, false});
    std::vector<TIndexDescriptor> indexes = {MakeIndex("", orderFields, NoCase, false)};
    // The whole-index descending flag follows the ORDER BY items alone.
    indexes.front().Descending =
        std::all_of(OrderBy.begin(), OrderBy.end(), [](const auto& item) { return item->Descending; }) ? 1
                                                                                                       : 0;
    if (hasKey && !SharedOrderIndex) indexes.push_back(key);
    return indexes;
}

std::string TDataQuery::ResultTableName() const {
    if (engine::HasPathPart(IntoTableName)) return IntoTableName;
    const std::string& directory = engine::GetEngineSession().Directory();
    if (!directory.empty()) return engine::AddTrailingBackslash(directory) + IntoTableName;
    if (IntoMemory) return IntoTableName;
    return engine::AddTrailingBackslash(engine::CurrentDirectory()) + IntoTableName;
}

void TDataQuery::OpenResultTable() {
    engine::TDataFile& table = *ResultTable;
    // The password the table was protected with is in the session's list only for the open.
    const engine::SessionPasswordGrant grant(Encrypted ? EncryptionPassword : std::string());
    try {
        table.Open();
    } catch (...) {
        // A closed handle deletes nothing when it is freed: a temporary table goes now.
        if (table.Temporary()) engine::CleanUpKeepingError([&] { table.DeleteFiles(); });
        throw;
    }
}

void TDataQuery::SetupResultWorkingFields() {
    engine::TDataFile& table = *ResultTable;
    const std::vector<TFieldDesc>& stored = table.PhysicalFields();
    // The select-list columns, without "Row___No", numbered from 1.
    std::vector<TFieldDesc> fields(stored.begin() + 1, stored.end());
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i].FieldNumber = static_cast<std::uint16_t>(i + 1);
    std::uint16_t averages = 0;
    for (const auto& item : ResultColumns) {
        if (item->Aggregate != AggregateKind::Avg) continue;
        const auto number = static_cast<std::uint16_t>(fields.size() + 1);
        TFieldDesc& count = fields.emplace_back();
        count.FieldNumber = number;
        count.Name = std::string(kAvgCountPrefix) + std::to_string(number);
        count.FieldType = engine::FieldTypeInteger;
        count.Calculated = 1;
        item->AvgCountField = number;
        ++averages;
    }
    AverageCountFields = averages;
    table.DefineWorkingFields(fields);
    // Execution shows the count fields while it fills the table.
    if (averages != 0) table.RemoveWorkingFields(averages);
}

}  // namespace sql
