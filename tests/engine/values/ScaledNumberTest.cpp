#include "engine/values/ScaledNumber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "rtl/Exceptions.h"
#include "rtl/FloatFormat.h"
#include "rtl/NumberConvert.h"
#include "tests/rtl/CommaSettings.h"

namespace {

using rtl::Currency;

Currency Curr(const char* text) {
    return rtl::StrToCurr(text, rtl::DefaultFormatSettings());
}

// The value rows of the scaled form, as currency and as float.
const struct {
    const char* value;
    int scale;
    std::int64_t stored;
    const char* readBack;  // the value the stored form stands for
} kRows[] = {
    {"12.34", 2, 12342, "12.34"},
    {"-12.34", 2, -12342, "-12.34"},
    {"12.3", 2, 12302, "12.3"},
    {"0", 2, 2, "0"},
    {"5", 0, 50, "5"},
    {"7", 1, 701, "7"},
    {"0.005", 2, 12, "0.01"},
    {"-2.5", 0, -30, "-3"},
    {"1234.5678", 4, 123456784, "1234.5678"},
    {"1234.5678", 6, 12345678006, "1234.5678"},
    {"-0.004", 2, 2, "0"},  // rounds to zero, which carries no sign
};

class ScaledNumberTest : public ::testing::TestWithParam<bool> {
protected:
    ScaledNumberTest() : settings_(GetParam() ? rtl_test::CommaSettings() : rtl::DefaultFormatSettings()) {}
    rtl::FormatSettingsGuard settings_;
};

TEST_P(ScaledNumberTest, CurrencyRowsAndBack) {
    for (const auto& row : kRows) {
        const auto stored = engine::CurrToScaledInt(row.scale, Curr(row.value));
        ASSERT_TRUE(stored.has_value()) << row.value;
        EXPECT_EQ(*stored, row.stored) << row.value;
        EXPECT_EQ(engine::ScaledIntToCurr(*stored), Curr(row.readBack)) << row.value;
        EXPECT_EQ(engine::ScaledIntToFloat(*stored), std::strtod(row.readBack, nullptr)) << row.value;
    }
}

TEST_P(ScaledNumberTest, FloatRowsFollowRoundFloat) {
    for (const auto& row : kRows) {
        const double value = std::strtod(row.value, nullptr);
        const std::int64_t expected = std::string_view(row.value) == "0.005" ? 2 : row.stored;
        EXPECT_EQ(engine::FloatToScaledInt(row.scale, value), expected) << row.value;
    }
}

// FloatToScaledInt takes the digits FormatFloat prints for the rounded value under the mask of the scale.
TEST_P(ScaledNumberTest, FloatDigitsAreThoseFormatFloatPrints) {
    const double values[] = {0.125, 2.675, 1.005, -1.005, 123456.789, 0.1 + 0.2, 1e15 / 3, 99.995, -0.0049};
    for (const double value : values) {
        for (int scale = 0; scale <= engine::MaxScale; ++scale) {
            const double rounded = engine::RoundFloat(scale, value);
            std::string digits;
            for (const char c : rtl::FormatFloat(engine::BuildFormatMask(scale), rounded)) {
                if (c >= '0' && c <= '9') digits += c;
            }
            const auto stored = engine::FloatToScaledInt(scale, value);
            if (digits.size() > 18) continue;  // beyond the stored form's reach
            ASSERT_TRUE(stored.has_value()) << value << " at " << scale;
            const std::int64_t count = std::strtoll(digits.c_str(), nullptr, 10);
            EXPECT_EQ(std::llabs(*stored), count * 10 + scale) << value << " at " << scale;
        }
    }
}

TEST_P(ScaledNumberTest, TextUsesTheDecimalSeparator) {
    const std::string point(1, rtl::CurrentFormatSettings().DecimalSeparator);
    EXPECT_EQ(engine::ScaledIntToStr(12), "0" + point + "01");
    EXPECT_EQ(engine::ScaledIntToStr(122), "0" + point + "12");
    EXPECT_EQ(engine::ScaledIntToStr(12342), "12" + point + "34");
    EXPECT_EQ(engine::ScaledIntToStr(12302), "12" + point + "3");
    EXPECT_EQ(engine::ScaledIntToStr(-30), "-3");
    EXPECT_EQ(engine::ScaledIntToStr(2), "0");
    EXPECT_EQ(engine::ScaledIntToStr(-2), "0");
    EXPECT_EQ(engine::ScaledIntToStr(INT64_MIN), "-9223372036" + point + "8547758");
    EXPECT_EQ(engine::ScaledIntToStr(INT64_MAX), "92233720368" + point + "547758");
    EXPECT_EQ(engine::ScaledIntToFloat(122), 0.12);
}

INSTANTIATE_TEST_SUITE_P(PointAndComma, ScaledNumberTest, ::testing::Bool());

TEST(ScaledNumber, ExtremesReadBackExactly) {
    // 18 digits at scale 4: 12345678901234.5678
    const auto stored = engine::CurrToScaledInt(4, Currency::FromRaw(123456789012345678));
    EXPECT_EQ(stored, 1234567890123456784);
    EXPECT_EQ(engine::ScaledIntToCurr(1234567890123456784), Currency::FromRaw(123456789012345678));
    EXPECT_EQ(engine::ScaledIntToFloat(1234567890123456784), 12345678901234.5678);

    EXPECT_EQ(engine::ScaledIntToFloat(INT64_MAX),
              92233720368.5477580);  // digits 922337203685477580, scale 7
    EXPECT_EQ(engine::ScaledIntToFloat(INT64_MIN),
              -9223372036.85477580);  // digits 922337203685477580, scale 8
    EXPECT_EQ(engine::ScaledIntToFloat(9223372036854775800), 922337203685477580.0);
    // Above scale 4 currency rounds half to even.
    EXPECT_EQ(engine::ScaledIntToCurr(INT64_MAX), Currency::FromRaw(922337203685478));
    EXPECT_EQ(engine::ScaledIntToCurr(INT64_MIN), Currency::FromRaw(-92233720368548));
    EXPECT_EQ(engine::ScaledIntToCurr(1255), Currency::FromRaw(12));  // 0.00125 to 0.0012
    EXPECT_EQ(engine::ScaledIntToCurr(1355), Currency::FromRaw(14));  // 0.00135 to 0.0014

    // Currency's largest values fit at small scales only.
    const Currency max = Currency::FromRaw(INT64_MAX);
    EXPECT_EQ(engine::CurrToScaledInt(0, max), 9223372036854780);
    EXPECT_FALSE(engine::CurrToScaledInt(4, max).has_value());
    EXPECT_FALSE(engine::CurrToScaledInt(9, Curr("1000000000")).has_value());
    EXPECT_EQ(engine::CurrToScaledInt(0, Currency::FromRaw(INT64_MIN)), -9223372036854780);

    // A stored value beyond currency does not read back as currency.
    Currency value = Curr("7");
    EXPECT_FALSE(engine::TryScaledIntToCurr(9223372036854775800, value));
    EXPECT_EQ(value, Curr("7"));
    EXPECT_THROW(engine::ScaledIntToCurr(9223372036854775800), rtl::EOverflow);
}

TEST(ScaledNumber, ComparedWithCurrencyByValueWhateverTheScale) {
    const struct {
        std::int64_t scaled;
        const char* value;
        int order;
    } cases[] = {
        {0, "0", 0},  // a blank field: 0 at scale 0
        {2, "0", 0},  // 0 at scale 2
        {0, "0.01", -1},
        {0, "-0.01", 1},
        {12342, "12.34", 0},
        {12342, "12.35", -1},
        {1234004, "12.34", 0},  // the same value at scale 4
        {-12342, "-12.34", 0},
        {-12342, "-12.33", -1},
        {19, "0", 1},  // 0.000000001 at scale 9
        {-19, "0", -1},
        {INT64_MAX, "92233720368.5477", 1},  // 92233720368.5477580 at scale 7
        {INT64_MAX, "92233720368.5478", -1},
        {INT64_MIN, "-9223372036.8548", 1},  // -9223372036.85477580 at scale 8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(engine::CompareScaledIntWithCurr(c.scaled, Curr(c.value)), c.order)
            << c.scaled << " " << c.value;
    }
    EXPECT_EQ(engine::CompareScaledIntWithCurr(9223372036854775800, Currency::FromRaw(INT64_MAX)), 1);
    EXPECT_EQ(engine::CompareScaledIntWithCurr(-9223372036854775800, Currency::FromRaw(INT64_MIN)), -1);
}

// The double nearest digits / 10^scale, checked against the C library's correctly rounded reading.
TEST(ScaledNumber, FloatIsTheNearestDouble) {
    std::mt19937_64 random(20240307);
    for (int i = 0; i < 20000; ++i) {
        std::int64_t scaled = static_cast<std::int64_t>(random());
        if (i % 3 == 0) scaled >>= random() % 60;  // shorter numbers too
        const std::uint64_t magnitude = scaled < 0 ? 0 - static_cast<std::uint64_t>(scaled) : scaled;
        const std::string digits = std::to_string(magnitude / 10);
        const std::string text = (scaled < 0 ? "-" : "") + digits + "e-" + std::to_string(magnitude % 10);
        const double expected = magnitude / 10 == 0 ? 0.0 : std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(engine::ScaledIntToFloat(scaled), expected) << scaled;
    }
}

TEST(ScaledNumber, UnrepresentableValuesFail) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(engine::FloatToScaledInt(0, 1e300).has_value());
    EXPECT_FALSE(engine::FloatToScaledInt(2, std::nan("")).has_value());
    EXPECT_FALSE(engine::FloatToScaledInt(2, inf).has_value());
    EXPECT_FALSE(engine::FloatToScaledInt(2, -inf).has_value());
    EXPECT_FALSE(engine::FloatToScaledInt(0, 1e19).has_value());
    EXPECT_FALSE(engine::FloatToScaledInt(10, 1.0).has_value());
    EXPECT_FALSE(engine::CurrToScaledInt(-1, Curr("1")).has_value());
    EXPECT_EQ(engine::FloatToScaledInt(0, 9e17), 9000000000000000000);
    EXPECT_EQ(engine::FloatToScaledInt(9, -1.5), -15000000009);
}

