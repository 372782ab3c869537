#include "engine/index/PageCache.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/index/IndexFile.h"

namespace engine {

// What one list asks of the index file: new pages of its slot, and page images at their offsets.
class TPageCache::Store final : public TCacheStore<TPage> {
public:
    Store(TIndexFile& file, std::uint8_t slot) : file_(file), slot_(slot) {}

    std::unique_ptr<TPage> NewEntry() override { return std::make_unique<TPage>(file_, slot_); }
    std::size_t ImageSize() const override { return PageSize; }
    std::int64_t FileOffset(PageOffset position) const override { return position.Value; }
    PageOffset Advance(PageOffset position, std::int64_t images) const override {
        return PageOffset(
            static_cast<std::uint32_t>(position.Value + images * static_cast<std::int64_t>(PageSize)));
    }
    std::size_t ReadImages(std::int64_t offset, std::uint8_t* buffer, std::size_t length,
                           std::size_t required) override {
        return file_.ReadPageImages(offset, buffer, length, required);
    }
    void WriteImages(std::int64_t offset, const std::uint8_t* buffer, std::size_t length) override {
        file_.WritePageImages(offset, buffer, length);
    }
    bool GrowInsteadOfWriting() const override { return file_.TableOwner().TransactionLockHeld(); }
    [[noreturn]] void RaiseCorrupt() const override { file_.RaisePagesCorrupt(); }

private:
    TIndexFile& file_;
    std::uint8_t slot_;
};

TPageCache::TPageCache(TIndexFile& file) {
    const CacheSettings settings{PageCacheCapacity, PageCacheGrowth, FullCachePolicy::WriteOldestDirty};
    for (std::size_t slot = 0; slot < IndexSlotCount; ++slot) {
        stores_[slot] = std::make_unique<Store>(file, static_cast<std::uint8_t>(slot));
        lists_[slot] = std::make_unique<TCache<TPage>>(*stores_[slot], settings);
    }
}

TPageCache::~TPageCache() = default;

TCache<TPage>& TPageCache::List(std::uint8_t slot) {
    return *lists_.at(slot);
}

const TCache<TPage>& TPageCache::List(std::uint8_t slot) const {
    return *lists_.at(slot);
}

PagePin TPageCache::Find(std::uint8_t slot, PageOffset position) {
    return List(slot).Find(position);
}

PagePin TPageCache::Read(std::uint8_t slot, PageOffset position) {
    return List(slot).ReadRun(position, 1, position);
}

PagePin TPageCache::Append(std::uint8_t slot, PageOffset position) {
    return List(slot).Append(position);
}

bool TPageCache::WriteOldestDirty(std::uint8_t slot) {
    return List(slot).WriteOldestDirty();
}

bool TPageCache::Flush() {
    std::vector<TPage*> pages;
    for (const auto& list : lists_) list->CollectDirty(pages);
    if (pages.empty()) return false;
    // Every list writes through the same file, so one sorted pass writes them all; each list learns of its
    // own pages written.
    lists_[0]->WriteSorted(pages);
    for (std::size_t slot = 1; slot < lists_.size(); ++slot) lists_[slot]->Written(pages);
    return true;
}

void TPageCache::Invalidate() {
    for (const auto& list : lists_) list->Invalidate();
}

void TPageCache::UnpinAll() noexcept {
    for (const auto& list : lists_) list->UnpinAll();
}

void TPageCache::FreeAll() noexcept {
    for (const auto& list : lists_) list->FreeAll();
}

void TPageCache::Trim(const TPage* keep) noexcept {
    for (const auto& list : lists_) list->Trim(keep);
}

void TPageCache::SetCapacity(int capacity) noexcept {
    fixed_ = true;
    for (const auto& list : lists_) list->SetCapacity(capacity);
}

void TPageCache::FitToFile(std::uint32_t filePages) noexcept {
    const int fitted =
        static_cast<int>(std::clamp<std::uint32_t>(filePages, PageCacheCapacity, MaxFittedPageCache));
    if (fixed_ || fitted == lists_[0]->BaseCapacity()) return;
    for (const auto& list : lists_) list->SetCapacity(fitted);
}

// ---- The index file's page cache ----

bool TIndexFile::IsPagePosition(PageOffset position) const noexcept {
    return position.Value % PageSize == 0 && position >= FirstPageOffset && position < GetEndOfFile();
}

void TIndexFile::RaisePagesCorrupt() const {
    RaiseEngineError(ErrIndexPagesCorrupt, FileName());
}

bool TIndexFile::GetPage(PageOffset position, PagePin& page) {
    page.Release();
    if (position == NoPage) return false;
    if (!IsPagePosition(position) || CurrentIndex() >= IndexSlotCount) RaisePagesCorrupt();
    page = pages_.Find(CurrentIndex(), position);
    if (page) return true;
    if (!TableOwner().StrictChangeDetection() && TableOwner().BeginRead()) return false;
    page = ReadPage(position);
    if (!page) RaisePagesCorrupt();
    return true;
}

PagePin TIndexFile::FetchPage(PageOffset position) {
    PagePin page;
    if (!GetPage(position, page)) RaisePagesCorrupt();
    return page;
}

PagePin TIndexFile::ReadPage(PageOffset position) {
    if (!IsPagePosition(position) || CurrentIndex() >= IndexSlotCount) RaisePagesCorrupt();
    return pages_.Read(CurrentIndex(), position);
}

std::size_t TIndexFile::ReadPageImages(std::int64_t offset, std::uint8_t* buffer, std::size_t length,
                                       std::size_t required) {
    const std::size_t got =
        static_cast<std::size_t>(ReadAt(offset, buffer, static_cast<std::int32_t>(length), true));
    if (got >= length) return got;
    // The end of file counts pages appended in a cache and not yet written. Only where no other program
    // writes the file may a page be missing from it, and then it reads as zeros.
    if (!Exclusive() && !TableOwner().TransactionLockHeld()) {
        if (got < required) RaiseEngineError(ErrRead, FileName());
        return got;
    }
    std::fill(buffer + got, buffer + length, 0);
    return length;
}

void TIndexFile::WritePageImages(std::int64_t offset, const std::uint8_t* buffer, std::size_t length) {
    WriteAt(offset, buffer, static_cast<std::int32_t>(length));
}

bool TIndexFile::WriteOldestDirtyPage() {
    return CurrentIndex() < IndexSlotCount && pages_.WriteOldestDirty(CurrentIndex());
}

void TIndexFile::EvictPage() {
    if (CurrentIndex() < IndexSlotCount) pages_.List(CurrentIndex()).Evict();
}

bool TIndexFile::FlushPages() {
    return pages_.Flush();
}

void TIndexFile::FreeAllPages() noexcept {
    currentAside_ = {};
    currentPage_.Release();
    pages_.FreeAll();
}

void TIndexFile::InvalidatePages() {
    currentAside_ = {};
    currentPage_.Release();
    pages_.Invalidate();
}

void TIndexFile::UnpinAllPages() noexcept {
    const bool held = static_cast<bool>(currentPage_);
    UnpinEveryPage();
    if (held) RepinCurrentPage();
}

void TIndexFile::UnpinEveryPage() noexcept {
    // The cursor's own pin goes as one pin, before the others are cleared.
    if (const TPage* const current = currentPage_.Get()) {
        currentAsideSlot_ = current->Format().IndexNumber;
        currentAside_ = pages_.List(currentAsideSlot_).PutAside(currentPage_);
    }
    pages_.UnpinAll();
}

void TIndexFile::RepinCurrentPage() noexcept {
    const TCache<TPage>::SetAside aside = std::exchange(currentAside_, {});
    if (aside.entry == nullptr || currentPage_) return;
    currentPage_ = pages_.List(currentAsideSlot_).TakeUp(aside);
}

void TIndexFile::FitPageCaches() noexcept {
    pages_.FitToFile(Exclusive() ? GetEndOfFile().Value / PageSize : 0);
}

void TIndexFile::TrimPageCaches() noexcept {
    pages_.Trim(currentPage_ ? currentPage_.Get() : currentAside_.entry);
}

}  // namespace engine
