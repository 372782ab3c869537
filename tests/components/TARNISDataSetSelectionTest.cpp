#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "components/KeyBuffer.h"
#include "components/TARNISDataSet.h"
#include "db/Field.h"
#include "db/IntegerField.h"
#include "db/Messages.h"
#include "db/StringField.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/os/PosixFile.h"
#include "rtl/ExceptionHook.h"
#include "rtl/Variant.h"
#include "tests/components/support/DataSetFixture.h"
#include "tests/engine/support/ExprBuilders.h"

namespace {

using componenttest::MessageOf;
using componenttest::TestDataSet;
using enginetest::EngineCode;
using enginetest::FieldDef;
using enginetest::IndexDef;

// The test dataset with the selection members open to the test, and a lookup cursor of its own when asked:
// a clone of the handle on the named index, as a table keeps one.
class SelectionDataSet : public TestDataSet {
public:
    using TestDataSet::TestDataSet;
    using components::TTARNISDataSet::GetIsIndexField;
    using components::TTARNISDataSet::KeyBuffer;
    using components::TTARNISDataSet::ResetCursorRange;
    using components::TTARNISDataSet::SetCursorRange;
    using components::TTARNISDataSet::SetLinkRanges;
    using components::TTARNISDataSet::SwitchToIndex;
    using db::TDataSet::UpdateCursorPos;

    // What a table does when its index name changes while open.
    void UseIndex(const std::string& name) {
        CheckBrowseMode();
        SwitchToIndex(name);
        Resync(0);
    }

    // Empty: no lookup cursor (a scan serves).
    std::string LookupIndex;
    int LookupCursorRequests = 0;

protected:
    engine::TDataFile* GetLookupCursor(std::string_view, bool) override {
        ++LookupCursorRequests;
        if (LookupIndex.empty()) return nullptr;
        lookupCursor_ = Handle()->CloneCursor();
        lookupCursor_->SetIndexName(LookupIndex);
        return lookupCursor_.get();
    }
    void DestroyLookupCursor() override { lookupCursor_.reset(); }
    void DestroyHandle() override {
        lookupCursor_.reset();
        TestDataSet::DestroyHandle();
    }

private:
    std::unique_ptr<engine::TDataFile> lookupCursor_;
};

struct Row {
    int id;
    const char* name;
    const char* testType;
    int kph;
};

// Shaped like the program's results: one row per test, its type in lower case.
const std::vector<Row> kRows = {
    {1, "Smith", "alpha", 100},   {2, "jones", "numeric", 250},      {3, "Adams", "alphanumeric", 180},
    {4, "SMITH", "alpha", 90},    {5, "Brown", "numeric", 300},      {6, "Clark", "alphanumeric", 120},
    {7, "baker", "alpha", 210},   {8, "Smithers", "numeric", 150},
};

// The filter list the dataset leaves in its handle: per filter whether it is active.
std::vector<bool> FilterStates(components::TTARNISDataSet& dataSet) {
    std::vector<bool> states;
    const engine::TRecordBitmaps& bitmaps = dataSet.Handle()->Bitmaps();
    for (int i = 0; i < bitmaps.GetFilterCount(); ++i) states.push_back(bitmaps.GetFilter(i)->Active());
    return states;
}

class TARNISDataSetSelectionTest : public componenttest::DataSetTest {
protected:
    // RESULTS: ID integer (primary index), NAME string of 40, TESTTYPE string of 12, KPH integer; secondary
    // indexes NAME (case-insensitive), CSNAME (NAME, case-sensitive), TYPEKPH (TESTTYPE, KPH) and KPH.
    void SetUp() override {
        {
            components::SessionLockGuard lock(DefaultSession());
            std::vector<engine::TFieldDesc> fields = {
                FieldDef(1, "ID", engine::FieldTypeInteger),
                FieldDef(2, "NAME", engine::FieldTypeString, 40),
                FieldDef(3, "TESTTYPE", engine::FieldTypeString, 12),
                FieldDef(4, "KPH", engine::FieldTypeInteger),
            };
            engine::TIndexDescriptor byName = IndexDef("NAME", {2});
            byName.CaseInsensitive = 1;
            std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1}), byName, IndexDef("CSNAME", {2}),
                                                             IndexDef("TYPEKPH", {3, 4}), IndexDef("KPH", {4})};
            enginetest::CreateTable("results", fields, indexes);
        }
        SelectionDataSet filler;
        filler.TableName = "results";
        filler.Open();
        for (const Row& row : kRows) {
            filler.Append();
            filler.FieldByName("ID").SetAsInteger(row.id);
            filler.FieldByName("NAME").SetAsString(row.name);
            filler.FieldByName("TESTTYPE").SetAsString(row.testType);
            filler.FieldByName("KPH").SetAsInteger(row.kph);
            filler.Post();
        }
    }

    static std::unique_ptr<SelectionDataSet> Results() {
        auto dataSet = std::make_unique<SelectionDataSet>();
        dataSet->TableName = "results";
        return dataSet;
    }

    static int Id(db::TDataSet& dataSet) { return dataSet.FieldByName("ID").AsInteger(); }

    // The IDs from the first record to the end; the active record is then the last.
    static std::vector<int> Ids(db::TDataSet& dataSet) {
        std::vector<int> ids;
        dataSet.First();
        while (!dataSet.Eof()) {
            ids.push_back(Id(dataSet));
            dataSet.Next();
        }
        return ids;
    }

    // Goes to the record with the ID by walking, so that no search under test takes part.
    static void GoTo(db::TDataSet& dataSet, int id) {
        dataSet.First();
        while (!dataSet.Eof() && Id(dataSet) != id) dataSet.Next();
        ASSERT_EQ(Id(dataSet), id);
    }
};

