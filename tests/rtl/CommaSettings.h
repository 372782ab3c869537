// A settings set unlike the built-in one, for tests that show a conversion follows the settings.
#pragma once

#include "rtl/FormatSettings.h"

namespace rtl_test {

// "," decimals, "." thousands, day.month.year dates and a 24-hour clock.
inline rtl::FormatSettings CommaSettings() {
    rtl::FormatSettings s;
    s.DecimalSeparator = ',';
    s.ThousandSeparator = '.';
    s.DateSeparator = '.';
    s.ShortDateFormat = "d.M.yyyy";
    s.ShortTimeFormat = "hh:mm";
    s.LongTimeFormat = "hh:mm:ss";
    return s;
}

}  // namespace rtl_test
