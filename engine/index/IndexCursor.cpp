// TIndexFile's cursor: positioning on keys and records, moves, searches, ordinals, ranges, the visible
// records and the position the change check carries across a drop (declared in IndexFile.h).
//
// Every operation works on a copy of the position and a page pin of its own (TCursorWalk) and writes the
// cursor only when it is done, so that an operation that meets another program's change can drop what it did
// and run again from the position the change check re-found.
#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

#include "engine/base/Bitmap.h"
#include "engine/base/EngineError.h"
#include "engine/index/IndexFile.h"

namespace engine {

namespace {

// Thrown by a page fetch that reported another program's change; the operation runs again.
struct CursorRestart {};

// After one restart the operation holds the read lock, under which no other program writes: a second report
// means the lock protocol broke, and the operation stops instead of running on.
constexpr int MaxCursorRestarts = 2;

template <class Body>
auto Restartable(const TIndexFile& file, Body body) {
    for (int restarts = 0;; ++restarts) {
        try {
            return body();
        } catch (const CursorRestart&) {
            if (restarts >= MaxCursorRestarts) file.RaisePagesCorrupt();
        }
    }
}

}  // namespace

// One cursor operation's work: the position it moves, the leaf it stands on and the entry (from 1) of the
// key it reached there.
class TCursorWalk {
public:
    explicit TCursorWalk(TIndexFile& file)
        : file_(file),
          position_(file.cursor_.Position),
          hopLimit_(file.GetEndOfFile().Value / PageSize),
          highest_(file.PhysicalRecordCount()) {
        const std::vector<std::uint8_t>& bitmap = file.bitmaps_.Visible();
        // Bits past H are never visible: the bytes beyond the one holding bit H are not looked at.
        const std::size_t bytes = std::min<std::size_t>(bitmap.size(), (std::size_t{highest_} + 7) / 8);
        visible_ = std::span<const std::uint8_t>(bitmap.data(), bytes);
    }

    TCursorPosition& Position() noexcept { return position_; }
    std::int32_t& Ordinal() noexcept { return position_.Ordinal; }
    bool HasPage() const noexcept { return static_cast<bool>(page_); }
    TPage& Page() const { return *page_; }
    std::uint16_t Entry() const noexcept { return entry_; }
    std::span<const std::uint8_t> Key() const { return page_->Key(entry_ - 1u); }
    std::uint32_t Record() const { return page_->Entry(entry_ - 1u).Pointer; }

    // Whether the index has keys the cursor may reach.
    bool HasKeys() const { return file_.GetRootPosition() != NoPage && file_.GetKeyCount() > 0; }

    // Takes up the cursor's current page and key; false without a current page of the current index.
    bool StartFromCurrent() {
        const TPage* const current = file_.currentPage_.Get();
        if (current == nullptr || current->Format().IndexNumber != file_.CurrentIndex()) return false;
        // A second pin on the page, which is cached while the cursor holds it.
        page_ = Fetch(current->GetPosition());
        if (page_->Count() == 0 || !page_->IsLeaf()) file_.RaisePagesCorrupt();
        entry_ = std::clamp<std::uint16_t>(page_->UpdateCursor, 1, page_->Count());
        return true;
    }

    // Descends from the root: the chooser sets each page's navigation cursor and adds the keys before it to
    // the ordinal, which starts at 1; the leaf's entry is reached.
    template <class Choose>
    void Descend(Choose choose) {
        PagePin page = Fetch(file_.GetRootPosition());
        if (!page->IsRoot() || page->Count() == 0) file_.RaisePagesCorrupt();
        std::int32_t ordinal = 1;
        for (std::size_t depth = 1;; ++depth) {
            choose(*page, ordinal);
            if (page->NavCursor < 1 || page->NavCursor > page->Count()) file_.RaisePagesCorrupt();
            if (page->IsLeaf()) break;
            if (depth == MaxTreeDepth) file_.RaisePagesCorrupt();
            const PageOffset parent = page->GetPosition();
            PagePin child = Fetch(PageOffset(page->GetNavEntryPointer()));
            if (child->IsRoot() || child->Count() == 0) file_.RaisePagesCorrupt();
            child->SetParent(parent);
            page = std::move(child);
        }
        entry_ = page->NavCursor;
        page_ = std::move(page);
        position_.Ordinal = ordinal;
    }

