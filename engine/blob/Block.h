// TBlock: one block of a large-object file held in the block cache: its header fields and its payload.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/base/Cache.h"
#include "engine/blob/BlobFileHeader.h"
#include "engine/records/RecordNumbers.h"

namespace engine {

class TBlobFile;

class TBlock : public TCacheEntry<BlockOffset> {
public:
    // An empty block of the file's payload size.
    explicit TBlock(const TBlobFile& file);

    // Zero header and payload.
    void Reset() noexcept;
    // Takes header and payload from a block image of the file's block size; a protected table's image holds
    // them scrambled, each as a buffer of its own.
    void Load(std::span<const std::uint8_t> image) noexcept;
    void Store(std::span<std::uint8_t> image) const noexcept;

    // Copies min(count, bytes used) payload bytes from the offset and answers how many. 10029 when the bytes
    // would pass the payload; 8963 when the block claims more bytes used than a payload holds.
    std::uint32_t ReadData(std::uint32_t offset, std::uint32_t count, std::uint8_t* destination) const;
    // Copies count bytes to the payload at the offset; bytes used := offset + count. 10029 when they would
    // pass the payload.
    std::uint32_t WriteData(std::uint32_t offset, std::uint32_t count, const std::uint8_t* source);

    const TBlockHeader& Header() const noexcept { return header_; }
    BlockOffset Previous() const noexcept { return header_.Previous; }
    BlockOffset Next() const noexcept { return header_.Next; }
    std::uint16_t BytesUsed() const noexcept { return header_.BytesUsed; }
    SlotNumber Owner() const noexcept { return header_.Owner; }
    std::uint32_t TotalLength() const noexcept { return header_.TotalLength; }
    std::span<const std::uint8_t> Payload() const noexcept { return payload_; }

    // Each marks the block dirty only when it changes the value.
    void SetPrevious(BlockOffset offset) noexcept { Change(header_.Previous, offset); }
    void SetNext(BlockOffset offset) noexcept { Change(header_.Next, offset); }
    void SetOwner(SlotNumber slot) noexcept { Change(header_.Owner, slot); }
    void SetTotalLength(std::uint32_t length) noexcept { Change(header_.TotalLength, length); }

private:
    template <class T>
    void Change(T& field, T value) noexcept {
        if (field == value) return;
        field = value;
        MarkDirty();
    }
    // 10029 or 8963, naming the file.
    [[noreturn]] void Raise(std::uint16_t code) const;

    const TBlobFile& file_;
    TBlockHeader header_;
    std::vector<std::uint8_t> payload_;
};

using BlockPin = TCachePin<TBlock>;

}  // namespace engine
