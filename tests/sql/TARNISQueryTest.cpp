#include "sql/TARNISQuery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "components/TARNISDatabase.h"
#include "db/DataSource.h"
#include "db/Field.h"
#include "db/Messages.h"
#include "engine/table/DataFile.h"
#include "sql/SqlMessages.h"
#include "tests/components/support/DataSetFixture.h"

namespace {

using componenttest::MessageOf;
using sql::TTARNISQuery;

std::size_t EntriesOf(const std::filesystem::path& directory) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory),
                                                  std::filesystem::directory_iterator()));
}

std::string FileBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TARNISQueryTest : public componenttest::DataSetTest {
protected:
    void SetUp() override {
        componenttest::CreatePeopleTable(DefaultSession());
        auto people = NewDataSet();
        people->Open();
        AddPeople(*people, {{1, "Ann"}, {2, "Bob"}, {3, "Cid"}, {4, "Dee"}});
        people->Close();
    }

    static std::unique_ptr<TTARNISQuery> NewQuery(std::string_view text) {
        auto query = std::make_unique<TTARNISQuery>();
        query->SetSQL(text);
        return query;
    }

    // The field's values over every row, from the first.
    static std::string Column(db::TDataSet& dataSet, const std::string& field) {
        std::string values;
        dataSet.First();
        while (!dataSet.Eof()) {
            values += (values.empty() ? "" : ",") + dataSet.FieldByName(field).AsString();
            dataSet.Next();
        }
        return values;
    }

    // The names of the people table as a plain dataset reads them, in ID order.
    std::string StoredNames() {
        auto people = NewDataSet();
        people->Open();
        std::string names = Column(*people, "NAME");
        people->Close();
        return names;
    }

    // No lock of any run is left: another handle takes the whole people table.
    static void ExpectTableLockFree() {
        engine::TDataFile other;
        other.SetFileName("people");
        other.Open();
        EXPECT_NO_THROW(other.LockTable());
        other.UnlockTable();
        other.Close();
    }

    // The query holds nothing: no statement, no database.
    static void ExpectNothingHeld(const TTARNISQuery& query) {
        EXPECT_FALSE(query.Active());
        EXPECT_EQ(query.Statement(), nullptr);
        EXPECT_FALSE(query.Prepared());
        EXPECT_EQ(query.Database(), nullptr);
    }
};

TEST_F(TARNISQueryTest, ANewQueryHasTheDefaults) {
    TTARNISQuery query;
    EXPECT_EQ(query.EngineVersion(), "1.21");
    query.SetEngineVersion("2.0");
    EXPECT_EQ(query.EngineVersion(), "1.21");
    EXPECT_EQ(query.LockRetryCount(), 15);
    EXPECT_EQ(query.LockWaitTime(), 100);
    EXPECT_TRUE(query.ParamCheck());
    EXPECT_FALSE(query.RequestLive());
    EXPECT_FALSE(query.StrictChangeDetection());
}

TEST_F(TARNISQueryTest, ACopiedSelectWithParametersOpensAsADatasetAndAgainWithNewValues) {
    auto query = NewQuery("SELECT ID, NAME FROM people\nWHERE ID <> :a AND NAME <> :b");
    EXPECT_EQ(query->Text(), "SELECT ID, NAME FROM people\r\nWHERE ID <> ? AND NAME <> ?\r\n");
    ASSERT_EQ(query->ParamCount(), 2);
    const std::size_t entries = EntriesOf(directory_.Path());
    query->ParamByName("a").SetAsInteger(1);
    query->ParamByName("b").SetAsString("Dee");
    query->Open();
    EXPECT_EQ(Column(*query, "NAME"), "Bob,Cid");
    EXPECT_GT(EntriesOf(directory_.Path()), entries);  // the result table
    query->Close();
    ExpectNothingHeld(*query);
    EXPECT_EQ(EntriesOf(directory_.Path()), entries);

    query->ParamByName("b").SetAsString("Cid");
    query->Open();
    EXPECT_EQ(Column(*query, "ID"), "2,4");
}

