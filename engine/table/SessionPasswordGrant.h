// SessionPasswordGrant: a protected table's password in the current engine session's list for one call.
#pragma once

#include <string>

#include "engine/base/EngineState.h"
#include "engine/base/FileSession.h"

namespace engine {

// While a call creates or opens a protected table on the caller's behalf (a new table opened again, a
// clone), the session's list must hold its password; a password the list lacked leaves it again at the end,
// also on failure. An empty password (an unprotected table) adds nothing.
class SessionPasswordGrant {
public:
    explicit SessionPasswordGrant(const std::string& password) : password_(password) {
        if (password_.empty()) return;
        TFileSession& session = GetEngineSession();
        if (session.FindPassword(password_)) return;
        session.AddPassword(password_);
        session_ = &session;
    }
    ~SessionPasswordGrant() {
        if (session_ != nullptr) session_->RemovePassword(password_);
    }
    SessionPasswordGrant(const SessionPasswordGrant&) = delete;
    SessionPasswordGrant& operator=(const SessionPasswordGrant&) = delete;

private:
    std::string password_;
    TFileSession* session_ = nullptr;
};

}  // namespace engine
