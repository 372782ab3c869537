// TCache: the engine's one cache of fixed-size file images (records, index pages, large-object blocks), with
// its entries (TCacheEntry), the pins that hold them (TCachePin) and what it asks of its file (TCacheStore).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

namespace engine {

// An entry is pinned at most this many times at once; one pin more means a fetcher that never releases, and
// the cache counts itself corrupt (each cache raises its own code: 8962 records, 8963 blocks, 8965 pages).
inline constexpr std::uint16_t MaxCachePins = 64;
// Listings of reusable entries a cache keeps beyond twice its entries before it lists them anew: enough that
// a small cache does not list anew on every change.
inline constexpr std::size_t MinReuseListing = 64;
// Likewise the dirty listing's slots beyond twice the entries before it drops those of freed entries.
inline constexpr std::size_t MinDirtyListing = 64;
// The oldest entries a cache looks at before it asks its heap of reusable entries: a few pinned ones at the
// back (a cursor's record, a page on its path) do not send every eviction to the heap.
inline constexpr int OldestLooks = 4;

// What a full cache does when every entry that is not pinned is dirty.
enum class FullCachePolicy : std::uint8_t {
    // Writes the least recently used dirty entry on its own, then looks again (index pages: an eviction costs
    // at most one page write).
    WriteOldestDirty,
    // Writes every dirty entry in sorted runs, then looks again (records and large-object blocks).
    FlushAll,
};

struct CacheSettings {
    // Entries the cache holds; what a trim goes back to.
    int Capacity = 0;
    // Entries added at once when nothing can be evicted while the table holds its transaction lock, whose
    // changes may not reach the file before they are committed.
    int GrowthStep = 0;
    FullCachePolicy WhenNoneClean = FullCachePolicy::FlushAll;
};

template <class Entry>
class TCache;

// The slots of a cache whose entries were marked dirty since its last flush, so that a flush visits those
// rather than every cached entry. A slot may be listed more than once (an entry freed and another made in its
// slot), and an entry written or emptied since stays listed until the next flush drops it.
struct TDirtyListing {
    // Not named "slots": Qt takes that word as a macro.
    std::vector<std::uint32_t> slotsListed;
    // A listing failed for want of memory: the next flush walks every entry and lists anew.
    bool lost = false;

    void Add(std::uint32_t slot) noexcept {
        try {
            slotsListed.push_back(slot);
        } catch (...) {
            lost = true;
        }
    }
};

// The cache's part of an entry. An entry type derives from it and adds its image's contents and three
// operations: Reset() empties the contents, Load(image) takes them from a file image (it may raise for an
// image it refuses), Store(image) writes them into one (the cache keeps the dirty flag). Position{} marks an
// entry that holds nothing.
template <class Position>
class TCacheEntry {
public:
    using PositionType = Position;

    TCacheEntry(const TCacheEntry&) = delete;
    TCacheEntry& operator=(const TCacheEntry&) = delete;

    Position GetPosition() const noexcept { return position_; }
    std::uint16_t PinCount() const noexcept { return pins_; }
    bool Dirty() const noexcept { return dirty_; }
    // Set only while a multi-entry read places entries, so that it does not evict or write what it reads.
    bool InReadRange() const noexcept { return inReadRange_; }
    // Setters of the contents mark the entry dirty when they change it. An entry of a cache is listed for
    // its next flush the first time.
    void MarkDirty() noexcept {
        dirty_ = true;
        if (dirtyListed_ || dirtyListing_ == nullptr) return;
        dirtyListed_ = true;
        dirtyListing_->Add(slot_);
    }
    void MarkClean() noexcept { dirty_ = false; }

protected:
    TCacheEntry() = default;
    ~TCacheEntry() = default;

private:
    template <class>
    friend class TCache;

