// sql-bench [--cliff C] [N...]: the SQL engine's four cost cliffs (or case C alone) at N rows (default 10,000,
// 30,000 and 100,000), each beside SQLite 3 on the same rows, in milliseconds, with the growth exponent (slope
// of log time against log N) from one size to the next; then two statements whose fixed cost shows on small
// tables, at N rows up to 10,000 only. T: ID (primary), K (indexed), V; U: ID (primary), TID (indexed), X
// (unindexed), both with N rows, TID = X = the ID of a T row. The cliffs time Execute, the fixed-cost
// statements Prepare and Execute (SQLite's exec prepares too). Run it from a release build.
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/EngineState.h"
#include "engine/table/DataFile.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableDefs.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Cliff {
    const char* name;
    const char* engine;
    const char* sqlite;
    std::int32_t maxSize;  // larger sizes are skipped
    bool withPrepare;      // the statement's whole cost: Prepare and Execute
};

// The fixed-cost statements run on tables of at most this many rows.
constexpr std::int32_t kFixedCostRows = 10000;

const std::vector<Cliff> kCliffs = {
    {"1 copied SELECT", "SELECT ID, V FROM T", "CREATE TEMP TABLE R AS SELECT ID, V FROM T", 1000000, false},
    {"2 UPDATE, filter active", "UPDATE T SET V = V + 1 WHERE K >= 0", "UPDATE T SET V = V + 1 WHERE K >= 0",
     1000000, false},
    {"3 join, indexed inner", "SELECT T.ID, U.ID FROM T JOIN U ON T.ID = U.TID",
     "CREATE TEMP TABLE R AS SELECT T.ID, U.ID FROM T JOIN U ON T.ID = U.TID", 1000000, false},
    {"4 join, unindexed inner", "SELECT T.ID, U.ID FROM T JOIN U ON T.ID = U.X",
     "CREATE TEMP TABLE R AS SELECT T.ID, U.ID FROM T NOT INDEXED JOIN U NOT INDEXED ON T.ID = U.X", 1000000,
     false},
    {"5 join, grouped (fixed cost)", "SELECT T.K, SUM(U.X) FROM T JOIN U ON T.ID = U.TID GROUP BY T.K",
     "CREATE TEMP TABLE R AS SELECT T.K, SUM(U.X) FROM T JOIN U ON T.ID = U.TID GROUP BY T.K", kFixedCostRows,
     true},
    {"6 join, filter, ORDER BY (fixed cost)",
     "SELECT T.ID, U.X FROM T JOIN U ON T.ID = U.TID WHERE T.K < 5000 ORDER BY U.X",
     "CREATE TEMP TABLE R AS SELECT T.ID, U.X FROM T JOIN U ON T.ID = U.TID WHERE T.K < 5000 ORDER BY U.X",
     kFixedCostRows, true},
};

// Row i's value in 1 .. n: a prime stride spreads the values over the rows.
std::int32_t Spread(std::int32_t i, std::int64_t prime, std::int32_t n) {
    return static_cast<std::int32_t>(i * prime % n + 1);
}

void MakeTable(const std::string& name, const char* second, const char* third, std::int32_t n) {
    using enginetest::FieldDef;
    using enginetest::IndexDef;
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                              FieldDef(2, second, engine::FieldTypeInteger),
                                              FieldDef(3, third, engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("By2", {2})};
    engine::TDataFile table;
    table.SetFileName(name);
    table.SetExclusive(true);
    table.CreateTable(0, 0, 0, 0, false, "", "", 512, fields, indexes, false);
    table.Open();
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    for (std::int32_t i = 1; i <= n; ++i) {
        table.InitRecord(image);
        const std::int32_t values[3] = {i, Spread(i, 7919, n), Spread(i, 104729, n)};
        for (std::uint16_t f = 0; f < 3; ++f)
            table.SetField(false, static_cast<std::uint16_t>(f + 1), image,
                           std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&values[f]), 4));
        table.InsertRecord(image, false);
    }
    table.Close();
}

