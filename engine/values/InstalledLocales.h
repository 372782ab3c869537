// InstalledLocales: the locales with a language id other than 0 that the engine knows, each a collation and
// its number and date formats, found by language id and sort id.
#pragma once

#include <cstdint>

#include "engine/values/Collation.h"
#include "engine/values/LocaleSettings.h"

namespace engine {

// Installs a locale while it lives: FindCollation, FindLocaleInfo and IsLocaleInstalled answer for its
// language id and sort id, and a table of that locale opens and compares through it. A later installation of
// the same pair hides an earlier one until it ends. Language id 0 is built in and cannot be replaced. The
// collation and the format data must outlive the installation.
class InstalledLocale {
public:
    InstalledLocale(std::uint16_t languageId, std::uint16_t sortId, const Collation& collation,
                    const LocaleInfoSource& info);
    ~InstalledLocale();
    InstalledLocale(const InstalledLocale&) = delete;
    InstalledLocale& operator=(const InstalledLocale&) = delete;

private:
    std::uint16_t languageId_;
    std::uint16_t sortId_;
    const Collation* collation_;
    const LocaleInfoSource* info_;
};

// The installed locale's collation or format data; null when none is installed for the pair.
const Collation* FindInstalledCollation(std::uint16_t languageId, std::uint16_t sortId) noexcept;
const LocaleInfoSource* FindInstalledLocaleInfo(std::uint16_t languageId, std::uint16_t sortId) noexcept;

}  // namespace engine