    Position position_{};
    std::uint16_t pins_ = 0;
    bool dirty_ = false;
    bool inReadRange_ = false;
    // Its slot is in the cache's dirty listing (null for an entry outside a cache).
    bool dirtyListed_ = false;
    TDirtyListing* dirtyListing_ = nullptr;
    // The entry's place in the cache's slot table, which outlives the entry.
    std::uint32_t slot_ = 0;
    // When the entry last came to the front: entries further from the front have smaller ages.
    std::uint64_t age_ = 0;
    TCacheEntry* newer_ = nullptr;
    TCacheEntry* older_ = nullptr;
};

// What the cache asks of the file behind it. Every entry's image has the same size and lies at a file offset
// its position gives; entries whose images follow one another are written with one write.
template <class Entry>
class TCacheStore {
public:
    using Position = typename Entry::PositionType;

    // A new, empty entry for the cache to own.
    virtual std::unique_ptr<Entry> NewEntry() = 0;
    virtual std::size_t ImageSize() const = 0;
    virtual std::int64_t FileOffset(Position position) const = 0;
    // The position of the image that lies the given number of images after the position's.
    virtual Position Advance(Position position, std::int64_t images) const = 0;
    // Reads length bytes at the offset into the buffer and answers how many came. Fewer than length are the
    // end of the file; the store raises when it cannot accept them, required being the bytes that the entry
    // asked for needs.
    virtual std::size_t ReadImages(std::int64_t offset, std::uint8_t* buffer, std::size_t length,
                                   std::size_t required) = 0;
    virtual void WriteImages(std::int64_t offset, const std::uint8_t* buffer, std::size_t length) = 0;
    // True while the table holds its transaction lock: a full cache then grows instead of writing.
    virtual bool GrowInsteadOfWriting() const = 0;
    // The cache's corrupt-buffers error.
    [[noreturn]] virtual void RaiseCorrupt() const = 0;

protected:
    ~TCacheStore() = default;
};

// One pin on a cache entry, released when the pin goes. An entry that is reset, reused or freed while pinned
// leaves the pin empty: it then releases nothing and reads nothing. A pin must not outlive its cache.
template <class Entry>
class TCachePin {
public:
    TCachePin() = default;
    TCachePin(TCachePin&& other) noexcept
        : cache_(std::exchange(other.cache_, nullptr)), slot_(other.slot_), generation_(other.generation_) {}
    TCachePin& operator=(TCachePin&& other) noexcept {
        if (this != &other) {
            Release();
            cache_ = std::exchange(other.cache_, nullptr);
            slot_ = other.slot_;
            generation_ = other.generation_;
        }
        return *this;
    }
    TCachePin(const TCachePin&) = delete;
    TCachePin& operator=(const TCachePin&) = delete;
    ~TCachePin() { Release(); }

    // The pinned entry, or null.
    Entry* Get() const noexcept { return cache_ != nullptr ? cache_->Resolve(slot_, generation_) : nullptr; }
    explicit operator bool() const noexcept { return Get() != nullptr; }
    // The pinned entry; an empty pin raises the cache's corrupt code.
    Entry* operator->() const { return &**this; }
    Entry& operator*() const {
        Entry* entry = Get();
        if (entry == nullptr) cache_->RaiseLost();
        return *entry;
    }

    void Release() noexcept {
        if (Entry* entry = Get()) cache_->Unpin(*entry);
        cache_ = nullptr;
    }

private:
    friend class TCache<Entry>;
    TCachePin(TCache<Entry>* cache, std::uint32_t slot, std::uint32_t generation) noexcept
        : cache_(cache), slot_(slot), generation_(generation) {}

    TCache<Entry>* cache_ = nullptr;
    std::uint32_t slot_ = 0;
    std::uint32_t generation_ = 0;
};

// A most-recent-first list of entries with hash lookup by position. A full cache reuses its least recently
// used entry that is clean, unpinned and not being read; pinned entries are never evicted or written.
template <class Entry>
class TCache {
public:
    using Position = typename Entry::PositionType;
    using Pin = TCachePin<Entry>;

