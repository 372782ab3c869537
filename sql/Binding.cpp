// Binding of TDataQuery: the parsed statement tied to its open tables and their fields, its result columns
// named, and a SELECT decided live (the source table itself) or copied (a result table of its own).
#include <algorithm>
#include <string>
#include <utility>

#include "engine/base/EngineError.h"
#include "engine/records/FieldDesc.h"
#include "engine/values/FieldConversion.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/LocaleSettings.h"
#include "rtl/Text.h"
#include "sql/DataQuery.h"
#include "sql/SqlError.h"
#include "sql/SqlMessages.h"
#include "sql/TypeChecker.h"
#include "sql/TypeRules.h"

namespace sql {

using engine::TExprNode;

namespace {

bool IsAllColumns(std::string_view name) noexcept {
    return name == AllColumnsName;
}

// The last count characters of the text.
std::string_view LastCharacters(std::string_view text, std::size_t count) noexcept {
    return text.size() <= count ? text : text.substr(text.size() - count);
}

// The column's value is over 250 bytes: a string's characters, any other type's bytes.
bool ExceedsFieldSize(const TResultDataField& column) noexcept {
    const int size = column.FieldType == engine::FieldTypeString ? column.Size - 1 : column.Size;
    return size > engine::MaxRetainedFieldSize;
}

std::string_view Caption(AggregateKind aggregate) noexcept {
    switch (aggregate) {
        case AggregateKind::Sum:
            return "Sum Of ";
        case AggregateKind::Min:
            return "Min Of ";
        case AggregateKind::Max:
            return "Max Of ";
        case AggregateKind::Avg:
            return "Average Of ";
        case AggregateKind::Count:
            return "Count Of ";
        default:
            return {};
    }
}

}  // namespace

void TDataQuery::BindStatement() {
    if (StatementKind == StatementType::Select) {
        BindSelect();
    } else {
        BindChange();
    }
}

void TDataQuery::OpenSource(TSourceDataFile& source) {
    source.Open(LockRetryCount, LockWaitTime, RequestLive, StrictChangeDetection, PasswordProc);
}

// --- SELECT ----------------------------------------------------------------------------------------------

void TDataQuery::BindSelect() {
    // Grouping already gives each row once.
    if (Distinct && Grouped) Distinct = false;
    for (std::size_t i = 0; i < Sources.size(); ++i) {
        Sources[i]->TableNumber = static_cast<std::uint16_t>(i + 1);
        OpenSource(*Sources[i]);
    }
    CheckColumnExprSizes();
    AllAggregates = std::all_of(ResultColumns.begin(), ResultColumns.end(),
                                [](const auto& column) { return column->Aggregate != AggregateKind::None; });
    if (AllAggregates) Grouped = true;

    std::uint16_t counter = 0;
    for (std::size_t i = 0; i < ResultColumns.size();) {
        TResultDataField& column = *ResultColumns[i];
        if (rtl::AnsiSameText(column.ColumnName, RowNumberFieldName))
            RaiseSqlError(kReservedFieldName, {column.ColumnName});
        if (column.Aggregate != AggregateKind::None && !Grouped) {
            const std::string_view name = column.ColumnName.empty() ? std::string_view(column.ExpressionText)
                                                                    : std::string_view(column.ColumnName);
            RaiseSqlError(kAggregateWithoutGroupBy, {name});
        }
        if (IsAllColumns(column.ColumnName)) {
            if (column.Aggregate == AggregateKind::Count) {
                BindCountAll(column);
            } else {
                if (!column.ResultName.empty())
                    RaiseSqlError(kAliasOnAllColumns, {column.ResultName, column.ColumnName});
                ExpandAllColumnsAt(i, counter);
                continue;
            }
        }
        BindSelectColumn(column, counter);
        ++i;
    }
    HasComputedColumns = std::any_of(ResultColumns.begin(), ResultColumns.end(),
                                     [](const auto& column) { return column->IsExpression; });
    // In this dialect a GROUP BY item names a select-list column that is no aggregate; a select list of
    // aggregates only has none, and grouping by an aggregate's own value would change it while it is
    // computed.
    for (const auto& item : GroupBy) ResolveClauseItem(*item, false, kGroupByContext);

    if (HasOrderBy && !Distinct && !HasJoin && !Grouped && IntoTableName.empty()) FindOrderByIndex();

    const bool live = RequestLive && !Distinct && !HasJoin && !Grouped && IntoTableName.empty() &&
                      (!HasOrderBy || OrderByUsesIndex);
    if (live) {
        LiveResult = true;
        SetupLiveResult();
        // Planning: table filters from the WHERE condition, and the join order.
        if (HasWhere) AnalyseJoinConditions();
        SortSourceTables();
        return;
    }
    for (const auto& source : Sources) source->AllocRecordBuffer();
    // Planning: join links, table filters from the WHERE condition, the join order, unused links dropped.
    SetupDefaultLinks();
    if (HasWhere) AnalyseJoinConditions();
    SortSourceTables();
    PruneLinks();
    CreateResultTable();
}

void TDataQuery::CheckColumnExprSizes() {
    // Dates and numbers in statement texts are always written the US way.
    const engine::LocaleFormatSwap us(0, 0);
    const TColumnResolver resolver = [this](TExprNode& node) { return ResolveColumn(node); };
    for (const auto& item : ResultColumns) {
        TResultDataField& column = *item;
        if (!column.Expression) continue;
        TExprNode& tree = *column.Expression;
        CheckExprTypes(engine::ErrSql, kSourceColumnsContext, tree, resolver);
        if (tree.NodeClass == engine::ncField) {
            // A double-quoted text that names a column is that column.
            column.IsExpression = false;
            column.CorrelationName = tree.Correlation;
            column.SetColumnName(tree.ColumnName);
        }
        column.FieldType = tree.Value.FieldType;
        column.SubType = tree.Value.SubType;
        column.Size = tree.Value.Size;
        column.Scale = tree.Value.Scale;
        if (ExceedsFieldSize(column)) RaiseSqlError(kColumnTooLarge, {column.ExpressionText});
    }
}

// COUNT(*) counts rows: it is bound to the first field of its table, whose name it takes.
void TDataQuery::BindCountAll(TResultDataField& column) {
    column.CountAll = true;
    std::uint16_t fieldNumber = 0;
    TSourceDataFile* table = FindSourceField(column.CorrelationName, AllColumnsName, fieldNumber);
    if (table == nullptr)
        RaiseSqlError(kInvalidColumnName, {column.ColumnName, column.CorrelationName, kSourceColumnsContext});
    std::string firstName;
    table->GetFirstField(fieldNumber, firstName);
    column.SourceFieldNumber = fieldNumber;
    column.ColumnName = std::move(firstName);
    std::string resultName;
    MakeResultColumnName(AllColumnsName, column.ResultName, resultName, column, AggregateKind::Count);
    column.ResultName = std::move(resultName);
}

void TDataQuery::BindSelectColumn(TResultDataField& column, std::uint16_t& counter) {
    std::uint16_t fieldNumber = 0;
    // An expression has no name: it lands on its correlation's table, else on the first.
    const std::string_view name =
        column.IsExpression ? std::string_view() : std::string_view(column.ColumnName);
    TSourceDataFile* table = FindSourceField(column.CorrelationName, name, fieldNumber);
    if (table == nullptr)
        RaiseSqlError(kInvalidColumnName, {column.ColumnName, column.CorrelationName, kSourceColumnsContext});
    column.SourceTable = table;
    column.CorrelationName = table->CorrelationName;
    column.ResultFieldNumber = ++counter;
    if (!column.IsExpression) column.SourceFieldNumber = fieldNumber;
    std::string resultName;
    MakeResultColumnName(name, column.ResultName, resultName, column, column.Aggregate);
    column.ResultName = std::move(resultName);
}

// t.* takes the fields of table t; a bare * those of every table, in the order they stand in the FROM text.
void TDataQuery::ExpandAllColumnsAt(std::size_t& position, std::uint16_t& counter) {
    const std::string correlation = ResultColumns[position]->CorrelationName;
    std::vector<TSourceDataFile*> tables;
    if (correlation.empty()) {
        for (const auto& source : Sources) tables.push_back(source.get());
        std::stable_sort(tables.begin(), tables.end(),
                         [](const TSourceDataFile* a, const TSourceDataFile* b) {
                             return a->FromPosition < b->FromPosition;
                         });
    } else {
        TSourceDataFile* table = FindSourceTable(correlation);
        if (table == nullptr)
            RaiseSqlError(kInvalidColumnName, {AllColumnsName, correlation, kSourceColumnsContext});
        tables.push_back(table);
    }
    ResultColumns.erase(ResultColumns.begin() + static_cast<std::ptrdiff_t>(position));
    for (TSourceDataFile* table : tables) ExpandAllColumns(*table, counter, position);
}

void TDataQuery::ExpandAllColumns(TSourceDataFile& table, std::uint16_t& column, std::size_t& position) {
    const std::vector<engine::TFieldDesc>& fields = table.Table->PhysicalFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const engine::TFieldDesc& field = fields[i];
        // A query result's own row number is no column of the data.
        if (field.Name == RowNumberFieldName) continue;
        auto created = std::make_unique<TResultDataField>(this);
        TResultDataField& added = *created;
        ResultColumns.insert(ResultColumns.begin() + static_cast<std::ptrdiff_t>(position),
                             std::move(created));
        ++position;
        added.SourceTable = &table;
        added.ColumnName = field.Name;
        added.SourceFieldNumber = static_cast<std::uint16_t>(i + 1);
        added.FieldType = field.FieldType;
        added.SubType = field.SubType;
        added.Size = field.StoredSize;
        added.Scale = field.StoredScale;
        added.CorrelationName = table.CorrelationName;
        added.ExpressionText = field.Name;
        added.ResultFieldNumber = ++column;
        MakeResultColumnName(field.Name, field.Name, added.ResultName, added, AggregateKind::None);
    }
}

