// The benchmark's data: the records of a results-like table, made from a seed so that the engine and SQLite
// receive the same values in the same order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// One test result: the fields of the program's results table that the benchmark keeps. ID is 1 .. n in
// insert order on every side (the engine's autoincrement field, SQLite's rowid).
struct ResultRow {
    std::int32_t Id = 0;
    std::string Name;         // "Surname, Given", at most 39 characters
    std::int32_t Errors = 0;  // 0 .. ErrorValues - 1, evenly spread
    double Kph = 0;
    double NetKph = 0;
    std::int32_t TestDate = 0;  // day number, 1 January of year 1 being day 1
    std::int32_t TestTime = 0;  // milliseconds since midnight
};

// Errors take this many values, so that a range of 10 values holds about 1% of the records.
inline constexpr std::int32_t ErrorValues = 1000;
// The records of one name: a table of n records holds about n / RecordsPerName names.
inline constexpr std::int32_t RecordsPerName = 16;
// Speeds lie in 1000 .. 21000 keystrokes per hour.
inline constexpr double MinKph = 1000;
inline constexpr double KphSpread = 20000;

// Record i (from 1) of a table of n records; the same arguments always give the same record.
ResultRow MakeRow(std::int32_t id, std::int32_t n);
// The name of name number k (0 .. names - 1): distinct for distinct k.
std::string NameOf(std::int32_t k);
// How many names a table of n records draws from.
std::int32_t NameCount(std::int32_t n);
// The memo of record i: 1024 .. 2048 bytes of text.
std::string MemoOf(std::int32_t id);

// A seeded 64-bit generator (splitmix64): cheap, and the same sequence on every machine.
class SeededRandom {
public:
    explicit SeededRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() noexcept;
    // Uniform in 0 .. bound - 1 (bound > 0).
    std::int32_t Below(std::int32_t bound) noexcept;

private:
    std::uint64_t state_;
};

// count distinct IDs of 1 .. n in a seeded, spread-out order (count <= n).
std::vector<std::int32_t> DistinctIds(std::int32_t n, std::int32_t count, std::uint64_t seed);

}  // namespace bench