    TCache(TCacheStore<Entry>& store, const CacheSettings& settings)
        : store_(store),
          capacity_(settings.Capacity),
          baseCapacity_(settings.Capacity),
          growthStep_(settings.GrowthStep),
          policy_(settings.WhenNoneClean) {}
    TCache(const TCache&) = delete;
    TCache& operator=(const TCache&) = delete;
    ~TCache() = default;

    int Count() const noexcept { return count_; }
    // Entries the cache may hold now; above BaseCapacity only after growth under the transaction lock.
    int Capacity() const noexcept { return capacity_; }
    int BaseCapacity() const noexcept { return baseCapacity_; }
    // A new capacity, which trims go back to; cached entries beyond it stay until then.
    void SetCapacity(int capacity) noexcept {
        baseCapacity_ = capacity;
        capacity_ = std::max(count_, capacity);
    }

    // The cached entry at the position, pinned and moved to the front; an empty pin when it is not cached.
    Pin Find(Position position) {
        const auto found = index_.find(position);
        if (found == index_.end()) return {};
        return PinToFront(*found->second);
    }

    // The cached entry at the position without pinning or moving it; null when it is not cached.
    Entry* Peek(Position position) const noexcept {
        const auto found = index_.find(position);
        return found == index_.end() ? nullptr : found->second;
    }

    // An empty entry at the front for a position being appended to the file, pinned; nothing is read. An
    // entry still cached at the position (from before the file was cut) is emptied.
    Pin Append(Position position) {
        if (Entry* stale = Peek(position)) Empty(*stale);
        Entry& entry = TakeEntry();
        Place(entry, position);
        return PinToFront(entry);
    }

    // Gives a cached entry another position (a record that takes another slot number); an entry cached at
    // that position is emptied.
    void Relocate(Entry& entry, Position position) {
        if (entry.position_ == position) return;
        if (Entry* other = Peek(position)) Empty(*other);
        if (entry.position_ != Position{}) index_.erase(entry.position_);
        Place(entry, position);
    }

    // Pins a cached entry once more (the cursor's current entry after an unpin-all).
    Pin PinAgain(Entry& entry) { return PinToFront(entry); }

    // An entry whose holder let go of its pin for a while (so that a flush after an unpin-all writes it too),
    // remembered by its place and position.
    struct SetAside {
        Entry* entry = nullptr;
        Position position{};
    };
    // Releases the pin and remembers its entry; nothing is remembered for an empty pin.
    SetAside PutAside(Pin& pin) noexcept {
        Entry* const entry = pin.Get();
        pin.Release();
        return entry != nullptr ? SetAside{entry, entry->position_} : SetAside{};
    }
    // Pins the entry set aside again when the cache still holds it at its position (evicted meanwhile, it
    // holds another image or none); else an empty pin.
    Pin TakeUp(const SetAside& aside) {
        if (aside.entry == nullptr || Peek(aside.position) != aside.entry) return {};
        return PinToFront(*aside.entry);
    }