bool TDataQuery::ResolveColumn(TExprNode& node) {
    std::uint16_t fieldNumber = 0;
    TSourceDataFile* table = FindSourceField(node.Correlation, node.ColumnName, fieldNumber);
    // An empty name or "*" finds a table but no field.
    if (table == nullptr || fieldNumber == 0) return false;
    const engine::TFieldDesc& field = table->Table->GetFieldDesc(false, fieldNumber);
    node.FieldNo = fieldNumber;
    node.SourceTable = table;
    node.Correlation = table->CorrelationName;
    node.Value.FieldType = field.FieldType;
    node.Value.SubType = field.SubType;
    node.Value.Size = field.StoredSize;
    node.Value.Scale = field.StoredScale;
    return true;
}

TSourceDataFile* TDataQuery::FindSourceField(std::string_view correlation, std::string_view name,
                                             std::uint16_t& fieldNumber) {
    const bool wholeTable = name.empty() || IsAllColumns(name);
    for (const auto& source : Sources) {
        if (!correlation.empty() && !rtl::AnsiSameText(source->CorrelationName, correlation)) continue;
        if (wholeTable) return source.get();
        // Without a correlation name, a field that several tables have binds to the first of them.
        const std::uint16_t number = source->FindField(name);
        if (number == 0) continue;
        fieldNumber = number;
        return source.get();
    }
    return nullptr;
}

