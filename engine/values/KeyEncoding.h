// Order-preserving key bytes of numbers, the byte comparisons and scans over keys, and character classes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

// Key bytes compare as unsigned bytes from the first, so every encoder writes its value most significant
// byte first with the sign arranged to make that byte order the numeric order.
inline constexpr std::size_t IntegerKeySize = 4;
inline constexpr std::size_t SmallIntKeySize = 2;
inline constexpr std::size_t WordKeySize = 2;
inline constexpr std::size_t Int64KeySize = 8;
inline constexpr std::size_t FloatKeySize = 8;

// Signed integers: big-endian with the sign bit inverted (1 is 80 00 00 01, -1 is 7F FF FF FF).
void EncodeIntegerKey(std::int32_t value, std::uint8_t* destination) noexcept;
void EncodeSmallIntKey(std::int16_t value, std::uint8_t* destination) noexcept;
void EncodeInt64Key(std::int64_t value, std::uint8_t* destination) noexcept;
// Big-endian, unchanged.
void EncodeWordKey(std::uint16_t value, std::uint8_t* destination) noexcept;
// Zero or more: the IEEE bits big-endian with the top bit set; negative: every bit inverted. 0.0 and -0.0
// both give 80 00 00 00 00 00 00 00; a not-a-number sorts beyond the infinity of its sign.
void EncodeFloatKey(double value, std::uint8_t* destination) noexcept;

// Minus the value; the most negative value, which has no opposite, comes back unchanged.
std::int32_t NegateInteger(std::int32_t value) noexcept;

// Every byte b becomes 255 - b (descending key fields).
void InvertBytes(std::uint8_t* buffer, std::size_t count) noexcept;
// -1, 0 or 1 comparing count bytes as unsigned; count 0 gives 0. Exactly 1 as the descending flag reverses
// the sign; any other value compares ascending.
int CompareBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t count, int descending) noexcept;
// Sets the bytes at offsets from .. to - 1 to the character; nothing when from >= to. Callers pad the low
// bound of a key interval with the collation table's lowest character and the high bound with its highest.
void FillKeyLow(std::uint8_t* key, std::size_t from, std::size_t to, std::uint8_t character) noexcept;
void FillKeyHigh(std::uint8_t* key, std::size_t from, std::size_t to, std::uint8_t character) noexcept;
// The number of equal leading bytes of the count compared (the count when all are equal).
std::size_t CommonPrefixLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) noexcept;
// How many consecutive zero bytes end at `last`, walking backwards, at most count.
std::size_t CountTrailingZeroBytes(const std::uint8_t* last, std::size_t count) noexcept;
void ClearBytes(std::uint8_t* buffer, std::size_t count) noexcept;

// Name characters: "A".."Z", "a".."z" and the bytes 129 .. 254 are letters; "0".."9" are digits.
bool IsLetterChar(char c) noexcept;
bool IsDigitChar(char c) noexcept;
bool IsLetterOrDigitChar(char c) noexcept;

}  // namespace engine