    void DescendFirst() {
        Descend([](TPage& page, std::int32_t&) { page.FirstEntry(false); });
    }
    void DescendLast() {
        Descend([](TPage& page, std::int32_t& ordinal) { page.GoLastCounted(ordinal); });
    }

    // One key forward or back, to the next or previous leaf at a page end; false, with nothing changed, at
    // the end of the index.
    bool Next() {
        if (entry_ < page_->Count()) {
            ++entry_;
        } else {
            const PageOffset next = page_->Next();
            if (next == NoPage) return false;
            page_ = Sibling(next, forwardHops_);
            entry_ = 1;
        }
        ++position_.Ordinal;
        return true;
    }
    bool Prior() {
        if (entry_ > 1) {
            --entry_;
        } else {
            const PageOffset prior = page_->Prior();
            if (prior == NoPage) return false;
            page_ = Sibling(prior, backwardHops_);
            entry_ = page_->Count();
        }
        --position_.Ordinal;
        return true;
    }
    // Up to n keys forward within the current page; the keys moved.
    std::int64_t JumpInPage(std::int64_t n) {
        const std::int64_t step = std::min<std::int64_t>(n, page_->Count() - entry_);
        entry_ = static_cast<std::uint16_t>(entry_ + step);
        position_.Ordinal = static_cast<std::int32_t>(position_.Ordinal + step);
        return step;
    }
    std::int64_t JumpBackInPage(std::int64_t n) {
        const std::int64_t step = std::min<std::int64_t>(n, entry_ - 1);
        entry_ = static_cast<std::uint16_t>(entry_ - step);
        position_.Ordinal = static_cast<std::int32_t>(position_.Ordinal - step);
        return step;
    }

    bool Visible(std::uint32_t record) const noexcept {
        return record >= 1 && record <= highest_ && (record - 1u) / 8 < visible_.size() &&
               BitmapTestBit(record, visible_.data());
    }
    bool CurrentVisible() const { return Visible(Record()); }

    // From the key reached forward (back) to the first visible key, counting every key passed; false, on the
    // last (first) key of the index, when there is none.
    bool SkipVisibleForward() {
        for (;;) {
            page_->NavCursor = entry_;
            const bool found = page_->SkipToVisibleForward(position_.Ordinal, visible_);
            entry_ = page_->NavCursor;
            if (found && Record() <= highest_) return true;
            if (!Next()) return false;
        }
    }
    bool SkipVisibleBackward() {
        for (;;) {
            page_->NavCursor = entry_;
            const bool found = page_->SkipToVisibleBackward(position_.Ordinal, visible_);
            entry_ = page_->NavCursor;
            if (found && Record() <= highest_) return true;
            if (!Prior()) return false;
        }
    }

    // The key reached against a range bound: below (-1), equal (0) or above (1) in the index's order.
    int CompareWith(const TIndexKey& bound) const {
        const std::uint16_t length = file_.CurrentSettings().KeyLength;
        return file_.KeyOrderOf(file_.CurrentIndex())
            .Compare(Key().data(), bound.Bytes.data(), length, file_.CurrentSettings().Descending != 0);
    }
    int CompareWith(std::span<const std::uint8_t> key, std::uint16_t compareLength) const {
        return file_.CompareKeys(Key(), key, compareLength, file_.CurrentSettings().Descending != 0);
    }

    // After a range descent: a key reached below the start moves on one key, one above the end back one; the
    // key then reached must lie within the range.
    bool CheckInRange() {
        const TKeyRange& range = file_.cursor_.Range;
        if (CompareWith(range.Start) < 0) {
            if (!Next()) return false;
        } else if (CompareWith(range.End) > 0) {
            if (!Prior()) return false;
        } else {
            return true;
        }
        return CompareWith(range.Start) >= 0 && CompareWith(range.End) <= 0;
    }

    void ClearFlags() noexcept { position_.BeforeFirst = position_.AfterLast = false; }
    void SetAfterLast() noexcept {
        position_.AfterLast = true;
        position_.BeforeFirst = false;
    }
    void SetBeforeFirst() noexcept {
        position_.BeforeFirst = true;
        position_.AfterLast = false;
    }

