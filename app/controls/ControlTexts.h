// The user-visible texts of the program's own controls, verbatim, and the routine that passes them on.
#pragma once

#include <string>
#include <string_view>

namespace controls {

// A timer could not be had from the platform.
inline constexpr std::string_view kNotEnoughTimers = "Not enough timers available";

// Passes a resource text on unchanged; the controls' messages reach their exceptions through it.
inline std::string ResStr(std::string_view text) {
    return std::string(text);
}

}  // namespace controls
