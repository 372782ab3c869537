#include "rtl/DecimalNumber.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using rtl::DecimalNumber;

TEST(DecimalNumber, FloatDigitsRoundHalfAwayFromZeroOnTheExactValue) {
    const struct {
        double value;
        int precision;
        DecimalNumber expected;
    } cases[] = {
        {0.125, 2, {false, "13", 0}},  // an exact tie goes away from zero
        {-0.125, 2, {true, "13", 0}},
        {2.675, 3, {false, "267", 1}},  // just below the half: the full expansion decides
        {1234567890123455.0, 15, {false, "123456789012346", 16}},
        {9.99, 2, {false, "1", 2}},  // the carry adds a digit
        {0.1, 15, {false, "1", 0}},
        {0.30000000000000004, 15, {false, "3", 0}},
        {1.2345678901234567, 15, {false, "123456789012346", 1}},
        {5e-324, 3, {false, "494", -323}},  // the smallest subnormal
        {1e15, 15, {false, "1", 16}},
        {0.0, 15, {false, "", 0}},
        {-0.0, 15, {true, "", 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rtl::FloatToDecimal(c.value, c.precision), c.expected) << c.value;
    }
}

TEST(DecimalNumber, CurrencyDigitsAreExact) {
    EXPECT_EQ(rtl::CurrToDecimal(rtl::Currency::FromRaw(123400)), (DecimalNumber{false, "1234", 2}));
    EXPECT_EQ(rtl::CurrToDecimal(rtl::Currency::FromRaw(-1)), (DecimalNumber{true, "1", -3}));
    EXPECT_EQ(rtl::CurrToDecimal(rtl::Currency::FromRaw(INT64_MIN)),
              (DecimalNumber{true, "9223372036854775808", 15}));
    EXPECT_TRUE(rtl::CurrToDecimal(rtl::Currency()).IsZero());
}

TEST(DecimalNumber, RoundingToPlaces) {
    DecimalNumber n{false, "5", -2};  // 0.005
    rtl::RoundDecimals(n, 2);
    EXPECT_EQ(n, (DecimalNumber{false, "1", -1}));
    n = {false, "4", -2};  // 0.004
    rtl::RoundDecimals(n, 2);
    EXPECT_TRUE(n.IsZero());
    n = {false, "5", -3};  // 0.0005: two places below the last kept one
    rtl::RoundDecimals(n, 2);
    EXPECT_TRUE(n.IsZero());
    n = {true, "9995", 1};  // -9.995
    rtl::RoundDecimals(n, 2);
    EXPECT_EQ(n, (DecimalNumber{true, "1", 2}));
    n = {false, "12345", 3};  // 123.45
    rtl::RoundSignificant(n, 4);
    EXPECT_EQ(n, (DecimalNumber{false, "1235", 3}));
}

}  // namespace