    // Reads count images from the first position on with one read and places every complete one: an entry
    // already cached at its position is reloaded only when it is neither pinned nor dirty (either is newer
    // than the file), every other image takes a cache entry. The wanted image, the first or the last of the
    // run, gets its entry first (writing or growing if need be) and ends at the front, pinned; the others are
    // placed from the far end towards it. They take clean entries first; when none is left, the cache makes
    // room once as eviction does (a write as the policy says, or growth under the transaction lock), so that
    // a scan through a cache full of unwritten changes reads each run once rather than again for every few
    // images; what still finds no room stays out. Answers an empty pin when the wanted image did not come
    // whole.
    Pin ReadRun(Position first, int count, Position wanted) {
        const std::size_t size = store_.ImageSize();
        const int wantedIndex = wanted == first ? 0 : count - 1;
        ReadRangeMarks marks(*this);
        for (int i = 0; i < count; ++i) {
            if (Entry* cached = Peek(store_.Advance(first, i))) marks.Mark(*cached);
        }
        readBuffer_.resize(static_cast<std::size_t>(count) * size);
        const std::size_t got = store_.ReadImages(store_.FileOffset(first), readBuffer_.data(),
                                                  readBuffer_.size(), (wantedIndex + 1) * size);
        const int complete = static_cast<int>(std::min<std::size_t>(got / size, count));
        if (wantedIndex >= complete) return {};
        if (Peek(wanted) == nullptr) {
            Entry& entry = TakeEntry();
            Place(entry, wanted);
            marks.Mark(entry);
        }
        const int step = wantedIndex == 0 ? -1 : 1;
        bool roomMade = false;
        bool noneFree = false;
        for (int i = wantedIndex == 0 ? complete - 1 : 0; i >= 0 && i < complete; i += step) {
            const std::span<const std::uint8_t> image(readBuffer_.data() + static_cast<std::size_t>(i) * size,
                                                      size);
            const Position position = store_.Advance(first, i);
            if (Entry* cached = Peek(position)) {
                if (cached->pins_ == 0 && !cached->dirty_) LoadOrEmpty(*cached, image);
                continue;
            }
            // Nothing turns free while the run is placed except by the one attempt to make room: once that
            // is spent, none is for the rest of it, and looking again would walk the whole cache for every
            // image.
            Entry* entry = noneFree ? nullptr : TryTakeEntry();
            if (entry == nullptr && !noneFree && !roomMade) {
                roomMade = true;
                if (MakeRoom()) entry = TryTakeEntry();
            }
            if (entry == nullptr) {
                noneFree = true;
                continue;
            }
            Place(*entry, position);
            marks.Mark(*entry);
            LoadOrEmpty(*entry, image);
        }
        return PinToFront(*Peek(wanted));
    }

    // Writes every dirty entry that is neither pinned nor being read, in ascending file order, each run of
    // adjacent images with one write. Answers whether anything was written.
    bool Flush() {
        std::vector<Entry*> entries;
        CollectDirty(entries);
        if (entries.empty()) return false;
        WriteSorted(entries);
        return true;
    }

    // Writes the least recently used dirty entry that is neither pinned nor being read, on its own. Answers
    // whether there was one.
    bool WriteOldestDirty() {
        for (Node* node = oldest_; node != nullptr; node = node->newer_) {
            Entry& entry = AsEntry(*node);
            if (!Writable(entry)) continue;
            std::vector<Entry*> one{&entry};
            WriteSorted(one);
            return true;
        }
        return false;
    }

    // The entries a flush writes; a file with several caches collects from each and writes them together.
    // Only the entries listed dirty are visited (a shared table flushes after every change, and a walk over
    // the whole cache would cost more than the write); those still dirty stay listed, since a write that
    // fails or an entry pinned now leaves them for a later flush.
    void CollectDirty(std::vector<Entry*>& entries) {
        if (dirtyListing_.lost) ListDirty();
        if (dirtyListing_.lost) {
            for (Node* node = newest_; node != nullptr; node = node->older_) {
                if (Writable(AsEntry(*node))) entries.push_back(&AsEntry(*node));
            }
            return;
        }
        CompactDirtyListing();
        for (const std::uint32_t slot : dirtyListing_.slotsListed) {
            Entry& entry = *slots_[slot].entry;
            if (Writable(entry)) entries.push_back(&entry);
        }
    }

