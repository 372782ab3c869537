#include "sql/SourceDataFile.h"

#include "engine/base/EngineStrings.h"
#include "rtl/ExceptionHook.h"
#include "rtl/Text.h"
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

void TSourceDataFile::Open(std::uint8_t lockRetryCount, std::uint16_t lockWaitTime, bool live,
                           bool strictChangeDetection,
                           const engine::TDataFile::PasswordEvent& passwordCallback) {
    engine::TDataFile& table = *Table;
    table.SetInMemory(InMemory);
    table.SetFileName(TableName);
    table.SetReadOnly(!live);
    table.SetExclusive(false);
    table.SetLockRetryCount(lockRetryCount);
    table.SetLockWaitTime(lockWaitTime);
    table.SetStrictChangeDetection(strictChangeDetection);
    table.SetPasswordEvent(passwordCallback);
    try {
        table.Open();
    } catch (...) {
        table.SetPasswordEvent({});
        throw;
    }
    // The callback belongs to the statement's caller, who removes it after Prepare: the handle must not
    // keep it.
    table.SetPasswordEvent({});
    table.SetIndexNumber(engine::NaturalOrderIndex);
    RecordBuffer.clear();
}

std::uint16_t TSourceDataFile::FindField(std::string_view name) const {
    const std::vector<engine::TFieldDesc>& fields = Table->PhysicalFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (rtl::AnsiSameText(fields[i].Name, name)) return static_cast<std::uint16_t>(i + 1);
    }
    return 0;
}

void TSourceDataFile::GetFirstField(std::uint16_t& number, std::string& name) const {
    const std::vector<engine::TFieldDesc>& fields = Table->PhysicalFields();
    number = fields.empty() ? 0 : 1;
    name = fields.empty() ? std::string() : fields.front().Name;
}

void TSourceDataFile::AllocRecordBuffer() {
    RecordBuffer.assign(Table->GetRecordBufferSize(), 0);
}

void TSourceDataFile::AddLink(std::uint8_t joinType, engine::ExprOperator /*op*/, TSourceDataFile* target,
                              std::unique_ptr<engine::TExprNode> condition) {
    for (const auto& link : Links) {
        if (link->Target != target) continue;
        if (link->JoinType != joinType && link->JoinType != jkNone) continue;
        link->AddCondition(joinType, std::move(condition));
        if (link->JoinType == jkNone) link->JoinType = joinType;
        return;
    }
    auto link = std::make_unique<TSourceDataLink>(this);
    link->Target = target;
    link->AddCondition(joinType, std::move(condition));
    link->JoinType = joinType;
    Links.push_back(std::move(link));
}

void TSourceDataFile::ApplyLinkFilters() {
    for (const auto& link : Links)
        if (link->Condition) Owner->CheckLinkCondition(*link->Condition);
}

bool TSourceDataFile::IsLinkTarget(const TSourceDataFile* target) const noexcept {
    for (const auto& link : Links)
        if (link->JoinType != jkNone && link->Target == target) return true;
    return false;
}

}  // namespace sql
