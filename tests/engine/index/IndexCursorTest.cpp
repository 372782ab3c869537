#include "engine/index/IndexCursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/base/Bitmap.h"
#include "engine/base/EngineError.h"
#include "engine/index/IndexFile.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"
#include "tests/engine/support/IndexTestTable.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using engine::SlotNumber;
using Key = std::vector<std::uint8_t>;

// Trees whose keys stand for no records live apart from the clean check of the tables a test leaves.
const std::string TreeName = "cursor/t";

Key KeyOf(std::span<const std::uint8_t> bytes) {
    return Key(bytes.begin(), bytes.end());
}

// A bitmap of the records for a table of h physical records (h div 8 + 1 bytes).
std::vector<std::uint8_t> Bitmap(std::uint32_t h, const std::vector<std::uint32_t>& records) {
    std::vector<std::uint8_t> bits(h / 8 + 1, 0);
    for (const std::uint32_t record : records) engine::BitmapSetBit(record, bits.data());
    return bits;
}

// ---- The model: a sorted vector of keys and a cursor on it ----

enum class TreeKind { Unique600, Duplicates9, Descending600 };

struct ModelKey {
    Key key;
    std::uint32_t record = 0;
};

// Where the cursor of the model stands: an entry of the vector (none: -1) and the two flags.
struct ModelCursor {
    std::int64_t pos = -1;
    bool beforeFirst = true;
    bool afterLast = true;
};

class Model {
public:
    Model(std::vector<ModelKey> keys, bool descending, std::vector<bool> visible)
        : keys_(std::move(keys)), descending_(descending), visible_(std::move(visible)) {
        std::sort(keys_.begin(), keys_.end(), [&](const ModelKey& a, const ModelKey& b) {
            return Compare(a.key, b.key, a.key.size()) < 0;
        });
        if (visible_.empty()) visible_.assign(keys_.size() + 1, true);
    }

    int Compare(const Key& a, const Key& b, std::size_t length) const {
        const int order = std::memcmp(a.data(), b.data(), length);
        const int sign = order < 0 ? -1 : order > 0 ? 1 : 0;
        return descending_ ? -sign : sign;
    }
    std::int64_t Size() const { return static_cast<std::int64_t>(keys_.size()); }
    const ModelKey& At(std::int64_t i) const { return keys_[static_cast<std::size_t>(i)]; }
    bool Visible(std::int64_t i) const { return visible_[At(i).record]; }
    std::int64_t NextVisible(std::int64_t from) const {
        for (std::int64_t i = from; i < Size(); ++i)
            if (Visible(i)) return i;
        return -1;
    }
    std::int64_t PriorVisible(std::int64_t from) const {
        for (std::int64_t i = std::min(from, Size() - 1); i >= 0; --i)
            if (Visible(i)) return i;
        return -1;
    }
    // The first entry not below the key over the length.
    std::int64_t LowerBound(const Key& key, std::size_t length) const {
        return std::partition_point(keys_.begin(), keys_.end(),
                                    [&](const ModelKey& k) { return Compare(k.key, key, length) < 0; }) -
               keys_.begin();
    }
    std::int64_t IndexOf(const Key& key) const { return LowerBound(key, key.size()); }

    void First(ModelCursor& c) const { Set(c, NextVisible(0), false, false); }
    void Last(ModelCursor& c) const { Set(c, PriorVisible(Size() - 1), false, false); }
    void MoveBy(ModelCursor& c, std::int64_t n) const {
        if (n == 0) return;
        if (c.pos < 0) {
            n > 0 ? First(c) : Last(c);
            if (c.pos >= 0) MoveBy(c, n > 0 ? n - 1 : n + 1);
            return;
        }
        std::int64_t p = c.pos;
        for (std::int64_t left = n > 0 ? n : -n; left > 0; --left) {
            const std::int64_t q = n > 0 ? NextVisible(p + 1) : PriorVisible(p - 1);
            if (q < 0) {
                Set(c, n > 0 ? PriorVisible(Size() - 1) : NextVisible(0), n<0, n> 0);
                return;
            }
            p = q;
        }
        Set(c, p, false, false);
    }
    void GotoOrdinal(ModelCursor& c, std::int64_t n) const {
        const std::int64_t first = NextVisible(0);
        const std::int64_t last = PriorVisible(Size() - 1);
        if (first < 0) return Set(c, -1, true, true);
        if (n < first + 1) return Set(c, first, true, false);
        if (n > last + 1) return Set(c, last, false, true);
        Set(c, NextVisible(n - 1), false, false);
    }
    // The unique-key case: the entry sought is the only one equal over the length.
    bool FindKey(ModelCursor& c, const Key& key, bool nearest, std::size_t length) const {
        const std::int64_t at = LowerBound(key, length);
        const bool equal = at < Size() && Compare(At(at).key, key, length) == 0;
        if (equal && Visible(at)) {
            Set(c, at, false, false);
            return true;
        }
        if (!nearest) return false;
        const std::int64_t next = NextVisible(at);
        if (next >= 0) {
            Set(c, next, false, false);
        } else {
            Set(c, PriorVisible(Size() - 1), false, true);
        }
        return false;
    }

private:
    static void Set(ModelCursor& c, std::int64_t pos, bool beforeFirst, bool afterLast) {
        c = pos < 0 ? ModelCursor{} : ModelCursor{pos, beforeFirst, afterLast};
    }

