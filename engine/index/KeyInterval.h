// TKeyInterval: an interval of the current index's keys, its bounds in logical form, and the counting and
// marking of the keys that lie inside it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/expr/ExprNode.h"
#include "engine/index/IndexKey.h"
#include "engine/records/FieldDesc.h"

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
// The same walk, the record numbers in key order into the list instead: time of the keys inside, not of the
// table.
void CollectKeyInterval(TIndexFile& file, const TKeyInterval& interval, bool& changed,
                        std::vector<std::uint32_t>& records, std::uint32_t highest);

// ---- Comparisons of the current index's first field with a constant ----
//
// The key of a constant c is the has-value byte 1 and the constant encoded as the field's key bytes
// (EncodeKeyField, with the index's case-insensitive flag; a boolean as 0 or 1 first), compared over the
// stored size + 1 bytes, or the partial length + 1 for a leading-part compare. In an ascending index:
//
//   IS NULL          prefix 00 .. prefix 00 (compare length 1)     = and <>    c .. c
//   IS NOT NULL      prefix 01 .. prefix 01                        > c        after c .. prefix 01
//   >= c             c .. prefix 01                                < c        prefix 01 .. before c
//   <= c             prefix 01 .. c
//
// A wholly descending index lists the keys the other way round: there > and < trade bounds, and so do >=
// and <=. A null or missing constant turns = into IS NULL and <> into IS NOT NULL. IN, NOT IN, BETWEEN and
// NOT BETWEEN give the interval of >= their first item or low bound (the selectivity estimate). No key is
// stepped or padded: the bounds are the constant's own key, exclusive where the operator asks.

struct TComparisonKeys {
    TKeyInterval Interval;
    // The operator the interval answers: = and <> with a null constant become IS NULL and IS NOT NULL.
    ExprOperator Operator = opNone;
};

// The interval of the comparison of the field (the current index's first) with the constant (null: none).
// The caller has checked that the constant has the field's type and fits its key.
TComparisonKeys BuildComparisonKeys(const TIndexFile& file, ExprOperator op, const TFieldDesc& field,
                                    std::uint8_t partialLength, const ExprValue* constant);

// The column node's field among the table's stored fields; none for a number outside them.
const TFieldDesc* ColumnField(const TIndexFile& file, const TExprNode& column) noexcept;

// The number of keys of the current index inside the comparison's interval (CountKeyInterval); for <> the
// keys equal to the constant. A page fetch that reports another program's change sets the changed flag.
std::uint32_t CountKeysForComparison(TIndexFile& file, ExprOperator op, const TExprNode& column,
                                     std::uint8_t partialLength, const TExprNode* constant, bool& changed);

// The records of the keys inside the comparison's interval, from the current index (for <> those equal to
// the constant: the caller inverts). When the interval holds more than half the table's live records, the
// smaller outside is walked instead (MarkComplement). Bits 1 .. highest only.
void MarkComparison(TIndexFile& file, ExprOperator op, const TExprNode& column, std::uint8_t partialLength,
                    const TExprNode* constant, bool& changed, std::span<std::uint8_t> bitmap,
                    std::uint32_t highest);

// The interval of keys that satisfy both of two comparisons of the same field on the current index, when one
// bounds it from below and the other from above in the index's order (each comparison's other end being
// every value key): the first's inside bound and the second's. False when the two bound the same side.
bool IntersectBounds(const TKeyInterval& first, const TKeyInterval& second, TKeyInterval& both) noexcept;

// The records of the keys inside the interval, from the current index: counted first, and when it holds more
// than half the table's live records the smaller outside is walked instead (MarkComplement). Bits 1 ..
// highest only.
void MarkSmallerSide(TIndexFile& file, const TKeyInterval& interval, bool& changed,
                     std::span<std::uint8_t> bitmap, std::uint32_t highest);

// The records of the keys inside the interval, found by marking the keys before its low bound and after its
// high bound and inverting. The result also holds record numbers that no key names (deleted slots): the
// caller's candidates remove them. Bits above highest are cleared.
void MarkComplement(TIndexFile& file, const TKeyInterval& interval, bool& changed,
                    std::span<std::uint8_t> bitmap, std::uint32_t highest);

}  // namespace engine
