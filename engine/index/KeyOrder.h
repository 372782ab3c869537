// TKeyOrder: the order of one index's keys, in which its tree keeps them and its searches compare them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/records/FieldDesc.h"
#include "engine/records/IndexDescriptor.h"

namespace engine {

class Collation;

// A key field as the order walks it: its type, its stored size and its own descending flag.
struct TKeyFieldOrder {
    std::uint8_t FieldType = 0;
    std::uint16_t StoredSize = 0;
    bool Descending = false;
};

// "Sys Deleted" and the indexes of a table without a language id compare their keys byte by byte: every
// field's order, descending fields included, is in its key bytes. With a language id, strings are compared
// by the table's collation and a descending field by negating its comparison, field by field.
class TKeyOrder {
public:
    // Byte order.
    TKeyOrder() = default;
    // The order of an index of a table with these stored fields. A key field numbered outside them ends the
    // field walk: the bytes from there on compare as bytes. Raises 15878 naming the file when the table's
    // locale is not installed.
    TKeyOrder(const TIndexDescriptor& index, std::uint8_t indexNumber, std::span<const TFieldDesc> fields,
              std::uint16_t languageId, std::uint16_t sortId, std::string_view fileName = {});

    // -1 when the entry key sorts before the search key, 0 when they are equal over the length, 1 after.
    // Both keys hold at least length bytes. Descending is the whole index's flag: it reverses every field
    // and the record-ID suffix; a field's own flag reverses only that field.
    int Compare(const std::uint8_t* entry, const std::uint8_t* search, std::size_t length,
                bool descending) const;
    int Compare(std::span<const std::uint8_t> entry, std::span<const std::uint8_t> search, std::size_t length,
                bool descending) const {
        return Compare(entry.data(), search.data(), length, descending);
    }

    bool ByteOrder() const noexcept { return collation_ == nullptr; }

private:
    const Collation* collation_ = nullptr;
    std::array<TKeyFieldOrder, MaxIndexFields> fields_{};
    std::size_t fieldCount_ = 0;
};

}  // namespace engine