    std::vector<ModelKey> keys_;
    bool descending_;
    std::vector<bool> visible_;
};

// ---- Trees of keys that stand for no records ----

class CursorTreeTest : public TableTest {
protected:
    // A table whose records 1 .. count exist as slots, and an index holding one key per record: K = 600
    // unique (optionally a descending index), or K = 9 non-unique with about 20 records per value. The
    // table is open exclusively on that index.
    void Build(TreeKind kind, std::uint8_t compression, std::uint32_t count) {
        fs::create_directories("cursor");
        kind_ = kind;
        std::vector<engine::TFieldDesc> fields;
        std::vector<engine::TIndexDescriptor> indexes;
        if (kind == TreeKind::Duplicates9) {
            fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                      FieldDef(2, "V", engine::FieldTypeInteger)};
            indexes = {IndexDef("", {1}), IndexDef("ByV", {2})};
            indexes[1].Compression = compression;
        } else {
            fields = KeyFields(600);
            engine::TIndexDescriptor primary;
            for (std::size_t i = 0; i < fields.size(); ++i)
                primary.FieldNumbers[i] = static_cast<std::uint16_t>(i + 1);
            primary.FieldCount = static_cast<std::uint8_t>(fields.size());
            primary.Compression = compression;
            primary.Descending = kind == TreeKind::Descending600 ? 1 : 0;
            indexes = {primary};
        }
        CreateTable(TreeName, fields, indexes);
        AppendActiveSlots(TreeName + ".DAT", static_cast<int>(count));
        table_.SetFileName(TreeName);
        table_.SetExclusive(true);
        table_.Open();
        // The slots came with keys of their own: the index starts empty.
        Index().Truncate();
        const int slot = kind == TreeKind::Duplicates9 ? 1 : 0;
        Index().SelectIndex(slot);
        k_ = Index().CurrentSettings().KeyLength;

        std::vector<std::uint32_t> order(count);
        for (std::uint32_t i = 0; i < count; ++i) order[i] = i + 1;
        std::shuffle(order.begin(), order.end(), std::mt19937(count + compression));
        std::vector<ModelKey> keys;
        for (const std::uint32_t record : order) {
            const Key key = KeyFor(record);
            Index().InsertKey(key, SlotNumber(record));
            Index().IncRecordCount();
            keys.push_back({key, record});
        }
        Index().ComputeRangeOrdinals();
        keys_ = keys;
        count_ = count;
    }

    // The key of a record; the values run in steps of 2, so that odd ones lie between keys.
    Key KeyFor(std::uint32_t record) const {
        if (kind_ != TreeKind::Duplicates9) return TreeKey(600, 2 * record);
        return DupKey(2 * (record * 7919 % (count_ / 20 + 1)), record);
    }
    Key DupKey(std::uint32_t value, std::uint32_t suffix) const {
        Key key(9, 0);
        key[0] = 1;
        for (int i = 0; i < 4; ++i) {
            key[1 + i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
            key[5 + i] = static_cast<std::uint8_t>(suffix >> (8 * (3 - i)));
        }
        return key;
    }
    // A key not in the index, n from 0 to count: below every key (0), between the keys of record n's value
    // and the next, or above every key.
    Key AbsentKey(std::uint32_t n) const {
        if (kind_ != TreeKind::Duplicates9) return TreeKey(600, 2 * n + 1);
        return DupKey(2 * n + 1, 0);
    }

    std::size_t Depth() {
        std::size_t depth = 1;
        engine::PagePin page = Index().FetchPage(Index().GetRootPosition());
        while (!page->IsLeaf()) {
            page = Index().FetchPage(engine::PageOffset(page->Entry(0).Pointer));
            ++depth;
        }
        return depth;
    }

    engine::TIndexFile& Index() { return table_.IndexFile(); }

    // The index cursor agrees with the model's.
    ::testing::AssertionResult Agrees(const Model& model, const ModelCursor& c) {
        engine::TIndexFile& index = Index();
        const auto fail = [&](const std::string& what) {
            return ::testing::AssertionFailure()
                   << what << " (model at " << c.pos << " " << c.beforeFirst << c.afterLast
                   << "; cursor ordinal " << index.GetOrdinal() << " flags " << index.BeforeFirst()
                   << index.AfterLast() << ")";
        };
        if (c.pos < 0) {
            if (!index.GetCurrentKey().empty() || !index.BeforeFirst() || !index.AfterLast() ||
                index.GetOrdinal() != 0) {
                return fail("a position where the model has none");
            }
            return ::testing::AssertionSuccess();
        }
        if (KeyOf(index.GetCurrentKey()) != model.At(c.pos).key) {
            const Key got = KeyOf(index.GetCurrentKey());
            const Key& want = model.At(c.pos).key;
            std::string d;
            for (int i = 0; i < 8 && i < (int)got.size(); ++i)
                d += std::to_string(got[i]) + "/" + std::to_string(want[i]) + " ";
            return fail("another key " + d + std::to_string(got.size()));
        }
        if (index.GetCurrentRecordNumber() != SlotNumber(model.At(c.pos).record))
            return fail("another record");
        if (index.GetOrdinal() != c.pos + 1) return fail("another ordinal");
        if (index.BeforeFirst() != c.beforeFirst || index.AfterLast() != c.afterLast)
            return fail("other flags");
        return ::testing::AssertionSuccess();
    }

    engine::TDataFile table_;
    TreeKind kind_ = TreeKind::Unique600;
    std::uint16_t k_ = 0;
    std::uint32_t count_ = 0;
    std::vector<ModelKey> keys_;
};

