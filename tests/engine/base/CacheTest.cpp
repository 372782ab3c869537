#include "engine/base/Cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "engine/base/FileBytes.h"
#include "engine/records/RecordNumbers.h"

namespace {

using engine::CacheSettings;
using engine::FullCachePolicy;
using engine::TCache;

using TestPosition = engine::StoredNumber<struct TestPositionTag>;

// Images of 8 bytes, one u64 each, after a 16-byte file header: position n lies at 16 + (n - 1) x 8, as slots
// lie in a record file.
constexpr std::size_t ImageBytes = 8;
constexpr std::int64_t FirstImage = 16;

struct CorruptCache {};
// An image the entry refuses to take, as a damaged page is refused.
struct RefusedImage {};
constexpr std::uint64_t BadImage = 0xBAD;

class TestEntry : public engine::TCacheEntry<TestPosition> {
public:
    std::uint64_t Value() const { return value_; }
    void SetValue(std::uint64_t value) {
        if (value == value_) return;
        value_ = value;
        MarkDirty();
    }
    void Reset() { value_ = 0; }
    void Load(std::span<const std::uint8_t> image) {
        if (engine::LoadU64(image.data()) == BadImage) throw RefusedImage{};
        value_ = engine::LoadU64(image.data());
    }
    void Store(std::span<std::uint8_t> image) const { engine::StoreU64(image.data(), value_); }

private:
    std::uint64_t value_ = 0;
};

using Cache = TCache<TestEntry>;
using Pin = Cache::Pin;

struct Write {
    std::int64_t offset;
    std::size_t length;
    friend bool operator==(const Write&, const Write&) = default;
};

// A file in memory whose image at position n holds 1000 + n until written.
class TestStore : public engine::TCacheStore<TestEntry> {
public:
    explicit TestStore(int images) : file(FirstImage + images * ImageBytes, 0) {
        for (int n = 1; n <= images; ++n) engine::StoreU64(At(n), 1000 + n);
    }

    std::unique_ptr<TestEntry> NewEntry() override { return std::make_unique<TestEntry>(); }
    std::size_t ImageSize() const override { return ImageBytes; }
    std::int64_t FileOffset(TestPosition p) const override { return FirstImage + (p.Value - 1) * ImageBytes; }
    TestPosition Advance(TestPosition p, std::int64_t images) const override {
        return TestPosition(static_cast<std::uint32_t>(p.Value + images));
    }
    std::size_t ReadImages(std::int64_t offset, std::uint8_t* buffer, std::size_t length,
                           std::size_t required) override {
        ++reads;
        const std::size_t available = offset >= static_cast<std::int64_t>(file.size())
                                          ? 0
                                          : file.size() - static_cast<std::size_t>(offset);
        const std::size_t got = std::min(length, available);
        if (got < required && refuseShort) throw CorruptCache{};
        std::memcpy(buffer, file.data() + offset, got);
        return got;
    }
    void WriteImages(std::int64_t offset, const std::uint8_t* buffer, std::size_t length) override {
        writes.push_back({offset, length});
        if (file.size() < offset + length) file.resize(offset + length);
        std::memcpy(file.data() + offset, buffer, length);
    }
    bool GrowInsteadOfWriting() const override { return inTransaction; }
    [[noreturn]] void RaiseCorrupt() const override { throw CorruptCache{}; }

    std::uint8_t* At(int n) { return file.data() + FirstImage + (n - 1) * ImageBytes; }
    std::uint64_t Stored(int n) { return engine::LoadU64(At(n)); }

    std::vector<std::uint8_t> file;
    std::vector<Write> writes;
    int reads = 0;
    bool inTransaction = false;
    bool refuseShort = false;
};

TestPosition P(std::uint32_t n) {
    return TestPosition(n);
}

// Positions from the front of the list to the back.
std::vector<std::uint32_t> Order(const Cache& cache) {
    std::vector<std::uint32_t> order;
    cache.ForEach([&](const TestEntry& e) { order.push_back(e.GetPosition().Value); });
    return order;
}

Pin ReadOne(Cache& cache, std::uint32_t n) {
    return cache.ReadRun(P(n), 1, P(n));
}

class CacheTest : public ::testing::Test {
protected:
    CacheTest() : store_(100), cache_(store_, {3, 5, FullCachePolicy::FlushAll}) {}

