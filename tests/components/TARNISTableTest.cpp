#include "components/TARNISTable.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/ComponentTexts.h"
#include "components/TARNISDatabase.h"
#include "db/Messages.h"
#include "engine/base/EngineError.h"
#include "rtl/Format.h"
#include "rtl/Variant.h"
#include "tests/components/support/TableComponentFixture.h"
#include "tests/engine/support/HolderProcess.h"

namespace {

using components::TablePath;
using components::TTARNISTable;
using componenttest::CreatePeopleTable;
using componenttest::CreateProtectedTable;
using componenttest::CreateResultsTable;
using componenttest::kProtectedTable;
using componenttest::MessageOf;
using componenttest::OpensExclusively;
using componenttest::TestTable;
using enginetest::EngineCode;
using enginetest::HolderProcess;

class TARNISTableTest : public componenttest::TableComponentTest {
protected:
    // The temporary database of the name in the default session, null when there is none.
    components::TTARNISDatabase* TemporaryDatabase(const std::string& name = "") {
        return DefaultSession().FindDatabase(name);
    }

    // The people table with 1 Ann, 2 Bob, 3 Cid.
    void FillPeople(const std::string& name = "people") {
        CreatePeopleTable(DefaultSession(), name);
        auto table = NewTable(name);
        table->Open();
        AddPeople(*table, {{1, "Cid"}, {2, "Ann"}, {3, "Bob"}});
    }

    static std::vector<std::string> Column(TTARNISTable& table, const std::string& field) {
        std::vector<std::string> values;
        for (table.First(); !table.Eof(); table.Next()) values.push_back(table.FieldByName(field).AsString());
        return values;
    }

