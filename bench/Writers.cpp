#include "bench/Writers.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "bench/EngineStore.h"
#include "bench/Figures.h"
#include "bench/SqliteStore.h"

namespace bench {

namespace fs = std::filesystem;

namespace {

// The figure's writer counts: one alone, then four together.
constexpr std::array<int, 2> WriterCounts = {1, 4};

struct Side {
    // The writer's argument that names the side, and the figure's label.
    const char* Code;
    const char* Label;
};

// The engine first; SQLite in WAL mode second, the side the engine's times are divided by.
constexpr std::array<Side, 3> Sides = {{
    {"engine", "engine, shared table"},
    {"WAL", "SQLite, journal_mode=WAL"},
    {"DELETE", "SQLite, journal_mode=DELETE"},
}};
constexpr std::size_t RatioSide = 1;

std::unique_ptr<BenchStore> MakeStore(const std::string& code) {
    if (code == "engine") return std::make_unique<EngineStore>();
    if (code == "DELETE" || code == "WAL") return std::make_unique<SqliteStore>(code);
    throw std::invalid_argument("no writer side " + code);
}

// A pipe whose ends close with it.
class Pipe {
public:
    Pipe() {
        if (pipe(ends_.data()) != 0) throw std::runtime_error("no pipe for the writers");
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int Read() const noexcept { return ends_[0]; }
    int Write() const noexcept { return ends_[1]; }
    void CloseRead() noexcept { Close(ends_[0]); }
    void CloseWrite() noexcept { Close(ends_[1]); }

private:
    static void Close(int& end) noexcept {
        if (end >= 0) close(end);
        end = -1;
    }
    std::array<int, 2> ends_{-1, -1};
};

// Writes or reads count bytes whole; false on end of file or an error.
bool Transfer(int fd, std::size_t count, bool write) {
    std::vector<char> bytes(count, 'x');
    std::size_t done = 0;
    while (done < count) {
        const ssize_t moved = write ? ::write(fd, bytes.data() + done, count - done)
                                    : ::read(fd, bytes.data() + done, count - done);
        if (moved < 0 && errno == EINTR) continue;
        if (moved <= 0) return false;
        done += static_cast<std::size_t>(moved);
    }
    return true;
}

// Starts writers copies of this program on the table in the directory, each with its share of the records,
// and answers the seconds from the start signal to the last one's end; raises when a writer failed.
double TimeWriters(const Side& side, int writers, std::int32_t total, const fs::path& directory) {
    Pipe ready;
    Pipe go;
    std::vector<pid_t> children;
    const std::int32_t share = total / writers;
    for (int w = 0; w < writers; ++w) {
        const std::int32_t first = 1 + w * share;
        const std::int32_t count = w + 1 == writers ? total - w * share : share;
        std::vector<std::string> arguments = {"engine-bench",
                                              WriterOption,
                                              side.Code,
                                              directory.string(),
                                              std::to_string(first),
                                              std::to_string(count),
                                              std::to_string(total),
                                              std::to_string(ready.Write()),
                                              std::to_string(go.Read())};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const pid_t child = fork();
        if (child < 0) throw std::runtime_error("a writer does not start");
        if (child == 0) {
            close(ready.Read());
            close(go.Write());
            execv("/proc/self/exe", argv.data());
            _exit(127);
        }
        children.push_back(child);
    }
    ready.CloseWrite();
    go.CloseRead();
    const bool allReady = Transfer(ready.Read(), children.size(), false);
    const auto start = std::chrono::steady_clock::now();
    const bool started = allReady && Transfer(go.Write(), children.size(), true);
    go.CloseWrite();
    bool allDone = started;
    for (const pid_t child : children) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        allDone = allDone && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!allDone) throw std::runtime_error(std::string("a writer failed on the ") + side.Label);
    return seconds;
}

// Inserts the records with the side's writers into a new table in the directory; the seconds they took.
// What the table holds afterwards goes into the digest.
double RunSide(const Side& side, int writers, std::int32_t total, const fs::path& directory,
               Digest& checked) {
    fs::remove_all(directory);
    fs::create_directories(directory);
    std::unique_ptr<BenchStore> store = MakeStore(side.Code);
    store->Create(directory, TableKind::Indexed);
    const double seconds = TimeWriters(side, writers, total, directory);
    checked = Digest();
    store->Open(directory, TableKind::Indexed, Access::Shared);
    store->ScanAll(checked);
    store->Close();
    return seconds;
}

}  // namespace

bool RunWriters(std::int32_t total, int runs, const fs::path& directory, std::ostream& out) {
    out << "\n| writers on one shared table | records | one alone ms | four together ms | one alone rec/s "
           "| four together rec/s | together / alone | alone, ratio to WAL | together, ratio to WAL | same "
           "|\n"
        << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---|\n";
    // Each repetition runs every side once, starting with the next side each time, so that the machine's
    // noise falls on all of them alike.
    std::array<std::array<std::vector<double>, WriterCounts.size()>, Sides.size()> times;
    std::array<bool, Sides.size()> full{};
    full.fill(true);
    std::array<Digest, Sides.size()> checked;
    int repetition = 0;
    for (int run = 0; run < runs; ++run) {
        for (std::size_t c = 0; c < WriterCounts.size(); ++c, ++repetition) {
            for (std::size_t turn = 0; turn < Sides.size(); ++turn) {
                const std::size_t s = (static_cast<std::size_t>(repetition) + turn) % Sides.size();
                times[s][c].push_back(RunSide(Sides[s], WriterCounts[c], total, directory, checked[s]));
                if (checked[s].Count != static_cast<std::uint64_t>(total)) full[s] = false;
            }
        }
    }
    bool allSame = true;
    std::array<std::array<double, WriterCounts.size()>, Sides.size()> medians{};
    for (std::size_t s = 0; s < Sides.size(); ++s) {
        for (std::size_t c = 0; c < WriterCounts.size(); ++c) medians[s][c] = Median(times[s][c]);
    }
    for (std::size_t s = 0; s < Sides.size(); ++s) {
        const bool same = full[s] && checked[s] == checked[0];
        allSame = allSame && same;
        const double alone = total / medians[s][0];
        const double together = total / medians[s][1];
        out << "| " << Sides[s].Label << " | " << total << " | " << Fixed(medians[s][0] * 1000, 0) << " | "
            << Fixed(medians[s][1] * 1000, 0) << " | " << Fixed(alone, 0) << " | " << Fixed(together, 0)
            << " | " << Fixed(together / alone, 2) << " | " << Fixed(medians[s][0] / medians[RatioSide][0], 2)
            << " | " << Fixed(medians[s][1] / medians[RatioSide][1], 2) << " | " << (same ? "yes" : "NO")
            << " |" << std::endl;
    }
    fs::remove_all(directory);
    return allSame;
}

int WriterMain(const std::vector<std::string>& arguments) {
    try {
        if (arguments.size() != 7) throw std::invalid_argument("a writer takes 7 arguments");
        const std::int32_t first = std::stoi(arguments[2]);
        const std::int32_t count = std::stoi(arguments[3]);
        const std::int32_t total = std::stoi(arguments[4]);
        const int ready = std::stoi(arguments[5]);
        const int go = std::stoi(arguments[6]);
        std::unique_ptr<BenchStore> store = MakeStore(arguments[0]);
        store->Open(arguments[1], TableKind::Indexed, Access::Shared);
        if (!Transfer(ready, 1, true) || !Transfer(go, 1, false)) return 1;
        for (std::int32_t id = first; id < first + count; ++id) store->InsertShared(MakeRow(id, total));
        store->Close();
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "engine-bench writer: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace bench
