#include "app/core/dbfuncs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/AppState.h"
#include "app/core/MessageService.h"
#include "components/TARNISTable.h"
#include "db/Field.h"
#include "tests/app/core/support/ConfigTables.h"
#include "tests/components/support/SessionFixture.h"

namespace {

using testsupport::ConfigValues;

class ErrorList final : public app::MessageService {
public:
    void ShowError(std::string_view text) override { errors.emplace_back(text); }
    void ShowInformation(std::string_view text) override { others.emplace_back(text); }
    bool Confirm(std::string_view text) override {
        others.emplace_back(text);
        return false;
    }
    void ShowStop(std::string_view text) override { others.emplace_back(text); }

    std::vector<std::string> errors;
    std::vector<std::string> others;
};

class DbfuncsTest : public componenttest::SessionTest {
protected:
    DbfuncsTest() { state.progdir = directory_.Path().string() + "/"; }

    // Every setting away from keyvale-setup's default.
    static ConfigValues Changed() {
        ConfigValues values;
        values.realtime = 12;
        values.practicetime = 7;
        values.fname = "Ann";
        values.lname = "Lee";
        values.password = "abC";
        values.useuppercase = true;
        values.usedecimal = true;
        values.presults = false;
        values.rresults = false;
        values.showinstructions = true;
        values.remembername = false;
        values.scalefactor = 20;
        values.width = 7;
        values.sort = 3;
        values.filter = 2;
        values.autoadvance = true;
        return values;
    }

    // Values no load gives, to see which variables a load left alone.
    void Poke() {
        state.realtime = state.practicetime = state.scalefactor = state.width = state.sort = state.filter = 99;
        state.fname = state.lname = state.password = "old";
        state.useuppercase = state.usedecimal = state.presults = state.rresults = state.showinstructions =
            state.remembername = state.autoadvance = true;
    }

    std::unique_ptr<components::TTARNISTable> OtherHandle() {
        auto table = std::make_unique<components::TTARNISTable>();
        table->SetTableName(app::ConfigTablePath(state));
        table->Open();
        table->First();
        return table;
    }

    std::string Stored(const std::string& field) { return OtherHandle()->FieldByName(field).AsString(); }

