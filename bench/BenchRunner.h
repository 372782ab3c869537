// BenchRunner: runs each workload at each size on both stores, in fresh copies of the tables in a temporary
// directory, and prints one line per workload and size: both medians, their ratio, the cost per record and
// each side's peak memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "bench/BenchStore.h"
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

// What one side did for one workload and size.
struct SideResult {
    double MedianSeconds = 0;
    std::uint64_t Records = 0;
    double PeakMegabytes = 0;
    Digest Found;
    Digest Checked;
};

class BenchRunner {
public:
    BenchRunner(RunSettings settings, std::ostream& out);
    ~BenchRunner();
    BenchRunner(const BenchRunner&) = delete;
    BenchRunner& operator=(const BenchRunner&) = delete;

    // Runs and prints everything; false when the sides disagreed anywhere.
    bool RunAll(BenchStore& engine, BenchStore& sqlite);

private:
    SideResult Measure(const Workload& workload, std::int32_t n, BenchStore& store);
    // The directory a fresh copy of the workload's table goes to, filled.
    std::filesystem::path Prepare(const Workload& workload, std::int32_t n, BenchStore& store);
    // The master table of the source, kind and size for the store, built once (exclusive access); the time
    // and memory of the build when asked.
    const std::filesystem::path& Master(Source source, TableKind kind, std::int32_t n, BenchStore& store,
                                        SideResult* build = nullptr);
    // Builds the size's indexed table on both sides and prints the builds as a line of their own.
    void MeasureBuild(std::int32_t n, BenchStore& engine, BenchStore& sqlite);
    void DropMasters();
    void PrintHeader();
    void PrintLine(const std::string& name, std::int32_t n, const SideResult& engine,
                   const SideResult& sqlite, bool same);

    RunSettings settings_;
    std::ostream& out_;
    std::filesystem::path root_;
    std::map<std::string, std::filesystem::path> masters_;
};

}  // namespace bench
