// TIndexCursor: where a table's index cursor stands and the key range it keeps, as its index file holds them;
// with the position the change check carries across a drop.
#pragma once

#include <cstdint>

#include "engine/index/IndexKey.h"

namespace engine {

// A position. The current page, whose update cursor marks the current key, is the index file's pin and not
// part of this copy.
struct TCursorPosition {
    // Index order: the current key's position among all keys of the index; natural order: the current
    // record's among the visible records; 0 without a position.
    std::int32_t Ordinal = 0;
    // Both set only without a position; a key may be current with one of them set (the cursor stopped on the
    // last key, or on the key beyond a range bound).
    bool BeforeFirst = true;
    bool AfterLast = true;
    // Natural order: the current physical record number.
    std::uint32_t NaturalRecord = 0;
};

// A key range of the current index: the bounds (the index's key length, zero beyond) and the ordinals of the
// first and last key inside it (0 when the range holds none).
struct TKeyRange {
    TIndexKey Start;
    TIndexKey End;
    bool Active = false;
    std::int32_t First = 0;
    std::int32_t Last = 0;
};

struct TIndexCursor {
    TCursorPosition Position;
    TKeyRange Range;
    // Set while the range ordinals are computed or the filter bitmaps rebuilt: ComputeRangeOrdinals then
    // does nothing.
    bool RangeOrdinalsBusy = false;
};

// What the change check keeps of the position while it drops the caches: the current key (index order) or
// record number (natural order) and both flags.
struct TSavedCursorPosition {
    TIndexKey Key;
    std::uint32_t NaturalRecord = 0;
    bool BeforeFirst = true;
    bool AfterLast = true;
};

// Holds the range-ordinal flag set for a scope, and puts back what it was.
class TRangeOrdinalsGuard {
public:
    explicit TRangeOrdinalsGuard(TIndexCursor& cursor) noexcept
        : cursor_(cursor), was_(cursor.RangeOrdinalsBusy) {
        cursor_.RangeOrdinalsBusy = true;
    }
    ~TRangeOrdinalsGuard() { cursor_.RangeOrdinalsBusy = was_; }
    TRangeOrdinalsGuard(const TRangeOrdinalsGuard&) = delete;
    TRangeOrdinalsGuard& operator=(const TRangeOrdinalsGuard&) = delete;

private:
    TIndexCursor& cursor_;
    bool was_;
};

}  // namespace engine
