#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <filesystem>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/blob/BlobBuffer.h"
#include "engine/values/FieldTypes.h"
#include "engine/os/PosixFile.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"
#include "tests/sql/PlanSupport.h"
#include "tests/sql/RowReader.h"

namespace {

using sqltest::Bound;
using sqltest::Row;

// T: ID, K (indexed), A, B integers and S smallint; row i holds ID = K = A = i, B = 100 + i, S = i.
struct TRow {
    std::int32_t id, k, a, b, s;
};

// A field of a TRow that holds NULL.
constexpr std::int32_t kNull = INT32_MIN;

std::vector<TRow> MakeRows(std::int32_t count) {
    std::vector<TRow> rows;
    for (std::int32_t i = 1; i <= count; ++i) rows.push_back({i, i, i, 100 + i, i});
    return rows;
}

Row Text(const TRow& r) {
    const auto text = [](std::int32_t v) { return v == kNull ? std::string("-") : std::to_string(v); };
    return {text(r.id), text(r.k), text(r.a), text(r.b), text(r.s)};
}

class ExecuteChange : public enginetest::TableTest {
protected:
    // With a primary index on ID, or without a primary index; K indexed either way, uniquely when asked. B
    // may be given a maximum.
    void CreateT(bool primary, std::int32_t count = 20, const std::string& maximumB = {},
                 bool uniqueK = false) {
        std::vector<engine::TFieldDesc> fields = {sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                                  sqltest::FieldDef(2, "K", engine::FieldTypeInteger),
                                                  sqltest::FieldDef(3, "A", engine::FieldTypeInteger),
                                                  sqltest::FieldDef(4, "B", engine::FieldTypeInteger),
                                                  sqltest::FieldDef(5, "S", engine::FieldTypeSmallInt)};
        fields[3].MaxValue = maximumB;
        std::vector<engine::TIndexDescriptor> indexes;
        if (primary) indexes.push_back(enginetest::IndexDef("", {1}));
        indexes.push_back(enginetest::IndexDef("ByK", {2}, uniqueK));
        enginetest::TableOptions options;
        options.allowNoPrimary = !primary;
        enginetest::CreateTable("T", fields, indexes, options);
        rows_ = MakeRows(count);
        std::vector<std::vector<sqltest::Cell>> cells;
        for (const TRow& r : rows_)
            cells.push_back({sqltest::Int(r.id), sqltest::Int(r.k), sqltest::Int(r.a), sqltest::Int(r.b),
                             sqltest::Small(static_cast<std::int16_t>(r.s))});
        sqltest::InsertRows("T", cells);
    }

    // What a plain scan of T shows now, sorted.
    static std::vector<Row> TableRows() {
        engine::TDataFile table;
        table.SetFileName("T");
        table.Open();
        return sqltest::Sorted(sqltest::ReadAll(table));
    }

    static std::vector<Row> Expected(const std::vector<TRow>& rows) {
        std::vector<Row> text;
        for (const TRow& r : rows) text.push_back(Text(r));
        return sqltest::Sorted(text);
    }

