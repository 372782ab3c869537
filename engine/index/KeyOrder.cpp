#include "engine/index/KeyOrder.h"

#include <algorithm>
#include <string_view>

#include "engine/index/IndexFileHeader.h"
#include "engine/values/Collation.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/KeyEncoding.h"

namespace engine {

namespace {

int Sign(int value) noexcept {
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

}  // namespace

TKeyOrder::TKeyOrder(const TIndexDescriptor& index, std::uint8_t indexNumber,
                     std::span<const TFieldDesc> fields, std::uint16_t languageId, std::uint16_t sortId,
                     std::string_view fileName) {
    // "Sys Deleted" keys are a status byte and a record ID, whatever the table's locale.
    if (indexNumber == SysDeletedSlot || languageId == 0) return;
    collation_ = &GetCollation(languageId, sortId, fileName);
    const std::size_t count = std::min<std::size_t>(index.FieldCount, MaxIndexFields);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t number = index.FieldNumbers[i];
        if (number == 0 || number > fields.size()) break;
        const TFieldDesc& field = fields[number - 1u];
        fields_[fieldCount_++] = {field.FieldType, StoredFieldSize(field.FieldType, field.Size),
                                  index.FieldDescending[i] != 0};
    }
}

int TKeyOrder::Compare(const std::uint8_t* entry, const std::uint8_t* search, std::size_t length,
                       bool descending) const {
    const int reverse = descending ? 1 : 0;
    if (collation_ == nullptr) return CompareBytes(entry, search, length, reverse);
    int result = 0;
    std::size_t p = 0;
    for (std::size_t i = 0; result == 0 && i < fieldCount_ && p < length; ++i) {
        const TKeyFieldOrder& field = fields_[i];
        const int flip = descending || field.Descending ? 1 : 0;
        if (field.FieldType == FieldTypeString) {
            // The has-value byte, then the characters under the locale.
            result = CompareBytes(entry + p, search + p, 1, flip);
            if (result != 0) break;
            const std::size_t n = std::min<std::size_t>(length - p - 1, field.StoredSize);
            const std::string_view a(reinterpret_cast<const char*>(entry + p + 1), n);
            const std::string_view b(reinterpret_cast<const char*>(search + p + 1), n);
            result = Sign(collation_->Compare(a, b, 0, false));
            if (flip != 0) result = -result;
            p += n + 1;
        } else {
            const std::size_t n = std::min<std::size_t>(length - p, field.StoredSize + 1u);
            result = CompareBytes(entry + p, search + p, n, flip);
            p += n;
        }
    }
    // The record-ID suffix of a non-unique key, and whatever lies past the fields the order knows.
    if (result == 0 && p < length) result = CompareBytes(entry + p, search + p, length - p, reverse);
    return result;
}

}  // namespace engine
