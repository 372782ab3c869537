#include "rtl/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "CommaSettings.h"
#include "rtl/DateTime.h"
#include "rtl/FormatSettings.h"

namespace {

using rtl::Currency;
using rtl::Variant;
using rtl::VarType;

Currency Money(std::int64_t raw) {
    return Currency::FromRaw(raw);
}

TEST(Variant, KindsOfValues) {
    EXPECT_EQ(Variant().Type(), VarType::Empty);
    EXPECT_EQ(Variant::Null().Type(), VarType::Null);
    EXPECT_EQ(Variant(true).Type(), VarType::Boolean);
    EXPECT_EQ(Variant(7).Type(), VarType::Integer);
    EXPECT_EQ(Variant(std::int64_t{7}).Type(), VarType::Int64);
    EXPECT_EQ(Variant(7LL).Type(), VarType::Int64);
    EXPECT_EQ(Variant(0.5).Type(), VarType::Double);
    EXPECT_EQ(Variant(Money(5)).Type(), VarType::Currency);
    EXPECT_EQ(Variant::FromDateTime(1.5).Type(), VarType::Date);
    EXPECT_EQ(Variant("abc").Type(), VarType::String);
    EXPECT_EQ(rtl::VarArrayOf({1, "x"}).Type(), VarType::Array);
    EXPECT_EQ(rtl::VarArrayOf({1, "x"})[1], Variant("x"));
    EXPECT_THROW(rtl::VarArrayOf({1})[1], rtl::EListError);
    EXPECT_THROW(Variant(1).Items(), rtl::EVariantError);
}

TEST(Variant, ConversionsToText) {
    const rtl::TDateTime d = rtl::EncodeDate(2024, 2, 29);
    const struct {
        Variant value;
        std::string text;
    } cases[] = {
        {Variant(), ""},
        {Variant::Null(), ""},
        {true, "True"},
        {false, "False"},
        {-12, "-12"},
        {std::int64_t{1} << 40, "1099511627776"},
        {0.1, "0.1"},
        {1.0 / 3, "0.333333333333333"},  // 15 significant digits
        {1e20, "1E20"},
        {Money(123450), "12.345"},
        {Variant::FromDateTime(d), "2/29/2024"},  // midnight: no time
        {Variant::FromDateTime(d + 0.5), "2/29/2024 12:00:00 PM"},
        {"as is", "as is"},
    };
    for (const auto& c : cases) EXPECT_EQ(rtl::VarToStr(c.value), c.text);
    EXPECT_THROW(rtl::VarToStr(rtl::VarArrayOf({1})), rtl::EVariantError);
}

TEST(Variant, NumberConversionsRoundHalfToEvenAndCheckRanges) {
    const struct {
        Variant value;
        std::int64_t expected;
    } cases[] = {
        {2.5, 2},
        {3.5, 4},
        {-2.5, -2},
        {2.4999, 2},
        {Money(25000), 2},
        {Money(35000), 4},
        {Money(-25000), -2},
        {Money(25001), 3},
        {"42", 42},
        {"2.5", 2},
        {true, 1},
        {Variant(), 0},
        {Variant::FromDateTime(1.5), 2},
    };
    for (const auto& c : cases) EXPECT_EQ(rtl::VarToInt64(c.value), c.expected) << rtl::VarToStr(c.value);

    EXPECT_EQ(rtl::VarToInt(2147483647.0), 2147483647);
    EXPECT_THROW(rtl::VarToInt(2147483648.0), rtl::EOverflow);
    EXPECT_THROW(rtl::VarToInt(std::int64_t{1} << 40), rtl::EOverflow);
    EXPECT_THROW(rtl::VarToInt64(1e19), rtl::EOverflow);
    EXPECT_THROW(rtl::VarToInt64(std::nan("")), rtl::EOverflow);
    EXPECT_THROW(rtl::VarToCurr(1e300), rtl::EOverflow);
}

TEST(Variant, FailedConversions) {
    // The kind allows no conversion: the variant error; a text that does not parse: the text's own error.
    const std::function<void(const Variant&)> all[] = {
        [](const Variant& v) { rtl::VarToInt(v); },  [](const Variant& v) { rtl::VarToReal(v); },
        [](const Variant& v) { rtl::VarToCurr(v); }, [](const Variant& v) { rtl::VarToDateTime(v); },
        [](const Variant& v) { rtl::VarToBool(v); },
    };
    for (const auto& convert : all) {
        EXPECT_THROW(convert(Variant::Null()), rtl::EVariantError);
        EXPECT_THROW(convert(rtl::VarArrayOf({1})), rtl::EVariantError);
        try {
            convert(Variant("abc"));
            ADD_FAILURE() << "text converted";
        } catch (const rtl::EVariantError&) {
            ADD_FAILURE() << "text raised the variant error";
        } catch (const rtl::EConvertError&) {
        }
    }
    EXPECT_THROW(rtl::VarToDateTime(true), rtl::EVariantError);
    try {
        rtl::VarToBool("maybe");
        ADD_FAILURE();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "'maybe' is not a valid boolean value");
    }
    try {
        rtl::VarToInt(Variant::Null());
        ADD_FAILURE();
    } catch (const rtl::EVariantError& e) {
        EXPECT_EQ(e.Message(), "Invalid variant type conversion");
    }
}