TEST(ScaledNumber, RoundFloat) {
    EXPECT_EQ(engine::RoundFloat(1, 0.25), 3 * 0.1);  // the double next to 0.3
    EXPECT_NE(engine::RoundFloat(1, 0.25), 0.3);
    EXPECT_EQ(engine::RoundFloat(0, -0.5), -1.0);
    EXPECT_EQ(engine::RoundFloat(0, 2.5), 3.0);
    EXPECT_EQ(engine::RoundFloat(0, -2.4), -2.0);
    EXPECT_EQ(engine::RoundFloat(2, 0.005), 0.0);  // 0.005 / 0.01 lies below one half
    EXPECT_EQ(engine::RoundFloat(2, 1.234), 123 * engine::FloatPower(2, 0.1));
    EXPECT_TRUE(std::signbit(engine::RoundFloat(2, -0.0)));
    EXPECT_TRUE(std::isnan(engine::RoundFloat(2, std::nan(""))));
    EXPECT_EQ(engine::RoundFloat(400, 1.5), 1.5);  // decimals finer than the value can hold
    EXPECT_EQ(engine::RoundFloat(2, 1e300), 1e300);
}

TEST(ScaledNumber, PowersAndIntegerParts) {
    EXPECT_EQ(engine::FloatPower(0, 7.0), 1.0);
    EXPECT_EQ(engine::FloatPower(1, 7.0), 7.0);
    EXPECT_EQ(engine::FloatPower(5, 0.0), 0.0);
    EXPECT_EQ(engine::FloatPower(2, 0.1), 0.1 * 0.1);
    EXPECT_EQ(engine::FloatPower(3, 2.0), 8.0);
    EXPECT_EQ(engine::FloatIntPart(-2.7), -2.0);

    EXPECT_EQ(engine::CurrPower(0, Curr("3")), Curr("1"));
    EXPECT_EQ(engine::CurrPower(2, Curr("1.0001")), Curr("1.0002"));  // 1.00020001 to 4 decimals
    EXPECT_EQ(engine::CurrPower(2, Curr("0.015")), Curr("0.0002"));   // 0.000225: the half goes to even
    EXPECT_EQ(engine::CurrPower(2, Curr("0.035")), Curr("0.0012"));   // 0.001225
    EXPECT_THROW(engine::CurrPower(2, Curr("100000000")), rtl::EOverflow);

    EXPECT_EQ(engine::CurrIntPart(Curr("-2.7")), Curr("-2"));
    EXPECT_EQ(engine::RoundCurrency(2, Curr("0.005")), Curr("0.01"));
    EXPECT_EQ(engine::RoundCurrency(0, Curr("-2.5")), Curr("-3"));
    EXPECT_EQ(engine::RoundCurrency(1, Curr("-2.449")), Curr("-2.4"));
    EXPECT_EQ(engine::RoundCurrency(7, Curr("1.2345")), Curr("1.2345"));
    EXPECT_THROW(engine::RoundCurrency(0, Currency::FromRaw(INT64_MAX)), rtl::EOverflow);
}

