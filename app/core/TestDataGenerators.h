// TestDataGenerators: the drawn values of the test data (numeric values, invoice amounts, one invsort
// record's renewal), shared by the generator forms and keyvale-setup so that each draw rule exists once.
#pragma once

#include <cstdint>
#include <string>

#include "app/core/RandomSource.h"
#include "rtl/DateTime.h"

namespace app {

// The numeric test's source: 200 records (its screens), each with 25 integers and 25 decimals.
inline constexpr int kNumericRecords = 200;
inline constexpr int kNumericPositions = 25;

// A numeric test value of `width` digits (4 to 8), or of 1 to 8 digits for any other width: drawn again
// until it is greater than the width's lower bound.
std::int32_t getinteger(RandomSource& random, std::int32_t width);

// A numeric test value with two decimals: a number drawn as for getinteger (with the bounds of the decimal
// table), written as all its digits but the last three, ".", and the two digits before the last one, read
// with "." as the point whatever the settings; 1.23 when that text is no number.
double getdecimal(RandomSource& random, std::int32_t width);

// An invoice amount "dddd.dd": the first four and the last two digits of a seven-digit draw.
std::string getamount(RandomSource& random);

// The fields an invsort record gets anew, drawn in this order.
struct InvsortValues {
    std::string idxkey;    // 0 .. 99998 in decimal, no leading zeros
    std::string date;      // 0 .. 699 days before today, in the current short date format
    std::int32_t invoice;  // 10000000 .. 99999998
    std::string amount;    // getamount
};

InvsortValues NewInvsortValues(RandomSource& random, rtl::TDateTime today);

}  // namespace app
