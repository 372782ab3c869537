// TIndexFile's counted B+-tree: key comparison, the key operations of the record layer, page allocation, and
// the splits, merges and redistributions that keep every index balanced (declared in IndexFile.h).
//
// A node entry holds its child's first key and the number of keys under the child. Every update first
// descends from the root and notes, level by level, the node and the entry it went through; the pages are
// released on the way and fetched again by offset from that path, so nothing is read from a page that the
// cache may have reused meanwhile, and no more than a few pages are pinned at once.
#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineTexts.h"
#include "engine/index/IndexFile.h"

namespace engine {

namespace {

// One level of a descent: a node and the entry (from 0) through which the descent went on.
struct PathStep {
    PageOffset page;
    std::size_t entry = 0;
};

// The nodes from the root down to the leaf's parent; the leaf lies at level Depth, the root at level 0.
struct TreePath {
    std::array<PathStep, MaxTreeDepth> Steps{};
    std::size_t Depth = 0;

    bool Passes(PageOffset page) const noexcept {
        return std::any_of(Steps.begin(), Steps.begin() + static_cast<std::ptrdiff_t>(Depth),
                           [page](const PathStep& step) { return step.page == page; });
    }
};

// An insert splits at most every level and adds a root.
constexpr std::size_t MaxPagesPerInsert = MaxTreeDepth + 2;

// The first key of a page, copied out: the page may go before the key is used.
TIndexKey FirstKey(const TPage& page) {
    TIndexKey key;
    const std::span<const std::uint8_t> bytes = page.Key(0);
    std::copy(bytes.begin(), bytes.end(), key.Bytes.begin());
    key.Length = static_cast<std::uint16_t>(bytes.size());
    return key;
}

// The work of one tree operation on the current index.
class TreeWork {
public:
    explicit TreeWork(TIndexFile& file) : file_(file) {}

    // The key zero-extended or cut to the index's key length.
    TIndexKey Normalised(std::span<const std::uint8_t> key) const {
        TIndexKey normal;
        normal.Length = file_.CurrentSettings().KeyLength;
        std::copy_n(key.begin(), std::min<std::size_t>(key.size(), normal.Length), normal.Bytes.begin());
        return normal;
    }

    bool HasTree() const noexcept {
        return file_.CurrentIndex() < IndexSlotCount && file_.CurrentSettings().KeyLength > 0;
    }

    // Descends to the leaf where the key belongs, through the last entry not greater than the key (the
    // first entry when every entry is greater), noting the path.
    PagePin Descend(const TIndexKey& key, TreePath& path) {
        PagePin page = file_.FetchPage(file_.GetRootPosition());
        if (!page->IsRoot() || page->Count() == 0) file_.RaisePagesCorrupt();
        while (!page->IsLeaf()) {
            if (path.Depth == MaxTreeDepth) file_.RaisePagesCorrupt();
            const std::size_t entry = page->FindDeletePosition(key.View()) - 1u;
            path.Steps[path.Depth++] = {page->GetPosition(), entry};
            const PageOffset child = page->Entry(entry).Child();
            if (path.Passes(child)) file_.RaisePagesCorrupt();
            page = file_.FetchPage(child);
            if (page->IsRoot() || page->Count() == 0) file_.RaisePagesCorrupt();
        }
        return page;
    }

    // The leaf holding the key, with its update cursor on it; none when the key is not there.
    PagePin Find(const TIndexKey& key, TreePath& path) {
        if (!HasTree() || file_.GetRootPosition() == NoPage) return {};
        PagePin leaf = Descend(key, path);
        if (!leaf->Locate(key.View())) return {};
        return leaf;
    }

    // 9479 before anything changes when the pages an insert may need are neither free nor appendable.
    void CheckRoom(std::size_t needed) {
        if (file_.CanAppendPages(needed)) return;
        if (!file_.CanAppendPages(needed - FreePages(needed))) {
            RaiseEngineError(ErrFileFull, file_.TableOwner().TableFileName());
        }
    }

