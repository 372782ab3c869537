#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineState.h"
#include "engine/base/FileSession.h"
#include "engine/index/IndexFile.h"
#include "engine/table/DataFile.h"
#include "tests/engine/support/IndexTestTable.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using engine::PageOffset;
using engine::PagePin;
using engine::SlotNumber;
using Key = std::vector<std::uint8_t>;

// Tables whose keys stand for no records live apart from the clean check of the tables a test leaves.
const std::string Name = "trees/t";
constexpr std::uint32_t PageSize = 4096;

class IndexTreeTest : public TableTest {
protected:
    // Creates and opens the table (shared, so that the walk can read it while it is open) with a key of the
    // length; every page list holds the given number of pages.
    void Open(std::uint16_t keyLength, std::uint8_t compression, int capacity = engine::PageCacheCapacity,
              const std::string& name = Name) {
        fs::create_directories("trees");
        CreateKeyTable(name, keyLength, compression);
        k_ = keyLength;
        name_ = name;
        table_.Close();
        table_.SetFileName(name);
        table_.SetExclusive(false);
        table_.Open();
        Index().Pages().SetCapacity(capacity);
    }

    engine::TIndexFile& Index() { return table_.IndexFile(); }
    Key K(std::uint32_t n) const { return TreeKey(k_, n); }
    void Insert(std::uint32_t n) { Index().InsertKey(K(n), SlotNumber(n)); }
    void Delete(std::uint32_t n) { Index().DeleteKey(K(n)); }
    PagePin Page(std::uint32_t offset) { return Index().FetchPage(PageOffset(offset)); }
    PagePin Root() { return Page(Index().GetRootPosition().Value); }
    std::uint32_t Child(std::uint32_t node, std::size_t entry) { return Page(node)->Entry(entry).Pointer; }

    // The record numbers of the index's keys, first to last along the leaves; each key is the one its
    // record number stands for.
    std::vector<std::uint32_t> Scan() {
        std::vector<std::uint32_t> records;
        PagePin page;
        if (!Index().GetRootPage(page)) return records;
        while (!page->IsLeaf()) page = Page(page->Entry(0).Pointer);
        for (;;) {
            for (std::size_t i = 0; i < page->Count(); ++i) {
                const std::uint32_t record = page->Entry(i).Pointer;
                const auto key = page->Key(i);
                EXPECT_TRUE(std::equal(key.begin(), key.end(), K(record).begin())) << record;
                records.push_back(record);
            }
            if (page->Next() == engine::NoPage) break;
            page = Page(page->Next().Value);
        }
        return records;
    }

    // The offsets on the current index's free list.
    std::vector<std::uint32_t> FreeList() {
        std::vector<std::uint32_t> pages;
        for (PageOffset at = Index().GetFreePagePosition(); at != Index().GetEndOfFile();) {
            pages.push_back(at.Value);
            const PageOffset next = Page(at.Value)->Next();
            at = next == engine::NoPage ? Index().GetEndOfFile() : next;
        }
        return pages;
    }

    std::uint32_t PagesInFile() { return Index().GetEndOfFile().Value / PageSize - 1; }
    // Without a finding, warnings included: the engine never leaves a page below half its capacity (with a
    // node capacity of 3, one entry is half) nor a page outside every tree and free list.
    ::testing::AssertionResult Sound() { return IsSoundIndexFile(Index(), name_); }

    engine::TDataFile table_;
    std::uint16_t k_ = 0;
    std::string name_ = Name;
};

// ---- The model ----

