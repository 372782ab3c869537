#include "rtl/DateTime.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>

#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/Messages.h"

namespace rtl {

namespace {

// Days in the months of a common year; February gains one in a leap year.
constexpr std::array<int, 12> kMonthDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
// Lengths of the Gregorian cycles, in days.
constexpr int kDaysPer400Years = 146097;
constexpr int kDaysPer100Years = 36524;
constexpr int kDaysPer4Years = 1461;

bool ValidDate(int year, int month, int day) noexcept {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

std::int32_t DayNumber(int year, int month, int day) noexcept {
    const int y = year - 1;
    std::int32_t n = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m) n += DaysInMonth(year, m);
    return n + day;
}

bool ValidTime(int hour, int min, int sec, int msec) noexcept {
    return hour >= 0 && hour < HoursPerDay && min >= 0 && min < 60 && sec >= 0 && sec < 60 && msec >= 0 &&
           msec < 1000;
}

std::string Num(long long v) {
    return std::to_string(v);
}

// A double for an error message, shortest round-trip form; independent of the process locale.
std::string DoubleText(double v) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, v);
    return std::string(text, result.ptr);
}

// The moment in force of the innermost FixedClock, if any.
std::mutex gFixedMutex;
std::optional<TDateTime> gFixed;

}  // namespace

bool IsLeapYear(int year) noexcept {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) noexcept {
    if (month < 1 || month > 12) return 0;
    return kMonthDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date) noexcept {
    if (!ValidDate(year, month, day)) return false;
    date = DayNumber(year, month, day) - DateDelta;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime date;
    if (!TryEncodeDate(year, month, day, date))
        throw EConvertError(Format(kDateEncodeError, {Num(year), Num(month), Num(day)}));
    return date;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time) noexcept {
    if (!ValidTime(hour, min, sec, msec)) return false;
    time = (((hour * 60 + min) * 60 + sec) * 1000 + msec) / double(MSecsPerDay);
    return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
    TDateTime time;
    if (!TryEncodeTime(hour, min, sec, msec, time))
        throw EConvertError(Format(kTimeEncodeError, {Num(hour), Num(min), Num(sec), Num(msec)}));
    return time;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) noexcept {
    return date >= 0 ? date + time : date - time;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec,
                       TDateTime& value) noexcept {
    TDateTime date;
    TDateTime time;
    if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, min, sec, msec, time)) return false;
    value = ComposeDateTime(date, time);
    return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
    const TDateTime date = EncodeDate(year, month, day);
    return ComposeDateTime(date, EncodeTime(hour, min, sec, msec));
}

bool TryDayNumberToDate(std::int32_t dayNumber, int& year, int& month, int& day) noexcept {
    if (dayNumber < 1 || dayNumber > MaxDayNumber) return false;
    int n = dayNumber - 1;
    const int y400 = n / kDaysPer400Years;
    n %= kDaysPer400Years;
    int y100 = n / kDaysPer100Years;
    if (y100 == 4) y100 = 3;  // the last day of a 400-year cycle closes its fourth century
    n -= y100 * kDaysPer100Years;
    const int y4 = n / kDaysPer4Years;
    n %= kDaysPer4Years;
    int y1 = n / 365;
    if (y1 == 4) y1 = 3;  // the leap day closing a 4-year cycle
    n -= y1 * 365;
    year = y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1;
    month = 1;
    while (n >= DaysInMonth(year, month)) n -= DaysInMonth(year, month++);
    day = n + 1;
    return true;
}

std::int32_t DateToDayNumber(int year, int month, int day) {
    if (!ValidDate(year, month, day))
        throw EConvertError(Format(kDateEncodeError, {Num(year), Num(month), Num(day)}));
    return DayNumber(year, month, day);
}

