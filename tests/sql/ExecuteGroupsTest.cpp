#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"
#include "tests/sql/PlanSupport.h"
#include "tests/sql/RowReader.h"

namespace {

using sqltest::Bound;
using sqltest::Cell;
using sqltest::ReadAll;
using sqltest::Row;

// A BCD value in its stored form from its digits at the scale.
Cell Bcd(std::int64_t digits, int scale) {
    const std::int64_t magnitude = digits < 0 ? -digits : digits;
    const std::int64_t stored = digits == 0 ? 0 : magnitude * 10 + scale;
    return sqltest::Bcd(digits < 0 ? -stored : stored);
}

// G: K, S smallint, I integer, W word, F float, N2 BCD scale 2, N6 BCD scale 6, D date. Group 1 starts with
// a row of NULLs, group 2 is negative (but W), group 3 is all NULL.
class ExecuteGroups : public enginetest::TableTest {
protected:
    void SetUp() override {
        std::vector<engine::TFieldDesc> fields = {
            sqltest::FieldDef(1, "K", engine::FieldTypeInteger),
            sqltest::FieldDef(2, "S", engine::FieldTypeSmallInt),
            sqltest::FieldDef(3, "I", engine::FieldTypeInteger),
            sqltest::FieldDef(4, "W", engine::FieldTypeWord),
            sqltest::FieldDef(5, "F", engine::FieldTypeFloat),
            sqltest::FieldDef(6, "N2", engine::FieldTypeBcd, 0, 2),
            sqltest::FieldDef(7, "N6", engine::FieldTypeBcd, 0, 6),
            sqltest::FieldDef(8, "D", engine::FieldTypeDate)};
        std::vector<engine::TIndexDescriptor> indexes;
        enginetest::TableOptions options;
        options.allowNoPrimary = true;
        enginetest::CreateTable("G", fields, indexes, options);
        const Cell n = sqltest::Null();
        sqltest::InsertRows(
            "G", {{sqltest::Int(1), n, n, n, n, n, n, n},
                  {sqltest::Int(1), sqltest::Small(5), sqltest::Int(50000), sqltest::Word(5), sqltest::Real(0.5),
                   Bcd(125, 2), Bcd(1000001, 6), sqltest::Date(700000)},
                  {sqltest::Int(1), sqltest::Small(3), sqltest::Int(30000), sqltest::Word(3),
                   sqltest::Real(0.25), Bcd(250, 2), Bcd(3, 6), sqltest::Date(700010)},
                  {sqltest::Int(2), sqltest::Small(-4), sqltest::Int(-40000), sqltest::Word(20000),
                   sqltest::Real(-1.5), Bcd(-125, 2), Bcd(-2000005, 6), sqltest::Date(700005)},
                  {sqltest::Int(2), sqltest::Small(-1), sqltest::Int(-10000), sqltest::Word(10000),
                   sqltest::Real(-0.5), Bcd(-5, 2), Bcd(-1, 6), sqltest::Date(700001)},
                  {sqltest::Int(2), sqltest::Small(-7), sqltest::Int(-70000), sqltest::Word(30000),
                   sqltest::Real(2.0), Bcd(300, 2), Bcd(1500000, 6), sqltest::Date(700003)},
                  {sqltest::Int(3), n, n, n, n, n, n, n}});
    }

