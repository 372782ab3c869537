// FileBytes: little-endian numbers and length-prefixed strings inside file images, read and written byte by
// byte so that no structure is ever laid over file bytes.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace engine {

// Every engine file stores its integers least significant byte first, whatever the machine's order.
inline std::uint16_t LoadU16(const std::uint8_t* bytes) noexcept {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t LoadU32(const std::uint8_t* bytes) noexcept {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline std::uint64_t LoadU64(const std::uint8_t* bytes) noexcept {
    return static_cast<std::uint64_t>(LoadU32(bytes)) |
           (static_cast<std::uint64_t>(LoadU32(bytes + 4)) << 32);
}

// IEEE doubles are stored as their bit pattern in the same byte order.
inline double LoadF64(const std::uint8_t* bytes) noexcept {
    return std::bit_cast<double>(LoadU64(bytes));
}

inline void StoreU16(std::uint8_t* bytes, std::uint16_t value) noexcept {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void StoreU32(std::uint8_t* bytes, std::uint32_t value) noexcept {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void StoreU64(std::uint8_t* bytes, std::uint64_t value) noexcept {
    StoreU32(bytes, static_cast<std::uint32_t>(value));
    StoreU32(bytes + 4, static_cast<std::uint32_t>(value >> 32));
}

inline void StoreF64(std::uint8_t* bytes, double value) noexcept {
    StoreU64(bytes, std::bit_cast<std::uint64_t>(value));
}

// A length-prefixed string of room N occupies N + 1 bytes: the length, then room for N characters.
// Whether the stored length fits the room.
inline bool ShortStringFits(const std::uint8_t* bytes, std::size_t room) noexcept {
    return bytes[0] <= room;
}

// The stored characters, at most room of them even when the length byte claims more.
inline std::string LoadShortString(const std::uint8_t* bytes, std::size_t room) {
    const std::size_t length = std::min<std::size_t>(bytes[0], room);
    return std::string(reinterpret_cast<const char*>(bytes + 1), length);
}

// Stores the text cut to the room, with the unused bytes zero.
inline void StoreShortString(std::uint8_t* bytes, std::size_t room, std::string_view text) noexcept {
    const std::size_t length = std::min(text.size(), room);
    bytes[0] = static_cast<std::uint8_t>(length);
    std::memcpy(bytes + 1, text.data(), length);
    std::memset(bytes + 1 + length, 0, room - length);
}

}  // namespace engine