    // How many of the wanted pages the free list holds (a list that loops or holds a page with entries is
    // damaged).
    std::size_t FreePages(std::size_t wanted) {
        std::array<PageOffset, MaxPagesPerInsert> seen{};
        wanted = std::min(wanted, seen.size());
        std::size_t found = 0;
        PageOffset free = FreeHead();
        while (found < wanted && free != NoPage) {
            if (std::find(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(found), free) !=
                seen.begin() + static_cast<std::ptrdiff_t>(found)) {
                file_.RaisePagesCorrupt();
            }
            PagePin page = file_.FetchPage(free);
            if (page->Count() != 0) file_.RaisePagesCorrupt();
            seen[found++] = free;
            free = page->Next();
        }
        return found;
    }

    // The levels of the tree, down its first entries (a balanced tree has every leaf at the same depth); 0
    // for an empty index.
    std::size_t Height() {
        if (!HasTree() || file_.GetRootPosition() == NoPage) return 0;
        PagePin page = file_.FetchPage(file_.GetRootPosition());
        if (!page->IsRoot() || page->Count() == 0) file_.RaisePagesCorrupt();
        std::size_t levels = 1;
        while (!page->IsLeaf()) {
            if (levels == MaxTreeDepth) file_.RaisePagesCorrupt();
            const PageOffset child = page->Entry(0).Child();
            page = file_.FetchPage(child);
            if (page->IsRoot() || page->Count() == 0) file_.RaisePagesCorrupt();
            ++levels;
        }
        return levels;
    }

    // Inserts the key below the root (a new root leaf for an empty index), splitting upward.
    void InsertKeyTree(const TIndexKey& key, SlotNumber record) {
        if (!HasTree()) RaiseKeyNotFound();
        if (file_.GetRootPosition() == NoPage) {
            CheckRoom(1);
            PagePin root = file_.AllocatePage();
            root->SetPageType(PageTypeRootLeaf);
            root->InsertEntry(0, key.View(), record.Value);
            root->ComputeCompression();
            file_.SetRootPosition(root->GetPosition());
            return;
        }
        TreePath path;
        PagePin leaf = Descend(key, path);
        CheckRoom(path.Depth + 2);
        AdjustCounts(path, 1);
        const std::uint16_t at = leaf->FindInsertPosition(key.View());
        leaf->InsertEntry(at, key.View(), record.Value);
        leaf->ComputeCompression(at, at + 1u);
        if (at == 0) PropagateFirstKey(path, path.Depth, key);
        SplitUpward(path, std::move(leaf));
    }

    // Every key of the leaves, in order, whose entry names the record: the leftmost leaf is reached down the
    // first entries, then the leaves are followed along their next links, never more of them than the file
    // has pages.
    std::vector<TIndexKey> KeysNaming(SlotNumber record) {
        std::vector<TIndexKey> keys;
        if (!HasTree() || file_.GetRootPosition() == NoPage) return keys;
        PagePin page = file_.FetchPage(file_.GetRootPosition());
        if (!page->IsRoot() || page->Count() == 0) file_.RaisePagesCorrupt();
        for (std::size_t levels = 1; !page->IsLeaf(); ++levels) {
            if (levels == MaxTreeDepth) file_.RaisePagesCorrupt();
            page = file_.FetchPage(page->Entry(0).Child());
            if (page->IsRoot() || page->Count() == 0) file_.RaisePagesCorrupt();
        }
        const std::uint32_t pages = file_.GetEndOfFile().Value / PageSize;
        for (std::uint32_t hops = 0;; ++hops) {
            if (hops >= pages || !page->IsLeaf()) file_.RaisePagesCorrupt();
            for (std::size_t i = 0; i < page->Count(); ++i) {
                if (page->Entry(i).Record() != record) continue;
                TIndexKey& key = keys.emplace_back();
                const std::span<const std::uint8_t> bytes = page->Key(i);
                std::copy(bytes.begin(), bytes.end(), key.Bytes.begin());
                key.Length = static_cast<std::uint16_t>(bytes.size());
            }
            const PageOffset next = page->Next();
            if (next == NoPage) break;
            page = file_.FetchPage(next);
        }
        return keys;
    }

