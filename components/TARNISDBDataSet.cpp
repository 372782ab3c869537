#include "components/TARNISDBDataSet.h"

#include "components/ComponentTexts.h"
#include "components/SessionRuntime.h"
#include "components/TARNISDatabase.h"
#include "components/TARNISSession.h"
#include "db/DatabaseError.h"
#include "engine/base/EngineError.h"
#include "rtl/ExceptionHook.h"

namespace components {

TTARNISDBDataSet::TTARNISDBDataSet(rtl::TComponent* owner) : TTARNISDataSet(owner) {
    if (const TTARNISSession* session = TTARNISSession::AutoSessionOf(owner))
        sessionName_ = session->SessionName();
}

TTARNISDBDataSet::~TTARNISDBDataSet() {
    Destroying();
    try {
        Close();
    } catch (...) {
        rtl::HandleCurrentException();
    }
    // Held for another reason when the close failed: the reference goes with the dataset.
    if (dbFlags_ != 0) {
        dbFlags_ = 0;
        try {
            ReleaseDatabase();
        } catch (...) {
            rtl::HandleCurrentException();
        }
    }
}

void TTARNISDBDataSet::SetDatabaseName(std::string_view value) {
    if (value == databaseName_) return;
    CheckInactive();
    if (database_ != nullptr) db::DatabaseError(kDatabaseOpen);
    databaseName_ = std::string(value);
    DataEvent(db::dePropertyChange);
}

void TTARNISDBDataSet::SetSessionName(std::string_view value) {
    CheckInactive();
    sessionName_ = std::string(value);
    DataEvent(db::dePropertyChange);
}

TTARNISSession& TTARNISDBDataSet::DBSession() const {
    if (database_ != nullptr && database_->Session() != nullptr) return *database_->Session();
    return Sessions().GetSession(sessionName_);
}

void TTARNISDBDataSet::OpenCursor(bool infoQuery) {
    SetDBFlag(dbfOpened, true);
    TTARNISDataSet::OpenCursor(infoQuery);
}

void TTARNISDBDataSet::CloseCursor() {
    try {
        TTARNISDataSet::CloseCursor();
    } catch (...) {
        SetDBFlag(dbfOpened, false);
        throw;
    }
    SetDBFlag(dbfOpened, false);
}

void TTARNISDBDataSet::Disconnect() {
    Close();
}

void TTARNISDBDataSet::SetDBFlag(int flag, bool value) {
    const auto bit = static_cast<std::uint16_t>(1u << flag);
    if (value) {
        if ((dbFlags_ & bit) != 0) return;
        if (dbFlags_ == 0) {
            CheckDBSessionName();
            TTARNISDatabase& database = OpenDatabase();
            database_ = &database;
            FreeNotification(database_);
            database_->AddDataSet(this);
        }
        dbFlags_ |= bit;
        return;
    }
    if ((dbFlags_ & bit) == 0) return;
    dbFlags_ &= static_cast<std::uint16_t>(~bit);
    if (dbFlags_ == 0) ReleaseDatabase();
}

void TTARNISDBDataSet::ReleaseDatabase() {
    TTARNISDatabase* database = database_;
    database_ = nullptr;
    if (database == nullptr) return;
    RemoveFreeNotification(database);
    database->RemoveDataSet(this);
    if (TTARNISSession* session = database->Session()) session->CloseDatabase(database);
}

TTARNISDatabase& TTARNISDBDataSet::OpenDatabase() {
    return Sessions().GetSession(sessionName_).OpenDatabase(databaseName_, Owner());
}

void TTARNISDBDataSet::CheckDBSessionName() {
    if (sessionName_.empty() || databaseName_.empty()) return;
    TTARNISSessionList& sessions = Sessions();
    TTARNISSession* session = sessions.FindSession(sessionName_);
    if (session == nullptr || session->DoFindDatabase(databaseName_, Owner()) != nullptr) return;
    TTARNISSession* defaultSession = sessions.DefaultSession();
    if (defaultSession == nullptr) return;
    if (TTARNISDatabase* database = defaultSession->DoFindDatabase(databaseName_, Owner()))
        database->CheckSessionName(true);
}

bool TTARNISDBDataSet::CheckOpen(std::uint16_t code) const {
    if (code == 0) return true;
    engine::RaiseEngineException(code);
}

void TTARNISDBDataSet::Notification(rtl::TComponent* component, rtl::TOperation operation) {
    TTARNISDataSet::Notification(component, operation);
    // A database freed under the dataset (its session stopped) is held no longer.
    if (operation == rtl::opRemove && component == database_) {
        database_ = nullptr;
        dbFlags_ = 0;
    }
}

}  // namespace components
