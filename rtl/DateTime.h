// Date-time values: calendar arithmetic, encoding and decoding, day numbers and the current moment.
#pragma once

#include <cstdint>

namespace rtl {

// Days since 30 December 1899 00:00; the fraction is the time of day. Before that day the whole part
// counts days back while the fraction still runs forward from midnight (-1.25 is 29 December 1899 06:00).
using TDateTime = double;

inline constexpr int HoursPerDay = 24;
inline constexpr int MinsPerDay = HoursPerDay * 60;
inline constexpr int SecsPerDay = MinsPerDay * 60;
inline constexpr int MSecsPerDay = SecsPerDay * 1000;
// Day number (1 January of year 1 is day 1) of 30 December 1899, the date-time's zero.
inline constexpr int DateDelta = 693594;
// Day number of 31 December 9999, the last day a date-time can hold.
inline constexpr int MaxDayNumber = 3652059;
// 1 January 0001 00:00 and 31 December 9999 23:59:59.999.
inline constexpr TDateTime MinDateTime = 1 - DateDelta;
inline constexpr TDateTime MaxDateTime = (MaxDayNumber - DateDelta) + (MSecsPerDay - 1) / double(MSecsPerDay);

// A moment as the table engine stores it: the day number and the milliseconds since midnight.
struct TimeStamp {
    std::int32_t Time = 0;  // 0 .. MSecsPerDay - 1
    std::int32_t Date = 0;  // 1 .. MaxDayNumber
    bool operator==(const TimeStamp&) const = default;
};

bool IsLeapYear(int year) noexcept;
// Days of a month of the year; 0 for a month outside 1 .. 12.
int DaysInMonth(int year, int month) noexcept;

// Years run from 1 to 9999. The Try forms return false for parts that name no day or time; the others
// raise EConvertError.
bool TryEncodeDate(int year, int month, int day, TDateTime& date) noexcept;
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time) noexcept;
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec,
                       TDateTime& value) noexcept;
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
// The moment of a date at a time of day, in the date-time's representation (see TDateTime).
TDateTime ComposeDateTime(TDateTime date, TDateTime time) noexcept;

// Decoding rounds to the nearest millisecond. A value outside MinDateTime .. MaxDateTime (or not a number)
// raises EConvertError.
void DecodeDate(TDateTime date, int& year, int& month, int& day);
void DecodeTime(TDateTime time, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec);
// 1 for Sunday .. 7 for Saturday.
int DayOfWeek(TDateTime date);

// Day numbers: 1 January of year 1 is day 1 (proleptic Gregorian calendar).
bool TryDayNumberToDate(std::int32_t dayNumber, int& year, int& month, int& day) noexcept;
std::int32_t DateToDayNumber(int year, int month, int day);  // raises EConvertError for an invalid date

// Between date-times, time stamps and the engine's millisecond counts (day number x MSecsPerDay + the
// milliseconds of the day). Every out-of-range value raises EConvertError.
TimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TimeStamp& stamp);
double TimeStampToMSecs(const TimeStamp& stamp);
TimeStamp MSecsToTimeStamp(double msecs);

// The local date and time of day, from the system clock unless a FixedClock is in force.
TDateTime Now();
TDateTime Date();  // today at 00:00
TDateTime Time();  // the time of day on 30 December 1899

// Pins Now, Date and Time to one moment on every thread while it lives, so that whatever reads the
// clock can be tested repeatably. Guards nest; the most recent one is in force.
class FixedClock {
public:
    explicit FixedClock(TDateTime moment);
    ~FixedClock();
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
    void Set(TDateTime moment);

private:
    bool hadPrevious_;
    TDateTime previous_;
};

}  // namespace rtl
