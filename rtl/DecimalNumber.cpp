#include "rtl/DecimalNumber.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace rtl {

namespace {

// Digits enough to write any double exactly: the smallest subnormal has 751 significant digits.
constexpr int kExactDigits = 770;

// Writes a positive finite value in scientific form with `digits` significant digits, correctly rounded
// from its exact binary value; returns the digits and the decimal exponent of the first one.
void Scientific(double value, int digits, std::string& out, int& exponent10) {
    std::array<char, kExactDigits + 32> text;
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::scientific, digits - 1);
    const char* p = text.data();
    out.clear();
    for (; p != result.ptr && *p != 'e'; ++p) {
        if (*p != '.') out += *p;
    }
    int e = 0;
    std::from_chars(p + 1 + (p[1] == '+'), result.ptr, e);
    exponent10 = e;
}

void StripTrailingZeros(DecimalNumber& number) {
    const auto last = number.Digits.find_last_not_of('0');
    number.Digits.resize(last == std::string::npos ? 0 : last + 1);
}

// Keeps the first `keep` digits, rounding up in magnitude when the first dropped digit is 5 or more.
void KeepDigits(DecimalNumber& number, int keep) {
    if (keep >= static_cast<int>(number.Digits.size())) return;
    if (keep < 0) {
        number.Digits.clear();
        return;
    }
    const bool up = number.Digits[keep] >= '5';
    number.Digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && number.Digits[i] == '9') number.Digits[i--] = '0';
        if (i >= 0) {
            ++number.Digits[i];
        } else {
            number.Digits.insert(number.Digits.begin(), '1');
            ++number.Exponent;
        }
    }
    StripTrailingZeros(number);
}

}  // namespace

DecimalNumber FloatToDecimal(double value, int precision) {
    DecimalNumber number;
    number.Negative = std::signbit(value);
    if (value == 0 || !std::isfinite(value)) return number;
    precision = std::clamp(precision, 1, 40);
    const double magnitude = std::fabs(value);
    // Two guard digits settle the rounding, except when they read "50": then the exact value may lie on
    // either side of the half, and its full expansion decides.
    std::string digits;
    int exponent10 = 0;
    Scientific(magnitude, precision + 2, digits, exponent10);
    bool up = digits[precision] >= '5';
    if (digits.compare(precision, 2, "50") == 0) {
        std::string exact;
        int exactExponent = 0;
        Scientific(magnitude, kExactDigits, exact, exactExponent);
        up = exact[precision] >= '5';
    }
    // The kept digits and one digit that tells KeepDigits which way to round.
    number.Digits = digits.substr(0, precision) + (up ? '5' : '0');
    number.Exponent = exponent10 + 1;
    KeepDigits(number, precision);
    return number;
}

DecimalNumber CurrToDecimal(Currency value) {
    DecimalNumber number;
    const std::int64_t raw = value.Raw();
    number.Negative = raw < 0;
    // The magnitude as unsigned, well defined also for the most negative value.
    const std::uint64_t magnitude =
        raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    if (magnitude == 0) return number;
    number.Digits = std::to_string(magnitude);
    number.Exponent = static_cast<int>(number.Digits.size()) - 4;  // four digits are decimals
    StripTrailingZeros(number);
    return number;
}

void RoundDecimals(DecimalNumber& number, int decimals) {
    KeepDigits(number, number.Exponent + decimals);
}

void RoundSignificant(DecimalNumber& number, int digits) {
    KeepDigits(number, std::max(digits, 1));
}

}  // namespace rtl
