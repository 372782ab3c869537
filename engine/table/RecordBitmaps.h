// TRecordBitmaps: a table handle's filters and the record bitmaps they make (live, range, visible), built,
// combined, counted and kept current by the handle's own writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/expr/ExprNode.h"
#include "engine/index/VisibleRecords.h"
#include "engine/records/RecordNumbers.h"
#include "engine/table/Filter.h"

namespace engine {

class TDataFile;
class TIndexFile;

// A table handle carries at most this many filters (the table-level AddFilter refuses more with 9482).
inline constexpr std::size_t MaxFilters = 128;

// Every bitmap has S bytes, S = physical record count div 8 + 1, and no set bit above the physical record
// count n: inversions clear bits n + 1 .. 8S at once. The bitmaps exist only in bitmap mode. The table handle
// owns it; its index file reads the visible bitmap (VisibleRecords.h) and calls the upkeep members.
class TRecordBitmaps final : public TVisibleRecords {
public:
    TRecordBitmaps(TDataFile& table, TIndexFile& file) noexcept : table_(table), file_(file) {}
    TRecordBitmaps(const TRecordBitmaps&) = delete;
    TRecordBitmaps& operator=(const TRecordBitmaps&) = delete;
    ~TRecordBitmaps();

    // ---- The filter list ----

    // A blob or a tree gives a condition filter, else a callback a callback filter; neither (or a damaged
    // blob) 10051, an unknown field in the blob raises 9985. Appended inactive; its handle is returned.
    std::uint16_t AddFilter(void* clientData, std::span<const std::uint8_t> blob, TFilter*& handle,
                            bool andEarlier, TRecordFilterProc callback, bool ownsTree, TExprNode* tree);
    // Replaces an active filter's condition (10050 for a handle that is not an active filter of the list,
    // 10051 for neither blob nor tree or a damaged blob, the old condition kept). A refused tree handed over
    // to be owned is freed.
    std::uint16_t UpdateFilter(std::span<const std::uint8_t> blob, TExprNode* tree, bool ownsTree,
                               TFilter* handle);
    // Frees the filter (10050 when unknown; nil: every filter), then recomputes the bitmap mode.
    std::uint16_t DropFilter(TFilter* handle);
    // Sets (clears) Active of the filter, nil every filter; 10050 when unknown; then the bitmap mode.
    std::uint16_t ActivateFilter(TFilter* handle) { return SetActive(handle, true); }
    std::uint16_t DeactivateFilter(TFilter* handle) { return SetActive(handle, false); }
    std::uint8_t GetFilterCount() const noexcept { return static_cast<std::uint8_t>(filters_.size()); }
    // The filter at the list position (mod 256); none past the end.
    TFilter* GetFilter(int position) const noexcept;
    bool AnyFilterActive() const noexcept;
    // Whether an active filter after this one (nil: after any) was evaluated only over what the earlier
    // filters pass: it holds no answer for the records they refused, so widening them means building it
    // again.
    bool AndEarlierAfter(const TFilter* handle) const noexcept;

    // ---- Building ----

    // The one active filter's bitmap over the candidates (and, with and-earlier, the earlier active
    // filters' bitmaps); a visible bitmap not built yet rebuilds everything instead. A condition that one
    // index interval of a few records serves is built from those records alone: clearing the records it
    // marked before, and, from its second build on, keeping the visible bitmap and count on both sets. True
    // when the visible bitmap is current that way; false when the caller builds it.
    bool BuildFilterBitmap(TFilter* handle);
    void RebuildFilterBitmaps() override;
    void BuildVisibleBitmap() override;
    void BuildRangeBitmap(bool& changed);
    void BuildLiveBitmap(bool& changed);

    // ---- Upkeep after this handle's writes (bitmap mode only) ----

    // The record's range, live and filter bits set from its image, then its visible bit from them with the
    // visible count; bitmaps never built are built whole instead.
    void RecordChanged(SlotNumber record, std::span<const std::uint8_t> image);
    // The record's bits cleared everywhere; the visible count drops only when the record was visible.
    void RecordDeleted(SlotNumber record);

    // ---- State ----

    // After the filter list changed: the flag by the filters and the current index; leaving bitmap mode
    // frees the visible, range and live bitmaps.
    void RecomputeBitmapMode();
    // After the current index changed: the flag only. The record layer switches indexes in the middle of a
    // write, and the bitmaps must outlive that; a rebuild out of bitmap mode frees them.
    void SetBitmapModeByIndex() noexcept override;
    // Set while bitmaps are built: every build and the change check's rebuild return at once.
    bool Building() const noexcept { return building_; }
    const std::vector<std::uint8_t>& Live() const noexcept { return live_; }
    const std::vector<std::uint8_t>& Range() const noexcept { return range_; }
    void SetVisible(std::vector<std::uint8_t> bitmap, bool forceFilter) override;
    void Clear() noexcept override;
    // Frees the three table bitmaps and the count.
    void FreeTableBitmaps() noexcept override;

private:
    friend class TBuildScope;
    enum class IntervalBuild { NotServed, FilterBuilt, VisibleKept };
    // The filter's bitmap from the records of its condition's index interval, when that serves it.
    IntervalBuild BuildFromInterval(TFilter& filter);
    // Whether the record is among the filter's candidates: live, in the range, and with and-earlier passing
    // the earlier active filters.
    bool Candidate(const TFilter& filter, SlotNumber record) const noexcept;
    // The visible bitmap sized, its summary with it.
    void ResizeVisible(std::int64_t size);
    // The record's visible bit from its bits (PassesAll), the count and the summary with it.
    void KeepVisibleBit(SlotNumber record);
    std::uint16_t SetActive(TFilter* handle, bool active);
    // The handle's place in the list; the end when it is not there.
    std::vector<std::unique_ptr<TFilter>>::iterator Find(const TFilter* handle) noexcept;
    // S for the current physical record count.
    std::int64_t BitmapSize() const noexcept;
    // Range AND live (or live) into the buffer, which takes S bytes.
    void Candidates(std::vector<std::uint8_t>& into) const;
    // One pass of RebuildFilterBitmaps (one filter: BuildFilterBitmap); false when it met another program's
    // change.
    bool RebuildPass();
    // The visible bitmap sized, the range and live bitmaps built: the start of either pass.
    bool TableBitmapsPass();
    bool FilterPass(TFilter& filter);
    // Whether the record's bits put it among the visible records: live, in the range, passing every active
    // filter.
    bool PassesAll(SlotNumber record) const noexcept;
    // Runs the pass until it completes: a change met mid-build unwinds it (index restored), repositions the
    // cursor on its own index and key, and starts again.
    template <typename Pass>
    void BuildUntilComplete(Pass pass);
    void LiveFromStatusBytes(bool& changed);
    void LiveFromSysDeleted(bool& changed);

    TDataFile& table_;
    TIndexFile& file_;
    std::vector<std::unique_ptr<TFilter>> filters_;
    std::vector<std::uint8_t> range_;
    std::vector<std::uint8_t> live_;
    bool building_ = false;
    bool forceFilter_ = false;
};

}  // namespace engine
