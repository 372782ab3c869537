#include "rtl/NumberConvert.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/Messages.h"

namespace rtl {

namespace {

// Exponents beyond this magnitude make every value overflow or vanish; parsing saturates there so that no
// exponent text can overflow an integer.
constexpr long long kExponentLimit = 100000;

std::size_t SkipBlanks(std::string_view text, std::size_t i) {
    while (i < text.size() && text[i] == ' ') ++i;
    return i;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A number of the float syntax: value = (-1 if Negative) x Digits x 10^Exponent, Digits without leading
// zeros (empty for zero).
struct ScannedNumber {
    bool Negative = false;
    std::string Digits;
    long long Exponent = 0;
};

bool ScanFloat(std::string_view text, char decimalSeparator, ScannedNumber& number) {
    std::size_t i = SkipBlanks(text, 0);
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.Negative = text[i++] == '-';
    bool anyDigit = false;
    bool inFraction = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            anyDigit = true;
            if (c != '0' || !number.Digits.empty()) number.Digits += c;
            if (inFraction) --number.Exponent;
        } else if (c == decimalSeparator && !inFraction) {
            inFraction = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
        if (i >= text.size() || !IsDigit(text[i])) return false;
        long long e = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i)
            e = std::min(e * 10 + (text[i] - '0'), kExponentLimit);
        number.Exponent += negativeExponent ? -e : e;
    }
    if (SkipBlanks(text, i) != text.size()) return false;
    if (number.Digits.empty()) number.Exponent = 0;
    return true;
}

bool ScanInteger(std::string_view text, bool& negative, std::uint64_t& magnitude) {
    std::size_t i = SkipBlanks(text, 0);
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    const std::size_t start = i;
    magnitude = 0;
    for (; i < text.size(); ++i) {
        const int d = base == 16 ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (d < 0) break;
        // 2^64 - 1 is the most that can be held; anything beyond fails the range check below.
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - d) / base) return false;
        magnitude = magnitude * base + d;
    }
    if (i == start) return false;
    return SkipBlanks(text, i) == text.size();
}

[[noreturn]] void Fail(std::string_view pattern, std::string_view text) {
    throw EConvertError(Format(pattern, {text}));
}

}  // namespace

std::string IntToStr(std::int64_t value) {
    return std::to_string(value);
}

bool TryStrToInt64(std::string_view text, std::int64_t& value) noexcept {
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (!ScanInteger(text, negative, magnitude)) return false;
    constexpr std::uint64_t kMaxPositive = std::numeric_limits<std::int64_t>::max();
    if (magnitude > kMaxPositive + (negative ? 1 : 0)) return false;
    value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

bool TryStrToInt(std::string_view text, std::int32_t& value) noexcept {
    std::int64_t wide = 0;
    if (!TryStrToInt64(text, wide) || wide < std::numeric_limits<std::int32_t>::min() ||
        wide > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(wide);
    return true;
}

std::int32_t StrToInt(std::string_view text) {
    std::int32_t value = 0;
    if (!TryStrToInt(text, value)) Fail(kInvalidInteger, text);
    return value;
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) noexcept {
    std::int32_t value = 0;
    return TryStrToInt(text, value) ? value : fallback;
}

std::int64_t StrToInt64(std::string_view text) {
    std::int64_t value = 0;
    if (!TryStrToInt64(text, value)) Fail(kInvalidInteger, text);
    return value;
}

std::int64_t StrToInt64Def(std::string_view text, std::int64_t fallback) noexcept {
    std::int64_t value = 0;
    return TryStrToInt64(text, value) ? value : fallback;
}

bool TryStrToFloat(std::string_view text, double& value, const FormatSettings& settings) noexcept {
    try {
        ScannedNumber number;
        if (!ScanFloat(text, settings.DecimalSeparator, number)) return false;
        if (number.Digits.empty()) {
            value = number.Negative ? -0.0 : 0.0;
            return true;
        }
        // The decimal exponent of the leading digit, plus one; doubles end near 1.8e308 and 4.9e-324.
        const long long order = static_cast<long long>(number.Digits.size()) + number.Exponent;
        double magnitude = 0;
        if (order > 310) return false;
        if (order >= -330) {
            const std::string plain = number.Digits + 'e' + std::to_string(number.Exponent);
            const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), magnitude);
            if (result.ec == std::errc::result_out_of_range) {
                if (order > 0) return false;
                magnitude = 0;  // below the smallest double
            } else if (result.ec != std::errc() || std::isinf(magnitude)) {
                return false;
            }
        }
        value = number.Negative ? -magnitude : magnitude;
        return true;
    } catch (...) {  // only an allocation can fail here
        return false;
    }
}

