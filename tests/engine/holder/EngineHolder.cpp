// engine-holder: keeps an engine file, and byte-range locks on it, held from a second process, so that the
// engine's tests can meet another program's opens and locks.
//
//   engine-holder <file> shared|exclusive read|write [--table] [--for <ms>]
//
// The holder starts the engine and opens the file through TFileHandler (shared or exclusive, read-only or
// read and write); with --table it opens the table the file names through TDataFile instead, its record,
// index and large-object files, and the lock commands act on the record file. It then prints one line:
// "ready", or "error <engine code>" and exits 1. After that it reads commands from its input, one per line,
// and answers each with one line:
//
//   lock <offset> <length>     LockRange(offset, length, lock)    "ok" or "fail"
//   unlock <offset> <length>   LockRange(offset, length, unlock)  "ok" or "fail"
//   release                    closes the file                    "ok", then exits 0
//
//   engine-holder table <name> [--for <ms>]
//
// Table mode opens the table through TDataFile, shared and writable, and prints "ready" or "error <code>"
// (exit 1) likewise. Its commands act on the table handle; each is answered "ok" or "error <engine code>":
//
//   lockrecord <slot>          LockRecord (slot 0: the current record)
//   unlockrecord <slot>        UnlockRecord
//   locktable                  LockTable
//   unlocktable                UnlockTable
//   beginread                  BeginRead
//   endread                    EndRead
//   beginwrite                 BeginWrite
//   endwrite                   EndWrite
//   acquireread                AcquireReadLock
//   releaseread                ReleaseReadLock
//   retries <count> <wait-ms>  LockRetryCount and LockWaitTime of record and table locks, and the retries
//                              of the semaphore and the read and write locks (their sleep stays 3 ms)
//   release                    closes the table, then exits 0
//
// A command it does not know is answered "unknown", arguments it cannot read "bad". It exits 0 at the end
// of its input and 2 when its time runs out (--for, default 60000 ms), so that a test that dies leaves
// nothing held. Usage errors exit 64. A new command is one row of a command table and one function.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>

#include "engine/base/EngineError.h"
#include "engine/base/EngineState.h"
#include "engine/file/FileHandler.h"
#include "engine/table/DataFile.h"
#include "tests/support/LineIo.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int ExitDone = 0;
constexpr int ExitOpenFailed = 1;
constexpr int ExitTimeUp = 2;
// The usage-error status of sysexits.h.
constexpr int ExitUsage = 64;
// A holder nobody releases gives up after a minute.
constexpr int DefaultLifetimeMs = 60000;

// What the commands work on; later commands add their own state here.
struct Holder {
    explicit Holder(bool table)
        : file(table ? std::make_unique<engine::TDataFile>() : std::make_unique<engine::TFileHandler>()) {}

    // The table handle of table mode and of --table.
    engine::TDataFile& Table() { return static_cast<engine::TDataFile&>(*file); }

    std::unique_ptr<engine::TFileHandler> file;
    bool finished = false;
};

// A command gets the rest of its line and answers the reply line.
using CommandFunction = std::string (*)(Holder& holder, std::istringstream& arguments);

struct Command {
    std::string_view name;
    CommandFunction run;
};

// Reads "<offset> <length>" and nothing else.
bool ReadRange(std::istringstream& arguments, std::int64_t& offset, std::int64_t& length) {
    std::string rest;
    return static_cast<bool>(arguments >> offset >> length) && !(arguments >> rest);
}

std::string LockCommand(Holder& holder, std::istringstream& arguments) {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    if (!ReadRange(arguments, offset, length)) return "bad";
    return holder.file->LockRange(offset, length, true) ? "ok" : "fail";
}

std::string UnlockCommand(Holder& holder, std::istringstream& arguments) {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    if (!ReadRange(arguments, offset, length)) return "bad";
    return holder.file->LockRange(offset, length, false) ? "ok" : "fail";
}

std::string ReleaseCommand(Holder& holder, std::istringstream&) {
    holder.file->Close();
    holder.finished = true;
    return "ok";
}

constexpr Command FileCommands[] = {
    {"lock", LockCommand},
    {"unlock", UnlockCommand},
    {"release", ReleaseCommand},
};

// Reads one whole number and nothing else.
template <typename Number>
bool ReadNumber(std::istringstream& arguments, Number& number) {
    std::string rest;
    return static_cast<bool>(arguments >> number) && !(arguments >> rest);
}

bool ReadSlot(std::istringstream& arguments, engine::SlotNumber& slot) {
    std::uint32_t value = 0;
    if (!ReadNumber(arguments, value)) return false;
    slot = engine::SlotNumber(value);
    return true;
}

// A table command without arguments: the operation's failure is answered by Run.
template <void (engine::TDataFile::*Operation)()>
std::string TableCommand(Holder& holder, std::istringstream& arguments) {
    std::string rest;
    if (arguments >> rest) return "bad";
    (holder.Table().*Operation)();
    return "ok";
}

std::string LockRecordCommand(Holder& holder, std::istringstream& arguments) {
    engine::SlotNumber slot;
    if (!ReadSlot(arguments, slot)) return "bad";
    holder.Table().LockRecord(slot);
    return "ok";
}

