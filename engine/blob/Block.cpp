#include "engine/blob/Block.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/base/EngineError.h"
#include "engine/base/Scramble.h"
#include "engine/blob/BlobFile.h"

namespace engine {

TBlock::TBlock(const TBlobFile& file) : file_(file), payload_(file.GetPayloadSize(), 0) {}

void TBlock::Raise(std::uint16_t code) const {
    RaiseEngineError(code, file_.FileName());
}

void TBlock::Reset() noexcept {
    header_ = TBlockHeader{};
    std::fill(payload_.begin(), payload_.end(), 0);
}

void TBlock::Load(std::span<const std::uint8_t> image) noexcept {
    std::array<std::uint8_t, BlockHeaderSize> header{};
    std::memcpy(header.data(), image.data(), header.size());
    std::memcpy(payload_.data(), image.data() + BlockHeaderSize, payload_.size());
    if (file_.Protected()) {
        UnscrambleBuffer(header.data(), header.size(), DataSeed);
        UnscrambleBuffer(payload_.data(), payload_.size(), DataSeed);
    }
    header_ = DecodeBlockHeader(header);
}

void TBlock::Store(std::span<std::uint8_t> image) const noexcept {
    const std::span<std::uint8_t, BlockHeaderSize> header(image.data(), BlockHeaderSize);
    EncodeBlockHeader(header_, header);
    std::uint8_t* const payload = image.data() + BlockHeaderSize;
    std::memcpy(payload, payload_.data(), payload_.size());
    if (file_.Protected()) {
        ScrambleBuffer(header.data(), header.size(), DataSeed);
        ScrambleBuffer(payload, payload_.size(), DataSeed);
    }
}

std::uint32_t TBlock::ReadData(std::uint32_t offset, std::uint32_t count, std::uint8_t* destination) const {
    if (count > payload_.size() || offset > payload_.size() - count) Raise(ErrInvalidBlobLength);
    // Bytes used come from the file: a damaged count must not carry a read past the payload.
    if (header_.BytesUsed > payload_.size()) Raise(ErrBlobBuffersCorrupt);
    const std::uint32_t copied = std::min<std::uint32_t>(count, header_.BytesUsed);
    if (copied > 0) std::memcpy(destination, payload_.data() + offset, copied);
    return copied;
}

std::uint32_t TBlock::WriteData(std::uint32_t offset, std::uint32_t count, const std::uint8_t* source) {
    if (count > payload_.size() || offset > payload_.size() - count) Raise(ErrInvalidBlobLength);
    if (count > 0) std::memcpy(payload_.data() + offset, source, count);
    header_.BytesUsed = static_cast<std::uint16_t>(offset + count);
    MarkDirty();
    return count;
}

}  // namespace engine
