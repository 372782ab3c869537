#include "components/TARNISDatabase.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "components/ComponentTexts.h"
#include "components/SessionRuntime.h"
#include "rtl/Component.h"
#include "rtl/Format.h"
#include "tests/components/support/DataSetFixture.h"

namespace {

using components::IsDirectory;
using components::TDBEvent;
using components::TTARNISDatabase;
using components::TTARNISSession;
using componenttest::CreatePeopleTable;
using componenttest::MessageOf;
using componenttest::TestDataSet;

class TARNISDatabaseTest : public componenttest::DataSetTest {
protected:
    // The runtime outlives the recorded events: databases it frees at the end must not report to them.
    ~TARNISDatabaseTest() override {
        for (int i = 0; i < components::Sessions().Count(); ++i)
            components::Sessions().Sessions(i)->OnDBNotify = nullptr;
    }

    static TTARNISSession& NewSession(const std::string& name) {
        auto* session = new TTARNISSession(nullptr);
        session->SetSessionName(name);
        return *session;
    }

    // Records the session's database events.
    void Listen(TTARNISSession& session) {
        session.OnDBNotify = [this](TDBEvent event, TTARNISDatabase& database) {
            events_.emplace_back(event, &database);
        };
    }
    int Count(TDBEvent event) const {
        int n = 0;
        for (const auto& [e, database] : events_) n += e == event ? 1 : 0;
        return n;
    }

    std::vector<std::pair<TDBEvent, TTARNISDatabase*>> events_;
};

TEST(IsDirectoryTest, EmptyNamesAndNamesWithADriveOrASeparatorAreDirectories) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"", true}, {"c:", true}, {"a\\b", true}, {"/srv/x", true}, {"plain", false}, {"two words", false},
    };
    for (const auto& [name, directory] : cases) EXPECT_EQ(IsDirectory(name), directory) << name;
}

TEST_F(TARNISDatabaseTest, ATemporaryDatabaseNamedLikeADirectoryHasThatDirectory) {
    TTARNISDatabase temporary;
    temporary.SetTemporary(true);
    EXPECT_EQ(temporary.Directory(), "");
    temporary.SetDatabaseName("/srv/data");
    EXPECT_EQ(temporary.Directory(), "/srv/data");
    temporary.SetDatabaseName("c:\\data");
    EXPECT_EQ(temporary.Directory(), "c:\\data");

    TTARNISDatabase named;
    EXPECT_EQ(MessageOf([&] { named.SetDatabaseName("/srv/data"); }),
              rtl::Format(components::kInvalidDatabaseName, {"/srv/data"}));
    named.SetDatabaseName("DATA");
    named.SetDirectory("/srv/data");
    EXPECT_EQ(named.Directory(), "/srv/data");
}

TEST_F(TARNISDatabaseTest, ANamedDatabaseTakesTheNameOfAFreeTemporaryOneButNotOfAReferencedOne) {
    CreatePeopleTable(DefaultSession());
    auto dataSet = NewDataSet();
    dataSet->SetDatabaseName("PEOPLE");
    dataSet->Open();
    TTARNISDatabase named;
    EXPECT_EQ(MessageOf([&] { named.SetDatabaseName("people"); }),
              rtl::Format(components::kDuplicateDatabaseName, {"people"}));
    dataSet->Close();
    ASSERT_NE(DefaultSession().FindDatabase("PEOPLE"), nullptr);
    named.SetDatabaseName("people");
    EXPECT_EQ(DefaultSession().FindDatabase("PEOPLE"), &named);

    TTARNISDatabase other;
    EXPECT_EQ(MessageOf([&] { other.SetDatabaseName("PEOPLE"); }),
              rtl::Format(components::kDuplicateDatabaseName, {"PEOPLE"}));
}

TEST_F(TARNISDatabaseTest, OpeningChecksTheNameAndTheSession) {
    TTARNISDatabase database;
    EXPECT_EQ(MessageOf([&] { database.Open(); }), components::kDatabaseNameMissing);
    database.SetDatabaseName("BASE");
    database.SetSessionName("Nowhere");
    EXPECT_EQ(MessageOf([&] { database.Open(); }), rtl::Format(components::kInvalidSessionName, {"Nowhere"}));
    EXPECT_FALSE(database.Connected());
}

