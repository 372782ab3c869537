#include "engine/index/PageCache.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/file/SharedFileLock.h"
#include "engine/index/IndexFile.h"
#include "tests/engine/support/IndexTestTable.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using engine::PageOffset;
using engine::PagePin;

// The index file's pages stand for no records: the table lives apart from the clean check.
const std::string Name = "pages/t";
constexpr std::uint32_t P = 4096;

class PageCacheTest : public TableTest {
protected:
    // The table with a 5-byte key, its index file holding the given number of zeroed pages after the header,
    // opened shared twice: by the table, and by an index file that records its reads and writes and asks the
    // table double its questions.
    void Make(std::uint32_t pages) {
        fs::create_directories("pages");
        CreateKeyTable(Name, 5, 0);
        std::string idx = ReadBytes(Name + ".IDX") + std::string(pages * P, '\0');
        PutLE(idx, IndexEndOfFileAt, 4, (pages + 1) * P);
        WriteBytes(Name + ".IDX", idx);
        table_.SetFileName(Name);
        table_.Open();
        file_ = std::make_unique<RecordingIndexFile>(table_, table_, table_.Bitmaps());
        owner_.file = file_.get();
        file_->SetTableOwner(owner_);
        file_->SetFileName(Name);
        file_->Open();
        file_->reads.clear();
    }

    PagePin Fetch(std::uint32_t offset) {
        PagePin page;
        EXPECT_TRUE(file_->GetPage(PageOffset(offset), page)) << offset;
        return page;
    }

    engine::TCache<engine::TPage>& List() { return file_->Pages().List(0); }

    engine::TDataFile table_;
    FakeTableOwner owner_;
    std::unique_ptr<RecordingIndexFile> file_;
};

TEST_F(PageCacheTest, OnlyPagesOfTheFileAreFetched) {
    Make(3);
    PagePin page;
    EXPECT_FALSE(file_->GetPage(engine::NoPage, page));
    EXPECT_FALSE(page);
    // The end of file, an offset off the grid and the header are no pages, and fetching them reads nothing.
    for (const std::uint32_t offset : {4 * P, 5 * P, P + 1, 100u}) {
        EXPECT_EQ(EngineCode([&] { file_->GetPage(PageOffset(offset), page); }), engine::ErrIndexPagesCorrupt)
            << offset;
    }
    EXPECT_TRUE(file_->reads.empty());
    EXPECT_EQ(file_->GetEndOfFile(), PageOffset(4 * P));
    EXPECT_EQ(file_->Header().HeaderChanged, 0);
    EXPECT_EQ(EngineCode([&] { file_->FetchPage(engine::NoPage); }), engine::ErrIndexPagesCorrupt);
    // A miss begins a read (the double compares the change counter) and reads one page; a hit reads nothing.
    Fetch(2 * P);
    Fetch(2 * P);
    EXPECT_EQ(file_->reads, (std::vector<IndexAccess>{{0, 4}, {2 * P, P}}));
}

TEST_F(PageCacheTest, AnAppendMovesTheEndOfFileWithoutTouchingTheFile) {
    Make(2);
    PagePin page = file_->AllocatePage();
    EXPECT_EQ(page->GetPosition(), PageOffset(3 * P));
    EXPECT_EQ(file_->GetEndOfFile(), PageOffset(4 * P));
    EXPECT_EQ(file_->Header().HeaderChanged, 1);
    EXPECT_FALSE(page->Dirty());
    EXPECT_TRUE(file_->reads.empty());
    EXPECT_TRUE(file_->writes.empty());
}

TEST_F(PageCacheTest, DirtyPagesAreWrittenInAscendingRuns) {
    Make(10);
    for (const std::uint32_t offset : {2 * P, 3 * P, 5 * P, 4 * P, 10 * P}) Fetch(offset)->MarkDirty();
    Fetch(6 * P);
    // A pinned dirty page waits.
    PagePin pinned = Fetch(7 * P);
    pinned->MarkDirty();
    ASSERT_TRUE(file_->FlushPages());
    EXPECT_EQ(file_->writes, (std::vector<IndexAccess>{{2 * P, 4 * P}, {10 * P, P}}));
    EXPECT_FALSE(List().Peek(PageOffset(2 * P))->Dirty());
    EXPECT_TRUE(pinned->Dirty());
    pinned.Release();
    file_->writes.clear();
    EXPECT_TRUE(file_->FlushPages());
    EXPECT_EQ(file_->writes, (std::vector<IndexAccess>{{7 * P, P}}));
    EXPECT_FALSE(file_->FlushPages());
}

TEST_F(PageCacheTest, AFullListWritesItsOldestDirtyPageToMakeRoom) {
    Make(40);
    for (std::uint32_t k = 1; k <= 31; ++k) Fetch(k * P)->MarkDirty();
    Fetch(32 * P);
    EXPECT_EQ(file_->writes, (std::vector<IndexAccess>{{P, P}}));
    EXPECT_EQ(List().Count(), 31);
    EXPECT_EQ(List().Peek(PageOffset(P)), nullptr);
}

