// The free-slot chain of a record file: which slot a new record takes, how a deleted slot joins the chain,
// and how far the slot area may grow. The record cache fetches and marks the slots; these rules keep the
// header image.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/records/DataFileHeader.h"
#include "engine/records/RecordHeader.h"

namespace engine {

// Deleted slots chain through the link of their record header, starting at the header's free-slot head. Only
// a table with a primary index reuses them; without one every new record is appended and the head merely
// holds the slot deleted last.

// A file holds fewer than this many slots, and a slot area of at most this many bytes, so that the lock bytes
// of the records (counted down from 0x7FFFFFFE) never reach the data.
inline constexpr std::uint32_t SlotNumberLimit = 100000000;
inline constexpr std::int64_t MaxSlotAreaBytes = 2000000000;

// Whether slot n may exist: n + 1 <= 100,000,000 and R x n <= 2,000,000,000.
bool WithinAppendLimit(SlotNumber slot, std::uint16_t recordSize) noexcept;
// Raises 9479 (file full) naming the file when slot n may not be appended.
void CheckAppendLimit(SlotNumber slot, std::uint16_t recordSize, std::string_view fileName);

// The slot a new record will take: the head when the table has a primary index and the chain is not empty,
// else the next slot number.
SlotNumber NextFreeSlot(const TDataFileHeader& header, bool hasPrimaryIndex) noexcept;
// Stores a new head; marks the header changed only when the value differs. Answers whether it did.
bool SetFreeSlotHead(TDataFileHeader& header, SlotNumber slot) noexcept;

// The slot a new record will take, checked before anything is fetched or changed: while the chain is in use a
// head outside 1 .. next slot number - 1 raises 8961 (a damaged chain must not send an insert onto a live
// record); an append beyond the limits raises 9479.
SlotNumber SlotToTake(const TDataFileHeader& header, bool hasPrimaryIndex, std::string_view fileName);
// Takes the slot SlotToTake named, whose record header the caller fetched. A reused slot must be the head and
// deleted (8961 otherwise, with nothing changed), and its link becomes the head; an appended slot raises the
// next slot number and empties the head.
void TakeSlot(TDataFileHeader& header, SlotNumber slot,
              std::span<const std::uint8_t, RecordHeaderSize> slotImage, bool hasPrimaryIndex,
              std::string_view fileName);
// Marks the slot's record header deleted, links it to the slot a new record would take (none when that is an
// append) and makes it the head. The record ID stays.
void FreeSlot(TDataFileHeader& header, SlotNumber slot, std::span<std::uint8_t, RecordHeaderSize> slotImage,
              bool hasPrimaryIndex) noexcept;

}  // namespace engine
