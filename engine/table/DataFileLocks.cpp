// TDataFile's acquiring locks: the write locks, the long-lived read lock, record and table locks, loading the
// record under the cursor, and buffered transactions (declared in DataFile.h; the layout in LockLayout.h).
#include <exception>

#include "engine/base/EngineError.h"
#include "engine/base/EngineTexts.h"
#include "engine/records/RecordHeader.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"

namespace engine {

void TDataFile::SetLockRetryPolicy(const LockRetryPolicy& policy) {
    lockPolicy_ = policy;
    indexFile_.Locks().SetRetryPolicy(policy);
    blobFile_.Locks().SetRetryPolicy(policy);
}

bool TDataFile::TryRecordFileLock(std::int64_t offset, std::int64_t length) {
    return TryWithRetries([&] { return LockRange(offset, length, true); }, lockRetryCount_, lockWaitTime_,
                          lockPolicy_);
}

bool TDataFile::BeginReadOrCheck() {
    if (BeginRead()) return true;
    // BeginRead did nothing because a lock that excludes writers is held: the counters are compared all the
    // same. A read of its own, or of the calling operation, has compared them already.
    return marks_.OperationRead ? false : CheckForChanges();
}

// ---- The write locks ----

bool TDataFile::WriteLockByte() {
    if (marks_.WriteSemaphore) return true;
    if (!TryWithRetries([this] { return LockRange(WriteSemaphoreOffset, 1, true); }, lockPolicy_.Retries,
                        LockRetrySleepMs, lockPolicy_)) {
        return false;
    }
    marks_.WriteSemaphore = true;
    return true;
}

void TDataFile::BeginWrite() {
    if (!SharesTable() || marks_.Write) return;
    // The write lock covers every read byte, the handle's own too, which would be waited for in vain. A
    // read held across operations stays the caller's: refused at once. An operation's read goes, as the
    // write lock's change check takes its place.
    if (marks_.LongLivedRead)
        RaiseEngineError(ErrGeneralLockFailure, FileName(), {}, {}, texts::OwnReadLockHeld);
    if (marks_.OperationRead) EndRead();
    TReadGuard read(*this);
    // A transaction holds the semaphore from its first write on.
    const bool takeSemaphore = !marks_.TransactionLock;
    if (takeSemaphore && !WriteLockByte()) RaiseLockFailure(*this);
    const bool blobs = header_.BlobFieldCount != 0 && blobFile_.IsOpen();
    try {
        if (!indexFile_.LockWrite()) RaiseLockFailure(indexFile_);
        if (blobs && !blobFile_.WriteLock()) RaiseLockFailure(blobFile_);
        marks_.Write = true;
        journal_.HoldChanges(true);
        if (takeSemaphore) {
            if (JournalHot()) PutBackJournalForWrite();
            CheckForChanges();
        }
    } catch (...) {
        // Every writer everywhere waits on what a failed BeginWrite would keep: all of it goes, in reverse.
        CleanUpKeepingError([&] {
            marks_.Write = false;
            journal_.HoldChanges(false);
            if (blobs) blobFile_.WriteUnlock();
            indexFile_.UnlockWrite();
            if (takeSemaphore) WriteUnlockByte();
        });
        throw;
    }
    read.End();
}

// ---- The long-lived read lock ----

void TDataFile::AcquireReadLock() {
    if (!SharesTable() || marks_.LongLivedRead) return;
    // Its read byte lies in the handle's own write lock and would be waited for in vain.
    if (marks_.Write) RaiseEngineError(ErrGeneralLockFailure, FileName(), {}, {}, texts::OwnWriteLockHeld);
    TReadGuard read(*this);
    const bool blobHeld = blobFile_.Locks().ReadHeld();
    const bool indexHeld = indexFile_.Locks().ReadHeld();
    if (const TFileHandler* refused = LockReadBytes()) RaiseLockFailure(*refused);
    marks_.LongLivedRead = true;
    try {
        // Bytes held already were taken by a read that looked at the journal.
        if (!indexHeld && JournalHot()) PutBackJournalForRead();
        CheckForChanges();
    } catch (...) {
        CleanUpKeepingError([&] {
            marks_.LongLivedRead = false;
            if (!blobHeld) blobFile_.ReadUnlock();
            if (!indexHeld) indexFile_.UnlockRead();
        });
        throw;
    }
    read.End();
}

// ---- Record and table locks ----

void TDataFile::LockRecord(SlotNumber slot) {
    if (!SharesTable() || marks_.Table) return;
    RequireLockableSlot(slot);
    TReadGuard read(*this);
    // The current record is asked for by its identity: a change check that finds it gone, or finds the
    // cursor moved on to another record, must not lock whatever record is current afterwards.
    const TRecord* current = LoadedCurrentRecord();
    if (slot == NoSlot && current == nullptr) RaiseTableError(ErrRecordInUse);
    const bool asksForCurrent = current != nullptr && (slot == NoSlot || slot == current->RecordNumber());
    const SlotNumber target = asksForCurrent ? current->RecordNumber() : slot;
    const RecordId currentId = asksForCurrent ? current->Id() : RecordId{};
    // The lock first, waited for holding no read byte: the program that holds it needs the index file's
    // write lock for its change, which a waiter's read byte would keep it from until the waiter gives up.
    const bool heldBefore = lockedRecords_.contains(target);
    LockSlotNumber(target);
    try {
        // Whatever StrictChangeDetection says: an edit must start from the record as the file holds it.
        read.Begin();
        if (asksForCurrent) {
            current = LoadedCurrentRecord();
            if (current == nullptr || current->Status() != RecordActive ||
                current->RecordNumber() != target || current->Id() != currentId) {
                RaiseTableError(ErrRecordNotFound);
            }
        }
    } catch (...) {
        // A record that changed under the wait is not this caller's to hold.
        if (!heldBefore) CleanUpKeepingError([&] { UnlockRecord(target); });
        throw;
    }
    read.End();
}

void TDataFile::RequireLockableSlot(SlotNumber slot) const {
    // Slot n's lock byte is RecordLockTop - n: beyond this no byte is left to lock, and no record lives
    // there, so the caller hears it at once instead of after every retry.
    if (slot.Value > RecordLockTop) RaiseTableError(ErrRecordNotFound);
}

void TDataFile::LockSlotNumber(SlotNumber slot) {
    if (!LockSlotByte(slot, lockRetryCount_)) RaiseTableError(ErrRecordInUse);
}

bool TDataFile::TryLockSlotNumber(SlotNumber slot) {
    return LockSlotByte(slot, 0);
}

bool TDataFile::LockSlotByte(SlotNumber slot, int retries) {
    if (!SharesTable() || marks_.Table) return true;
    RequireLockableSlot(slot);
    if (slot == NoSlot) RaiseTableError(ErrRecordNotFound);
    if (lockedRecords_.contains(slot)) return true;
    const auto tryLock = [&] {
        // A program waiting for the table lock has its turn before any new record lock: without it, steady
        // record locking would never leave it a moment with no record locked.
        return !RangeLockedElsewhere(TableLockWantedOffset, 1) && LockRange(RecordLockTop - slot.Value, 1, true);
    };
    if (!TryWithRetries(tryLock, retries, lockWaitTime_, lockPolicy_)) return false;
    lockedRecords_.insert(slot);
    return true;
}

void TDataFile::UnlockRecord(SlotNumber slot) {
    // A transaction keeps its locks until it ends.
    if (!SharesTable() || marks_.Table || marks_.TransactionLock) return;
    if (slot == NoSlot) {
        // A change check since the lock may have emptied the current record: the one it locked is read again.
        const TRecord* current = LoadedCurrentRecord();
        if (current == nullptr) RaiseTableError(ErrCannotUnlock);
        slot = current->RecordNumber();
    }
    const auto held = lockedRecords_.find(slot);
    if (held == lockedRecords_.end()) return;
    if (!LockRange(RecordLockTop - slot.Value, 1, false)) RaiseTableError(ErrCannotUnlock);
    lockedRecords_.erase(held);
}

void TDataFile::LockTable() {
    if (!SharesTable() || marks_.Table) return;
    TReadGuard read(*this);
    // The wait is announced first (another program's announced wait is waited out like the table lock):
    // record locks asked for from then on wait until this one has had the table or given up.
    if (!TryRecordFileLock(TableLockWantedOffset, 1)) RaiseTableError(ErrFileLocked);
    // Holding the byte, the table lock waits only for the record locks already held, which end soon: its
    // waits grow to a few milliseconds at most, within the same time in all, so that nobody waits longer
    // than they must.
    const int step = std::min<int>(lockWaitTime_, LockRetrySleepMs);
    const int retries = step > 0 ? lockRetryCount_ * lockWaitTime_ / step : lockRetryCount_;
    const bool locked = TryWithRetries([&] { return LockRange(TableLockOffset, TableLockLength, true); },
                                       retries, step, lockPolicy_);
    if (!LockRange(TableLockWantedOffset, 1, false)) {
        if (locked) LockRange(TableLockOffset, TableLockLength, false);
        RaiseTableError(ErrCannotUnlock);
    }
    if (!locked) RaiseTableError(ErrFileLocked);
    marks_.Table = true;
    try {
        BeginReadOrCheck();
    } catch (...) {
        // The table is not locked when the call fails.
        CleanUpKeepingError([this] {
            if (LockRange(TableLockOffset, TableLockLength, false)) marks_.Table = false;
        });
        throw;
    }
    read.End();
}

// ---- The current record ----

void TDataFile::LoadCurrentRecord(int direction) {
    TReadGuard read(*this);
    for (;;) {
        const SlotNumber slot = indexFile_.GetCurrentRecordNumber();
        if (slot == NoSlot) break;
        ReleaseCurrentRecord();
        RecordPin record;
        // A fetch that met another program's change has put the cursor back on its key, perhaps on another
        // record; the read lock it left held keeps the next fetch from meeting another.
        if (GetRecord(slot, true, true, direction, record)) {
            SetCurrentRecord(std::move(record));
            break;
        }
    }
    read.End();
}

// ---- Transactions ----

void TDataFile::StartTransaction() {
    if (ReadOnly() || transactionStarted_) return;
    transactionStarted_ = true;
    firstWriteDone_ = false;
}

void TDataFile::BeginTransactionWrite() {
    if (!transactionStarted_ || marks_.TransactionLock) return;
    TReadGuard read(*this);
    UnpinAll();
    try {
        if (Exclusive()) {
            // What was changed before the transaction is written now: a rollback drops only the
            // transaction's own changes.
            FlushBuffers(false, true, true);
            if (!forceBufferFlush_) {
                Flush();
                indexFile_.Flush();
                if (header_.BlobFieldCount != 0 && blobFile_.IsOpen()) blobFile_.Flush();
            }
        }
    } catch (...) {
        PinCurrentRecord();
        throw;
    }
    PinCurrentRecord();
    LockForTransaction();
    read.End();
}

void TDataFile::LockForTransaction() {
    if (marks_.TransactionLock) return;
    if (Exclusive()) {
        marks_.TransactionLock = true;
        return;
    }
    TReadGuard read(*this);
    const bool heldSemaphore = marks_.WriteSemaphore;
    if (!WriteLockByte()) RaiseLockFailure(*this);
    marks_.TransactionLock = true;
    try {
        CheckForChanges();
    } catch (...) {
        CleanUpKeepingError([&] {
            marks_.TransactionLock = false;
            if (!heldSemaphore) WriteUnlockByte();
        });
        throw;
    }
    read.End();
}

void TDataFile::UnlockForTransaction() {
    if (!marks_.TransactionLock) return;
    // An exclusive transaction held no semaphore; a BeginWrite under way keeps it until its EndWrite.
    if (!Exclusive() && !marks_.Write && !WriteUnlockByte()) RaiseLockFailure(*this);
    marks_.TransactionLock = false;
    if (marks_.Table) {
        UnlockTable();
    } else {
        UnlockAllRecords();
    }
}

void TDataFile::Rollback() {
    if (!transactionStarted_) return;
    transactionStarted_ = false;
    std::exception_ptr failure;
    // Whatever part of a write was done: entries dirtied under the lock must not reach the file.
    if (marks_.TransactionLock) {
        try {
            DropCachesAndReposition(CacheDrop::Everything);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    try {
        UnlockForTransaction();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    firstWriteDone_ = false;
    if (failure) std::rethrow_exception(failure);
}

}  // namespace engine
