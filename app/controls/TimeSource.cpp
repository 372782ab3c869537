#include "app/controls/TimeSource.h"

#include <chrono>

namespace controls {

TimeSource::~TimeSource() = default;

rtl::TDateTime TimeSource::Time() const {
    return rtl::DateTimeToTimeStamp(Now()).Time / double(rtl::MSecsPerDay);
}

rtl::TDateTime SystemTimeSource::Now() const {
    return rtl::Now();
}

double SystemTimeSource::MonotonicSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

const TimeSource& SystemTime() {
    static const SystemTimeSource source;
    return source;
}

}  // namespace controls
