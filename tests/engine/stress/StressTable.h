// The stress test's table and log, shared by engine-stress-worker and the test that runs the workers: the
// fields, the row hash, the memo hash and the lines a worker logs after each change it made.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace stresstest {

// "stress": ID (autoincrement), OWNER and SEQ (the primary index), PAYLOAD ("ByPayload", descending), CAT
// ("ByCat", not unique), HASH (RowHash of OWNER, SEQ, PAYLOAD, CAT), COUNT (the counter row's count) and
// MEMO (a large object in blocks of 64 bytes). The counter row has OWNER 0 and SEQ 0; workers own 1, 2, ...
inline constexpr std::uint16_t IdField = 1;
inline constexpr std::uint16_t OwnerField = 2;
inline constexpr std::uint16_t SeqField = 3;
inline constexpr std::uint16_t PayloadField = 4;
inline constexpr std::uint16_t CatField = 5;
inline constexpr std::uint16_t HashField = 6;
inline constexpr std::uint16_t CountField = 7;
inline constexpr std::uint16_t MemoField = 8;
inline constexpr std::uint8_t PayloadSize = 60;
inline constexpr std::uint8_t CatSize = 10;
inline constexpr std::uint32_t MemoBlockSize = 64;
// The index numbers: 0 primary, then the secondary indexes in definition order.
inline constexpr int ByCatIndex = 1;
inline constexpr int ByPayloadIndex = 2;

// FNV-1a, 32 and 64 bits: offset bases and primes of the published algorithm.
inline std::uint32_t Fnv32(std::string_view bytes, std::uint32_t hash = 2166136261u) {
    for (const char c : bytes) hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
    return hash;
}
inline std::uint64_t Fnv64(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) hash = (hash ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
    return hash;
}

// The HASH field of a row.
inline std::int32_t RowHash(std::int32_t owner, std::int32_t seq, std::string_view payload,
                            std::string_view cat) {
    const std::string numbers = std::to_string(owner) + ' ' + std::to_string(seq) + ' ';
    const std::uint32_t hash = Fnv32(std::string(payload) + '\x01' + std::string(cat), Fnv32(numbers));
    return static_cast<std::int32_t>(hash & 0x7FFFFFFF);
}

// The memo's hash as the log writes it.
inline std::string MemoHash(std::string_view memo) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(Fnv64(memo)));
    return text;
}

// Log lines, one per successful change (payloads and categories hold no blanks):
//   insert <seq> <id> <payload> <cat> <memo hash>
//   modify <old seq> <new seq> <id> <payload> <cat> <memo hash>
//   delete <seq> <id>
//   increment
//   scan <own rows seen>

// The variable that scales workers and operations for long local runs (a whole number, default 1).
inline constexpr const char* ScaleVariable = "KEYVALE_STRESS_SCALE";
// The variable that sets the workers' LockRetryCount (a whole number 0 to 255; the engine's default of 15
// when unset), so that a run with the default lock settings compares with one without retries.
inline constexpr const char* LockRetriesVariable = "KEYVALE_STRESS_LOCK_RETRIES";
// The variable that sets the number of workers for a measuring run (a whole number; 4 x the scale when
// unset); each worker runs the scaled number of operations.
inline constexpr const char* WorkersVariable = "KEYVALE_STRESS_WORKERS";

}  // namespace stresstest
