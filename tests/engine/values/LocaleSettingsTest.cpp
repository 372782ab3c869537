#include "engine/values/LocaleSettings.h"

#include <gtest/gtest.h>

#include <latch>
#include <map>
#include <stdexcept>
#include <thread>
#include <utility>

#include "engine/base/EngineError.h"
#include "engine/values/Collation.h"
#include "rtl/DateTime.h"
#include "rtl/DateTimeFormat.h"
#include "rtl/FloatFormat.h"
#include "tests/rtl/CommaSettings.h"

namespace {

using engine::LocaleItem;
using engine::TLocaleSettings;

constexpr std::uint16_t kEnglishUs = 0x0409;

// A locale answering from a table; items it does not list give nothing.
class TableSource final : public engine::LocaleInfoSource {
public:
    TableSource& Set(LocaleItem item, std::string text, int number = 0) {
        items_[{item, number}] = std::move(text);
        return *this;
    }
    std::optional<std::string> GetInfo(LocaleItem item, int number) const override {
        const auto found = items_.find({item, number});
        if (found == items_.end()) return std::nullopt;
        return found->second;
    }

private:
    std::map<std::pair<LocaleItem, int>, std::string> items_;
};

TEST(LocaleSettings, LanguageZeroGivesTheBuiltInDefaultsWhateverTheThreadUses) {
    rtl::FormatSettingsGuard user(rtl_test::CommaSettings());
    TLocaleSettings settings = rtl_test::CommaSettings();
    engine::GetLocaleSettings(false, 0, 0, settings);
    EXPECT_EQ(settings.DecimalSeparator, '.');
    EXPECT_EQ(settings.ShortDateFormat, "M/d/yyyy");
    EXPECT_EQ(settings, rtl::DefaultFormatSettings());

    // The thread's locale is language 0 too.
    settings = rtl_test::CommaSettings();
    engine::GetLocaleSettings(true, kEnglishUs, 0, settings);
    EXPECT_EQ(settings, rtl::DefaultFormatSettings());
    EXPECT_EQ(engine::DefaultLanguageId(), 0);
}

TEST(LocaleSettings, SwapInstallsTheTableSettingsAndRestoresOnFailure) {
    rtl::FormatSettingsGuard user(rtl_test::CommaSettings());
    const rtl::TDateTime moment = rtl::EncodeDate(2024, 3, 7) + 0.5;
    EXPECT_THROW(
        {
            engine::LocaleFormatSwap swap(0, 0, "T.DAT");
            EXPECT_EQ(rtl::FloatToStr(1.5), "1.5");
            EXPECT_EQ(rtl::DateTimeToStr(moment), "3/7/2024 12:00:00 PM");
            throw std::runtime_error("conversion failed");
        },
        std::runtime_error);
    EXPECT_EQ(rtl::CurrentFormatSettings().DecimalSeparator, ',');
    EXPECT_EQ(rtl::CurrentFormatSettings(), rtl_test::CommaSettings());
}

TEST(LocaleSettings, SwapNeverChangesAnotherThreadsSettings) {
    std::latch otherReady(1);
    std::latch swapped(1);
    std::latch otherChecked(1);
    char seenByOther = 0;
    std::thread other([&] {
        rtl::CurrentFormatSettings() = rtl_test::CommaSettings();
        otherReady.count_down();
        swapped.wait();
        seenByOther = rtl::CurrentFormatSettings().DecimalSeparator;
        otherChecked.count_down();
    });
    otherReady.wait();
    {
        engine::LocaleFormatSwap swap(0, 0);
        swapped.count_down();
        otherChecked.wait();  // the other thread looks while this one's swap is in force
        EXPECT_EQ(rtl::CurrentFormatSettings().DecimalSeparator, '.');
    }
    other.join();
    EXPECT_EQ(seenByOther, ',');
}

TEST(LocaleSettings, SaveAndApplyCopyTheThreadsSet) {
    rtl::FormatSettingsGuard user(rtl::DefaultFormatSettings());
    TLocaleSettings saved;
    engine::SaveFormatSettings(saved);
    EXPECT_EQ(saved, rtl::DefaultFormatSettings());
    engine::ApplyFormatSettings(rtl_test::CommaSettings());
    EXPECT_EQ(rtl::CurrentFormatSettings(), rtl_test::CommaSettings());
    engine::ApplyFormatSettings(saved);
    EXPECT_EQ(rtl::CurrentFormatSettings(), rtl::DefaultFormatSettings());
}

TEST(LocaleSettings, TimeFormatsFollowTheClockAndLeadingZero) {
    const struct {
        const char* leadingZero;
        const char* clock;
        const char* shortTime;
        const char* longTime;
    } cases[] = {
        {"1", "1", "hh:mm", "hh:mm:ss"},         {"0", "1", "h:mm", "h:mm:ss"},
        {"0", "0", "h:mm AMPM", "h:mm:ss AMPM"}, {"1", "0", "hh:mm AMPM", "hh:mm:ss AMPM"},
        {"x", "x", "h:mm AMPM", "h:mm:ss AMPM"},  // not numbers: read as 0
    };
    for (const auto& c : cases) {
        TableSource source;
        source.Set(LocaleItem::ITLZero, c.leadingZero).Set(LocaleItem::ITime, c.clock);
        const TLocaleSettings s = engine::LocaleSettingsFromSource(source);
        EXPECT_EQ(s.ShortTimeFormat, c.shortTime) << c.leadingZero << c.clock;
        EXPECT_EQ(s.LongTimeFormat, c.longTime) << c.leadingZero << c.clock;
    }
}

TEST(LocaleSettings, MissingItemsFallBack) {
    TLocaleSettings expected;       // the built-in defaults ...
    expected.CurrencyDecimals = 0;  // ... except the currency decimals, 0 when the locale gives none
    EXPECT_EQ(engine::LocaleSettingsFromSource(TableSource()), expected);

    // An empty text counts as none.
    TableSource empty;
    empty.Set(LocaleItem::SDecimal, "").Set(LocaleItem::SMonthName, "", 1).Set(LocaleItem::ICurrDigits, "");
    EXPECT_EQ(engine::LocaleSettingsFromSource(empty), expected);
}

TEST(LocaleSettings, NumberItems) {
    const struct {
        const char* text;
        int currencyFormat;
        int currencyDecimals;
    } cases[] = {
        {"3", 3, 3},   {" 1 ", 1, 1},
        {"two", 0, 2},  // not a number: the currency decimals become 2, the formats 0
        {"256", 0, 2},  // beyond a byte
        {"-1", 0, 2},
    };
    for (const auto& c : cases) {
        TableSource source;
        source.Set(LocaleItem::ICurrency, c.text)
            .Set(LocaleItem::INegCurr, c.text)
            .Set(LocaleItem::ICurrDigits, c.text);
        const TLocaleSettings s = engine::LocaleSettingsFromSource(source);
        EXPECT_EQ(s.CurrencyFormat, c.currencyFormat) << c.text;
        EXPECT_EQ(s.NegCurrFormat, c.currencyFormat) << c.text;
        EXPECT_EQ(s.CurrencyDecimals, c.currencyDecimals) << c.text;
    }
}

TEST(LocaleSettings, AFullLocaleDrivesTheRuntimesConversions) {
    TableSource source;
    source.Set(LocaleItem::SCurrency, "EUR")
        .Set(LocaleItem::ICurrency, "3")
        .Set(LocaleItem::INegCurr, "8")
        .Set(LocaleItem::SThousand, ". ")
        .Set(LocaleItem::SDecimal, ",")
        .Set(LocaleItem::ICurrDigits, "2")
        .Set(LocaleItem::SDate, ".")
        .Set(LocaleItem::SShortDate, "dd.MM.yyyy")
        .Set(LocaleItem::SLongDate, "dddd, d. MMMM yyyy")
        .Set(LocaleItem::STime, ":")
        .Set(LocaleItem::S1159, "vorm.")
        .Set(LocaleItem::S2359, "nachm.")
        .Set(LocaleItem::ITLZero, "1")
        .Set(LocaleItem::ITime, "1")
        .Set(LocaleItem::SMonthName, "M\xE4rz", 3)
        .Set(LocaleItem::SAbbrevMonthName, "Dez", 12)
        .Set(LocaleItem::SDayName, "Sonntag", 7)
        .Set(LocaleItem::SDayName, "Donnerstag", 4)
        .Set(LocaleItem::SAbbrevDayName, "Mo", 1);
    const TLocaleSettings s = engine::LocaleSettingsFromSource(source);
    EXPECT_EQ(s.CurrencyString, "EUR");
    EXPECT_EQ(s.CurrencyFormat, 3);
    EXPECT_EQ(s.NegCurrFormat, 8);
    EXPECT_EQ(s.ThousandSeparator, '.');  // the first character
    EXPECT_EQ(s.TimeAMString, "vorm.");
    EXPECT_EQ(s.TimePMString, "nachm.");
    EXPECT_EQ(s.LongMonthNames[2], "M\xE4rz");
    EXPECT_EQ(s.LongMonthNames[3], "April");  // missing names stay English
    EXPECT_EQ(s.ShortMonthNames[11], "Dez");
    EXPECT_EQ(s.LongDayNames[0], "Sonntag");  // the locale's day 7 is the record's first day, Sunday
    EXPECT_EQ(s.LongDayNames[4], "Donnerstag");
    EXPECT_EQ(s.ShortDayNames[1], "Mo");
    EXPECT_EQ(s.ShortDayNames[0], "Sun");

    rtl::FormatSettingsGuard installed(s);
    const rtl::TDateTime moment = rtl::EncodeDateTime(2024, 3, 7, 9, 5, 0, 0);
    EXPECT_EQ(rtl::DateTimeToStr(moment), "07.03.2024 09:05:00");
    EXPECT_EQ(rtl::FormatDateTime("dddddd", moment), "Donnerstag, 7. M\xE4rz 2024");
    EXPECT_EQ(rtl::FloatToStr(1.5), "1,5");
    EXPECT_EQ(rtl::CurrToStrF(rtl::Currency::FromRaw(-12345000), rtl::FloatFormat::Currency, 2),
              "-1.234,50 EUR");
}

TEST(LocaleSettings, LocalesOtherThanLanguageZeroAreNotInstalled) {
    EXPECT_EQ(engine::FindLocaleInfo(kEnglishUs, 0), nullptr);
    rtl::FormatSettingsGuard user(rtl_test::CommaSettings());
    TLocaleSettings settings;
    try {
        engine::GetLocaleSettings(false, kEnglishUs, 0, settings, "T.DAT");
        ADD_FAILURE() << "nothing raised";
    } catch (const engine::ETARNISEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), 15878);
        EXPECT_EQ(e.Message(),
                  "TARNIS Engine Error # 15878 The language driver for data file T.DAT is not available or "
                  "installed");
    }
    EXPECT_EQ(settings, rtl::DefaultFormatSettings());
    try {
        engine::LocaleFormatSwap swap(kEnglishUs, 0, "T.DAT");
        ADD_FAILURE() << "nothing raised";
    } catch (const engine::ETARNISEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), 15878);
    }
    EXPECT_EQ(rtl::CurrentFormatSettings(), rtl_test::CommaSettings());
}

}  // namespace