    // Writes the entries (of caches on this cache's file) in ascending file order, each run of adjacent
    // images with one write; each run's entries are clean once it is written. The other caches whose
    // entries it wrote are told with Written.
    void WriteSorted(std::vector<Entry*>& entries) {
        std::sort(entries.begin(), entries.end(), [this](const Entry* a, const Entry* b) {
            return store_.FileOffset(a->position_) < store_.FileOffset(b->position_);
        });
        const std::size_t size = store_.ImageSize();
        std::size_t first = 0;
        while (first < entries.size()) {
            const std::int64_t start = store_.FileOffset(entries[first]->position_);
            std::size_t end = first + 1;
            while (end < entries.size() && store_.FileOffset(entries[end]->position_) ==
                                               start + static_cast<std::int64_t>((end - first) * size)) {
                ++end;
            }
            writeBuffer_.resize((end - first) * size);
            for (std::size_t i = first; i < end; ++i) {
                entries[i]->Store(std::span<std::uint8_t>(writeBuffer_.data() + (i - first) * size, size));
            }
            store_.WriteImages(start, writeBuffer_.data(), writeBuffer_.size());
            for (std::size_t i = first; i < end; ++i) entries[i]->dirty_ = false;
            Written(std::span<Entry* const>(entries.data() + first, end - first));
            first = end;
        }
    }

    // Entries another cache on the same file wrote for this one, clean now: those of this cache become
    // candidates for reuse.
    void Written(std::span<Entry* const> entries) noexcept {
        for (Entry* entry : entries) {
            if (Owns(*entry)) MayBeReusable(*entry);
        }
    }

    // Another program changed the file: every entry is emptied in place (its pins, contents and position go)
    // and keeps its place in the list. Only entries that hold an image are visited: with several programs
    // writing, a drop follows almost every operation, and it should cost what was fetched since the last one,
    // not the whole cache.
    void Invalidate() {
        while (!index_.empty()) Empty(*index_.begin()->second);
    }

    // Visits only the slots pinned since the last unpin-all: a write unpins after every record, and a walk
    // over the whole cache would cost more than the write.
    void UnpinAll() noexcept {
        for (const std::uint32_t slot : pinnedSlots_) {
            slots_[slot].pinListed = false;
            if (Entry* entry = slots_[slot].entry.get()) {
                entry->pins_ = 0;
                MayBeReusable(*entry);
            }
        }
        pinnedSlots_.clear();
    }

    // Frees every entry; the capacity goes back to its base.
    void FreeAll() noexcept {
        while (oldest_ != nullptr) Free(AsEntry(*oldest_));
        dirtyListing_.slotsListed.clear();
        capacity_ = baseCapacity_;
    }

    // Frees the least recently used entries beyond the base capacity, which the capacity returns to. A kept
    // entry among them moves to the front first and stays; another goes in its place.
    void Trim(const Entry* keep = nullptr) noexcept {
        if (keep != nullptr && Owns(*keep) && count_ > baseCapacity_) {
            int place = 0;
            for (Node* node = newest_; node != keep; node = node->older_) ++place;
            if (place >= baseCapacity_) MoveToFront(*slots_[keep->slot_].entry);
        }
        while (count_ > baseCapacity_ && oldest_ != nullptr) Free(AsEntry(*oldest_));
        capacity_ = baseCapacity_;
    }

    // Visits every entry, most recently used first.
    template <class Visit>
    void ForEach(Visit&& visit) const {
        for (Node* node = newest_; node != nullptr; node = node->older_) visit(AsEntry(*node));
    }

    // The most recently used entry; null when the cache is empty.
    Entry* Front() const noexcept { return newest_ != nullptr ? &AsEntry(*newest_) : nullptr; }

    // Makes room in a full cache: the least recently used entry that is clean, unpinned and not being read
    // is emptied and moved to the front, and answered. When there is none, a write (as the policy says) frees
    // one, or the cache grows by its growth step under the transaction lock; raises the corrupt code when
    // nothing helps.
    Entry& Evict() {
        if (Entry* entry = TryTakeEntry()) return *entry;
        if (!store_.GrowInsteadOfWriting() && WriteAsPolicySays()) {
            if (Entry* entry = TryTakeEntry()) return *entry;
        }
        // An entry that became reusable unseen (a write that failed half-way told no other cache) is found
        // by looking at every entry once, before the cache grows or gives up.
        ListReusable();
        if (Entry* entry = TryTakeEntry()) return *entry;
        if (!store_.GrowInsteadOfWriting()) store_.RaiseCorrupt();
        capacity_ += growthStep_;
        return NewAtFront();
    }

private:
    using Node = TCacheEntry<Position>;
    friend class TCachePin<Entry>;

