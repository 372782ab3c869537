#include "rtl/DateTimeParse.h"

#include <algorithm>

#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/FormatMask.h"
#include "rtl/Messages.h"
#include "rtl/Text.h"

namespace rtl {

namespace {

// No date or time part has more digits than a four-digit year; longer numbers are refused before they
// could overflow.
constexpr int kMaxNumberDigits = 4;
// Digits of a fraction of a second: milliseconds.
constexpr int kMaxFractionDigits = 3;

enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };
enum class Marker { None, AM, PM };

// The order of the date parts: whichever of day, month and year the short date format names first.
DateOrder OrderOf(std::string_view format) {
    for (std::size_t i = 0; i < format.size();) {
        const char c = format[i];
        if (IsMaskQuote(c)) {
            QuotedLiteral(format, i, i);
            continue;
        }
        if (c == 'd' || c == 'D') return DateOrder::DayMonthYear;
        if (c == 'y' || c == 'Y') return DateOrder::YearMonthDay;
        if (c == 'm' || c == 'M') return DateOrder::MonthDayYear;
        ++i;
    }
    return DateOrder::MonthDayYear;
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    std::size_t Pos() const { return pos_; }
    void SetPos(std::size_t pos) { pos_ = pos; }
    void SkipBlanks() {
        while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ == text_.size();
    }

    // A number of one to four digits after optional blanks.
    bool Number(int& value, int& digits) {
        SkipBlanks();
        value = 0;
        digits = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            if (++digits > kMaxNumberDigits) return false;
            value = value * 10 + (text_[pos_++] - '0');
        }
        return digits > 0;
    }

    // The separator after optional blanks (none skipped when the separator is itself a blank).
    bool Separator(char separator) {
        std::size_t i = pos_;
        if (separator != ' ') {
            while (i < text_.size() && text_[i] == ' ') ++i;
        }
        if (i < text_.size() && text_[i] == separator) {
            pos_ = i + 1;
            return true;
        }
        return false;
    }

    // The AM or PM text after optional blanks: the settings' own, else "AM" or "PM", in any letter case.
    Marker AmPm(const FormatSettings& st) {
        SkipBlanks();
        if (Word(st.TimeAMString)) return Marker::AM;
        if (Word(st.TimePMString)) return Marker::PM;
        if (Word("AM")) return Marker::AM;
        if (Word("PM")) return Marker::PM;
        return Marker::None;
    }

    // Milliseconds from one to three digits right after the decimal separator.
    bool Fraction(char decimalSeparator, int& msec) {
        msec = 0;
        if (pos_ + 1 >= text_.size() || text_[pos_] != decimalSeparator || text_[pos_ + 1] < '0' ||
            text_[pos_ + 1] > '9')
            return true;  // no fraction
        ++pos_;
        int digits = 0;
        int scale = 100;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            if (++digits > kMaxFractionDigits) return false;
            msec += (text_[pos_++] - '0') * scale;
            scale /= 10;
        }
        return true;
    }