class CursorModelTest : public CursorTreeTest,
                        public ::testing::WithParamInterface<std::tuple<TreeKind, int, bool>> {};

TEST_P(CursorModelTest, EveryOperationLandsWhereTheModelSays) {
    const auto [kind, compression, bitmapMode] = GetParam();
    // Enough keys for three levels: compressed short keys fill a leaf with several hundred.
    const std::uint32_t count = kind != TreeKind::Duplicates9 ? 600 : compression == 0 ? 50000 : 160000;
    Build(kind, static_cast<std::uint8_t>(compression), count);
    ASSERT_GE(Depth(), 3u);
    std::mt19937 random(count * 3 + compression);
    // In bitmap mode about a third of the records are visible, so that hidden keys gather at page ends too.
    std::vector<bool> visible(count + 1, !bitmapMode);
    if (bitmapMode) {
        std::vector<std::uint32_t> shown;
        for (std::uint32_t r = 1; r <= count; ++r) {
            if (random() % 3 == 0) {
                shown.push_back(r);
                visible[r] = true;
            }
        }
        Index().SetVisibleRecords(Bitmap(count, shown), true);
        ASSERT_TRUE(Index().BitmapMode());
    }
    const Model model(keys_, kind == TreeKind::Descending600, visible);
    ModelCursor c;
    const std::int64_t n = model.Size();
    const auto check = [&](const std::string& what) { ASSERT_TRUE(Agrees(model, c)) << what; };

    Index().First();
    model.First(c);
    check("First");
    Index().Last();
    model.Last(c);
    check("Last");
    // Ordinals 0 .. count + 1 (a sample of them in the large tree).
    const std::int64_t stride = n > 1000 ? 97 : 1;
    for (std::int64_t o = 0; o <= n + 1; o += (o < 3 || o > n - 3) ? 1 : stride) {
        Index().GotoOrdinal(static_cast<std::int32_t>(o));
        model.GotoOrdinal(c, o);
        check("GotoOrdinal " + std::to_string(o));
    }
    // Every key between two keys (between leaves among them), found with nearest and without.
    const std::uint32_t values = kind == TreeKind::Duplicates9 ? count / 20 + 1 : count;
    for (std::uint32_t v = 0; v <= values; v += n > 1000 ? 7 : 1) {
        const Key absent = AbsentKey(v);
        ModelCursor before = c;
        ASSERT_FALSE(Index().FindKey(absent, false, false, k_)) << v;
        model.FindKey(before, absent, false, k_);
        ASSERT_TRUE(Agrees(model, before)) << "absent, not nearest " << v;
        EXPECT_EQ(Index().FindKey(absent, true, false, k_), model.FindKey(c, absent, true, k_));
        check("absent, nearest " + std::to_string(v));
    }
    // Random moves and searches.
    for (int step = 0; step < 600; ++step) {
        switch (random() % 6) {
            case 0: {
                const std::int64_t by = static_cast<std::int64_t>(random() % 7) - 3;
                Index().MoveBy(static_cast<std::int32_t>(by));
                model.MoveBy(c, by);
                check("MoveBy " + std::to_string(by));
                break;
            }
            case 1: {
                // Far moves, past both ends too.
                const std::int64_t by = static_cast<std::int64_t>(random() % (2 * n + 40)) - n - 20;
                Index().MoveBy(static_cast<std::int32_t>(by));
                model.MoveBy(c, by);
                check("MoveBy " + std::to_string(by));
                break;
            }
            case 2: {
                const ModelKey& target = model.At(random() % n);
                const bool nearest = random() % 2 == 0;
                const bool found = Index().FindKey(target.key, nearest, false, k_);
                EXPECT_EQ(found, model.FindKey(c, target.key, nearest, k_));
                check("FindKey present");
                break;
            }
            case 3: {
                const std::int64_t o = static_cast<std::int64_t>(random() % (n + 2));
                Index().GotoOrdinal(static_cast<std::int32_t>(o));
                model.GotoOrdinal(c, o);
                check("GotoOrdinal " + std::to_string(o));
                break;
            }
            case 4: {
                // The compare length without the record-ID suffix.
                if (bitmapMode) break;
                const ModelKey& target = model.At(random() % n);
                Key prefix = target.key;
                std::fill(prefix.end() - 4, prefix.end(), 0);
                ASSERT_TRUE(Index().FindKey(prefix, true, false, static_cast<std::uint16_t>(k_ - 4)));
                const Key reached = KeyOf(Index().GetCurrentKey());
                ASSERT_EQ(std::memcmp(reached.data(), target.key.data(), k_ - 4u), 0);
                c = {model.IndexOf(reached), false, false};
                check("FindKey over K - 4");
                break;
            }
            default:
                if (random() % 2) {
                    Index().First();
                    model.First(c);
                } else {
                    Index().Last();
                    model.Last(c);
                }
                check("First or Last");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Trees, CursorModelTest,
                         ::testing::Combine(::testing::Values(TreeKind::Unique600, TreeKind::Duplicates9,
                                                              TreeKind::Descending600),
                                            ::testing::Values(0, 3), ::testing::Bool()));

TEST_F(CursorTreeTest, NothingVisibleLeavesNoPosition) {
    Build(TreeKind::Unique600, 0, 600);
    Index().GotoOrdinal(10);
    Index().SetVisibleRecords(Bitmap(600, {}), true);
    const ModelCursor none;
    const Model model(keys_, false, std::vector<bool>(601, false));
    Index().MoveBy(1);
    EXPECT_TRUE(Agrees(model, none));
    Index().First();
    EXPECT_TRUE(Agrees(model, none));
    EXPECT_FALSE(Index().FindKey(keys_[0].key, true, false, k_));
    EXPECT_TRUE(Agrees(model, none));
    EXPECT_EQ(Index().GetKeyCount(), 0u);
}

TEST_F(CursorTreeTest, RangesHoldWhatABruteForceCountFinds) {
    Build(TreeKind::Unique600, 0, 600);
    const Model model(keys_, false, {});
    std::mt19937 random(77);
    // Bounds on keys, between keys (and leaves), below and above them all.
    const auto bound = [&]() {
        const std::uint32_t n = random() % 603;
        return random() % 2 ? TreeKey(600, 2 * std::min(n, 600u)) : TreeKey(600, 2 * n + 1);
    };
    for (int round = 0; round < 300; ++round) {
        const Key start = bound();
        const Key end = bound();
        Index().SetRangeStart(start);
        Index().SetRangeEnd(end);
        Index().ApplyRange();
        Index().ComputeRangeOrdinals();
        const std::int64_t first = model.LowerBound(start, k_);
        std::int64_t inside = 0;
        for (std::int64_t i = first; i < model.Size() && model.Compare(model.At(i).key, end, k_) <= 0; ++i)
            ++inside;
        ASSERT_EQ(Index().GetKeyCount(), static_cast<std::uint32_t>(inside)) << round;
        Index().First();
        if (inside == 0) {
            EXPECT_TRUE(Index().GetCurrentKey().empty()) << round;
            EXPECT_EQ(Index().GetOrdinal(), 0);
            continue;
        }
        ASSERT_EQ(KeyOf(Index().GetCurrentKey()), model.At(first).key) << round;
        EXPECT_EQ(Index().GetOrdinal(), 1);
        Index().Last();
        ASSERT_EQ(KeyOf(Index().GetCurrentKey()), model.At(first + inside - 1).key) << round;
        EXPECT_EQ(Index().GetOrdinal(), inside);
        const std::int64_t o = 1 + static_cast<std::int64_t>(random() % inside);
        Index().GotoOrdinal(static_cast<std::int32_t>(o));
        EXPECT_EQ(KeyOf(Index().GetCurrentKey()), model.At(first + o - 1).key) << round;
        // A key outside the range gives an end of it.
        EXPECT_FALSE(Index().FindKey(TreeKey(600, 1500), true, false, k_));
        EXPECT_EQ(KeyOf(Index().GetCurrentKey()), model.At(first + inside - 1).key) << round;
        // A key sought just past the range's last key gives that key, wherever the leaves happen to end.
        const auto past = static_cast<std::uint32_t>(2 * (first + inside) + 1);
        EXPECT_FALSE(Index().FindKey(TreeKey(600, past), true, false, k_));
        EXPECT_EQ(KeyOf(Index().GetCurrentKey()), model.At(first + inside - 1).key) << round;
    }
}

TEST_F(CursorTreeTest, DamagedSiblingLinksGive8965WithoutHanging) {
    Build(TreeKind::Unique600, 0, 600);
    const auto leafOf = [&](std::int32_t ordinal) {
        Index().GotoOrdinal(ordinal);
        return Index().CurrentPage()->GetPosition();
    };
    const engine::PageOffset firstLeaf = leafOf(1);
    const engine::PageOffset lastLeaf = leafOf(600);
    // The last leaf links on to the first: a walk forward runs in a circle.
    Index().FetchPage(lastLeaf)->SetNext(firstLeaf);
    Index().GotoOrdinal(590);
    EXPECT_EQ(EngineCode([&] { Index().MoveBy(std::numeric_limits<std::int32_t>::max()); }),
              engine::ErrIndexPagesCorrupt);
    // A link to a page without entries.
    engine::PagePin empty = Index().AllocatePage();
    empty->SetPageType(engine::PageTypeLeaf);
    const engine::PageOffset emptyAt = empty->GetPosition();
    empty.Release();
    Index().FetchPage(lastLeaf)->SetNext(emptyAt);
    Index().GotoOrdinal(599);
    EXPECT_EQ(EngineCode([&] { Index().MoveBy(5); }), engine::ErrIndexPagesCorrupt);
    // A node entry leading to it: the leaf reached by a descent has no entries.
    engine::PagePin root = Index().FetchPage(Index().GetRootPosition());
    engine::PagePin node = Index().FetchPage(engine::PageOffset(root->Entry(0).Pointer));
    root.Release();
    ASSERT_FALSE(node->IsLeaf());
    const Key first = KeyOf(node->Key(0));
    node->SetEntry(0, first, emptyAt.Value, node->Entry(0).Count);
    node.Release();
    EXPECT_EQ(EngineCode([&] { Index().First(); }), engine::ErrIndexPagesCorrupt);
    // The damage stays in the cache: the file is never written.
    table_.DiscardBuffers(false);
}

// ---- Records through the record layers ----

class IndexCursorTest : public TableTest {
protected:
    // "t": ID (primary), NAME (string of 100, non-unique secondary "ByName": 36 keys a leaf).
    static void CreateNameTable(const std::string& name, bool noPrimary = false) {
        std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                                  FieldDef(2, "NAME", engine::FieldTypeString, 100)};
        std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("ByName", {2})};
        if (noPrimary) indexes[0] = IndexDef("", {});
        TableOptions options;
        options.allowNoPrimary = noPrimary;
        CreateTable(name, fields, indexes, options);
    }
    static SlotNumber Add(engine::TDataFile& table, std::int32_t id, const std::string& name) {
        return Insert(table, {{1, I32(id)}, {2, Str(name)}});
    }
    static void Open(engine::TDataFile& table, const std::string& name, bool exclusive) {
        table.SetFileName(name);
        table.SetExclusive(exclusive);
        table.Open();
    }
    // The current record's NAME, read from its record.
    static std::string CurrentName(engine::TDataFile& table) {
        const SlotNumber slot = table.IndexFile().GetCurrentRecordNumber();
        if (slot == engine::NoSlot) return "";
        engine::TReadGuard read(table);
        engine::RecordPin record;
        // A change found by the read drops the caches; the read runs again.
        if (!table.GetRecord(slot, false, false, engine::ReadForward, record)) {
            EXPECT_TRUE(table.GetRecord(slot, false, false, engine::ReadForward, record));
        }
        const std::string name = StoredText(table, record->Image(), 2);
        record.Release();
        read.End();
        return name;
    }
    // Names that sort as their numbers do, from -99999 on.
    static std::string Name(int n) {
        std::string digits = std::to_string(100000 + n);
        return "N" + std::string(7 - digits.size(), '0') + digits;
    }
};

