// TDataFileHeader: the 127-byte header at the start of a record file (".DAT"), and its codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "engine/records/FieldDesc.h"
#include "engine/records/RecordNumbers.h"

namespace engine {

// Record file layout: the header, then one 768-byte descriptor per field, then the record slots.
//
// | Offset | Size | Type   | Field                                                                  |
// |--------|------|--------|------------------------------------------------------------------------|
// | 0      | 4    | u32    | change counter: +1 at every header write                               |
// | 4      | 4    | u32    | large-object block size (64..65535; 0 is read as 512)                  |
// | 8      | 1    | u8     | version, always 3                                                      |
// | 9      | 4    | u32    | free-slot head (0 = empty chain)                                       |
// | 13     | 4    | u32    | next slot number (number of slots + 1)                                 |
// | 17     | 4    | u32    | last record ID handed out                                              |
// | 21     | 2    | u16    | record size                                                            |
// | 23     | 2    | u16    | field count                                                            |
// | 25     | 2    | u16    | large-object field count                                               |
// | 27     | 8    | f64    | write time (date-time minus 693594.0); written, never read             |
// | 35     | 51   | ss[50] | description; characters scrambled with PasswordSeed when protected     |
// | 86     | 1    | u8     | protected flag                                                         |
// | 87     | 16   | ss[15] | password; characters scrambled with PasswordSeed                       |
// | 103    | 2    | u16    | language id                                                            |
// | 105    | 2    | u16    | sort id                                                                |
// | 107    | 2    | u16    | reserved A (from create, never read)                                   |
// | 109    | 2    | u16    | reserved B (from create, never read)                                   |
// | 111    | 2    | u16    | calculated-field area size                                             |
// | 113    | 1    | u8     | image-changed mark, written as it stands                               |
// | 114    | 13   | -      | zero                                                                   |
inline constexpr std::size_t DataFileHeaderSize = 127;

inline constexpr std::size_t HeaderChangeCounterOffset = 0;
inline constexpr std::size_t HeaderBlockSizeOffset = 4;
inline constexpr std::size_t HeaderVersionOffset = 8;
inline constexpr std::size_t HeaderFreeSlotHeadOffset = 9;
inline constexpr std::size_t HeaderNextSlotOffset = 13;
inline constexpr std::size_t HeaderLastRecordIdOffset = 17;
inline constexpr std::size_t HeaderRecordSizeOffset = 21;
inline constexpr std::size_t HeaderFieldCountOffset = 23;
inline constexpr std::size_t HeaderBlobFieldCountOffset = 25;
inline constexpr std::size_t HeaderWriteTimeOffset = 27;
inline constexpr std::size_t HeaderDescriptionOffset = 35;
inline constexpr std::size_t HeaderProtectedOffset = 86;
inline constexpr std::size_t HeaderPasswordOffset = 87;
inline constexpr std::size_t HeaderLanguageIdOffset = 103;
inline constexpr std::size_t HeaderSortIdOffset = 105;
inline constexpr std::size_t HeaderReservedAOffset = 107;
inline constexpr std::size_t HeaderReservedBOffset = 109;
inline constexpr std::size_t HeaderCalcAreaOffset = 111;
inline constexpr std::size_t HeaderImageChangedOffset = 113;
inline constexpr std::size_t HeaderUnusedOffset = 114;

// Rooms of the two strings.
inline constexpr std::size_t MaxDescriptionLength = 50;
inline constexpr std::size_t MaxPasswordLength = 15;

// The only format version this engine reads and writes.
inline constexpr std::uint8_t DataFileVersion = 3;
// Limits of the format: fields per table, large-object fields per table, record IDs (the counter wraps to 1
// after the largest positive 32-bit value), and a record image (its sizes are 16-bit).
inline constexpr std::uint16_t MaxFieldCount = 1024;
inline constexpr std::uint16_t MaxBlobFieldCount = 32;
inline constexpr RecordId MaxRecordId{0x7FFFFFFF};
inline constexpr std::uint32_t MaxRecordImageSize = 65535;
// Large-object block sizes a table may be created with; a stored 0 stands for the default.
inline constexpr std::uint32_t MinBlobBlockSize = 64;
inline constexpr std::uint32_t MaxBlobBlockSize = 65535;
inline constexpr std::uint32_t DefaultBlobBlockSize = 512;

// The write time counts days from 30 December 1899 less this many days: the day number of that date.
inline constexpr double WriteTimeBias = 693594.0;

// The header as the engine keeps it in memory. The description and the password hold their plain text: the
// codec scrambles and unscrambles their characters for a protected table.
struct TDataFileHeader {
    std::uint32_t ChangeCounter = 0;
    std::uint32_t BlockSize = 0;
    std::uint8_t Version = 0;
    SlotNumber FreeSlotHead;
    SlotNumber NextSlotNumber;
    RecordId LastRecordId;
    std::uint16_t RecordSize = 0;
    std::uint16_t FieldCount = 0;
    std::uint16_t BlobFieldCount = 0;
    double WriteTime = 0.0;
    std::string Description;
    std::uint8_t Protected = 0;
    std::string Password;
    std::uint16_t LanguageId = 0;
    std::uint16_t SortId = 0;
    std::uint16_t ReservedA = 0;
    std::uint16_t ReservedB = 0;
    std::uint16_t CalcAreaSize = 0;
    std::uint8_t ImageChanged = 0;
};

// Writes the 127 bytes; strings longer than their room are cut.
void EncodeDataFileHeader(const TDataFileHeader& header, std::span<std::uint8_t, DataFileHeaderSize> bytes);
// Reads the 127 bytes. False when a string's length byte claims more than its room (the string is then cut
// to the room), which a correct file never holds.
bool DecodeDataFileHeader(std::span<const std::uint8_t, DataFileHeaderSize> bytes, TDataFileHeader& header);

// The block size a header gives the large-object file: a stored 0 stands for the default.
constexpr std::uint32_t EffectiveBlobBlockSize(const TDataFileHeader& header) noexcept {
    return header.BlockSize == 0 ? DefaultBlobBlockSize : header.BlockSize;
}

// Where the slots start: after the header and the descriptors of fieldCount fields.
constexpr std::int64_t SlotAreaStart(std::uint32_t fieldCount) noexcept {
    return static_cast<std::int64_t>(DataFileHeaderSize) +
           static_cast<std::int64_t>(FieldDescSize) * static_cast<std::int64_t>(fieldCount);
}

}  // namespace engine
