#include "engine/values/ScaledNumber.h"

#include <bit>
#include <cfloat>
#include <cmath>

#include "engine/base/EngineTexts.h"
#include "rtl/DecimalNumber.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/FormatSettings.h"
#include "rtl/Messages.h"
#include "rtl/Text.h"

namespace engine {

namespace {

using Int128 = __int128;
using UInt128 = unsigned __int128;

// Currency counts ten-thousandths: 4 decimals.
constexpr int kCurrencyDecimals = 4;
// 10^19 is the first power of ten above 2^63, the largest magnitude a scaled integer can have.
constexpr int kMaxScaledDigits = 19;
constexpr UInt128 kMaxNegativeMagnitude = UInt128{1} << 63;

constexpr UInt128 PowerOfTen(int exponent) noexcept {
    UInt128 result = 1;
    for (int i = 0; i < exponent; ++i) result *= 10;
    return result;
}

// The currency count rounded to the decimals (0 .. 4), halves away from zero; exact in 128 bits.
Int128 RoundRawAway(std::int64_t raw, int decimals) noexcept {
    const auto unit = static_cast<Int128>(PowerOfTen(kCurrencyDecimals - decimals));
    Int128 quotient = raw / unit;
    const Int128 rest = raw % unit;  // same sign as raw
    if ((rest < 0 ? -rest : rest) * 2 >= unit) quotient += raw < 0 ? -1 : 1;
    return quotient * unit;
}

// n / d rounded half to even; d is positive.
UInt128 DivideHalfEven(UInt128 n, UInt128 d) noexcept {
    UInt128 quotient = n / d;
    const UInt128 twice = (n % d) * 2;
    if (twice > d || (twice == d && (quotient & 1) != 0)) ++quotient;
    return quotient;
}

bool FitsInt64(Int128 value) noexcept {
    return value >= INT64_MIN && value <= INT64_MAX;
}

// The scaled integer of a value whose digits at the scale are `count`, or nothing beyond 64 bits.
std::optional<std::int64_t> ComposeScaled(bool negative, UInt128 count, int scale) {
    if (count > PowerOfTen(kMaxScaledDigits)) return std::nullopt;  // keeps count x 10 in range
    const UInt128 magnitude = count * 10 + static_cast<unsigned>(scale);
    if (count == 0) negative = false;
    if (magnitude > (negative ? kMaxNegativeMagnitude : UInt128{INT64_MAX})) return std::nullopt;
    return negative ? static_cast<std::int64_t>(-static_cast<Int128>(magnitude))
                    : static_cast<std::int64_t>(magnitude);
}

// The parts of a scaled integer, computed unsigned so that INT64_MIN has its magnitude too.
struct ScaledParts {
    bool negative;
    std::uint64_t digits;  // the value's digits at the scale
    int scale;
};

ScaledParts SplitScaled(std::int64_t scaled) noexcept {
    const std::uint64_t magnitude =
        scaled < 0 ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    return {scaled < 0, magnitude / 10, static_cast<int>(magnitude % 10)};
}

// The double nearest to n / 10^scale. The quotient is taken with well over 64 significant bits and the
// remainder kept as a sticky bit, so the one rounding to a double is exact, halves to even.
double NearestQuotient(std::uint64_t n, int scale) noexcept {
    if (n == 0) return 0.0;
    if (scale == 0) return static_cast<double>(n);  // the conversion itself rounds to nearest
    const int shift = 127 - std::bit_width(n);      // n < 2^63, so shift >= 64
    const UInt128 numerator = static_cast<UInt128>(n) << shift;
    const UInt128 divisor = PowerOfTen(scale);
    const UInt128 quotient = numerator / divisor;  // at least 2^96, since divisor < 2^30
    const bool inexact = numerator % divisor != 0;
    const int width = 128 - std::countl_zero(static_cast<std::uint64_t>(quotient >> 64));  // above 64
    const int drop = width - 64;
    auto top = static_cast<std::uint64_t>(quotient >> drop);
    if (inexact || (quotient & ((UInt128{1} << drop) - 1)) != 0) top |= 1;  // sticky bit
    return std::ldexp(static_cast<double>(top), drop - shift);
}

}  // namespace

double RoundFloat(int decimals, double value) {
    if (value == 0.0 || !std::isfinite(value)) return value;
    const long double half = value > 0 ? 0.5L : -0.5L;
    if (decimals <= 0) return FloatIntPart(static_cast<double>(static_cast<long double>(value) + half));
    const double p = FloatPower(decimals, 0.1);
    const long double sum = static_cast<long double>(value) / p + half;
    if (!(std::fabs(sum) <= DBL_MAX)) return value;  // N decimals are finer than a double can show here
    return p * FloatIntPart(static_cast<double>(sum));
}

double FloatIntPart(double value) noexcept {
    return std::trunc(value);
}

double FloatPower(int exponent, double base) noexcept {
    if (exponent <= 0) return 1.0;
    if (base == 0.0 || exponent == 1) return base;
    double result = base;
    for (int i = 1; i < exponent; ++i) result *= base;
    return result;
}

rtl::Currency RoundCurrency(int decimals, rtl::Currency value) {
    const int d = decimals < 0 ? 0 : decimals > kCurrencyDecimals ? kCurrencyDecimals : decimals;
    const Int128 raw = RoundRawAway(value.Raw(), d);
    if (!FitsInt64(raw)) throw rtl::EOverflow(std::string(rtl::kCurrencyOverflow));
    return rtl::Currency::FromRaw(static_cast<std::int64_t>(raw));
}

rtl::Currency CurrIntPart(rtl::Currency value) noexcept {
    return rtl::Currency::FromRaw(value.Raw() - value.Raw() % rtl::Currency::kScale);
}

rtl::Currency CurrPower(int exponent, rtl::Currency base) {
    if (exponent <= 0) return rtl::Currency::FromRaw(rtl::Currency::kScale);
    if (base == rtl::Currency() || exponent == 1) return base;
    rtl::Currency result = base;
    for (int i = 1; i < exponent; ++i) result = result * base;
    return result;
}

std::optional<std::int64_t> CurrToScaledInt(int scale, rtl::Currency value) {
    if (scale < 0 || scale > MaxScale) return std::nullopt;
    const Int128 rounded = RoundRawAway(value.Raw(), scale < kCurrencyDecimals ? scale : kCurrencyDecimals);
    const UInt128 magnitude = static_cast<UInt128>(rounded < 0 ? -rounded : rounded);
    const UInt128 count = scale <= kCurrencyDecimals ? magnitude / PowerOfTen(kCurrencyDecimals - scale)
                                                     : magnitude * PowerOfTen(scale - kCurrencyDecimals);
    return ComposeScaled(rounded < 0, count, scale);
}

std::optional<std::int64_t> FloatToScaledInt(int scale, double value) {
    if (scale < 0 || scale > MaxScale) return std::nullopt;
    const double rounded = RoundFloat(scale, value);
    if (!std::isfinite(rounded)) return std::nullopt;
    // The digits FormatFloat prints: 15 significant ones, then rounded to the mask's decimals.
    constexpr int kFormatFloatPrecision = 15;
    rtl::DecimalNumber number = rtl::FloatToDecimal(rounded, kFormatFloatPrecision);
    rtl::RoundDecimals(number, scale);
    if (number.IsZero()) return ComposeScaled(false, 0, scale);
    const int length = static_cast<int>(number.Digits.size());
    const int zeros = number.Exponent - length + scale;  // digits of the count after the significant ones
    if (zeros < 0 || length + zeros > kMaxScaledDigits) return std::nullopt;
    UInt128 count = 0;
    for (const char digit : number.Digits) count = count * 10 + static_cast<unsigned>(digit - '0');
    return ComposeScaled(number.Negative, count * PowerOfTen(zeros), scale);
}

double ScaledIntToFloat(std::int64_t scaled) noexcept {
    const ScaledParts parts = SplitScaled(scaled);
    const double magnitude = NearestQuotient(parts.digits, parts.scale);
    return parts.negative ? -magnitude : magnitude;
}

bool TryScaledIntToCurr(std::int64_t scaled, rtl::Currency& value) noexcept {
    const ScaledParts parts = SplitScaled(scaled);
    const UInt128 magnitude = parts.scale <= kCurrencyDecimals
                                  ? parts.digits * PowerOfTen(kCurrencyDecimals - parts.scale)
                                  : DivideHalfEven(parts.digits, PowerOfTen(parts.scale - kCurrencyDecimals));
    const Int128 raw = parts.negative ? -static_cast<Int128>(magnitude) : static_cast<Int128>(magnitude);
    if (!FitsInt64(raw)) return false;
    value = rtl::Currency::FromRaw(static_cast<std::int64_t>(raw));
    return true;
}

rtl::Currency ScaledIntToCurr(std::int64_t scaled) {
    rtl::Currency value;
    if (!TryScaledIntToCurr(scaled, value)) throw rtl::EOverflow(std::string(rtl::kCurrencyOverflow));
    return value;
}

int CompareScaledIntWithCurr(std::int64_t scaled, rtl::Currency value) noexcept {
    // Both as counts of 10^-9, the finest unit a scaled integer holds: exact in 128 bits.
    const ScaledParts parts = SplitScaled(scaled);
    const auto magnitude = static_cast<Int128>(parts.digits * PowerOfTen(MaxScale - parts.scale));
    const Int128 left = parts.negative ? -magnitude : magnitude;
    const Int128 right =
        static_cast<Int128>(value.Raw()) * static_cast<Int128>(PowerOfTen(MaxScale - kCurrencyDecimals));
    return left < right ? -1 : left > right ? 1 : 0;
}

std::string ScaledIntToStr(std::int64_t scaled) {
    const ScaledParts parts = SplitScaled(scaled);
    std::string digits = std::to_string(parts.digits);
    if (digits.size() <= static_cast<std::size_t>(parts.scale))
        digits.insert(0, parts.scale + 1 - digits.size(), '0');
    const std::size_t point = digits.size() - static_cast<std::size_t>(parts.scale);
    std::string text = parts.negative && parts.digits != 0 ? "-" : "";
    text.append(digits, 0, point);
    const auto last = digits.find_last_not_of('0');
    if (last != std::string::npos && last >= point) {
        text += rtl::CurrentFormatSettings().DecimalSeparator;
        text.append(digits, point, last + 1 - point);
    }
    return text;
}

std::string BuildFormatMask(int decimals) {
    std::string mask = "##############0";
    if (decimals > 0) mask += '.' + std::string(static_cast<std::size_t>(decimals), '0');
    return mask;
}

std::string BooleanToText(bool value) {
    return std::string(value ? texts::TrueText : texts::FalseText);
}

bool TextToBoolean(std::string_view text) {
    bool value = false;
    if (!TryTextToBoolean(text, value)) throw rtl::EConvertError(rtl::Format(texts::InvalidBoolean, {text}));
    return value;
}

bool TryTextToBoolean(std::string_view text, bool& value) {
    const std::string upper = rtl::UpperCase(text);
    if (upper == rtl::UpperCase(texts::TrueText)) {
        value = true;
    } else if (upper == rtl::UpperCase(texts::FalseText)) {
        value = false;
    } else {
        return false;
    }
    return true;
}

}  // namespace engine
