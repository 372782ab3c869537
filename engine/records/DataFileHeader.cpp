#include "engine/records/DataFileHeader.h"

#include <cstring>

#include "engine/base/FileBytes.h"
#include "engine/base/Scramble.h"

namespace engine {

namespace {

// A protected table's header keeps the characters of these strings scrambled, the length byte plain.
void StoreHeaderString(std::uint8_t* bytes, std::size_t room, const std::string& text, bool scramble) {
    StoreShortString(bytes, room, text);
    if (scramble) ScrambleBuffer(bytes + 1, bytes[0], PasswordSeed);
}

std::string LoadHeaderString(const std::uint8_t* bytes, std::size_t room, bool scrambled) {
    std::string text = LoadShortString(bytes, room);
    if (scrambled) UnscrambleBuffer(text.data(), text.size(), PasswordSeed);
    return text;
}

}  // namespace

void EncodeDataFileHeader(const TDataFileHeader& header, std::span<std::uint8_t, DataFileHeaderSize> bytes) {
    std::uint8_t* const b = bytes.data();
    std::memset(b, 0, bytes.size());
    const bool scramble = header.Protected != 0;
    StoreU32(b + HeaderChangeCounterOffset, header.ChangeCounter);
    StoreU32(b + HeaderBlockSizeOffset, header.BlockSize);
    b[HeaderVersionOffset] = header.Version;
    StoreU32(b + HeaderFreeSlotHeadOffset, header.FreeSlotHead.Value);
    StoreU32(b + HeaderNextSlotOffset, header.NextSlotNumber.Value);
    StoreU32(b + HeaderLastRecordIdOffset, header.LastRecordId.Value);
    StoreU16(b + HeaderRecordSizeOffset, header.RecordSize);
    StoreU16(b + HeaderFieldCountOffset, header.FieldCount);
    StoreU16(b + HeaderBlobFieldCountOffset, header.BlobFieldCount);
    StoreF64(b + HeaderWriteTimeOffset, header.WriteTime);
    StoreHeaderString(b + HeaderDescriptionOffset, MaxDescriptionLength, header.Description, scramble);
    b[HeaderProtectedOffset] = header.Protected;
    StoreHeaderString(b + HeaderPasswordOffset, MaxPasswordLength, header.Password, scramble);
    StoreU16(b + HeaderLanguageIdOffset, header.LanguageId);
    StoreU16(b + HeaderSortIdOffset, header.SortId);
    StoreU16(b + HeaderReservedAOffset, header.ReservedA);
    StoreU16(b + HeaderReservedBOffset, header.ReservedB);
    StoreU16(b + HeaderCalcAreaOffset, header.CalcAreaSize);
    b[HeaderImageChangedOffset] = header.ImageChanged;
}

bool DecodeDataFileHeader(std::span<const std::uint8_t, DataFileHeaderSize> bytes, TDataFileHeader& header) {
    const std::uint8_t* const b = bytes.data();
    header.ChangeCounter = LoadU32(b + HeaderChangeCounterOffset);
    header.BlockSize = LoadU32(b + HeaderBlockSizeOffset);
    header.Version = b[HeaderVersionOffset];
    header.FreeSlotHead = SlotNumber(LoadU32(b + HeaderFreeSlotHeadOffset));
    header.NextSlotNumber = SlotNumber(LoadU32(b + HeaderNextSlotOffset));
    header.LastRecordId = RecordId(LoadU32(b + HeaderLastRecordIdOffset));
    header.RecordSize = LoadU16(b + HeaderRecordSizeOffset);
    header.FieldCount = LoadU16(b + HeaderFieldCountOffset);
    header.BlobFieldCount = LoadU16(b + HeaderBlobFieldCountOffset);
    header.WriteTime = LoadF64(b + HeaderWriteTimeOffset);
    header.Protected = b[HeaderProtectedOffset];
    const bool scrambled = header.Protected != 0;
    header.Description = LoadHeaderString(b + HeaderDescriptionOffset, MaxDescriptionLength, scrambled);
    header.Password = LoadHeaderString(b + HeaderPasswordOffset, MaxPasswordLength, scrambled);
    header.LanguageId = LoadU16(b + HeaderLanguageIdOffset);
    header.SortId = LoadU16(b + HeaderSortIdOffset);
    header.ReservedA = LoadU16(b + HeaderReservedAOffset);
    header.ReservedB = LoadU16(b + HeaderReservedBOffset);
    header.CalcAreaSize = LoadU16(b + HeaderCalcAreaOffset);
    header.ImageChanged = b[HeaderImageChangedOffset];
    return ShortStringFits(b + HeaderDescriptionOffset, MaxDescriptionLength) &&
           ShortStringFits(b + HeaderPasswordOffset, MaxPasswordLength);
}

}  // namespace engine