    // Removes the entry at the leaf's update cursor, found with the path.
    void DeleteKeyTree(const TreePath& path, PagePin leaf) {
        const std::size_t at = leaf->UpdateCursor - 1u;
        AdjustCounts(path, -1);
        DeleteEntry(path, path.Depth, std::move(leaf), at);
    }

    [[noreturn]] void RaiseKeyNotFound() const {
        RaiseEngineError(ErrKeyNotFound, file_.FileName(), {}, file_.CurrentIndexLabel());
    }

private:
    PageOffset FreeHead() const noexcept {
        const PageOffset head = file_.GetFreePagePosition();
        return head == file_.GetEndOfFile() ? NoPage : head;
    }

    // The subtree count of every entry on the path, moved by the key inserted or deleted below it.
    void AdjustCounts(const TreePath& path, int delta) {
        for (std::size_t level = 0; level < path.Depth; ++level) {
            const PathStep& step = path.Steps[level];
            PagePin node = file_.FetchPage(step.page);
            const std::uint32_t count = node->Entry(step.entry).Count;
            if (delta < 0 && count == 0) file_.RaisePagesCorrupt();
            node->SetEntrySubtreeCount(step.entry, count + static_cast<std::uint32_t>(delta));
        }
    }

    // The page at the level has a new first key: its entry in its parent takes it, and so upward while the
    // page concerned is its parent's first child.
    void PropagateFirstKey(const TreePath& path, std::size_t level, const TIndexKey& key) {
        for (; level > 0; --level) {
            const PathStep& step = path.Steps[level - 1];
            PagePin node = file_.FetchPage(step.page);
            node->SetEntryKey(step.entry, key.View());
            if (step.entry != 0) break;
        }
    }

    // Splits the page at the leaf level while it is overfull, inserting each new page into the parent on the
    // path, which may split in turn, up to a new root.
    void SplitUpward(const TreePath& path, PagePin page) {
        std::size_t level = path.Depth;
        while (page->Overfull()) {
            PagePin fresh = file_.AllocatePage();
            Split(*page, *fresh);
            const TIndexKey oldFirst = FirstKey(*page);
            const TIndexKey newFirst = FirstKey(*fresh);
            const std::uint32_t oldTotal = page->KeyTotal();
            const std::uint32_t newTotal = fresh->KeyTotal();
            const PageOffset oldPosition = page->GetPosition();
            const PageOffset newPosition = fresh->GetPosition();
            fresh.Release();
            page.Release();
            if (level == 0) {
                PagePin root = file_.AllocatePage();
                root->SetPageType(PageTypeRootNode);
                root->InsertEntry(0, oldFirst.View(), oldPosition.Value, oldTotal);
                root->InsertEntry(1, newFirst.View(), newPosition.Value, newTotal);
                root->ComputeCompression();
                file_.SetRootPosition(root->GetPosition());
                return;
            }
            const PathStep& step = path.Steps[--level];
            page = file_.FetchPage(step.page);
            if (page->Entry(step.entry).Child() != oldPosition) file_.RaisePagesCorrupt();
            page->SetEntrySubtreeCount(step.entry, oldTotal);
            page->InsertEntry(step.entry + 1, newFirst.View(), newPosition.Value, newTotal);
            page->ComputeCompression();
        }
    }