class IndexTreeModelTest : public IndexTreeTest,
                           public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(IndexTreeModelTest, RandomChangesKeepTheTreeOfTheModel) {
    const auto compression = static_cast<std::uint8_t>(std::get<0>(GetParam()));
    const auto keyLength = static_cast<std::uint16_t>(std::get<1>(GetParam()));
    // Half the runs with lists of five pages, so that every descent and split works under eviction.
    Open(keyLength, compression, compression % 2 == 0 ? 5 : engine::PageCacheCapacity);
    // Short keys need thousands to fill more than one level of nodes.
    const std::uint32_t range = keyLength <= 36 ? 30000 : 300;
    const int batch = keyLength <= 36 ? 6000 : 150;
    std::set<std::uint32_t> model;
    std::mt19937 random(keyLength * 4u + compression);
    const auto anyKey = [&]() {
        auto it = model.begin();
        std::advance(it, random() % model.size());
        return *it;
    };
    for (int round = 0; round < 6; ++round) {
        // The first rounds grow the tree, the later ones shrink it to nothing.
        const unsigned insertShare = round < 3 ? 7 : round < 5 ? 3 : 0;
        for (int op = 0; op < batch; ++op) {
            const unsigned choice = random() % 10;
            if (choice < insertShare || model.empty()) {
                if (round == 5) break;
                const std::uint32_t n = 1 + random() % range;
                if (model.count(n) != 0) {
                    EXPECT_EQ(EngineCode([&] { Index().CheckDuplicateKey(K(n)); }), engine::ErrDuplicateKey);
                    continue;
                }
                Index().CheckDuplicateKey(K(n));
                Insert(n);
                model.insert(n);
            } else if (choice < 9) {
                const std::uint32_t n = anyKey();
                Delete(n);
                model.erase(n);
            } else {
                const std::uint32_t from = anyKey();
                const std::uint32_t to = 1 + random() % range;
                if (model.count(to) != 0) continue;
                Index().ModifyKey(K(from), K(to), SlotNumber(to));
                model.erase(from);
                model.insert(to);
            }
        }
        if (round == 5) {
            while (!model.empty()) {
                Delete(*model.begin());
                model.erase(model.begin());
            }
        }
        ASSERT_TRUE(Sound()) << "round " << round;
        EXPECT_EQ(Scan(), std::vector<std::uint32_t>(model.begin(), model.end())) << "round " << round;
        EXPECT_TRUE(Index().KeyExists(K(model.empty() ? 1 : *model.rbegin())) || model.empty());
    }
    // Emptied: no root, and every page the index took is back on its free list.
    EXPECT_EQ(Index().GetRootPosition(), engine::NoPage);
    EXPECT_EQ(FreeList().size(), PagesInFile());
}

INSTANTIATE_TEST_SUITE_P(CompressionsAndKeyLengths, IndexTreeModelTest,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3),
                                            ::testing::Values(5, 36, 600, 1036)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                             return "Compression" + std::to_string(std::get<0>(info.param)) + "Key" +
                                    std::to_string(std::get<1>(info.param));
                         });

// ---- Shapes ----

TEST_F(IndexTreeTest, AnEmptyIndexGetsARootLeafThatSplitsUnderARootNode) {
    // Keys of 36 bytes: 97 entries a leaf.
    Open(36, 0);
    Insert(1);
    EXPECT_EQ(Root()->PageType(), engine::PageTypeRootLeaf);
    for (std::uint32_t n = 2; n <= 98; ++n) Insert(n);
    PagePin root = Root();
    ASSERT_EQ(root->PageType(), engine::PageTypeRootNode);
    ASSERT_EQ(root->Count(), 2);
    EXPECT_EQ(root->Entry(0).Count + root->Entry(1).Count, 98u);
    EXPECT_EQ(Page(root->Entry(0).Pointer)->PageType(), engine::PageTypeLeaf);
    EXPECT_EQ(Page(root->Entry(1).Pointer)->Count(), 49);
    root.Release();
    EXPECT_TRUE(Sound());
}

TEST_F(IndexTreeTest, AnOverfullPageKeepsTheLargerHalf) {
    // 600-byte keys hold 6 a leaf: the seventh splits them 4 + 3; 540-byte keys hold 7: the eighth 4 + 4.
    for (const auto& [keyLength, keys, left, right] :
         {std::tuple<std::uint16_t, std::uint32_t, int, int>{600, 7, 4, 3}, {540, 8, 4, 4}}) {
        Open(keyLength, 0, engine::PageCacheCapacity, "trees/k" + std::to_string(keyLength));
        for (std::uint32_t n = 1; n <= keys; ++n) Insert(n);
        const std::uint32_t root = Index().GetRootPosition().Value;
        EXPECT_EQ(Page(Child(root, 0))->Count(), left) << keyLength;
        EXPECT_EQ(Page(Child(root, 1))->Count(), right) << keyLength;
        EXPECT_TRUE(Sound());
    }
}

TEST_F(IndexTreeTest, AKeyBelowAllOthersRewritesTheLeftmostSeparators) {
    Open(600, 0);
    for (std::uint32_t n = 10; n < 60; ++n) Insert(n);
    const std::uint32_t root = Index().GetRootPosition().Value;
    const std::uint32_t node = Child(root, 0);
    ASSERT_FALSE(Page(node)->IsLeaf());
    Insert(1);
    for (const std::uint32_t page : {root, node}) {
        const auto first = Page(page)->Key(0);
        EXPECT_TRUE(std::equal(first.begin(), first.end(), K(1).begin())) << page;
    }
    EXPECT_TRUE(Sound());
}

