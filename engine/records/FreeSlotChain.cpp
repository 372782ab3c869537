#include "engine/records/FreeSlotChain.h"

#include "engine/base/EngineError.h"

namespace engine {

bool WithinAppendLimit(SlotNumber slot, std::uint16_t recordSize) noexcept {
    // 64-bit products: R x n passes 32 bits long before the limit is checked.
    return static_cast<std::uint64_t>(slot.Value) + 1 <= SlotNumberLimit &&
           static_cast<std::int64_t>(recordSize) * slot.Value <= MaxSlotAreaBytes;
}

void CheckAppendLimit(SlotNumber slot, std::uint16_t recordSize, std::string_view fileName) {
    if (!WithinAppendLimit(slot, recordSize)) RaiseEngineError(ErrFileFull, fileName);
}

SlotNumber NextFreeSlot(const TDataFileHeader& header, bool hasPrimaryIndex) noexcept {
    return hasPrimaryIndex && header.FreeSlotHead != NoSlot ? header.FreeSlotHead : header.NextSlotNumber;
}

bool SetFreeSlotHead(TDataFileHeader& header, SlotNumber slot) noexcept {
    if (header.FreeSlotHead == slot) return false;
    header.FreeSlotHead = slot;
    header.ImageChanged = 1;
    return true;
}

namespace {

// Deleted slots are reused only by a table with a primary index, and only while the chain has a head.
bool ChainInUse(const TDataFileHeader& header, bool hasPrimaryIndex) noexcept {
    return hasPrimaryIndex && header.FreeSlotHead != NoSlot;
}

}  // namespace

SlotNumber SlotToTake(const TDataFileHeader& header, bool hasPrimaryIndex, std::string_view fileName) {
    if (ChainInUse(header, hasPrimaryIndex)) {
        if (header.FreeSlotHead >= header.NextSlotNumber) RaiseEngineError(ErrHeaderCorrupt, fileName);
        return header.FreeSlotHead;
    }
    CheckAppendLimit(header.NextSlotNumber, header.RecordSize, fileName);
    return header.NextSlotNumber;
}

void TakeSlot(TDataFileHeader& header, SlotNumber slot,
              std::span<const std::uint8_t, RecordHeaderSize> slotImage, bool hasPrimaryIndex,
              std::string_view fileName) {
    if (ChainInUse(header, hasPrimaryIndex)) {
        const TRecordHeader record = DecodeRecordHeader(slotImage);
        if (slot != header.FreeSlotHead || slot >= header.NextSlotNumber || !record.IsDeleted()) {
            RaiseEngineError(ErrHeaderCorrupt, fileName);
        }
        SetFreeSlotHead(header, record.Link);
        return;
    }
    if (slot != header.NextSlotNumber) RaiseEngineError(ErrHeaderCorrupt, fileName);
    CheckAppendLimit(slot, header.RecordSize, fileName);
    header.NextSlotNumber = SlotNumber(slot.Value + 1);
    header.ImageChanged = 1;
    SetFreeSlotHead(header, NoSlot);
}

void FreeSlot(TDataFileHeader& header, SlotNumber slot, std::span<std::uint8_t, RecordHeaderSize> slotImage,
              bool hasPrimaryIndex) noexcept {
    TRecordHeader record = DecodeRecordHeader(slotImage);
    const SlotNumber next = NextFreeSlot(header, hasPrimaryIndex);
    record.Status = RecordDeleted;
    record.Link = next != header.NextSlotNumber ? next : NoSlot;
    EncodeRecordHeader(record, slotImage);
    SetFreeSlotHead(header, slot);
}

}  // namespace engine
