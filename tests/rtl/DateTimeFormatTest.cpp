#include "rtl/DateTimeFormat.h"

#include <gtest/gtest.h>

#include "CommaSettings.h"

#include <cmath>

#include "rtl/Exceptions.h"

namespace {

using rtl_test::CommaSettings;

TEST(DateTimeFormat, EveryCode) {
    // Tuesday 5 March 2024, 14:07:09.045
    const rtl::TDateTime value = rtl::EncodeDateTime(2024, 3, 5, 14, 7, 9, 45);
    const struct {
        const char* format;
        const char* expected;
    } cases[] = {
        {"d", "5"},
        {"dd", "05"},
        {"ddd", "Tue"},
        {"dddd", "Tuesday"},
        {"ddddd", "3/5/2024"},
        {"dddddd", "Tuesday, March 05, 2024"},
        {"m", "3"},
        {"mm", "03"},
        {"mmm", "Mar"},
        {"mmmm", "March"},
        {"yy", "24"},
        {"yyyy", "2024"},
        {"h", "14"},
        {"hh", "14"},
        {"n", "7"},
        {"nn", "07"},
        {"s", "9"},
        {"ss", "09"},
        {"z", "45"},
        {"zzz", "045"},
        {"h am/pm", "2 pm"},
        {"hh AM/PM", "02 PM"},
        {"h Am/Pm", "2 Pm"},
        {"h a/p", "2 p"},
        {"h A/P", "2 P"},
        {"h ampm", "2 PM"},
        {"t", "2:07 PM"},
        {"tt", "2:07:09 PM"},
        {"c", "3/5/2024 2:07:09 PM"},
        {"", "3/5/2024 2:07:09 PM"},
        {"h:m", "14:7"},  // "m" after an hour code is the minute
        {"hh:mm:ss.zzz", "14:07:09.045"},
        {"h 'h' mm", "14 h 07"},  // literals keep the hour code in force
        {"h d m", "14 5 3"},      // another code in between: the month
        {"mm/dd/yy", "03/05/24"},
        {"YYYY-MM-DD", "2024-03-05"},
        {"DDDD", "Tuesday"},
        {"'Today is' dddd", "Today is Tuesday"},
        {"\"d\"d", "d5"},
        {"d 'of' mmmm", "5 of March"},
        {"dd/mm/yyyy hh:nn", "05/03/2024 14:07"},
        {"x=d", "x=5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rtl::FormatDateTime(c.format, value, rtl::FormatSettings()), c.expected) << c.format;
    }
}

TEST(DateTimeFormat, ClockFaces) {
    const rtl::FormatSettings us;
    const rtl::TDateTime evening = rtl::EncodeTime(21, 5, 7, 0);
    const rtl::TDateTime morning = rtl::EncodeTime(10, 0, 0, 0);
    EXPECT_EQ(rtl::FormatDateTime("h:mm:ss ampm", evening, us), "9:05:07 PM");
    EXPECT_EQ(rtl::FormatDateTime("hh:mm:ss ampm", evening, us), "09:05:07 PM");
    EXPECT_EQ(rtl::FormatDateTime("hh:mm", evening, us), "21:05");
    EXPECT_EQ(rtl::FormatDateTime("h:mm ampm", morning, us), "10:00 AM");
    EXPECT_EQ(rtl::FormatDateTime("h:mm:ss ampm", 0, us), "12:00:00 AM");
    EXPECT_EQ(rtl::FormatDateTime("h:mm:ss ampm", 0.5, us), "12:00:00 PM");
    EXPECT_EQ(rtl::TimeToStr(evening, us), "9:05:07 PM");
}

TEST(DateTimeFormat, ShortAndLongFormsFollowTheSettings) {
    const rtl::TDateTime day = rtl::EncodeDate(2024, 3, 5);
    const rtl::TDateTime moment = rtl::EncodeDateTime(2024, 3, 5, 14, 7, 9, 0);
    const rtl::FormatSettings us;
    EXPECT_EQ(rtl::DateToStr(day, us), "3/5/2024");
    EXPECT_EQ(rtl::DateTimeToStr(day, us), "3/5/2024");  // no time at midnight
    EXPECT_EQ(rtl::DateTimeToStr(moment, us), "3/5/2024 2:07:09 PM");
    const rtl::FormatSettings comma = CommaSettings();
    EXPECT_EQ(rtl::DateToStr(day, comma), "5.3.2024");
    EXPECT_EQ(rtl::DateTimeToStr(moment, comma), "5.3.2024 14:07:09");
    EXPECT_EQ(rtl::FormatDateTime("t", moment, comma), "14:07");
    rtl::FormatSettings dashes;
    dashes.DateSeparator = '-';
    dashes.TimeSeparator = '.';
    EXPECT_EQ(rtl::FormatDateTime("m/d/yyyy h:nn", moment, dashes), "3-5-2024 14.07");
    dashes.ShortDateFormat = "mm/dd/yy";
    EXPECT_EQ(rtl::DateToStr(day, dashes), "03-05-24");
    rtl::FormatSettingsGuard guard(comma);
    EXPECT_EQ(rtl::DateToStr(day), "5.3.2024");
}

TEST(DateTimeFormat, CalendarEdgesAndBadValues) {
    const rtl::FormatSettings us;
    EXPECT_EQ(rtl::FormatDateTime("yyyy-mm-dd dddd", rtl::EncodeDate(1, 1, 1), us), "0001-01-01 Monday");
    EXPECT_EQ(rtl::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", rtl::MaxDateTime, us),
              "9999-12-31 23:59:59.999");
    EXPECT_EQ(rtl::FormatDateTime("yyyy-mm-dd hh:nn", -1.25, us), "1899-12-29 06:00");
    EXPECT_THROW(rtl::FormatDateTime("yyyy", rtl::MaxDateTime + 1, us), rtl::EConvertError);
    EXPECT_THROW(rtl::FormatDateTime("yyyy", std::nan(""), us), rtl::EConvertError);
    rtl::FormatSettings looping;
    looping.ShortDateFormat = "c";  // names itself: stops without endless recursion
    EXPECT_NO_THROW(rtl::DateToStr(0, looping));
}

}  // namespace
