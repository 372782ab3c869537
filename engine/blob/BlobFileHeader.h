// TBlobFileHeader and TBlockHeader: the header of a large-object file (".BLB") and the header of each of its
// blocks, their codecs, and the geometry of the block grid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/records/RecordNumbers.h"

namespace engine {

// A large-object file is a 512-byte header followed by blocks of the table's block size B; block k lies at
// 512 + k x B. Each value is a chain of blocks, and the record's field holds the offset of the first.
//
// Header (offset 0):
// | Offset | Width | Field                                                                               |
// |--------|-------|-------------------------------------------------------------------------------------|
// | 0      | u32   | change counter: +1 at every header write                                            |
// | 4      | u32   | not used (0 in a new file), written as it stands                                    |
// | 8      | u8    | version, always 3                                                                   |
// | 9      | u32   | head of the free-block list (0 = empty)                                             |
// | 13     | u32   | end of file: the offset of the next block to append; 512 in a new or reset file     |
// | 17     | u8    | header-changed flag of the in-memory copy, written as it stands, never read         |
// | 18     | 494   | zero                                                                                |
inline constexpr std::size_t BlobFileHeaderSize = 512;

inline constexpr std::size_t BlobHeaderCounterOffset = 0;
inline constexpr std::size_t BlobHeaderUnusedOffset = 4;
inline constexpr std::size_t BlobHeaderVersionOffset = 8;
inline constexpr std::size_t BlobHeaderFreeHeadOffset = 9;
inline constexpr std::size_t BlobHeaderEndOfFileOffset = 13;
inline constexpr std::size_t BlobHeaderChangedOffset = 17;
inline constexpr std::size_t BlobHeaderZeroOffset = 18;

// The only format version this engine reads and writes.
inline constexpr std::uint8_t BlobFileVersion = 3;
// The first block lies right after the header.
inline constexpr std::uint32_t FirstBlockOffset = BlobFileHeaderSize;
// An append may start at most here, so that no block reaches the lock bytes at the top of the 2 GB range.
inline constexpr std::uint32_t MaxBlobAppendOffset = 2000000000;

struct TBlobFileHeader {
    std::uint32_t ChangeCounter = 0;
    std::uint32_t Unused = 0;
    std::uint8_t Version = 0;
    BlockOffset FreeHead;
    BlockOffset EndOfFile;
    std::uint8_t HeaderChanged = 0;
};

void EncodeBlobFileHeader(const TBlobFileHeader& header,
                          std::span<std::uint8_t, BlobFileHeaderSize> bytes) noexcept;
TBlobFileHeader DecodeBlobFileHeader(std::span<const std::uint8_t, BlobFileHeaderSize> bytes) noexcept;

// Block header, then B - 18 bytes of payload:
// | Offset | Width | Field                                                                               |
// |--------|-------|-------------------------------------------------------------------------------------|
// | 0      | u32   | previous block of the chain (0 for the first)                                       |
// | 4      | u32   | next block of the chain (0 for the last); in a free block, the next free block      |
// | 8      | u16   | payload bytes used                                                                  |
// | 10     | u32   | owning record: the slot number of the record whose value this is                   |
// | 14     | u32   | total length of the value (first block only; 0 in the others)                      |
// A freed block keeps its header but for the next link.
inline constexpr std::size_t BlockHeaderSize = 18;

inline constexpr std::size_t BlockPreviousOffset = 0;
inline constexpr std::size_t BlockNextOffset = 4;
inline constexpr std::size_t BlockUsedOffset = 8;
inline constexpr std::size_t BlockOwnerOffset = 10;
inline constexpr std::size_t BlockTotalOffset = 14;

struct TBlockHeader {
    BlockOffset Previous;
    BlockOffset Next;
    std::uint16_t BytesUsed = 0;
    SlotNumber Owner;
    std::uint32_t TotalLength = 0;
};

void EncodeBlockHeader(const TBlockHeader& header, std::span<std::uint8_t, BlockHeaderSize> bytes) noexcept;
TBlockHeader DecodeBlockHeader(std::span<const std::uint8_t, BlockHeaderSize> bytes) noexcept;

// The payload a block of size B carries.
constexpr std::uint32_t BlockPayloadSize(std::uint32_t blockSize) noexcept {
    return blockSize - static_cast<std::uint32_t>(BlockHeaderSize);
}

// Whether an end of file lies on the grid of blocks of size B, from the first block to one past the last
// block an append may start.
constexpr bool IsBlockGridEnd(BlockOffset endOfFile, std::uint32_t blockSize) noexcept {
    return endOfFile.Value >= FirstBlockOffset && (endOfFile.Value - FirstBlockOffset) % blockSize == 0 &&
           endOfFile.Value <= MaxBlobAppendOffset + blockSize;
}

// Whether an offset names a block of the file: on the grid and below the end of file. Nothing else may be
// read, linked or freed.
constexpr bool IsBlockOffset(BlockOffset offset, BlockOffset endOfFile, std::uint32_t blockSize) noexcept {
    return offset.Value >= FirstBlockOffset && offset < endOfFile &&
           (offset.Value - FirstBlockOffset) % blockSize == 0;
}

}  // namespace engine