    TestStore store_;
    Cache cache_;
};

TEST_F(CacheTest, AHitMovesToTheFrontAndAMissFindsNothing) {
    ReadOne(cache_, 1);
    ReadOne(cache_, 2);
    ReadOne(cache_, 3);
    EXPECT_EQ(Order(cache_), (std::vector<std::uint32_t>{3, 2, 1}));
    Pin hit = cache_.Find(P(1));
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->Value(), 1001u);
    EXPECT_EQ(hit->PinCount(), 1);
    EXPECT_EQ(Order(cache_), (std::vector<std::uint32_t>{1, 3, 2}));
    EXPECT_FALSE(cache_.Find(P(4)));
    hit.Release();
    EXPECT_EQ(cache_.Peek(P(1))->PinCount(), 0);
}

TEST_F(CacheTest, AnAppendedEntryIsEmptyAndReadsNothing) {
    Pin appended = cache_.Append(P(101));
    EXPECT_EQ(appended->Value(), 0u);
    EXPECT_EQ(appended->GetPosition(), P(101));
    EXPECT_EQ(store_.reads, 0);
    EXPECT_EQ(cache_.Front(), appended.Get());
}

TEST_F(CacheTest, AnAppendReplacesAStaleEntryAtItsPosition) {
    // The file was cut below position 7 and grows again: the old image is no longer the file's.
    Pin stale = ReadOne(cache_, 7);
    Pin appended = cache_.Append(P(7));
    EXPECT_FALSE(stale);
    EXPECT_EQ(appended->Value(), 0u);
    EXPECT_EQ(cache_.Find(P(7)).Get(), appended.Get());
}

TEST_F(CacheTest, EvictionReusesTheOldestCleanUnpinnedEntry) {
    Pin pinned = ReadOne(cache_, 1);
    ReadOne(cache_, 2)->SetValue(7);
    ReadOne(cache_, 3);
    // 1 is pinned and 2 dirty: 3 makes room although it is the newest of them.
    ReadOne(cache_, 4);
    EXPECT_EQ(Order(cache_), (std::vector<std::uint32_t>{4, 2, 1}));
    EXPECT_TRUE(store_.writes.empty());
    EXPECT_EQ(cache_.Count(), 3);
}

TEST_F(CacheTest, WhenNothingIsCleanTheFlushAllPolicyWritesEverythingThenEvicts) {
    for (std::uint32_t n : {5u, 3u, 4u}) ReadOne(cache_, n)->SetValue(n * 10);
    ReadOne(cache_, 9);
    // One write of the run 3..5, then the least recently used entry (5) made room.
    EXPECT_EQ(store_.writes, (std::vector<Write>{{FirstImage + 2 * 8, 24}}));
    EXPECT_EQ(store_.Stored(3), 30u);
    EXPECT_EQ(store_.Stored(5), 50u);
    EXPECT_EQ(Order(cache_), (std::vector<std::uint32_t>{9, 4, 3}));
}

TEST_F(CacheTest, WhenNothingIsCleanTheWriteOldestPolicyWritesOneEntry) {
    Cache pages(store_, {3, 5, FullCachePolicy::WriteOldestDirty});
    for (std::uint32_t n : {5u, 3u, 4u}) ReadOne(pages, n)->SetValue(n * 10);
    ReadOne(pages, 9);
    EXPECT_EQ(store_.writes, (std::vector<Write>{{FirstImage + 4 * 8, 8}}));
    EXPECT_EQ(Order(pages), (std::vector<std::uint32_t>{9, 4, 3}));
    EXPECT_TRUE(pages.Peek(P(3))->Dirty());
}