    static std::vector<Row> Run(const std::string& text) {
        auto query = Bound(text);
        engine::TDataFile* result = nullptr;
        EXPECT_EQ(query->Execute(result), 0) << text;
        if (result == nullptr) return {};
        return ReadAll(*result);
    }
};

// Per group (by K): SUM, MIN, MAX, AVG, COUNT of the column. NULLs are skipped, MIN and MAX start at the
// first value whatever came before it, an all-NULL group gives 0, BCD keeps every digit of its scale.
TEST_F(ExecuteGroups, EveryAggregateOfEveryTypePerGroup) {
    struct Case {
        std::string column;
        std::vector<Row> rows;
    };
    const std::vector<Case> cases = {
        {"S", {{"1", "8", "3", "5", "4", "2"}, {"2", "-12", "-7", "-1", "-4", "3"}, {"3", "0", "0", "0", "0", "0"}}},
        {"I",
         {{"1", "80000", "30000", "50000", "40000", "2"},
          {"2", "-120000", "-70000", "-10000", "-40000", "3"},
          {"3", "0", "0", "0", "0", "0"}}},
        {"W",
         {{"1", "8", "3", "5", "4", "2"},
          {"2", "60000", "10000", "30000", "20000", "3"},
          {"3", "0", "0", "0", "0", "0"}}},
        {"F", {{"1", "0.75", "0.25", "0.5", "0.375", "2"}, {"2", "0", "-1.5", "2", "0", "3"}, {"3", "0", "0", "0", "0", "0"}}},
        {"N2",
         {{"1", "3.75", "1.25", "2.5", "1.875", "2"},
          {"2", "1.7", "-1.25", "3", "0.566667", "3"},
          {"3", "0", "0", "0", "0", "0"}}},
        {"N6",
         {{"1", "1.000004", "0.000003", "1.000001", "0.500002", "2"},
          {"2", "-0.500006", "-2.000005", "1.5", "-0.166669", "3"},
          {"3", "0", "0", "0", "0", "0"}}},
        {"D",
         {{"1", "1400010", "700000", "700010", "700005", "2"},
          {"2", "2100009", "700001", "700005", "700003", "3"},
          {"3", "0", "0", "0", "0", "0"}}},
    };
    for (const Case& c : cases) {
        const std::string& x = c.column;
        const std::string text = "SELECT K, SUM(" + x + "), MIN(" + x + "), MAX(" + x + "), AVG(" + x +
                                 "), COUNT(" + x + ") FROM G GROUP BY K";
        EXPECT_EQ(Run(text), c.rows) << text;
    }
}

TEST_F(ExecuteGroups, CountsAndAggregatesOnly) {
    EXPECT_EQ(Run("SELECT K, COUNT(*) FROM G GROUP BY K"), (std::vector<Row>{{"1", "3"}, {"2", "3"}, {"3", "1"}}));
    EXPECT_EQ(Run("SELECT COUNT(*), COUNT(S), SUM(S), MIN(S), AVG(S) FROM G"),
              (std::vector<Row>{{"7", "5", "-4", "-7", "-0.8"}}));
    // COUNT(col) reads the rows: it counts values, not rows.
    EXPECT_EQ(Run("SELECT COUNT(S) FROM G"), (std::vector<Row>{{"5"}}));
    // Over no rows: COUNT is 0, the others have no value.
    EXPECT_EQ(Run("SELECT COUNT(*), COUNT(S), SUM(S), MAX(N6), AVG(I) FROM G WHERE K = 9"),
              (std::vector<Row>{{"0", "0", "-", "-", "-"}}));
    EXPECT_EQ(Run("SELECT COUNT(*) FROM G WHERE K = 9"), (std::vector<Row>{{"0"}}));
}

TEST_F(ExecuteGroups, ALoneCountOfRowsReadsNoRowAndReportsOnce) {
    auto query = Bound("SELECT COUNT(*) FROM G WHERE K = 2");
    std::vector<std::pair<std::int32_t, std::int32_t>> calls;
    query->SetProgressCallback([&](std::int32_t current, std::int32_t percent, bool&) {
        calls.emplace_back(current, percent);
    });
    engine::TDataFile* result = nullptr;
    ASSERT_EQ(query->Execute(result), 0);
    EXPECT_EQ(ReadAll(*result), (std::vector<Row>{{"3"}}));
    EXPECT_EQ(calls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{3, 100}}));
}

// An expression without a value (a NULL operand, a division by zero) is skipped like a NULL column.
TEST_F(ExecuteGroups, AggregatesSkipExpressionsWithoutAValue) {
    EXPECT_EQ(Run("SELECT K, COUNT(I / (S - S)), SUM(S * 2), COUNT(S + I), MIN(S + 1) FROM G GROUP BY K"),
              (std::vector<Row>{{"1", "0", "16", "2", "4"}, {"2", "0", "-24", "3", "-6"}, {"3", "0", "0", "0", "0"}}));
}

TEST_F(ExecuteGroups, DistinctAndGroupOrders) {
    EXPECT_EQ(Run("SELECT DISTINCT K FROM G"), (std::vector<Row>{{"1"}, {"2"}, {"3"}}));
    EXPECT_EQ(Run("SELECT DISTINCT K FROM G ORDER BY K DESC"), (std::vector<Row>{{"3"}, {"2"}, {"1"}}));
    EXPECT_EQ(Run("SELECT DISTINCT S FROM G WHERE K = 1"), (std::vector<Row>{{"-"}, {"3"}, {"5"}}));
    EXPECT_EQ(Run("SELECT K, SUM(I) FROM G GROUP BY K ORDER BY 2"),
              (std::vector<Row>{{"2", "-120000"}, {"3", "0"}, {"1", "80000"}}));
    // A grouped row's other columns take the last value that was not NULL.
    EXPECT_EQ(Run("SELECT K, S, COUNT(*) FROM G GROUP BY K"),
              (std::vector<Row>{{"1", "3", "3"}, {"2", "-7", "3"}, {"3", "-", "1"}}));
}

