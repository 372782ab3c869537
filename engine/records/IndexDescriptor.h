// TIndexDescriptor: the engine's 120-byte index descriptor, as the index file stores it and as index
// definitions pass to and from the dataset components and the SQL engine; and its codec.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace engine {

// | Offset | Size    | Type       | Field                                                          |
// |--------|---------|------------|----------------------------------------------------------------|
// | 0      | 31      | ss[30]     | name; empty for the primary index                              |
// | 31     | 2       | u16        | key length in bytes                                            |
// | 33     | 1       | u8         | descending (whole index)                                       |
// | 34     | 1       | u8         | case-insensitive                                               |
// | 35     | 1       | u8         | unique                                                         |
// | 36     | 1       | u8         | leaf compression: 0 none, 1 leading, 2 trailing, 3 both        |
// | 37     | 1       | u8         | number of key fields, 0..16                                    |
// | 38     | 16      | 16 x u8    | descending flag of key fields 1..16                            |
// | 54     | 32      | 16 x u16   | field numbers of key fields 1..16 (unused entries 0)           |
// | 86     | 4       | u32        | offset of the root page; 0 when the index is empty             |
// | 90     | 4       | u32        | head of the free-page list; 0 when empty                       |
// | 94     | 26      | -          | zero, passed through                                           |
inline constexpr std::size_t IndexDescriptorSize = 120;

inline constexpr std::size_t IndexNameOffset = 0;
inline constexpr std::size_t IndexKeyLengthOffset = 31;
inline constexpr std::size_t IndexDescendingOffset = 33;
inline constexpr std::size_t IndexCaseInsensitiveOffset = 34;
inline constexpr std::size_t IndexUniqueOffset = 35;
inline constexpr std::size_t IndexCompressionOffset = 36;
inline constexpr std::size_t IndexFieldCountOffset = 37;
inline constexpr std::size_t IndexFieldDescendingOffset = 38;
inline constexpr std::size_t IndexFieldNumbersOffset = 54;
inline constexpr std::size_t IndexRootOffset = 86;
inline constexpr std::size_t IndexFreeHeadOffset = 90;
inline constexpr std::size_t IndexReservedOffset = 94;

inline constexpr std::size_t MaxIndexNameLength = 30;
// An index has at most this many key fields.
inline constexpr std::size_t MaxIndexFields = 16;
// The longest key a definition may give before a non-unique secondary index adds its record-ID suffix.
inline constexpr std::uint16_t MaxKeyLength = 1036;
// The record-ID suffix of a non-unique secondary index's keys.
inline constexpr std::uint16_t RecordIdSuffixLength = 4;

struct TIndexDescriptor {
    std::string Name;
    std::uint16_t KeyLength = 0;
    std::uint8_t Descending = 0;
    std::uint8_t CaseInsensitive = 0;
    std::uint8_t Unique = 0;
    std::uint8_t Compression = 0;
    std::uint8_t FieldCount = 0;
    std::array<std::uint8_t, MaxIndexFields> FieldDescending{};
    std::array<std::uint16_t, MaxIndexFields> FieldNumbers{};
    std::uint32_t RootPage = 0;
    std::uint32_t FreePageHead = 0;
    std::array<std::uint8_t, 26> Reserved{};
};

// Writes the 120 bytes; a name longer than its room is cut.
void EncodeIndexDescriptor(const TIndexDescriptor& desc, std::span<std::uint8_t, IndexDescriptorSize> bytes);
// Reads the 120 bytes. False when the name's length byte claims more than its room (the name is then cut).
bool DecodeIndexDescriptor(std::span<const std::uint8_t, IndexDescriptorSize> bytes, TIndexDescriptor& desc);

}  // namespace engine