    // A table held by nobody: no handle, no reference on its database.
    static void ExpectNothingHeld(TTARNISTable& table) {
        EXPECT_FALSE(table.Active());
        EXPECT_EQ(table.Handle(), nullptr);
        EXPECT_EQ(table.Database(), nullptr);
    }
};

// ---- Paths ----

TEST(TablePath, TheDirectoryGetsOneSeparatorAndNothingIsCut) {
    struct Case {
        std::string directory, table, path;
    };
    const std::string longDirectory(300, 'd');
    const Case cases[] = {
        {"", "people", "people"},
        {"", "/srv/data/people", "/srv/data/people"},
        {"d", "people", "d/people"},
        {"d/", "people", "d/people"},
        {"c:\\data\\", "people", "c:\\data\\people"},
        {longDirectory, "people", longDirectory + "/people"},
    };
    for (const Case& c : cases) EXPECT_EQ(TablePath(c.directory, c.table), c.path) << c.directory;
}

TEST_F(TARNISTableTest, TheTableOpensByItsNameOrInTheDatabaseDirectory) {
    std::filesystem::create_directory("d");
    FillPeople("d/people");
    const std::string absolute = (directory_.Path() / "d" / "people").string();
    components::TTARNISDatabase database;
    database.SetDatabaseName("DATA");
    struct Case {
        std::string databaseName, directory, tableName;
    };
    // A database name like a path is a temporary database of that directory.
    const Case cases[] = {{"", "", "d/people"},     {"", "", absolute},       {"DATA", "d", "people"},
                          {"DATA", "d/", "people"}, {"./d", "./d", "people"}, {"./d/", "./d/", "people"}};
    for (const Case& c : cases) {
        database.SetConnected(false);
        if (c.databaseName == "DATA") database.SetDirectory(c.directory);
        auto table = NewTable(c.tableName);
        table->SetDatabaseName(c.databaseName);
        table->Open();
        EXPECT_EQ(table->RecordCount(), 3) << c.databaseName << " " << c.tableName;
        EXPECT_EQ(table->Handle()->FileName(), TablePath(c.directory, c.tableName) + ".DAT");
    }
}

TEST_F(TARNISTableTest, APathBeyondTheEnginesLengthIsRefusedAndHoldsNothing) {
    // 250 characters of name, which alone the engine takes, after the directory.
    auto table = NewTable(std::string(250, 'p'));
    std::filesystem::create_directory("d");
    table->SetDatabaseName("./d");
    EXPECT_EQ(EngineCode([&] { table->Open(); }), 11010);
    ExpectNothingHeld(*table);
    ASSERT_NE(TemporaryDatabase("./d"), nullptr);
    EXPECT_EQ(TemporaryDatabase("./d")->RefCount(), 0);
}

// ---- Properties ----

TEST_F(TARNISTableTest, ANewTableHasTheDefaultSettings) {
    TTARNISTable table;
    EXPECT_EQ(table.LockRetryCount(), 15);
    EXPECT_EQ(table.LockWaitTime(), 100);
    EXPECT_EQ(table.EngineVersion(), "1.21");
    table.SetEngineVersion("9.9");
    EXPECT_EQ(table.EngineVersion(), "1.21");
    EXPECT_FALSE(table.Exclusive());
    EXPECT_FALSE(table.ReadOnly());
    EXPECT_FALSE(table.InMemory());
    EXPECT_FALSE(table.StrictChangeDetection());
    EXPECT_FALSE(table.ForceBufferFlush());
    EXPECT_FALSE(table.StoreDefs());
}

TEST_F(TARNISTableTest, OpenOnlySettingsRaiseOnAnOpenTableAndLockSettingsReachTheHandle) {
    FillPeople();
    auto table = NewTable();
    table->Open();
    const std::vector<std::function<void()>> closedOnly = {
        [&] { table->SetExclusive(true); },        [&] { table->SetReadOnly(true); },
        [&] { table->SetInMemory(true); },         [&] { table->SetStrictChangeDetection(true); },
        [&] { table->SetForceBufferFlush(true); }, [&] { table->SetTableName("other"); },
    };
    for (const auto& change : closedOnly) EXPECT_EQ(MessageOf(change), db::kDataSetOpen);
    EXPECT_EQ(table->TableName(), "people");
    EXPECT_FALSE(table->Exclusive());

    table->SetLockRetryCount(3);
    table->SetLockWaitTime(7);
    EXPECT_EQ(table->Handle()->LockRetryCount(), 3);
    EXPECT_EQ(table->Handle()->LockWaitTime(), 7);
    table->Close();
    table->SetStrictChangeDetection(true);
    table->SetForceBufferFlush(true);
    table->Open();
    EXPECT_EQ(table->Handle()->LockRetryCount(), 3);
    EXPECT_EQ(table->Handle()->LockWaitTime(), 7);
    EXPECT_TRUE(table->Handle()->StrictChangeDetection());
    EXPECT_TRUE(table->Handle()->ForceBufferFlush());
    EXPECT_FALSE(table->Handle()->InMemory());
    table->Close();
    // An in-memory table of the name does not exist.
    table->SetInMemory(true);
    EXPECT_EQ(EngineCode([&] { table->Open(); }), 11010);
    ExpectNothingHeld(*table);
}

TEST_F(TARNISTableTest, ATableWithoutWriteBitsOpensReadOnly) {
    FillPeople();
    for (const char* file : {"people.DAT", "people.IDX"})
        std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                               std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read);
    auto table = NewTable();
    table->Open();
    EXPECT_TRUE(table->ReadOnly());
    EXPECT_FALSE(table->CanModify());
    EXPECT_EQ(MessageOf([&] { table->Edit(); }), db::kDataSetReadOnly);
    EXPECT_EQ(Column(*table, "NAME"), (std::vector<std::string>{"Cid", "Ann", "Bob"}));
}

TEST_F(TARNISTableTest, AnEmptyTableNameIsRefusedWhereverTheTableIsOpened) {
    TTARNISTable table;
    EXPECT_EQ(MessageOf([&] { table.Open(); }), components::kMissingTableName);
    EXPECT_EQ(MessageOf([&] { table.InitFieldDefs(); }), components::kMissingTableName);
    EXPECT_EQ(MessageOf([&] { table.UpdateIndexDefs(); }), components::kMissingTableName);
    EXPECT_EQ(MessageOf([&] { table.EmptyTable(); }), components::kMissingTableName);
    ExpectNothingHeld(table);
}

// ---- Failed opens ----

