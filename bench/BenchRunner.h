// BenchRunner: runs each workload at each size on every store, in fresh copies of the tables in a temporary
// directory, the stores taking turns within each repetition, and prints one line per workload and size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "bench/BenchStore.h"
#include "bench/ResultTable.h"
#include "bench/Workloads.h"

namespace bench {

struct RunSettings {
    std::vector<std::int32_t> Sizes;
    // Untimed runs before the timed ones, and the timed runs whose median is printed.
    int WarmUps = 1;
    int Runs = 5;
    // Only workloads whose name contains this text; empty for all ("writers" names the writers' figure).
    std::string Only;
    // The records the writers' figure inserts in all, one writer alone and four together; 0 for none.
    std::int32_t WriterRecords = 0;
};

class BenchRunner {
public:
    BenchRunner(RunSettings settings, std::ostream& out);
    ~BenchRunner();
    BenchRunner(const BenchRunner&) = delete;
    BenchRunner& operator=(const BenchRunner&) = delete;

    // Runs and prints everything, the first store measured against each of the others; false when the
    // stores disagreed anywhere.
    bool RunAll(const std::vector<BenchStore*>& stores);

private:
    // One store's runs of a workload so far.
    struct SideRuns {
        std::filesystem::path Directory;
        std::vector<double> Times;
        SideResult Result;
    };

    // Every store's median: each repetition runs every store once, starting with the next store each time,
    // so that the machine's noise falls on all of them alike.
    std::vector<SideResult> Measure(const Workload& workload, std::int32_t n,
                                    const std::vector<BenchStore*>& stores);
    // Run number run of the workload on the store.
    void RunOnce(const Workload& workload, std::int32_t n, int run, BenchStore& store, SideRuns& side);
    // The directory a fresh copy of the workload's table goes to, filled.
    std::filesystem::path Prepare(const Workload& workload, std::int32_t n, BenchStore& store);
    // The master table of the source, kind and size for the store, built once (exclusive access); the time
    // and memory of the build when asked.
    const std::filesystem::path& Master(Source source, TableKind kind, std::int32_t n, BenchStore& store,
                                        SideResult* build = nullptr);
    // Builds the size's indexed table on every store and prints the builds as a line of their own.
    void MeasureBuild(std::int32_t n, const std::vector<BenchStore*>& stores, ResultTable& table);
    void DropMasters();

    RunSettings settings_;
    std::ostream& out_;
    std::filesystem::path root_;
    std::map<std::string, std::filesystem::path> masters_;
};

}  // namespace bench
