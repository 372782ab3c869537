// DecimalNumber: the decimal digits of a float or currency value, on which all number formatting works.
#pragma once

#include <string>

#include "rtl/Currency.h"

namespace rtl {

// A finite number as 0.Digits x 10^Exponent: Digits holds the significant digits without trailing zeros,
// empty for zero (Negative then tells only the sign the value had).
struct DecimalNumber {
    bool Negative = false;
    std::string Digits;
    int Exponent = 0;

    bool IsZero() const { return Digits.empty(); }
    bool operator==(const DecimalNumber&) const = default;
};

// The value's exact binary value rounded to `precision` significant digits (1 .. 40), halves away from
// zero. The value must be finite.
DecimalNumber FloatToDecimal(double value, int precision);
// All the digits of a currency value, exactly.
DecimalNumber CurrToDecimal(Currency value);

// Round to `decimals` digits after the decimal point (0 or more), halves away from zero.
void RoundDecimals(DecimalNumber& number, int decimals);
// Round to `digits` significant digits (1 or more), halves away from zero.
void RoundSignificant(DecimalNumber& number, int digits);

}  // namespace rtl
