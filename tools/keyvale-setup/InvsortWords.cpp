#include "tools/keyvale-setup/InvsortWords.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace keyvalesetup {
namespace {

// Written for the tool: common first names, family names, street names and made-up towns.
constexpr std::array<std::string_view, 64> kGivenNames = {
    "James",   "Mary",      "Robert",  "Patricia", "John",    "Jennifer", "Michael",  "Linda",
    "David",   "Elizabeth", "William", "Barbara",  "Richard", "Susan",    "Joseph",   "Jessica",
    "Thomas",  "Sarah",     "Charles", "Karen",    "Daniel",  "Nancy",    "Matthew",  "Lisa",
    "Anthony", "Margaret",  "Mark",    "Sandra",   "Donald",  "Ashley",   "Steven",   "Kimberly",
    "Paul",    "Emily",     "Andrew",  "Donna",    "Joshua",  "Michelle", "Kenneth",  "Carol",
    "Kevin",   "Amanda",    "Brian",   "Melissa",  "George",  "Deborah",  "Edward",   "Stephanie",
    "Ronald",  "Rebecca",   "Timothy", "Laura",    "Jason",   "Sharon",   "Jeffrey",  "Cynthia",
    "Ryan",    "Kathleen",  "Jacob",   "Amy",      "Gary",    "Shirley",  "Nicholas", "Anna Marie",
};

constexpr std::array<std::string_view, 64> kFamilyNames = {
    "Smith",     "Johnson",  "Williams",  "Brown",    "Jones",    "Garcia",   "Miller",   "Davis",
    "Rodriguez", "Martinez", "Hernandez", "Lopez",    "Gonzalez", "Wilson",   "Anderson", "Thomas",
    "Taylor",    "Moore",    "Jackson",   "Martin",   "Lee",      "Perez",    "Thompson", "White",
    "Harris",    "Sanchez",  "Clark",     "Ramirez",  "Lewis",    "Robinson", "Walker",   "Young",
    "Allen",     "King",     "Wright",    "Scott",    "Torres",   "Nguyen",   "Hill",     "Flores",
    "Green",     "Adams",    "Nelson",    "Baker",    "Hall",     "Rivera",   "Campbell", "Mitchell",
    "Carter",    "Roberts",  "O'Brien",   "Phillips", "Evans",    "Turner",   "Diaz",     "Parker",
    "Cruz",      "Edwards",  "Collins",   "Reyes",    "Stewart",  "Morris",   "Van Dyke", "Murphy",
};

constexpr std::array<std::string_view, 40> kStreetNames = {
    "Main",   "Oak",      "Pine",     "Maple",     "Cedar",    "Elm",    "Washington", "Lake",
    "Hill",   "Walnut",   "Spring",   "North",     "Ridge",    "Church", "Willow",     "Mill",
    "Sunset", "Railroad", "Jackson",  "Cherry",    "Highland", "Park",   "Meadow",     "Forest",
    "River",  "Chestnut", "Franklin", "Lincoln",   "Valley",   "Center", "Market",     "Spruce",
    "Birch",  "Hickory",  "Madison",  "Jefferson", "Dogwood",  "Broad",  "Green Hill", "Prospect",
};

constexpr std::array<std::string_view, 10> kStreetSuffixes = {
    "St", "Ave", "Rd", "Blvd", "Dr", "Ln", "Ct", "Way", "Pl", "Terrace",
};

constexpr std::array<std::string_view, 48> kTowns = {
    "Springfield", "Riverside", "Fairview",     "Franklin",   "Greenville",  "Bristol",    "Clinton",
    "Salem",       "Madison",   "Georgetown",   "Ashland",    "Arlington",   "Burlington", "Manchester",
    "Milton",      "Newport",   "Oxford",       "Clayton",    "Dover",       "Hudson",     "Kingston",
    "Lebanon",     "Marion",    "Mount Vernon", "Oakland",    "Centerville", "Jackson",    "Winchester",
    "Auburn",      "Dayton",    "Lexington",    "Milford",    "Troy",        "Cleveland",  "Chester",
    "Florence",    "Hamilton",  "Jamestown",    "Lancaster",  "Monroe",      "Plymouth",   "Richmond",
    "Shelby",      "Sheridan",  "Stratford",    "Union City", "Warren",      "Woodstock",
};

// House numbers run 1..9999: at most four digits before the street name.
constexpr std::int32_t kHouseNumbers = 9999;

std::string Draw(app::RandomSource& random, std::span<const std::string_view> words) {
    const auto count = static_cast<std::int32_t>(words.size());
    // A source that breaks its range still picks a word of the list.
    const std::int32_t index = std::clamp(random.Random(count), 0, count - 1);
    return std::string(words[static_cast<std::size_t>(index)]);
}

}  // namespace

std::span<const std::string_view> GivenNames() {
    return kGivenNames;
}
std::span<const std::string_view> FamilyNames() {
    return kFamilyNames;
}
std::span<const std::string_view> StreetNames() {
    return kStreetNames;
}
std::span<const std::string_view> StreetSuffixes() {
    return kStreetSuffixes;
}
std::span<const std::string_view> Towns() {
    return kTowns;
}

InvsortPerson DrawPerson(app::RandomSource& random) {
    InvsortPerson person;
    person.first = Draw(random, kGivenNames);
    person.last = Draw(random, kFamilyNames);
    // One draw per statement: the order of the operands of + is unspecified.
    person.street = std::to_string(random.Random(kHouseNumbers) + 1);
    person.street += ' ' + Draw(random, kStreetNames);
    person.street += ' ' + Draw(random, kStreetSuffixes);
    person.city = Draw(random, kTowns);
    return person;
}

}  // namespace keyvalesetup
