// TDataFile's key searches, ranges, bookmarks, following another handle and clones (declared in
// DataFile.h).
#include <algorithm>
#include <memory>

#include "engine/base/Bitmap.h"
#include "engine/base/EngineError.h"
#include "engine/base/FileBytes.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"
#include "engine/table/SessionPasswordGrant.h"

namespace engine {

// ---- Search keys ----

bool TDataFile::CurrentIndexHasSuffix() const noexcept {
    // The primary index is unique whatever its unique byte says, and natural order has no keys.
    return !indexFile_.NaturalOrder() && indexFile_.CurrentIndex() != PrimaryIndexSlot &&
           indexFile_.CurrentSettings().Unique == 0;
}

std::uint16_t TDataFile::KeyFieldsLength(int count) const {
    const TIndexDescriptor* index = indexFile_.CurrentDescriptor();
    if (index == nullptr) return 0;
    std::uint32_t length = 0;
    const int fields = std::min<int>(count, index->FieldCount);
    for (int i = 0; i < fields; ++i) {
        // A key field takes its has-value byte and its stored bytes.
        length += GetFieldDesc(false, index->FieldNumbers[static_cast<std::size_t>(i)]).StoredSize + 1u;
    }
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(length, GetKeyLength()));
}

void TDataFile::SourceKey(bool isKeyBuffer, std::span<const std::uint8_t> source, TIndexKey& key) const {
    key.Clear();
    if (isKeyBuffer) {
        RequireBuffer(source, GetKeyLength());
        std::copy_n(source.begin(), GetKeyLength(), key.Bytes.begin());
    } else {
        RequireBuffer(source, GetRecordBufferSize());
        BuildKey(source, key);
    }
    key.Length = GetKeyLength();
}

namespace {

// The key bytes from the compare length on take the collation's highest or lowest character, so that a
// search or a bound stands before or after every key that shares the bytes before them.
void PadKey(TIndexKey& key, std::uint16_t from, bool high, const CollationTable& collation) {
    const std::uint8_t pad = high ? collation.back() : collation.front();
    std::fill(key.Bytes.begin() + from, key.Bytes.begin() + key.Length, pad);
}

}  // namespace

// ---- Searches ----

bool TDataFile::FindKey(bool isKeyBuffer, std::span<const std::uint8_t> source, int fieldCount, bool nearest,
                        std::uint8_t partialLength, std::span<std::uint8_t> destination) {
    RequireBuffer(destination, GetRecordBufferSize());
    if (source.empty()) return false;
    TIndexKey key;
    SourceKey(isKeyBuffer, source, key);
    TReadGuard read(*this);
    // Whatever StrictChangeDetection says: the answer is decided on pages that no other program changes
    // before the record is loaded, else a load that meets a change moves the cursor past a "found" key.
    read.Begin();
    const TIndexSettings& index = indexFile_.CurrentSettings();
    const bool descending = index.Descending != 0;
    const bool suffix = CurrentIndexHasSuffix();
    const bool partial = !indexFile_.NaturalOrder() && ((fieldCount >= 1 && fieldCount < index.FieldCount) ||
                                                        suffix || (fieldCount == 0 && partialLength > 0));
    bool found = false;
    if (!partial) {
        found = indexFile_.FindKey(key.View(), nearest, false, key.Length);
    } else {
        // A non-unique secondary index's keys differ in their record IDs: a whole key is its fields.
        const int fields = suffix && fieldCount == 0 && partialLength == 0 ? index.FieldCount : fieldCount;
        const std::uint16_t compareLength = static_cast<std::uint16_t>(std::min<std::uint32_t>(
            (partialLength > 0 ? partialLength + 1u : 0u) + KeyFieldsLength(fields), key.Length));
        PadKey(key, compareLength, descending, collationTable_);
        indexFile_.FindKey(key.View(), true, false, key.Length);
        const std::span<const std::uint8_t> current = indexFile_.GetCurrentKey();
        found =
            !current.empty() && indexFile_.CompareKeys(current, key.View(), compareLength, descending) == 0;
    }
    // Nothing at or after the key: the last one.
    if (indexFile_.AfterLast()) indexFile_.Last();
    LoadCurrentRecord(ReadOne);
    CopyCurrentRecord(destination);
    read.End();
    return found;
}

