#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/EngineState.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"

namespace {

using sql::TDataQuery;
using sqltest::BindError;
using sqltest::Bound;
using sqltest::ResultNames;

class Binding : public enginetest::TableTest {
protected:
    void SetUp() override { sqltest::CreateBindTables(); }
};

// --- Errors ---------------------------------------------------------------------------------------------

TEST_F(Binding, EachFaultHasItsText) {
    // R is a query result: its first field is the row number.
    std::vector<engine::TFieldDesc> r = {enginetest::AutoIncDef(1, "Row___No"),
                                         sqltest::FieldDef(2, "X", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> rIndexes = {enginetest::IndexDef("", {1})};
    enginetest::CreateTable("R", r, rIndexes);
    std::vector<engine::TFieldDesc> l = {sqltest::FieldDef(1, "L", engine::FieldTypeString, 200)};
    std::vector<engine::TIndexDescriptor> lIndexes = {enginetest::IndexDef("", {1})};
    enginetest::CreateTable("L", l, lIndexes);
    sqltest::CreateWideTable("W", 17);
    struct Case {
        std::string text;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"SELECT row___no FROM R", "Invalid use of reserved field name 'row___no'in source columns"},
        {"SELECT X, SUM(X) FROM T",
         "Invalid use of aggregate function for column 'X', the necessary GROUP BY clause is missing"},
        {"SELECT T.* AS Q FROM T",
         "Invalid use of column correlation name 'Q' for '*' specified in source columns"},
        {"SELECT Nope FROM T",
         "Invalid column name 'Nope' or table correlation name '' specified in source columns"},
        {"SELECT Q.X FROM T",
         "Invalid column name 'X' or table correlation name 'Q' specified in source columns"},
        {"SELECT Q.* FROM T",
         "Invalid column name '*' or table correlation name 'Q' specified in source columns"},
        {"SELECT X FROM T ORDER BY Nope",
         "Invalid column name 'Nope' or table correlation name '' specified in ORDER BY clause"},
        {"SELECT X FROM T ORDER BY 2", "Invalid column number '2' specified in ORDER BY clause"},
        {"SELECT X, SUM(N) FROM T GROUP BY Nope",
         "Invalid column name 'Nope' or table correlation name '' specified in GROUP BY clause"},
        {"SELECT X, SUM(N) FROM T GROUP BY 3", "Invalid column number '3' specified in GROUP BY clause"},
        // Grouping by an aggregate, and grouping a select list of aggregates only.
        {"SELECT X, SUM(N) AS S FROM T GROUP BY S",
         "Invalid column name 'S' or table correlation name '' specified in GROUP BY clause"},
        {"SELECT SUM(X) FROM T GROUP BY Y",
         "Invalid column name 'Y' or table correlation name '' specified in GROUP BY clause"},
        {"SELECT SUM(X) FROM T GROUP BY 1", "Invalid column number '1' specified in GROUP BY clause"},
        {"SELECT L + L AS Twice FROM L",
         "Column expression 'L + L' exceeds the maximum allowable field size"},
        {"INSERT INTO T (X, Y, D) VALUES (1, 'a')",
         "The number of values must match the number of table columns"},
        {"INSERT INTO T VALUES (1, 2)", "The number of values must match the number of table columns"},
        {"INSERT INTO T (Q.X) VALUES (1)",
         "Invalid column name 'X' or table correlation name 'Q' specified in table columns"},
        {"INSERT INTO T (D) VALUES ('2001-13-45')",
         "Date, time, or timestamp expression expected, instead found '2001-13-45' in update values"},
        {"UPDATE T SET X = 'abc'", "Type mismatch between column 'X' and constant 'abc' in update values"},
        {"UPDATE T SET Nope = 1",
         "Invalid column name 'Nope' or table correlation name '' specified in table columns"},
        {"SELECT DISTINCT " + sqltest::FieldList(17) + " FROM W",
         "Maximum number of columns (16) in DISTINCT clause exceeded"},
        {"SELECT " + sqltest::FieldList(16) + " FROM W ORDER BY " + sqltest::FieldList(16),
         "Maximum number of columns (15) in ORDER BY clause exceeded"},
        {"SELECT X AS Row___No FROM T", "Result column name 'Row___No' is not unique in source columns"},
    };
    for (const Case& c : cases) EXPECT_EQ(BindError(c.text), c.error) << c.text;
}

TEST_F(Binding, SixteenColumnsFitTheDistinctIndexAndFifteenTheOrderByIndex) {
    sqltest::CreateWideTable("W", 16);
    const auto distinct = Bound("SELECT DISTINCT " + sqltest::FieldList(16) + " FROM W");
    EXPECT_EQ(distinct->ResultTable->GetIndexDesc(0).FieldCount, 16);
    const auto ordered =
        Bound("SELECT " + sqltest::FieldList(15) + " FROM W ORDER BY " + sqltest::FieldList(15));
    EXPECT_EQ(ordered->ResultTable->GetIndexDesc(0).FieldCount, 16);
    // Shared with the DISTINCT index, an ORDER BY needs no row number and takes all 16 fields.
    const auto shared =
        Bound("SELECT DISTINCT " + sqltest::FieldList(16) + " FROM W ORDER BY " + sqltest::FieldList(16));
    EXPECT_TRUE(shared->SharedOrderIndex);
    EXPECT_EQ(shared->ResultTable->GetIndexCount(), 0);
}

// Names that only the result table's 30-character cut makes equal.
TEST_F(Binding, ResultNamesEqualInTheirFirst30CharactersAreRefused) {
    std::vector<engine::TFieldDesc> v = {
        sqltest::FieldDef(1, "Abcdefghijklmnopqrstuvwx1", engine::FieldTypeInteger),
        sqltest::FieldDef(2, "Abcdefghijklmnopqrstuvwx2", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
    enginetest::CreateTable("V", v, indexes);
    const std::set<std::string> before = sqltest::FilesIn();
    EXPECT_EQ(BindError("SELECT AVG(Abcdefghijklmnopqrstuvwx1), AVG(Abcdefghijklmnopqrstuvwx2) FROM V"),
              "Result column name 'Average Of Abcdefghijklmnopqrs' is not unique in source columns");
    // Refused before any file was made.
    EXPECT_EQ(sqltest::FilesIn(), before);
}

// --- Names ----------------------------------------------------------------------------------------------

TEST_F(Binding, ResultColumnsAreNamedAndMadeUnique) {
    struct Case {
        std::string text;
        std::vector<std::string> names;
    };
    const std::string alias40 = "a123456789b123456789c123456789d123456789";
    const std::vector<Case> cases = {
        {"SELECT * FROM T, U", {"ID", "X", "Y", "D", "N", "ID_1", "X_1", "Z"}},
        // A column still to come already has the name it was written with.
        {"SELECT U.*, T.X FROM T, U", {"ID", "X_1", "Z", "X"}},
        {"SELECT X AS " + alias40 + " FROM T", {alias40.substr(10)}},
        {"SELECT X + 1, X * 2 FROM T", {"Expression", "Expression_1"}},
        {"SELECT COUNT(*), SUM(X), MIN(N), MAX(D), AVG(X), COUNT(Y), SUM(X + 1) FROM T",
         {"Count Of *", "Sum Of X", "Min Of N", "Max Of D", "Average Of X", "Count Of Y", "Sum Of Expr"}},
        {"SELECT COUNT(*) AS Total FROM T", {"Total"}},
        {"SELECT X, Y AS X, X FROM T", {"X_1", "X_2", "X"}},
    };
    for (const Case& c : cases) {
        const auto query = Bound(c.text);
        EXPECT_EQ(ResultNames(*query), c.names) << c.text;
    }
    EXPECT_EQ(sql::TDataQuery::MakeUniqueColumnName("Short", 3), "Short_3");
    EXPECT_EQ(sql::TDataQuery::MakeUniqueColumnName(std::string(28, 'a') + "bc", 12),
              std::string(25, 'a') + "bc_12");
}

TEST_F(Binding, ColumnsAreBoundToTheirTablesAndFields) {
    const auto query = Bound("SELECT X, U.Z, COUNT(*), X + 1 FROM U, T GROUP BY X, Z");
    ASSERT_EQ(query->ResultColumns.size(), 4u);
    const auto& columns = query->ResultColumns;
    // An unqualified name that both tables have binds to the first table.
    EXPECT_EQ(columns[0]->SourceTable, query->Sources[0].get());
    EXPECT_EQ(columns[0]->CorrelationName, "U");
    EXPECT_EQ(columns[0]->SourceFieldNumber, 2);
    EXPECT_EQ(columns[1]->SourceFieldNumber, 3);
    EXPECT_EQ(columns[1]->FieldType, engine::FieldTypeString);
    EXPECT_EQ(columns[1]->Size, 21);
    // COUNT(*) counts on the first field of the first table.
    EXPECT_TRUE(columns[2]->CountAll);
    EXPECT_EQ(columns[2]->ColumnName, "ID");
    EXPECT_EQ(columns[2]->SourceFieldNumber, 1);
    EXPECT_EQ(columns[2]->ResultName, "Count Of *");
    // An expression lands on the first table.
    EXPECT_EQ(columns[3]->SourceTable, query->Sources[0].get());
    EXPECT_TRUE(columns[3]->IsExpression);
    for (std::size_t i = 0; i < columns.size(); ++i) EXPECT_EQ(columns[i]->ResultFieldNumber, i + 1);
    for (std::size_t i = 0; i < query->Sources.size(); ++i) {
        EXPECT_EQ(query->Sources[i]->TableNumber, i + 1);
        EXPECT_TRUE(query->Sources[i]->Table->IsOpen());
        EXPECT_TRUE(query->Sources[i]->Table->ReadOnly());
        EXPECT_EQ(query->Sources[i]->RecordBuffer.size(), query->Sources[i]->Table->GetRecordBufferSize());
    }
}

// A bare * takes the tables in the order they stand in the text, also when a right join put its table first.
TEST_F(Binding, AllColumnsFollowTheFromText) {
    const auto query = Bound("SELECT * FROM T RIGHT JOIN U ON T.X = U.X");
    ASSERT_EQ(query->Sources[0]->CorrelationName, "U");
    EXPECT_EQ(ResultNames(*query), (std::vector<std::string>{"ID", "X", "Y", "D", "N", "ID_1", "X_1", "Z"}));
    EXPECT_EQ(query->ResultColumns[0]->CorrelationName, "T");
}

TEST_F(Binding, AllColumnsOfAQueryResultLeaveOutItsRowNumber) {
    Bound("SELECT X, Y INTO R FROM T");
    const auto query = Bound("SELECT * FROM R");
    EXPECT_EQ(ResultNames(*query), (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(query->ResultColumns[0]->SourceFieldNumber, 2);
}

TEST_F(Binding, DistinctWithGroupByIsDropped) {
    const auto query = Bound("SELECT DISTINCT X, SUM(N) FROM T GROUP BY X");
    EXPECT_FALSE(query->Distinct);
    EXPECT_TRUE(query->Grouped);
    const auto aggregates = Bound("SELECT SUM(N), COUNT(*) FROM T");
    EXPECT_TRUE(aggregates->AllAggregates);
    EXPECT_TRUE(aggregates->Grouped);
    // One row: the result's only index is the row number.
    EXPECT_EQ(aggregates->ResultTable->GetIndexDesc(0).FieldNumbers[0], 1);
}

// --- Live or copied --------------------------------------------------------------------------------------

TEST_F(Binding, ALiveResultNeedsOneTableAndAnOrderItsIndexGives) {
    struct Case {
        std::string text;
        bool live;
        int index;  // OrderByIndex when live with ORDER BY
    };
    const std::vector<Case> cases = {
        {"SELECT X FROM T", true, 0},
        {"SELECT DISTINCT X FROM T", false, 0},
        {"SELECT T.X FROM T, U", false, 0},
        {"SELECT X, SUM(N) FROM T GROUP BY X", false, 0},
        {"SELECT X INTO R FROM T", false, 0},
        {"SELECT X FROM T ORDER BY X", true, 1},
        {"SELECT ID FROM T ORDER BY ID", true, 0},
        {"SELECT X, Y FROM T ORDER BY X, Y", true, 3},
        {"SELECT X FROM T ORDER BY X DESC", true, 4},
        {"SELECT X, Y FROM T ORDER BY X DESC, Y", false, 0},
        {"SELECT Y FROM T ORDER BY Y NOCASE", true, 2},
        {"SELECT Y FROM T ORDER BY Y", false, 0},
        {"SELECT X FROM T ORDER BY X NOCASE", false, 0},
        // A prefix of a two-field index is no match.
        {"SELECT X FROM U ORDER BY X", false, 0},
        {"SELECT X + 1 AS E FROM T ORDER BY E", false, 0},
        {"SELECT X AS E FROM T ORDER BY E", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto live = Bound(c.text, true);
        EXPECT_EQ(live->LiveResult, c.live);
        EXPECT_EQ(live->ResultTable->IsOpen(), !c.live);
        if (c.live && live->HasOrderBy) {
            EXPECT_TRUE(live->OrderByUsesIndex);
            EXPECT_EQ(live->OrderByIndex, c.index);
        }
        // Without RequestLive every result is copied.
        if (c.text.find("INTO") != std::string::npos) continue;
        EXPECT_FALSE(Bound(c.text, false)->LiveResult);
    }
}

// The live table's working field set is the select list: renumbered, renamed, its expressions computed.
TEST_F(Binding, ALiveResultReadsTheSelectListThroughTheSourceHandle) {
    {
        engine::TDataFile table;
        table.SetFileName("T");
        table.Open();
        std::vector<std::uint8_t> image(table.GetRecordBufferSize());
        for (const std::int32_t x : {3, 7}) {
            table.InitRecord(image);
            table.SetField(false, 2, image,
                           std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&x), 4));
            const char text[] = "abc";
            table.SetField(false, 3, image,
                           std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text), 4));
            table.InsertRecord(image, true);
        }
    }
    const auto query = Bound("SELECT Y AS Name, X * 2 AS Twice, X FROM T", true);
    ASSERT_TRUE(query->LiveResult);
    engine::TDataFile& table = *query->Sources[0]->Table;
    ASSERT_EQ(table.GetFieldCount(), 3);
    EXPECT_EQ(table.GetFieldDesc(true, 1).Name, "Name");
    EXPECT_EQ(table.GetFieldDesc(true, 1).FieldType, engine::FieldTypeString);
    EXPECT_EQ(table.GetFieldDesc(true, 2).Name, "Twice");
    EXPECT_TRUE(table.GetFieldDesc(true, 2).IsCalculated());
    EXPECT_EQ(table.GetFieldDesc(true, 2).CompiledExpression, query->ResultColumns[1]->Expression.get());
    EXPECT_EQ(table.GetFieldDesc(true, 3).FieldNumber, 3);
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    std::vector<std::int32_t> twice;
    table.SetToBegin();
    while (table.GetNextRecord(image) == 0) {
        std::uint8_t value[8] = {};
        EXPECT_FALSE(table.GetField(true, 2, image, value));
        std::int32_t number = 0;
        std::memcpy(&number, value, 4);
        twice.push_back(number);
        char name[16] = {};
        table.GetField(true, 1, image,
                       std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(name), sizeof name));
        EXPECT_STREQ(name, "abc");
    }
    EXPECT_EQ(twice, (std::vector<std::int32_t>{6, 14}));
}

// --- INSERT, UPDATE and DELETE ---------------------------------------------------------------------------

TEST_F(Binding, InsertAndUpdateTargetsAreBoundAndTheirConstantsRead) {
    const auto insert = Bound("INSERT INTO T VALUES (NULL, 1, 'a', '02/03/2001', 1.5)");
    ASSERT_EQ(insert->TargetColumns.size(), 5u);
    const std::vector<std::string> names = {"ID", "X", "Y", "D", "N"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(insert->TargetColumns[i]->FieldName, names[i]);
        EXPECT_EQ(insert->TargetColumns[i]->FieldNumber, i + 1);
    }
    EXPECT_EQ(insert->TargetColumns[2]->Size, 11);
    // The date text became a date.
    const engine::TExprNode& date = *insert->Values[3]->Expression;
    EXPECT_EQ(date.Value.FieldType, engine::FieldTypeDate);
    EXPECT_FALSE(insert->Sources[0]->Table->ReadOnly());
    EXPECT_FALSE(insert->Sources[0]->RecordBuffer.empty());

    const auto update = Bound("UPDATE T SET y = 'b', x = X + 1 WHERE X = ?");
    EXPECT_EQ(update->TargetColumns[0]->FieldName, "Y");
    EXPECT_EQ(update->TargetColumns[1]->FieldNumber, 2);
    EXPECT_EQ(update->Values[1]->Expression->Value.FieldType, engine::FieldTypeInteger);

    const auto remove = Bound("DELETE FROM T");
    EXPECT_TRUE(remove->Sources[0]->Table->IsOpen());
    EXPECT_FALSE(remove->ResultTable->IsOpen());
}

}  // namespace
