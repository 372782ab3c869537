// The SQL engine against SQLite 3 on the same rows: each statement of the table in
// tests/sql/support/DifferentialCases.h, then a seeded stream from tests/sql/support/StatementGenerator.h, runs
// on engine tables and, as its twin, on an in-memory SQLite database holding the same rows; the two must give
// the same rows. Each SELECT also runs as a live request, on copies of the tables without indexes and with its
// inner joins' FROM order changed; each change runs on both copies. KEYVALE_DIFF_BUDGET sets how many
// statements the generator makes (default 200), KEYVALE_DIFF_SEED its seed (default 1); a failure prints both.
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
// - 16- and 32-bit arithmetic wraps in conditions, while SUM and an INSERT's or UPDATE's value raise past
//   their type: the numbers are small.
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
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
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
#include "tests/sql/support/StatementGenerator.h"

namespace {

namespace diff = sqltest::differential;
using Row = std::vector<std::string>;

using diff::Number;
using diff::Sqlite;
using diff::CreateTables;

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


// The rows a statement gives, or the error it raised.
struct Outcome {
    std::vector<Row> rows;
    std::string error;
};

Outcome EngineRows(std::string_view text, bool live) {
    Outcome outcome;
    try {
        sql::TDataQuery query;
        query.RequestLive = live;
        if (query.Prepare(text) != 0) {
            outcome.error = "Prepare failed";
            return outcome;
        }
        engine::TDataFile* result = nullptr;
        if (query.Execute(result) != 0) {
            outcome.error = "Execute failed";
            return outcome;
        }
        if (result == nullptr) return outcome;
        std::vector<std::uint8_t> image(result->GetRecordBufferSize());
        result->SetToBegin();
        while (result->GetNextRecord(image) == 0) {
            Row row;
            for (std::uint16_t field = 1; field <= result->GetFieldCount(); ++field)
                row.push_back(EngineCell(*result, field, image));
            outcome.rows.push_back(std::move(row));
        }
    } catch (const std::exception& error) {
        outcome.error = error.what();
    }
    return outcome;
}

// Makes a directory current for one scope.
class InDirectory {
public:
    explicit InDirectory(const std::filesystem::path& path) : previous_(std::filesystem::current_path()) {
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
    }
    ~InDirectory() { std::filesystem::current_path(previous_); }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

constexpr const char* kSchema =
    "T1 (A integer, primary index; B smallint; S string 10; F float; D date; K boolean)\n"
    "T2 (ID integer, primary index; TID integer, index ByTid; V integer; N integer, may be NULL)\n"
    "the copies without indexes have the same fields and no index";

// Where the word first stands outside parentheses and quotes from the position on (TRIM and EXTRACT hold a FROM).
std::size_t TopLevel(const std::string& text, const std::string& word, std::size_t from) {
    int depth = 0;
    bool quoted = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\'') quoted = !quoted;
        if (quoted) continue;
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        if (depth == 0 && at >= from && text.compare(at, word.size(), word) == 0) return at;
    }
    return std::string::npos;
}

// The statement with the tables of its inner joins in another order: a comma list reversed, or the two sides
// of a single JOIN ... ON swapped; empty when its FROM has no inner join or has an outer one.
std::string PermuteInnerJoins(const std::string& text) {
    const std::size_t from = TopLevel(text, " FROM ", 0);
    if (from == std::string::npos) return {};
    const std::size_t begin = from + 6;
    std::size_t end = text.size();
    for (const char* next : {" WHERE ", " GROUP BY ", " ORDER BY "}) end = std::min(end, TopLevel(text, next, begin));
    const std::string clause = text.substr(begin, end - begin);
    if (clause.find("LEFT ") != std::string::npos || clause.find("RIGHT ") != std::string::npos) return {};
    const std::size_t join = clause.find(" JOIN ");
    std::string permuted;
    if (join == std::string::npos) {
        std::vector<std::string> tables;
        for (std::size_t at = 0;;) {
            const std::size_t comma = clause.find(", ", at);
            tables.push_back(clause.substr(at, comma - at));
            if (comma == std::string::npos) break;
            at = comma + 2;
        }
        if (tables.size() < 2) return {};
        for (auto table = tables.rbegin(); table != tables.rend(); ++table)
            permuted += (permuted.empty() ? "" : ", ") + *table;
    } else {
        const std::size_t on = clause.find(" ON ", join);
        if (on == std::string::npos || clause.find(" JOIN ", join + 1) != std::string::npos ||
            clause.find(", ") != std::string::npos)
            return {};
        permuted = clause.substr(join + 6, on - join - 6) + " JOIN " + clause.substr(0, join) + clause.substr(on);
    }
    return text.substr(0, begin) + permuted + text.substr(end);
}