    // The page keeps its first ceil(n/2) entries and the fresh page, linked after it, takes the rest; a
    // compressed leaf then moves entries across until both fit their room.
    void Split(TPage& page, TPage& fresh) {
        const std::size_t n = page.Count();
        fresh.TakeEntries(page, n - n / 2, n / 2, 0);
        const std::uint8_t type = page.IsLeaf() ? PageTypeLeaf : PageTypeNode;
        page.SetPageType(type);
        fresh.SetPageType(type);
        fresh.SetPrior(page.GetPosition());
        fresh.SetNext(page.Next());
        if (page.Next() != NoPage) {
            PagePin next = file_.FetchPage(page.Next());
            if (next->Prior() != page.GetPosition()) file_.RaisePagesCorrupt();
            next->SetPrior(fresh.GetPosition());
        }
        page.SetNext(fresh.GetPosition());
        page.ComputeCompression();
        fresh.ComputeCompression();
        if (!page.IsCompressedLeaf()) return;
        if (page.EncodedSize() > PageEntryRoom) {
            while (page.EncodedSize() > PageEntryRoom) {
                fresh.TakeEntries(page, page.Count() - 1u, 1, 0);
                page.ComputeCompression();
                fresh.ComputeCompression();
            }
            if (fresh.EncodedSize() > PageEntryRoom) file_.RaisePagesCorrupt();
        } else if (fresh.EncodedSize() > PageEntryRoom) {
            while (fresh.EncodedSize() > PageEntryRoom) {
                page.TakeEntries(fresh, 0, 1, page.Count());
                page.ComputeCompression();
                fresh.ComputeCompression();
            }
            if (page.EncodedSize() > PageEntryRoom) file_.RaisePagesCorrupt();
        }
    }

    // Removes entry index of the page at the level and rebalances: an underfull page merges with or borrows
    // from its sibling under the same parent, an emptied compressed leaf or only child goes, and each removal
    // from a parent repeats this one level up.
    void DeleteEntry(const TreePath& path, std::size_t level, PagePin page, std::size_t index) {
        for (;;) {
            page->RemoveEntry(index);
            page->ComputeCompression(index, index);
            if (page->Count() > 0 && index == 0) PropagateFirstKey(path, level, FirstKey(*page));
            if (page->IsCompressedLeaf() ? page->Count() > 0 : page->Count() >= page->Capacity() / 2) return;
            if (level == 0) {
                ShrinkRoot(std::move(page));
                return;
            }
            const PathStep up = path.Steps[level - 1];
            PagePin parent = file_.FetchPage(up.page);
            if (parent->Entry(up.entry).Child() != page->GetPosition()) file_.RaisePagesCorrupt();
            bool removeFromParent = false;
            if (page->IsCompressedLeaf() || parent->Count() == 1) {
                // A compressed leaf never borrows or merges, and an only child has no sibling under its
                // parent: either stays below half, and goes when it has nothing left.
                if (page->Count() > 0) return;
                Unlink(*page);
                file_.FreePage(*page);
                removeFromParent = true;
            } else if (up.entry > 0) {
                removeFromParent = MergeOrShareWithPrior(*page, *parent, up.entry);
            } else {
                removeFromParent = MergeOrShareWithNext(path, level, *page, *parent);
            }
            if (!removeFromParent) return;
            page = std::move(parent);
            index = up.entry;
            --level;
        }
    }

    // The page's previous sibling P under the same parent (entry - 1). Merges into P when both fit one page
    // (true: the parent's entry for the page goes); otherwise the two share their entries.
    bool MergeOrShareWithPrior(TPage& page, TPage& parent, std::size_t entry) {
        PagePin prior = Sibling(parent, entry - 1, page);
        if (prior->Next() != page.GetPosition() || page.Prior() != prior->GetPosition()) {
            file_.RaisePagesCorrupt();
        }
        if (page.Capacity() > page.Count() + prior->Count()) {
            MergeIntoPrior(page, *prior, parent, entry);
            return true;
        }
        RedistributeWithPrior(page, *prior, parent, entry);
        return false;
    }

