#include "rtl/NumberConvert.h"

#include <gtest/gtest.h>

#include "CommaSettings.h"

#include <cmath>
#include <optional>

#include "rtl/Exceptions.h"

namespace {

using rtl_test::CommaSettings;

TEST(NumberConvert, StrToIntAcceptsDecimalSignAndHex) {
    const struct {
        const char* text;
        std::int32_t value;
    } cases[] = {
        {"0", 0},
        {"-17", -17},
        {"+5", 5},
        {" 42 ", 42},
        {"$FF", 255},
        {"-$10", -16},
        {"0x7fffffff", 2147483647},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"007", 7},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rtl::StrToInt(c.text), c.value) << c.text;
    }
}

TEST(NumberConvert, StrToIntRejectsGarbageAndOutOfRange) {
    const char* bad[] = {"",
                         " ",
                         "+",
                         "12a",
                         "1 2",
                         "2147483648",
                         "-2147483649",
                         "$",
                         "$G",
                         "1.0",
                         "0x",
                         "$100000000",
                         "99999999999999999999999",
                         "--1",
                         "1e3"};
    for (const char* text : bad) {
        std::int32_t value = 99;
        EXPECT_FALSE(rtl::TryStrToInt(text, value)) << text;
        EXPECT_EQ(value, 99);
        EXPECT_EQ(rtl::StrToIntDef(text, -1), -1) << text;
        EXPECT_THROW(rtl::StrToInt(text), rtl::EConvertError) << text;
    }
    try {
        rtl::StrToInt("abc");
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
    }
}

TEST(NumberConvert, StrToInt64CoversTheWholeRange) {
    EXPECT_EQ(rtl::StrToInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(rtl::StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(rtl::StrToInt64("$7FFFFFFFFFFFFFFF"), INT64_MAX);
    EXPECT_THROW(rtl::StrToInt64("9223372036854775808"), rtl::EConvertError);
    EXPECT_THROW(rtl::StrToInt64("18446744073709551616"), rtl::EConvertError);
    EXPECT_EQ(rtl::StrToInt64Def("x", 5), 5);
    EXPECT_EQ(rtl::IntToStr(-42), "-42");
}

// Each text read under the default settings and under "," as the decimal separator; nullopt: fails.
struct FloatCase {
    const char* text;
    std::optional<double> us;
    std::optional<double> comma;
};

TEST(NumberConvert, StrToFloatFollowsTheDecimalSeparator) {
    const FloatCase cases[] = {
        {"1.5", 1.5, std::nullopt},
        {"1,5", std::nullopt, 1.5},
        {"-0.25", -0.25, std::nullopt},
        {"-0,25", std::nullopt, -0.25},
        {"1e3", 1000, 1000},
        {"1.5E-2", 0.015, std::nullopt},
        {"  2  ", 2, 2},
        {".5", 0.5, std::nullopt},
        {"5.", 5, std::nullopt},
        {"0.1", 0.1, std::nullopt},
        {"1.7976931348623157e308", 1.7976931348623157e308, std::nullopt},
        {"1e-400", 0, 0},
        {"1,000.5", std::nullopt, std::nullopt},
        {"1.000,5", std::nullopt, std::nullopt},
        {"1e400", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"e5", std::nullopt, std::nullopt},
        {"1e", std::nullopt, std::nullopt},
        {"1e+", std::nullopt, std::nullopt},
        {"+-1", std::nullopt, std::nullopt},
        {"NAN", std::nullopt, std::nullopt},
        {"INF", std::nullopt, std::nullopt},
        {"0x10", std::nullopt, std::nullopt},
        {"1 5", std::nullopt, std::nullopt},
    };
    const rtl::FormatSettings us;
    const rtl::FormatSettings comma = CommaSettings();
    for (const auto& c : cases) {
        double value = 0;
        EXPECT_EQ(rtl::TryStrToFloat(c.text, value, us), c.us.has_value()) << c.text;
        if (c.us) {
            EXPECT_EQ(value, *c.us) << c.text;
        }
        EXPECT_EQ(rtl::TryStrToFloat(c.text, value, comma), c.comma.has_value()) << c.text;
        if (c.comma) {
            EXPECT_EQ(value, *c.comma) << c.text;
        }
    }
    EXPECT_TRUE(std::signbit(rtl::StrToFloat("-0")));
    EXPECT_EQ(rtl::StrToFloatDef("x", 2.5), 2.5);
    try {
        rtl::StrToFloat("1,5");
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "'1,5' is not a valid floating point value");
    }
    rtl::FormatSettingsGuard guard(comma);
    EXPECT_EQ(rtl::StrToFloat("1,5"), 1.5);
    EXPECT_THROW(rtl::StrToFloat("1.5"), rtl::EConvertError);
}

TEST(NumberConvert, StrToCurrReadsExactlyAndRoundsHalfToEven) {
    const struct {
        const char* text;
        std::int64_t raw;
    } cases[] = {
        {"12.3456", 123456},
        {"12.34565", 123456},  // a tie: to even
        {"12.34575", 123458},
        {"12.345650001", 123457},
        {"0.00005", 0},
        {"0.00015", 2},
        {"-0.00015", -2},
        {"1e3", 10000000},
        {"1.5E-2", 150},
        {"922337203685477.5807", INT64_MAX},
        {"-922337203685477.5808", INT64_MIN},
        {"0.000000000000000000000001", 0},
        {"1e-100000", 0},
        {"0e100000", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rtl::StrToCurr(c.text).Raw(), c.raw) << c.text;
    }
    const char* bad[] = {
        "922337203685477.5808", "-922337203685477.5809", "1e15", "1e100000", "", "abc", "1,5", "12.3.4"};
    for (const char* text : bad) {
        rtl::Currency value = rtl::Currency::FromRaw(7);
        EXPECT_FALSE(rtl::TryStrToCurr(text, value)) << text;
        EXPECT_EQ(value.Raw(), 7);
        EXPECT_THROW(rtl::StrToCurr(text), rtl::EConvertError) << text;
    }
    EXPECT_EQ(rtl::StrToCurr("1,5", CommaSettings()).Raw(), 15000);
    EXPECT_THROW(rtl::StrToCurr("1.5", CommaSettings()), rtl::EConvertError);
    EXPECT_EQ(rtl::StrToCurrDef("x", rtl::Currency::FromRaw(3)).Raw(), 3);
}

}  // namespace