// ---- Index switching ----

TEST_F(TARNISDataSetSelectionTest, SwitchingKeepsTheRecordAndFollowsTheNewOrder) {
    auto dataSet = Results();
    dataSet->Open();
    EXPECT_EQ(dataSet->BookmarkSize(), 5u);  // the primary index's key: has-value byte and integer
    GoTo(*dataSet, 5);
    dataSet->UseIndex("NAME");
    EXPECT_EQ(Id(*dataSet), 5);
    // ADAMS, BAKER, BROWN, ...: Brown is third.
    EXPECT_EQ(dataSet->RecNo(), 3);
    EXPECT_EQ(dataSet->IndexFieldCount(), 1);
    EXPECT_TRUE(dataSet->CaseInsensitiveIndex());
    EXPECT_EQ(dataSet->KeySize(), dataSet->Handle()->GetKeyLength());
    EXPECT_EQ(dataSet->BookmarkSize(), dataSet->KeySize());
    EXPECT_EQ(dataSet->BufferSize(), dataSet->BookmarkOffset() + dataSet->KeySize());
    // Equal names in a non-unique index follow their record IDs.
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{3, 7, 5, 6, 2, 1, 4, 8}));

    // Bookmarks of the new size lead back to their records.
    GoTo(*dataSet, 4);
    const db::TBookmark smith = dataSet->Bookmark();
    ASSERT_EQ(smith.size(), dataSet->KeySize());
    dataSet->First();
    dataSet->GotoBookmark(smith);
    EXPECT_EQ(Id(*dataSet), 4);
    EXPECT_TRUE(dataSet->BookmarkValid(smith.data()));
    dataSet->First();
    EXPECT_EQ(dataSet->CompareBookmarks(dataSet->Bookmark(), smith), -1);

    // Letter case of the name does not matter; back to the primary index the bookmarks shrink again.
    dataSet->UseIndex("csname");
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{3, 5, 6, 4, 1, 8, 7, 2}));
    EXPECT_FALSE(dataSet->CaseInsensitiveIndex());
    dataSet->UseIndex("");
    EXPECT_EQ(dataSet->BookmarkSize(), 5u);
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(TARNISDataSetSelectionTest, TheOldValueBufferFollowsTheBookmarkSize) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->UseIndex("NAME");
    GoTo(*dataSet, 8);
    dataSet->Edit();
    dataSet->FieldByName("KPH").SetAsInteger(151);
    EXPECT_EQ(rtl::VarToInt(dataSet->FieldByName("KPH").OldValue()), 150);
    dataSet->Post();
    EXPECT_EQ(dataSet->FieldByName("KPH").AsInteger(), 151);
}

TEST_F(TARNISDataSetSelectionTest, AnUnknownIndexNameChangesNothing) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->UseIndex("KPH");
    GoTo(*dataSet, 1);  // KPH order: 4 (90), 1 (100), 6 (120), ...
    EXPECT_EQ(EngineCode([&] { dataSet->UseIndex("NOSUCH"); }), engine::ErrInvalidIndexName);
    EXPECT_TRUE(dataSet->Active());
    EXPECT_EQ(Id(*dataSet), 1);
    EXPECT_EQ(dataSet->IndexFieldCount(), 1);
    dataSet->Next();
    EXPECT_EQ(Id(*dataSet), 6);
    dataSet->Prior();
    dataSet->Prior();
    EXPECT_EQ(Id(*dataSet), 4);
    dataSet->Edit();
    dataSet->FieldByName("NAME").SetAsString("Smyth");
    dataSet->Post();
    EXPECT_EQ(Id(*dataSet), 4);
    EXPECT_EQ(dataSet->FieldByName("NAME").AsString(), "Smyth");
    dataSet->Next();
    EXPECT_EQ(Id(*dataSet), 1);
}