TEST_F(PageCacheTest, ThirtyOnePinnedPagesLeaveNoRoomOutsideATransaction) {
    Make(40);
    std::vector<PagePin> pins;
    for (std::uint32_t k = 1; k <= 31; ++k) pins.push_back(Fetch(k * P));
    PagePin page;
    EXPECT_EQ(EngineCode([&] { file_->GetPage(PageOffset(32 * P), page); }), engine::ErrIndexPagesCorrupt);

    // Under the transaction lock the list grows by 64 without writing; a trim goes back to 31 pages and keeps
    // the cursor's current page, the least recently used of them.
    owner_.transaction = true;
    pins[0]->MarkDirty();
    pins.push_back(Fetch(32 * P));
    EXPECT_EQ(List().Capacity(), 31 + 64);
    EXPECT_EQ(List().Count(), 32);
    EXPECT_TRUE(file_->writes.empty());
    file_->SetCurrentPage(std::move(pins[0]));
    pins.clear();
    owner_.transaction = false;
    file_->TrimPageCaches();
    EXPECT_EQ(List().Capacity(), 31);
    EXPECT_EQ(List().Count(), 31);
    ASSERT_TRUE(file_->CurrentPage());
    EXPECT_EQ(file_->CurrentPage()->GetPosition(), PageOffset(P));
    EXPECT_EQ(List().Peek(PageOffset(2 * P)), nullptr);
}

TEST_F(PageCacheTest, UnpinningAllKeepsTheCurrentPagesOwnPin) {
    Make(3);
    PagePin held = Fetch(P);
    file_->SetCurrentPage(Fetch(2 * P));
    file_->UnpinAllPages();
    EXPECT_EQ(List().Peek(PageOffset(P))->PinCount(), 0);
    EXPECT_EQ(file_->CurrentPage()->PinCount(), 1);
    held = PagePin();
    EXPECT_EQ(file_->CurrentPage()->PinCount(), 1);
    file_->CurrentPage().Release();
    EXPECT_EQ(List().Peek(PageOffset(2 * P))->PinCount(), 0);
}

TEST_F(PageCacheTest, UnpinningEveryPageLetsAFlushWriteTheCurrentPageAndRepinningKeepsIt) {
    Make(40);
    file_->SetCurrentPage(Fetch(2 * P));
    file_->CurrentPage()->MarkDirty();
    file_->UnpinEveryPage();
    EXPECT_FALSE(file_->CurrentPage());
    EXPECT_EQ(List().Peek(PageOffset(2 * P))->PinCount(), 0);
    ASSERT_TRUE(file_->FlushPages());
    EXPECT_EQ(file_->writes, (std::vector<IndexAccess>{{2 * P, P}}));
    file_->RepinCurrentPage();
    ASSERT_TRUE(file_->CurrentPage());
    EXPECT_EQ(file_->CurrentPage()->PinCount(), 1);
    // More pages than the list holds pass the cursor's page by.
    for (std::uint32_t k = 3; k <= 40; ++k) Fetch(k * P);
    ASSERT_TRUE(file_->CurrentPage());
    EXPECT_EQ(file_->CurrentPage()->GetPosition(), PageOffset(2 * P));

    // Evicted while it was unpinned, the page is not the cursor's any more: nothing is pinned again.
    file_->UnpinEveryPage();
    for (std::uint32_t k = 3; k <= 40; ++k) Fetch(k * P);
    ASSERT_EQ(List().Peek(PageOffset(2 * P)), nullptr);
    file_->RepinCurrentPage();
    EXPECT_FALSE(file_->CurrentPage());
}

TEST_F(PageCacheTest, TheContiguousRunFollowsTheCurrentLeafsRecordNumbers) {
    Make(3);
    EXPECT_EQ(file_->GetContiguousRunLength(100, 1), 1u);
    file_->SetCurrentPage(Fetch(P));
    PagePin& leaf = file_->CurrentPage();
    leaf->SetPageType(engine::PageTypeLeaf);
    EXPECT_EQ(EngineCode([&] { file_->GetContiguousRunLength(100, 1); }), engine::ErrIndexPagesCorrupt);
    const std::uint32_t records[] = {4, 5, 6, 8, 9};
    for (std::size_t i = 0; i < std::size(records); ++i)
        leaf->InsertEntry(i, TreeKey(5, static_cast<std::uint32_t>(i + 1)), records[i]);
    struct Case {
        std::uint16_t cursor;
        std::uint32_t max;
        int direction;
        std::uint32_t run;
    };
    // Never past a gap in the record numbers, the page's end or the most asked for.
    for (const Case c : {Case{2, 100, 1, 2}, Case{2, 100, 2, 2}, Case{2, 1, 1, 1}, Case{4, 100, 1, 2},
                         Case{4, 100, 2, 1}, Case{1, 100, 2, 1}, Case{3, 2, 2, 2}}) {
        leaf->UpdateCursor = c.cursor;
        EXPECT_EQ(file_->GetContiguousRunLength(c.max, c.direction), c.run) << c.cursor << ' ' << c.direction;
    }
}

