// BuildRecordKey: the key an index gives a record image, built field by field from the table's stored fields
// and locale, for the table handle and for the tools that read table files without opening them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/index/IndexKey.h"
#include "engine/records/FieldDesc.h"
#include "engine/records/IndexDescriptor.h"

namespace engine {

// What key building needs of a table: its stored fields (with their stored sizes) and its locale; errors name
// the file.
struct TKeyContext {
    std::span<const TFieldDesc> Fields;
    std::uint16_t LanguageId = 0;
    std::uint16_t SortId = 0;
    std::string_view FileName;
};

// The field's stored bytes from a record image into the destination (none when empty; else at least the
// stored size), answering whether the field is blank. An autoincrement field is the record ID and never
// blank; a calculated field without room in the image (offset 0, as stored descriptors hold them) is blank.
// 8962 naming the field when the image or the destination is too short for it.
bool ReadStoredField(const TFieldDesc& field, std::span<const std::uint8_t> image,
                     std::span<std::uint8_t> destination, std::string_view fileName);

// Encodes a field's stored bytes (at least its stored size) into the key after the has-value byte at
// position, order-preserving by type (TDataFile::EncodeKeyField).
void EncodeKeyField(const TKeyContext& table, const TFieldDesc& field, std::span<const std::uint8_t> value,
                    TIndexKey& key, std::size_t position, bool caseInsensitive, bool descending);

// The key of a record image for the index (TDataFile::BuildKey): per key field its has-value byte and its
// value encoded, the field's own descending flag applying unless the whole index is descending; then, with
// the suffix, EncodeIntegerKey of the record ID. 9487 for more than 16 key fields, 9985 for a key field
// outside the table's fields, 10026 for a key that would pass 1040 bytes, each naming the index.
void BuildRecordKey(const TKeyContext& table, const TIndexDescriptor& index, bool withSuffix,
                    std::span<const std::uint8_t> record, TIndexKey& key);

// The "Sys Deleted" key (5 bytes): a status byte and EncodeIntegerKey of the record ID.
void BuildPhysicalRecordKey(std::uint8_t status, std::uint32_t recordId, TIndexKey& key) noexcept;

}  // namespace engine
