#include "bench/BenchRunner.h"

#include "bench/Figures.h"
#include "bench/HeapCounter.h"
#include "bench/Writers.h"

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace bench {

namespace fs = std::filesystem;

namespace {

// Timed runs of the writers' figure at most: every run starts processes and fills a new table.
constexpr int WriterRuns = 3;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Megabytes(std::size_t bytes) {
    return static_cast<double>(bytes) / (1024 * 1024);
}

// Every store found, read back and handled what the first did.
bool AllSame(const std::vector<SideResult>& results) {
    const SideResult& first = results.at(0);
    return std::all_of(results.begin(), results.end(), [&](const SideResult& side) {
        return side.Found == first.Found && side.Checked == first.Checked && side.Records == first.Records;
    });
}

void ReportDisagreement(const std::string& name, std::int32_t n, const std::vector<BenchStore*>& stores,
                        const std::vector<SideResult>& results) {
    std::cerr << name << " at " << n << ":";
    for (std::size_t i = 0; i < stores.size(); ++i) {
        const SideResult& side = results[i];
        std::cerr << (i ? ";" : "") << " " << stores[i]->Name() << " found " << side.Found.Count
                  << " records (sum " << side.Found.Sum << "), checked " << side.Checked.Count << " (sum "
                  << side.Checked.Sum << "), handled " << side.Records;
    }
    std::cerr << "\n";
}

// The results with the cost per record taken over the records found.
std::vector<SideResult> PerFound(std::vector<SideResult> results) {
    for (SideResult& side : results) side.Records = side.Found.Count;
    return results;
}

}  // namespace

BenchRunner::BenchRunner(RunSettings settings, std::ostream& out)
    : settings_(std::move(settings)), out_(out) {
    std::string pattern = (fs::temp_directory_path() / "keyvale-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("no temporary directory at " + pattern);
    root_ = pattern;
}

BenchRunner::~BenchRunner() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

const fs::path& BenchRunner::Master(Source source, TableKind kind, std::int32_t n, BenchStore& store,
                                    SideResult* build) {
    const std::string key = store.Name() + (source == Source::Memos ? "-memos-" : "-records-") +
                            (kind == TableKind::Plain ? "plain-" : "") + std::to_string(n);
    auto found = masters_.find(key);
    if (found != masters_.end()) return found->second;
    const fs::path directory = root_ / key;
    fs::create_directories(directory);
    store.Create(directory, kind);
    ResetHeapPeak();
    const Clock::time_point start = Clock::now();
    store.Open(directory, kind, Access::Exclusive);
    for (std::int32_t id = 1; id <= n; ++id) {
        const std::string memo = source == Source::Memos ? MemoOf(id) : std::string();
        store.Insert(MakeRow(id, n), source == Source::Memos ? &memo : nullptr);
    }
    store.Close();
    if (build) {
        build->MedianSeconds = SecondsSince(start);
        build->Records = static_cast<std::uint64_t>(n);
        build->PeakMegabytes = Megabytes(HeapPeakGrowth());
        store.Open(directory, kind, Access::Shared);
        store.ScanAll(build->Checked);
        store.Close();
    }
    return masters_.emplace(key, directory).first->second;
}

void BenchRunner::MeasureBuild(std::int32_t n, const std::vector<BenchStore*>& stores, ResultTable& table) {
    std::vector<SideResult> results(stores.size());
    for (std::size_t i = 0; i < stores.size(); ++i)
        Master(Source::Records, TableKind::Indexed, n, *stores[i], &results[i]);
    table.PrintLine("fill an empty table, exclusive / one transaction (one run)", n, results,
                    AllSame(results));
}

void BenchRunner::DropMasters() {
    for (const auto& [key, directory] : masters_) fs::remove_all(directory);
    masters_.clear();
}

fs::path BenchRunner::Prepare(const Workload& workload, std::int32_t n, BenchStore& store) {
    const fs::path directory = root_ / ("run " + store.Name());
    fs::remove_all(directory);
    fs::copy(Master(workload.From, workload.Kind, n, store), directory);
    return directory;
}

void BenchRunner::RunOnce(const Workload& workload, std::int32_t n, int run, BenchStore& store,
                          SideRuns& side) {
    if (run == 0 || workload.Writes) side.Directory = Prepare(workload, n, store);
    store.Open(side.Directory, workload.Kind, workload.Mode);
    ResetHeapPeak();
    if (workload.Setup) workload.Setup(store, n);
    Digest found;
    const Clock::time_point start = Clock::now();
    const std::uint64_t records = workload.Run(store, n, found);
    if (workload.ClosingTimed) store.Close();
    const double seconds = SecondsSince(start);
    store.Close();
    SideResult& result = side.Result;
    result.PeakMegabytes = std::max(result.PeakMegabytes, Megabytes(HeapPeakGrowth()));
    if (run > 0 && !(found == result.Found)) {
        throw std::runtime_error(store.Name() + " found other records in another run of " + workload.Name);
    }
    result.Found = found;
    result.Records = records;
    if (run >= settings_.WarmUps) side.Times.push_back(seconds);
}

std::vector<SideResult> BenchRunner::Measure(const Workload& workload, std::int32_t n,
                                             const std::vector<BenchStore*>& stores) {
    std::vector<SideRuns> sides(stores.size());
    for (int run = 0; run < settings_.WarmUps + settings_.Runs; ++run) {
        for (std::size_t turn = 0; turn < stores.size(); ++turn) {
            const std::size_t i = (static_cast<std::size_t>(run) + turn) % stores.size();
            RunOnce(workload, n, run, *stores[i], sides[i]);
        }
    }
    std::vector<SideResult> results;
    for (std::size_t i = 0; i < stores.size(); ++i) {
        SideRuns& side = sides[i];
        if (workload.Check) {
            stores[i]->Open(side.Directory, workload.Kind, Access::Shared);
            workload.Check(*stores[i], n, side.Result.Checked);
            stores[i]->Close();
        }
        fs::remove_all(side.Directory);
        side.Result.MedianSeconds = Median(side.Times);
        results.push_back(side.Result);
    }
    return results;
}

bool BenchRunner::RunAll(const std::vector<BenchStore*>& stores) {
    const std::vector<Workload> workloads = AllWorkloads();
    std::vector<std::string> names;
    for (const BenchStore* store : stores) names.push_back(store->Name());
    ResultTable table(out_, names);
    bool allSame = true;
    table.PrintHeader();
    for (std::int32_t n : settings_.Sizes) {
        if (settings_.Only.empty()) MeasureBuild(n, stores, table);
        for (const Workload& workload : workloads) {
            if (n > workload.MaxSize) continue;
            if (!settings_.Only.empty() && workload.Name.find(settings_.Only) == std::string::npos) continue;
            const std::vector<SideResult> results = Measure(workload, n, stores);
            const bool same = AllSame(results);
            if (!same) {
                allSame = false;
                ReportDisagreement(workload.Name, n, stores, results);
            }
            table.PrintLine(workload.Name, n, results, same);
            if (workload.PerFound)
                table.PrintLine(workload.Name + ", per record found", n, PerFound(results), same);
        }
        DropMasters();
    }
    const std::string writers = "writers";
    if (settings_.WriterRecords > 0 && writers.find(settings_.Only) != std::string::npos) {
        // The writers insert into new tables: a few runs give a steady median.
        const int runs = std::min(settings_.Runs, WriterRuns);
        allSame = RunWriters(settings_.WriterRecords, runs, root_ / "writers", out_) && allSame;
    }
    return allSame;
}

}  // namespace bench
