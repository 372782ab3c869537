// Finding: one thing tarnis-check reports about a table file, and the line it prints for it.
#pragma once

#include <cstdint>
#include <string>

namespace tarnischeck {

// Error: what a correct engine never writes, or would misread. Warning: what an engine may leave behind after
// a failure with no risk to the data, and unused bytes that are not zero.
enum class Severity : std::uint8_t { Error, Warning };

struct Finding {
    Severity Level = Severity::Error;
    // The file the finding is about, as named to the checker.
    std::string File;
    // Where in it: "header", "field 3", "slot 17", "free-slot chain" and the like.
    std::string Place;
    std::string Text;
};

// "error: FILE: PLACE: TEXT" or "warning: ...".
std::string FormatFinding(const Finding& finding);

}  // namespace tarnischeck
