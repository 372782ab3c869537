#include "engine/blob/BlobBuffer.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <unordered_set>

#include "engine/base/EngineError.h"
#include "engine/blob/BlobFile.h"

namespace engine {

TBlobBuffer::TBlobBuffer(TBlobFile& file, SlotNumber ownerSlot, std::uint16_t fieldNumber,
                         BlockOffset firstBlock, std::uint8_t openMode)
    : file_(file),
      ownerSlot_(ownerSlot),
      fieldNumber_(fieldNumber),
      firstBlock_(firstBlock),
      openMode_(openMode) {}

void TBlobBuffer::Resize(std::size_t size) {
    try {
        bytes_.resize(size);
    } catch (const std::bad_alloc&) {
        RaiseEngineError(ErrOutOfMemory, file_.FileName());
    }
    if (size == 0) bytes_.shrink_to_fit();
}

void TBlobBuffer::GrowTo(std::size_t size, std::size_t total) {
    try {
        // Doubling keeps the copies few; the length the chain claims caps it, so a whole value takes no more
        // than its own size.
        if (size > bytes_.capacity()) bytes_.reserve(std::min(total, std::max(size, 2 * bytes_.capacity())));
        bytes_.resize(size);
    } catch (const std::bad_alloc&) {
        RaiseEngineError(ErrOutOfMemory, file_.FileName());
    }
}

void TBlobBuffer::SetSize(std::int32_t size) {
    if (size == Size()) return;
    changed_ = true;
    Resize(size >= 1 ? static_cast<std::size_t>(size) : 0);
}

void TBlobBuffer::LoadChain() {
    if (firstBlock_ == BlockOffset{}) return;
    const std::uint32_t payload = file_.GetPayloadSize();
    for (;;) {
        BlockPin block;
        // A change by another program dropped the cache: the chain is read afresh.
        if (!file_.GetBlock(firstBlock_, true, file_.FirstReadCount(firstBlock_), block)) continue;
        if (block->Owner() != ownerSlot_) {
            if (openMode_ != BlobOpenRead) file_.RaiseCorrupt();
            Resize(0);
            changed_ = false;
            return;
        }
        const std::uint32_t total = block->TotalLength();
        // The length comes from the file: no more bytes than every block of the file carries, and no more
        // than a value may hold, are allocated.
        const std::uint64_t fileCapacity =
            static_cast<std::uint64_t>(file_.GetEndOfFile().Value - FirstBlockOffset) / file_.GetBlockSize() *
            payload;
        if (total > fileCapacity ||
            total > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
            RaiseEngineError(ErrEndOfBlob, file_.FileName());
        }
        // Even so a damaged length may claim far more than the chain holds: the bytes are taken as its blocks
        // deliver them.
        bytes_.clear();
        std::uint32_t loaded = 0;
        bool restart = false;
        // A chain laid out in one piece has passed exactly the blocks from its first to the current one; the
        // blocks passed are listed only once it leaves that order, where a link may lead back.
        std::unordered_set<std::uint32_t> visited;
        bool inOnePiece = true;
        std::uint32_t blocks = 1;
        while (loaded < total) {
            const std::uint32_t wanted = std::min(payload, total - loaded);
            GrowTo(loaded + wanted, total);
            const std::uint32_t got = block->ReadData(0, wanted, bytes_.data() + loaded);
            loaded += got;
            bytes_.resize(loaded);
            const BlockOffset next = block->Next();
            if (got < wanted || loaded == total || next == BlockOffset{} || !file_.IsValidBlock(next)) break;
            if (inOnePiece && next.Value != block->GetPosition().Value + file_.GetBlockSize()) {
                inOnePiece = false;
                for (std::uint32_t i = 0; i < blocks; ++i)
                    visited.insert(firstBlock_.Value + i * file_.GetBlockSize());
            }
            if (!inOnePiece && !visited.insert(next.Value).second) file_.RaiseCorrupt();
            BlockPin following;
            try {
                if (!file_.GetBlock(next, true, file_.BlocksNeeded(total - loaded), following)) {
                    restart = true;
                    break;
                }
            } catch (const ETARNISEngineError&) {
                // A block that cannot be fetched ends the value here; its shortness is the error.
                break;
            }
            if (following->Owner() != ownerSlot_) break;
            block = std::move(following);
            ++blocks;
        }
        // A restart's drop of the cache has emptied the pin.
        if (restart) continue;
        file_.ChainLoaded(block->GetPosition(), blocks);
        block.Release();
        changed_ = false;
        if (loaded < total) RaiseEngineError(ErrEndOfBlob, file_.FileName());
        return;
    }
}

void TBlobBuffer::SaveChain() {
    if (bytes_.empty()) return;
    const ChainWalk old = StoredChain();
    file_.CheckRoomFor(BlocksToTake(old, false), old.Blocks);
    WriteChain(old);
}

ChainWalk TBlobBuffer::StoredChain() {
    ChainWalk old;
    if (firstBlock_ == BlockOffset{}) return old;
    BlockPin first = file_.FetchForWrite(firstBlock_, 1);
    if (first->Owner() != ownerSlot_) file_.RaiseCorrupt();
    const std::uint32_t oldBlocks = file_.BlocksNeeded(first->TotalLength());
    first.Release();
    old = file_.WalkChain(firstBlock_, ownerSlot_, oldBlocks);
    if (old.Fault != ChainFault::None) file_.ReportChainFault(old.Fault, ownerSlot_);
    return old;
}

std::uint32_t TBlobBuffer::BlocksToTake(const ChainWalk& old, bool fresh) const noexcept {
    const std::uint32_t needed = file_.BlocksNeeded(static_cast<std::int64_t>(bytes_.size()));
    const auto have = static_cast<std::uint32_t>(old.Blocks.size());
    if (fresh) return needed;
    return needed > have ? needed - have : 0;
}

void TBlobBuffer::WriteChain(const ChainWalk& old, std::vector<BlockOffset>* retired) {
    const std::uint32_t size = static_cast<std::uint32_t>(bytes_.size());
    const std::uint32_t needed = file_.BlocksNeeded(size);
    const std::uint32_t kept =
        retired != nullptr ? 0 : std::min(static_cast<std::uint32_t>(old.Blocks.size()), needed);
    const std::uint32_t payload = file_.GetPayloadSize();
    BlockPin previous;
    std::uint32_t written = 0;
    for (std::uint32_t i = 0; i < needed; ++i) {
        BlockPin block = i < kept ? file_.FetchForWrite(old.Blocks[i], kept - i) : file_.AllocBlock();
        const BlockOffset position = block->GetPosition();
        if (i == 0) firstBlock_ = position;
        block->SetPrevious(previous ? previous->GetPosition() : BlockOffset{});
        block->SetOwner(ownerSlot_);
        block->SetTotalLength(i == 0 ? size : 0);
        const std::uint32_t chunk = std::min(payload, size - written);
        written += block->WriteData(0, chunk, bytes_.data() + written);
        if (previous) previous->SetNext(position);
        previous = std::move(block);
    }
    if (previous) previous->SetNext(BlockOffset{});
    previous.Release();
    if (retired != nullptr) {
        retired->insert(retired->end(), old.Blocks.begin(), old.Blocks.end());
        if (needed == 0) firstBlock_ = BlockOffset{};
        changed_ = false;
        return;
    }
    const std::uint32_t surplus = static_cast<std::uint32_t>(old.Blocks.size()) - kept;
    for (std::uint32_t i = 0; i < surplus; ++i) {
        BlockPin block = file_.FetchForWrite(old.Blocks[kept + i], surplus - i);
        file_.FreeBlock(*block);
    }
    // An empty value keeps no chain.
    if (needed == 0) firstBlock_ = BlockOffset{};
    changed_ = false;
}

void TBlobBuffer::FreeChain() {
    file_.FreeChainAt(firstBlock_, ownerSlot_);
}

}  // namespace engine
