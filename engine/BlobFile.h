// TBlobFile: a table's large-object file (".BLB"): its header, its block cache, the free-block list, the
// walking and freeing of chains, and its reader and writer locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/BlobFileHeader.h"
#include "engine/Block.h"
#include "engine/Cache.h"
#include "engine/FileHandler.h"
#include "engine/RecordNumbers.h"
#include "engine/SharedFileLock.h"
#include "engine/TableFileOwner.h"

namespace engine {

class TBlobBuffer;

// The block cache holds 262,140 bytes of blocks (at most 4096 blocks), and a read takes in at most 65,535
// bytes of following blocks, so both follow the block size: 4095 and 1023 blocks of 64 bytes, 4 and 1 of
// 65,535.
inline constexpr std::uint32_t BlockCacheBytes = 262140;
inline constexpr std::uint32_t MaxCachedBlocks = 4096;
inline constexpr std::uint32_t ReadAheadBytes = 65535;
// Blocks added at once when the cache is full of pinned or dirty blocks under the transaction lock.
inline constexpr int BlockCacheGrowth = 256;
// Values a table may have open at once.
inline constexpr std::size_t MaxOpenBlobs = 64;

// Why a walk along a chain stopped before its end.
enum class ChainFault : std::uint8_t {
    None,
    // A next link that names no block, or a block that belongs to another record.
    InvalidLink,
    // A next link back to a block the walk has passed.
    Loop,
};

// The blocks of a chain in order, as far as they could be followed.
struct ChainWalk {
    std::vector<BlockOffset> Blocks;
    ChainFault Fault = ChainFault::None;
};

// Every failure raises an engine error naming this file, except 9479 (the table is full), which names the
// record file. Offsets read from the file are used only when they name a block (IsBlockOffset): only
// AllocBlock appends.
class TBlobFile : public TFileHandler, private TCacheStore<TBlock> {
public:
    explicit TBlobFile(BlobFileOwner& owner);
    // Closes the file: the base destructor would run only the base Close.
    ~TBlobFile() override;

    // The name trimmed, with the extension of its last part (or none) replaced by ".BLB".
    std::string TranslateFileName(std::string_view name) const override;
    // Opens the file and reads its header (12035 for another version, 8961 for an end of file off the block
    // grid); the cache and the read-ahead follow the table's block size (8961 outside 64 .. 65535). A failed
    // open leaves the file closed.
    void Open() override;
    // Frees the open values and every cached block, unwritten ones included, and closes the file.
    void Close() override;
    // Creates the file empty, with a header of version 3, no free block and the end of file at 512, marked
    // changed; nothing is written until the header is.
    void CreateFile() override;

    // The header: ReadHeader reads it (9217 on a short read) and clears its changed flag; WriteHeader writes
    // it when forced or changed, with the change counter moved on; HeaderChanged re-reads it when another
    // program's change counter differs. A protected table's header is scrambled in the file.
    void ReadHeader();
    void WriteHeader(bool force);
    bool HeaderChanged();
    // Cuts the file to its header: no block, no free block, end of file 512; the header is marked changed.
    // Cached blocks stay until the caller drops them.
    void ResetFile();
    const TBlobFileHeader& Header() const noexcept { return header_; }

    std::uint32_t GetBlockSize() const noexcept { return blockSize_; }
    std::uint32_t GetPayloadSize() const noexcept { return BlockPayloadSize(blockSize_); }
    // Blocks a value of this many bytes takes.
    std::uint32_t BlocksNeeded(std::int64_t bytes) const noexcept;
    BlockOffset GetEndOfFile() const noexcept { return header_.EndOfFile; }
    // The block AllocBlock takes: the free head, or the end of file when no block is free.
    BlockOffset GetFreeBlockPosition() const noexcept;
    void SetFreeListHead(BlockOffset offset) noexcept;
    bool IsValidBlock(BlockOffset offset) const noexcept {
        return IsBlockOffset(offset, header_.EndOfFile, blockSize_);
    }
    std::uint32_t ReadAheadLimit() const noexcept { return ReadAheadBytes / blockSize_; }
    bool Protected() const { return owner_.TableProtected(); }
    BlobFileOwner& Owner() const noexcept { return owner_; }

