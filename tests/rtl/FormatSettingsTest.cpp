#include "rtl/FormatSettings.h"

#include <gtest/gtest.h>

#include "CommaSettings.h"

#include <stdexcept>
#include <thread>

namespace {

using rtl_test::CommaSettings;

TEST(FormatSettings, DefaultsAreTheBuiltInUsSet) {
    const rtl::FormatSettings& d = rtl::DefaultFormatSettings();
    EXPECT_EQ(d.CurrencyString, "$");
    EXPECT_EQ(d.CurrencyFormat, 0);
    EXPECT_EQ(d.NegCurrFormat, 0);
    EXPECT_EQ(d.ThousandSeparator, ',');
    EXPECT_EQ(d.DecimalSeparator, '.');
    EXPECT_EQ(d.CurrencyDecimals, 2);
    EXPECT_EQ(d.DateSeparator, '/');
    EXPECT_EQ(d.ShortDateFormat, "M/d/yyyy");
    EXPECT_EQ(d.LongDateFormat, "dddd, MMMM dd, yyyy");
    EXPECT_EQ(d.TimeSeparator, ':');
    EXPECT_EQ(d.TimeAMString, "AM");
    EXPECT_EQ(d.TimePMString, "PM");
    EXPECT_EQ(d.ShortTimeFormat, "h:mm AMPM");
    EXPECT_EQ(d.LongTimeFormat, "h:mm:ss AMPM");
    EXPECT_EQ(d.ShortMonthNames[0], "Jan");
    EXPECT_EQ(d.LongMonthNames[11], "December");
    EXPECT_EQ(d.ShortDayNames[0], "Sun");
    EXPECT_EQ(d.LongDayNames[6], "Saturday");
    EXPECT_EQ(rtl::CurrentFormatSettings(), d);
}

TEST(FormatSettings, GuardRestoresThePreviousSetWhenTheWorkThrows) {
    rtl::CurrentFormatSettings().ShortDateFormat = "mm/dd/yy";
    const rtl::FormatSettings before = rtl::CurrentFormatSettings();
    try {
        rtl::FormatSettingsGuard guard(CommaSettings());
        EXPECT_EQ(rtl::CurrentFormatSettings().DecimalSeparator, ',');
        throw std::runtime_error("parse failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(rtl::CurrentFormatSettings(), before);
    EXPECT_EQ(rtl::CurrentFormatSettings().ShortDateFormat, "mm/dd/yy");
    rtl::CurrentFormatSettings() = rtl::DefaultFormatSettings();
}

TEST(FormatSettings, GuardsNest) {
    {
        rtl::FormatSettingsGuard outer(CommaSettings());
        {
            rtl::FormatSettings inner;
            inner.DecimalSeparator = '!';
            rtl::FormatSettingsGuard guard(inner);
            EXPECT_EQ(rtl::CurrentFormatSettings().DecimalSeparator, '!');
        }
        EXPECT_EQ(rtl::CurrentFormatSettings().DecimalSeparator, ',');
    }
    EXPECT_EQ(rtl::CurrentFormatSettings().DecimalSeparator, '.');
}

TEST(FormatSettings, EachThreadHasItsOwnSet) {
    rtl::FormatSettingsGuard guard(CommaSettings());
    char seenByOtherThread = 0;
    std::thread other([&] {
        seenByOtherThread = rtl::CurrentFormatSettings().DecimalSeparator;
        rtl::CurrentFormatSettings().DecimalSeparator = ';';  // stays in that thread
    });
    other.join();
    EXPECT_EQ(seenByOtherThread, '.');
    EXPECT_EQ(rtl::CurrentFormatSettings().DecimalSeparator, ',');
}

}  // namespace
