// TPageCache: the pages an index file keeps in memory, one list per index slot, each an instance of the
// engine's cache.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/base/Cache.h"
#include "engine/index/IndexFileHeader.h"
#include "engine/index/Page.h"

namespace engine {

class TIndexFile;

// Each index keeps 31 pages (about 124 KB of images), so that the upper levels of its tree stay cached; a
// full list grows by 64 at a time while the table holds its transaction lock, whose changes may not reach
// the file before they are committed, until the lists are trimmed back.
inline constexpr int PageCacheCapacity = 31;
inline constexpr int PageCacheGrowth = 64;
// On an exclusive table, which no other program changes, a miss never decides when a change is seen: there
// each list may hold as many pages as the file has, 31 the floor and 1024 (4 MB of images) the ceiling, so
// that a large index is not read back and written out page by page as it grows.
inline constexpr int MaxFittedPageCache = 1024;

// A miss reads one page, an eviction writes at most one (the least recently used dirty page), and a flush
// writes the dirty pages of every list in ascending file order, each run of adjacent pages with one write.
// Pinned pages are never evicted or written. The operations that span lists cover every index slot.
class TPageCache {
public:
    explicit TPageCache(TIndexFile& file);
    TPageCache(const TPageCache&) = delete;
    TPageCache& operator=(const TPageCache&) = delete;
    ~TPageCache();

    TCache<TPage>& List(std::uint8_t slot);
    const TCache<TPage>& List(std::uint8_t slot) const;

    // The cached page of the slot at the position, pinned and moved to the front; empty when not cached.
    PagePin Find(std::uint8_t slot, PageOffset position);
    // Reads the page at the position into the slot's list (making room first); empty when the file holds
    // no whole page there and cannot pass off its absence.
    PagePin Read(std::uint8_t slot, PageOffset position);
    // An empty page at a position being appended, pinned; nothing is read.
    PagePin Append(std::uint8_t slot, PageOffset position);
    // Writes the least recently used dirty unpinned page of the slot's list; false when there is none.
    bool WriteOldestDirty(std::uint8_t slot);
    // Writes every dirty unpinned page of every list, sorted; false when nothing was written.
    bool Flush();
    // Another program changed the file: every page is emptied in place, its pins gone.
    void Invalidate();
    void UnpinAll() noexcept;
    // Frees every page; the capacities go back to 31.
    void FreeAll() noexcept;
    // Frees the pages beyond each list's capacity, least recently used first, sparing the kept page, and
    // sets the capacities back.
    void Trim(const TPage* keep) noexcept;
    // A smaller list for tests that need eviction pressure; the engine's lists hold 31. Fixes the capacity:
    // FitToFile does nothing afterwards.
    void SetCapacity(int capacity) noexcept;
    // Lets every list hold as many pages as the file has, within 31 .. 1024 (a file of no pages: 31).
    void FitToFile(std::uint32_t filePages) noexcept;

private:
    class Store;

    std::array<std::unique_ptr<Store>, IndexSlotCount> stores_;
    std::array<std::unique_ptr<TCache<TPage>>, IndexSlotCount> lists_;
    bool fixed_ = false;
};

}  // namespace engine