    std::vector<TRow> rows_;
};

TEST_F(ExecuteChange, EveryMatchingRowIsChangedExactlyOnce) {
    struct Case {
        std::string text;
        // The row after the statement; false drops it.
        std::function<bool(TRow&)> apply;
    };
    const std::vector<Case> cases = {
        {"UPDATE T SET K = K + 100 WHERE K < 10",
         [](TRow& r) {
             if (r.k < 10) r.k += 100;
             return true;
         }},
        // Rows 1 and 2 still match once changed, row 3 (the last to match) does not: the walk must not step
        // back to them.
        {"UPDATE T SET K = K + 20 WHERE K <= 3 OR K BETWEEN 21 AND 22",
         [](TRow& r) {
             if (r.k <= 3) r.k += 20;
             return true;
         }},
        {"UPDATE T SET A = B, B = A WHERE K <= 2",
         [](TRow& r) {
             if (r.k <= 2) std::swap(r.a, r.b);
             return true;
         }},
        {"UPDATE T SET S = S * 2, A = NULL WHERE A > 15",
         [](TRow& r) {
             if (r.a > 15) r.s *= 2, r.a = kNull;
             return true;
         }},
        {"UPDATE T SET A = 0", [](TRow& r) { return (r.a = 0), true; }},
        // WHERE keeps the dialect's wrapping arithmetic: K + 2147483640 is negative from K = 8 on.
        {"UPDATE T SET B = 0 WHERE K + 2147483640 < 0",
         [](TRow& r) {
             if (r.k >= 8) r.b = 0;
             return true;
         }},
        {"DELETE FROM T", [](TRow&) { return false; }},
        {"DELETE FROM T WHERE K BETWEEN 5 AND 12", [](TRow& r) { return !(r.k >= 5 && r.k <= 12); }},
        {"DELETE FROM T WHERE A > 3 AND B < 118", [](TRow& r) { return !(r.a > 3 && r.b < 118); }},
    };
    for (const bool primary : {true, false}) {
        for (const Case& c : cases) {
            enginetest::TempDirectory scope;
            CreateT(primary);
            {
                auto query = Bound(c.text);
                engine::TDataFile* result = nullptr;
                ASSERT_EQ(query->Execute(result), 0) << c.text;
                EXPECT_EQ(result, nullptr);
                EXPECT_FALSE(query->Sources.front()->Table->TableLockHeld());
            }
            std::vector<TRow> expected;
            for (TRow r : rows_)
                if (c.apply(r)) expected.push_back(r);
            EXPECT_EQ(TableRows(), Expected(expected))
                << c.text << (primary ? " (primary)" : " (no primary)");
        }
    }
}

TEST_F(ExecuteChange, ProgressIsTheSameForSelectUpdateAndDeleteAndAnAbortKeepsTheChangesSoFar) {
    for (const std::string text : {"SELECT K FROM T", "UPDATE T SET A = A + 1", "DELETE FROM T"}) {
        for (const int abortAt : {0, 4}) {
            enginetest::TempDirectory scope;
            CreateT(true, 10);
            std::vector<std::pair<std::int32_t, std::int32_t>> calls;
            {
                auto query = Bound(text);
                query->SetProgressCallback([&](std::int32_t current, std::int32_t percent, bool& abort) {
                    calls.emplace_back(current, percent);
                    abort = current == abortAt;
                });
                engine::TDataFile* result = nullptr;
                ASSERT_EQ(query->Execute(result), 0) << text;
            }
            std::vector<std::pair<std::int32_t, std::int32_t>> expected;
            const int lastRow = abortAt == 0 ? 10 : abortAt;
            for (std::int32_t n = 2; n <= lastRow; ++n) expected.emplace_back(n, n * 10);
            EXPECT_EQ(calls, expected) << text;
            if (text.starts_with("DELETE")) {
                EXPECT_EQ(TableRows().size(), 10u - lastRow) << text;
            }
        }
    }
}

// An in-memory table keeps no journal, so an UPDATE there checks every row before it writes one: each walk
// reports its half of the progress, and an abort while it checks leaves every row as it was.
TEST_F(ExecuteChange, AnUpdateThatChecksFirstReportsBothWalksAndStopsInEither) {
    CreateT(true, 10);
    {
        const auto copy = Bound("SELECT ID, A INTO MEMORY M FROM T");
        engine::TDataFile* copied = nullptr;
        ASSERT_EQ(copy->Execute(copied), 0);
    }
    const auto memoryRows = [] {
        engine::TDataFile table;
        table.SetInMemory(true);
        table.SetFileName("M");
        table.Open();
        return sqltest::Sorted(sqltest::ReadAll(table));
    };
    for (const int abortAt : {0, 4, 14}) {
        SCOPED_TRACE(abortAt);
        const std::vector<Row> before = memoryRows();
        std::vector<std::pair<std::int32_t, std::int32_t>> calls;
        {
            auto query = Bound("UPDATE MEMORY M SET A = A + 1");
            query->SetProgressCallback([&](std::int32_t current, std::int32_t percent, bool& abort) {
                calls.emplace_back(current, percent);
                abort = static_cast<int>(calls.size()) == abortAt;
            });
            engine::TDataFile* result = nullptr;
            ASSERT_EQ(query->Execute(result), 0);
        }
        // Nine calls a walk: rows 2 .. 10.
        std::vector<std::pair<std::int32_t, std::int32_t>> expected;
        for (std::int32_t n = 2; n <= 10; ++n) expected.emplace_back(n, n * 5);
        for (std::int32_t n = 2; n <= 10; ++n) expected.emplace_back(n, 50 + n * 5);
        if (abortAt != 0) expected.resize(static_cast<std::size_t>(abortAt));
        EXPECT_EQ(calls, expected);
        const std::vector<Row> after = memoryRows();
        if (abortAt == 4) {
            EXPECT_EQ(after, before);
        } else {
            EXPECT_NE(after, before);
        }
    }
}

// Each run filters with the parameter value set for it.
TEST_F(ExecuteChange, ARunWithANewParameterChangesTheNewRows) {
    CreateT(true);
    auto query = Bound("UPDATE T SET A = A + 1000 WHERE K < ?");
    for (const std::int32_t limit : {3, 6}) {
        engine::TFieldDesc descriptor;
        descriptor.FieldType = engine::FieldTypeInteger;
        descriptor.StoredSize = 4;
        std::vector<std::uint8_t> buffer(5, 1);
        std::memcpy(buffer.data() + 1, &limit, 4);
        ASSERT_EQ(query->SetParams(std::vector<engine::TFieldDesc>{descriptor}, buffer), 0);
        engine::TDataFile* result = nullptr;
        ASSERT_EQ(query->Execute(result), 0);
        for (TRow& r : rows_)
            if (r.k < limit) r.a += 1000;
        EXPECT_EQ(TableRows(), Expected(rows_)) << limit;
    }
}

TEST_F(ExecuteChange, InsertAddsOneRecordAndANullLeavesTheField) {
    CreateT(true, 2);
    {
        auto query = Bound("INSERT INTO T (ID, K, A, S) VALUES (7, 70, NULL, 3 + 4)");
        engine::TDataFile* result = nullptr;
        ASSERT_EQ(query->Execute(result), 0);
        EXPECT_EQ(result, nullptr);
    }
    std::vector<Row> expected = Expected(rows_);
    expected.push_back({"7", "70", "-", "-", "7"});
    EXPECT_EQ(TableRows(), sqltest::Sorted(expected));
}

TEST_F(ExecuteChange, AValueThatDoesNotFitItsColumnFailsAndReleasesTheLock) {
    CreateT(true, 2);
    for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
             {"INSERT INTO T (ID, S) VALUES (9, 100000)",
              "Numeric overflow in INSERT statement for column 'S'"},
             {"INSERT INTO T (ID, A) VALUES (9, 2147483647 + 1)",
              "Numeric overflow in INSERT statement for column 'A'"},
             {"UPDATE T SET S = A * 100000", "Numeric overflow in UPDATE statement for column 'S'"},
             {"UPDATE T SET A = A - 2147483647 - 3", "Numeric overflow in UPDATE statement for column 'A'"},
             {"UPDATE T SET A = -(K - 2147483647 - 2)",
              "Numeric overflow in UPDATE statement for column 'A'"},
             {"UPDATE T SET S = -(S - 32769)", "Numeric overflow in UPDATE statement for column 'S'"}}) {
        auto query = Bound(text);
        engine::TDataFile* result = nullptr;
        EXPECT_EQ(sqltest::SqlError([&] { query->Execute(result); }), message);
        EXPECT_FALSE(query->Sources.front()->Table->TableLockHeld());
        // Another handle takes the table lock at once.
        engine::TDataFile other;
        other.SetFileName("T");
        other.SetLockRetryCount(0);
        other.Open();
        other.LockTable();
        other.UnlockTable();
    }
    EXPECT_EQ(TableRows(), Expected(rows_));
}

