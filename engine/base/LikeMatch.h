// The engine's LIKE pattern matcher.
#pragma once

#include <string_view>

namespace engine {

// Matches bytes with letter case significant and no escape character: "%" matches any run of characters, the
// empty one included, "_" exactly one character, and every other character itself. Runs in time proportional
// to text length x pattern length, whatever the pattern.
bool LikeMatch(std::string_view text, std::string_view pattern) noexcept;

}  // namespace engine
