// TPage's cursors and the searches inside a page that the tree and the index cursor use (declared in Page.h).
#include <algorithm>
#include <cstring>

#include "engine/base/Bitmap.h"
#include "engine/index/KeyOrder.h"
#include "engine/index/Page.h"

namespace engine {

namespace {

// Pages without an index file compare their keys as bytes.
const TKeyOrder& ByteKeyOrder() {
    static const TKeyOrder order;
    return order;
}

// Whether the bitmap holds the record number's bit; numbers past it are not set.
bool IsVisible(std::uint32_t record, std::span<const std::uint8_t> bitmap) noexcept {
    return record >= 1 && (std::uint64_t{record} - 1) / 8 < bitmap.size() &&
           BitmapTestBit(record, bitmap.data());
}

}  // namespace

// ---- Comparisons ----

const std::uint8_t* TPage::Widened(std::span<const std::uint8_t> key, std::size_t compareLength,
                                   std::vector<std::uint8_t>& buffer) {
    if (key.size() >= compareLength) return key.data();
    buffer.assign(compareLength, 0);
    std::copy(key.begin(), key.end(), buffer.begin());
    return buffer.data();
}

int TPage::CompareEntry(std::size_t index, const std::uint8_t* key, std::size_t compareLength) const {
    const TKeyOrder& order = order_ != nullptr ? *order_ : ByteKeyOrder();
    return order.Compare(KeyAt(index), key, std::min<std::size_t>(compareLength, format_.KeyLength),
                         format_.Descending != 0);
}

void TPage::RequireEntries() const {
    if (entries_.empty()) RaiseCorrupt();
}

std::size_t TPage::CursorIndex(std::uint16_t cursor) const {
    if (cursor < 1 || cursor > entries_.size()) RaiseCorrupt();
    return cursor - 1u;
}

TPage::SearchResult TPage::BinarySearch(std::span<const std::uint8_t> key, std::size_t compareLength) const {
    RequireEntries();
    std::vector<std::uint8_t> buffer;
    const std::uint8_t* const wanted = Widened(key, compareLength, buffer);
    int low = 1;
    int high = Count();
    while (low <= high) {
        const int middle = (low + high) / 2;
        const int order = CompareEntry(static_cast<std::size_t>(middle - 1), wanted, compareLength);
        if (order == 0) {
            const auto at = static_cast<std::uint16_t>(middle);
            return {at, at, true};
        }
        if (order < 0) {
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return {static_cast<std::uint16_t>(high), static_cast<std::uint16_t>(low), false};
}

// ---- Cursors ----

std::uint32_t TPage::GetEntryPointer() const {
    return entries_.empty() ? 0 : entries_[CursorIndex(UpdateCursor)].Pointer;
}

std::uint32_t TPage::GetNavEntryPointer() const {
    return entries_.empty() ? 0 : entries_[CursorIndex(NavCursor)].Pointer;
}

std::uint32_t TPage::GetEntryCount() const {
    if (IsLeaf()) return 1;
    return entries_.empty() ? 0 : entries_[CursorIndex(UpdateCursor)].Count;
}

std::uint32_t TPage::GetNavEntryCount() const {
    if (IsLeaf()) return 1;
    return entries_.empty() ? 0 : entries_[CursorIndex(NavCursor)].Count;
}

void TPage::SetEntryPointer(std::uint32_t pointer) {
    TPageEntry& entry = entries_[CursorIndex(UpdateCursor)];
    entry.Pointer = pointer;
    MarkDirty();
}

void TPage::SetEntryCount(std::uint32_t count) {
    if (IsLeaf()) return;
    SetEntrySubtreeCount(CursorIndex(UpdateCursor), count);
}

std::span<const std::uint8_t> TPage::GetEntryKey(bool update) const {
    return Key(CursorIndex(update ? UpdateCursor : NavCursor));
}

void TPage::InsertKeyAt(std::span<const std::uint8_t> key) {
    if (UpdateCursor > entries_.size()) RaiseCorrupt();
    InsertEntry(UpdateCursor, key, 0);
    ++UpdateCursor;
}

void TPage::SetCurrentKey(std::span<const std::uint8_t> key) {
    SetEntryKey(CursorIndex(UpdateCursor), key);
}

void TPage::RemoveCurrentEntry() {
    RemoveEntry(CursorIndex(UpdateCursor));
    if (UpdateCursor > entries_.size()) UpdateCursor = Count();
}

void TPage::FirstEntry(bool update) noexcept {
    (update ? UpdateCursor : NavCursor) = entries_.empty() ? 0 : 1;
}

void TPage::LastEntry(bool update) noexcept {
    (update ? UpdateCursor : NavCursor) = Count();
}

bool TPage::NextEntry(bool update) noexcept {
    std::uint16_t& cursor = update ? UpdateCursor : NavCursor;
    if (cursor >= entries_.size()) return false;
    ++cursor;
    return true;
}

bool TPage::PriorEntry(bool update) noexcept {
    std::uint16_t& cursor = update ? UpdateCursor : NavCursor;
    if (cursor <= 1) return false;
    --cursor;
    return true;
}

std::uint32_t TPage::CountKeysBefore(bool update) const {
    const std::uint16_t cursor = update ? UpdateCursor : NavCursor;
    if (cursor <= 1) return 0;
    const std::size_t before = std::min<std::size_t>(cursor - 1u, entries_.size());
    if (IsLeaf()) return static_cast<std::uint32_t>(before);
    std::uint32_t keys = 0;
    for (std::size_t i = 0; i < before; ++i) keys += entries_[i].Count;
    return keys;
}

// ---- Searches ----

bool TPage::Locate(std::span<const std::uint8_t> key) {
    const SearchResult found = BinarySearch(key, format_.KeyLength);
    UpdateCursor = std::max<std::uint16_t>(found.lastNotGreater, 1);
    return found.equal && IsLeaf();
}

bool TPage::LocateNav(std::span<const std::uint8_t> key, std::size_t compareLength) {
    const SearchResult found = BinarySearch(key, compareLength);
    NavCursor = std::max<std::uint16_t>(found.lastNotGreater, 1);
    return found.equal && IsLeaf();
}

std::uint16_t TPage::FindInsertPosition(std::span<const std::uint8_t> key) {
    UpdateCursor = BinarySearch(key, format_.KeyLength).lastNotGreater;
    return UpdateCursor;
}

std::uint16_t TPage::FindDeletePosition(std::span<const std::uint8_t> key) {
    UpdateCursor = std::max<std::uint16_t>(BinarySearch(key, format_.KeyLength).lastNotGreater, 1);
    return UpdateCursor;
}

void TPage::SeekRangeStart(std::span<const std::uint8_t> key, std::int32_t& ordinal) {
    const SearchResult found = BinarySearch(key, format_.KeyLength);
    if (IsLeaf()) {
        NavCursor = std::min<std::uint16_t>(found.firstNotLess, Count());
    } else {
        NavCursor = std::max<std::uint16_t>(found.lastNotGreater, 1);
    }
    ordinal += static_cast<std::int32_t>(CountKeysBefore(false));
}

void TPage::SeekRangeEnd(std::span<const std::uint8_t> key, std::int32_t& ordinal) {
    NavCursor = std::max<std::uint16_t>(BinarySearch(key, format_.KeyLength).lastNotGreater, 1);
    ordinal += static_cast<std::int32_t>(CountKeysBefore(false));
}

bool TPage::SearchKey(std::span<const std::uint8_t> key, std::int32_t& ordinal, std::size_t compareLength,
                      bool nearest) {
    const SearchResult found = BinarySearch(key, compareLength);
    if (IsLeaf() && nearest) {
        NavCursor = std::min<std::uint16_t>(found.firstNotLess, Count());
    } else {
        NavCursor = std::max<std::uint16_t>(found.lastNotGreater, 1);
    }
    ordinal += static_cast<std::int32_t>(CountKeysBefore(false));
    return found.equal;
}

bool TPage::ScanForKey(std::span<const std::uint8_t> key, std::span<const std::uint8_t> stopKey,
                       std::size_t compareLength, bool nearest, std::int32_t& ordinal) {
    RequireEntries();
    std::vector<std::uint8_t> keyBuffer;
    std::vector<std::uint8_t> stopBuffer;
    const std::uint8_t* const wanted = Widened(key, compareLength, keyBuffer);
    const std::uint8_t* const stop = Widened(stopKey, compareLength, stopBuffer);
    const std::size_t count = entries_.size();
    if (!IsLeaf()) {
        // Pass the entries below the key and within the stop key; the entry found is the last one not above
        // the key.
        std::size_t i = 0;
        while (i < count && CompareEntry(i, stop, compareLength) <= 0 &&
               CompareEntry(i, wanted, compareLength) < 0) {
            ++i;
        }
        const bool equal = i < count && CompareEntry(i, wanted, compareLength) == 0;
        NavCursor = static_cast<std::uint16_t>(equal ? i + 1 : std::max<std::size_t>(i, 1));
        ordinal += static_cast<std::int32_t>(CountKeysBefore(false));
        return false;
    }
    for (std::size_t i = 0;; ++i) {
        const int order = CompareEntry(i, wanted, compareLength);
        if (order == 0) {
            NavCursor = static_cast<std::uint16_t>(i + 1);
            return true;
        }
        const bool aboveStop = CompareEntry(i, stop, compareLength) > 0;
        if (aboveStop || order > 0) {
            // Past the stop key the scan goes back to the last entry within it; past the key it stays on the
            // first entry above it only for a nearest search.
            const bool stepBack = i > 0 && (aboveStop || !nearest);
            if (stepBack) --ordinal;
            NavCursor = static_cast<std::uint16_t>(stepBack ? i : i + 1);
            return false;
        }
        if (i + 1 == count) {
            NavCursor = static_cast<std::uint16_t>(count);
            return false;
        }
        ++ordinal;
    }
}

void TPage::GoFirstCounted(std::int32_t& ordinal) {
    NavCursor = 1;
    ordinal = 1;
}

void TPage::GoLastCounted(std::int32_t& ordinal) {
    NavCursor = Count();
    ordinal += static_cast<std::int32_t>(CountKeysBefore(false));
}

bool TPage::SkipToVisibleForward(std::int32_t& ordinal, std::span<const std::uint8_t> bitmap) {
    for (std::size_t i = CursorIndex(NavCursor);; ++i) {
        if (IsVisible(entries_[i].Pointer, bitmap)) {
            NavCursor = static_cast<std::uint16_t>(i + 1);
            return true;
        }
        if (i + 1 == entries_.size()) {
            NavCursor = static_cast<std::uint16_t>(i + 1);
            return false;
        }
        ++ordinal;
    }
}

bool TPage::SkipToVisibleBackward(std::int32_t& ordinal, std::span<const std::uint8_t> bitmap) {
    for (std::size_t i = CursorIndex(NavCursor);; --i) {
        if (IsVisible(entries_[i].Pointer, bitmap)) {
            NavCursor = static_cast<std::uint16_t>(i + 1);
            return true;
        }
        if (i == 0) {
            NavCursor = 1;
            return false;
        }
        --ordinal;
    }
}

template <typename Visit>
bool TPage::VisitRecordsUpTo(std::span<const std::uint8_t> stopKey, std::size_t compareLength,
                             std::uint64_t limit, bool inclusive, Visit visit) {
    const std::size_t from = CursorIndex(NavCursor);
    std::vector<std::uint8_t> buffer;
    const std::uint8_t* const stop = Widened(stopKey, compareLength, buffer);
    const auto beyond = [&](std::size_t i) {
        const int order = CompareEntry(i, stop, compareLength);
        return inclusive ? order > 0 : order >= 0;
    };
    // Most pages of an interval lie wholly inside it: one comparison then marks them all.
    const bool wholePage = !beyond(entries_.size() - 1);
    for (std::size_t i = from; i < entries_.size(); ++i) {
        if (!wholePage && beyond(i)) {
            NavCursor = static_cast<std::uint16_t>(i + 1);
            return false;
        }
        // A leaf naming a slot the record file does not have is damaged.
        const std::uint32_t record = entries_[i].Pointer;
        if (record < 1 || record > limit) RaiseCorrupt();
        visit(record);
    }
    NavCursor = Count();
    return true;
}

bool TPage::MarkRecordsUpTo(std::span<const std::uint8_t> stopKey, std::size_t compareLength,
                            std::span<std::uint8_t> bitmap, std::uint32_t highest, bool inclusive) {
    const std::uint64_t limit = std::min<std::uint64_t>(highest, std::uint64_t{bitmap.size()} * 8);
    return VisitRecordsUpTo(stopKey, compareLength, limit, inclusive,
                            [&bitmap](std::uint32_t record) { BitmapSetBit(record, bitmap.data()); });
}

bool TPage::CollectRecordsUpTo(std::span<const std::uint8_t> stopKey, std::size_t compareLength,
                               std::vector<std::uint32_t>& records, std::uint32_t highest, bool inclusive) {
    return VisitRecordsUpTo(stopKey, compareLength, highest, inclusive,
                            [&records](std::uint32_t record) { records.push_back(record); });
}

std::uint16_t TPage::CountEntriesBelow(std::span<const std::uint8_t> key, std::size_t compareLength,
                                       bool orEqual) const {
    std::vector<std::uint8_t> buffer;
    const std::uint8_t* const wanted = Widened(key, compareLength, buffer);
    std::size_t low = 0;
    std::size_t high = entries_.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const int order = CompareEntry(middle, wanted, compareLength);
        if (order < 0 || (orEqual && order == 0)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return static_cast<std::uint16_t>(low);
}

std::uint32_t TPage::GetContiguousRun(std::uint32_t max, int direction) const {
    std::size_t i = CursorIndex(UpdateCursor);
    std::uint32_t run = 1;
    while (run < max && i + 1 < entries_.size()) {
        const std::uint32_t here = entries_[i].Pointer;
        const std::uint32_t next = entries_[i + 1].Pointer;
        if (direction == 1 ? next != here + 1 : here == 0 || next != here - 1) break;
        ++run;
        ++i;
    }
    return std::min(run, max);
}

}  // namespace engine
