// TableFileOwner and BlobFileOwner: what the index file and the large-object file ask of the table that owns
// them, so that their caches and chains depend on the table handle only through these few questions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

class TableFileOwner {
public:
    // The record file's name, which messages about the whole table (9479) give.
    virtual const std::string& TableFileName() const = 0;
    virtual bool TableExclusive() const = 0;
    // Set: every operation compares the change counters before it starts, so a cache miss need not.
    virtual bool StrictChangeDetection() const = 0;
    // While held, a full cache grows instead of writing, and short reads are accepted.
    virtual bool TransactionLockHeld() const = 0;
    // A protected table's files are scrambled.
    virtual bool TableProtected() const = 0;
    // Begins a read before a cache miss reads the file: takes the read locks unless a lock is held and
    // compares the change counters. True when another program changed the table: the stale caches are
    // dropped, and the fetch reports failure for its operation to start again.
    virtual bool BeginRead() = 0;

protected:
    ~TableFileOwner() = default;
};

class BlobFileOwner : public TableFileOwner {
public:
    // The table's block size, a stored 0 read as 512.
    virtual std::uint32_t BlobBlockSize() const = 0;
    // In repair mode a damaged chain is cut where it breaks, with a message to the repair log, instead of
    // failing.
    virtual bool RepairMode() const = 0;
    virtual void LogRepair(std::string_view message) = 0;

protected:
    ~BlobFileOwner() = default;
};

}  // namespace engine
