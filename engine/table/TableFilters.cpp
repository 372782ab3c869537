// TDataFile's filter entry points (declared in DataFile.h).
#include <memory>

#include "engine/base/EngineError.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"

namespace engine {

std::uint16_t TDataFile::AddFilter(void* clientData, std::span<const std::uint8_t> blob, TFilter*& handle,
                                   bool andEarlier, TRecordFilterProc callback, bool ownsTree,
                                   TExprNode* tree) {
    handle = nullptr;
    // A tree handed over for the filter to own goes with a refusal or failure before the filter takes it.
    std::unique_ptr<TExprNode> handed(ownsTree && blob.empty() ? tree : nullptr);
    if (bitmaps_.GetFilterCount() >= MaxFilters) return ErrTooManyFilters;
    return bitmaps_.AddFilter(clientData, blob, handle, andEarlier, callback, ownsTree,
                              handed ? handed.release() : tree);
}

template <typename Change>
std::uint16_t TDataFile::ChangeFilters(Change change, const bool* visibleKept) {
    TReadGuard read(*this);
    read.BeginIfStrict();
    const std::uint16_t code = change();
    if (code != 0) return code;
    if (visibleKept == nullptr || !*visibleKept) bitmaps_.BuildVisibleBitmap();
    Resync();
    read.End();
    return 0;
}

// A change that widens what a filter passes leaves the later and-earlier filters without answers for the
// records it used to refuse: they are built again, over every candidate.
template <typename Change>
std::uint16_t TDataFile::WidenFilters(const TFilter* handle, Change change, bool* visibleKept) {
    return ChangeFilters(
        [&] {
            const bool narrowedLater = bitmaps_.AndEarlierAfter(handle);
            const std::uint16_t code = change();
            if (code == 0 && narrowedLater) {
                indexFile_.ComputeRangeOrdinals();
                bitmaps_.RebuildFilterBitmaps();
                if (visibleKept != nullptr) *visibleKept = false;
            }
            return code;
        },
        visibleKept);
}

std::uint16_t TDataFile::DropFilter(TFilter* handle) {
    return WidenFilters(handle, [&] { return bitmaps_.DropFilter(handle); });
}

std::uint16_t TDataFile::ActivateFilter(TFilter* handle) {
    return ChangeFilters([&] {
        const std::uint16_t code = bitmaps_.ActivateFilter(handle);
        if (code != 0) return code;
        try {
            if (handle != nullptr) {
                bitmaps_.BuildFilterBitmap(handle);
            } else {
                indexFile_.ComputeRangeOrdinals();
                bitmaps_.RebuildFilterBitmaps();
            }
        } catch (...) {
            // A filter whose bitmap was not built passes records it never saw: it stays inactive.
            CleanUpKeepingError([&] { bitmaps_.DeactivateFilter(handle); });
            throw;
        }
        return std::uint16_t{0};
    });
}

std::uint16_t TDataFile::DeactivateFilter(TFilter* handle) {
    return WidenFilters(handle, [&] { return bitmaps_.DeactivateFilter(handle); });
}

std::uint16_t TDataFile::ModifyFilter(TFilter* handle, std::span<const std::uint8_t> blob, TExprNode* tree,
                                      bool ownsTree) {
    // A condition served by a small index interval keeps the visible bitmap itself: the change then costs
    // what the interval holds, not the table's size.
    bool visibleKept = false;
    // A tree handed over for the filter to own goes with a failure before the filter takes it (the read
    // lock that the change waits for).
    std::unique_ptr<TExprNode> handed(ownsTree && blob.empty() ? tree : nullptr);
    return WidenFilters(
        handle,
        [&] {
            const std::uint16_t code =
                bitmaps_.UpdateFilter(blob, handed ? handed.release() : tree, ownsTree, handle);
            if (code == 0) visibleKept = bitmaps_.BuildFilterBitmap(handle);
            return code;
        },
        &visibleKept);
}

}  // namespace engine