TEST(ScaledNumber, MaximaAndMinimaAnswerTheSecondOnATie) {
    EXPECT_TRUE(std::signbit(engine::MaxFloat(0.0, -0.0)));
    EXPECT_FALSE(std::signbit(engine::MaxFloat(-0.0, 0.0)));
    EXPECT_TRUE(std::signbit(engine::MinFloat(0.0, -0.0)));
    EXPECT_FALSE(std::signbit(engine::MinFloat(-0.0, 0.0)));
    EXPECT_EQ(engine::MaxFloat(1.0, 2.0), 2.0);
    EXPECT_EQ(engine::MinFloat(1.0, 2.0), 1.0);
    EXPECT_EQ(engine::MaxInteger(-1, -2), -1);
    EXPECT_EQ(engine::MinInteger(-1, -2), -2);
    EXPECT_EQ(engine::MaxWord(65535, 1), 65535);
    EXPECT_EQ(engine::MinWord(65535, 1), 1);
    EXPECT_EQ(engine::MaxSmallInt(-32768, 5), 5);
    EXPECT_EQ(engine::MinSmallInt(-32768, 5), -32768);
    EXPECT_EQ(engine::MaxCurrency(Curr("1"), Curr("-1")), Curr("1"));
    EXPECT_EQ(engine::MinCurrency(Curr("1"), Curr("-1")), Curr("-1"));
    EXPECT_EQ(engine::MaxByte(200, 100), 200);
}

TEST(ScaledNumber, Booleans) {
    EXPECT_EQ(engine::BooleanToText(true), "True");
    EXPECT_EQ(engine::BooleanToText(false), "False");
    EXPECT_TRUE(engine::TextToBoolean("TrUe"));
    EXPECT_FALSE(engine::TextToBoolean("false"));
    try {
        engine::TextToBoolean("yes");
        ADD_FAILURE() << "nothing raised";
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "'yes' is not a valid boolean value");
    }
    EXPECT_THROW(engine::TextToBoolean(" true"), rtl::EConvertError);
    EXPECT_EQ(engine::ClampToOne(0), 0);
    EXPECT_EQ(engine::ClampToOne(1), 1);
    EXPECT_EQ(engine::ClampToOne(2), 1);
    EXPECT_EQ(engine::ClampToOne(0xFFFF), 1);
}

TEST(ScaledNumber, FormatMask) {
    EXPECT_EQ(engine::BuildFormatMask(0), "##############0");
    EXPECT_EQ(engine::BuildFormatMask(3), "##############0.000");
}

}  // namespace
