// engine-bench: the table engine against SQLite on the same work (see README.md, "The benchmark").
//
//   engine-bench                 every workload at 10k, 100k and 1M records (where it runs at that size)
//   engine-bench --smoke         every workload at 100 records, one run each: a check that all of it works
//   engine-bench --sizes 10000   the sizes given, comma-separated
//   engine-bench --only insert   the workloads whose name contains the text ("writers": the writers' figure)
//   engine-bench --writers 20000 the records of the writers' figure (one writer alone, then four together)
//   engine-bench --runs 9        the timed runs of each side whose median is printed (on a busy machine)
#include <cstdlib>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>

#include "bench/BenchRunner.h"
#include "bench/EngineStore.h"
#include "bench/SqliteStore.h"
#include "bench/Writers.h"
#include "engine/base/EngineState.h"

namespace {

std::vector<std::int32_t> ParseSizes(const std::string& text) {
    std::vector<std::int32_t> sizes;
    std::istringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        const long size = std::stol(item);
        if (size < 10 || size > 10000000)
            throw std::invalid_argument("a size lies in 10 .. 10000000: " + item);
        sizes.push_back(static_cast<std::int32_t>(size));
    }
    return sizes;
}

// A count of 1 .. most.
int ParseCount(const std::string& text, int most) {
    const long count = std::stol(text);
    if (count < 1 || count > most)
        throw std::invalid_argument("a count lies in 1 .. " + std::to_string(most) + ": " + text);
    return static_cast<int>(count);
}

}  // namespace

// More timed runs than this would take hours at 1M; a median needs far fewer.
constexpr int MostRuns = 99;
// The writers' figure inserts this many records in all: a second or more per run on each side, the three
// sides within about a minute.
constexpr std::int32_t WriterRecords = 8000;
// A smoke run's writers: 25 records each.
constexpr std::int32_t SmokeWriterRecords = 100;

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == bench::WriterOption) {
        engine::EngineGuard engineRuntime;
        return bench::WriterMain(std::vector<std::string>(argv + 2, argv + argc));
    }
    try {
        bench::RunSettings settings;
        settings.Sizes = {10000, 100000, 1000000};
        settings.WriterRecords = WriterRecords;
        for (int i = 1; i < argc; ++i) {
            const std::string option = argv[i];
            if (option == "--smoke") {
                settings.Sizes = {100};
                settings.WarmUps = 0;
                settings.Runs = 1;
                settings.WriterRecords = SmokeWriterRecords;
            } else if (option == "--writers" && i + 1 < argc) {
                settings.WriterRecords = ParseSizes(argv[++i]).at(0);
            } else if (option == "--sizes" && i + 1 < argc) {
                settings.Sizes = ParseSizes(argv[++i]);
            } else if (option == "--runs" && i + 1 < argc) {
                settings.Runs = ParseCount(argv[++i], MostRuns);
            } else if (option == "--only" && i + 1 < argc) {
                settings.Only = argv[++i];
            } else {
                std::cerr << "usage: engine-bench [--smoke] [--sizes N,N,...] [--only TEXT] [--writers N] "
                             "[--runs N]\n";
                return 2;
            }
        }
        engine::EngineGuard engineRuntime;
        bench::EngineStore engineStore;
        // WAL first: the mode a user of SQLite picks for several programs on one database, the headline
        // ratio.
        bench::SqliteStore walStore("WAL");
        bench::SqliteStore deleteStore("DELETE");
        bench::BenchRunner runner(settings, std::cout);
        if (!runner.RunAll({&engineStore, &walStore, &deleteStore})) {
            std::cerr << "engine-bench: the engine and SQLite disagreed (see above)\n";
            return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "engine-bench: " << error.what() << "\n";
        return 1;
    }
}