TEST_F(TARNISDataSetSelectionTest, ASwitchThatFailsAfterTheEngineMovedClosesTheDataSet) {
    auto dataSet = Results();
    // Exclusive: no change checks read the files, so the first read of the index file is the new index's.
    dataSet->Exclusive = true;
    dataSet->Open();
    GoTo(*dataSet, 5);
    ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Read, "results.IDX", 1, EIO));
    const int code = EngineCode([&] { dataSet->UseIndex("NAME"); });
    const bool fired = engine::IoFaultFired();
    engine::DisarmIoFault();
    ASSERT_TRUE(fired);
    EXPECT_NE(code, 0);
    EXPECT_FALSE(dataSet->Active());
    EXPECT_EQ(dataSet->Handle(), nullptr);
    // It opens again, in its first order.
    dataSet->Open();
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(TARNISDataSetSelectionTest, IndexFieldsAreTheCurrentIndexs) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->UseIndex("TYPEKPH");
    EXPECT_EQ(&dataSet->GetIndexField(0), &dataSet->FieldByName("TESTTYPE"));
    EXPECT_EQ(&dataSet->GetIndexField(1), &dataSet->FieldByName("KPH"));
    for (int bad : {-1, 2})
        EXPECT_EQ(MessageOf([&] { dataSet->GetIndexField(bad); }), db::kFieldIndexError) << bad;
    EXPECT_TRUE(dataSet->GetIsIndexField(&dataSet->FieldByName("KPH")));
    EXPECT_FALSE(dataSet->GetIsIndexField(&dataSet->FieldByName("NAME")));
    EXPECT_TRUE(dataSet->FieldByName("TESTTYPE").IsIndexField());
    // A new record takes index field values from another dataset's fields, as a detail takes its master's.
    auto master = Results();
    master->Open();
    GoTo(*master, 8);
    dataSet->Append();
    dataSet->SetIndexField(0, master->FieldByName("TESTTYPE"));
    dataSet->SetIndexField(1, master->FieldByName("KPH"));
    EXPECT_EQ(dataSet->FieldByName("TESTTYPE").AsString(), "numeric");
    EXPECT_EQ(dataSet->FieldByName("KPH").AsInteger(), 150);
    dataSet->Cancel();
    // In natural order no field is an index field.
    auto natural = Results();
    natural->NaturalOrder = true;
    natural->Open();
    EXPECT_EQ(natural->IndexFieldCount(), 0);
    EXPECT_EQ(natural->KeySize(), 0u);
    EXPECT_FALSE(natural->GetIsIndexField(&natural->FieldByName("ID")));
}

TEST_F(TARNISDataSetSelectionTest, AnIndexFieldWithoutAFieldComponentIsNamed) {
    SelectionDataSet dataSet;
    dataSet.TableName = "results";
    auto* id = new db::TIntegerField(&dataSet);
    id->SetFieldName("ID");
    id->SetDataSet(&dataSet);
    dataSet.Open();
    dataSet.UseIndex("CSNAME");
    EXPECT_EQ(MessageOf([&] { dataSet.GetIndexField(0); }), "Cannot access index field 'NAME'");
}

// ---- Key buffers and ranges ----

TEST(KeyBufferTest, TheHeaderIsLittleEndianAfterTwoFlagsAndTwoZeroBytes) {
    components::TKeyBuffer buffer(components::KeyBufferHeaderSize + 4, 0xEE);
    components::EncodeKeyBufferHeader({.Modified = true, .Exclusive = false, .FieldCount = 0x01020304}, buffer);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 8),
              (std::vector<std::uint8_t>{1, 0, 0, 0, 4, 3, 2, 1}));
    EXPECT_EQ(buffer[8], 0xEE);  // the image is not touched
    const components::TKeyBufferHeader header = components::DecodeKeyBufferHeader(buffer);
    EXPECT_TRUE(header.Modified);
    EXPECT_FALSE(header.Exclusive);
    EXPECT_EQ(header.FieldCount, 0x01020304);
}

TEST_F(TARNISDataSetSelectionTest, ALinkRangeAdmitsTheMasterValueOnly) {
    auto master = Results();
    master->Open();
    GoTo(*master, 2);  // numeric
    auto detail = Results();
    detail->Open();
    detail->UseIndex("TYPEKPH");
    detail->SetLinkRanges({&master->FieldByName("TESTTYPE")});
    EXPECT_EQ(detail->State(), db::dsBrowse);
    const components::TKeyBufferHeader start =
        components::DecodeKeyBufferHeader(detail->KeyBuffer(SelectionDataSet::kiRangeStart));
    EXPECT_TRUE(start.Modified);
    EXPECT_EQ(start.FieldCount, 1);
    EXPECT_EQ(detail->KeyBuffer(SelectionDataSet::kiRangeEnd), detail->KeyBuffer(SelectionDataSet::kiRangeStart));

    EXPECT_TRUE(detail->SetCursorRange());
    EXPECT_EQ(Ids(*detail), (std::vector<int>{8, 2, 5}));
    EXPECT_EQ(detail->RecordCount(), 3);
    // The same keys again: the engine is left alone (its cursor stays where the walk left it).
    detail->UpdateCursorPos();
    std::vector<std::uint8_t> before(detail->Handle()->GetKeySize());
    detail->Handle()->GetBookmark(before);
    detail->SetLinkRanges({&master->FieldByName("TESTTYPE")});
    EXPECT_FALSE(detail->SetCursorRange());
    std::vector<std::uint8_t> after(detail->Handle()->GetKeySize());
    detail->Handle()->GetBookmark(after);
    EXPECT_EQ(after, before);

    // Another master value narrows to its rows.
    GoTo(*master, 1);
    detail->SetLinkRanges({&master->FieldByName("TESTTYPE")});
    EXPECT_TRUE(detail->SetCursorRange());
    EXPECT_EQ(Ids(*detail), (std::vector<int>{4, 1, 7}));

    EXPECT_TRUE(detail->ResetCursorRange());
    detail->Resync(0);
    EXPECT_EQ(Ids(*detail), (std::vector<int>{4, 1, 7, 6, 3, 8, 2, 5}));
    EXPECT_FALSE(detail->ResetCursorRange());
}

