// TBlobBuffer: one large-object value held in memory while it is open, and the loading, saving and freeing of
// its chain of blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/blob/BlobFile.h"
#include "engine/records/RecordNumbers.h"

namespace engine {

// Open modes of a value.
inline constexpr std::uint8_t BlobOpenRead = 1;
inline constexpr std::uint8_t BlobOpenReadWrite = 2;

class TBlobBuffer {
public:
    // An empty value of the record in the slot, whose chain starts at the first block (0: none yet).
    TBlobBuffer(TBlobFile& file, SlotNumber ownerSlot, std::uint16_t fieldNumber, BlockOffset firstBlock,
                std::uint8_t openMode);

    bool Changed() const noexcept { return changed_; }
    void SetChanged(bool changed) noexcept { changed_ = changed; }
    SlotNumber OwnerSlot() const noexcept { return ownerSlot_; }
    void SetOwnerSlot(SlotNumber slot) noexcept { ownerSlot_ = slot; }
    std::uint16_t FieldNumber() const noexcept { return fieldNumber_; }
    BlockOffset FirstBlock() const noexcept { return firstBlock_; }
    // A record change that failed after saving puts back the chain the file still holds.
    void SetFirstBlock(BlockOffset first) noexcept { firstBlock_ = first; }
    std::uint8_t OpenMode() const noexcept { return openMode_; }

    // Sizes are 32-bit signed: no value passes 2^31 - 1 bytes.
    std::int32_t Size() const noexcept { return static_cast<std::int32_t>(bytes_.size()); }
    // A size other than the current one marks the value changed; bytes added are zero, a size of 0 or less
    // frees them. 11016 when the memory cannot be had.
    void SetSize(std::int32_t size);
    std::uint8_t* GetData() noexcept { return bytes_.data(); }
    const std::vector<std::uint8_t>& Bytes() const noexcept { return bytes_; }

    // Fills the value from its chain (nothing for no chain) and clears the changed flag. A first block that
    // names no block is 8963; one of another record leaves the value empty when it is open for reading and is
    // 8963 otherwise. A total length no file of this size can hold is 8711 before anything is allocated, and
    // the bytes are allocated as the blocks deliver them, at most twice what the chain holds. The
    // load ends where a next link names no block or another record's block, or where its block cannot be
    // fetched, and a chain that ends short of its length is then 8711; a chain that leads back to a block it
    // passed is 8963. Starts again when a fetch meets another program's change.
    void LoadChain();
    // Writes the value into its chain, reusing its blocks, taking free ones or appending, freeing what is
    // left over, and clears the changed flag; nothing for an empty value. Everything is checked before the
    // first block changes: the old chain (StoredChain) and room for the blocks it lacks (9479 when the free
    // list and appends below offset 2,000,000,000 cannot give them).
    void SaveChain();
    // The chain the value has in the file, walked and checked before a save changes anything: 8963 for a
    // first block of another record; a broken chain is 8963, or in repair mode cut where it breaks. Empty for
    // no chain.
    ChainWalk StoredChain();
    // The blocks a save of the value takes from the free list or by appending: beyond its old chain when it
    // rewrites that chain in place, all it needs when it writes a fresh one.
    std::uint32_t BlocksToTake(const ChainWalk& old, bool fresh) const noexcept;
    // The writing part of SaveChain over the chain StoredChain gave, once room for BlocksToTake was checked;
    // clears the changed flag. Without a list of retired blocks the old chain's blocks are reused in order
    // and what is left over is freed (an empty value frees the whole chain). With one the value goes into
    // new blocks and the old chain's blocks are added to the list, for the caller to free once the record
    // that names the new chain is written: a program killed in between leaves the record naming a whole
    // value, old or new.
    void WriteChain(const ChainWalk& old, std::vector<BlockOffset>* retired = nullptr);
    // Frees the value's chain (TBlobFile::FreeChainAt) and forgets it.
    void FreeChain();

private:
    void Resize(std::size_t size);
    // Resize for a load of a value the chain says is total bytes long.
    void GrowTo(std::size_t size, std::size_t total);

    TBlobFile& file_;
    bool changed_ = false;
    SlotNumber ownerSlot_;
    std::uint16_t fieldNumber_ = 0;
    BlockOffset firstBlock_;
    std::vector<std::uint8_t> bytes_;
    std::uint8_t openMode_ = BlobOpenRead;
};

}  // namespace engine
