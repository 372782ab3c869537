// The field texts of truth values: "True" and "False", read back in any letter case.
#pragma once

#include <string>
#include <string_view>

namespace db {

std::string BooleanToText(bool value);
// Raises the runtime's conversion error for a text that is neither word.
bool TextToBoolean(std::string_view text);

}  // namespace db