TEST(Variant, OtherConversions) {
    EXPECT_TRUE(rtl::VarToBool("tRUe"));
    EXPECT_FALSE(rtl::VarToBool("FALSE"));
    EXPECT_TRUE(rtl::VarToBool("2"));
    EXPECT_TRUE(rtl::VarToBool(Money(1)));
    EXPECT_FALSE(rtl::VarToBool(0.0));
    EXPECT_EQ(rtl::VarToCurr(0.1).Raw(), 1000);
    EXPECT_EQ(rtl::VarToCurr("1.23456").Raw(), 12346);
    EXPECT_DOUBLE_EQ(rtl::VarToReal(Money(5)), 0.0005);
    EXPECT_DOUBLE_EQ(rtl::VarToDateTime("1/2/2000"), rtl::EncodeDate(2000, 1, 2));
    {
        rtl::FormatSettingsGuard comma(rtl_test::CommaSettings());
        EXPECT_DOUBLE_EQ(rtl::VarToReal("1,5"), 1.5);
        EXPECT_EQ(rtl::VarToStr(1.5), "1,5");
    }
}

TEST(Variant, EqualityAcrossKinds) {
    const rtl::TDateTime d = rtl::EncodeDate(2000, 1, 2);
    EXPECT_EQ(Variant(), Variant());
    EXPECT_EQ(Variant::Null(), Variant::Null());
    EXPECT_NE(Variant::Null(), Variant());
    EXPECT_NE(Variant::Null(), Variant(0));
    EXPECT_NE(Variant(), Variant(0));
    EXPECT_EQ(Variant(1), Variant(1.0));
    EXPECT_EQ(Variant(1), Variant(true));
    EXPECT_EQ(Variant(0.1), Variant(Money(1000)));
    EXPECT_EQ(Variant(2), Variant(Money(20000)));
    EXPECT_NE(Variant(std::numeric_limits<std::int64_t>::max()), Variant(Money(INT64_MAX)));
    EXPECT_EQ(Variant("12"), Variant(12));
    EXPECT_EQ(Variant("true"), Variant(true));
    EXPECT_EQ(Variant("1/2/2000"), Variant::FromDateTime(d));
    EXPECT_NE(Variant("abc"), Variant(12));  // no number: unequal, not an error
    EXPECT_NE(Variant("abc"), Variant("ABC"));
    EXPECT_EQ(rtl::VarArrayOf({1, "a"}), rtl::VarArrayOf({1.0, "a"}));
    EXPECT_NE(rtl::VarArrayOf({1, "a"}), rtl::VarArrayOf({1}));
    EXPECT_NE(rtl::VarArrayOf({1}), Variant(1));
    EXPECT_NE(Variant(std::nan("")), Variant(std::nan("")));
}

TEST(Variant, OrderRaisesWhereNoneExists) {
    EXPECT_LT(Variant(1), Variant(2.5));
    EXPECT_GT(Variant(Money(30000)), Variant(2));
    EXPECT_LT(Variant("B"), Variant("a"));  // byte order
    EXPECT_LT(Variant("9"), Variant(10));   // the text as a number
    EXPECT_EQ(rtl::VarCompare(Variant(false), Variant(0)), 0);
    EXPECT_LT(Variant(std::int64_t{-9000000000000000000}), Variant(Money(INT64_MIN)));
    EXPECT_THROW(rtl::VarCompare(Variant::Null(), Variant(1)), rtl::EVariantError);
    EXPECT_THROW(rtl::VarCompare(Variant(1), Variant()), rtl::EVariantError);
    EXPECT_THROW(rtl::VarCompare(rtl::VarArrayOf({1}), rtl::VarArrayOf({1})), rtl::EVariantError);
    EXPECT_THROW(rtl::VarCompare(Variant("x"), Variant(1)), rtl::EConvertError);
    EXPECT_THROW(rtl::VarCompare(Variant(std::nan("")), Variant(1)), rtl::EVariantError);
}

}  // namespace
