// TimeSource: where the controls read the current moment, so that a test can set it.
#pragma once

#include "rtl/DateTime.h"

namespace controls {

// The current local moment. The clock reads it on the GUI thread only.
class TimeSource {
public:
    virtual ~TimeSource();

    virtual rtl::TDateTime Now() const = 0;
    // Seconds from an arbitrary start that never go back, whatever the clock of the day does: what
    // measures how long something took.
    virtual double MonotonicSeconds() const = 0;

    // The time of day of Now, on 30 December 1899 (rtl::Time's form). Raises rtl::EConvertError when Now
    // lies outside the years 1 to 9999.
    rtl::TDateTime Time() const;
};

// The system clock through rtl::Now, so an rtl::FixedClock in force pins it too.
class SystemTimeSource final : public TimeSource {
public:
    rtl::TDateTime Now() const override;
    // std::chrono::steady_clock.
    double MonotonicSeconds() const override;
};

// The one system time source; it lives as long as the process.
const TimeSource& SystemTime();

}  // namespace controls
