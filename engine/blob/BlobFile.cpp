#include "engine/blob/BlobFile.h"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineStrings.h"
#include "engine/base/EngineTexts.h"
#include "engine/base/FileBytes.h"
#include "engine/base/Scramble.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/records/DataFileHeader.h"
#include "rtl/Text.h"

namespace engine {

namespace {

// The record file's extension gives way to this one.
constexpr std::string_view BlobFileExtension = ".BLB";

}  // namespace

TBlobFile::TBlobFile(BlobFileOwner& owner)
    : owner_(owner),
      blocks_(*this, CacheSettings{0, BlockCacheGrowth, FullCachePolicy::FlushAll}),
      locks_(*this) {}

TBlobFile::~TBlobFile() {
    if (IsOpen()) TBlobFile::Close();
}

std::string TBlobFile::TranslateFileName(std::string_view name) const {
    return StripExtension(rtl::Trim(name)) + std::string(BlobFileExtension);
}

void TBlobFile::Raise(std::uint16_t code) const {
    RaiseEngineError(code, FileName());
}

void TBlobFile::RaiseCorrupt() const {
    Raise(ErrBlobBuffersCorrupt);
}

// ---- Open, close and create ----

void TBlobFile::SetGeometry() {
    const std::uint32_t size = owner_.BlobBlockSize();
    // The size comes from the record file's header, which names it.
    if (size < MinBlobBlockSize || size > MaxBlobBlockSize) {
        RaiseEngineError(ErrHeaderCorrupt, owner_.TableFileName());
    }
    blockSize_ = size;
    blocks_.SetCapacity(static_cast<int>(std::min(BlockCacheBytes / size, MaxCachedBlocks)));
}

void TBlobFile::Open() {
    if (IsOpen()) return;
    SetGeometry();
    TFileHandler::Open();
    try {
        ReadHeader();
    } catch (...) {
        Close();
        throw;
    }
}

void TBlobFile::Close() {
    FreeAllBuffers();
    blocks_.FreeAll();
    locks_.Forget();
    TFileHandler::Close();
}

void TBlobFile::CreateFile() {
    if (IsOpen()) Raise(ErrFileInUse);
    SetGeometry();
    TFileHandler::CreateFile();
    header_ = TBlobFileHeader{};
    header_.Version = BlobFileVersion;
    header_.EndOfFile = BlockOffset(FirstBlockOffset);
    header_.HeaderChanged = 1;
}

// ---- Header ----

void TBlobFile::ReadHeader() {
    std::array<std::uint8_t, BlobFileHeaderSize> bytes{};
    ReadAt(0, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    if (Protected()) UnscrambleBuffer(bytes.data(), bytes.size(), DataSeed);
    TBlobFileHeader header = DecodeBlobFileHeader(bytes);
    if (header.Version != BlobFileVersion) Raise(ErrWrongVersion);
    // Every block offset is judged against the end of file, and every append starts there: it must lie on
    // the grid, and within the file. Blocks reach the file before the header that counts them, so a sound
    // file is never shorter than its end of file.
    if (!IsBlockGridEnd(header.EndOfFile, blockSize_)) Raise(ErrHeaderCorrupt);
    const std::int64_t size = GetSize();
    if (size < 0) Raise(ErrRead);
    if (header.EndOfFile.Value > size) Raise(ErrHeaderCorrupt);
    header.HeaderChanged = 0;
    header_ = header;
}

void TBlobFile::WriteHeader(bool force) {
    if (!force && header_.HeaderChanged == 0) return;
    TBlobFileHeader header = header_;
    ++header.ChangeCounter;
    std::array<std::uint8_t, BlobFileHeaderSize> bytes{};
    EncodeBlobFileHeader(header, bytes);
    if (Protected()) ScrambleBuffer(bytes.data(), bytes.size(), DataSeed);
    WriteAt(0, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    header_.ChangeCounter = header.ChangeCounter;
    header_.HeaderChanged = 0;
}

bool TBlobFile::HeaderChanged() {
    std::array<std::uint8_t, sizeof(std::uint32_t)> counter{};
    ReadAt(BlobHeaderCounterOffset, counter.data(), static_cast<std::int32_t>(counter.size()));
    // Scrambling steps its seed byte by byte from the start, so the counter unscrambles alone.
    if (Protected()) UnscrambleBuffer(counter.data(), counter.size(), DataSeed);
    if (LoadU32(counter.data()) == header_.ChangeCounter) return false;
    ReadHeader();
    return true;
}

void TBlobFile::ResetFile() {
    // A write of no bytes sets the end of the file.
    WriteAt(FirstBlockOffset, nullptr, 0);
    header_.Version = BlobFileVersion;
    header_.FreeHead = BlockOffset{};
    header_.EndOfFile = BlockOffset(FirstBlockOffset);
    // The header follows the cut at once: one that counted the blocks cut away would be refused by the next
    // read of it.
    WriteHeader(true);
}

// ---- Geometry and the free list ----

std::uint32_t TBlobFile::BlocksNeeded(std::int64_t bytes) const noexcept {
    if (bytes <= 0) return 0;
    const std::int64_t payload = GetPayloadSize();
    return static_cast<std::uint32_t>((bytes + payload - 1) / payload);
}

BlockOffset TBlobFile::GetFreeBlockPosition() const noexcept {
    return header_.FreeHead != BlockOffset{} ? header_.FreeHead : header_.EndOfFile;
}

void TBlobFile::SetFreeListHead(BlockOffset offset) noexcept {
    if (header_.FreeHead == offset) return;
    header_.FreeHead = offset;
    header_.HeaderChanged = 1;
}

// ---- Blocks ----

bool TBlobFile::GetBlock(BlockOffset position, bool readAhead, std::uint32_t count, BlockPin& block) {
    block.Release();
    if (position == BlockOffset{}) return false;
    if (IsValidBlock(position)) {
        block = blocks_.Find(position);
        if (block) return true;
    }
    // The change check comes before the offset is judged: a block another program appended lies beyond the
    // end of file this handle knew until the check reads the header again.
    if (!owner_.StrictChangeDetection() && owner_.BeginRead()) return false;
    if (!IsValidBlock(position)) RaiseCorrupt();
    std::uint32_t blocks = 1;
    if (readAhead) {
        const std::uint32_t beforeEnd = (header_.EndOfFile.Value - position.Value) / blockSize_;
        blocks = std::max<std::uint32_t>(1, std::min({ReadAheadLimit(), count, beforeEnd}));
    }
    block = ReadBlocks(position, static_cast<int>(blocks));
    if (!block) RaiseCorrupt();
    return true;
}

std::uint32_t TBlobFile::FirstReadCount(BlockOffset first) const noexcept {
    if (first == loadedChainEnd_) return ReadAheadLimit();
    return std::clamp<std::uint32_t>(loadedChainBlocks_, 1, ReadAheadLimit());
}

void TBlobFile::ChainLoaded(BlockOffset last, std::uint32_t blocks) noexcept {
    loadedChainEnd_ = BlockOffset(last.Value + blockSize_);
    loadedChainBlocks_ = blocks;
}

BlockPin TBlobFile::FetchForWrite(BlockOffset position, std::uint32_t count) {
    BlockPin block;
    if (!IsValidBlock(position) || !GetBlock(position, true, count, block)) RaiseCorrupt();
    return block;
}

BlockPin TBlobFile::AllocBlock() {
    BlockPin block;
    const BlockOffset head = header_.FreeHead;
    if (head == BlockOffset{}) {
        const BlockOffset end = header_.EndOfFile;
        if (end.Value > MaxBlobAppendOffset) RaiseEngineError(ErrFileFull, owner_.TableFileName());
        block = blocks_.Append(end);
        header_.EndOfFile = BlockOffset(end.Value + blockSize_);
        header_.HeaderChanged = 1;
    } else {
        block = FetchForWrite(head, 1);
        const BlockOffset next = block->Next();
        // A free block held elsewhere is in a chain as well; a next link that names no block, or the block
        // itself, would break the list for every later allocation.
        if (block->PinCount() > 1 || next == head || (next != BlockOffset{} && !IsValidBlock(next))) {
            RaiseCorrupt();
        }
        SetFreeListHead(next);
    }
    block->Reset();
    block->MarkClean();
    return block;
}

void TBlobFile::FreeBlock(TBlock& block) {
    block.SetNext(header_.FreeHead);
    SetFreeListHead(block.GetPosition());
    freedBlocks_ = true;
}

ChainWalk TBlobFile::WalkChain(BlockOffset first, SlotNumber owner, std::uint32_t count) {
    ChainWalk walk;
    std::unordered_set<std::uint32_t> visited{first.Value};
    walk.Blocks.push_back(first);
    BlockPin block = FetchForWrite(first, count);
    for (;;) {
        const BlockOffset next = block->Next();
        if (next == BlockOffset{}) break;
        if (!IsValidBlock(next)) {
            walk.Fault = ChainFault::InvalidLink;
            break;
        }
        if (!visited.insert(next.Value).second) {
            walk.Fault = ChainFault::Loop;
            break;
        }
        const std::uint32_t passed = static_cast<std::uint32_t>(walk.Blocks.size());
        BlockPin following = FetchForWrite(next, count > passed ? count - passed : 1);
        if (following->Owner() != owner) {
            walk.Fault = ChainFault::InvalidLink;
            break;
        }
        walk.Blocks.push_back(next);
        block = std::move(following);
    }
    return walk;
}

void TBlobFile::CheckRoomFor(std::uint32_t blocks, const std::vector<BlockOffset>& chain) {
    if (blocks == 0) return;
    std::unordered_set<std::uint32_t> seen;
    for (const BlockOffset offset : chain) seen.insert(offset.Value);
    std::uint32_t found = 0;
    for (BlockOffset free = header_.FreeHead; found < blocks && free != BlockOffset{}; ++found) {
        if (!IsValidBlock(free) || !seen.insert(free.Value).second) RaiseCorrupt();
        free = FetchForWrite(free, 1)->Next();
    }
    const std::uint64_t appends = blocks - found;
    if (appends == 0) return;
    const std::uint64_t lastAppend = header_.EndOfFile.Value + (appends - 1) * blockSize_;
    if (lastAppend > MaxBlobAppendOffset) RaiseEngineError(ErrFileFull, owner_.TableFileName());
}

void TBlobFile::ReportChainFault(ChainFault fault, SlotNumber owner) {
    if (!owner_.RepairMode()) RaiseCorrupt();
    std::string message(fault == ChainFault::Loop ? texts::RepairRecursiveBlockLink
                                                  : texts::RepairInvalidBlockLink);
    message += std::to_string(owner.Value);
    message += texts::RepairSeparator;
    message += texts::RepairFixed;
    owner_.LogRepair(message);
}

void TBlobFile::FreeChain(BlockPin first, SlotNumber owner, std::uint32_t count) {
    // The whole chain is walked before anything is freed: a break found part-way must not leave the record's
    // field naming a block already on the free list.
    const ChainWalk walk = WalkChain(first->GetPosition(), owner, count);
    if (walk.Fault != ChainFault::None) ReportChainFault(walk.Fault, owner);
    first.Release();
    const std::uint32_t blocks = static_cast<std::uint32_t>(walk.Blocks.size());
    for (std::uint32_t i = 0; i < blocks; ++i) {
        BlockPin block = FetchForWrite(walk.Blocks[i], blocks - i);
        FreeBlock(*block);
    }
}

void TBlobFile::FreeChainAt(BlockOffset& first, SlotNumber owner) {
    if (first == BlockOffset{}) return;
    BlockPin block = FetchForWrite(first, 1);
    if (block->Owner() != owner) {
        // Another record's chain is never freed through this one's field.
        ReportChainFault(ChainFault::InvalidLink, owner);
    } else {
        const std::uint32_t count = BlocksNeeded(block->TotalLength());
        FreeChain(std::move(block), owner, count);
    }
    first = BlockOffset{};
}

void TBlobFile::CheckChainAt(BlockOffset first, SlotNumber owner) {
    if (first == BlockOffset{} || owner_.RepairMode()) return;
    BlockPin block = FetchForWrite(first, 1);
    if (block->Owner() != owner) RaiseCorrupt();
    const std::uint32_t count = BlocksNeeded(block->TotalLength());
    block.Release();
    if (WalkChain(first, owner, count).Fault != ChainFault::None) RaiseCorrupt();
}

// ---- The block cache ----

std::unique_ptr<TBlock> TBlobFile::NewEntry() {
    return std::make_unique<TBlock>(*this);
}

BlockOffset TBlobFile::Advance(BlockOffset position, std::int64_t images) const {
    return BlockOffset(static_cast<std::uint32_t>(position.Value + images * blockSize_));
}

std::size_t TBlobFile::ReadImages(std::int64_t offset, std::uint8_t* buffer, std::size_t length,
                                  std::size_t required) {
    const std::size_t got =
        static_cast<std::size_t>(ReadAt(offset, buffer, static_cast<std::int32_t>(length), true));
    // The end of file counts blocks appended in a cache and not yet written, here or by another program whose
    // write is still under way: blocks read ahead past the file's end are left out. The block asked for must
    // be whole, except where only this handle writes the file.
    if (got < required && !Exclusive() && !owner_.TransactionLockHeld()) Raise(ErrRead);
    return got;
}

void TBlobFile::WriteImages(std::int64_t offset, const std::uint8_t* buffer, std::size_t length) {
    WriteAt(offset, buffer, static_cast<std::int32_t>(length));
}

BlockPin TBlobFile::ReadBlocks(BlockOffset position, int count) {
    if (!IsValidBlock(position)) RaiseCorrupt();
    // Nothing beyond the end of file is a block, whatever the file holds there.
    const std::uint32_t beforeEnd = (header_.EndOfFile.Value - position.Value) / blockSize_;
    return blocks_.ReadRun(position, std::clamp<int>(count, 1, static_cast<int>(beforeEnd)), position);
}

bool TBlobFile::FlushBlocks() {
    freedBlocks_ = false;
    return blocks_.Flush();
}

void TBlobFile::FlushChange(bool forceHeader) {
    std::vector<TBlock*> inside;
    blocks_.CollectDirty(inside);
    if (freedBlocks_) {
        // A header naming a freed block whose link is not yet written would lead the free list into a chain.
        blocks_.WriteSorted(inside);
        WriteHeader(forceHeader);
        freedBlocks_ = false;
        return;
    }
    // A header whose end of file passes the file's size is damage; a block beyond it is merely unused. And a
    // header whose free list still starts at a block already overwritten would lead the list into the new
    // chain, where a block written later may not yet exist.
    const std::int64_t size = GetSize();
    std::vector<TBlock*> appended;
    std::erase_if(inside, [&](TBlock* block) {
        if (std::int64_t{block->GetPosition().Value} + blockSize_ <= size) return false;
        appended.push_back(block);
        return true;
    });
    if (!appended.empty()) blocks_.WriteSorted(appended);
    WriteHeader(forceHeader);
    if (!inside.empty()) blocks_.WriteSorted(inside);
}

void TBlobFile::FreeAllBlocks() noexcept {
    blocks_.FreeAll();
}

void TBlobFile::InvalidateBlocks() {
    freedBlocks_ = false;
    blocks_.Invalidate();
}

void TBlobFile::UnpinAllBlocks() noexcept {
    blocks_.UnpinAll();
}

void TBlobFile::TrimBlockCache() noexcept {
    blocks_.Trim();
}

}  // namespace engine
