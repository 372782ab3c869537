#include "engine/expr/ExprOperators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "rtl/DateTime.h"
#include "tests/engine/support/ExprBuilders.h"

namespace {

using namespace engine;
using namespace exprtest;

constexpr std::uint16_t kTrue = TruthTrue;

ExprValue Binary(ExprOperator op, const ExprValue& left, const ExprValue& right,
                 std::uint8_t resultType = FieldTypeNone) {
    ExprValue result = MarkedResult(resultType);
    EvalBinaryOp(op, left, right, 0, 0, result);
    return result;
}

ExprValue Unary(ExprOperator op, const ExprValue& operand, std::uint8_t resultType = FieldTypeNone) {
    ExprValue result = MarkedResult(resultType);
    EvalUnaryOp(op, operand, result);
    return result;
}

ExprValue FilterCompare(ExprOperator op, const ExprValue& left, const ExprValue& right,
                        std::uint8_t partialLength = 0, bool caseInsensitive = false) {
    ExprValue result = MarkedResult();
    EvalFilterCompare(op, left, right, partialLength, caseInsensitive, 0, 0, result);
    return result;
}

// The truth word a step wrote, or -1 when it wrote nothing.
int Truth(const ExprValue& result) {
    return Untouched(result) ? -1 : result.GetUInt16();
}

const std::int32_t kDay = rtl::DateToDayNumber(2024, 3, 7);
const double kMidnight = static_cast<double>(kDay) * rtl::MSecsPerDay;
constexpr std::int32_t kNoon = 12 * 3600 * 1000;

TEST(ExprOperators, NullTable) {
    // The value areas say 3 < 5 even where an operand is null, so a step that read them would show it.
    struct Case {
        ExprOperator op;
        int neither, leftNull, rightNull, bothNull;
    };
    const Case cases[] = {
        {opEqual, 0, 0, 0, kTrue}, {opNotEqual, kTrue, kTrue, kTrue, 0}, {opGreater, 0, 0, 0, 0},
        {opLess, kTrue, 0, 0, 0},  {opGreaterEqual, 0, 0, 0, 0},         {opLessEqual, kTrue, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        EXPECT_EQ(Truth(Binary(c.op, Int(3), Int(5))), c.neither);
        EXPECT_EQ(Truth(Binary(c.op, Null(Int(3)), Int(5))), c.leftNull);
        EXPECT_EQ(Truth(Binary(c.op, Int(3), Null(Int(5)))), c.rightNull);
        EXPECT_EQ(Truth(Binary(c.op, Null(Int(3)), Null(Int(5)))), c.bothNull);
    }
}

TEST(ExprOperators, FilterCompareNulls) {
    // Both null: = without looking at the areas, which hold different texts here.
    EXPECT_EQ(Truth(FilterCompare(opEqual, Null(Text("a")), Null(Text("b")))), kTrue);
    EXPECT_EQ(Truth(FilterCompare(opNotEqual, Null(Text("a")), Null(Text("b")))), 0);
    EXPECT_EQ(Truth(FilterCompare(opEqual, Null(Text("a")), Text("a"))), 0);
    EXPECT_EQ(Truth(FilterCompare(opNotEqual, Text("a"), Null(Text("a")))), kTrue);
    // An untyped column against a string, and a string against an untyped constant.
    EXPECT_EQ(Truth(FilterCompare(opEqual, Untyped(), Text("a"))), 0);
    EXPECT_EQ(Truth(FilterCompare(opNotEqual, Text("a"), Untyped())), kTrue);
    EXPECT_EQ(Truth(FilterCompare(opEqual, Int(1), Int(1))), -1);
    EXPECT_EQ(Truth(FilterCompare(opGreater, Text("b"), Text("a"))), -1);
}

TEST(ExprOperators, FilterCompareStrings) {
    EXPECT_EQ(Truth(FilterCompare(opEqual, Text("Smith"), Text("Sm"), 2)), kTrue);
    EXPECT_EQ(Truth(FilterCompare(opEqual, Text("Smith"), Text("Sm"))), 0);
    EXPECT_EQ(Truth(FilterCompare(opEqual, Text("SMITH"), Text("smith"), 0, true)), kTrue);
    EXPECT_EQ(Truth(FilterCompare(opNotEqual, Text("SMITH"), Text("smith"))), kTrue);
}

TEST(ExprOperators, ArithmeticWithNullGivesNull) {
    for (const ExprOperator op : {opAdd, opSubtract, opMultiply, opDivide}) {
        SCOPED_TRACE(op);
        for (const bool leftNull : {false, true}) {
            const ExprValue result =
                Binary(op, leftNull ? Null(Int(7)) : Int(7), leftNull ? Int(2) : Null(Int(2)));
            EXPECT_EQ(result.IsNull, 1);
            EXPECT_TRUE(Untouched(result));
        }
    }
    for (const ExprOperator op : {opNegate, opPlus}) {
        const ExprValue result = Unary(op, Null(Float(1.5)));
        EXPECT_EQ(result.IsNull, 1);
        EXPECT_TRUE(Untouched(result));
    }
}

TEST(ExprOperators, ZeroDivisorGivesNull) {
    const ExprValue divisions[][2] = {
        {Int(7), Int(0)},
        {Float(7.5), Float(0.0)},
        {Float(7.5), Float(-0.0)},
        {Bcd(70000, 2), Bcd(0, 2)},
        {Int(7), Bcd(0, 0)},
        {Bcd(70000, 2), SmallInt(0)},
        {Float(1.0), Bcd(0, 4)},
        // 0.00001 has no fixed-point units, so a fixed-point division by it would divide by zero.
        {Bcd(70000, 5),
         [] {
             ExprValue tiny = Typed(FieldTypeBcd, 8);
             tiny.Scale = 5;
             tiny.SetInt64(15);  // digits 1, scale 5
             return tiny;
         }()},
    };
    for (const auto& pair : divisions) {
        const ExprValue result = Binary(opDivide, pair[0], pair[1]);
        EXPECT_EQ(result.IsNull, 1);
        EXPECT_TRUE(Untouched(result));
    }
}

TEST(ExprOperators, ComparisonPairs) {
    struct Case {
        const char* what;
        ExprValue left;
        ExprOperator op;
        ExprValue right;
        int truth;
    };
    const Case cases[] = {
        {"word above smallint", Word(65535), opGreater, SmallInt(-1), kTrue},
        {"unsigned 32 above integer", LongWord(4294967295U), opGreater, Int(-1), kTrue},
        {"unsigned 32 = integer", LongWord(5), opEqual, Int(5), kTrue},
        {"unsigned 32 <> integer", LongWord(5), opNotEqual, Int(5), 0},
        {"integer below unsigned 32", Int(-1), opLess, LongWord(4294967295U), kTrue},
        {"unsigned 32 = float", LongWord(3000000000U), opEqual, Float(3e9), kTrue},
        {"unsigned 32 = BCD", LongWord(3000000000U), opEqual, Bcd(30000000000000, 0), kTrue},
        {"BCD scales", Bcd(15000, 2), opEqual, Bcd(15000, 1), kTrue},
        {"BCD = float", Bcd(125000, 2), opEqual, Float(12.5), kTrue},
        {"float below BCD", Float(12.49), opLess, Bcd(125000, 2), kTrue},
        {"BCD above integer", Bcd(125000, 2), opGreater, Int(12), kTrue},
        {"integer = float", Int(3), opEqual, Float(3.0), kTrue},
        {"date = its midnight", Date(kDay), opEqual, DateTime(kMidnight), kTrue},
        {"midnight = its date", DateTime(kMidnight), opEqual, Date(kDay), kTrue},
        {"date below midnight + 1 ms", Date(kDay), opLess, DateTime(kMidnight + 1), kTrue},
        {"dates", Date(kDay), opLess, Date(kDay + 1), kTrue},
        {"times", Time(kNoon), opGreaterEqual, Time(kNoon), kTrue},
        {"booleans 2 and 1", Bool(2), opEqual, Bool(1), kTrue},
        {"booleans 0 and 1", Bool(0), opNotEqual, Bool(1), kTrue},
        {"booleans have no order", Bool(2), opGreater, Bool(0), -1},
        {"strings, case significant", Text("a"), opGreater, Text("B"), kTrue},
        {"strings equal", Text("abc"), opEqual, Text("abc"), kTrue},
        {"date against integer", Date(kDay), opEqual, Int(kDay), -1},
        {"date against time", Date(kDay), opLess, Time(5), -1},
        {"string against integer", Text("5"), opEqual, Int(5), -1},
        {"untyped right", Int(5), opEqual, Untyped(), 0},
        {"untyped left", Untyped(), opNotEqual, Int(5), kTrue},
        {"untyped in an order", Untyped(), opLess, Int(5), -1},
        {"boolean left of untyped", Bool(1), opEqual, Untyped(), -1},
        {"not a number is unordered", Float(std::nan("")), opEqual, Float(std::nan("")), 0},
        {"not a number differs", Float(std::nan("")), opNotEqual, Float(1.0), kTrue},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Truth(Binary(c.op, c.left, c.right)), c.truth) << c.what;
    }
}

TEST(ExprOperators, TruthValues) {
    // Filter trees carry no types: their comparisons keep 0xFFFF; a typed SQL comparison gives 1.
    EXPECT_EQ(Binary(opEqual, Int(1), Int(1)).GetUInt16(), 0xFFFF);
    EXPECT_EQ(Binary(opEqual, Int(1), Int(1), FieldTypeBoolean).GetUInt16(), 1);
    EXPECT_EQ(Binary(opAnd, Bool(0xFFFF), Bool(1)).GetUInt16(), 0xFFFF);
    EXPECT_EQ(Binary(opAnd, Bool(0xFFFF), Bool(1), FieldTypeBoolean).GetUInt16(), 1);
    EXPECT_EQ(Binary(opOr, Bool(0), Bool(1)).GetUInt16(), 0xFFFF);
    EXPECT_EQ(Binary(opAnd, Bool(0xFFFF), Bool(0)).GetUInt16(), 0);
    // AND and OR read the words only, not the nullness.
    EXPECT_EQ(Binary(opAnd, Null(Bool(1)), Bool(1)).GetUInt16(), 0xFFFF);
    EXPECT_EQ(Unary(opNot, Null(Bool(0))).GetUInt16(), 0xFFFF);
    EXPECT_EQ(Unary(opNot, Bool(2), FieldTypeBoolean).GetUInt16(), 0);
    EXPECT_EQ(Unary(opIsNull, Null(Int(0)), FieldTypeBoolean).GetUInt16(), 1);
    EXPECT_EQ(Unary(opIsNull, Int(0)).GetUInt16(), 0);
    EXPECT_EQ(Unary(opIsNotNull, Int(0)).GetUInt16(), 0xFFFF);
    EXPECT_EQ(Unary(opIsNotNull, Null(Untyped())).GetUInt16(), 0);
    // Operators that a step does not handle write nothing.
    EXPECT_TRUE(Untouched(Binary(opLike, Text("a"), Text("a"))));
    EXPECT_TRUE(Untouched(Unary(opAdd, Int(1))));
}

TEST(ExprOperators, IntegerAndFloatArithmetic) {
    const ExprValue quotient = Binary(opDivide, Int(7), Int(2));
    EXPECT_EQ(quotient.GetDouble(), 3.5);
    const ExprValue product = Binary(opMultiply, Int(7), Int(3));
    EXPECT_EQ(product.GetInt32(), 21);
    EXPECT_EQ(product.Bytes[4], kMarker);  // four bytes written
    EXPECT_EQ(Binary(opAdd, Int(INT32_MAX), Int(1)).GetInt32(), INT32_MIN);
    EXPECT_EQ(Binary(opSubtract, Int(INT32_MIN), Int(1)).GetInt32(), INT32_MAX);
    EXPECT_EQ(Binary(opMultiply, LongWord(UINT32_MAX), LongWord(UINT32_MAX)).GetInt32(), 1);
    EXPECT_EQ(Binary(opAdd, Word(65535), SmallInt(-1)).GetInt32(), 65534);
    EXPECT_EQ(Binary(opSubtract, LongWord(0), Int(1)).GetInt32(), -1);
    EXPECT_EQ(Binary(opAdd, Int(1), Float(0.5)).GetDouble(), 1.5);
    EXPECT_EQ(Binary(opMultiply, Float(1.5), SmallInt(-2)).GetDouble(), -3.0);
    EXPECT_EQ(Binary(opDivide, Float(1.0), Int(4)).GetDouble(), 0.25);
    EXPECT_EQ(Binary(opSubtract, Float(1e308), Float(-1e308)).GetDouble(), HUGE_VAL);
}

TEST(ExprOperators, MomentArithmetic) {
    EXPECT_EQ(Binary(opAdd, Date(kDay), Int(1)).GetInt32(), kDay + 1);
    EXPECT_EQ(Binary(opAdd, SmallInt(-1), Date(kDay)).GetInt32(), kDay - 1);
    EXPECT_EQ(Binary(opSubtract, Date(kDay), Int(7)).GetInt32(), kDay - 7);
    EXPECT_EQ(Binary(opSubtract, Date(kDay + 30), Date(kDay)).GetInt32(), 30);
    const std::int32_t lateEvening = rtl::MSecsPerDay - 1000;
    EXPECT_EQ(Binary(opAdd, Time(lateEvening), Int(2000)).GetInt32(), rtl::MSecsPerDay + 1000);
    EXPECT_EQ(Binary(opSubtract, Time(kNoon), Time(1000)).GetInt32(), kNoon - 1000);
    EXPECT_EQ(Binary(opSubtract, Time(kNoon), Int(1)).GetInt32(), kNoon - 1);
    const double afternoon = kMidnight + kNoon + 345;
    EXPECT_EQ(Binary(opAdd, DateTime(afternoon), Int(1)).GetDouble(), afternoon + rtl::MSecsPerDay);
    EXPECT_EQ(Binary(opAdd, Word(2), DateTime(afternoon)).GetDouble(), afternoon + 2.0 * rtl::MSecsPerDay);
    EXPECT_EQ(Binary(opSubtract, DateTime(afternoon), Int(3)).GetDouble(),
              afternoon - 3.0 * rtl::MSecsPerDay);
    EXPECT_EQ(Binary(opSubtract, DateTime(afternoon), DateTime(kMidnight)).GetDouble(), kNoon + 345.0);
    EXPECT_EQ(Binary(opSubtract, DateTime(afternoon), Date(kDay - 2)).GetInt32(), 2);
    EXPECT_EQ(Binary(opSubtract, DateTime(afternoon), Time(kNoon)).GetInt32(), 345);
    EXPECT_TRUE(Untouched(Binary(opSubtract, Date(kDay), DateTime(afternoon))));
    EXPECT_TRUE(Untouched(Binary(opAdd, Date(kDay), Date(kDay))));
    EXPECT_TRUE(Untouched(Binary(opMultiply, Date(kDay), Int(2))));
    // A date-time that has no day number leaves nothing to shift.
    EXPECT_EQ(Binary(opAdd, DateTime(std::nan("")), Int(1)).IsNull, 1);
}

// The stored form of a BCD result: the value's digits at the scale, then the scale digit.
std::int64_t Scaled(std::int64_t tenThousandths, int scale) {
    return *CurrToScaledInt(scale, rtl::Currency::FromRaw(tenThousandths));
}

TEST(ExprOperators, BcdArithmetic) {
    struct Case {
        const char* what;
        ExprValue left;
        ExprOperator op;
        ExprValue right;
        std::int64_t scaled;  // the stored result
    };
    const Case cases[] = {
        {"12.345 + 1 at scale 3", Bcd(123450, 3), opAdd, Int(1), 133453},
        {"1 + 12.345 at scale 3", Int(1), opAdd, Bcd(123450, 3), 133453},
        {"sum at the left's scale", Bcd(15000, 1), opAdd, Bcd(12500, 2), Scaled(27500, 1)},
        {"1 - 0.25", Int(1), opSubtract, Bcd(2500, 2), Scaled(7500, 2)},
        {"0.25 - 1", Bcd(2500, 2), opSubtract, Int(1), Scaled(-7500, 2)},
        {"difference at the left's scale", Bcd(2500, 2), opSubtract, Bcd(10000, 0), Scaled(-7500, 2)},
        {"N x I keeps N's scale", Bcd(12500, 2), opMultiply, Int(3), Scaled(37500, 2)},
        {"N x N at the left's scale", Bcd(15000, 1), opMultiply, Bcd(25000, 2), Scaled(37500, 1)},
        {"N / N at the left's scale", Bcd(10000, 3), opDivide, Bcd(40000, 1), Scaled(2500, 3)},
        {"I / N at N's scale", Int(1), opDivide, Bcd(80000, 4), Scaled(1250, 4)},
        {"N / I at N's scale", Bcd(10000, 4), opDivide, Int(8), Scaled(1250, 4)},
        // Half a unit rounds to the even unit: 0.0001 x 0.5 is 0 units, 0.0003 x 0.5 is 2.
        {"tie to even, down", Bcd(1, 4), opMultiply, Bcd(5000, 4), Scaled(0, 4)},
        {"tie to even, up", Bcd(3, 4), opMultiply, Bcd(5000, 4), Scaled(2, 4)},
        {"quotient tie to even", Bcd(1, 4), opDivide, Int(2), Scaled(0, 4)},
        {"negative tie to even", Bcd(-3, 4), opDivide, Int(2), Scaled(-2, 4)},
        {"negative difference", Bcd(15000, 1), opSubtract, Bcd(30000, 1), Scaled(-15000, 1)},
    };
    for (const Case& c : cases) {
        const ExprValue result = Binary(c.op, c.left, c.right);
        EXPECT_EQ(result.IsNull, 0) << c.what;
        EXPECT_EQ(result.GetInt64(), c.scaled) << c.what;
    }
}

TEST(ExprOperators, BcdWithFloatIsFloat) {
    EXPECT_EQ(Binary(opAdd, Bcd(15000, 2), Float(0.25)).GetDouble(), 1.75);
    EXPECT_EQ(Binary(opAdd, Float(0.25), Bcd(15000, 2)).GetDouble(), 1.75);
    EXPECT_EQ(Binary(opSubtract, Float(2.0), Bcd(5000, 1)).GetDouble(), 1.5);
    EXPECT_EQ(Binary(opMultiply, Bcd(5000, 1), Float(3.0)).GetDouble(), 1.5);
    EXPECT_EQ(Binary(opDivide, Bcd(30000, 1), Float(2.0)).GetDouble(), 1.5);
}

TEST(ExprOperators, BcdOverflowGivesNull) {
    // 9 x 10^11 squared has no 64-bit fixed-point form; 1.2 x 10^9 has no stored form at scale 9.
    const ExprValue huge = Bcd(9000000000000000, 0);
    const ExprValue product = Binary(opMultiply, huge, huge);
    EXPECT_EQ(product.IsNull, 1);
    EXPECT_TRUE(Untouched(product));
    EXPECT_EQ(Binary(opAdd, Bcd(6000000000000, 9), Bcd(6000000000000, 9)).IsNull, 1);
    // A stored value beyond the fixed-point range (scale 0, 19 digits) takes part in nothing.
    ExprValue beyond = Typed(FieldTypeBcd, 8);
    beyond.SetInt64(9000000000000000000);
    EXPECT_EQ(Binary(opAdd, beyond, Int(1)).IsNull, 1);
    EXPECT_EQ(Unary(opNegate, beyond).IsNull, 1);
}

// What a step computes stays the dialect's; whether it left its result type's range is told apart.
TEST(ExprOperators, StepsThatLeaveTheirResultTypesRangeAreTold) {
    const ExprValue huge = Bcd(9000000000000000, 0);
    struct Case {
        const char* what;
        ExprOperator op;
        ExprValue left;
        ExprValue right;
        std::uint8_t type;  // the step's result type
        bool overflowed;
    };
    const Case cases[] = {
        {"a sum at the top", opAdd, Int(INT32_MAX - 1), Int(1), FieldTypeInteger, false},
        {"a sum past it", opAdd, Int(INT32_MAX), Int(1), FieldTypeInteger, true},
        {"a difference below the bottom", opSubtract, Int(INT32_MIN), Int(1), FieldTypeInteger, true},
        {"a product of two large words", opMultiply, LongWord(UINT32_MAX), LongWord(UINT32_MAX),
         FieldTypeInteger, true},
        {"a word minus more than it", opSubtract, Word(1), SmallInt(2), FieldTypeWord, true},
        {"a word minus as much", opSubtract, Word(2), SmallInt(2), FieldTypeWord, false},
        {"a day past the day range", opAdd, Int(1), Date(INT32_MAX), FieldTypeDate, true},
        {"a day within it", opSubtract, Date(kDay), Int(1), FieldTypeDate, false},
        {"an integer quotient", opDivide, Int(INT32_MIN), Int(-1), FieldTypeFloat, false},
        {"a zero divisor's NULL", opDivide, Int(1), Int(0), FieldTypeFloat, false},
        {"a BCD product without a fixed-point form", opMultiply, huge, huge, FieldTypeBcd, true},
        {"a BCD sum without a stored form", opAdd, Bcd(6000000000000, 9), Bcd(6000000000000, 9), FieldTypeBcd,
         true},
        {"a BCD quotient by zero", opDivide, Bcd(10000, 2), Int(0), FieldTypeBcd, false},
        {"a float past the double range", opSubtract, Float(1e308), Float(-1e308), FieldTypeFloat, true},
        {"a float that was infinite", opAdd, Float(HUGE_VAL), Float(1), FieldTypeFloat, false},
        {"a NULL operand", opAdd, Null(Int(INT32_MAX)), Int(1), FieldTypeInteger, false},
        {"a concatenation", opAdd, Text("ab"), Text("cd"), FieldTypeString, false},
        {"a comparison", opLess, Int(INT32_MAX), Int(1), FieldTypeBoolean, false},
    };
    for (const Case& c : cases) {
        const ExprValue result = Binary(c.op, c.left, c.right, c.type);
        EXPECT_EQ(BinaryStepOverflowed(c.op, c.left, c.right, result), c.overflowed) << c.what;
    }
    EXPECT_TRUE(
        UnaryStepOverflowed(opNegate, Int(INT32_MIN), Unary(opNegate, Int(INT32_MIN), FieldTypeInteger)));
    EXPECT_TRUE(UnaryStepOverflowed(opNegate, SmallInt(-32768),
                                    Unary(opNegate, SmallInt(-32768), FieldTypeSmallInt)));
    EXPECT_TRUE(UnaryStepOverflowed(opNegate, Word(1), Unary(opNegate, Word(1), FieldTypeWord)));
    EXPECT_FALSE(UnaryStepOverflowed(opNegate, Int(-5), Unary(opNegate, Int(-5), FieldTypeInteger)));
    EXPECT_FALSE(
        UnaryStepOverflowed(opPlus, Int(INT32_MIN), Unary(opPlus, Int(INT32_MIN), FieldTypeInteger)));
}

TEST(ExprOperators, Concatenation) {
    EXPECT_EQ(Binary(opAdd, Text("ab"), Text("cd")).GetText(), "abcd");
    const ExprValue joined = Binary(opAdd, Text(std::string(200, 'x')), Text(std::string(100, 'y')));
    EXPECT_EQ(joined.GetText(), std::string(200, 'x') + std::string(54, 'y'));
    EXPECT_EQ(joined.Bytes[MaxExprTextLength], 0);
    // The result may be an operand.
    ExprValue left = Text("ab");
    EvalBinaryOp(opAdd, left, Text("c"), 0, 0, left);
    EXPECT_EQ(left.GetText(), "abc");
}

TEST(ExprOperators, NegateAndPlus) {
    EXPECT_EQ(Unary(opNegate, Int(5)).GetInt32(), -5);
    EXPECT_EQ(Unary(opNegate, Int(INT32_MIN)).GetInt32(), INT32_MIN);
    EXPECT_EQ(Unary(opNegate, Date(kDay)).GetInt32(), -kDay);
    EXPECT_EQ(Unary(opNegate, LongWord(1)).GetUInt32(), UINT32_MAX);
    const ExprValue negatedSmall = Unary(opNegate, SmallInt(5));
    EXPECT_EQ(negatedSmall.GetInt16(), -5);
    EXPECT_EQ(negatedSmall.Bytes[2], kMarker);
    EXPECT_EQ(Unary(opNegate, Word(5)).GetUInt16(), 65531);
    EXPECT_EQ(Unary(opNegate, Float(2.5)).GetDouble(), -2.5);
    EXPECT_EQ(Unary(opNegate, Bcd(123450, 3)).GetInt64(), -123453);
    EXPECT_EQ(Unary(opPlus, Time(kNoon)).GetInt32(), kNoon);
    EXPECT_EQ(Unary(opPlus, DateTime(kMidnight)).GetDouble(), kMidnight);
    // Scale 6 holds more decimals than fixed point: unary plus rounds them to four.
    ExprValue fine = Typed(FieldTypeBcd, 8);
    fine.Scale = 6;
    fine.SetInt64(1234566);  // 0.123456
    EXPECT_EQ(Unary(opPlus, fine).GetInt64(), 1235006);
    EXPECT_TRUE(Untouched(Unary(opNegate, Text("a"))));
    EXPECT_TRUE(Untouched(Unary(opPlus, Bool(1))));
}

TEST(ExprOperators, CollationByLanguage) {
    // Language id 0 compares bytes; an id with no installed locale falls back to that order.
    EXPECT_EQ(&ExprCollation(0, 0), &ByteOrderCollation());
    ExprValue result = MarkedResult();
    EvalBinaryOp(opLess, Text("B"), Text("a"), 0x409, 0, result);
    EXPECT_EQ(result.GetUInt16(), kTrue);
}

}  // namespace
