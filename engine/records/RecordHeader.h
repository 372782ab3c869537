// TRecordHeader: the 9 bytes that open every record slot and record image, and their codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/records/RecordNumbers.h"

namespace engine {

// | Offset | Size | Type | Field                                                                      |
// |--------|------|------|----------------------------------------------------------------------------|
// | 0      | 1    | u8   | status: 0 active, 1 deleted                                                |
// | 1      | 4    | u32  | active: the slot's own number; deleted: the next slot of the free chain    |
// | 5      | 4    | u32  | record ID                                                                  |
inline constexpr std::size_t RecordHeaderSize = 9;

inline constexpr std::size_t RecordStatusOffset = 0;
inline constexpr std::size_t RecordLinkOffset = 1;
inline constexpr std::size_t RecordIdOffset = 5;

inline constexpr std::uint8_t RecordActive = 0;
inline constexpr std::uint8_t RecordDeleted = 1;

struct TRecordHeader {
    std::uint8_t Status = RecordActive;
    // The slot's own number while active; the next free slot (NoSlot ends the chain) while deleted.
    SlotNumber Link;
    RecordId Id;

    bool IsDeleted() const noexcept { return Status == RecordDeleted; }
};

// Both work on the first 9 bytes of a slot or record image.
void EncodeRecordHeader(const TRecordHeader& header,
                        std::span<std::uint8_t, RecordHeaderSize> bytes) noexcept;
TRecordHeader DecodeRecordHeader(std::span<const std::uint8_t, RecordHeaderSize> bytes) noexcept;

}  // namespace engine
