#include "engine/file/SharedFileLock.h"

#include <utility>

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

bool TSharedFileLock::LockWrite() {
    if (writeHeld_) return true;
    const auto tryLock = [this] { return file_.LockRange(WriteLockOffset, WriteLockLength, true); };
    if (!TryWithRetries(tryLock, policy_.Retries, LockRetrySleepMs, policy_)) return false;
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
    std::uint16_t slot = 0;
    // A new byte for each try: the one just refused may stay held by another reader.
    const auto tryLock = [this, &slot] {
        slot = DrawSlot();
        return file_.LockRange(ReadLockTop - slot, 1, true);
    };
    if (!TryWithRetries(tryLock, policy_.Retries, LockRetrySleepMs, policy_)) return false;
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
