#include "components/KeyBuffer.h"

#include <cassert>

#include "engine/base/FileBytes.h"

namespace components {

namespace {

constexpr std::size_t kModifiedAt = 0;
constexpr std::size_t kExclusiveAt = 1;
constexpr std::size_t kReservedAt = 2;
constexpr std::size_t kFieldCountAt = 4;

}  // namespace

void EncodeKeyBufferHeader(const TKeyBufferHeader& header, std::span<std::uint8_t> buffer) {
    assert(buffer.size() >= KeyBufferHeaderSize);
    buffer[kModifiedAt] = header.Modified ? 1 : 0;
    buffer[kExclusiveAt] = header.Exclusive ? 1 : 0;
    engine::StoreU16(buffer.data() + kReservedAt, 0);
    engine::StoreU32(buffer.data() + kFieldCountAt, static_cast<std::uint32_t>(header.FieldCount));
}

TKeyBufferHeader DecodeKeyBufferHeader(std::span<const std::uint8_t> buffer) {
    assert(buffer.size() >= KeyBufferHeaderSize);
    return {buffer[kModifiedAt] != 0, buffer[kExclusiveAt] != 0,
            static_cast<std::int32_t>(engine::LoadU32(buffer.data() + kFieldCountAt))};
}

}  // namespace components
