// TIndexFileHeader: page 0 of an index file (".IDX"): change counter, end of file, live record count and the
// descriptors of the table's indexes; and its codec.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/index/Page.h"
#include "engine/records/IndexDescriptor.h"

namespace engine {

// | Offset | Width    | Field                                                                          |
// |--------|----------|--------------------------------------------------------------------------------|
// | 0      | u32      | change counter: +1 at every header write                                       |
// | 4      | u32      | not used; written as it stands in memory, 0 in a new file                      |
// | 8      | u8       | version, always 3                                                              |
// | 9      | u32      | end of file: offset of the next page to append; 4096 in a new file             |
// | 13     | u8       | number of secondary indexes, 0..30                                             |
// | 14     | 32 x 120 | index descriptors (IndexDescriptor.h): 0 primary, 1..30 secondary in order of  |
// |        |          | creation, 31 the internal index "Sys Deleted"                                  |
// | 3854   | 120      | zero                                                                           |
// | 3974   | u32      | live record count                                                              |
// | 3978   | u8       | no-primary-index flag: 1 when the table was defined without a primary index    |
// | 3979   | u8       | header-changed flag of the in-memory copy, written as it stands, never read    |
// | 3980   | 116      | zero                                                                           |
//
// A protected table's header is scrambled on disk as one 4096-byte buffer with DataSeed.
inline constexpr std::size_t IndexHeaderSize = PageSize;

inline constexpr std::size_t IndexChangeCounterOffset = 0;
inline constexpr std::size_t IndexUnusedWordOffset = 4;
inline constexpr std::size_t IndexVersionOffset = 8;
inline constexpr std::size_t IndexEndOfFileOffset = 9;
inline constexpr std::size_t IndexSecondaryCountOffset = 13;
inline constexpr std::size_t IndexDescriptorsOffset = 14;
inline constexpr std::size_t IndexZeroAreaOffset = 3854;
inline constexpr std::size_t IndexRecordCountOffset = 3974;
inline constexpr std::size_t IndexNoPrimaryOffset = 3978;
inline constexpr std::size_t IndexHeaderChangedOffset = 3979;
inline constexpr std::size_t IndexTailOffset = 3980;

// The only format version this engine reads and writes.
inline constexpr std::uint8_t IndexFileVersion = 3;
// Descriptor slots: the primary index, 30 secondary indexes and "Sys Deleted".
inline constexpr std::size_t IndexSlotCount = 32;
inline constexpr std::uint8_t PrimaryIndexSlot = 0;
inline constexpr std::uint8_t MaxSecondaryIndexes = 30;
inline constexpr std::uint8_t SysDeletedSlot = 31;
// The index number of natural order (slot order through the visible-record bitmap).
inline constexpr std::uint8_t NaturalOrderIndex = 255;
// A "Sys Deleted" key: the record's status byte and its encoded record ID.
inline constexpr std::uint16_t SysDeletedKeyLength = 5;
// Compression modes run from 0 (none) to 3 (both).
inline constexpr std::uint8_t MaxCompression = 3;
// The end of file of a new or truncated index file: the header alone.
inline constexpr PageOffset FirstPageOffset{PageSize};

struct TIndexFileHeader {
    std::uint32_t ChangeCounter = 0;
    std::uint32_t UnusedWord = 0;
    std::uint8_t Version = 0;
    PageOffset EndOfFile;
    std::uint8_t SecondaryCount = 0;
    std::array<TIndexDescriptor, IndexSlotCount> Indexes{};
    std::uint32_t RecordCount = 0;
    std::uint8_t NoPrimaryIndex = 0;
    std::uint8_t HeaderChanged = 0;
};

// The header of a new index file: version 3, end of file 4096, "Sys Deleted" in slot 31 (key length 5, no
// fields, compression 0, not unique), marked changed.
TIndexFileHeader NewIndexFileHeader();

// Writes the 4096 bytes, the unused areas zero; names longer than their room are cut.
void EncodeIndexFileHeader(const TIndexFileHeader& header, std::span<std::uint8_t, IndexHeaderSize> bytes);
// Reads the 4096 bytes. False when a descriptor's name length claims more than its room (the name is then
// cut), which a correct file never holds.
bool DecodeIndexFileHeader(std::span<const std::uint8_t, IndexHeaderSize> bytes, TIndexFileHeader& header);

// An empty slot: name, key length, bytes 33..85 (options, field count, descending flags, field numbers),
// root and bytes 94..119 zeroed; the free-list head stays, since its pages still belong to the slot.
void ClearIndexDescriptor(TIndexDescriptor& descriptor) noexcept;

}  // namespace engine
