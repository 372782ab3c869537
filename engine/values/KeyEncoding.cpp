#include "engine/values/KeyEncoding.h"

#include <bit>
#include <cstring>

namespace engine {

namespace {

// The value's bytes, most significant first.
template <class Unsigned>
void StoreBigEndian(Unsigned value, std::uint8_t* destination) noexcept {
    for (std::size_t i = sizeof(Unsigned); i-- > 0;) {
        destination[i] = static_cast<std::uint8_t>(value & 0xFF);
        value = static_cast<Unsigned>(value >> 8);
    }
}

// The top bit of an unsigned type: the sign bit of its signed counterpart.
template <class Unsigned>
constexpr Unsigned SignBit = static_cast<Unsigned>(Unsigned{1} << (sizeof(Unsigned) * 8 - 1));

}  // namespace

void EncodeIntegerKey(std::int32_t value, std::uint8_t* destination) noexcept {
    StoreBigEndian(static_cast<std::uint32_t>(value) ^ SignBit<std::uint32_t>, destination);
}

void EncodeSmallIntKey(std::int16_t value, std::uint8_t* destination) noexcept {
    StoreBigEndian(static_cast<std::uint16_t>(static_cast<std::uint16_t>(value) ^ SignBit<std::uint16_t>),
                   destination);
}

void EncodeInt64Key(std::int64_t value, std::uint8_t* destination) noexcept {
    StoreBigEndian(static_cast<std::uint64_t>(value) ^ SignBit<std::uint64_t>, destination);
}

void EncodeWordKey(std::uint16_t value, std::uint8_t* destination) noexcept {
    StoreBigEndian(value, destination);
}

void EncodeFloatKey(double value, std::uint8_t* destination) noexcept {
    if (value == 0.0) value = 0.0;  // -0.0 equals 0.0 and must encode the same
    const auto bits = std::bit_cast<std::uint64_t>(value);
    StoreBigEndian((bits & SignBit<std::uint64_t>) != 0 ? ~bits : bits | SignBit<std::uint64_t>, destination);
}

std::int32_t NegateInteger(std::int32_t value) noexcept {
    return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(value));
}

void InvertBytes(std::uint8_t* buffer, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) buffer[i] = static_cast<std::uint8_t>(255 - buffer[i]);
}

int CompareBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t count, int descending) noexcept {
    if (count == 0) return 0;
    const int order = std::memcmp(a, b, count);
    const int sign = order < 0 ? -1 : order > 0 ? 1 : 0;
    return descending == 1 ? -sign : sign;
}

void FillKeyLow(std::uint8_t* key, std::size_t from, std::size_t to, std::uint8_t character) noexcept {
    if (from < to) std::memset(key + from, character, to - from);
}

void FillKeyHigh(std::uint8_t* key, std::size_t from, std::size_t to, std::uint8_t character) noexcept {
    FillKeyLow(key, from, to, character);
}

std::size_t CommonPrefixLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) noexcept {
    std::size_t n = 0;
    while (n < count && a[n] == b[n]) ++n;
    return n;
}

std::size_t CountTrailingZeroBytes(const std::uint8_t* last, std::size_t count) noexcept {
    std::size_t n = 0;
    while (n < count && *(last - n) == 0) ++n;
    return n;
}

void ClearBytes(std::uint8_t* buffer, std::size_t count) noexcept {
    if (count > 0) std::memset(buffer, 0, count);
}

bool IsLetterChar(char c) noexcept {
    const auto b = static_cast<unsigned char>(c);
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= 129 && b <= 254);
}

bool IsDigitChar(char c) noexcept {
    return c >= '0' && c <= '9';
}

bool IsLetterOrDigitChar(char c) noexcept {
    return IsLetterChar(c) || IsDigitChar(c);
}

}  // namespace engine
