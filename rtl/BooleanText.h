// Truth values as text: "True" and "False", read back in any letter case.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

std::string BoolToStr(bool value);
// Only the words "True" and "False" in any letter case, with nothing around them.
bool TryStrToBool(std::string_view text, bool& value) noexcept;
// Raises EConvertError "'text' is not a valid boolean value" for any other text.
bool StrToBool(std::string_view text);

}  // namespace rtl
