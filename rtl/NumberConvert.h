// Text to number: integers, floats and currency, read as the format settings say.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/Currency.h"
#include "rtl/FormatSettings.h"

namespace rtl {

std::string IntToStr(std::int64_t value);

// Integers: blanks around the number, an optional sign, then decimal digits or hexadecimal digits after
// "$" or "0x"; nothing else. A value outside the target type fails. StrToInt raises EConvertError, the
// Try forms return false and leave the result alone, the Def forms return the default.
bool TryStrToInt(std::string_view text, std::int32_t& value) noexcept;
std::int32_t StrToInt(std::string_view text);
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) noexcept;
bool TryStrToInt64(std::string_view text, std::int64_t& value) noexcept;
std::int64_t StrToInt64(std::string_view text);
std::int64_t StrToInt64Def(std::string_view text, std::int64_t fallback) noexcept;

// Floats: blanks around the number, an optional sign, digits with at most one DecimalSeparator (at least
// one digit in all), then optionally "E" or "e", a sign and digits. No thousand separators. The nearest
// double is taken; a value too large for a double fails, one too small becomes zero.
bool TryStrToFloat(std::string_view text, double& value, const FormatSettings& settings) noexcept;
bool TryStrToFloat(std::string_view text, double& value) noexcept;
double StrToFloat(std::string_view text, const FormatSettings& settings);
double StrToFloat(std::string_view text);
double StrToFloatDef(std::string_view text, double fallback, const FormatSettings& settings) noexcept;
double StrToFloatDef(std::string_view text, double fallback) noexcept;

// Currency: the float syntax, read exactly (never through a double) and rounded half to even to four
// decimals; a value outside the currency range fails.
bool TryStrToCurr(std::string_view text, Currency& value, const FormatSettings& settings) noexcept;
bool TryStrToCurr(std::string_view text, Currency& value) noexcept;
Currency StrToCurr(std::string_view text, const FormatSettings& settings);
Currency StrToCurr(std::string_view text);
Currency StrToCurrDef(std::string_view text, Currency fallback, const FormatSettings& settings) noexcept;
Currency StrToCurrDef(std::string_view text, Currency fallback) noexcept;

}  // namespace rtl
