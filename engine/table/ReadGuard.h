// TReadGuard: the per-operation read lock of one table operation, ended when the operation ends.
#pragma once

#include "engine/base/EngineError.h"
#include "engine/table/DataFile.h"

namespace engine {

// An operation's entry point makes one. A cache miss inside the operation begins the read (TDataFile::
// BeginRead) and leaves the lock held, so that an operation restarted after another program's change checks
// no more; Begin begins it at the start, for operations that compare the change counters before they read.
// The guard ends only a read that began under it: a guard inside an operation that already reads leaves the
// outer operation's lock alone.
class TReadGuard {
public:
    explicit TReadGuard(TDataFile& table) noexcept : table_(table), outer_(table.OperationReadLockHeld()) {}
    // Ends the read when End did not: the guard runs when the operation failed, whose failure (and error
    // context) is the one to report, so a failing unlock is dropped here.
    ~TReadGuard() {
        if (outer_ || !table_.OperationReadLockHeld()) return;
        CleanUpKeepingError([this] { table_.EndRead(); });
    }
    TReadGuard(const TReadGuard&) = delete;
    TReadGuard& operator=(const TReadGuard&) = delete;

    // BeginRead now: true when another program changed the table.
    bool Begin() { return table_.BeginRead(); }
    // BeginRead now under strict change detection, as entry points that move the cursor do; otherwise a
    // miss begins the read when it needs one.
    bool BeginIfStrict() { return table_.StrictChangeDetection() && table_.BeginRead(); }
    // EndRead now, raising 10249 when an unlock fails.
    void End() {
        if (!outer_) table_.EndRead();
    }

private:
    TDataFile& table_;
    bool outer_;
};

}  // namespace engine
