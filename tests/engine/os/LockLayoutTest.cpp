#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/os/LockLayout.h"

namespace {

// The tries and sleeps of one lock: 'T' a refused try, 'S' a sleep, 'L' the try that locks.
std::string Trace(int retries, int succeedOnTry) {
    std::string trace;
    int tries = 0;
    engine::LockRetryPolicy policy;
    policy.Sleep = [&](int milliseconds) {
        EXPECT_EQ(milliseconds, 7);
        trace += 'S';
    };
    const bool locked = engine::TryWithRetries(
        [&] {
            const bool ok = ++tries == succeedOnTry;
            trace += ok ? 'L' : 'T';
            return ok;
        },
        retries, 7, policy);
    EXPECT_EQ(locked, trace.back() == 'L');
    return trace;
}

TEST(LockLayoutTest, ALockIsTriedOnceAndRetriedWithASleepBeforeEachRetryOnly) {
    struct Case {
        int retries, succeedOnTry;
        std::string trace;
    };
    const std::vector<Case> cases = {
        {0, 0, "T"}, {0, 1, "L"}, {3, 0, "TSTSTST"}, {3, 3, "TSTSL"}, {3, 4, "TSTSTSL"},
    };
    for (const Case& c : cases) EXPECT_EQ(Trace(c.retries, c.succeedOnTry), c.trace) << c.retries;
    // 255 retries end: 256 tries and 255 sleeps.
    const std::string many = Trace(255, 0);
    EXPECT_EQ(std::count(many.begin(), many.end(), 'T'), 256);
    EXPECT_EQ(std::count(many.begin(), many.end(), 'S'), 255);
}

}  // namespace
