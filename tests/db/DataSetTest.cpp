#include "db/DataSet.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "MemDataSet.h"
#include "MessageOf.h"
#include "NumbersTable.h"
#include "RecordingLink.h"
#include "db/DataSource.h"
#include "db/Field.h"
#include "db/IntegerField.h"
#include "db/Messages.h"
#include "db/StringField.h"
#include "rtl/ExceptionHook.h"
#include "rtl/Exceptions.h"

namespace {

using namespace db;
using db_test::MessageOf;
using db_test::RecordingLink;
using db_test::TMemDataSet;
using Strings = std::vector<std::string>;

// Twenty rows seen through a link with a window of five records.
class Window : public ::testing::Test {
protected:
    void SetUp() override {
        db_test::FillNumbers(table_, 20);
        source_.SetDataSet(&table_);
        link_.SetDataSource(&source_);
        table_.Open();
        link_.Take();
    }
    int Id() { return table_.FieldByName("ID").AsInteger(); }

    TMemDataSet table_;
    TDataSource source_;
    RecordingLink link_{5};
};

TEST_F(Window, MovesPastBothEnds) {
    const struct {
        const char* name;
        std::function<void(TDataSet&)> moves;  // after First
        int id;
        bool bof, eof;
        Strings events;  // of the moves
        std::vector<int> window;
    } cases[] = {
        {"First", [](TDataSet&) {}, 1, true, false, {}, {1, 2, 3, 4, 5}},
        {"Next inside the window",
         [](TDataSet& d) { d.Next(); },
         2,
         false,
         false,
         {"scroll 0"},
         {1, 2, 3, 4, 5}},
        {"MoveBy(5) fetches one",
         [](TDataSet& d) { d.MoveBy(5); },
         6,
         false,
         false,
         {"scroll 1"},
         {2, 3, 4, 5, 6}},
        {"Prior at the first", [](TDataSet& d) { d.Prior(); }, 1, true, false, {}, {1, 2, 3, 4, 5}},
        {"MoveBy(25) past the end",
         [](TDataSet& d) { d.MoveBy(25); },
         20,
         false,
         true,
         {"scroll 15"},
         {16, 17, 18, 19, 20}},
        {"Next after the end",
         [](TDataSet& d) {
             d.MoveBy(25);
             d.Next();
         },
         20,
         false,
         true,
         {"scroll 15"},
         {16, 17, 18, 19, 20}},
        {"Prior after the end",
         [](TDataSet& d) {
             d.MoveBy(25);
             d.Prior();
         },
         19,
         false,
         false,
         {"scroll 15", "scroll 0"},
         {16, 17, 18, 19, 20}},
        {"Last", [](TDataSet& d) { d.Last(); }, 20, false, true, {"change"}, {16, 17, 18, 19, 20}},
        {"Last, MoveBy(-5)",
         [](TDataSet& d) {
             d.Last();
             d.MoveBy(-5);
         },
         15,
         false,
         false,
         {"change", "scroll -1"},
         {15, 16, 17, 18, 19}},
        {"Last, MoveBy(-30)",
         [](TDataSet& d) {
             d.Last();
             d.MoveBy(-30);
         },
         1,
         true,
         false,
         {"change", "scroll -15"},
         {1, 2, 3, 4, 5}},
        {"MoveBy(10), MoveBy(-3)",
         [](TDataSet& d) {
             d.MoveBy(10);
             d.MoveBy(-3);
         },
         8,
         false,
         false,
         {"scroll 6", "scroll 0"},
         {7, 8, 9, 10, 11}},
        {"Next, First",
         [](TDataSet& d) {
             d.Next();
             d.First();
         },
         1,
         true,
         false,
         {"scroll 0", "change"},
         {1, 2, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        table_.First();
        link_.Take();
        c.moves(table_);
        EXPECT_EQ(Id(), c.id);
        EXPECT_EQ(table_.RecNo(), c.id);
        EXPECT_EQ(table_.Bof(), c.bof);
        EXPECT_EQ(table_.Eof(), c.eof);
        EXPECT_EQ(link_.Take(), c.events);
        EXPECT_EQ(db_test::WindowIds(link_), c.window);
    }
}

TEST_F(Window, MoveByReportsTheDistanceMoved) {
    EXPECT_EQ(table_.MoveBy(25), 19);
    EXPECT_EQ(table_.MoveBy(3), 0);
    EXPECT_EQ(table_.MoveBy(-30), -19);
    EXPECT_EQ(table_.MoveBy(0), 0);
}

TEST_F(Window, EveryRowOnceFromFirstToEof) {
    for (int links : {1, 5}) {
        link_.SetBufferCount(links);
        std::vector<int> seen;
        for (table_.First(); !table_.Eof(); table_.Next()) seen.push_back(Id());
        std::vector<int> expected;
        for (int i = 1; i <= 20; ++i) expected.push_back(i);
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(Id(), 20);  // the last stays active
    }
}

TEST_F(Window, InsertIntoAFullWindowThenCancelRestoresIt) {
    table_.MoveBy(2);  // row 3, in the middle of rows 1..5
    table_.Insert();
    EXPECT_EQ(table_.State(), dsInsert);
    EXPECT_EQ(table_.RecNo(), -1);
    EXPECT_TRUE(table_.FieldByName("ID").IsNull());
    EXPECT_EQ(link_.ActiveRecord(), 2);
    table_.Cancel();
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(Id(), 3);
    EXPECT_EQ(db_test::WindowIds(link_), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(table_.RecordCount(), 20);
}

TEST_F(Window, APostedInsertStandsBeforeTheRecordThatWasCurrent) {
    table_.MoveBy(2);
    table_.Insert();
    table_.FieldByName("ID").SetAsInteger(100);
    table_.Post();
    EXPECT_EQ(Id(), 100);
    EXPECT_EQ(table_.RecNo(), 3);
    EXPECT_EQ(db_test::WindowIds(link_), (std::vector<int>{1, 2, 100, 3, 4}));
    table_.Append();
    table_.FieldByName("ID").SetAsInteger(200);
    table_.Post();
    EXPECT_EQ(table_.RecNo(), 22);
    table_.Last();
    EXPECT_EQ(Id(), 200);
}

TEST_F(Window, DeletingTheLastRowLandsOnTheNewLast) {
    table_.Last();
    table_.Delete();
    EXPECT_EQ(Id(), 19);
    EXPECT_EQ(table_.RecordCount(), 19);
    EXPECT_EQ(db_test::WindowIds(link_), (std::vector<int>{15, 16, 17, 18, 19}));
    table_.First();
    table_.Delete();
    EXPECT_EQ(Id(), 2);
}

TEST_F(Window, ALinkWithALargerWindowWidensTheDatasetsWindow) {
    RecordingLink wide(8);
    wide.SetDataSource(&source_);
    table_.MoveBy(10);
    EXPECT_EQ(db_test::WindowIds(wide).size(), 8u);
    wide.SetDataSource(nullptr);
    link_.SetBufferCount(1);
    EXPECT_EQ(db_test::WindowIds(link_), (std::vector<int>{11}));
    EXPECT_EQ(Id(), 11);
}

TEST_F(Window, DisabledControlsHearOneChangeWhenEnabledAgain) {
    table_.DisableControls();
    table_.DisableControls();
    table_.Next();
    table_.Last();
    table_.EnableControls();
    EXPECT_TRUE(link_.Take().empty());
    table_.EnableControls();
    EXPECT_EQ(link_.Take(), Strings{"change"});
    EXPECT_FALSE(table_.ControlsDisabled());

    table_.EnableControls();  // at 0: nothing
    table_.DisableControls();
    table_.First();
    EXPECT_TRUE(link_.Take().empty());
    table_.EnableControls();
    EXPECT_EQ(link_.Take(), Strings{"change"});
}

TEST_F(Window, TheDisableCountSurvivesCloseAndOpen) {
    table_.Close();
    link_.Take();
    table_.DisableControls();
    table_.Open();
    table_.Close();
    table_.Open();
    EXPECT_TRUE(link_.Take().empty());
    table_.EnableControls();
    EXPECT_EQ(link_.Take(), Strings{"active"});  // it opened meanwhile; no change on top
}

TEST_F(Window, BookmarksReturnToTheirRecord) {
    table_.MoveBy(6);
    const TBookmark mark = table_.Bookmark();
    ASSERT_EQ(mark.size(), table_.BookmarkSize());
    table_.Last();
    table_.GotoBookmark(mark);
    EXPECT_EQ(Id(), 7);
    const TBookmark later = (table_.Next(), table_.Bookmark());
    EXPECT_EQ(table_.CompareBookmarks(mark, later), -1);
    EXPECT_EQ(table_.CompareBookmarks(TBookmark(), later), 1);  // none orders after any
    EXPECT_EQ(table_.CompareBookmarks(mark, TBookmark()), -1);
    EXPECT_EQ(table_.CompareBookmarks(TBookmark(), TBookmark()), 0);
    table_.GotoBookmark(mark);
    table_.Delete();
    EXPECT_FALSE(table_.BookmarkValid(mark.data()));
    EXPECT_EQ(MessageOf([&] { table_.GotoBookmark(mark); }), kRecordChanged);
}

// Editing and its failures on a table of three rows.
class Editing : public ::testing::Test {
protected:
    void SetUp() override {
        db_test::FillNumbers(table_, 3);
        source_.SetDataSet(&table_);
        link_.SetDataSource(&source_);
        table_.Open();
        link_.Take();
    }
    TField& Name() { return table_.FieldByName("NAME"); }
    std::string StoredName(int recNo) {
        table_.SetRecNo(recNo);
        return Name().AsString();
    }

    TMemDataSet table_;
    TDataSource source_;
    RecordingLink link_;
};

TEST_F(Editing, AChangedRecordIsPostedByTheNextMove) {
    table_.Edit();
    Name().SetAsString("changed");
    EXPECT_TRUE(table_.Modified());
    table_.Next();
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(table_.RecNo(), 2);
    EXPECT_EQ(StoredName(1), "changed");
}

TEST_F(Editing, EveryKindOfMovePostsFirst) {
    const std::function<void(TDataSet&)> moves[] = {
        [](TDataSet& d) { d.First(); },
        [](TDataSet& d) { d.Last(); },
        [](TDataSet& d) { d.Prior(); },
        [](TDataSet& d) { d.SetRecNo(3); },
        [](TDataSet& d) { d.Refresh(); },
        [](TDataSet& d) { d.Insert(); },
        [](TDataSet& d) { d.Append(); },
        [](TDataSet& d) {
            const TBookmark b = d.Bookmark();
            d.GotoBookmark(b);
        },
    };
    int n = 0;
    for (const auto& move : moves) {
        table_.SetRecNo(2);
        table_.Edit();
        const std::string text = "edit " + std::to_string(++n);
        Name().SetAsString(text);
        move(table_);
        table_.Cancel();
        EXPECT_EQ(StoredName(2), text);
    }
}

TEST_F(Editing, InsertAfterAChangedInsertPostsItAndAnUnchangedInsertIsDropped) {
    table_.Insert();
    table_.FieldByName("ID").SetAsInteger(10);
    table_.Insert();
    EXPECT_EQ(table_.RecordCount(), 4);
    table_.First();  // the second insert was not changed
    EXPECT_EQ(table_.RecordCount(), 4);
    EXPECT_EQ(table_.State(), dsBrowse);
}

TEST_F(Editing, CancelInBrowseIsSilentAndPostRaises) {
    table_.Cancel();
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_TRUE(link_.Take().empty());
    EXPECT_EQ(MessageOf([&] { table_.Post(); }), kNotEditing);
    EXPECT_EQ(MessageOf([&] { Name().SetAsString("x"); }), kNotEditing);
}

TEST_F(Editing, StateChangesReachTheLinks) {
    table_.Edit();
    EXPECT_EQ(link_.Take(), (Strings{"editing", "record"}));
    Name().SetAsString("x");
    EXPECT_EQ(link_.Take(), Strings{"record NAME"});
    table_.Cancel();
    EXPECT_EQ(link_.Take(), (Strings{"browsing", "change"}));
    EXPECT_EQ(StoredName(1), "row 1");
}

TEST_F(Editing, AFailingEditLeavesBrowse) {
    table_.FailNextEdit();
    EXPECT_THROW(table_.Edit(), rtl::EDatabaseError);
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_TRUE(link_.Take().empty());
    table_.Edit();
    EXPECT_EQ(table_.State(), dsEdit);
}

TEST_F(Editing, AFailingPostKeepsStateAndBufferAndARetrySucceeds) {
    table_.Edit();
    Name().SetAsString("kept");
    table_.FailNextPost();
    EXPECT_THROW(table_.Post(), rtl::EDatabaseError);
    EXPECT_EQ(table_.State(), dsEdit);
    EXPECT_TRUE(table_.Modified());
    EXPECT_EQ(Name().AsString(), "kept");
    table_.Post();
    EXPECT_EQ(StoredName(1), "kept");

    table_.Insert();
    table_.FieldByName("ID").SetAsInteger(9);
    table_.FailNextPost();
    EXPECT_THROW(table_.Next(), rtl::EDatabaseError);  // the implicit post fails the same way
    EXPECT_EQ(table_.State(), dsInsert);
    EXPECT_EQ(table_.FieldByName("ID").AsInteger(), 9);
    table_.Post();
    EXPECT_EQ(table_.RecordCount(), 4);
}

TEST_F(Editing, NewRecordEvent) {
    table_.OnNewRecord = [](TDataSet& d) { d.FieldByName("NAME").SetAsString("default"); };
    table_.Insert();
    EXPECT_EQ(Name().AsString(), "default");
    EXPECT_FALSE(table_.Modified());  // defaults alone do not make a record worth keeping
    table_.First();
    EXPECT_EQ(table_.RecordCount(), 3);

    table_.SetRecNo(2);
    table_.OnNewRecord = [](TDataSet&) { throw rtl::EDatabaseError("no new records"); };
    EXPECT_THROW(table_.Insert(), rtl::EDatabaseError);
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(table_.RecNo(), 2);
    EXPECT_EQ(table_.FieldByName("ID").AsInteger(), 2);
}

TEST_F(Editing, DeleteInInsertCancels) {
    table_.Insert();
    table_.FieldByName("ID").SetAsInteger(5);
    table_.Delete();
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(table_.RecordCount(), 3);
}

TEST_F(Editing, CloseNeitherPostsNorRaises) {
    table_.Edit();
    Name().SetAsString("lost");
    table_.Close();
    EXPECT_EQ(MessageOf([&] { table_.Insert(); }), kDataSetClosed);
    table_.Open();
    EXPECT_EQ(Name().AsString(), "row 1");
    table_.Insert();
    table_.FieldByName("ID").SetAsInteger(4);
    table_.Close();
    table_.Open();
    EXPECT_EQ(table_.RecordCount(), 3);
}

TEST_F(Editing, ReadOnlyAndClosedDatasetsRefuseChanges) {
    table_.Close();
    EXPECT_EQ(MessageOf([&] { table_.Edit(); }), kDataSetClosed);
    EXPECT_EQ(MessageOf([&] { table_.Next(); }), kDataSetClosed);
    table_.Cancel();  // nothing to cancel
    table_.SetReadOnly(true);
    table_.Open();
    EXPECT_EQ(MessageOf([&] { table_.Edit(); }), kDataSetReadOnly);
    EXPECT_EQ(MessageOf([&] { table_.Delete(); }), kDataSetReadOnly);
    EXPECT_EQ(MessageOf([&] { table_.SetReadOnly(false); }), kDataSetOpen);
}

TEST_F(Editing, RequiredFieldsMustHaveAValue) {
    table_.Close();
    table_.SetColumns({{"ID", ftInteger, 0, true}, {"NAME", ftString, 10}});
    table_.Open();
    table_.Insert();
    Name().SetAsString("no id");
    EXPECT_EQ(MessageOf([&] { table_.Post(); }), "Field 'ID' must have a value");
    EXPECT_EQ(table_.State(), dsInsert);
}

TEST(EmptyDataSet, BofEofNullFieldsAndEditInserts) {
    TMemDataSet table;
    db_test::FillNumbers(table, 0);
    table.Open();
    EXPECT_TRUE(table.Bof());
    EXPECT_TRUE(table.Eof());
    EXPECT_TRUE(table.IsEmpty());
    EXPECT_EQ(table.RecordCount(), 0);
    TField& name = table.FieldByName("NAME");
    EXPECT_TRUE(name.IsNull());
    EXPECT_EQ(name.AsString(), "");
    EXPECT_EQ(table.FieldByName("ID").AsInteger(), 0);
    EXPECT_TRUE(table.FieldByName("ID").Value().IsNull());
    table.First();
    table.Last();
    table.Next();
    EXPECT_TRUE(table.Eof() && table.Bof());
    EXPECT_EQ(MessageOf([&] { table.Delete(); }), kDataSetEmpty);
    EXPECT_TRUE(table.Bookmark().empty());
    table.Edit();
    EXPECT_EQ(table.State(), dsInsert);
    name.SetAsString("first");
    table.Post();
    EXPECT_EQ(table.RecordCount(), 1);
    EXPECT_FALSE(table.Eof());
    EXPECT_EQ(name.AsString(), "first");
}

TEST(OpenFailure, LeavesTheDatasetClosedAndReopenable) {
    TMemDataSet table;
    db_test::FillNumbers(table, 2);
    TDataSource source;
    source.SetDataSet(&table);
    RecordingLink link;
    link.SetDataSource(&source);
    table.FailNextOpen();
    EXPECT_THROW(table.Open(), rtl::EDatabaseError);
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(table.State(), dsInactive);
    EXPECT_EQ(table.FieldCount(), 0);  // the default fields went with the half-built cursor
    EXPECT_TRUE(link.Take().empty());
    table.Open();
    EXPECT_EQ(table.FieldByName("ID").AsInteger(), 1);
    EXPECT_EQ(link.Take(), Strings{"active"});

    table.Close();
    table.AfterOpen = [](TDataSet&) { throw rtl::EDatabaseError("after open"); };
    EXPECT_THROW(table.Open(), rtl::EDatabaseError);
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(link.Take(), (Strings{"inactive", "active", "inactive"}));
}

TEST(Fields, CalculatedFieldsMadeBeforeOpenReplaceTheDefaultFields) {
    TMemDataSet table;
    db_test::FillNumbers(table, 3);
    auto* id = new TIntegerField(&table);
    id->SetFieldName("ID");
    id->SetDataSet(&table);
    auto* twice = new TIntegerField(&table);
    twice->SetFieldName("TWICE");
    twice->SetFieldKind(fkCalculated);
    twice->SetDataSet(&table);
    table.OnCalcFields = [](TDataSet& d) {
        d.FieldByName("TWICE").SetAsInteger(d.FieldByName("ID").AsInteger() * 2);
    };
    table.Open();
    EXPECT_FALSE(table.DefaultFields());
    EXPECT_EQ(table.FieldCount(), 2);
    EXPECT_EQ(table.FindField("NAME"), nullptr);
    EXPECT_EQ(twice->FieldNo(), -1);
    EXPECT_EQ(table.CalcFieldsSize(), twice->DataSize() + 1);
    table.Last();
    EXPECT_EQ(twice->AsInteger(), 6);
    table.Edit();
    id->SetAsInteger(21);  // a data field's change recalculates
    EXPECT_EQ(twice->AsInteger(), 42);
    EXPECT_FALSE(twice->CanModify());  // controls leave calculated fields alone
    EXPECT_TRUE(id->CanModify());
    table.Post();
    table.Close();
    EXPECT_EQ(table.FieldCount(), 2);  // made in code: they stay
}

TEST(Fields, FieldValuesAndNamesIgnoreCase) {
    TMemDataSet table;
    db_test::FillNumbers(table, 2);
    table.Open();
    EXPECT_EQ(&table.FieldByName("name"), &table.FieldByName("NAME"));
    EXPECT_EQ(table.FieldValues("id"), rtl::Variant(1));
    EXPECT_EQ(table.FieldValues("Id; Name"), rtl::VarArrayOf({1, "row 1"}));
    table.Edit();
    table.SetFieldValues("ID;NAME", rtl::VarArrayOf({7, "seven"}));
    EXPECT_EQ(table.FieldByName("NAME").AsString(), "seven");
    EXPECT_EQ(MessageOf([&] { table.SetFieldValues("ID;NAME", 7); }), kInvalidVarCast);
    EXPECT_EQ(MessageOf([&] { table.FieldByName("missing"); }), "Field 'missing' not found");
    EXPECT_EQ(table.GetFieldNames(), (Strings{"ID", "NAME"}));
    EXPECT_EQ(table.GetFieldList("name;ID").size(), 2u);
}

TEST(Fields, OldValueIsTheStoredValue) {
    TMemDataSet table;
    db_test::FillNumbers(table, 1);
    table.Open();
    table.Edit();
    table.FieldByName("NAME").SetAsString("new");
    EXPECT_EQ(table.FieldByName("NAME").OldValue(), rtl::Variant("row 1"));
    EXPECT_EQ(table.State(), dsEdit);
    EXPECT_TRUE(table.Modified());
}

TEST(Filter, TheFilterStateReadsEachRowAndAHandlersFailureGoesToTheApplication) {
    TMemDataSet table;
    db_test::FillNumbers(table, 6);
    std::vector<std::string> reported;
    rtl::SetExceptionHandler([&](std::exception_ptr e) { reported.push_back(rtl::ExceptionMessage(e)); });
    table.SetOnFilterRecord([](TDataSet& d, bool& accept) {
        const int id = d.FieldByName("ID").AsInteger();
        if (id == 5) throw rtl::EDatabaseError("bad row");
        accept = id % 2 == 0;
    });
    table.SetFiltered(true);
    table.Open();
    std::vector<int> seen;
    for (table.First(); !table.Eof(); table.Next()) seen.push_back(table.FieldByName("ID").AsInteger());
    rtl::SetExceptionHandler(nullptr);
    EXPECT_EQ(seen, (std::vector<int>{2, 4, 5, 6}));  // row 5 kept the Accept it had
    EXPECT_FALSE(reported.empty());
    EXPECT_EQ(reported.front(), "bad row");
    EXPECT_EQ(table.State(), dsBrowse);
}

TEST(Search, LocateAndLookupOfTheTestDataset) {
    TMemDataSet table;
    db_test::FillNumbers(table, 5);
    table.Open();
    EXPECT_TRUE(table.Locate("NAME", "ROW 4", loCaseInsensitive));
    EXPECT_EQ(table.RecNo(), 4);
    EXPECT_EQ(table.Lookup("ID", 2, "NAME"), rtl::Variant("row 2"));
    EXPECT_EQ(table.RecNo(), 4);  // Lookup does not move
    EXPECT_TRUE(table.Lookup("ID", 9, "NAME").IsNull());
    EXPECT_FALSE(table.Locate("NAME", "nope", 0));
    EXPECT_EQ(table.RecNo(), 4);
}

}  // namespace
