#include "components/TARNISSession.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "components/ComponentTexts.h"
#include "components/SessionRuntime.h"
#include "components/TARNISDBDataSet.h"
#include "components/TARNISDatabase.h"
#include "db/DatabaseError.h"
#include "engine/base/EngineState.h"
#include "engine/base/EngineStrings.h"
#include "rtl/ExceptionHook.h"
#include "rtl/Text.h"

namespace components {

// ---- TTARNISSessionList ----

TTARNISSessionList::TTARNISSessionList() = default;

TTARNISSessionList::~TTARNISSessionList() {
    CloseAll();
}

void TTARNISSessionList::AddSession(TTARNISSession* session) {
    if (sessions_.empty()) {
        session->defaultSession_ = true;
        default_ = session;
    }
    sessions_.push_back(session);
}

void TTARNISSessionList::RemoveSession(TTARNISSession* session) noexcept {
    sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session), sessions_.end());
    if (default_ == session) default_ = nullptr;
}

void TTARNISSessionList::CloseAll() noexcept {
    // Each session takes itself off the list as it goes.
    while (!sessions_.empty()) delete sessions_.back();
}

TTARNISSession* TTARNISSessionList::FindSession(std::string_view name) const {
    if (name.empty()) return default_;
    for (TTARNISSession* session : sessions_)
        if (rtl::AnsiSameText(session->SessionName(), name)) return session;
    return nullptr;
}

TTARNISSession& TTARNISSessionList::GetSession(std::string_view name) const {
    TTARNISSession* session = FindSession(name);
    if (session == nullptr) db::DatabaseErrorFmt(kInvalidSessionName, {name});
    return *session;
}

TTARNISSession* TTARNISSessionList::Sessions(int index) const {
    if (index < 0 || index >= Count())
        throw rtl::EListError("Session index " + std::to_string(index) + " out of bounds");
    return sessions_[static_cast<std::size_t>(index)];
}

int TTARNISSessionList::TakeSessionNumber() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    const auto open = std::find(sessionNumbers_.begin(), sessionNumbers_.end(), false);
    const auto number = static_cast<int>(open - sessionNumbers_.begin());
    if (open == sessionNumbers_.end()) {
        sessionNumbers_.push_back(true);
    } else {
        *open = true;
    }
    return number;
}

void TTARNISSessionList::FreeSessionNumber(int number) noexcept {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (number >= 0 && static_cast<std::size_t>(number) < sessionNumbers_.size())
        sessionNumbers_[static_cast<std::size_t>(number)] = false;
}

// ---- TTARNISSession ----

TTARNISSession::TTARNISSession(rtl::TComponent* owner)
    : rtl::TComponent((ValidateAutoSession(owner, false), owner)), list_(&Sessions()) {
    list_->AddSession(this);
}

TTARNISSession::~TTARNISSession() {
    Destroying();
    if (Active()) {
        try {
            StartSession(false);
        } catch (...) {
            rtl::HandleCurrentException();
        }
    }
    ReleaseSessionNumber();
    list_->RemoveSession(this);
}

void TTARNISSession::SetActive(bool value) {
    if (IsLoading()) {
        streamedActive_ = value;
        return;
    }
    if (value != Active()) StartSession(value);
}

void TTARNISSession::StartSession(bool value) {
    std::lock_guard<std::recursive_mutex> lock(list_->Lock());
    if (value == Active()) return;
    if (value) {
        Start();
    } else {
        Stop();
    }
}

void TTARNISSession::Start() {
    if (OnStartup) OnStartup(*this);
    // The handler may have started the session itself.
    if (Active()) return;
    if (sessionName_.empty()) db::DatabaseError(kSessionNameMissing);
    if (!defaultSession_) {
        // The default session, and with it the engine, always starts first.
        TTARNISSession* first = list_->DefaultSession();
        if (first == nullptr)
            throw std::logic_error("The default session is gone; no other session can start.");
        first->StartSession(true);
        ownContext_ = engine::CreateFileSession();
        context_ = ownContext_.get();
    } else {
        engine::InitializeEngine();
        context_ = &engine::GetEngineSession();
    }
    // Current at once: a LockSession nested in this start (the private directory's) only counts, and must
    // find this session's context current.
    engine::SetEngineSession(context_);
    if (!privateDir_.empty()) {
        try {
            const std::string directory = privateDir_;
            SetPrivateDir(directory);
        } catch (...) {
            Stop();
            throw;
        }
    }
}

void TTARNISSession::Stop() {
    engine::SetEngineSession(context_);
    // Freeing a database, or closing one whose datasets free another, takes entries off the list: the
    // index is checked against the list's size at every step.
    for (std::size_t i = databases_.size(); i > 0;) {
        if (--i >= databases_.size()) {
            i = databases_.size();
            continue;
        }
        TTARNISDatabase* database = databases_[i];
        if (database->Temporary()) {
            delete database;
        } else {
            database->Close();
        }
    }
    if (defaultSession_) {
        // Frees the global context, so the pointer to it goes in the same step.
        engine::FinalizeEngine();
        context_ = nullptr;
        return;
    }
    engine::FreeFileSession(ownContext_);
    context_ = nullptr;
    const TTARNISSession* first = list_->DefaultSession();
    engine::SetEngineSession(first != nullptr ? first->context_ : nullptr);
}