TEST_F(IndexCursorTest, ARangeFromBToDOverAToE) {
    CreateNameTable("t");
    engine::TDataFile table;
    Open(table, "t", true);
    for (const char* name : {"C", "A", "E", "B", "D"}) Add(table, name[0], name);
    engine::TIndexFile& index = table.IndexFile();
    index.SelectIndex(1);
    const auto key = [&](const std::string& name) {
        engine::TIndexKey built;
        std::vector<std::uint8_t> image(table.GetRecordBufferSize(), 0);
        table.SetField(false, 2, image, std::span<const std::uint8_t>(Str(name)));
        table.BuildKey(image, built);
        // Without the record-ID suffix: the lowest key of the name, and the highest.
        return built;
    };
    engine::TIndexKey start = key("B");
    engine::TIndexKey end = key("D");
    std::fill(end.Bytes.begin() + end.Length - 4, end.Bytes.begin() + end.Length, 0xFF);
    index.SetRangeStart(start.View());
    index.SetRangeEnd(end.View());
    index.ApplyRange();
    index.ComputeRangeOrdinals();
    EXPECT_EQ(index.GetKeyCount(), 3u);
    index.First();
    EXPECT_EQ(CurrentName(table), "B");
    EXPECT_EQ(index.GetOrdinal(), 1);
    index.Last();
    EXPECT_EQ(CurrentName(table), "D");
    EXPECT_EQ(index.GetOrdinal(), 3);
    // A step past the end stops on the key beyond it.
    index.MoveBy(1);
    EXPECT_EQ(CurrentName(table), "E");
    EXPECT_TRUE(index.AfterLast());
    EXPECT_FALSE(index.BeforeFirst());
    index.First();
    index.MoveBy(-1);
    EXPECT_EQ(CurrentName(table), "A");
    EXPECT_TRUE(index.BeforeFirst());

    // A start above the end holds nothing.
    index.SetRangeStart(end.View());
    index.SetRangeEnd(start.View());
    index.ComputeRangeOrdinals();
    EXPECT_EQ(index.Cursor().Range.First, 0);
    EXPECT_EQ(index.Cursor().Range.Last, 0);
    index.First();
    EXPECT_TRUE(index.GetCurrentKey().empty());
    index.CancelRange();
    EXPECT_EQ(index.GetKeyCount(), 5u);
    EXPECT_FALSE(index.Cursor().Range.Active);
}

