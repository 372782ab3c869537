// The SQLite side of the differential tests: the two tables' rows in an in-memory SQLite database, the same
// rows in engine tables, and numbers printed the one way both sides are compared in.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/values/FieldTypes.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"
#include "tests/sql/PlanSupport.h"
#include "tests/sql/support/DifferentialCases.h"

namespace sqltest::differential {

using Row = std::vector<std::string>;

// Numbers compare as doubles printed to 12 significant digits (well within the relative 1e-9 the rows need).
inline std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.12g", value == 0 ? 0.0 : value);
    return text;
}

// An in-memory SQLite database holding kT1 and kT2.
class Sqlite {
public:
    Sqlite() {
        sqlite3_open(":memory:", &db_);
        Exec("PRAGMA case_sensitive_like = ON");
        Load(kT1, kT2);
    }
    ~Sqlite() { sqlite3_close(db_); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    // T1 and T2 made again with these rows.
    void Load(const std::vector<T1Row>& t1, const std::vector<T2Row>& t2) {
        Exec("DROP TABLE IF EXISTS T1");
        Exec("DROP TABLE IF EXISTS T2");
        Exec("CREATE TABLE T1 (A INTEGER PRIMARY KEY, B INTEGER, S TEXT, F REAL, D INTEGER, K INTEGER)");
        Exec("CREATE TABLE T2 (ID INTEGER PRIMARY KEY, TID INTEGER, V INTEGER, N INTEGER)");
        for (const T1Row& r : t1) {
            Exec("INSERT INTO T1 VALUES (" + std::to_string(r.a) + ", " + std::to_string(r.b) + ", '" + r.s +
                 "', " + Number(r.f) + ", " + std::to_string(r.d) + ", " + (r.k ? "1" : "0") + ")");
        }
        for (const T2Row& r : t2) {
            Exec("INSERT INTO T2 VALUES (" + std::to_string(r.id) + ", " + std::to_string(r.tid) + ", " +
                 std::to_string(r.v) + ", " + (r.n ? std::to_string(*r.n) : "NULL") + ")");
        }
    }

    void Exec(const std::string& text) {
        char* error = nullptr;
        if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            ADD_FAILURE() << "SQLite: " << text << ": " << (error != nullptr ? error : "");
            sqlite3_free(error);
        }
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

// T1 and T2 in the current directory, with the indexes or without any, holding the rows.
inline void CreateTables(const std::vector<T1Row>& t1Rows, const std::vector<T2Row>& t2Rows, bool indexed) {
    enginetest::TableOptions options;
    options.allowNoPrimary = !indexed;
    std::vector<engine::TFieldDesc> t1 = {sqltest::FieldDef(1, "A", engine::FieldTypeInteger),
                                          sqltest::FieldDef(2, "B", engine::FieldTypeSmallInt),
                                          sqltest::FieldDef(3, "S", engine::FieldTypeString, 10),
                                          sqltest::FieldDef(4, "F", engine::FieldTypeFloat),
                                          sqltest::FieldDef(5, "D", engine::FieldTypeDate),
                                          sqltest::FieldDef(6, "K", engine::FieldTypeBoolean)};
    std::vector<engine::TIndexDescriptor> i1;
    if (indexed) i1 = {enginetest::IndexDef("", {1})};
    enginetest::CreateTable("T1", t1, i1, options);
    std::vector<engine::TFieldDesc> t2 = {sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                          sqltest::FieldDef(2, "TID", engine::FieldTypeInteger),
                                          sqltest::FieldDef(3, "V", engine::FieldTypeInteger),
                                          sqltest::FieldDef(4, "N", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> i2;
    if (indexed) i2 = {enginetest::IndexDef("", {1}), enginetest::IndexDef("ByTid", {2})};
    enginetest::CreateTable("T2", t2, i2, options);
    std::vector<std::vector<sqltest::Cell>> rows;
    for (const T1Row& r : t1Rows)
        rows.push_back({sqltest::Int(r.a), sqltest::Small(r.b), sqltest::Text(r.s), sqltest::Real(r.f),
                        sqltest::Date(r.d), sqltest::Small(r.k ? 1 : 0)});
    sqltest::InsertRows("T1", rows);
    rows.clear();
    for (const T2Row& r : t2Rows)
        rows.push_back({sqltest::Int(r.id), sqltest::Int(r.tid), sqltest::Int(r.v),
                        r.n ? sqltest::Int(*r.n) : sqltest::Null()});
    sqltest::InsertRows("T2", rows);
}

// T1 and T2 with kT1's and kT2's rows and their indexes.
inline void CreateTables() { CreateTables(kT1, kT2, true); }

}  // namespace sqltest::differential
