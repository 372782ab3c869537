// TIndexKey: one key of an index, as built from a record and as used for searches, range bounds and
// bookmarks: its bytes and its length.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/records/IndexDescriptor.h"

namespace engine {

// The longest key: a definition's 1036 bytes of fields and the record-ID suffix of a non-unique secondary
// index on top.
inline constexpr std::size_t MaxKeyBytes = MaxKeyLength + RecordIdSuffixLength;

// Per key field a has-value byte (1 value, 0 null) and the field's bytes in order-preserving form, in the
// order of the index's fields; a non-unique secondary index's keys end in the encoded record ID. Bytes past
// the length are zero once built.
struct TIndexKey {
    std::array<std::uint8_t, MaxKeyBytes> Bytes{};
    std::uint16_t Length = 0;

    std::span<const std::uint8_t> View() const noexcept { return {Bytes.data(), Length}; }
    void Clear() noexcept {
        Bytes.fill(0);
        Length = 0;
    }
    // Equal lengths and equal bytes over them.
    friend bool operator==(const TIndexKey& a, const TIndexKey& b) noexcept {
        return a.Length == b.Length &&
               std::equal(a.Bytes.begin(), a.Bytes.begin() + a.Length, b.Bytes.begin());
    }
};

}  // namespace engine