// A parameter may stand on either side of any comparison, in a predicate or deeper in an expression: the
// statement prepares without values and each open checks the condition with the values it was given.
TEST_F(TARNISQueryTest, ParametersStandInEveryOperandPositionOfACondition) {
    using Value = std::variant<int, std::string>;
    struct Case {
        std::string condition;
        std::vector<Value> values;  // for :a, then :b
        std::string ids;
    };
    const std::vector<Case> cases = {
        {"ID > :a", {2}, "3,4"},
        {":a < ID", {2}, "3,4"},
        {":a >= ID + 1", {3}, "1,2"},
        {"ID * :a > 6", {2}, "4"},
        {"NOT (:a > ID)", {3}, "3,4"},
        {":a = NAME", {std::string("Bob")}, "2"},
        {"NAME <> :a", {std::string("Bob")}, "1,3,4"},
        {"UPPER(NAME) = UPPER(:a)", {std::string("dEE")}, "4"},
        {"ID BETWEEN :a AND :b", {2, 3}, "2,3"},
        {"NAME LIKE :a", {std::string("C%")}, "3"},
        {":a LIKE 'C%' AND ID < 3", {std::string("Cx")}, "1,2"},
        {"ID IN (:a, :b)", {1, 4}, "1,4"},
        {":a = :b AND ID <> 2", {std::string("x"), std::string("x")}, "1,3,4"},
        {":a = :b AND ID <> 2", {std::string("x"), std::string("y")}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.condition);
        auto query = NewQuery("SELECT ID FROM people WHERE " + c.condition + " ORDER BY ID");
        query->Prepare();
        const char* const names[] = {"a", "b"};
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            if (const int* number = std::get_if<int>(&c.values[i]))
                query->ParamByName(names[i]).SetAsInteger(*number);
            else
                query->ParamByName(names[i]).SetAsString(std::get<std::string>(c.values[i]));
        }
        query->Open();
        EXPECT_EQ(Column(*query, "ID"), c.ids);
    }
}

// An ON condition with a range of parameters, opened again with new bounds.
TEST_F(TARNISQueryTest, ARangeOfParametersInAJoinFollowsTheValuesOfEachOpen) {
    auto query = NewQuery(
        "SELECT p.ID FROM people p JOIN people q ON p.ID = q.ID AND :lo <= q.ID AND q.ID < :hi "
        "ORDER BY p.ID");
    query->ParamByName("lo").SetAsInteger(2);
    query->ParamByName("hi").SetAsInteger(4);
    query->Open();
    EXPECT_EQ(Column(*query, "ID"), "2,3");
    query->Close();
    query->ParamByName("lo").SetAsInteger(1);
    query->ParamByName("hi").SetAsInteger(3);
    query->Open();
    EXPECT_EQ(Column(*query, "ID"), "1,2");
}

// A value the condition cannot compare fails when the statement runs, before any row is read or changed.
TEST_F(TARNISQueryTest, AParameterOfTheWrongTypeFailsTheRunAndChangesNothing) {
    auto change = NewQuery("UPDATE people SET NAME = 'Zed' WHERE :lo < ID");
    change->Prepare();
    change->ParamByName("lo").SetAsString("x");
    const std::string failure = MessageOf([&] { change->ExecSQL(); });
    EXPECT_NE(failure.find("Type mismatch between constant '?' and column 'ID'"), std::string::npos)
        << failure;
    EXPECT_EQ(StoredNames(), "Ann,Bob,Cid,Dee");
    change->ParamByName("lo").SetAsInteger(3);
    change->ExecSQL();
    EXPECT_EQ(StoredNames(), "Ann,Bob,Cid,Zed");

    auto select = NewQuery("SELECT ID FROM people WHERE ID > :lo");
    select->Prepare();
    select->ParamByName("lo").SetAsString("x");
    const std::string refused = MessageOf([&] { select->Open(); });
    EXPECT_NE(refused.find("Type mismatch between column 'ID' and constant '?'"), std::string::npos)
        << refused;
    EXPECT_FALSE(select->Active());
}