TEST_F(TARNISDatabaseTest, NothingChangesWhileConnected) {
    Listen(DefaultSession());
    TTARNISDatabase database;
    database.SetDatabaseName("BASE");
    database.SetConnected(true);
    EXPECT_EQ(database.Handle(), 1u);
    EXPECT_EQ(Count(components::dbOpen), 1);
    EXPECT_TRUE(DefaultSession().Active());
    database.Open();
    EXPECT_EQ(Count(components::dbOpen), 1);
    EXPECT_EQ(database.RefCount(), 0);
    for (const auto& change : std::vector<std::function<void()>>{
             [&] { database.SetDatabaseName("OTHER"); },
             [&] { database.SetDirectory("/tmp"); },
             [&] { database.SetSessionName("Other"); },
         })
        EXPECT_EQ(MessageOf(change), components::kDatabaseOpen);
    database.SetConnected(false);
    EXPECT_EQ(Count(components::dbClose), 1);
    database.SetDirectory("/tmp");
}

TEST_F(TARNISDatabaseTest, TwoSharedDatabasesOfOneNameShareOneHandle) {
    Listen(DefaultSession());
    TTARNISDatabase first;
    TTARNISDatabase second;
    for (TTARNISDatabase* database : {&first, &second}) database->SetHandleShared(true);
    first.SetDatabaseName("SHARED");
    second.SetDatabaseName("shared");
    first.Open();
    second.Open();
    EXPECT_TRUE(second.Connected());
    EXPECT_EQ(second.Handle(), first.Handle());
    EXPECT_EQ(Count(components::dbOpen), 1);
    EXPECT_EQ(DefaultSession().FindDatabaseHandle("Shared"), first.Handle());
}

TEST_F(TARNISDatabaseTest, TwoOpensOfOneNameShareATemporaryDatabaseUntilTheSessionStops) {
    TTARNISSession& session = NewSession("Second");
    {
        components::SessionLockGuard lock(session);
        CreatePeopleTable(session);
    }
    TestDataSet a;
    TestDataSet b;
    for (TestDataSet* dataSet : {&a, &b}) {
        dataSet->TableName = "people";
        dataSet->SetSessionName("Second");
        dataSet->SetDatabaseName("TEMP");
        dataSet->Open();
    }
    ASSERT_EQ(session.DatabaseCount(), 1);
    TTARNISDatabase* database = session.Databases(0);
    EXPECT_TRUE(database->Temporary());
    EXPECT_EQ(database->RefCount(), 2);
    EXPECT_EQ(a.Database(), database);
    EXPECT_EQ(b.Database(), database);
    a.Close();
    b.Close();
    EXPECT_EQ(session.FindDatabase("temp"), database);
    EXPECT_TRUE(database->Connected());
    a.Open();
    EXPECT_EQ(a.Database(), database);
    // Stopping the session frees the database and closes its dataset first.
    session.SetActive(false);
    EXPECT_FALSE(a.Active());
    EXPECT_EQ(a.Database(), nullptr);
    EXPECT_EQ(session.DatabaseCount(), 0);
}

TEST_F(TARNISDatabaseTest, CloseWithoutKeepConnectionClosesEveryDataSetOnce) {
    CreatePeopleTable(DefaultSession());
    Listen(DefaultSession());
    TTARNISDatabase named;
    named.SetDatabaseName("NAMED");
    named.SetKeepConnection(false);
    TestDataSet a;
    TestDataSet b;
    for (TestDataSet* dataSet : {&a, &b}) {
        dataSet->TableName = "people";
        dataSet->SetDatabaseName("NAMED");
        dataSet->Open();
    }
    EXPECT_EQ(named.RefCount(), 2);
    named.Close();
    EXPECT_FALSE(a.Active());
    EXPECT_FALSE(b.Active());
    EXPECT_FALSE(named.Connected());
    EXPECT_EQ(named.RefCount(), 0);
    EXPECT_EQ(Count(components::dbClose), 1);

    // The same with the temporary database of a session that keeps no connections.
    DefaultSession().SetKeepConnections(false);
    for (TestDataSet* dataSet : {&a, &b}) {
        dataSet->SetDatabaseName("");
        dataSet->Open();
    }
    TTARNISDatabase* temporary = a.Database();
    ASSERT_NE(temporary, nullptr);
    EXPECT_FALSE(temporary->KeepConnection());
    EXPECT_EQ(temporary->RefCount(), 2);
    events_.clear();
    temporary->Close();
    EXPECT_FALSE(a.Active());
    EXPECT_FALSE(b.Active());
    EXPECT_EQ(Count(components::dbClose), 1);
    // Still there, unreferenced: the session frees it at its stop or when a named database takes its name.
    EXPECT_EQ(DefaultSession().FindDatabase(""), temporary);
    EXPECT_EQ(temporary->RefCount(), 0);
}

