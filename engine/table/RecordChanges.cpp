// TDataFile's record changes: InsertRecord, ModifyRecord and DeleteRecord with every index, the free-slot
// chain, record IDs and large-object chains in step (declared in DataFile.h), and their common frame
// (RecordChanges.h).
#include "engine/table/RecordChanges.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/FileBytes.h"
#include "engine/index/IndexFile.h"
#include "engine/records/FreeSlotChain.h"
#include "engine/records/RecordHeader.h"

namespace engine {

// ---- The frame ----

TRecordChange::TRecordChange(TDataFile& table, RecordChangeKind kind, bool updateBitmaps)
    : table_(table),
      kind_(kind),
      updateBitmaps_(updateBitmaps),
      writeOrder_(kind == RecordChangeKind::Delete ? TDataFile::WriteOrder::IndexFirst
                                                   : TDataFile::WriteOrder::RecordFirst) {
    if (table_.ReadOnly()) table_.RaiseTableError(ErrAccessDenied);
    // The record a modify or delete acts on: the current one on entry, loaded again when a change check
    // emptied it.
    if (kind_ != RecordChangeKind::Insert) {
        if (const TRecord* current = table_.LoadedCurrentRecord()) {
            noted_.emplace(current->RecordNumber(), current->Id());
        }
    }
    // A delete waits for its record's lock before the write locks, never while holding them: the program
    // that holds the record lock needs them for its own change. The lock alone: the write locks' change
    // check and SameCurrentRecord then see whether the record is still the one noted, as a read under the
    // lock would.
    if (kind_ == RecordChangeKind::Delete && noted_) {
        if (!table_.HoldsRecordLock(noted_->first)) {
            table_.LockSlotNumber(noted_->first);
            lockedSlot_ = noted_->first;
        }
    }
    try {
        if (table_.transactionStarted_ && !table_.marks_.TransactionLock) table_.BeginTransactionWrite();
        ownsWrite_ = !table_.marks_.Write;
        table_.BeginWrite();
    } catch (...) {
        CleanUpKeepingError([this] {
            if (lockedSlot_) table_.UnlockRecord(*lockedSlot_);
        });
        throw;
    }
    TIndexFile& index = table_.IndexFile();
    previousIndex_ = index.CurrentIndex();
    // Taken after BeginWrite's change check, which may have moved the cursor, and before the first change.
    position_ = index.SaveCursorPosition();
    if (table_.header_.BlobFieldCount != 0) openValues_ = table_.blobFile_.OpenValueStates();
}

TRecordChange::~TRecordChange() {
    if (!ended_) Fail();
}

TRecord& TRecordChange::SameCurrentRecord() {
    if (!noted_) table_.RaiseTableError(ErrRecordInUse);
    TRecord* current = table_.LoadedCurrentRecord();
    if (current == nullptr || current->Status() != RecordActive || current->RecordNumber() != noted_->first ||
        current->Id() != noted_->second) {
        table_.RaiseTableError(ErrRecordNotFound);
    }
    return *current;
}

bool TRecordChange::LockSlot(SlotNumber slot) {
    if (lockedSlot_ == slot) return true;
    if (table_.HoldsRecordLock(slot)) {
        // The caller's own edit lock: a failed change leaves it to the caller, a done one ends it.
        successUnlock_ = slot;
        return true;
    }
    // By number: the identity of the current record is the business of edits, and an insert's slot is a
    // deleted one that may still be current.
    if (!table_.TryLockSlotNumber(slot)) return false;
    lockedSlot_ = slot;
    return true;
}

bool TRecordChange::DropsOnFailure() const noexcept {
    // A change unit writes and puts back its changes together, as a transaction keeps them.
    return table_.SharesTable() && !table_.marks_.TransactionLock && !table_.changeUnit_;
}

void TRecordChange::RunGuards(bool succeeded) {
    TIndexFile& index = table_.IndexFile();
    index.SelectIndex(previousIndex_);
    // Where the record an insert or modify leaves current stands in the current index.
    std::vector<std::uint8_t> bookmark;
    if (succeeded && kind_ == RecordChangeKind::Delete) {
        if (updateBitmaps_) table_.UpdateBitmapsAfterDelete(slot_);
    } else if (succeeded) {
        if (const TRecord* record = table_.LoadedCurrentRecord()) {
            if (updateBitmaps_) table_.UpdateRecordBitmaps(slot_, record->Image());
            bookmark.assign(std::max<std::size_t>(table_.GetKeySize(), TDataFile::NaturalBookmarkSize), 0);
            if (index.NaturalOrder()) {
                StoreU32(bookmark.data(), record->RecordNumber().Value);
            } else {
                TIndexKey key;
                table_.BuildKey(record->Image(), key);
                std::copy_n(key.Bytes.begin(), std::min<std::size_t>(key.Length, bookmark.size()),
                            bookmark.begin());
            }
        }
    }
    table_.Resync();
    // A delete with no record left under the cursor would leave the deleted slot current, and the next
    // insert takes that very slot from the free chain: none is current instead.
    if (succeeded && kind_ == RecordChangeKind::Delete) {
        const TRecord* current = table_.CurrentRecord();
        if (current != nullptr && current->Status() != RecordActive) table_.ReleaseCurrentRecord();
    }
    // Resync keeps an end state the cursor was in before the change; the changed record is to be the one
    // the cursor stands on, fetched as the current record.
    if (!bookmark.empty() && (index.BeforeFirst() || index.AfterLast())) table_.GotoBookmark(bookmark, false);
}

void TRecordChange::Succeed() {
    RunGuards(true);
    if (table_.marks_.TransactionLock) table_.SetFirstWriteDone();
    table_.UnpinAll();
    try {
        if (DropsOnFailure()) table_.FlushChange(writeOrder_, forceIndexHeader_, retired_);
    } catch (...) {
        table_.PinCurrentRecord();
        throw;
    }
    table_.PinCurrentRecord();
    ended_ = true;
    ReleaseLocks();
}

void TRecordChange::ReleaseLocks() {
    // The write locks go whatever the unlock of the slot does.
    try {
        if (lockedSlot_) table_.UnlockRecord(*lockedSlot_);
        if (successUnlock_ && successUnlock_ != lockedSlot_) table_.UnlockRecord(*successUnlock_);
    } catch (...) {
        CleanUpKeepingError([this] {
            if (ownsWrite_) table_.EndWrite();
        });
        throw;
    }
    if (ownsWrite_) table_.EndWrite();
}

void TRecordChange::Fail() noexcept {
    ended_ = true;
    // Whatever part of the change reached the files goes back before anything is read again.
    CleanUpKeepingError([this] {
        if (DropsOnFailure()) table_.journal_.RollBack();
    });
    CleanUpKeepingError([this] {
        TIndexFile& index = table_.IndexFile();
        if (changing_ && DropsOnFailure()) {
            // The drop takes up the saved position in the index it was saved in.
            index.SelectIndex(previousIndex_);
            table_.PinCurrentRecord();
            table_.DropCachesAndReposition(TDataFile::CacheDrop::Everything,
                                           position_ ? &*position_ : nullptr);
            if (table_.header_.BlobFieldCount != 0) table_.blobFile_.RestoreOpenValueStates(openValues_);
        }
    });
    // Dropped or not, the record's bits are not taken from a change that failed part-way.
    CleanUpKeepingError([this] { RunGuards(false); });
    CleanUpKeepingError([this] { table_.PinCurrentRecord(); });
    CleanUpKeepingError([this] {
        if (lockedSlot_) table_.UnlockRecord(*lockedSlot_);
    });
    CleanUpKeepingError([this] {
        if (ownsWrite_) table_.EndWrite();
    });
}

// ---- The changes ----

namespace {

// The indexes a record has keys in besides "Sys Deleted": index 0 with a primary index, then every
// secondary index.
std::vector<std::uint8_t> KeyedIndexes(const TIndexFile& index) {
    std::vector<std::uint8_t> numbers;
    if (!index.HasNoPrimaryIndex()) numbers.push_back(PrimaryIndexSlot);
    for (int n = 1; n <= index.GetIndexCount(); ++n) numbers.push_back(static_cast<std::uint8_t>(n));
    return numbers;
}

// What a change does to one index for its record: the entries it removes, then the key it inserts.
struct KeyUpdate {
    std::uint8_t Index = 0;
    std::vector<TIndexKey> Remove;
    std::optional<TIndexKey> Insert;