// A cleared parameter is NULL: the UPDATE empties the field, as it does for the constant NULL.
TEST_F(TARNISQueryTest, ANullParameterEmptiesTheFieldItUpdates) {
    auto change = NewQuery("UPDATE people SET NAME = :n WHERE ID = 2");
    change->ParamByName("n").SetAsString("Bea");
    change->ExecSQL();
    EXPECT_EQ(StoredNames(), "Ann,Bea,Cid,Dee");
    change->ParamByName("n").Clear();
    change->ExecSQL();
    EXPECT_EQ(StoredNames(), "Ann,,Cid,Dee");
}

TEST_F(TARNISQueryTest, TwoParametersOfOneNameBindTheFirstOnesValue) {
    auto query = NewQuery("SELECT NAME FROM people WHERE ID <> :v AND ID + 1 <> :v");
    ASSERT_EQ(query->ParamCount(), 2);
    query->ParamByName("V").SetAsInteger(3);
    query->Open();
    EXPECT_EQ(Column(*query, "NAME"), "Ann,Dee");
}

TEST_F(TARNISQueryTest, AChangeOfTheTextKeepsTheValuesOfTheNamesThatRemain) {
    auto query = NewQuery("SELECT * FROM people WHERE ID = :a OR ID = :b");
    query->ParamByName("a").SetAsInteger(1);
    query->ParamByName("b").SetAsInteger(2);
    query->Open();
    query->SetSQL("SELECT * FROM people WHERE ID = :b OR ID = :c");
    EXPECT_FALSE(query->Active());
    ASSERT_EQ(query->ParamCount(), 2);
    EXPECT_EQ(query->Params().Param(0).AsInteger(), 2);
    EXPECT_FALSE(query->Params().Param(1).Bound());
    EXPECT_EQ(MessageOf([&] { query->ParamByName("a"); }), "Parameter 'a' not found");
    // The same text again changes nothing: the open query stays open.
    query->ParamByName("c").SetAsInteger(4);
    query->Open();
    query->SetSQL("SELECT * FROM people WHERE ID = :b OR ID = :c");
    EXPECT_TRUE(query->Active());
    EXPECT_EQ(Column(*query, "ID"), "2,4");
}

