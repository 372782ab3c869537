// SqliteStore: the benchmark's work done by SQLite 3, the store a user would pick instead of the engine.
#pragma once

#include <sqlite3.h>

#include <array>
#include <filesystem>
#include <string>

#include "bench/BenchStore.h"

namespace bench {

// One database file per table, "results.db", in the journal mode given (DELETE, or WAL, the mode a user of
// SQLite picks for several programs on one database) with synchronous=OFF: like the engine's shared table, a
// change is in the database's files when it returns and nothing forces it to the disk. Every statement is
// prepared once per open and reused. A connection that meets another's lock waits for it (up to
// BusyTimeoutMs), as the engine's writers wait for its write lock.
class SqliteStore : public BenchStore {
public:
    // "DELETE" or "WAL".
    explicit SqliteStore(std::string journalMode) : journalMode_(std::move(journalMode)) {}
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    std::string Name() const override { return "SQLite " + journalMode_; }
    void Create(const std::filesystem::path& directory, TableKind kind) override;
    void Open(const std::filesystem::path& directory, TableKind kind, Access access) override;
    void Close() override;

    void Insert(const ResultRow& row, const std::string* memo) override;
    void InsertShared(const ResultRow& row) override;
    bool FindId(std::int32_t id, Digest& digest) override;
    bool FindName(const std::string& name, Digest& digest) override;
    void ErrorsRange(std::int32_t low, std::int32_t high, WalkLock lock, Digest& digest) override;
    void ScanAll(Digest& digest) override;
    void SetErrors(std::int32_t id, std::int32_t errors) override;
    void Delete(std::int32_t id) override;
    void FilterNetKph(double limit, Digest& digest) override;
    void FilterKphAndName(double limit, const std::string& name, Digest& digest) override;
    void FilterErrorsBetween(std::int32_t low, std::int32_t high, Digest& digest) override;
    void ReadMemos(Digest& digest) override;

private:
    enum Statement {
        InsertRow,
        InsertSharedRow,
        SelectId,
        SelectName,
        SelectErrors,
        SelectAll,
        UpdateErrors,
        DeleteRow,
        SelectNetKph,
        SelectKphName,
        SelectErrorsFilter,
        SelectMemos,
        StatementCount
    };

    void Execute(const char* sql);
    // Puts the open database in the store's journal mode; raises when SQLite keeps another.
    void SetJournalMode();
    sqlite3_stmt* Prepared(Statement statement);
    // Steps the statement to its end, adding each row's column 0 (the ID); then resets it.
    void StepAll(sqlite3_stmt* statement, Digest& digest);
    // One step that must finish the statement (an insert, update or delete).
    void StepDone(sqlite3_stmt* statement);
    [[noreturn]] void Fail(const char* what) const;

    std::string journalMode_;
    sqlite3* db_ = nullptr;
    bool transaction_ = false;
    std::array<sqlite3_stmt*, StatementCount> statements_{};
};

}  // namespace bench
