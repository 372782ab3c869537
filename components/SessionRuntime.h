// SessionRuntime: the process's session list, default session and password hook, for the runtime's life.
#pragma once

#include <functional>
#include <memory>

#include "components/TARNISSession.h"

namespace components {

// One at a time: the program's runtime object and each component test fixture own one. The constructor
// makes the session list and the default session "Default" (not started); the destructor frees every session,
// the last first, so that the default session stops the engine after all others. It owns the engine's life
// through the default session: nothing else starts or finalizes the engine while it exists.
class SessionRuntime {
public:
    // Asked for a table's password when the session has no OnPassword handler: true to look the password up
    // again. The program installs the password dialog.
    using PasswordHook = std::function<bool(TTARNISSession&)>;

    // Raises std::logic_error when another runtime is alive.
    SessionRuntime();
    ~SessionRuntime();
    SessionRuntime(const SessionRuntime&) = delete;
    SessionRuntime& operator=(const SessionRuntime&) = delete;

    TTARNISSessionList& SessionList() noexcept { return *sessions_; }
    // Raises std::logic_error once the default session has been freed.
    TTARNISSession& DefaultSession() const;

    const PasswordHook& GetPasswordHook() const noexcept { return passwordHook_; }
    // An empty hook has every password request answered false.
    void SetPasswordHook(PasswordHook hook) { passwordHook_ = std::move(hook); }

    // The live runtime; raises std::logic_error when there is none.
    static SessionRuntime& Live();
    static bool Exists() noexcept;

private:
    std::unique_ptr<TTARNISSessionList> sessions_;
    PasswordHook passwordHook_;
};

// The live runtime's session list and default session; both raise std::logic_error without a runtime.
TTARNISSessionList& Sessions();
TTARNISSession& Session();

}  // namespace components
