#include "engine/index/RecordKey.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "engine/base/EngineError.h"
#include "engine/base/EngineTexts.h"
#include "engine/base/FileBytes.h"
#include "engine/index/IndexFileHeader.h"
#include "engine/records/RecordHeader.h"
#include "engine/values/Collation.h"
#include "engine/values/FieldConversion.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/KeyEncoding.h"

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

bool ReadStoredField(const TFieldDesc& field, std::span<const std::uint8_t> image,
                     std::span<std::uint8_t> destination, std::string_view fileName) {
    if (!destination.empty() && destination.size() < field.StoredSize) {
        RaiseEngineError(ErrRecordBuffersCorrupt, fileName, field.Name);
    }
    if (field.IsAutoInc()) {
        if (image.size() < RecordHeaderSize) RaiseEngineError(ErrRecordBuffersCorrupt, fileName, field.Name);
        if (!destination.empty()) {
            std::memcpy(destination.data(), image.data() + RecordIdOffset, sizeof(std::uint32_t));
        }
        return false;
    }
    if (field.LacksRoom()) {
        std::fill_n(destination.begin(), destination.empty() ? 0 : field.StoredSize, 0);
        return true;
    }
    if (field.Offset + 1u + field.StoredSize > image.size()) {
        RaiseEngineError(ErrRecordBuffersCorrupt, fileName, field.Name);
    }
    const std::uint8_t* const flag = image.data() + field.Offset;
    bool blank = *flag == 0;
    // A negative value is open: the table knows its length (TDataFile::GetField); here it is never blank.
    if (field.FieldType == FieldTypeBlob && static_cast<std::int32_t>(LoadU32(flag + 1)) < 0) blank = false;
    // A blank field's bytes are copied too: blanking zeroed them.
    if (!destination.empty()) std::memcpy(destination.data(), flag + 1, field.StoredSize);
    return blank;
}

void EncodeKeyField(const TKeyContext& table, const TFieldDesc& field, std::span<const std::uint8_t> value,
                    TIndexKey& key, std::size_t position, bool caseInsensitive, bool descending) {
    const std::size_t size = field.StoredSize;
    const std::size_t width = EncodedWidth(field.FieldType);
    if (value.size() < size || size < width)
        RaiseEngineError(ErrRecordBuffersCorrupt, table.FileName, field.Name);
    if (position + 1 + size > MaxKeyBytes) RaiseEngineError(ErrInvalidKeySize, table.FileName, field.Name);
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
                LocaleUpperCase(table.LanguageId, table.SortId, text,
                                std::span<char>(reinterpret_cast<char*>(out), size), table.FileName);
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
    if (descending && table.LanguageId == 0) {
        InvertBytes(key.Bytes.data() + position, field.FieldType == FieldTypeString ? size : size + 1);
    }
}

void BuildRecordKey(const TKeyContext& table, const TIndexDescriptor& index, bool withSuffix,
                    std::span<const std::uint8_t> record, TIndexKey& key) {
    key.Clear();
    if (index.FieldCount > MaxIndexFields)
        RaiseEngineError(ErrIndexLimits, table.FileName, {}, IndexLabel(index));
    std::size_t position = 0;
    for (std::size_t i = 0; i < index.FieldCount; ++i) {
        // Index field numbers are stored field numbers, whatever working set is defined.
        const std::uint16_t number = index.FieldNumbers[i];
        if (number == 0 || number > table.Fields.size()) {
            RaiseEngineError(ErrInvalidField, table.FileName, std::to_string(number));
        }
        const TFieldDesc& field = table.Fields[number - 1u];
        if (position + 1 + field.StoredSize > MaxKeyBytes) {
            RaiseEngineError(ErrInvalidKeySize, table.FileName, {}, IndexLabel(index));
        }
        ValueArea value{};
        const bool blank = ReadStoredField(field, record, value, table.FileName);
        key.Bytes[position] = blank ? 0 : 1;
        // A descending index is ordered by the comparison as a whole; only its single fields are inverted.
        const bool descending = index.Descending == 0 && index.FieldDescending[i] != 0;
        EncodeKeyField(table, field, value, key, position, index.CaseInsensitive != 0, descending);
        position += field.StoredSize + 1u;
    }
    if (withSuffix) {
        if (position + RecordIdSuffixLength > MaxKeyBytes) {
            RaiseEngineError(ErrInvalidKeySize, table.FileName, {}, IndexLabel(index));
        }
        if (record.size() < RecordHeaderSize) RaiseEngineError(ErrRecordBuffersCorrupt, table.FileName);
        // The record ID, not the slot: duplicates stay in the order of their insertion.
        EncodeIntegerKey(static_cast<std::int32_t>(LoadU32(record.data() + RecordIdOffset)),
                         key.Bytes.data() + position);
        position += RecordIdSuffixLength;
    }
    key.Length = static_cast<std::uint16_t>(position);
}

void BuildPhysicalRecordKey(std::uint8_t status, std::uint32_t recordId, TIndexKey& key) noexcept {
    key.Clear();
    key.Bytes[0] = status;
    EncodeIntegerKey(static_cast<std::int32_t>(recordId), key.Bytes.data() + 1);
    key.Length = SysDeletedKeyLength;
}

}  // namespace engine
