#include "rtl/FloatFormat.h"

#include <gtest/gtest.h>

#include "CommaSettings.h"

#include <cmath>
#include <limits>

namespace {

using rtl_test::CommaSettings;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(FloatFormat, FloatToStrUsesTheGeneralFormWithFifteenDigits) {
    const struct {
        double value;
        const char* us;
        const char* comma;
    } cases[] = {
        {0, "0", "0"},
        {-0.0, "0", "0"},
        {1e15, "1E15", "1E15"},
        {999999999999999, "999999999999999", "999999999999999"},
        {1e-5, "1E-5", "1E-5"},
        {0.0001, "0.0001", "0,0001"},
        {2.5, "2.5", "2,5"},
        {-1.5, "-1.5", "-1,5"},
        {0.125, "0.125", "0,125"},
        {3528, "3528", "3528"},
        {0.1, "0.1", "0,1"},
        {1.0 / 3, "0.333333333333333", "0,333333333333333"},
        {123456789012345, "123456789012345", "123456789012345"},       // 15 digits
        {1.2345678901234567, "1.23456789012346", "1,23456789012346"},  // 17 digits
        {0.30000000000000004, "0.3", "0,3"},                           // 17 digits
        {1e20, "1E20", "1E20"},
        {-1.5e-7, "-1.5E-7", "-1,5E-7"},
        {123456.789, "123456.789", "123456,789"},
        {1.7976931348623157e308, "1.79769313486232E308", "1,79769313486232E308"},
        {kNaN, "NAN", "NAN"},
        {kInf, "INF", "INF"},
        {-kInf, "-INF", "-INF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rtl::FloatToStr(c.value, rtl::FormatSettings()), c.us) << c.value;
        EXPECT_EQ(rtl::FloatToStr(c.value, CommaSettings()), c.comma) << c.value;
    }
    rtl::FormatSettingsGuard guard(CommaSettings());
    EXPECT_EQ(rtl::FloatToStr(2.5), "2,5");
}

TEST(FloatFormat, FormatFloatMasks) {
    const struct {
        const char* mask;
        double value;
        const char* expected;
    } cases[] = {
        {"0.00", 0.125, "0.13"},  // halves away from zero
        {"0.00", -0.125, "-0.13"},
        {"0.00", 2.675, "2.68"},  // 2.67499999999999982 is 2.675 at 15 digits
        {"0.00", 3528, "3528.00"},
        {"0.00", 0, "0.00"},
        {"0.00", -0.001, "0.00"},  // no minus sign on a value shown as zero
        {"0.00", 1e-5, "0.00"},
        {"#,##0.00", 1234567.891, "1,234,567.89"},
        {"#,##0.00", 3528, "3,528.00"},
        {"#,##0.00", -1234.5, "-1,234.50"},
        {"#,##0.00", 0.5, "0.50"},
        {"#,##0.00", 999.995, "1,000.00"},
        {"0", 2.5, "3"},
        {"0", -2.5, "-3"},
        {"0", 1e15, "1000000000000000"},
        {"0", 0.4, "0"},
        {"#", 0, ""},
        {"#", 7.4, "7"},
        {"#.##", 0.5, ".5"},
        {"0.##", 1, "1"},
        {"0.0#", 1.25, "1.25"},
        {"0.0#", 1.2, "1.2"},
        {"00000", 42, "00042"},
        {"00-00", 1234, "12-34"},
        {"0", 123456, "123456"},
        {"0.00;(0.00)", -5.5, "(5.50)"},
        {"0.00;(0.00)", 5.5, "5.50"},
        {"0.00;(0.00)", 0, "0.00"},
        {"0.00;(0.00);'zero'", 0, "zero"},
        {"0.00;(0.00);'zero'", 0.001, "zero"},  // rounds to zero in its section
        {"0.00;;'zero'", -1, "-1.00"},          // an empty negative section: the first, with the sign
        {"0.00E+00", 1234.5, "1.23E+03"},
        {"0.00E-00", 1234.5, "1.23E03"},
        {"0.00E+00", 0.00012345, "1.23E-04"},
        {"0.00e+0", -0.00012345, "-1.23e-4"},
        {"0.00E+00", 0, "0.00E+00"},
        {"00.0E+0", 5, "50.0E-1"},
        {"'$'#,##0.00", 1234.5, "$1,234.50"},
        {"\"Total: \"0", 12, "Total: 12"},
        {"0';'", 5, "5;"},  // a quoted ";" separates no section
        {"##############0.00", 12.34, "12.34"},
        {"##############0", 5, "5"},
        {"", 2.5, "2.5"},
        {"0.00", kNaN, "NAN"},
        {"0.00", -kInf, "-INF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rtl::FormatFloat(c.mask, c.value, rtl::FormatSettings()), c.expected)
            << "mask " << c.mask << " value " << c.value;
    }
}

TEST(FloatFormat, FormatFloatFollowsTheSeparators) {
    const rtl::FormatSettings comma = CommaSettings();
    EXPECT_EQ(rtl::FormatFloat("#,##0.00", 1234.5, comma), "1.234,50");
    EXPECT_EQ(rtl::FormatFloat("0.00", 0.125, comma), "0,13");
    EXPECT_EQ(rtl::FormatFloat("0.00E+00", 1234.5, comma), "1,23E+03");
    rtl::FormatSettingsGuard guard(comma);
    EXPECT_EQ(rtl::FormatFloat("0.00", 3528), "3528,00");
}

TEST(FloatFormat, FloatToStrFForms) {
    const rtl::FormatSettings us;
    using F = rtl::FloatFormat;
    EXPECT_EQ(rtl::FloatToStrF(1234.5678, F::Fixed, 15, 2, us), "1234.57");
    EXPECT_EQ(rtl::FloatToStrF(-1234.5678, F::Number, 15, 2, us), "-1,234.57");
    EXPECT_EQ(rtl::FloatToStrF(1234.5678, F::Exponent, 15, 3, us), "1.23456780000000E+003");
    EXPECT_EQ(rtl::FloatToStrF(-0.00012, F::Exponent, 3, 0, us), "-1.20E-4");
    EXPECT_EQ(rtl::FloatToStrF(1234.5678, F::General, 4, 0, us), "1235");
    EXPECT_EQ(rtl::FloatToStrF(1e20, F::Fixed, 15, 2, us), "1E20");
    EXPECT_EQ(rtl::FloatToStrF(-0.001, F::Fixed, 15, 2, us), "0.00");
    EXPECT_EQ(rtl::FloatToStrF(1234.5678, F::Currency, 15, 2, us), "$1,234.57");
    rtl::FormatSettings s;
    const char* negative[] = {"($1.50)", "-$1.50",  "$-1.50",   "$1.50-",  "(1.50$)", "-1.50$",
                              "1.50-$",  "1.50$-",  "-1.50 $",  "-$ 1.50", "1.50 $-", "$ 1.50-",
                              "$ -1.50", "1.50- $", "($ 1.50)", "(1.50 $)"};
    for (int f = 0; f < 16; ++f) {
        s.NegCurrFormat = static_cast<std::uint8_t>(f);
        EXPECT_EQ(rtl::FloatToStrF(-1.5, F::Currency, 15, 2, s), negative[f]) << f;
    }
    const char* positive[] = {"$1.50", "1.50$", "$ 1.50", "1.50 $"};
    for (int f = 0; f < 4; ++f) {
        s.CurrencyFormat = static_cast<std::uint8_t>(f);
        EXPECT_EQ(rtl::FloatToStrF(1.5, F::Currency, 15, 2, s), positive[f]) << f;
    }
}

TEST(FloatFormat, CurrencyTextIsExact) {
    const rtl::FormatSettings us;
    const auto c = [](std::int64_t raw) { return rtl::Currency::FromRaw(raw); };
    EXPECT_EQ(rtl::CurrToStr(c(123400), us), "12.34");
    EXPECT_EQ(rtl::CurrToStr(c(50000), us), "5");
    EXPECT_EQ(rtl::CurrToStr(c(-1), us), "-0.0001");
    EXPECT_EQ(rtl::CurrToStr(c(0), us), "0");
    EXPECT_EQ(rtl::CurrToStr(c(INT64_MAX), us), "922337203685477.5807");
    EXPECT_EQ(rtl::CurrToStr(c(INT64_MIN), us), "-922337203685477.5808");
    EXPECT_EQ(rtl::CurrToStr(c(123400), CommaSettings()), "12,34");
    EXPECT_EQ(rtl::FormatCurr("0.00", c(123450), us), "12.35");
    EXPECT_EQ(rtl::FormatCurr("0.00", c(-50), us), "-0.01");
    EXPECT_EQ(rtl::FormatCurr("#,##0.0000", c(INT64_MAX), us), "922,337,203,685,477.5807");
    EXPECT_EQ(rtl::FormatCurr("##############0.00", c(123456), us), "12.35");
    EXPECT_EQ(rtl::FormatCurr("", c(123400), us), "12.34");
    EXPECT_EQ(rtl::CurrToStrF(c(12345678), rtl::FloatFormat::Currency, 2, us), "$1,234.57");
    EXPECT_EQ(rtl::CurrToStrF(c(INT64_MAX), rtl::FloatFormat::Fixed, 4, us), "922337203685477.5807");
}

}  // namespace
