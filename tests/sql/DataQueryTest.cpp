#include "sql/DataQuery.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/os/PosixFile.h"
#include "engine/values/FieldTypes.h"
#include "rtl/ExceptionHook.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/ModelPrinter.h"
#include "tests/sql/ParseSupport.h"

namespace {

using engine::TExprNode;
using sql::TDataQuery;
using sql::TSourceDataFile;
using sqltest::PrintModel;
using sqltest::SqlError;

// Statements over the table "d/t": a and c are integers, b a string.
class DataQueryPrepared : public enginetest::TableTest {
protected:
    void SetUp() override {
        std::filesystem::create_directory("d");
        std::vector<engine::TFieldDesc> fields = {enginetest::FieldDef(1, "a", engine::FieldTypeInteger),
                                                  enginetest::FieldDef(2, "b", engine::FieldTypeString, 20),
                                                  enginetest::FieldDef(3, "c", engine::FieldTypeInteger)};
        std::vector<engine::TIndexDescriptor> indexes;
        enginetest::TableOptions options;
        options.allowNoPrimary = true;
        enginetest::CreateTable("d/t", fields, indexes, options);
    }
};

// A statement prepared with its tables in "d/".
std::unique_ptr<TDataQuery> Prepared(std::string_view text) {
    auto query = std::make_unique<TDataQuery>();
    query->SetDatabaseDirectory("d/");
    EXPECT_EQ(query->Prepare(text), 0);
    return query;
}

// --- Life cycle ------------------------------------------------------------------------------------------

TEST(DataQuery, StartsWithItsDefaultsAndAClosedResultTable) {
    int component = 0;
    TDataQuery query(&component);
    EXPECT_EQ(query.Owner, &component);
    EXPECT_FALSE(query.Executed);
    EXPECT_EQ(query.StatementKind, sql::StatementType::None);
    EXPECT_FALSE(query.RequestLive);
    EXPECT_TRUE(query.DatabaseDirectory.empty());
    EXPECT_EQ(query.LockRetryCount, 15);
    EXPECT_EQ(query.LockWaitTime, 100);
    EXPECT_FALSE(query.StrictChangeDetection);
    EXPECT_EQ(query.LanguageId, 0);
    EXPECT_EQ(query.SortId, 0);
    ASSERT_NE(query.ResultTable, nullptr);
    EXPECT_FALSE(query.ResultTable->IsOpen());
    EXPECT_EQ(query.ResultTable->Owner(), &query);
    EXPECT_EQ(query.Scanner.Owner(), &query);
    EXPECT_TRUE(query.Sources.empty() && query.ResultColumns.empty() && query.TargetColumns.empty() &&
                query.Values.empty() && query.OrderBy.empty() && query.GroupBy.empty() &&
                query.Params.empty());
    EXPECT_EQ(query.WhereCondition, nullptr);
    EXPECT_EQ(query.ResidualCondition, nullptr);
    EXPECT_FALSE(query.ProgressProc);
    EXPECT_FALSE(query.PasswordProc);
}

TEST_F(DataQueryPrepared, PrepareFillsTheModelAndKeepsTheSettings) {
    TDataQuery query;
    query.SetDatabaseDirectory("d/");
    query.RequestLive = true;
    query.LockRetryCount = 3;
    // Flags left over from before are cleared; the component's wishes and settings are not.
    query.Distinct = true;
    query.HasOrderBy = true;
    query.IntoTableName = "old";
    query.Encrypted = true;
    query.EncryptionPassword = "pw";
    ASSERT_EQ(query.Prepare("SELECT a, b FROM t WHERE a = ?"), 0);
    EXPECT_EQ(PrintModel(query),
              "SELECT live where\n"
              "source #1 pos 1 join 0 \"d/t\" as \"t\"\n"
              "column name \"t\".\"a\" result \"a\"\n"
              "column name \"t\".\"b\" result \"b\"\n"
              "where =(a, ?)\n"
              "params where/R\n");
    EXPECT_EQ(query.LockRetryCount, 3);
    EXPECT_TRUE(query.EncryptionPassword.empty());
}

// Parsing appends to the lists: a statement that was prepared, or whose SELECT has run, is not prepared
// again and keeps its model.
TEST_F(DataQueryPrepared, IsPreparedOnceAndNeverAfterARun) {
    struct Case {
        const char* name;
        const char* first;  // prepared before, or nothing
        bool executed;
    };
    const std::vector<Case> cases = {
        {"prepared", "INSERT INTO t (a, c) VALUES (?, 2)", false},
        {"failed part-way", "INSERT INTO t (a, b) VALUES (?, ", false},
        {"failed at once", "", false},
        {"executed", nullptr, true},
        {"prepared and executed", "SELECT a FROM t", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDataQuery query;
        query.SetDatabaseDirectory("d/");
        if (c.first != nullptr) {
            try {
                query.Prepare(c.first);
            } catch (const engine::ETARNISEngineError&) {
            }
        }
        query.Executed = c.executed;
        const std::string model = PrintModel(query);
        const std::vector<TExprNode*> params = query.Params;
        EXPECT_EQ(query.Prepare("INSERT INTO t (a, c) VALUES (?, 2)"), sql::ErrStatementNotPreparable);
        EXPECT_EQ(sql::ErrStatementNotPreparable, 11047);
        EXPECT_EQ(PrintModel(query), model);
        EXPECT_EQ(query.Params, params);
    }
}

TEST(DataQuery, DirectoryAndChangeDetectionAreFixedOnceASelectHasRun) {
    TDataQuery query;
    query.SetDatabaseDirectory("first/");
    query.SetStrictChangeDetection(true);
    EXPECT_EQ(query.DatabaseDirectory, "first/");
    EXPECT_TRUE(query.StrictChangeDetection);
    query.Executed = true;
    query.SetDatabaseDirectory("second/");
    query.SetStrictChangeDetection(false);
    EXPECT_EQ(query.DatabaseDirectory, "first/");
    EXPECT_TRUE(query.StrictChangeDetection);
}

TEST(DataQuery, AnEmptyCallbackRemovesTheOneSet) {
    TDataQuery query;
    int asked = 0;
    query.SetPasswordCallback([&] { return ++asked < 0; });
    ASSERT_TRUE(query.PasswordProc);
    EXPECT_FALSE(query.PasswordProc());
    EXPECT_EQ(asked, 1);
    query.SetPasswordCallback({});
    EXPECT_FALSE(query.PasswordProc);

    int told = 0;
    query.SetProgressCallback([&](std::int32_t, std::int32_t, bool&) { ++told; });
    ASSERT_TRUE(query.ProgressProc);
    query.SetProgressCallback({});
    EXPECT_FALSE(query.ProgressProc);
    bool abort = false;
    EXPECT_FALSE(query.DoProgress(1, 50, abort));
    EXPECT_EQ(told, 0);
}

TEST(DataQuery, DoProgressHandsItsArgumentsToTheCallbackAndAnswersTheAbortFlag) {
    TDataQuery query;
    bool abort = true;
    // Without a callback nothing happens, and the flag stays as it was.
    EXPECT_TRUE(query.DoProgress(3, 30, abort));
    EXPECT_TRUE(abort);

    std::vector<std::pair<std::int32_t, std::int32_t>> calls;
    query.SetProgressCallback([&](std::int32_t current, std::int32_t percent, bool& stop) {
        calls.emplace_back(current, percent);
        stop = percent >= 100;
    });
    abort = false;
    EXPECT_FALSE(query.DoProgress(2, 40, abort));
    EXPECT_FALSE(abort);
    EXPECT_TRUE(query.DoProgress(5, 125, abort));
    EXPECT_TRUE(abort);
    const std::vector<std::pair<std::int32_t, std::int32_t>> expected = {{2, 40}, {5, 125}};
    EXPECT_EQ(calls, expected);
}

TEST_F(DataQueryPrepared, ExecuteClearsItsResultFirst) {
    const auto query = Prepared("DELETE FROM t");
    engine::TDataFile stale;
    engine::TDataFile* result = &stale;
    EXPECT_EQ(query->Execute(result), 0);
    EXPECT_EQ(result, nullptr);
}

// --- Parameter values --------------------------------------------------------------------------------------

// A parameter block as the query component writes it: a descriptor per value and one buffer of slots, each
// a flag byte and the value's stored bytes.
struct ParamBlock {
    std::vector<engine::TFieldDesc> descriptors;
    std::vector<std::uint8_t> buffer;

    void Add(std::uint8_t type, std::uint8_t subType, std::uint8_t scale, std::uint8_t flag,
             const std::vector<std::uint8_t>& bytes) {
        engine::TFieldDesc desc;
        desc.FieldType = type;
        desc.SubType = subType;
        desc.Size = type == engine::FieldTypeString ? static_cast<std::uint8_t>(bytes.size() - 1) : 0;
        desc.StoredSize = static_cast<std::uint8_t>(bytes.size());
        desc.Scale = desc.StoredScale = scale;
        desc.Offset = static_cast<std::uint16_t>(buffer.size());
        descriptors.push_back(desc);
        buffer.push_back(flag);
        buffer.insert(buffer.end(), bytes.begin(), bytes.end());
    }
    std::uint16_t SetInto(TDataQuery& query) const { return query.SetParams(descriptors, buffer); }
};

std::vector<std::uint8_t> Int32Bytes(std::int32_t value) {
    std::vector<std::uint8_t> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

// The characters and their zero.
std::vector<std::uint8_t> TextBytes(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

std::vector<std::uint8_t> ValueBytes(const TExprNode& node) {
    return {node.Value.Bytes.begin(), node.Value.Bytes.begin() + node.Value.Size};
}

// Its "?" nodes in text order: SET a, b and c, BETWEEN's two bounds.
constexpr std::string_view kFiveParameters = "UPDATE t SET a = ?, b = ?, c = ? WHERE c BETWEEN ? AND ?";

// Five values of different types, each marked by the number.
ParamBlock FiveValues(std::int32_t mark) {
    ParamBlock block;
    block.Add(engine::FieldTypeInteger, 0, 0, 1, Int32Bytes(mark));
    block.Add(engine::FieldTypeString, 0, 0, 1, TextBytes("x"));
    block.Add(engine::FieldTypeString, 0, 0, 1, TextBytes("text " + std::to_string(mark)));
    block.Add(engine::FieldTypeFloat, engine::FieldSubTypeMoney, 0, 1, {1, 2, 3, 4, 5, 6, 7, 8});
    block.Add(engine::FieldTypeBcd, 0, 2, 1, {9, 8, 7, 6, 5, 4, 3, static_cast<std::uint8_t>(mark)});
    return block;
}

void ExpectValues(const TDataQuery& query, const ParamBlock& block, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE("parameter " + std::to_string(i + 1));
        const engine::TFieldDesc& desc = block.descriptors[i];
        const TExprNode& node = *query.Params[i];
        EXPECT_EQ(node.Value.FieldType, desc.FieldType);
        EXPECT_EQ(node.Value.SubType, desc.SubType);
        EXPECT_EQ(node.Value.Size, desc.StoredSize);
        EXPECT_EQ(node.Value.Scale, desc.StoredScale);
        EXPECT_EQ(node.Value.IsNull, 0);
        const auto slot = block.buffer.begin() + desc.Offset + 1;
        EXPECT_EQ(ValueBytes(node), std::vector<std::uint8_t>(slot, slot + desc.StoredSize));
    }
}

TEST_F(DataQueryPrepared, ParameterValuesLandInTextOrderWithTheirTypes) {
    const auto query = Prepared(kFiveParameters);
    ASSERT_EQ(query->Params.size(), 5u);
    const ParamBlock block = FiveValues(42);
    EXPECT_EQ(block.SetInto(*query), 0);
    ExpectValues(*query, block, 5);
    EXPECT_EQ(query->Params[0]->Value.GetInt32(), 42);
    EXPECT_EQ(query->Params[2]->Value.GetText(), "text 42");
    EXPECT_EQ(query->Params[4]->Value.Scale, 2);
}

TEST_F(DataQueryPrepared, OneValueTooManyRaisesOnceTheOthersAreSet) {
    const auto query = Prepared(kFiveParameters);
    ParamBlock block = FiveValues(7);
    block.Add(engine::FieldTypeInteger, 0, 0, 1, Int32Bytes(6));
    EXPECT_EQ(SqlError([&] { block.SetInto(*query); }), "Internal parameter error");
    ExpectValues(*query, block, 5);
}

TEST_F(DataQueryPrepared, ParametersWithoutAValueKeepTheirOld) {
    const auto query = Prepared(kFiveParameters);
    const ParamBlock first = FiveValues(1);
    first.SetInto(*query);
    ParamBlock second = FiveValues(2);
    second.descriptors.pop_back();
    EXPECT_EQ(second.SetInto(*query), 0);
    ExpectValues(*query, second, 4);
    EXPECT_EQ(query->Params[4]->Value.Bytes[7], 1);
    EXPECT_EQ(query->Params[4]->Value.Scale, 2);
}

TEST_F(DataQueryPrepared, OnlyAZeroFlagByteMakesAParameterNull) {
    struct Case {
        std::uint8_t flag;
        std::uint8_t isNull;
    };
    const std::vector<Case> cases = {{0, 1}, {1, 0}, {2, 0}, {255, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("flag " + std::to_string(c.flag));
        const auto query = Prepared("DELETE FROM t WHERE a = ?");
        ParamBlock block;
        block.Add(engine::FieldTypeInteger, 0, 0, c.flag, Int32Bytes(-5));
        block.SetInto(*query);
        EXPECT_EQ(query->Params[0]->Value.IsNull, c.isNull);
        // A NULL's bytes are copied as well.
        EXPECT_EQ(query->Params[0]->Value.GetInt32(), -5);
    }
}

TEST_F(DataQueryPrepared, AStringOf254CharactersIsKeptWhole) {
    const auto query = Prepared("DELETE FROM t WHERE a = ?");
    const std::string text(254, 'q');
    ParamBlock block;
    block.Add(engine::FieldTypeString, 0, 0, 1, TextBytes(text));
    block.SetInto(*query);
    EXPECT_EQ(query->Params[0]->Value.Size, 255);
    EXPECT_EQ(query->Params[0]->Value.GetText(), text);
}

// A slot that does not lie wholly inside the buffer is refused before any of it is read; the values before
// it are set.
TEST_F(DataQueryPrepared, ASlotPastTheBuffersEndRaises) {
    struct Case {
        const char* name;
        int trim;              // bytes cut off the buffer's end
        std::uint16_t offset;  // of the second slot; 0 keeps where Add put it
        bool raises;
    };
    const std::vector<Case> cases = {
        {"whole", 0, 0, false},         {"last byte missing", 1, 0, true},
        {"flag byte only", 4, 0, true}, {"starts at the end", 0, 10, true},
        {"far beyond", 0, 65535, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto query = Prepared("DELETE FROM t WHERE a = ? OR b = ?");
        ParamBlock block;
        block.Add(engine::FieldTypeInteger, 0, 0, 1, Int32Bytes(11));
        block.Add(engine::FieldTypeInteger, 0, 0, 1, Int32Bytes(22));
        ASSERT_EQ(block.buffer.size(), 10u);
        block.buffer.resize(block.buffer.size() - static_cast<std::size_t>(c.trim));
        if (c.offset != 0) block.descriptors[1].Offset = c.offset;
        if (c.raises) {
            EXPECT_EQ(SqlError([&] { block.SetInto(*query); }), "Internal parameter error");
            EXPECT_EQ(query->Params[1]->Value.FieldType, 0);
            EXPECT_EQ(query->Params[1]->Value.GetInt32(), 0);
        } else {
            EXPECT_EQ(block.SetInto(*query), 0);
            EXPECT_EQ(query->Params[1]->Value.GetInt32(), 22);
        }
        EXPECT_EQ(query->Params[0]->Value.GetInt32(), 11);
    }
}

// --- Destruction
// ---------------------------------------------------------------------------------------------

// Every text fails somewhere after the statement has built lists and trees; the sanitizer's leak check sees
// whether the destructor gives everything back.
TEST(DataQuery, AStatementWhoseParseFailedPartWayFreesWhatItBuilt) {
    const std::vector<std::string> texts = {
        "SELECT a, SUM(b * 2) FROM t JOIN u ON t.x = u.x AND u.y = ? WHERE t.z IN (1, 2) ORDER BY",
        "INSERT INTO t (a, b) VALUES (?, TRIM(BOTH ? FROM ",
        "UPDATE t SET a = ?, b = c + 1 WHERE d BETWEEN ? AND",
        "SELECT * FROM a, b, c WHERE a.x = b.y GROUP BY 1, 2 ORDER BY x DESC,",
    };
    for (const std::string& text : texts) {
        auto query = std::make_unique<TDataQuery>();
        EXPECT_FALSE(SqlError([&] { query->Prepare(text); }).empty()) << text;
        EXPECT_FALSE(query->Sources.empty()) << text;
        query.reset();
    }
}

// Opens a handle on a table the way binding does (shared) or exclusively.
void OpenTable(engine::TDataFile& table, const std::string& name, bool exclusive) {
    table.SetFileName(name);
    table.SetExclusive(exclusive);
    table.Open();
}

// Whether another handle can have the table to itself: no handle has it open any more.
bool OpensExclusively(const std::string& name) {
    engine::TDataFile probe;
    return enginetest::EngineCode([&] { OpenTable(probe, name, true); }) == 0;
}

// Remembers whether the handle was still QueryOwned when its owner closed it.
class CloseWatcher : public engine::TDataFile {
public:
    CloseWatcher(void* owner, std::optional<bool>& queryOwnedAtClose)
        : TDataFile(owner), queryOwnedAtClose_(queryOwnedAtClose) {}
    void Close() override {
        if (IsOpen()) queryOwnedAtClose_ = QueryOwned();
        TDataFile::Close();
    }

private:
    std::optional<bool>& queryOwnedAtClose_;
};

// Collects what reaches the application's exception handler while it lives.
class HandlerSpy {
public:
    HandlerSpy() {
        previous_ = rtl::SetExceptionHandler([this](std::exception_ptr error) { errors.push_back(error); });
    }
    ~HandlerSpy() { rtl::SetExceptionHandler(previous_); }
    HandlerSpy(const HandlerSpy&) = delete;
    HandlerSpy& operator=(const HandlerSpy&) = delete;

    std::vector<std::exception_ptr> errors;

private:
    rtl::ExceptionHandler previous_;
};

class DataQueryTables : public enginetest::TableTest {};

TEST_F(DataQueryTables, FreeingAStatementClosesItsHandlesAfterClearingQueryOwned) {
    enginetest::CreateSimpleTable("t");
    enginetest::CreateSimpleTable("r");
    HandlerSpy handler;
    std::optional<bool> queryOwnedAtClose;
    {
        TDataQuery query;
        EXPECT_FALSE(SqlError([&] { query.Prepare("SELECT ID FROM t WHERE"); }).empty());
        ASSERT_EQ(query.Sources.size(), 1u);
        TSourceDataFile& source = *query.Sources[0];
        EXPECT_EQ(source.Table->Owner(), &source);
        source.Table = std::make_unique<CloseWatcher>(&source, queryOwnedAtClose);
        OpenTable(*source.Table, source.TableName, false);
        source.Table->SetQueryOwned(true);
        OpenTable(*query.ResultTable, "r", true);
        query.ResultTable->SetQueryOwned(true);
        ASSERT_FALSE(OpensExclusively("t"));
        ASSERT_FALSE(OpensExclusively("r"));
    }
    EXPECT_EQ(queryOwnedAtClose, std::optional<bool>(false));
    EXPECT_TRUE(OpensExclusively("t"));
    EXPECT_TRUE(OpensExclusively("r"));
    EXPECT_TRUE(handler.errors.empty());
}

// A close that fails (an exclusive table writes its changes at close) goes to the application's handler; the
// handle is closed all the same and so is every other, the source tables' and the result table's alike.
TEST_F(DataQueryTables, AFailingCloseReachesTheHandlerAndTheOtherHandlesStillClose) {
    // The table whose close fails is left torn; the fixture's check leaves its directory alone.
    std::filesystem::create_directory("damaged");
    enginetest::CreateSimpleTable("b");
    for (const bool resultFails : {false, true}) {
        SCOPED_TRACE(resultFails ? "result table" : "source table");
        const std::string failing = resultFails ? "damaged/r" : "damaged/a";
        const std::string source = resultFails ? "a" : "damaged/a";
        const std::string result = resultFails ? "damaged/r" : "r";
        for (const std::string& name : {source, result}) enginetest::CreateSimpleTable(name);
        HandlerSpy handler;
        {
            TDataQuery query;
            for (const std::string& name : {source, std::string("b")}) {
                TSourceDataFile& table =
                    *query.Sources.emplace_back(std::make_unique<TSourceDataFile>(&query));
                table.SetTableName(name);
                OpenTable(*table.Table, name, name == source);
            }
            OpenTable(*query.ResultTable, result, true);
            engine::TDataFile& changed = resultFails ? *query.ResultTable : *query.Sources[0]->Table;
            std::vector<std::uint8_t> image(changed.GetRecordBufferSize());
            changed.InitRecord(image);
            const std::vector<std::uint8_t> id = Int32Bytes(7);
            changed.SetField(false, 1, image, std::span<const std::uint8_t>(id));
            changed.InsertRecord(image, true);
            ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, failing + ".DAT", 1, EIO));
        }
        const bool fired = engine::IoFaultFired();
        engine::DisarmIoFault();
        EXPECT_TRUE(fired);
        ASSERT_EQ(handler.errors.size(), 1u);
        try {
            std::rethrow_exception(handler.errors[0]);
        } catch (const engine::ETARNISEngineError& error) {
            EXPECT_EQ(error.ErrorCode(), engine::ErrWrite);
        } catch (...) {
            ADD_FAILURE() << "not an engine error";
        }
        for (const std::string& name : {source, std::string("b"), result})
            EXPECT_TRUE(OpensExclusively(name)) << name;
    }
}

}  // namespace
