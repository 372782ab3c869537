// Rounding, the scaled integers in which BCD values are stored, maxima and minima, and truth values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rtl/Currency.h"

namespace engine {

// Rounding to N decimals (N below 0 counts as 0). RoundFloat rounds halves away from zero as far as the
// binary values allow: with p = FloatPower(N, 0.1), it takes the integer part of value / p +- 1/2, computed
// in extended precision and rounded to a double first, times p (RoundFloat (1, 0.25) is 3 x 0.1). Zero,
// infinities and not-a-number come back unchanged, and so does a value too large to show N decimals.
double RoundFloat(int decimals, double value);
// The value truncated towards zero.
double FloatIntPart(double value) noexcept;
// Base to the power N by repeated multiplication, each product rounded to a double; N 0 (or below) gives 1.
double FloatPower(int exponent, double base) noexcept;
// Currency rounds exactly, halves away from zero, to at most 4 decimals (N above 4 counts as 4); a result
// beyond the currency range raises rtl::EOverflow.
rtl::Currency RoundCurrency(int decimals, rtl::Currency value);
rtl::Currency CurrIntPart(rtl::Currency value) noexcept;
// Each product rounded to 4 decimals, halves to even; rtl::EOverflow beyond the currency range.
rtl::Currency CurrPower(int exponent, rtl::Currency base);

// A scaled integer holds a decimal value v at scale N (0 .. 9) as sign(v) x (|v rounded to N decimals| x
// 10^N x 10 + N): 12.34 at scale 2 is 12342, -2.5 at scale 0 is -30. A currency value has at most 4
// decimals, so above scale 4 the further digits are zeros. The scale is the form's last decimal digit, so it
// runs to 9.
inline constexpr int MaxScale = 9;

// Both give nothing for a scale outside 0 .. 9, a value that is not finite, or a stored form beyond 64 bits.
// CurrToScaledInt rounds with RoundCurrency; FloatToScaledInt rounds with RoundFloat and takes the digits as
// FormatFloat prints them with BuildFormatMask (N), so (2, 0.005) gives 2 where the currency 0.005 gives 12.
std::optional<std::int64_t> CurrToScaledInt(int scale, rtl::Currency value);
std::optional<std::int64_t> FloatToScaledInt(int scale, double value);
// The double nearest to the stored value, over the whole 64-bit range.
double ScaledIntToFloat(std::int64_t scaled) noexcept;
// Exact up to scale 4; above it the value is rounded to 4 decimals, halves to even. False (result unchanged)
// when the value is beyond the currency range; ScaledIntToCurr raises rtl::EOverflow then.
bool TryScaledIntToCurr(std::int64_t scaled, rtl::Currency& value) noexcept;
rtl::Currency ScaledIntToCurr(std::int64_t scaled);
// -1, 0 or 1: the scaled integer's value against the currency value, compared exactly whatever the scale
// (the blank value 0, which is 0 at scale 0, equals the currency 0).
int CompareScaledIntWithCurr(std::int64_t scaled, rtl::Currency value) noexcept;
// The stored value written exactly with the current DecimalSeparator, without trailing decimal zeros, as
// CurrToStr writes currency ("12.3", "5", "-0.05").
std::string ScaledIntToStr(std::int64_t scaled);
// "##############0", and for N above 0 "." and N times "0".
std::string BuildFormatMask(int decimals);

// Maxima and minima answer one of their arguments, the second on a tie: MaxFloat (0.0, -0.0) is -0.0.
constexpr std::int32_t MaxInteger(std::int32_t a, std::int32_t b) noexcept {
    return a > b ? a : b;
}
constexpr std::int32_t MinInteger(std::int32_t a, std::int32_t b) noexcept {
    return a < b ? a : b;
}
constexpr std::uint16_t MaxWord(std::uint16_t a, std::uint16_t b) noexcept {
    return a > b ? a : b;
}
constexpr std::uint16_t MinWord(std::uint16_t a, std::uint16_t b) noexcept {
    return a < b ? a : b;
}
constexpr std::int16_t MaxSmallInt(std::int16_t a, std::int16_t b) noexcept {
    return a > b ? a : b;
}
constexpr std::int16_t MinSmallInt(std::int16_t a, std::int16_t b) noexcept {
    return a < b ? a : b;
}
constexpr rtl::Currency MaxCurrency(rtl::Currency a, rtl::Currency b) noexcept {
    return a > b ? a : b;
}
constexpr rtl::Currency MinCurrency(rtl::Currency a, rtl::Currency b) noexcept {
    return a < b ? a : b;
}
constexpr double MaxFloat(double a, double b) noexcept {
    return a > b ? a : b;
}
constexpr double MinFloat(double a, double b) noexcept {
    return a < b ? a : b;
}
constexpr std::uint8_t MaxByte(std::uint8_t a, std::uint8_t b) noexcept {
    return a > b ? a : b;
}

// "True" or "False".
std::string BooleanToText(bool value);
// "TRUE" and "FALSE" in any letter case; any other text raises rtl::EConvertError, or makes the Try form
// answer false and leave the value alone.
bool TextToBoolean(std::string_view text);
bool TryTextToBoolean(std::string_view text, bool& value);
// Boolean words are 0 or 1: every value above 1 becomes 1.
constexpr std::uint16_t ClampToOne(std::uint16_t value) noexcept {
    return value > 1 ? 1 : value;
}

}  // namespace engine
