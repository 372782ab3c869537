// The benchmark's workloads: what each one does through a BenchStore, on which table and up to which size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchStore.h"

namespace bench {

// Where a workload's table comes from before each run.
enum class Source {
    // A new empty table.
    Empty,
    // A copy of the size's table of the workload's kind, every record without a memo.
    Records,
    // A copy of the size's results table whose records all have a memo.
    Memos,
};

struct Workload {
    std::string Name;
    // The largest table size it runs at.
    std::int32_t MaxSize = 0;
    Source From = Source::Records;
    TableKind Kind = TableKind::Indexed;
    Access Mode = Access::Shared;
    // It changes the table: each run gets a fresh copy.
    bool Writes = false;
    // Closing the table is part of the time (an exclusive table writes then, SQLite commits).
    bool ClosingTimed = false;
    // Prints a second line whose cost per record divides by the records found rather than those handled.
    bool PerFound = false;
    // Untimed, on the table just opened, before the timed work: the state the work starts from; none when
    // empty.
    std::function<void(BenchStore&, std::int32_t n)> Setup;
    // The timed work on the open table of n records: what it found into the digest; answers the records it
    // handled, for the cost per record.
    std::function<std::uint64_t(BenchStore&, std::int32_t n, Digest&)> Run;
    // Untimed, on the table reopened after the last run: what the changes left, into the digest.
    std::function<void(BenchStore&, std::int32_t n, Digest&)> Check;
};

// Every workload, in the order the table prints them.
std::vector<Workload> AllWorkloads();

}  // namespace bench
