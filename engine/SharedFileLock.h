// TSharedFileLock: the reader and writer locks of a file that several programs share, the index file's and
// the large-object file's alike.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/FileHandler.h"

namespace engine {

// Lock bytes, far above any data, where every program sharing a table looks for them: a writer
// locks 65,535 bytes from 0x7FFF0000, which cover every byte a reader may lock; a reader locks the one byte
// at 0x7FFFFFFF - r, r drawn at random from 1 to 65,534 for each try, so that readers rarely meet each other.
inline constexpr std::int64_t WriteLockOffset = 0x7FFF0000;
inline constexpr std::int64_t WriteLockLength = 65535;
inline constexpr std::int64_t ReadLockTop = 0x7FFFFFFF;
// r is drawn below this; a draw of 0 counts as 1.
inline constexpr std::int32_t ReadSlotRange = 65535;
// A lock is tried once and retried this many times, sleeping this long before each retry: about 25 seconds
// in all before the caller gives up with 10249.
inline constexpr int LockRetries = 8192;
inline constexpr int LockRetrySleepMs = 3;

// How a lock waits; tests put in fewer retries, a sleep that does not sleep and a known random source.
struct LockRetryPolicy {
    int Retries = LockRetries;
    // Called with the milliseconds to wait before each retry; engine::Delay unless replaced.
    std::function<void(int milliseconds)> Sleep;
    // rtl::Random's contract: a whole number from 0 to range - 1; rtl::Random unless replaced.
    std::function<std::int32_t(std::int32_t range)> Random;
};

// The locks one file handler holds on its file. None is taken on a file opened exclusively: the file layer
// grants every lock at once there. Every operation answers whether it succeeded; a lock already held and an
// unlock of a lock not held succeed at once.
class TSharedFileLock {
public:
    explicit TSharedFileLock(TFileHandler& file);

    bool LockWrite();
    bool UnlockWrite();
    bool LockRead();
    bool UnlockRead();

    bool WriteHeld() const noexcept { return writeHeld_; }
    bool ReadHeld() const noexcept { return readHeld_; }
    // The r of the read lock held; 0 when none is.
    std::uint16_t ReadSlot() const noexcept { return readHeld_ ? readSlot_ : 0; }

    // The file was closed, and its locks went with its descriptor.
    void Forget() noexcept;
    void SetRetryPolicy(LockRetryPolicy policy);

private:
    std::uint16_t DrawSlot() const;
    void Sleep() const;

    TFileHandler& file_;
    LockRetryPolicy policy_;
    bool writeHeld_ = false;
    bool readHeld_ = false;
    std::uint16_t readSlot_ = 0;
};

}  // namespace engine
