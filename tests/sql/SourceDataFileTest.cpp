#include "sql/SourceDataFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
