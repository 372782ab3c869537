// The life of a TDataQuery: its creation and destruction, its settings and callbacks, and the calls the query
// component drives it by: Prepare, SetParams, Execute.
#include "sql/DataQuery.h"

#include <utility>

#include "sql/SqlError.h"
#include "sql/SqlMessages.h"

namespace sql {

TDataQuery::TDataQuery(void* owner) : Owner(owner), ResultTable(std::make_unique<engine::TDataFile>(this)) {}

TDataQuery::~TDataQuery() {
    // In FROM order, each closing its own handle; the links between them only point.
    for (std::unique_ptr<TSourceDataFile>& source : Sources) source.reset();
    Sources.clear();
    CloseOwnedTable(*ResultTable);
    ResultTable.reset();
    ResultColumns.clear();
    TargetColumns.clear();
    Values.clear();
    OrderBy.clear();
    GroupBy.clear();
    engine::FreeExprTree(WhereCondition);
    engine::FreeExprTree(ResidualCondition);
    Params.clear();
    Scanner.ClearStatement();
}

void TDataQuery::SetDatabaseDirectory(std::string_view directory) {
    if (!Executed) DatabaseDirectory = directory;
}

void TDataQuery::SetStrictChangeDetection(bool strict) {
    if (!Executed) StrictChangeDetection = strict;
}

void TDataQuery::SetPasswordCallback(engine::TDataFile::PasswordEvent callback) {
    PasswordProc = std::move(callback);
}

void TDataQuery::SetProgressCallback(ProgressEvent callback) {
    ProgressProc = std::move(callback);
}

std::uint16_t TDataQuery::Prepare(std::string_view text) {
    // The parser appends to the lists and nothing empties them, so a second parse would give an INSERT two
    // sources and every target and value twice: a statement is prepared once, and never after a run.
    if (Executed || prepared_) return ErrStatementNotPreparable;
    prepared_ = true;
    Scanner.SetStatement(text);
    Params.clear();
    StatementKind = StatementType::None;
    Distinct = HasAverages = HasComputedColumns = HasResidual = HasJoin = HasWhere = HasOrderBy = false;
    AverageCountFields = 0;
    OrderByUsesIndex = false;
    OrderByIndex = 0;
    Grouped = AllAggregates = SharedOrderIndex = LiveResult = false;
    IntoMemory = WithLocks = Encrypted = false;
    IntoTableName.clear();
    EncryptionPassword.clear();
    ParseStatement();
    // Binding opens the tables and ties every column to its field; the model is then ready to run.
    BindStatement();
    return 0;
}

std::uint16_t TDataQuery::SetParams(std::span<const engine::TFieldDesc> descriptors,
                                    std::span<const std::uint8_t> buffer) {
    for (std::size_t i = 0; i < descriptors.size(); ++i) {
        if (i >= Params.size()) RaiseSqlError(kInternalParameterError);
        const engine::TFieldDesc& descriptor = descriptors[i];
        // The slot: a flag byte, then the value's stored bytes. The component wrote the buffer, but one that
        // is shorter than its descriptors say must not be read past its end.
        const std::size_t valueOffset = std::size_t{descriptor.Offset} + 1;
        if (valueOffset + descriptor.StoredSize > buffer.size()) RaiseSqlError(kInternalParameterError);
        engine::ExprValue& value = Params[i]->Value;
        value.FieldType = descriptor.FieldType;
        value.SubType = descriptor.SubType;
        value.Size = descriptor.StoredSize;
        value.Scale = descriptor.StoredScale;
        value.IsNull = buffer[descriptor.Offset] == 0 ? 1 : 0;
        value.SetBytes(buffer.data() + valueOffset, descriptor.StoredSize);
    }
    return 0;
}

std::uint16_t TDataQuery::Execute(engine::TDataFile*& result) {
    result = nullptr;
    // The run: the table filters, the row loop of the statement's kind, and the result handed out.
    return RunStatement(result);
}

bool TDataQuery::DoProgress(std::int32_t current, std::int32_t percent, bool& abort) {
    if (ProgressProc) ProgressProc(current, percent, abort);
    return abort;
}

}  // namespace sql
