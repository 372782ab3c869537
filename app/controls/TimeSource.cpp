#include "app/controls/TimeSource.h"

namespace controls {

TimeSource::~TimeSource() = default;

rtl::TDateTime TimeSource::Time() const {
    return rtl::DateTimeToTimeStamp(Now()).Time / double(rtl::MSecsPerDay);
}

rtl::TDateTime SystemTimeSource::Now() const {
    return rtl::Now();
}

const TimeSource& SystemTime() {
    static const SystemTimeSource source;
    return source;
}

}  // namespace controls
