#include "engine/expr/ExprConvert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "rtl/DateTime.h"
#include "tests/engine/support/ExprBuilders.h"

namespace {

using namespace engine;
using namespace exprtest;

// The target of a conversion: its type and scale, its area marked.
ExprValue Target(std::uint8_t fieldType, std::uint8_t scale = 0) {
    ExprValue target = MarkedResult(fieldType);
    target.Scale = scale;
    return target;
}

const std::int32_t kDay = rtl::DateToDayNumber(2000, 2, 29);
const double kMidnight = static_cast<double>(kDay) * rtl::MSecsPerDay;

TEST(ExprConvert, ConvertsTheListedPairs) {
    struct Case {
        const char* what;
        ExprValue source;
        ExprValue target;
        std::int64_t expected;  // read by the target's type; floats in thousandths
    };
    const Case cases[] = {
        {"float to integer truncates", Float(-2.7), Target(FieldTypeInteger), -2},
        {"BCD to integer truncates", Bcd(123450, 3), Target(FieldTypeInteger), 12},
        {"negative BCD to word truncates", Bcd(-9000, 2), Target(FieldTypeWord), 0},
        {"smallint to integer", SmallInt(-5), Target(FieldTypeInteger), -5},
        {"word to integer", Word(65535), Target(FieldTypeInteger), 65535},
        {"integer to smallint", Int(-32768), Target(FieldTypeSmallInt), -32768},
        {"word to smallint", Word(32767), Target(FieldTypeSmallInt), 32767},
        {"float to smallint", Float(32767.9), Target(FieldTypeSmallInt), 32767},
        {"BCD to smallint", Bcd(-327689999, 4), Target(FieldTypeSmallInt), -32768},
        {"integer to word", Int(65535), Target(FieldTypeWord), 65535},
        {"smallint to word", SmallInt(7), Target(FieldTypeWord), 7},
        {"float to word", Float(0.9), Target(FieldTypeWord), 0},
        {"unsigned 32 to integer", LongWord(2147483647U), Target(FieldTypeInteger), 2147483647},
        {"integer to float", Int(-7), Target(FieldTypeFloat), -7000},
        {"word to float", Word(65535), Target(FieldTypeFloat), 65535000},
        {"BCD to float", Bcd(12345, 3), Target(FieldTypeFloat), 1235},
        {"date-time to date", DateTime(kMidnight + 5000), Target(FieldTypeDate), kDay},
        {"0.4 ms before midnight to date", DateTime(kMidnight - 0.4), Target(FieldTypeDate), kDay},
        {"date to date-time", Date(kDay), Target(FieldTypeDateTime),
         std::int64_t{kDay} * rtl::MSecsPerDay * 1000},
    };
    for (const Case& c : cases) {
        ExprValue target = c.target;
        ASSERT_TRUE(ConvertExprValue(c.source, target)) << c.what;
        switch (target.FieldType) {
            case FieldTypeFloat:
            case FieldTypeDateTime:
                EXPECT_EQ(std::llround(target.GetDouble() * 1000), c.expected) << c.what;
                break;
            case FieldTypeInteger:
            case FieldTypeDate:
                EXPECT_EQ(target.GetInt32(), c.expected) << c.what;
                EXPECT_EQ(target.Bytes[4], kMarker) << c.what;
                break;
            case FieldTypeSmallInt:
                EXPECT_EQ(target.GetInt16(), c.expected) << c.what;
                EXPECT_EQ(target.Bytes[2], kMarker) << c.what;
                break;
            default:
                EXPECT_EQ(target.GetUInt16(), c.expected) << c.what;
                EXPECT_EQ(target.Bytes[2], kMarker) << c.what;
        }
        EXPECT_EQ(target.IsNull, 0) << c.what;
    }
}

TEST(ExprConvert, BcdTargetsTakeTheTargetScale) {
    ExprValue target = Target(FieldTypeBcd, 2);
    ASSERT_TRUE(ConvertExprValue(Int(-12), target));
    EXPECT_EQ(target.GetInt64(), -12002);
    target = Target(FieldTypeBcd, 2);
    ASSERT_TRUE(ConvertExprValue(Float(1.005), target));
    EXPECT_EQ(target.GetInt64(), *FloatToScaledInt(2, 1.005));
    target = Target(FieldTypeBcd, 0);
    ASSERT_TRUE(ConvertExprValue(LongWord(UINT32_MAX), target));
    EXPECT_EQ(target.GetInt64(), std::int64_t{UINT32_MAX} * 10);
}

TEST(ExprConvert, RefusesAndLeavesTheTargetUntouched) {
    struct Case {
        const char* what;
        ExprValue source;
        ExprValue target;
    };
    ExprValue beyondFixedPoint = Typed(FieldTypeBcd, 8);
    beyondFixedPoint.SetInt64(9000000000000000000);  // 9 x 10^17 at scale 0
    const Case cases[] = {
        {"integer 70000 to smallint", Int(70000), Target(FieldTypeSmallInt)},
        {"word 40000 to smallint", Word(40000), Target(FieldTypeSmallInt)},
        {"smallint -1 to word", SmallInt(-1), Target(FieldTypeWord)},
        {"integer 65536 to word", Int(65536), Target(FieldTypeWord)},
        {"float 1e20 to integer", Float(1e20), Target(FieldTypeInteger)},
        {"float -1e300 to smallint", Float(-1e300), Target(FieldTypeSmallInt)},
        {"not a number to integer", Float(std::nan("")), Target(FieldTypeInteger)},
        {"infinity to word", Float(HUGE_VAL), Target(FieldTypeWord)},
        {"BCD 40000 to smallint", Bcd(400000000, 0), Target(FieldTypeSmallInt)},
        {"BCD beyond fixed point to integer", beyondFixedPoint, Target(FieldTypeInteger)},
        {"float beyond scale 9", Float(1e12), Target(FieldTypeBcd, 9)},
        {"not a number to BCD", Float(std::nan("")), Target(FieldTypeBcd, 2)},
        {"date-time without a day to date", DateTime(std::nan("")), Target(FieldTypeDate)},
        {"integer to date", Int(kDay), Target(FieldTypeDate)},
        {"string to integer", Text("12"), Target(FieldTypeInteger)},
        {"integer to string", Int(12), Target(FieldTypeString)},
        {"boolean to integer", Bool(1), Target(FieldTypeInteger)},
        {"time to date-time", Time(5), Target(FieldTypeDateTime)},
        {"integer to integer", Int(5), Target(FieldTypeInteger)},
        {"integer to unsigned 32", Int(5), Target(FieldTypeLongWord)},
    };
    for (const Case& c : cases) {
        ExprValue target = c.target;
        EXPECT_FALSE(ConvertExprValue(c.source, target)) << c.what;
        EXPECT_TRUE(Untouched(target)) << c.what;
    }
}

TEST(ExprConvert, Readers) {
    EXPECT_EQ(IntegerValue(LongWord(UINT32_MAX)), std::int64_t{UINT32_MAX});
    EXPECT_EQ(IntegerValue(Word(65535)), 65535);
    EXPECT_EQ(IntegerValue(SmallInt(-1)), -1);
    EXPECT_EQ(IntegerValue(Float(3.0)), 0);
    std::int64_t fixedPoint = 0;
    ASSERT_TRUE(FixedPointValue(Bcd(-123450, 3), fixedPoint));
    EXPECT_EQ(fixedPoint, -123450);
    std::int32_t day = 0;
    std::int32_t msecs = 0;
    ASSERT_TRUE(SplitDateTime(kMidnight - 0.4, day, msecs));
    EXPECT_EQ(day, kDay);
    EXPECT_EQ(msecs, 0);
    ASSERT_TRUE(SplitDateTime(kMidnight - 0.6, day, msecs));
    EXPECT_EQ(day, kDay - 1);
    EXPECT_EQ(msecs, rtl::MSecsPerDay - 1);
    ASSERT_TRUE(SplitDateTime(-1.0, day, msecs));
    EXPECT_EQ(day, -1);
    EXPECT_EQ(msecs, rtl::MSecsPerDay - 1);
    EXPECT_FALSE(SplitDateTime(1e30, day, msecs));
    EXPECT_FALSE(SplitDateTime(1e18, day, msecs));  // 1.16 x 10^10 days
}

}  // namespace