TEST_F(IndexCursorTest, AnEmptyIndexOrRangeHasNoPositionAfterEveryOperation) {
    CreateNameTable("t");
    engine::TDataFile table;
    Open(table, "t", true);
    engine::TIndexFile& index = table.IndexFile();
    const auto expectNone = [&](const std::string& what) {
        EXPECT_TRUE(index.GetCurrentKey().empty()) << what;
        EXPECT_TRUE(index.BeforeFirst() && index.AfterLast()) << what;
        EXPECT_EQ(index.GetKeyCount(), 0u) << what;
        EXPECT_EQ(index.GetOrdinal(), 0) << what;
        EXPECT_EQ(index.GetCurrentRecordNumber(), engine::NoSlot) << what;
    };
    const Key some = TreeKey(106, 5);
    const auto everyOperation = [&](const std::string& where) {
        index.First();
        expectNone(where + " First");
        index.Last();
        expectNone(where + " Last");
        index.MoveBy(1);
        expectNone(where + " MoveBy 1");
        index.MoveBy(-3);
        expectNone(where + " MoveBy -3");
        for (const std::int32_t o : {0, 1, 2}) {
            index.GotoOrdinal(o);
            expectNone(where + " GotoOrdinal " + std::to_string(o));
        }
        EXPECT_FALSE(index.FindKey(some, true, false, index.CurrentSettings().KeyLength));
        expectNone(where + " FindKey");
        EXPECT_FALSE(index.LocateKey(some, index.CurrentSettings().KeyLength));
    };
    everyOperation("empty table");
    index.SelectIndex(1);
    everyOperation("empty secondary index");
    // Records whose names all lie below the range.
    for (int i = 0; i < 40; ++i) Add(table, i, Name(i));
    const Key high(index.CurrentSettings().KeyLength, 0xF0);
    index.SetRangeStart(high);
    index.SetRangeEnd(high);
    index.ApplyRange();
    index.ComputeRangeOrdinals();
    everyOperation("empty range");
}

