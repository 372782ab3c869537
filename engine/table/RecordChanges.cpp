// TDataFile's record changes: InsertRecord, ModifyRecord and DeleteRecord with every index, the free-slot
// chain, record IDs and large-object chains in step (declared in DataFile.h), and their common frame
// (RecordChanges.h).
#include "engine/table/RecordChanges.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/FileBytes.h"
#include "engine/index/IndexFile.h"
#include "engine/records/FreeSlotChain.h"
#include "engine/records/RecordHeader.h"

namespace engine {

// ---- The frame ----

TRecordChange::TRecordChange(TDataFile& table, RecordChangeKind kind, bool updateBitmaps)
    : table_(table), kind_(kind), updateBitmaps_(updateBitmaps) {
    if (table_.ReadOnly()) table_.RaiseTableError(ErrAccessDenied);
    // The record a modify or delete acts on: the current one on entry, loaded again when a change check
    // emptied it.
    if (kind_ != RecordChangeKind::Insert) {
        if (const TRecord* current = table_.LoadedCurrentRecord()) {
            noted_.emplace(current->RecordNumber(), current->Id());
        }
    }
    // A delete waits for its record's lock before the write locks, never while holding them: the program
    // that holds the record lock needs them for its own change.
    if (kind_ == RecordChangeKind::Delete && noted_) {
        if (!table_.HoldsRecordLock(noted_->first)) {
            table_.LockRecord(noted_->first);
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

void TRecordChange::LockSlot(SlotNumber slot) {
    if (lockedSlot_ == slot) return;
    if (table_.HoldsRecordLock(slot)) {
        // The caller's own edit lock: a failed change leaves it to the caller, a done one ends it.
        successUnlock_ = slot;
        return;
    }
    // By number: the identity of the current record is the business of edits, and an insert's slot is a
    // deleted one that may still be current.
    table_.LockSlotNumber(slot);
    lockedSlot_ = slot;
}

bool TRecordChange::DropsOnFailure() const noexcept {
    return table_.SharesTable() && !table_.marks_.TransactionLock;
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
        if (DropsOnFailure()) table_.FlushBuffers(false, true, forceIndexHeader_);
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

// A key of one index as it is now and as the change makes it.
struct KeyChange {
    std::uint8_t Index = 0;
    TIndexKey Old;
    TIndexKey New;
};

// The "Sys Deleted" key of a record with the status given.
TIndexKey PhysicalKey(const TDataFile& table, std::uint8_t status, std::span<const std::uint8_t> record) {
    const std::array<std::uint8_t, 1> statusByte{status};
    TIndexKey key;
    table.BuildPhysicalKey(statusByte, key, record);
    return key;
}

// 8708 naming the current index unless the key is in it.
void RequireKey(TIndexFile& index, const TIndexKey& key) {
    if (!index.KeyExists(key.View())) {
        RaiseEngineError(ErrKeyNotFound, index.FileName(), {}, index.CurrentIndexLabel());
    }
}

// 9479 naming the table unless every index given can take a worst-case insert together: each from its own
// free list first, the rest appended to the one index file.
void CheckPageRoom(TDataFile& table, const std::vector<std::uint8_t>& indexes) {
    TIndexFile& index = table.IndexFile();
    std::vector<std::uint32_t> wanted;
    std::uint64_t total = 0;
    for (const std::uint8_t n : indexes) {
        index.SelectIndex(n);
        wanted.push_back(index.PagesForInsert());
        total += wanted.back();
    }
    // The free lists are walked only when appending everything would not fit.
    if (index.CanAppendPages(total)) return;
    std::uint64_t appends = 0;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        index.SelectIndex(indexes[i]);
        appends += wanted[i] - index.FreePagesAvailable(wanted[i]);
    }
    if (!index.CanAppendPages(appends)) RaiseEngineError(ErrFileFull, table.FileName());
}

}  // namespace

void TDataFile::InsertRecord(std::span<std::uint8_t> image, bool updateBitmaps) {
    TRecordChange change(*this, RecordChangeKind::Insert, updateBitmaps);
    change.Run([&] {
        const bool primary = HasPrimaryIndex();
        // The checks, before anything changes. The slot: a deleted one to reuse, or one that may be appended.
        const SlotNumber slot = SlotToTake(header_, primary, FileName());
        change.LockSlot(slot);
        change.SetRecord(slot);
        if (image.size() < GetRecordBufferSize()) RaiseTableError(ErrRecordBuffersCorrupt);
        CheckValidity(image);
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
        const bool reused = slot != header_.NextSlotNumber;
        TIndexKey oldPhysical;
        if (reused) {
            RecordPin old;
            if (!GetRecord(slot, false, false, ReadForward, old) || !old) RaiseCorrupt();
            if (old->Status() != RecordDeleted) RaiseTableError(ErrHeaderCorrupt);
            oldPhysical = PhysicalKey(*this, RecordDeleted, old->Image());
            indexFile_.SelectIndex(SysDeletedSlot);
            RequireKey(indexFile_, oldPhysical);
        }
        std::vector<std::uint8_t> touched = indexes;
        if (primary) touched.push_back(SysDeletedSlot);
        CheckPageRoom(*this, touched);
        CheckRecordBlobs(image);

        change.BeginChanges();
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            indexFile_.SelectIndex(indexes[i]);
            indexFile_.InsertKey(keys[i].View(), slot);
        }
        if (primary) indexFile_.SelectIndex(SysDeletedSlot);
        RecordPin record = TakeFreeSlot();
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
        SaveRecordBlobs(slot, record->Image());
        SetCurrentRecord(std::move(record));
    });
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
        std::vector<KeyChange> changes;
        for (const std::uint8_t n : KeyedIndexes(indexFile_)) {
            indexFile_.SelectIndex(n);
            KeyChange key{n, {}, {}};
            BuildKey(image, key.New);
            BuildKey(current.Image(), key.Old);
            if (key.New == key.Old) continue;
            if (!skipDuplicatePreCheck_) indexFile_.CheckDuplicateKey(key.New.View());
            changes.push_back(key);
        }
        std::vector<std::uint8_t> touched;
        for (const KeyChange& key : changes) {
            indexFile_.SelectIndex(key.Index);
            RequireKey(indexFile_, key.Old);
            touched.push_back(key.Index);
        }
        CheckPageRoom(*this, touched);
        CheckRecordBlobs(image);

        change.BeginChanges();
        for (const KeyChange& key : changes) {
            indexFile_.SelectIndex(key.Index);
            indexFile_.ModifyKey(key.Old.View(), key.New.View(), slot);
        }
        current.CopyFields(image);
        SaveRecordBlobs(slot, current.Image());
        change.SetIndexHeaderForced(!changes.empty());
        if (unlock) change.UnlockOnSuccess(slot);
    });
}