    // P receives all of the page's entries after its own and takes over its next link; the page is freed.
    void MergeIntoPrior(TPage& page, TPage& prior, TPage& parent, std::size_t entry) {
        const std::size_t count = page.Count();
        const std::size_t priorCount = prior.Count();
        prior.TakeEntries(page, 0, count, priorCount);
        prior.SetNext(page.Next());
        if (page.Next() != NoPage) {
            PagePin next = file_.FetchPage(page.Next());
            if (next->Prior() != page.GetPosition()) file_.RaisePagesCorrupt();
            next->SetPrior(prior.GetPosition());
        }
        page.SetPrior(NoPage);
        page.SetNext(NoPage);
        prior.ComputeCompression();
        page.ComputeCompression();
        file_.FreePage(page);
        parent.SetEntrySubtreeCount(entry - 1, prior.KeyTotal());
    }

    // Of the t entries of P and the page, P keeps the first t - t div 2 and the page takes the rest.
    void RedistributeWithPrior(TPage& page, TPage& prior, TPage& parent, std::size_t entry) {
        const std::size_t priorCount = prior.Count();
        const std::size_t total = page.Count() + priorCount;
        const std::size_t keep = total - total / 2;
        page.TakeEntries(prior, keep, priorCount - keep, 0);
        prior.ComputeCompression();
        page.ComputeCompression();
        parent.SetEntryKey(entry, FirstKey(page).View());
        parent.SetEntrySubtreeCount(entry, page.KeyTotal());
        parent.SetEntrySubtreeCount(entry - 1, prior.KeyTotal());
    }

    // The first child's next sibling N (entry 1). Merges into N when both fit one page (true: the parent's
    // first entry goes); otherwise the two share their entries.
    bool MergeOrShareWithNext(const TreePath& path, std::size_t level, TPage& page, TPage& parent) {
        PagePin next = Sibling(parent, 1, page);
        if (page.Next() != next->GetPosition() || next->Prior() != page.GetPosition()) {
            file_.RaisePagesCorrupt();
        }
        if (page.Capacity() > page.Count() + next->Count()) {
            MergeNextInto(page, *next, parent);
            return true;
        }
        RedistributeWithNext(path, level, page, *next, parent);
        return false;
    }

    // N receives the page's entries in front of its own and takes over its previous link; the page is freed.
    void MergeNextInto(TPage& page, TPage& next, TPage& parent) {
        next.TakeEntries(page, 0, page.Count(), 0);
        next.SetPrior(page.Prior());
        if (page.Prior() != NoPage) {
            PagePin prior = file_.FetchPage(page.Prior());
            if (prior->Next() != page.GetPosition()) file_.RaisePagesCorrupt();
            prior->SetNext(next.GetPosition());
        }
        page.SetPrior(NoPage);
        page.SetNext(NoPage);
        next.ComputeCompression();
        page.ComputeCompression();
        file_.FreePage(page);
        parent.SetEntryKey(1, FirstKey(next).View());
        parent.SetEntrySubtreeCount(1, next.KeyTotal());
    }

    // Of the t entries of the page and N, the page keeps t div 2 and N the rest.
    void RedistributeWithNext(const TreePath& path, std::size_t level, TPage& page, TPage& next,
                              TPage& parent) {
        const std::size_t count = page.Count();
        const std::size_t keep = (count + next.Count()) / 2;
        page.TakeEntries(next, 0, keep - count, count);
        next.ComputeCompression();
        page.ComputeCompression();
        parent.SetEntrySubtreeCount(0, page.KeyTotal());
        parent.SetEntryKey(1, FirstKey(next).View());
        parent.SetEntrySubtreeCount(1, next.KeyTotal());
        // An emptied page has a first key again.
        if (count == 0) PropagateFirstKey(path, level, FirstKey(page));
    }

    // The child of the parent's entry, a page of the same level as the page.
    PagePin Sibling(const TPage& parent, std::size_t entry, const TPage& page) {
        const PageOffset position = parent.Entry(entry).Child();
        if (position == page.GetPosition()) file_.RaisePagesCorrupt();
        PagePin sibling = file_.FetchPage(position);
        if (sibling->IsRoot() || sibling->IsLeaf() != page.IsLeaf() || sibling->Count() == 0) {
            file_.RaisePagesCorrupt();
        }
        return sibling;
    }

