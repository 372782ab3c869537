// SeededRandomSource: the program's random draws from a fixed seed, so that a scenario's generators draw the
// same values at every run.
#pragma once

#include <cstdint>

#include "app/core/RandomSource.h"

namespace e2e {

// The seed a scenario's program draws from.
inline constexpr std::uint64_t kProgramSeed = 4343;

// The runtime's generator, seeded at construction and at every Randomize with the same seed (Randomize
// would seed it from the clock).
class SeededRandomSource final : public app::RandomSource {
public:
    explicit SeededRandomSource(std::uint64_t seed = kProgramSeed);

    void Randomize() override;
    std::int32_t Random(std::int32_t range) override;

private:
    std::uint64_t seed_;
};

}  // namespace e2e