TEST_F(TARNISTableTest, FailedOpensLeaveNothingBehind) {
    FillPeople();
    CreateProtectedTable(DefaultSession());
    DefaultSession().OnPassword = [](rtl::TComponent&, bool& retry) { retry = false; };
    struct Case {
        std::string table;
        bool exclusive;
        int code;
    };
    const Case cases[] = {{"missing", false, 11010}, {kProtectedTable, false, 10498}};
    for (const Case& c : cases) {
        auto table = NewTable(c.table);
        table->SetExclusive(c.exclusive);
        EXPECT_EQ(EngineCode([&] { table->Open(); }), c.code) << c.table;
        ExpectNothingHeld(*table);
    }
    EXPECT_TRUE(OpensExclusively(kProtectedTable));

    auto table = NewTable();
    table->SetExclusive(true);
    {
        HolderProcess holder(HolderProcess::TableMode{}, "people");
        ASSERT_TRUE(holder.Ready());
        EXPECT_EQ(EngineCode([&] { table->Open(); }), 11013);
        ExpectNothingHeld(*table);
        holder.Release();
    }
    table->Open();
    EXPECT_TRUE(table->Handle()->Exclusive());
}

// ---- Definitions ----

TEST_F(TARNISTableTest, IndexDefinitionsListTheEnginesIndexes) {
    {
        components::SessionLockGuard lock(DefaultSession());
        std::vector<engine::TFieldDesc> fields = {
            enginetest::FieldDef(1, "ID", engine::FieldTypeInteger),
            enginetest::FieldDef(2, "NAME", engine::FieldTypeString, 20),
            enginetest::FieldDef(3, "CITY", engine::FieldTypeString, 20)};
        engine::TIndexDescriptor byName = enginetest::IndexDef("BYNAME", {2, 3}, true);
        byName.CaseInsensitive = 1;
        engine::TIndexDescriptor byCity = enginetest::IndexDef("BYCITY", {3});
        byCity.Descending = 1;
        std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1}), byName, byCity};
        enginetest::CreateTable("towns", fields, indexes);
    }
    CreateResultsTable(DefaultSession());
    struct Expected {
        std::string name, fields;
        db::TIndexOptions options;
    };
    const auto check = [](TTARNISTable& table, const std::vector<Expected>& expected) {
        table.UpdateIndexDefs();
        ASSERT_EQ(table.IndexDefs().Count(), static_cast<int>(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const db::TIndexDef& def = table.IndexDefs()[static_cast<int>(i)];
            EXPECT_EQ(def.Name(), expected[i].name);
            EXPECT_EQ(def.Fields(), expected[i].fields);
            EXPECT_EQ(def.Options(), expected[i].options) << def.Name();
        }
    };
    auto towns = NewTable("towns");
    check(*towns, {{"", "ID", db::ixPrimary},
                   {"BYNAME", "NAME;CITY", db::ixCaseInsensitive | db::ixUnique},
                   {"BYCITY", "CITY", db::ixDescending}});
    ExpectNothingHeld(*towns);
    auto results = NewTable("results");
    check(*results, {{"NAME", "NAME", db::ixCaseInsensitive},
                     {"KPH", "KPH", 0},
                     {"NETKPH", "NKPH", 0},
                     {"DATE", "TESTDATE", 0}});
    // The same list read through the open handle.
    results->IndexDefs().SetUpdated(false);
    results->Open();
    check(*results, {{"NAME", "NAME", db::ixCaseInsensitive},
                     {"KPH", "KPH", 0},
                     {"NETKPH", "NKPH", 0},
                     {"DATE", "TESTDATE", 0}});
}

TEST_F(TARNISTableTest, TheRestructureListsKeepWhatTheCallerPutsAndGoOutOfDateWithTheIndexList) {
    FillPeople();
    auto table = NewTable();
    table->RestructureFieldDefs().Add("CODE", db::ftInteger);
    table->RestructureIndexDefs().Add("BYCODE", "CODE", 0);
    table->RestructureFieldDefs().SetUpdated(true);
    table->RestructureIndexDefs().SetUpdated(true);
    table->UpdateIndexDefs();
    ASSERT_TRUE(table->IndexDefs().Updated());
    // Neither list asks the table for anything: they describe a layout the table does not have.
    table->RestructureFieldDefs().Update();
    table->RestructureIndexDefs().Update();
    table->Open();
    table->Close();
    EXPECT_EQ(table->RestructureFieldDefs().Count(), 1);
    EXPECT_EQ(table->RestructureIndexDefs().Count(), 1);
    EXPECT_EQ(table->RestructureIndexDefs()[0].Fields(), "CODE");
    ExpectNothingHeld(*table);
    // A property change marks all three out of date, and keeps what the lists hold.
    table->SetTableName("people");
    EXPECT_FALSE(table->IndexDefs().Updated());
    EXPECT_FALSE(table->RestructureFieldDefs().Updated());
    EXPECT_FALSE(table->RestructureIndexDefs().Updated());
    EXPECT_EQ(table->RestructureFieldDefs().Count(), 1);
}