TEST_F(TARNISQueryTest, OpenAndCloseLeaveNoTemporaryFileNorDescriptor) {
    auto query = NewQuery("SELECT NAME FROM people WHERE NAME <> :skip");
    query->ParamByName("skip").SetAsString("Bob");
    // One cycle first, so that what the process keeps for good (the engine's state) is there before counting.
    query->Open();
    query->Close();
    const std::size_t entries = EntriesOf(directory_.Path());
    const std::size_t descriptors = EntriesOf("/proc/self/fd");
    for (int i = 0; i < 100; ++i) {
        query->Open();
        ASSERT_EQ(query->RecordCount(), 3);
        query->Close();
    }
    // An aborted run, and one whose handler fails.
    query->OnQueryProgress = [](TTARNISQuery&, int, std::uint16_t, bool& abort) { abort = true; };
    query->Open();
    query->Close();
    query->OnQueryProgress = [](TTARNISQuery&, int, std::uint16_t, bool&) {
        throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(query->Open(), std::runtime_error);
    EXPECT_EQ(EntriesOf(directory_.Path()), entries);
    EXPECT_EQ(EntriesOf("/proc/self/fd"), descriptors);
    ExpectNothingHeld(*query);
    // Nor is a lock left: another handle takes the whole table.
    ExpectTableLockFree();
}

TEST_F(TARNISQueryTest, ALiveResultEditsAndPostsIntoTheSourceTable) {
    auto query = NewQuery("SELECT * FROM people WHERE ID = :id");
    query->SetRequestLive(true);
    query->ParamByName("id").SetAsInteger(2);
    query->Open();
    ASSERT_TRUE(query->CanModify());
    EXPECT_EQ(query->Handle(), &*query->Statement()->Sources.front()->Table);
    query->Edit();
    query->FieldByName("NAME").SetAsString("Zed");
    query->Post();
    query->Close();
    ExpectNothingHeld(*query);
    EXPECT_EQ(StoredNames(), "Ann,Zed,Cid,Dee");
}

TEST_F(TARNISQueryTest, PreparingKeepsTheStatementAcrossClosesAndRefusesWhileOpen) {
    auto query = NewQuery("SELECT NAME FROM people WHERE ID = :id");
    query->ParamByName("id").SetAsInteger(1);
    query->Prepare();
    sql::TDataQuery* statement = query->Statement();
    ASSERT_NE(statement, nullptr);
    query->Open();
    EXPECT_EQ(MessageOf([&] { query->Prepare(); }), db::kDataSetOpen);
    EXPECT_EQ(MessageOf([&] { query->UnPrepare(); }), db::kDataSetOpen);
    query->Close();
    EXPECT_EQ(query->Statement(), statement);
    query->ParamByName("id").SetAsInteger(4);
    query->Open();
    EXPECT_EQ(Column(*query, "NAME"), "Dee");
    query->Close();
    query->UnPrepare();
    ExpectNothingHeld(*query);
}

TEST_F(TARNISQueryTest, WithoutAStatementTextNothingOpens) {
    TTARNISQuery query;
    EXPECT_EQ(MessageOf([&] { query.Open(); }), sql::kNoSQLStatement);
    ExpectNothingHeld(query);
    EXPECT_EQ(MessageOf([&] { query.Prepare(); }), sql::kNoSQLStatement);
    ExpectNothingHeld(query);
}

TEST_F(TARNISQueryTest, AParameterWithoutAValueOrABadStatementHoldsNothing) {
    auto query = NewQuery("SELECT * FROM people WHERE ID = :id");
    EXPECT_EQ(MessageOf([&] { query->Open(); }), "Field 'id' is of unknown type");
    ExpectNothingHeld(*query);
    query->SetSQL("SELECT * FROM nowhere");
    EXPECT_NE(MessageOf([&] { query->Open(); }), "");
    ExpectNothingHeld(*query);
}

TEST_F(TARNISQueryTest, AString254CharactersLongBindsWholeAnd255AreRefusedBeforeAnythingRuns) {
    const std::string text(254, 'a');
    auto query = NewQuery("SELECT ID FROM people WHERE '" + text + "' = :p");
    query->ParamByName("p").SetAsString(text);
    query->Open();
    EXPECT_EQ(query->RecordCount(), 4);
    query->Close();
    query->ParamByName("p").SetAsString(text.substr(0, 253) + "b");
    query->Open();
    EXPECT_EQ(query->RecordCount(), 0);
    query->Close();

    auto update = NewQuery("UPDATE people SET NAME = 'x' WHERE NAME <> :p");
    update->ParamByName("p").SetAsString(text + "a");
    EXPECT_EQ(MessageOf([&] { update->ExecSQL(); }), "Parameter 'p' is too large to bind");
    ExpectNothingHeld(*update);
    EXPECT_EQ(StoredNames(), "Ann,Bob,Cid,Dee");
}

TEST_F(TARNISQueryTest, ExecSQLRunsAParameterisedUpdateOnceForEachCall) {
    auto update = NewQuery("UPDATE people SET NAME = :name WHERE ID = :id");
    update->ParamByName("name").SetAsString("Eve");
    update->ParamByName("id").SetAsInteger(3);
    update->ExecSQL();
    ExpectNothingHeld(*update);
    EXPECT_EQ(StoredNames(), "Ann,Bob,Eve,Dee");
    update->ParamByName("name").SetAsString("Fay");
    update->ParamByName("id").SetAsInteger(1);
    update->ExecSQL();
    EXPECT_EQ(StoredNames(), "Fay,Bob,Eve,Dee");

    // A kept statement runs again with the values bound anew.
    update->Prepare();
    update->ParamByName("id").SetAsInteger(4);
    update->ExecSQL();
    EXPECT_NE(update->Statement(), nullptr);
    update->UnPrepare();
    EXPECT_EQ(StoredNames(), "Fay,Bob,Eve,Fay");

    auto insert = NewQuery("INSERT INTO people (ID, NAME) VALUES (:id, :name)");
    insert->ParamByName("id").SetAsInteger(5);
    insert->ParamByName("name").SetAsString("Gus");
    insert->ExecSQL();
    auto remove = NewQuery("DELETE FROM people WHERE ID < :id");
    remove->ParamByName("id").SetAsInteger(3);
    remove->ExecSQL();
    EXPECT_EQ(StoredNames(), "Eve,Fay,Gus");
}

TEST_F(TARNISQueryTest, OpenOfAChangeAndExecSQLOfASelectAreRefusedBeforeTheyRun) {
    const std::string data = FileBytes("people.DAT");
    const std::string index = FileBytes("people.IDX");
    auto update = NewQuery("UPDATE people SET NAME = :name");
    update->ParamByName("name").SetAsString("All");
    EXPECT_EQ(MessageOf([&] { update->Open(); }), sql::kUseExecSQL);
    ExpectNothingHeld(*update);
    EXPECT_EQ(FileBytes("people.DAT"), data);
    EXPECT_EQ(FileBytes("people.IDX"), index);

    auto select = NewQuery("SELECT * FROM people");
    EXPECT_EQ(MessageOf([&] { select->ExecSQL(); }), sql::kExecSQLSelect);
    ExpectNothingHeld(*select);
    select->Open();
    EXPECT_EQ(MessageOf([&] { select->ExecSQL(); }), db::kDataSetOpen);
}

TEST_F(TARNISQueryTest, ADirectoryBeyondTheEnginesLengthIsRefusedWhole) {
    std::string directory = ".";
    while (directory.size() <= 255) directory += "/" + std::string(20, 'd');
    std::filesystem::create_directories(directory);
    auto query = NewQuery("SELECT * FROM people");
    query->SetDatabaseName(directory);
    EXPECT_EQ(enginetest::EngineCode([&] { query->Open(); }), 11010);
    ExpectNothingHeld(*query);
}

TEST_F(TARNISQueryTest, AProtectedSourceTableAsksTheSessionForItsPassword) {
    componenttest::CreateProtectedTable(DefaultSession());
    auto query = NewQuery("SELECT * FROM " + componenttest::kProtectedTable);
    int asked = 0;
    DefaultSession().OnPassword = [&](rtl::TComponent&, bool& retry) {
        ++asked;
        retry = false;
    };
    EXPECT_EQ(enginetest::EngineCode([&] { query->Open(); }), 10498);
    ExpectNothingHeld(*query);
    EXPECT_EQ(asked, 1);
    DefaultSession().OnPassword = [&](rtl::TComponent&, bool& retry) {
        DefaultSession().AddPassword(componenttest::kTablePassword);
        retry = true;
    };
    query->Open();
    EXPECT_EQ(query->RecordCount(), 0);
    // The callback is the statement's only for the prepare.
    EXPECT_FALSE(query->Statement()->PasswordProc);
    query->Close();
    ExpectNothingHeld(*query);
}

TEST_F(TARNISQueryTest, ProgressReportsEachRecordAndAbortStopsTheRun) {
    auto query = NewQuery("SELECT ID FROM people WHERE ID <> :none");
    query->ParamByName("none").SetAsInteger(0);
    std::vector<std::pair<int, int>> seen;
    query->OnQueryProgress = [&](TTARNISQuery& sender, int record, std::uint16_t percent, bool&) {
        EXPECT_EQ(&sender, query.get());
        EXPECT_TRUE(sender.Executing());
        seen.emplace_back(record, percent);
    };
    query->Open();
    EXPECT_EQ(query->RecordCount(), 4);
    // The first row is not reported.
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{2, 50}, {3, 75}, {4, 100}}));
    EXPECT_FALSE(query->Executing());
    query->Close();

    seen.clear();
    query->OnQueryProgress = [&](TTARNISQuery&, int record, std::uint16_t percent, bool& abort) {
        seen.emplace_back(record, percent);
        abort = true;
    };
    query->Open();
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(query->RecordCount(), 2);  // the row being reported is the last
    query->Close();
    ExpectNothingHeld(*query);
}

