// TRecordChange: the frame every insert, modify and delete of a table runs in, from the write locks to the
// flush of a shared table and, after a failure, the drop of everything the change dirtied.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "engine/blob/BlobFile.h"
#include "engine/index/IndexCursor.h"
#include "engine/table/DataFile.h"

namespace engine {

// What the frame does for the record once the change is made.
enum class RecordChangeKind : std::uint8_t { Insert, Modify, Delete };

// Made by the change's entry point and used once:
//
//   TRecordChange change(table, kind, updateBitmaps);   // 11013, the transaction's first write, BeginWrite
//   change.Run([&] { ... });                            // the change, then the inner guards and the flush
//
// On success Run makes the previous index current again, updates the record's bitmaps (when asked), finds
// the cursor's record again (Resync), sets the transaction's first-write mark and, on a shared table outside
// a transaction, writes every dirty record, page and block with their headers (the index header forced
// unless a modify changed no key); then the slot locked with LockSlot is unlocked and the write locks go.
//
// The checks before BeginChanges leave everything as it is. When the change or any of that fails on a shared
// table outside a transaction, everything the change dirtied is dropped before anything else runs (the files
// are as they were before the call), the cursor goes back to where it stood before the change and the
// caller's open large-object values to their state then; in a transaction the rollback drops it, and an
// exclusive table raises the failure as it is. Then the previous index, the cursor, the slot's lock and the
// write locks are put back, keeping the first failure.
class TRecordChange {
public:
    TRecordChange(TDataFile& table, RecordChangeKind kind, bool updateBitmaps);
    // Ends the write when Run did not: a change that failed before Run, or whose Run raised.
    ~TRecordChange();
    TRecordChange(const TRecordChange&) = delete;
    TRecordChange& operator=(const TRecordChange&) = delete;

    // The current record noted when the frame was made, checked after BeginWrite's change check: 10258
    // when there was none, 8710 when it is no longer current (deleted, or another slot or record ID).
    TRecord& SameCurrentRecord();
    // Locks the slot for the change, by its number and with one try: the change holds the write locks, which
    // the lock's holder may need for its own change, so it never waits for a slot. False when another
    // handle holds it. Unlocked when the frame ends.
    [[nodiscard]] bool LockSlot(SlotNumber slot);
    // An insert into a slot taken from the free chain writes the record file's header before the slot.
    void SetReusedSlot() noexcept { writeOrder_ = TDataFile::WriteOrder::ReusedSlot; }
    // The caller's lock of the slot, freed only when the change succeeds.
    void UnlockOnSuccess(SlotNumber slot) noexcept { successUnlock_ = slot; }
    // Every check has passed: what follows changes the caches, and a failure from here on is dropped.
    void BeginChanges() noexcept { changing_ = true; }
    // The record whose bitmaps the frame updates.
    void SetRecord(SlotNumber slot) noexcept { slot_ = slot; }
    // Where a change puts the large-object blocks its saves retire (TDataFile::SaveRecordBlobs) when it
    // writes its files at its end: they are freed after the record, which no longer names them. None
    // (nullptr) where the writes come later in one piece (an exclusive table, a transaction): old chains are
    // then rewritten in place.
    std::vector<BlockOffset>* RetiredBlocks() noexcept { return DropsOnFailure() ? &retired_ : nullptr; }
    // A modify that changed no key leaves the index header as it is.
    void SetIndexHeaderForced(bool forced) noexcept { forceIndexHeader_ = forced; }

    template <class Change>
    void Run(Change&& change) {
        try {
            change();
            Succeed();
        } catch (...) {
            // A change that succeeded has ended its frame; only the release of its locks failed.
            if (!ended_) Fail();
            throw;
        }
    }

private:
    // The inner guards, the flush, the slot's unlock and EndWrite of a change that succeeded.
    void Succeed();
    // The drop after a failure, then the guards and releases, each failure of these dropped.
    void Fail() noexcept;
    // The previous index current again; after a success the record's bits; the cursor's record found again
    // (Resync), an inserted or modified record with the end flags cleared.
    void RunGuards(bool succeeded);
    // Whether this change's failure is dropped here: a shared table outside a transaction and a change unit
    // (ChangeUnit.h), which drop a failure's changes with all the others.
    bool DropsOnFailure() const noexcept;
    void ReleaseLocks();

    TDataFile& table_;
    RecordChangeKind kind_;
    bool updateBitmaps_;
    bool forceIndexHeader_ = true;
    TDataFile::WriteOrder writeOrder_;
    std::uint8_t previousIndex_ = 0;
    // Where the cursor stood and what the caller's open values were before the change.
    std::optional<TSavedCursorPosition> position_;
    std::vector<OpenValueState> openValues_;
    // A caller that began the write itself ends it too.
    bool ownsWrite_ = false;
    std::vector<BlockOffset> retired_;
    std::optional<SlotNumber> lockedSlot_;
    std::optional<SlotNumber> successUnlock_;
    // The current record's slot and ID when the frame was made; none without one.
    std::optional<std::pair<SlotNumber, RecordId>> noted_;
    SlotNumber slot_;
    bool changing_ = false;
    bool ended_ = false;
};

}  // namespace engine
