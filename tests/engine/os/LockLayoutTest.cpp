#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "engine/os/LockLayout.h"

namespace {

using std::chrono::microseconds;

// The tries and waits of one lock: 'T' a refused try, 'L' the try that locks, and each wait in microseconds
// in brackets.
std::string Trace(int retries, int waitMs, int succeedOnTry) {
    std::string trace;
    int tries = 0;
    engine::LockRetryPolicy policy;
    policy.Sleep = [&](microseconds wait) { trace += "(" + std::to_string(wait.count()) + ")"; };
    const bool locked = engine::TryWithRetries(
        [&] {
            const bool ok = ++tries == succeedOnTry;
            trace += ok ? 'L' : 'T';
            return ok;
        },
        retries, waitMs, policy);
    EXPECT_EQ(locked, trace.back() == 'L');
    return trace;
}

TEST(LockLayoutTest, TheWaitsStartShortAndGrowToTheStepWithinTheWholeWait) {
    struct Case {
        int retries, waitMs, succeedOnTry;
        std::string trace;
    };
    const std::vector<Case> cases = {
        // No retry: one try, no wait.
        {0, 7, 0, "T"},
        {0, 7, 1, "L"},
        // Two steps of 2 ms: 0.25, 0.5, 1, 2 and the 0.25 left; no wait after the last try.
        {2, 2, 0, "T(250)T(500)T(1000)T(2000)T(250)T"},
        {2, 2, 3, "T(250)T(500)L"},
        // A step shorter than the first wait is the wait.
        {0, 0, 0, "T"},
        {3, 0, 0, "T(0)T(0)T(0)T"},
    };
    for (const Case& c : cases) EXPECT_EQ(Trace(c.retries, c.waitMs, c.succeedOnTry), c.trace) << c.retries;
}

// The longest wait is what the settings say, however long the steps: 255 steps of 65,535 ms add up in full,
// none longer than a step.
TEST(LockLayoutTest, TheWaitsAddUpToTheRetriesTimesTheStep) {
    for (const int waitMs : {1, 3, 100, 65535}) {
        microseconds waited{0};
        microseconds longest{0};
        engine::LockRetryPolicy policy;
        policy.Sleep = [&](microseconds wait) {
            waited += wait;
            longest = std::max(longest, wait);
        };
        EXPECT_FALSE(engine::TryWithRetries([] { return false; }, 255, waitMs, policy));
        EXPECT_EQ(waited, 255 * std::chrono::milliseconds(waitMs)) << waitMs;
        EXPECT_EQ(longest, std::chrono::milliseconds(waitMs)) << waitMs;
    }
}

}  // namespace
