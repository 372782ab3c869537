// Field values between texts and engine types: literal tests, date texts to stored values, and conversion of
// a stored value from one field type to another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "rtl/DateTime.h"

namespace engine {

// Every test and conversion reads and writes texts with the calling thread's format settings; callers
// install a table's settings first (LocaleFormatSwap).

// True when the runtime's conversion accepts the text: StrToInt in 0 .. 65535, in -32768 .. 32767 or at all,
// TextToBoolean, StrToFloat, StrToCurr, StrToDate, StrToDateTime and StrToTime.
bool IsValidWordText(std::string_view text);
bool IsValidSmallIntText(std::string_view text);
bool IsValidIntegerText(std::string_view text);
bool IsValidBooleanText(std::string_view text);
bool IsValidFloatText(std::string_view text);
bool IsValidCurrencyText(std::string_view text);
bool IsValidDateText(std::string_view text);
bool IsValidDateTimeText(std::string_view text);
bool IsValidTimeText(std::string_view text);

// Whether the text may stand as a minimum, maximum or default of a field of the type. The empty text, and
// every text for strings, bytes and the types without literals, are valid. Dates also take the word "DATE",
// times "TIME", date-times "NOW", "DATE" and "TIME" (any letter case, no blanks) or a date or time alone.
bool IsValidFieldText(std::string_view text, std::uint8_t fieldType);

// The moment a default, minimum or maximum text of a date, time or date-time field stands for: the words
// IsValidFieldText admits for the type come from the clock ("DATE" today at midnight, "TIME" the time of day
// on 30 December 1899, "NOW" the current moment), any other text is read as the type reads it (a date-time
// field reads a date and time). Raises rtl::EConvertError for a text that does not read.
rtl::TDateTime FieldTextToMoment(std::string_view text, std::uint8_t fieldType);

// Field values are converted in a buffer of at least this many bytes: the largest stored value a conversion
// handles (a string of 250 characters and its zero).
inline constexpr std::size_t FieldValueBufferSize = 251;

// Replaces the zero-terminated text at the buffer's start by the stored value of a date (day number), time
// (milliseconds) or date-time (milliseconds as a double). A text that does not convert stores the moment
// 0.0 (30 December 1899, 00:00) instead and gives false. Other types leave the buffer alone and give true.
bool TextToDateTimeValue(std::span<std::uint8_t> buffer, std::uint8_t fieldType);

// Converts the stored value at the buffer's start from the source type to the target type, in place; sizes
// are stored sizes (for strings with the zero). Never raises: a text that does not convert, or a value
// outside the target's range, leaves the target's zero value (the moment 0.0 for date, time and date-time
// targets) and gives false; a pair of types without a conversion leaves the buffer zero-filled and gives
// false. A string target receives at most its size - 1 characters and then a zero. The buffer must hold
// FieldValueBufferSize bytes; a smaller one is left alone and gives false.
bool ConvertFieldValue(std::uint8_t sourceType, std::size_t sourceSize, int sourceScale,
                       std::uint8_t targetType, std::size_t targetSize, int targetScale,
                       std::span<std::uint8_t> buffer);

}  // namespace engine
