#include "engine/index/IndexFileHeader.h"

#include <algorithm>

#include "engine/base/EngineTexts.h"
#include "engine/base/FileBytes.h"

namespace engine {

TIndexFileHeader NewIndexFileHeader() {
    TIndexFileHeader header;
    header.Version = IndexFileVersion;
    header.EndOfFile = FirstPageOffset;
    TIndexDescriptor& deleted = header.Indexes[SysDeletedSlot];
    deleted.Name = std::string(texts::SysDeletedIndexName);
    deleted.KeyLength = SysDeletedKeyLength;
    header.HeaderChanged = 1;
    return header;
}

void EncodeIndexFileHeader(const TIndexFileHeader& header, std::span<std::uint8_t, IndexHeaderSize> bytes) {
    std::fill(bytes.begin(), bytes.end(), 0);
    std::uint8_t* const b = bytes.data();
    StoreU32(b + IndexChangeCounterOffset, header.ChangeCounter);
    StoreU32(b + IndexUnusedWordOffset, header.UnusedWord);
    b[IndexVersionOffset] = header.Version;
    StoreU32(b + IndexEndOfFileOffset, header.EndOfFile.Value);
    b[IndexSecondaryCountOffset] = header.SecondaryCount;
    for (std::size_t i = 0; i < IndexSlotCount; ++i) {
        EncodeIndexDescriptor(header.Indexes[i],
                              std::span<std::uint8_t, IndexDescriptorSize>(
                                  b + IndexDescriptorsOffset + i * IndexDescriptorSize, IndexDescriptorSize));
    }
    StoreU32(b + IndexRecordCountOffset, header.RecordCount);
    b[IndexNoPrimaryOffset] = header.NoPrimaryIndex;
    b[IndexHeaderChangedOffset] = header.HeaderChanged;
}

bool DecodeIndexFileHeader(std::span<const std::uint8_t, IndexHeaderSize> bytes, TIndexFileHeader& header) {
    const std::uint8_t* const b = bytes.data();
    header.ChangeCounter = LoadU32(b + IndexChangeCounterOffset);
    header.UnusedWord = LoadU32(b + IndexUnusedWordOffset);
    header.Version = b[IndexVersionOffset];
    header.EndOfFile = PageOffset(LoadU32(b + IndexEndOfFileOffset));
    header.SecondaryCount = b[IndexSecondaryCountOffset];
    bool namesFit = true;
    for (std::size_t i = 0; i < IndexSlotCount; ++i) {
        namesFit &= DecodeIndexDescriptor(
            std::span<const std::uint8_t, IndexDescriptorSize>(
                b + IndexDescriptorsOffset + i * IndexDescriptorSize, IndexDescriptorSize),
            header.Indexes[i]);
    }
    header.RecordCount = LoadU32(b + IndexRecordCountOffset);
    header.NoPrimaryIndex = b[IndexNoPrimaryOffset];
    header.HeaderChanged = b[IndexHeaderChangedOffset];
    return namesFit;
}

void ClearIndexDescriptor(TIndexDescriptor& descriptor) noexcept {
    const std::uint32_t freeHead = descriptor.FreePageHead;
    descriptor = TIndexDescriptor{};
    descriptor.FreePageHead = freeHead;
}

}  // namespace engine