void TDataFile::DeleteRecord(bool updateBitmaps) {
    TRecordChange change(*this, RecordChangeKind::Delete, updateBitmaps);
    change.Run([&] {
        TRecord& current = change.SameCurrentRecord();
        const SlotNumber slot = current.RecordNumber();
        change.SetRecord(slot);
        change.LockSlot(slot);
        std::vector<std::uint8_t> copy(current.Image().begin(), current.Image().end());
        const bool primary = HasPrimaryIndex();
        const std::vector<std::uint8_t> indexes = KeyedIndexes(indexFile_);
        std::vector<TIndexKey> keys(indexes.size());
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            indexFile_.SelectIndex(indexes[i]);
            BuildKey(copy, keys[i]);
            RequireKey(indexFile_, keys[i]);
        }
        const TIndexKey active = PhysicalKey(*this, RecordActive, copy);
        const TIndexKey deleted = PhysicalKey(*this, RecordDeleted, copy);
        if (primary) {
            indexFile_.SelectIndex(SysDeletedSlot);
            RequireKey(indexFile_, active);
            CheckPageRoom(*this, {SysDeletedSlot});
        }
        CheckRecordChains(slot, copy);

        change.BeginChanges();
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            indexFile_.SelectIndex(indexes[i]);
            indexFile_.DeleteKey(keys[i].View());
        }
        if (primary) {
            indexFile_.SelectIndex(SysDeletedSlot);
            indexFile_.ModifyKey(active.View(), deleted.View(), slot);
        }
        indexFile_.DecRecordCount();
        FreeRecordChains(slot, current.Image());
        FreeSlot(current);
    });
}

}  // namespace engine
