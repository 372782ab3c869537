// Number to text: floats and currency in the general form, the fixed forms and under format masks.
#pragma once

#include <string>
#include <string_view>

#include "rtl/Currency.h"
#include "rtl/FormatSettings.h"

namespace rtl {

// Not a number and the infinities print as "NAN", "INF" and "-INF" in every form. A value that rounds to
// zero never prints a minus sign.

enum class FloatFormat {
    // Fixed notation with up to `precision` significant digits and no trailing zeros; scientific
    // ("1.5E20", "1E-5": one integer digit, "E", a minus sign only for a negative exponent, at least
    // `digits` exponent digits) when the decimal exponent is below -4 or at least `precision`.
    General,
    // Scientific: `precision` significant digits, "E", "+" or "-", at least `digits` exponent digits.
    Exponent,
    // Fixed notation with `digits` decimals; General when the integer part has more than `precision`
    // digits.
    Fixed,
    // Fixed with thousand separators.
    Number,
    // Number with `digits` decimals, placed with CurrencyString by CurrencyFormat (positive) or
    // NegCurrFormat (negative: 0 "($1)", 1 "-$1", 2 "$-1", 3 "$1-", 4 "(1$)", 5 "-1$", 6 "1-$", 7 "1$-",
    // 8 "-1 $", 9 "-$ 1", 10 "1 $-", 11 "$ 1-", 12 "$ -1", 13 "1- $", 14 "($ 1)", 15 "(1 $)").
    Currency,
};

// The general form with 15 significant digits: 0.125 is "0.125", 1e15 is "1E15", 1e-5 is "1E-5".
std::string FloatToStr(double value, const FormatSettings& settings);
std::string FloatToStr(double value);

// `precision` is taken in 1 .. 18 and `digits` in 0 .. 18 (0 .. 4 for exponent digits).
std::string FloatToStrF(double value, FloatFormat format, int precision, int digits,
                        const FormatSettings& settings);
std::string FloatToStrF(double value, FloatFormat format, int precision, int digits);

// Format masks, up to three sections separated by ";": for positive values (and all values when alone),
// for negative values (printed without a minus sign; an empty section means the first with the sign) and
// for zero (also taken by a value that rounds to zero in its section). Within a section:
//   "0"  a digit, or 0 where the value has none;  "#"  a digit, or nothing;
//   "."  the DecimalSeparator, placed before the first decimal (none when no decimal is shown);
//   ","  thousand separators in the integer part (the comma itself prints nowhere);
//   "E+", "E-", "e+", "e-" followed by "0"s: scientific notation; "+" prints the exponent's sign always,
//        "-" only when negative; the "0"s give the least number of exponent digits;
//   '...' or "..." literal text; any other character prints as it stands.
// Integer digits beyond the placeholders all print at the first one. The value is first taken to 15
// significant digits and then rounded, halves away from zero, to the places shown: 0.125 with "0.00"
// prints "0.13". An empty mask gives FloatToStr.
std::string FormatFloat(std::string_view mask, double value, const FormatSettings& settings);
std::string FormatFloat(std::string_view mask, double value);

// Currency in the general form: all its decimals, no trailing zeros ("12.34", "5", "-0.0001").
std::string CurrToStr(Currency value, const FormatSettings& settings);
std::string CurrToStr(Currency value);
// FloatToStrF on the exact value, with all 19 digits a currency value can have as its precision.
std::string CurrToStrF(Currency value, FloatFormat format, int digits, const FormatSettings& settings);
std::string CurrToStrF(Currency value, FloatFormat format, int digits);
// FormatFloat on the exact value (no 15-digit step); an empty mask gives CurrToStr.
std::string FormatCurr(std::string_view mask, Currency value, const FormatSettings& settings);
std::string FormatCurr(std::string_view mask, Currency value);

}  // namespace rtl
