#include "components/TARNISTable.h"

#include <exception>
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

namespace components {

namespace {

// The session's password callback on a handle for the length of a scope.
class PasswordEventScope {
public:
    PasswordEventScope(engine::TDataFile& handle, TTARNISSession& session) : handle_(handle) {
        handle_.SetPasswordEvent([&session] { return session.GetPassword(); });
    }
    ~PasswordEventScope() { handle_.SetPasswordEvent(nullptr); }
    PasswordEventScope(const PasswordEventScope&) = delete;
    PasswordEventScope& operator=(const PasswordEventScope&) = delete;

private:
    engine::TDataFile& handle_;
};

// Closes a temporary handle on the success path, so that a failure of the close is raised; the handle's
// destructor closes quietly on the others.
void CloseHandle(std::unique_ptr<engine::TDataFile>& handle) {
    handle->Close();
    handle.reset();
}

bool IsSeparator(char c) noexcept {
    return c == '/' || c == '\\';
}

}  // namespace

std::string TablePath(std::string_view directory, std::string_view tableName) {
    if (directory.empty()) return std::string(tableName);
    std::string path(directory);
    if (!IsSeparator(path.back())) path += '/';
    path += tableName;
    return path;
}

std::unique_ptr<engine::TDataFile> OpenTableHandle(TTARNISDBDataSet& dataSet, std::string_view tableName,
                                                   const TableOpenSettings& settings,
                                                   std::optional<std::string_view> indexName) {
    TTARNISDatabase& database = *dataSet.Database();
    TTARNISSession& session = dataSet.DBSession();
    auto handle = std::make_unique<engine::TDataFile>(&dataSet);
    handle->SetFileName(TablePath(database.Directory(), tableName));
    handle->SetExclusive(settings.Exclusive);
    handle->SetReadOnly(settings.ReadOnly);
    handle->SetInMemory(settings.InMemory);
    handle->SetStrictChangeDetection(settings.StrictChangeDetection);
    handle->SetForceBufferFlush(settings.ForceBufferFlush);
    handle->SetLockRetryCount(settings.LockRetryCount);
    handle->SetLockWaitTime(settings.LockWaitTime);
    {
        // The engine looks the password up in the current session's list during the open.
        SessionLockGuard lock(session);
        PasswordEventScope password(*handle, session);
        handle->Open();
    }
    if (indexName) handle->SetIndexName(*indexName);
    return handle;
}

TTARNISTable::TTARNISTable(rtl::TComponent* owner)
    : TTARNISDBDataSet(owner), indexDefs_(this), masterLink_(*this) {
    masterLink_.OnMasterChange = [this] { MasterChanged(); };
    masterLink_.OnMasterDisable = [this] { MasterDisabled(); };
}

TTARNISTable::~TTARNISTable() {
    Destroying();
    try {
        Close();
    } catch (...) {
        rtl::HandleCurrentException();
    }
    // The lookup cursor goes before the handle it was cloned from, also after a failed close.
    lookupCursor_.reset();
}

std::string TTARNISTable::EngineVersion() const {
    return std::string(kEngineVersion);
}

// ---- Properties ----

void TTARNISTable::SetClosedOnly(bool TableOpenSettings::*setting, bool value) {
    CheckInactive();
    settings_.*setting = value;
}

void TTARNISTable::SetExclusive(bool value) {
    SetClosedOnly(&TableOpenSettings::Exclusive, value);
}
void TTARNISTable::SetReadOnly(bool value) {
    SetClosedOnly(&TableOpenSettings::ReadOnly, value);
}
void TTARNISTable::SetInMemory(bool value) {
    SetClosedOnly(&TableOpenSettings::InMemory, value);
}
void TTARNISTable::SetStrictChangeDetection(bool value) {
    SetClosedOnly(&TableOpenSettings::StrictChangeDetection, value);
}
void TTARNISTable::SetForceBufferFlush(bool value) {
    SetClosedOnly(&TableOpenSettings::ForceBufferFlush, value);
}

void TTARNISTable::SetLockRetryCount(std::uint8_t value) {
    if (value == settings_.LockRetryCount) return;
    settings_.LockRetryCount = value;
    if (Handle() != nullptr) Handle()->SetLockRetryCount(value);
    if (lookupCursor_) lookupCursor_->SetLockRetryCount(value);
}

void TTARNISTable::SetLockWaitTime(std::uint16_t value) {
    if (value == settings_.LockWaitTime) return;
    settings_.LockWaitTime = value;
    if (Handle() != nullptr) Handle()->SetLockWaitTime(value);
    if (lookupCursor_) lookupCursor_->SetLockWaitTime(value);
}

void TTARNISTable::SetTableName(std::string_view value) {
    CheckInactive();
    tableName_ = std::string(value);
    DataEvent(db::dePropertyChange);
}

std::string TTARNISTable::IndexName() const {
    return fieldsIndex_ ? std::string() : indexName_;
}

void TTARNISTable::SetIndexName(std::string_view value) {
    SetIndex(value, false);
}

std::string TTARNISTable::IndexFieldNames() const {
    return fieldsIndex_ ? indexName_ : std::string();
}

void TTARNISTable::SetIndexFieldNames(std::string_view value) {
    SetIndex(value, !value.empty());
}

void TTARNISTable::SetMasterSource(db::TDataSource* value) {
    if (IsLinkedTo(value)) db::DatabaseError(db::kCircularDataLink);
    masterLink_.SetDataSource(value);
}

db::TDataSource* TTARNISTable::GetDataSource() {
    return masterLink_.DataSource();
}

bool TTARNISTable::GetCanModify() {
    return TTARNISDBDataSet::GetCanModify() && !settings_.ReadOnly;
}

void TTARNISTable::DataEvent(db::TDataEvent event, const db::TDataEventInfo& info) {
    if (event == db::dePropertyChange) {
        indexDefs_.SetUpdated(false);
        restructureFieldDefs_.SetUpdated(false);
        restructureIndexDefs_.SetUpdated(false);
    }
    TTARNISDBDataSet::DataEvent(event, info);
}

// ---- Opening and closing ----

void TTARNISTable::CheckTableName() const {
    if (tableName_.empty()) db::DatabaseError(kMissingTableName);
}

engine::TDataFile* TTARNISTable::CreateHandle() {
    CheckTableName();
    indexDefs_.SetUpdated(false);
    return GetHandle(GetIndexParams(indexName_, fieldsIndex_)).release();
}

std::unique_ptr<engine::TDataFile> TTARNISTable::GetHandle(std::string_view engineIndexName) {
    auto handle = OpenTableHandle(*this, tableName_, settings_, engineIndexName);
    settings_.ReadOnly = handle->ReadOnly();
    return handle;
}

std::unique_ptr<engine::TDataFile> TTARNISTable::OpenTemporaryHandle(bool exclusive, bool readOnly) {
    TableOpenSettings settings = settings_;
    settings.Exclusive = exclusive;
    settings.ReadOnly = readOnly;
    return OpenTableHandle(*this, tableName_, settings, std::nullopt);
}

engine::TDataFile* TTARNISTable::OpenOrReadHandle(std::unique_ptr<engine::TDataFile>& temporary) {
    if (Handle() != nullptr) return Handle();
    temporary = OpenTemporaryHandle(false, settings_.ReadOnly);
    return temporary.get();
}

void TTARNISTable::DestroyHandle() {
    DestroyLookupCursor();
    TTARNISDBDataSet::DestroyHandle();
}

void TTARNISTable::PrepareCursor() {
    GetIndexParams(indexName_, fieldsIndex_);
    CheckMasterRange();
}

// ---- Field and index definitions ----

void TTARNISTable::InitFieldDefs() {
    DBFlagHold hold(*this, dbfFieldList);
    CheckTableName();
    FieldDefs().Clear();
    std::unique_ptr<engine::TDataFile> temporary;
    engine::TDataFile* handle = OpenOrReadHandle(temporary);
    const std::uint16_t count = handle->GetFieldCount();
    for (std::uint16_t n = 1; n <= count; ++n) {
        const engine::TFieldDesc& desc = handle->GetFieldDesc(true, n);
        AddFieldDesc(desc, desc.Required != 0, n);
    }
    if (temporary) CloseHandle(temporary);
    hold.Release();
}

namespace {

// The names of the index's fields, joined by ";", each that of the field definition with the field's number.
std::string IndexFieldList(const engine::TIndexDescriptor& desc, const db::TFieldDefs& fieldDefs) {
    std::string fields;
    for (int i = 0; i < desc.FieldCount && i < static_cast<int>(desc.FieldNumbers.size()); ++i) {
        for (int d = 0; d < fieldDefs.Count(); ++d) {
            if (fieldDefs[d].FieldNo() != desc.FieldNumbers[static_cast<std::size_t>(i)]) continue;
            if (!fields.empty()) fields += ';';
            fields += fieldDefs[d].Name();
            break;
        }
    }
    return fields;
}

db::TIndexOptions IndexOptions(const engine::TIndexDescriptor& desc, int number) {
    db::TIndexOptions options = 0;
    if (number == 0) options |= db::ixPrimary;
    if (desc.Descending != 0) options |= db::ixDescending;
    if (desc.CaseInsensitive != 0) options |= db::ixCaseInsensitive;
    if (desc.Unique != 0) options |= db::ixUnique;
    return options;
}

}  // namespace

void TTARNISTable::UpdateIndexDefs() {
    if (indexDefs_.Updated()) return;
    DBFlagHold hold(*this, dbfIndexList);
    CheckTableName();
    FieldDefs().Update();
    std::unique_ptr<engine::TDataFile> temporary;
    engine::TDataFile* handle = OpenOrReadHandle(temporary);
    indexDefs_.Clear();
    for (int number = 0; number <= handle->GetIndexCount(); ++number) {
        const engine::TIndexDescriptor desc = handle->GetIndexDesc(number);
        // Index 0 of a table without a primary index has no key: there is no such index to list.
        if (number == 0 && desc.KeyLength == 0) continue;
        indexDefs_.Add(number == 0 ? std::string() : desc.Name, IndexFieldList(desc, FieldDefs()),
                       IndexOptions(desc, number));
    }
    indexDefs_.SetUpdated(true);
    if (temporary) CloseHandle(temporary);
    hold.Release();
}

std::string TTARNISTable::GetIndexParams(std::string_view indexName, bool fieldsIndex) {
    if (indexName.empty()) return {};
    UpdateIndexDefs();
    if (!fieldsIndex) return std::string(indexName);
    return indexDefs_.FindIndexForFields(indexName).Name();
}

// ---- Emptying ----

void TTARNISTable::EmptyTable() {
    if (Active()) {
        CheckBrowseMode();
        Handle()->EmptyTable();
        ClearBuffers();
        DataEvent(db::deDataSetChange);
        return;
    }
    DBFlagHold hold(*this, dbfEmptyTable);
    CheckTableName();
    auto handle = OpenTemporaryHandle(true, false);
    handle->EmptyTable();
    CloseHandle(handle);
    hold.Release();
}

// ---- Index choice and the master link ----

void TTARNISTable::SetIndex(std::string_view value, bool fieldsIndex) {
    if (Active()) CheckBrowseMode();
    if (value == indexName_ && fieldsIndex == fieldsIndex_) return;
    if (Active()) {
        SwitchToIndex(GetIndexParams(value, fieldsIndex));
        CheckMasterRange();
    }
    indexName_ = std::string(value);
    fieldsIndex_ = fieldsIndex;
    if (Active()) Resync(0);
}

void TTARNISTable::DoOnNewRecord() {
    if (masterLink_.Active()) {
        const auto& fields = masterLink_.Fields();
        for (std::size_t i = 0; i < fields.size(); ++i) SetIndexField(static_cast<int>(i), *fields[i]);
    }
    TTARNISDBDataSet::DoOnNewRecord();
}

void TTARNISTable::MasterChanged() {
    CheckBrowseMode();
    SetLinkRanges(masterLink_.Fields());
    ApplyRange();
}

void TTARNISTable::MasterDisabled() {
    CancelRange();
}

void TTARNISTable::ApplyRange() {
    CheckBrowseMode();
    if (SetCursorRange()) First();
}

void TTARNISTable::CancelRange() {
    CheckBrowseMode();
    UpdateCursorPos();
    if (ResetCursorRange()) Resync(0);
}

void TTARNISTable::CheckMasterRange() {
    if (!masterLink_.Active() || masterLink_.Fields().empty()) return;
    SetLinkRanges(masterLink_.Fields());
    SetCursorRange();
}

// ---- The lookup cursor ----

engine::TDataFile* TTARNISTable::GetLookupCursor(std::string_view keyFields, bool caseInsensitive) {
    if (keyFields == lookupKeyFields_ && caseInsensitive == lookupCaseInsensitive_)
        return lookupCursor_.get();
    DestroyLookupCursor();
    // IndexName may be empty, and then nothing else has read the definitions.
    indexDefs_.Update();
    const db::TIndexDef* def = indexDefs_.GetIndexForFields(keyFields, caseInsensitive);
    const bool serves = def != nullptr && ((def->Options() & db::ixCaseInsensitive) != 0) == caseInsensitive;
    // The engine clones no exclusive handle; the search then scans, as it does without an index.
    if (serves && !masterLink_.Active() && !Handle()->Exclusive()) {
        const std::string engineName = GetIndexParams(def->Name(), false);
        {
            SessionLockGuard lock(DBSession());
            lookupCursor_ = Handle()->CloneCursor();
        }
        // The clone starts with the engine's lock defaults; it waits for locks as its table does.
        lookupCursor_->SetLockRetryCount(settings_.LockRetryCount);
        lookupCursor_->SetLockWaitTime(settings_.LockWaitTime);
        try {
            lookupCursor_->SetIndexName(engineName);
        } catch (...) {
            lookupCursor_.reset();
            throw;
        }
    }
    lookupKeyFields_ = std::string(keyFields);
    lookupCaseInsensitive_ = caseInsensitive;
    return lookupCursor_.get();
}

void TTARNISTable::DestroyLookupCursor() {
    lookupCursor_.reset();
    lookupKeyFields_.clear();
    lookupCaseInsensitive_ = false;
}

}  // namespace components