TEST_F(TARNISDataSetSelectionTest, ASwitchCancelsTheRange) {
    auto master = Results();
    master->Open();
    GoTo(*master, 3);
    auto detail = Results();
    detail->Open();
    detail->UseIndex("TYPEKPH");
    detail->SetLinkRanges({&master->FieldByName("TESTTYPE")});
    ASSERT_TRUE(detail->SetCursorRange());
    EXPECT_EQ(Ids(*detail), (std::vector<int>{6, 3}));
    detail->UseIndex("KPH");
    EXPECT_EQ(Ids(*detail), (std::vector<int>{4, 1, 6, 8, 3, 7, 2, 5}));
}

TEST_F(TARNISDataSetSelectionTest, OnlyIndexFieldsTakeValuesInTheSetKeyState) {
    auto master = Results();
    master->Open();
    auto detail = Results();
    detail->Open();
    detail->UseIndex("TYPEKPH");
    // Master field 2 goes to index field 2 (KPH); NAME is no index field of TYPEKPH.
    detail->SetLinkRanges({&master->FieldByName("TESTTYPE"), &master->FieldByName("KPH")});
    EXPECT_EQ(components::DecodeKeyBufferHeader(detail->KeyBuffer(SelectionDataSet::kiRangeStart)).FieldCount,
              2);
    detail->UseIndex("KPH");
    EXPECT_EQ(MessageOf([&] { detail->SetLinkRanges({&master->FieldByName("KPH"), &master->FieldByName("ID")}); }),
              db::kFieldIndexError);
    EXPECT_EQ(detail->State(), db::dsBrowse);
}

// ---- Filters ----

TEST_F(TARNISDataSetSelectionTest, AFilterTextShowsItsTestTypeOnly) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->SetFilter("TESTTYPE='alpha'");
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{false}));
    EXPECT_EQ(Ids(*dataSet).size(), 8u);
    dataSet->SetFiltered(true);
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{true}));
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{1, 4, 7}));
    EXPECT_EQ(dataSet->RecordCount(), 3);
    EXPECT_FALSE(dataSet->IsSequenced());
    dataSet->SetFiltered(false);
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{false}));
    EXPECT_EQ(Ids(*dataSet).size(), 8u);
    EXPECT_EQ(dataSet->RecordCount(), 8);
}

TEST_F(TARNISDataSetSelectionTest, EveryIndexAndTestTypeShowsItsRowsInItsOrder) {
    struct Case {
        const char* index;
        const char* testType;
        std::vector<int> ids;
    };
    const std::vector<Case> cases = {
        {"", "alpha", {1, 4, 7}},          {"", "alphanumeric", {3, 6}},        {"", "numeric", {2, 5, 8}},
        {"NAME", "alpha", {7, 1, 4}},      {"NAME", "alphanumeric", {3, 6}},    {"NAME", "numeric", {5, 2, 8}},
        {"CSNAME", "alpha", {4, 1, 7}},    {"CSNAME", "alphanumeric", {3, 6}},  {"CSNAME", "numeric", {5, 8, 2}},
        {"TYPEKPH", "alpha", {4, 1, 7}},   {"TYPEKPH", "alphanumeric", {6, 3}}, {"TYPEKPH", "numeric", {8, 2, 5}},
        {"KPH", "alpha", {4, 1, 7}},       {"KPH", "alphanumeric", {6, 3}},     {"KPH", "numeric", {8, 2, 5}},
    };
    auto dataSet = Results();
    dataSet->Open();
    for (const Case& c : cases) {
        dataSet->UseIndex(c.index);
        dataSet->SetFilter(std::string("TESTTYPE='") + c.testType + "'");
        dataSet->SetFiltered(true);
        EXPECT_EQ(Ids(*dataSet), c.ids) << c.index << " " << c.testType;
        EXPECT_EQ(dataSet->RecordCount(), static_cast<int>(c.ids.size())) << c.index << " " << c.testType;
        dataSet->SetFiltered(false);
    }
}

TEST_F(TARNISDataSetSelectionTest, TheSameTextKeepsTheFilterAndAnEmptyOneDropsIt) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->SetFilter("TESTTYPE='numeric'");
    dataSet->SetFiltered(true);
    const engine::TFilter* filter = dataSet->Handle()->Bitmaps().GetFilter(0);
    dataSet->SetFilter("TESTTYPE='numeric'");
    ASSERT_EQ(FilterStates(*dataSet), (std::vector<bool>{true}));
    EXPECT_EQ(dataSet->Handle()->Bitmaps().GetFilter(0), filter);
    // Other options make another filter in its place.
    dataSet->SetFilterOptions(db::foCaseInsensitive);
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{true}));
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{2, 5, 8}));
    dataSet->SetFilter("");
    EXPECT_TRUE(FilterStates(*dataSet).empty());
    EXPECT_EQ(Ids(*dataSet).size(), 8u);
    EXPECT_TRUE(dataSet->Filtered());
}

