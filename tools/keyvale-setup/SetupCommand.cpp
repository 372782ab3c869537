#include "tools/keyvale-setup/SetupCommand.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <filesystem>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "app/core/RandomSource.h"
#include "app/core/Texts.h"
#include "components/SessionRuntime.h"
#include "engine/file/FileHandler.h"
#include "engine/file/Journal.h"
#include "engine/table/DataFile.h"
#include "rtl/DateTime.h"
#include "rtl/ExceptionHook.h"
#include "rtl/FormatSettings.h"
#include "rtl/Random.h"
#include "rtl/Text.h"
#include "tools/keyvale-setup/ApplicationRecords.h"
#include "tools/keyvale-setup/ExclusiveTable.h"
#include "tools/keyvale-setup/SetupTexts.h"

namespace keyvalesetup {
namespace {

// A table's own failure, with the text to print after its name.
class TableFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

template <class Number>
bool ParseNumber(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

ParsedArguments Failure(std::string error) {
    ParsedArguments parsed;
    parsed.error = std::move(error);
    return parsed;
}

// ---- The run ----

// One failure on standard error: "keyvale-setup: ", what failed (when named) and the message.
void Report(std::ostream& err, std::string_view subject, const std::exception_ptr& error) {
    err << texts::kProgram;
    if (!subject.empty()) err << subject << ": ";
    err << rtl::Cp1252ToUtf8(rtl::ExceptionMessage(error)) << '\n';
}

// Installs a handler for failures that reach the runtime's one handler (a component's destructor, say): they
// are printed and fail the run. The previous handler comes back at the end.
class ExceptionRoute {
public:
    ExceptionRoute(std::ostream& err, bool& failed)
        : previous_(rtl::SetExceptionHandler([&err, &failed](std::exception_ptr error) {
              Report(err, {}, error);
              failed = true;
          })) {}
    ~ExceptionRoute() { rtl::SetExceptionHandler(std::move(previous_)); }
    ExceptionRoute(const ExceptionRoute&) = delete;
    ExceptionRoute& operator=(const ExceptionRoute&) = delete;

private:
    rtl::ExceptionHandler previous_;
};

std::string BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

struct FilePresence {
    std::vector<std::string> present;
    std::vector<std::string> missing;
};

// Which of the table's files resolve, as the engine looks them up.
FilePresence Inspect(std::string_view directory, const TableSpec& table) {
    FilePresence files;
    for (const std::string& name : TableFileNames(directory, table)) {
        engine::TFileHandler file;
        file.SetFileName(name);
        (file.FileExists() ? files.present : files.missing).push_back(name);
    }
    return files;
}

// Deletes what exists of the table, each file under its exclusive share byte: a table another program has
// open stays whole (the record file goes first and refuses).
void DeleteTable(std::string_view directory, const TableSpec& table, const FilePresence& files) {
    if (files.missing.empty()) {
        engine::TDataFile file;
        file.SetFileName(TablePath(directory, table));
        file.DeleteFiles();
        return;
    }
    for (const std::string& name : files.present) {
        engine::TFileHandler file;
        file.SetFileName(name);
        file.DeleteFile();
    }
    // The journal belongs to the table: one left behind must not be put back into the table made anew.
    engine::TJournal journal;
    journal.SetFileName(TablePath(directory, table));
    if (journal.FileExists()) journal.DeleteFile();
}

// After a failed fill: the new files go again. A failure here is reported beside the fill's own.
void DeleteNewTable(std::string_view directory, const TableSpec& table, std::ostream& err) {
    try {
        DeleteTable(directory, table, Inspect(directory, table));
    } catch (...) {
        Report(err, DisplayName(table), std::current_exception());
    }
}

std::int32_t ReadWidth(std::string_view directory) {
    const TableSpec& config = *FindApplicationTable("config");
    std::int32_t width = 0;
    try {
        WithExclusiveTable(TablePath(directory, config),
                           [&width](db::TDataSet& table) { width = ReadConfigWidth(table); });
    } catch (...) {
        throw TableFailure(std::string(texts::kNeedsConfig) +
                           rtl::ExceptionMessage(std::current_exception()));
    }
    return width;
}

class TableSetup {
public:
    TableSetup(const SetupOptions& options, std::string directory, std::ostream& out, std::ostream& err)
        : options_(options), directory_(std::move(directory)), out_(out), err_(err) {}

    // Keeps, or (re)creates and fills, one table; raises its failure.
    void Run(const TableSpec& table) {
        const FilePresence files = Inspect(directory_, table);
        const bool complete = files.missing.empty();
        if (complete && !options_.force) {
            out_ << texts::kKept << DisplayName(table) << texts::kKeptReason << '\n';
            return;
        }
        if (!files.present.empty() && !complete && !options_.force) {
            std::string missing;
            for (const std::string& name : files.missing) {
                missing += (missing.empty() ? "" : ", ") + BaseName(name);
            }
            throw TableFailure(std::string(texts::kIncomplete) + missing +
                               std::string(texts::kIncompleteMissing));
        }
        // numeric needs config's width: read it before anything of numeric's is touched.
        const std::int32_t width = table.id == TableId::Numeric ? ReadWidth(directory_) : 0;
        if (!files.present.empty()) DeleteTable(directory_, table, files);
        CreateApplicationTable(directory_, table);
        int records = 0;
        try {
            // results starts empty: nothing to open it for.
            if (table.id != TableId::Results) {
                WithExclusiveTable(TablePath(directory_, table),
                                   [&](db::TDataSet& dataSet) { records = Fill(table, dataSet, width); });
            }
        } catch (...) {
            DeleteNewTable(directory_, table, err_);
            throw;
        }
        out_ << texts::kCreated << DisplayName(table) << " (" << records
             << (records == 1 ? texts::kOneRecord : texts::kRecords) << '\n';
    }

private:
    int Fill(const TableSpec& table, db::TDataSet& dataSet, std::int32_t width) {
        switch (table.id) {
            case TableId::Config:
                WriteConfigRecord(dataSet);
                return 1;
            case TableId::Results:
                break;
            case TableId::Invsort:
                WriteInvsortRecords(dataSet, random_, options_.invsortRecords, rtl::Date());
                return options_.invsortRecords;
            case TableId::Numeric:
                WriteNumericRecords(dataSet, random_, width);
                return kNumericRecords;
        }
        return 0;
    }

    const SetupOptions& options_;
    const std::string directory_;
    std::ostream& out_;
    std::ostream& err_;
    app::SystemRandomSource random_;
};

// Makes the directory when missing; false (with the reason on `err`) when it cannot be used.
bool PrepareDirectory(const std::string& directory, std::ostream& err) {
    const std::filesystem::path path(directory);
    std::error_code error;
    if (std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error)) {
        err << texts::kProgram << directory << texts::kNotDirectory << '\n';
        return false;
    }
    std::filesystem::create_directories(path, error);
    if (error) {
        err << texts::kProgram << texts::kNoDirectory << directory << ": " << error.message() << '\n';
        return false;
    }
    return true;
}

}  // namespace

ParsedArguments ParseSetupArguments(std::span<const std::string> arguments) {
    SetupOptions options;
    std::vector<const TableSpec*> named;
    bool haveDirectory = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            ParsedArguments parsed;
            parsed.help = true;
            return parsed;
        }
        if (argument == "--force") {
            options.force = true;
        } else if (argument == "--seed" || argument == "--invsort-records") {
            if (i + 1 == arguments.size()) {
                // Appended: a std::string sum here draws GCC 12's false -Wrestrict from libstdc++.
                std::string message = argument;
                message += texts::kMissingValue;
                return Failure(message);
            }
            const std::string& value = arguments[++i];
            if (argument == "--seed") {
                std::uint64_t seed = 0;
                if (!ParseNumber(value, seed)) return Failure(std::string(texts::kBadSeed) + value);
                options.seed = seed;
            } else {
                int count = 0;
                if (!ParseNumber(value, count) || count < kMinInvsortRecords || count > kMaxInvsortRecords) {
                    return Failure(std::string(texts::kBadRecordCount) + value);
                }
                options.invsortRecords = count;
            }
        } else if (argument.size() > 1 && argument.front() == '-') {
            return Failure(std::string(texts::kUnknownOption) + argument);
        } else if (!haveDirectory) {
            options.directory = argument;
            haveDirectory = true;
        } else {
            const TableSpec* table = FindApplicationTable(argument);
            if (table == nullptr) return Failure(std::string(texts::kUnknownTable) + argument);
            named.push_back(table);
        }
    }
    if (!haveDirectory || options.directory.empty()) return Failure(std::string(texts::kMissingDirectory));
    for (const TableSpec& table : ApplicationTables()) {
        if (named.empty() || std::find(named.begin(), named.end(), &table) != named.end()) {
            options.tables.push_back(&table);
        }
    }
    ParsedArguments parsed;
    parsed.options = std::move(options);
    return parsed;
}

