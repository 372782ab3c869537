#include "engine/blob/BlobFileHeader.h"

#include <cstring>

#include "engine/base/FileBytes.h"

namespace engine {

void EncodeBlobFileHeader(const TBlobFileHeader& header,
                          std::span<std::uint8_t, BlobFileHeaderSize> bytes) noexcept {
    std::uint8_t* const b = bytes.data();
    std::memset(b, 0, bytes.size());
    StoreU32(b + BlobHeaderCounterOffset, header.ChangeCounter);
    StoreU32(b + BlobHeaderUnusedOffset, header.Unused);
    b[BlobHeaderVersionOffset] = header.Version;
    StoreU32(b + BlobHeaderFreeHeadOffset, header.FreeHead.Value);
    StoreU32(b + BlobHeaderEndOfFileOffset, header.EndOfFile.Value);
    b[BlobHeaderChangedOffset] = header.HeaderChanged;
}

TBlobFileHeader DecodeBlobFileHeader(std::span<const std::uint8_t, BlobFileHeaderSize> bytes) noexcept {
    const std::uint8_t* const b = bytes.data();
    TBlobFileHeader header;
    header.ChangeCounter = LoadU32(b + BlobHeaderCounterOffset);
    header.Unused = LoadU32(b + BlobHeaderUnusedOffset);
    header.Version = b[BlobHeaderVersionOffset];
    header.FreeHead = BlockOffset(LoadU32(b + BlobHeaderFreeHeadOffset));
    header.EndOfFile = BlockOffset(LoadU32(b + BlobHeaderEndOfFileOffset));
    header.HeaderChanged = b[BlobHeaderChangedOffset];
    return header;
}

void EncodeBlockHeader(const TBlockHeader& header, std::span<std::uint8_t, BlockHeaderSize> bytes) noexcept {
    std::uint8_t* const b = bytes.data();
    StoreU32(b + BlockPreviousOffset, header.Previous.Value);
    StoreU32(b + BlockNextOffset, header.Next.Value);
    StoreU16(b + BlockUsedOffset, header.BytesUsed);
    StoreU32(b + BlockOwnerOffset, header.Owner.Value);
    StoreU32(b + BlockTotalOffset, header.TotalLength);
}

TBlockHeader DecodeBlockHeader(std::span<const std::uint8_t, BlockHeaderSize> bytes) noexcept {
    const std::uint8_t* const b = bytes.data();
    TBlockHeader header;
    header.Previous = BlockOffset(LoadU32(b + BlockPreviousOffset));
    header.Next = BlockOffset(LoadU32(b + BlockNextOffset));
    header.BytesUsed = LoadU16(b + BlockUsedOffset);
    header.Owner = SlotNumber(LoadU32(b + BlockOwnerOffset));
    header.TotalLength = LoadU32(b + BlockTotalOffset);
    return header;
}

}  // namespace engine
