// BenchStore: the work the benchmark asks of a store, once for the engine and once for each SQLite side, so
// that every workload is written once and every side does the same steps.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "bench/BenchData.h"

namespace bench {

// What a workload gets back: how many records it met and a sum over them, compared between the sides.
struct Digest {
    std::uint64_t Count = 0;
    std::uint64_t Sum = 0;
    void Add(std::uint64_t value) noexcept {
        ++Count;
        Sum += value;
    }
    bool operator==(const Digest&) const = default;
};

// The table a workload works on: the results table with its three secondary indexes, or the same fields
// without any index.
enum class TableKind { Indexed, Plain };

// How changes reach the files. Shared: the engine's table opened shared, each change written before it
// returns; SQLite one autocommit statement per change. Exclusive: the engine's table opened exclusively,
// written when it closes; SQLite one transaction from open to close.
enum class Access { Shared, Exclusive };

// How a walk reads a shared table. Held: the table's read lock is taken once for the walk, as the SQL engine
// takes it for a statement and SQLite holds its shared lock from a statement's first step to its reset.
// PerRecord: each record is fetched as an operation of its own, as the program's cursors fetch them, so each
// fetch may look for other programs' changes.
enum class WalkLock { Held, PerRecord };

class BenchStore {
public:
    virtual ~BenchStore() = default;
    virtual std::string Name() const = 0;
    // The files of the table in the directory: what a fresh copy copies.
    virtual void Create(const std::filesystem::path& directory, TableKind kind) = 0;
    virtual void Open(const std::filesystem::path& directory, TableKind kind, Access access) = 0;
    // Ends the exclusive access's transaction; closing twice does nothing.
    virtual void Close() = 0;

    // A new record with the row's fields (its ID comes from the store and must equal the row's), with the
    // memo as its large object when one is given.
    virtual void Insert(const ResultRow& row, const std::string* memo) = 0;
    // A new record with the row's fields and whatever ID the store gives it: for writers that share the
    // table, whose records take IDs in the order their inserts meet.
    virtual void InsertShared(const ResultRow& row) = 0;
    // The record of the ID (its Errors added to the digest); false when there is none.
    virtual bool FindId(std::int32_t id, Digest& digest) = 0;
    // The first record of the name in the name index, its ID added; false when there is none.
    virtual bool FindName(const std::string& name, Digest& digest) = 0;
    // Every record with Errors in low .. high in the index's order, each ID added.
    virtual void ErrorsRange(std::int32_t low, std::int32_t high, WalkLock lock, Digest& digest) = 0;
    // Every record in the table's natural order, each ID added.
    virtual void ScanAll(Digest& digest) = 0;
    // Sets Errors of the record of the ID (which exists).
    virtual void SetErrors(std::int32_t id, std::int32_t errors) = 0;
    virtual void Delete(std::int32_t id) = 0;
    // Every record with NetKph above the limit (a field without an index), each ID added.
    virtual void FilterNetKph(double limit, Digest& digest) = 0;
    // Every record with Kph above the limit and the name, its letter case ignored (the engine's name index
    // and SQLite's name column both ignore it, so each side can answer through that index), each ID added.
    virtual void FilterKphAndName(double limit, const std::string& name, Digest& digest) = 0;
    // Every record whose Errors lies from low to high, as a filter that the Errors index can answer, each ID
    // added in the order the filter delivers them.
    virtual void FilterErrorsBetween(std::int32_t low, std::int32_t high, Digest& digest) = 0;
    // Every record's memo read whole, in natural order; its length and its bytes' sum added.
    virtual void ReadMemos(Digest& digest) = 0;
};

}  // namespace bench