TEST_F(TARNISDataSetSelectionTest, AFilterThatDoesNotParseLeavesTheOldOneInPlace) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->SetFilter("TESTTYPE='alpha'");
    dataSet->SetFiltered(true);
    EXPECT_EQ(MessageOf([&] { dataSet->SetFilter("TESTTYPE='alpha"); }), "Unterminated string constant");
    EXPECT_EQ(dataSet->Filter(), "TESTTYPE='alpha'");
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{true}));
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{1, 4, 7}));
    EXPECT_NE(MessageOf([&] { dataSet->SetFilter("NOSUCH=1"); }), "");
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{1, 4, 7}));
}

TEST_F(TARNISDataSetSelectionTest, FiltersSetWhileClosedApplyAtOpen) {
    auto dataSet = Results();
    dataSet->SetFilter("TESTTYPE='alphanumeric'");
    dataSet->SetFilterData("TESTTYPE='ALPHANUMERIC'", db::foCaseInsensitive);
    dataSet->SetFiltered(true);
    dataSet->SetOnFilterRecord([](db::TDataSet& d, bool& accept) { accept = Id(d) != 3; });
    EXPECT_EQ(dataSet->Filter(), "TESTTYPE='ALPHANUMERIC'");
    dataSet->Open();
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{true, true}));
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{6}));
    // Closed again, the filters went with the handle; the settings stay for the next open.
    dataSet->Close();
    dataSet->SetFiltered(false);
    dataSet->Open();
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{false, false}));
    EXPECT_EQ(Ids(*dataSet).size(), 8u);
}

TEST_F(TARNISDataSetSelectionTest, ABadFilterTextFailsTheOpenAndLeavesItClosed) {
    auto dataSet = Results();
    dataSet->SetFilter("NOSUCH=1");
    EXPECT_NE(MessageOf([&] { dataSet->Open(); }), "");
    EXPECT_FALSE(dataSet->Active());
    dataSet->SetFilter("");
    dataSet->Open();
    EXPECT_EQ(dataSet->RecordCount(), 8);
}

TEST_F(TARNISDataSetSelectionTest, OnFilterRecordKeepsTheRecordsItAccepts) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->SetOnFilterRecord([](db::TDataSet& d, bool& accept) {
        EXPECT_EQ(d.State(), db::dsFilter);
        accept = Id(d) % 2 == 0;
    });
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{false}));
    EXPECT_EQ(Ids(*dataSet).size(), 8u);
    dataSet->SetFiltered(true);
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{2, 4, 6, 8}));
    EXPECT_EQ(dataSet->RecordCount(), 4);
    // With the text filter too, both apply.
    dataSet->SetFilter("TESTTYPE='numeric'");
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{2, 8}));
    // A new handler replaces the old one's filter.
    dataSet->SetOnFilterRecord([](db::TDataSet& d, bool& accept) { accept = Id(d) > 4; });
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{true, true}));
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{5, 8}));
    dataSet->SetOnFilterRecord(nullptr);
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{true}));
    EXPECT_EQ(Ids(*dataSet), (std::vector<int>{2, 5, 8}));
    EXPECT_EQ(dataSet->State(), db::dsBrowse);
}

TEST_F(TARNISDataSetSelectionTest, AFailingHandlerIsReportedOncePerRecordAndNavigationGoesOn) {
    int reported = 0;
    const rtl::ExceptionHandler previous =
        rtl::SetExceptionHandler([&](std::exception_ptr) { ++reported; });
    int calls = 0;
    auto dataSet = Results();
    dataSet->Open();
    dataSet->SetOnFilterRecord([&](db::TDataSet& d, bool& accept) {
        ++calls;
        // The answer given before the failure stands.
        accept = Id(d) != 3;
        throw std::runtime_error("handler failed");
    });
    dataSet->SetFiltered(true);
    const std::vector<int> ids = Ids(*dataSet);
    rtl::SetExceptionHandler(previous);
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 4, 5, 6, 7, 8}));
    EXPECT_GE(calls, 8);
    EXPECT_EQ(reported, calls);
    EXPECT_EQ(dataSet->State(), db::dsBrowse);
}

TEST_F(TARNISDataSetSelectionTest, AHandlerWritingAFieldChangesNoStoredRecord) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->SetOnFilterRecord([](db::TDataSet& d, bool& accept) {
        d.FieldByName("NAME").SetAsString("changed");
        accept = true;
    });
    dataSet->SetFiltered(true);
    dataSet->SetFiltered(false);
    dataSet->SetOnFilterRecord(nullptr);
    dataSet->First();
    EXPECT_EQ(dataSet->FieldByName("NAME").AsString(), "Smith");
}

TEST_F(TARNISDataSetSelectionTest, FindVisitsTheMatchesOfAnUnfilteredDataSet) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->SetFilter("TESTTYPE='numeric'");
    EXPECT_TRUE(dataSet->FindFirst());
    EXPECT_EQ(Id(*dataSet), 2);
    EXPECT_TRUE(dataSet->Found());
    EXPECT_TRUE(dataSet->FindNext());
    EXPECT_EQ(Id(*dataSet), 5);
    EXPECT_TRUE(dataSet->FindNext());
    EXPECT_EQ(Id(*dataSet), 8);
    EXPECT_FALSE(dataSet->FindNext());
    EXPECT_FALSE(dataSet->Found());
    EXPECT_EQ(Id(*dataSet), 8);
    EXPECT_TRUE(dataSet->FindLast());
    EXPECT_EQ(Id(*dataSet), 8);
    EXPECT_TRUE(dataSet->FindPrior());
    EXPECT_EQ(Id(*dataSet), 5);
    EXPECT_TRUE(dataSet->FindPrior());
    EXPECT_TRUE(dataSet->FindPrior() == false);
    EXPECT_EQ(Id(*dataSet), 2);
    EXPECT_FALSE(dataSet->Filtered());
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{false}));
    EXPECT_EQ(dataSet->RecordCount(), 8);
    EXPECT_EQ(Ids(*dataSet).size(), 8u);
}

