// Currency: a fixed-point amount counted exactly in ten-thousandths.
#pragma once

#include <compare>
#include <cstdint>

namespace rtl {

// A 64-bit count of ten-thousandths (1.2345 is 12345). Arithmetic is exact or rounds half to even at the
// fourth decimal; any result outside the 64-bit range raises EOverflow instead of wrapping.
class Currency {
public:
    static constexpr std::int64_t kScale = 10000;  // ten-thousandths per unit
    static constexpr std::int64_t kMaxRaw = INT64_MAX;
    static constexpr std::int64_t kMinRaw = INT64_MIN;

    constexpr Currency() = default;
    static constexpr Currency FromRaw(std::int64_t tenThousandths) { return Currency(tenThousandths); }
    // Whole units; EOverflow outside about +-922337203685477.
    static Currency FromInt64(std::int64_t units);
    // The exact binary value times 10000, rounded half to even; EOverflow for NaN, infinities and values
    // outside the range.
    static Currency FromDouble(double value);
    static bool TryFromDouble(double value, Currency& result) noexcept;

    constexpr std::int64_t Raw() const { return raw_; }
    double ToDouble() const;
    long double ToLongDouble() const;

    Currency operator-() const;
    Currency& operator+=(Currency other);
    Currency& operator-=(Currency other);
    friend Currency operator+(Currency a, Currency b) { return a += b; }
    friend Currency operator-(Currency a, Currency b) { return a -= b; }
    // Products and quotients round half to even to ten-thousandths; a zero divisor raises EZeroDivide.
    friend Currency operator*(Currency a, Currency b);
    friend Currency operator*(Currency a, std::int64_t b);
    friend Currency operator/(Currency a, Currency b);
    friend Currency operator/(Currency a, std::int64_t b);

    friend constexpr bool operator==(Currency a, Currency b) = default;
    friend constexpr std::strong_ordering operator<=>(Currency a, Currency b) = default;

private:
    constexpr explicit Currency(std::int64_t raw) : raw_(raw) {}
    std::int64_t raw_ = 0;
};

}  // namespace rtl
