#include "app/core/ResultStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/core/AppState.h"
#include "components/TARNISTable.h"
#include "db/DataSource.h"
#include "db/Field.h"
#include "rtl/Exceptions.h"
#include "tests/components/support/SessionFixture.h"
#include "tests/engine/support/HolderProcess.h"
#include "tools/keyvale-setup/ApplicationTables.h"

namespace app {
namespace {

using enginetest::HolderProcess;

class ResultStoreTest : public componenttest::SessionTest {
protected:
    ResultStoreTest() {
        state.progdir = directory_.Path().string() + "/";
        keyvalesetup::CreateApplicationTable(state.progdir, *keyvalesetup::FindApplicationTable("results"));
        resultsds.SetDataSet(&resultsdb);
        // Short waits: the tests only need the lock to stay taken.
        resultsdb.SetLockRetryCount(2);
        resultsdb.SetLockWaitTime(10);
    }

    ScoreResult Sample() const {
        ScoreResult score;
        score.keystrokes = 17;
        score.errors = 2;
        score.fields = 3;
        score.fielderrors = 1;
        score.minutes = 0.5;
        score.kph = 2040;
        score.accuracy = 100 - 2.0 / 17 * 100;
        score.nkph = score.kph * score.accuracy / 100;
        score.log = {"Record no.: 1, Field no.: 1, 2 errors.", "Keyed    >JOX", "On Record>JOHN", ""};
        return score;
    }

    std::vector<ResultValue> Values() const {
        return ResultRecord(Sample(), {&AlphaRules(), true, " Smith ", "Ann", today}, endtime);
    }

    // A fresh table component over results.dat, at its first record.
    std::unique_ptr<components::TTARNISTable> ReadBack() const {
        auto table = std::make_unique<components::TTARNISTable>();
        table->SetTableName(ResultsTablePath(state));
        table->Open();
        table->First();
        return table;
    }

    const rtl::TDateTime today = rtl::EncodeDateTime(2024, 1, 15, 9, 35, 2, 0);
    const rtl::TDateTime endtime = rtl::EncodeTime(9, 35, 1, 250);
    AppState state;
    components::TTARNISTable resultsdb;
    db::TDataSource resultsds;
};

TEST_F(ResultStoreTest, TheRecordReadsBackAsScored) {
    StoreResult(resultsdb, resultsds, ResultsTablePath(state), Values());
    EXPECT_FALSE(resultsdb.Active());
    const auto table = ReadBack();
    ASSERT_EQ(table->RecordCount(), 1);
    const ScoreResult score = Sample();
    EXPECT_EQ(table->FieldByName("NAME").AsString(), "Smith, Ann");
    EXPECT_DOUBLE_EQ(table->FieldByName("NKPH").AsFloat(), score.nkph);
    EXPECT_DOUBLE_EQ(table->FieldByName("KPH").AsFloat(), 2040);
    EXPECT_EQ(table->FieldByName("TOTERRS").AsInteger(), 2);
    EXPECT_EQ(table->FieldByName("FLDERRS").AsInteger(), 1);
    EXPECT_DOUBLE_EQ(table->FieldByName("TESTTIME").AsDateTime(), endtime);
    EXPECT_DOUBLE_EQ(table->FieldByName("TESTDATE").AsDateTime(), rtl::EncodeDate(2024, 1, 15));
    EXPECT_DOUBLE_EQ(table->FieldByName("TIME").AsFloat(), 0.5);
    EXPECT_EQ(table->FieldByName("TOTALFLDS").AsInteger(), 3);
    EXPECT_EQ(table->FieldByName("TOTALKS").AsInteger(), 17);
    EXPECT_DOUBLE_EQ(table->FieldByName("ACCURACY").AsFloat(), score.accuracy);
    EXPECT_EQ(table->FieldByName("TESTTYPE").AsString(), "alpha");
    EXPECT_EQ(table->FieldByName("ERRORS").AsString(),
              "Record no.: 1, Field no.: 1, 2 errors.\r\nKeyed    >JOX\r\nOn Record>JOHN\r\n");
    table->Close();
}

TEST_F(ResultStoreTest, ATableHeldExclusivelyElsewhereRaisesAndKeepsNothing) {
    HolderProcess holder(state.progdir + "results.DAT", "exclusive", "write", 60000, true);
    ASSERT_TRUE(holder.Ready()) << holder.Greeting();
    EXPECT_THROW(StoreResult(resultsdb, resultsds, ResultsTablePath(state), Values()), rtl::Exception);
    EXPECT_EQ(holder.Release(), 0);
    resultsdb.Close();
    EXPECT_EQ(ReadBack()->RecordCount(), 0);
}

TEST_F(ResultStoreTest, ALockedTableFailsThePostAndItsCloseDropsTheInsert) {
    HolderProcess holder(HolderProcess::TableMode{}, state.progdir + "results");
    ASSERT_TRUE(holder.Ready()) << holder.Greeting();
    ASSERT_EQ(holder.Send("locktable"), "ok");
    EXPECT_THROW(StoreResult(resultsdb, resultsds, ResultsTablePath(state), Values()), rtl::Exception);
    // Left as the failure left it: open, the record not posted.
    EXPECT_TRUE(resultsdb.Active());
    EXPECT_EQ(holder.Release(), 0);
    resultsdb.Close();
    EXPECT_EQ(ReadBack()->RecordCount(), 0);
}

}  // namespace
}  // namespace app