// ---- Rebalancing ----

TEST_F(IndexTreeTest, AnUnderfullPageBorrowsFromOrMergesWithItsNeighbourUnderTheSameParent) {
    // Keys of 35 bytes: leaves hold 99, and one below 49 entries is underfull. The even keys 0..198 make two
    // leaves of 50; odd keys grow them. The page that loses two keys drops to 48.
    const struct {
        const char* what;
        std::uint32_t firstGrowth, secondGrowth;
        bool firstLoses;
        int leftAfter, rightAfter;
    } cases[] = {
        {"previous page of 60: 54 + 54", 10, 0, false, 54, 54},
        {"previous page of 50: merged", 0, 0, false, 98, 0},
        {"first child, next page of 60: 54 + 54", 0, 10, true, 54, 54},
        {"first child, next page of 50: merged", 0, 0, true, 0, 98},
    };
    int table = 0;
    for (const auto& c : cases) {
        Open(35, 0, engine::PageCacheCapacity, "trees/r" + std::to_string(++table));
        for (std::uint32_t n = 0; n < 200; n += 2) Insert(n);
        for (std::uint32_t i = 0; i < c.firstGrowth; ++i) Insert(2 * i + 1);
        for (std::uint32_t i = 0; i < c.secondGrowth; ++i) Insert(101 + 2 * i);
        const std::uint32_t root = Index().GetRootPosition().Value;
        ASSERT_EQ(Root()->Count(), 2) << c.what;
        ASSERT_EQ(Page(Child(root, 0))->Count(), 50 + static_cast<int>(c.firstGrowth)) << c.what;
        for (const std::uint32_t n :
             c.firstLoses ? std::vector<std::uint32_t>{0, 2} : std::vector<std::uint32_t>{198, 196}) {
            Delete(n);
        }
        PagePin top = Root();
        if (c.leftAfter == 0 || c.rightAfter == 0) {
            // One leaf left under the root node: it became the root.
            EXPECT_EQ(top->PageType(), engine::PageTypeRootLeaf) << c.what;
            EXPECT_EQ(top->Count(), 98) << c.what;
        } else {
            ASSERT_EQ(top->Count(), 2) << c.what;
            EXPECT_EQ(Page(top->Entry(0).Pointer)->Count(), c.leftAfter) << c.what;
            EXPECT_EQ(Page(top->Entry(1).Pointer)->Count(), c.rightAfter) << c.what;
        }
        top.Release();
        EXPECT_TRUE(Sound()) << c.what;
    }
}

TEST_F(IndexTreeTest, ARootNodeWithOneChildHandsTheRootToIt) {
    // 1010-byte keys: nodes and leaves hold 4; five keys make leaves of 3 and 2.
    Open(1010, 0);
    for (std::uint32_t n = 1; n <= 5; ++n) Insert(n);
    ASSERT_EQ(Root()->PageType(), engine::PageTypeRootNode);
    const std::uint32_t oldRoot = Index().GetRootPosition().Value;
    const std::uint32_t right = Child(oldRoot, 1);
    Delete(5);
    Delete(4);
    PagePin root = Root();
    EXPECT_EQ(root->PageType(), engine::PageTypeRootLeaf);
    EXPECT_EQ(root->Count(), 3);
    EXPECT_EQ(root->Prior(), engine::NoPage);
    EXPECT_EQ(root->Next(), engine::NoPage);
    root.Release();
    EXPECT_EQ(FreeList(), (std::vector<std::uint32_t>{oldRoot, right}));
    EXPECT_TRUE(Sound());
}

