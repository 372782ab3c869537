// TDataFile: an open engine table, its handle: the record file (".DAT") with header, field descriptors, slot
// area, free-slot chain and working field set, the record cache, the read protocol's locks and change checks,
// the password asked for a protected table; creating, emptying and deleting tables.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/Cache.h"
#include "engine/blob/BlobFile.h"
#include "engine/file/FileHandler.h"
#include "engine/file/Journal.h"
#include "engine/index/IndexFile.h"
#include "engine/index/IndexFileOwner.h"
#include "engine/index/IndexKey.h"
#include "engine/index/RecordKey.h"
#include "engine/os/LockLayout.h"
#include "engine/records/DataFileHeader.h"
#include "engine/records/FieldDesc.h"
#include "engine/records/IndexDescriptor.h"
#include "engine/table/Record.h"
#include "engine/table/RecordBitmaps.h"
#include "engine/values/Collation.h"

namespace engine {

struct ExprValue;
struct TExprNode;

// A value for SetField: the bytes to store, or none (std::nullopt) to blank the field.
using FieldSource = std::optional<std::span<const std::uint8_t>>;

// The record cache holds about 128 KB of record images, at most 65,535 of them; a read-ahead reads at most
// 32,767 bytes of following slots, and at least the one slot asked for. A full cache grows by 1024 entries at
// a time while the table holds its transaction lock, whose changes may not reach the file before they are
// committed.
inline constexpr std::uint32_t RecordCacheBytes = 131070;
inline constexpr std::uint32_t MaxCachedRecords = 65535;
inline constexpr std::uint32_t RecordReadAheadBytes = 32767;
inline constexpr int RecordCacheGrowth = 1024;

// Directions of a fetch with read-ahead: forward reads the slots after the one asked for, backward the slots
// before it. A cursor that jumps (a key lookup, a bookmark, a re-find) reads the one slot it lands on: the
// slots around it are rarely read next, and reading them costs more than the record itself.
inline constexpr int ReadForward = 1;
inline constexpr int ReadBackward = 2;
inline constexpr int ReadOne = 0;

// One open table and one cursor on it, with its filters. Every failure raises an engine error naming the
// record file. A table keeps its indexes in its index file and the values of its large-object fields in its
// large-object file, which it creates, opens, empties, closes and deletes with the record file.
class TDataFile : public TFileHandler,
                  public BlobFileOwner,
                  public IndexFileOwner,
                  private TCacheStore<TRecord> {
public:
    // The owner is the object that made the handle (a dataset, a statement, the handle a clone came from);
    // the engine keeps it and never uses it.
    explicit TDataFile(void* owner = nullptr);
    // Closes the table: the base destructor would run only the base Close.
    ~TDataFile() override;

    void* Owner() const noexcept { return owner_; }

    // The name trimmed, with the extension of its last part (or none) replaced by ".DAT".
    std::string TranslateFileName(std::string_view name) const override;

    // Opens the record file and checks it before anything is used: a header of version 3 (12035) naming an
    // installed locale (15878); at most 1024 fields and 32 large-object fields, a record size of at least 9
    // whose image with the stored calculated area stays within 65,535 bytes, a block size of 0 or 64..65535,
    // strings within their rooms, a last record ID of at most 0x7FFFFFFF (8961 for each). A protected table
    // then needs its password in the current session's list: while it is missing the password callback is
    // asked, and a callback that answers false, or none, fails the open with 10498. Then the descriptors:
    // sizes of at most 250 on strings, bytes and variable bytes and 0 on other types, as many large-object
    // fields as the header counts, stored offsets and field numbers as the field list gives them, and a
    // record size equal to the fields' sum (8961 for each); then the index file with the checks of its header
    // (IndexFile.h) and the large-object file; then, under the read lock, a slot area of whole slots, as many
    // as the next slot number says (8961). Does nothing when open; a failed open leaves the handle closed,
    // its files and locks released and the password callback cleared.
    void Open() override;
    // Unpins every cache entry; an exclusive, writable table then writes what is dirty (FlushBuffers with
    // trim, headers not forced): records and record header, index pages and header, large-object blocks and
    // header; a shared table wrote its changes as it made them and writes nothing. Then every lock is
    // released, the large-object file and the index file are closed before the record file, the caches freed,
    // a temporary table's files deleted and the password callback cleared. The files are closed also when a
    // write or an unlock fails, whose failure is then raised. Does nothing when closed.
    void Close() override;
    // Creates the record file (10031 when open, 10253 when not exclusive), then the index file and, with
    // large-object fields, the large-object file with this handle's name and settings, and leaves them open.
    // When a file cannot be created, the files this call created before it are deleted again; a file it did
    // not create is never touched.
    void CreateFile() override;

    // Creates a new table under the handle's file name: the handle must be closed (10031), exclusive (10253)
    // and writable (11013). The definition is validated (TableDefinition.h), normalised in the caller's
    // descriptors, written and opened again through every check of Open; then the primary index is defined
    // from the first descriptor (none: a table without a primary index) and the secondary ones in list order.
    // When anything after the files' creation fails, they are deleted again. A password the session's list
    // lacked is there only for the call. The handle is closed when it returns.
    void CreateTable(std::uint16_t languageId, std::uint16_t sortId, std::uint16_t reservedA,
                     std::uint16_t reservedB, bool isProtected, std::string_view password,
                     std::string_view description, std::uint32_t blockSize, std::span<TFieldDesc> fields,
                     std::span<TIndexDescriptor> indexes, bool allowNoPrimary);
    // Deletes the table's files, the record file first (9220 when a delete fails; the files after it stay).
    void DeleteFiles();
    // Removes every record of an open table, and frees every open large-object value; 10253 when it is not
    // exclusive, 11013 when read-only. Does nothing when closed.
    void EmptyTable();
    // A temporary table's files are deleted when it is closed. Only while closed (10031).
    void SetTemporary(bool temporary);
    bool Temporary() const noexcept { return temporary_; }

    // ---- Settings the owner makes before open ----

    // Set: every operation compares the change counters before it starts, instead of at a cache miss.
    // Ignored while open.
    void SetStrictChangeDetection(bool strict) noexcept;
    // Set: the record, index and large-object files are opened with write-through. Ignored while open.
    void SetForceBufferFlush(bool force) noexcept;
    bool ForceBufferFlush() const noexcept { return forceBufferFlush_; }
    // Record and table locks are tried once and then retried this many times, waiting this many milliseconds
    // before each retry; both may change while the table is open.
    std::uint8_t LockRetryCount() const noexcept { return lockRetryCount_; }
    void SetLockRetryCount(std::uint8_t count) noexcept { lockRetryCount_ = count; }
    std::uint16_t LockWaitTime() const noexcept { return lockWaitTime_; }
    void SetLockWaitTime(std::uint16_t milliseconds) noexcept { lockWaitTime_ = milliseconds; }
    // Set by the SQL engine on the handles a statement hands out as its result: the dataset components then
    // neither close nor free them.
    bool QueryOwned() const noexcept { return queryOwned_; }
    void SetQueryOwned(bool owned) noexcept { queryOwned_ = owned; }
    // Set by the SQL engine on its result tables: inserts and modifies skip their separate duplicate-key
    // pass.
    bool SkipDuplicatePreCheck() const noexcept { return skipDuplicatePreCheck_; }
    void SetSkipDuplicatePreCheck(bool skip) noexcept { skipDuplicatePreCheck_ = skip; }

    // The password callback: asked by Open while the session's password list lacks a protected table's
    // password; it answers whether to look again (having added the password, or to ask once more). Close
    // clears it, so the owner sets it before every open.
    using PasswordEvent = std::function<bool()>;
    void SetPasswordEvent(PasswordEvent event) { passwordEvent_ = std::move(event); }
    bool HasPasswordEvent() const noexcept { return static_cast<bool>(passwordEvent_); }
    // The callback's answer; false without a callback.
    bool CallPasswordEvent();
    // Whether the open table is protected, and its password (empty otherwise).
    bool GetEncrypted() const noexcept { return IsOpen() && TableProtected(); }
    std::string GetStoredPassword() const;

    // ---- Record cache (RecordCache.cpp) ----
    //
    // Every slot is read and written through the cache. An entry is pinned by each fetch and released by
    // the fetcher; a pin more than 64 at once, a cache whose entries are all pinned, and a slot asked for
    // that the table does not hold raise 8962. A full cache writes every dirty entry in sorted runs and looks
    // again (under the transaction lock it grows instead). The cache's capacity is min(131070 div record
    // image size, 65535) entries, set at open and by each trim.

    // The pinned entry of slot n (1 .. next slot number - 1), computed fields included; n = 0 gives no entry
    // and true. A miss begins a read first (unless the table detects changes strictly): when that reports
    // another program's change, every stale cache has been dropped, the answer is false with no entry, and
    // the caller starts its operation again; the read lock then stays held until the operation's TReadGuard
    // ends it, so the restart checks no more. A miss reads the slot with one read: with read-ahead in index
    // order the slots the index cursor's current page names one after another, or in the cursor's natural
    // order the slots up to the last visible one within reach (GetReadAheadSpan), with read-ahead in
    // natural order the following slots (forward) or the slots before it down to slot 1, each at most
    // ReadAheadLimit in all; cached entries in the run that are pinned or dirty stay as they are. A
    // slot that does not come whole raises 9217 on a shared table; elsewhere (exclusive, or under the
    // transaction lock, where slots may exist only in the cache) its entry is missing, 8962.
    bool GetRecord(SlotNumber slot, bool readAhead, bool indexOrder, int direction, RecordPin& record);
    void ReleaseRecord(RecordPin& record) noexcept { record.Release(); }
    // Gives a cached record another slot number; an active record's link follows. Dirty.
    void SetRecordNumber(TRecord& record, SlotNumber slot);

    // The cursor's current record, pinned while it is current; none without one.
    TRecord* CurrentRecord() const noexcept { return currentRecord_.Get(); }
    void SetCurrentRecord(RecordPin record) noexcept;
    void ReleaseCurrentRecord() noexcept;

    // Every dirty record that is neither pinned nor being read, in ascending slot order, each run of
    // consecutive slots with one write; true when anything was written.
    bool FlushRecords();
    // Nothing on a read-only table. Writes the dirty records, the header (when changed or forced), the index
    // file's dirty pages and header (when changed or the index header is forced) and the large-object file's
    // dirty blocks and header (when changed or forced); with trim each cache goes back to its capacity.
    // Pinned entries are not written: callers unpin first (UnpinAll). The operating system's buffers are not
    // flushed. On an exclusive table whose writes since the last completed flush failed (here or earlier), the
    // table goes back to that flush, caches included, and the call raises 9218.
    void FlushBuffers(bool trim, bool forceHeaders, bool forceIndexHeader);
    // The order of one change's writes on a shared table, chosen so that a program killed between two of
    // them leaves at worst a leak (a slot or block nobody reuses, a count off by one), never a state that
    // fails every other program: what a record comes to name is written before the record, and the record
    // before the keys that find it; what it gives up goes after it.
    enum class WriteOrder : std::uint8_t {
        // Large-object blocks and header, then the record and the header (an appended slot before the
        // header that counts it), then the index pages and header: insert and modify.
        RecordFirst,
        // As RecordFirst, but the record file's header before the slot: a reused slot leaves the free chain
        // (a deleted slot off the chain is a leak) before it turns active (an active slot at the head of the
        // chain would be stepped over by every insert).
        ReusedSlot,
        // The index pages and header, then the slot and the header that makes it the chain's head, then the
        // large-object blocks freed: delete.
        IndexFirst,
    };
    // FlushBuffers(false, true, forceIndexHeader) of one change, in the order given; then the large-object
    // blocks the change retired (old chains of values it wrote into new blocks) are freed and written with
    // the header that lists them, after the record that no longer names them.
    void FlushChange(WriteOrder order, bool forceIndexHeader, const std::vector<BlockOffset>& retired = {});
    // FlushBuffers' writes, without its care for a failed exclusive change.
    void WriteEverything(bool trim, bool forceHeaders, bool forceIndexHeader);
    // Drops every cached change without writing: records emptied in place, the three headers read again,
    // index pages invalidated and large-object blocks dropped; with trim each cache goes back to its
    // capacity.
    void DiscardBuffers(bool trim);
    // Clears the pins of every cached record, index page and large-object block, the current record's and the
    // cursor's current page's included, so that a flush writes them too. PinCurrentRecord pins the current
    // record and the current page again, when they are still cached.
    void UnpinAll() noexcept;
    void PinCurrentRecord() noexcept;
    // Frees every cached record, the current record first; empties every one in place (its pins, image and
    // slot number go); clears every record's pins (the current record is remembered as UnpinAll does); frees
    // the least recently used records beyond a new capacity (the current record kept).
    void ClearRecordCache() noexcept;
    void InvalidateRecordCache();
    void UnpinAllRecords() noexcept;
    void TrimRecordCache() noexcept;
    const TCache<TRecord>& RecordCache() const noexcept { return records_; }
    // The most slots one read-ahead reads: 32767 div record size, at least 1.
    std::uint32_t ReadAheadLimit() const noexcept { return readAheadLimit_; }

    // ---- Read protocol and change detection (TableLocks.cpp) ----
    //
    // None of this acts on a table opened exclusively or one whose record file is read-only by its
    // attribute: such a table takes no lock and never checks for changes. Each lock mark is set only after
    // its lock succeeded and cleared only after its unlock succeeded.

    // Begins an operation's read: nothing (false) while the long-lived read lock, the transaction lock, the
    // write locks or the per-operation read lock is held; otherwise the index file's read byte, then the
    // large-object file's (10249 when the tries run out, with nothing left held), and the answer of
    // CheckForChanges. Operations use it through TReadGuard.
    bool BeginRead() override;
    // Ends the per-operation read lock. The read bytes serve the long-lived read lock too: they stay held
    // while it is, else the large-object file's byte goes, then the index file's (10249 when an unlock
    // fails).
    void EndRead();
    // Compares the three change counters with the headers in memory. The index file changed: its header is
    // read again, every cached page invalidated, the record file's header read again and every cached record
    // emptied. Otherwise, the record file changed: its header read again and every record emptied. Either
    // way the cursor keeps its place (DropCachesAndReposition). In both cases and otherwise: the large-object
    // file changed, its header read again and its blocks dropped. True when anything was dropped.
    bool CheckForChanges();
    // Releases of the locks held across operations, each only when its mark is set: the long-lived read lock
    // (its bytes stay while the per-operation read lock holds them; 10249), the table lock (not in a
    // transaction; 10242), every record lock, last locked first (not in a transaction; 10242), the write
    // locks: the large-object file's, the index file's (10249), then outside a transaction the write
    // semaphore (WriteUnlockByte, 10249).
    void ReleaseReadLock();
    void UnlockTable();
    void UnlockAllRecords();
    void EndWrite();
    // Unlocks the record file's write semaphore when held; false when the unlock fails.
    bool WriteUnlockByte();
    bool OperationReadLockHeld() const noexcept { return marks_.OperationRead; }
    bool LongLivedReadLockHeld() const noexcept { return marks_.LongLivedRead; }
    bool TableLockHeld() const noexcept { return marks_.Table; }
    bool WriteLocksHeld() const noexcept { return marks_.Write; }
    bool WriteSemaphoreHeld() const noexcept { return marks_.WriteSemaphore; }
    // The slots this handle holds locked, in ascending order.
    std::vector<SlotNumber> LockedRecords() const { return {lockedRecords_.begin(), lockedRecords_.end()}; }
    bool HoldsRecordLock(SlotNumber slot) const noexcept { return lockedRecords_.contains(slot); }

    // ---- Acquiring locks, the current record and transactions (DataFileLocks.cpp) ----
    //
    // The lock operations do nothing on a table opened exclusively or read-only by its attribute (see
    // above); LoadCurrentRecord runs on every table, and the transaction steps have their own exclusive
    // branches. Each operation here is an entry point: a per-operation read lock taken during it is released
    // when it returns, unless the operation that called it holds that read. A failing operation releases,
    // in reverse, every lock it took before it raises.

    // The write locks of one change: outside a transaction the write semaphore, then the index file's write
    // lock, then the large-object file's (10249 when tries run out); then, outside a transaction, the change
    // check. Nothing when held already. Kept until EndWrite.
    void BeginWrite();
    // The read lock held across operations (the SQL engine's, for a whole statement): the read bytes as
    // BeginRead takes them, whatever else is held, then the change check; 10249. Nothing when held already.
    // Kept until ReleaseReadLock.
    void AcquireReadLock();
    // Locks slot n for this handle; NoSlot stands for the current record (none: 10258). Nothing when this
    // handle holds the table lock or slot n already. The per-operation read lock is taken first, so that a
    // change by another program is looked for whatever StrictChangeDetection says; when the current record
    // was asked for (NoSlot or its slot) and that check leaves another record current (deleted, or another
    // slot or record ID), 8710 naming the table and no lock taken. The lock byte is tried 1 +
    // LockRetryCount times, LockWaitTime ms apart (10258). Kept until UnlockRecord.
    void LockRecord(SlotNumber slot);
    // Locks slot n by its number, whatever record is current (an insert's slot, which may be a deleted one);
    // the lock byte tried as LockRecord tries it (10258). Nothing when held already or under the table lock.
    void LockSlotNumber(SlotNumber slot);
    // LockSlotNumber with one try and no wait: false when another handle holds the slot.
    bool TryLockSlotNumber(SlotNumber slot);
    // 8710 naming the table, at once, for a slot number above 0x7FFFFFFE, which has no lock byte.
    void RequireLockableSlot(SlotNumber slot) const;
    // Frees this handle's lock of slot n (NoSlot: the current record; none: 10242); 10242 when the unlock
    // fails. Nothing when the table lock is held, or in a transaction, which keeps its locks until it ends.
    void UnlockRecord(SlotNumber slot);
    // The table lock, tried 1 + LockRetryCount times, LockWaitTime ms apart (10241), then the change check
    // under the per-operation read lock. Nothing when held already. Kept until UnlockTable.
    void LockTable();
    // After the index cursor moved: makes the record it stands on current, fetched with read-ahead in index
    // order in the direction (ReadForward, ReadBackward; ReadOne after a jump); a fetch that met another
    // program's change is done again on the record the cursor then stands on. Without a record under the
    // cursor the current record stays as it is.
    void LoadCurrentRecord(int direction);

    // Transactions buffer one handle's changes in its caches until they are rolled back; nothing writes them.
    // StartTransaction (not on a read-only table, not twice) only marks the transaction started.
    void StartTransaction();
    // The first write of a started transaction (nothing otherwise, or when its lock is taken): every cache
    // unpinned; an exclusive table writes everything with forced headers, then, unless the files write
    // through (ForceBufferFlush), the system's buffers of its files; the current record pinned again; then
    // LockForTransaction.
    void BeginTransactionWrite();
    // Once: a shared table takes the write semaphore (10249) and checks for changes; then, and on an
    // exclusive table at once, the handle is in a transaction. From then until UnlockForTransaction
    // BeginWrite leaves the semaphore alone and checks nothing, BeginRead does nothing, record and table
    // unlocks wait, and the caches grow instead of writing.
    void LockForTransaction();
    // Ends the transaction's hold: a shared table releases the write semaphore (10249), then the table lock
    // when held, else every record lock. Nothing outside a transaction.
    void UnlockForTransaction();
    // Ends a started transaction. When its lock was taken every cached change is dropped (DiscardBuffers with
    // trim) and the cursor keeps its place, whatever part of a write was done; then UnlockForTransaction,
    // also when the drop failed.
    void Rollback();
    // The record file's write semaphore, tried 1 + the policy's retries times; true when held.
    bool WriteLockByte();
    // Tries and waits of the semaphore and of the index and large-object files' read and write locks; the
    // sleep serves the record and table locks too. Tests shorten the waits with it.
    void SetLockRetryPolicy(const LockRetryPolicy& policy);
    // Set by the record layer once a transaction's write succeeded.
    void SetFirstWriteDone() noexcept { firstWriteDone_ = true; }
    bool InTransaction() const noexcept { return marks_.TransactionLock; }
    bool TransactionStarted() const noexcept { return transactionStarted_; }
    bool FirstWriteDone() const noexcept { return firstWriteDone_; }

    // The header: ReadHeader reads it (9217 on a short read) and clears the image-changed mark; WriteHeader
    // writes it when forced or marked changed, with the change counter moved on and the write time stamped
    // from the clock (rtl::Now); HeaderChanged re-reads it when another program's change counter differs.
    void ReadHeader();
    void WriteHeader(bool force);
    bool HeaderChanged();
    // The descriptors of the physical set, in one read or write at offset 127; scrambled for a protected
    // table.
    void ReadFieldDescs();
    void WriteFieldDescs();
    // Cuts the file after its descriptors and resets the header's slot counters; the header is marked
    // changed.
    void TruncateFile();

    // The free-slot chain (FreeSlotChain.h): the slot a new record will take, and a new head.
    SlotNumber NextFreeSlot() const noexcept;
    void SetFreeSlotHead(SlotNumber slot) noexcept;
    // Takes the slot a new record will take and answers its cache entry, pinned: the head of the free chain
    // (fetched; it must be deleted, 8961 otherwise, and its link becomes the head) or a new slot appended at
    // the end (an empty entry, nothing read; the next slot number moves on, 9479 beyond the file's limits).
    // The only way a slot is appended. The appended entry stays clean and empty until the caller fills it: an
    // operation that fails after taking it drops its changes (DiscardBuffers), else the next slot number
    // written with the header would pass the slots in the file.
    // With reuse clear the slot is appended whatever the chain holds, and the chain's head stays.
    RecordPin TakeFreeSlot(bool reuse = true);
    // The free chain's head when an insert may take it: a deleted slot whose "Sys Deleted" key says so
    // (that key answered). A head that is not one (a change cut short by a killed program, or damage) is
    // stepped over for the rest of the handle's life: its inserts append instead of failing for ever. NoSlot
    // when the insert appends.
    SlotNumber ReusableFreeHead(TIndexKey& deletedKey);
    // The field's value as the image's record holds it in the file (a read held): value takes it; 8710 when
    // the slot holds another record or none.
    std::uint16_t StoredBlobValue(const TFieldDesc& field, std::span<const std::uint8_t> image,
                                  std::int32_t& value);
    // One try of InsertRecord: false, with nothing changed and the write locks given up, when the slot's
    // lock cannot be had at once.
    bool TryInsertRecord(std::span<std::uint8_t> image, bool updateBitmaps);
    // Marks the cached record deleted, links it to the slot a new record would take and makes it the head.
    void FreeSlot(TRecord& record);

    // Slots in the file, deleted ones included.
    std::uint32_t GetPhysicalRecordCount() const noexcept { return header_.NextSlotNumber.Value - 1; }
    std::uint32_t OpenPhysicalRecordCount() const noexcept override {
        return IsOpen() ? GetPhysicalRecordCount() : 0;
    }

    // The working field set: the descriptors record images and field access use.
    // A copy of the physical set, with no calculated-field area.
    void ResetWorkingFields();
    // The caller's list, its calculated fields placed after the stored record (offset = record size + the
    // area so far, which starts at 0 each time). Stored sizes and scales are derived from type and size.
    // 10000 for a string, bytes or variable-bytes size above 250, 9477 for an image above 65535 bytes; the
    // set is unchanged then. Cached records keep their slots' bytes, changed ones too; their calculated areas
    // take the new size and are computed again at the next fetch.
    void DefineWorkingFields(std::span<const TFieldDesc> fields);
    // Expose or hide descriptors at the end of the defined set (the SQL engine's hidden count fields); never
    // more than the last definition holds, never fewer than none.
    void AddWorkingFields(std::uint16_t count);
    void RemoveWorkingFields(std::uint16_t count);

    // The large-object file; open while the table is, when the table has large-object fields.
    TBlobFile& BlobFile() noexcept { return blobFile_; }
    // The rollback journal (".JNL"); open while a disk table is, unless a read-only handle found none.
    TJournal& Journal() noexcept { return journal_; }

    // What the large-object file and the index file ask of their table (TableFileOwner.h, IndexFileOwner.h).
    const std::string& TableFileName() const override { return FileName(); }
    bool TableExclusive() const override { return Exclusive(); }
    bool StrictChangeDetection() const override { return strictChangeDetection_; }
    bool TransactionLockHeld() const override { return marks_.TransactionLock; }
    bool TableProtected() const override { return header_.Protected != 0; }
    std::uint32_t BlobBlockSize() const override { return GetBlobBlockSize(); }
    // Repair mode and the repair log, which receives each repair message; nothing but tests sets them. Close
    // clears the log with the password callback.
    bool RepairMode() const override { return repairMode_; }
    void LogRepair(std::string_view message) override;
    void SetRepairMode(bool repairMode) noexcept { repairMode_ = repairMode; }
    void SetRepairLog(std::function<void(std::string_view)> log) { repairLog_ = std::move(log); }

    const TDataFileHeader& Header() const noexcept { return header_; }
    const std::vector<TFieldDesc>& PhysicalFields() const noexcept override { return fields_; }
    // The defined working set; the first WorkingFieldCount of them are in use.
    const std::vector<TFieldDesc>& WorkingFields() const noexcept { return workingFields_; }
    std::uint16_t WorkingFieldCount() const noexcept { return workingCount_; }
    std::uint16_t RecordSize() const noexcept { return recordSize_; }
    std::uint16_t CalcAreaSize() const noexcept { return calcAreaSize_; }
    // Computed whenever descriptors are read; the last one also for each working set.
    bool HasValidityChecks() const noexcept { return hasValidityChecks_; }
    bool HasDefaults() const noexcept { return hasDefaults_; }
    bool HasCalculatedFields() const noexcept { return hasCalculatedFields_; }

    // ---- Field access (FieldAccess.cpp) ----
    //
    // A record image is the slot's RecordSize bytes followed by the working set's calculated area
    // (GetRecordBufferSize in all):
    //
    // | Position      | Size        | Content                                                          |
    // |---------------|-------------|------------------------------------------------------------------|
    // | 0             | 9           | TRecordHeader (RecordHeader.h); the record ID at 5 is also the   |
    // |               |             | value of an autoincrement field, which has no room of its own    |
    // | field offset  | 1           | null flag of a field: 1 has a value, 0 blank                     |
    // | offset + 1    | stored size | the value, little-endian: a string's characters and a zero;      |
    // |               |             | booleans u16 0 or 1; dates, times, date-times and BCD values in  |
    // |               |             | the forms of FieldTypes.h; a large object's i32 first block (0   |
    // |               |             | empty) or, while open, its negated handle                        |
    // | RecordSize    | CalcArea    | the working set's calculated fields, laid out like the others    |
    //
    // Field numbers count from 1 in the set a flag names: false the physical set (the stored descriptors),
    // true the working set. A number of 0 or above the set's count raises 9985 naming the number; an image,
    // source or destination too short for the field raises 8962 and nothing is read or written outside it.
    // A calculated field with offset 0 (as stored descriptors hold them) has no room in the image: it reads
    // blank and takes no value.

    // Copies the field's stored bytes into the destination (none when empty; else at least the stored
    // size) and answers whether the field is blank. An autoincrement field is never blank.
    bool GetField(bool workingSet, std::uint16_t fieldNumber, std::span<const std::uint8_t> image,
                  std::span<std::uint8_t> destination = {}) const;
    // Stores at most the stored size of the source (a shorter source is zero-extended): strings without
    // trailing blanks, cut to their size and blank when empty; booleans as 0 or 1; the autoincrement field
    // as the record ID. Without a source the field is blanked and its bytes zeroed (the autoincrement field
    // stays). A calculated field changes only with allowCalculated; after any other field the calculated
    // fields are computed again.
    void SetField(bool workingSet, std::uint16_t fieldNumber, std::span<std::uint8_t> image,
                  FieldSource source, bool allowCalculated = false);

    // The next record ID: the header's last one + 1, 1 after 0x7FFFFFFF; the header is marked changed.
    RecordId NextAutoInc() noexcept;
    // The ID NextAutoInc hands out next, taking nothing.
    RecordId PeekAutoInc() const noexcept;
    // The record header's record ID and slot number in an image (8962 for one under 9 bytes).
    RecordId GetRecordId(std::span<const std::uint8_t> image) const;
    void SetRecordId(std::span<std::uint8_t> image, RecordId id) const;
    SlotNumber GetSlotNumber(std::span<const std::uint8_t> image) const;

    // The descriptor of a field, by number or by name (without regard to case under the table's locale, the
    // first match in field order); 9985 naming the number or the name. The reference lasts until the set
    // changes (DefineWorkingFields, ResetWorkingFields, Close).
    const TFieldDesc& GetFieldDesc(bool workingSet, std::uint16_t fieldNumber) const;
    const TFieldDesc& GetFieldDescByName(bool workingSet, std::string_view name) const;

    std::uint16_t GetFieldCount() const noexcept { return workingCount_; }
    std::uint16_t GetPhysicalFieldCount() const noexcept { return header_.FieldCount; }
    std::uint16_t GetRecordSize() const noexcept { return recordSize_; }
    // The record image: the slot and the working set's calculated area.
    std::uint32_t GetRecordBufferSize() const noexcept { return std::uint32_t{recordSize_} + calcAreaSize_; }
    // The large-object block size; a stored 0 stands for 512.
    std::uint32_t GetBlobBlockSize() const noexcept;
    std::uint16_t GetLanguageId() const noexcept override { return header_.LanguageId; }
    std::uint16_t GetSortId() const noexcept override { return header_.SortId; }
    // The collation table built at open from the language id and sort id (identity for language id 0).
    const CollationTable& GetLocaleInfo() const noexcept override { return collationTable_; }

    // Prepares an image (GetRecordBufferSize bytes) for a new record: all zero, then each working field's
    // default stored, read under the table's locale formats: "DATE", "TIME" and "NOW" (any letter case)
    // from the clock (rtl::Now), other texts as the type reads them; a text that does not read raises the
    // runtime's conversion error. The caller's format settings are back afterwards, also after a failure.
    void InitRecord(std::span<std::uint8_t> image);
    // Computes every calculated working field that has a compiled tree, reading the physical set.
    void CalcFields(std::span<std::uint8_t> image);
    // Raises 9732 for a required field that is blank, 9730 and 9731 for a value below its minimum or above
    // its maximum (blank values count as zero or the empty string), naming the field; the limits are read
    // under the table's locale formats, which are restored afterwards.
    void CheckValidity(std::span<const std::uint8_t> image);
    // Whether a field's value (its stored bytes, at least the stored size) lies within the limit text, read
    // in the current formats: not below a minimum, not above a maximum. Strings compare under the table's
    // collation, case significant; BCD values by their exact values; types without an order always lie
    // within.
    bool CheckLimit(std::string_view limit, bool isMaximum, const TFieldDesc& field,
                    std::span<const std::uint8_t> value) const;

    // The column procedure of calculated fields: data points to the image (a std::span<std::uint8_t>),
    // owner to this table; the column's physical field is read into the value, its blank flag into IsNull.
    static void GetCalcOperand(void* owner, void* data, const TExprNode& column, ExprValue& value);

    // ---- Large-object values (DataFileBlobs.cpp) ----
    //
    // A large-object field of a record buffer holds its chain's first block (0 empty) or, while its value is
    // open, the negated handle of the open value (TBlobFile's open values). The field number counts in the
    // set the flag names; a number outside the set, a field of another type and a field without room in the
    // image answer 10753; an image too short for the field raises 8962 as field access does. The operations
    // answer TBlobFile's codes (0 success; failures are stored in the error context naming the record file
    // and the field) and raise only where a chain is loaded, saved or freed.

    // 0 and nothing changes when the field holds the handle of an open value (its first open mode stays);
    // 9998 when it holds any other negative number. Else the value is opened for the record in the image's
    // slot (TBlobFile::OpenBlob: 9494, or the load's errors raised) and the field takes its negated handle.
    // Under strict change detection the read is begun first; the read is ended on every path. On a shared
    // table a value read from the file (always under strict detection, else when its first block is not
    // cached) is opened as the image's record holds it under that read: its current value when another
    // program rewrote it, 8710 naming the table and field when the record is gone or another took its slot.
    std::uint16_t OpenBlob(bool workingSet, std::uint16_t fieldNumber, std::uint8_t openMode,
                           std::span<std::uint8_t> image);
    // 10030 when the field holds no negative number; else TBlobFile::CloseBlob, and on success the field
    // takes the value's first block (unsaved changes are dropped).
    std::uint16_t CloseBlob(bool workingSet, std::uint16_t fieldNumber, std::span<std::uint8_t> image);
    // 10030 when the field holds no negative number; else the TBlobFile operation on its handle.
    std::uint16_t ReadBlob(bool workingSet, std::uint16_t fieldNumber, std::int32_t& countRead,
                           std::int32_t count, std::span<std::uint8_t> destination, std::int32_t offset,
                           std::span<const std::uint8_t> image);
    std::uint16_t WriteBlob(bool workingSet, std::uint16_t fieldNumber, std::span<const std::uint8_t> source,
                            std::int32_t count, std::int32_t offset, std::span<const std::uint8_t> image);
    std::uint16_t TruncateBlob(bool workingSet, std::uint16_t fieldNumber, std::int32_t size,
                               std::span<const std::uint8_t> image);
    // The size is 0 unless the answer is 0.
    std::uint16_t GetBlobSize(bool workingSet, std::uint16_t fieldNumber, std::int32_t& size,
                              std::span<const std::uint8_t> image);
    // Whether the field is a large object holding the negated handle of an open value.
    bool IsBlobOpen(bool workingSet, std::uint16_t fieldNumber, std::span<const std::uint8_t> image) const;
    // For a table with large-object fields: frees every open value (a cancelled edit), or stores every open
    // value's first block into its field of the image (a post, after TBlobFile::SaveModified).
    void FreeBlobs() noexcept;
    void SaveBlobReferences(bool workingSet, std::span<std::uint8_t> image);

    // ---- Record changes (RecordChanges.cpp) ----
    //
    // Each runs in one frame (RecordChanges.h): 11013 on a read-only table; a started transaction's first
    // write; the write locks; the change; the current index made current again, the record's bitmaps updated
    // (when asked) and the cursor's record found again; then on a shared table, outside a transaction,
    // everything written before the call returns. Every check a change can fail on runs before its first
    // change: validity, duplicate keys, the slot to take (9479 beyond the file's limits, 8961 for a reused
    // slot that is not deleted), the record's entry in every index, the pages and blocks it may append (9479).
    // A modify or delete takes the entries that name the record as they are: where a change cut short by a
    // killed program left them out of step with its fields (missing, or under old keys), the index's leaves
    // are walked for them, and the change leaves one entry with the right key in every index (a modify) or
    // none (a delete). On a shared table outside a transaction a changed large-object value goes into new
    // blocks, and its old chain is freed after the record and its keys are written. A shared table that
    // fails later all the same (a read or write error, a damaged page or chain) drops everything the change
    // dirtied and keeps the cursor's place, and the caller's open large-object values are as they were, so
    // that posting again saves them again. Keys are
    // kept in index 0 (with a primary index), the secondary indexes and, with a primary index, "Sys Deleted"
    // (31: status and record ID to slot).

    // Adds the record in the image (GetRecordBufferSize bytes) in a free slot (a deleted one with a primary
    // index, else appended) with the next record ID, which the image takes; its open large-object values are
    // saved for it. The new record becomes current. A slot whose lock another program holds (or cannot
    // give while a table lock is held or waited for) is waited for as a record lock is, with the write
    // locks given up meanwhile; 10258 once the retries are spent.
    void InsertRecord(std::span<std::uint8_t> image, bool updateBitmaps);
    // Replaces the current record's fields with the image's (whose record ID becomes the record's) and moves
    // its keys; unlock frees the caller's record lock afterwards. 10258 without a current record; 8710 when
    // the change check finds it deleted or another record current.
    void ModifyRecord(std::span<std::uint8_t> image, bool unlock, bool updateBitmaps);
    // Deletes the current record: its keys, its large-object chains, its slot onto the free-slot chain.
    // 10258 without a current record or when another user holds its lock; 8710 as for ModifyRecord.
    void DeleteRecord(bool updateBitmaps);

    // ---- Indexes and keys (IndexAccess.cpp) ----

    // The index file, opened after the record file's checks and closed before the record file.
    TIndexFile& IndexFile() noexcept { return indexFile_; }
    const TIndexFile& IndexFile() const noexcept { return indexFile_; }
    // The filters and the record bitmaps they make (RecordBitmaps.h).
    TRecordBitmaps& Bitmaps() noexcept { return bitmaps_; }
    const TRecordBitmaps& Bitmaps() const noexcept { return bitmaps_; }
    // The number of secondary indexes, and the current index's number (255: natural order) and name.
    std::uint8_t GetIndexCount() const noexcept { return indexFile_.GetIndexCount(); }
    std::uint8_t GetIndexNumber() const noexcept { return indexFile_.CurrentIndex(); }
    const std::string& GetIndexName() const noexcept { return indexFile_.CurrentSettings().Name; }
    // Switch the current index: by number 0..count or 255 (natural order), by name "" (the primary index) or
    // a secondary index's name without regard to case. Anything else raises 10022 naming the number or the
    // name before anything changes; asking for the current index changes nothing.
    void SetIndexNumber(int number);
    void SetIndexName(std::string_view name);
    // Index n's 16 key field numbers and its descriptor; n is 0..count (10022 otherwise).
    std::array<std::uint16_t, MaxIndexFields> GetIndexFields(int number) const;
    TIndexDescriptor GetIndexDesc(int number) const;

    // The key of a record image for the descriptor given, else the current index's (an empty key in natural
    // order): per key field its has-value byte and its value encoded (EncodeKeyField), the field's own
    // descending flag applying unless the whole index is descending; then, when the current index is not 0
    // and the descriptor not unique, EncodeIntegerKey of the record ID. Key fields are read through the
    // physical field set. A key that would pass 1040 bytes raises 10026 naming the index.
    void BuildKey(std::span<const std::uint8_t> record, TIndexKey& key,
                  const TIndexDescriptor* descriptor = nullptr) const;
    // Encodes a field's stored bytes (at least its stored size) into the key after the has-value byte at
    // position, order-preserving by type; strings up to their zero and at most stored size - 1 characters,
    // upper-cased under the table's locale when case-insensitive. Descending, on a table without a language
    // id, inverts the has-value byte and the value (of a string all but its last byte); with a language id
    // the comparison orders descending keys instead.
    void EncodeKeyField(const TFieldDesc& field, std::span<const std::uint8_t> value, TIndexKey& key,
                        std::size_t position, bool caseInsensitive, bool descending) const;
    // The "Sys Deleted" key (5 bytes): the first byte of the status source (a record header) and
    // EncodeIntegerKey of the record's ID.
    void BuildPhysicalKey(std::span<const std::uint8_t> statusSource, TIndexKey& key,
                          std::span<const std::uint8_t> record) const;

    // What key building needs of the table: its stored fields and locale.
    TKeyContext KeyContext() const noexcept;

    // ---- The cursor (TableCursor.cpp: moves, fetches, re-finding; TableSearch.cpp: key searches, ranges,
    // bookmarks, following another handle, clones) ----
    //
    // The cursor's position is the index file's (TIndexFile's cursor); the record it stands on is the current
    // record. Every operation that moves the cursor, or changes its range or index, compares the change
    // counters first under strict change detection and ends the per-operation read lock it or a miss inside
    // it took, also when it fails; each move ends by loading the record under the cursor. Natural order is
    // the index file's (index 255, or index 0 of a table without a primary index). A key, bookmark, record
    // image or destination shorter than it must be raises 8962 naming the table before anything moves; an
    // empty one is none.

    // Before the first record, after the last, or on the n-th visible key or record (relative to the range;
    // 0 gives the before-first state, above the count the after-last state, GetRecNo reading n back).
    void SetToBegin();
    void SetToEnd();
    void GotoRecNo(std::int32_t n);
    // 0, or 8705 (before the first) and 8706 (after the last) with the destination cleared (InitRecord).
    // GetCurrentRecord with lock locks the current record first (LockRecord: 10258, 8710). The next and prior
    // fetch step from an end state onto the first and last record.
    std::uint16_t GetCurrentRecord(std::span<std::uint8_t> destination, bool lock);
    std::uint16_t GetNextRecord(std::span<std::uint8_t> destination = {});
    std::uint16_t GetPriorRecord(std::span<std::uint8_t> destination = {});
    // Finds the key given (isKeyBuffer: the key length of bytes) or built from a record image. A field count
    // below the index's, a non-unique secondary index, or a partial length compares only the first fields
    // (and the partial length's characters of the next field), the rest padded with the collation's end for
    // the order. The cursor stays on the nearest key when not found, and on the last key when none follows.
    // No source: false, nothing moves.
    bool FindKey(bool isKeyBuffer, std::span<const std::uint8_t> source, int fieldCount, bool nearest,
                 std::uint8_t partialLength, std::span<std::uint8_t> destination = {});
    // The key of the image located exactly, a non-unique secondary index's record-ID suffix ignored; the
    // ordinal and flags stay. No image: false.
    bool FindRecordKey(std::span<const std::uint8_t> image, std::span<std::uint8_t> destination = {});
    // A range of the current index from the start to the end (each a key or a record image as for FindKey,
    // partial keys padded low at the start and high at the end; an end without source the all-zero key), and
    // its cancel; both re-find the current record. Nothing in natural order.
    void SetRange(bool isKeyBuffer, std::span<const std::uint8_t> start, int startFieldCount,
                  std::span<const std::uint8_t> end, int endFieldCount);
    void CancelRange();
    // The cursor's ordinal (relative to the range) and the keys or visible records it reaches. In index order
    // with a filter the ordinal counts hidden keys too.
    std::int32_t GetRecNo() const noexcept { return indexFile_.GetOrdinal(); }
    std::int32_t GetRecordCount() const noexcept {
        return static_cast<std::int32_t>(indexFile_.GetKeyCount());
    }
    // A bookmark is GetKeySize bytes: in natural order the current slot, a little-endian u32 (0 without
    // one); otherwise the current key (all zero without one). GotoBookmark goes to the slot (the nearest
    // visible one at or after it) or to the key with nearest (a deleted record's bookmark lands on the next
    // key), keeping the end flags when asked. CompareBookmarks answers -1, 0 or 1: slots as numbers, keys in
    // the current index's order.
    void GetBookmark(std::span<std::uint8_t> destination) const;
    void GotoBookmark(std::span<const std::uint8_t> bookmark, bool keepEndFlags);
    int CompareBookmarks(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second) const;
    // Goes to the other handle's current record: its key for this handle's index, searched exactly, or in
    // natural order its slot when visible here. 0, or 8710 (returned) with the position kept.
    std::uint16_t GotoCurrent(TDataFile& other);
    // The current record's image; empty without one.
    std::span<const std::uint8_t> GetCurrentRecordImage();
    // A second shared handle on this table, owned by this one: the same read-only and in-memory settings,
    // working fields, index, range and record, the default lock settings; a protected table's password is in
    // the session's list only for the call, and each filter in order (a copy of its condition, or its
    // callback with its client data), active when it is active here. 11013 for an exclusive table.
    std::unique_ptr<TDataFile> CloneCursor();

    // ---- Filters (TableFilters.cpp) ----
    //
    // Codes are returned, not raised. AddFilter takes no lock: 9482 with 128 filters already, else the
    // index file's AddFilter (10051 for neither condition nor callback; 9985 raised for an unknown field of
    // a blob); the new filter is inactive. The others run under the per-operation read lock, call the index
    // file's operation and, when it answers 0, build what changed (ActivateFilter and ModifyFilter that
    // filter's bitmap), the visible bitmap, and re-find the current record. 10050 for an unknown handle
    // (ModifyFilter: one that is not active); a nil handle drops, activates or deactivates every filter.
    std::uint16_t AddFilter(void* clientData, std::span<const std::uint8_t> blob, TFilter*& handle,
                            bool andEarlier, TRecordFilterProc callback, bool ownsTree, TExprNode* tree);
    std::uint16_t DropFilter(TFilter* handle);
    std::uint16_t ActivateFilter(TFilter* handle);
    std::uint16_t DeactivateFilter(TFilter* handle);
    std::uint16_t ModifyFilter(TFilter* handle, std::span<const std::uint8_t> blob, TExprNode* tree,
                               bool ownsTree);
    // Re-finds the current record after a change of index, range, filter or data: its key with nearest and
    // the end flags kept, or in natural order its slot or the nearest visible one after it, the end flags
    // kept the same way.
    void Resync();
    // Compares the change counters (always) and takes up the position again with the bitmaps rebuilt.
    void Refresh();
    // The range ordinals, and what the filters keep, rebuilt for all records or for one.
    void RefreshBitmaps();
    void UpdateRecordBitmaps(SlotNumber slot, std::span<const std::uint8_t> image);
    void UpdateBitmapsAfterDelete(SlotNumber slot);
    // A natural-order bookmark: the slot number's u32.
    static constexpr std::uint16_t NaturalBookmarkSize = 4;
    // 4 in natural order (a slot), else the current index's key length.
    std::uint16_t GetKeySize() const noexcept;
    std::uint16_t GetKeyLength() const noexcept { return indexFile_.CurrentSettings().KeyLength; }
    std::uint8_t GetCurrentIndexFieldCount() const noexcept {
        return indexFile_.CurrentSettings().FieldCount;
    }
    // The primary index holds each key once whatever its unique byte says.
    bool GetCurrentIndexUnique() const noexcept {
        return !indexFile_.NaturalOrder() &&
               (indexFile_.CurrentIndex() == PrimaryIndexSlot || indexFile_.CurrentSettings().Unique != 0);
    }
    // The current record as the file holds it: a change check empties every cached record, the current one
    // too, and re-finds only the cursor, so a record it emptied is loaded again from the cursor first. None
    // without a record under the cursor. Every reader of the current record reads through this.
    TRecord* LoadedCurrentRecord();

private:
    // A filter list change under the read lock; on 0 the visible bitmap is built (unless the change says it
    // kept it current) and the record re-found.
    template <typename Change>
    std::uint16_t ChangeFilters(Change change, const bool* visibleKept = nullptr);
    template <typename Change>
    std::uint16_t WidenFilters(const TFilter* handle, Change change, bool* visibleKept = nullptr);
    friend class TRecordChange;

    // ---- Large-object values at a record change (DataFileBlobs.cpp) ----
    //
    // A change touches the values its own record holds and nothing else: a value open on another buffer
    // keeps its owner, its chain and its unsaved changes.

    // The open values the image's large-object fields hold, once each.
    std::vector<TBlobBuffer*> RecordBlobValues(std::span<const std::uint8_t> image) const;
    // Before an insert or modify changes anything: 9998 naming the field for a negative value that is no
    // open handle (the record would keep it), and the save's checks of the image's values
    // (TBlobFile::CheckSave).
    // Fresh: the save writes new chains (SaveRecordBlobs with a retired list).
    void CheckRecordBlobs(std::span<const std::uint8_t> image, bool fresh);
    // The image's changed values saved for the slot (TBlobFile::SaveValues), and each field that held one
    // takes its first block. With a retired list the values go into new blocks and their old chains' blocks
    // join the list, to be freed after the record is written (FlushChange).
    void SaveRecordBlobs(SlotNumber slot, std::span<std::uint8_t> record, std::vector<BlockOffset>* retired);
    // Before a delete changes anything: the stored chains of the record are sound (TBlobFile::CheckChainAt).
    void CheckRecordChains(SlotNumber slot, std::span<const std::uint8_t> record);
    // Frees the record's stored chains, its fields taking 0; a value still open on the record forgets the
    // freed chain, so that no later save walks blocks that are on the free list.
    void FreeRecordChains(SlotNumber slot, std::span<std::uint8_t> record);

    // 8962 naming the table when a buffer given is shorter than needed; an empty one passes.
    void RequireBuffer(std::span<const std::uint8_t> buffer, std::size_t needed) const;
    // The search key from a key buffer or built from a record image, checked for length.
    void SourceKey(bool isKeyBuffer, std::span<const std::uint8_t> source, TIndexKey& key) const;
    // The current index is a secondary index whose keys end in the record ID.
    bool CurrentIndexHasSuffix() const noexcept;
    // The bytes the first count fields of the current index take in its keys.
    std::uint16_t KeyFieldsLength(int count) const;
    // Copies the current record to the destination when both exist; clears it for an end state.
    void CopyCurrentRecord(std::span<std::uint8_t> destination);
    void ClearDestination(std::span<std::uint8_t> destination);
    // GetNextRecord (forward) and GetPriorRecord.
    std::uint16_t StepRecord(bool forward, std::span<std::uint8_t> destination);
    // Set when a change check emptied the current record, until a record is current again or released:
    // LoadedCurrentRecord then loads the one under the cursor.
    bool currentDropped_ = false;

    // What the handle holds of the read and write protocol.
    struct LockMarks {
        // The read lock held across operations (AcquireReadLock).
        bool LongLivedRead = false;
        bool Table = false;
        // The read lock of one operation (BeginRead .. EndRead).
        bool OperationRead = false;
        // The write locks of the index and large-object files (BeginWrite .. EndWrite).
        bool Write = false;
        bool WriteSemaphore = false;
        // A transaction's hold on the write semaphore (LockForTransaction).
        bool TransactionLock = false;
    };

    void DoOpen();
    // The header's figures that everything after it trusts, checked before any is used (8961).
    void CheckHeaderFigures();
    // Asks for a protected table's password until the current session's list holds it; 10498 when the
    // callback gives up or there is none.
    void RequirePassword();
    // Unpins and writes what an exclusive, writable table changed, releases the locks, closes the files and,
    // when asked, deletes a temporary table's files.
    void DoClose(bool deleteTemporary);
    // After a failed open: releases what the open took and closes the files, writing nothing.
    void AbandonOpen() noexcept;
    // Every release of DoClose in its order, each tried whatever the others did; the first failure.
    std::exception_ptr ReleaseLocks() noexcept;
    // The record-file checks of DoOpen once the descriptors are read.
    void CheckFieldLayout();
    // 8961 unless the next slot number is at least 1 and every slot below it lies in the file: before
    // anything is sized from the slot count. Bytes beyond the counted slots are allowed.
    void CheckSlotCount();
    // Closes every file and forgets the descriptors and cached records, writing nothing.
    void CloseFiles() noexcept;
    // Gives the large-object file this handle's name and settings; it must be closed.
    void ConfigureBlobFile();
    // Whether deleted slots are reused: the open index file's no-primary-index flag is clear.
    bool HasPrimaryIndex() const noexcept;
    // Gives the closed index file this handle's name, sharing, read-only, in-memory and write-through
    // settings.
    void ConfigureIndexFile();
    void MarkHeaderChanged() noexcept { header_.ImageChanged = 1; }
    [[noreturn]] void RaiseTableError(std::uint16_t code, std::string_view fieldName = {}) const;
    // Whether the read protocol locks and checks: not on an exclusive table nor on one read-only by its
    // attribute, which no other program writes.
    bool SharesTable() const noexcept { return !Exclusive() && !AttributeReadOnly(); }
    // 10249 naming the file.
    [[noreturn]] void RaiseLockFailure(const TFileHandler& file) const;
    // The read bytes of the large-object file, then of the index file (10249 when an unlock fails).
    void UnlockReadBytes();
    // What a change check or a rollback drops.
    enum class CacheDrop {
        // Another program wrote the record file: its records.
        Records,
        // Another program wrote the index file: its pages, the record file's header and records.
        PagesAndRecords,
        // A rollback: every cached change of the three files, the caches trimmed, their headers read again.
        Everything,
    };
    // Drops the caches and keeps the cursor's place: its position saved before, the bitmaps rebuilt and the
    // position restored after. The current record goes with the others; LoadedCurrentRecord loads it again.
    // A failed record change passes the position it saved before its first change.
    void DropCachesAndReposition(CacheDrop drop, const TSavedCursorPosition* position = nullptr);
    // The current record, also while UnpinAll has set it aside; none without one.
    const TRecord* CurrentEntry() const noexcept;
    // BeginRead, or the change check when a held lock makes BeginRead do nothing; true when changed.
    bool BeginReadOrCheck();

    // ---- The rollback journal (TableJournal.cpp) ----

    // Opens the journal of a disk table beside its record file (a writable handle creates it when missing and
    // raises its open's error when it cannot) and lets it guard the table's files; a temporary table keeps
    // none. A read-only handle that finds none goes on without it and looks again at each read.
    void OpenJournal();
    // Whether the journal holds a change that its writer left open: asked where nobody can be writing.
    bool JournalHot();
    // Called holding the read bytes just taken: they go, the journal is put back under the write locks of
    // descriptors of its own (RecoverTableJournal), the bytes are taken again and every cache dropped.
    void PutBackJournalForRead();
    // Called holding the write locks: the journal is put back through the table's own files and every cache
    // dropped.
    void PutBackJournalForWrite();
    // EmptyTable's steps, all or nothing: on failure what they wrote is put back and every cache dropped.
    void EmptyFiles();
    // Deletes the journal of the handle's file name when there is one (9220).
    void DeleteJournal();

    // A record or table lock: 1 + LockRetryCount tries, LockWaitTime ms apart.
    bool TryRecordFileLock(std::int64_t offset, std::int64_t length);
    // The lock of slot n for this handle, tried 1 + retries times LockWaitTime ms apart, each try failing
    // while another program waits for the table lock; true when held (also already, or under the table
    // lock).
    bool LockSlotByte(SlotNumber slot, int retries);
    // The read bytes of the index file, then of the large-object file, each unless held already; when one
    // cannot be taken, what this call took goes back and the answer is the file that refused.
    const TFileHandler* LockReadBytes();

    // The record cache's file (TCacheStore): slots of the record size at their offsets after the
    // descriptors.
    std::unique_ptr<TRecord> NewEntry() override;
    std::size_t ImageSize() const override { return recordSize_; }
    std::int64_t FileOffset(SlotNumber slot) const override;
    SlotNumber Advance(SlotNumber slot, std::int64_t images) const override;
    std::size_t ReadImages(std::int64_t offset, std::uint8_t* buffer, std::size_t length,
                           std::size_t required) override;
    void WriteImages(std::int64_t offset, const std::uint8_t* buffer, std::size_t length) override;
    bool GrowInsteadOfWriting() const override { return marks_.TransactionLock; }
    // 8962 naming the record file.
    [[noreturn]] void RaiseCorrupt() const override;
    // min(131070 div record image size, 65535).
    int RecordCacheCapacity() const noexcept;
    // The cached images take the record image size of a new working set.
    void FitRecordImages();
    // How many slots a miss at the slot reads, and the first of them.
    std::uint32_t ReadAheadCount(SlotNumber slot, bool indexOrder, int direction);
    // The slots from the slot on in the direction (ReadForward, ReadBackward) that the cache does not hold,
    // up to the first it holds and at most the count given.
    std::uint32_t UncachedRun(SlotNumber slot, int direction, std::uint32_t most) const;
    // Computes the entry's calculated fields once.
    void Calculate(TRecord& record);

    void* owner_ = nullptr;
    TDataFileHeader header_;
    std::vector<TFieldDesc> fields_;
    std::vector<TFieldDesc> workingFields_;
    std::uint16_t workingCount_ = 0;
    std::uint16_t recordSize_ = 0;
    std::uint16_t calcAreaSize_ = 0;
    std::uint32_t readAheadLimit_ = 0;
    // The uncached slots around it that the next miss of a step in index order reads (see ReadAheadCount).
    std::uint32_t scatteredReadAhead_ = 1;
    bool hasValidityChecks_ = false;
    bool hasDefaults_ = false;
    bool hasCalculatedFields_ = false;
    bool temporary_ = false;
    bool strictChangeDetection_ = false;
    bool forceBufferFlush_ = false;
    bool queryOwned_ = false;
    bool skipDuplicatePreCheck_ = false;
    // The free chain's head was found unusable (ReusableFreeHead): this handle's inserts append.
    bool freeChainSkipped_ = false;
    std::uint8_t lockRetryCount_ = DefaultLockRetryCount;
    std::uint16_t lockWaitTime_ = DefaultLockWaitTime;
    // The semaphore's tries and every lock's sleep.
    LockRetryPolicy lockPolicy_;
    PasswordEvent passwordEvent_;
    LockMarks marks_;
    // A transaction started (StartTransaction), and its first write done (SetFirstWriteDone); nothing in this
    // system starts one yet.
    bool transactionStarted_ = false;
    bool firstWriteDone_ = false;
    // The slots this handle holds locked: a set, so that a transaction's thousands of locks are found at
    // once.
    std::set<SlotNumber> lockedRecords_;
    // Field access.
    CollationTable collationTable_{};
    bool repairMode_ = false;
    std::function<void(std::string_view)> repairLog_;
    // The filters and record bitmaps, declared before the index file that reads them: the index file's
    // close frees them, and they must outlive it.
    TRecordBitmaps bitmaps_{*this, indexFile_};
    TIndexFile indexFile_{*this, *this, bitmaps_};
    TBlobFile blobFile_{*this};
    // After the files it guards, so that it goes first and clears their pointers to it.
    TJournal journal_;
    // Declared before the pins on it, which must go first.
    TCache<TRecord> records_{*this, CacheSettings{0, RecordCacheGrowth, FullCachePolicy::FlushAll}};
    RecordPin currentRecord_;
    // The current record while UnpinAll has left it unpinned, until PinCurrentRecord.
    TCache<TRecord>::SetAside currentAside_;
};

}  // namespace engine
