// Operations on record bitmaps: one bit per physical record number, numbered from 1.
#pragma once

#include <cstdint>

namespace engine {

// Bit n is bit (n - 1) mod 8, least significant first, of byte (n - 1) div 8. S is the array's size in bytes
// and H the highest bit number a search may report (H <= 8 x S). Whole-array operations process exactly the
// byte count given; a count of 0 or below changes nothing.

void BitmapAnd(const std::uint8_t* source, std::uint8_t* target, std::int64_t byteCount) noexcept;
void BitmapOr(const std::uint8_t* source, std::uint8_t* target, std::int64_t byteCount) noexcept;
// Source and target may be the same array.
void BitmapNot(const std::uint8_t* source, std::uint8_t* target, std::int64_t byteCount) noexcept;
void BitmapSetAll(std::uint8_t* bits, std::int64_t byteCount) noexcept;
void BitmapClearAll(std::uint8_t* bits, std::int64_t byteCount) noexcept;
// Clears every bit above the highest (bits highest + 1 .. 8 x S), so that an inverted bitmap names no record
// beyond the records that exist.
void BitmapClearAbove(std::int64_t highest, std::uint8_t* bits, std::int64_t size) noexcept;

// Bit numbers lie in 1 .. 8 x S.
void BitmapSetBit(std::int64_t bit, std::uint8_t* bits) noexcept;
void BitmapClearBit(std::int64_t bit, std::uint8_t* bits) noexcept;
bool BitmapTestBit(std::int64_t bit, const std::uint8_t* bits) noexcept;

// The number of set bits numbered 1 .. H.
std::int64_t BitmapCount(const std::uint8_t* bits, std::int64_t size, std::int64_t highest) noexcept;
// The number of set bits numbered 1 .. min(limit, H).
std::int64_t BitmapCountUpTo(std::int64_t limit, const std::uint8_t* bits, std::int64_t size,
                             std::int64_t highest) noexcept;

// The lowest set bit above the position and at most H: stored in the position, answering true. Otherwise
// false, and the position stays. Position 0 starts at bit 1.
bool BitmapNextSetBit(const std::uint8_t* bits, std::int64_t size, std::int64_t highest,
                      std::int64_t& position) noexcept;
// The highest set bit below the position and at least 1, likewise. Position H + 1 starts at bit H.
bool BitmapPriorSetBit(const std::uint8_t* bits, std::int64_t size, std::int64_t& position) noexcept;

// The n-th set bit (n from 1) among bits 1 .. H: stored in the position, answering true. Otherwise (n below
// 1, or fewer than n set bits) false, and the position stays. Whole words are counted, not single bits.
bool BitmapSelect(const std::uint8_t* bits, std::int64_t size, std::int64_t highest, std::int64_t n,
                  std::int64_t& position) noexcept;

// The index of the first non-zero byte at or after the start; S - 1 when there is none.
std::int64_t NextNonZeroByte(const std::uint8_t* bits, std::int64_t size, std::int64_t start) noexcept;
// The index of the last non-zero byte at or before the start; 0 when there is none.
std::int64_t PriorNonZeroByte(const std::uint8_t* bits, std::int64_t size, std::int64_t start) noexcept;

}  // namespace engine
