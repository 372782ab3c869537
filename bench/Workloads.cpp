#include "bench/Workloads.h"

#include <algorithm>

namespace bench {

namespace {

constexpr std::int32_t Thousand = 1000;
constexpr std::int32_t Million = 1000 * Thousand;
// Inserts and large objects stop at 100k: at 1M they alone would pass the run's time budget (the table's fill
// at 1M is measured once, as it is built).
constexpr std::int32_t ChangeSizes = 100 * Thousand;
// Modify and delete change a tenth of the table up to this many records, and so run at 1M too: their cost per
// record, which shows how they grow with the table, needs no more, and a tenth of 1M would pass the budget.
constexpr std::int32_t MostChanges = 10 * Thousand;
// Point lookups per run, at most one per record.
constexpr std::int32_t Lookups = 10 * Thousand;
// Filters answered through an index return a handful of records: several per run lift them above the
// clock's noise.
constexpr int NameFilters = 10;
// NKPH above this keeps about 10% of the records; KPH above the middle of its spread about half.
constexpr double NetKphLimit = MinKph + KphSpread * 0.9;
constexpr double KphLimit = MinKph + KphSpread * 0.5;
// The seeds of the random choices of IDs and names.
constexpr std::uint64_t LookupSeed = 11;
constexpr std::uint64_t MissSeed = 12;
constexpr std::uint64_t NameSeed = 13;
constexpr std::uint64_t ModifySeed = 14;
constexpr std::uint64_t DeleteSeed = 15;

std::string Capitals(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::int32_t LookupCount(std::int32_t n) {
    return std::min(n, Lookups);
}

// Adds 10% to a table of n records: records n + 1 .. n + n / 10.
std::uint64_t InsertRows(BenchStore& store, std::int32_t n, bool memos) {
    for (std::int32_t id = n + 1; id <= n + n / 10; ++id) {
        const std::string memo = memos ? MemoOf(id) : std::string();
        store.Insert(MakeRow(id, n), memos ? &memo : nullptr);
    }
    return static_cast<std::uint64_t>(n / 10);
}

void CheckScan(BenchStore& store, std::int32_t, Digest& digest) {
    store.ScanAll(digest);
}

// The records a change workload changes in a table of n records.
std::int32_t ChangeCount(std::int32_t n) {
    return std::min(n / 10, MostChanges);
}

// Sets Errors of count records, chosen at random, to random values.
std::uint64_t Modify(BenchStore& store, std::int32_t n, std::int32_t count) {
    SeededRandom random(ModifySeed);
    const std::vector<std::int32_t> ids = DistinctIds(n, count, ModifySeed);
    for (std::int32_t id : ids) store.SetErrors(id, random.Below(ErrorValues));
    return static_cast<std::uint64_t>(ids.size());
}

// What Modify left: the records of the lowest tenth of Errors, in index order.
void CheckModified(BenchStore& store, std::int32_t, Digest& digest) {
    store.ErrorsRange(0, ErrorValues / 10 - 1, WalkLock::Held, digest);
}

// The tenth of Errors from the middle on, in index order, read as the lock says.
std::uint64_t MiddleTenth(BenchStore& store, WalkLock lock, Digest& digest) {
    store.ErrorsRange(ErrorValues / 2, ErrorValues / 2 + ErrorValues / 10 - 1, lock, digest);
    return digest.Count;
}

Workload Insert(std::string name, TableKind kind, Access mode, std::int32_t maxSize) {
    Workload w;
    w.Name = std::move(name);
    w.MaxSize = maxSize;
    w.Kind = kind;
    w.Mode = mode;
    w.Writes = true;
    w.ClosingTimed = true;
    w.Run = [](BenchStore& store, std::int32_t n, Digest&) { return InsertRows(store, n, false); };
    w.Check = CheckScan;
    return w;
}

Workload Read(std::string name, std::int32_t maxSize,
              std::function<std::uint64_t(BenchStore&, std::int32_t, Digest&)> run) {
    Workload w;
    w.Name = std::move(name);
    w.MaxSize = maxSize;
    w.Run = std::move(run);
    return w;
}

Workload Change(std::string name, std::int32_t maxSize,
                std::function<std::uint64_t(BenchStore&, std::int32_t, Digest&)> run,
                std::function<void(BenchStore&, std::int32_t, Digest&)> check) {
    Workload w;
    w.Name = std::move(name);
    w.MaxSize = maxSize;
    w.Writes = true;
    w.ClosingTimed = true;
    w.Run = std::move(run);
    w.Check = std::move(check);
    return w;
}

}  // namespace

std::vector<Workload> AllWorkloads() {
    std::vector<Workload> all;
    all.push_back(Insert("insert 10%", TableKind::Indexed, Access::Shared, ChangeSizes));
    all.push_back(Insert("insert 10%, exclusive / one transaction", TableKind::Indexed, Access::Exclusive,
                         ChangeSizes));
    all.push_back(Insert("insert 10%, table without indexes", TableKind::Plain, Access::Shared, ChangeSizes));
    all.push_back(Read("lookup by ID, found", Million, [](BenchStore& store, std::int32_t n, Digest& digest) {
        for (std::int32_t id : DistinctIds(n, LookupCount(n), LookupSeed)) store.FindId(id, digest);
        return static_cast<std::uint64_t>(LookupCount(n));
    }));
    all.push_back(
        Read("lookup by ID, not found", Million, [](BenchStore& store, std::int32_t n, Digest& digest) {
            for (std::int32_t id : DistinctIds(n, LookupCount(n), MissSeed)) store.FindId(n + id, digest);
            return static_cast<std::uint64_t>(LookupCount(n));
        }));
    all.push_back(Read("lookup by name", Million, [](BenchStore& store, std::int32_t n, Digest& digest) {
        SeededRandom random(NameSeed);
        for (std::int32_t i = 0; i < LookupCount(n); ++i)
            store.FindName(NameOf(random.Below(NameCount(n))), digest);
        return static_cast<std::uint64_t>(LookupCount(n));
    }));
    all.push_back(Read("range of 1% in index order (x10)", Million,
                       [](BenchStore& store, std::int32_t, Digest& digest) {
                           // Ten ranges of ten values each, spread over the index.
                           for (std::int32_t low = 0; low < ErrorValues; low += ErrorValues / 10) {
                               store.ErrorsRange(low, low + ErrorValues / 100 - 1, WalkLock::Held, digest);
                           }
                           return digest.Count;
                       }));
    all.push_back(
        Read("range of 10% in index order", Million, [](BenchStore& store, std::int32_t, Digest& digest) {
            return MiddleTenth(store, WalkLock::Held, digest);
        }));
    // The same walk as the program's cursors make it, every record fetched as an operation of its own; SQLite
    // still runs its one statement (see SqliteStore::ErrorsRange).
    all.push_back(Read("range of 10% in index order, a read per record", Million,
                       [](BenchStore& store, std::int32_t, Digest& digest) {
                           return MiddleTenth(store, WalkLock::PerRecord, digest);
                       }));
    all.push_back(
        Read("first to last in natural order", Million, [](BenchStore& store, std::int32_t, Digest& digest) {
            store.ScanAll(digest);
            return digest.Count;
        }));
    // A scan of a table that holds changes not yet written: the engine's table opened exclusively with a
    // tenth of its records modified and not yet closed (its record cache full of unwritten changes); SQLite
    // the same modifications in its open transaction, not yet committed. The modifications are not timed,
    // nor is the close that writes them: only the scan is.
    Workload changed = Read("first to last in natural order after modifying 10%, exclusive / one transaction",
                            Million, [](BenchStore& store, std::int32_t, Digest& digest) {
                                store.ScanAll(digest);
                                return digest.Count;
                            });
    changed.Mode = Access::Exclusive;
    changed.Writes = true;
    changed.Setup = [](BenchStore& store, std::int32_t n) { Modify(store, n, n / 10); };
    changed.Check = CheckModified;
    all.push_back(std::move(changed));
    all.push_back(Change(
        "modify 10%, at most 10k (indexed field)", Million,
        [](BenchStore& store, std::int32_t n, Digest&) { return Modify(store, n, ChangeCount(n)); },
        CheckModified));
    all.push_back(Change(
        "delete 10% at random, at most 10k", Million,
        [](BenchStore& store, std::int32_t n, Digest&) {
            const std::vector<std::int32_t> ids = DistinctIds(n, ChangeCount(n), DeleteSeed);
            for (std::int32_t id : ids) store.Delete(id);
            return static_cast<std::uint64_t>(ids.size());
        },
        CheckScan));
    all.push_back(
        Read("filter NKPH > x (no index)", Million, [](BenchStore& store, std::int32_t n, Digest& digest) {
            store.FilterNetKph(NetKphLimit, digest);
            return static_cast<std::uint64_t>(n);
        }));
    all.back().PerFound = true;
    all.push_back(Read("filter KPH > x AND NAME = 'y' (x10)", Million,
                       [](BenchStore& store, std::int32_t n, Digest& digest) {
                           SeededRandom random(NameSeed);
                           for (int i = 0; i < NameFilters; ++i) {
                               // Asked in capitals: a side that compared letter case would find nothing.
                               store.FilterKphAndName(KphLimit, Capitals(NameOf(random.Below(NameCount(n)))),
                                                      digest);
                           }
                           return static_cast<std::uint64_t>(n) * NameFilters;
                       }));
    all.back().PerFound = true;
    all.push_back(Read("filter TOTERRS >= a AND TOTERRS <= b, 10% (x10)", Million,
                       [](BenchStore& store, std::int32_t, Digest& digest) {
                           // Ten ranges of a tenth of the values each, together the whole index.
                           for (std::int32_t low = 0; low < ErrorValues; low += ErrorValues / 10)
                               store.FilterErrorsBetween(low, low + ErrorValues / 10 - 1, digest);
                           return digest.Count;
                       }));
    Workload write =
        Insert("large objects: insert 10% with memos", TableKind::Indexed, Access::Shared, ChangeSizes);
    write.Run = [](BenchStore& store, std::int32_t n, Digest&) { return InsertRows(store, n, true); };
    write.Check = [](BenchStore& store, std::int32_t, Digest& digest) { store.ReadMemos(digest); };
    all.push_back(std::move(write));
    Workload read = Read("large objects: read every memo", ChangeSizes,
                         [](BenchStore& store, std::int32_t, Digest& digest) {
                             store.ReadMemos(digest);
                             return digest.Count;
                         });
    read.From = Source::Memos;
    all.push_back(std::move(read));
    return all;
}

}  // namespace bench
