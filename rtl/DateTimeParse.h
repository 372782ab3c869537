// Text to date-time: dates, times and both, read as the format settings say.
#pragma once

#include <string_view>

#include "rtl/DateTime.h"
#include "rtl/FormatSettings.h"

namespace rtl {

// Dates: two or three numbers separated by the DateSeparator, blanks allowed around each, in the order in
// which day, month and year first appear in the ShortDateFormat (month-day-year, day-month-year or
// year-month-day); two numbers are month and day (day and month in day-first order) of the current year.
// A year of one or two digits is placed by the two-digit-year window (ExpandTwoDigitYear).
//
// Times: an hour, optionally the TimeSeparator and minutes, optionally the TimeSeparator and seconds,
// optionally the DecimalSeparator and one to three digits of a fraction of a second ("10:30:15.5" is
// half a second past). TimeAMString / TimePMString, or "AM" / "PM", in any letter case, may stand before
// or after the time; with one, the hour runs from 1 to 12 and an hour alone is enough.
//
// Date and time: a date, blanks, then a time; a date alone (midnight) or a time alone (on 30 December 1899).
//
// The StrTo forms raise EConvertError, the Try forms return false and leave the result alone, the Def
// forms return the default.
bool TryStrToDate(std::string_view text, TDateTime& value, const FormatSettings& settings) noexcept;
bool TryStrToDate(std::string_view text, TDateTime& value) noexcept;
TDateTime StrToDate(std::string_view text, const FormatSettings& settings);
TDateTime StrToDate(std::string_view text);
TDateTime StrToDateDef(std::string_view text, TDateTime fallback) noexcept;

bool TryStrToTime(std::string_view text, TDateTime& value, const FormatSettings& settings) noexcept;
bool TryStrToTime(std::string_view text, TDateTime& value) noexcept;
TDateTime StrToTime(std::string_view text, const FormatSettings& settings);
TDateTime StrToTime(std::string_view text);
TDateTime StrToTimeDef(std::string_view text, TDateTime fallback) noexcept;

bool TryStrToDateTime(std::string_view text, TDateTime& value, const FormatSettings& settings) noexcept;
bool TryStrToDateTime(std::string_view text, TDateTime& value) noexcept;
TDateTime StrToDateTime(std::string_view text, const FormatSettings& settings);
TDateTime StrToDateTime(std::string_view text);
TDateTime StrToDateTimeDef(std::string_view text, TDateTime fallback) noexcept;

// The full year of a year written with at most two digits (0 .. 99): the year with those last two
// digits among the 100 years from currentYear - window on. A window of 0 or less takes the current
// century.
int ExpandTwoDigitYear(int twoDigitYear, int currentYear, int window) noexcept;

}  // namespace rtl