    // The block at a valid offset, pinned. A miss begins a read first (unless the table detects changes
    // strictly); when that reports another program's change the answer is false with no block, and the
    // caller starts its operation again. A miss reads the block with up to min(read-ahead limit, count) of
    // the blocks after it when readAhead is set. 8963 for an offset that names no block, and for a block that
    // cannot be read whole from a table opened exclusively or under the transaction lock; a shared table's
    // short read of it is 9217.
    bool GetBlock(BlockOffset position, bool readAhead, std::uint32_t count, BlockPin& block);
    void ReleaseBlock(BlockPin& block) noexcept { block.Release(); }
    // GetBlock with read ahead for saving and freeing, which run under the write lock, where a read never
    // reports another program's change: a report, like an offset that names no block, is 8963.
    BlockPin FetchForWrite(BlockOffset position, std::uint32_t count);
    // The free head taken off the list, or a block appended at the end of file (9479 beyond offset
    // 2,000,000,000); emptied and clean. 8963 for a free list that names no block.
    BlockPin AllocBlock();
    // Puts the block at the head of the free list.
    void FreeBlock(TBlock& block);
    // Follows the chain after a valid first block whose owner was checked: every further block must be
    // named by a valid next link, unvisited and owned by the slot. Stops at the first that is not, or at a
    // next link of 0; the blocks are fetched with read ahead of count less the blocks passed.
    ChainWalk WalkChain(BlockOffset first, SlotNumber owner, std::uint32_t count);
    // Whether a save can get this many more blocks than its chain has, checked before it changes anything:
    // from the free list (8963 where it names no block, loops or meets the chain) and by appends that start
    // at most at offset 2,000,000,000 (9479 naming the table).
    void CheckRoomFor(std::uint32_t blocks, const std::vector<BlockOffset>& chain);
    // A chain fault found while saving or freeing: 8963, or in repair mode the repair log's message for the
    // owner's slot, the caller then cutting the chain where it broke.
    void ReportChainFault(ChainFault fault, SlotNumber owner);
    // Frees a chain whose first block is in hand (walked with WalkChain, count the blocks expected). A broken
    // chain frees nothing and raises 8963; in repair mode the blocks up to the break are freed.
    void FreeChain(BlockPin first, SlotNumber owner, std::uint32_t count);
    // Frees the chain that starts at the offset, which must name a block owned by the slot (8963; in repair
    // mode nothing is freed), and sets the offset to 0. Nothing for 0.
    void FreeChainAt(BlockOffset& first, SlotNumber owner);

    // The block cache: a multi-block read at a valid offset (the block there pinned; empty when it did not
    // come whole); writing the dirty blocks; dropping them (FreeAll frees and trims, Invalidate empties in
    // place); unpinning; trimming back to the cache's capacity.
    BlockPin ReadBlocks(BlockOffset position, int count);
    bool FlushBlocks();
    void FreeAllBlocks() noexcept;
    void InvalidateBlocks();
    void UnpinAllBlocks() noexcept;
    void TrimBlockCache() noexcept;
    const TCache<TBlock>& Blocks() const noexcept { return blocks_; }

    // The reader and writer locks (TSharedFileLock), each answering success.
    bool WriteLock() { return locks_.LockWrite(); }
    bool WriteUnlock() { return locks_.UnlockWrite(); }
    bool ReadLock() { return locks_.LockRead(); }
    bool ReadUnlock() { return locks_.UnlockRead(); }
    TSharedFileLock& Locks() noexcept { return locks_; }

    // The values open on the table, at most MaxOpenBlobs, in the order they were opened.
    std::vector<std::unique_ptr<TBlobBuffer>>& OpenValues() noexcept { return openValues_; }
    void FreeAllBuffers() noexcept;

    // 8963 naming the file.
    [[noreturn]] void RaiseCorrupt() const override;

private:
    // TCacheStore: blocks lie at their offsets; reads and writes go through the file's position.
    std::unique_ptr<TBlock> NewEntry() override;
    std::size_t ImageSize() const override { return blockSize_; }
    std::int64_t FileOffset(BlockOffset position) const override { return position.Value; }
    BlockOffset Advance(BlockOffset position, std::int64_t images) const override;
    std::size_t ReadImages(std::int64_t offset, std::uint8_t* buffer, std::size_t length,
                           std::size_t required) override;
    void WriteImages(std::int64_t offset, const std::uint8_t* buffer, std::size_t length) override;
    bool GrowInsteadOfWriting() const override { return owner_.TransactionLockHeld(); }

    // Takes the table's block size and sizes the cache by it.
    void SetGeometry();
    [[noreturn]] void Raise(std::uint16_t code) const;

    BlobFileOwner& owner_;
    TBlobFileHeader header_;
    std::uint32_t blockSize_ = 512;
    TCache<TBlock> blocks_;
    TSharedFileLock locks_;
    std::vector<std::unique_ptr<TBlobBuffer>> openValues_;
};

}  // namespace engine
