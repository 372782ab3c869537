#include "components/TARNISDBDataSet.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "components/ComponentTexts.h"
#include "components/SessionRuntime.h"
#include "components/TARNISDatabase.h"
#include "db/Messages.h"
#include "engine/table/DataFile.h"
#include "rtl/Format.h"
#include "tests/components/support/DataSetFixture.h"

namespace {

using components::TTARNISDatabase;
using components::TTARNISSession;
using componenttest::CreatePeopleTable;
using componenttest::CreateProtectedTable;
using componenttest::kProtectedTable;
using componenttest::kTablePassword;
using componenttest::MessageOf;
using componenttest::OpensExclusively;
using componenttest::TestDataSet;
using enginetest::EngineCode;

// A dataset whose descendant makes no handle.
class NoHandleDataSet : public components::TTARNISDBDataSet {
public:
    using components::TTARNISDBDataSet::TTARNISDBDataSet;
};

class TARNISDBDataSetTest : public componenttest::DataSetTest {
protected:
    // The temporary database of the empty name in the default session, null when there is none.
    TTARNISDatabase* TemporaryDatabase() { return DefaultSession().FindDatabase(""); }

    static TTARNISSession& NewSession(const std::string& name) {
        auto* session = new TTARNISSession(nullptr);
        session->SetSessionName(name);
        return *session;
    }
};

TEST_F(TARNISDBDataSetTest, OpeningHoldsATemporaryDatabaseAndClosingGivesItBack) {
    CreatePeopleTable(DefaultSession());
    auto dataSet = NewDataSet();
    dataSet->Open();
    TTARNISDatabase* database = dataSet->Database();
    ASSERT_NE(database, nullptr);
    EXPECT_TRUE(database->Temporary());
    EXPECT_TRUE(database->Connected());
    EXPECT_EQ(database->RefCount(), 1);
    ASSERT_EQ(database->DataSetCount(), 1);
    EXPECT_EQ(database->DataSets(0), dataSet.get());
    EXPECT_TRUE(dataSet->DBFlag(components::dbfOpened));
    dataSet->Close();
    EXPECT_EQ(dataSet->Database(), nullptr);
    // The default session keeps connections: the database stays for the next open.
    EXPECT_EQ(TemporaryDatabase(), database);
    EXPECT_EQ(database->RefCount(), 0);
    EXPECT_EQ(database->DataSetCount(), 0);
}

TEST_F(TARNISDBDataSetTest, ANullHandleFailsTheOpenAndLeavesTheDatabaseUnreferenced) {
    NoHandleDataSet dataSet;
    EXPECT_EQ(MessageOf([&] { dataSet.Open(); }), components::kCreateHandleError);
    EXPECT_FALSE(dataSet.Active());
    EXPECT_EQ(dataSet.Database(), nullptr);
    ASSERT_NE(TemporaryDatabase(), nullptr);
    EXPECT_EQ(TemporaryDatabase()->RefCount(), 0);
}

TEST_F(TARNISDBDataSetTest, AMissingTableLeavesTheDataSetClosedAndTheDatabaseUnreferenced) {
    auto dataSet = NewDataSet("nothere");
    EXPECT_NE(EngineCode([&] { dataSet->Open(); }), 0);
    EXPECT_FALSE(dataSet->Active());
    EXPECT_EQ(dataSet->Handle(), nullptr);
    EXPECT_EQ(dataSet->Database(), nullptr);
    EXPECT_EQ(TemporaryDatabase()->RefCount(), 0);
}

TEST_F(TARNISDBDataSetTest, ARefusedPasswordLeavesTheTableFreeForAnExclusiveOpen) {
    CreateProtectedTable(DefaultSession());
    auto dataSet = NewDataSet(kProtectedTable);
    int asked = 0;
    DefaultSession().OnPassword = [&](rtl::TComponent&, bool& continueOpen) {
        ++asked;
        continueOpen = false;
    };
    EXPECT_EQ(EngineCode([&] { dataSet->Open(); }), 10498);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(dataSet->Active());
    EXPECT_EQ(TemporaryDatabase()->RefCount(), 0);
    components::SessionLockGuard lock(DefaultSession());
    EXPECT_TRUE(OpensExclusively(kProtectedTable));
}

TEST_F(TARNISDBDataSetTest, AHandleTheQueryEngineKeepsStaysOpenAfterClose) {
    CreatePeopleTable(DefaultSession());
    auto dataSet = NewDataSet();
    dataSet->QueryOwned = true;
    dataSet->Open();
    dataSet->Close();
    ASSERT_NE(dataSet->KeptHandle, nullptr);
    EXPECT_TRUE(dataSet->KeptHandle->IsOpen());
    components::SessionLockGuard lock(DefaultSession());
    dataSet->KeptHandle.reset();
}

TEST_F(TARNISDBDataSetTest, TheTableOpensUnderItsOwnSessionWhateverIsCurrent) {
    TTARNISSession& a = NewSession("A");
    TTARNISSession& b = NewSession("B");
    CreateProtectedTable(b);
    a.AddPassword("Other");
    b.AddPassword(kTablePassword);
    auto* database = new TTARNISDatabase(&b);
    database->SetDatabaseName("BASE");
    database->BeforeConnect = [&](rtl::TComponent&) { a.MakeCurrent(); };
    database->SetKeepConnection(false);
    TestDataSet dataSet;
    dataSet.TableName = kProtectedTable;
    dataSet.SetSessionName("B");
    dataSet.SetDatabaseName("BASE");
    dataSet.Open();
    EXPECT_EQ(dataSet.Database(), database);
    EXPECT_EQ(&dataSet.DBSession(), &b);
    dataSet.Close();
    EXPECT_FALSE(database->Connected());

    b.RemovePassword(kTablePassword);
    EXPECT_EQ(EngineCode([&] { dataSet.Open(); }), 10498);
    EXPECT_FALSE(dataSet.Active());
    EXPECT_EQ(database->RefCount(), 0);
    EXPECT_TRUE(a.EngineSession()->FindPassword("Other"));
    EXPECT_FALSE(a.EngineSession()->FindPassword(kTablePassword));
}

TEST_F(TARNISDBDataSetTest, NamesChangeOnlyWhileClosedAndWithoutADatabase) {
    CreatePeopleTable(DefaultSession());
    auto dataSet = NewDataSet();
    dataSet->Open();
    EXPECT_EQ(MessageOf([&] { dataSet->SetDatabaseName("other"); }), db::kDataSetOpen);
    EXPECT_EQ(MessageOf([&] { dataSet->SetSessionName("other"); }), db::kDataSetOpen);
    // The same name changes nothing, open or not.
    EXPECT_EQ(MessageOf([&] { dataSet->SetDatabaseName(""); }), "");
    dataSet->Close();
    dataSet->SetDBFlag(components::dbfFieldList, true);
    EXPECT_EQ(MessageOf([&] { dataSet->SetDatabaseName("other"); }), components::kDatabaseOpen);
    dataSet->SetDBFlag(components::dbfFieldList, false);
    dataSet->SetDatabaseName("other");
    EXPECT_EQ(dataSet->DatabaseName(), "other");
}

TEST_F(TARNISDBDataSetTest, AnEngineResultOtherThanZeroIsRaised) {
    TestDataSet dataSet;
    EXPECT_TRUE(dataSet.CheckOpen(0));
    EXPECT_EQ(EngineCode([&] { dataSet.CheckOpen(10498); }), 10498);
}

TEST_F(TARNISDBDataSetTest, ADataSetOfAnUnknownSessionCannotOpen) {
    auto dataSet = NewDataSet();
    dataSet->SetSessionName("Nowhere");
    EXPECT_EQ(MessageOf([&] { dataSet->Open(); }), rtl::Format(components::kInvalidSessionName, {"Nowhere"}));
    EXPECT_FALSE(dataSet->Active());
}

}  // namespace
