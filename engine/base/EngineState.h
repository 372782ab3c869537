// The engine's process-wide state: whether it is started, the current engine session and the critical
// sections.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/base/FileSession.h"

namespace engine {

bool EngineStarted() noexcept;
// Starts the engine with its global engine session as the current one; does nothing when started.
void InitializeEngine();
// Frees the global engine session (not a session of the caller's that is current), leaves no session
// current and marks the engine stopped; does nothing when stopped.
void FinalizeEngine() noexcept;

// The current engine session; raises 10758 when the engine is not started or no session is current.
TFileSession& GetEngineSession();
// The current engine session, or null.
TFileSession* CurrentEngineSession() noexcept;
// Makes the session current; null leaves none current.
void SetEngineSession(TFileSession* session) noexcept;

// The current session's private directory; both raise 10758 when the engine is not started.
void SetSessionDirectory(std::string_view directory);
std::string GetSessionDirectory();

std::unique_ptr<TFileSession> CreateFileSession();
void FreeFileSession(std::unique_ptr<TFileSession>& session) noexcept;

// Starts the engine for its lifetime: the runtime object of the program and each engine test own one.
class EngineGuard {
public:
    EngineGuard() { InitializeEngine(); }
    ~EngineGuard() { FinalizeEngine(); }
    EngineGuard(const EngineGuard&) = delete;
    EngineGuard& operator=(const EngineGuard&) = delete;
};

// Around every call into in-memory files and their lists, and around probing in-memory temporary names.
std::recursive_mutex& FileCriticalSection() noexcept;
// Around each copy to or from the runtime's number and date format settings.
std::recursive_mutex& FormatCriticalSection() noexcept;

class FileSectionGuard {
public:
    FileSectionGuard() : lock_(FileCriticalSection()) {}

private:
    std::lock_guard<std::recursive_mutex> lock_;
};

class FormatSectionGuard {
public:
    FormatSectionGuard() : lock_(FormatCriticalSection()) {}

private:
    std::lock_guard<std::recursive_mutex> lock_;
};

}  // namespace engine
