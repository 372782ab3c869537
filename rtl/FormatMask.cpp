#include "rtl/FormatMask.h"

namespace rtl {

std::string_view QuotedLiteral(std::string_view mask, std::size_t i, std::size_t& next) noexcept {
    const std::size_t close = mask.find(mask[i], i + 1);
    const std::size_t end = close == std::string_view::npos ? mask.size() : close;
    next = close == std::string_view::npos ? mask.size() : close + 1;
    return mask.substr(i + 1, end - i - 1);
}

}  // namespace rtl
