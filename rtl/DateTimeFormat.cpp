#include "rtl/DateTimeFormat.h"

#include "rtl/FormatMask.h"

namespace rtl {

namespace {

// Formats name other formats (ddddd, t, c); a settings set whose formats name each other stops here.
constexpr int kMaxNesting = 3;

struct Parts {
    int Year, Month, Day, Hour, Minute, Second, MSec, DayOfWeek;
    bool Midnight;
};

Parts Decode(TDateTime value) {
    const TimeStamp stamp = DateTimeToTimeStamp(value);
    Parts p{};
    TryDayNumberToDate(stamp.Date, p.Year, p.Month, p.Day);
    int ms = stamp.Time;
    p.Hour = ms / 3600000;
    p.Minute = ms / 60000 % 60;
    p.Second = ms / 1000 % 60;
    p.MSec = ms % 1000;
    p.DayOfWeek = stamp.Date % 7 + 1;
    p.Midnight = stamp.Time == 0;
    return p;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool StartsWithNoCase(std::string_view text, std::size_t i, std::string_view word) {
    if (text.size() - i < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (Lower(text[i + k]) != word[k]) return false;
    }
    return true;
}

bool IsMaskQuote(char c) {
    return c == '\'' || c == '"';
}

// Length of the am/pm code at i: 5 for "am/pm", 3 for "a/p", 4 for "ampm", 0 for none.
std::size_t AmPmCodeAt(std::string_view text, std::size_t i) {
    if (StartsWithNoCase(text, i, "am/pm")) return 5;
    if (StartsWithNoCase(text, i, "a/p")) return 3;
    if (StartsWithNoCase(text, i, "ampm")) return 4;
    return 0;
}

bool HasAmPmCode(std::string_view format) {
    for (std::size_t i = 0; i < format.size();) {
        if (IsMaskQuote(format[i])) {
            QuotedLiteral(format, i, i);
        } else if (AmPmCodeAt(format, i) != 0) {
            return true;
        } else {
            ++i;
        }
    }
    return false;
}

void AppendNumber(std::string& out, int value, int width) {
    const std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) out.append(width - digits.size(), '0');
    out += digits;
}

void AppendFormatted(std::string& out, std::string_view format, const Parts& p, const FormatSettings& st,
                     int depth) {
    if (depth > kMaxNesting) return;
    const bool twelveHour = HasAmPmCode(format);
    bool afterHour = false;
    for (std::size_t i = 0; i < format.size();) {
        const char c = format[i];
        if (IsMaskQuote(c)) {
            out += QuotedLiteral(format, i, i);
            continue;
        }
        const char code = Lower(c);
        std::size_t run = 1;
        while (i + run < format.size() && Lower(format[i + run]) == code) ++run;
        bool hourCode = false;
        switch (code) {
            case 'd':
                if (run == 1 || run == 2) {
                    AppendNumber(out, p.Day, static_cast<int>(run));
                } else if (run == 3) {
                    out += st.ShortDayNames[p.DayOfWeek - 1];
                } else if (run == 4) {
                    out += st.LongDayNames[p.DayOfWeek - 1];
                } else {
                    AppendFormatted(out, run == 5 ? st.ShortDateFormat : st.LongDateFormat, p, st, depth + 1);
                }
                break;
            case 'm':
                if (afterHour && run <= 2) {
                    AppendNumber(out, p.Minute, static_cast<int>(run));
                } else if (run <= 2) {
                    AppendNumber(out, p.Month, static_cast<int>(run));
                } else {
                    out += run == 3 ? st.ShortMonthNames[p.Month - 1] : st.LongMonthNames[p.Month - 1];
                }
                break;
            case 'y':
                if (run <= 2) {
                    AppendNumber(out, p.Year % 100, 2);
                } else {
                    AppendNumber(out, p.Year, 4);
                }
                break;
            case 'h': {
                int hour = p.Hour;
                if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
                AppendNumber(out, hour, run == 1 ? 1 : 2);
                hourCode = true;
                break;
            }
            case 'n':
                AppendNumber(out, p.Minute, run == 1 ? 1 : 2);
                break;
            case 's':
                AppendNumber(out, p.Second, run == 1 ? 1 : 2);
                break;
            case 'z':
                AppendNumber(out, p.MSec, run == 1 ? 1 : 3);
                break;
            case 't':
                AppendFormatted(out, run == 1 ? st.ShortTimeFormat : st.LongTimeFormat, p, st, depth + 1);
                break;
            case 'c':
                run = 1;
                AppendFormatted(out, st.ShortDateFormat, p, st, depth + 1);
                if (!p.Midnight) {
                    out += ' ';
                    AppendFormatted(out, st.LongTimeFormat, p, st, depth + 1);
                }
                break;
            case 'a': {
                run = AmPmCodeAt(format, i);
                const bool pm = p.Hour >= 12;
                if (run == 5) {
                    out += format.substr(pm ? i + 3 : i, 2);  // "am" or "pm" as written
                } else if (run == 3) {
                    out += format[pm ? i + 2 : i];
                } else if (run == 4) {
                    out += pm ? st.TimePMString : st.TimeAMString;
                } else {
                    run = 1;
                    out += c;
                    i += run;
                    continue;  // a plain letter: no code, the hour stays in force for a following "m"
                }
                break;
            }
            default:
                run = 1;
                if (c == '/') {
                    out += st.DateSeparator;
                } else if (c == ':') {
                    out += st.TimeSeparator;
                } else {
                    out += c;
                }
                i += run;
                continue;  // separators and literals keep an hour code in force
        }
        afterHour = hourCode;
        i += run;
    }
}

}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime value, const FormatSettings& settings) {
    const Parts parts = Decode(value);
    std::string out;
    AppendFormatted(out, format.empty() ? std::string_view("c") : format, parts, settings, 0);
    return out;
}

std::string FormatDateTime(std::string_view format, TDateTime value) {
    return FormatDateTime(format, value, CurrentFormatSettings());
}

std::string DateToStr(TDateTime date, const FormatSettings& settings) {
    return FormatDateTime(settings.ShortDateFormat, date, settings);
}

std::string DateToStr(TDateTime date) {
    return DateToStr(date, CurrentFormatSettings());
}

std::string TimeToStr(TDateTime time, const FormatSettings& settings) {
    return FormatDateTime(settings.LongTimeFormat, time, settings);
}

std::string TimeToStr(TDateTime time) {
    return TimeToStr(time, CurrentFormatSettings());
}

std::string DateTimeToStr(TDateTime value, const FormatSettings& settings) {
    return FormatDateTime("c", value, settings);
}

std::string DateTimeToStr(TDateTime value) {
    return DateTimeToStr(value, CurrentFormatSettings());
}

}  // namespace rtl
