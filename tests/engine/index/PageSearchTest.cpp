#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/index/Page.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::TPage;
using Key = std::vector<std::uint8_t>;

// Pages of one-byte keys in byte order.
engine::TPageFormat OneByteKeys() {
    engine::TPageFormat format;
    format.KeyLength = 1;
    return format;
}

Key K(int value) {
    return {static_cast<std::uint8_t>(value)};
}

// A leaf of the keys 10, 20, 30, 40, 50 with the records 5, 6, 7, 9, 8.
void FillLeaf(TPage& page) {
    page.SetPageType(engine::PageTypeLeaf);
    const std::uint32_t records[] = {5, 6, 7, 9, 8};
    for (std::size_t i = 0; i < 5; ++i) page.InsertEntry(i, K(10 * static_cast<int>(i + 1)), records[i]);
}

// A node of the keys 10, 20, 30 over 3, 4 and 5 keys.
void FillNode(TPage& page) {
    page.SetPageType(engine::PageTypeNode);
    for (std::size_t i = 0; i < 3; ++i)
        page.InsertEntry(i, K(10 * static_cast<int>(i + 1)), 4096 * (i + 1),
                         static_cast<std::uint32_t>(i + 3));
}

TEST(PageSearchTest, BinarySearchesInALeaf) {
    TPage page(OneByteKeys());
    FillLeaf(page);
    const struct {
        int key;
        std::uint16_t locate;
        bool found;
        std::uint16_t insert, nearest, notNearest, rangeStart, rangeEnd;
    } cases[] = {
        {5, 1, false, 0, 1, 1, 1, 1}, {10, 1, true, 1, 1, 1, 1, 1}, {25, 2, false, 2, 3, 2, 3, 2},
        {30, 3, true, 3, 3, 3, 3, 3}, {50, 5, true, 5, 5, 5, 5, 5}, {60, 5, false, 5, 5, 5, 5, 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(page.Locate(K(c.key)), c.found) << c.key;
        EXPECT_EQ(page.UpdateCursor, c.locate) << c.key;
        EXPECT_EQ(page.LocateNav(K(c.key), 1), c.found) << c.key;
        EXPECT_EQ(page.NavCursor, c.locate) << c.key;
        EXPECT_EQ(page.FindInsertPosition(K(c.key)), c.insert) << c.key;
        EXPECT_EQ(page.FindDeletePosition(K(c.key)), std::max<std::uint16_t>(c.insert, 1)) << c.key;
        std::int32_t ordinal = 100;
        EXPECT_EQ(page.SearchKey(K(c.key), ordinal, 1, true), c.found) << c.key;
        EXPECT_EQ(page.NavCursor, c.nearest) << c.key;
        EXPECT_EQ(ordinal, 100 + c.nearest - 1) << c.key;
        ordinal = 100;
        page.SearchKey(K(c.key), ordinal, 1, false);
        EXPECT_EQ(page.NavCursor, c.notNearest) << c.key;
        ordinal = 100;
        page.SeekRangeStart(K(c.key), ordinal);
        EXPECT_EQ(page.NavCursor, c.rangeStart) << c.key;
        EXPECT_EQ(ordinal, 100 + c.rangeStart - 1) << c.key;
        ordinal = 100;
        page.SeekOrdinalEnd(K(c.key), ordinal);
        EXPECT_EQ(page.NavCursor, c.rangeEnd) << c.key;
        EXPECT_EQ(ordinal, 100 + c.rangeEnd - 1) << c.key;
    }
    // A Locate hit in a node is no key of the index.
    TPage node(OneByteKeys());
    FillNode(node);
    EXPECT_FALSE(node.Locate(K(20)));
    EXPECT_EQ(node.UpdateCursor, 2);
}

TEST(PageSearchTest, SearchesInANodeCountTheKeysOfThePassedEntries) {
    TPage page(OneByteKeys());
    FillNode(page);
    const struct {
        int key;
        std::uint16_t cursor;
        std::int32_t before;
    } cases[] = {{5, 1, 0}, {10, 1, 0}, {25, 2, 3}, {35, 3, 7}};
    for (const auto& c : cases) {
        std::int32_t ordinal = 1;
        page.SearchKey(K(c.key), ordinal, 1, true);
        EXPECT_EQ(page.NavCursor, c.cursor) << c.key;
        EXPECT_EQ(ordinal, 1 + c.before) << c.key;
        ordinal = 1;
        page.SeekRangeStart(K(c.key), ordinal);
        EXPECT_EQ(page.NavCursor, c.cursor) << c.key;
        EXPECT_EQ(ordinal, 1 + c.before) << c.key;
    }
    EXPECT_EQ(page.KeyTotal(), 12u);
    page.UpdateCursor = 3;
    EXPECT_EQ(page.CountKeysBefore(true), 7u);
    EXPECT_EQ(page.GetEntryCount(), 5u);
    std::int32_t ordinal = 1;
    page.GoLastCounted(ordinal);
    EXPECT_EQ(page.NavCursor, 3);
    EXPECT_EQ(ordinal, 8);
}

TEST(PageSearchTest, ScanForKeyStopsAtTheKeyOrTheStopKey) {
    TPage leaf(OneByteKeys());
    FillLeaf(leaf);
    const struct {
        const char* what;
        int key, stop;
        bool nearest, found;
        std::uint16_t cursor;
    } cases[] = {
        {"equal", 30, 50, false, true, 3},
        {"nearest stays on the first above", 25, 50, true, false, 3},
        {"otherwise it steps back", 25, 50, false, false, 2},
        {"but not from entry 1", 5, 50, false, false, 1},
        {"past the stop key it steps back", 45, 35, true, false, 3},
        {"past the stop key at entry 1", 15, 5, true, false, 1},
        {"the last entry ends it", 60, 99, false, false, 5},
    };
    for (const auto& c : cases) {
        std::int32_t ordinal = 100;
        EXPECT_EQ(leaf.ScanForKey(K(c.key), K(c.stop), 1, c.nearest, ordinal), c.found) << c.what;
        EXPECT_EQ(leaf.NavCursor, c.cursor) << c.what;
        EXPECT_EQ(ordinal, 100 + c.cursor - 1) << c.what;
    }
    TPage node(OneByteKeys());
    FillNode(node);
    const struct {
        int key, stop;
        std::uint16_t cursor;
        std::int32_t before;
    } nodeCases[] = {{25, 99, 2, 3}, {20, 99, 2, 3}, {5, 99, 1, 0}, {35, 99, 3, 7}, {25, 15, 1, 0}};
    for (const auto& c : nodeCases) {
        std::int32_t ordinal = 1;
        EXPECT_FALSE(node.ScanForKey(K(c.key), K(c.stop), 1, true, ordinal)) << c.key;
        EXPECT_EQ(node.NavCursor, c.cursor) << c.key << " " << c.stop;
        EXPECT_EQ(ordinal, 1 + c.before) << c.key << " " << c.stop;
    }
}

TEST(PageSearchTest, VisibleRecordsAreFoundAndMarkedWithinTheBitmap) {
    TPage page(OneByteKeys());
    FillLeaf(page);
    // One byte: records 1 to 8; record 9 lies past it.
    std::array<std::uint8_t, 1> bits{};
    const auto only = [&](std::initializer_list<int> records) {
        bits = {};
        for (int r : records) bits[0] |= static_cast<std::uint8_t>(1 << (r - 1));
    };
    only({7, 8});
    page.NavCursor = 1;
    std::int32_t ordinal = 10;
    EXPECT_TRUE(page.SkipToVisibleForward(ordinal, bits));
    EXPECT_EQ(page.NavCursor, 3);
    EXPECT_EQ(ordinal, 12);
    page.NavCursor = 4;
    EXPECT_TRUE(page.SkipToVisibleForward(ordinal, bits));
    EXPECT_EQ(page.NavCursor, 5);
    EXPECT_EQ(ordinal, 13);
    only({5});
    page.NavCursor = 2;
    ordinal = 10;
    EXPECT_FALSE(page.SkipToVisibleForward(ordinal, bits));
    EXPECT_EQ(page.NavCursor, 5);
    EXPECT_EQ(ordinal, 13);
    only({6});
    ordinal = 10;
    EXPECT_TRUE(page.SkipToVisibleBackward(ordinal, bits));
    EXPECT_EQ(page.NavCursor, 2);
    EXPECT_EQ(ordinal, 7);
    only({});
    EXPECT_FALSE(page.SkipToVisibleBackward(ordinal, bits));
    EXPECT_EQ(page.NavCursor, 1);

    // From entry 2 up to the key 30: records 6 and 7; below 30 only record 6.
    page.NavCursor = 2;
    EXPECT_FALSE(page.MarkRecordsUpTo(K(30), 1, bits, 8));
    EXPECT_EQ(bits[0], 0x60);
    EXPECT_EQ(page.NavCursor, 4);
    bits = {};
    page.NavCursor = 2;
    EXPECT_FALSE(page.MarkRecordsUpTo(K(30), 1, bits, 8, false));
    EXPECT_EQ(bits[0], 0x20);
    EXPECT_EQ(page.NavCursor, 3);
    // Everything, with compare length 0 as well; record 9 lies past one byte and past a highest of 8.
    std::array<std::uint8_t, 2> wide{};
    page.NavCursor = 1;
    EXPECT_TRUE(page.MarkRecordsUpTo(K(0), 0, wide, 9));
    EXPECT_EQ(wide[0], 0xF0);
    EXPECT_EQ(wide[1], 0x01);
    page.NavCursor = 1;
    EXPECT_EQ(EngineCode([&] { page.MarkRecordsUpTo(K(99), 1, bits, 9); }), engine::ErrIndexPagesCorrupt);
    page.NavCursor = 1;
    EXPECT_EQ(EngineCode([&] { page.MarkRecordsUpTo(K(99), 1, wide, 8); }), engine::ErrIndexPagesCorrupt);
}

TEST(PageSearchTest, EntriesBelowAKeyCountARunOfEqualPrefixesWhole) {
    TPage leaf(OneByteKeys());
    FillLeaf(leaf);
    const struct {
        int key;
        std::size_t compareLength;
        std::uint16_t below, notAbove;
    } cases[] = {{30, 1, 2, 3}, {25, 1, 2, 2}, {5, 1, 0, 0}, {60, 1, 5, 5}, {30, 0, 0, 5}};
    for (const auto& c : cases) {
        EXPECT_EQ(leaf.CountEntriesBelow(K(c.key), c.compareLength, false), c.below) << c.key;
        EXPECT_EQ(leaf.CountEntriesBelow(K(c.key), c.compareLength, true), c.notAbove) << c.key;
    }
    // Two-byte keys compared over their first byte: the run of 2s is passed or taken whole.
    engine::TPageFormat format;
    format.KeyLength = 2;
    TPage pairs(format);
    pairs.SetPageType(engine::PageTypeLeaf);
    const Key keys[] = {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {2, 3}, {3, 1}};
    for (std::size_t i = 0; i < 6; ++i) pairs.InsertEntry(i, keys[i], static_cast<std::uint32_t>(i + 1));
    EXPECT_EQ(pairs.CountEntriesBelow(Key{2, 9}, 1, false), 2);
    EXPECT_EQ(pairs.CountEntriesBelow(Key{2, 0}, 1, true), 5);
}

TEST(PageSearchTest, ContiguousRunsFollowTheRecordNumbers) {
    TPage page(OneByteKeys());
    FillLeaf(page);
    const struct {
        std::uint16_t cursor;
        std::uint32_t max;
        int direction;
        std::uint32_t run;
    } cases[] = {{1, 10, 1, 3}, {1, 2, 1, 2}, {2, 10, 1, 2}, {4, 10, -1, 2}, {4, 10, 1, 1}, {5, 10, 1, 1}};
    for (const auto& c : cases) {
        page.UpdateCursor = c.cursor;
        EXPECT_EQ(page.GetContiguousRun(c.max, c.direction), c.run) << c.cursor << " " << c.max;
    }
}

TEST(PageSearchTest, CursorOperations) {
    TPage page(OneByteKeys());
    page.SetPageType(engine::PageTypeNode);
    EXPECT_EQ(page.GetEntryPointer(), 0u);
    EXPECT_EQ(page.GetEntryCount(), 0u);
    page.UpdateCursor = 0;
    page.InsertKeyAt(K(20));
    EXPECT_EQ(page.UpdateCursor, 1);
    page.SetEntryPointer(8192);
    page.SetEntryCount(4);
    page.UpdateCursor = 0;
    page.InsertKeyAt(K(10));
    page.SetEntryCount(2);
    page.LastEntry(true);
    page.InsertKeyAt(K(30));
    EXPECT_EQ(page.UpdateCursor, 3);
    EXPECT_EQ(page.Key(0)[0], 10);
    EXPECT_EQ(page.Entry(1).Pointer, 8192u);
    EXPECT_EQ(page.CountKeysBefore(true), 6u);
    page.SetCurrentKey(K(35));
    EXPECT_EQ(page.GetEntryKey(true)[0], 35);
    EXPECT_FALSE(page.NextEntry(true));
    page.SyncNavCursor();
    EXPECT_EQ(page.NavCursor, 3);
    EXPECT_TRUE(page.PriorEntry(false));
    page.SyncUpdateCursor();
    EXPECT_EQ(page.UpdateCursor, 2);
    page.FirstEntry(true);
    EXPECT_FALSE(page.PriorEntry(true));
    page.LastEntry(true);
    page.RemoveCurrentEntry();
    EXPECT_EQ(page.UpdateCursor, 2);
    EXPECT_EQ(page.Count(), 2);
    page.UpdateCursor = 7;
    EXPECT_EQ(EngineCode([&] { page.GetEntryPointer(); }), engine::ErrIndexPagesCorrupt);
}

TEST(PageSearchTest, APageWithoutEntriesCannotBeSearched) {
    TPage page(OneByteKeys());
    page.SetPageType(engine::PageTypeLeaf);
    std::int32_t ordinal = 1;
    std::array<std::uint8_t, 1> bits{};
    EXPECT_EQ(EngineCode([&] { page.Locate(K(1)); }), engine::ErrIndexPagesCorrupt);
    EXPECT_EQ(EngineCode([&] { page.SearchKey(K(1), ordinal, 1, true); }), engine::ErrIndexPagesCorrupt);
    EXPECT_EQ(EngineCode([&] { page.ScanForKey(K(1), K(2), 1, true, ordinal); }),
              engine::ErrIndexPagesCorrupt);
    EXPECT_EQ(EngineCode([&] { page.SkipToVisibleForward(ordinal, bits); }), engine::ErrIndexPagesCorrupt);
    EXPECT_EQ(EngineCode([&] { page.MarkRecordsUpTo(K(1), 1, bits, 8); }), engine::ErrIndexPagesCorrupt);
    EXPECT_EQ(EngineCode([&] { page.GetContiguousRun(5, 1); }), engine::ErrIndexPagesCorrupt);
}

}  // namespace
