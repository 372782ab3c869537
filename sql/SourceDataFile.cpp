#include "sql/SourceDataFile.h"

#include "engine/base/EngineStrings.h"
#include "rtl/ExceptionHook.h"
#include "sql/DataQuery.h"

namespace sql {

void CloseOwnedTable(engine::TDataFile& table) noexcept {
    try {
        table.Close();
    } catch (...) {
        rtl::HandleCurrentException();
    }
}

TSourceDataFile::TSourceDataFile(TDataQuery* owner)
    : Owner(owner), Table(std::make_unique<engine::TDataFile>(this)) {}

TSourceDataFile::~TSourceDataFile() {
    Links.clear();
    RecordBuffer.clear();
    RecordBuffer.shrink_to_fit();
    if (!Table) return;
    Table->SetQueryOwned(false);
    CloseOwnedTable(*Table);
    Table.reset();
}

void TSourceDataFile::SetTableName(std::string_view name) {
    if (Table->IsOpen()) return;
    std::string full;
    if (!engine::HasPathPart(name) && Owner != nullptr) full = Owner->DatabaseDirectory;
    full += name;
    if (full == TableName) return;
    TableName = std::move(full);
    if (CorrelationName.empty()) CorrelationName = engine::ExtractBaseName(name);
}

void TSourceDataFile::SetCorrelationName(std::string_view name) {
    if (!Table->IsOpen() && name != CorrelationName) CorrelationName = name;
}

}  // namespace sql