    // The write a full cache makes when nothing is reusable: answers whether anything was written.
    bool WriteAsPolicySays() {
        return policy_ == FullCachePolicy::WriteOldestDirty ? WriteOldestDirty() : Flush();
    }

    // Room for more entries in a cache with nothing reusable: a write as the policy says, or under the
    // transaction lock one growth step. Answers whether anything was written or added.
    bool MakeRoom() {
        if (!store_.GrowInsteadOfWriting()) return WriteAsPolicySays();
        if (growthStep_ <= 0) return false;
        capacity_ += growthStep_;
        return true;
    }

    // The slot table gives pins a place to look that stays when an entry is freed; a slot's generation moves
    // on whenever its entry is emptied, reused or freed.
    struct Slot {
        std::unique_ptr<Entry> entry;
        std::uint32_t generation = 0;
        // Listed in pinnedSlots_: an entry in this slot was pinned since the last unpin-all.
        bool pinListed = false;
    };

    // Clears the read-range marks of a multi-entry read when it ends, also on failure.
    class ReadRangeMarks {
    public:
        explicit ReadRangeMarks(TCache& cache) noexcept : cache_(cache) {}
        ~ReadRangeMarks() {
            for (Entry* entry : marked_) {
                entry->inReadRange_ = false;
                cache_.MayBeReusable(*entry);
            }
        }
        ReadRangeMarks(const ReadRangeMarks&) = delete;
        ReadRangeMarks& operator=(const ReadRangeMarks&) = delete;

        void Mark(Entry& entry) {
            if (entry.inReadRange_) return;
            entry.inReadRange_ = true;
            marked_.push_back(&entry);
        }

    private:
        TCache& cache_;
        std::vector<Entry*> marked_;
    };

    static Entry& AsEntry(Node& node) noexcept { return static_cast<Entry&>(node); }

    static bool Writable(const Entry& entry) noexcept {
        return entry.dirty_ && entry.pins_ == 0 && !entry.inReadRange_ && entry.position_ != Position{};
    }
    static bool Reusable(const Entry& entry) noexcept {
        return !entry.dirty_ && entry.pins_ == 0 && !entry.inReadRange_;
    }

    bool Owns(const Entry& entry) const noexcept {
        return entry.slot_ < slots_.size() && slots_[entry.slot_].entry.get() == &entry;
    }

    Entry* Resolve(std::uint32_t slot, std::uint32_t generation) const noexcept {
        if (slot >= slots_.size() || slots_[slot].generation != generation) return nullptr;
        return slots_[slot].entry.get();
    }

    [[noreturn]] void RaiseLost() const {
        store_.RaiseCorrupt();
        // An override that returned would break the store's contract.
        std::terminate();
    }

    void Unpin(Entry& entry) noexcept {
        if (entry.pins_ > 0 && --entry.pins_ == 0) MayBeReusable(entry);
    }

    Pin PinToFront(Entry& entry) {
        if (entry.pins_ >= MaxCachePins) store_.RaiseCorrupt();
        ++entry.pins_;
        Slot& slot = slots_[entry.slot_];
        if (!slot.pinListed) {
            slot.pinListed = true;
            pinnedSlots_.push_back(entry.slot_);
        }
        MoveToFront(entry);
        return Pin(this, entry.slot_, slots_[entry.slot_].generation);
    }

    void Place(Entry& entry, Position position) {
        entry.position_ = position;
        index_[position] = &entry;
    }

    // An entry whose Load refuses its image (a damaged image may raise) holds nothing afterwards, so that a
    // later fetch reads the file again instead of finding the entry empty.
    void LoadOrEmpty(Entry& entry, std::span<const std::uint8_t> image) {
        try {
            entry.Load(image);
        } catch (...) {
            Empty(entry);
            throw;
        }
    }

