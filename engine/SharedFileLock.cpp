#include "engine/SharedFileLock.h"

#include <utility>

#include "engine/PosixFile.h"
#include "rtl/Random.h"

namespace engine {

TSharedFileLock::TSharedFileLock(TFileHandler& file) : file_(file) {}

void TSharedFileLock::SetRetryPolicy(LockRetryPolicy policy) {
    policy_ = std::move(policy);
}

void TSharedFileLock::Forget() noexcept {
    writeHeld_ = false;
    readHeld_ = false;
    readSlot_ = 0;
}

std::uint16_t TSharedFileLock::DrawSlot() const {
    const std::int32_t drawn = policy_.Random ? policy_.Random(ReadSlotRange) : rtl::Random(ReadSlotRange);
    // Byte 0x7FFFFFFF itself is the record file's write semaphore, never a reader's; a source that breaks its
    // range still lands on a reader byte.
    return static_cast<std::uint16_t>(drawn < 1 || drawn >= ReadSlotRange ? 1 : drawn);
}

void TSharedFileLock::Sleep() const {
    if (policy_.Sleep) {
        policy_.Sleep(LockRetrySleepMs);
    } else {
        Delay(LockRetrySleepMs);
    }
}

bool TSharedFileLock::LockWrite() {
    if (writeHeld_) return true;
    for (int attempt = 0;; ++attempt) {
        if (file_.LockRange(WriteLockOffset, WriteLockLength, true)) break;
        if (attempt >= policy_.Retries) return false;
        Sleep();
    }
    writeHeld_ = true;
    return true;
}

bool TSharedFileLock::UnlockWrite() {
    if (!writeHeld_) return true;
    if (!file_.LockRange(WriteLockOffset, WriteLockLength, false)) return false;
    writeHeld_ = false;
    return true;
}

bool TSharedFileLock::LockRead() {
    if (readHeld_) return true;
    std::uint16_t slot = DrawSlot();
    for (int attempt = 0;; ++attempt) {
        if (file_.LockRange(ReadLockTop - slot, 1, true)) break;
        if (attempt >= policy_.Retries) return false;
        slot = DrawSlot();
        Sleep();
    }
    readSlot_ = slot;
    readHeld_ = true;
    return true;
}

bool TSharedFileLock::UnlockRead() {
    if (!readHeld_) return true;
    if (!file_.LockRange(ReadLockTop - readSlot_, 1, false)) return false;
    readHeld_ = false;
    readSlot_ = 0;
    return true;
}

}  // namespace engine
