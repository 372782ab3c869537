#include "engine/values/InstalledLocales.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace engine {

namespace {

struct LocaleEntry {
    std::uint16_t languageId;
    std::uint16_t sortId;
    const Collation* collation;
    const LocaleInfoSource* info;
};

// Tables on any thread look locales up, so the list changes only under its lock. The most recent
// installation of a pair is found first.
struct LocaleList {
    std::mutex lock;
    std::vector<LocaleEntry> entries;
};

LocaleList& Locales() {
    static LocaleList list;
    return list;
}

const LocaleEntry* FindEntry(const std::vector<LocaleEntry>& entries, std::uint16_t languageId,
                             std::uint16_t sortId) noexcept {
    const auto found = std::find_if(entries.rbegin(), entries.rend(), [&](const LocaleEntry& e) {
        return e.languageId == languageId && e.sortId == sortId;
    });
    return found == entries.rend() ? nullptr : &*found;
}

}  // namespace

InstalledLocale::InstalledLocale(std::uint16_t languageId, std::uint16_t sortId, const Collation& collation,
                                 const LocaleInfoSource& info)
    : languageId_(languageId), sortId_(sortId), collation_(&collation), info_(&info) {
    LocaleList& list = Locales();
    const std::lock_guard<std::mutex> hold(list.lock);
    list.entries.push_back({languageId, sortId, collation_, info_});
}

InstalledLocale::~InstalledLocale() {
    LocaleList& list = Locales();
    const std::lock_guard<std::mutex> hold(list.lock);
    // Installations may end in any order: this one's own entry goes.
    const auto found = std::find_if(list.entries.rbegin(), list.entries.rend(), [this](const LocaleEntry& e) {
        return e.languageId == languageId_ && e.sortId == sortId_ && e.collation == collation_ &&
               e.info == info_;
    });
    if (found != list.entries.rend()) list.entries.erase(std::next(found).base());
}

const Collation* FindInstalledCollation(std::uint16_t languageId, std::uint16_t sortId) noexcept {
    LocaleList& list = Locales();
    const std::lock_guard<std::mutex> hold(list.lock);
    const LocaleEntry* const entry = FindEntry(list.entries, languageId, sortId);
    return entry == nullptr ? nullptr : entry->collation;
}

const LocaleInfoSource* FindInstalledLocaleInfo(std::uint16_t languageId, std::uint16_t sortId) noexcept {
    LocaleList& list = Locales();
    const std::lock_guard<std::mutex> hold(list.lock);
    const LocaleEntry* const entry = FindEntry(list.entries, languageId, sortId);
    return entry == nullptr ? nullptr : entry->info;
}

}  // namespace engine
