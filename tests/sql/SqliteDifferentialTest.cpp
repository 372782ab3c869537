// The SQL engine against SQLite 3 on the same rows: each statement of the table in
// tests/sql/support/DifferentialCases.h runs on engine tables and, as its twin, on an in-memory SQLite
// database holding the same rows; the two must give the same rows.
//
// The engine's documented differences, and the rule that keeps each out of the comparison:
// - NULL logic is two-valued (NULL = NULL is true, NULL <> x true, order comparisons false): values that can
//   be NULL (outer-join columns, divisions) meet only constants in WHERE, under =, <, >, <=, >=, BETWEEN,
//   IN, LIKE and IS [NOT] NULL; the column that holds NULLs (T2.N) is read only under IS [NOT] NULL.
// - Aggregates of all-NULL groups give 0: no aggregate reads such a group.
// - int / int is a float: SQLite's twin casts the dividend to REAL.
// - '' is NULL, strings lose trailing blanks and are cut to their field, 'x*' under = and <> is a prefix,
//   'TRUE' and 'FALSE' are booleans: the strings are non-empty, without trailing blanks, within their field,
//   and none ends in '*' or is 'TRUE' or 'FALSE'.
// - 16- and 32-bit arithmetic wraps and SUM raises past its type: the numbers are small.
// - A grouped query's other plain columns take the last non-NULL value: none is selected.
// - An unqualified name in two tables binds to the first, and result names are the dialect's: columns are
//   qualified in joins and compared by position.
// - DATE, NOW, INTO, WITH LOCKS, ENCRYPTED and NOCASE have no twin and are not used.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/values/FieldTypes.h"
#include "engine/values/ScaledNumber.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"
#include "tests/sql/PlanSupport.h"
#include "tests/sql/support/DifferentialCases.h"
#include "tests/sql/support/SqliteTwin.h"

namespace {

namespace diff = sqltest::differential;
using diff::Number;
using diff::Sqlite;
using Row = std::vector<std::string>;

std::string EngineCell(const engine::TDataFile& table, std::uint16_t field, std::span<const std::uint8_t> image) {
    std::array<std::uint8_t, 256> bytes{};
    if (table.GetField(true, field, image, bytes)) return "NULL";
    const auto load = [&](auto value) {
        std::memcpy(&value, bytes.data(), sizeof value);
        return value;
    };
    switch (table.GetFieldDesc(true, field).FieldType) {
        case engine::FieldTypeString:
            return reinterpret_cast<const char*>(bytes.data());
        case engine::FieldTypeBoolean:
        case engine::FieldTypeWord:
            return Number(load(std::uint16_t{}));
        case engine::FieldTypeSmallInt:
            return Number(load(std::int16_t{}));
        case engine::FieldTypeFloat:
        case engine::FieldTypeDateTime:
            return Number(load(double{}));
        case engine::FieldTypeBcd:
            return Number(engine::ScaledIntToFloat(load(std::int64_t{})));
        default:
            return Number(load(std::int32_t{}));
    }
}

std::vector<Row> EngineRows(std::string_view text, bool live) {
    auto query = sqltest::Bound(text, live);
    engine::TDataFile* result = nullptr;
    EXPECT_EQ(query->Execute(result), 0) << text;
    std::vector<Row> rows;
    if (result == nullptr) return rows;
    std::vector<std::uint8_t> image(result->GetRecordBufferSize());
    result->SetToBegin();
    while (result->GetNextRecord(image) == 0) {
        Row row;
        for (std::uint16_t field = 1; field <= result->GetFieldCount(); ++field)
            row.push_back(EngineCell(*result, field, image));
        rows.push_back(std::move(row));
    }
    return rows;
}

class SqliteDifferential : public enginetest::TableTest {
protected:
    void SetUp() override { diff::CreateTables(); }
};

TEST_F(SqliteDifferential, EveryStatementGivesSqlitesRows) {
    Sqlite sqlite;
    for (const diff::Statement& statement : diff::kSelects) {
        const std::string twin = statement.sqlite != nullptr ? statement.sqlite : statement.engine;
        std::vector<Row> expected = sqlite.Rows(twin);
        // Every statement of the table gives rows: two empty answers would compare nothing.
        EXPECT_FALSE(expected.empty()) << twin;
        for (const bool live : {false, true}) {
            std::vector<Row> actual = EngineRows(statement.engine, live);
            if (!statement.ordered) {
                std::sort(actual.begin(), actual.end());
                std::sort(expected.begin(), expected.end());
            }
            EXPECT_EQ(actual, expected) << statement.engine << (live ? " (live asked)" : "") << "\n  SQLite: " << twin;
        }
    }
}

// After each change both tables hold the same rows.
TEST_F(SqliteDifferential, ChangesLeaveWhatSqliteLeaves) {
    Sqlite sqlite;
    for (const diff::Change& change : diff::kChanges) {
        const std::string twin = change.sqlite != nullptr ? change.sqlite : change.engine;
        sqlite.Exec(twin);
        {
            auto query = sqltest::Bound(change.engine);
            engine::TDataFile* result = nullptr;
            ASSERT_EQ(query->Execute(result), 0) << change.engine;
        }
        const std::string read = std::string("SELECT * FROM ") + change.table;
        std::vector<Row> expected = sqlite.Rows(read);
        std::vector<Row> actual = EngineRows(read, false);
        std::sort(actual.begin(), actual.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(actual, expected) << change.engine << "\n  SQLite: " << twin;
    }
}

}  // namespace