TEST_F(IndexCursorTest, NaturalOrderVisitsTheVisibleRecordsWithTheirRanks) {
    CreateNameTable("t", true);
    engine::TDataFile table;
    Open(table, "t", true);
    for (int i = 1; i <= 10; ++i) Add(table, i, Name(i));
    engine::TIndexFile& index = table.IndexFile();
    ASSERT_TRUE(index.NaturalOrder());
    index.SetVisibleRecords(Bitmap(10, {2, 5, 9}), false);
    const auto at = [&](std::uint32_t record, std::int32_t ordinal) {
        return index.GetCurrentRecordNumber() == SlotNumber(record) && index.GetOrdinal() == ordinal;
    };
    index.First();
    EXPECT_TRUE(at(2, 1));
    index.Last();
    EXPECT_TRUE(at(9, 3));
    index.GotoRecordNumber(6);
    EXPECT_TRUE(at(9, 3));
    index.GotoOrdinal(2);
    EXPECT_TRUE(at(5, 2));
    EXPECT_FALSE(index.BeforeFirst() || index.AfterLast());
    index.GotoOrdinal(0);
    EXPECT_TRUE(at(2, 1) && index.BeforeFirst());
    index.GotoOrdinal(4);
    EXPECT_TRUE(at(9, 3) && index.AfterLast());
    // A bookmark's value outside the records reads nothing outside the bitmap.
    index.GotoRecordNumber(0xFFFFFFFF);
    EXPECT_TRUE(at(9, 3));
    index.GotoRecordNumber(0);
    EXPECT_TRUE(at(2, 1));
    // The run of read-ahead stops at a hidden record and at the last record, whatever bits lie beyond.
    std::vector<std::uint8_t> bits = Bitmap(10, {3, 4, 5, 9, 10});
    engine::BitmapSetBit(11, bits.data());
    index.SetVisibleRecords(bits, false);
    index.GotoRecordNumber(3);
    EXPECT_EQ(index.GetContiguousRunLength(100, 1), 3u);
    EXPECT_EQ(index.GetContiguousRunLength(2, 1), 2u);
    index.GotoRecordNumber(9);
    EXPECT_EQ(index.GetContiguousRunLength(100, 1), 2u);
    EXPECT_EQ(index.GetContiguousRunLength(100, 2), 1u);
    // A read-ahead spans hidden records up to the last visible one within reach, never past the records.
    EXPECT_EQ(index.GetReadAheadSpan(100, 2), 7u);
    EXPECT_EQ(index.GetReadAheadSpan(100, 1), 2u);
    index.GotoRecordNumber(3);
    EXPECT_EQ(index.GetReadAheadSpan(100, 1), 8u);
    EXPECT_EQ(index.GetReadAheadSpan(6, 1), 3u);
    EXPECT_EQ(index.GetReadAheadSpan(100, 2), 1u);
    // Nothing visible: no position.
    index.SetVisibleRecords(Bitmap(10, {}), false);
    index.First();
    EXPECT_EQ(index.GetCurrentRecordNumber(), engine::NoSlot);
    EXPECT_TRUE(index.BeforeFirst() && index.AfterLast());
}

