// The heap the benchmark's process holds: every operator new and every SQLite allocation counted, so that a
// run's peak is the memory its store took beyond what it held before.
#pragma once

#include <cstddef>

namespace bench {

// From now on the peak starts at what is held now.
void ResetHeapPeak() noexcept;
// The most bytes held at once since the reset, beyond what was held at the reset.
std::size_t HeapPeakGrowth() noexcept;

}  // namespace bench