TSourceDataFile* TDataQuery::FindSourceTable(std::string_view correlation) {
    for (const auto& source : Sources) {
        if (correlation.empty() || rtl::AnsiSameText(source->CorrelationName, correlation))
            return source.get();
    }
    return nullptr;
}

TResultDataField* TDataQuery::FindResultColumn(bool includeAggregates, std::string_view name,
                                               std::uint16_t& fieldNumber, std::string_view correlation) {
    for (const auto& item : ResultColumns) {
        TResultDataField& column = *item;
        const bool nameUsable = includeAggregates || column.Aggregate == AggregateKind::None;
        bool found = false;
        if (!correlation.empty()) {
            found = nameUsable && rtl::AnsiSameText(column.CorrelationName, correlation) &&
                    rtl::AnsiSameText(column.ColumnName, name);
        } else {
            found = (nameUsable && rtl::AnsiSameText(column.ColumnName, name)) ||
                    rtl::AnsiSameText(column.ResultName, name);
        }
        if (!found) continue;
        fieldNumber = column.ResultFieldNumber;
        return &column;
    }
    return nullptr;
}

TResultDataField& TDataQuery::ResolveClauseItem(const TClauseColumn& item, bool includeAggregates,
                                                std::string_view context) {
    if (item.ColumnNumber != 0) {
        // Outside the select list, or (for GROUP BY) an aggregate: no column to order or group by.
        if (item.ColumnNumber > ResultColumns.size() ||
            (!includeAggregates && ResultColumns[item.ColumnNumber - 1]->Aggregate != AggregateKind::None)) {
            RaiseSqlError(kInvalidColumnNumber, {std::to_string(item.ColumnNumber), context});
        }
        return *ResultColumns[item.ColumnNumber - 1];
    }
    std::uint16_t fieldNumber = 0;
    TResultDataField* column =
        FindResultColumn(includeAggregates, item.ColumnName, fieldNumber, item.CorrelationName);
    if (column == nullptr || (!includeAggregates && column->Aggregate != AggregateKind::None))
        RaiseSqlError(kInvalidColumnName, {item.ColumnName, item.CorrelationName, context});
    return *column;
}