    // The position and the page reached become the cursor's.
    void Commit() {
        if (page_) page_->UpdateCursor = entry_;
        file_.cursor_.Position = position_;
        file_.SetCurrentPage(std::move(page_));
    }

private:
    PagePin Fetch(PageOffset position) {
        PagePin page;
        if (!file_.GetPage(position, page)) throw CursorRestart{};
        return page;
    }
    // A sibling leaf. A walk in one direction passes at most every page of the file: more means the links
    // run in a circle.
    PagePin Sibling(PageOffset position, std::uint32_t& hops) {
        if (++hops > hopLimit_) file_.RaisePagesCorrupt();
        PagePin page = Fetch(position);
        if (page->PageType() != PageTypeLeaf || page->Count() == 0) file_.RaisePagesCorrupt();
        return page;
    }

    TIndexFile& file_;
    TCursorPosition position_;
    PagePin page_;
    std::uint16_t entry_ = 0;
    std::uint32_t hopLimit_;
    std::uint32_t forwardHops_ = 0;
    std::uint32_t backwardHops_ = 0;
    std::uint32_t highest_;
    std::span<const std::uint8_t> visible_;
};

// ---- State ----

bool TIndexFile::NaturalOrder() const noexcept {
    return current_ == NaturalOrderIndex || (current_ == PrimaryIndexSlot && HasNoPrimaryIndex());
}

std::uint32_t TIndexFile::PhysicalRecordCount() const noexcept {
    return owner_.OpenPhysicalRecordCount();
}

std::uint32_t TIndexFile::GetKeyCount() const noexcept {
    if (NaturalOrder() || bitmaps_.BitmapMode()) return bitmaps_.VisibleCount();
    const TKeyRange& range = cursor_.Range;
    // Without a range every key is reachable: the count, not the ordinals, which writes made without bitmap
    // upkeep (a query's result rows) leave as they were until the next refresh.
    if (!range.Active) return GetRecordCount();
    if (range.First < 1 || range.Last < 1 || range.Last < range.First) return 0;
    return static_cast<std::uint32_t>(range.Last - range.First + 1);
}

void TIndexFile::ClearPosition() noexcept {
    SetCurrentPage({});
    cursor_.Position = TCursorPosition{};
}

std::span<const std::uint8_t> TIndexFile::GetCurrentKey() const {
    const TPage* const page = currentPage_.Get();
    if (page == nullptr || page->Format().IndexNumber != current_ || page->Count() == 0) return {};
    return page->Key(std::clamp<std::uint16_t>(page->UpdateCursor, 1, page->Count()) - 1u);
}

SlotNumber TIndexFile::GetCurrentRecordNumber() const {
    if (GetKeyCount() == 0) return NoSlot;
    if (NaturalOrder()) return SlotNumber(cursor_.Position.NaturalRecord);
    const TPage* const page = currentPage_.Get();
    if (page == nullptr || page->Format().IndexNumber != current_ || page->Count() == 0) return NoSlot;
    return SlotNumber(
        page->Entry(std::clamp<std::uint16_t>(page->UpdateCursor, 1, page->Count()) - 1u).Pointer);
}

std::int32_t TIndexFile::GetOrdinal() const noexcept {
    const std::int32_t ordinal = cursor_.Position.Ordinal;
    if (NaturalOrder()) return ordinal;
    if (ordinal < 1) return 0;
    return ordinal - cursor_.Range.First + 1;
}

void TIndexFile::SetVisibleRecords(std::vector<std::uint8_t> bitmap, bool filterActive) {
    bitmaps_.SetVisible(std::move(bitmap), filterActive);
    // A natural-order position keeps its record; its ordinal is its rank among the records now visible.
    if (NaturalOrder() && cursor_.Position.NaturalRecord != 0) {
        cursor_.Position.Ordinal = static_cast<std::int32_t>(
            bitmaps_.VisibleBits(PhysicalRecordCount()).CountUpTo(cursor_.Position.NaturalRecord));
    }
}

// ---- Natural order ----
//
// Every positioning sets the ordinal to the rank of the record reached among the visible records, so that a
// record number set and read back agree.

namespace {

// The visible-record bitmap with H and its summary, for the bit searches: a sparse bitmap is searched in
// time of its set words, not of the table.
struct NaturalBits {
    TSummarisedBits search;
    std::int64_t highest;

    explicit NaturalBits(const TSummarisedBits& bits) noexcept : search(bits), highest(bits.Highest) {}