TEST_F(IndexTreeTest, CompressedLeavesNeverBorrowOrMergeAndAnEmptiedOneGoes) {
    Open(36, 3);
    // Keys 1..n in order until the root has three leaves.
    std::uint32_t n = 1;
    Insert(n);
    while (Root()->IsLeaf() || Root()->Count() < 3) Insert(++n);
    const std::uint32_t root = Index().GetRootPosition().Value;
    const std::uint32_t first = Child(root, 0);
    const std::uint32_t middle = Child(root, 1);
    const std::uint32_t last = Child(root, 2);
    std::vector<std::uint32_t> middleKeys;
    {
        PagePin page = Page(middle);
        for (std::size_t i = 0; i < page->Count(); ++i) middleKeys.push_back(page->Entry(i).Pointer);
    }
    const int firstCount = Page(first)->Count();
    for (std::size_t i = 1; i < middleKeys.size(); ++i) Delete(middleKeys[i]);
    // A single entry left: the leaf stays as it is, its neighbours too.
    EXPECT_EQ(Page(middle)->Count(), 1);
    EXPECT_EQ(Page(first)->Count(), firstCount);
    EXPECT_EQ(Root()->Count(), 3);
    EXPECT_TRUE(Sound());
    Delete(middleKeys[0]);
    EXPECT_EQ(Root()->Count(), 2);
    EXPECT_EQ(Page(first)->Next(), PageOffset(last));
    EXPECT_EQ(Page(last)->Prior(), PageOffset(first));
    EXPECT_EQ(FreeList(), std::vector<std::uint32_t>{middle});
    EXPECT_TRUE(Sound());

    // The freed page is the first index's: the other index appends, the first takes it back.
    const std::uint32_t end = Index().GetEndOfFile().Value;
    Index().SelectIndex(1);
    Index().InsertKey(K(1), SlotNumber(1));
    EXPECT_EQ(Index().GetRootPosition(), PageOffset(end));
    Index().DeleteKey(K(1));
    Index().SelectIndex(0);
    {
        PagePin taken = Index().AllocatePage();
        EXPECT_EQ(taken->GetPosition(), PageOffset(middle));
        EXPECT_EQ(taken->Count(), 0);
        EXPECT_TRUE(FreeList().empty());
        Index().FreePage(*taken);
        // A page freed once is not freed again.
        EXPECT_EQ(EngineCode([&] { Index().FreePage(*taken); }), engine::ErrIndexPagesCorrupt);
    }
    EXPECT_TRUE(Sound());
}

TEST_F(IndexTreeTest, NodesOfThreeEntriesLoseEveryKeyWithoutFailing) {
    for (const std::uint8_t compression : {0, 3}) {
        Open(1036, compression, engine::PageCacheCapacity, "trees/c" + std::to_string(compression));
        std::vector<std::uint32_t> keys(300);
        for (std::uint32_t n = 0; n < 300; ++n) keys[n] = n + 1;
        std::mt19937 random(compression);
        std::shuffle(keys.begin(), keys.end(), random);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            Insert(keys[i]);
            ASSERT_TRUE(Sound()) << "insert " << i;
        }
        std::shuffle(keys.begin(), keys.end(), random);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            ASSERT_EQ(EngineCode([&] { Delete(keys[i]); }), 0) << "delete " << i;
            ASSERT_TRUE(Sound()) << "delete " << i;
        }
        EXPECT_EQ(Index().GetRootPosition(), engine::NoPage);
        EXPECT_EQ(FreeList().size(), PagesInFile());
    }
}

TEST_F(IndexTreeTest, UpdatesNeverReadAPageTheyReleased) {
    // Four pages a list, against a tree of five levels whose splits and merges touch more than that.
    Open(600, 0, 4);
    std::set<std::uint32_t> model;
    std::mt19937 random(7);
    for (int i = 0; i < 400; ++i) {
        const std::uint32_t n = 1 + random() % 500;
        if (model.insert(n).second) Insert(n);
    }
    for (int i = 0; i < 300; ++i) {
        const std::uint32_t n = 1 + random() % 500;
        if (model.erase(n) != 0) Delete(n);
    }
    EXPECT_TRUE(Sound());
    EXPECT_EQ(Scan(), std::vector<std::uint32_t>(model.begin(), model.end()));
}

TEST_F(IndexTreeTest, AProtectedTablesPagesAreScrambledInTheFile) {
    fs::create_directories("trees");
    std::vector<engine::TFieldDesc> fields = KeyFields(36);
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    TableOptions options;
    options.isProtected = true;
    options.password = "secret";
    CreateTable(Name, fields, indexes, options);
    // A protected table opens once the session holds its password.
    engine::GetEngineSession().AddPassword("secret");
    table_.SetFileName(Name);
    table_.Open();
    k_ = 36;
    for (std::uint32_t n = 1; n <= 300; ++n) Insert(n);
    ASSERT_TRUE(Sound());
    // The key of 1 does not stand plain anywhere in the file.
    const std::string idx = ReadBytes(Name + ".IDX");
    const Key one = K(1);
    EXPECT_EQ(idx.find(std::string(one.begin(), one.end())), std::string::npos);
    table_.Close();
    table_.Open();
    EXPECT_EQ(Scan().size(), 300u);
}

