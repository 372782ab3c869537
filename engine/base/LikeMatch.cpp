#include "engine/base/LikeMatch.h"

namespace engine {

bool LikeMatch(std::string_view text, std::string_view pattern) noexcept {
    constexpr std::size_t None = std::string_view::npos;
    std::size_t t = 0;
    std::size_t p = 0;
    // Where the last "%" stands in the pattern, and the text position it has been tried against so far. A
    // mismatch retries that "%" with one more text character; earlier "%" never need another try, because
    // the last one can absorb whatever they would have.
    std::size_t lastPercent = None;
    std::size_t percentText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '%') {
            lastPercent = p++;
            percentText = t;
        } else if (p < pattern.size() && (pattern[p] == '_' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (lastPercent != None) {
            p = lastPercent + 1;
            t = ++percentText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

}  // namespace engine
