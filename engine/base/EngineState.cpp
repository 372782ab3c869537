#include "engine/base/EngineState.h"

#include "engine/base/EngineError.h"
#include "rtl/Random.h"

namespace engine {

namespace {

// All engine work runs on the program's one GUI thread; the session components switch the current
// session under their own lock. So this state needs no lock of its own.
bool started = false;
TFileSession* currentSession = nullptr;
std::unique_ptr<TFileSession> globalSession;
bool randomSeeded = false;

// The engine's one seeding of the runtime's random generator, from which the lock protocol draws its reader
// slots: once per process, when the engine first starts. A test that needs a fixed sequence seeds the
// generator after starting the engine.
void SeedRandomGenerator() {
    rtl::Randomize();
}

}  // namespace

bool EngineStarted() noexcept {
    return started;
}

void InitializeEngine() {
    if (started) return;
    if (!randomSeeded) {
        SeedRandomGenerator();
        randomSeeded = true;
    }
    globalSession = std::make_unique<TFileSession>();
    currentSession = globalSession.get();
    started = true;
}

void FinalizeEngine() noexcept {
    if (!started) return;
    globalSession.reset();
    currentSession = nullptr;
    started = false;
}

TFileSession& GetEngineSession() {
    if (!started || currentSession == nullptr) RaiseEngineError(ErrEngineNotInitialized);
    return *currentSession;
}

TFileSession* CurrentEngineSession() noexcept {
    return currentSession;
}

void SetEngineSession(TFileSession* session) noexcept {
    currentSession = session;
}

void SetSessionDirectory(std::string_view directory) {
    GetEngineSession().SetDirectory(directory);
}

std::string GetSessionDirectory() {
    return GetEngineSession().Directory();
}

std::unique_ptr<TFileSession> CreateFileSession() {
    return std::make_unique<TFileSession>();
}

void FreeFileSession(std::unique_ptr<TFileSession>& session) noexcept {
    session.reset();
}

std::recursive_mutex& FileCriticalSection() noexcept {
    static std::recursive_mutex section;
    return section;
}

std::recursive_mutex& FormatCriticalSection() noexcept {
    static std::recursive_mutex section;
    return section;
}

}  // namespace engine
