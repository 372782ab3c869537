#include "engine/expr/ExprConvert.h"

#include <cmath>
#include <optional>

#include "engine/values/FieldTypes.h"
#include "engine/values/ScaledNumber.h"
#include "rtl/Currency.h"
#include "rtl/DateTime.h"

namespace engine {

namespace {

// The value range of an integer target.
struct IntegerRange {
    std::int64_t min;
    std::int64_t max;
};

std::optional<IntegerRange> RangeOf(std::uint8_t fieldType) noexcept {
    switch (fieldType) {
        case FieldTypeSmallInt:
            return IntegerRange{INT16_MIN, INT16_MAX};
        case FieldTypeInteger:
            return IntegerRange{INT32_MIN, INT32_MAX};
        case FieldTypeWord:
            return IntegerRange{0, UINT16_MAX};
        default:
            return std::nullopt;
    }
}

// The whole part of the source (integer family, float or BCD), or nothing when it has none that fits 64
// bits.
std::optional<std::int64_t> WholeValue(const ExprValue& source) noexcept {
    if (IsIntegerFieldType(source.FieldType)) return IntegerValue(source);
    if (source.FieldType == FieldTypeFloat) {
        const double whole = std::trunc(source.GetDouble());
        // 2^63 bounds the 64-bit range exactly; NaN fails both tests.
        if (!(whole >= -0x1p63 && whole < 0x1p63)) return std::nullopt;
        return static_cast<std::int64_t>(whole);
    }
    if (source.FieldType == FieldTypeBcd) {
        std::int64_t fixedPoint = 0;
        if (!FixedPointValue(source, fixedPoint)) return std::nullopt;
        return fixedPoint / rtl::Currency::kScale;  // truncates toward zero
    }
    return std::nullopt;
}

bool ConvertToInteger(const ExprValue& source, const IntegerRange& range, ExprValue& target) noexcept {
    const std::optional<std::int64_t> whole = WholeValue(source);
    if (!whole || *whole < range.min || *whole > range.max) return false;
    if (target.FieldType == FieldTypeInteger) {
        target.SetInt32(static_cast<std::int32_t>(*whole));
    } else {
        target.SetUInt16(static_cast<std::uint16_t>(*whole));  // both 16-bit forms share the low 16 bits
    }
    return true;
}

bool StoreScaled(std::optional<std::int64_t> scaled, ExprValue& target) {
    if (!scaled) return false;
    target.SetInt64(*scaled);
    return true;
}

}  // namespace

bool IsIntegerFieldType(std::uint8_t fieldType) noexcept {
    return fieldType == FieldTypeSmallInt || fieldType == FieldTypeInteger || fieldType == FieldTypeWord ||
           fieldType == FieldTypeLongWord;
}

std::int64_t IntegerValue(const ExprValue& value) noexcept {
    switch (value.FieldType) {
        case FieldTypeSmallInt:
            return value.GetInt16();
        case FieldTypeInteger:
            return value.GetInt32();
        case FieldTypeWord:
            return value.GetUInt16();
        case FieldTypeLongWord:
            return value.GetUInt32();
        default:
            return 0;
    }
}

bool FixedPointValue(const ExprValue& value, std::int64_t& fixedPoint) noexcept {
    rtl::Currency currency;
    if (!TryScaledIntToCurr(value.GetInt64(), currency)) return false;
    fixedPoint = currency.Raw();
    return true;
}

bool SplitDateTime(double msecs, std::int32_t& dayNumber, std::int32_t& msecsOfDay) noexcept {
    // Far beyond any 32-bit day number, and inside the range that llround can return.
    constexpr double kLimit = 0x1p62;
    if (!(std::fabs(msecs) < kLimit)) return false;
    const long long total = std::llround(msecs);
    long long day = total / rtl::MSecsPerDay;
    long long rest = total % rtl::MSecsPerDay;
    if (rest < 0) {  // before day 0 the day still starts at midnight
        rest += rtl::MSecsPerDay;
        --day;
    }
    if (day < INT32_MIN || day > INT32_MAX) return false;
    dayNumber = static_cast<std::int32_t>(day);
    msecsOfDay = static_cast<std::int32_t>(rest);
    return true;
}

bool ConvertExprValue(const ExprValue& source, ExprValue& target) {
    const std::uint8_t from = source.FieldType;
    if (from == target.FieldType) return false;
    switch (target.FieldType) {
        case FieldTypeDate: {
            std::int32_t day = 0;
            std::int32_t msecs = 0;
            if (from != FieldTypeDateTime || !SplitDateTime(source.GetDouble(), day, msecs)) return false;
            target.SetInt32(day);
            return true;
        }
        case FieldTypeDateTime:
            if (from != FieldTypeDate) return false;
            target.SetDouble(static_cast<double>(source.GetInt32()) * rtl::MSecsPerDay);
            return true;
        case FieldTypeSmallInt:
        case FieldTypeInteger:
        case FieldTypeWord:
            return ConvertToInteger(source, *RangeOf(target.FieldType), target);
        case FieldTypeFloat:
            if (IsIntegerFieldType(from)) {
                target.SetDouble(static_cast<double>(IntegerValue(source)));
                return true;
            }
            if (from != FieldTypeBcd) return false;
            target.SetDouble(ScaledIntToFloat(source.GetInt64()));
            return true;
        case FieldTypeBcd:
            if (IsIntegerFieldType(from)) {
                // At most 2^32 x 10^4: the fixed-point count cannot overflow.
                const auto units = rtl::Currency::FromRaw(IntegerValue(source) * rtl::Currency::kScale);
                return StoreScaled(CurrToScaledInt(target.Scale, units), target);
            }
            if (from != FieldTypeFloat) return false;
            return StoreScaled(FloatToScaledInt(target.Scale, source.GetDouble()), target);
        default:
            return false;
    }
}

}  // namespace engine
