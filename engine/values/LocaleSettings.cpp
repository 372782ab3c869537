#include "engine/values/LocaleSettings.h"

#include <cstddef>

#include "engine/base/EngineError.h"
#include "engine/values/Collation.h"
#include "engine/values/InstalledLocales.h"
#include "rtl/NumberConvert.h"

namespace engine {

namespace {

// The item's text; an empty answer counts as none.
std::optional<std::string> Info(const LocaleInfoSource& source, LocaleItem item, int number = 0) {
    std::optional<std::string> text = source.GetInfo(item, number);
    if (text && text->empty()) return std::nullopt;
    return text;
}

std::string TextOr(const LocaleInfoSource& source, LocaleItem item, std::string_view fallback,
                   int number = 0) {
    const auto text = Info(source, item, number);
    return text ? *text : std::string(fallback);
}

char CharOr(const LocaleInfoSource& source, LocaleItem item, char fallback) {
    const auto text = Info(source, item);
    return text ? text->front() : fallback;
}

// The item read as a byte-sized number: ifMissing without a text, ifNotNumber for a text that does not read
// as a number from 0 to 255 (the record keeps these items in bytes).
std::uint8_t ByteOr(const LocaleInfoSource& source, LocaleItem item, std::uint8_t ifMissing,
                    std::uint8_t ifNotNumber) {
    const auto text = Info(source, item);
    if (!text) return ifMissing;
    std::int32_t value = 0;
    if (!rtl::TryStrToInt(*text, value) || value < 0 || value > 255) return ifNotNumber;
    return static_cast<std::uint8_t>(value);
}

// The item read as a number; 0 when missing or not a number.
std::int32_t NumberOr0(const LocaleInfoSource& source, LocaleItem item) {
    const auto text = Info(source, item);
    return text ? rtl::StrToIntDef(*text, 0) : 0;
}

TLocaleSettings TableSettings(std::uint16_t languageId, std::uint16_t sortId, std::string_view fileName) {
    TLocaleSettings settings;
    GetLocaleSettings(false, languageId, sortId, settings, fileName);
    return settings;
}

}  // namespace

// Out of line so that the interface's type information lives in one object file.
LocaleInfoSource::~LocaleInfoSource() = default;

std::uint16_t DefaultLanguageId() noexcept {
    return 0;
}

const LocaleInfoSource* FindLocaleInfo(std::uint16_t languageId, std::uint16_t sortId) noexcept {
    return languageId == 0 ? nullptr : FindInstalledLocaleInfo(languageId, sortId);
}

TLocaleSettings LocaleSettingsFromSource(const LocaleInfoSource& source) {
    const TLocaleSettings& defaults = rtl::DefaultFormatSettings();
    TLocaleSettings s;
    s.CurrencyString = TextOr(source, LocaleItem::SCurrency, defaults.CurrencyString);
    s.CurrencyFormat = ByteOr(source, LocaleItem::ICurrency, 0, 0);
    s.NegCurrFormat = ByteOr(source, LocaleItem::INegCurr, 0, 0);
    s.ThousandSeparator = CharOr(source, LocaleItem::SThousand, defaults.ThousandSeparator);
    s.DecimalSeparator = CharOr(source, LocaleItem::SDecimal, defaults.DecimalSeparator);
    s.CurrencyDecimals = ByteOr(source, LocaleItem::ICurrDigits, 0, 2);
    s.DateSeparator = CharOr(source, LocaleItem::SDate, defaults.DateSeparator);
    s.ShortDateFormat = TextOr(source, LocaleItem::SShortDate, defaults.ShortDateFormat);
    s.LongDateFormat = TextOr(source, LocaleItem::SLongDate, defaults.LongDateFormat);
    s.TimeSeparator = CharOr(source, LocaleItem::STime, defaults.TimeSeparator);
    s.TimeAMString = TextOr(source, LocaleItem::S1159, defaults.TimeAMString);
    s.TimePMString = TextOr(source, LocaleItem::S2359, defaults.TimePMString);

    const std::string hour = NumberOr0(source, LocaleItem::ITLZero) != 0 ? "hh" : "h";
    const std::string suffix = NumberOr0(source, LocaleItem::ITime) == 0 ? " AMPM" : "";
    s.ShortTimeFormat = hour + ":mm" + suffix;
    s.LongTimeFormat = hour + ":mm:ss" + suffix;

    for (std::size_t m = 0; m < s.ShortMonthNames.size(); ++m) {
        const int number = static_cast<int>(m) + 1;
        s.ShortMonthNames[m] =
            TextOr(source, LocaleItem::SAbbrevMonthName, defaults.ShortMonthNames[m], number);
        s.LongMonthNames[m] = TextOr(source, LocaleItem::SMonthName, defaults.LongMonthNames[m], number);
    }
    // The record counts days from Sunday, the locale from Monday (its day 7 is Sunday).
    for (std::size_t d = 0; d < s.ShortDayNames.size(); ++d) {
        const int number = d == 0 ? 7 : static_cast<int>(d);
        s.ShortDayNames[d] = TextOr(source, LocaleItem::SAbbrevDayName, defaults.ShortDayNames[d], number);
        s.LongDayNames[d] = TextOr(source, LocaleItem::SDayName, defaults.LongDayNames[d], number);
    }
    return s;
}

void GetLocaleSettings(bool fromThreadLocale, std::uint16_t languageId, std::uint16_t sortId,
                       TLocaleSettings& settings, std::string_view fileName) {
    if (fromThreadLocale) {
        languageId = DefaultLanguageId();
        sortId = 0;
    }
    if (languageId == 0) {
        settings = rtl::DefaultFormatSettings();
        return;
    }
    const LocaleInfoSource* const source = FindLocaleInfo(languageId, sortId);
    if (source == nullptr || !IsLocaleInstalled(languageId, sortId))
        RaiseEngineError(ErrLanguageDriver, fileName);
    settings = LocaleSettingsFromSource(*source);
}

void SaveFormatSettings(TLocaleSettings& settings) {
    settings = rtl::CurrentFormatSettings();
}

void ApplyFormatSettings(const TLocaleSettings& settings) {
    rtl::CurrentFormatSettings() = settings;
}

LocaleFormatSwap::LocaleFormatSwap(std::uint16_t languageId, std::uint16_t sortId, std::string_view fileName)
    : guard_(TableSettings(languageId, sortId, fileName)) {}

}  // namespace engine
