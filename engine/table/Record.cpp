#include "engine/table/Record.h"

#include <algorithm>

#include "engine/base/EngineError.h"
#include "engine/base/FileBytes.h"
#include "engine/base/Scramble.h"
#include "engine/records/RecordHeader.h"
#include "engine/table/DataFile.h"

namespace engine {

TRecord::TRecord(TDataFile& table) : table_(table), image_(table.GetRecordBufferSize(), 0) {}

void TRecord::Reset() {
    image_.assign(table_.GetRecordBufferSize(), 0);
    calculated_ = false;
}

void TRecord::Load(std::span<const std::uint8_t> slot) {
    const std::size_t recordSize = table_.GetRecordSize();
    image_.assign(table_.GetRecordBufferSize(), 0);
    std::copy_n(slot.begin(), std::min(slot.size(), recordSize), image_.begin());
    if (table_.TableProtected()) UnscrambleBuffer(image_.data(), recordSize, DataSeed);
    // The link of an active slot is its own number, whatever the file says: the cache knows where it lies.
    if (image_[RecordStatusOffset] == RecordActive) StoreU32(&image_[RecordLinkOffset], GetPosition().Value);
    calculated_ = false;
}

void TRecord::Store(std::span<std::uint8_t> slot) const {
    const std::size_t recordSize = std::min<std::size_t>(slot.size(), table_.GetRecordSize());
    std::copy_n(image_.begin(), recordSize, slot.begin());
    if (table_.TableProtected()) ScrambleBuffer(slot.data(), recordSize, DataSeed);
}

void TRecord::Clear(bool newRecordId) {
    std::fill(image_.begin(), image_.end(), 0);
    StoreU32(&image_[RecordLinkOffset], GetPosition().Value);
    if (newRecordId) StoreU32(&image_[RecordIdOffset], table_.NextAutoInc().Value);
    calculated_ = false;
    MarkDirty();
}

void TRecord::CopyFields(std::span<const std::uint8_t> image) {
    if (image.size() < image_.size()) RaiseEngineError(ErrRecordBuffersCorrupt, table_.FileName());
    std::copy(image.begin() + RecordHeaderSize, image.begin() + static_cast<std::ptrdiff_t>(image_.size()),
              image_.begin() + RecordHeaderSize);
    calculated_ = false;
    MarkDirty();
}

void TRecord::FitImageSize() {
    const std::size_t recordSize = table_.GetRecordSize();
    image_.resize(table_.GetRecordBufferSize());
    std::fill(image_.begin() + static_cast<std::ptrdiff_t>(std::min(recordSize, image_.size())), image_.end(),
              0);
    calculated_ = false;
}

std::uint8_t TRecord::Status() const noexcept {
    return image_[RecordStatusOffset];
}

void TRecord::SetStatus(std::uint8_t status) noexcept {
    if (image_[RecordStatusOffset] == status) return;
    image_[RecordStatusOffset] = status;
    MarkDirty();
}

void TRecord::ChangeU32(std::size_t offset, std::uint32_t value) noexcept {
    if (LoadU32(&image_[offset]) == value) return;
    StoreU32(&image_[offset], value);
    MarkDirty();
}

SlotNumber TRecord::Link() const noexcept {
    return SlotNumber(LoadU32(&image_[RecordLinkOffset]));
}

void TRecord::SetLink(SlotNumber link) noexcept {
    ChangeU32(RecordLinkOffset, link.Value);
}

RecordId TRecord::Id() const noexcept {
    return RecordId(LoadU32(&image_[RecordIdOffset]));
}

void TRecord::SetId(RecordId id) noexcept {
    ChangeU32(RecordIdOffset, id.Value);
}

}  // namespace engine