std::string Show(const std::vector<Row>& rows) {
    std::string text;
    for (const Row& row : rows) {
        text += "    (";
        for (std::size_t i = 0; i < row.size(); ++i) text += (i > 0 ? ", " : "") + row[i];
        text += ")\n";
    }
    return text.empty() ? "    (none)\n" : text;
}

// The rows of one side that the other lacks, counting duplicates.
std::vector<Row> Missing(std::vector<Row> from, std::vector<Row> in) {
    std::sort(from.begin(), from.end());
    std::sort(in.begin(), in.end());
    std::vector<Row> missing;
    std::set_difference(from.begin(), from.end(), in.begin(), in.end(), std::back_inserter(missing));
    return missing;
}

// Both sides' tables in two directories (with and without indexes) and SQLite, and the comparisons.
class Twins {
public:
    Twins(std::filesystem::path directory, std::string seed) : directory_(std::move(directory)), seed_(std::move(seed)) {}

    void Load(const std::vector<diff::T1Row>& t1, const std::vector<diff::T2Row>& t2) {
        sqlite_.Load(t1, t2);
        for (const bool indexed : {true, false}) {
            const InDirectory in(Path(indexed));
            CreateTables(t1, t2, indexed);
        }
    }

    // The SELECT gives SQLite's rows, asked live or not, without indexes and with its FROM permuted.
    void Select(const std::string& engine, const std::string& twin, bool ordered) {
        std::vector<Row> expected = sqlite_.Rows(twin);
        const auto check = [&](const std::string& text, bool live, bool indexed, const char* variant) {
            const InDirectory in(Path(indexed));
            Compare(variant, text, twin, EngineRows(text, live), expected, ordered, nullptr);
        };
        check(engine, false, true, "as written");
        check(engine, true, true, "asked live");
        check(engine, false, false, "without indexes");
        const std::string permuted = PermuteInnerJoins(engine);
        if (!permuted.empty()) check(permuted, false, true, "inner joins permuted");
    }

    // The change leaves both copies of its table as SQLite leaves its own.
    void Change(const std::string& engine, const std::string& twin, const std::string& table) {
        const std::string before = Dump();
        sqlite_.Exec(twin);
        const std::string read = "SELECT * FROM " + table;
        const std::vector<Row> expected = sqlite_.Rows(read);
        for (const bool indexed : {true, false}) {
            const InDirectory in(Path(indexed));
            Outcome changed = EngineRows(engine, false);
            Outcome after = EngineRows(read, false);
            if (after.error.empty()) after.error = changed.error;
            Compare(indexed ? "whole table after the change" : "whole table after the change, without indexes",
                    engine, twin, after, expected, false, &before);
        }
    }

    bool Failed() const { return failed_; }

private:
    std::filesystem::path Path(bool indexed) const { return indexed ? directory_ : directory_ / "plain"; }

    std::string Dump() {
        return "  T1:\n" + Show(sqlite_.Rows("SELECT * FROM T1")) + "  T2:\n" + Show(sqlite_.Rows("SELECT * FROM T2"));
    }