// ---- Damaged files ----

TEST_F(IndexTreeTest, DamagedLinksAreRefusedWithoutGrowingTheFile) {
    // Keys of 36 bytes: the even keys 2..600 make a root node over leaves of up to 97; deleting 202..400
    // frees some leaves. Odd keys are free to insert anywhere.
    Open(36, 0);
    for (std::uint32_t n = 2; n <= 600; n += 2) Insert(n);
    for (std::uint32_t n = 202; n <= 400; n += 2) Delete(n);
    const std::uint32_t root = Index().GetRootPosition().Value;
    const std::uint32_t end = Index().GetEndOfFile().Value;
    const std::vector<std::uint32_t> free = FreeList();
    ASSERT_FALSE(free.empty());
    ASSERT_TRUE(Sound());
    const std::uint32_t leaf = Child(root, 1);
    const std::uint32_t inLeaf = Page(leaf)->Entry(0).Pointer + 2;
    table_.Close();
    const std::string sound = ReadBytes(Name + ".IDX");
    // Node entries: 36 key bytes, the child, the count.
    const auto childAt = [root](std::size_t entry) { return root + 13 + entry * 44 + 36; };
    const std::function<void()> find = [&] { Index().KeyExists(K(inLeaf)); };
    const std::function<void()> allocate = [&] { Index().AllocatePage(); };
    // Odd keys below the leaf split the page before it, which relinks the leaf.
    const std::function<void()> split = [&] {
        for (std::uint32_t n = 1; n < inLeaf; n += 2) Insert(n);
    };
    const struct {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        const std::function<void()>& operation;
    } damages[] = {
        {"a child at the end of file", childAt(1), end, find},
        {"a child off the grid", childAt(1), leaf + 1, find},
        {"a child on the free list", childAt(1), free.front(), find},
        {"a child that is the root", childAt(1), root, find},
        {"the free list through a leaf of the tree", IndexSlotAt(0) + DescFreeHeadAt, leaf, allocate},
        {"a leaf linked back to another page", leaf + 3, root, split},
    };
    for (const auto& d : damages) {
        std::string idx = sound;
        PutLE(idx, d.at, 4, d.value);
        WriteBytes(Name + ".IDX", idx);
        table_.Open();
        EXPECT_EQ(EngineCode(d.operation), engine::ErrIndexPagesCorrupt) << d.what;
        EXPECT_EQ(Index().GetEndOfFile().Value, end) << d.what;
        table_.Close();
        EXPECT_EQ(ReadBytes(Name + ".IDX"), idx) << d.what;
    }
}

// ---- Errors ----

TEST_F(IndexTreeTest, DuplicatesAreRefusedByThePrimaryAndUniqueIndexesOnly) {
    fs::create_directories("trees");
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("Unique", {1}, true),
                                                     IndexDef("Plain", {1})};
    CreateTable(Name, fields, indexes);
    table_.SetFileName(Name);
    table_.Open();
    k_ = 5;
    for (int n = 0; n <= 2; ++n) {
        Index().SelectIndex(n);
        Index().InsertKey(K(1), SlotNumber(1));
    }
    Index().SelectIndex(0);
    ASSERT_EQ(Index().Header().Indexes[0].Unique, 0);
    EXPECT_EQ(EngineCode([&] { Index().CheckDuplicateKey(K(1)); }), engine::ErrDuplicateKey);
    EXPECT_EQ(engine::CurrentErrorContext().IndexName, "Primary");
    Index().SelectIndex(1);
    EXPECT_EQ(EngineCode([&] { Index().CheckDuplicateKey(K(1)); }), engine::ErrDuplicateKey);
    EXPECT_EQ(engine::CurrentErrorContext().IndexName, "Unique");
    Index().SelectIndex(2);
    EXPECT_EQ(EngineCode([&] { Index().CheckDuplicateKey(K(1)); }), 0);
    EXPECT_EQ(EngineCode([&] { Index().CheckDuplicateKey(K(2)); }), 0);
}