void TTARNISSession::MakeCurrent() {
    if (!Active()) StartSession(true);
    engine::SetEngineSession(context_);
}

void TTARNISSession::LockSession() {
    if (lockCount_ > 0) {
        ++lockCount_;
        return;
    }
    std::recursive_mutex& lock = list_->Lock();
    lock.lock();
    lockCount_ = 1;
    try {
        MakeCurrent();
    } catch (...) {
        // Else the next LockSession would only count and work in whatever context is current.
        lockCount_ = 0;
        lock.unlock();
        throw;
    }
}

void TTARNISSession::UnlockSession() noexcept {
    if (lockCount_ == 0) return;
    if (--lockCount_ == 0) list_->Lock().unlock();
}

void TTARNISSession::AddPassword(std::string_view password) {
    SessionLockGuard guard(*this);
    engine::GetEngineSession().AddPassword(engine::ShortString(password));
}

void TTARNISSession::RemovePassword(std::string_view password) {
    SessionLockGuard guard(*this);
    engine::GetEngineSession().RemovePassword(engine::ShortString(password));
}

void TTARNISSession::RemoveAllPasswords() {
    SessionLockGuard guard(*this);
    engine::GetEngineSession().RemoveAllPasswords();
}

bool TTARNISSession::GetPassword() {
    if (OnPassword) {
        bool continueOpen = false;
        OnPassword(*this, continueOpen);
        return continueOpen;
    }
    // A copy: the hook may be replaced while it runs.
    const SessionRuntime::PasswordHook hook = SessionRuntime::Live().GetPasswordHook();
    return hook ? hook(*this) : false;
}

std::string TTARNISSession::PrivateDir() {
    if (Active()) {
        SessionLockGuard guard(*this);
        return engine::GetSessionDirectory();
    }
    return privateDir_;
}

void TTARNISSession::SetPrivateDir(std::string_view value) {
    if (Active()) {
        SessionLockGuard guard(*this);
        engine::SetSessionDirectory(engine::ShortString(value));
    }
    privateDir_ = std::string(value);
}

void TTARNISSession::SetSessionName(std::string_view value) {
    if (autoSessionName_ && !updatingAutoName_) db::DatabaseError(kAutoSessionActive);
    CheckInActive();
    if (!value.empty()) {
        const TTARNISSession* other = list_->FindSession(value);
        if (other != nullptr && other != this) db::DatabaseErrorFmt(kDuplicateSessionName, {value});
    }
    sessionName_ = std::string(value);
}

void TTARNISSession::CheckInActive() const {
    if (Active()) db::DatabaseError(kSessionActive);
}

void TTARNISSession::SetAutoSessionName(bool value) {
    if (value == autoSessionName_) return;
    if (value) {
        CheckInActive();
        ValidateAutoSession(Owner(), true, this);
        sessionNumber_ = list_->TakeSessionNumber();
        try {
            UpdateAutoSessionName();
        } catch (...) {
            ReleaseSessionNumber();
            throw;
        }
    } else {
        ReleaseSessionNumber();
    }
    autoSessionName_ = value;
}

void TTARNISSession::UpdateAutoSessionName() {
    struct Updating {
        bool& flag;
        explicit Updating(bool& f) : flag(f) { flag = true; }
        ~Updating() { flag = false; }
    } updating(updatingAutoName_);
    SetSessionName(Name() + "_" + std::to_string(sessionNumber_ + 1));
    SetSessionNames();
}

void TTARNISSession::ReleaseSessionNumber() noexcept {
    if (sessionNumber_ == -1) return;
    list_->FreeSessionNumber(sessionNumber_);
    sessionNumber_ = -1;
}

void TTARNISSession::ValidateAutoSession(const rtl::TComponent* owner, bool allSessions,
                                         const TTARNISSession* self) {
    if (owner == nullptr) return;
    for (int i = 0; i < owner->ComponentCount(); ++i) {
        const auto* other = dynamic_cast<const TTARNISSession*>(owner->Components(i));
        if (other == nullptr || other == self) continue;
        if (allSessions) db::DatabaseError(kAutoSessionExclusive);
        if (other->autoSessionName_) db::DatabaseError(kAutoSessionExists);
    }
}

void TTARNISSession::Loaded() {
    rtl::TComponent::Loaded();
    // There is no design time to report a failure to, so it passes on to whoever loaded the session.
    if (autoSessionName_) SetSessionNames();
    if (streamedActive_) SetActive(true);
}

void TTARNISSession::SetName(std::string name) {
    rtl::TComponent::SetName(std::move(name));
    if (autoSessionName_) UpdateAutoSessionName();
}

