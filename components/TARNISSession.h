// TTARNISSession and TTARNISSessionList: the owners of the engine's session contexts, and the list of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "components/ComponentTexts.h"
#include "engine/base/FileSession.h"
#include "rtl/Component.h"

namespace components {

class TTARNISSession;
class TTARNISDatabase;

// What happened to a database of a session: it connected, disconnected, joined or left the session.
enum TDBEvent { dbOpen, dbClose, dbAdd, dbRemove };
using TDBNotifyEvent = std::function<void(TDBEvent event, TTARNISDatabase& database)>;

// An event that tells what happened to the sender.
using TNotifyEvent = std::function<void(rtl::TComponent& sender)>;
// Asked for a protected table's password that the session's list lacks: a handler that sets Continue has the
// engine look the password up again (having added it with AddPassword); Continue comes in false.
using TTARNISPasswordEvent = std::function<void(rtl::TComponent& sender, bool& Continue)>;

// Every session of the process in creation order; the first one added is the default session. Holds the
// process-wide session lock and the numbers that auto-named sessions take. Sessions are made with new and
// add themselves: the list frees those still alive when it closes.
class TTARNISSessionList {
public:
    TTARNISSessionList();
    // CloseAll.
    ~TTARNISSessionList();
    TTARNISSessionList(const TTARNISSessionList&) = delete;
    TTARNISSessionList& operator=(const TTARNISSessionList&) = delete;

    // Appends the session; the first session of an empty list becomes the default one.
    void AddSession(TTARNISSession* session);
    // Forgets the session (its destructor calls this).
    void RemoveSession(TTARNISSession* session) noexcept;
    // Frees every session, the last first, so that the default session (which stops the engine) goes last.
    void CloseAll() noexcept;

    // An empty name gives the default session; otherwise the first session whose name equals it without
    // regard to case; null when none has it.
    TTARNISSession* FindSession(std::string_view name) const;
    // FindSession, raising "Session name %s is not valid." when no session has the name.
    TTARNISSession& GetSession(std::string_view name) const;

    int Count() const noexcept { return static_cast<int>(sessions_.size()); }
    TTARNISSession* Sessions(int index) const;
    // The default session, null once it is gone.
    TTARNISSession* DefaultSession() const noexcept { return default_; }

    // Held while a session starts or stops, while an auto-session takes or frees its number, and by
    // LockSession; the owning thread may enter it again.
    std::recursive_mutex& Lock() noexcept { return lock_; }

    // The lowest number no auto-named session has, now taken; under the lock.
    int TakeSessionNumber();
    // Gives a number back; under the lock.
    void FreeSessionNumber(int number) noexcept;

private:
    std::vector<TTARNISSession*> sessions_;
    TTARNISSession* default_ = nullptr;
    // Bit n is set while an auto-named session has the number n.
    std::vector<bool> sessionNumbers_;
    std::recursive_mutex lock_;
};

// A session: owns the engine session context (private directory, error context, in-memory files, table
// passwords) in which its databases and datasets work. Inactive from construction; Active, MakeCurrent,
// LockSession and the password calls start it. The default session's context is the engine's global one: it
// starts the engine and its stop stops it; every other session starts the default session first and keeps a
// context of its own. Made with new: an owner or, at the end, the session list frees it.
class TTARNISSession : public rtl::TComponent {
public:
    // Raises "This auto-session already exists." when the owner has an auto-named session.
    explicit TTARNISSession(rtl::TComponent* owner = nullptr);
    // Stops the session when active; a failure of the stop goes to the application's exception handler.
    ~TTARNISSession() override;

    // Published properties.
    std::string EngineVersion() const { return std::string(kEngineVersion); }
    void SetEngineVersion(std::string_view) noexcept {}
    bool Active() const noexcept { return context_ != nullptr; }
    // While the component is loading, only remembered for Loaded.
    void SetActive(bool value);
    bool AutoSessionName() const noexcept { return autoSessionName_; }
    // On: the session's name becomes the component's name, "_" and the session's number + 1, and follows
    // renames. Switching it on raises while the session is active and while the owner has another session.
    void SetAutoSessionName(bool value);
    // What each temporary database this session creates gets as its KeepConnection.
    bool KeepConnections() const noexcept { return keepConnections_; }
    void SetKeepConnections(bool value) noexcept { keepConnections_ = value; }
    // The session directory: while active, the engine context's, else the one last assigned; as given.
    std::string PrivateDir();
    // Applied to the engine context at once while active (cut to 255 characters), at the start otherwise.
    void SetPrivateDir(std::string_view value);
    const std::string& SessionName() const noexcept { return sessionName_; }
    // Raises with AutoSessionName on, while active and when another session has the name.
    void SetSessionName(std::string_view value);

    TTARNISPasswordEvent OnPassword;
    TNotifyEvent OnStartup;

