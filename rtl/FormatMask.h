// Scanning of format masks: the quoted literals that number masks and date-time formats share.
#pragma once

#include <cstddef>
#include <string_view>

namespace rtl {

// A single or double quote opens a literal in a mask.
constexpr bool IsMaskQuote(char c) noexcept {
    return c == '\'' || c == '"';
}

// The literal whose quote stands at `i`, without its quotes; `next` receives the index past the closing
// quote. An unclosed quote runs to the end of the mask.
std::string_view QuotedLiteral(std::string_view mask, std::size_t i, std::size_t& next) noexcept;

}  // namespace rtl