bool TDataFile::FindRecordKey(std::span<const std::uint8_t> image, std::span<std::uint8_t> destination) {
    RequireBuffer(destination, GetRecordBufferSize());
    if (image.empty()) return false;
    RequireBuffer(image, GetRecordBufferSize());
    TIndexKey key;
    BuildKey(image, key);
    TReadGuard read(*this);
    // As FindKey: the answer must describe the record delivered.
    read.Begin();
    const std::uint16_t length =
        static_cast<std::uint16_t>(GetKeyLength() - (CurrentIndexHasSuffix() ? RecordIdSuffixLength : 0));
    const bool found = indexFile_.LocateKey(key.View(), length);
    LoadCurrentRecord(ReadOne);
    CopyCurrentRecord(destination);
    read.End();
    return found;
}

// ---- Ranges ----

void TDataFile::SetRange(bool isKeyBuffer, std::span<const std::uint8_t> start, int startFieldCount,
                         std::span<const std::uint8_t> end, int endFieldCount) {
    const bool descending = indexFile_.CurrentSettings().Descending != 0;
    const std::uint8_t indexFields = indexFile_.CurrentSettings().FieldCount;
    const bool suffix = CurrentIndexHasSuffix();
    // The start pads below every key sharing its fields, the end above, in the index's order.
    const auto bound = [&](std::span<const std::uint8_t> source, int fieldCount, bool high, TIndexKey& key) {
        key.Clear();
        key.Length = GetKeyLength();
        if (source.empty()) return;
        SourceKey(isKeyBuffer, source, key);
        if ((fieldCount >= 1 && fieldCount < indexFields) || suffix) {
            const int fields = suffix && fieldCount == 0 ? indexFields : fieldCount;
            PadKey(key, KeyFieldsLength(fields), high != descending, collationTable_);
        }
    };
    TIndexKey startKey;
    TIndexKey endKey;
    bound(start, startFieldCount, false, startKey);
    bound(end, endFieldCount, true, endKey);
    TReadGuard read(*this);
    read.BeginIfStrict();
    indexFile_.SetRangeStart(startKey.View());
    indexFile_.SetRangeEnd(endKey.View());
    indexFile_.ApplyRange();
    RefreshBitmaps();
    Resync();
    read.End();
}

void TDataFile::CancelRange() {
    TReadGuard read(*this);
    read.BeginIfStrict();
    indexFile_.CancelRange();
    RefreshBitmaps();
    Resync();
    read.End();
}

// ---- Bookmarks ----

namespace {

// The bytes a bookmark must have; an empty or shorter one is refused like a short record buffer.
void RequireBookmark(const TDataFile& table, std::span<const std::uint8_t> bookmark) {
    if (bookmark.size() < table.GetKeySize()) RaiseEngineError(ErrRecordBuffersCorrupt, table.FileName());
}

}  // namespace

void TDataFile::GetBookmark(std::span<std::uint8_t> destination) const {
    RequireBookmark(*this, destination);
    if (indexFile_.NaturalOrder()) {
        StoreU32(destination.data(), indexFile_.GetCurrentRecordNumber().Value);
        return;
    }
    const std::span<std::uint8_t> bookmark = destination.first(GetKeyLength());
    std::fill(bookmark.begin(), bookmark.end(), std::uint8_t{0});
    const std::span<const std::uint8_t> key = indexFile_.GetCurrentKey();
    std::copy_n(key.begin(), std::min(key.size(), bookmark.size()), bookmark.begin());
}

void TDataFile::GotoBookmark(std::span<const std::uint8_t> bookmark, bool keepEndFlags) {
    RequireBookmark(*this, bookmark);
    TReadGuard read(*this);
    // As FindKey: the key is looked for on the pages the record is then loaded from.
    read.Begin();
    if (indexFile_.NaturalOrder()) {
        indexFile_.GotoRecordNumber(LoadU32(bookmark.data()));
    } else {
        indexFile_.FindKey(bookmark.first(GetKeyLength()), true, keepEndFlags, GetKeyLength());
    }
    LoadCurrentRecord(ReadOne);
    read.End();
}

