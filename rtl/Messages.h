// The runtime's user-visible texts, verbatim; "%s" slots are filled with rtl::Format.
#pragma once

#include <string_view>

namespace rtl {

// Texts that cannot be converted to a value; the slot is the text as given.
inline constexpr std::string_view kInvalidInteger = "'%s' is not a valid integer value";
inline constexpr std::string_view kInvalidFloat = "'%s' is not a valid floating point value";
inline constexpr std::string_view kInvalidCurrency = "'%s' is not a valid currency value";
inline constexpr std::string_view kInvalidDate = "'%s' is not a valid date";
inline constexpr std::string_view kInvalidTime = "'%s' is not a valid time";
inline constexpr std::string_view kInvalidDateTime = "'%s' is not a valid date and time";

// Date and time parts that name no calendar day or time of day.
inline constexpr std::string_view kDateEncodeError =
    "Invalid argument to date encode: year %s, month %s, day %s";
inline constexpr std::string_view kTimeEncodeError =
    "Invalid argument to time encode: hour %s, minute %s, second %s, millisecond %s";
// A date-time, day number or millisecond count outside 1 January 0001 .. 31 December 9999.
inline constexpr std::string_view kDateTimeOutOfRange = "Date-time value %s lies outside the years 1 to 9999";
inline constexpr std::string_view kTimeStampOutOfRange = "Invalid time stamp: day %s, millisecond %s";
inline constexpr std::string_view kMSecsOutOfRange = "Millisecond count %s lies outside the years 1 to 9999";

// Fixed-point arithmetic.
inline constexpr std::string_view kCurrencyOutOfRange = "Value %s lies outside the currency range";
inline constexpr std::string_view kCurrencyOverflow = "Currency overflow";
inline constexpr std::string_view kDivisionByZero = "Division by zero";

// The message of an exception that carries none (ExceptionMessage).
inline constexpr std::string_view kUnknownException = "Unknown exception";

// The silent exception's message, never shown by the application's handler.
inline constexpr std::string_view kOperationAborted = "Operation aborted";

// Variants: a conversion or comparison the value's type does not allow.
inline constexpr std::string_view kInvalidVariantConversion = "Invalid variant type conversion";
inline constexpr std::string_view kInvalidVariantOperation = "Invalid variant operation";
inline constexpr std::string_view kVariantOverflow = "Value %s lies outside the range of %s";
// Truth values as text, and a text that is neither word.
inline constexpr std::string_view kTrueText = "True";
inline constexpr std::string_view kFalseText = "False";
inline constexpr std::string_view kInvalidBoolean = "'%s' is not a valid boolean value";

// Streams that cannot move the bytes asked for.
inline constexpr std::string_view kStreamReadError = "Stream read error";
inline constexpr std::string_view kStreamWriteError = "Stream write error";

// Components: a name another component of the same owner already has.
inline constexpr std::string_view kDuplicateComponentName = "A component named %s already exists";

}  // namespace rtl