TEST_F(PageCacheTest, AMissAfterAnotherProgramsWriteReportsTheChangeWithEveryPageEmptied) {
    Make(3);
    PagePin held = Fetch(P);
    Fetch(2 * P);
    table_.IndexFile().WriteHeader(true);
    PagePin page;
    EXPECT_FALSE(file_->GetPage(PageOffset(3 * P), page));
    EXPECT_FALSE(page);
    EXPECT_FALSE(held);
    List().ForEach([](const engine::TPage& p) { EXPECT_EQ(p.GetPosition(), engine::NoPage); });
    // The next operation starts again and reads the pages anew.
    EXPECT_TRUE(file_->GetPage(PageOffset(P), page));
    // With strict change detection the counters were compared before the operation: a miss asks nothing.
    owner_.strict = true;
    const int asked = owner_.beginReads;
    table_.IndexFile().WriteHeader(true);
    EXPECT_TRUE(file_->GetPage(PageOffset(2 * P), page));
    EXPECT_EQ(owner_.beginReads, asked);
}

TEST_F(PageCacheTest, APageMissingFromTheFileIsAnErrorOnlyWhereOthersWriteIt) {
    Make(2);
    // The end of file counts a page the file does not hold yet (cut after the open, which refuses a file
    // shorter than its end of file).
    PatchFile(Name + ".IDX", IndexEndOfFileAt, 4, 4 * P);
    std::filesystem::resize_file(Name + ".IDX", 4 * P);
    file_->Close();
    file_->Open();
    std::filesystem::resize_file(Name + ".IDX", 3 * P);
    PagePin page;
    EXPECT_EQ(EngineCode([&] { file_->GetPage(PageOffset(3 * P), page); }), engine::ErrRead);
    EXPECT_EQ(List().Peek(PageOffset(3 * P)), nullptr);
    owner_.transaction = true;
    EXPECT_TRUE(file_->GetPage(PageOffset(3 * P), page));
    EXPECT_EQ(page->Count(), 0);
}

TEST_F(PageCacheTest, ADamagedPageIsRefusedAndNotKept) {
    Make(2);
    PatchFile(Name + ".IDX", 2 * P, 1, 9);
    PagePin page;
    EXPECT_EQ(EngineCode([&] { file_->GetPage(PageOffset(2 * P), page); }), engine::ErrIndexPagesCorrupt);
    EXPECT_EQ(List().Peek(PageOffset(2 * P)), nullptr);
    PatchFile(Name + ".IDX", 2 * P, 1, engine::PageTypeLeaf);
    EXPECT_EQ(Fetch(2 * P)->PageType(), engine::PageTypeLeaf);
}

TEST_F(PageCacheTest, CloseForgetsTheLocksAndFreesThePages) {
    Make(2);
    Fetch(P)->MarkDirty();
    RecordingIndexFile other(table_, table_, table_.Bitmaps());
    other.SetFileName(Name);
    other.Open();
    engine::LockRetryPolicy noRetry;
    noRetry.Retries = 0;
    file_->Locks().SetRetryPolicy(noRetry);
    other.Locks().SetRetryPolicy(noRetry);
    ASSERT_TRUE(other.LockRead());
    EXPECT_FALSE(file_->LockWrite());
    EXPECT_TRUE(other.UnlockRead());
    EXPECT_TRUE(file_->LockWrite());
    EXPECT_FALSE(other.LockRead());
    file_->Close();
    EXPECT_FALSE(file_->Locks().WriteHeld());
    EXPECT_EQ(List().Count(), 0);
    EXPECT_TRUE(file_->writes.empty());
    EXPECT_TRUE(other.LockRead());
}

TEST_F(PageCacheTest, AnExclusiveTableSizesItsListsFromTheFileAndASharedOneKeepsThirtyOne) {
    struct Case {
        std::uint32_t pages;
        bool exclusive;
        int capacity;
    };
    // The header page counts with the pages after it.
    for (const Case c : {Case{10, true, engine::PageCacheCapacity}, Case{99, true, 100}, Case{99, false, 31},
                         Case{2000, true, engine::MaxFittedPageCache}}) {
        fs::remove_all("pages");
        fs::create_directories("pages");
        CreateKeyTable(Name, 5, 0);
        std::string idx = ReadBytes(Name + ".IDX") + std::string(c.pages * P, '\0');
        PutLE(idx, IndexEndOfFileAt, 4, (c.pages + 1) * P);
        WriteBytes(Name + ".IDX", idx);
        engine::TDataFile table;
        table.SetFileName(Name);
        table.SetExclusive(c.exclusive);
        table.Open();
        EXPECT_EQ(table.IndexFile().Pages().List(0).Capacity(), c.capacity) << c.pages;
        EXPECT_EQ(table.IndexFile().Pages().List(3).BaseCapacity(), c.capacity) << c.pages;
    }
}

}  // namespace