TEST_F(TARNISTableTest, FieldDefinitionsOfAClosedTableComeThroughATemporaryHandle) {
    FillPeople();
    auto table = NewTable();
    table->FieldDefs().Update();
    ASSERT_EQ(table->FieldDefs().Count(), 3);
    EXPECT_EQ(table->FieldDefs()[1].Name(), "NAME");
    ExpectNothingHeld(*table);
    EXPECT_TRUE(OpensExclusively("people"));
}

TEST_F(TARNISTableTest, TemporaryHandlesLeaveAnotherHandlesRecordLocksAlone) {
    FillPeople();
    auto a = NewTable();
    a->SetIndexName("BYNAME");
    a->Open();
    a->First();
    ASSERT_EQ(a->FieldByName("NAME").AsString(), "Ann");
    a->Edit();

    auto b = NewTable();
    b->SetIndexName("BYNAME");
    b->SetLockRetryCount(0);
    b->FieldDefs().Update();
    b->Open();
    b->First();
    EXPECT_EQ(EngineCode([&] { b->Edit(); }), 10258);
    b->IndexDefs().SetUpdated(false);
    b->Close();
    b->UpdateIndexDefs();
    b->Open();
    EXPECT_EQ(EngineCode([&] { b->Edit(); }), 10258);
    a->Cancel();
    b->Edit();
    b->Cancel();
}

// ---- Emptying ----

TEST_F(TARNISTableTest, AClosedTableEmptiesItselfAndLetsGo) {
    FillPeople();
    auto table = NewTable();
    table->EmptyTable();
    ExpectNothingHeld(*table);
    EXPECT_EQ(TemporaryDatabase()->RefCount(), 0);
    EXPECT_TRUE(OpensExclusively("people"));
    table->Open();
    EXPECT_TRUE(table->IsEmpty());
}

TEST_F(TARNISTableTest, AnOpenTableEmptiesOnlyWhenExclusive) {
    FillPeople();
    auto shared = NewTable();
    shared->Open();
    EXPECT_EQ(EngineCode([&] { shared->EmptyTable(); }), 10253);
    EXPECT_EQ(Column(*shared, "NAME"), (std::vector<std::string>{"Cid", "Ann", "Bob"}));
    // A closed table cannot have it to itself while another has it open.
    auto other = NewTable();
    EXPECT_EQ(EngineCode([&] { other->EmptyTable(); }), 11013);
    ExpectNothingHeld(*other);
    shared->Close();

    auto exclusive = NewTable();
    exclusive->SetExclusive(true);
    exclusive->Open();
    exclusive->EmptyTable();
    EXPECT_TRUE(exclusive->IsEmpty());
    AddPeople(*exclusive, {{9, "Zed"}});
    EXPECT_EQ(Column(*exclusive, "NAME"), std::vector<std::string>{"Zed"});
}

// ---- A results-shaped table ----

