#include "tests/app/e2e/support/SeededRandomSource.h"

#include "rtl/Random.h"

namespace e2e {

SeededRandomSource::SeededRandomSource(std::uint64_t seed) : seed_(seed) {
    rtl::SetRandSeed(seed_);
}

void SeededRandomSource::Randomize() {
    rtl::SetRandSeed(seed_);
}

std::int32_t SeededRandomSource::Random(std::int32_t range) {
    return rtl::Random(range);
}

}  // namespace e2e