TEST_F(CacheTest, AllPinnedIsCorruptOutsideATransactionAndGrowsInside) {
    std::vector<Pin> pins;
    for (std::uint32_t n = 1; n <= 3; ++n) pins.push_back(ReadOne(cache_, n));
    EXPECT_THROW(ReadOne(cache_, 4), CorruptCache);
    EXPECT_EQ(cache_.Count(), 3);

    store_.inTransaction = true;
    pins[0]->SetValue(1);
    pins.push_back(ReadOne(cache_, 4));
    EXPECT_EQ(cache_.Capacity(), 8);
    EXPECT_EQ(cache_.Count(), 4);
    // Under the transaction lock nothing is written, even with dirty entries to spare.
    pins.clear();
    for (std::uint32_t n = 5; n <= 9; ++n) ReadOne(cache_, n)->SetValue(n);
    EXPECT_EQ(cache_.Count(), 8);
    ReadOne(cache_, 10);
    EXPECT_EQ(cache_.Capacity(), 8);
    EXPECT_TRUE(store_.writes.empty());
}

TEST_F(CacheTest, TrimGoesBackToTheBaseCapacityAndSparesTheKeptEntry) {
    store_.inTransaction = true;
    std::vector<Pin> pins;
    for (std::uint32_t n = 1; n <= 6; ++n) pins.push_back(ReadOne(cache_, n));
    Pin kept = std::move(pins[0]);
    pins.clear();
    ASSERT_EQ(cache_.Count(), 6);
    cache_.Trim(kept.Get());
    EXPECT_EQ(Order(cache_), (std::vector<std::uint32_t>{1, 6, 5}));
    EXPECT_EQ(cache_.Capacity(), 3);
    EXPECT_TRUE(kept);
    // Without a kept entry the oldest go.
    cache_.FreeAll();
    EXPECT_EQ(cache_.Count(), 0);
    EXPECT_FALSE(kept);
}

TEST_F(CacheTest, SixtyFivePinsAreCorrupt) {
    std::vector<Pin> pins;
    for (int i = 0; i < engine::MaxCachePins; ++i) pins.push_back(ReadOne(cache_, 1));
    EXPECT_EQ(cache_.Peek(P(1))->PinCount(), 64);
    EXPECT_THROW(cache_.Find(P(1)), CorruptCache);
    EXPECT_EQ(cache_.Peek(P(1))->PinCount(), 64);
}

TEST_F(CacheTest, APinLosesAnEntryThatIsResetReusedOrFreed) {
    Pin invalidated = ReadOne(cache_, 1);
    invalidated->SetValue(5);
    cache_.Invalidate();
    EXPECT_FALSE(invalidated);
    EXPECT_THROW(invalidated->Value(), CorruptCache);
    // The entry stays in the list, empty and clean, and no longer found.
    EXPECT_EQ(Order(cache_), (std::vector<std::uint32_t>{0}));
    EXPECT_FALSE(cache_.Front()->Dirty());
    EXPECT_FALSE(cache_.Find(P(1)));

    Pin reused = ReadOne(cache_, 2);
    Pin holder = ReadOne(cache_, 3);
    cache_.UnpinAll();
    ReadOne(cache_, 4);
    ReadOne(cache_, 5);
    // 2 was evicted for 5; its old pin releases nothing, so 5 stays unpinned.
    EXPECT_FALSE(reused);
    reused.Release();
    EXPECT_EQ(cache_.Peek(P(5))->PinCount(), 0);
    EXPECT_TRUE(holder);
    EXPECT_EQ(holder->Value(), 1003u);
}

TEST_F(CacheTest, AnEntrySetAsideIsPinnedAgainOnlyWhileItHoldsItsImage) {
    Pin held = ReadOne(cache_, 1);
    held->SetValue(11);
    Cache::SetAside aside = cache_.PutAside(held);
    EXPECT_FALSE(held);
    EXPECT_EQ(cache_.Peek(P(1))->PinCount(), 0);
    // Unpinned, it is written by a flush.
    EXPECT_TRUE(cache_.Flush());
    held = cache_.TakeUp(aside);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->Value(), 11u);
    EXPECT_EQ(held->PinCount(), 1);
    EXPECT_EQ(cache_.Front(), held.Get());

    // Evicted and reused meanwhile, the entry holds another image: nothing is pinned.
    aside = cache_.PutAside(held);
    for (std::uint32_t n = 2; n <= 4; ++n) ReadOne(cache_, n);
    ASSERT_EQ(cache_.Peek(P(1)), nullptr);
    EXPECT_FALSE(cache_.TakeUp(aside));
    Pin empty;
    EXPECT_EQ(cache_.PutAside(empty).entry, nullptr);
    EXPECT_FALSE(cache_.TakeUp({}));
}

