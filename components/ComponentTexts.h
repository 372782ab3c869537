// The dataset components' user-visible texts, verbatim; "%s" slots are filled with rtl::Format.
#pragma once

#include <string_view>

namespace components {

// Sessions.
inline constexpr std::string_view kInvalidSessionName = "Session name %s is not valid.";
inline constexpr std::string_view kSessionNameMissing = "Session name is missing.";
inline constexpr std::string_view kSessionActive = "Cannot perform this operation on an active session.";
inline constexpr std::string_view kAutoSessionActive =
    "Cannot perform this operation on the active auto-session.";
inline constexpr std::string_view kDuplicateSessionName = "Session name %s already exists.";
inline constexpr std::string_view kAutoSessionExclusive =
    "The active auto-session can be the only active session.";
inline constexpr std::string_view kAutoSessionExists = "This auto-session already exists.";

// Databases.
inline constexpr std::string_view kDatabaseOpen = "Cannot perform this operation on an open database.";
inline constexpr std::string_view kDatabaseNameMissing = "Database name is missing.";
inline constexpr std::string_view kInvalidDatabaseName = "Database name %s is not valid.";
inline constexpr std::string_view kDuplicateDatabaseName = "Database name %s already exists.";

// Datasets.
inline constexpr std::string_view kCreateHandleError = "Error creating table handle.";

// The name of the session every dataset without a session name works in.
inline constexpr std::string_view kDefaultSessionName = "Default";

// What the components' EngineVersion property reads.
inline constexpr std::string_view kEngineVersion = "1.21";

}  // namespace components