    // Joins the page's neighbours on its level and clears its own links.
    void Unlink(TPage& page) {
        const PageOffset prior = page.Prior();
        const PageOffset next = page.Next();
        if (next != NoPage) {
            PagePin following = file_.FetchPage(next);
            if (following->Prior() != page.GetPosition()) file_.RaisePagesCorrupt();
            following->SetPrior(prior);
        }
        if (prior != NoPage) {
            PagePin preceding = file_.FetchPage(prior);
            if (preceding->Next() != page.GetPosition()) file_.RaisePagesCorrupt();
            preceding->SetNext(next);
        }
        page.SetPrior(NoPage);
        page.SetNext(NoPage);
    }

    // A root below half: an emptied root goes and leaves the index empty; a root node with a single child
    // hands the root over to it (reached only when node capacity is 4 or more: with 3, one entry is half).
    void ShrinkRoot(PagePin root) {
        if (root->Count() == 0) {
            file_.FreePage(*root);
            file_.SetRootPosition(NoPage);
            return;
        }
        if (root->IsLeaf() || root->Count() != 1) return;
        const PageOffset position = root->Entry(0).Child();
        if (position == root->GetPosition()) file_.RaisePagesCorrupt();
        PagePin child = file_.FetchPage(position);
        if (child->IsRoot() || child->Count() == 0) file_.RaisePagesCorrupt();
        child->SetPageType(child->IsLeaf() ? PageTypeRootLeaf : PageTypeRootNode);
        child->SetPrior(NoPage);
        child->SetNext(NoPage);
        child->SetParent(NoPage);
        file_.SetRootPosition(position);
        file_.FreePage(*root);
    }