TEST_F(CacheTest, ARelocatedEntryIsFoundAtItsNewPositionOnly) {
    Pin moved = ReadOne(cache_, 1);
    Pin displaced = ReadOne(cache_, 2);
    cache_.Relocate(*moved, P(2));
    EXPECT_FALSE(displaced);
    EXPECT_FALSE(cache_.Find(P(1)));
    EXPECT_EQ(cache_.Find(P(2)).Get(), moved.Get());
    EXPECT_EQ(moved->Value(), 1001u);
}

TEST_F(CacheTest, AFlushWritesDirtyEntriesInAscendingRuns) {
    Cache big(store_, {20, 5, FullCachePolicy::FlushAll});
    Pin pinned;
    for (std::uint32_t n : {9u, 2u, 3u, 12u, 5u, 4u, 11u}) {
        Pin pin = ReadOne(big, n);
        pin->SetValue(n + 100);
        if (n == 11) pinned = std::move(pin);
    }
    ReadOne(big, 10);
    ASSERT_TRUE(big.Flush());
    // 2..5 in one write, 9 alone, 12 alone; 11 is pinned and waits, 10 is clean.
    EXPECT_EQ(store_.writes,
              (std::vector<Write>{{FirstImage + 8, 32}, {FirstImage + 64, 8}, {FirstImage + 88, 8}}));
    EXPECT_EQ(store_.Stored(4), 104u);
    EXPECT_EQ(store_.Stored(11), 1011u);
    EXPECT_FALSE(big.Peek(P(4))->Dirty());
    EXPECT_TRUE(big.Peek(P(11))->Dirty());
    store_.writes.clear();
    pinned.Release();
    ASSERT_TRUE(big.Flush());
    EXPECT_EQ(store_.writes, (std::vector<Write>{{FirstImage + 80, 8}}));
    EXPECT_FALSE(big.Flush());
}

TEST_F(CacheTest, AFailedWriteLeavesTheEntriesDirty) {
    struct FailingStore : TestStore {
        FailingStore() : TestStore(10) {}
        void WriteImages(std::int64_t, const std::uint8_t*, std::size_t) override { throw CorruptCache{}; }
    } store;
    Cache cache(store, {3, 5, FullCachePolicy::FlushAll});
    ReadOne(cache, 1)->SetValue(3);
    EXPECT_THROW(cache.Flush(), CorruptCache);
    EXPECT_TRUE(cache.Peek(P(1))->Dirty());
}

TEST_F(CacheTest, AReadRunKeepsPinnedAndDirtyEntriesAndLeavesTheWantedOneInFront) {
    Cache big(store_, {20, 5, FullCachePolicy::FlushAll});
    Pin pinned = ReadOne(big, 13);
    ReadOne(big, 12)->SetValue(7);
    ReadOne(big, 14);
    // The file changes under the cache: only clean, unpinned entries take the new images.
    for (int n = 10; n <= 15; ++n) engine::StoreU64(store_.At(n), 2000 + n);
    store_.reads = 0;
    Pin wanted = big.ReadRun(P(10), 6, P(10));
    ASSERT_TRUE(wanted);
    EXPECT_EQ(store_.reads, 1);
    EXPECT_EQ(wanted->Value(), 2010u);
    EXPECT_EQ(big.Peek(P(12))->Value(), 7u);
    EXPECT_EQ(big.Peek(P(13))->Value(), 1013u);
    EXPECT_EQ(big.Peek(P(14))->Value(), 2014u);
    EXPECT_EQ(big.Peek(P(15))->Value(), 2015u);
    // New entries went to the front from the far end down; cached ones kept their places.
    EXPECT_EQ(Order(big), (std::vector<std::uint32_t>{10, 11, 15, 14, 12, 13}));
    big.ForEach([](const TestEntry& e) { EXPECT_FALSE(e.InReadRange()); });
    EXPECT_EQ(wanted->PinCount(), 1);
    EXPECT_EQ(big.Peek(P(11))->PinCount(), 0);
}

