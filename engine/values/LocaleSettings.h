// TLocaleSettings: the number and date formats of a table's locale, and the swap that reads texts under them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rtl/FormatSettings.h"

namespace engine {

// The runtime's own record: a default-constructed one holds the built-in US defaults.
using TLocaleSettings = rtl::FormatSettings;

// The items a locale describes its formats by. Month names take a number from 1 (January) to 12, day names
// from 1 (Monday) to 7 (Sunday); the other items take none.
enum class LocaleItem : std::uint8_t {
    SCurrency,         // currency string
    ICurrency,         // placement of the currency string, a number
    INegCurr,          // placement of currency string and minus sign, a number
    SThousand,         // thousand separator
    SDecimal,          // decimal separator
    ICurrDigits,       // decimals of a currency amount, a number
    SDate,             // date separator
    SShortDate,        // short date picture
    SLongDate,         // long date picture
    STime,             // time separator
    S1159,             // morning suffix
    S2359,             // afternoon suffix
    ITLZero,           // hours with a leading zero when not 0, a number
    ITime,             // 0 for a 12-hour clock, a number
    SAbbrevMonthName,  // numbered 1 .. 12
    SMonthName,        // numbered 1 .. 12
    SAbbrevDayName,    // numbered 1 .. 7, Monday first
    SDayName,          // numbered 1 .. 7, Monday first
};

// What a locale answers for an item: a text, or nothing (an empty text counts as nothing).
class LocaleInfoSource {
public:
    virtual ~LocaleInfoSource();
    virtual std::optional<std::string> GetInfo(LocaleItem item, int number) const = 0;
};

// The language id of the calling thread's locale, which is also the user's default language: always 0, so
// that number and date formats never depend on the machine's settings.
std::uint16_t DefaultLanguageId() noexcept;

// The format data of an installed locale with a language id, or null (no such locale is installed; language
// id 0 has the built-in defaults instead).
const LocaleInfoSource* FindLocaleInfo(std::uint16_t languageId, std::uint16_t sortId) noexcept;

// The record a locale gives. A missing item takes its built-in default, except: the currency format, the
// negative currency format and the currency decimals become 0 when missing, and the currency decimals become
// 2 when not a number. The time formats are the hour code ("hh" when ITLZero is not 0, else "h"), ":mm" or
// ":mm:ss", and " AMPM" when ITime is 0.
TLocaleSettings LocaleSettingsFromSource(const LocaleInfoSource& source);

// From the calling thread's locale when fromThreadLocale is set, else from the locale with the language id;
// language id 0 gives the built-in defaults. A locale that is not installed raises 15878 naming the file.
// Takes no lock and touches no global.
void GetLocaleSettings(bool fromThreadLocale, std::uint16_t languageId, std::uint16_t sortId,
                       TLocaleSettings& settings, std::string_view fileName = {});
// Copy the calling thread's current format settings out and in; every thread has its own set, so neither
// needs a lock.
void SaveFormatSettings(TLocaleSettings& settings);
void ApplyFormatSettings(const TLocaleSettings& settings);

// Installs a table locale's settings on the calling thread while it lives and restores the saved ones when
// it ends, also when the work in between throws. A locale that is not installed raises 15878 before anything
// changes. The SQL engine reads its texts with language id 0, the built-in defaults.
class LocaleFormatSwap {
public:
    LocaleFormatSwap(std::uint16_t languageId, std::uint16_t sortId, std::string_view fileName = {});
    LocaleFormatSwap(const LocaleFormatSwap&) = delete;
    LocaleFormatSwap& operator=(const LocaleFormatSwap&) = delete;

private:
    rtl::FormatSettingsGuard guard_;
};

}  // namespace engine
