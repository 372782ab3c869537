#include "engine/os/LockLayout.h"

#include <algorithm>
#include <thread>

namespace engine {

bool TryWithRetries(const std::function<bool()>& tryLock, int retries, int waitMs,
                    const LockRetryPolicy& policy) {
    using std::chrono::microseconds;
    // Kept in 64 bits: 255 retries of 65,535 ms, or 8192 of any step, overflow nothing.
    const microseconds step = std::chrono::milliseconds(std::max(waitMs, 0));
    microseconds left = step * static_cast<std::int64_t>(std::max(retries, 0));
    // A step of 0 still retries: each retry is a try with no wait before it.
    int zeroStepRetries = step.count() == 0 ? std::max(retries, 0) : 0;
    microseconds wait = std::min(FirstLockWait, step);
    for (;;) {
        if (tryLock()) return true;
        if (left.count() <= 0 && zeroStepRetries-- <= 0) return false;
        const microseconds now = std::min(wait, left);
        left -= now;
        // Another program holds the lock for a while: give up the processor instead of spinning.
        if (policy.Sleep) {
            policy.Sleep(now);
        } else if (now.count() > 0) {
            std::this_thread::sleep_for(now);
        }
        wait = std::min(wait * 2, step);
    }
}

}  // namespace engine