TEST_F(CacheTest, ABackwardRunLeavesItsLastImageInFront) {
    Cache big(store_, {20, 5, FullCachePolicy::FlushAll});
    Pin wanted = big.ReadRun(P(20), 4, P(23));
    ASSERT_TRUE(wanted);
    EXPECT_EQ(wanted->Value(), 1023u);
    EXPECT_EQ(Order(big), (std::vector<std::uint32_t>{23, 22, 21, 20}));
}

TEST_F(CacheTest, AShortReadPlacesOnlyCompleteImages) {
    Cache big(store_, {20, 5, FullCachePolicy::FlushAll});
    store_.file.resize(store_.file.size() - 3);
    // Images 98, 99 and a partial 100.
    Pin wanted = big.ReadRun(P(98), 3, P(98));
    ASSERT_TRUE(wanted);
    EXPECT_EQ(Order(big), (std::vector<std::uint32_t>{98, 99}));
    EXPECT_FALSE(big.ReadRun(P(99), 2, P(100)));
    store_.refuseShort = true;
    EXPECT_THROW(big.ReadRun(P(100), 1, P(100)), CorruptCache);
    big.ForEach([](const TestEntry& e) { EXPECT_FALSE(e.InReadRange()); });
}

TEST_F(CacheTest, AReadRunLongerThanTheCleanEntriesMakesRoomOnceAsEvictionDoes) {
    struct Case {
        const char* what;
        FullCachePolicy policy;
        bool inTransaction;
        // The entries at 50, 51 and 52 before the run: pinned ones stay pinned through it.
        bool pinned;
        std::vector<std::uint32_t> order;
        std::vector<Write> writes;
        int capacity;
    };
    // A run of 6 from 1 into 4 entries that hold three dirty images (50, 51, 52): the wanted image takes the
    // fourth, the rest needs room that only a write (or growth) gives.
    const std::vector<Case> cases = {
        {"flush all: one write of 50..52, and three images placed from the far end",
         FullCachePolicy::FlushAll,
         false,
         false,
         {1, 4, 5, 6},
         {{FirstImage + 49 * 8, 24}},
         4},
        {"write oldest: the one write frees one entry",
         FullCachePolicy::WriteOldestDirty,
         false,
         false,
         {1, 6, 52, 51},
         {{FirstImage + 49 * 8, 8}},
         4},
        {"transaction: one growth step, nothing written",
         FullCachePolicy::FlushAll,
         true,
         false,
         {1, 2, 3, 4, 5, 6, 52, 51, 50},
         {},
         9},
        {"all pinned: nothing to write, the rest stays out",
         FullCachePolicy::FlushAll,
         false,
         true,
         {1, 52, 51, 50},
         {},
         4},
    };
    for (const Case& c : cases) {
        TestStore store(100);
        store.inTransaction = c.inTransaction;
        Cache cache(store, {4, 5, c.policy});
        std::vector<Pin> pins;
        for (std::uint32_t n = 50; n <= 52; ++n) {
            Pin pin = ReadOne(cache, n);
            pin->SetValue(n * 10);
            if (c.pinned) pins.push_back(std::move(pin));
        }
        Pin wanted = cache.ReadRun(P(1), 6, P(1));
        ASSERT_TRUE(wanted) << c.what;
        EXPECT_EQ(store.reads, 4) << c.what;
        EXPECT_EQ(wanted->Value(), 1001u) << c.what;
        EXPECT_EQ(Order(cache), c.order) << c.what;
        EXPECT_EQ(store.writes, c.writes) << c.what;
        EXPECT_EQ(cache.Capacity(), c.capacity) << c.what;
        // Every image placed holds the file's; every change is still cached or in the file.
        for (std::uint32_t n = 2; n <= 6; ++n) {
            if (const TestEntry* e = cache.Peek(P(n))) {
                EXPECT_EQ(e->Value(), 1000u + n) << c.what;
            }
        }
        for (std::uint32_t n = 50; n <= 52; ++n) {
            const TestEntry* e = cache.Peek(P(n));
            EXPECT_TRUE(e != nullptr ? e->Value() == n * 10 : store.Stored(static_cast<int>(n)) == n * 10)
                << c.what << " " << n;
        }
        cache.ForEach([](const TestEntry& e) { EXPECT_FALSE(e.InReadRange()); });
    }
}