TEST_F(TARNISDataSetSelectionTest, FindFromAnyRecordTakesTheNearestMatchInItsDirection) {
    struct Case {
        const char* index;
        int from;
        bool forward;
        int expected;  // 0: none, the record stays
    };
    // The matches are 3 and 6; in KPH order 4, 1, 6, 8, 3, 7, 2, 5.
    const std::vector<Case> cases = {
        {"", 4, true, 6},    {"", 4, false, 3},    {"", 3, true, 6},     {"", 6, true, 0},
        {"", 7, false, 6},   {"", 1, false, 0},    {"KPH", 8, true, 3},  {"KPH", 8, false, 6},
        {"KPH", 1, true, 6}, {"KPH", 7, true, 0},  {"KPH", 7, false, 3}, {"KPH", 6, true, 3},
    };
    // Natural order visits the records in the order they were added, which is ID order here.
    for (const bool naturalOrder : {false, true}) {
        auto dataSet = Results();
        dataSet->NaturalOrder = naturalOrder;
        dataSet->Open();
        dataSet->SetOnFilterRecord([](db::TDataSet& d, bool& accept) { accept = Id(d) % 3 == 0; });
        for (const Case& c : cases) {
            if (naturalOrder && std::string(c.index) != "") continue;
            const std::string label = std::string(naturalOrder ? "natural" : c.index) + " from " +
                                      std::to_string(c.from) + (c.forward ? " forward" : " backward");
            if (!naturalOrder) dataSet->UseIndex(c.index);
            GoTo(*dataSet, c.from);
            const bool found = c.forward ? dataSet->FindNext() : dataSet->FindPrior();
            EXPECT_EQ(found, c.expected != 0) << label;
            EXPECT_EQ(Id(*dataSet), c.expected != 0 ? c.expected : c.from) << label;
            EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{false})) << label;
        }
        if (!naturalOrder) dataSet->UseIndex("");
        EXPECT_TRUE(dataSet->FindFirst());
        EXPECT_EQ(Id(*dataSet), 3);
        EXPECT_TRUE(dataSet->FindLast());
        EXPECT_EQ(Id(*dataSet), 6);
    }
}

TEST_F(TARNISDataSetSelectionTest, FindOnAFilteredDataSetUsesItsFilters) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->SetFilter("TESTTYPE='alpha'");
    dataSet->SetFiltered(true);
    EXPECT_TRUE(dataSet->FindLast());
    EXPECT_EQ(Id(*dataSet), 7);
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{true}));
}

// ---- Locate and Lookup ----

TEST_F(TARNISDataSetSelectionTest, LocateFindsThroughTheIndexOrByScanning) {
    using rtl::Variant;
    struct Case {
        const char* index;  // the dataset's current index
        const char* lookupIndex;  // the lookup cursor's, "" for none
        const char* fields;
        Variant values;
        db::TLocateOptions options;
        int expected;  // 0: not found
        bool ownIndex;  // searched through the current index, no lookup cursor asked for
    };
    const std::vector<Case> cases = {
        {"CSNAME", "", "NAME", Variant("SMITH"), 0, 4, true},
        {"CSNAME", "", "NAME", Variant("Sm"), db::loPartialKey, 1, true},
        {"", "", "NAME", Variant("Sm"), db::loPartialKey, 1, false},
        {"NAME", "", "NAME", Variant("smi"), db::loPartialKey | db::loCaseInsensitive, 1, true},
        {"CSNAME", "", "NAME", Variant("smith"), db::loCaseInsensitive, 4, false},
        {"", "", "NAME", Variant("smith"), db::loCaseInsensitive, 1, false},
        {"", "", "NAME", Variant("smith"), 0, 0, false},
        {"TYPEKPH", "", "TESTTYPE;KPH", rtl::VarArrayOf({"alpha", 90}), 0, 4, true},
        {"TYPEKPH", "", "TESTTYPE", Variant("numeric"), 0, 8, true},
        {"", "", "TESTTYPE;KPH", rtl::VarArrayOf({"alpha", 90}), 0, 4, false},
        {"", "", "KPH;TESTTYPE", rtl::VarArrayOf({90, "numeric"}), 0, 0, false},
        {"", "", "ID", rtl::VarArrayOf({6}), 0, 6, true},
        {"", "", "ID", Variant(60), 0, 0, true},
        {"", "KPH", "KPH", Variant(210), 0, 7, false},
        {"", "KPH", "KPH", Variant(211), 0, 0, false},
        {"KPH", "CSNAME", "NAME", Variant("Clark"), 0, 6, false},
        // An empty partial text matches every record, whichever road the search takes: the first one.
        {"", "", "NAME", Variant(""), db::loPartialKey, 1, true},
        {"CSNAME", "", "NAME", Variant(""), db::loPartialKey, 3, true},
        {"NAME", "", "NAME", Variant(""), db::loPartialKey | db::loCaseInsensitive, 3, true},
        {"KPH", "CSNAME", "NAME", Variant(""), db::loPartialKey, 4, true},
        {"", "", "TESTTYPE;NAME", rtl::VarArrayOf({"numeric", ""}), db::loPartialKey, 2, false},
        {"TYPEKPH", "", "TESTTYPE;NAME", rtl::VarArrayOf({"numeric", ""}), db::loPartialKey, 8, true},
    };
    auto dataSet = Results();
    dataSet->Open();
    for (const Case& c : cases) {
        const std::string label = "case " + std::to_string(&c - cases.data());
        dataSet->UseIndex(c.index);
        dataSet->LookupIndex = c.lookupIndex;
        GoTo(*dataSet, 5);
        const int recNo = dataSet->RecNo();
        const std::vector<bool> filters = FilterStates(*dataSet);
        dataSet->LookupCursorRequests = 0;
        const bool found = dataSet->Locate(c.fields, c.values, c.options);
        EXPECT_EQ(found, c.expected != 0) << label;
        EXPECT_EQ(Id(*dataSet), c.expected != 0 ? c.expected : 5) << label;
        if (c.expected == 0) {
            EXPECT_EQ(dataSet->RecNo(), recNo) << label;
        }
        EXPECT_EQ(dataSet->LookupCursorRequests == 0, c.ownIndex) << label;
        EXPECT_EQ(FilterStates(*dataSet), filters) << label;
        EXPECT_EQ(dataSet->State(), db::dsBrowse) << label;
        // The window around the record is whole: the walk from it goes on in the index's order.
        dataSet->Next();
    }
}

