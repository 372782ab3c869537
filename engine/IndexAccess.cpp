// TDataFile's indexes: switching the current index, reading definitions, and the keys built from record
// images (declared in DataFile.h).
#include <array>
#include <cstring>
#include <string>

#include "engine/Collation.h"
#include "engine/DataFile.h"
#include "engine/EngineError.h"
#include "engine/EngineTexts.h"
#include "engine/FieldConversion.h"
#include "engine/FieldTypes.h"
#include "engine/FileBytes.h"
#include "engine/KeyEncoding.h"
#include "engine/RecordHeader.h"

namespace engine {

namespace {

// A key field's value is read into an area that holds the largest stored value.
using ValueArea = std::array<std::uint8_t, FieldValueBufferSize>;

// The name errors give an index: "Primary" for the primary index, which has none.
std::string_view IndexLabel(const TIndexDescriptor& index) noexcept {
    return index.Name.empty() ? texts::PrimaryIndexName : std::string_view(index.Name);
}

// The bytes the encoder of a fixed-width type writes; 0 for types whose stored bytes are taken as they are.
std::size_t EncodedWidth(std::uint8_t fieldType) noexcept {
    switch (fieldType) {
        case FieldTypeDate:
        case FieldTypeInteger:
        case FieldTypeTime:
            return IntegerKeySize;
        case FieldTypeSmallInt:
            return SmallIntKeySize;
        case FieldTypeBoolean:
        case FieldTypeWord:
            return WordKeySize;
        case FieldTypeFloat:
        case FieldTypeDateTime:
            return FloatKeySize;
        case FieldTypeBcd:
            return Int64KeySize;
        default:
            return 0;
    }
}

}  // namespace

// ---- The current index ----

void TDataFile::SetIndexNumber(int number) {
    // Natural order is a number of its own; "Sys Deleted" is the record layer's, not a caller's.
    if (number == SysDeletedSlot || !indexFile_.IsSelectableIndex(number)) {
        RaiseEngineError(ErrInvalidIndexName, FileName(), {}, std::to_string(number));
    }
    if (number == indexFile_.CurrentIndex()) return;
    // Later (locks): the switch runs under the per-operation read lock, released also on failure.
    // Later (cursor and ranges): the current index's range is cancelled.
    indexFile_.SelectIndex(number);
    // Later (filters, table cursor): the filter and range bitmaps are rebuilt and the cursor finds its record
    // again in the new order.
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
    if (index->FieldCount > MaxIndexFields)
        RaiseEngineError(ErrIndexLimits, FileName(), {}, IndexLabel(*index));
    std::size_t position = 0;
    for (std::size_t i = 0; i < index->FieldCount; ++i) {
        // Index field numbers are stored field numbers, whatever working set is defined.
        const std::uint16_t number = index->FieldNumbers[i];
        const TFieldDesc& field = GetFieldDesc(false, number);
        if (position + 1 + field.StoredSize > MaxKeyBytes) {
            RaiseEngineError(ErrInvalidKeySize, FileName(), {}, IndexLabel(*index));
        }
        ValueArea value{};
        const bool blank = GetField(false, number, record, value);
        key.Bytes[position] = blank ? 0 : 1;
        // A descending index is ordered by the comparison as a whole; only its single fields are inverted.
        const bool descending = index->Descending == 0 && index->FieldDescending[i] != 0;
        EncodeKeyField(field, value, key, position, index->CaseInsensitive != 0, descending);
        position += field.StoredSize + 1u;
    }
    if (indexFile_.CurrentIndex() != PrimaryIndexSlot && index->Unique == 0) {
        if (position + RecordIdSuffixLength > MaxKeyBytes) {
            RaiseEngineError(ErrInvalidKeySize, FileName(), {}, IndexLabel(*index));
        }
        // The record ID, not the slot: duplicates stay in the order of their insertion.
        EncodeIntegerKey(static_cast<std::int32_t>(GetRecordId(record).Value), key.Bytes.data() + position);
        position += RecordIdSuffixLength;
    }
    key.Length = static_cast<std::uint16_t>(position);
}

void TDataFile::EncodeKeyField(const TFieldDesc& field, std::span<const std::uint8_t> value, TIndexKey& key,
                               std::size_t position, bool caseInsensitive, bool descending) const {
    const std::size_t size = field.StoredSize;
    const std::size_t width = EncodedWidth(field.FieldType);
    if (value.size() < size || size < width) RaiseTableError(ErrRecordBuffersCorrupt, field.Name);
    if (position + 1 + size > MaxKeyBytes) RaiseTableError(ErrInvalidKeySize, field.Name);
    std::uint8_t* const out = key.Bytes.data() + position + 1;
    const std::uint8_t* const in = value.data();
    std::memset(out, 0, size);
    switch (field.FieldType) {
        case FieldTypeString: {
            if (size == 0) break;
            // Up to the value's zero, and never into the field's last byte, which stays the zero.
            const auto* const chars = reinterpret_cast<const char*>(in);
            const void* const zero = std::memchr(chars, 0, size - 1);
            const std::string_view text(
                chars, zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - chars)
                                       : size - 1);
            if (caseInsensitive) {
                // One character for one: the mapping writes at most size - 1 of them and a zero.
                LocaleUpperCase(header_.LanguageId, header_.SortId, text,
                                std::span<char>(reinterpret_cast<char*>(out), size), FileName());
            } else {
                std::memcpy(out, text.data(), text.size());
            }
            break;
        }
        case FieldTypeDate:
        case FieldTypeInteger:
        case FieldTypeTime:
            EncodeIntegerKey(static_cast<std::int32_t>(LoadU32(in)), out);
            break;
        case FieldTypeSmallInt:
            EncodeSmallIntKey(static_cast<std::int16_t>(LoadU16(in)), out);
            break;
        case FieldTypeBoolean:
        case FieldTypeWord:
            EncodeWordKey(LoadU16(in), out);
            break;
        case FieldTypeFloat:
        case FieldTypeDateTime:
            EncodeFloatKey(LoadF64(in), out);
            break;
        case FieldTypeBcd:
            EncodeInt64Key(static_cast<std::int64_t>(LoadU64(in)), out);
            break;
        default:
            // Large objects, bytes, unsigned and extended values, variable bytes: as they are stored.
            std::memcpy(out, in, size);
            break;
    }
    // With a language id the comparison orders a descending field; byte order needs the bytes inverted.
    if (descending && header_.LanguageId == 0) {
        InvertBytes(key.Bytes.data() + position, field.FieldType == FieldTypeString ? size : size + 1);
    }
}

void TDataFile::BuildPhysicalKey(std::span<const std::uint8_t> statusSource, TIndexKey& key,
                                 std::span<const std::uint8_t> record) const {
    if (statusSource.empty()) RaiseTableError(ErrRecordBuffersCorrupt);
    key.Clear();
    key.Bytes[0] = statusSource[RecordStatusOffset];
    EncodeIntegerKey(static_cast<std::int32_t>(GetRecordId(record).Value), key.Bytes.data() + 1);
    key.Length = SysDeletedKeyLength;
}

}  // namespace engine
