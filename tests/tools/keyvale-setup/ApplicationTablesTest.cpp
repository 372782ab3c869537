#include "tools/keyvale-setup/ApplicationTables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/TARNISTable.h"
#include "db/Field.h"
#include "db/FieldDefs.h"
#include "db/FieldType.h"
#include "db/IndexDefs.h"
#include "rtl/DateTime.h"
#include "rtl/DateTimeParse.h"
#include "rtl/FormatSettings.h"
#include "tests/tools/keyvale-setup/SetupFixture.h"
#include "tests/tools/keyvale-setup/SetupTables.h"

namespace setuptest {
namespace {

std::vector<std::string> FieldNames(components::TTARNISTable& table) {
    std::vector<std::string> names;
    for (int i = 0; i < table.FieldDefs().Count(); ++i) names.push_back(table.FieldDefs()[i].Name());
    return names;
}

class FreshDirectoryTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        const SetupRun run = RunOnProgram({"--invsort-records", "60"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out,
                  "created config.dat (1 record)\n"
                  "created results.dat (0 records)\n"
                  "created invsort.dat (60 records)\n"
                  "created numeric.dat (200 records)\n");
        EXPECT_EQ(run.err, "");
    }
};

TEST_F(FreshDirectoryTest, EachTableHasItsFilesAndOpensByItsLowerCaseName) {
    // Each with its journal, which the first open made.
    EXPECT_EQ(ProgramFiles(), (std::vector<std::string>{
                                  "config.DAT", "config.IDX", "config.JNL", "invsort.DAT", "invsort.IDX",
                                  "invsort.JNL", "numeric.DAT", "numeric.IDX", "numeric.JNL", "results.BLB",
                                  "results.DAT", "results.IDX", "results.JNL"}));
    const struct {
        const char* name;
        int fields;
        int records;
    } tables[] = {
        {"config.dat", 16, 1}, {"results.dat", 13, 0}, {"invsort.dat", 9, 60}, {"numeric.dat", 50, 200}};
    for (const auto& expected : tables) {
        SCOPED_TRACE(expected.name);
        auto table = OpenTable(InProgram(expected.name));
        EXPECT_EQ(table->FieldDefs().Count(), expected.fields);
        EXPECT_EQ(table->RecordCount(), expected.records);
    }
}

TEST_F(FreshDirectoryTest, FieldsHaveTheTypesTheProgramReads) {
    auto config = OpenTable(InProgram("config.dat"));
    EXPECT_EQ(
        FieldNames(*config),
        (std::vector<std::string>{"realtime", "practicetime", "fname", "lname", "password", "useuppercase",
                                  "usedecimal", "presults", "rresults", "showinstructions", "remembername",
                                  "scalefactor", "width", "sort", "filter", "autoadvance"}));
    auto results = OpenTable(InProgram("results.dat"));
    EXPECT_EQ(FieldNames(*results),
              (std::vector<std::string>{"NAME", "NKPH", "KPH", "TOTERRS", "FLDERRS", "TESTTIME", "TESTDATE",
                                        "TIME", "TOTALFLDS", "TOTALKS", "ACCURACY", "TESTTYPE", "ERRORS"}));
    auto invsort = OpenTable(InProgram("invsort.dat"));
    auto numeric = OpenTable(InProgram("numeric.dat"));
    const struct {
        components::TTARNISTable* table;
        const char* field;
        db::TFieldType type;
        int size;
    } cases[] = {
        {config.get(), "realtime", db::ftInteger, 0},  {config.get(), "fname", db::ftString, 40},
        {config.get(), "password", db::ftString, 10},  {config.get(), "useuppercase", db::ftBoolean, 0},
        {results.get(), "NAME", db::ftString, 82},     {results.get(), "KPH", db::ftFloat, 0},
        {results.get(), "TESTTIME", db::ftTime, 0},    {results.get(), "TESTDATE", db::ftDate, 0},
        {results.get(), "TESTTYPE", db::ftString, 12}, {results.get(), "ERRORS", db::ftMemo, 0},
        {invsort.get(), "recordid", db::ftAutoInc, 0}, {invsort.get(), "idxkey", db::ftString, 5},
        {invsort.get(), "date", db::ftString, 8},      {invsort.get(), "invoice", db::ftInteger, 0},
        {invsort.get(), "amount", db::ftString, 7},    {invsort.get(), "STREET", db::ftString, 30},
        {numeric.get(), "n25", db::ftInteger, 0},      {numeric.get(), "nd1", db::ftFloat, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        const db::TFieldDef& def = c.table->FieldDefs().Find(c.field);
        EXPECT_EQ(def.DataType(), c.type);
        EXPECT_EQ(def.Size(), c.size);
    }
}

TEST_F(FreshDirectoryTest, OnlyResultsAndInvsortHaveIndexesAndNoneIsPrimary) {
    struct Index {
        std::string name;
        std::string fields;
        bool caseInsensitive;
    };
    const struct {
        const char* table;
        std::vector<Index> indexes;
    } cases[] = {
        {"config.dat", {}},
        {"results.dat",
         {{"NAME", "NAME", true},
          {"KPH", "KPH", false},
          {"NETKPH", "NKPH", false},
          {"DATE", "TESTDATE;TESTTIME", false}}},
        {"invsort.dat", {{"idxkey", "idxkey", false}}},
        {"numeric.dat", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        auto table = OpenTable(InProgram(c.table));
        db::TIndexDefs& defs = table->IndexDefs();
        defs.Update();
        ASSERT_EQ(defs.Count(), static_cast<int>(c.indexes.size()));
        for (int i = 0; i < defs.Count(); ++i) {
            const db::TIndexDef& def = defs[i];
            EXPECT_EQ(def.Name(), c.indexes[i].name);
            EXPECT_EQ(def.Fields(), c.indexes[i].fields);
            EXPECT_EQ((def.Options() & db::ixCaseInsensitive) != 0, c.indexes[i].caseInsensitive);
            EXPECT_EQ(def.Options() & (db::ixPrimary | db::ixUnique), 0);
        }
    }
}

TEST_F(FreshDirectoryTest, ConfigHoldsTheFirstSettingsWithoutAPassword) {
    auto config = OpenTable(InProgram("config.dat"));
    config->First();
    const struct {
        const char* field;
        int value;
    } integers[] = {{"realtime", 5}, {"practicetime", 5}, {"scalefactor", 0},
                    {"width", 5},    {"sort", 0},         {"filter", 0}};
    for (const auto& c : integers) EXPECT_EQ(config->FieldByName(c.field).AsInteger(), c.value) << c.field;
    for (const char* field : {"fname", "lname", "password"}) {
        EXPECT_EQ(config->FieldByName(field).AsString(), "") << field;
    }
    const struct {
        const char* field;
        bool value;
    } booleans[] = {{"useuppercase", false}, {"usedecimal", false},       {"presults", true},
                    {"rresults", true},      {"showinstructions", false}, {"remembername", true},
                    {"autoadvance", false}};
    for (const auto& c : booleans) EXPECT_EQ(config->FieldByName(c.field).AsBoolean(), c.value) << c.field;
}

TEST_F(FreshDirectoryTest, NumericTakesConfigsWidth) {
    auto numeric = OpenTable(InProgram("numeric.dat"));
    for (numeric->First(); !numeric->Eof(); numeric->Next()) {
        const std::int32_t n = numeric->FieldByName("n1").AsInteger();
        EXPECT_TRUE(n > 10000 && n < 99999) << n;
        const double nd = numeric->FieldByName("nd25").AsFloat();
        EXPECT_TRUE(nd >= 10.0 && nd <= 99.99) << nd;
    }
}

TEST_F(FreshDirectoryTest, InvsortDatesAreWrittenAsTheProgramShowsThem) {
    rtl::FormatSettings settings;
    settings.ShortDateFormat = "mm/dd/yy";
    const rtl::FormatSettingsGuard guard(settings);
    const rtl::TDateTime today = rtl::Date();
    auto invsort = OpenTable(InProgram("invsort.dat"));
    for (const std::string& date : Column(*invsort, "date")) {
        rtl::TDateTime day = 0;
        ASSERT_TRUE(date.size() == 8 && date[2] == '/' && date[5] == '/' && rtl::TryStrToDate(date, day))
            << date;
        // A run that passed midnight wrote yesterday's dates.
        EXPECT_TRUE(day <= today && day >= today - 700) << date;
    }
}

// NAME, KPH, NKPH, TESTDATE, TESTTIME and TESTTYPE of a result.
struct Result {
    const char* name;
    double kph;
    double nkph;
    rtl::TDateTime date;
    rtl::TDateTime time;
    const char* type;
};

class ResultsTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        ASSERT_EQ(RunOnProgram({}, {"results"}).status, 0);
        auto results = OpenTable(InProgram("results.dat"));
        const Result rows[] = {
            {"smith, anna", 3000, 2900, rtl::EncodeDate(2026, 3, 2), 0.5, "alphanumeric"},
            {"Baker, Tom", 4000, 2500, rtl::EncodeDate(2026, 3, 1), 0.75, "alpha"},
            {"Miller, Eve", 2000, 1900, rtl::EncodeDate(2026, 3, 1), 0.25, "numeric"},
        };
        for (const Result& row : rows) {
            results->Insert();
            results->FieldByName("NAME").SetAsString(row.name);
            results->FieldByName("KPH").SetAsFloat(row.kph);
            results->FieldByName("NKPH").SetAsFloat(row.nkph);
            results->FieldByName("TESTDATE").SetAsDateTime(row.date);
            results->FieldByName("TESTTIME").SetAsDateTime(row.time);
            results->FieldByName("TESTTYPE").SetAsString(row.type);
            results->Post();
        }
    }
};

TEST_F(ResultsTest, EachSortChoiceGivesItsOrder) {
    const struct {
        const char* index;
        std::vector<std::string> names;
    } cases[] = {
        {"", {"smith, anna", "Baker, Tom", "Miller, Eve"}},
        {"Name", {"Baker, Tom", "Miller, Eve", "smith, anna"}},
        {"KPH", {"Miller, Eve", "smith, anna", "Baker, Tom"}},
        {"NETKPH", {"Miller, Eve", "Baker, Tom", "smith, anna"}},
        {"DATE", {"Miller, Eve", "Baker, Tom", "smith, anna"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        auto results = OpenTable(InProgram("results.dat"), c.index);
        EXPECT_EQ(Column(*results, "NAME"), c.names);
    }
}

TEST_F(ResultsTest, TheTestTypeFilterTakesTheWholeWord) {
    auto results = OpenTable(InProgram("results.dat"));
    results->SetFilter("TESTTYPE='alpha'");
    results->SetFiltered(true);
    EXPECT_EQ(Column(*results, "NAME"), std::vector<std::string>{"Baker, Tom"});
    results->SetFilter("TESTTYPE='alphanumeric'");
    EXPECT_EQ(Column(*results, "NAME"), std::vector<std::string>{"smith, anna"});
}

TEST_F(ResultsTest, AnErrorLogOfFiveKilobytesReadsBack) {
    std::string log;
    while (log.size() < 5 * 1024)
        log += "Field 3 on screen 12: expected \"Springfield\", keyed \"Sprnigfield\"\r\n";
    {
        auto results = OpenTable(InProgram("results.dat"));
        results->First();
        results->Edit();
        results->FieldByName("ERRORS").SetAsString(log);
        results->Post();
    }
    auto results = OpenTable(InProgram("results.dat"));
    results->First();
    EXPECT_EQ(results->FieldByName("ERRORS").AsString(), log);
}

}  // namespace
}  // namespace setuptest