    app::AppState state;
    ErrorList messages;
    app::Tdbfuncs dbfuncs{state, messages};
};

TEST_F(DbfuncsTest, TablesOverConfigWaitForLocksAndWriteThrough) {
    EXPECT_EQ(dbfuncs.configdb.LockRetryCount(), 15);
    EXPECT_EQ(dbfuncs.configdb.LockWaitTime(), 100);
    EXPECT_FALSE(dbfuncs.configdb.ForceBufferFlush());
    EXPECT_EQ(dbfuncs.DataSource1.DataSet(), &dbfuncs.configdb);
}

TEST_F(DbfuncsTest, GetconfigLoadsEverySettingAndHoldsThePasswordInUpperCase) {
    testsupport::CreateConfigTable(state.progdir, Changed());
    EXPECT_TRUE(dbfuncs.getconfig());
    EXPECT_TRUE(messages.errors.empty());
    EXPECT_EQ(state.realtime, 12);
    EXPECT_EQ(state.practicetime, 7);
    EXPECT_EQ(state.fname, "Ann");
    EXPECT_EQ(state.lname, "Lee");
    EXPECT_EQ(state.password, "ABC");
    EXPECT_TRUE(state.useuppercase);
    EXPECT_TRUE(state.usedecimal);
    EXPECT_FALSE(state.presults);
    EXPECT_FALSE(state.rresults);
    EXPECT_TRUE(state.showinstructions);
    EXPECT_FALSE(state.remembername);
    EXPECT_EQ(state.scalefactor, 20);
    EXPECT_EQ(state.width, 7);
    EXPECT_EQ(state.sort, 3);
    EXPECT_EQ(state.filter, 2);
    EXPECT_TRUE(state.autoadvance);
    EXPECT_FALSE(dbfuncs.configdb.Active());
}

TEST_F(DbfuncsTest, GetconfigUpperCasesLettersOfTheCodePage) {
    ConfigValues values;
    values.password = "\xe9t\xe9";  // "été" in Windows-1252
    testsupport::CreateConfigTable(state.progdir, values);
    dbfuncs.getconfig();
    EXPECT_EQ(state.password, "\xc9T\xc9");
}

TEST_F(DbfuncsTest, PartialLoadKeepsWhatItReadAndLeavesTheRest) {
    const ConfigValues values = Changed();
    testsupport::CreateConfigTable(state.progdir, values, testsupport::ConfigWithout("sort"));
    Poke();
    EXPECT_FALSE(dbfuncs.getconfig());
    ASSERT_EQ(messages.errors.size(), 1u);
    EXPECT_TRUE(messages.errors[0].starts_with("Error reading config.dat: " + state.progdir + "config.DAT\n\n"))
        << messages.errors[0];
    EXPECT_EQ(state.realtime, 12);
    EXPECT_EQ(state.fname, "Ann");
    // Upper case although the load broke off before the end.
    EXPECT_EQ(state.password, "ABC");
    EXPECT_FALSE(state.remembername);
    EXPECT_EQ(state.width, 7);
    EXPECT_EQ(state.sort, 99);
    EXPECT_EQ(state.filter, 99);
    EXPECT_TRUE(state.autoadvance);
    EXPECT_FALSE(dbfuncs.configdb.Active());
}

TEST_F(DbfuncsTest, ConfigWithoutItsFirstFieldChangesNothing) {
    testsupport::CreateConfigTable(state.progdir, Changed(), testsupport::ConfigWithout("realtime"));
    Poke();
    const app::AppState before = state;
    EXPECT_FALSE(dbfuncs.getconfig());
    EXPECT_EQ(messages.errors.size(), 1u);
    EXPECT_EQ(state.realtime, before.realtime);
    EXPECT_EQ(state.practicetime, before.practicetime);
    EXPECT_EQ(state.password, before.password);
    EXPECT_EQ(state.autoadvance, before.autoadvance);
}

TEST_F(DbfuncsTest, MissingConfigShowsTheMessageOncePerLoadAndSetsNothing) {
    EXPECT_FALSE(dbfuncs.getconfig());
    EXPECT_FALSE(dbfuncs.getconfig());
    // The file, the engine's reason put plainly, and how to make the table anew.
    const std::string dat = state.progdir + "config.DAT";
    const std::string message = "Error reading config.dat: " + dat + "\n\nThe table file \"" + dat +
                                "\" does not exist.\n\nKeyvale does not run without its settings and ends now. "
                                "To make config.dat anew, run:\nkeyvale-setup --force \"" + state.progdir +
                                "\" config";
    EXPECT_EQ(messages.errors, (std::vector<std::string>{message, message}));
    EXPECT_TRUE(messages.others.empty());
    EXPECT_EQ(state.realtime, 0);
    EXPECT_EQ(state.practicetime, 0);
    EXPECT_EQ(state.password, "");
    EXPECT_FALSE(state.remembername);
    EXPECT_EQ(state.scalefactor, 0);
}

TEST_F(DbfuncsTest, SaveWritesThePasswordAndTheName) {
    testsupport::CreateConfigTable(state.progdir, ConfigValues{});
    state.password = "NEW";
    EXPECT_TRUE(dbfuncs.savepassword());
    state.fname = "Ann";
    state.lname = "Lee";
    dbfuncs.savename();
    EXPECT_EQ(Stored("password"), "NEW");
    EXPECT_EQ(Stored("fname"), "Ann");
    EXPECT_EQ(Stored("lname"), "Lee");
    EXPECT_FALSE(dbfuncs.configdb.Active());
    EXPECT_TRUE(messages.errors.empty());
}

TEST_F(DbfuncsTest, SavesFailQuietlyWhileAnotherHandleEditsAndWorkAfterTheRelease) {
    ConfigValues values;
    values.password = "OLD";
    values.fname = "Old";
    testsupport::CreateConfigTable(state.progdir, values);
    // One retry is enough to show the refusal; the wait itself is the table's.
    dbfuncs.configdb.SetLockRetryCount(1);
    auto other = OtherHandle();
    other->Edit();
    state.password = "NEW";
    state.fname = "Ann";
    EXPECT_FALSE(dbfuncs.savepassword());
    dbfuncs.savename();
    EXPECT_TRUE(messages.errors.empty());
    EXPECT_TRUE(messages.others.empty());
    EXPECT_EQ(other->FieldByName("password").AsString(), "OLD");
    other->Cancel();
    other.reset();
    EXPECT_EQ(Stored("password"), "OLD");
    EXPECT_EQ(Stored("fname"), "Old");

    EXPECT_TRUE(dbfuncs.savepassword());
    dbfuncs.savename();
    EXPECT_EQ(Stored("password"), "NEW");
    EXPECT_EQ(Stored("fname"), "Ann");
}

}  // namespace