    // Resets an entry for reuse; pins to it go empty.
    void Empty(Entry& entry) {
        if (entry.position_ != Position{}) index_.erase(entry.position_);
        entry.Reset();
        entry.pins_ = 0;
        entry.dirty_ = false;
        entry.position_ = Position{};
        ++slots_[entry.slot_].generation;
        MayBeReusable(entry);
    }

    // An empty entry at the front: a new one while below capacity, else one made free by Evict.
    Entry& TakeEntry() {
        if (count_ < capacity_) return NewAtFront();
        return Evict();
    }

    // TakeEntry without writing or growing; null when nothing is free. The least recently used reusable
    // entry comes from the heap of candidates, so that a cache full of dirty entries (an exclusive table's
    // pages and records) is not walked whole for every entry taken.
    Entry* TryTakeEntry() {
        if (count_ < capacity_) return &NewAtFront();
        // One of the oldest entries is most often reusable (a scan; the cursor's record may stay pinned at
        // the back): taken at once, without the heap.
        int looked = 0;
        for (Node* node = oldest_; node != nullptr && looked < OldestLooks; node = node->newer_, ++looked) {
            if (Reusable(AsEntry(*node))) return &Take(AsEntry(*node));
        }
        if (listingLost_) ListReusable();
        while (!reusable_.empty()) {
            std::pop_heap(reusable_.begin(), reusable_.end(), std::greater<>());
            const auto [age, slot] = reusable_.back();
            reusable_.pop_back();
            Entry* entry = slots_[slot].entry.get();
            // A candidate that moved, changed or went since it was listed has a newer listing, or none.
            if (entry == nullptr || entry->age_ != age || !Reusable(*entry)) continue;
            return &Take(*entry);
        }
        return nullptr;
    }

    // Empties a reusable entry and moves it to the front. Taken for a new image at once, it is not listed
    // again on the way (its caller pins or marks it, which lists it again once that ends).
    Entry& Take(Entry& entry) {
        struct Taking {
            bool& flag;
            ~Taking() { flag = false; }
        } taking{taking_};
        taking_ = true;
        Empty(entry);
        MoveToFront(entry);
        return entry;
    }

    // Lists an entry that may have become reusable (new, at the front, unpinned, written, emptied or read)
    // as a candidate with its age. Stale listings are dropped when taken; when they outnumber the entries
    // the list is made again from the entries themselves.
    void MayBeReusable(Entry& entry) noexcept {
        if (taking_ || listingLost_ || !Reusable(entry)) return;
        try {
            if (reusable_.size() >= 2 * static_cast<std::size_t>(count_) + MinReuseListing) {
                ListReusable();
                return;
            }
            reusable_.emplace_back(entry.age_, entry.slot_);
            std::push_heap(reusable_.begin(), reusable_.end(), std::greater<>());
        } catch (...) {
            // Out of memory: the next search lists the entries anew instead.
            reusable_.clear();
            listingLost_ = true;
        }
    }

    // Drops from the dirty listing the slots whose entries are clean or gone, and second listings of a slot.
    // Each listed entry is unmarked on its first listing, so that a later one of the same slot is dropped.
    void CompactDirtyListing() noexcept {
        std::vector<std::uint32_t>& listed = dirtyListing_.slotsListed;
        std::size_t kept = 0;
        for (const std::uint32_t slot : listed) {
            Entry* const entry = slot < slots_.size() ? slots_[slot].entry.get() : nullptr;
            if (entry == nullptr || !entry->dirtyListed_) continue;
            entry->dirtyListed_ = false;
            if (entry->dirty_) listed[kept++] = slot;
        }
        listed.resize(kept);
        for (const std::uint32_t slot : listed) slots_[slot].entry->dirtyListed_ = true;
    }

    // Lists every dirty entry anew, after a listing failed.
    void ListDirty() {
        dirtyListing_.slotsListed.clear();
        dirtyListing_.lost = false;
        for (Node* node = newest_; node != nullptr; node = node->older_) {
            Entry& entry = AsEntry(*node);
            entry.dirtyListed_ = entry.dirty_;
            if (entry.dirty_) dirtyListing_.Add(entry.slot_);
        }
    }