TEST_F(CacheTest, AnImageTheEntryRefusesLeavesNothingCachedAtItsPosition) {
    Cache big(store_, {20, 5, FullCachePolicy::FlushAll});
    engine::StoreU64(store_.At(5), BadImage);
    EXPECT_THROW(ReadOne(big, 5), RefusedImage);
    EXPECT_EQ(big.Peek(P(5)), nullptr);
    // A cached entry whose image turns bad on a reload goes as well, and the next read sees the file again.
    ReadOne(big, 6);
    engine::StoreU64(store_.At(6), BadImage);
    EXPECT_THROW(big.ReadRun(P(6), 1, P(6)), RefusedImage);
    EXPECT_EQ(big.Peek(P(6)), nullptr);
    engine::StoreU64(store_.At(6), 77);
    EXPECT_EQ(ReadOne(big, 6)->Value(), 77u);
    big.ForEach([](const TestEntry& e) { EXPECT_FALSE(e.InReadRange()); });
}

TEST_F(CacheTest, EvictionAlwaysTakesTheLeastRecentlyUsedReusableEntry) {
    // Random reads, pins, changes, unpin-alls and flushes; each eviction must take what a walk from the back
    // of the list would take.
    Cache cache(store_, {8, 5, FullCachePolicy::FlushAll});
    std::mt19937 random(7);
    std::vector<Pin> pins;
    for (int step = 0; step < 3000; ++step) {
        const std::uint32_t n = 1 + random() % 30;
        switch (random() % 6) {
            case 0:
                if (!pins.empty()) pins.erase(pins.begin() + static_cast<std::ptrdiff_t>(random() % pins.size()));
                break;
            case 1:
                cache.UnpinAll();
                pins.clear();
                break;
            case 2:
                if (random() % 4 == 0) cache.Flush();
                break;
            default: {
                const TestEntry* expected = nullptr;
                if (cache.Peek(P(n)) == nullptr && cache.Count() == cache.Capacity()) {
                    std::vector<const TestEntry*> back;
                    cache.ForEach([&](const TestEntry& e) { back.push_back(&e); });
                    for (auto at = back.rbegin(); at != back.rend() && expected == nullptr; ++at) {
                        if (!(*at)->Dirty() && (*at)->PinCount() == 0) expected = *at;
                    }
                }
                const std::uint32_t evicted = expected != nullptr ? expected->GetPosition().Value : 0;
                Pin pin;
                try {
                    pin = ReadOne(cache, n);
                } catch (const CorruptCache&) {
                    // Everything pinned: nothing to evict, which the walk saw as well.
                    ASSERT_EQ(expected, nullptr) << step;
                    continue;
                }
                if (evicted != 0) ASSERT_EQ(cache.Peek(P(evicted)), nullptr) << step;
                if (random() % 3 == 0) pin->SetValue(step);
                if (random() % 2 == 0) pins.push_back(std::move(pin));
            }
        }
    }
}

TEST_F(CacheTest, AnEntryWrittenThroughAnotherCacheOfTheFileIsReusedWithoutAWrite) {
    // Two caches on one file, as the index file's lists are: one sorted write takes both caches' entries.
    Cache first(store_, {2, 5, FullCachePolicy::WriteOldestDirty});
    Cache second(store_, {2, 5, FullCachePolicy::WriteOldestDirty});
    ReadOne(first, 1)->SetValue(10);
    ReadOne(second, 2)->SetValue(20);
    ReadOne(second, 3)->SetValue(30);
    std::vector<TestEntry*> dirty;
    first.CollectDirty(dirty);
    second.CollectDirty(dirty);
    first.WriteSorted(dirty);
    second.Written(dirty);
    EXPECT_EQ(store_.writes, (std::vector<Write>{{FirstImage, 24}}));
    ReadOne(second, 9);
    EXPECT_EQ(store_.writes.size(), 1u);
    EXPECT_EQ(Order(second), (std::vector<std::uint32_t>{9, 3}));
}