TEST_F(TARNISDatabaseTest, TheLastCloseFreesATemporaryDatabaseOfASessionThatKeepsNoConnections) {
    CreatePeopleTable(DefaultSession());
    DefaultSession().SetKeepConnections(false);
    auto dataSet = NewDataSet();
    dataSet->Open();
    ASSERT_NE(DefaultSession().FindDatabase(""), nullptr);
    dataSet->Close();
    EXPECT_EQ(DefaultSession().FindDatabase(""), nullptr);
}

TEST_F(TARNISDatabaseTest, SwitchingKeepConnectionOffWithoutReferencesCloses) {
    TTARNISDatabase database;
    database.SetDatabaseName("BASE");
    database.Open();
    database.SetKeepConnection(false);
    EXPECT_FALSE(database.Connected());
}

TEST_F(TARNISDatabaseTest, AutoNamedSessionsNameTheDatabasesAndDataSetsOfTheirOwner) {
    rtl::TComponent form;
    auto* dataSet = new TestDataSet(&form);
    auto* database = new TTARNISDatabase(&form);
    auto* session = new TTARNISSession(&form);
    session->SetName("Session1");
    session->SetAutoSessionName(true);
    EXPECT_EQ(session->SessionName(), "Session1_1");
    EXPECT_EQ(dataSet->SessionName(), "Session1_1");
    EXPECT_EQ(database->SessionName(), "Session1_1");
    EXPECT_EQ(database->Session(), session);
    session->SetName("Renamed");
    EXPECT_EQ(dataSet->SessionName(), "Renamed_1");
    EXPECT_EQ(database->SessionName(), "Renamed_1");

    auto* later = new TTARNISDatabase(&form);
    EXPECT_EQ(later->Session(), session);
    EXPECT_EQ(later->SessionName(), "Renamed_1");
    auto* laterDataSet = new TestDataSet(&form);
    EXPECT_EQ(laterDataSet->SessionName(), "Renamed_1");
}

TEST_F(TARNISDatabaseTest, ComponentsMovedToTheOwnerOfAnAutoNamedSessionJoinIt) {
    rtl::TComponent form;
    auto* session = new TTARNISSession(&form);
    session->SetName("Moves");
    session->SetAutoSessionName(true);
    auto* database = new TTARNISDatabase(nullptr);
    auto* dataSet = new TestDataSet(nullptr);
    EXPECT_EQ(database->Session(), &DefaultSession());
    form.InsertComponent(database);
    form.InsertComponent(dataSet);
    EXPECT_EQ(database->Session(), session);
    EXPECT_EQ(database->SessionName(), "Moves_1");
    EXPECT_EQ(session->DatabaseCount(), 1);
    EXPECT_EQ(dataSet->SessionName(), "Moves_1");
    database->SetDatabaseName("MOVED");
    database->Open();
    EXPECT_EQ(database->Session(), session);
    EXPECT_TRUE(session->Active());
}

TEST_F(TARNISDatabaseTest, ADatabaseOutlivesItsSessionSafely) {
    TTARNISSession& session = NewSession("Short");
    auto* owned = new TTARNISDatabase(&session);
    owned->SetDatabaseName("OWNED");
    owned->Open();
    TTARNISDatabase named;
    named.SetSessionName("Short");
    EXPECT_EQ(named.Session(), &session);
    named.SetDatabaseName("NAMED");
    named.Open();
    delete &session;
    // The session's own database went with it; the other one forgot it and closed.
    EXPECT_EQ(named.Session(), nullptr);
    EXPECT_FALSE(named.Connected());
}

}  // namespace