    bool Empty() const noexcept { return Remove.empty() && !Insert; }
};

// The "Sys Deleted" key of a record with the status given.
TIndexKey PhysicalKey(const TDataFile& table, std::uint8_t status, std::span<const std::uint8_t> record) {
    const std::array<std::uint8_t, 1> statusByte{status};
    TIndexKey key;
    table.BuildPhysicalKey(statusByte, key, record);
    return key;
}

// The keys of the record's entries in the current index: the key its fields give when that entry names the
// record, as it does unless a change of the record was cut short (a killed program) between its record and
// its index pages; else whatever entries name the record, found by walking the index (none when it never got
// there).
std::vector<TIndexKey> EntriesOf(TIndexFile& index, const TIndexKey& expected, SlotNumber slot) {
    if (index.KeyRecord(expected.View()) == slot) return {expected};
    return index.KeysOfRecord(slot);
}

// The update that leaves the record's one entry with the wanted key (none: no entry) in the current index,
// from the entries it has now. A wanted key another record holds is 9729 where the index is unique, unless
// the check is skipped.
KeyUpdate UpdateTo(TIndexFile& index, std::uint8_t n, const std::vector<TIndexKey>& entries,
                   const TIndexKey* wanted, SlotNumber slot, bool checkDuplicate) {
    KeyUpdate update{n, {}, {}};
    bool present = false;
    for (const TIndexKey& entry : entries) {
        if (wanted != nullptr && entry == *wanted) {
            present = true;
        } else {
            update.Remove.push_back(entry);
        }
    }
    if (wanted == nullptr || present) return update;
    const std::optional<SlotNumber> holder = index.KeyRecord(wanted->View());
    // An entry of this record that a cut change left besides the one its fields name: it stays.
    if (holder == slot) return update;
    if (holder && checkDuplicate) index.CheckDuplicateKey(wanted->View());
    update.Insert = *wanted;
    return update;
}

// Applies the updates, each in its index, removals first.
void ApplyUpdates(TIndexFile& index, const std::vector<KeyUpdate>& updates, SlotNumber slot) {
    for (const KeyUpdate& update : updates) {
        index.SelectIndex(update.Index);
        for (const TIndexKey& key : update.Remove) index.DeleteKey(key.View());
        if (update.Insert) index.InsertKey(update.Insert->View(), slot);
    }
}

// The indexes of the updates that insert a key.
std::vector<std::uint8_t> Inserting(const std::vector<KeyUpdate>& updates) {
    std::vector<std::uint8_t> indexes;
    for (const KeyUpdate& update : updates) {
        if (update.Insert) indexes.push_back(update.Index);
    }
    return indexes;
}

// 9479 naming the table unless every index given can take a worst-case insert together: each from its own
// free list first, the rest appended to the one index file.
void CheckPageRoom(TDataFile& table, const std::vector<std::uint8_t>& indexes) {
    TIndexFile& index = table.IndexFile();
    std::uint64_t total = 0;
    for (const std::uint8_t n : indexes) {
        index.SelectIndex(n);
        total += index.PagesForInsert();
    }
    // The free lists are walked only when appending everything would not fit (rarely: the figures are
    // asked again there rather than kept in a list on every insert).
    if (index.CanAppendPages(total)) return;
    std::uint64_t appends = 0;
    for (const std::uint8_t n : indexes) {
        index.SelectIndex(n);
        const std::uint32_t wanted = index.PagesForInsert();
        appends += wanted - index.FreePagesAvailable(wanted);
    }
    if (!index.CanAppendPages(appends)) RaiseEngineError(ErrFileFull, table.FileName());
}

}  // namespace

SlotNumber TDataFile::ReusableFreeHead(TIndexKey& deletedKey) {
    const SlotNumber head = header_.FreeSlotHead;
    if (!HasPrimaryIndex() || head == NoSlot || freeChainSkipped_) return NoSlot;
    if (head < header_.NextSlotNumber) {
        RecordPin old;
        // Inserts run under the write locks, where a read never meets another program's change.
        if (!GetRecord(head, false, false, ReadForward, old) || !old) RaiseCorrupt();
        if (old->Status() == RecordDeleted) {
            deletedKey = PhysicalKey(*this, RecordDeleted, old->Image());
            indexFile_.SelectIndex(SysDeletedSlot);
            if (indexFile_.KeyExists(deletedKey.View())) return head;
        }
    }
    freeChainSkipped_ = true;
    return NoSlot;
}

namespace {

// Unwinds an insert's try whose slot lock is held elsewhere, through the frame that gives up the write locks.
struct SlotLockBusy {};

}  // namespace

void TDataFile::InsertRecord(std::span<std::uint8_t> image, bool updateBitmaps) {
    // The slot's lock is never waited for under the write locks: the program holding it may need them for
    // its own change, and a table lock, held or waited for, excludes every slot until it ends. The insert
    // gives them up and tries again as long as an edit's record lock would wait.
    // What the image alone decides is checked before any lock, so that the locks are held no longer than
    // the change needs them; a read-only table is refused first, as the change would refuse it.
    if (ReadOnly()) RaiseTableError(ErrAccessDenied);
    if (image.size() < GetRecordBufferSize()) RaiseTableError(ErrRecordBuffersCorrupt);
    CheckValidity(image);
    const bool inserted = TryWithRetries([&] { return TryInsertRecord(image, updateBitmaps); }, lockRetryCount_,
                                         lockWaitTime_, lockPolicy_);
    if (!inserted) RaiseTableError(ErrRecordInUse);
}

bool TDataFile::TryInsertRecord(std::span<std::uint8_t> image, bool updateBitmaps) {
    TRecordChange change(*this, RecordChangeKind::Insert, updateBitmaps);
    try {
        change.Run([&] {
            const bool primary = HasPrimaryIndex();
            // The checks, before anything changes. The slot: a deleted one to reuse, or one that may be appended.
            // A deleted slot another handle holds locked is left for a later insert; a slot to append is
            // refused only while a table lock is held or waited for (or by mistake): the try ends then.
            TIndexKey oldPhysical;
            SlotNumber slot = ReusableFreeHead(oldPhysical);
            const bool reused = slot != NoSlot && change.LockSlot(slot);
            if (!reused) {
                slot = SlotToTake(header_, false, FileName());
                if (!change.LockSlot(slot)) throw SlotLockBusy{};
            }
            change.SetRecord(slot);
            // The ID is taken (NextAutoInc) only once the record is made, so that a failed insert uses up none.
            const RecordId id = PeekAutoInc();
            SetRecordId(image, id);
            const std::vector<std::uint8_t> indexes = KeyedIndexes(indexFile_);
            std::vector<TIndexKey> keys(indexes.size());
            for (std::size_t i = 0; i < indexes.size(); ++i) {
                indexFile_.SelectIndex(indexes[i]);
                BuildKey(image, keys[i]);
                if (!skipDuplicatePreCheck_) indexFile_.CheckDuplicateKey(keys[i].View());
            }
            std::vector<std::uint8_t> touched = indexes;
            if (primary) touched.push_back(SysDeletedSlot);
            CheckPageRoom(*this, touched);
            CheckRecordBlobs(image, change.RetiredBlocks() != nullptr);

            change.BeginChanges();
            for (std::size_t i = 0; i < indexes.size(); ++i) {
                indexFile_.SelectIndex(indexes[i]);
                indexFile_.InsertKey(keys[i].View(), slot);
            }
            if (primary) indexFile_.SelectIndex(SysDeletedSlot);
            if (reused) change.SetReusedSlot();
            RecordPin record = TakeFreeSlot(reused);
            const TIndexKey physical = PhysicalKey(*this, RecordActive, image);
            if (reused) {
                indexFile_.ModifyKey(oldPhysical.View(), physical.View(), slot);
            } else if (primary) {
                indexFile_.InsertKey(physical.View(), slot);
            }
            record->Clear(true);
            record->CopyFields(image);
            record->SetId(id);
            indexFile_.IncRecordCount();
            SaveRecordBlobs(slot, record->Image(), change.RetiredBlocks());
            SetCurrentRecord(std::move(record));
        });
    } catch (const SlotLockBusy&) {
        return false;
    }
    return true;
}

void TDataFile::ModifyRecord(std::span<std::uint8_t> image, bool unlock, bool updateBitmaps) {
    TRecordChange change(*this, RecordChangeKind::Modify, updateBitmaps);
    change.Run([&] {
        TRecord& current = change.SameCurrentRecord();
        const SlotNumber slot = current.RecordNumber();
        change.SetRecord(slot);
        if (image.size() < GetRecordBufferSize()) RaiseTableError(ErrRecordBuffersCorrupt);
        CheckValidity(image);
        SetRecordId(image, current.Id());
        // An index whose key the change moves, and a unique one, is asked for the record's entries, so that
        // a record a cut change left out of step with its keys is brought back in step here, and a key
        // another record took meanwhile is refused. An index that lets keys repeat and whose key stays is
        // left alone: its keys end in the record ID, so no other record can hold this one's; looking its
        // entry up costs a walk down its tree for every row of a large update; and the journal puts a cut
        // change back before anybody reads, so only damage leaves a record out of step there ("Sys Deleted"
        // is still asked below, and a delete removes whatever entries name the record).
        std::vector<KeyUpdate> updates;
        for (const std::uint8_t n : KeyedIndexes(indexFile_)) {
            indexFile_.SelectIndex(n);
            TIndexKey wanted;
            TIndexKey now;
            BuildKey(image, wanted);
            BuildKey(current.Image(), now);
            if (wanted == now && !GetCurrentIndexUnique()) continue;
            KeyUpdate update =
                UpdateTo(indexFile_, n, EntriesOf(indexFile_, now, slot), &wanted, slot, !skipDuplicatePreCheck_);
            if (!update.Empty()) updates.push_back(std::move(update));
        }
        // "Sys Deleted" keeps the record's key (status and ID do not change); an insert cut short may have
        // left it out.
        if (HasPrimaryIndex()) {
            indexFile_.SelectIndex(SysDeletedSlot);
            const TIndexKey active = PhysicalKey(*this, RecordActive, current.Image());
            KeyUpdate update =
                UpdateTo(indexFile_, SysDeletedSlot, EntriesOf(indexFile_, active, slot), &active, slot, false);
            if (!update.Empty()) updates.push_back(std::move(update));
        }
        CheckPageRoom(*this, Inserting(updates));
        CheckRecordBlobs(image, change.RetiredBlocks() != nullptr);

        change.BeginChanges();
        ApplyUpdates(indexFile_, updates, slot);
        current.CopyFields(image);
        SaveRecordBlobs(slot, current.Image(), change.RetiredBlocks());
        change.SetIndexHeaderForced(!updates.empty());
        if (unlock) change.UnlockOnSuccess(slot);
    });
}

void TDataFile::DeleteRecord(bool updateBitmaps) {
    TRecordChange change(*this, RecordChangeKind::Delete, updateBitmaps);
    change.Run([&] {
        TRecord& current = change.SameCurrentRecord();
        const SlotNumber slot = current.RecordNumber();
        change.SetRecord(slot);
        if (!change.LockSlot(slot)) RaiseTableError(ErrRecordInUse);
        std::vector<std::uint8_t> copy(current.Image().begin(), current.Image().end());
        // Whatever entries name the record go, also where a cut change left them out of step with its
        // fields; an index it never got into has nothing to remove.
        std::vector<KeyUpdate> updates;
        for (const std::uint8_t n : KeyedIndexes(indexFile_)) {
            indexFile_.SelectIndex(n);
            TIndexKey key;
            BuildKey(copy, key);
            KeyUpdate update = UpdateTo(indexFile_, n, EntriesOf(indexFile_, key, slot), nullptr, slot, false);
            if (!update.Empty()) updates.push_back(std::move(update));
        }
        if (HasPrimaryIndex()) {
            indexFile_.SelectIndex(SysDeletedSlot);
            const TIndexKey active = PhysicalKey(*this, RecordActive, copy);
            const TIndexKey deleted = PhysicalKey(*this, RecordDeleted, copy);
            KeyUpdate update =
                UpdateTo(indexFile_, SysDeletedSlot, EntriesOf(indexFile_, active, slot), &deleted, slot, false);
            if (!update.Empty()) updates.push_back(std::move(update));
        }
        CheckPageRoom(*this, Inserting(updates));
        CheckRecordChains(slot, copy);

        change.BeginChanges();
        ApplyUpdates(indexFile_, updates, slot);
        indexFile_.DecRecordCount();
        FreeRecordChains(slot, current.Image());
        FreeSlot(current);
    });
}

}  // namespace engine
