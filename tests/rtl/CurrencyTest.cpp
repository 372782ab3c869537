#include "rtl/Currency.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "rtl/Exceptions.h"

namespace {

using rtl::Currency;

TEST(Currency, FromDoubleRoundsTheExactValueHalfToEven) {
    // Expected counts are the exact binary values times 10000, rounded half to even.
    const struct {
        double value;
        std::int64_t raw;
    } cases[] = {
        {0.03125, 312},                                   // an exact tie, rounded to even
        {0.09375, 938},                                   // an exact tie, rounded to even
        {-0.09375, -938}, {0.15625, 1562}, {0.00005, 1},  // the double lies just above the half
        {0.00015, 1},                                     // the double lies just below the half
        {12.34, 123400},  {-0.0, 0},       {922337203685477.5, 9223372036854775000},
        {1e-300, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Currency::FromDouble(c.value).Raw(), c.raw) << c.value;
    }
}

TEST(Currency, OverflowIsAnErrorNotAWrappedValue) {
    const double bad[] = {1e15,
                          -1e15,
                          922337203685478.0,
                          1e300,
                          std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
    for (double v : bad) {
        Currency c = Currency::FromRaw(7);
        EXPECT_FALSE(Currency::TryFromDouble(v, c)) << v;
        EXPECT_EQ(c.Raw(), 7);
        EXPECT_THROW(Currency::FromDouble(v), rtl::EOverflow) << v;
    }
    const Currency max = Currency::FromRaw(INT64_MAX);
    const Currency min = Currency::FromRaw(INT64_MIN);
    EXPECT_THROW(max + Currency::FromRaw(1), rtl::EOverflow);
    EXPECT_THROW(min - Currency::FromRaw(1), rtl::EOverflow);
    EXPECT_THROW(-min, rtl::EOverflow);
    EXPECT_THROW(max * Currency::FromInt64(2), rtl::EOverflow);
    EXPECT_THROW(max * std::int64_t{2}, rtl::EOverflow);
    EXPECT_THROW(Currency::FromInt64(1000000000000000), rtl::EOverflow);
    EXPECT_EQ(Currency::FromInt64(922337203685477).Raw(), 9223372036854770000);
    EXPECT_THROW(Currency::FromInt64(1) / Currency(), rtl::EZeroDivide);
    EXPECT_THROW(Currency::FromInt64(1) / std::int64_t{0}, rtl::EZeroDivide);
}

TEST(Currency, ArithmeticIsExactOrRoundsHalfToEven) {
    const auto c = [](std::int64_t raw) { return Currency::FromRaw(raw); };
    EXPECT_EQ((c(15000) + c(2500)).Raw(), 17500);
    EXPECT_EQ((c(15000) - c(25000)).Raw(), -10000);
    EXPECT_EQ((c(1) * c(5000)).Raw(), 0);  // 0.00005 -> 0.0000
    EXPECT_EQ((c(3) * c(5000)).Raw(), 2);  // 0.00015 -> 0.0002
    EXPECT_EQ((c(-3) * c(5000)).Raw(), -2);
    EXPECT_EQ((c(123400) * c(20000)).Raw(), 246800);
    EXPECT_EQ((Currency::FromInt64(1) / Currency::FromInt64(3)).Raw(), 3333);
    EXPECT_EQ((Currency::FromInt64(2) / Currency::FromInt64(3)).Raw(), 6667);
    EXPECT_EQ((Currency::FromInt64(-2) / Currency::FromInt64(3)).Raw(), -6667);
    EXPECT_EQ((c(5) / std::int64_t{2}).Raw(), 2);
    EXPECT_EQ((c(15) / std::int64_t{10}).Raw(), 2);
    EXPECT_LT(c(1), c(2));
    EXPECT_EQ(c(10000), Currency::FromInt64(1));
    EXPECT_EQ(c(123456).ToDouble(), 12.3456);
    EXPECT_EQ(Currency::FromRaw(INT64_MIN).Raw(), INT64_MIN);
}

}  // namespace
