// TBlobFile: a table's large-object file (".BLB"): its header, its block cache, the free-block list, the
// walking and freeing of chains, and its reader and writer locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/Cache.h"
#include "engine/blob/BlobFileHeader.h"
#include "engine/blob/Block.h"
#include "engine/file/FileHandler.h"
#include "engine/file/SharedFileLock.h"
#include "engine/records/RecordNumbers.h"
#include "engine/records/TableFileOwner.h"

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
// Handles are positive 32-bit numbers, as a record image holds them negated in an i32 field.
inline constexpr std::int32_t MaxBlobHandle = 0x7FFFFFFF;

// One open value and the handle it was given.
struct OpenBlobValue {
    std::int32_t Handle = 0;
    std::unique_ptr<TBlobBuffer> Value;
};

// What a record change may alter of an open value, kept to put back when the change fails and its blocks are
// dropped.
struct OpenValueState {
    std::int32_t Handle = 0;
    bool Changed = false;
    BlockOffset FirstBlock;
    SlotNumber Owner;
};

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
    // grid or beyond the file's size); the cache and the read-ahead follow the table's block size (8961 outside 64 .. 65535). A failed
    // open leaves the file closed.
    void Open() override;
    // Frees the open values and every cached block, unwritten ones included, and closes the file.
    void Close() override;
    // Creates the file empty, with a header of version 3, no free block and the end of file at 512, marked
    // changed; nothing is written until the header is.
    void CreateFile() override;

    // The header: ReadHeader reads it (9217 on a short read; 8961 for an end of file off the block grid or
    // beyond the file's size) and clears its changed flag; WriteHeader writes
    // it when forced or changed, with the change counter moved on; HeaderChanged re-reads it when another
    // program's change counter differs. A protected table's header is scrambled in the file.
    void ReadHeader();
    void WriteHeader(bool force);
    bool HeaderChanged();
    // Cuts the file to its header: no block, no free block, end of file 512; the header is written at once.
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

    // The block at a valid offset, pinned. A miss, and an offset beyond the end of file as this handle knows
    // it, begin a read first (unless the table detects changes strictly); when that reports another
    // program's change the answer is false with no block, and the caller starts its operation again (so that
    // a block another program appended is found). A miss reads the block with up to min(read-ahead limit, count) of
    // the blocks after it when readAhead is set. 8963 for an offset that names no block, and for a block that
    // cannot be read whole from a table opened exclusively or under the transaction lock; a shared table's
    // short read of it is 9217.
    bool GetBlock(BlockOffset position, bool readAhead, std::uint32_t count, BlockPin& block);
    void ReleaseBlock(BlockPin& block) noexcept { block.Release(); }
    // The blocks a load reads with a value's first block, before it knows the value's length: as many as the
    // last value loaded took, so that a chain laid out in one piece comes with one read; the whole read-ahead
    // limit when the value starts where the last one ended, as values read in the order they were written
    // do, whose next values that read brings in as well. ChainLoaded tells it where a load ended.
    std::uint32_t FirstReadCount(BlockOffset first) const noexcept;
    void ChainLoaded(BlockOffset last, std::uint32_t blocks) noexcept;
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
    // FreeChainAt's checks without its frees, for a change that checks before it changes anything: 8963 for a
    // first block that names no block of the slot, or a chain FreeChainAt would find broken. Nothing in repair
    // mode, where the free cuts the chain and logs the break.
    void CheckChainAt(BlockOffset first, SlotNumber owner);

    // The block cache: a multi-block read at a valid offset (the block there pinned; empty when it did not
    // come whole); writing the dirty blocks; dropping them (FreeAll frees and trims, Invalidate empties in
    // place); unpinning; trimming back to the cache's capacity.
    BlockPin ReadBlocks(BlockOffset position, int count);
    // Makes room in the block cache (the cache's eviction, which every read and append of a block runs when
    // the cache is full): the least recently used clean unpinned block is emptied for reuse, else a flush or
    // growth under the transaction lock frees one.
    void EvictBlock() { blocks_.Evict(); }
    bool FlushBlocks();
    // The dirty blocks and the header (when changed or forced) of one change of a shared table, ordered so
    // that a program killed between two writes leaves at worst blocks nobody uses: after a change that
    // freed blocks, the blocks (their new links) before the header that names the first; otherwise the
    // blocks appended beyond the file's end, then the header that counts them and takes blocks off the free
    // list, then the blocks taken from it.
    void FlushChange(bool forceHeader);
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

    // ---- Open values (BlobHandles.cpp) ----
    //
    // A value is opened on a record buffer, read, written and sized in memory, and written to its chain only
    // when its record is posted. The operations answer the engine's code (0 success; a failure's code is
    // also stored in the error context, naming the record file, so that a checker's message names the
    // table; 8711, an expected end of data, is not) and raise only where a chain is loaded, saved or freed,
    // and 11016 when memory for a value cannot be had. Handles come from a counter that starts at 1, is
    // never reset and wraps to 1 after MaxBlobHandle, skipping open handles: a record buffer still holding a
    // closed value's negated handle can never reach another value.

    // The values open on the table, at most MaxOpenBlobs, in the order they were opened; a close shifts the
    // later ones down.
    std::vector<OpenBlobValue>& OpenValues() noexcept { return openValues_; }
    // The open value of the handle; none for a handle not open.
    TBlobBuffer* FindValue(std::int32_t handle) const noexcept;
    // The open value a large-object field's value names (its negated handle); none for 0, a block offset or
    // a negative value that is no open handle.
    TBlobBuffer* FindFieldValue(std::int32_t fieldValue) const noexcept {
        return fieldValue < 0 && fieldValue != std::numeric_limits<std::int32_t>::min()
                   ? FindValue(-fieldValue)
                   : nullptr;
    }
    // 9494 when MaxOpenBlobs values are open. Else a new value of the field and the record in the owner slot
    // is loaded from its chain when the first block is not 0 (LoadChain: 8963, 8711 raised; nothing is opened
    // then), takes the next slot, and its handle is answered; 0.
    std::uint16_t OpenBlob(BlockOffset firstBlock, std::uint16_t fieldNumber, SlotNumber owner,
                           std::uint8_t openMode, std::int32_t& handle);
    // 10030 for a handle not open. Else the value's first block is answered and the value is freed with its
    // unsaved changes; 0.
    std::uint16_t CloseBlob(std::int32_t handle, BlockOffset& firstBlock);
    // Copies count bytes from the offset into the destination: 0 when they all exist, 8711 with the bytes
    // that exist when the value ends before (none at or past its end). 10030 for a handle not open, 9998 for
    // a negative offset, 10029 for a negative count or a destination shorter than the count; nothing is
    // read then. The count read is set in every case.
    std::uint16_t ReadBlob(std::int32_t handle, std::int32_t offset, std::int32_t count,
                           std::span<std::uint8_t> destination, std::int32_t& countRead);
    // Grows the value to offset + count when that is longer (the new bytes zero), copies count bytes from the
    // source to the offset and marks the value changed, also for a count of 0; 0. 10030 for a handle not
    // open, 9998 for a negative offset, 10029 for a negative count, a source shorter than the count or an end
    // beyond MaxBlobHandle; nothing changes then.
    std::uint16_t WriteBlob(std::int32_t handle, std::int32_t offset, std::int32_t count,
                            std::span<const std::uint8_t> source);
    // Sets the value's size, zero-filling growth; changed only when the size differs; 0. 10030 for a handle
    // not open, 10029 for a negative size.
    std::uint16_t TruncateBlob(std::int32_t handle, std::int32_t size);
    // The value's size and 0; size 0 and 10030 for a handle not open.
    std::uint16_t GetBlobSize(std::int32_t handle, std::int32_t& size) const;
    bool IsBlobOpen(std::int32_t handle) const noexcept { return FindValue(handle) != nullptr; }
    // Every open value now belongs to the record in the slot (a post names the slot an insert took).
    void SetOwnerRecord(SlotNumber slot) noexcept;
    // Writes every changed value to its chain (an empty one frees it) and clears its changed flag; unchanged
    // values are left alone. All is checked before the first block changes: the changed values must share
    // one owner (8963), their old chains must be sound (StoredChain), and the blocks they need beyond them,
    // summed, must be there to take (9479).
    void SaveModified();
    // SaveModified over the values given (open values of this file) alone: a record change saves only the
    // values its record holds, never another buffer's. With a list of retired blocks each value is written
    // into new blocks and its old chain's blocks are added to the list instead of being reused or freed
    // (TBlobBuffer::WriteChain); the caller frees them with FreeBlocks.
    void SaveValues(const std::vector<TBlobBuffer*>& values, std::vector<BlockOffset>* retired = nullptr);
    // SaveValues' checks without its writes, for a record change that checks everything before its first
    // change: the changed values' old chains sound, and the blocks they take there to take (9479): beyond
    // their old chains, or all of them for a save into new blocks (fresh). Owners are not compared: a new
    // record's values take its slot only when they are saved.
    void CheckSave(const std::vector<TBlobBuffer*>& values, bool fresh);
    // Puts the blocks, walked and checked when they were retired, on the free list in their order.
    void FreeBlocks(const std::vector<BlockOffset>& blocks);
    // The open values' changed flags, first blocks and owners; RestoreOpenValueStates puts them back and
    // frees the values opened since.
    std::vector<OpenValueState> OpenValueStates() const;
    void RestoreOpenValueStates(const std::vector<OpenValueState>& states) noexcept;
    // Hands each open value's field number and first block to the store, in slot order.
    void StoreFirstBlocks(const std::function<void(std::uint16_t, BlockOffset)>& store) const;
    // Frees every open value; none is open afterwards.
    void FreeAllBuffers() noexcept;
    // The handle the next open tries first; tests start the counter near its wrap with SetNextHandle.
    std::int32_t NextHandle() const noexcept { return nextHandle_; }
    void SetNextHandle(std::int32_t handle) noexcept;

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
    // A block went onto the free list since the blocks were last written or dropped (FlushChange).
    bool freedBlocks_ = false;
    // The block after the last one the last load read, and that load's blocks (FirstReadCount).
    BlockOffset loadedChainEnd_;
    std::uint32_t loadedChainBlocks_ = 1;
    TSharedFileLock locks_;
    // A code returned by an open-value operation, stored in the error context naming the record file.
    std::uint16_t Refuse(std::uint16_t code) const;
    // The slot of an open handle in openValues_, or openValues_.size().
    std::size_t SlotOf(std::int32_t handle) const noexcept;
    // A handle no open value has, the counter moved past it.
    std::int32_t TakeHandle() noexcept;

    std::vector<OpenBlobValue> openValues_;
    std::int32_t nextHandle_ = 1;
};

}  // namespace engine
