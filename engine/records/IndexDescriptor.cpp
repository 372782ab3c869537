#include "engine/records/IndexDescriptor.h"

#include <algorithm>

#include "engine/base/FileBytes.h"

namespace engine {

void EncodeIndexDescriptor(const TIndexDescriptor& desc, std::span<std::uint8_t, IndexDescriptorSize> bytes) {
    std::uint8_t* const b = bytes.data();
    StoreShortString(b + IndexNameOffset, MaxIndexNameLength, desc.Name);
    StoreU16(b + IndexKeyLengthOffset, desc.KeyLength);
    b[IndexDescendingOffset] = desc.Descending;
    b[IndexCaseInsensitiveOffset] = desc.CaseInsensitive;
    b[IndexUniqueOffset] = desc.Unique;
    b[IndexCompressionOffset] = desc.Compression;
    b[IndexFieldCountOffset] = desc.FieldCount;
    std::copy(desc.FieldDescending.begin(), desc.FieldDescending.end(), b + IndexFieldDescendingOffset);
    for (std::size_t i = 0; i < MaxIndexFields; ++i) {
        StoreU16(b + IndexFieldNumbersOffset + 2 * i, desc.FieldNumbers[i]);
    }
    StoreU32(b + IndexRootOffset, desc.RootPage);
    StoreU32(b + IndexFreeHeadOffset, desc.FreePageHead);
    std::copy(desc.Reserved.begin(), desc.Reserved.end(), b + IndexReservedOffset);
}

bool DecodeIndexDescriptor(std::span<const std::uint8_t, IndexDescriptorSize> bytes, TIndexDescriptor& desc) {
    const std::uint8_t* const b = bytes.data();
    desc.Name = LoadShortString(b + IndexNameOffset, MaxIndexNameLength);
    desc.KeyLength = LoadU16(b + IndexKeyLengthOffset);
    desc.Descending = b[IndexDescendingOffset];
    desc.CaseInsensitive = b[IndexCaseInsensitiveOffset];
    desc.Unique = b[IndexUniqueOffset];
    desc.Compression = b[IndexCompressionOffset];
    desc.FieldCount = b[IndexFieldCountOffset];
    std::copy_n(b + IndexFieldDescendingOffset, MaxIndexFields, desc.FieldDescending.begin());
    for (std::size_t i = 0; i < MaxIndexFields; ++i) {
        desc.FieldNumbers[i] = LoadU16(b + IndexFieldNumbersOffset + 2 * i);
    }
    desc.RootPage = LoadU32(b + IndexRootOffset);
    desc.FreePageHead = LoadU32(b + IndexFreeHeadOffset);
    std::copy_n(b + IndexReservedOffset, desc.Reserved.size(), desc.Reserved.begin());
    return ShortStringFits(b + IndexNameOffset, MaxIndexNameLength);
}

}  // namespace engine
