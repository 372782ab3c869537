#include "engine/os/LockLayout.h"

#include "engine/os/PosixFile.h"

namespace engine {

bool TryWithRetries(const std::function<bool()>& tryLock, int retries, int waitMs,
                    const LockRetryPolicy& policy) {
    // Counted in an int: a count kept in a byte would never reach 255 retries and wait for ever.
    for (int failed = 0;; ++failed) {
        if (tryLock()) return true;
        if (failed >= retries) return false;
        // Another program holds the lock for a while: give up the processor instead of spinning.
        if (policy.Sleep) {
            policy.Sleep(waitMs);
        } else {
            Delay(waitMs);
        }
    }
}

}  // namespace engine
