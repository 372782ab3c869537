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
inline constexpr std::string_view kMissingTableName = "Missing table name.";

// The name of the session every dataset without a session name works in.
inline constexpr std::string_view kDefaultSessionName = "Default";

// What the components' EngineVersion property reads.
inline constexpr std::string_view kEngineVersion = "1.21";

// Filter text and filter blobs, with their resource ids.
inline constexpr std::string_view kExpressionExpected = "Expression expected but %s found";  // 65249
inline constexpr std::string_view kFieldNotInFilter =
    "Field '%s' cannot be used in a filter expression";                                               // 65250
inline constexpr std::string_view kNullOnlyEqual = "NULL only allowed with '=' and '<>'";             // 65251
inline constexpr std::string_view kConstantOutOfRange = "Constant out of range";                      // 65252
inline constexpr std::string_view kFieldNotBoolean = "Field '%s' is not of type Boolean";             // 65253
inline constexpr std::string_view kBadFilterExpression = "Incorrectly formed filter expression";      // 65254
inline constexpr std::string_view kFilterNothing = "nothing";                                         // 65255
inline constexpr std::string_view kFilterNotTerminated = "Filter expression incorrectly terminated";  // 65274
inline constexpr std::string_view kUnterminatedFieldName = "Unterminated field name";                 // 65275
inline constexpr std::string_view kUnterminatedString = "Unterminated string constant";               // 65276
inline constexpr std::string_view kInvalidFilterCharacter =
    "Invalid filter expression character: '%s'";                                      // 65277
inline constexpr std::string_view kCloseParenExpected = "')' expected but %s found";  // 65279
// The filter text's own limits: a text or blob beyond the blob's 16-bit sizes, a tree deeper than the
// engine builds.
inline constexpr std::string_view kFilterTooLarge = "Filter expression too large";
inline constexpr std::string_view kFilterTooComplex = "Filter expression too complex";

}  // namespace components