private:
    bool Word(std::string_view word) {
        if (word.empty() || text_.size() - pos_ < word.size()) return false;
        if (!AnsiSameText(text_.substr(pos_, word.size()), word)) return false;
        pos_ += word.size();
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

int CurrentYear() {
    int year = 0, month = 0, day = 0;
    DecodeDate(Now(), year, month, day);
    return year;
}

bool ScanDate(Scanner& in, const FormatSettings& st, TDateTime& date) {
    int n[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    if (!in.Number(n[0], digits[0]) || !in.Separator(st.DateSeparator) || !in.Number(n[1], digits[1]))
        return false;
    const bool hasYear = in.Separator(st.DateSeparator);
    if (hasYear && !in.Number(n[2], digits[2])) return false;
    int year = 0, month = 0, day = 0, yearDigits = 0;
    const DateOrder order = OrderOf(st.ShortDateFormat);
    if (!hasYear) {
        year = CurrentYear();
        yearDigits = kMaxNumberDigits;
        month = order == DateOrder::DayMonthYear ? n[1] : n[0];
        day = order == DateOrder::DayMonthYear ? n[0] : n[1];
    } else if (order == DateOrder::MonthDayYear) {
        month = n[0], day = n[1], year = n[2], yearDigits = digits[2];
    } else if (order == DateOrder::DayMonthYear) {
        day = n[0], month = n[1], year = n[2], yearDigits = digits[2];
    } else {
        year = n[0], month = n[1], day = n[2], yearDigits = digits[0];
    }
    if (yearDigits <= 2) year = ExpandTwoDigitYear(year, CurrentYear(), st.TwoDigitYearCenturyWindow);
    return TryEncodeDate(year, month, day, date);
}

bool ScanTime(Scanner& in, const FormatSettings& st, TDateTime& time) {
    Marker marker = in.AmPm(st);
    int hour = 0, min = 0, sec = 0, msec = 0, digits = 0;
    if (!in.Number(hour, digits)) return false;
    bool hasMinutes = false;
    if (in.Separator(st.TimeSeparator)) {
        if (!in.Number(min, digits)) return false;
        hasMinutes = true;
        if (in.Separator(st.TimeSeparator)) {
            if (!in.Number(sec, digits) || !in.Fraction(st.DecimalSeparator, msec)) return false;
        }
    }
    if (marker == Marker::None) marker = in.AmPm(st);
    if (marker == Marker::None && !hasMinutes) return false;  // a bare number is no time
    if (marker != Marker::None) {
        if (hour < 1 || hour > 12) return false;
        if (marker == Marker::AM && hour == 12) hour = 0;
        if (marker == Marker::PM && hour < 12) hour += 12;
    }
    return TryEncodeTime(hour, min, sec, msec, time);
}

}  // namespace

int ExpandTwoDigitYear(int twoDigitYear, int currentYear, int window) noexcept {
    const int threshold = currentYear - std::clamp(window, 0, 99);
    int year = threshold - threshold % 100 + twoDigitYear;
    if (year < threshold) year += 100;
    return year;
}

bool TryStrToDate(std::string_view text, TDateTime& value, const FormatSettings& settings) noexcept {
    try {
        Scanner in(text);
        TDateTime date = 0;
        if (!ScanDate(in, settings, date) || !in.AtEnd()) return false;
        value = date;
        return true;
    } catch (...) {  // the clock read for the current year cannot fail in practice
        return false;
    }
}

bool TryStrToTime(std::string_view text, TDateTime& value, const FormatSettings& settings) noexcept {
    try {
        Scanner in(text);
        TDateTime time = 0;
        if (!ScanTime(in, settings, time) || !in.AtEnd()) return false;
        value = time;
        return true;
    } catch (...) {
        return false;
    }
}

bool TryStrToDateTime(std::string_view text, TDateTime& value, const FormatSettings& settings) noexcept {
    try {
        Scanner in(text);
        TDateTime date = 0;
        if (!ScanDate(in, settings, date)) return TryStrToTime(text, value, settings);
        if (in.AtEnd()) {
            value = date;
            return true;
        }
        TDateTime time = 0;
        if (!ScanTime(in, settings, time) || !in.AtEnd()) return false;
        value = ComposeDateTime(date, time);
        return true;
    } catch (...) {
        return false;
    }
}

bool TryStrToDate(std::string_view text, TDateTime& value) noexcept {
    return TryStrToDate(text, value, CurrentFormatSettings());
}

bool TryStrToTime(std::string_view text, TDateTime& value) noexcept {
    return TryStrToTime(text, value, CurrentFormatSettings());
}

bool TryStrToDateTime(std::string_view text, TDateTime& value) noexcept {
    return TryStrToDateTime(text, value, CurrentFormatSettings());
}

TDateTime StrToDate(std::string_view text, const FormatSettings& settings) {
    TDateTime value = 0;
    if (!TryStrToDate(text, value, settings)) throw EConvertError(Format(kInvalidDate, {text}));
    return value;
}

TDateTime StrToTime(std::string_view text, const FormatSettings& settings) {
    TDateTime value = 0;
    if (!TryStrToTime(text, value, settings)) throw EConvertError(Format(kInvalidTime, {text}));
    return value;
}

TDateTime StrToDateTime(std::string_view text, const FormatSettings& settings) {
    TDateTime value = 0;
    if (!TryStrToDateTime(text, value, settings)) throw EConvertError(Format(kInvalidDateTime, {text}));
    return value;
}

TDateTime StrToDate(std::string_view text) {
    return StrToDate(text, CurrentFormatSettings());
}
TDateTime StrToTime(std::string_view text) {
    return StrToTime(text, CurrentFormatSettings());
}
TDateTime StrToDateTime(std::string_view text) {
    return StrToDateTime(text, CurrentFormatSettings());
}

TDateTime StrToDateDef(std::string_view text, TDateTime fallback) noexcept {
    TDateTime value = 0;
    return TryStrToDate(text, value) ? value : fallback;
}

TDateTime StrToTimeDef(std::string_view text, TDateTime fallback) noexcept {
    TDateTime value = 0;
    return TryStrToTime(text, value) ? value : fallback;
}

TDateTime StrToDateTimeDef(std::string_view text, TDateTime fallback) noexcept {
    TDateTime value = 0;
    return TryStrToDateTime(text, value) ? value : fallback;
}

}  // namespace rtl