// The statements once reported as answering success without the change, or with a wrapped number: EMP's
// row 3 has no MGR, row 2 the largest BUDGET.
TEST_F(ExecuteChange, ReportedStatementsChangeWhatTheySayOrFail) {
    struct Case {
        std::string text;
        bool nullParameter;
        std::vector<Row> after;  // EMP's rows after the statement
        std::string error;
    };
    const std::vector<Row> before = {
        {"1", "100", "7", "NY", "10"}, {"2", "200", "7", "LA", "2147483647"}, {"3", "300", "-", "SF", "30"}};
    const std::vector<Row> salaryCleared = {
        {"1", "100", "7", "NY", "10"}, {"2", "200", "7", "LA", "2147483647"}, {"3", "-", "-", "SF", "30"}};
    const std::vector<Case> cases = {
        {"UPDATE EMP SET SAL = NULL WHERE ID = 3", false, salaryCleared, ""},
        {"UPDATE EMP SET SAL = MGR WHERE ID = 3", false, salaryCleared, ""},
        {"UPDATE EMP SET LOC = '' WHERE ID = 3",
         false,
         {{"1", "100", "7", "NY", "10"}, {"2", "200", "7", "LA", "2147483647"}, {"3", "300", "-", "-", "30"}},
         ""},
        {"UPDATE EMP SET SAL = ? WHERE ID = 3", true, salaryCleared, ""},
        {"UPDATE EMP SET BUDGET = BUDGET + 1", false, before,
         "Numeric overflow in UPDATE statement for column 'BUDGET'"},
        // A text is still cut to its field, not refused.
        {"UPDATE EMP SET LOC = 'Rio de Janeiro' WHERE ID = 1",
         false,
         {{"1", "100", "7", "Rio de Jan", "10"},
          {"2", "200", "7", "LA", "2147483647"},
          {"3", "300", "-", "SF", "30"}},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        enginetest::TempDirectory scope;
        std::vector<engine::TFieldDesc> fields = {sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                                  sqltest::FieldDef(2, "SAL", engine::FieldTypeInteger),
                                                  sqltest::FieldDef(3, "MGR", engine::FieldTypeInteger),
                                                  sqltest::FieldDef(4, "LOC", engine::FieldTypeString, 10),
                                                  sqltest::FieldDef(5, "BUDGET", engine::FieldTypeInteger)};
        std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
        enginetest::CreateTable("EMP", fields, indexes);
        sqltest::InsertRows(
            "EMP",
            {{sqltest::Int(1), sqltest::Int(100), sqltest::Int(7), sqltest::Text("NY"), sqltest::Int(10)},
             {sqltest::Int(2), sqltest::Int(200), sqltest::Int(7), sqltest::Text("LA"),
              sqltest::Int(2147483647)},
             {sqltest::Int(3), sqltest::Int(300), sqltest::Null(), sqltest::Text("SF"), sqltest::Int(30)}});
        {
            auto query = Bound(c.text);
            if (c.nullParameter) {
                engine::TFieldDesc descriptor;
                descriptor.FieldType = engine::FieldTypeInteger;
                descriptor.StoredSize = 4;
                const std::vector<std::uint8_t> buffer(5, 0);
                ASSERT_EQ(query->SetParams(std::vector<engine::TFieldDesc>{descriptor}, buffer), 0);
            }
            engine::TDataFile* result = nullptr;
            if (c.error.empty()) {
                EXPECT_EQ(query->Execute(result), 0);
            } else {
                EXPECT_EQ(sqltest::SqlError([&] { query->Execute(result); }), c.error);
            }
        }
        engine::TDataFile table;
        table.SetFileName("EMP");
        table.Open();
        EXPECT_EQ(sqltest::Sorted(sqltest::ReadAll(table)), c.after);
    }
}

// A change that one row would refuse changes no row, whichever row of the walk it is: refused before the
// first write, or refused by the engine part-way through the walk, whose written rows are then put back.
TEST_F(ExecuteChange, AStatementRefusedAtOneRowLeavesEveryRowAsItWas) {
    struct Case {
        std::string text;
        std::string error;       // the 11949 text, or empty for an engine error
        std::uint16_t code = 0;  // that engine error
        // The row of the walk (from 1) whose first write to the file fails; 0 none.
        std::int32_t faultAt = 0;
        std::string faultFile = "T.DAT";
        // The fault comes: a statement held together writes nothing before the end, nor after a refusal.
        bool faultFires = true;
    };
    // Rows 1 .. 20, K unique: A + 2147483637 passes its range from row 11 on, S * 3000 from row 11, B + 10
    // the maximum of 125 from row 16.
    const std::vector<Case> cases = {
        {"UPDATE T SET A = A + 2147483637", "Numeric overflow in UPDATE statement for column 'A'"},
        {"UPDATE T SET B = B - 1, S = S * 3000", "Numeric overflow in UPDATE statement for column 'S'"},
        {"UPDATE T SET A = 0 - A, S = S * 3000 WHERE K > 5",
         "Numeric overflow in UPDATE statement for column 'S'"},
        {"UPDATE T SET B = B + 10", "", engine::ErrAboveMaximum},
        // Row 12 (2nd of 10) takes the key 0 that row 11 took; row 11 no longer passes the WHERE then.
        {"UPDATE T SET K = 0, A = 1 WHERE K > 10", "", engine::ErrDuplicateKey},
        // (K - 10)^2 + 30: rows 1 .. 10 take 111 .. 30, row 11 takes 31, which row 9 took.
        {"UPDATE T SET K = (K - 10) * (K - 10) + 30, B = 0", "", engine::ErrDuplicateKey},
        // K * K - 5: rows 1 and 2 take -4 and -1, row 3 takes 4, which row 4 still holds.
        {"UPDATE T SET K = K * K - 5", "", engine::ErrDuplicateKey},
        // Row 8's record is not written, after rows 1 .. 7 moved their keys; row 20's, after rows 11 .. 19.
        {"UPDATE T SET K = K + 100, A = A + 1", "", engine::ErrWrite, 8},
        {"UPDATE T SET A = 7 WHERE K > 10", "", engine::ErrWrite, 10},
        // Row 8's record is written, its keys are not: putting it back brings them in step again.
        {"UPDATE T SET K = K + 100, A = A + 1", "", engine::ErrWrite, 8, "T.IDX"},
        // A refusal after a row written (here with the next write armed to fail): the statement reports the
        // key it was refused for, and the row before it is put back.
        {"UPDATE T SET K = 0, A = 1 WHERE K > 10", "", engine::ErrDuplicateKey, 2, "T.DAT", false},
    };
    for (const bool primary : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.text + (primary ? " (primary)" : " (no primary)") +
                         (c.faultAt != 0 ? " fault at row " + std::to_string(c.faultAt) + " in " + c.faultFile
                                         : std::string()));
            enginetest::TempDirectory scope;
            CreateT(primary, 20, "125", true);
            {
                auto query = Bound(c.text);
                query->SetProgressCallback([&](std::int32_t current, std::int32_t, bool&) {
                    if (current == c.faultAt) {
                        ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, c.faultFile, 1, EIO));
                    }
                });
                engine::TDataFile* result = nullptr;
                if (c.error.empty()) {
                    EXPECT_EQ(enginetest::EngineCode([&] { query->Execute(result); }), c.code);
                } else {
                    EXPECT_EQ(sqltest::SqlError([&] { query->Execute(result); }), c.error);
                }
                if (c.faultAt != 0) {
                    EXPECT_EQ(engine::IoFaultFired(), c.faultFires);
                }
                engine::DisarmIoFault();
                EXPECT_FALSE(query->Sources.front()->Table->TableLockHeld());
            }
            EXPECT_EQ(TableRows(), Expected(rows_));
            EXPECT_TRUE(enginetest::IsCleanTable("T"));
        }
    }
}

