// TBlobFile's open values: opening a record's large-object value by handle, reading, writing and sizing it
// in memory, saving the changed ones with their record and closing them (declared in BlobFile.h).
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "engine/base/EngineError.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/blob/BlobFile.h"

namespace engine {

std::uint16_t TBlobFile::Refuse(std::uint16_t code) const {
    SetErrorContext(code, owner_.TableFileName(), {}, {}, {});
    return code;
}

std::size_t TBlobFile::SlotOf(std::int32_t handle) const noexcept {
    std::size_t slot = 0;
    // Handles are positive: 0 and below name no value.
    if (handle <= 0) return openValues_.size();
    while (slot < openValues_.size() && openValues_[slot].Handle != handle) ++slot;
    return slot;
}

TBlobBuffer* TBlobFile::FindValue(std::int32_t handle) const noexcept {
    const std::size_t slot = SlotOf(handle);
    return slot < openValues_.size() ? openValues_[slot].Value.get() : nullptr;
}

void TBlobFile::SetNextHandle(std::int32_t handle) noexcept {
    nextHandle_ = handle >= 1 ? handle : 1;
}

std::int32_t TBlobFile::TakeHandle() noexcept {
    // At most MaxOpenBlobs handles are skipped: one of the next MaxOpenBlobs + 1 is free.
    for (;;) {
        const std::int32_t handle = nextHandle_;
        nextHandle_ = handle == MaxBlobHandle ? 1 : handle + 1;
        if (!IsBlobOpen(handle)) return handle;
    }
}

std::uint16_t TBlobFile::OpenBlob(BlockOffset firstBlock, std::uint16_t fieldNumber, SlotNumber owner,
                                  std::uint8_t openMode, std::int32_t& handle) {
    if (openValues_.size() >= MaxOpenBlobs) return Refuse(ErrTooManyBlobs);
    OpenBlobValue open;
    try {
        open.Value = std::make_unique<TBlobBuffer>(*this, owner, fieldNumber, firstBlock, openMode);
        // The slot is there before the value is loaded, so that a loaded value is never lost to memory.
        openValues_.reserve(MaxOpenBlobs);
    } catch (const std::bad_alloc&) {
        RaiseEngineError(ErrOutOfMemory, FileName());
    }
    // A value whose chain cannot be loaded is not opened.
    open.Value->LoadChain();
    open.Handle = TakeHandle();
    handle = open.Handle;
    openValues_.push_back(std::move(open));
    return 0;
}

std::uint16_t TBlobFile::CloseBlob(std::int32_t handle, BlockOffset& firstBlock) {
    const std::size_t slot = SlotOf(handle);
    if (slot == openValues_.size()) return Refuse(ErrInvalidBlobHandle);
    firstBlock = openValues_[slot].Value->FirstBlock();
    openValues_.erase(openValues_.begin() + static_cast<std::ptrdiff_t>(slot));
    return 0;
}

std::uint16_t TBlobFile::ReadBlob(std::int32_t handle, std::int32_t offset, std::int32_t count,
                                  std::span<std::uint8_t> destination, std::int32_t& countRead) {
    countRead = 0;
    const TBlobBuffer* const value = FindValue(handle);
    if (value == nullptr) return Refuse(ErrInvalidBlobHandle);
    if (offset < 0) return Refuse(ErrInvalidBlobOffset);
    if (count < 0 || destination.size() < static_cast<std::size_t>(count))
        return Refuse(ErrInvalidBlobLength);
    const std::int32_t size = value->Size();
    // Both are at most 2^31 - 1, so their difference cannot overflow.
    const std::int32_t available = offset < size ? size - offset : 0;
    const std::int32_t got = std::min(count, available);
    if (got > 0)
        std::memcpy(destination.data(), value->Bytes().data() + offset, static_cast<std::size_t>(got));
    countRead = got;
    return got < count ? ErrEndOfBlob : 0;
}

std::uint16_t TBlobFile::WriteBlob(std::int32_t handle, std::int32_t offset, std::int32_t count,
                                   std::span<const std::uint8_t> source) {
    TBlobBuffer* const value = FindValue(handle);
    if (value == nullptr) return Refuse(ErrInvalidBlobHandle);
    if (offset < 0) return Refuse(ErrInvalidBlobOffset);
    const std::int64_t end = std::int64_t{offset} + count;
    if (count < 0 || end > MaxBlobHandle || source.size() < static_cast<std::size_t>(count)) {
        return Refuse(ErrInvalidBlobLength);
    }
    if (end > value->Size()) value->SetSize(static_cast<std::int32_t>(end));
    if (count > 0) std::memcpy(value->GetData() + offset, source.data(), static_cast<std::size_t>(count));
    value->SetChanged(true);
    return 0;
}

std::uint16_t TBlobFile::TruncateBlob(std::int32_t handle, std::int32_t size) {
    TBlobBuffer* const value = FindValue(handle);
    if (value == nullptr) return Refuse(ErrInvalidBlobHandle);
    if (size < 0) return Refuse(ErrInvalidBlobLength);
    value->SetSize(size);
    return 0;
}

std::uint16_t TBlobFile::GetBlobSize(std::int32_t handle, std::int32_t& size) const {
    size = 0;
    const TBlobBuffer* const value = FindValue(handle);
    if (value == nullptr) return Refuse(ErrInvalidBlobHandle);
    size = value->Size();
    return 0;
}

void TBlobFile::SetOwnerRecord(SlotNumber slot) noexcept {
    for (OpenBlobValue& open : openValues_) open.Value->SetOwnerSlot(slot);
}

namespace {

// The changed values with their old chains, and the blocks a save takes beyond those chains, all found before
// any block changes. A save needs one owner for the values it writes.
struct PlannedSave {
    std::vector<std::pair<TBlobBuffer*, ChainWalk>> Changed;
    std::vector<BlockOffset> OldBlocks;
    std::uint32_t Beyond = 0;
};

PlannedSave PlanSave(TBlobFile& file, const std::vector<TBlobBuffer*>& values, bool sameOwner, bool fresh) {
    PlannedSave plan;
    try {
        for (TBlobBuffer* const value : values) {
            if (!value->Changed()) continue;
            if (sameOwner && !plan.Changed.empty() &&
                value->OwnerSlot() != plan.Changed.front().first->OwnerSlot())
                file.RaiseCorrupt();
            ChainWalk old = value->StoredChain();
            // At most 64 values of at most 2^31 - 1 bytes in blocks of at least 46 payload bytes: no
            // overflow.
            plan.Beyond += value->BlocksToTake(old, fresh);
            plan.OldBlocks.insert(plan.OldBlocks.end(), old.Blocks.begin(), old.Blocks.end());
            plan.Changed.emplace_back(value, std::move(old));
        }
    } catch (const std::bad_alloc&) {
        RaiseEngineError(ErrOutOfMemory, file.FileName());
    }
    return plan;
}

std::vector<TBlobBuffer*> Values(const std::vector<OpenBlobValue>& open) {
    std::vector<TBlobBuffer*> values;
    values.reserve(open.size());
    for (const OpenBlobValue& value : open) values.push_back(value.Value.get());
    return values;
}

}  // namespace

void TBlobFile::SaveModified() {
    SaveValues(Values(openValues_));
}

void TBlobFile::SaveValues(const std::vector<TBlobBuffer*>& values, std::vector<BlockOffset>* retired) {
    // Everything a save could fail on is found before any block changes, so a failed post leaves every
    // value's chain as it was.
    PlannedSave plan = PlanSave(*this, values, true, retired != nullptr);
    CheckRoomFor(plan.Beyond, plan.OldBlocks);
    for (auto& [value, old] : plan.Changed) value->WriteChain(old, retired);
}

void TBlobFile::CheckSave(const std::vector<TBlobBuffer*>& values, bool fresh) {
    const PlannedSave plan = PlanSave(*this, values, false, fresh);
    CheckRoomFor(plan.Beyond, plan.OldBlocks);
}

void TBlobFile::FreeBlocks(const std::vector<BlockOffset>& blocks) {
    const auto count = static_cast<std::uint32_t>(blocks.size());
    for (std::uint32_t i = 0; i < count; ++i) {
        BlockPin block = FetchForWrite(blocks[i], count - i);
        FreeBlock(*block);
    }
}

std::vector<OpenValueState> TBlobFile::OpenValueStates() const {
    std::vector<OpenValueState> states;
    states.reserve(openValues_.size());
    for (const OpenBlobValue& open : openValues_) {
        states.push_back(
            {open.Handle, open.Value->Changed(), open.Value->FirstBlock(), open.Value->OwnerSlot()});
    }
    return states;
}

void TBlobFile::RestoreOpenValueStates(const std::vector<OpenValueState>& states) noexcept {
    std::erase_if(openValues_, [&](const OpenBlobValue& open) {
        return std::none_of(states.begin(), states.end(),
                            [&](const OpenValueState& state) { return state.Handle == open.Handle; });
    });
    for (const OpenValueState& state : states) {
        if (TBlobBuffer* value = FindValue(state.Handle)) {
            value->SetChanged(state.Changed);
            value->SetFirstBlock(state.FirstBlock);
            value->SetOwnerSlot(state.Owner);
        }
    }
}

void TBlobFile::StoreFirstBlocks(const std::function<void(std::uint16_t, BlockOffset)>& store) const {
    for (const OpenBlobValue& open : openValues_) store(open.Value->FieldNumber(), open.Value->FirstBlock());
}

void TBlobFile::FreeAllBuffers() noexcept {
    openValues_.clear();
}

}  // namespace engine
