// The process-wide random generator: seeded from the clock, or from a set seed for repeatable tests.
#pragma once

#include <cstdint>

namespace rtl {

// Seeds the generator from the clock.
void Randomize();
// Sets the generator's state: the same seed gives the same sequence of draws.
void SetRandSeed(std::uint64_t seed);
// The generator's current state; setting it again replays the draws from here on.
std::uint64_t RandSeed();

// A whole number from 0 to range - 1; 0 when range is 0 or less.
std::int32_t Random(std::int32_t range);
// A number in [0, 1).
double Random();

}  // namespace rtl