int RunSetup(const SetupOptions& options, std::ostream& out, std::ostream& err) {
    // File names reach the engine in Windows-1252; a name it cannot spell would open another file.
    const std::string directory = rtl::Utf8ToCp1252(options.directory);
    if (rtl::Cp1252ToUtf8(directory) != options.directory) {
        err << texts::kProgram << texts::kNotCodePage << options.directory << '\n';
        return kExitTableFailed;
    }
    if (!PrepareDirectory(options.directory, err)) return kExitTableFailed;

    bool failed = false;
    const ExceptionRoute route(err, failed);
    components::SessionRuntime runtime;
    try {
        // The engine's first start seeds the generator from the clock: a seed given comes after it.
        runtime.DefaultSession().SetActive(true);
    } catch (...) {
        Report(err, {}, std::current_exception());
        return kExitTableFailed;
    }
    if (options.seed) {
        rtl::SetRandSeed(*options.seed);
    } else {
        rtl::Randomize();
    }
    // The dates in the form the program shows them.
    rtl::FormatSettings settings = rtl::CurrentFormatSettings();
    settings.ShortDateFormat = std::string(app::kShortDateFormat);
    const rtl::FormatSettingsGuard dateFormat(settings);

    TableSetup setup(options, directory, out, err);
    for (const TableSpec* table : options.tables) {
        try {
            setup.Run(*table);
        } catch (...) {
            Report(err, DisplayName(*table), std::current_exception());
            failed = true;
        }
    }
    return failed ? kExitTableFailed : kExitDone;
}

int SetupMain(std::span<const std::string> arguments, std::ostream& out, std::ostream& err) {
    const ParsedArguments parsed = ParseSetupArguments(arguments);
    if (parsed.help) {
        out << texts::kUsage;
        return kExitDone;
    }
    if (!parsed.options) {
        err << texts::kProgram << parsed.error << '\n' << texts::kUsage;
        return kExitBadArguments;
    }
    return RunSetup(*parsed.options, out, err);
}

}  // namespace keyvalesetup
