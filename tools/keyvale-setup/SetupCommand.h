// SetupCommand: keyvale-setup's arguments and its run over the tables they name.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/keyvale-setup/ApplicationTables.h"

namespace keyvalesetup {

// invsort's records: practice starts at record 50, and a test holds 1900 screens.
inline constexpr int kDefaultInvsortRecords = 2000;
inline constexpr int kMinInvsortRecords = 50;
inline constexpr int kMaxInvsortRecords = 100000;

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitTableFailed = 1;
inline constexpr int kExitBadArguments = 2;

struct SetupOptions {
    bool force = false;
    std::optional<std::uint64_t> seed;
    int invsortRecords = kDefaultInvsortRecords;
    std::string directory;                 // as given, UTF-8
    std::vector<const TableSpec*> tables;  // in ApplicationTables' order, each once
};

struct ParsedArguments {
    std::optional<SetupOptions> options;  // empty: `error` says why, or help was asked for
    std::string error;
    bool help = false;
};

// `[--force] [--seed N] [--invsort-records N] DIR [TABLE...]`, without the program name. No TABLE: all four.
ParsedArguments ParseSetupArguments(std::span<const std::string> arguments);

// Makes the directory when missing, starts the engine and sets up each table: kept when its files exist,
// else (or with --force, after deleting them) created and filled. One line per table on `out`; a table
// that fails goes to `err` with the engine's message, leaves no new file, and the others go on.
// kExitDone, or kExitTableFailed when a table or the directory failed.
int RunSetup(const SetupOptions& options, std::ostream& out, std::ostream& err);

// The command: parses, prints the usage on `err` with kExitBadArguments for bad arguments (on `out` with
// kExitDone for --help), else RunSetup.
int SetupMain(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);

}  // namespace keyvalesetup
