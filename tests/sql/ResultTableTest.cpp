#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/EngineState.h"
#include "engine/base/FileSession.h"
#include "engine/os/PosixFile.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/BindSupport.h"

namespace {

using sql::TDataQuery;
using sqltest::BindError;
using sqltest::Bound;

class ResultTable : public enginetest::TableTest {
protected:
    void SetUp() override { sqltest::CreateBindTables(); }
};

std::string FileBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool OpensExclusively(const std::string& name) {
    engine::TDataFile probe;
    probe.SetFileName(name);
    probe.SetExclusive(true);
    return enginetest::EngineCode([&] { probe.Open(); }) == 0;
}

// --- Design ---------------------------------------------------------------------------------------------

// An index as read back from the created files: its fields (as "2d" for descending field 2), then its flags.
std::string IndexShape(const engine::TIndexDescriptor& index) {
    std::string shape = index.Name.empty() ? "primary" : index.Name;
    shape += " [";
    for (std::size_t i = 0; i < index.FieldCount; ++i) {
        if (i > 0) shape += " ";
        shape += std::to_string(index.FieldNumbers[i]) + (index.FieldDescending[i] != 0 ? "d" : "");
    }
    shape += "]";
    if (index.Descending != 0) shape += " desc";
    if (index.CaseInsensitive != 0) shape += " nocase";
    if (index.Unique != 0) shape += " unique";
    return shape;
}

TEST_F(ResultTable, IndexesFollowOrderByDistinctAndGroupBy) {
    struct Case {
        std::string text;
        std::vector<std::string> indexes;
        bool shared;
    };
    const std::vector<Case> cases = {
        {"SELECT X, Y FROM T", {"primary [1] unique"}, false},
        {"SELECT X, Y FROM T ORDER BY Y DESC NOCASE", {"primary [3d 1] desc nocase"}, false},
        {"SELECT X, Y FROM T ORDER BY 2, X DESC", {"primary [3 2d 1]"}, false},
        {"SELECT DISTINCT X, Y FROM T", {"primary [2 3]"}, false},
        {"SELECT DISTINCT X, Y FROM T ORDER BY Y", {"primary [3 1]", "Distinct [2 3]"}, false},
        {"SELECT DISTINCT X, Y FROM T ORDER BY X, Y", {"primary [2 3]"}, true},
        {"SELECT DISTINCT X, Y FROM T ORDER BY X, Y NOCASE",
         {"primary [2 3 1] nocase", "Distinct [2 3]"},
         false},
        {"SELECT Y, SUM(N) FROM T GROUP BY Y", {"primary [2]"}, false},
        {"SELECT Y, SUM(N) FROM T GROUP BY Y ORDER BY Y", {"primary [2]"}, true},
        {"SELECT Y, SUM(N) AS S FROM T GROUP BY Y ORDER BY S", {"primary [3 1]", "GroupBy [2]"}, false},
        {"SELECT SUM(N) FROM T ORDER BY 1", {"primary [2 1]"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto query = Bound(c.text);
        const engine::TDataFile& table = *query->ResultTable;
        ASSERT_TRUE(table.IsOpen());
        std::vector<std::string> indexes;
        for (int i = 0; i <= table.GetIndexCount(); ++i) {
            const engine::TIndexDescriptor index = table.GetIndexDesc(i);
            EXPECT_EQ(index.Compression, 3);
            indexes.push_back(IndexShape(index));
        }
        EXPECT_EQ(indexes, c.indexes);
        EXPECT_EQ(query->SharedOrderIndex, c.shared);
        EXPECT_EQ(table.PhysicalFields().front().Name, "Row___No");
    }
}

TEST_F(ResultTable, ItemsNamedInOrderByAndGroupByGetTheirColumnNumbers) {
    const auto query = Bound("SELECT Y, SUM(N) AS S FROM T GROUP BY Y ORDER BY S DESC, T.Y");
    EXPECT_EQ(query->OrderBy[0]->ColumnNumber, 2);
    EXPECT_EQ(query->OrderBy[1]->ColumnNumber, 1);
    EXPECT_EQ(query->GroupBy[0]->ColumnNumber, 1);
}

TEST_F(ResultTable, FieldsFollowTheSelectList) {
    const auto query = Bound(
        "SELECT ID, Y, N, AVG(X) AS A, SUM(N) AS S, Y + 'ab' AS E, COUNT(*) FROM T GROUP BY ID, Y, N, E");
    const engine::TDataFile& table = *query->ResultTable;
    EXPECT_EQ(table.Header().Description, "Query Result Set");
    EXPECT_EQ(table.Header().BlockSize, 512u);
    struct Expected {
        std::string name;
        std::uint8_t type;
        std::uint8_t subType;
        std::uint8_t size;
        std::uint8_t scale;
    };
    const std::vector<Expected> expected = {
        {"Row___No", engine::FieldTypeInteger, engine::FieldSubTypeAutoInc, 0, 0},
        // An autoincrement source is a plain integer here.
        {"ID", engine::FieldTypeInteger, 0, 0, 0},
        {"Y", engine::FieldTypeString, 0, 10, 0},
        {"N", engine::FieldTypeBcd, 0, 0, 2},
        {"A", engine::FieldTypeFloat, 0, 0, 0},
        {"S", engine::FieldTypeBcd, 0, 0, 2},
        {"E", engine::FieldTypeString, 0, 12, 0},
        {"Count Of *", engine::FieldTypeInteger, 0, 0, 0},
    };
    const std::vector<engine::TFieldDesc>& fields = table.PhysicalFields();
    ASSERT_EQ(fields.size(), expected.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(fields[i].Name, expected[i].name);
        EXPECT_EQ(fields[i].FieldType, expected[i].type);
        EXPECT_EQ(fields[i].SubType, expected[i].subType);
        EXPECT_EQ(fields[i].Size, expected[i].size);
        EXPECT_EQ(fields[i].Scale, expected[i].scale);
        EXPECT_FALSE(fields[i].IsCalculated());
    }
    EXPECT_TRUE(table.Temporary());
    EXPECT_TRUE(table.Exclusive());
    EXPECT_TRUE(table.QueryOwned());
    EXPECT_TRUE(table.SkipDuplicatePreCheck());
}

TEST_F(ResultTable, AverageCountFieldsShowOnlyWhenAdded) {
    const auto query = Bound("SELECT Y, AVG(X), AVG(N) FROM T GROUP BY Y");
    engine::TDataFile& table = *query->ResultTable;
    EXPECT_EQ(query->AverageCountFields, 2);
    EXPECT_EQ(query->ResultColumns[1]->AvgCountField, 4);
    EXPECT_EQ(query->ResultColumns[2]->AvgCountField, 5);
    ASSERT_EQ(table.GetFieldCount(), 3);
    EXPECT_EQ(table.GetFieldDesc(true, 1).Name, "Y");
    EXPECT_EQ(table.GetFieldDesc(true, 1).FieldNumber, 1);
    table.AddWorkingFields(2);
    ASSERT_EQ(table.GetFieldCount(), 5);
    for (const int number : {4, 5}) {
        const engine::TFieldDesc& count = table.GetFieldDesc(true, static_cast<std::uint16_t>(number));
        EXPECT_EQ(count.Name, "Avg__Count" + std::to_string(number));
        EXPECT_EQ(count.FieldType, engine::FieldTypeInteger);
        EXPECT_TRUE(count.IsCalculated());
    }
    EXPECT_EQ(Bound("SELECT X FROM T")->ResultTable->GetFieldCount(), 1);
}

TEST_F(ResultTable, ALongCaptionNamesItsFieldWithItsFirst30Characters) {
    std::vector<engine::TFieldDesc> v = {
        sqltest::FieldDef(1, "Abcdefghijklmnopqrstuvwxy", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
    enginetest::CreateTable("V", v, indexes);
    const auto query = Bound("SELECT AVG(Abcdefghijklmnopqrstuvwxy) FROM V");
    EXPECT_EQ(query->ResultColumns[0]->ResultName, "Average Of Abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(query->ResultTable->PhysicalFields()[1].Name, "Average Of Abcdefghijklmnopqrs");
}

// --- Names and life of the table -------------------------------------------------------------------------

TEST_F(ResultTable, AnIntoNameResolvesAgainstThePathTheSessionOrTheCurrentDirectory) {
    std::filesystem::create_directory("sub");
    std::filesystem::create_directory("private");
    const std::string here = engine::AddTrailingBackslash(engine::CurrentDirectory());
    struct Case {
        std::string text;
        std::string sessionDirectory;
        std::string fileName;
        bool inMemory;
    };
    const std::vector<Case> cases = {
        {"SELECT X INTO \"sub/R\" FROM T", "private/", "sub/R.DAT", false},
        {"SELECT X INTO R FROM T", "private", "private/R.DAT", false},
        {"SELECT X INTO R FROM T", "", here + "R.DAT", false},
        {"SELECT X INTO MEMORY M FROM T", "private/", "private/M.DAT", true},
        {"SELECT X INTO MEMORY M FROM T", "", "M.DAT", true},
    };
    engine::TFileSession& session = engine::GetEngineSession();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " in '" + c.sessionDirectory + "'");
        session.SetDirectory(c.sessionDirectory);
        {
            const auto query = Bound(c.text);
            EXPECT_EQ(query->ResultTable->FileName(), c.fileName);
            EXPECT_EQ(query->ResultTable->InMemory(), c.inMemory);
            EXPECT_FALSE(query->ResultTable->Temporary());
        }
        session.SetDirectory("");
        // The named table outlives its statement.
        if (!c.inMemory) EXPECT_TRUE(OpensExclusively(c.fileName));
    }
    // The tables under sub/ and private/ are checked too.
    EXPECT_TRUE(enginetest::AreCleanTables("sub"));
    EXPECT_TRUE(enginetest::AreCleanTables("private"));
}

TEST_F(ResultTable, ATemporaryResultGoesWithItsStatement) {
    const std::set<std::string> before = sqltest::FilesIn();
    {
        const auto query = Bound("SELECT DISTINCT X FROM T");
        EXPECT_NE(sqltest::FilesIn(), before);
        EXPECT_TRUE(engine::DiskFileExists(query->ResultTable->FileName()));
    }
    EXPECT_EQ(sqltest::FilesIn(), before);
    const auto memory = Bound("SELECT X INTO MEMORY M FROM T ORDER BY X");
    EXPECT_TRUE(memory->ResultTable->InMemory());
}

TEST_F(ResultTable, AnEncryptedResultIsProtectedAndTheSessionKeepsItsPasswords) {
    engine::TFileSession& session = engine::GetEngineSession();
    {
        const auto query = Bound("SELECT X INTO E FROM T ENCRYPTED WITH secret");
        EXPECT_TRUE(query->ResultTable->GetEncrypted());
        EXPECT_FALSE(session.FindPassword("secret"));
    }
    engine::TDataFile probe;
    probe.SetFileName("E");
    EXPECT_EQ(enginetest::EngineCode([&] { probe.Open(); }), 10498);
    // A password the session had stays there.
    session.AddPassword("kept");
    Bound("SELECT X INTO K FROM T ENCRYPTED WITH kept");
    EXPECT_TRUE(session.FindPassword("kept"));
    session.RemoveAllPasswords();
}

// Fails the second open of the handle, the one after its creation, with a read error.
class FailingSecondOpen : public engine::TDataFile {
public:
    using TDataFile::TDataFile;
    void Open() override {
        if (++opens_ == 2 && !InMemory())
            EXPECT_TRUE(engine::ArmIoFault(engine::IoCall::Read, FileName(), 1, EIO));
        TDataFile::Open();
    }

private:
    int opens_ = 0;
};

TEST_F(ResultTable, AFailedOpenRemovesThePasswordItAddedAndTheTemporaryFiles) {
    engine::TFileSession& session = engine::GetEngineSession();
    const std::set<std::string> before = sqltest::FilesIn();
    for (const std::string text :
         {"SELECT X FROM T ENCRYPTED WITH secret", "SELECT DISTINCT X, Y FROM T, U"}) {
        SCOPED_TRACE(text);
        {
            TDataQuery query;
            query.ResultTable = std::make_unique<FailingSecondOpen>(&query);
            EXPECT_NE(enginetest::EngineCode([&] { query.Prepare(text); }), 0);
            engine::DisarmIoFault();
            EXPECT_FALSE(session.FindPassword("secret"));
            EXPECT_FALSE(query.ResultTable->IsOpen());
        }
        EXPECT_EQ(sqltest::FilesIn(), before);
        EXPECT_TRUE(OpensExclusively("T"));
        EXPECT_TRUE(OpensExclusively("U"));
    }
}

TEST_F(ResultTable, AFailedBindLeavesNoFileAndFreesEveryTable) {
    const std::set<std::string> before = sqltest::FilesIn();
    {
        TDataQuery query;
        EXPECT_FALSE(sqltest::SqlError([&] { query.Prepare("SELECT Nope FROM T, U"); }).empty());
        EXPECT_TRUE(query.Sources[0]->Table->IsOpen());
        EXPECT_TRUE(query.Sources[1]->Table->IsOpen());
    }
    EXPECT_EQ(sqltest::FilesIn(), before);
    EXPECT_TRUE(OpensExclusively("T"));
    EXPECT_TRUE(OpensExclusively("U"));
}

// The reserved temporary file goes again when the engine refuses the result's definition.
TEST_F(ResultTable, ADefinitionTheEngineRefusesLeavesNoReservedFile) {
    const std::set<std::string> before = sqltest::FilesIn();
    struct Case {
        std::string text;
        int code;
    };
    const std::vector<Case> cases = {
        {"SELECT X AS \"_x\" FROM T", 10038},       // a field name must start with a letter
        {"SELECT X FROM T ENCRYPTED WITH", 10015},  // a protected table needs a password
    };
    for (const Case& c : cases) {
        TDataQuery query;
        EXPECT_EQ(enginetest::EngineCode([&] { query.Prepare(c.text); }), c.code) << c.text;
        EXPECT_EQ(sqltest::FilesIn(), before) << c.text;
    }
}

// --- Safety ---------------------------------------------------------------------------------------------

std::int64_t SameThreadId() {
    return 4242424;
}

// Two programs whose temporary names would be the same reserve distinct files and cut neither.
TEST_F(ResultTable, TwoProgramsPreparingAtOnceGetDistinctFiles) {
    const engine::ThreadIdSource previous = engine::SetThreadIdSource(&SameThreadId);
    const std::set<std::string> before = sqltest::FilesIn();
    {
        const auto mine = Bound("SELECT DISTINCT X FROM T");
        const std::string myName = mine->ResultTable->FileName();
        const auto mySize = std::filesystem::file_size(myName);
        ASSERT_GT(mySize, 0u);
        int report[2];
        ASSERT_EQ(pipe(report), 0);
        const pid_t child = fork();
        if (child == 0) {
            // The other program: its own statement over the same tables, its file's name and size reported.
            close(report[0]);
            int code = 1;
            try {
                TDataQuery other;
                if (other.Prepare("SELECT DISTINCT Y FROM T") == 0) {
                    const std::string line =
                        other.ResultTable->FileName() + " " +
                        std::to_string(std::filesystem::file_size(other.ResultTable->FileName())) + "\n";
                    code = write(report[1], line.data(), line.size()) == static_cast<ssize_t>(line.size())
                               ? 0
                               : 2;
                }
            } catch (...) {
                code = 3;
            }
            _exit(code);
        }
        close(report[1]);
        std::string line;
        char buffer[512];
        for (ssize_t got; (got = read(report[0], buffer, sizeof buffer)) > 0;)
            line.append(buffer, static_cast<std::size_t>(got));
        close(report[0]);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        const std::string otherName = line.substr(0, line.find(' '));
        EXPECT_NE(otherName, myName);
        EXPECT_NE(std::stoul(line.substr(line.find(' ') + 1)), 0u);
        EXPECT_EQ(std::filesystem::file_size(myName), mySize);
        // The other program's statement was freed with it: its temporary file went.
        EXPECT_FALSE(engine::DiskFileExists(otherName));
    }
    engine::SetThreadIdSource(previous);
    EXPECT_EQ(sqltest::FilesIn(), before);
}

TEST_F(ResultTable, IntoATableSomebodyHoldsFailsAndLeavesItWhole) {
    Bound("SELECT X, Y INTO H FROM T");
    const std::string held = FileBytes("H.DAT");
    const std::string source = FileBytes("T.DAT");
    {
        enginetest::HolderProcess holder(enginetest::HolderProcess::TableMode{}, "H");
        ASSERT_TRUE(holder.Ready()) << holder.Greeting();
        EXPECT_EQ(enginetest::EngineCode([] { Bound("SELECT X INTO H FROM T"); }), 11013);
        EXPECT_EQ(holder.Release(), 0);
    }
    EXPECT_EQ(FileBytes("H.DAT"), held);
    // The statement's own source table is held by the statement itself.
    EXPECT_EQ(enginetest::EngineCode([] { Bound("SELECT * INTO T FROM T"); }), 11013);
    EXPECT_EQ(FileBytes("T.DAT"), source);
    // A closed table is replaced.
    const auto replaced = Bound("SELECT Y INTO H FROM T");
    EXPECT_EQ(replaced->ResultTable->PhysicalFields().size(), 2u);
}

}  // namespace
