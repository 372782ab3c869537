// Findings in tarnis-check's tests: the search for one, and their printout for failure messages.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "tools/tarnis-check/Finding.h"

namespace tarnischecktest {

inline std::string Describe(const std::vector<tarnischeck::Finding>& findings) {
    std::string text;
    for (const tarnischeck::Finding& f : findings) text += "\n  " + tarnischeck::FormatFinding(f);
    return text;
}

// A finding of the level about the file at the place whose text contains the given text.
inline bool HasFindingIn(const std::vector<tarnischeck::Finding>& findings, const std::string& file,
                         tarnischeck::Severity level, const std::string& place, const std::string& text) {
    return std::any_of(findings.begin(), findings.end(), [&](const tarnischeck::Finding& f) {
        return f.Level == level && f.File == file && f.Place == place &&
               f.Text.find(text) != std::string::npos;
    });
}

}  // namespace tarnischecktest
