// Date-time to text: format codes and the short and long date and time forms of the format settings.
#pragma once

#include <string>
#include <string_view>

#include "rtl/DateTime.h"
#include "rtl/FormatSettings.h"

namespace rtl {

// Writes a date-time by a format of codes; codes ignore letter case except where noted.
//   d, dd        day without / with a leading zero;   ddd, dddd  short / long day name;
//   ddddd        the ShortDateFormat;                  dddddd     the LongDateFormat;
//   m, mm        month without / with a leading zero, or the minute when the code follows an hour code
//                with no other code in between;        mmm, mmmm  short / long month name;
//   yy, yyyy     two-digit / four-digit year;
//   h, hh        hour without / with a leading zero (12-hour when the format has an am/pm code);
//   n, nn        minute;   s, ss  second;   z, zzz  millisecond without / with leading zeros;
//   t, tt        the ShortTimeFormat / LongTimeFormat;
//   c            the ShortDateFormat, then a blank and the LongTimeFormat unless the time is midnight;
//   am/pm, a/p   "am"/"pm" or "a"/"p", in the letter case written;  ampm  TimeAMString / TimePMString;
//   /  :         the DateSeparator and the TimeSeparator;
//   '...' "..."  literal text; every other character prints as it stands.
// An empty format means "c". Times are rounded to the millisecond. A value outside the years 1 to 9999
// raises EConvertError.
std::string FormatDateTime(std::string_view format, TDateTime value, const FormatSettings& settings);
std::string FormatDateTime(std::string_view format, TDateTime value);

// The ShortDateFormat, the LongTimeFormat, and "c".
std::string DateToStr(TDateTime date, const FormatSettings& settings);
std::string DateToStr(TDateTime date);
std::string TimeToStr(TDateTime time, const FormatSettings& settings);
std::string TimeToStr(TDateTime time);
std::string DateTimeToStr(TDateTime value, const FormatSettings& settings);
std::string DateTimeToStr(TDateTime value);

}  // namespace rtl