TEST_F(IndexCursorTest, NaturalOrderOrdinalsAreRanksWithBitsSetBeyondTheRecords) {
    fs::create_directories("natural");
    CreateSizedTable("natural/t", 20, 300);
    engine::TDataFile table;
    Open(table, "natural/t", true);
    engine::TIndexFile& index = table.IndexFile();
    index.SelectIndex(engine::NaturalOrderIndex);
    std::mt19937 random(5);
    for (int round = 0; round < 30; ++round) {
        // The bitmap is larger than the table: bits beyond the 300 records are set as well.
        std::vector<std::uint8_t> bits(300 / 8 + 1 + random() % 3, 0);
        for (auto& byte : bits) byte = static_cast<std::uint8_t>(random() & random());
        index.SetVisibleRecords(bits, false);
        const auto rank = [&](std::uint32_t record) {
            return static_cast<std::int32_t>(
                engine::BitmapCountUpTo(record, bits.data(), static_cast<std::int64_t>(bits.size()), 300));
        };
        for (int step = 0; step < 60; ++step) {
            switch (random() % 6) {
                case 0:
                    index.First();
                    break;
                case 1:
                    index.Last();
                    break;
                case 2:
                    index.MoveBy(static_cast<std::int32_t>(random() % 41) - 20);
                    break;
                case 3:
                    index.GotoOrdinal(static_cast<std::int32_t>(random() % 200) - 5);
                    break;
                case 4:
                    index.GotoRecordNumber(random() % 2 ? random() % 320 : random());
                    break;
                default:
                    index.StepNaturalOrder();
            }
            const SlotNumber record = index.GetCurrentRecordNumber();
            if (index.GetKeyCount() == 0) continue;
            ASSERT_GE(record.Value, 1u);
            ASSERT_LE(record.Value, 300u);
            ASSERT_TRUE(engine::BitmapTestBit(record.Value, bits.data()));
            ASSERT_EQ(index.GetOrdinal(), rank(record.Value)) << round << " " << step;
        }
    }
}

TEST_F(IndexCursorTest, TheContiguousRunFollowsTheLeafAndTheRecordCacheReadsItAtOnce) {
    CreateNameTable("t");
    // Slots 7, 8, 9, 10, 11 have the lowest IDs, the others follow; slot 10 goes again.
    {
        engine::TDataFile table;
        Open(table, "t", true);
        for (int slot = 1; slot <= 11; ++slot) Add(table, slot >= 7 ? slot - 6 : 100 + slot, Name(slot));
        DeleteSlot(table, SlotNumber(10));
    }
    RecordingDataFile table;
    Open(table, "t", true);
    engine::TIndexFile& index = table.IndexFile();
    index.First();
    ASSERT_EQ(index.GetCurrentRecordNumber(), SlotNumber(7));
    EXPECT_EQ(index.GetContiguousRunLength(100, 1), 3u);
    EXPECT_EQ(index.GetContiguousRunLength(2, 1), 2u);
    index.MoveBy(1);
    ASSERT_EQ(index.GetCurrentRecordNumber(), SlotNumber(8));
    EXPECT_EQ(index.GetContiguousRunLength(100, 2), 2u);
    index.MoveBy(-1);
    table.ClearRecordCache();
    table.reads.clear();
    engine::RecordPin record;
    ASSERT_TRUE(table.GetRecord(SlotNumber(7), true, true, engine::ReadForward, record));
    // The run first; then the records the leaf names after it (IDs 5 and 101 .. 106 in slots 11 and 1 .. 6),
    // a read for each run of consecutive slots.
    const std::int32_t size = table.GetRecordSize();
    EXPECT_EQ(table.reads, (std::vector<FileAccess>{{SlotOffset(table, 7), 3 * size},
                                                    {SlotOffset(table, 1), 6 * size},
                                                    {SlotOffset(table, 11), size}}));
}

TEST_F(IndexCursorTest, OpenLandsOnTheFirstKeyAndTruncateAndCloseClearTheCursor) {
    CreateNameTable("t");
    engine::TDataFile table;
    Open(table, "t", true);
    for (int i = 5; i >= 1; --i) Add(table, i, Name(i));
    table.Close();
    Open(table, "t", true);
    engine::TIndexFile& index = table.IndexFile();
    EXPECT_EQ(index.GetOrdinal(), 1);
    EXPECT_EQ(index.GetCurrentRecordNumber(), SlotNumber(5));
    EXPECT_FALSE(index.BeforeFirst() || index.AfterLast());
    EXPECT_EQ(index.GetKeyCount(), 5u);
    table.EmptyTable();
    EXPECT_TRUE(index.GetCurrentKey().empty());
    EXPECT_TRUE(index.BeforeFirst() && index.AfterLast());
    EXPECT_EQ(index.GetOrdinal(), 0);
    EXPECT_EQ(index.GetKeyCount(), 0u);
    Add(table, 1, Name(1));
    index.ComputeRangeOrdinals();
    index.Last();
    EXPECT_EQ(index.GetOrdinal(), 1);
    table.Close();
    EXPECT_TRUE(index.GetCurrentKey().empty());
    EXPECT_TRUE(index.BeforeFirst() && index.AfterLast());
    EXPECT_EQ(index.Cursor().Range.Last, 0);
}

