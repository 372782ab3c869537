#include "sql/SourceDataFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/EngineState.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using sql::TDataQuery;
using sql::TSourceDataFile;

TEST(SourceDataFile, NameTakesTheDirectoryUnlessItHasAPath) {
    struct Case {
        std::string name;
        std::string tableName;
        std::string correlation;
    };
    const std::vector<Case> cases = {
        {"cust", "d/cust", "cust"},           {"cust.dat", "d/cust.dat", "cust"},
        {"x/cust.dat", "x/cust.dat", "cust"}, {"x\\y\\cust.DAT", "x\\y\\cust.DAT", "cust"},
        {"/abs/cust", "/abs/cust", "cust"},   {"c:cust.dat", "c:cust.dat", "cust"},
    };
    TDataQuery query;
    query.DatabaseDirectory = "d/";
    for (const Case& c : cases) {
        TSourceDataFile table(&query);
        table.SetTableName(c.name);
        EXPECT_EQ(table.TableName, c.tableName) << c.name;
        EXPECT_EQ(table.CorrelationName, c.correlation) << c.name;
    }
}

TEST(SourceDataFile, CorrelationNameStaysOnceSet) {
    TDataQuery query;
    TSourceDataFile table(&query);
    table.SetCorrelationName("k");
    table.SetTableName("cust");
    EXPECT_EQ(table.TableName, "cust");
    EXPECT_EQ(table.CorrelationName, "k");

    TSourceDataFile renamed(&query);
    renamed.SetTableName("first");
    renamed.SetTableName("second");
    EXPECT_EQ(renamed.TableName, "second");
    EXPECT_EQ(renamed.CorrelationName, "first");
}

TEST(SourceDataFile, LongPathStaysWhole) {
    TDataQuery query;
    query.DatabaseDirectory = std::string(200, 'd') + "/";
    TSourceDataFile table(&query);
    table.SetTableName(std::string(99, 'n'));
    EXPECT_EQ(table.TableName.size(), 300u);
    EXPECT_EQ(table.TableName, query.DatabaseDirectory + std::string(99, 'n'));
}

class SourceDataFileTable : public enginetest::TableTest {};

// The handle was opened under the old name.
TEST_F(SourceDataFileTable, AnOpenTableKeepsItsNames) {
    enginetest::CreateSimpleTable("t");
    TDataQuery query;
    TSourceDataFile source(&query);
    source.SetTableName("t");
    EXPECT_EQ(source.Table->Owner(), &source);
    source.Table->SetFileName(source.TableName);
    source.Table->Open();
    source.SetTableName("other");
    source.SetCorrelationName("o");
    EXPECT_EQ(source.TableName, "t");
    EXPECT_EQ(source.CorrelationName, "t");
    source.Table->Close();
    source.SetCorrelationName("o");
    EXPECT_EQ(source.CorrelationName, "o");
}

// A table of the fields given, without indexes, in the current directory; protected when a password is given.
void CreateFieldsTable(const std::string& name, std::vector<engine::TFieldDesc> fields,
                       const std::string& password = {}) {
    std::vector<engine::TIndexDescriptor> indexes;
    enginetest::TableOptions options;
    options.allowNoPrimary = true;
    options.isProtected = !password.empty();
    options.password = password;
    enginetest::CreateTable(name, fields, indexes, options);
}

TEST_F(SourceDataFileTable, OpensSharedWithTheStatementsSettingsAndInNaturalOrder) {
    CreateFieldsTable("t", {enginetest::FieldDef(1, "Alpha", engine::FieldTypeInteger),
                            enginetest::FieldDef(2, "Beta", engine::FieldTypeString, 12)});
    TDataQuery query;
    for (const bool live : {false, true}) {
        TSourceDataFile source(&query);
        source.SetTableName("t");
        source.RecordBuffer.assign(3, 1);
        source.Open(4, 25, live, true, {});
        engine::TDataFile& table = *source.Table;
        EXPECT_TRUE(table.IsOpen());
        EXPECT_EQ(table.ReadOnly(), !live);
        EXPECT_FALSE(table.Exclusive());
        EXPECT_EQ(table.LockRetryCount(), 4);
        EXPECT_EQ(table.LockWaitTime(), 25);
        EXPECT_TRUE(table.StrictChangeDetection());
        EXPECT_EQ(table.GetIndexNumber(), 255);
        EXPECT_TRUE(source.RecordBuffer.empty());
        source.AllocRecordBuffer();
        EXPECT_EQ(source.RecordBuffer.size(), table.GetRecordBufferSize());
    }
}

TEST_F(SourceDataFileTable, FindsFieldsWithoutRegardToCase) {
    CreateFieldsTable("t", {enginetest::FieldDef(1, "Alpha", engine::FieldTypeInteger),
                            enginetest::FieldDef(2, "Beta", engine::FieldTypeString, 12)});
    TDataQuery query;
    TSourceDataFile source(&query);
    source.SetTableName("t");
    source.Open(0, 0, false, false, {});
    EXPECT_EQ(source.FindField("beta"), 2);
    EXPECT_EQ(source.FindField("ALPHA"), 1);
    EXPECT_EQ(source.FindField("Gamma"), 0);
    EXPECT_EQ(source.FindField(""), 0);
    std::uint16_t number = 0;
    std::string name;
    source.GetFirstField(number, name);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(name, "Alpha");
}

// The callback is the caller's: the handle keeps it only while it opens, whether the open succeeds or not.
TEST_F(SourceDataFileTable, ThePasswordCallbackServesOnlyTheOpen) {
    CreateFieldsTable("p", {enginetest::FieldDef(1, "Alpha", engine::FieldTypeInteger)}, "secret");
    TDataQuery query;
    int asked = 0;
    {
        TSourceDataFile refused(&query);
        refused.SetTableName("p");
        EXPECT_EQ(
            enginetest::EngineCode([&] { refused.Open(0, 0, false, false, [&] { return ++asked < 0; }); }),
            10498);
        EXPECT_FALSE(refused.Table->HasPasswordEvent());
        EXPECT_FALSE(refused.Table->IsOpen());
    }
    TSourceDataFile given(&query);
    given.SetTableName("p");
    given.Open(0, 0, false, false, [&] {
        ++asked;
        engine::GetEngineSession().AddPassword("secret");
        return true;
    });
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(given.Table->IsOpen());
    EXPECT_FALSE(given.Table->HasPasswordEvent());
    engine::GetEngineSession().RemoveAllPasswords();
}

}  // namespace
