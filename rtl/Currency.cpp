#include "rtl/Currency.h"

#include <charconv>
#include <cmath>
#include <string>

#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/Messages.h"

namespace rtl {

namespace {

using Int128 = __int128;

[[noreturn]] void Overflow() {
    throw EOverflow(std::string(kCurrencyOverflow));
}

Currency Checked(Int128 v) {
    if (v > Currency::kMaxRaw || v < Currency::kMinRaw) Overflow();
    return Currency::FromRaw(static_cast<std::int64_t>(v));
}

// The quotient n / d rounded half to even; d is not zero.
Int128 DivideHalfEven(Int128 n, Int128 d) {
    if (d < 0) n = -n, d = -d;
    Int128 q = n / d;
    Int128 r = n % d;  // same sign as n
    const Int128 twice = (r < 0 ? -r : r) * 2;
    if (twice > d || (twice == d && (q % 2 != 0))) q += n < 0 ? -1 : 1;
    return q;
}

}  // namespace

Currency Currency::FromInt64(std::int64_t units) {
    return Checked(static_cast<Int128>(units) * kScale);
}

bool Currency::TryFromDouble(double value, Currency& result) noexcept {
    if (!std::isfinite(value)) return false;
    // 2^63 / 10000 is below 2^50; anything this large is out of range, and the test keeps the exact
    // arithmetic below in 128 bits.
    if (std::fabs(value) >= 1e15) return false;
    if (value == 0) {
        result = Currency();
        return true;
    }
    // value = mantissa * 2^exponent exactly, with a 53-bit integer mantissa.
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);
    const auto mantissa = static_cast<Int128>(std::ldexp(fraction, 53));
    exponent -= 53;
    Int128 scaled = mantissa * kScale;  // below 2^67
    Int128 raw;
    if (exponent >= 0) {
        raw = scaled << exponent;  // exponent is small here: value < 1e15 < 2^50
    } else if (exponent < -100) {
        raw = 0;  // far below half a ten-thousandth
    } else {
        const Int128 one = static_cast<Int128>(1) << -exponent;
        raw = scaled >> -exponent;
        const Int128 rest = scaled & (one - 1);
        const Int128 half = one >> 1;
        if (rest > half || (rest == half && (raw & 1) != 0)) ++raw;
    }
    if (value < 0) raw = -raw;
    if (raw > kMaxRaw || raw < kMinRaw) return false;
    result = FromRaw(static_cast<std::int64_t>(raw));
    return true;
}

Currency Currency::FromDouble(double value) {
    Currency result;
    if (!TryFromDouble(value, result)) {
        char text[64];
        const auto end = std::to_chars(text, text + sizeof text, value).ptr;
        throw EOverflow(Format(kCurrencyOutOfRange, {std::string(text, end)}));
    }
    return result;
}

double Currency::ToDouble() const {
    return static_cast<double>(ToLongDouble());
}

long double Currency::ToLongDouble() const {
    return static_cast<long double>(raw_) / kScale;
}

Currency Currency::operator-() const {
    return Checked(-static_cast<Int128>(raw_));
}

Currency& Currency::operator+=(Currency other) {
    *this = Checked(static_cast<Int128>(raw_) + other.raw_);
    return *this;
}

Currency& Currency::operator-=(Currency other) {
    *this = Checked(static_cast<Int128>(raw_) - other.raw_);
    return *this;
}

Currency operator*(Currency a, Currency b) {
    return Checked(DivideHalfEven(static_cast<Int128>(a.raw_) * b.raw_, Currency::kScale));
}

Currency operator*(Currency a, std::int64_t b) {
    const Int128 p = static_cast<Int128>(a.raw_) * b;  // at most 2^126 in magnitude
    return Checked(p);
}

Currency operator/(Currency a, Currency b) {
    if (b.raw_ == 0) throw EZeroDivide(std::string(kDivisionByZero));
    return Checked(DivideHalfEven(static_cast<Int128>(a.raw_) * Currency::kScale, b.raw_));
}

Currency operator/(Currency a, std::int64_t b) {
    if (b == 0) throw EZeroDivide(std::string(kDivisionByZero));
    return Checked(DivideHalfEven(a.raw_, b));
}

}  // namespace rtl
