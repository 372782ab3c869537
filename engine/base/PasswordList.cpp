#include "engine/base/PasswordList.h"

#include <algorithm>

#include "engine/base/EngineStrings.h"
#include "rtl/Text.h"

namespace engine {

namespace {

auto Equal(std::string_view password) {
    const std::string wanted = ShortString(password);
    return [wanted](const std::string& entry) { return rtl::AnsiSameStr(entry, wanted); };
}

}  // namespace

void TPasswordList::Add(std::string_view password) {
    if (!password.empty()) passwords_.push_back(ShortString(password));
}

void TPasswordList::Remove(std::string_view password) {
    const auto it = std::find_if(passwords_.begin(), passwords_.end(), Equal(password));
    if (it != passwords_.end()) passwords_.erase(it);
}

bool TPasswordList::Find(std::string_view password) const {
    return std::any_of(passwords_.begin(), passwords_.end(), Equal(password));
}

}  // namespace engine