TimeStamp DateTimeToTimeStamp(TDateTime value) {
    // Checked before any conversion to an integer, so no value (NaN, infinities) is undefined behaviour.
    if (!(value > MinDateTime - 1 && value < MaxDateTime + 1)) {
        throw EConvertError(Format(kDateTimeOutOfRange, {DoubleText(value)}));
    }
    const double whole = std::trunc(value);
    TimeStamp stamp;
    stamp.Date = static_cast<std::int32_t>(whole) + DateDelta;
    stamp.Time = static_cast<std::int32_t>(std::llround(std::fabs(value - whole) * MSecsPerDay));
    if (stamp.Time == MSecsPerDay) {  // rounded up to the next midnight
        stamp.Time = 0;
        ++stamp.Date;
    }
    if (stamp.Date < 1 || stamp.Date > MaxDayNumber) {
        throw EConvertError(Format(kDateTimeOutOfRange, {DoubleText(value)}));
    }
    return stamp;
}

TDateTime TimeStampToDateTime(const TimeStamp& stamp) {
    if (stamp.Date < 1 || stamp.Date > MaxDayNumber || stamp.Time < 0 || stamp.Time >= MSecsPerDay)
        throw EConvertError(Format(kTimeStampOutOfRange, {Num(stamp.Date), Num(stamp.Time)}));
    return ComposeDateTime(stamp.Date - DateDelta, stamp.Time / double(MSecsPerDay));
}

double TimeStampToMSecs(const TimeStamp& stamp) {
    return static_cast<double>(stamp.Date) * MSecsPerDay + stamp.Time;
}

TimeStamp MSecsToTimeStamp(double msecs) {
    constexpr double kLimit = (static_cast<double>(MaxDayNumber) + 1) * MSecsPerDay;
    if (!(msecs >= MSecsPerDay && msecs < kLimit)) {
        throw EConvertError(Format(kMSecsOutOfRange, {DoubleText(msecs)}));
    }
    const long long total = std::llround(msecs);
    TimeStamp stamp;
    stamp.Date = static_cast<std::int32_t>(total / MSecsPerDay);
    stamp.Time = static_cast<std::int32_t>(total % MSecsPerDay);
    if (stamp.Date > MaxDayNumber) throw EConvertError(Format(kMSecsOutOfRange, {DoubleText(msecs)}));
    return stamp;
}

void DecodeDate(TDateTime date, int& year, int& month, int& day) {
    TryDayNumberToDate(DateTimeToTimeStamp(date).Date, year, month, day);
}

void DecodeTime(TDateTime time, int& hour, int& min, int& sec, int& msec) {
    int ms = DateTimeToTimeStamp(time).Time;
    hour = ms / 3600000;
    ms %= 3600000;
    min = ms / 60000;
    ms %= 60000;
    sec = ms / 1000;
    msec = ms % 1000;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec) {
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, min, sec, msec);
}

int DayOfWeek(TDateTime date) {
    return DateTimeToTimeStamp(date).Date % 7 + 1;
}

TDateTime Now() {
    {
        std::lock_guard lock(gFixedMutex);
        if (gFixed) return *gFixed;
    }
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto msec = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec < 60 ? local.tm_sec : 59, static_cast<int>(msec < 0 ? 0 : msec));
}

TDateTime Date() {
    return TimeStampToDateTime({0, DateTimeToTimeStamp(Now()).Date});
}

TDateTime Time() {
    return DateTimeToTimeStamp(Now()).Time / double(MSecsPerDay);
}

FixedClock::FixedClock(TDateTime moment) {
    std::lock_guard lock(gFixedMutex);
    hadPrevious_ = gFixed.has_value();
    previous_ = gFixed.value_or(0);
    gFixed = moment;
}

FixedClock::~FixedClock() {
    std::lock_guard lock(gFixedMutex);
    if (hadPrevious_) {
        gFixed = previous_;
    } else {
        gFixed.reset();
    }
}

void FixedClock::Set(TDateTime moment) {
    std::lock_guard lock(gFixedMutex);
    gFixed = moment;
}

}  // namespace rtl