std::string UnlockRecordCommand(Holder& holder, std::istringstream& arguments) {
    engine::SlotNumber slot;
    if (!ReadSlot(arguments, slot)) return "bad";
    holder.Table().UnlockRecord(slot);
    return "ok";
}

std::string BeginReadCommand(Holder& holder, std::istringstream& arguments) {
    std::string rest;
    if (arguments >> rest) return "bad";
    holder.Table().BeginRead();
    return "ok";
}

std::string RetriesCommand(Holder& holder, std::istringstream& arguments) {
    int count = 0;
    int waitMs = 0;
    std::string rest;
    if (!(arguments >> count >> waitMs) || (arguments >> rest) || count < 0 || count > 255 || waitMs < 0 ||
        waitMs > 65535) {
        return "bad";
    }
    engine::TDataFile& table = holder.Table();
    table.SetLockRetryCount(static_cast<std::uint8_t>(count));
    table.SetLockWaitTime(static_cast<std::uint16_t>(waitMs));
    engine::LockRetryPolicy policy;
    policy.Retries = count;
    table.SetLockRetryPolicy(policy);
    return "ok";
}

constexpr Command TableCommands[] = {
    {"lockrecord", LockRecordCommand},
    {"unlockrecord", UnlockRecordCommand},
    {"locktable", TableCommand<&engine::TDataFile::LockTable>},
    {"unlocktable", TableCommand<&engine::TDataFile::UnlockTable>},
    {"beginread", BeginReadCommand},
    {"endread", TableCommand<&engine::TDataFile::EndRead>},
    {"beginwrite", TableCommand<&engine::TDataFile::BeginWrite>},
    {"endwrite", TableCommand<&engine::TDataFile::EndWrite>},
    {"acquireread", TableCommand<&engine::TDataFile::AcquireReadLock>},
    {"releaseread", TableCommand<&engine::TDataFile::ReleaseReadLock>},
    {"retries", RetriesCommand},
    {"release", ReleaseCommand},
};

std::string Run(Holder& holder, bool tableMode, const std::string& line) {
    std::istringstream arguments(line);
    std::string name;
    arguments >> name;
    const std::span<const Command> commands =
        tableMode ? std::span<const Command>(TableCommands) : std::span<const Command>(FileCommands);
    for (const Command& command : commands) {
        if (command.name != name) continue;
        try {
            return command.run(holder, arguments);
        } catch (const engine::ETARNISEngineError& error) {
            return "error " + std::to_string(error.ErrorCode());
        }
    }
    return "unknown";
}

void Reply(std::string_view line) {
    testsupport::WriteLine(STDOUT_FILENO, line);
}

struct Options {
    std::string fileName;
    bool exclusive = false;
    bool write = false;
    bool table = false;
    // engine-holder table <name>: the table handle's own commands.
    bool tableMode = false;
    int lifetimeMs = DefaultLifetimeMs;
};

// The options after the mode's own arguments.
bool ParseOptions(int argc, char** argv, int first, Options& options) {
    for (int i = first; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--table" && !options.tableMode) {
            options.table = true;
        } else if (option == "--for" && i + 1 < argc) {
            std::istringstream value(argv[++i]);
            if (!(value >> options.lifetimeMs) || options.lifetimeMs < 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::optional<Options> ParseArguments(int argc, char** argv) {
    if (argc >= 3 && std::string_view(argv[1]) == "table") {
        Options options;
        options.fileName = argv[2];
        options.tableMode = true;
        options.table = true;
        options.write = true;
        if (!ParseOptions(argc, argv, 3, options)) return std::nullopt;
        return options;
    }
    if (argc < 4) return std::nullopt;
    Options options;
    options.fileName = argv[1];
    const std::string_view share = argv[2];
    const std::string_view access = argv[3];
    if ((share != "shared" && share != "exclusive") || (access != "read" && access != "write")) {
        return std::nullopt;
    }
    options.exclusive = share == "exclusive";
    options.write = access == "write";
    if (!ParseOptions(argc, argv, 4, options)) return std::nullopt;
    return options;
}

int Serve(const Options& options) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(options.lifetimeMs);
    engine::EngineGuard engine;
    Holder holder(options.table);
    try {
        holder.file->SetFileName(options.fileName);
        holder.file->SetExclusive(options.exclusive);
        holder.file->SetReadOnly(!options.write);
        holder.file->Open();
    } catch (const engine::ETARNISEngineError& error) {
        Reply("error " + std::to_string(error.ErrorCode()));
        return ExitOpenFailed;
    }
    Reply("ready");
    testsupport::LineReader reader(STDIN_FILENO);
    std::string line;
    for (;;) {
        switch (reader.Next(deadline, line)) {
            case testsupport::LineReader::Status::End:
                return ExitDone;
            case testsupport::LineReader::Status::TimeUp:
                return ExitTimeUp;
            case testsupport::LineReader::Status::Line:
                Reply(Run(holder, options.tableMode, line));
                if (holder.finished) return ExitDone;
                break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseArguments(argc, argv);
    if (!options) {
        std::fputs(
            "usage: engine-holder <file> shared|exclusive read|write [--table] [--for <ms>]\n"
            "       engine-holder table <name> [--for <ms>]\n",
            stderr);
        return ExitUsage;
    }
    return Serve(*options);
}