    // True for the first session added to the session list.
    bool IsDefault() const noexcept { return defaultSession_; }
    // The engine context while active, else null.
    engine::TFileSession* EngineSession() const noexcept { return context_; }

    // Starts (OnStartup, the name check, the default session first, the context, the private directory) or
    // stops the session, under the session lock; nothing when the session is already so. A session that
    // starts becomes the current one.
    void StartSession(bool value);
    // Starts the session when inactive, then makes its context the engine's current one.
    void MakeCurrent();
    // The session lock with this session current: the first level enters the lock and makes the session
    // current (starting it when inactive), deeper levels count. A failing first level leaves the lock and the
    // count as they were.
    void LockSession();
    // Leaves one level; nothing at count 0.
    void UnlockSession() noexcept;
    std::uint32_t LockCount() const noexcept { return lockCount_; }

    // The passwords of the session's context, each cut to 255 characters, under LockSession (which starts
    // an inactive session). The engine compares them byte for byte.
    void AddPassword(std::string_view password);
    void RemovePassword(std::string_view password);
    void RemoveAllPasswords();

    // The table handles' password callback: OnPassword when assigned, else the session runtime's hook,
    // else false. True has the engine look the table's password up again; false fails its open with 10498.
    bool GetPassword();

    // Raises "Cannot perform this operation on an active session." when active.
    void CheckInActive() const;

    // Databases.
    // An open database of the name with one more reference: the owner's shared one or the session's of
    // that name, else a new temporary one (freed again when the open fails). Makes the session current.
    TTARNISDatabase& OpenDatabase(std::string_view name, rtl::TComponent* owner);
    // One reference less; at none, a database without KeepConnection is closed (named) or freed
    // (temporary), except while it closes itself, when only the count goes down.
    void CloseDatabase(TTARNISDatabase* database);
    // The first database of the name (without regard to case) that is named or temporary; null when none.
    TTARNISDatabase* FindDatabase(std::string_view name) const;
    // A shared database of the owner with the name first, then FindDatabase.
    TTARNISDatabase* DoFindDatabase(std::string_view name, const rtl::TComponent* owner) const;
    // The handle of the first connected, shared database of the name; 0 when none.
    std::uintptr_t FindDatabaseHandle(std::string_view name) const;
    // Add to or remove from the list, then the add or remove notification.
    void AddDatabase(TTARNISDatabase* database);
    void RemoveDatabase(TTARNISDatabase* database);
    void DBNotification(TDBEvent event, TTARNISDatabase& database);
    int DatabaseCount() const noexcept { return static_cast<int>(databases_.size()); }
    TTARNISDatabase* Databases(int index) const;
    // Told of every database event; nothing in the program listens.
    TDBNotifyEvent OnDBNotify;

    // Gives this session's name to every database and DB dataset of the owner that names another.
    void SetSessionNames();
    // The auto-named session among the owner's components, null when none: new databases and DB datasets
    // of that owner work in it.
    static TTARNISSession* AutoSessionOf(const rtl::TComponent* owner);

    // Applies the active flag read while loading. A failure is raised.
    void Loaded() override;
    // Renames; an auto-named session takes the new name.
    void SetName(std::string name) override;

protected:
    // An auto-named session binds the databases and DB datasets inserted into its owner.
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

private:
    // Raises when another session of the owner forbids this one's auto name (all sessions: any other
    // session; otherwise an auto-named one).
    static void ValidateAutoSession(const rtl::TComponent* owner, bool allSessions,
                                    const TTARNISSession* self = nullptr);
    void Start();
    void Stop();
    void UpdateAutoSessionName();
    void ReleaseSessionNumber() noexcept;

    TTARNISSessionList* list_;
    // The default session's context is the engine's (borrowed); every other session owns its own.
    engine::TFileSession* context_ = nullptr;
    std::unique_ptr<engine::TFileSession> ownContext_;
    bool streamedActive_ = false;
    bool keepConnections_ = true;
    bool defaultSession_ = false;
    bool autoSessionName_ = false;
    bool updatingAutoName_ = false;
    std::string sessionName_;
    int sessionNumber_ = -1;
    std::string privateDir_;
    std::uint32_t lockCount_ = 0;
    std::vector<TTARNISDatabase*> databases_;

    friend class TTARNISSessionList;
};

// LockSession for a scope: every engine call that reads the current context runs under one.
class SessionLockGuard {
public:
    explicit SessionLockGuard(TTARNISSession& session) : session_(session) { session_.LockSession(); }
    ~SessionLockGuard() { session_.UnlockSession(); }
    SessionLockGuard(const SessionLockGuard&) = delete;
    SessionLockGuard& operator=(const SessionLockGuard&) = delete;

private:
    TTARNISSession& session_;
};

}  // namespace components
