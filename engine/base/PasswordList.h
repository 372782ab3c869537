// The passwords given in one engine session for protected tables.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Passwords are compared byte for byte (letter case counts) and kept to at most 255 characters.
class TPasswordList {
public:
    // Appends a copy; an empty password is ignored. Duplicates are the caller's concern.
    void Add(std::string_view password);
    // Removes the first entry equal to the password, if any.
    void Remove(std::string_view password);
    void Clear() noexcept { passwords_.clear(); }
    bool Find(std::string_view password) const;
    int Count() const noexcept { return static_cast<int>(passwords_.size()); }

private:
    std::vector<std::string> passwords_;
};

}  // namespace engine
