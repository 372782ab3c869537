#include "bench/SqliteStore.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace bench {

namespace {

// The columns every read hands back: the record without its large object, as the engine's record image.
#define RESULT_COLUMNS "id, name, toterrs, kph, nkph, testdate, testtime"

// SQL text of each statement, in the order of SqliteStore::Statement.
constexpr const char* StatementText[] = {
    "INSERT INTO results (id, name, toterrs, kph, nkph, testdate, testtime, errors) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
    "INSERT INTO results (name, toterrs, kph, nkph, testdate, testtime) VALUES (?, ?, ?, ?, ?, ?)",
    "SELECT " RESULT_COLUMNS " FROM results WHERE id = ?",
    "SELECT " RESULT_COLUMNS " FROM results WHERE name = ? ORDER BY name, id LIMIT 1",
    "SELECT " RESULT_COLUMNS " FROM results WHERE toterrs BETWEEN ? AND ? ORDER BY toterrs, id",
    "SELECT " RESULT_COLUMNS " FROM results",
    "UPDATE results SET toterrs = ? WHERE id = ?",
    "DELETE FROM results WHERE id = ?",
    "SELECT " RESULT_COLUMNS " FROM results WHERE nkph > ?",
    "SELECT " RESULT_COLUMNS " FROM results WHERE kph > ? AND name = ?",
    "SELECT " RESULT_COLUMNS " FROM results WHERE toterrs >= ? AND toterrs <= ?",
    "SELECT length(errors), errors FROM results",
};

// How long a connection waits for another's lock before it fails: as long as the engine's writers wait for
// its write lock (about 25 seconds).
constexpr int BusyTimeoutMs = 25000;

// Reads the columns after the ID as a caller would, so that SQLite decodes what the engine hands back in its
// record image (the library's calls are opaque to the compiler: nothing is optimised away).
void ReadColumns(sqlite3_stmt* statement) {
    sqlite3_column_text(statement, 1);
    sqlite3_column_int(statement, 2);
    sqlite3_column_double(statement, 3);
    sqlite3_column_double(statement, 4);
    sqlite3_column_int(statement, 5);
    sqlite3_column_int(statement, 6);
}

// Binds the row's fields after its ID, from name to test time, to the parameters from the first on.
void BindFields(sqlite3_stmt* statement, const ResultRow& row, int first) {
    sqlite3_bind_text(statement, first, row.Name.data(), static_cast<int>(row.Name.size()), SQLITE_STATIC);
    sqlite3_bind_int(statement, first + 1, row.Errors);
    sqlite3_bind_double(statement, first + 2, row.Kph);
    sqlite3_bind_double(statement, first + 3, row.NetKph);
    sqlite3_bind_int(statement, first + 4, row.TestDate);
    sqlite3_bind_int(statement, first + 5, row.TestTime);
}

}  // namespace

SqliteStore::~SqliteStore() {
    try {
        Close();
    } catch (...) {
        // A failure to close is reported by an explicit Close; a destructor can only let it go.
    }
}

void SqliteStore::Fail(const char* what) const {
    throw std::runtime_error(std::string("SQLite: ") + what + ": " +
                             (db_ ? sqlite3_errmsg(db_) : "no database"));
}

void SqliteStore::Execute(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "?";
        sqlite3_free(message);
        throw std::runtime_error(std::string("SQLite: ") + sql + ": " + text);
    }
}

void SqliteStore::SetJournalMode() {
    const std::string pragma = "PRAGMA journal_mode=" + journalMode_;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, pragma.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail(pragma.c_str());
    std::string mode;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        mode = text ? reinterpret_cast<const char*>(text) : "";
    }
    sqlite3_finalize(statement);
    // SQLite answers the mode it is in, which is not the one asked for when it cannot switch: the figures
    // would then be those of another mode under this one's name.
    const bool same = std::equal(mode.begin(), mode.end(), journalMode_.begin(), journalMode_.end(),
                                 [](char a, char b) { return std::tolower(a) == std::tolower(b); });
    if (!same)
        throw std::runtime_error("SQLite: journal mode " + journalMode_ + " asked for, " + mode + " set");
}

void SqliteStore::Create(const std::filesystem::path& directory, TableKind kind) {
    Open(directory, kind, Access::Exclusive);
    Execute(
        "CREATE TABLE results (id INTEGER PRIMARY KEY, name TEXT COLLATE NOCASE, toterrs INTEGER, "
        "kph REAL, nkph REAL, testdate INTEGER, testtime INTEGER, errors BLOB)");
    if (kind == TableKind::Indexed) {
        Execute("CREATE INDEX byname ON results (name)");
        Execute("CREATE INDEX byerrors ON results (toterrs)");
        Execute("CREATE INDEX bywhen ON results (testdate, testtime)");
    }
    Close();
}

void SqliteStore::Open(const std::filesystem::path& directory, TableKind, Access access) {
    Close();
    const std::string file = (directory / "results.db").string();
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) Fail(file.c_str());
    sqlite3_busy_timeout(db_, BusyTimeoutMs);
    SetJournalMode();
    Execute("PRAGMA synchronous=OFF");
    if (access == Access::Exclusive) {
        Execute("BEGIN");
        transaction_ = true;
    }
}

