#include "components/TARNISDatabase.h"

#include <algorithm>
#include <string>

#include "components/SessionRuntime.h"
#include "components/TARNISDBDataSet.h"
#include "db/DatabaseError.h"
#include "rtl/ExceptionHook.h"
#include "rtl/Exceptions.h"

namespace components {

bool IsDirectory(std::string_view name) {
    // Paths take "/" as well as "\" on this system.
    return name.empty() || name.find_first_of(":\\/") != std::string_view::npos;
}

namespace {

// Drops the closing mark however Close ends.
class ClosingMark {
public:
    explicit ClosingMark(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
    ~ClosingMark() { flag_ = previous_; }
    ClosingMark(const ClosingMark&) = delete;
    ClosingMark& operator=(const ClosingMark&) = delete;

private:
    bool& flag_;
    bool previous_;
};

}  // namespace

TTARNISDatabase::TTARNISDatabase(rtl::TComponent* owner) : rtl::TComponent(owner) {
    TTARNISSession* session = TTARNISSession::AutoSessionOf(owner);
    if (session == nullptr) session = dynamic_cast<TTARNISSession*>(owner);
    if (session == nullptr) session = &components::Session();
    session_ = session;
    FreeNotification(session_);
    SetSessionName(session->SessionName());
    session_->AddDatabase(this);
}

TTARNISDatabase::~TTARNISDatabase() {
    Destroying();
    try {
        Close();
    } catch (...) {
        rtl::HandleCurrentException();
    }
    if (session_ != nullptr) {
        try {
            session_->RemoveDatabase(this);
        } catch (...) {
            rtl::HandleCurrentException();
        }
    }
}

void TTARNISDatabase::SetConnected(bool value) {
    if (IsLoading()) {
        streamedConnected_ = value;
        return;
    }
    if (value) {
        Open();
    } else {
        Close();
    }
}

void TTARNISDatabase::SetDatabaseName(std::string_view value) {
    if (IsLoading()) {
        databaseName_ = std::string(value);
        return;
    }
    if (value == databaseName_) return;
    CheckInactive();
    if (!value.empty() && !temporary_ && IsDirectory(value))
        db::DatabaseErrorFmt(kInvalidDatabaseName, {value});
    ValidateName(value);
    databaseName_ = std::string(value);
}

std::string TTARNISDatabase::Directory() const {
    if (temporary_ && IsDirectory(databaseName_)) return databaseName_;
    return directory_;
}

void TTARNISDatabase::SetDirectory(std::string_view value) {
    CheckInactive();
    directory_ = std::string(value);
}

void TTARNISDatabase::SetKeepConnection(bool value) {
    if (value == keepConnection_) return;
    keepConnection_ = value;
    if (!value && refCount_ == 0) Close();
}

void TTARNISDatabase::SetSessionName(std::string_view value) {
    CheckInactive();
    if (value == sessionName_) return;
    sessionName_ = std::string(value);
    CheckSessionName(false);
}

TTARNISDBDataSet* TTARNISDatabase::DataSets(int index) const {
    if (index < 0 || index >= DataSetCount())
        throw rtl::EListError("Dataset index " + std::to_string(index) + " out of bounds");
    return dataSets_[static_cast<std::size_t>(index)];
}

void TTARNISDatabase::Open() {
    if (Connected()) return;
    if (BeforeConnect) BeforeConnect(*this);
    CheckDatabaseName();
    CheckSessionName(true);
    if (handleShared_) {
        handle_ = session_->FindDatabaseHandle(databaseName_);
        if (handle_ != 0) return;
    }
    SessionLockGuard lock(*session_);
    handle_ = 1;
    session_->DBNotification(dbOpen, *this);
}

void TTARNISDatabase::Close() {
    if (!Connected()) return;
    ClosingMark closing(closing_);
    if (session_ != nullptr) session_->DBNotification(dbClose, *this);
    CloseDataSets();
    handle_ = 0;
    refCount_ = 0;
}

void TTARNISDatabase::CloseDataSets() {
    while (!dataSets_.empty()) {
        TTARNISDBDataSet* dataSet = dataSets_.back();
        dataSet->Disconnect();
        // A dataset that still holds the database for another reason (its field or index list) stays
        // listed after its close; it must not keep this loop going.
        if (!dataSets_.empty() && dataSets_.back() == dataSet) dataSets_.pop_back();
    }
}

void TTARNISDatabase::CheckInactive() const {
    if (Connected()) db::DatabaseError(kDatabaseOpen);
}

void TTARNISDatabase::CheckDatabaseName() const {
    if (databaseName_.empty() && !temporary_) db::DatabaseError(kDatabaseNameMissing);
}

void TTARNISDatabase::CheckSessionName(bool required) {
    TTARNISSessionList& sessions = Sessions();
    TTARNISSession* session =
        required ? &sessions.GetSession(sessionName_) : sessions.FindSession(sessionName_);
    if (session != nullptr && session != session_) {
        BindSession(session);
        try {
            ValidateName(databaseName_);
        } catch (...) {
            databaseName_.clear();
            throw;
        }
    }
    if (required && session != nullptr) session->SetActive(true);
}

void TTARNISDatabase::ValidateName(std::string_view name) {
    if (name.empty() || session_ == nullptr) return;
    TTARNISDatabase* other = session_->FindDatabase(name);
    if (other == nullptr || other == this) return;
    if (other->handleShared_ && handleShared_) return;
    if (!other->temporary_ || other->refCount_ != 0) db::DatabaseErrorFmt(kDuplicateDatabaseName, {name});
    // A temporary database nobody uses gives its name up to this one.
    delete other;
}

void TTARNISDatabase::Loaded() {
    rtl::TComponent::Loaded();
    // No design time to report to: a failure passes on to whoever loaded the database.
    if (streamedConnected_) {
        Open();
    } else {
        CheckSessionName(false);
    }
}

void TTARNISDatabase::Notification(rtl::TComponent* component, rtl::TOperation operation) {
    rtl::TComponent::Notification(component, operation);
    if (operation == rtl::opRemove && component == session_) session_ = nullptr;
}

void TTARNISDatabase::BindSession(TTARNISSession* session) {
    if (session == session_) return;
    if (session_ != nullptr) {
        RemoveFreeNotification(session_);
        session_->RemoveDatabase(this);
    }
    session_ = session;
    FreeNotification(session_);
    session_->AddDatabase(this);
}

void TTARNISDatabase::AddDataSet(TTARNISDBDataSet* dataSet) {
    if (std::find(dataSets_.begin(), dataSets_.end(), dataSet) == dataSets_.end())
        dataSets_.push_back(dataSet);
}

void TTARNISDatabase::RemoveDataSet(TTARNISDBDataSet* dataSet) noexcept {
    dataSets_.erase(std::remove(dataSets_.begin(), dataSets_.end(), dataSet), dataSets_.end());
}

}  // namespace components