// A large object's field names its block chain: an UPDATE giving it a column's value (the only value the
// binding lets through) is refused before any row changes, so that no two fields come to share a chain.
TEST_F(ExecuteChange, ALargeObjectColumnTakesNoValue) {
    std::vector<engine::TFieldDesc> fields = {sqltest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                              sqltest::FieldDef(2, "M", engine::FieldTypeBlob),
                                              sqltest::FieldDef(3, "M2", engine::FieldTypeBlob)};
    std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
    enginetest::CreateTable("L", fields, indexes);
    // Row i's M holds 700 bytes of 'a' + i, its M2 700 bytes of 'A' + i: each value takes two blocks.
    const auto value = [](char first, std::int32_t row) {
        return std::string(700, static_cast<char>(first + row));
    };
    // Every row's (M, M2) as stored.
    const auto stored = [] {
        engine::TDataFile table;
        table.SetFileName("L");
        table.Open();
        std::vector<std::uint8_t> image(table.GetRecordBufferSize());
        std::vector<std::pair<std::string, std::string>> rows;
        table.SetToBegin();
        while (table.GetNextRecord(image) == 0) {
            std::array<std::string, 2> texts;
            for (const std::uint16_t field : {2, 3}) {
                EXPECT_EQ(table.OpenBlob(false, field, engine::BlobOpenRead, image), 0);
                std::int32_t size = 0;
                EXPECT_EQ(table.GetBlobSize(false, field, size, image), 0);
                std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
                std::int32_t got = 0;
                EXPECT_EQ(table.ReadBlob(false, field, got, size, bytes, 0, image), 0);
                texts[field - 2].assign(bytes.begin(), bytes.end());
            }
            table.FreeBlobs();
            rows.emplace_back(texts[0], texts[1]);
        }
        return rows;
    };
    {
        engine::TDataFile table;
        table.SetFileName("L");
        table.Open();
        std::vector<std::uint8_t> image(table.GetRecordBufferSize());
        for (std::int32_t row = 1; row <= 2; ++row) {
            table.InitRecord(image);
            table.SetField(false, 1, image,
                           std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&row), 4));
            for (const auto& [field, first] : {std::pair<std::uint16_t, char>{2, 'a'}, {3, 'A'}}) {
                ASSERT_EQ(table.OpenBlob(false, field, engine::BlobOpenReadWrite, image), 0);
                const std::string text = value(first, row);
                const std::vector<std::uint8_t> bytes(text.begin(), text.end());
                ASSERT_EQ(
                    table.WriteBlob(false, field, bytes, static_cast<std::int32_t>(bytes.size()), 0, image),
                    0);
            }
            table.InsertRecord(image, true);
            table.FreeBlobs();
        }
    }
    const std::vector<std::pair<std::string, std::string>> before = {{value('a', 1), value('A', 1)},
                                                                     {value('a', 2), value('A', 2)}};
    ASSERT_EQ(stored(), before);
    for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
             {"UPDATE L SET M = M2", "Type mismatch between column 'M' and column 'M2' in UPDATE statement"},
             {"UPDATE L SET ID = ID + 10, M = M WHERE ID = 2",
              "Type mismatch between column 'M' and column 'M' in UPDATE statement"}}) {
        auto query = Bound(text);
        engine::TDataFile* result = nullptr;
        EXPECT_EQ(sqltest::SqlError([&] { query->Execute(result); }), message);
    }
    EXPECT_EQ(stored(), before);
    // The fixture's check at the end finds every chain in one field.
}