void SqliteStore::Close() {
    if (!db_) return;
    for (sqlite3_stmt*& statement : statements_) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
    if (transaction_) {
        transaction_ = false;
        Execute("COMMIT");
    }
    sqlite3* db = db_;
    db_ = nullptr;
    if (sqlite3_close(db) != SQLITE_OK) throw std::runtime_error("SQLite: the database does not close");
}

sqlite3_stmt* SqliteStore::Prepared(Statement statement) {
    sqlite3_stmt*& prepared = statements_[statement];
    if (!prepared && sqlite3_prepare_v2(db_, StatementText[statement], -1, &prepared, nullptr) != SQLITE_OK) {
        Fail(StatementText[statement]);
    }
    return prepared;
}

void SqliteStore::StepAll(sqlite3_stmt* statement, Digest& digest) {
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        ReadColumns(statement);
        digest.Add(static_cast<std::uint64_t>(sqlite3_column_int64(statement, 0)));
    }
    if (step != SQLITE_DONE) Fail("step");
    sqlite3_reset(statement);
}

void SqliteStore::StepDone(sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) Fail("step");
    sqlite3_reset(statement);
}

void SqliteStore::Insert(const ResultRow& row, const std::string* memo) {
    sqlite3_stmt* s = Prepared(InsertRow);
    sqlite3_bind_int(s, 1, row.Id);
    BindFields(s, row, 2);
    if (memo) {
        sqlite3_bind_blob(s, 8, memo->data(), static_cast<int>(memo->size()), SQLITE_STATIC);
    } else {
        sqlite3_bind_null(s, 8);
    }
    StepDone(s);
}

void SqliteStore::InsertShared(const ResultRow& row) {
    sqlite3_stmt* s = Prepared(InsertSharedRow);
    BindFields(s, row, 1);
    StepDone(s);
}

bool SqliteStore::FindId(std::int32_t id, Digest& digest) {
    sqlite3_stmt* s = Prepared(SelectId);
    sqlite3_bind_int(s, 1, id);
    const int step = sqlite3_step(s);
    if (step == SQLITE_ROW) {
        ReadColumns(s);
        digest.Add(static_cast<std::uint64_t>(sqlite3_column_int(s, 2)));
    } else if (step != SQLITE_DONE) {
        Fail("step");
    }
    sqlite3_reset(s);
    return step == SQLITE_ROW;
}

bool SqliteStore::FindName(const std::string& name, Digest& digest) {
    sqlite3_stmt* s = Prepared(SelectName);
    sqlite3_bind_text(s, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    const std::uint64_t before = digest.Count;
    StepAll(s, digest);
    return digest.Count != before;
}

// A walk is one statement whichever lock is asked for: the statement holds its shared lock until its reset,
// and a program walking a range through SQLite issues one statement, not one per record.
void SqliteStore::ErrorsRange(std::int32_t low, std::int32_t high, WalkLock, Digest& digest) {
    sqlite3_stmt* s = Prepared(SelectErrors);
    sqlite3_bind_int(s, 1, low);
    sqlite3_bind_int(s, 2, high);
    StepAll(s, digest);
}

void SqliteStore::ScanAll(Digest& digest) {
    StepAll(Prepared(SelectAll), digest);
}

void SqliteStore::SetErrors(std::int32_t id, std::int32_t errors) {
    sqlite3_stmt* s = Prepared(UpdateErrors);
    sqlite3_bind_int(s, 1, errors);
    sqlite3_bind_int(s, 2, id);
    StepDone(s);
}

void SqliteStore::Delete(std::int32_t id) {
    sqlite3_stmt* s = Prepared(DeleteRow);
    sqlite3_bind_int(s, 1, id);
    StepDone(s);
}

void SqliteStore::FilterNetKph(double limit, Digest& digest) {
    sqlite3_stmt* s = Prepared(SelectNetKph);
    sqlite3_bind_double(s, 1, limit);
    StepAll(s, digest);
}

void SqliteStore::FilterKphAndName(double limit, const std::string& name, Digest& digest) {
    sqlite3_stmt* s = Prepared(SelectKphName);
    sqlite3_bind_double(s, 1, limit);
    sqlite3_bind_text(s, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    StepAll(s, digest);
}

void SqliteStore::FilterErrorsBetween(std::int32_t low, std::int32_t high, Digest& digest) {
    sqlite3_stmt* s = Prepared(SelectErrorsFilter);
    sqlite3_bind_int(s, 1, low);
    sqlite3_bind_int(s, 2, high);
    StepAll(s, digest);
}

void SqliteStore::ReadMemos(Digest& digest) {
    sqlite3_stmt* s = Prepared(SelectMemos);
    int step;
    while ((step = sqlite3_step(s)) == SQLITE_ROW) {
        const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(s, 1));
        const int length = sqlite3_column_bytes(s, 1);
        std::uint64_t sum = static_cast<std::uint64_t>(length);
        for (int i = 0; i < length; ++i) sum += bytes[i];
        digest.Add(sum);
    }
    if (step != SQLITE_DONE) Fail("step");
    sqlite3_reset(s);
}

}  // namespace bench