    bool Next(std::int64_t& position) const noexcept { return search.Next(position); }
    bool Prior(std::int64_t& position) const noexcept { return search.Prior(position); }
    std::int32_t Rank(std::int64_t record) const noexcept {
        return static_cast<std::int32_t>(search.CountUpTo(record));
    }
    bool Visible(std::int64_t record) const noexcept { return search.Test(record); }
    // The nearest set bit at or after the record, else at or before it; 0 when none is set.
    std::int64_t Nearest(std::int64_t record) const noexcept {
        if (highest < 1) return 0;
        std::int64_t position = std::clamp<std::int64_t>(record, 1, highest) - 1;
        if (Next(position)) return position;
        position = std::clamp<std::int64_t>(record, 1, highest) + 1;
        return Prior(position) ? position : 0;
    }
};

}  // namespace

// ---- Positioning ----

void TIndexFile::First() {
    GoToEnd(false);
}

void TIndexFile::Last() {
    GoToEnd(true);
}

void TIndexFile::GoToEnd(bool last) {
    if (NaturalOrder()) {
        const NaturalBits bits(bitmaps_.VisibleBits(PhysicalRecordCount()));
        std::int64_t position = last ? bits.highest + 1 : 0;
        const bool found = bitmaps_.VisibleCount() != 0 &&
                           (last ? bits.Prior(position) : bits.Next(position));
        ClearPosition();
        if (found) {
            cursor_.Position = {last ? bits.Rank(position) : 1, false, false,
                                static_cast<std::uint32_t>(position)};
        }
        return;
    }
    Restartable(*this, [&] {
        TCursorWalk walk(*this);
        bool found = walk.HasKeys();
        if (found) {
            if (bitmaps_.BitmapMode()) {
                last ? walk.DescendLast() : walk.DescendFirst();
                found = last ? walk.SkipVisibleBackward() : walk.SkipVisibleForward();
            } else if (cursor_.Range.Active) {
                const TIndexKey& bound = last ? cursor_.Range.End : cursor_.Range.Start;
                walk.Descend([&](TPage& page, std::int32_t& ordinal) {
                    last ? page.SeekRangeEnd(bound.View(), ordinal)
                         : page.SeekRangeStart(bound.View(), ordinal);
                });
                found = walk.CheckInRange();
            } else {
                last ? walk.DescendLast() : walk.DescendFirst();
            }
        }
        if (!found) {
            ClearPosition();
            return;
        }
        walk.ClearFlags();
        walk.Commit();
    });
}

void TIndexFile::MoveBy(std::int32_t n) {
    if (n == 0) return;
    if (NaturalOrder()) {
        const NaturalBits bits(bitmaps_.VisibleBits(PhysicalRecordCount()));
        if (bitmaps_.VisibleCount() == 0) {
            ClearPosition();
            return;
        }
        TCursorPosition position = cursor_.Position;
        // From a hidden record (or none) the ordinal is counted afresh at the end.
        const bool counted = bits.Visible(position.NaturalRecord) && position.Ordinal >= 1;
        std::int64_t record = std::min<std::int64_t>(position.NaturalRecord, bits.highest + 1);
        position.BeforeFirst = position.AfterLast = false;
        for (std::int64_t left = n > 0 ? n : -std::int64_t{n}; left > 0; --left) {
            std::int64_t next = record;
            const bool moved = n > 0 ? bits.Next(next) : bits.Prior(next);
            if (!moved) {
                (n > 0 ? position.AfterLast : position.BeforeFirst) = true;
                break;
            }
            record = next;
            position.Ordinal += n > 0 ? 1 : -1;
        }
        // A cursor that had no record and found none stays on the nearest one.
        if (!bits.Visible(record)) record = bits.Nearest(record);
        if (record == 0) {
            ClearPosition();
            return;
        }
        position.NaturalRecord = static_cast<std::uint32_t>(record);
        if (!counted) position.Ordinal = bits.Rank(record);
        cursor_.Position = position;
        return;
    }
    Restartable(*this, [&] {
        TCursorWalk walk(*this);
        if (!walk.HasKeys()) {
            ClearPosition();
            return;
        }
        if (!walk.StartFromCurrent()) {
            // No position yet: the first step is onto the first (last) key.
            if (n > 0) {
                First();
                if (n > 1 && currentPage_) MoveBy(n - 1);
            } else {
                Last();
                if (n < -1 && currentPage_) MoveBy(n + 1);
            }
            return;
        }
        const bool forward = n > 0;
        std::int64_t left = forward ? n : -std::int64_t{n};
        walk.ClearFlags();
        if (bitmaps_.BitmapMode()) {
            while (left > 0) {
                if (!(forward ? walk.Next() : walk.Prior()) ||
                    !(forward ? walk.SkipVisibleForward() : walk.SkipVisibleBackward())) {
                    // The end: back to the nearest visible key.
                    if (forward) {
                        walk.SetAfterLast();
                    } else {
                        walk.SetBeforeFirst();
                    }
                    if (!(forward ? walk.SkipVisibleBackward() : walk.SkipVisibleForward())) {
                        ClearPosition();
                        return;
                    }
                    break;
                }
                --left;
            }
        } else if (cursor_.Range.Active) {
            const TKeyRange& range = cursor_.Range;
            for (; left > 0; --left) {
                if (!(forward ? walk.Next() : walk.Prior())) {
                    forward ? walk.SetAfterLast() : walk.SetBeforeFirst();
                    break;
                }
                if (forward && walk.CompareWith(range.End) > 0) {
                    walk.SetAfterLast();
                    break;
                }
                if (!forward && walk.CompareWith(range.Start) < 0) {
                    walk.SetBeforeFirst();
                    break;
                }
            }
        } else {
            while (left > 0) {
                const std::int64_t moved = forward ? walk.JumpInPage(left) : walk.JumpBackInPage(left);
                left -= moved;
                if (left == 0) break;
                if (!(forward ? walk.Next() : walk.Prior())) {
                    forward ? walk.SetAfterLast() : walk.SetBeforeFirst();
                    break;
                }
                --left;
            }
        }
        walk.Commit();
    });
}

bool TIndexFile::FindKey(std::span<const std::uint8_t> key, bool nearest, bool keepEndFlags,
                         std::uint16_t compareLength) {
    if (NaturalOrder()) return false;
    const bool entryBeforeFirst = cursor_.Position.BeforeFirst;
    const bool entryAfterLast = cursor_.Position.AfterLast;
    const bool found = Restartable(*this, [&] {
        TCursorWalk walk(*this);
        if (!walk.HasKeys()) {
            ClearPosition();
            return false;
        }
        const bool descending = settings_.Descending != 0;
        if (bitmaps_.BitmapMode()) {
            bool equal = false;
            walk.Descend([&](TPage& page, std::int32_t& ordinal) {
                equal = page.SearchKey(key, ordinal, compareLength, nearest);
            });
            const bool hit = equal && walk.CurrentVisible();
            if (hit) {
                walk.ClearFlags();
                walk.Commit();
                return true;
            }
            if (!nearest) return false;
            walk.ClearFlags();
            for (;;) {
                if (!walk.SkipVisibleForward()) {
                    walk.SetAfterLast();
                    if (!walk.SkipVisibleBackward()) {
                        ClearPosition();
                        return false;
                    }
                    break;
                }
                // A visible key below the one sought ends its page: the search goes on in the next.
                if (walk.Entry() != walk.Page().Count() || walk.CompareWith(key, compareLength) >= 0) break;
                if (!walk.Next()) {
                    walk.SetAfterLast();
                    break;
                }
            }
            walk.Commit();
            return false;
        }
        bool equal = false;
        if (cursor_.Range.Active) {
            const TKeyRange& range = cursor_.Range;
            if (CompareKeys(range.Start.View(), key, compareLength, descending) > 0) {
                First();
                return false;
            }
            if (CompareKeys(range.End.View(), key, compareLength, descending) < 0) {
                Last();
                return false;
            }
            walk.Descend([&](TPage& page, std::int32_t& ordinal) {
                equal = page.ScanForKey(key, range.End.View(), compareLength, nearest, ordinal);
            });
        } else {
            walk.Descend([&](TPage& page, std::int32_t& ordinal) {
                equal = page.SearchKey(key, ordinal, compareLength, nearest);
            });
        }
        if (!equal && !nearest) return false;
        walk.ClearFlags();
        if (!equal && walk.Entry() == walk.Page().Count() && walk.CompareWith(key, compareLength) < 0) {
            if (!walk.Next()) {
                walk.Position().AfterLast = true;
            } else if (cursor_.Range.Active &&
                       walk.CompareWith(cursor_.Range.End.View(), compareLength) > 0) {
                // As the leaf scan does within a page: past the range end the search stays on its last key.
                walk.Prior();
            }
        }
        walk.Commit();
        return equal;
    });
    if (keepEndFlags && currentPage_) {
        if (entryBeforeFirst) {
            MoveBy(-1);
            if (!cursor_.Position.BeforeFirst) MoveBy(1);
        } else {
            cursor_.Position.BeforeFirst = false;
        }
        if (entryAfterLast) {
            MoveBy(1);
            if (!cursor_.Position.AfterLast) MoveBy(-1);
        } else {
            cursor_.Position.AfterLast = false;
        }
    }
    return found;
}

bool TIndexFile::LocateKey(std::span<const std::uint8_t> key, std::uint16_t compareLength) {
    if (NaturalOrder()) return false;
    return Restartable(*this, [&] {
        TCursorWalk walk(*this);
        if (GetRootPosition() == NoPage) return false;
        bool equal = false;
        walk.Descend([&](TPage& page, std::int32_t&) { equal = page.LocateNav(key, compareLength); });
        if (!equal) return false;
        // The key only: the ordinal and the flags stay as they were.
        walk.Position() = cursor_.Position;
        walk.Commit();
        return true;
    });
}

void TIndexFile::GotoOrdinal(std::int32_t n) {
    if (NaturalOrder()) {
        const NaturalBits bits(bitmaps_.VisibleBits(PhysicalRecordCount()));
        if (n < 1) {
            First();
            if (currentPage_ || cursor_.Position.NaturalRecord != 0) cursor_.Position.BeforeFirst = true;
            return;
        }
        std::int64_t position = 0;
        if (static_cast<std::uint32_t>(n) > bitmaps_.VisibleCount() ||
            !bits.search.Select(n, position)) {
            Last();
            if (cursor_.Position.NaturalRecord != 0) cursor_.Position.AfterLast = true;
            return;
        }
        ClearPosition();
        cursor_.Position = {n, false, false, static_cast<std::uint32_t>(position)};
        return;
    }
    if (GetKeyCount() == 0 || GetRootPosition() == NoPage) {
        ClearPosition();
        return;
    }
    Restartable(*this, [&] {
        First();
        if (!currentPage_) return;
        if (n < GetOrdinal()) {
            cursor_.Position.BeforeFirst = true;
            cursor_.Position.AfterLast = false;
            return;
        }
        Last();
        if (!currentPage_) return;
        if (n > GetOrdinal()) {
            cursor_.Position.AfterLast = true;
            cursor_.Position.BeforeFirst = false;
            return;
        }
        const std::int64_t target = std::int64_t{n} + cursor_.Range.First - 1;
        TCursorWalk walk(*this);
        walk.Descend([&](TPage& page, std::int32_t& ordinal) {
            // The ordinal is that of the first key under the entry.
            page.FirstEntry(false);
            if (page.IsLeaf()) {
                const std::int64_t want = target - ordinal + 1;
                page.NavCursor = static_cast<std::uint16_t>(std::clamp<std::int64_t>(want, 1, page.Count()));
                ordinal += page.NavCursor - 1;
                return;
            }
            while (page.NavCursor < page.Count() &&
                   ordinal + std::int64_t{page.GetNavEntryCount()} <= target) {
                ordinal = static_cast<std::int32_t>(ordinal + page.GetNavEntryCount());
                ++page.NavCursor;
            }
        });
        walk.ClearFlags();
        if (walk.Ordinal() < target && !walk.Next()) walk.Position().AfterLast = true;
        if (bitmaps_.BitmapMode() && !walk.CurrentVisible() && !walk.SkipVisibleForward()) {
            walk.SetAfterLast();
            if (!walk.SkipVisibleBackward()) {
                ClearPosition();
                return;
            }
        }
        walk.Commit();
    });
}

void TIndexFile::GotoRecordNumber(std::uint32_t n) {
    if (!NaturalOrder()) return;
    const std::uint32_t highest = PhysicalRecordCount();
    if (highest == 0) {
        ClearPosition();
        return;
    }
    // A caller's bookmark may hold any value: the searches start within the records.
    cursor_.Position.NaturalRecord = std::clamp<std::uint32_t>(n, 1, highest);
    StepNaturalOrder();
}

void TIndexFile::StepNaturalOrder() {
    const NaturalBits bits(bitmaps_.VisibleBits(PhysicalRecordCount()));
    const std::int64_t record =
        bitmaps_.VisibleCount() == 0 || bits.highest == 0 ? 0 : bits.Nearest(cursor_.Position.NaturalRecord);
    ClearPosition();
    if (record == 0) return;
    // The last visible record's rank is the visible count: a record appended at the end is not ranked by
    // counting every slot before it.
    std::int64_t later = record;
    const std::int32_t rank = bits.Next(later)
                                  ? bits.Rank(record)
                                  : static_cast<std::int32_t>(bitmaps_.VisibleCount());
    cursor_.Position = {rank, false, false, static_cast<std::uint32_t>(record)};
}

std::uint32_t TIndexFile::GetContiguousRunLength(std::uint32_t max, int direction) {
    if (NaturalOrder()) {
        const NaturalBits bits(bitmaps_.VisibleBits(PhysicalRecordCount()));
        const std::int64_t record = cursor_.Position.NaturalRecord;
        if (record == 0) return 1;
        const std::int64_t step = direction == 1 ? 1 : -1;
        std::uint32_t run = 1;
        while (run < max && bits.Visible(record + step * run)) ++run;
        return run;
    }
    const TPage* const page = currentPage_.Get();
    if (page == nullptr || !page->IsLeaf()) return 1;
    if (page->Count() == 0) RaisePagesCorrupt();
    // Backward, the run takes the entries before the current one: the slots a backward read-ahead reads.
    const std::size_t at = std::clamp<std::size_t>(page->UpdateCursor, 1, page->Count()) - 1u;
    const std::int64_t step = direction == 1 ? 1 : -1;
    std::uint32_t run = 1;
    std::int64_t previous = page->Entry(at).Pointer;
    for (std::int64_t i = static_cast<std::int64_t>(at) + step;
         run < max && i >= 0 && i < static_cast<std::int64_t>(page->Count()); i += step) {
        const std::int64_t record = page->Entry(static_cast<std::size_t>(i)).Pointer;
        if (record != previous + step) break;
        previous = record;
        ++run;
    }
    return run;
}

void TIndexFile::GetRecordsAheadOnPage(std::uint32_t max, int direction,
                                       std::vector<std::uint32_t>& records) {
    records.clear();
    if (NaturalOrder()) return;
    const TPage* const page = currentPage_.Get();
    if (page == nullptr || !page->IsLeaf() || page->Count() == 0 || page->Format().IndexNumber != current_)
        return;
    // As a step does: with filters the visible records, else the range's keys.
    const bool filtered = bitmaps_.BitmapMode();
    const NaturalBits bits(bitmaps_.VisibleBits(PhysicalRecordCount()));
    const bool forward = direction == 1;
    const TKeyRange& range = cursor_.Range;
    const TIndexKey& bound = forward ? range.End : range.Start;
    const TKeyOrder& order = KeyOrderOf(current_);
    const bool descending = settings_.Descending != 0;
    const std::size_t at = std::clamp<std::size_t>(page->UpdateCursor, 1, page->Count()) - 1u;
    const std::int64_t step = forward ? 1 : -1;
    for (std::int64_t i = static_cast<std::int64_t>(at) + step;
         records.size() < max && i >= 0 && i < static_cast<std::int64_t>(page->Count()); i += step) {
        const auto entry = static_cast<std::size_t>(i);
        if (!filtered && range.Active) {
            const int side =
                order.Compare(page->Key(entry).data(), bound.Bytes.data(), settings_.KeyLength, descending);
            if (forward ? side > 0 : side < 0) break;
        }
        const std::uint32_t record = page->Entry(entry).Pointer;
        if (!filtered || bits.Visible(record)) records.push_back(record);
    }
}

std::uint32_t TIndexFile::GetReadAheadSpan(std::uint32_t max, int direction) {
    if (!NaturalOrder()) return GetContiguousRunLength(max, direction);
    const NaturalBits bits(bitmaps_.VisibleBits(PhysicalRecordCount()));
    const std::int64_t record = cursor_.Position.NaturalRecord;
    if (record == 0) return 1;
    const std::int64_t step = direction == 1 ? 1 : -1;
    std::uint32_t span = 1;
    for (std::uint32_t i = 1; i < max; ++i) {
        if (bits.Visible(record + step * i)) span = i + 1;
    }
    return span;
}

// ---- Ranges ----

namespace {

void StoreBound(TIndexKey& bound, std::span<const std::uint8_t> key, std::uint16_t keyLength) {
    bound.Clear();
    bound.Length = keyLength;
    std::copy_n(key.begin(), std::min<std::size_t>(key.size(), keyLength), bound.Bytes.begin());
}

}  // namespace

void TIndexFile::SetRangeStart(std::span<const std::uint8_t> key) {
    if (NaturalOrder()) return;
    StoreBound(cursor_.Range.Start, key, settings_.KeyLength);
}

void TIndexFile::SetRangeEnd(std::span<const std::uint8_t> key) {
    if (NaturalOrder()) return;
    StoreBound(cursor_.Range.End, key, settings_.KeyLength);
}

void TIndexFile::ApplyRange() {
    if (NaturalOrder()) return;
    cursor_.Range.Active = true;
}

void TIndexFile::CancelRange() {
    if (NaturalOrder()) return;
    TKeyRange& range = cursor_.Range;
    const CollationTable& collation = owner_.GetLocaleInfo();
    range.Start.Bytes.fill(collation.front());
    range.End.Bytes.fill(collation.back());
    range.Start.Length = range.End.Length = settings_.KeyLength;
    range.First = 1;
    range.Last = static_cast<std::int32_t>(GetRecordCount());
    range.Active = false;
}

void TIndexFile::ComputeRangeOrdinals() {
    if (cursor_.RangeOrdinalsBusy) return;
    const TRangeOrdinalsGuard busy(cursor_);
    TKeyRange& range = cursor_.Range;
    if (!range.Active || NaturalOrder()) {
        range.First = 1;
        range.Last = static_cast<std::int32_t>(GetRecordCount());
        return;
    }
    const bool descending = settings_.Descending != 0;
    if (GetRootPosition() == NoPage ||
        CompareKeys(range.Start.View(), range.End.View(), settings_.KeyLength, descending) > 0) {
        range.First = range.Last = 0;
        return;
    }
    const auto [first, last] = Restartable(*this, [&] {
        TCursorWalk walk(*this);
        walk.Descend(
            [&](TPage& page, std::int32_t& ordinal) { page.SeekOrdinalStart(range.Start.View(), ordinal); });
        std::int32_t firstOrdinal = walk.Ordinal();
        if (walk.CompareWith(range.Start) < 0) {
            firstOrdinal = walk.Next() && walk.CompareWith(range.Start) >= 0 ? walk.Ordinal() : 0;
        }
        TCursorWalk back(*this);
        back.Descend(
            [&](TPage& page, std::int32_t& ordinal) { page.SeekOrdinalEnd(range.End.View(), ordinal); });
        std::int32_t lastOrdinal = back.Ordinal();
        if (back.CompareWith(range.End) > 0) {
            lastOrdinal = back.Prior() && back.CompareWith(range.End) <= 0 ? back.Ordinal() : 0;
        }
        return std::pair{firstOrdinal, lastOrdinal};
    });
    range.First = first;
    range.Last = last;
}

// ---- Across another program's change ----

TSavedCursorPosition TIndexFile::SaveCursorPosition() const {
    TSavedCursorPosition saved;
    saved.BeforeFirst = cursor_.Position.BeforeFirst;
    saved.AfterLast = cursor_.Position.AfterLast;
    saved.NaturalRecord = cursor_.Position.NaturalRecord;
    const std::span<const std::uint8_t> key = GetCurrentKey();
    std::copy(key.begin(), key.end(), saved.Key.Bytes.begin());
    saved.Key.Length = static_cast<std::uint16_t>(key.size());
    return saved;
}

void TIndexFile::RestoreCursorPosition(const TSavedCursorPosition& saved) {
    ComputeRangeOrdinals();
    const bool natural = NaturalOrder();
    // An end state is taken up as that state, so that the next step skips nothing that came before (after)
    // the records meanwhile.
    if (saved.BeforeFirst && saved.AfterLast) {
        ClearPosition();
    } else if (saved.BeforeFirst) {
        First();
        if (currentPage_ || (natural && cursor_.Position.NaturalRecord != 0)) MoveBy(-1);
    } else if (saved.AfterLast) {
        Last();
        if (currentPage_ || (natural && cursor_.Position.NaturalRecord != 0)) MoveBy(1);
    } else if (natural) {
        GotoRecordNumber(saved.NaturalRecord);
    } else if (saved.Key.Length > 0) {
        cursor_.Position.BeforeFirst = cursor_.Position.AfterLast = false;
        FindKey(saved.Key.View(), true, true, saved.Key.Length);
    } else {
        ClearPosition();
    }
}

}  // namespace engine