TEST_F(IndexTreeTest, AMissingKeyCannotBeDeletedOrModified) {
    Open(36, 0);
    const auto expectMissing = [this](const char* what, const std::function<void()>& action) {
        EXPECT_EQ(EngineCode(action), engine::ErrKeyNotFound) << what;
        EXPECT_EQ(engine::CurrentErrorContext().IndexName, "Primary") << what;
        EXPECT_EQ(engine::CurrentErrorContext().FileName, "trees/t.IDX") << what;
    };
    expectMissing("delete on an empty index", [this] { Delete(1); });
    expectMissing("modify on an empty index", [this] { Index().ModifyKey(K(1), K(2), SlotNumber(2)); });
    for (std::uint32_t n = 1; n <= 200; n += 2) Insert(n);
    const std::uint32_t end = Index().GetEndOfFile().Value;
    expectMissing("delete", [this] { Delete(4); });
    expectMissing("modify", [this] { Index().ModifyKey(K(4), K(6), SlotNumber(6)); });
    EXPECT_FALSE(Index().KeyExists(K(6)));
    EXPECT_EQ(Index().GetEndOfFile().Value, end);
    EXPECT_TRUE(Sound());
    // Natural order has no tree.
    Index().SelectIndex(engine::NaturalOrderIndex);
    EXPECT_FALSE(Index().KeyExists(K(1)));
    EXPECT_EQ(EngineCode([this] { Delete(1); }), engine::ErrKeyNotFound);
}

TEST_F(IndexTreeTest, AnInsertThatCouldPassTwoBillionChangesNothing) {
    // 600-byte keys: 30 make a tree of three levels; deleting 1..6 frees pages.
    Open(600, 0);
    for (std::uint32_t n = 1; n <= 30; ++n) Insert(n);
    for (std::uint32_t n = 1; n <= 6; ++n) Delete(n);
    ASSERT_FALSE(Page(Child(Index().GetRootPosition().Value, 0))->IsLeaf());
    const std::uint32_t free = static_cast<std::uint32_t>(FreeList().size());
    ASSERT_GE(free, 1u);
    ASSERT_TRUE(Sound());
    const std::string sound = ReadBytes(Name + ".IDX");
    // A worst-case insert takes four pages: the free ones, then appends up to offset 2,000,000,000.
    const std::uint32_t lastFit = (engine::MaxIndexAppendOffset / PageSize - (4 - free - 1)) * PageSize;
    for (const bool fits : {false, true}) {
        table_.Close();
        std::string idx = sound;
        const std::uint32_t end = fits ? lastFit : lastFit + PageSize;
        PutLE(idx, IndexEndOfFileAt, 4, end);
        WriteBytes(Name + ".IDX", idx);
        // The file really reaches that far (sparse: the file system stores no page of it).
        std::filesystem::resize_file(Name + ".IDX", end);
        table_.Open();
        // Every page of the tree cached, the root dirty.
        Scan();
        Root()->MarkDirty();
        const auto cached = [this] {
            std::vector<std::tuple<std::uint32_t, std::uint16_t, bool>> pages;
            Index().Pages().List(0).ForEach([&](const engine::TPage& page) {
                pages.emplace_back(page.GetPosition().Value, page.Count(), page.Dirty());
            });
            std::sort(pages.begin(), pages.end());
            return pages;
        };
        const auto before = cached();
        const engine::TIndexFileHeader header = Index().Header();
        const int code = EngineCode([this] { Insert(100); });
        if (fits) {
            EXPECT_EQ(code, 0);
            EXPECT_TRUE(Index().KeyExists(K(100)));
            continue;
        }
        EXPECT_EQ(code, engine::ErrFileFull);
        EXPECT_EQ(engine::CurrentErrorContext().FileName, "trees/t.DAT");
        // The pages cached before are as they were; the free pages counted came in clean.
        std::vector<std::tuple<std::uint32_t, std::uint16_t, bool>> after = cached();
        for (const auto& page : before) {
            EXPECT_NE(std::find(after.begin(), after.end(), page), after.end()) << std::get<0>(page);
        }
        EXPECT_TRUE(std::none_of(after.begin(), after.end(), [&](const auto& page) {
            return std::get<2>(page) && std::find(before.begin(), before.end(), page) == before.end();
        }));
        EXPECT_EQ(Index().GetEndOfFile(), header.EndOfFile);
        EXPECT_EQ(Index().GetFreePagePosition(), PageOffset(header.Indexes[0].FreePageHead));
        EXPECT_EQ(Index().Header().HeaderChanged, header.HeaderChanged);
        EXPECT_EQ(std::filesystem::file_size(Name + ".IDX"), end);
        EXPECT_EQ(ReadPrefix(Name + ".IDX", idx.size()), idx);
        EXPECT_FALSE(Index().KeyExists(K(100)));
        EXPECT_TRUE(Index().KeyExists(K(7)));
    }
}

}  // namespace
