#include "rtl/Random.h"

#include <atomic>
#include <chrono>

namespace rtl {

namespace {

// A SplitMix64 sequence: the state moves by a fixed odd step and each draw is a mix of the new state. An
// atomic step makes every draw safe from any thread without a lock.
constexpr std::uint64_t kStep = 0x9E3779B97F4A7C15ull;  // 2^64 divided by the golden ratio

std::atomic<std::uint64_t> gState{0};

std::uint64_t Next() {
    std::uint64_t z = gState.fetch_add(kStep, std::memory_order_relaxed) + kStep;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

void Randomize() {
    const auto now = std::chrono::system_clock::now().time_since_epoch().count() ^
                     std::chrono::steady_clock::now().time_since_epoch().count();
    SetRandSeed(static_cast<std::uint64_t>(now));
}

void SetRandSeed(std::uint64_t seed) {
    gState.store(seed, std::memory_order_relaxed);
}

std::uint64_t RandSeed() {
    return gState.load(std::memory_order_relaxed);
}

std::int32_t Random(std::int32_t range) {
    if (range <= 0) return 0;
    // The high half of a 64 x 32-bit product: every value below range, without division or modulo bias
    // worth measuring (at most range / 2^64).
    const auto product = static_cast<unsigned __int128>(Next()) * static_cast<std::uint32_t>(range);
    return static_cast<std::int32_t>(product >> 64);
}

double Random() {
    // The top 53 bits, the precision of a double.
    return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);  // 2^53
}

}  // namespace rtl
