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

std::string SizeText(std::int32_t n) {
    if (n >= 1000000 && n % 1000000 == 0) return std::to_string(n / 1000000) + "M";
    if (n >= 1000 && n % 1000 == 0) return std::to_string(n / 1000) + "k";
    return std::to_string(n);
}

// Milliseconds with three significant figures at least.
std::string Milliseconds(double seconds) {
    const double ms = seconds * 1000;
    return Fixed(ms, ms < 1 ? 3 : ms < 100 ? 2 : 0);
}

std::string Microseconds(double seconds, std::uint64_t records) {
    if (records == 0) return "-";
    const double us = seconds * 1e6 / static_cast<double>(records);
    return Fixed(us, us < 0.1 ? 4 : us < 10 ? 3 : 1);
}

// Timed runs of the writers' figure at most: every run starts processes and fills a new table.
constexpr int WriterRuns = 3;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Megabytes(std::size_t bytes) {
    return static_cast<double>(bytes) / (1024 * 1024);
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

void BenchRunner::MeasureBuild(std::int32_t n, BenchStore& engine, BenchStore& sqlite) {
    SideResult e;
    SideResult s;
    Master(Source::Records, TableKind::Indexed, n, engine, &e);
    Master(Source::Records, TableKind::Indexed, n, sqlite, &s);
    PrintLine("fill an empty table, exclusive / one transaction (one run)", n, e, s, e.Checked == s.Checked);
}

void BenchRunner::DropMasters() {
    for (const auto& [key, directory] : masters_) fs::remove_all(directory);
    masters_.clear();
}

fs::path BenchRunner::Prepare(const Workload& workload, std::int32_t n, BenchStore& store) {
    const fs::path directory = root_ / "run";
    fs::remove_all(directory);
    fs::copy(Master(workload.From, workload.Kind, n, store), directory);
    return directory;
}

SideResult BenchRunner::Measure(const Workload& workload, std::int32_t n, BenchStore& store) {
    SideResult result;
    std::vector<double> times;
    fs::path directory;
    for (int run = 0; run < settings_.WarmUps + settings_.Runs; ++run) {
        if (run == 0 || workload.Writes) directory = Prepare(workload, n, store);
        store.Open(directory, workload.Kind, workload.Mode);
        ResetHeapPeak();
        Digest found;
        const Clock::time_point start = Clock::now();
        const std::uint64_t records = workload.Run(store, n, found);
        if (workload.Writes) store.Close();
        const double seconds = SecondsSince(start);
        store.Close();
        result.PeakMegabytes = std::max(result.PeakMegabytes, Megabytes(HeapPeakGrowth()));
        if (run > 0 && !(found == result.Found)) {
            throw std::runtime_error(store.Name() + " found other records in another run of " +
                                     workload.Name);
        }
        result.Found = found;
        result.Records = records;
        if (run >= settings_.WarmUps) times.push_back(seconds);
    }
    if (workload.Check) {
        store.Open(directory, workload.Kind, Access::Shared);
        workload.Check(store, n, result.Checked);
        store.Close();
    }
    fs::remove_all(directory);
    result.MedianSeconds = Median(times);
    return result;
}

void BenchRunner::PrintHeader() {
    out_ << "| workload | records | found | engine ms | SQLite ms | ratio | engine us/rec | SQLite us/rec "
            "| engine peak MB | SQLite peak MB | same |\n"
         << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n";
}

void BenchRunner::PrintLine(const std::string& name, std::int32_t n, const SideResult& engine,
                            const SideResult& sqlite, bool same) {
    const double ratio = sqlite.MedianSeconds > 0 ? engine.MedianSeconds / sqlite.MedianSeconds : 0;
    out_ << "| " << name << " | " << SizeText(n) << " | " << engine.Found.Count + engine.Checked.Count
         << " | " << Milliseconds(engine.MedianSeconds) << " | " << Milliseconds(sqlite.MedianSeconds)
         << " | " << Fixed(ratio, ratio < 10 ? 2 : 0) << " | "
         << Microseconds(engine.MedianSeconds, engine.Records) << " | "
         << Microseconds(sqlite.MedianSeconds, sqlite.Records) << " | " << Fixed(engine.PeakMegabytes, 1)
         << " | " << Fixed(sqlite.PeakMegabytes, 1) << " | " << (same ? "yes" : "NO") << " |" << std::endl;
}

bool BenchRunner::RunAll(BenchStore& engine, BenchStore& sqlite) {
    const std::vector<Workload> workloads = AllWorkloads();
    bool allSame = true;
    PrintHeader();
    for (std::int32_t n : settings_.Sizes) {
        if (settings_.Only.empty()) MeasureBuild(n, engine, sqlite);
        for (const Workload& workload : workloads) {
            if (n > workload.MaxSize) continue;
            if (!settings_.Only.empty() && workload.Name.find(settings_.Only) == std::string::npos) continue;
            const SideResult e = Measure(workload, n, engine);
            const SideResult s = Measure(workload, n, sqlite);
            const bool same = e.Found == s.Found && e.Checked == s.Checked && e.Records == s.Records;
            if (!same) {
                allSame = false;
                std::cerr << workload.Name << " at " << n << ": engine found " << e.Found.Count
                          << " records (sum " << e.Found.Sum << "), checked " << e.Checked.Count << " (sum "
                          << e.Checked.Sum << "); SQLite found " << s.Found.Count << " (sum " << s.Found.Sum
                          << "), checked " << s.Checked.Count << " (sum " << s.Checked.Sum << ")\n";
            }
            PrintLine(workload.Name, n, e, s, same);
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