TEST_F(ExecuteGroups, ARunTwiceGivesItsGroupsOnce) {
    auto query = Bound("SELECT K, SUM(S), AVG(I) FROM G GROUP BY K");
    engine::TDataFile* result = nullptr;
    ASSERT_EQ(query->Execute(result), 0);
    ASSERT_EQ(query->Execute(result), 0);
    EXPECT_EQ(ReadAll(*result), (std::vector<Row>{{"1", "8", "40000"}, {"2", "-12", "-40000"}, {"3", "0", "0"}}));
}

// A sum is kept exactly: it fails the statement when its final value leaves the column's type, in whatever
// order the rows come, and not when it only passed out of range on the way.
using ExecuteSums = enginetest::TableTest;

TEST_F(ExecuteSums, ASumPastItsTypeFailsInAnyOrder) {
    struct Case {
        std::vector<std::int16_t> values;
        std::string sum;  // empty: the statement fails
    };
    const std::vector<Case> cases = {
        {{30000, 30000, -30000}, "30000"}, {{30000, -30000, 30000}, "30000"}, {{-30000, 30000, 30000}, "30000"},
        {{30000, 30000, -20000}, ""},      {{-20000, 30000, 30000}, ""},      {{-30000, -30000, 20000}, ""},
    };
    int table = 0;
    for (const Case& c : cases) {
        const std::string name = "S" + std::to_string(++table);
        std::vector<engine::TFieldDesc> fields = {sqltest::FieldDef(1, "V", engine::FieldTypeSmallInt)};
        std::vector<engine::TIndexDescriptor> indexes;
        enginetest::TableOptions options;
        options.allowNoPrimary = true;
        enginetest::CreateTable(name, fields, indexes, options);
        std::vector<std::vector<Cell>> rows;
        for (const std::int16_t v : c.values) rows.push_back({sqltest::Small(v)});
        sqltest::InsertRows(name, rows);
        const std::string text = "SELECT SUM(V) FROM " + name;
        auto query = Bound(text);
        engine::TDataFile* result = nullptr;
        if (c.sum.empty()) {
            EXPECT_EQ(sqltest::SqlError([&] { query->Execute(result); }), "Numeric overflow in SUM for column 'Sum Of V'")
                << text;
        } else {
            ASSERT_EQ(query->Execute(result), 0);
            EXPECT_EQ(ReadAll(*result), (std::vector<Row>{{c.sum}})) << text;
        }
    }
}

// Each group's count stays out of the record cache, which holds far fewer of these records than there are
// groups.
using ExecuteAverages = enginetest::TableTest;

TEST_F(ExecuteAverages, AverageOverManyGroupsIsExact) {
    constexpr std::int32_t kGroups = 5000;
    std::vector<engine::TFieldDesc> fields = {sqltest::FieldDef(1, "K", engine::FieldTypeInteger),
                                              sqltest::FieldDef(2, "T", engine::FieldTypeString, 100),
                                              sqltest::FieldDef(3, "V", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes;
    enginetest::TableOptions options;
    options.allowNoPrimary = true;
    enginetest::CreateTable("H", fields, indexes, options);
    {
        engine::TDataFile table;
        table.SetFileName("H");
        table.SetExclusive(true);
        table.Open();
        std::vector<std::uint8_t> image(table.GetRecordBufferSize());
        const std::string text(99, 'x');
        for (std::int32_t round = 0; round < 2; ++round)
            for (std::int32_t k = 0; k < kGroups; ++k) {
                table.InitRecord(image);
                const std::int32_t v = k + round;
                table.SetField(false, 1, image, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&k), 4));
                table.SetField(false, 2, image,
                               std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                                             text.size() + 1));
                table.SetField(false, 3, image, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&v), 4));
                table.InsertRecord(image, false);
            }
        table.Close();
    }
    auto query = Bound("SELECT K, T, AVG(V) FROM H GROUP BY K, T");
    engine::TDataFile* result = nullptr;
    ASSERT_EQ(query->Execute(result), 0);
    ASSERT_LT(engine::RecordCacheBytes / result->GetRecordBufferSize(), static_cast<std::uint32_t>(kGroups));
    std::vector<std::uint8_t> image(result->GetRecordBufferSize());
    result->SetToBegin();
    std::int32_t k = 0;
    while (result->GetNextRecord(image) == 0) {
        double average = 0;
        std::array<std::uint8_t, 256> bytes{};
        ASSERT_FALSE(result->GetField(true, 3, image, bytes));
        std::memcpy(&average, bytes.data(), 8);
        ASSERT_EQ(average, k + 0.5) << k;
        ++k;
    }
    EXPECT_EQ(k, kGroups);
}

}  // namespace
