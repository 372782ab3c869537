// SetupTexts: every text keyvale-setup prints.
#pragma once

#include <string_view>

namespace keyvalesetup::texts {

using std::string_view;

inline constexpr string_view kUsage =
    "usage: keyvale-setup [--force] [--seed N] [--invsort-records N] DIR [TABLE...]\n"
    "Creates the program's tables in DIR (made when missing) and keeps those that exist.\n"
    "  TABLE               config, results, invsort or numeric (default: all four)\n"
    "  --force             deletes and recreates the tables named (on results: every stored result)\n"
    "  --seed N            draws the test data from seed N instead of the clock\n"
    "  --invsort-records N invsort's records, 50 to 100000 (default 2000)\n";

// Output lines: "created invsort.dat (2000 records)", "kept invsort.dat (exists; --force recreates it)".
inline constexpr string_view kCreated = "created ";
inline constexpr string_view kRecords = " records)";
inline constexpr string_view kOneRecord = " record)";
inline constexpr string_view kKept = "kept ";
inline constexpr string_view kKeptReason = " (exists; --force recreates it)";

// Errors on standard error, after "keyvale-setup: ".
inline constexpr string_view kProgram = "keyvale-setup: ";
inline constexpr string_view kIncomplete = "incomplete: ";
inline constexpr string_view kIncompleteMissing = " missing; --force recreates it";
inline constexpr string_view kNeedsConfig = "numeric.dat takes its width from config.dat: ";
inline constexpr string_view kConfigEmpty = "config.dat holds no record";
inline constexpr string_view kNoDirectory = "cannot make the directory ";
inline constexpr string_view kNotDirectory = " is not a directory";
inline constexpr string_view kNotCodePage = "the directory's name has characters outside Windows-1252: ";

// Argument errors, followed by the usage.
inline constexpr string_view kUnknownOption = "unknown option ";
inline constexpr string_view kMissingValue = " needs a value";
inline constexpr string_view kBadSeed = "--seed takes a whole number from 0 to 18446744073709551615, not ";
inline constexpr string_view kBadRecordCount = "--invsort-records takes a number from 50 to 100000, not ";
inline constexpr string_view kMissingDirectory = "no DIR given";
inline constexpr string_view kUnknownTable = "unknown table ";

}  // namespace keyvalesetup::texts
