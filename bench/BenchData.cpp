#include "bench/BenchData.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace bench {

namespace {

// Two syllables per name part from short lists: enough distinct names for a million records.
constexpr std::array<const char*, 32> Syllables = {
    "ba", "ke", "lo", "mi", "nu", "ra", "se", "ti", "vo", "wy", "da", "fe", "go", "hi", "ju", "ka",
    "le", "mo", "ni", "po", "qu", "ri", "so", "tu", "va", "we", "xi", "ya", "zo", "an", "el", "or"};

std::string Part(std::int32_t k, int syllables) {
    std::string text;
    for (int i = 0; i < syllables; ++i) {
        text += Syllables[static_cast<std::size_t>(k % 32)];
        k /= 32;
    }
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// A record's own generator: the values of record i do not depend on the records before it.
SeededRandom RowRandom(std::int32_t id) {
    return SeededRandom(0x5EEDULL * 1000003ULL + static_cast<std::uint64_t>(id));
}

}  // namespace

std::uint64_t SeededRandom::Next() noexcept {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::int32_t SeededRandom::Below(std::int32_t bound) noexcept {
    return static_cast<std::int32_t>(Next() % static_cast<std::uint64_t>(bound));
}

std::string NameOf(std::int32_t k) {
    // Surname of four syllables (32^4 of them), given name of two.
    return Part(k, 4) + ", " + Part(k / 1048576 + k % 7, 2);
}

std::int32_t NameCount(std::int32_t n) {
    return std::max(1, n / RecordsPerName);
}

ResultRow MakeRow(std::int32_t id, std::int32_t n) {
    SeededRandom random = RowRandom(id);
    ResultRow row;
    row.Id = id;
    row.Name = NameOf(random.Below(NameCount(n)));
    row.Errors = random.Below(ErrorValues);
    row.Kph = MinKph + static_cast<double>(random.Below(static_cast<std::int32_t>(KphSpread) * 100)) / 100;
    row.NetKph = row.Kph - static_cast<double>(random.Below(50000)) / 100;
    // Three years of tests from 1 January 2024 (day 738,886), during office hours.
    row.TestDate = 738886 + random.Below(3 * 365);
    row.TestTime = 8 * 3600000 + random.Below(10 * 3600000);
    return row;
}

std::string MemoOf(std::int32_t id) {
    SeededRandom random = RowRandom(-id);
    const std::size_t size = 1024 + static_cast<std::size_t>(random.Below(1025));
    std::string memo;
    memo.reserve(size);
    while (memo.size() < size) {
        memo += "Field ";
        memo += std::to_string(random.Below(100));
        memo += ": keyed '";
        memo += Syllables[static_cast<std::size_t>(random.Below(32))];
        memo += "', expected '";
        memo += Syllables[static_cast<std::size_t>(random.Below(32))];
        memo += "'\r\n";
    }
    memo.resize(size);
    return memo;
}

std::vector<std::int32_t> DistinctIds(std::int32_t n, std::int32_t count, std::uint64_t seed) {
    // i -> start + i x stride (mod n) visits every ID once when the stride is prime to n, and a stride near
    // n times the golden ratio's fraction spreads the IDs evenly over the table from the first ones on; no
    // table of all n IDs is needed (it would count in the runs' memory).
    SeededRandom random(seed);
    const std::int64_t start = random.Below(n);
    std::int64_t stride = static_cast<std::int64_t>(n * 0.6180339887) + random.Below(std::max(1, n / 100));
    while (std::gcd(stride, static_cast<std::int64_t>(n)) != 1) ++stride;
    std::vector<std::int32_t> ids(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        ids[static_cast<std::size_t>(i)] = static_cast<std::int32_t>((start + i * stride) % n) + 1;
    }
    return ids;
}

}  // namespace bench