void Sqlite(sqlite3* db, const std::string& text) {
    char* error = nullptr;
    if (sqlite3_exec(db, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "SQLite: %s: %s\n", text.c_str(), error);
        std::exit(1);
    }
}

double Milliseconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::int32_t> sizes;
    int only = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--cliff" && i + 1 < argc) {
            only = std::atoi(argv[++i]);
            continue;
        }
        sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) sizes = {10000, 30000, 100000};
    const fs::path directory = fs::temp_directory_path() / ("keyvale-sqlbench-" + std::to_string(getpid()));
    fs::create_directories(directory);
    engine::EngineGuard engine;
    // Temporary result tables go where the session says, else into the working directory: a run that is
    // stopped half way must leave nothing there.
    engine::GetEngineSession().SetDirectory(directory.string());
    std::printf("| cliff | N | engine ms | exponent | SQLite ms | exponent |\n|---|---|---|---|---|---|\n");
    for (std::size_t c = 0; c < kCliffs.size(); ++c) {
        const Cliff& cliff = kCliffs[c];
        if (only != 0 && static_cast<std::size_t>(only) != c + 1) continue;
        double lastEngine = 0, lastSqlite = 0;
        std::int32_t lastN = 0;
        for (const std::int32_t n : sizes) {
            if (n > cliff.maxSize) continue;
            // A fresh directory per size: the statement finds T and U in it.
            fs::remove_all(directory);
            fs::create_directories(directory);
            const std::string base = (directory / "").string();
            MakeTable(base + "T", "K", "V", n);
            MakeTable(base + "U", "TID", "X", n);
            sql::TDataQuery query;
            query.SetDatabaseDirectory(base);
            if (!cliff.withPrepare) query.Prepare(cliff.engine);
            engine::TDataFile* result = nullptr;
            const double engineMs = Milliseconds([&] {
                if (cliff.withPrepare) query.Prepare(cliff.engine);
                query.Execute(result);
            });

            sqlite3* db = nullptr;
            sqlite3_open((base + "bench.sqlite").c_str(), &db);
            Sqlite(db, "PRAGMA synchronous = OFF");
            Sqlite(db, "BEGIN");
            Sqlite(db, "CREATE TABLE T (ID INTEGER PRIMARY KEY, K INTEGER, V INTEGER)");
            Sqlite(db, "CREATE TABLE U (ID INTEGER PRIMARY KEY, TID INTEGER, X INTEGER)");
            Sqlite(db, "CREATE INDEX TK ON T (K)");
            Sqlite(db, "CREATE INDEX UT ON U (TID)");
            for (std::int32_t i = 1; i <= n; ++i) {
                const std::string values = std::to_string(i) + ", " + std::to_string(Spread(i, 7919, n)) + ", " +
                                           std::to_string(Spread(i, 104729, n));
                Sqlite(db, "INSERT INTO T VALUES (" + values + ")");
                Sqlite(db, "INSERT INTO U VALUES (" + values + ")");
            }
            Sqlite(db, "COMMIT");
            const double sqliteMs = Milliseconds([&] { Sqlite(db, cliff.sqlite); });
            sqlite3_close(db);

            const auto exponent = [&](double now, double last) -> std::string {
                if (lastN == 0 || last <= 0 || now <= 0) return "";
                char text[16];
                std::snprintf(text, sizeof text, "%.2f", std::log(now / last) / std::log(double(n) / lastN));
                return text;
            };
            std::printf("| %s | %d | %.1f | %s | %.1f | %s |\n", cliff.name, n, engineMs,
                        exponent(engineMs, lastEngine).c_str(), sqliteMs, exponent(sqliteMs, lastSqlite).c_str());
            std::fflush(stdout);
            lastEngine = engineMs;
            lastSqlite = sqliteMs;
            lastN = n;
        }
    }
    fs::remove_all(directory);
    return 0;
}
