#include "sql/SourceDataFile.h"

#include "engine/base/EngineStrings.h"
#include "sql/DataQuery.h"

namespace sql {

void TSourceDataFile::SetTableName(std::string_view name) {
    std::string full;
    if (!engine::HasPathPart(name) && Owner != nullptr) full = Owner->DatabaseDirectory;
    full += name;
    if (full == TableName) return;
    TableName = std::move(full);
    if (CorrelationName.empty()) CorrelationName = engine::ExtractBaseName(name);
}

void TSourceDataFile::SetCorrelationName(std::string_view name) {
    if (name != CorrelationName) CorrelationName = name;
}

}  // namespace sql
