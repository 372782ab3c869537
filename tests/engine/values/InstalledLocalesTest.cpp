#include "engine/values/InstalledLocales.h"

#include <gtest/gtest.h>

#include "engine/base/EngineError.h"
#include "engine/values/Collation.h"
#include "engine/values/LocaleSettings.h"
#include "tests/engine/support/LocaleDoubles.h"

namespace {

using enginetest::DefaultFormats;
using enginetest::DictionaryCollation;

constexpr std::uint16_t kEnglishUs = 0x0409;

// A decimal comma, which tells its formats from the defaults.
class CommaDecimal final : public engine::LocaleInfoSource {
public:
    std::optional<std::string> GetInfo(engine::LocaleItem item, int) const override {
        if (item == engine::LocaleItem::SDecimal) return ",";
        return std::nullopt;
    }
};

TEST(InstalledLocales, AnInstallationAnswersForItsPairWhileItLives) {
    const DictionaryCollation collation;
    const DefaultFormats formats;
    EXPECT_FALSE(engine::IsLocaleInstalled(kEnglishUs, 0));
    {
        const engine::InstalledLocale locale(kEnglishUs, 0, collation, formats);
        EXPECT_EQ(engine::FindCollation(kEnglishUs, 0), &collation);
        EXPECT_EQ(engine::FindLocaleInfo(kEnglishUs, 0), &formats);
        EXPECT_TRUE(engine::IsLocaleInstalled(kEnglishUs, 0));
        // The sort id is part of the locale.
        EXPECT_FALSE(engine::IsLocaleInstalled(kEnglishUs, 1));
        EXPECT_EQ(engine::CompareLocaleStrings(kEnglishUs, 0, "a", "B", 0, false), -1);
        EXPECT_EQ(engine::CompareLocaleStrings(0, 0, "a", "B", 0, false), 1);
    }
    EXPECT_FALSE(engine::IsLocaleInstalled(kEnglishUs, 0));
    EXPECT_EQ(engine::FindLocaleInfo(kEnglishUs, 0), nullptr);
}

TEST(InstalledLocales, ALaterInstallationHidesAnEarlierOneUntilItEnds) {
    const DictionaryCollation first;
    const DictionaryCollation second;
    const DefaultFormats defaults;
    const CommaDecimal comma;
    const engine::InstalledLocale outer(kEnglishUs, 0, first, defaults);
    {
        const engine::InstalledLocale inner(kEnglishUs, 0, second, comma);
        EXPECT_EQ(engine::FindCollation(kEnglishUs, 0), &second);
        engine::TLocaleSettings settings;
        engine::GetLocaleSettings(false, kEnglishUs, 0, settings);
        EXPECT_EQ(settings.DecimalSeparator, ',');
    }
    EXPECT_EQ(engine::FindCollation(kEnglishUs, 0), &first);
    engine::TLocaleSettings settings;
    engine::GetLocaleSettings(false, kEnglishUs, 0, settings);
    EXPECT_EQ(settings.DecimalSeparator, '.');
}

TEST(InstalledLocales, LanguageZeroStaysByteOrder) {
    const DictionaryCollation collation;
    const DefaultFormats formats;
    const engine::InstalledLocale locale(0, 0, collation, formats);
    EXPECT_EQ(engine::FindCollation(0, 0), &engine::ByteOrderCollation());
    EXPECT_EQ(engine::FindLocaleInfo(0, 0), nullptr);
}

}  // namespace