// ---- Another handle's change ----

class CursorChangeTest : public IndexCursorTest {
protected:
    // "t" with records 0, 2, 4, ... 2(count - 1) by name, added and flushed; a and b open it shared on the
    // name index.
    void Make(int count) {
        CreateNameTable("t");
        {
            engine::TDataFile writer;
            Open(writer, "t", true);
            for (int i = 0; i < count; ++i) {
                Add(writer, 2 * i, Name(2 * i));
                names_.push_back(Name(2 * i));
            }
        }
        Open(a_, "t", false);
        Open(b_, "t", false);
        b_.IndexFile().SelectIndex(1);
        engine::TReadGuard read(a_);
        a_.IndexFile().SelectIndex(1);
        a_.IndexFile().ComputeRangeOrdinals();
        read.End();
    }
    // A shared insert is on disk when it returns.
    void AddInB(int n) {
        Add(b_, n, Name(n));
        names_.push_back(Name(n));
        std::sort(names_.begin(), names_.end());
    }
    // The model's position of a name.
    std::int64_t Rank(const std::string& name) const {
        return std::lower_bound(names_.begin(), names_.end(), name) - names_.begin();
    }

    engine::TDataFile a_;
    engine::TDataFile b_;
    std::vector<std::string> names_;
};

TEST_F(CursorChangeTest, AMoveThatMeetsAnotherHandlesInsertRunsAgainFromTheKeyItStoodOn) {
    Make(200);
    engine::TIndexFile& index = a_.IndexFile();
    // a stands three keys before the end of a leaf.
    {
        engine::TReadGuard read(a_);
        index.GotoOrdinal(40);
        while (index.CurrentPage()->UpdateCursor + 3 != index.CurrentPage()->Count()) index.MoveBy(1);
        read.End();
    }
    const std::string start = CurrentName(a_);
    // b inserts keys just around a's key and beyond the page.
    const int at = std::stoi(start.substr(1)) - 100000;
    for (const int n : {at - 1, at + 1, at + 3, at + 5, at + 7, at + 9}) AddInB(n);
    // Every page but a's own is gone: its walk misses at the page's end.
    index.Pages().SetCapacity(1);
    index.Pages().Trim(index.CurrentPage().Get());
    index.Pages().SetCapacity(engine::PageCacheCapacity);
    {
        engine::TReadGuard read(a_);
        index.MoveBy(6);
        EXPECT_TRUE(a_.OperationReadLockHeld());
        read.End();
    }
    EXPECT_EQ(CurrentName(a_), names_[static_cast<std::size_t>(Rank(start) + 6)]);
    EXPECT_EQ(index.GetOrdinal(), Rank(start) + 7);
    EXPECT_EQ(index.GetKeyCount(), names_.size());
}

TEST_F(CursorChangeTest, EndStatesAreKeptAndTheNextStepSkipsNothing) {
    Make(100);
    engine::TIndexFile& index = a_.IndexFile();
    struct Case {
        const char* what;
        std::function<void()> place;
        int added;
        bool beforeFirst, afterLast;
        // Where the next step lands: the first key, the last, or nothing.
        int next;
    };
    int low = -1;
    int high = 1000;
    const Case cases[] = {
        {"before the first",
         [&] {
             index.First();
             index.MoveBy(-1);
         },
         0, true, false, 0},
        {"after the last",
         [&] {
             index.Last();
             index.MoveBy(1);
         },
         1, false, true, 1},
        {"no position", [&] { index.ClearPosition(); }, 0, true, true, 2},
    };
    for (const Case& c : cases) {
        {
            engine::TReadGuard read(a_);
            c.place();
            read.End();
        }
        // b adds a key before every other one, and one after.
        AddInB(c.added == 0 ? low-- : high++);
        engine::TReadGuard read(a_);
        EXPECT_TRUE(read.Begin()) << c.what;
        EXPECT_EQ(index.BeforeFirst(), c.beforeFirst) << c.what;
        EXPECT_EQ(index.AfterLast(), c.afterLast) << c.what;
        EXPECT_EQ(index.GetKeyCount(), names_.size()) << c.what;
        // The table's next (prior) step from an end state starts at the first (last) key.
        if (c.next == 0) index.First();
        if (c.next == 1) index.Last();
        read.End();
        if (c.next == 2) {
            EXPECT_TRUE(index.GetCurrentKey().empty()) << c.what;
        } else {
            EXPECT_EQ(CurrentName(a_), c.next == 0 ? names_.front() : names_.back()) << c.what;
        }
    }
}

}  // namespace
