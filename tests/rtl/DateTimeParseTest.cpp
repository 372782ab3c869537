#include "rtl/DateTimeParse.h"

#include <gtest/gtest.h>

#include "CommaSettings.h"

#include <optional>

#include "rtl/DateTimeFormat.h"
#include "rtl/Exceptions.h"

namespace {

using rtl_test::CommaSettings;

class DateTimeParse : public ::testing::Test {
protected:
    // The two-digit-year window and the year of a date without one depend on today.
    rtl::FixedClock clock_{rtl::EncodeDateTime(2025, 6, 15, 9, 0, 0, 0)};
};

struct DateCase {
    const char* text;
    std::optional<rtl::TDateTime> us;
    std::optional<rtl::TDateTime> comma;
};

TEST_F(DateTimeParse, DatesFollowTheShortDateFormatAndSeparator) {
    const auto d = [](int y, int m, int day) { return rtl::EncodeDate(y, m, day); };
    const DateCase cases[] = {
        {"3/5/2024", d(2024, 3, 5), std::nullopt},
        {"5.3.2024", std::nullopt, d(2024, 3, 5)},
        {"03/05/24", d(2024, 3, 5), std::nullopt},
        {"31.12.74", std::nullopt, d(2074, 12, 31)},  // both sides of the window in 2025
        {"1/1/75", d(1975, 1, 1), std::nullopt},
        {"12/31/74", d(2074, 12, 31), std::nullopt},
        {"1/1/00", d(2000, 1, 1), std::nullopt},
        {"1/1/0099", d(99, 1, 1), std::nullopt},  // four digits written: no window
        {"3/5", d(2025, 3, 5), std::nullopt},     // the current year
        {"5.3", std::nullopt, d(2025, 3, 5)},
        {" 3 / 5 / 2024 ", d(2024, 3, 5), std::nullopt},
        {"2/29/2024", d(2024, 2, 29), std::nullopt},
        {"2/29/2023", std::nullopt, std::nullopt},
        {"13/1/2024", std::nullopt, std::nullopt},
        {"3-5-2024", std::nullopt, std::nullopt},
        {"3/5/2024x", std::nullopt, std::nullopt},
        {"3/5/20245", std::nullopt, std::nullopt},
        {"3/5/", std::nullopt, std::nullopt},
        {"3", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"3/5/2024 10:00", std::nullopt, std::nullopt},  // a date only
    };
    const rtl::FormatSettings us;
    const rtl::FormatSettings comma = CommaSettings();
    for (const auto& c : cases) {
        rtl::TDateTime value = -7;
        EXPECT_EQ(rtl::TryStrToDate(c.text, value, us), c.us.has_value()) << c.text;
        if (c.us) {
            EXPECT_EQ(value, *c.us) << c.text;
        }
        EXPECT_EQ(rtl::TryStrToDate(c.text, value, comma), c.comma.has_value()) << c.text;
        if (c.comma) {
            EXPECT_EQ(value, *c.comma) << c.text;
        }
    }
    rtl::FormatSettings ymd;
    ymd.ShortDateFormat = "yyyy/mm/dd";
    EXPECT_EQ(rtl::StrToDate("2024/3/5", ymd), d(2024, 3, 5));
    EXPECT_EQ(rtl::StrToDate("3/5", ymd), d(2025, 3, 5));
    rtl::FormatSettings century = us;
    century.TwoDigitYearCenturyWindow = 0;
    EXPECT_EQ(rtl::StrToDate("1/1/75", century), d(2075, 1, 1));
    rtl::FormatSettings program = us;
    program.ShortDateFormat = "mm/dd/yy";
    EXPECT_EQ(rtl::StrToDate(rtl::DateToStr(d(2024, 12, 31), program), program), d(2024, 12, 31));
}

TEST_F(DateTimeParse, TwoDigitYearWindow) {
    EXPECT_EQ(rtl::ExpandTwoDigitYear(74, 2025, 50), 2074);
    EXPECT_EQ(rtl::ExpandTwoDigitYear(75, 2025, 50), 1975);
    EXPECT_EQ(rtl::ExpandTwoDigitYear(0, 2025, 50), 2000);
    EXPECT_EQ(rtl::ExpandTwoDigitYear(99, 2025, 50), 1999);
    EXPECT_EQ(rtl::ExpandTwoDigitYear(30, 2025, 0), 2030);
    EXPECT_EQ(rtl::ExpandTwoDigitYear(99, 2025, 0), 2099);
    EXPECT_EQ(rtl::ExpandTwoDigitYear(23, 2025, 1), 2123);  // the window runs from 2024 to 2123
}

TEST_F(DateTimeParse, Times) {
    const auto t = [](int h, int n, int s, int z) { return rtl::EncodeTime(h, n, s, z); };
    const struct {
        const char* text;
        std::optional<rtl::TDateTime> value;
    } cases[] = {
        {"14:07", t(14, 7, 0, 0)},
        {"14:07:09", t(14, 7, 9, 0)},
        {"2:07 PM", t(14, 7, 0, 0)},
        {"2:07:09 pm", t(14, 7, 9, 0)},
        {"PM 2:07", t(14, 7, 0, 0)},
        {"2 PM", t(14, 0, 0, 0)},
        {"12:00 AM", t(0, 0, 0, 0)},
        {"12:00 PM", t(12, 0, 0, 0)},
        {"12:30 am", t(0, 30, 0, 0)},
        {"10:30:15.5", t(10, 30, 15, 500)},  // a fraction of a second
        {"10:30:15.045", t(10, 30, 15, 45)},
        {" 9 : 05 ", t(9, 5, 0, 0)},
        {"14", std::nullopt},
        {"24:00", std::nullopt},
        {"13:00 PM", std::nullopt},
        {"0:00 AM", std::nullopt},
        {"10:60", std::nullopt},
        {"10:30:15.0455", std::nullopt},
        {"10:30:", std::nullopt},
        {"10:30 XM", std::nullopt},
        {"", std::nullopt},
    };
    const rtl::FormatSettings us;
    for (const auto& c : cases) {
        rtl::TDateTime value = -7;
        EXPECT_EQ(rtl::TryStrToTime(c.text, value, us), c.value.has_value()) << c.text;
        if (c.value) {
            EXPECT_EQ(value, *c.value) << c.text;
        }
    }
    const rtl::FormatSettings comma = CommaSettings();
    EXPECT_EQ(rtl::StrToTime("10:30:15,5", comma), t(10, 30, 15, 500));
    EXPECT_THROW(rtl::StrToTime("10:30:15.5", comma), rtl::EConvertError);
    rtl::FormatSettings german;
    german.TimeAMString = "vorm.";
    german.TimePMString = "nachm.";
    EXPECT_EQ(rtl::StrToTime("9:00 nachm.", german), t(21, 0, 0, 0));
    EXPECT_EQ(rtl::StrToTime("9:00 AM", german), t(9, 0, 0, 0));
}

TEST_F(DateTimeParse, DatesWithTimes) {
    const rtl::FormatSettings us;
    EXPECT_EQ(rtl::StrToDateTime("3/5/2024 2:07:09 PM", us), rtl::EncodeDateTime(2024, 3, 5, 14, 7, 9, 0));
    EXPECT_EQ(rtl::StrToDateTime("3/5/2024", us), rtl::EncodeDate(2024, 3, 5));
    EXPECT_EQ(rtl::StrToDateTime("14:07", us), rtl::EncodeTime(14, 7, 0, 0));
    EXPECT_EQ(rtl::StrToDateTime("12/29/1899 6:00", us), -1.25);
    EXPECT_THROW(rtl::StrToDateTime("3/5/2024 xx", us), rtl::EConvertError);
    EXPECT_THROW(rtl::StrToDateTime("5.3.2024 14:07", us), rtl::EConvertError);
    EXPECT_EQ(rtl::StrToDateTime("5.3.2024 14:07", CommaSettings()),
              rtl::EncodeDateTime(2024, 3, 5, 14, 7, 0, 0));
    // What the settings print, they read back.
    const rtl::TDateTime moments[] = {rtl::EncodeDateTime(2024, 3, 5, 14, 7, 9, 0),
                                      rtl::EncodeDate(2024, 3, 5), rtl::EncodeDateTime(1, 1, 1, 0, 0, 1, 0),
                                      rtl::EncodeDateTime(9999, 12, 31, 23, 59, 59, 0), -1.25};
    for (const rtl::FormatSettings& s : {us, CommaSettings()}) {
        for (rtl::TDateTime m : moments) {
            EXPECT_EQ(rtl::StrToDateTime(rtl::DateTimeToStr(m, s), s), m) << rtl::DateTimeToStr(m, s);
        }
    }
}

TEST_F(DateTimeParse, FailuresSayWhatFailed) {
    const struct {
        rtl::TDateTime (*convert)(std::string_view);
        const char* message;
    } cases[] = {
        {rtl::StrToDate, "'abc' is not a valid date"},
        {rtl::StrToTime, "'abc' is not a valid time"},
        {rtl::StrToDateTime, "'abc' is not a valid date and time"},
    };
    for (const auto& c : cases) {
        try {
            c.convert("abc");
            ADD_FAILURE() << c.message;
        } catch (const rtl::EConvertError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
    EXPECT_EQ(rtl::StrToDateDef("abc", 1.0), 1.0);
    EXPECT_EQ(rtl::StrToTimeDef("abc", 0.5), 0.5);
    EXPECT_EQ(rtl::StrToDateTimeDef("abc", 2.0), 2.0);
    rtl::FormatSettingsGuard guard(CommaSettings());
    EXPECT_EQ(rtl::StrToDate("5.3.2024"), rtl::EncodeDate(2024, 3, 5));
    EXPECT_THROW(rtl::StrToDate("3/5/2024"), rtl::EConvertError);
}

}  // namespace