    void Compare(const char* variant, const std::string& engine, const std::string& twin, Outcome actual,
                 std::vector<Row> expected, bool ordered, const std::string* before) {
        if (!ordered) {
            std::sort(actual.rows.begin(), actual.rows.end());
            std::sort(expected.begin(), expected.end());
        }
        if (actual.error.empty() && actual.rows == expected) return;
        failed_ = true;
        ADD_FAILURE() << "seed " << seed_ << " (" << variant << ")\nschema:\n" << kSchema << "\nrows"
                      << (before != nullptr ? " before the change" : "") << ":\n"
                      << (before != nullptr ? *before : Dump()) << "engine: " << engine << "\nSQLite: " << twin
                      << "\n"
                      << (actual.error.empty() ? "" : "engine error: " + actual.error + "\n")
                      << "engine only:\n" << Show(Missing(actual.rows, expected)) << "SQLite only:\n"
                      << Show(Missing(expected, actual.rows))
                      << (ordered ? "engine in order:\n" + Show(actual.rows) + "SQLite in order:\n" + Show(expected)
                                  : "");
    }

    std::filesystem::path directory_;
    std::string seed_;
    Sqlite sqlite_;
    bool failed_ = false;
};

std::uint64_t FromEnvironment(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    return std::stoull(text);
}

class SqliteDifferential : public enginetest::TableTest {};

TEST_F(SqliteDifferential, EveryStatementGivesSqlitesRows) {
    Twins twins(std::filesystem::current_path(), "none (hand-written)");
    twins.Load(diff::kT1, diff::kT2);
    Sqlite sqlite;
    sqlite.Load(diff::kT1, diff::kT2);
    for (const diff::Statement& statement : diff::kSelects) {
        const std::string twin = statement.sqlite != nullptr ? statement.sqlite : statement.engine;
        // Every statement of the table gives rows: two empty answers would compare nothing.
        EXPECT_FALSE(sqlite.Rows(twin).empty()) << twin;
        twins.Select(statement.engine, twin, statement.ordered);
    }
}

// After each change both tables hold the same rows.
TEST_F(SqliteDifferential, ChangesLeaveWhatSqliteLeaves) {
    Twins twins(std::filesystem::current_path(), "none (hand-written)");
    twins.Load(diff::kT1, diff::kT2);
    for (const diff::Change& change : diff::kChanges)
        twins.Change(change.engine, change.sqlite != nullptr ? change.sqlite : change.engine, change.table);
}

// The generator's statements, on fresh rows every 25 statements.
TEST_F(SqliteDifferential, GeneratedStatementsGiveSqlitesRows) {
    // A few hundred statements run in seconds under the sanitizers; raise the budget by hand for a deeper run.
    constexpr std::uint64_t kDefaultBudget = 200;
    constexpr int kStatementsPerRows = 25;
    const std::uint64_t seed = FromEnvironment("KEYVALE_DIFF_SEED", 1);
    const std::uint64_t budget = FromEnvironment("KEYVALE_DIFF_BUDGET", kDefaultBudget);
    diff::StatementGenerator generator(seed);
    std::map<std::string, int> seen;
    for (std::uint64_t made = 0, round = 0; made < budget; ++round) {
        Twins twins(std::filesystem::current_path() / ("rows" + std::to_string(round)),
                    std::to_string(seed) + ", rows " + std::to_string(round));
        const diff::GeneratedRows rows = generator.Rows();
        twins.Load(rows.t1, rows.t2);
        for (int i = 0; i < kStatementsPerRows && made < budget; ++i, ++made) {
            const diff::GeneratedStatement statement = generator.Next();
            if (statement.kind == diff::GeneratedKind::Select) {
                twins.Select(statement.engine, statement.sqlite, statement.ordered);
            } else {
                twins.Change(statement.engine, statement.sqlite, statement.table);
            }
            seen["join"] += statement.join ? 1 : 0;
            seen["outer join"] += statement.outerJoin ? 1 : 0;
            seen["GROUP BY or aggregate"] += statement.grouped ? 1 : 0;
            seen["UPDATE or DELETE"] +=
                statement.kind == diff::GeneratedKind::Update || statement.kind == diff::GeneratedKind::Delete;
        }
        // Stop at the first set of rows that fails: its report is the one to read.
        if (twins.Failed()) break;
    }
    // A run that never reached one of these compared too little to mean anything.
    for (const char* kind : {"join", "outer join", "GROUP BY or aggregate", "UPDATE or DELETE"})
        EXPECT_GT(seen[kind], 0) << "seed " << seed << ", budget " << budget << ": no " << kind;
}

}  // namespace