TEST_F(TARNISQueryTest, AHandlerCannotChangeTheRunningQueryAndTheQueryOpensAgainAfterwards) {
    auto query = NewQuery("SELECT ID FROM people WHERE ID <> :none");
    query->ParamByName("none").SetAsInteger(0);
    db::TDataSource source;
    sql::TTARNISParams values;
    const std::vector<std::pair<const char*, std::function<void()>>> actions = {
        {"Close", [&] { query->Close(); }},
        {"Open", [&] { query->Open(); }},
        {"SQL", [&] { query->SetSQL("SELECT * FROM people"); }},
        {"SQL lines", [&] { query->SQL().Add("WHERE ID = 1"); }},
        {"Params", [&] { query->SetParams(values); }},
        {"DataSource", [&] { query->SetDataSource(&source); }},
        {"RequestLive", [&] { query->SetRequestLive(true); }},
        {"Prepare", [&] { query->Prepare(); }},
        {"UnPrepare", [&] { query->UnPrepare(); }},
        {"ExecSQL", [&] { query->ExecSQL(); }},
        {"Disconnect", [&] { query->Disconnect(); }},
    };
    std::vector<std::string> messages;
    query->OnQueryProgress = [&](TTARNISQuery&, int, std::uint16_t, bool&) {
        if (!messages.empty()) return;
        for (const auto& [name, action] : actions) messages.push_back(name + (": " + MessageOf(action)));
    };
    query->Open();
    ASSERT_EQ(messages.size(), actions.size());
    for (std::size_t i = 0; i < actions.size(); ++i)
        EXPECT_EQ(messages[i], actions[i].first + (": " + std::string(sql::kQueryExecuting)));
    EXPECT_EQ(query->RecordCount(), 4);
    EXPECT_EQ(query->DataSource(), nullptr);
    EXPECT_FALSE(query->RequestLive());
    query->Close();
    query->OnQueryProgress = nullptr;
    query->Open();
    EXPECT_EQ(query->RecordCount(), 4);
    query->Close();
    ExpectNothingHeld(*query);

    // Nothing of the runs holds the table: another handle locks it whole.
    ExpectTableLockFree();
}