TEST_F(TARNISDataSetSelectionTest, LocateInNaturalOrderScans) {
    auto dataSet = Results();
    dataSet->NaturalOrder = true;
    dataSet->Open();
    GoTo(*dataSet, 2);
    EXPECT_TRUE(dataSet->Locate("ID", 6, 0));
    EXPECT_EQ(Id(*dataSet), 6);
    EXPECT_EQ(dataSet->LookupCursorRequests, 1);
    EXPECT_FALSE(dataSet->Locate("NAME", "Nobody", 0));
    EXPECT_EQ(Id(*dataSet), 6);
    dataSet->Next();
    EXPECT_EQ(Id(*dataSet), 7);
    EXPECT_TRUE(FilterStates(*dataSet).empty());
}

TEST_F(TARNISDataSetSelectionTest, LocateHonoursTheFiltersOfAFilteredDataSet) {
    auto dataSet = Results();
    dataSet->Open();
    dataSet->SetFilter("TESTTYPE='numeric'");
    dataSet->SetFiltered(true);
    EXPECT_FALSE(dataSet->Locate("NAME", "Smith", 0));
    EXPECT_TRUE(dataSet->Locate("NAME", "Smithers", 0));
    EXPECT_EQ(Id(*dataSet), 8);
    EXPECT_EQ(FilterStates(*dataSet), (std::vector<bool>{true}));
}

TEST_F(TARNISDataSetSelectionTest, KeyValuesThatDoNotFitTheFieldsMoveNothing) {
    auto dataSet = Results();
    dataSet->Open();
    for (const char* index : {"", "TYPEKPH", "KPH"}) {
        dataSet->UseIndex(index);
        GoTo(*dataSet, 5);
        const int recNo = dataSet->RecNo();
        EXPECT_THROW(dataSet->Locate("TESTTYPE;KPH", "alpha", 0), rtl::EVariantError) << index;
        EXPECT_THROW(dataSet->Locate("TESTTYPE;KPH", rtl::VarArrayOf({"alpha"}), 0), rtl::EVariantError)
            << index;
        EXPECT_THROW(dataSet->Locate("KPH", rtl::VarArrayOf({90, 100}), 0), rtl::EVariantError) << index;
        // A value the field cannot take: through the index and by a scan alike.
        EXPECT_ANY_THROW(dataSet->Locate("KPH", "fast", 0)) << index;
        EXPECT_ANY_THROW(dataSet->Lookup("KPH", "fast", "NAME")) << index;
        EXPECT_EQ(dataSet->RecNo(), recNo) << index;
        EXPECT_EQ(Id(*dataSet), 5) << index;
        EXPECT_TRUE(FilterStates(*dataSet).empty()) << index;
        EXPECT_EQ(dataSet->State(), db::dsBrowse) << index;
    }
}