TEST_F(TARNISTableTest, AResultsTableSortsByEachIndexAndKeepsItsMemo) {
    std::filesystem::create_directory("data");
    CreateResultsTable(DefaultSession(), "data/results");
    components::TTARNISDatabase database;
    database.SetDatabaseName("RESULTS");
    database.SetDirectory("data");
    const std::string log(10 * 1024, 'x');
    {
        auto table = NewTable("results");
        table->SetDatabaseName("RESULTS");
        table->Open();
        struct Row {
            std::string name;
            double kph, nkph;
            int date;
            std::string type;
        };
        for (const Row& row :
             {Row{"cid", 300, 250, 45000, "alpha"}, Row{"Ann", 200, 290, 45002, "alphanumeric"},
              Row{"bob", 100, 80, 45001, "numeric"}, Row{"dan", 150, 90, 45003, "alpha"}}) {
            table->Insert();
            table->SetFieldValues("NAME", rtl::Variant(row.name));
            table->SetFieldValues("KPH", rtl::Variant(row.kph));
            table->SetFieldValues("NKPH", rtl::Variant(row.nkph));
            table->FieldByName("TESTDATE").SetAsDateTime(row.date);
            table->SetFieldValues("TESTTYPE", rtl::Variant(row.type));
            table->SetFieldValues("ERRORS", rtl::Variant(row.name + log));
            table->Post();
        }
    }
    struct Order {
        std::string index;
        std::vector<std::string> names;
    };
    const Order orders[] = {{"NAME", {"Ann", "bob", "cid", "dan"}},
                            {"KPH", {"bob", "dan", "Ann", "cid"}},
                            {"NETKPH", {"bob", "dan", "cid", "Ann"}},
                            {"DATE", {"cid", "bob", "Ann", "dan"}},
                            {"", {"cid", "Ann", "bob", "dan"}}};
    for (const Order& order : orders) {
        auto table = NewTable("results");
        table->SetDatabaseName("RESULTS");
        table->SetIndexName(order.index);
        table->Open();
        EXPECT_EQ(Column(*table, "NAME"), order.names) << order.index;
        table->First();
        EXPECT_EQ(table->FieldByName("ERRORS").AsString(), order.names.front() + log);
    }
    // The results window's sort switches and test-type filter, on one open table.
    auto table = NewTable("results");
    table->SetDatabaseName("RESULTS");
    table->Open();
    const std::pair<std::string, std::vector<std::string>> filters[] = {
        {"alpha", {"cid", "dan"}}, {"alphanumeric", {"Ann"}}, {"numeric", {"bob"}}};
    for (const Order& order : orders) {
        table->SetIndexName(order.index);
        EXPECT_EQ(Column(*table, "NAME"), order.names) << order.index;
        for (const auto& [type, names] : filters) {
            table->SetFilter("TESTTYPE='" + type + "'");
            table->SetFiltered(true);
            std::vector<std::string> expected;
            for (const std::string& name : order.names)
                if (std::find(names.begin(), names.end(), name) != names.end()) expected.push_back(name);
            EXPECT_EQ(Column(*table, "NAME"), expected) << order.index << " " << type;
            table->SetFiltered(false);
        }
    }
    table->Close();
    EXPECT_TRUE(enginetest::IsCleanTable("data/results"));
}


// ---- Index choice ----

TEST_F(TARNISTableTest, IndexNameAndIndexFieldNamesAreOneChoice) {
    FillPeople();
    auto table = NewTable();
    table->SetIndexName("BYNAME");
    EXPECT_EQ(table->IndexName(), "BYNAME");
    EXPECT_EQ(table->IndexFieldNames(), "");
    table->SetIndexFieldNames("NAME");
    EXPECT_EQ(table->IndexName(), "");
    EXPECT_EQ(table->IndexFieldNames(), "NAME");
    table->Open();
    EXPECT_EQ(table->Handle()->GetIndexName(), "BYNAME");
    EXPECT_EQ(Column(*table, "NAME"), (std::vector<std::string>{"Ann", "Bob", "Cid"}));
    table->SetIndexFieldNames("ID");
    EXPECT_EQ(Column(*table, "NAME"), (std::vector<std::string>{"Cid", "Ann", "Bob"}));
    EXPECT_EQ(MessageOf([&] { table->SetIndexFieldNames("AMOUNT"); }),
              rtl::Format(db::kNoIndexForFields, {std::string("AMOUNT")}));
    EXPECT_EQ(table->IndexFieldNames(), "ID");
    EXPECT_EQ(EngineCode([&] { table->SetIndexName("NOSUCH"); }), 10022);
    EXPECT_EQ(table->IndexFieldNames(), "ID");
    EXPECT_EQ(Column(*table, "NAME"), (std::vector<std::string>{"Cid", "Ann", "Bob"}));
}

