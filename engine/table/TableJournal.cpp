// TDataFile's rollback journal: opening it, finding a change that a killed program left half-written and
// putting it back before anybody reads it (declared in DataFile.h; the journal itself in Journal.h).
#include "engine/base/EngineError.h"
#include "engine/os/PosixFile.h"
#include "engine/table/DataFile.h"

namespace engine {

void TDataFile::OpenJournal() {
    // A temporary table's files go when it closes: nobody ever opens what a killed program left of them.
    if (InMemory() || temporary_ || journal_.IsOpen()) return;
    journal_.SetExclusive(Exclusive());
    journal_.SetReadOnly(ReadOnly());
    // Forced flushing writes the journal through as well: saved bytes never reach the disk after the change.
    journal_.SetWriteThrough(WriteThrough());
    journal_.SetFileName(FileName());
    // A table written by a copy that kept no journal has none yet; a missing one is created empty (an empty
    // journal holds nothing to put back), and a handle that lost the race to create it opens the winner's.
    if (!ReadOnly() && !journal_.FileExists()) ReserveNewFile(journal_.FileName());
    if (ReadOnly()) {
        if (!journal_.FileExists()) return;
        try {
            journal_.Open();
        } catch (...) {
            // A reader that cannot open it looks again at its next read.
            return;
        }
    } else {
        journal_.Open();
    }
    // A read-only handle writes nothing for it to guard; a hot journal it meets is put back by descriptors of
    // their own.
    if (ReadOnly()) return;
    journal_.Guard({this, &indexFile_, &blobFile_});
    // An exclusive table's writes up to each flush are one change; a shared table's are held together
    // between BeginWrite and EndWrite.
    journal_.HoldChanges(Exclusive());
}

bool TDataFile::JournalHot() {
    if (InMemory()) return false;
    if (!journal_.IsOpen()) {
        if (!journal_.FileExists()) return false;
        OpenJournal();
    }
    return journal_.Hot();
}

void TDataFile::PutBackJournalForRead() {
    // The bytes were taken by the caller's BeginRead or AcquireReadLock and are the caller's to release if
    // this fails before they are taken again.
    UnlockReadBytes();
    RecoverTableJournal(FileName(), false, lockPolicy_);
    if (const TFileHandler* refused = LockReadBytes()) RaiseLockFailure(*refused);
    try {
        DropCachesAndReposition(CacheDrop::Everything);
    } catch (...) {
        CleanUpKeepingError([this] { UnlockReadBytes(); });
        throw;
    }
}

void TDataFile::PutBackJournalForWrite() {
    journal_.PutBack({this, &indexFile_, &blobFile_});
    DropCachesAndReposition(CacheDrop::Everything);
}

}  // namespace engine