// The entries a walk over the whole cache finds writable, by position.
std::vector<std::uint32_t> WritableByWalk(const Cache& cache) {
    std::vector<std::uint32_t> found;
    cache.ForEach([&](const TestEntry& e) {
        if (e.Dirty() && e.PinCount() == 0 && e.GetPosition() != TestPosition{}) found.push_back(e.GetPosition().Value);
    });
    std::sort(found.begin(), found.end());
    return found;
}

TEST_F(CacheTest, AFlushFindsEveryDirtyEntryAWalkOfTheWholeCacheFinds) {
    // Seeded pins, changes, appends, relocations, flushes (some failing), evictions, growth and trims,
    // invalidations and frees: whatever the cache went through, the entries a flush collects from its dirty
    // listing are exactly those a walk over every entry finds, each once, written in ascending order.
    struct FlakyStore : TestStore {
        FlakyStore() : TestStore(60) {}
        void WriteImages(std::int64_t offset, const std::uint8_t* buffer, std::size_t length) override {
            if (fail) throw CorruptCache{};
            TestStore::WriteImages(offset, buffer, length);
        }
        bool fail = false;
    } store;
    Cache cache(store, {8, 4, FullCachePolicy::FlushAll});
    std::mt19937 random(11);
    std::vector<Pin> pins;
    for (int step = 0; step < 6000; ++step) {
        const std::uint32_t n = 1 + random() % 60;
        store.fail = random() % 8 == 0;
        store.inTransaction = random() % 5 == 0;
        try {
            switch (random() % 12) {
                case 0:
                    if (!pins.empty()) pins.erase(pins.begin() + static_cast<std::ptrdiff_t>(random() % pins.size()));
                    break;
                case 1:
                    cache.UnpinAll();
                    pins.clear();
                    break;
                case 2: {
                    std::vector<TestEntry*> collected;
                    cache.CollectDirty(collected);
                    std::vector<std::uint32_t> positions;
                    for (const TestEntry* e : collected) positions.push_back(e->GetPosition().Value);
                    std::sort(positions.begin(), positions.end());
                    ASSERT_EQ(positions, WritableByWalk(cache)) << step;
                    store.writes.clear();
                    cache.WriteSorted(collected);
                    for (std::size_t i = 1; i < store.writes.size(); ++i) {
                        ASSERT_LT(store.writes[i - 1].offset, store.writes[i].offset) << step;
                    }
                    break;
                }
                case 3:
                    if (random() % 4 == 0) cache.Invalidate();
                    break;
                case 4:
                    if (random() % 3 == 0) {
                        pins.clear();
                        cache.UnpinAll();
                        if (random() % 2 == 0) {
                            cache.Trim();
                        } else {
                            store.fail = false;
                            cache.Flush();
                            cache.FreeAll();
                        }
                    }
                    break;
                case 5:
                    if (cache.Peek(P(n)) == nullptr) {
                        Pin pin = cache.Append(P(n));
                        pin->SetValue(5000 + step);
                    }
                    break;
                case 6:
                    if (TestEntry* e = cache.Peek(P(n)); e != nullptr && cache.Peek(P(n % 60 + 1)) == nullptr) {
                        cache.Relocate(*e, P(n % 60 + 1));
                    }
                    break;
                default: {
                    Pin pin = ReadOne(cache, n);
                    if (random() % 2 == 0) pin->SetValue(step);
                    if (random() % 3 == 0) pins.push_back(std::move(pin));
                }
            }
        } catch (const CorruptCache&) {
            // A failed write or a cache with nothing to give: the entries stay as they are.
        }
        std::vector<TestEntry*> collected;
        cache.CollectDirty(collected);
        std::vector<std::uint32_t> positions;
        for (const TestEntry* e : collected) positions.push_back(e->GetPosition().Value);
        std::sort(positions.begin(), positions.end());
        ASSERT_EQ(positions, WritableByWalk(cache)) << step;
    }
    pins.clear();
    cache.UnpinAll();
    store.fail = false;
    cache.Flush();
    EXPECT_TRUE(WritableByWalk(cache).empty());
}

}  // namespace
