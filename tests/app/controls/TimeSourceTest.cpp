#include "app/controls/TimeSource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace controls {
namespace {

TEST(SystemTime, FollowsTheRuntimesClockAndGivesTheTimeOfDay) {
    const rtl::TDateTime moment = rtl::EncodeDateTime(2024, 3, 5, 21, 5, 7, 250);
    const rtl::FixedClock fixed(moment);
    EXPECT_EQ(SystemTime().Now(), moment);
    EXPECT_EQ(rtl::DateTimeToTimeStamp(SystemTime().Time()),
              rtl::DateTimeToTimeStamp(rtl::EncodeTime(21, 5, 7, 250)));
    EXPECT_LT(SystemTime().Time(), 1.0);
}

TEST(SystemTime, MonotonicSecondsGoOnWhileTheClockOfTheDayIsPinned) {
    const rtl::FixedClock fixed(rtl::EncodeDateTime(2024, 3, 5, 21, 5, 7, 250));
    const double start = SystemTime().MonotonicSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(SystemTime().MonotonicSeconds() - start, 0.015);
}

}  // namespace
}  // namespace controls
