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

namespace {

namespace diff = sqltest::differential;
using Row = std::vector<std::string>;

// Numbers compare as doubles printed to 12 significant digits (well within the relative 1e-9 the rows need).
std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.12g", value == 0 ? 0.0 : value);
    return text;
}

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

class Sqlite {
public:
    Sqlite() {
        sqlite3_open(":memory:", &db_);
        Exec("PRAGMA case_sensitive_like = ON");
        Exec("CREATE TABLE T1 (A INTEGER PRIMARY KEY, B INTEGER, S TEXT, F REAL, D INTEGER, K INTEGER)");
        Exec("CREATE TABLE T2 (ID INTEGER PRIMARY KEY, TID INTEGER, V INTEGER, N INTEGER)");
        for (const diff::T1Row& r : diff::kT1) {
            Exec("INSERT INTO T1 VALUES (" + std::to_string(r.a) + ", " + std::to_string(r.b) + ", '" + r.s +
                 "', " + Number(r.f) + ", " + std::to_string(r.d) + ", " + (r.k ? "1" : "0") + ")");
        }
        for (const diff::T2Row& r : diff::kT2) {
            Exec("INSERT INTO T2 VALUES (" + std::to_string(r.id) + ", " + std::to_string(r.tid) + ", " +
                 std::to_string(r.v) + ", " + (r.n ? std::to_string(*r.n) : "NULL") + ")");
        }
    }
    ~Sqlite() { sqlite3_close(db_); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    void Exec(const std::string& text) {
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error), SQLITE_OK) << text << ": " << error;
    }

    std::vector<Row> Rows(const std::string& text) {
        sqlite3_stmt* statement = nullptr;
        std::vector<Row> rows;
        EXPECT_EQ(sqlite3_prepare_v2(db_, text.c_str(), -1, &statement, nullptr), SQLITE_OK)
            << text << ": " << sqlite3_errmsg(db_);
        while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
            Row row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                switch (sqlite3_column_type(statement, i)) {
                    case SQLITE_NULL:
                        row.emplace_back("NULL");
                        break;
                    case SQLITE_TEXT:
                        row.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
                        break;
                    default:
                        row.push_back(Number(sqlite3_column_double(statement, i)));
                }
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(statement);
        return rows;
    }

private:
    sqlite3* db_ = nullptr;
};

class SqliteDifferential : public enginetest::TableTest {
protected:
    void SetUp() override {
        std::vector<engine::TFieldDesc> t1 = {sqltest::FieldDef(1, "A", engine::FieldTypeInteger),
                                              sqltest::FieldDef(2, "B", engine::FieldTypeSmallInt),
                                              sqltest::FieldDef(3, "S", engine::FieldTypeString, 10),
                                              sqltest::FieldDef(4, "F", engine::FieldTypeFloat),
                                              sqltest::FieldDef(5, "D", engine::FieldTypeDate),
                                              sqltest::FieldDef(6, "K", engine::FieldTypeBoolean)};
        std::vector<engine::TIndexDescriptor> i1 = {enginetest::IndexDef("", {1})};
        enginetest::CreateTable("T1", t1, i1);
        std::vector<engine::TFieldDesc> t2 = {sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                              sqltest::FieldDef(2, "TID", engine::FieldTypeInteger),
                                              sqltest::FieldDef(3, "V", engine::FieldTypeInteger),
                                              sqltest::FieldDef(4, "N", engine::FieldTypeInteger)};
        std::vector<engine::TIndexDescriptor> i2 = {enginetest::IndexDef("", {1}),
                                                    enginetest::IndexDef("ByTid", {2})};
        enginetest::CreateTable("T2", t2, i2);
        std::vector<std::vector<sqltest::Cell>> rows;
        for (const diff::T1Row& r : diff::kT1)
            rows.push_back({sqltest::Int(r.a), sqltest::Small(r.b), sqltest::Text(r.s), sqltest::Real(r.f),
                            sqltest::Date(r.d), sqltest::Small(r.k ? 1 : 0)});
        sqltest::InsertRows("T1", rows);
        rows.clear();
        for (const diff::T2Row& r : diff::kT2)
            rows.push_back({sqltest::Int(r.id), sqltest::Int(r.tid), sqltest::Int(r.v),
                            r.n ? sqltest::Int(*r.n) : sqltest::Null()});
        sqltest::InsertRows("T2", rows);
    }
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
