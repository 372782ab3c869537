// TVisibleRecords: the visible-record bitmap that the index cursor walks in natural order and in bitmap mode,
// with its count and the bitmap-mode flag; the table's filters build it and keep it current.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/base/BitmapSummary.h"

namespace engine {

// The cursor only reads what this holds; what builds it (the table's filters and record bitmaps) lives above
// the index layer and answers the index file's upkeep calls through the virtual members.
class TVisibleRecords {
public:
    // Set in natural order, on index 0 of a table without a primary index, and while a filter is active.
    bool BitmapMode() const noexcept { return bitmapMode_; }
    // One bit per physical record number (Bitmap.h); bits above the physical record count are clear.
    const std::vector<std::uint8_t>& Visible() const noexcept { return visible_; }
    std::uint32_t VisibleCount() const noexcept { return visibleCount_; }
    // The visible bitmap with its summary, for searches up to the highest record number.
    TSummarisedBits VisibleBits(std::int64_t highest) const noexcept {
        return {visible_.data(), static_cast<std::int64_t>(visible_.size()), highest, &visibleSummary_,
                &visibleCounts_};
    }
    void ClearVisibleCount() noexcept { visibleCount_ = 0; }

    // Takes a visible bitmap as it is, counted up to the physical record count; force-filter keeps bitmap
    // mode on in index order as an active filter would. For tests of the cursor.
    virtual void SetVisible(std::vector<std::uint8_t> bitmap, bool forceFilter) = 0;

    // ---- The index file's upkeep calls ----

    // After the current index changed: the bitmap-mode flag only (the bitmaps must outlive the record
    // layer's index switches in the middle of a write).
    virtual void SetBitmapModeByIndex() noexcept = 0;
    // The range and live bitmaps and every active filter's bitmap, in bitmap mode.
    virtual void RebuildFilterBitmaps() = 0;
    // The visible bitmap := the candidates AND every active filter's bitmap, and its count.
    virtual void BuildVisibleBitmap() = 0;
    // Frees the visible, range and live bitmaps and the count (the file was opened or emptied).
    virtual void FreeTableBitmaps() noexcept = 0;
    // Frees every filter and bitmap (the file is closing).
    virtual void Clear() noexcept = 0;

protected:
    TVisibleRecords() = default;
    ~TVisibleRecords() = default;
    TVisibleRecords(const TVisibleRecords&) = delete;
    TVisibleRecords& operator=(const TVisibleRecords&) = delete;

    std::vector<std::uint8_t> visible_;
    // One bit per eight bytes of visible_ (BitmapSummary.h), kept with every change of it; one of another
    // size is not used.
    std::vector<std::uint64_t> visibleSummary_;
    // The set bits of the stretch each summary word stands for, kept with the summary.
    std::vector<std::uint32_t> visibleCounts_;
    std::uint32_t visibleCount_ = 0;
    bool bitmapMode_ = false;
};

}  // namespace engine
