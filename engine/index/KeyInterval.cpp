// Counting and marking the keys of an interval of the current index (declared in KeyInterval.h).
//
// A node entry holds its child's first key and the keys under it. Seen from a bound, the keys of an index
// fall into two runs: those before the low bound and those from it on, and likewise those up to the high
// bound and those beyond. A descent to the edge between two runs goes, on each level, through the last
// entry that still lies in the first run (entry 1 when none does): the edge lies in that child or is the
// next child's first key. A run of keys equal over a short compare length may span many pages; the
// partition searches of the pages count such a run whole.
#include "engine/index/KeyInterval.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/base/Bitmap.h"
#include "engine/base/FileBytes.h"
#include "engine/index/IndexFile.h"
#include "engine/index/Page.h"
#include "engine/index/RecordKey.h"
#include "engine/values/FieldTypes.h"

namespace engine {

namespace {

// Where one descent ended: the leaf, the entry (from 0; the leaf's count when the edge is the first key of
// the next leaf) and the ordinal of the edge's key counted from 1 over the whole index.
struct TEdge {
    PagePin Leaf;
    std::uint16_t Entry = 0;
    std::int64_t Ordinal = 0;
};

// The entries of a page that lie before the edge a bound makes: for a low bound those before it (the
// bound's key too when exclusive); for a high bound those not beyond it.
std::uint16_t EntriesBeforeEdge(const TPage& page, const TKeyBound& bound, bool low) {
    if (bound.Open) return low ? 0 : page.Count();
    const bool orEqual = low ? !bound.Inclusive : bound.Inclusive;
    return page.CountEntriesBelow(bound.Key.View(), bound.CompareLength, orEqual);
}

class IntervalWalk {
public:
    IntervalWalk(TIndexFile& file, bool& changed) : file_(file), changed_(changed) {}

    bool HasKeys() const {
        return file_.CurrentIndex() < IndexSlotCount && file_.CurrentSettings().KeyLength > 0 &&
               file_.GetRootPosition() != NoPage;
    }

    // Descends to the bound's edge; false when a fetch reported another program's change. A low bound's
    // edge is its first key inside, a high bound's its last key inside (ordinal 0 when there is none).
    bool Descend(const TKeyBound& bound, bool low, TEdge& edge) {
        PagePin page;
        if (!Fetch(file_.GetRootPosition(), page)) return false;
        if (!page->IsRoot() || page->Count() == 0) file_.RaisePagesCorrupt();
        std::int64_t before = 0;
        for (std::size_t depth = 1;; ++depth) {
            const std::uint16_t passed = EntriesBeforeEdge(*page, bound, low);
            if (page->IsLeaf()) {
                edge.Entry = passed;
                edge.Ordinal = before + passed + (low ? 1 : 0);
                edge.Leaf = std::move(page);
                return true;
            }
            if (depth == MaxTreeDepth) file_.RaisePagesCorrupt();
            page->NavCursor = std::max<std::uint16_t>(passed, 1);
            before += page->CountKeysBefore(false);
            const PageOffset parent = page->GetPosition();
            PagePin child;
            if (!Fetch(PageOffset(page->GetNavEntryPointer()), child)) return false;
            if (child->IsRoot() || child->Count() == 0) file_.RaisePagesCorrupt();
            child->SetParent(parent);
            page = std::move(child);
        }
    }

    // The next leaf along the chain; false at its end and when the fetch reported another program's change.
    // A walk passes at most every page of the file: more means the links run in a circle.
    bool NextLeaf(PagePin& leaf) {
        const PageOffset next = leaf->Next();
        if (next == NoPage) return false;
        if (++hops_ > file_.GetEndOfFile().Value / PageSize) file_.RaisePagesCorrupt();
        PagePin page;
        if (!Fetch(next, page)) return false;
        if (page->PageType() != PageTypeLeaf || page->Count() == 0) file_.RaisePagesCorrupt();
        leaf = std::move(page);
        return true;
    }

private:
    bool Fetch(PageOffset position, PagePin& page) {
        if (file_.GetPage(position, page)) return true;
        changed_ = true;
        return false;
    }

