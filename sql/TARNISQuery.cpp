#include "sql/TARNISQuery.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "components/ComponentTexts.h"
#include "components/DBFlagHold.h"
#include "components/TARNISDatabase.h"
#include "components/TARNISSession.h"
#include "db/DataSource.h"
#include "db/DatabaseError.h"
#include "db/Messages.h"
#include "engine/base/EngineError.h"
#include "engine/base/EngineStrings.h"
#include "rtl/ExceptionHook.h"
#include "sql/SqlMessages.h"

namespace sql {

namespace {

// Runs the action when the scope ends, however it ends.
template <typename Action>
class ScopeExit {
public:
    explicit ScopeExit(Action action) : action_(std::move(action)) {}
    ~ScopeExit() { action_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Action action_;
};

// The dataset's controls told of nothing until the scope ends.
class ControlsHold {
public:
    explicit ControlsHold(db::TDataSet& dataSet) : dataSet_(dataSet) { dataSet_.DisableControls(); }
    ~ControlsHold() { dataSet_.EnableControls(); }
    ControlsHold(const ControlsHold&) = delete;
    ControlsHold& operator=(const ControlsHold&) = delete;

private:
    db::TDataSet& dataSet_;
};

}  // namespace

// The executing flag for the length of a statement's run.
class TTARNISQuery::ExecutingScope {
public:
    explicit ExecutingScope(TTARNISQuery& query) : query_(query) { query_.executing_ = true; }
    ~ExecutingScope() { query_.executing_ = false; }
    ExecutingScope(const ExecutingScope&) = delete;
    ExecutingScope& operator=(const ExecutingScope&) = delete;

private:
    TTARNISQuery& query_;
};

// ---- The data link ----

void TTARNISQueryDataLink::ActiveChanged() {
    if (query_.Active()) query_.RefreshParams();
}

void TTARNISQueryDataLink::CheckBrowseMode() {
    if (query_.Active()) query_.CheckBrowseMode();
}

void TTARNISQueryDataLink::RecordChanged(db::TField* field) {
    if (field == nullptr && query_.Active()) query_.RefreshParams();
}

// ---- Life ----

TTARNISQuery::TTARNISQuery(rtl::TComponent* owner)
    : TTARNISDBDataSet(owner), params_(std::make_unique<TTARNISParams>()), dataLink_(*this) {
    sql_.OnChanging = [this] { CheckNotExecuting(); };
    sql_.OnChange = [this] { QueryChanged(); };
}

TTARNISQuery::~TTARNISQuery() {
    // Freeing the query from its own progress handler would free the statement that is running.
    assert(!executing_);
    Destroying();
    try {
        Disconnect();
    } catch (...) {
        rtl::HandleCurrentException();
    }
    // Even a failed close has dropped the handle, which the statement may own.
    FreeStatement();
    sql_.OnChanging = nullptr;
    sql_.OnChange = nullptr;
}

std::string TTARNISQuery::EngineVersion() const {
    return std::string(components::kEngineVersion);
}

void TTARNISQuery::CheckNotExecuting() const {
    if (executing_) db::DatabaseError(kQueryExecuting);
}

// ---- Properties ----

void TTARNISQuery::SetSQL(std::vector<std::string> lines) {
    CheckNotExecuting();
    if (lines == sql_.Lines()) return;
    Disconnect();
    sql_.Assign(std::move(lines));
}

void TTARNISQuery::QueryChanged() {
    text_ = sql_.Text();
    Disconnect();
    storedData_.clear();
    if (paramCheck_) {
        auto list = std::make_unique<TTARNISParams>();
        CreateParams(list.get(), text_);
        list->AssignValues(*params_);
        params_ = std::move(list);
    }
    DataEvent(db::dePropertyChange);
}

void TTARNISQuery::SetParams(const TTARNISParams& values) {
    CheckNotExecuting();
    params_->AssignValues(values);
}

void TTARNISQuery::SetDataSource(db::TDataSource* value) {
    CheckNotExecuting();
    if (IsLinkedTo(value)) db::DatabaseError(db::kCircularDataLink);
    dataLink_.SetDataSource(value);
}

db::TDataSource* TTARNISQuery::GetDataSource() {
    return dataLink_.DataSource();
}

void TTARNISQuery::SetRequestLive(bool value) {
    CheckNotExecuting();
    requestLive_ = value;
}

void TTARNISQuery::SetLockRetryCount(std::uint8_t value) {
    lockRetryCount_ = value;
    if (statement_) statement_->LockRetryCount = value;
}

void TTARNISQuery::SetLockWaitTime(std::uint16_t value) {
    lockWaitTime_ = value;
    if (statement_) statement_->LockWaitTime = value;
}

void TTARNISQuery::SetStrictChangeDetection(bool value) {
    strictChangeDetection_ = value;
    if (statement_) statement_->SetStrictChangeDetection(value);
}

void TTARNISQuery::ReadData(rtl::TStream& stream) {
    storedData_.assign(static_cast<std::size_t>(std::max<std::int64_t>(0, stream.Size() - stream.Position())), 0);
    stream.ReadBuffer(storedData_.data(), static_cast<std::int64_t>(storedData_.size()));
}

void TTARNISQuery::WriteData(rtl::TStream& stream) const {
    const auto end = std::find(storedData_.begin(), storedData_.end(), std::uint8_t{0});
    stream.WriteBuffer(storedData_.data(), end - storedData_.begin());
}

// ---- Opening, closing, preparing ----

void TTARNISQuery::SetActive(bool active) {
    CheckNotExecuting();
    TTARNISDBDataSet::SetActive(active);
}

void TTARNISQuery::Disconnect() {
    CheckNotExecuting();
    Close();
    SetPrepared(false);
    SetDBFlag(components::dbfPrepared, false);
}

void TTARNISQuery::SetDBFlag(int flag, bool value) {
    if (!value && DBFlag(flag)) {
        bool others = false;
        for (int other = 0; other < 16; ++other) others = others || (other != flag && DBFlag(other));
        if (!others) SetPrepared(false);
    }
    TTARNISDBDataSet::SetDBFlag(flag, value);
}

void TTARNISQuery::Prepare() {
    CheckNotExecuting();
    components::DBFlagHold hold(*this, components::dbfPrepared);
    SetPrepared(true);
    hold.Keep();
}

void TTARNISQuery::UnPrepare() {
    SetPrepared(false);
    SetDBFlag(components::dbfPrepared, false);
}

void TTARNISQuery::SetPrepared(bool value) {
    CheckNotExecuting();
    if (Handle() != nullptr) db::DatabaseError(db::kDataSetOpen);
    if (value == prepared_) return;
    if (value) {
        if (text_.size() < 2) db::DatabaseError(kNoSQLStatement);
        PrepareSQL(text_);
    } else {
        FreeStatement();
    }
    prepared_ = value;
}

void TTARNISQuery::FreeStatement() noexcept {
    // The dataset's handle may be the statement's: it must have been dropped first.
    assert(Handle() == nullptr);
    statement_.reset();
    prepared_ = false;
}

void TTARNISQuery::PrepareSQL(const std::string& text) {
    auto statement = std::make_unique<TDataQuery>(this);
    statement->SetStrictChangeDetection(strictChangeDetection_);
    statement->LockRetryCount = lockRetryCount_;
    statement->LockWaitTime = lockWaitTime_;
    statement->RequestLive = requestLive_;
    statement->SetDatabaseDirectory(engine::AddTrailingBackslash(Database()->Directory()));
    components::TTARNISSession& session = DBSession();
    statement->SetPasswordCallback([&session] { return session.GetPassword(); });
    {
        // The source tables open during the prepare, looking their passwords up in the current session.
        components::SessionLockGuard lock(session);
        ScopeExit removePassword([&] { statement->SetPasswordCallback(nullptr); });
        CheckOpen(statement->Prepare(text));
    }
    statement_ = std::move(statement);
}

engine::TDataFile* TTARNISQuery::CreateHandle() {
    if (sql_.Count() == 0) db::DatabaseError(kNoSQLStatement);
    PrepareToRun(true);
    return Execute();
}

void TTARNISQuery::ExecSQL() {
    CheckNotExecuting();
    CheckInactive();
    components::DBFlagHold hold(*this, components::dbfExecSQL);
    PrepareToRun(false);
    Execute();
    hold.Release();
}

void TTARNISQuery::PrepareToRun(bool select) {
    SetPrepared(true);
    if (DataSource() != nullptr) SetParamsFromCursor();
    const bool isSelect = statement_->StatementKind == StatementType::Select;
    if (select && !isSelect) db::DatabaseError(kUseExecSQL);
    if (!select && isSelect) db::DatabaseError(kExecSQLSelect);
}

engine::TDataFile* TTARNISQuery::Execute() {
    engine::TDataFile* result = nullptr;
    if (params_->Count() > 0) BindParams();
    statement_->SetProgressCallback([this](std::int32_t current, std::int32_t percent, bool& abort) {
        ProgressCallback(current, percent, abort);
    });
    ScopeExit removeProgress([this] { statement_->SetProgressCallback(nullptr); });
    ExecutingScope executing(*this);
    engine::CheckEngineResult(statement_->Execute(result));
    return result;
}

void TTARNISQuery::BindParams() {
    const TParamBlock block = BuildParamBlock(*params_);
    engine::CheckEngineResult(statement_->SetParams(block.Descriptors, block.Buffer));
}

void TTARNISQuery::SetParamsFromCursor() {
    db::TDataSet* master = dataLink_.DataSet();
    if (master == nullptr) return;
    master->FieldDefs().Update();
    for (int i = 0; i < params_->Count(); ++i) {
        TTARNISParam& param = params_->Param(i);
        if (param.Bound()) continue;
        param.Assign(master->FieldByName(param.Name()));
        param.SetBound(false);
    }
}

void TTARNISQuery::RefreshParams() {
    ControlsHold disabled(*this);
    db::TDataSet* master = dataLink_.DataSet();
    if (master == nullptr || !master->Active() || master->State() == db::dsSetKey) return;
    Close();
    Open();
}

void TTARNISQuery::ProgressCallback(std::int32_t currentRecord, std::int32_t percentDone, bool& abort) {
    if (OnQueryProgress) OnQueryProgress(*this, currentRecord, static_cast<std::uint16_t>(percentDone), abort);
}

}  // namespace sql
