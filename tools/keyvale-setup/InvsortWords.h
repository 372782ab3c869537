// InvsortWords: the word lists an invsort record's names, street and city are drawn from.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "app/core/RandomSource.h"

namespace keyvalesetup {

// Given names, family names, street names, street suffixes and towns. Every word is printable ASCII, not
// empty, without leading, trailing or double blanks, and fits its field with room to spare.
std::span<const std::string_view> GivenNames();
std::span<const std::string_view> FamilyNames();
std::span<const std::string_view> StreetNames();
std::span<const std::string_view> StreetSuffixes();
std::span<const std::string_view> Towns();

// The names and address of one record, drawn in this order.
struct InvsortPerson {
    std::string first;
    std::string last;
    std::string street;  // "<house number 1..9999> <street name> <suffix>"
    std::string city;
};

InvsortPerson DrawPerson(app::RandomSource& random);

}  // namespace keyvalesetup