    TIndexFile& file_;
    bool& changed_;
    std::uint32_t hops_ = 0;
};

}  // namespace

TKeyBound OpenBound() noexcept {
    return TKeyBound{};
}

TKeyBound KeyBound(std::span<const std::uint8_t> key, std::uint16_t compareLength, bool inclusive) {
    TKeyBound bound;
    const std::size_t length = std::min(key.size(), MaxKeyBytes);
    std::copy_n(key.begin(), length, bound.Key.Bytes.begin());
    bound.Key.Length = static_cast<std::uint16_t>(length);
    bound.CompareLength = compareLength;
    bound.Inclusive = inclusive;
    bound.Open = false;
    return bound;
}

bool KeyInInterval(const TIndexFile& file, std::span<const std::uint8_t> key, const TKeyInterval& interval) {
    const bool descending = file.CurrentSettings().Descending != 0;
    const TKeyBound& low = interval.Low;
    const TKeyBound& high = interval.High;
    if (!low.Open) {
        const int order = file.CompareKeys(key, low.Key.Bytes, low.CompareLength, descending);
        if (order < 0 || (order == 0 && !low.Inclusive)) return false;
    }
    if (!high.Open) {
        const int order = file.CompareKeys(key, high.Key.Bytes, high.CompareLength, descending);
        if (order > 0 || (order == 0 && !high.Inclusive)) return false;
    }
    return true;
}

std::uint32_t CountKeyInterval(TIndexFile& file, const TKeyInterval& interval, bool& changed) {
    IntervalWalk walk(file, changed);
    if (!walk.HasKeys()) return 0;
    TEdge first;
    if (!walk.Descend(interval.Low, true, first)) return 0;
    first.Leaf = {};
    TEdge last;
    if (!walk.Descend(interval.High, false, last)) return 0;
    const std::int64_t count = last.Ordinal - first.Ordinal + 1;
    return count > 0 ? static_cast<std::uint32_t>(count) : 0;
}

namespace {

// One descent to the first key inside the interval, then along the leaf chain: each leaf's step walks its
// entries up to the high bound, answering false where one lies beyond it.
template <typename Step>
void WalkKeyInterval(TIndexFile& file, const TKeyInterval& interval, bool& changed, Step step) {
    IntervalWalk walk(file, changed);
    if (!walk.HasKeys()) return;
    TEdge edge;
    if (!walk.Descend(interval.Low, true, edge)) return;
    PagePin leaf = std::move(edge.Leaf);
    const TKeyBound& high = interval.High;
    // An open high bound compares over no bytes: no entry lies beyond it.
    const std::size_t stopLength = high.Open ? 0 : high.CompareLength;
    const bool inclusive = high.Open || high.Inclusive;
    if (edge.Entry < leaf->Count()) {
        leaf->NavCursor = static_cast<std::uint16_t>(edge.Entry + 1);
    } else {
        if (!walk.NextLeaf(leaf)) return;
        leaf->NavCursor = 1;
    }
    for (;;) {
        if (!step(*leaf, high.Key.View(), stopLength, inclusive)) return;
        if (!walk.NextLeaf(leaf)) return;
        leaf->NavCursor = 1;
    }
}

}  // namespace

void MarkKeyInterval(TIndexFile& file, const TKeyInterval& interval, bool& changed,
                     std::span<std::uint8_t> bitmap, std::uint32_t highest) {
    BitmapClearAll(bitmap.data(), static_cast<std::int64_t>(bitmap.size()));
    WalkKeyInterval(file, interval, changed,
                    [&](TPage& leaf, std::span<const std::uint8_t> stop, std::size_t length, bool inclusive) {
                        return leaf.MarkRecordsUpTo(stop, length, bitmap, highest, inclusive);
                    });
}

void CollectKeyInterval(TIndexFile& file, const TKeyInterval& interval, bool& changed,
                        std::vector<std::uint32_t>& records, std::uint32_t highest) {
    records.clear();
    WalkKeyInterval(file, interval, changed,
                    [&](TPage& leaf, std::span<const std::uint8_t> stop, std::size_t length, bool inclusive) {
                        return leaf.CollectRecordsUpTo(stop, length, records, highest, inclusive);
                    });
}

// ---- Comparisons ----

namespace {

// The has-value bytes that start every key of the first field: prefix 00 for a null, 01 for a value.
constexpr std::uint8_t NullPrefix[1] = {0};
constexpr std::uint8_t ValuePrefix[1] = {1};

TKeyBound PrefixBound(const std::uint8_t (&prefix)[1]) {
    return KeyBound(prefix, 1);
}

// An interval that holds no key: after every value key and before it.
TKeyInterval NoKeys() {
    return {KeyBound(ValuePrefix, 1, false), KeyBound(ValuePrefix, 1, false)};
}

// The constant's key: has-value byte 1 and the field's key bytes. A value area holds any stored value (a
// string's stored size is at most 256); a boolean is stored as 0 or 1, whatever truth value it holds.
TIndexKey ConstantKey(const TIndexFile& file, const TFieldDesc& field, const ExprValue& constant) {
    std::array<std::uint8_t, 256> value{};
    std::copy(constant.Bytes.begin(), constant.Bytes.end(), value.begin());
    if (field.FieldType == FieldTypeBoolean) StoreU16(value.data(), constant.IsTrue() ? 1 : 0);
    // A BCD zero with a minus sign (digits 0, the scale digit negated) equals zero: it takes zero's key.
    if (field.FieldType == FieldTypeBcd) {
        const auto scaled = static_cast<std::int64_t>(LoadU64(value.data()));
        if (scaled < 0 && scaled / 10 == 0) StoreU64(value.data(), static_cast<std::uint64_t>(-scaled));
    }
    const IndexFileOwner& owner = file.Owner();
    const TKeyContext context{owner.PhysicalFields(), owner.GetLanguageId(), owner.GetSortId(),
                              file.FileName()};
    TIndexKey key;
    key.Clear();
    key.Bytes[0] = 1;
    EncodeKeyField(context, field, value, key, 0, file.CurrentSettings().CaseInsensitive != 0, false);
    key.Length = static_cast<std::uint16_t>(field.StoredSize + 1u);
    return key;
}

// The operator as it reads in the index's order: a descending index lists greater values first.
ExprOperator InIndexOrder(ExprOperator op, bool descending) noexcept {
    return descending ? MirrorComparison(op) : op;
}

}  // namespace

const TFieldDesc* ColumnField(const TIndexFile& file, const TExprNode& column) noexcept {
    const std::vector<TFieldDesc>& fields = file.Owner().PhysicalFields();
    if (column.FieldNo == 0 || column.FieldNo > fields.size()) return nullptr;
    return &fields[column.FieldNo - 1u];
}

TComparisonKeys BuildComparisonKeys(const TIndexFile& file, ExprOperator op, const TFieldDesc& field,
                                    std::uint8_t partialLength, const ExprValue* constant) {
    const bool hasValue = constant != nullptr && constant->IsNull == 0;
    if (!hasValue && (op == opEqual || op == opIn)) op = opIsNull;
    if (!hasValue && (op == opNotEqual || op == opNotIn)) op = opIsNotNull;
    if (op == opIsNull) return {{PrefixBound(NullPrefix), PrefixBound(NullPrefix)}, op};
    if (op == opIsNotNull) return {{PrefixBound(ValuePrefix), PrefixBound(ValuePrefix)}, op};
    // An order comparison with null holds for no record.
    if (!hasValue) return {NoKeys(), op};
    const TIndexKey key = ConstantKey(file, field, *constant);
    const std::uint16_t length =
        partialLength != 0 ? static_cast<std::uint16_t>(partialLength + 1u) : key.Length;
    const TKeyBound at = KeyBound(key.View(), length);
    const TKeyBound beyond = KeyBound(key.View(), length, false);
    const TKeyBound anyValue = PrefixBound(ValuePrefix);
    ExprOperator ordered = op;
    // The list and range predicates are estimated from their first item upward.
    if (op == opIn || op == opNotIn || op == opBetween || op == opNotBetween) ordered = opGreaterEqual;
    switch (InIndexOrder(ordered, file.CurrentSettings().Descending != 0)) {
        case opEqual:
        case opNotEqual:
            return {{at, at}, op};
        case opGreater:
            return {{beyond, anyValue}, op};
        case opGreaterEqual:
            return {{at, anyValue}, op};
        case opLess:
            return {{anyValue, beyond}, op};
        case opLessEqual:
            return {{anyValue, at}, op};
        default:
            return {NoKeys(), op};
    }
}

std::uint32_t CountKeysForComparison(TIndexFile& file, ExprOperator op, const TExprNode& column,
                                     std::uint8_t partialLength, const TExprNode* constant, bool& changed) {
    const TFieldDesc* const field = ColumnField(file, column);
    if (field == nullptr) return 0;
    const TComparisonKeys keys = BuildComparisonKeys(file, op, *field, partialLength,
                                                     constant != nullptr ? &constant->Value : nullptr);
    return CountKeyInterval(file, keys.Interval, changed);
}

void MarkComparison(TIndexFile& file, ExprOperator op, const TExprNode& column, std::uint8_t partialLength,
                    const TExprNode* constant, bool& changed, std::span<std::uint8_t> bitmap,
                    std::uint32_t highest) {
    const TFieldDesc* const field = ColumnField(file, column);
    if (field == nullptr) {
        BitmapClearAll(bitmap.data(), static_cast<std::int64_t>(bitmap.size()));
        return;
    }
    const TComparisonKeys keys = BuildComparisonKeys(file, op, *field, partialLength,
                                                     constant != nullptr ? &constant->Value : nullptr);
    MarkSmallerSide(file, keys.Interval, changed, bitmap, highest);
}

namespace {

// The end of an order comparison's interval that lets every value key through (PrefixBound(ValuePrefix)).
bool IsAnyValue(const TKeyBound& bound) noexcept {
    return !bound.Open && bound.Inclusive && bound.CompareLength == 1 && bound.Key.Bytes[0] == ValuePrefix[0];
}

}  // namespace

bool IntersectBounds(const TKeyInterval& first, const TKeyInterval& second, TKeyInterval& both) noexcept {
    // Each inside bound is a value key, so it lies within the other's all-values end: the tighter of each
    // pair of ends is the inside one.
    const auto from = [&both](const TKeyInterval& below, const TKeyInterval& above) {
        if (below.Low.Open || IsAnyValue(below.Low) || !IsAnyValue(below.High)) return false;
        if (above.High.Open || IsAnyValue(above.High) || !IsAnyValue(above.Low)) return false;
        both = {below.Low, above.High};
        return true;
    };
    return from(first, second) || from(second, first);
}

void MarkSmallerSide(TIndexFile& file, const TKeyInterval& interval, bool& changed,
                     std::span<std::uint8_t> bitmap, std::uint32_t highest) {
    const std::int64_t inside = CountKeyInterval(file, interval, changed);
    if (changed) return;
    const std::int64_t live = file.GetRecordCount();
    if (inside > live - inside) {
        MarkComplement(file, interval, changed, bitmap, highest);
    } else {
        MarkKeyInterval(file, interval, changed, bitmap, highest);
    }
}

void MarkComplement(TIndexFile& file, const TKeyInterval& interval, bool& changed,
                    std::span<std::uint8_t> bitmap, std::uint32_t highest) {
    const std::int64_t size = static_cast<std::int64_t>(bitmap.size());
    TKeyBound beforeLow = interval.Low;
    beforeLow.Inclusive = !beforeLow.Inclusive;
    TKeyBound afterHigh = interval.High;
    afterHigh.Inclusive = !afterHigh.Inclusive;
    // An open bound has no outside.
    if (interval.Low.Open) {
        BitmapClearAll(bitmap.data(), size);
    } else {
        MarkKeyInterval(file, {OpenBound(), beforeLow}, changed, bitmap, highest);
        if (changed) return;
    }
    if (!interval.High.Open) {
        std::vector<std::uint8_t> after(bitmap.size(), 0);
        MarkKeyInterval(file, {afterHigh, OpenBound()}, changed, after, highest);
        if (changed) return;
        BitmapOr(after.data(), bitmap.data(), size);
    }
    BitmapNot(bitmap.data(), bitmap.data(), size);
    BitmapClearAbove(highest, bitmap.data(), size);
}

}  // namespace engine
