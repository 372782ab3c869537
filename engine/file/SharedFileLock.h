// TSharedFileLock: the reader and writer locks of a file that several programs share, the index file's and
// the large-object file's alike.
#pragma once

#include <cstdint>

#include "engine/file/FileHandler.h"
#include "engine/os/LockLayout.h"

namespace engine {

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
    const LockRetryPolicy& RetryPolicy() const noexcept { return policy_; }

private:
    std::uint16_t DrawSlot() const;

    TFileHandler& file_;
    LockRetryPolicy policy_;
    bool writeHeld_ = false;
    bool readHeld_ = false;
    std::uint16_t readSlot_ = 0;
};

}  // namespace engine
