#include "engine/expr/ExprOperators.h"

#include <algorithm>
#include <cmath>
#include <compare>
#include <cstring>
#include <optional>
#include <string_view>

#include "engine/expr/ExprConvert.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/ScaledNumber.h"
#include "rtl/Currency.h"
#include "rtl/DateTime.h"

namespace engine {

namespace {

using Int128 = __int128;

// Fixed point counts ten-thousandths, as currency does.
constexpr std::int64_t kUnit = rtl::Currency::kScale;

// The operators decide by family; a type that belongs to none takes part in no operator.
enum class Family { Untyped, String, Date, Boolean, Integer, Float, Bcd, Time, DateTime, Other };

Family FamilyOf(std::uint8_t fieldType) noexcept {
    switch (fieldType) {
        case FieldTypeNone:
            return Family::Untyped;
        case FieldTypeString:
            return Family::String;
        case FieldTypeDate:
            return Family::Date;
        case FieldTypeBoolean:
            return Family::Boolean;
        case FieldTypeFloat:
            return Family::Float;
        case FieldTypeBcd:
            return Family::Bcd;
        case FieldTypeTime:
            return Family::Time;
        case FieldTypeDateTime:
            return Family::DateTime;
        default:
            return IsIntegerFieldType(fieldType) ? Family::Integer : Family::Other;
    }
}

bool IsNumber(Family family) noexcept {
    return family == Family::Integer || family == Family::Float || family == Family::Bcd;
}

void SetNull(ExprValue& result) noexcept {
    result.IsNull = 1;
}

void NormaliseTruth(ExprValue& result) noexcept {
    if (result.FieldType == FieldTypeBoolean && result.IsTrue()) result.SetUInt16(1);
}

// Integer results are 32-bit two's complement: the low 32 bits of the exact value.
void StoreWrapped(ExprValue& result, std::int64_t value) noexcept {
    result.SetUInt32(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

void StoreFloat(ExprValue& result, long double value) noexcept {
    result.SetDouble(static_cast<double>(value));
}

// A fixed-point result stored as a BCD value at the scale, or NULL when it has no stored form there.
void StoreFixed(ExprValue& result, Int128 fixedPoint, int scale) {
    if (fixedPoint < INT64_MIN || fixedPoint > INT64_MAX) return SetNull(result);
    const std::optional<std::int64_t> scaled =
        CurrToScaledInt(scale, rtl::Currency::FromRaw(static_cast<std::int64_t>(fixedPoint)));
    if (!scaled) return SetNull(result);
    result.SetInt64(*scaled);
}

// n / d rounded to an integer, halves to even; d is not 0.
Int128 DivideHalfEven(Int128 n, Int128 d) noexcept {
    Int128 quotient = n / d;
    const Int128 rest = n % d;
    const Int128 twice = rest < 0 ? -2 * rest : 2 * rest;
    const Int128 divisor = d < 0 ? -d : d;
    if (twice > divisor || (twice == divisor && (quotient & 1) != 0)) quotient += (n < 0) != (d < 0) ? -1 : 1;
    return quotient;
}

// A number in extended precision: BCD values as their nearest double.
long double FloatOf(const ExprValue& value, Family family) noexcept {
    switch (family) {
        case Family::Integer:
            return static_cast<long double>(IntegerValue(value));
        case Family::Bcd:
            return ScaledIntToFloat(value.GetInt64());
        default:
            return value.GetDouble();
    }
}

// A number in fixed point, in extended precision; a BCD value beyond the 64-bit count by its nearest double.
long double FixedPointOf(const ExprValue& value, Family family) noexcept {
    std::int64_t fixedPoint = 0;
    if (family == Family::Bcd && FixedPointValue(value, fixedPoint))
        return static_cast<long double>(fixedPoint);
    return FloatOf(value, family) * kUnit;
}

// A date or date-time as milliseconds, the date at its midnight.
long double MomentOf(const ExprValue& value, Family family) noexcept {
    if (family == Family::Date) return static_cast<long double>(value.GetInt32()) * rtl::MSecsPerDay;
    return value.GetDouble();
}

// The order of two values that are not null, or nothing for a pair that does not compare.
std::optional<std::partial_ordering> CompareValues(const ExprValue& left, const ExprValue& right,
                                                   std::uint16_t languageId, std::uint16_t sortId) {
    const Family a = FamilyOf(left.FieldType);
    const Family b = FamilyOf(right.FieldType);
    const auto isMoment = [](Family f) { return f == Family::Date || f == Family::DateTime; };
    if (a == Family::String && b == Family::String) {
        return ExprCollation(languageId, sortId).Compare(left.GetText(), right.GetText(), 0, false) <=> 0;
    }
    if (a == Family::Date && b == Family::Date) return left.GetInt32() <=> right.GetInt32();
    if (isMoment(a) && isMoment(b)) return MomentOf(left, a) <=> MomentOf(right, b);
    if (a == Family::Time && b == Family::Time) return left.GetInt32() <=> right.GetInt32();
    if (a == Family::Integer && b == Family::Integer) return IntegerValue(left) <=> IntegerValue(right);
    if (!IsNumber(a) || !IsNumber(b)) return std::nullopt;
    if (a == Family::Bcd || b == Family::Bcd) return FixedPointOf(left, a) <=> FixedPointOf(right, b);
    return FloatOf(left, a) <=> FloatOf(right, b);
}

bool Holds(ExprOperator op, std::partial_ordering order) noexcept {
    switch (op) {
        case opEqual:
            return order == 0;
        case opNotEqual:
            return order != 0;
        case opGreater:
            return order > 0;
        case opLess:
            return order < 0;
        case opGreaterEqual:
            return order >= 0;
        default:  // opLessEqual
            return order <= 0;
    }
}

void Compare(ExprOperator op, const ExprValue& left, const ExprValue& right, std::uint16_t languageId,
             std::uint16_t sortId, ExprValue& result) {
    const bool leftNull = left.IsNull != 0;
    const bool rightNull = right.IsNull != 0;
    const bool equality = op == opEqual || op == opNotEqual;
    if (leftNull || rightNull) {
        const bool equal = leftNull && rightNull;
        return result.SetTruth(equality && (op == opEqual) == equal);
    }
    const Family a = FamilyOf(left.FieldType);
    const Family b = FamilyOf(right.FieldType);
    if (equality && (a == Family::Untyped || b == Family::Untyped)) {
        if (a == Family::Boolean) return;
        return result.SetTruth(op == opNotEqual);
    }
    if (a == Family::Boolean && b == Family::Boolean) {
        if (!equality) return;
        return result.SetTruth((left.IsTrue() == right.IsTrue()) == (op == opEqual));
    }
    const std::optional<std::partial_ordering> order = CompareValues(left, right, languageId, sortId);
    if (order) result.SetTruth(Holds(op, *order));
}

void Concatenate(const ExprValue& left, const ExprValue& right, ExprValue& result) noexcept {
    // Built aside first: the result may be one of the operands.
    char joined[ExprValueSize];
    const std::string_view first = left.GetText();
    const std::string_view second = right.GetText().substr(0, MaxExprTextLength - first.size());
    std::memcpy(joined, first.data(), first.size());
    std::memcpy(joined + first.size(), second.data(), second.size());
    result.SetText({joined, first.size() + second.size()});
}

// The BCD-only arithmetic: I with N, N with I, N with N, exactly in fixed point. I x N keeps N's scale,
// N with N the left's.
void FixedPointArithmetic(ExprOperator op, const ExprValue& left, Family a, const ExprValue& right, Family b,
                          ExprValue& result) {
    const auto fixedPoint = [](const ExprValue& value, Family family) -> std::optional<Int128> {
        if (family == Family::Integer) return Int128{IntegerValue(value)} * kUnit;
        std::int64_t units = 0;
        if (!FixedPointValue(value, units)) return std::nullopt;
        return units;
    };
    const std::optional<Int128> x = fixedPoint(left, a);
    const std::optional<Int128> y = fixedPoint(right, b);
    if (!x || !y) return SetNull(result);
    const int scale = a == Family::Bcd ? left.Scale : right.Scale;
    switch (op) {
        case opAdd:
            return StoreFixed(result, *x + *y, scale);
        case opSubtract:
            return StoreFixed(result, *x - *y, scale);
        case opMultiply:  // both below 2^64 x 10^4: the product fits 128 bits
            return StoreFixed(result, DivideHalfEven(*x * *y, kUnit), scale);
        default:  // opDivide
            if (*y == 0) return SetNull(result);
            return StoreFixed(result, DivideHalfEven(*x * kUnit, *y), scale);
    }
}

// Integers, floats and BCD values.
void NumberArithmetic(ExprOperator op, const ExprValue& left, Family a, const ExprValue& right, Family b,
                      ExprValue& result) {
    if (a == Family::Integer && b == Family::Integer && op != opDivide) {
        const auto x = static_cast<std::uint64_t>(IntegerValue(left));
        const auto y = static_cast<std::uint64_t>(IntegerValue(right));
        const std::uint64_t exact = op == opAdd ? x + y : op == opSubtract ? x - y : x * y;
        return StoreWrapped(result, static_cast<std::int64_t>(exact));
    }
    if (a != Family::Float && b != Family::Float && (a == Family::Bcd || b == Family::Bcd)) {
        return FixedPointArithmetic(op, left, a, right, b, result);
    }
    const long double y = FloatOf(right, b);
    if (op == opAdd && a == Family::Float && b == Family::Bcd) {
        return StoreFloat(result, (FixedPointOf(right, b) + FloatOf(left, a) * kUnit) / kUnit);
    }
    const long double x = FloatOf(left, a);
    switch (op) {
        case opAdd:
            return StoreFloat(result, x + y);
        case opSubtract:
            return StoreFloat(result, x - y);
        case opMultiply:
            return StoreFloat(result, x * y);
        default:  // opDivide
            if (y == 0) return SetNull(result);
            return StoreFloat(result, x / y);
    }
}

// A date-time moved by whole days, its time of day kept.
void StoreShiftedMoment(ExprValue& result, const ExprValue& moment, std::int64_t days) noexcept {
    std::int32_t day = 0;
    std::int32_t msecs = 0;
    if (!SplitDateTime(moment.GetDouble(), day, msecs)) return SetNull(result);
    result.SetDouble(static_cast<double>((day + days) * rtl::MSecsPerDay + msecs));
}

// Dates, times and date-times with integers and with each other; false for any other pair.
bool MomentArithmetic(ExprOperator op, const ExprValue& left, Family a, const ExprValue& right, Family b,
                      ExprValue& result) noexcept {
    if (op == opAdd) {
        // Commutative: put the integer on the right.
        const bool swap = a == Family::Integer;
        const ExprValue& moment = swap ? right : left;
        const ExprValue& count = swap ? left : right;
        const Family kind = swap ? b : a;
        if ((swap ? a : b) != Family::Integer) return false;
        if (kind == Family::Date || kind == Family::Time) {
            StoreWrapped(result, std::int64_t{moment.GetInt32()} + IntegerValue(count));
        } else if (kind == Family::DateTime) {
            StoreShiftedMoment(result, moment, IntegerValue(count));
        } else {
            return false;
        }
        return true;
    }
    if (op != opSubtract) return false;
    std::int32_t day = 0;
    std::int32_t msecs = 0;
    const bool split = a == Family::DateTime && SplitDateTime(left.GetDouble(), day, msecs);
    if ((a == Family::Date || a == Family::Time) && (b == a || b == Family::Integer)) {
        const std::int64_t subtrahend = b == a ? right.GetInt32() : IntegerValue(right);
        StoreWrapped(result, std::int64_t{left.GetInt32()} - subtrahend);
    } else if (a == Family::DateTime && b == Family::DateTime) {
        StoreFloat(result, static_cast<long double>(left.GetDouble()) - right.GetDouble());
    } else if (a == Family::DateTime && b == Family::Integer) {
        StoreShiftedMoment(result, left, -IntegerValue(right));
    } else if (a == Family::DateTime && (b == Family::Date || b == Family::Time)) {
        if (!split) {
            SetNull(result);
        } else {
            StoreWrapped(result, std::int64_t{b == Family::Date ? day : msecs} - right.GetInt32());
        }
    } else {
        return false;
    }
    return true;
}

void Arithmetic(ExprOperator op, const ExprValue& left, const ExprValue& right, ExprValue& result) {
    if (left.IsNull != 0 || right.IsNull != 0) return SetNull(result);
    const Family a = FamilyOf(left.FieldType);
    const Family b = FamilyOf(right.FieldType);
    if (op == opAdd && a == Family::String && b == Family::String) return Concatenate(left, right, result);
    if (IsNumber(a) && IsNumber(b)) return NumberArithmetic(op, left, a, right, b, result);
    MomentArithmetic(op, left, a, right, b, result);
}

// Negation and unary plus of a value that is not null.
void SignStep(bool negate, const ExprValue& operand, ExprValue& result) {
    switch (operand.FieldType) {
        case FieldTypeDate:
        case FieldTypeInteger:
        case FieldTypeTime:
        case FieldTypeLongWord: {
            const std::uint32_t value = operand.GetUInt32();
            return result.SetUInt32(negate ? 0U - value : value);
        }
        case FieldTypeSmallInt:
        case FieldTypeWord: {
            const std::uint16_t value = operand.GetUInt16();
            return result.SetUInt16(negate ? static_cast<std::uint16_t>(0U - value) : value);
        }
        case FieldTypeFloat:
        case FieldTypeDateTime:
            return result.SetDouble(negate ? -operand.GetDouble() : operand.GetDouble());
        case FieldTypeBcd: {
            std::int64_t fixedPoint = 0;
            if (!FixedPointValue(operand, fixedPoint)) return SetNull(result);
            return StoreFixed(result, negate ? -Int128{fixedPoint} : Int128{fixedPoint}, operand.Scale);
        }
        default:
            return;
    }
}

// Whether the exact value lies in the range of the integer-typed result (the dates and times of the moment
// steps are day and millisecond counts of 32 bits).
bool FitsIntegerResult(Int128 exact, std::uint8_t fieldType) noexcept {
    switch (fieldType) {
        case FieldTypeSmallInt:
            return exact >= INT16_MIN && exact <= INT16_MAX;
        case FieldTypeWord:
            return exact >= 0 && exact <= UINT16_MAX;
        case FieldTypeLongWord:
            return exact >= 0 && exact <= UINT32_MAX;
        default:
            return exact >= INT32_MIN && exact <= INT32_MAX;
    }
}

bool IsZero(const ExprValue& value, Family family) noexcept {
    if (family == Family::Integer) return IntegerValue(value) == 0;
    if (family == Family::Float) return value.GetDouble() == 0;
    std::int64_t fixedPoint = 0;
    return family == Family::Bcd && FixedPointValue(value, fixedPoint) && fixedPoint == 0;
}

}  // namespace

bool BinaryStepOverflowed(ExprOperator op, const ExprValue& left, const ExprValue& right,
                          const ExprValue& result) noexcept {
    if (op != opAdd && op != opSubtract && op != opMultiply && op != opDivide) return false;
    if (left.IsNull != 0 || right.IsNull != 0) return false;
    const Family a = FamilyOf(left.FieldType);
    const Family b = FamilyOf(right.FieldType);
    const bool integers = a == Family::Integer && b == Family::Integer;
    const bool moment = (a == Family::Date || a == Family::Time) && (b == Family::Integer || b == a);
    const bool shiftedMoment =
        op == opAdd && (b == Family::Date || b == Family::Time) && a == Family::Integer;
    if ((integers && op != opDivide) || ((moment || shiftedMoment) && op != opMultiply && op != opDivide)) {
        const Int128 x = a == Family::Integer ? Int128{IntegerValue(left)} : Int128{left.GetInt32()};
        const Int128 y = b == Family::Integer ? Int128{IntegerValue(right)} : Int128{right.GetInt32()};
        const Int128 exact = op == opAdd ? x + y : op == opSubtract ? x - y : x * y;
        return !FitsIntegerResult(exact, result.FieldType);
    }
    if (!IsNumber(a) || !IsNumber(b)) return false;
    if (op == opDivide && IsZero(right, b)) return false;
    if (result.IsNull != 0) return true;
    const bool finite = (a != Family::Float || std::isfinite(left.GetDouble())) &&
                        (b != Family::Float || std::isfinite(right.GetDouble()));
    return result.FieldType == FieldTypeFloat && finite && !std::isfinite(result.GetDouble());
}

bool UnaryStepOverflowed(ExprOperator op, const ExprValue& operand, const ExprValue& result) noexcept {
    if (op != opNegate || operand.IsNull != 0) return false;
    if (IsIntegerFieldType(operand.FieldType))
        return !FitsIntegerResult(-Int128{IntegerValue(operand)}, result.FieldType);
    return operand.FieldType == FieldTypeBcd && result.IsNull != 0;
}

const Collation& ExprCollation(std::uint16_t languageId, std::uint16_t sortId) noexcept {
    const Collation* const collation = FindCollation(languageId, sortId);
    return collation != nullptr ? *collation : ByteOrderCollation();
}

void EvalUnaryOp(ExprOperator op, const ExprValue& operand, ExprValue& result) {
    switch (op) {
        case opIsNull:
            result.SetTruth(operand.IsNull != 0);
            break;
        case opIsNotNull:
            result.SetTruth(operand.IsNull == 0);
            break;
        case opNot:
            result.SetTruth(!operand.IsTrue());
            break;
        case opNegate:
        case opPlus:
            if (operand.IsNull != 0) {
                SetNull(result);
            } else {
                SignStep(op == opNegate, operand, result);
            }
            break;
        default:
            return;
    }
    NormaliseTruth(result);
}

void EvalBinaryOp(ExprOperator op, const ExprValue& left, const ExprValue& right, std::uint16_t languageId,
                  std::uint16_t sortId, ExprValue& result) {
    switch (op) {
        case opEqual:
        case opNotEqual:
        case opGreater:
        case opLess:
        case opGreaterEqual:
        case opLessEqual:
            Compare(op, left, right, languageId, sortId, result);
            break;
        case opAnd:
            result.SetTruth(left.IsTrue() && right.IsTrue());
            break;
        case opOr:
            result.SetTruth(left.IsTrue() || right.IsTrue());
            break;
        case opAdd:
        case opSubtract:
        case opMultiply:
        case opDivide:
            Arithmetic(op, left, right, result);
            break;
        default:
            return;
    }
    NormaliseTruth(result);
}

void EvalFilterCompare(ExprOperator op, const ExprValue& left, const ExprValue& right,
                       std::uint8_t partialLength, bool caseInsensitive, std::uint16_t languageId,
                       std::uint16_t sortId, ExprValue& result) {
    if (op != opEqual && op != opNotEqual) return;
    const bool leftNull = left.IsNull != 0;
    const bool rightNull = right.IsNull != 0;
    const Family a = FamilyOf(left.FieldType);
    const Family b = FamilyOf(right.FieldType);
    if (leftNull || rightNull) {
        result.SetTruth((leftNull == rightNull) == (op == opEqual));
    } else if (a == Family::Untyped || (a == Family::String && b == Family::Untyped)) {
        result.SetTruth(op == opNotEqual);
    } else if (a == Family::String && b == Family::String) {
        const int order = ExprCollation(languageId, sortId)
                              .Compare(left.GetText(), right.GetText(), partialLength, caseInsensitive);
        result.SetTruth((order == 0) == (op == opEqual));
    } else {
        return;
    }
    NormaliseTruth(result);
}

}  // namespace engine
