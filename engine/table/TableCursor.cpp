// TDataFile's cursor moves: before the first and after the last record, record numbers, the fetches, the
// current record after a change check, re-finding the record and the bitmaps the cursor reads (declared in
// DataFile.h).
#include <algorithm>

#include "engine/base/EngineError.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"

namespace engine {

// ---- Buffers and the current record ----

void TDataFile::RequireBuffer(std::span<const std::uint8_t> buffer, std::size_t needed) const {
    // Field access refuses a short buffer the same way; nothing is read or written past its end.
    if (!buffer.empty() && buffer.size() < needed) RaiseTableError(ErrRecordBuffersCorrupt);
}

TRecord* TDataFile::LoadedCurrentRecord() {
    if (currentRecord_) return currentRecord_.Get();
    // Set aside by UnpinAll while still cached.
    if (CurrentEntry() != nullptr) return currentAside_.entry;
    if (!currentDropped_) return nullptr;
    // A change check emptied it and re-found the cursor: the record under the cursor now, none without one.
    if (indexFile_.GetCurrentRecordNumber() == NoSlot) {
        currentDropped_ = false;
        return nullptr;
    }
    LoadCurrentRecord(ReadOne);
    return currentRecord_.Get();
}

void TDataFile::CopyCurrentRecord(std::span<std::uint8_t> destination) {
    if (destination.empty()) return;
    const TRecord* current = LoadedCurrentRecord();
    if (current == nullptr) return;
    const std::span<const std::uint8_t> image = current->Image();
    std::copy_n(image.begin(), std::min<std::size_t>(image.size(), GetRecordBufferSize()),
                destination.begin());
}

void TDataFile::ClearDestination(std::span<std::uint8_t> destination) {
    if (!destination.empty()) InitRecord(destination.first(GetRecordBufferSize()));
}

std::span<const std::uint8_t> TDataFile::GetCurrentRecordImage() {
    TReadGuard read(*this);
    read.BeginIfStrict();
    const TRecord* current = LoadedCurrentRecord();
    read.End();
    return current != nullptr ? current->Image() : std::span<const std::uint8_t>{};
}

// ---- Moves ----

void TDataFile::SetToBegin() {
    TReadGuard read(*this);
    read.BeginIfStrict();
    indexFile_.First();
    indexFile_.MoveBy(-1);
    LoadCurrentRecord(ReadOne);
    read.End();
}

void TDataFile::SetToEnd() {
    TReadGuard read(*this);
    read.BeginIfStrict();
    indexFile_.Last();
    indexFile_.MoveBy(1);
    LoadCurrentRecord(ReadOne);
    read.End();
}

void TDataFile::GotoRecNo(std::int32_t n) {
    TReadGuard read(*this);
    read.BeginIfStrict();
    // In natural order too the n-th visible record, the one GetRecNo reports as n; a slot number would be
    // another record wherever slots are hidden or deleted.
    indexFile_.GotoOrdinal(n);
    LoadCurrentRecord(ReadOne);
    read.End();
}

// ---- Fetches ----

std::uint16_t TDataFile::GetCurrentRecord(std::span<std::uint8_t> destination, bool lock) {
    RequireBuffer(destination, GetRecordBufferSize());
    TReadGuard read(*this);
    read.BeginIfStrict();
    if (indexFile_.BeforeFirst() || indexFile_.AfterLast()) {
        // No record is delivered, so none is locked: the caller has nothing to unlock after 8705 or 8706.
        ClearDestination(destination);
        const std::uint16_t code = indexFile_.BeforeFirst() ? ErrBeginningOfFile : ErrEndOfFile;
        read.End();
        return code;
    }
    if (lock) {
        // Nothing held while the lock is waited for; LockRecord checks the record's identity afterwards.
        read.End();
        LockRecord(NoSlot);
    }
    CopyCurrentRecord(destination);
    read.End();
    return 0;
}

std::uint16_t TDataFile::GetNextRecord(std::span<std::uint8_t> destination) {
    return StepRecord(true, destination);
}

std::uint16_t TDataFile::GetPriorRecord(std::span<std::uint8_t> destination) {
    return StepRecord(false, destination);
}

std::uint16_t TDataFile::StepRecord(bool forward, std::span<std::uint8_t> destination) {
    RequireBuffer(destination, GetRecordBufferSize());
    TReadGuard read(*this);
    read.BeginIfStrict();
    // From the end state behind the step, the step lands on the first (last) record.
    if (forward ? indexFile_.BeforeFirst() : indexFile_.AfterLast()) {
        forward ? indexFile_.First() : indexFile_.Last();
    } else {
        indexFile_.MoveBy(forward ? 1 : -1);
    }
    std::uint16_t code = 0;
    if (forward ? indexFile_.AfterLast() : indexFile_.BeforeFirst()) {
        ClearDestination(destination);
        code = forward ? ErrEndOfFile : ErrBeginningOfFile;
    } else {
        LoadCurrentRecord(forward ? ReadForward : ReadBackward);
        CopyCurrentRecord(destination);
    }
    read.End();
    return code;
}

// ---- Re-finding the record ----

void TDataFile::Resync() {
    TReadGuard read(*this);
    read.BeginIfStrict();
    const TRecord* current = LoadedCurrentRecord();
    if (indexFile_.NaturalOrder()) {
        if (current != nullptr) {
            // Before the first (after the last) record the cursor stands by the first (last) one. It stays in
            // that state while its record is still the first (last), as the key search keeps it in index
            // order: the next step is to fetch that record, not to pass it.
            const bool beforeFirst = indexFile_.BeforeFirst();
            const bool afterLast = indexFile_.AfterLast();
            indexFile_.GotoRecordNumber(current->RecordNumber().Value);
            const auto stepOutAndBack = [this](std::int32_t outward) {
                indexFile_.MoveBy(outward);
                if (!(outward < 0 ? indexFile_.BeforeFirst() : indexFile_.AfterLast()))
                    indexFile_.MoveBy(-outward);
            };
            if (beforeFirst) stepOutAndBack(-1);
            if (afterLast) stepOutAndBack(1);
        } else {
            indexFile_.First();
        }
    } else {
        TIndexKey key;
        if (current != nullptr) BuildKey(current->Image(), key);
        key.Length = GetKeyLength();
        indexFile_.FindKey(key.View(), true, true, key.Length);
    }
    LoadCurrentRecord(ReadOne);
    read.End();
}

void TDataFile::Refresh() {
    TReadGuard read(*this);
    // A change found here has taken up the position already, on the records as they are now.
    if (!read.Begin()) {
        const TSavedCursorPosition saved = indexFile_.SaveCursorPosition();
        RefreshBitmaps();
        indexFile_.RestoreCursorPosition(saved);
    }
    LoadCurrentRecord(ReadOne);
    read.End();
}

// ---- Bitmaps ----

void TDataFile::RefreshBitmaps() {
    indexFile_.ComputeRangeOrdinals();
    bitmaps_.RebuildFilterBitmaps();
    bitmaps_.BuildVisibleBitmap();
}

void TDataFile::UpdateRecordBitmaps(SlotNumber slot, std::span<const std::uint8_t> image) {
    indexFile_.ComputeRangeOrdinals();
    // The record's own visible bit and the count move with it; nothing is rebuilt or recounted.
    bitmaps_.RecordChanged(slot, image);
}

void TDataFile::UpdateBitmapsAfterDelete(SlotNumber slot) {
    indexFile_.ComputeRangeOrdinals();
    bitmaps_.RecordDeleted(slot);
}

std::uint16_t TDataFile::GetKeySize() const noexcept {
    return indexFile_.NaturalOrder() ? NaturalBookmarkSize : GetKeyLength();
}

}  // namespace engine