int TDataFile::CompareBookmarks(std::span<const std::uint8_t> first,
                                std::span<const std::uint8_t> second) const {
    RequireBookmark(*this, first);
    RequireBookmark(*this, second);
    if (indexFile_.NaturalOrder()) {
        // Slot numbers, not their little-endian bytes: slot 256 comes after slot 2.
        const std::uint32_t a = LoadU32(first.data());
        const std::uint32_t b = LoadU32(second.data());
        return a < b ? -1 : a > b ? 1 : 0;
    }
    return indexFile_.CompareKeys(first, second, GetKeyLength(),
                                  indexFile_.CurrentSettings().Descending != 0);
}

// ---- Following another handle ----

std::uint16_t TDataFile::GotoCurrent(TDataFile& other) {
    TReadGuard read(*this);
    // As FindKey: "found" must be the record then loaded.
    read.Begin();
    const TRecord* theirs = other.LoadedCurrentRecord();
    bool found = false;
    if (indexFile_.NaturalOrder()) {
        // The other handle's slot, when this handle's visible records hold it.
        const std::uint32_t slot = theirs != nullptr ? theirs->RecordNumber().Value : 0;
        const std::vector<std::uint8_t>& bits = bitmaps_.Visible();
        found = slot >= 1 && slot <= indexFile_.PhysicalRecordCount() && (slot - 1) / 8 < bits.size() &&
                BitmapTestBit(slot, bits.data());
        if (found) indexFile_.GotoRecordNumber(slot);
    } else if (theirs != nullptr) {
        // Without a record of theirs there is no key to look for: an all-zero one may be a record's.
        TIndexKey key;
        BuildKey(theirs->Image(), key);
        key.Length = GetKeyLength();
        found = indexFile_.FindKey(key.View(), false, false, key.Length);
    }
    LoadCurrentRecord(ReadOne);
    read.End();
    return found ? 0 : ErrRecordNotFound;
}

std::unique_ptr<TDataFile> TDataFile::CloneCursor() {
    if (Exclusive()) RaiseTableError(ErrAccessDenied);
    TReadGuard read(*this);
    read.BeginIfStrict();
    const SessionPasswordGrant grant(GetStoredPassword());
    // Freed with the pointer when any step fails; its lock settings stay the defaults.
    auto clone = std::make_unique<TDataFile>(this);
    clone->SetFileName(FileName());
    clone->SetExclusive(false);
    clone->SetReadOnly(ReadOnly());
    clone->SetInMemory(InMemory());
    clone->Open();
    clone->DefineWorkingFields(workingFields_);
    clone->RemoveWorkingFields(static_cast<std::uint16_t>(workingFields_.size() - workingCount_));
    // By number: natural order chosen as 255 stays natural order.
    clone->SetIndexNumber(GetIndexNumber());
    const TKeyRange& range = indexFile_.Cursor().Range;
    if (range.Active) clone->SetRange(true, range.Start.View(), 0, range.End.View(), 0);
    for (int n = 0; n < bitmaps_.GetFilterCount(); ++n) {
        const TFilter& filter = *bitmaps_.GetFilter(n);
        TFilter* copy = nullptr;
        const std::uint16_t code = filter.IsCallback()
                                       ? clone->AddFilter(filter.ClientData(), {}, copy, filter.AndEarlier(),
                                                          filter.Callback(), false, nullptr)
                                       : clone->AddFilter(nullptr, {}, copy, filter.AndEarlier(), nullptr,
                                                          true, filter.CopyExpression().release());
        if (code != 0) RaiseTableError(code);
        if (filter.Active()) {
            if (const std::uint16_t activated = clone->ActivateFilter(copy)) RaiseTableError(activated);
        }
    }
    clone->GotoCurrent(*this);
    read.End();
    return clone;
}

}  // namespace engine