TEST_F(TARNISTableTest, ASwitchOnAnOpenTableKeepsTheRecord) {
    FillPeople();
    auto table = NewTable();
    table->Open();
    ASSERT_TRUE(table->Locate("ID", rtl::Variant(3), 0));
    ASSERT_EQ(table->FieldByName("NAME").AsString(), "Bob");
    table->SetIndexName("byname");
    EXPECT_EQ(table->FieldByName("NAME").AsString(), "Bob");
    EXPECT_EQ(table->RecNo(), 2);
    // The same choice again changes nothing.
    table->SetIndexName("byname");
    EXPECT_EQ(table->FieldByName("NAME").AsString(), "Bob");
    table->Next();
    EXPECT_EQ(table->FieldByName("NAME").AsString(), "Cid");
    table->SetIndexName("");
    EXPECT_EQ(table->FieldByName("NAME").AsString(), "Cid");
    EXPECT_EQ(table->RecNo(), 1);
}

// ---- The lookup cursor ----

TEST_F(TARNISTableTest, LocateOnAnotherIndexUsesOneKeptClone) {
    FillPeople();
    auto table = NewTable();
    table->Open();
    ASSERT_TRUE(table->Locate("NAME", rtl::Variant(std::string("Ann")), 0));
    EXPECT_EQ(table->FieldByName("ID").AsInteger(), 2);
    engine::TDataFile* cursor = table->LookupCursor();
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->GetIndexName(), "BYNAME");
    EXPECT_EQ(table->Handle()->GetIndexNumber(), 0);
    ASSERT_TRUE(table->Locate("NAME", rtl::Variant(std::string("Bob")), 0));
    EXPECT_EQ(table->FieldByName("ID").AsInteger(), 3);
    EXPECT_EQ(table->LookupCursor(), cursor);
    EXPECT_EQ(rtl::VarToInt(table->Lookup("NAME", rtl::Variant(std::string("Cid")), "ID")), 1);
    EXPECT_EQ(table->FieldByName("ID").AsInteger(), 3);
    EXPECT_EQ(table->LookupCursor(), cursor);
    // No index serves a case-insensitive search on NAME: no clone, a scan.
    ASSERT_TRUE(table->Locate("NAME", rtl::Variant(std::string("cid")), db::loCaseInsensitive));
    EXPECT_EQ(table->LookupCursor(), nullptr);
    EXPECT_EQ(table->FieldByName("ID").AsInteger(), 1);

    ASSERT_TRUE(table->Locate("NAME", rtl::Variant(std::string("Ann")), 0));
    ASSERT_NE(table->LookupCursor(), nullptr);
    table->SetFiltered(true);
    EXPECT_EQ(table->LookupCursor(), nullptr);
    ASSERT_TRUE(table->Locate("NAME", rtl::Variant(std::string("Ann")), 0));
    ASSERT_NE(table->LookupCursor(), nullptr);
    table->Close();
    EXPECT_EQ(table->LookupCursor(), nullptr);
    EXPECT_TRUE(OpensExclusively("people"));
}

TEST_F(TARNISTableTest, TheLookupCursorWaitsForLocksAsItsTableDoes) {
    FillPeople();
    auto table = NewTable();
    table->SetLockRetryCount(3);
    table->SetLockWaitTime(7);
    table->Open();
    ASSERT_TRUE(table->Locate("NAME", rtl::Variant(std::string("Ann")), 0));
    engine::TDataFile* cursor = table->LookupCursor();
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->LockRetryCount(), 3);
    EXPECT_EQ(cursor->LockWaitTime(), 7);
    // A change while open reaches the cursor as it reaches the table's handle.
    table->SetLockRetryCount(4);
    table->SetLockWaitTime(9);
    EXPECT_EQ(cursor->LockRetryCount(), 4);
    EXPECT_EQ(cursor->LockWaitTime(), 9);
    EXPECT_EQ(table->Handle()->LockRetryCount(), 4);
    EXPECT_EQ(table->Handle()->LockWaitTime(), 9);
}

TEST_F(TARNISTableTest, AnExclusiveTableFindsByScanningWithoutAClone) {
    FillPeople();
    auto table = NewTable();
    table->SetExclusive(true);
    table->Open();
    ASSERT_TRUE(table->Locate("NAME", rtl::Variant(std::string("Bob")), 0));
    EXPECT_EQ(table->FieldByName("ID").AsInteger(), 3);
    EXPECT_EQ(table->LookupCursor(), nullptr);
    EXPECT_FALSE(table->Locate("NAME", rtl::Variant(std::string("Dan")), 0));
    EXPECT_EQ(table->IndexDefs().Count(), 2);
}

}  // namespace
