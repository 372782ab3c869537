// TKeyInterval: an interval of the current index's keys, its bounds in logical form, and the counting and
// marking of the keys that lie inside it.
#pragma once

#include <cstdint>
#include <span>

#include "engine/index/IndexKey.h"

namespace engine {

class TIndexFile;

// One end of an interval: a key compared over its own compare length, the key itself inside or not; or
// open, when every key lies on its inside. Bounds are never made by stepping keys or padding them with
// collation characters: a key of all zero bytes, or one of all 0xFF bytes, is a bound like any other.
struct TKeyBound {
    TIndexKey Key;
    std::uint16_t CompareLength = 0;
    bool Inclusive = true;
    bool Open = true;
};

TKeyBound OpenBound() noexcept;
// The key's bytes (at most MaxKeyBytes, zero beyond) compared over the compare length.
TKeyBound KeyBound(std::span<const std::uint8_t> key, std::uint16_t compareLength, bool inclusive = true);

// A key lies inside when the index's order (CompareKeys with its descending flag) puts it at or after the
// low bound (after it when the bound is exclusive) and at or before the high bound (before it likewise).
struct TKeyInterval {
    TKeyBound Low;
    TKeyBound High;
};

// Whether the key lies inside the interval in the current index's order.
bool KeyInInterval(const TIndexFile& file, std::span<const std::uint8_t> key, const TKeyInterval& interval);

// The number of keys of the current index inside the interval: the ordinal of the last key not beyond the
// high bound less the ordinal of the first key not before the low bound, plus 1, and 0 when that is below 1.
// Two descents by the subtree counts, whatever the interval holds. 0 in natural order and for an empty
// index. A page fetch that reports another program's change sets the changed flag and answers 0.
std::uint32_t CountKeyInterval(TIndexFile& file, const TKeyInterval& interval, bool& changed);

// Clears the bitmap, then sets the bit of the record number of every key inside the interval: one descent to
// the first such key, then along the leaf chain. A record number outside 1 .. highest (the physical record
// count), or past the bitmap, raises 8965: no bit is ever set above the records that exist. A page fetch
// that reports another program's change sets the changed flag and stops.
void MarkKeyInterval(TIndexFile& file, const TKeyInterval& interval, bool& changed,
                     std::span<std::uint8_t> bitmap, std::uint32_t highest);

}  // namespace engine
