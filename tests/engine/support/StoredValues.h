// Stored field values for engine tests: the bytes a record image holds for a value, each in a vector of
// exactly its size.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace enginetest {

using Bytes = std::vector<std::uint8_t>;

// Stored values, little-endian, in vectors of exactly their size (so that the sanitizers see a read past a
// source's end).
inline Bytes LE(std::uint64_t value, int width) {
    Bytes out(static_cast<std::size_t>(width));
    for (int i = 0; i < width; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    return out;
}
inline Bytes I16(std::int16_t v) {
    return LE(static_cast<std::uint16_t>(v), 2);
}
inline Bytes U16(std::uint16_t v) {
    return LE(v, 2);
}
inline Bytes I32(std::int32_t v) {
    return LE(static_cast<std::uint32_t>(v), 4);
}
inline Bytes I64(std::int64_t v) {
    return LE(static_cast<std::uint64_t>(v), 8);
}
inline Bytes F64(double v) {
    return LE(std::bit_cast<std::uint64_t>(v), 8);
}
// The characters, without a zero.
inline Bytes Chars(std::string_view text) {
    return Bytes(text.begin(), text.end());
}
// The characters and their zero.
inline Bytes Str(std::string_view text) {
    Bytes out(text.size() + 1, 0);
    std::copy(text.begin(), text.end(), out.begin());
    return out;
}
// Bytes zero-extended to a size.
inline Bytes Padded(Bytes bytes, std::size_t size) {
    bytes.resize(size, 0);
    return bytes;
}

}  // namespace enginetest