TEST_F(TARNISQueryTest, ADetailQueryFollowsItsMastersRecord) {
    auto master = NewDataSet();
    db::TDataSource source;
    source.SetDataSet(master.get());
    auto detail = NewQuery("SELECT NAME FROM people WHERE ID = :ID");
    detail->SetDataSource(&source);
    master->Open();
    detail->Open();
    EXPECT_EQ(Column(*detail, "NAME"), "Ann");
    master->Next();
    EXPECT_EQ(Column(*detail, "NAME"), "Bob");
    master->Last();
    EXPECT_EQ(Column(*detail, "NAME"), "Dee");
    // The value came from the master: the parameter stays unbound.
    EXPECT_FALSE(detail->ParamByName("ID").Bound());
    EXPECT_EQ(detail->ParamByName("ID").AsInteger(), 4);
    // A value given is the query's own.
    detail->ParamByName("ID").SetAsInteger(2);
    master->First();
    EXPECT_EQ(Column(*detail, "NAME"), "Bob");
    master->Close();
    EXPECT_TRUE(detail->Active());
    detail->Close();
    ExpectNothingHeld(*detail);
}

TEST_F(TARNISQueryTest, ADataSourceThatLeadsBackToTheQueryIsRefused) {
    auto query = NewQuery("SELECT * FROM people");
    db::TDataSource own;
    own.SetDataSet(query.get());
    EXPECT_EQ(MessageOf([&] { query->SetDataSource(&own); }), db::kCircularDataLink);
    auto other = NewQuery("SELECT * FROM people WHERE ID = :ID");
    db::TDataSource otherSource;
    otherSource.SetDataSet(other.get());
    query->SetDataSource(&otherSource);
    EXPECT_EQ(MessageOf([&] { other->SetDataSource(&own); }), db::kCircularDataLink);
    EXPECT_EQ(other->DataSource(), nullptr);
    query->SetDataSource(nullptr);
}

TEST_F(TARNISQueryTest, TheStoredDataBlockIsKeptUntilTheTextChanges) {
    auto query = NewQuery("SELECT * FROM people");
    rtl::TMemoryStream in;
    const char bytes[] = {'a', 'b', 0, 'c'};
    in.WriteBuffer(bytes, sizeof bytes);
    in.SetPosition(0);
    query->ReadData(in);
    EXPECT_EQ(query->StoredData().size(), 4u);
    rtl::TMemoryStream out;
    query->WriteData(out);
    EXPECT_EQ(out.Bytes().size(), 2u);
    query->SetSQL("SELECT ID FROM people");
    EXPECT_TRUE(query->StoredData().empty());
}

}  // namespace
