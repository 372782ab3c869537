// RandomSource: the random draws of the test-data generators, so that tests can choose them.
#pragma once

#include <cstdint>

namespace app {

class RandomSource {
public:
    virtual ~RandomSource();

    // Seeds the draws from the clock.
    virtual void Randomize() = 0;
    // A whole number from 0 to range - 1; 0 when range is 0 or less.
    virtual std::int32_t Random(std::int32_t range) = 0;
};

// The runtime's process-wide generator (rtl/Random.h).
class SystemRandomSource final : public RandomSource {
public:
    void Randomize() override;
    std::int32_t Random(std::int32_t range) override;
};

}  // namespace app
