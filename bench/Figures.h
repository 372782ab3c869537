// Figures: how the benchmark's tables reduce and print their timings.
#pragma once

#include <string>
#include <vector>

namespace bench {

// The middle value (the mean of the two middle ones for an even count); the values are not empty.
double Median(std::vector<double> values);
// The value with the decimals given.
std::string Fixed(double value, int decimals);

}  // namespace bench