bool TryStrToFloat(std::string_view text, double& value) noexcept {
    return TryStrToFloat(text, value, CurrentFormatSettings());
}

double StrToFloat(std::string_view text, const FormatSettings& settings) {
    double value = 0;
    if (!TryStrToFloat(text, value, settings)) Fail(kInvalidFloat, text);
    return value;
}

double StrToFloat(std::string_view text) {
    return StrToFloat(text, CurrentFormatSettings());
}

double StrToFloatDef(std::string_view text, double fallback, const FormatSettings& settings) noexcept {
    double value = 0;
    return TryStrToFloat(text, value, settings) ? value : fallback;
}

double StrToFloatDef(std::string_view text, double fallback) noexcept {
    return StrToFloatDef(text, fallback, CurrentFormatSettings());
}

bool TryStrToCurr(std::string_view text, Currency& value, const FormatSettings& settings) noexcept {
    try {
        ScannedNumber number;
        if (!ScanFloat(text, settings.DecimalSeparator, number)) return false;
        // Count in ten-thousandths: digits x 10^shift.
        const long long shift = number.Exponent + 4;
        const long long length = static_cast<long long>(number.Digits.size());
        if (length + shift > 19) return false;  // at least 10^19 ten-thousandths: beyond 64 bits
        std::string whole;
        bool up = false;
        if (shift >= 0) {
            whole = number.Digits + std::string(static_cast<std::size_t>(shift), '0');
        } else if (length + shift >= 0) {
            // Drop the digits below a ten-thousandth, rounding half to even.
            const auto keep = static_cast<std::size_t>(length + shift);
            whole = number.Digits.substr(0, keep);
            const std::string_view dropped = std::string_view(number.Digits).substr(keep);
            const bool beyondHalf =
                dropped[0] > '5' ||
                (dropped[0] == '5' && dropped.find_first_not_of('0', 1) != std::string_view::npos);
            const bool tie = dropped[0] == '5' && !beyondHalf;
            const bool odd = !whole.empty() && (whole.back() - '0') % 2 == 1;
            up = beyondHalf || (tie && odd);
        }
        unsigned __int128 magnitude = 0;
        for (char c : whole) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
        if (up) ++magnitude;
        const unsigned __int128 limit =
            static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max()) +
            (number.Negative ? 1 : 0);
        if (magnitude > limit) return false;
        const auto raw = static_cast<std::uint64_t>(magnitude);
        value = Currency::FromRaw(number.Negative ? static_cast<std::int64_t>(0 - raw)
                                                  : static_cast<std::int64_t>(raw));
        return true;
    } catch (...) {  // only an allocation can fail here
        return false;
    }
}

bool TryStrToCurr(std::string_view text, Currency& value) noexcept {
    return TryStrToCurr(text, value, CurrentFormatSettings());
}

Currency StrToCurr(std::string_view text, const FormatSettings& settings) {
    Currency value;
    if (!TryStrToCurr(text, value, settings)) Fail(kInvalidCurrency, text);
    return value;
}

Currency StrToCurr(std::string_view text) {
    return StrToCurr(text, CurrentFormatSettings());
}

Currency StrToCurrDef(std::string_view text, Currency fallback, const FormatSettings& settings) noexcept {
    Currency value;
    return TryStrToCurr(text, value, settings) ? value : fallback;
}

Currency StrToCurrDef(std::string_view text, Currency fallback) noexcept {
    return StrToCurrDef(text, fallback, CurrentFormatSettings());
}

}  // namespace rtl
