// The number and date format settings that every conversion of the runtime follows.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace rtl {

// One set of settings. A default-constructed set holds the built-in US defaults; nothing is ever read from
// the operating system's locale, so a conversion gives the same text on every machine.
struct FormatSettings {
    std::string CurrencyString = "$";
    // Placement of the currency string: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
    std::uint8_t CurrencyFormat = 0;
    // Placement of currency string and minus sign, 0 "($1)" to 15 "(1 $)" (see FloatToStrF).
    std::uint8_t NegCurrFormat = 0;
    char ThousandSeparator = ',';
    char DecimalSeparator = '.';
    std::uint8_t CurrencyDecimals = 2;
    char DateSeparator = '/';
    std::string ShortDateFormat = "M/d/yyyy";
    std::string LongDateFormat = "dddd, MMMM dd, yyyy";
    char TimeSeparator = ':';
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::string ShortTimeFormat = "h:mm AMPM";
    std::string LongTimeFormat = "h:mm:ss AMPM";
    std::array<std::string, 12> ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> LongMonthNames = {"January",   "February", "March",    "April",
                                                  "May",       "June",     "July",     "August",
                                                  "September", "October",  "November", "December"};
    // Sunday first, as DayOfWeek counts.
    std::array<std::string, 7> ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> LongDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};
    // A year written with one or two digits is read as the year with those last digits in the 100 years
    // starting this many years before the current year; 0 reads it in the current century. 50 keeps
    // recent and near-future dates right (in 2025: "75" is 1975, "74" is 2074).
    int TwoDigitYearCenturyWindow = 50;

    bool operator==(const FormatSettings&) const = default;
};

// The built-in defaults.
const FormatSettings& DefaultFormatSettings();

// The calling thread's current set. Each thread starts with the built-in defaults; a change made here
// (the program sets its short date format at start-up) holds for the thread until changed again.
FormatSettings& CurrentFormatSettings();

// Installs a set as the thread's current one while it lives and restores the previous set when it ends,
// also when the work in between throws.
class FormatSettingsGuard {
public:
    explicit FormatSettingsGuard(const FormatSettings& settings);
    ~FormatSettingsGuard();
    FormatSettingsGuard(const FormatSettingsGuard&) = delete;
    FormatSettingsGuard& operator=(const FormatSettingsGuard&) = delete;

private:
    FormatSettings saved_;
};

}  // namespace rtl