// --- Result column names ---------------------------------------------------------------------------------

void TDataQuery::MakeResultColumnName(std::string_view name, std::string_view alias, std::string& resultName,
                                      const TResultDataField& column, AggregateKind aggregate) {
    std::string base(LastCharacters(alias, MaxResultNameLength));
    if (base.empty()) {
        // A caption is not cut: the uniqueness test sees it whole.
        if (!name.empty()) {
            base = std::string(Caption(aggregate)) + std::string(name);
        } else if (aggregate == AggregateKind::None) {
            base = "Expression";
        } else {
            base = std::string(Caption(aggregate)) + "Expr";
        }
    }
    std::string candidate = base;
    std::uint32_t suffix = 0;
    for (bool collided = true; collided;) {
        collided = false;
        for (const auto& other : ResultColumns) {
            if (other.get() == &column || !rtl::AnsiSameText(other->ResultName, candidate)) continue;
            candidate = MakeUniqueColumnName(base, ++suffix);
            collided = true;
        }
    }
    resultName = std::move(candidate);
}

std::string TDataQuery::MakeUniqueColumnName(std::string_view base, std::uint32_t suffix) {
    // Appended one by one: a literal + std::string sum draws GCC 12's false -Wrestrict from libstdc++.
    std::string tail(1, '_');
    tail += std::to_string(suffix);
    std::string name = std::string(base) + tail;
    if (name.size() <= MaxResultNameLength) return name;
    return std::string(LastCharacters(base, MaxResultNameLength - tail.size())) + tail;
}

// --- Live results ----------------------------------------------------------------------------------------

// Only the ORDER BY of a single table's existing index keeps a result live: the index gives the order.
void TDataQuery::FindOrderByIndex() {
    if (OrderBy.size() > engine::MaxIndexFields) return;
    TSourceDataFile& source = *Sources.front();
    engine::TIndexDescriptor wanted;
    wanted.CaseInsensitive = NoCase ? 1 : 0;
    bool allDescending = true;
    for (const auto& item : OrderBy) {
        const TResultDataField& column = ResolveClauseItem(*item, true, kOrderByContext);
        // An expression has no field an index could hold.
        if (column.IsExpression) return;
        wanted.FieldNumbers[wanted.FieldCount] = source.FindField(column.ColumnName);
        wanted.FieldDescending[wanted.FieldCount] = item->Descending ? 1 : 0;
        ++wanted.FieldCount;
        allDescending = allDescending && item->Descending;
    }
    wanted.Descending = allDescending ? 1 : 0;
    for (int number = 0; number <= source.Table->GetIndexCount(); ++number) {
        if (!IndexDefsMatch(wanted, source.Table->GetIndexDesc(number))) continue;
        OrderByUsesIndex = true;
        OrderByIndex = static_cast<std::uint8_t>(number);
        return;
    }
}

bool TDataQuery::IndexDefsMatch(const engine::TIndexDescriptor& a,
                                const engine::TIndexDescriptor& b) noexcept {
    if (a.FieldCount != b.FieldCount || a.Descending != b.Descending ||
        a.CaseInsensitive != b.CaseInsensitive)
        return false;
    for (std::size_t i = 0; i < a.FieldCount && i < engine::MaxIndexFields; ++i) {
        if (a.FieldNumbers[i] != b.FieldNumbers[i] || a.FieldDescending[i] != b.FieldDescending[i])
            return false;
    }
    return true;
}

void TDataQuery::SetupLiveResult() {
    engine::TDataFile& table = *Sources.front()->Table;
    std::vector<engine::TFieldDesc> fields;
    fields.reserve(ResultColumns.size());
    for (const auto& item : ResultColumns) {
        const TResultDataField& column = *item;
        engine::TFieldDesc field;
        if (!column.IsExpression) {
            field = table.GetFieldDesc(false, column.SourceFieldNumber);
        } else {
            field.FieldType = column.FieldType;
            field.SubType = column.SubType;
            field.Size =
                column.FieldType == engine::FieldTypeString ? static_cast<std::uint8_t>(column.Size - 1) : 0;
            field.Scale = column.FieldType == engine::FieldTypeBcd ? column.Scale : 0;
            field.Calculated = 1;
            field.Expression = column.ExpressionText.substr(0, engine::MaxExpressionLength);
            // The column keeps owning its tree; the table is closed before the columns are freed.
            field.CompiledExpression = column.Expression.get();
        }
        field.FieldNumber = column.ResultFieldNumber;
        field.Name = column.ResultName.substr(0, MaxResultNameLength);
        fields.push_back(std::move(field));
    }
    table.DefineWorkingFields(fields);
}

