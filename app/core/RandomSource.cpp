#include "app/core/RandomSource.h"

#include "rtl/Random.h"

namespace app {

RandomSource::~RandomSource() = default;

void SystemRandomSource::Randomize() {
    rtl::Randomize();
}

std::int32_t SystemRandomSource::Random(std::int32_t range) {
    return rtl::Random(range);
}

}  // namespace app
