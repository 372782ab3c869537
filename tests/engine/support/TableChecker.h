// Runs tarnis-check's checks on the tables a test has written and closed: every engine test that writes a
// table asserts with these that the table is clean.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tools/tarnis-check/TableCheck.h"

namespace enginetest {

// A table a correct engine wrote has no finding at all, not even a warning.
inline ::testing::AssertionResult IsCleanTable(const std::string& tableName) {
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(tableName);
    if (check.Unreadable()) {
        return ::testing::AssertionFailure() << tableName << " cannot be read: " << check.UnreadableReason();
    }
    if (check.Findings().empty()) return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << tableName << " has findings:";
    for (const tarnischeck::Finding& finding : check.Findings()) {
        failure << "\n  " << tarnischeck::FormatFinding(finding);
    }
    return failure;
}

// Every record file directly in the directory (tests keep deliberately damaged files elsewhere).
inline ::testing::AssertionResult AreCleanTables(const std::filesystem::path& directory) {
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".DAT") continue;
        ::testing::AssertionResult result = IsCleanTable(entry.path().string());
        if (!result) return result;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace enginetest