// --- INSERT, UPDATE and DELETE -------------------------------------------------------------------------

void TDataQuery::BindChange() {
    TSourceDataFile& target = *Sources.front();
    target.TableNumber = 1;
    OpenSource(target);
    target.AllocRecordBuffer();
    if (StatementKind == StatementType::Delete) return;
    for (std::size_t i = 0; i < TargetColumns.size();) {
        TUpdateDataField& column = *TargetColumns[i];
        if (StatementKind == StatementType::Insert && IsAllColumns(column.ColumnName)) {
            TargetColumns.erase(TargetColumns.begin() + static_cast<std::ptrdiff_t>(i));
            ExpandAllTargetColumns(target);
            continue;
        }
        std::uint16_t fieldNumber = 0;
        TSourceDataFile* table = FindSourceField(column.CorrelationName, column.ColumnName, fieldNumber);
        if (table == nullptr || fieldNumber == 0) {
            RaiseSqlError(kInvalidColumnName,
                          {column.ColumnName, column.CorrelationName, kTableColumnsContext});
        }
        column.SourceTable = table;
        column.FieldNumber = fieldNumber;
        ++i;
    }
    if (TargetColumns.size() != Values.size()) RaiseSqlError(kValueCountMismatch);
    ResolveTargetColumns();
    CheckValueTypes();
}

void TDataQuery::ExpandAllTargetColumns(TSourceDataFile& table) {
    const std::vector<engine::TFieldDesc>& fields = table.Table->PhysicalFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        TUpdateDataField& added = *TargetColumns.emplace_back(std::make_unique<TUpdateDataField>(this));
        added.SourceTable = &table;
        added.ColumnName = fields[i].Name;
        added.FieldNumber = static_cast<std::uint16_t>(i + 1);
        added.CorrelationName = table.CorrelationName;
    }
}

void TDataQuery::ResolveTargetColumns() {
    for (const auto& item : TargetColumns) {
        TUpdateDataField& column = *item;
        const std::uint16_t number = column.SourceTable->FindField(column.ColumnName);
        const engine::TFieldDesc& field = column.SourceTable->Table->GetFieldDesc(false, number);
        column.FieldNumber = number;
        column.FieldName = field.Name;
        column.FieldType = field.FieldType;
        column.SubType = field.SubType;
        column.Size = field.StoredSize;
        column.Scale = field.StoredScale;
    }
}

void TDataQuery::CheckValueTypes() {
    const engine::LocaleFormatSwap us(0, 0);
    const TColumnResolver resolver = [this](TExprNode& node) { return ResolveColumn(node); };
    // An INSERT's values are computed before there is a record.
    const RowAccess access = StatementKind == StatementType::Insert ? RowAccess::NoRecord : RowAccess::Record;
    for (std::size_t i = 0; i < Values.size(); ++i) {
        if (!Values[i]->Expression) continue;
        TExprNode& value = *Values[i]->Expression;
        const TUpdateDataField& column = *TargetColumns[i];
        CheckExprTypes(engine::ErrSql, kUpdateValuesContext, value, resolver, access);
        // Only constants are converted now; every other value is converted as it is stored.
        if (value.NodeClass != engine::ncConstant || value.Value.FieldType == column.FieldType) continue;
        if (value.Value.FieldType == engine::FieldTypeString && IsMomentType(column.FieldType)) {
            if (!engine::TextToDateTimeValue(value.Value.Bytes, column.FieldType))
                RaiseSqlError(kDateTextExpected, {value.Text, kUpdateValuesContext});
            value.Value.FieldType = column.FieldType;
            value.Value.Size = column.Size;
            value.Value.Scale = column.Scale;
            continue;
        }
        if (!BinaryOperandTypesValid(engine::opEqual, column.FieldType, value.Value.FieldType)) {
            RaiseSqlError(kBinaryTypeMismatch,
                          {"column", column.FieldName, "constant", value.Text, kUpdateValuesContext});
        }
    }
}

}  // namespace sql
