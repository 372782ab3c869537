// SlotNumber and RecordId: the two numbers of a record file that must never stand for each other, each a type
// of its own.
#pragma once

#include <compare>
#include <cstdint>

namespace engine {

// A 32-bit number that converts to and from its value only when asked, so that one kind cannot be passed
// where another is meant.
template <class Tag>
struct StoredNumber {
    std::uint32_t Value = 0;

    constexpr StoredNumber() = default;
    constexpr explicit StoredNumber(std::uint32_t value) : Value(value) {}
    friend constexpr bool operator==(StoredNumber, StoredNumber) = default;
    friend constexpr auto operator<=>(StoredNumber, StoredNumber) = default;
};

// A slot's position in the record file, from 1; 0 is no slot (an empty chain, the end of a chain).
using SlotNumber = StoredNumber<struct SlotNumberTag>;
// The number a record keeps for life, handed out at insert from 1 to 0x7FFFFFFF; 0 is none yet.
using RecordId = StoredNumber<struct RecordIdTag>;

inline constexpr SlotNumber NoSlot{};

}  // namespace engine
