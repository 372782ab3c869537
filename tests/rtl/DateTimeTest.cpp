#include "rtl/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "rtl/Exceptions.h"

namespace {

struct GoldenDay {
    int year, month, day;
    std::int32_t dayNumber;
    int dayOfWeek;  // 1 Sunday .. 7 Saturday
};

TEST(DateTime, GoldenDayNumbers) {
    const GoldenDay cases[] = {
        {1, 1, 1, 1, 2},             // Monday
        {1899, 12, 30, 693594, 7},   // the date-time's zero, a Saturday
        {1970, 1, 1, 719163, 5},     // Thursday
        {2000, 2, 29, 730179, 3},    // Tuesday
        {9999, 12, 31, 3652059, 6},  // Friday
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.year);
        EXPECT_EQ(rtl::DateToDayNumber(c.year, c.month, c.day), c.dayNumber);
        const rtl::TDateTime date = rtl::EncodeDate(c.year, c.month, c.day);
        EXPECT_EQ(date, c.dayNumber - rtl::DateDelta);
        EXPECT_EQ(rtl::DateTimeToTimeStamp(date).Date, c.dayNumber);
        EXPECT_EQ(rtl::DayOfWeek(date), c.dayOfWeek);
    }
    EXPECT_EQ(rtl::EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(rtl::EncodeDate(1, 1, 1), rtl::MinDateTime);
}

TEST(DateTime, EveryDayRoundTrips) {
    int year = 1, month = 1, day = 1;
    for (std::int32_t n = 1; n <= rtl::MaxDayNumber; ++n) {
        int y, m, d;
        ASSERT_TRUE(rtl::TryDayNumberToDate(n, y, m, d));
        ASSERT_TRUE(y == year && m == month && d == day) << n << ": " << y << "-" << m << "-" << d;
        ASSERT_EQ(rtl::DateToDayNumber(y, m, d), n);
        if (++day > rtl::DaysInMonth(year, month)) {
            day = 1;
            if (++month > 12) month = 1, ++year;
        }
    }
    int y, m, d;
    EXPECT_FALSE(rtl::TryDayNumberToDate(0, y, m, d));
    EXPECT_FALSE(rtl::TryDayNumberToDate(rtl::MaxDayNumber + 1, y, m, d));
}

TEST(DateTime, LeapYearsAndMonthLengths) {
    EXPECT_TRUE(rtl::IsLeapYear(2000));
    EXPECT_TRUE(rtl::IsLeapYear(2024));
    EXPECT_FALSE(rtl::IsLeapYear(1900));
    EXPECT_FALSE(rtl::IsLeapYear(2023));
    EXPECT_EQ(rtl::DaysInMonth(2024, 2), 29);
    EXPECT_EQ(rtl::DaysInMonth(1900, 2), 28);
    EXPECT_EQ(rtl::DaysInMonth(2023, 4), 30);
    EXPECT_EQ(rtl::DaysInMonth(2023, 12), 31);
    EXPECT_EQ(rtl::DaysInMonth(2023, 0), 0);
    EXPECT_EQ(rtl::DaysInMonth(2023, 13), 0);
}

TEST(DateTime, InvalidPartsFailCleanly) {
    const int dates[][3] = {{2023, 2, 29}, {0, 1, 1},     {10000, 1, 1},
                            {2024, 13, 1}, {2024, 4, 31}, {2024, 1, 0}};
    for (const auto& d : dates) {
        rtl::TDateTime value = 123;
        EXPECT_FALSE(rtl::TryEncodeDate(d[0], d[1], d[2], value));
        EXPECT_EQ(value, 123);
        EXPECT_THROW(rtl::EncodeDate(d[0], d[1], d[2]), rtl::EConvertError);
    }
    const int times[][4] = {{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}};
    for (const auto& t : times) {
        rtl::TDateTime value;
        EXPECT_FALSE(rtl::TryEncodeTime(t[0], t[1], t[2], t[3], value));
        EXPECT_THROW(rtl::EncodeTime(t[0], t[1], t[2], t[3]), rtl::EConvertError);
    }
    try {
        rtl::EncodeDate(2023, 2, 29);
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to date encode: year 2023, month 2, day 29");
    }
}

TEST(DateTime, TimesRoundTripToTheMillisecond) {
    EXPECT_EQ(rtl::EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(rtl::EncodeTime(6, 0, 0, 0), 0.25);
    for (int ms = 0; ms < rtl::MSecsPerDay; ms += 997) {
        const int h = ms / 3600000, n = ms / 60000 % 60, s = ms / 1000 % 60, z = ms % 1000;
        const rtl::TDateTime value = rtl::EncodeDateTime(2024, 3, 5, h, n, s, z);
        int y, mo, d, h2, n2, s2, z2;
        rtl::DecodeDateTime(value, y, mo, d, h2, n2, s2, z2);
        ASSERT_TRUE(y == 2024 && mo == 3 && d == 5 && h2 == h && n2 == n && s2 == s && z2 == z) << ms;
    }
}

TEST(DateTime, DaysBeforeTheZeroCountBackWithTheTimeRunningForward) {
    const rtl::TDateTime value = rtl::EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
    EXPECT_EQ(value, -1.25);
    int y, m, d, h, n, s, z;
    rtl::DecodeDateTime(-1.25, y, m, d, h, n, s, z);
    EXPECT_TRUE(y == 1899 && m == 12 && d == 29 && h == 6 && n == 0 && s == 0 && z == 0);
    rtl::DecodeDateTime(rtl::EncodeDateTime(1, 1, 1, 23, 59, 59, 999), y, m, d, h, n, s, z);
    EXPECT_TRUE(y == 1 && m == 1 && d == 1 && h == 23 && n == 59 && s == 59 && z == 999);
}

TEST(DateTime, RoundingToTheMillisecondCarriesIntoTheNextDay) {
    int y, m, d, h, n, s, z;
    rtl::DecodeDateTime(rtl::EncodeDate(2024, 1, 1) - 1e-10, y, m, d, h, n, s, z);
    EXPECT_TRUE(y == 2024 && m == 1 && d == 1 && h == 0 && n == 0 && s == 0 && z == 0);
    rtl::DecodeDateTime(rtl::MaxDateTime, y, m, d, h, n, s, z);
    EXPECT_TRUE(y == 9999 && m == 12 && d == 31 && h == 23 && n == 59 && s == 59 && z == 999);
}

TEST(DateTime, TimeStampsAndMilliseconds) {
    EXPECT_EQ(rtl::DateTimeToTimeStamp(0), (rtl::TimeStamp{0, 693594}));
    EXPECT_EQ(rtl::DateTimeToTimeStamp(0.5), (rtl::TimeStamp{43200000, 693594}));
    const rtl::TimeStamp stamp{45296789, 738950};  // 5 March 2024 12:34:56.789
    EXPECT_EQ(rtl::TimeStampToDateTime(stamp), rtl::EncodeDateTime(2024, 3, 5, 12, 34, 56, 789));
    EXPECT_EQ(rtl::TimeStampToMSecs(stamp), 738950.0 * 86400000 + 45296789);
    EXPECT_EQ(rtl::MSecsToTimeStamp(rtl::TimeStampToMSecs(stamp)), stamp);
    EXPECT_EQ(rtl::TimeStampToMSecs(rtl::DateTimeToTimeStamp(0)), 693594.0 * 86400000);
}

TEST(DateTime, OutOfRangeValuesFailCleanly) {
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          1e300,
                          rtl::MaxDateTime + 1,
                          rtl::MinDateTime - 1,
                          -1e300};
    for (double v : bad) {
        EXPECT_THROW(rtl::DateTimeToTimeStamp(v), rtl::EConvertError) << v;
        int y, m, d;
        EXPECT_THROW(rtl::DecodeDate(v, y, m, d), rtl::EConvertError) << v;
        EXPECT_THROW(rtl::DayOfWeek(v), rtl::EConvertError) << v;
    }
    EXPECT_THROW(rtl::TimeStampToDateTime({0, 0}), rtl::EConvertError);
    EXPECT_THROW(rtl::TimeStampToDateTime({-1, 1}), rtl::EConvertError);
    EXPECT_THROW(rtl::TimeStampToDateTime({rtl::MSecsPerDay, 1}), rtl::EConvertError);
    EXPECT_THROW(rtl::TimeStampToDateTime({0, rtl::MaxDayNumber + 1}), rtl::EConvertError);
    EXPECT_THROW(rtl::MSecsToTimeStamp(0), rtl::EConvertError);
    EXPECT_THROW(rtl::MSecsToTimeStamp(std::nan("")), rtl::EConvertError);
    EXPECT_THROW(rtl::MSecsToTimeStamp(1e30), rtl::EConvertError);
}

TEST(DateTime, FixedClockPinsTheCurrentMoment) {
    const rtl::TDateTime moment = rtl::EncodeDateTime(2025, 6, 15, 9, 5, 7, 250);
    {
        rtl::FixedClock clock(moment);
        EXPECT_EQ(rtl::Now(), moment);
        EXPECT_EQ(rtl::Date(), rtl::EncodeDate(2025, 6, 15));
        EXPECT_EQ(rtl::Time(), rtl::EncodeTime(9, 5, 7, 250));
        {
            rtl::FixedClock inner(moment + 1);
            EXPECT_EQ(rtl::Now(), moment + 1);
        }
        EXPECT_EQ(rtl::Now(), moment);
    }
    const rtl::TDateTime now = rtl::Now();
    EXPECT_GT(now, rtl::EncodeDate(2020, 1, 1));
    EXPECT_LT(now, rtl::EncodeDate(2200, 1, 1));
    EXPECT_LT(rtl::Time(), 1.0);
    EXPECT_EQ(rtl::Date(), std::floor(rtl::Date()));
}

}  // namespace
