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

#include "engine/base/Bitmap.h"
#include "engine/index/IndexFile.h"
#include "engine/index/Page.h"

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

void MarkKeyInterval(TIndexFile& file, const TKeyInterval& interval, bool& changed,
                     std::span<std::uint8_t> bitmap, std::uint32_t highest) {
    BitmapClearAll(bitmap.data(), static_cast<std::int64_t>(bitmap.size()));
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
        if (!leaf->MarkRecordsUpTo(high.Key.View(), stopLength, bitmap, highest, inclusive)) return;
        if (!walk.NextLeaf(leaf)) return;
        leaf->NavCursor = 1;
    }
}

}  // namespace engine
