// TRecordBitmaps (declared in RecordBitmaps.h).
#include "engine/table/RecordBitmaps.h"

#include <algorithm>
#include <utility>

#include "engine/base/Bitmap.h"
#include "engine/base/BitmapSummary.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/index/BuildIndex.h"
#include "engine/index/IndexCursor.h"
#include "engine/index/IndexFile.h"
#include "engine/index/KeyInterval.h"
#include "engine/table/DataFile.h"
#include "engine/table/Optimiser.h"
#include "engine/table/Record.h"

namespace engine {

namespace {

// The status byte that starts every key of "Sys Deleted": 0 for a live record, 1 for a deleted one. Only that
// byte is compared, so every record ID, the highest included, lies inside its interval.
constexpr std::uint8_t LiveStatus = 0;
constexpr std::uint8_t DeletedStatus = 1;

// After one restart the build holds the read lock, under which no other program writes: another report means
// the lock protocol broke, and the build stops instead of running on (as a cursor operation does).
constexpr int MaxBuildRestarts = 2;

// A filter served by one index interval is built record by record when the interval holds at most one record
// per this many slots: one bitmap word (64 bits) per record is what a pass over the whole bitmap costs.
constexpr std::uint32_t IntervalRecordsPerWord = 64;

TKeyInterval StatusInterval(std::uint8_t status) {
    const std::uint8_t key[1] = {status};
    const TKeyBound bound = KeyBound(key, 1);
    return {bound, bound};
}

void Resize(std::vector<std::uint8_t>& bitmap, std::int64_t size) {
    bitmap.resize(static_cast<std::size_t>(size), 0);
}

void Free(std::vector<std::uint8_t>& bitmap) noexcept {
    bitmap.clear();
    bitmap.shrink_to_fit();
}

}  // namespace

// Holds the building flag for one pass and clears it on every exit, a throwing callback's included.
class TBuildScope {
public:
    explicit TBuildScope(TRecordBitmaps& bitmaps) noexcept : bitmaps_(bitmaps) { bitmaps_.building_ = true; }
    ~TBuildScope() { bitmaps_.building_ = false; }
    TBuildScope(const TBuildScope&) = delete;
    TBuildScope& operator=(const TBuildScope&) = delete;

private:
    TRecordBitmaps& bitmaps_;
};

TRecordBitmaps::~TRecordBitmaps() = default;

std::vector<std::unique_ptr<TFilter>>::iterator TRecordBitmaps::Find(const TFilter* handle) noexcept {
    return std::find_if(filters_.begin(), filters_.end(),
                        [handle](const auto& filter) { return filter.get() == handle; });
}

// ---- The filter list ----

std::uint16_t TRecordBitmaps::AddFilter(void* clientData, std::span<const std::uint8_t> blob,
                                        TFilter*& handle, bool andEarlier, TRecordFilterProc callback,
                                        bool ownsTree, TExprNode* tree) {
    handle = nullptr;
    std::unique_ptr<TFilter> filter;
    const std::uint16_t code =
        TFilter::Create(table_, callback, clientData, andEarlier, ownsTree, tree, blob, filter);
    if (code != 0) return code;
    handle = filter.get();
    filters_.push_back(std::move(filter));
    return 0;
}

std::uint16_t TRecordBitmaps::UpdateFilter(std::span<const std::uint8_t> blob, TExprNode* tree, bool ownsTree,
                                           TFilter* handle) {
    if (blob.empty() && tree == nullptr) return ErrInvalidFilterExpression;
    const auto found = Find(handle);
    if (found == filters_.end() || !(*found)->Active()) {
        // A tree handed over for the filter to own goes with the refusal.
        const std::unique_ptr<TExprNode> refused(ownsTree && blob.empty() ? tree : nullptr);
        return ErrInvalidFilterHandle;
    }
    return (*found)->SetExpression(blob, tree, ownsTree);
}

std::uint16_t TRecordBitmaps::DropFilter(TFilter* handle) {
    if (handle == nullptr) {
        filters_.clear();
    } else {
        const auto found = Find(handle);
        if (found == filters_.end()) return ErrInvalidFilterHandle;
        filters_.erase(found);
    }
    RecomputeBitmapMode();
    return 0;
}

std::uint16_t TRecordBitmaps::SetActive(TFilter* handle, bool active) {
    if (handle == nullptr) {
        for (const auto& filter : filters_) active ? filter->Activate() : filter->Deactivate();
    } else {
        const auto found = Find(handle);
        if (found == filters_.end()) return ErrInvalidFilterHandle;
        active ? (*found)->Activate() : (*found)->Deactivate();
    }
    RecomputeBitmapMode();
    return 0;
}

TFilter* TRecordBitmaps::GetFilter(int position) const noexcept {
    const std::size_t at = static_cast<std::size_t>(position) % 256;
    return at < filters_.size() ? filters_[at].get() : nullptr;
}

bool TRecordBitmaps::AnyFilterActive() const noexcept {
    return std::any_of(filters_.begin(), filters_.end(), [](const auto& filter) { return filter->Active(); });
}

bool TRecordBitmaps::AndEarlierAfter(const TFilter* handle) const noexcept {
    auto later = filters_.begin();
    if (handle != nullptr) {
        later = std::find_if(filters_.begin(), filters_.end(),
                             [handle](const auto& filter) { return filter.get() == handle; });
        if (later == filters_.end()) return false;
        ++later;
    }
    return std::any_of(later, filters_.end(),
                       [](const auto& filter) { return filter->Active() && filter->AndEarlier(); });
}

void TRecordBitmaps::SetBitmapModeByIndex() noexcept {
    bitmapMode_ = AnyFilterActive() || forceFilter_ || file_.NaturalOrder();
}

void TRecordBitmaps::RecomputeBitmapMode() {
    SetBitmapModeByIndex();
    if (!bitmapMode_) FreeTableBitmaps();
}

// ---- State ----

std::int64_t TRecordBitmaps::BitmapSize() const noexcept {
    return static_cast<std::int64_t>(file_.PhysicalRecordCount()) / 8 + 1;
}

void TRecordBitmaps::SetVisible(std::vector<std::uint8_t> bitmap, bool forceFilter) {
    visible_ = std::move(bitmap);
    BuildSummary(visible_, visibleSummary_, &visibleCounts_);
    forceFilter_ = forceFilter;
    visibleCount_ = static_cast<std::uint32_t>(BitmapCount(
        visible_.data(), static_cast<std::int64_t>(visible_.size()), file_.PhysicalRecordCount()));
    SetBitmapModeByIndex();
}

void TRecordBitmaps::FreeTableBitmaps() noexcept {
    Free(visible_);
    visibleSummary_.clear();
    visibleSummary_.shrink_to_fit();
    visibleCounts_.clear();
    visibleCounts_.shrink_to_fit();
    Free(range_);
    Free(live_);
    visibleCount_ = 0;
}

void TRecordBitmaps::Clear() noexcept {
    filters_.clear();
    FreeTableBitmaps();
    bitmapMode_ = false;
    forceFilter_ = false;
    building_ = false;
}

void TRecordBitmaps::Candidates(std::vector<std::uint8_t>& into) const {
    const std::int64_t size = BitmapSize();
    into.assign(live_.begin(), live_.end());
    Resize(into, size);
    if (file_.Cursor().Range.Active && !file_.NaturalOrder()) {
        std::vector<std::uint8_t> range = range_;
        Resize(range, size);
        BitmapAnd(range.data(), into.data(), size);
    }
}

// ---- The range and live bitmaps ----

void TRecordBitmaps::BuildRangeBitmap(bool& changed) {
    const TKeyRange& range = file_.Cursor().Range;
    if (!range.Active || file_.NaturalOrder()) {
        Free(range_);
        return;
    }
    const std::uint32_t highest = file_.PhysicalRecordCount();
    Resize(range_, BitmapSize());
    const std::uint16_t keyLength = file_.CurrentSettings().KeyLength;
    const TKeyInterval inside{KeyBound({range.Start.Bytes.data(), keyLength}, keyLength),
                              KeyBound({range.End.Bytes.data(), keyLength}, keyLength)};
    const std::int64_t count =
        range.First < 1 || range.Last < 1 ? 0 : std::max<std::int64_t>(0, range.Last - range.First + 1);
    const std::int64_t live = file_.GetRecordCount();
    if (count <= live - count) {
        MarkKeyInterval(file_, inside, changed, range_, highest);
    } else {
        // More than half the keys lie inside: the two outer parts are marked and inverted.
        MarkComplement(file_, inside, changed, range_, highest);
    }
}

void TRecordBitmaps::BuildLiveBitmap(bool& changed) {
    Resize(live_, BitmapSize());
    if (file_.HasNoPrimaryIndex()) {
        LiveFromStatusBytes(changed);
    } else {
        LiveFromSysDeleted(changed);
    }
}

void TRecordBitmaps::LiveFromStatusBytes(bool& changed) {
    // Without a primary index no index tells live from deleted slots: the status bytes do, read in one
    // forward pass with read-ahead.
    TDataFile& table = table_;
    const std::int64_t size = static_cast<std::int64_t>(live_.size());
    BitmapClearAll(live_.data(), size);
    const std::uint32_t highest = file_.PhysicalRecordCount();
    for (std::uint32_t slot = 1; slot <= highest; ++slot) {
        RecordPin record;
        if (!table.GetRecord(SlotNumber(slot), true, false, ReadForward, record)) {
            changed = true;
            return;
        }
        if (record->Status() == LiveStatus) BitmapSetBit(slot, live_.data());
    }
}

void TRecordBitmaps::LiveFromSysDeleted(bool& changed) {
    const std::int64_t size = static_cast<std::int64_t>(live_.size());
    const std::uint32_t highest = file_.PhysicalRecordCount();
    const std::int64_t live = file_.GetRecordCount();
    TBuildIndex index(file_, SysDeletedSlot);
    const std::int64_t deleted = CountKeyInterval(file_, StatusInterval(DeletedStatus), changed);
    if (changed) return;
    if (deleted > live - deleted) {
        MarkKeyInterval(file_, StatusInterval(LiveStatus), changed, live_, highest);
        return;
    }
    MarkKeyInterval(file_, StatusInterval(DeletedStatus), changed, live_, highest);
    if (changed) return;
    BitmapNot(live_.data(), live_.data(), size);
    BitmapClearAbove(highest, live_.data(), size);
}

// ---- Filters ----

template <typename Pass>
void TRecordBitmaps::BuildUntilComplete(Pass pass) {
    // The position on the cursor's own index and key, taken up again after a build that met another
    // program's change has unwound.
    const TSavedCursorPosition saved = file_.SaveCursorPosition();
    bool restarted = false;
    for (int restarts = 0;; ++restarts) {
        if (restarts > MaxBuildRestarts) file_.RaisePagesCorrupt();
        bool complete = false;
        {
            const TBuildScope scope(*this);
            // After another program's change every bitmap is stale, not only the one asked for.
            complete = restarted ? RebuildPass() : pass();
        }
        if (complete) break;
        // The range ordinals come with the position, and the range bitmap needs them.
        file_.RestoreCursorPosition(saved);
        restarted = true;
    }
    if (!restarted) return;
    // The position found while the bitmaps were half built is taken up again on the visible records.
    BuildVisibleBitmap();
    file_.RestoreCursorPosition(saved);
}

bool TRecordBitmaps::TableBitmapsPass() {
    bool changed = false;
    ResizeVisible(BitmapSize());
    BuildRangeBitmap(changed);
    if (!changed) BuildLiveBitmap(changed);
    return !changed;
}

bool TRecordBitmaps::RebuildPass() {
    if (!TableBitmapsPass()) return false;
    bool changed = false;
    std::vector<std::uint8_t> candidates;
    for (const auto& filter : filters_) {
        if (!filter->Active()) continue;
        Candidates(candidates);
        filter->Evaluate(candidates, changed);
        if (changed) return false;
    }
    return true;
}

bool TRecordBitmaps::FilterPass(TFilter& filter) {
    if (!TableBitmapsPass()) return false;
    const std::int64_t size = BitmapSize();
    std::vector<std::uint8_t> candidates;
    Candidates(candidates);
    if (filter.AndEarlier()) {
        for (const auto& earlier : filters_) {
            if (earlier.get() == &filter) break;
            if (!earlier->Active()) continue;
            earlier->SetBitmapSize(size);
            BitmapAnd(earlier->GetBitmap().data(), candidates.data(), size);
        }
    }
    bool changed = false;
    filter.Evaluate(candidates, changed);
    return !changed;
}

void TRecordBitmaps::RebuildFilterBitmaps() {
    if (building_ || file_.Cursor().RangeOrdinalsBusy) return;
    if (!bitmapMode_) {
        FreeTableBitmaps();
        return;
    }
    BuildUntilComplete([this] { return RebuildPass(); });
}

bool TRecordBitmaps::BuildFilterBitmap(TFilter* handle) {
    if (building_ || file_.Cursor().RangeOrdinalsBusy || filters_.empty()) return false;
    const auto found = Find(handle);
    if (found == filters_.end() || !(*found)->Active()) return false;
    // The live and range bitmaps come with a full build.
    if (visible_.empty() || live_.empty()) {
        RebuildFilterBitmaps();
        return false;
    }
    TFilter& filter = **found;
    switch (BuildFromInterval(filter)) {
        case IntervalBuild::VisibleKept:
            return true;
        case IntervalBuild::FilterBuilt:
            return false;
        case IntervalBuild::NotServed:
            break;
    }
    BuildUntilComplete([this, &filter] { return FilterPass(filter); });
    return false;
}

// ---- Filters served by one index interval ----

TRecordBitmaps::IntervalBuild TRecordBitmaps::BuildFromInterval(TFilter& filter) {
    const TExprNode* condition = filter.Expression();
    if (condition == nullptr || filter.IsCallback() || !bitmapMode_) return IntervalBuild::NotServed;
    // The condition is one interval of an index (one indexed comparison, or two bounds of one column), or an
    // AND whose left side is one (the analysis puts an indexed operand left): the right side is then tested
    // on the interval's records alone.
    const TExprNode* indexed = condition;
    const TExprNode* rest = nullptr;
    const std::uint32_t highest = file_.PhysicalRecordCount();
    std::vector<std::uint32_t> inside;
    {
        const TBuildIndex keep(file_);
        std::optional<TKeyInterval> interval = IndexedInterval(file_, *condition);
        if (!interval && condition->NodeClass == ncBinary && condition->Operator == opAnd &&
            condition->Left && condition->Right) {
            indexed = condition->Left.get();
            rest = condition->Right.get();
            interval = IndexedInterval(file_, *indexed);
        }
        if (!interval) return IntervalBuild::NotServed;
        // Beyond this many records a pass over the whole bitmap costs less than one record at a time.
        bool changed = false;
        const std::uint32_t count = CountKeyInterval(file_, *interval, changed);
        if (changed || count > highest / IntervalRecordsPerWord) return IntervalBuild::NotServed;
        CollectKeyInterval(file_, *interval, changed, inside, highest);
        // Another program's change has rebuilt every bitmap from the records as they are now (the change
        // check does that outside a build); the whole build answers from there.
        if (changed) return IntervalBuild::NotServed;
    }
    if (filter.MarksKnown() && filter.Marks().size() > highest / IntervalRecordsPerWord)
        filter.ForgetMarks();
    // The records that pass: candidates (live, in the range, and with and-earlier passing the earlier
    // filters) inside the interval that pass the rest of the condition. Nothing changes before they are
    // all known, so that a failing read leaves the bitmaps as they were.
    std::vector<std::uint32_t> passing;
    passing.reserve(inside.size());
    for (const std::uint32_t slot : inside) {
        if (!Candidate(filter, SlotNumber(slot))) continue;
        if (rest != nullptr) {
            RecordPin record;
            if (!table_.GetRecord(SlotNumber(slot), false, false, 1, record)) return IntervalBuild::NotServed;
            if (!EvaluateRecord(table_, record->Image(), SlotNumber(slot), {rest, nullptr, nullptr})) continue;
        }
        passing.push_back(slot);
    }
    const std::int64_t size = BitmapSize();
    filter.SetBitmapSize(size);
    const std::span<std::uint8_t> bits = filter.Bitmap();
    const bool marksKnown = filter.MarksKnown();
    std::vector<std::uint32_t> previous = marksKnown ? filter.Marks() : std::vector<std::uint32_t>{};
    if (marksKnown) {
        for (const std::uint32_t slot : previous) {
            if ((std::size_t{slot} - 1) / 8 < bits.size()) BitmapClearBit(slot, bits.data());
        }
    } else {
        BitmapClearAll(bits.data(), size);
    }
    for (const std::uint32_t slot : passing) BitmapSetBit(slot, bits.data());
    filter.SetMarks(passing);
    if (!marksKnown) return IntervalBuild::FilterBuilt;
    // Only the records that left the filter or entered it can have changed their visible bit.
    for (const std::uint32_t slot : previous) KeepVisibleBit(SlotNumber(slot));
    for (const std::uint32_t slot : filter.Marks()) KeepVisibleBit(SlotNumber(slot));
    return IntervalBuild::VisibleKept;
}

bool TRecordBitmaps::Candidate(const TFilter& filter, SlotNumber record) const noexcept {
    const auto has = [&record](std::span<const std::uint8_t> bitmap) {
        return (std::size_t{record.Value} - 1) / 8 < bitmap.size() &&
               BitmapTestBit(record.Value, bitmap.data());
    };
    if (record.Value < 1 || !has(live_)) return false;
    if (file_.Cursor().Range.Active && !file_.NaturalOrder() && !has(range_)) return false;
    if (!filter.AndEarlier()) return true;
    for (const auto& earlier : filters_) {
        if (earlier.get() == &filter) break;
        if (earlier->Active() && !has(earlier->GetBitmap())) return false;
    }
    return true;
}

// ---- The visible bitmap ----

void TRecordBitmaps::ResizeVisible(std::int64_t size) {
    Resize(visible_, size);
    // New bytes are clear; a shorter bitmap drops the words past its end and may end inside one.
    visibleSummary_.resize(static_cast<std::size_t>(SummaryWords(size)), 0);
    visibleCounts_.resize(visibleSummary_.size(), 0);
    if (size > 0) NoteSummaryByte(visible_, size - 1, visibleSummary_, &visibleCounts_);
}

void TRecordBitmaps::KeepVisibleBit(SlotNumber record) {
    if (record.Value < 1 || (std::size_t{record.Value} - 1) / 8 >= visible_.size() ||
        record.Value > file_.PhysicalRecordCount())
        return;
    const bool visible = PassesAll(record);
    if (visible == BitmapTestBit(record.Value, visible_.data())) return;
    if (visible) {
        BitmapSetBit(record.Value, visible_.data());
        ++visibleCount_;
    } else {
        BitmapClearBit(record.Value, visible_.data());
        if (visibleCount_ > 0) --visibleCount_;
    }
    NoteSummaryByte(visible_, (std::int64_t{record.Value} - 1) / 8, visibleSummary_, &visibleCounts_);
}

void TRecordBitmaps::BuildVisibleBitmap() {
    if (building_ || file_.Cursor().RangeOrdinalsBusy || !bitmapMode_) return;
    const std::int64_t size = BitmapSize();
    const std::uint32_t highest = file_.PhysicalRecordCount();
    Candidates(visible_);
    for (const auto& filter : filters_) {
        if (!filter->Active()) continue;
        filter->SetBitmapSize(size);
        BitmapAnd(filter->GetBitmap().data(), visible_.data(), size);
    }
    BitmapClearAbove(highest, visible_.data(), size);
    visibleCount_ = static_cast<std::uint32_t>(BitmapCount(visible_.data(), size, highest));
    BuildSummary(visible_, visibleSummary_, &visibleCounts_);
}

// ---- Upkeep ----

void TRecordBitmaps::RecordChanged(SlotNumber record, std::span<const std::uint8_t> image) {
    if (!bitmapMode_) return;
    // Bitmaps never built are built whole, the new record with them.
    if (live_.empty()) {
        RebuildFilterBitmaps();
        BuildVisibleBitmap();
        return;
    }
    const std::int64_t size = BitmapSize();
    if (record.Value < 1 || record.Value > file_.PhysicalRecordCount()) return;
    ResizeVisible(size);
    const TKeyRange& range = file_.Cursor().Range;
    if (range.Active && !file_.NaturalOrder()) {
        Resize(range_, size);
        TIndexKey key;
        table_.BuildKey(image, key);
        const std::uint16_t keyLength = file_.CurrentSettings().KeyLength;
        const TKeyInterval inside{KeyBound({range.Start.Bytes.data(), keyLength}, keyLength),
                                  KeyBound({range.End.Bytes.data(), keyLength}, keyLength)};
        if (KeyInInterval(file_, {key.Bytes.data(), keyLength}, inside)) {
            BitmapSetBit(record.Value, range_.data());
        } else {
            BitmapClearBit(record.Value, range_.data());
        }
    } else {
        Free(range_);
    }
    Resize(live_, size);
    BitmapSetBit(record.Value, live_.data());
    for (const auto& filter : filters_) {
        if (filter->Active()) filter->UpdateRecord(size, record, image);
    }
    // Only this record's visible bit can have changed: it is set from the record's own bits, and the count
    // moves by the difference, so that a write costs the same however large the table.
    if (building_ || file_.Cursor().RangeOrdinalsBusy) return;
    KeepVisibleBit(record);
}

bool TRecordBitmaps::PassesAll(SlotNumber record) const noexcept {
    const auto has = [&record](std::span<const std::uint8_t> bitmap) {
        return (std::size_t{record.Value} - 1) / 8 < bitmap.size() &&
               BitmapTestBit(record.Value, bitmap.data());
    };
    if (!has(live_)) return false;
    if (file_.Cursor().Range.Active && !file_.NaturalOrder() && !has(range_)) return false;
    return std::all_of(filters_.begin(), filters_.end(),
                       [&has](const auto& filter) { return !filter->Active() || has(filter->GetBitmap()); });
}

void TRecordBitmaps::RecordDeleted(SlotNumber record) {
    if (!bitmapMode_ || visible_.empty()) return;
    const std::size_t byte = (std::size_t{record.Value} - 1) / 8;
    if (record.Value < 1) return;
    if (byte < range_.size()) BitmapClearBit(record.Value, range_.data());
    if (byte < live_.size()) BitmapClearBit(record.Value, live_.data());
    for (const auto& filter : filters_) {
        if (filter->Active()) filter->ClearRecordBit(record);
    }
    // A hidden record leaves the count as it is; a visible one goes from the count and the bitmap at once,
    // so that no move lands on it.
    if (byte < visible_.size() && BitmapTestBit(record.Value, visible_.data())) {
        BitmapClearBit(record.Value, visible_.data());
        NoteSummaryByte(visible_, static_cast<std::int64_t>(byte), visibleSummary_, &visibleCounts_);
        if (visibleCount_ > 0) --visibleCount_;
    }
}

}  // namespace engine
