// Key buffers of a dataset: an 8-byte header and a record image holding the key fields' values, the form in
// which search keys and range bounds are kept between their setting and their use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace components {

// | offset | size        | content                                                      |
// |--------|-------------|--------------------------------------------------------------|
// | 0      | 1           | modified: 1 when the buffer holds a key to use               |
// | 1      | 1           | exclusive: kept for the key's owner, not read by ranges      |
// | 2      | 2           | zero                                                         |
// | 4      | 4           | field count, i32 little-endian: the key fields set           |
// | 8      | record size | an engine record image with the key fields' values           |
inline constexpr std::size_t KeyBufferHeaderSize = 8;

struct TKeyBufferHeader {
    bool Modified = false;
    bool Exclusive = false;
    std::int32_t FieldCount = 0;
};

// One key buffer: header and image in one owned, zero-filled block.
using TKeyBuffer = std::vector<std::uint8_t>;

// The header's bytes; the buffer must hold at least the header.
void EncodeKeyBufferHeader(const TKeyBufferHeader& header, std::span<std::uint8_t> buffer);
TKeyBufferHeader DecodeKeyBufferHeader(std::span<const std::uint8_t> buffer);

// The record image after the header.
inline std::span<std::uint8_t> KeyBufferImage(TKeyBuffer& buffer) {
    return std::span<std::uint8_t>(buffer).subspan(KeyBufferHeaderSize);
}
inline std::span<const std::uint8_t> KeyBufferImage(const TKeyBuffer& buffer) {
    return std::span<const std::uint8_t>(buffer).subspan(KeyBufferHeaderSize);
}

}  // namespace components
