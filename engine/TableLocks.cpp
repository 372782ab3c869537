// TDataFile's read protocol: the per-operation read lock, the change check that drops stale caches, and the
// releases of the locks a handle holds when it closes (declared in DataFile.h).
#include <optional>

#include "engine/DataFile.h"
#include "engine/EngineError.h"

namespace engine {

void TDataFile::RaiseLockFailure(const TFileHandler& file) const {
    RaiseEngineError(ErrGeneralLockFailure, file.FileName());
}

// ---- The per-operation read lock ----

bool TDataFile::BeginRead() {
    if (!SharesTable()) return false;
    // Whoever holds one of these has compared the counters already, and no other program writes meanwhile.
    if (marks_.LongLivedRead || marks_.TransactionLock || marks_.Write || marks_.OperationRead) return false;
    if (!indexFile_.LockRead()) RaiseLockFailure(indexFile_);
    if (header_.BlobFieldCount != 0 && blobFile_.IsOpen() && !blobFile_.ReadLock()) {
        // Nothing stays held when the read does not begin.
        indexFile_.UnlockRead();
        RaiseLockFailure(blobFile_);
    }
    marks_.OperationRead = true;
    return CheckForChanges();
}

void TDataFile::UnlockReadBytes() {
    if (!blobFile_.ReadUnlock()) RaiseLockFailure(blobFile_);
    if (!indexFile_.UnlockRead()) RaiseLockFailure(indexFile_);
}

void TDataFile::EndRead() {
    if (!marks_.OperationRead) return;
    UnlockReadBytes();
    marks_.OperationRead = false;
}

// ---- Change detection ----

bool TDataFile::CheckForChanges() {
    if (!SharesTable()) return false;
    bool dropped = false;
    // Every header is compared (and read again when it moved): the index file's first, as another program's
    // insert changes it together with the record file.
    // The cursor's position is kept across the drop; the operation's own loop loads its record.
    std::optional<TSavedCursorPosition> saved;
    if (indexFile_.IsOpen() && indexFile_.HeaderChanged()) {
        saved = indexFile_.SaveCursorPosition();
        indexFile_.InvalidatePages();
        ReadHeader();
        InvalidateRecordCache();
        dropped = true;
    } else if (HeaderChanged()) {
        if (indexFile_.IsOpen()) saved = indexFile_.SaveCursorPosition();
        InvalidateRecordCache();
        dropped = true;
    }
    // Later (filters): when records were dropped, the filter bitmaps and the visible bitmap are rebuilt here,
    // before the position is taken up again.
    if (saved) indexFile_.RestoreCursorPosition(*saved);
    if (header_.BlobFieldCount != 0 && blobFile_.IsOpen() && blobFile_.HeaderChanged()) {
        blobFile_.InvalidateBlocks();
        dropped = true;
    }
    return dropped;
}

// ---- Releases ----

void TDataFile::ReleaseReadLock() {
    if (!marks_.LongLivedRead) return;
    UnlockReadBytes();
    marks_.LongLivedRead = false;
}

void TDataFile::UnlockTable() {
    // A transaction keeps its locks until it ends.
    if (!marks_.Table || marks_.TransactionLock) return;
    if (!LockRange(TableLockOffset, TableLockLength, false)) RaiseTableError(ErrCannotUnlock);
    marks_.Table = false;
}

void TDataFile::UnlockAllRecords() {
    while (!lockedRecords_.empty()) {
        const SlotNumber slot = lockedRecords_.back();
        if (!LockRange(RecordLockTop - slot.Value, 1, false)) RaiseTableError(ErrCannotUnlock);
        lockedRecords_.pop_back();
    }
}

void TDataFile::EndWrite() {
    if (!marks_.Write) return;
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
