// SlotNumber, RecordId, BlockOffset and PageOffset: numbers of the table files that must never stand for each
// other, each a type of its own.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>

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
// The file offset of a block of the large-object file; 0 is no block (an empty value, the end of a chain).
using BlockOffset = StoredNumber<struct BlockOffsetTag>;
// The file offset of a page of the index file, a multiple of the page size; 0 is no page (page 0 is the
// header).
using PageOffset = StoredNumber<struct PageOffsetTag>;
inline constexpr PageOffset NoPage{};

}  // namespace engine

// Caches look entries up by these numbers.
template <class Tag>
struct std::hash<engine::StoredNumber<Tag>> {
    std::size_t operator()(engine::StoredNumber<Tag> number) const noexcept {
        return std::hash<std::uint32_t>{}(number.Value);
    }
};
