// TDataFile's record cache: fetching slots with read-ahead, taking and freeing slots, flushing, discarding
// and trimming the caches, and the pins of the cursor's current record and page (declared in DataFile.h).
#include <algorithm>
#include <memory>
#include <span>
#include <utility>

#include "engine/base/EngineError.h"
#include "engine/records/FreeSlotChain.h"
#include "engine/records/RecordHeader.h"
#include "engine/table/DataFile.h"

namespace engine {

// ---- The cache's file ----

std::unique_ptr<TRecord> TDataFile::NewEntry() {
    return std::make_unique<TRecord>(*this);
}

std::int64_t TDataFile::FileOffset(SlotNumber slot) const {
    return SlotAreaStart(header_.FieldCount) + (static_cast<std::int64_t>(slot.Value) - 1) * recordSize_;
}

SlotNumber TDataFile::Advance(SlotNumber slot, std::int64_t images) const {
    return SlotNumber(static_cast<std::uint32_t>(slot.Value + images));
}

std::size_t TDataFile::ReadImages(std::int64_t offset, std::uint8_t* buffer, std::size_t length,
                                  std::size_t required) {
    const std::size_t got =
        static_cast<std::size_t>(ReadAt(offset, buffer, static_cast<std::int32_t>(length), true));
    // Another program writes every change of a shared table into the file before it lets go of its locks:
    // a slot asked for that is not there whole is a read failure. Only where no other program writes (an
    // exclusive table, a transaction's buffered changes) may slots exist in the cache alone.
    if (got < required && !Exclusive() && !marks_.TransactionLock) RaiseTableError(ErrRead);
    return got;
}

void TDataFile::WriteImages(std::int64_t offset, const std::uint8_t* buffer, std::size_t length) {
    WriteAt(offset, buffer, static_cast<std::int32_t>(length));
}

void TDataFile::RaiseCorrupt() const {
    RaiseTableError(ErrRecordBuffersCorrupt);
}

int TDataFile::RecordCacheCapacity() const noexcept {
    return static_cast<int>(
        std::min(RecordCacheBytes / std::max<std::uint32_t>(1, GetRecordBufferSize()), MaxCachedRecords));
}

void TDataFile::FitRecordImages() {
    records_.ForEach([](TRecord& record) { record.FitImageSize(); });
}

// ---- Fetching ----

void TDataFile::Calculate(TRecord& record) {
    if (record.Calculated()) return;
    CalcFields(record.Image());
    record.SetCalculated(true);
}

std::uint32_t TDataFile::ReadAheadCount(SlotNumber slot, bool indexOrder, int direction) {
    if (direction == ReadOne) {
        scatteredReadAhead_ = 1;
        return 1;
    }
    // No read leaves the slots 1 .. next slot number - 1: beyond them lie the descriptors and the header, or
    // nothing.
    const std::uint32_t room =
        direction == ReadForward ? header_.NextSlotNumber.Value - slot.Value : slot.Value;
    std::uint32_t wanted = readAheadLimit_;
    if (indexOrder) {
        wanted = indexFile_.GetReadAheadSpan(readAheadLimit_, direction);
        // An index whose order scatters its records over the file names no run to read, and a cache that
        // another program's change emptied would then be filled one record at a time, under a read lock that
        // keeps every writer waiting. Each further miss of the steps also reads the uncached slots beside
        // it, twice as many as the last (the records a long walk will want too), up to the read-ahead;
        // slots still cached are never read again.
        const std::uint32_t uncached = UncachedRun(slot, direction, std::min(scatteredReadAhead_, room));
        wanted = std::max(wanted, uncached);
        scatteredReadAhead_ = std::min(readAheadLimit_, scatteredReadAhead_ * 2);
    }
    return std::clamp<std::uint32_t>(std::min(wanted, room), 1, readAheadLimit_);
}

std::uint32_t TDataFile::UncachedRun(SlotNumber slot, int direction, std::uint32_t most) const {
    const std::int64_t step = direction == ReadForward ? 1 : -1;
    std::uint32_t run = 0;
    while (run < most) {
        const std::int64_t at = static_cast<std::int64_t>(slot.Value) + step * run;
        if (at < 1 || records_.Peek(SlotNumber(static_cast<std::uint32_t>(at))) != nullptr) break;
        ++run;
    }
    return run;
}

bool TDataFile::GetRecord(SlotNumber slot, bool readAhead, bool indexOrder, int direction,
                          RecordPin& record) {
    record.Release();
    if (slot == NoSlot) return true;
    // Only TakeFreeSlot appends: a slot outside the file is a damaged link, and reading it must not grow the
    // table.
    if (slot >= header_.NextSlotNumber) RaiseCorrupt();
    record = records_.Find(slot);
    if (!record) {
        if (!strictChangeDetection_ && BeginRead()) return false;
        const std::uint32_t count = readAhead ? ReadAheadCount(slot, indexOrder, direction) : 1;
        const SlotNumber first = direction == ReadForward ? slot : SlotNumber(slot.Value - (count - 1));
        record = records_.ReadRun(first, static_cast<int>(count), slot);
        if (!record) RaiseCorrupt();
    }
    Calculate(*record);
    return true;
}

void TDataFile::SetRecordNumber(TRecord& record, SlotNumber slot) {
    records_.Relocate(record, slot);
    if (record.Status() == RecordActive) record.SetLink(slot);
    record.MarkDirty();
}

void TDataFile::SetCurrentRecord(RecordPin record) noexcept {
    currentAside_ = {};
    currentDropped_ = false;
    currentRecord_ = std::move(record);
}

void TDataFile::ReleaseCurrentRecord() noexcept {
    currentAside_ = {};
    currentDropped_ = false;
    currentRecord_.Release();
}

// ---- The free-slot chain ----

RecordPin TDataFile::TakeFreeSlot(bool reuse) {
    const bool chain = reuse && HasPrimaryIndex();
    const SlotNumber slot = SlotToTake(header_, chain, FileName());
    RecordPin record;
    if (slot == header_.NextSlotNumber) {
        record = records_.Append(slot);
    } else if (!GetRecord(slot, false, false, ReadForward, record)) {
        // Inserts run under the write locks, where a read never meets another program's change.
        RaiseCorrupt();
    }
    const SlotNumber head = header_.FreeSlotHead;
    TakeSlot(header_, slot, record->Image().first<RecordHeaderSize>(), chain, FileName());
    // A table that reuses slots keeps its chain for later inserts when this one steps over it.
    if (!chain && HasPrimaryIndex()) engine::SetFreeSlotHead(header_, head);
    return record;
}

void TDataFile::FreeSlot(TRecord& record) {
    engine::FreeSlot(header_, record.RecordNumber(), record.Image().first<RecordHeaderSize>(),
                     HasPrimaryIndex());
    record.MarkDirty();
}

// ---- Writing and dropping ----

bool TDataFile::FlushRecords() {
    return records_.Flush();
}

void TDataFile::FlushBuffers(bool trim, bool forceHeaders, bool forceIndexHeader) {
    if (ReadOnly()) return;
    // An exclusive table's change runs from one completed flush to the next: one whose writes failed, here or
    // in an earlier call that raised then, can never be marked whole. It goes back to the last completed flush
    // at once, caches included, and raises; otherwise every later flush would answer success for writes that
    // the next open puts back.
    const auto putBack = [this] {
        journal_.RollBack();
        DropCachesAndReposition(CacheDrop::Everything);
    };
    try {
        WriteEverything(trim, forceHeaders, forceIndexHeader);
    } catch (...) {
        if (Exclusive() && journal_.ChangeBroken()) CleanUpKeepingError(putBack);
        throw;
    }
    if (Exclusive() && journal_.ChangeBroken()) {
        putBack();
        RaiseEngineError(ErrWrite, FileName());
    }
}

void TDataFile::WriteEverything(bool trim, bool forceHeaders, bool forceIndexHeader) {
    FlushRecords();
    WriteHeader(forceHeaders);
    if (trim) TrimRecordCache();
    if (indexFile_.IsOpen()) {
        // The pages before the header, which names them.
        indexFile_.FlushPages();
        indexFile_.WriteHeader(forceIndexHeader);
        if (trim) indexFile_.TrimPageCaches();
    }
    if (header_.BlobFieldCount != 0 && blobFile_.IsOpen()) {
        blobFile_.FlushBlocks();
        blobFile_.WriteHeader(forceHeaders);
        if (trim) blobFile_.TrimBlockCache();
    }
    // Everything cached is in the files now: the journal's change is whole.
    journal_.Finish();
}

void TDataFile::FlushChange(WriteOrder order, bool forceIndexHeader, const std::vector<BlockOffset>& retired) {
    if (ReadOnly()) return;
    const auto records = [&] {
        if (order == WriteOrder::ReusedSlot) WriteHeader(true);
        FlushRecords();
        if (order != WriteOrder::ReusedSlot) WriteHeader(true);
    };
    const auto index = [&] {
        if (!indexFile_.IsOpen()) return;
        // The pages before the header, which names them.
        indexFile_.FlushPages();
        indexFile_.WriteHeader(forceIndexHeader);
    };
    const auto blobs = [&] {
        if (header_.BlobFieldCount != 0 && blobFile_.IsOpen()) blobFile_.FlushChange(true);
    };
    if (order == WriteOrder::IndexFirst) {
        index();
        records();
        blobs();
    } else {
        blobs();
        records();
        index();
    }
    if (!retired.empty() && header_.BlobFieldCount != 0 && blobFile_.IsOpen()) {
        blobFile_.FreeBlocks(retired);
        blobFile_.FlushChange(true);
    }
    journal_.Finish();
}

void TDataFile::DiscardBuffers(bool trim) {
    // Every cache is emptied before any header is read: a header that fails to read must not leave dirty
    // entries behind for a later flush to write.
    const bool blobs = header_.BlobFieldCount != 0 && blobFile_.IsOpen();
    InvalidateRecordCache();
    if (trim) TrimRecordCache();
    if (indexFile_.IsOpen()) {
        indexFile_.InvalidatePages();
        if (trim) indexFile_.TrimPageCaches();
    }
    if (blobs) {
        blobFile_.InvalidateBlocks();
        if (trim) blobFile_.TrimBlockCache();
    }
    ReadHeader();
    if (indexFile_.IsOpen()) indexFile_.ReadHeader();
    if (blobs) blobFile_.ReadHeader();
}

void TDataFile::UnpinAll() noexcept {
    UnpinAllRecords();
    indexFile_.UnpinEveryPage();
    blobFile_.UnpinAllBlocks();
}

void TDataFile::PinCurrentRecord() noexcept {
    // Pinning the current page again keeps the cursor's page from being evicted and reused under it.
    indexFile_.RepinCurrentPage();
    const TCache<TRecord>::SetAside aside = std::exchange(currentAside_, {});
    if (!currentRecord_) currentRecord_ = records_.TakeUp(aside);
}

void TDataFile::ClearRecordCache() noexcept {
    ReleaseCurrentRecord();
    records_.FreeAll();
}

void TDataFile::InvalidateRecordCache() {
    currentAside_ = {};
    // The current record's pin goes empty with its entry.
    records_.Invalidate();
    currentRecord_.Release();
}

void TDataFile::UnpinAllRecords() noexcept {
    // The cursor's own pin goes as one pin, before the others are cleared.
    if (currentRecord_) currentAside_ = records_.PutAside(currentRecord_);
    records_.UnpinAll();
}

void TDataFile::TrimRecordCache() noexcept {
    records_.SetCapacity(RecordCacheCapacity());
    records_.Trim(currentRecord_ ? currentRecord_.Get() : currentAside_.entry);
}

}  // namespace engine
