// Matching tarnis-check's findings in tests, and listing them when a match fails.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tarnis-check/Finding.h"

namespace tarnischecktest {

// One finding a line, for a failure message.
inline std::string Describe(const std::vector<tarnischeck::Finding>& findings) {
    std::string text;
    for (const tarnischeck::Finding& f : findings) text += "\n  " + tarnischeck::FormatFinding(f);
    return text;
}

// Whether a finding of the level about the place in the file holds the text.
inline bool HasFinding(const std::vector<tarnischeck::Finding>& findings, tarnischeck::Severity level,
                       std::string_view file, std::string_view place, std::string_view text) {
    return std::any_of(findings.begin(), findings.end(), [&](const tarnischeck::Finding& f) {
        return f.Level == level && f.File == file && f.Place == place &&
               f.Text.find(text) != std::string::npos;
    });
}

}  // namespace tarnischecktest