TEST_F(TARNISDataSetSelectionTest, LookupReturnsValuesWithoutMoving) {
    SelectionDataSet dataSet;
    dataSet.TableName = "results";
    for (const char* name : {"ID", "NAME", "TESTTYPE", "KPH"}) {
        db::TField* field = std::string(name) == "ID" || std::string(name) == "KPH"
                                ? static_cast<db::TField*>(new db::TIntegerField(&dataSet))
                                : new db::TStringField(&dataSet);
        if (std::string(name) == "NAME") field->SetSize(40);
        if (std::string(name) == "TESTTYPE") field->SetSize(12);
        field->SetFieldName(name);
        field->SetDataSet(&dataSet);
    }
    auto* perMinute = new db::TIntegerField(&dataSet);
    perMinute->SetFieldName("KPM");
    perMinute->SetFieldKind(db::fkCalculated);
    perMinute->SetDataSet(&dataSet);
    dataSet.OnCalcFields = [](db::TDataSet& d) {
        d.FieldByName("KPM").SetAsInteger(d.FieldByName("KPH").AsInteger() / 60);
    };
    dataSet.Open();
    GoTo(dataSet, 3);
    const int recNo = dataSet.RecNo();
    EXPECT_TRUE(dataSet.Lookup("ID", 99, "NAME").IsNull());
    EXPECT_EQ(rtl::VarToStr(dataSet.Lookup("ID", 5, "NAME")), "Brown");
    const rtl::Variant values = dataSet.Lookup("NAME", "Smithers", "NAME;KPH;KPM");
    ASSERT_TRUE(values.IsArray());
    ASSERT_EQ(values.ArrayLength(), 3u);
    EXPECT_EQ(rtl::VarToStr(values[0]), "Smithers");
    EXPECT_EQ(rtl::VarToInt(values[1]), 150);
    EXPECT_EQ(rtl::VarToInt(values[2]), 2);
    EXPECT_EQ(dataSet.RecNo(), recNo);
    EXPECT_EQ(Id(dataSet), 3);
    EXPECT_EQ(dataSet.FieldByName("KPM").AsInteger(), 3);
    EXPECT_EQ(dataSet.State(), db::dsBrowse);
    EXPECT_TRUE(FilterStates(dataSet).empty());
    dataSet.Next();
    EXPECT_EQ(Id(dataSet), 4);
}

// The working set of its handle computes K2 = KPH * 2, as a query's live result computes its expression
// columns; the dataset shows K2 as an internal calculated field beside its data fields.
class TwiceDataSet : public SelectionDataSet {
public:
    TwiceDataSet() {
        TableName = "results";
        for (const char* name : {"ID", "NAME", "TESTTYPE", "KPH", "K2"}) {
            const std::string text(name);
            db::TField* field = text == "NAME" || text == "TESTTYPE"
                                    ? static_cast<db::TField*>(new db::TStringField(this))
                                    : new db::TIntegerField(this);
            if (text == "NAME") field->SetSize(40);
            if (text == "TESTTYPE") field->SetSize(12);
            if (text == "K2") field->SetFieldKind(db::fkInternalCalc);
            field->SetFieldName(name);
            field->SetDataSet(this);
        }
    }

protected:
    engine::TDataFile* CreateHandle() override {
        std::unique_ptr<engine::TDataFile> handle(SelectionDataSet::CreateHandle());
        std::vector<engine::TFieldDesc> fields;
        for (std::uint16_t n = 1; n <= handle->GetPhysicalFieldCount(); ++n)
            fields.push_back(handle->GetFieldDesc(false, n));
        engine::TFieldDesc twice = FieldDef(5, "K2", engine::FieldTypeInteger);
        twice.Calculated = 1;
        twice.CompiledExpression = twice_.get();
        fields.push_back(twice);
        handle->DefineWorkingFields(fields);
        return handle.release();
    }

private:
    exprtest::NodePtr twice_ = [] {
        exprtest::NodePtr tree =
            exprtest::Binary(engine::opMultiply, exprtest::Column(4), exprtest::Const(exprtest::Int(2)),
                             engine::FieldTypeInteger);
        tree->Value.Size = 4;
        return tree;
    }();
};

TEST_F(TARNISDataSetSelectionTest, AnInternalCalculatedFieldFiltersAsTheDataSetComputesIt) {
    TwiceDataSet dataSet;
    dataSet.Open();
    ASSERT_EQ(dataSet.FieldByName("K2").FieldKind(), db::fkInternalCalc);
    // Each record shows K2 as twice its KPH.
    std::vector<int> above;
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
        ASSERT_EQ(dataSet.FieldByName("K2").AsInteger(), 2 * dataSet.FieldByName("KPH").AsInteger())
            << Id(dataSet);
        if (dataSet.FieldByName("K2").AsInteger() > 400) above.push_back(Id(dataSet));
    }
    ASSERT_EQ(above, (std::vector<int>{2, 5, 7}));
    // The filter keeps exactly the records whose K2, as shown, passes; in an index order too.
    for (const char* index : {"", "KPH"}) {
        dataSet.SetFiltered(false);
        dataSet.UseIndex(index);
        dataSet.SetFilter("K2 > 400");
        dataSet.SetFiltered(true);
        std::vector<int> kept = Ids(dataSet);
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(kept, above) << index;
        EXPECT_EQ(dataSet.RecordCount(), 3) << index;
        for (dataSet.First(); !dataSet.Eof(); dataSet.Next())
            EXPECT_GT(dataSet.FieldByName("K2").AsInteger(), 400);
        dataSet.SetFilter("K2 = 360 OR K2 = 180");
        EXPECT_EQ(Ids(dataSet),
                  std::string(index) == "" ? (std::vector<int>{3, 4}) : (std::vector<int>{4, 3}))
            << index;
    }
}

}  // namespace
