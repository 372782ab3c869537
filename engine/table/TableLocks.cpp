// TDataFile's read protocol: the per-operation read lock, the change check that drops stale caches and keeps
// the cursor's place, and the releases of the locks a handle holds when it closes (declared in DataFile.h).
#include <exception>
#include <iterator>
#include <optional>

#include "engine/base/EngineError.h"
#include "engine/table/DataFile.h"

namespace engine {

void TDataFile::RaiseLockFailure(const TFileHandler& file) const {
    RaiseEngineError(ErrGeneralLockFailure, file.FileName());
}

// ---- The per-operation read lock ----

bool TDataFile::BeginRead() {
    if (!SharesTable()) return false;
    // Whoever holds one of these has compared the counters already, and no other program writes meanwhile.
    if (marks_.LongLivedRead || marks_.TransactionLock || marks_.Write || marks_.OperationRead) return false;
    if (const TFileHandler* refused = LockReadBytes()) RaiseLockFailure(*refused);
    // Holding a read byte, no writer is under way: an open change in the journal is a killed program's.
    bool putBack = false;
    try {
        putBack = JournalHot();
        if (putBack) PutBackJournalForRead();
    } catch (...) {
        CleanUpKeepingError([this] { UnlockReadBytes(); });
        throw;
    }
    marks_.OperationRead = true;
    return CheckForChanges() || putBack;
}

const TFileHandler* TDataFile::LockReadBytes() {
    // The bytes a read under way holds serve another read too; only what this call takes goes back, so that
    // nothing new stays held when a read does not begin.
    const bool indexHeld = indexFile_.Locks().ReadHeld();
    if (!indexFile_.LockRead()) return &indexFile_;
    if (header_.BlobFieldCount != 0 && blobFile_.IsOpen() && !blobFile_.ReadLock()) {
        if (!indexHeld) indexFile_.UnlockRead();
        return &blobFile_;
    }
    return nullptr;
}

void TDataFile::UnlockReadBytes() {
    if (!blobFile_.ReadUnlock()) RaiseLockFailure(blobFile_);
    if (!indexFile_.UnlockRead()) RaiseLockFailure(indexFile_);
}

void TDataFile::EndRead() {
    if (!marks_.OperationRead) return;
    // The long-lived read lock holds the same bytes.
    if (!marks_.LongLivedRead) UnlockReadBytes();
    marks_.OperationRead = false;
}

// ---- Change detection ----

bool TDataFile::CheckForChanges() {
    if (!SharesTable()) return false;
    bool dropped = false;
    // Every header is compared (and read again when it moved): the index file's first, as another program's
    // insert changes it together with the record file.
    if (indexFile_.IsOpen() && indexFile_.HeaderChanged()) {
        DropCachesAndReposition(CacheDrop::PagesAndRecords);
        dropped = true;
    } else if (HeaderChanged()) {
        DropCachesAndReposition(CacheDrop::Records);
        dropped = true;
    }
    if (header_.BlobFieldCount != 0 && blobFile_.IsOpen() && blobFile_.HeaderChanged()) {
        blobFile_.InvalidateBlocks();
        dropped = true;
    }
    // What the journal kept of the files may be another program's past now.
    if (dropped) journal_.ForgetImages();
    return dropped;
}

const TRecord* TDataFile::CurrentEntry() const noexcept {
    if (currentRecord_) return currentRecord_.Get();
    const TRecord* aside = currentAside_.entry;
    return aside != nullptr && records_.Peek(currentAside_.position) == aside ? aside : nullptr;
}

void TDataFile::DropCachesAndReposition(CacheDrop drop, const TSavedCursorPosition* position) {
    // The position, before the pages it stands on go.
    // A bitmap build under way unwinds, takes up the position on its own index and starts again itself.
    const bool building = bitmaps_.Building();
    const std::optional<TSavedCursorPosition> saved = !indexFile_.IsOpen() || building ? std::nullopt
                                                      : position != nullptr
                                                          ? std::optional(*position)
                                                          : std::optional(indexFile_.SaveCursorPosition());
    // The current record goes with the others; LoadedCurrentRecord loads it again from the cursor.
    currentDropped_ = currentDropped_ || CurrentEntry() != nullptr;
    journal_.ForgetImages();
    switch (drop) {
        case CacheDrop::Records:
            InvalidateRecordCache();
            break;
        case CacheDrop::PagesAndRecords:
            indexFile_.InvalidatePages();
            ReadHeader();
            InvalidateRecordCache();
            break;
        case CacheDrop::Everything:
            DiscardBuffers(true);
            break;
    }
    // The bitmaps from the records as they are now, before the position is taken up again on them.
    if (saved) {
        indexFile_.ComputeRangeOrdinals();
        bitmaps_.RebuildFilterBitmaps();
        bitmaps_.BuildVisibleBitmap();
    }
    if (saved) indexFile_.RestoreCursorPosition(*saved);
}

// ---- Releases ----

void TDataFile::ReleaseReadLock() {
    if (!marks_.LongLivedRead) return;
    // An operation's read under way holds the same bytes.
    if (!marks_.OperationRead) UnlockReadBytes();
    marks_.LongLivedRead = false;
}

void TDataFile::UnlockTable() {
    // A transaction keeps its locks until it ends.
    if (!marks_.Table || marks_.TransactionLock) return;
    if (!LockRange(TableLockOffset, TableLockLength, false)) RaiseTableError(ErrCannotUnlock);
    marks_.Table = false;
}

void TDataFile::UnlockAllRecords() {
    // A transaction keeps its locks until it ends.
    if (marks_.TransactionLock) return;
    while (!lockedRecords_.empty()) {
        const auto last = std::prev(lockedRecords_.end());
        if (!LockRange(RecordLockTop - last->Value, 1, false)) RaiseTableError(ErrCannotUnlock);
        lockedRecords_.erase(last);
    }
}

void TDataFile::EndWrite() {
    if (!marks_.Write) return;
    // What was written under the locks is made whole here when a change's frame did not (it marks its own, or
    // puts back one that failed). A change whose mark fails goes back before the locks do, and its failure is
    // raised once they are released, never reported done.
    std::exception_ptr failure;
    if (journal_.ChangeBroken()) {
        CleanUpKeepingError([this] { journal_.RollBack(); });
    } else {
        try {
            journal_.Finish();
        } catch (...) {
            failure = std::current_exception();
            CleanUpKeepingError([this] {
                journal_.RollBack();
                DropCachesAndReposition(CacheDrop::Everything);
            });
        }
    }
    journal_.HoldChanges(false);
    if (failure) {
        marks_.Write = false;
        CleanUpKeepingError([this] { blobFile_.WriteUnlock(); });
        CleanUpKeepingError([this] { indexFile_.UnlockWrite(); });
        if (!marks_.TransactionLock) CleanUpKeepingError([this] { WriteUnlockByte(); });
        std::rethrow_exception(failure);
    }
    if (!blobFile_.WriteUnlock()) RaiseLockFailure(blobFile_);
    if (!indexFile_.UnlockWrite()) RaiseLockFailure(indexFile_);
    // A transaction holds the semaphore until it ends.
    if (!marks_.TransactionLock && !WriteUnlockByte()) RaiseLockFailure(*this);
    marks_.Write = false;
}

bool TDataFile::WriteUnlockByte() {
    if (!marks_.WriteSemaphore) return true;
    if (!LockRange(WriteSemaphoreOffset, 1, false)) return false;
    marks_.WriteSemaphore = false;
    return true;
}

}  // namespace engine
