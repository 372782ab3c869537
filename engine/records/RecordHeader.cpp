#include "engine/records/RecordHeader.h"

#include "engine/base/FileBytes.h"

namespace engine {

void EncodeRecordHeader(const TRecordHeader& header,
                        std::span<std::uint8_t, RecordHeaderSize> bytes) noexcept {
    bytes[RecordStatusOffset] = header.Status;
    StoreU32(bytes.data() + RecordLinkOffset, header.Link.Value);
    StoreU32(bytes.data() + RecordIdOffset, header.Id.Value);
}

TRecordHeader DecodeRecordHeader(std::span<const std::uint8_t, RecordHeaderSize> bytes) noexcept {
    TRecordHeader header;
    header.Status = bytes[RecordStatusOffset];
    header.Link = SlotNumber(LoadU32(bytes.data() + RecordLinkOffset));
    header.Id = RecordId(LoadU32(bytes.data() + RecordIdOffset));
    return header;
}

}  // namespace engine