// ---- Databases ----

TTARNISDatabase& TTARNISSession::OpenDatabase(std::string_view name, rtl::TComponent* owner) {
    MakeCurrent();
    TTARNISDatabase* database = DoFindDatabase(name, owner);
    std::unique_ptr<TTARNISDatabase> created;
    if (database == nullptr) {
        created = std::make_unique<TTARNISDatabase>(this);
        database = created.get();
        database->SetTemporary(true);
        database->SetDatabaseName(name);
        database->SetKeepConnection(keepConnections_);
    }
    database->Open();
    ++database->refCount_;
    // From here the session owns it as one of its components.
    created.release();
    return *database;
}

void TTARNISSession::CloseDatabase(TTARNISDatabase* database) {
    if (database == nullptr) return;
    if (database->refCount_ > 0) --database->refCount_;
    // A database closing its datasets would close (or free) itself again inside its own loop.
    if (database->refCount_ != 0 || database->keepConnection_ || database->closing_) return;
    if (!database->temporary_) {
        database->Close();
    } else if (!database->IsDestroying()) {
        delete database;
    }
}

TTARNISDatabase* TTARNISSession::FindDatabase(std::string_view name) const {
    for (TTARNISDatabase* database : databases_)
        if ((!database->DatabaseName().empty() || database->Temporary()) &&
            rtl::AnsiSameText(database->DatabaseName(), name))
            return database;
    return nullptr;
}

TTARNISDatabase* TTARNISSession::DoFindDatabase(std::string_view name, const rtl::TComponent* owner) const {
    if (owner != nullptr) {
        for (int i = 0; i < owner->ComponentCount(); ++i) {
            auto* database = dynamic_cast<TTARNISDatabase*>(owner->Components(i));
            if (database != nullptr && database->HandleShared() &&
                rtl::AnsiSameText(database->DatabaseName(), name))
                return database;
        }
    }
    return FindDatabase(name);
}

std::uintptr_t TTARNISSession::FindDatabaseHandle(std::string_view name) const {
    for (const TTARNISDatabase* database : databases_)
        if (database->Handle() != 0 && database->HandleShared() &&
            rtl::AnsiSameText(database->DatabaseName(), name))
            return database->Handle();
    return 0;
}

void TTARNISSession::AddDatabase(TTARNISDatabase* database) {
    databases_.push_back(database);
    DBNotification(dbAdd, *database);
}

void TTARNISSession::RemoveDatabase(TTARNISDatabase* database) {
    databases_.erase(std::remove(databases_.begin(), databases_.end(), database), databases_.end());
    DBNotification(dbRemove, *database);
}

void TTARNISSession::DBNotification(TDBEvent event, TTARNISDatabase& database) {
    if (OnDBNotify) OnDBNotify(event, database);
}

TTARNISDatabase* TTARNISSession::Databases(int index) const {
    if (index < 0 || index >= DatabaseCount())
        throw rtl::EListError("Database index " + std::to_string(index) + " out of bounds");
    return databases_[static_cast<std::size_t>(index)];
}

void TTARNISSession::SetSessionNames() {
    const rtl::TComponent* owner = Owner();
    if (owner == nullptr) return;
    for (int i = 0; i < owner->ComponentCount(); ++i) {
        rtl::TComponent* component = owner->Components(i);
        if (auto* dataSet = dynamic_cast<TTARNISDBDataSet*>(component)) {
            if (!rtl::AnsiSameText(dataSet->SessionName(), sessionName_))
                dataSet->SetSessionName(sessionName_);
        } else if (auto* database = dynamic_cast<TTARNISDatabase*>(component)) {
            if (!rtl::AnsiSameText(database->SessionName(), sessionName_))
                database->SetSessionName(sessionName_);
        }
    }
}

TTARNISSession* TTARNISSession::AutoSessionOf(const rtl::TComponent* owner) {
    if (owner == nullptr) return nullptr;
    for (int i = 0; i < owner->ComponentCount(); ++i) {
        auto* session = dynamic_cast<TTARNISSession*>(owner->Components(i));
        if (session != nullptr && session->autoSessionName_) return session;
    }
    return nullptr;
}

void TTARNISSession::Notification(rtl::TComponent* component, rtl::TOperation operation) {
    rtl::TComponent::Notification(component, operation);
    // Components being built are not yet of their class here; their constructors look for this session
    // themselves (AutoSessionOf). This serves components moved in from another owner.
    if (!autoSessionName_ || operation != rtl::opInsert || component == this) return;
    if (auto* dataSet = dynamic_cast<TTARNISDBDataSet*>(component)) {
        dataSet->sessionName_ = sessionName_;
    } else if (auto* database = dynamic_cast<TTARNISDatabase*>(component)) {
        // The name too, or its next open would bind it back to the session it names.
        database->sessionName_ = sessionName_;
        database->BindSession(this);
    }
}

}  // namespace components
