#include "engine/base/FileSession.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "engine/base/EngineState.h"
#include "engine/base/EngineStrings.h"
#include "engine/os/PosixFile.h"

namespace engine {

namespace {

std::int64_t SystemThreadId() {
    return static_cast<std::int64_t>(gettid());
}

ThreadIdSource threadIdSource = SystemThreadId;

// Temporary names start with at most this many digits of the thread id.
constexpr std::size_t ThreadPrefixLength = 5;
// The counter is 16 bits wide.
constexpr std::uint32_t LastCounter = 0xFFFF;

std::string ThreadPrefix() {
    const std::int64_t id = threadIdSource();
    // The magnitude, computed without negating the most negative value.
    const std::uint64_t magnitude =
        id < 0 ? 0 - static_cast<std::uint64_t>(id) : static_cast<std::uint64_t>(id);
    return std::to_string(magnitude).substr(0, ThreadPrefixLength);
}

}  // namespace

ThreadIdSource SetThreadIdSource(ThreadIdSource source) noexcept {
    const ThreadIdSource previous = threadIdSource;
    threadIdSource = source != nullptr ? source : SystemThreadId;
    return previous;
}

TFileSession::TFileSession() = default;

TFileSession::~TFileSession() {
    if (CurrentEngineSession() == this) SetEngineSession(nullptr);
}

void TFileSession::SetDirectory(std::string_view directory) {
    directory_ = ShortString(directory);
}

void TFileSession::AddPassword(std::string_view password) {
    if (!FindPassword(password)) passwords_.Add(password);
}

std::string TFileSession::GetTempFileName(bool inMemory) {
    const std::string directory =
        AddTrailingBackslash(directory_.empty() && !inMemory ? CurrentDirectory() : directory_);
    const std::string prefix = directory + ThreadPrefix();
    // In-memory names are probed under the file lock; disk names are reserved by the file system itself.
    std::unique_lock<std::recursive_mutex> lock(FileCriticalSection(), std::defer_lock);
    if (inMemory) lock.lock();
    std::string candidate;
    for (std::uint32_t counter = 0; counter <= LastCounter; ++counter) {
        candidate = prefix + std::to_string(counter) + ".DAT";
        // A longer name would have to be cut, and the cut name could be somebody's existing file.
        if (candidate.size() > MaxShortString) RaiseEngineError(ErrInvalidPath, candidate);
        if (inMemory) {
            if (!memoryFiles_.FileExists(candidate)) return candidate;
            continue;
        }
        const int result = ReserveNewFile(candidate);
        if (result == 0) return candidate;
        if (result != -EEXIST) {
            SetOsErrorContext(-result);
            RaiseEngineError(ErrOsError, candidate);
        }
    }
    SetOsErrorContext(EEXIST);
    RaiseEngineError(ErrOsError, candidate);
}

}  // namespace engine