    TIndexFile& file_;
};

}  // namespace

// ---- Comparison ----

int TIndexFile::CompareKeys(std::span<const std::uint8_t> entry, std::span<const std::uint8_t> search,
                            std::uint16_t compareLength, bool descending,
                            const TIndexDescriptor* descriptor) const {
    // Keys shorter than the compare length are taken zero-extended.
    std::array<std::uint8_t, MaxKeyBytes> entryBuffer{};
    std::array<std::uint8_t, MaxKeyBytes> searchBuffer{};
    const std::size_t length = std::min<std::size_t>(compareLength, MaxKeyBytes);
    std::copy_n(entry.begin(), std::min(entry.size(), length), entryBuffer.begin());
    std::copy_n(search.begin(), std::min(search.size(), length), searchBuffer.begin());
    if (descriptor == nullptr) {
        return KeyOrderOf(current_).Compare(entryBuffer.data(), searchBuffer.data(), length, descending);
    }
    const TKeyOrder order(*descriptor, current_, owner_.PhysicalFields(), owner_.GetLanguageId(),
                          owner_.GetSortId(), FileName());
    return order.Compare(entryBuffer.data(), searchBuffer.data(), length, descending);
}

std::string_view TIndexFile::CurrentIndexLabel() const noexcept {
    return current_ == PrimaryIndexSlot ? texts::PrimaryIndexName : std::string_view(settings_.Name);
}

// ---- Pages ----

PagePin TIndexFile::AllocatePage() {
    if (current_ >= IndexSlotCount) RaisePagesCorrupt();
    const PageOffset end = GetEndOfFile();
    const PageOffset head = GetFreePagePosition();
    PagePin page;
    if (head == end) {
        if (end.Value > MaxIndexAppendOffset) RaiseEngineError(ErrFileFull, TableOwner().TableFileName());
        page = pages_.Append(current_, end);
        header_.EndOfFile = PageOffset(end.Value + static_cast<std::uint32_t>(PageSize));
        MarkHeaderChanged();
        FitPageCaches();
    } else {
        page = FetchPage(head);
        const PageOffset next = page->Next();
        // A page with entries, or one held elsewhere, is in a tree as well; a next link that names no page,
        // or the page itself, would break the list for every later allocation.
        if (page->Count() != 0 || page->PinCount() > 1 || next == head ||
            (next != NoPage && !IsPagePosition(next))) {
            RaisePagesCorrupt();
        }
        SetFreeListHead(next);
    }
    page->Reset();
    return page;
}

void TIndexFile::FreePage(TPage& page) {
    const PageOffset position = page.GetPosition();
    const PageOffset head = GetFreePagePosition();
    if (page.Free() || position == NoPage || position == head) RaisePagesCorrupt();
    page.SetCount(0);
    page.SetNext(head == GetEndOfFile() ? NoPage : head);
    page.SetFree(true);
    page.ComputeCompression();
    SetFreeListHead(position);
}

bool TIndexFile::GetRootPage(PagePin& page, bool navigation) {
    page.Release();
    if (current_ >= IndexSlotCount) return false;
    if (!GetPage(GetRootPosition(), page)) return false;
    if (!page->IsRoot() || page->Count() == 0) RaisePagesCorrupt();
    (navigation ? page->NavCursor : page->UpdateCursor) = 1;
    return true;
}

// ---- Key operations ----

bool TIndexFile::CanAppendPages(std::uint64_t pages) const noexcept {
    // The last page appended starts at most at the limit.
    return pages == 0 || GetEndOfFile().Value + (pages - 1) * PageSize <= MaxIndexAppendOffset;
}

std::uint32_t TIndexFile::PagesForInsert() {
    TreeWork work(*this);
    // Every level may split and a new root be added; an empty index takes one page.
    return static_cast<std::uint32_t>(work.Height() + 1);
}

std::uint32_t TIndexFile::FreePagesAvailable(std::uint32_t wanted) {
    TreeWork work(*this);
    return static_cast<std::uint32_t>(work.FreePages(wanted));
}

bool TIndexFile::KeyExists(std::span<const std::uint8_t> key) {
    TreeWork work(*this);
    TreePath path;
    return static_cast<bool>(work.Find(work.Normalised(key), path));
}

std::optional<SlotNumber> TIndexFile::KeyRecord(std::span<const std::uint8_t> key) {
    TreeWork work(*this);
    TreePath path;
    const PagePin leaf = work.Find(work.Normalised(key), path);
    if (!leaf) return std::nullopt;
    return leaf->Entry(leaf->UpdateCursor - 1u).Record();
}

std::vector<TIndexKey> TIndexFile::KeysOfRecord(SlotNumber record) {
    TreeWork work(*this);
    return work.KeysNaming(record);
}

void TIndexFile::CheckDuplicateKey(std::span<const std::uint8_t> key) {
    const bool checked = current_ == PrimaryIndexSlot ||
                         (current_ >= 1 && current_ <= MaxSecondaryIndexes && settings_.Unique != 0);
    if (checked && KeyExists(key)) RaiseEngineError(ErrDuplicateKey, FileName(), {}, CurrentIndexLabel());
}

void TIndexFile::InsertKey(std::span<const std::uint8_t> key, SlotNumber record) {
    TreeWork work(*this);
    work.InsertKeyTree(work.Normalised(key), record);
}

void TIndexFile::ModifyKey(std::span<const std::uint8_t> oldKey, std::span<const std::uint8_t> newKey,
                           SlotNumber record) {
    TreeWork work(*this);
    TreePath path;
    PagePin leaf = work.Find(work.Normalised(oldKey), path);
    if (!leaf) work.RaiseKeyNotFound();
    // The delete frees pages and never lowers what appends may add, so an insert that fits now fits after it.
    work.CheckRoom(path.Depth + 2);
    work.DeleteKeyTree(path, std::move(leaf));
    work.InsertKeyTree(work.Normalised(newKey), record);
}

void TIndexFile::DeleteKey(std::span<const std::uint8_t> key) {
    TreeWork work(*this);
    TreePath path;
    PagePin leaf = work.Find(work.Normalised(key), path);
    if (!leaf) work.RaiseKeyNotFound();
    work.DeleteKeyTree(path, std::move(leaf));
}

}  // namespace engine