// A run that fails on a write, and one that is aborted, leave nothing held: another handle takes the table
// lock while the statement still has the table open, and once it is freed the table opens exclusively.
TEST_F(ExecuteChange, AFailedOrAbortedRunLeavesNothingHeld) {
    CreateT(true);
    for (const bool fault : {true, false}) {
        {
            auto query = Bound("DELETE FROM T WHERE K > 2");
            query->SetProgressCallback([](std::int32_t current, std::int32_t, bool& abort) { abort = current == 4; });
            engine::TDataFile* result = nullptr;
            if (fault) {
                ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, "T.DAT", 1, EIO));
                EXPECT_NE(enginetest::EngineCode([&] { query->Execute(result); }), 0);
                engine::DisarmIoFault();
            } else {
                EXPECT_EQ(query->Execute(result), 0);
            }
            engine::TDataFile other;
            other.SetFileName("T");
            other.Open();
            EXPECT_EQ(enginetest::EngineCode([&] { other.LockTable(); }), 0) << fault;
            other.UnlockTable();
        }
        engine::TDataFile exclusive;
        exclusive.SetFileName("T");
        exclusive.SetExclusive(true);
        EXPECT_EQ(enginetest::EngineCode([&] { exclusive.Open(); }), 0) << fault;
    }
    // The injected fault cut a delete short, which the table checks at the end would rightly report.
    for (const char* file : {"T.DAT", "T.IDX"}) std::filesystem::remove(file);
}

}  // namespace