    // Lists every reusable entry anew, dropping the stale listings.
    void ListReusable() {
        reusable_.clear();
        for (Node* node = oldest_; node != nullptr; node = node->newer_) {
            if (Reusable(AsEntry(*node))) reusable_.emplace_back(node->age_, node->slot_);
        }
        std::make_heap(reusable_.begin(), reusable_.end(), std::greater<>());
        listingLost_ = false;
    }

    Entry& NewAtFront() {
        std::unique_ptr<Entry> created = store_.NewEntry();
        std::uint32_t slot = 0;
        if (freeSlots_.empty()) {
            slot = static_cast<std::uint32_t>(slots_.size());
            slots_.emplace_back();
        } else {
            slot = freeSlots_.back();
            freeSlots_.pop_back();
        }
        Entry& entry = *created;
        entry.slot_ = slot;
        entry.dirtyListing_ = &dirtyListing_;
        slots_[slot].entry = std::move(created);
        // Slots of freed entries listed again by new ones: a cache that grows and trims without a flush does
        // not keep them all.
        if (dirtyListing_.slotsListed.size() >= 2 * static_cast<std::size_t>(count_) + MinDirtyListing) {
            CompactDirtyListing();
        }
        if (entry.dirty_ && !entry.dirtyListed_) {
            entry.dirtyListed_ = true;
            dirtyListing_.Add(slot);
        }
        Link(entry);
        ++count_;
        return entry;
    }

    void Free(Entry& entry) noexcept {
        if (entry.position_ != Position{}) index_.erase(entry.position_);
        Unlink(entry);
        --count_;
        Slot& slot = slots_[entry.slot_];
        ++slot.generation;
        freeSlots_.push_back(entry.slot_);
        slot.entry.reset();
    }

    void Link(Node& node) noexcept {
        node.age_ = ++clock_;
        node.older_ = newest_;
        node.newer_ = nullptr;
        if (newest_ != nullptr) newest_->newer_ = &node;
        newest_ = &node;
        if (oldest_ == nullptr) oldest_ = &node;
        MayBeReusable(AsEntry(node));
    }

    void Unlink(Node& node) noexcept {
        if (node.newer_ != nullptr) {
            node.newer_->older_ = node.older_;
        } else {
            newest_ = node.older_;
        }
        if (node.older_ != nullptr) {
            node.older_->newer_ = node.newer_;
        } else {
            oldest_ = node.newer_;
        }
        node.newer_ = node.older_ = nullptr;
    }

    void MoveToFront(Node& node) noexcept {
        if (newest_ == &node) return;
        Unlink(node);
        Link(node);
    }

    TCacheStore<Entry>& store_;
    int capacity_;
    int baseCapacity_;
    int growthStep_;
    FullCachePolicy policy_;
    int count_ = 0;
    // Declared before the slots: the entries point at it.
    TDirtyListing dirtyListing_;
    std::vector<Slot> slots_;
    std::vector<std::uint32_t> freeSlots_;
    // The slots pinned since the last unpin-all, each once.
    std::vector<std::uint32_t> pinnedSlots_;
    std::unordered_map<Position, Entry*> index_;
    Node* newest_ = nullptr;
    Node* oldest_ = nullptr;
    // The entries that were reusable when listed, as a heap of (age, slot) with the oldest on top: every
    // reusable entry is listed with its present age; listings whose entry moved or changed since are stale.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> reusable_;
    // A listing failed for want of memory: the next search lists anew.
    bool listingLost_ = false;
    // TryTakeEntry is emptying and moving the entry it takes.
    bool taking_ = false;
    // The age the next entry at the front gets.
    std::uint64_t clock_ = 0;
    std::vector<std::uint8_t> readBuffer_;
    std::vector<std::uint8_t> writeBuffer_;
};

}  // namespace engine
