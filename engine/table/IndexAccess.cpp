// TDataFile's indexes: switching the current index, reading definitions, and the keys built from record
// images (declared in DataFile.h).
#include <string>

#include "engine/base/EngineError.h"
#include "engine/index/RecordKey.h"
#include "engine/records/RecordHeader.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"

namespace engine {

// ---- The current index ----

void TDataFile::SetIndexNumber(int number) {
    // Natural order is a number of its own; "Sys Deleted" is the record layer's, not a caller's.
    if (number == SysDeletedSlot || !indexFile_.IsSelectableIndex(number)) {
        RaiseEngineError(ErrInvalidIndexName, FileName(), {}, std::to_string(number));
    }
    if (number == indexFile_.CurrentIndex()) return;
    // A switch always compares the change counters first, and reads under the lock until it is done.
    TReadGuard read(*this);
    read.Begin();
    // The record to find again in the new order: a change the check found has emptied it, and only the old
    // order's cursor knows where it is.
    LoadedCurrentRecord();
    indexFile_.CancelRange();
    indexFile_.SelectIndex(number);
    RefreshBitmaps();
    Resync();
    read.End();
}

void TDataFile::SetIndexName(std::string_view name) {
    const std::optional<std::uint8_t> number = indexFile_.FindIndexByName(name);
    if (!number) RaiseEngineError(ErrInvalidIndexName, FileName(), {}, name);
    SetIndexNumber(*number);
}

std::array<std::uint16_t, MaxIndexFields> TDataFile::GetIndexFields(int number) const {
    return GetIndexDesc(number).FieldNumbers;
}

TIndexDescriptor TDataFile::GetIndexDesc(int number) const {
    if (number < 0 || number > indexFile_.GetIndexCount()) {
        RaiseEngineError(ErrInvalidIndexName, FileName(), {}, std::to_string(number));
    }
    return indexFile_.GetIndexDescriptor(number);
}

// ---- Keys ----

void TDataFile::BuildKey(std::span<const std::uint8_t> record, TIndexKey& key,
                         const TIndexDescriptor* descriptor) const {
    const TIndexDescriptor* const index = descriptor != nullptr ? descriptor : indexFile_.CurrentDescriptor();
    key.Clear();
    // Natural order has no key.
    if (index == nullptr) return;
    const bool suffix = indexFile_.CurrentIndex() != PrimaryIndexSlot && index->Unique == 0;
    BuildRecordKey(KeyContext(), *index, suffix, record, key);
}

void TDataFile::EncodeKeyField(const TFieldDesc& field, std::span<const std::uint8_t> value, TIndexKey& key,
                               std::size_t position, bool caseInsensitive, bool descending) const {
    engine::EncodeKeyField(KeyContext(), field, value, key, position, caseInsensitive, descending);
}

void TDataFile::BuildPhysicalKey(std::span<const std::uint8_t> statusSource, TIndexKey& key,
                                 std::span<const std::uint8_t> record) const {
    if (statusSource.empty()) RaiseTableError(ErrRecordBuffersCorrupt);
    BuildPhysicalRecordKey(statusSource[RecordStatusOffset], GetRecordId(record).Value, key);
}

TKeyContext TDataFile::KeyContext() const noexcept {
    return {fields_, header_.LanguageId, header_.SortId, FileName()};
}

}  // namespace engine
