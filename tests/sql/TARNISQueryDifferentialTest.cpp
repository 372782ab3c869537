// The differential test's statements again, through the query component: each integer compared with = or <>
// in a WHERE clause becomes a ":name" parameter, rows are read through the dataset's fields (copied and, where
// the statement allows, live) and changes run through ExecSQL; every answer must be SQLite's.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "db/Field.h"
#include "rtl/DateTime.h"
#include "sql/TARNISQuery.h"
#include "tests/components/support/SessionFixture.h"
#include "tests/sql/support/DifferentialCases.h"
#include "tests/sql/support/SqliteTwin.h"

namespace {

namespace diff = sqltest::differential;
using diff::Row;

// The statement with its WHERE clause's "= n" and "<> n" as parameters p1, p2, ..., and their values.
std::pair<std::string, std::vector<int>> Parameterised(const std::string& text) {
    const std::size_t where = text.find(" WHERE ");
    if (where == std::string::npos) return {text, {}};
    static const std::regex comparison(R"( (=|<>) (-?\d+)\b(?!\.))");
    std::string rest = text.substr(where);
    std::string result = text.substr(0, where);
    std::vector<int> values;
    std::smatch match;
    while (std::regex_search(rest, match, comparison)) {
        values.push_back(std::stoi(match[2].str()));
        result += match.prefix().str() + " " + match[1].str() + " :p" + std::to_string(values.size());
        rest = match.suffix().str();
    }
    return {result + rest, values};
}

// A field's value as the engine side of the differential test prints it.
std::string Cell(const db::TField& field) {
    if (field.IsNull()) return "NULL";
    switch (field.DataType()) {
        case db::ftString:
            return field.AsString();
        case db::ftBoolean:
            return diff::Number(field.AsBoolean() ? 1 : 0);
        case db::ftDate:
            return diff::Number(field.AsDateTime() + rtl::DateDelta);
        case db::ftTime:
        case db::ftDateTime:
            return diff::Number(rtl::TimeStampToMSecs(rtl::DateTimeToTimeStamp(field.AsDateTime())));
        default:
            return diff::Number(field.AsFloat());
    }
}

class TARNISQueryDifferential : public componenttest::SessionTest {
protected:
    void SetUp() override {
        components::SessionLockGuard lock(runtime_.DefaultSession());
        diff::CreateTables();
    }

    // The query of the statement with its parameters set.
    static std::unique_ptr<sql::TTARNISQuery> NewQuery(const std::string& text) {
        auto [parameterised, values] = Parameterised(text);
        auto query = std::make_unique<sql::TTARNISQuery>();
        query->SetSQL(parameterised);
        EXPECT_EQ(query->ParamCount(), static_cast<int>(values.size())) << parameterised;
        for (std::size_t i = 0; i < values.size(); ++i)
            query->ParamByName("p" + std::to_string(i + 1)).SetAsInteger(values[i]);
        return query;
    }

    static std::vector<Row> Rows(const std::string& text, bool live) {
        auto query = NewQuery(text);
        query->SetRequestLive(live);
        query->Open();
        std::vector<Row> rows;
        for (query->First(); !query->Eof(); query->Next()) {
            Row row;
            for (int i = 0; i < query->Fields().Count(); ++i) row.push_back(Cell(query->Fields()[i]));
            rows.push_back(std::move(row));
        }
        query->Close();
        return rows;
    }
};

TEST_F(TARNISQueryDifferential, TheParametersTakeTheComparedIntegers) {
    EXPECT_EQ(Parameterised("SELECT A FROM T1 WHERE B <> 20 AND B >= 10 AND A = -4"),
              (std::pair<std::string, std::vector<int>>{"SELECT A FROM T1 WHERE B <> :p1 AND B >= 10 AND A = :p2",
                                                       {20, -4}}));
    EXPECT_EQ(Parameterised("SELECT A FROM T1 JOIN T2 ON T1.B = 10 WHERE F = 2.5").second, std::vector<int>{});
}

TEST_F(TARNISQueryDifferential, EveryStatementGivesSqlitesRows) {
    diff::Sqlite sqlite;
    for (const diff::Statement& statement : diff::kSelects) {
        const std::string twin = statement.sqlite != nullptr ? statement.sqlite : statement.engine;
        std::vector<Row> expected = sqlite.Rows(twin);
        if (!statement.ordered) std::sort(expected.begin(), expected.end());
        for (const bool live : {false, true}) {
            std::vector<Row> actual = Rows(statement.engine, live);
            if (!statement.ordered) std::sort(actual.begin(), actual.end());
            EXPECT_EQ(actual, expected) << Parameterised(statement.engine).first << (live ? " (live asked)" : "");
        }
    }
}

TEST_F(TARNISQueryDifferential, ChangesThroughExecSQLLeaveWhatSqliteLeaves) {
    diff::Sqlite sqlite;
    for (const diff::Change& change : diff::kChanges) {
        sqlite.Exec(change.sqlite != nullptr ? change.sqlite : change.engine);
        NewQuery(change.engine)->ExecSQL();
        const std::string read = std::string("SELECT * FROM ") + change.table;
        std::vector<Row> expected = sqlite.Rows(read);
        std::vector<Row> actual = Rows(read, false);
        std::sort(actual.begin(), actual.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(actual, expected) << Parameterised(change.engine).first;
    }
}

}  // namespace
