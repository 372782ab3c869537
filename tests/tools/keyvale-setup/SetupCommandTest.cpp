#include "tools/keyvale-setup/SetupCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/file/JournalLayout.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/tools/keyvale-setup/SetupFixture.h"
#include "tests/tools/keyvale-setup/SetupTables.h"
#include "tools/keyvale-setup/SetupTexts.h"

namespace setuptest {
namespace {

using keyvalesetup::ParsedArguments;
using keyvalesetup::ParseSetupArguments;

std::vector<std::string> TableNames(const keyvalesetup::SetupOptions& options) {
    std::vector<std::string> names;
    for (const keyvalesetup::TableSpec* table : options.tables) names.push_back(table->name);
    return names;
}

TEST(SetupArguments, OptionsDirectoryAndTablesAreRead) {
    const std::vector<std::string> arguments = {"--force",           "--seed", "18446744073709551615",
                                                "--invsort-records", "50",     "dir",
                                                "numeric",           "config", "numeric"};
    const ParsedArguments parsed = ParseSetupArguments(arguments);
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_TRUE(parsed.options->force);
    EXPECT_EQ(parsed.options->seed, 18446744073709551615u);
    EXPECT_EQ(parsed.options->invsortRecords, 50);
    EXPECT_EQ(parsed.options->directory, "dir");
    // In creation order, each once: config before numeric, which reads its width.
    EXPECT_EQ(TableNames(*parsed.options), (std::vector<std::string>{"config", "numeric"}));

    const ParsedArguments plain = ParseSetupArguments(std::vector<std::string>{"dir"});
    ASSERT_TRUE(plain.options);
    EXPECT_FALSE(plain.options->force);
    EXPECT_FALSE(plain.options->seed);
    EXPECT_EQ(plain.options->invsortRecords, 2000);
    EXPECT_EQ(TableNames(*plain.options),
              (std::vector<std::string>{"config", "results", "invsort", "numeric"}));
}

TEST(SetupArguments, BadArgumentsAreRefusedWithTheReason) {
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{}, "no DIR given"},
        {{"--force"}, "no DIR given"},
        {{"dir", "Config"}, "unknown table Config"},
        {{"dir", "invsort.dat"}, "unknown table invsort.dat"},
        {{"--verbose", "dir"}, "unknown option --verbose"},
        {{"dir", "--seed"}, "--seed needs a value"},
        {{"--seed", "-1", "dir"}, "--seed takes a whole number from 0 to 18446744073709551615, not -1"},
        {{"--seed", "12x", "dir"}, "--seed takes a whole number from 0 to 18446744073709551615, not 12x"},
        {{"--invsort-records", "49", "dir"}, "--invsort-records takes a number from 50 to 100000, not 49"},
        {{"--invsort-records", "100001", "dir"},
         "--invsort-records takes a number from 50 to 100000, not 100001"},
        {{"--invsort-records", "", "dir"}, "--invsort-records takes a number from 50 to 100000, not "},
    };
    for (const auto& c : cases) {
        const ParsedArguments parsed = ParseSetupArguments(c.arguments);
        EXPECT_FALSE(parsed.options);
        EXPECT_EQ(parsed.error, c.error);
    }
}

TEST_F(SetupTest, BadArgumentsExitTwoWithTheUsageAndTouchNothing) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {Program().string(), "everything"}, {"--invsort-records", "20", "x"}}) {
        const SetupRun run = Run(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(keyvalesetup::texts::kUsage), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(Program()));
}

TEST_F(SetupTest, AnUnusableDirectoryFailsAndLeavesNothing) {
    // A regular file where the directory should be.
    std::ofstream(Program()) << "not a directory";
    SetupRun run = RunOnProgram({});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("is not a directory"), std::string::npos) << run.err;
    std::filesystem::remove(Program());

    // A directory without write permission; root writes anyway, so there it proves nothing.
    std::filesystem::create_directory(Program());
    chmod(Program().c_str(), 0555);
    if (access(Program().c_str(), W_OK) != 0) {
        run = RunOnProgram({});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("config.dat"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("numeric.dat"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(ProgramFiles(), std::vector<std::string>{});
    }
    chmod(Program().c_str(), 0755);
}

TEST_F(SetupTest, ALoneRecordFileIsIncomplete) {
    std::filesystem::create_directory(Program());
    std::ofstream(Program() / "config.DAT") << "half a table";
    const SetupRun run = RunOnProgram({}, {"config"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "keyvale-setup: config.dat: incomplete: config.IDX missing; --force recreates it\n");
    EXPECT_EQ(ReadWhole(Program() / "config.DAT"), "half a table");
    // Keep the damaged file away from the clean-table check.
    std::filesystem::remove(Program() / "config.DAT");
}

TEST_F(SetupTest, ASecondRunKeepsTheFilesByteForByte) {
    SetupRun run = RunOnProgram({}, {"results"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "created results.dat (0 records)\n");
    EXPECT_EQ(ProgramFiles(),
              (std::vector<std::string>{"results.BLB", "results.DAT", "results.IDX", "results.JNL"}));
    std::vector<std::string> before;
    for (const std::string& name : ProgramFiles()) before.push_back(ReadWhole(Program() / name));

    run = RunOnProgram({}, {"results"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "kept results.dat (exists; --force recreates it)\n");
    EXPECT_EQ(run.err, "");
    std::vector<std::string> after;
    for (const std::string& name : ProgramFiles()) after.push_back(ReadWhole(Program() / name));
    EXPECT_EQ(after, before);
}

TEST_F(SetupTest, ForceOnATableAnotherProgramHoldsKeepsItAndDoesTheOthers) {
    ASSERT_EQ(RunOnProgram({"--invsort-records", "50"}).status, 0);
    const std::string before = ReadWhole(Program() / "results.DAT");
    {
        enginetest::HolderProcess holder(InProgram("results"), "shared", "read", 60000, true);
        ASSERT_TRUE(holder.Ready()) << holder.Greeting();
        const SetupRun run = RunOnProgram({"--force", "--invsort-records", "50"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind("keyvale-setup: results.dat: TARNIS Engine Error # ", 0), 0u) << run.err;
        EXPECT_EQ(run.out,
                  "created config.dat (1 record)\n"
                  "created invsort.dat (50 records)\n"
                  "created numeric.dat (200 records)\n");
        holder.Release();
    }
    EXPECT_EQ(ReadWhole(Program() / "results.DAT"), before);
    auto results = OpenTable(InProgram("results.dat"));
    EXPECT_EQ(results->RecordCount(), 0);
}

// A journal belongs to its table: one left beside an incomplete table is never put back into the new one.
TEST_F(SetupTest, ForceDeletesTheJournalOfTheTableItRenews) {
    std::filesystem::create_directory(Program());
    std::ofstream(Program() / "config.DAT") << "half a table";
    std::array<std::uint8_t, engine::JournalHeaderSize> open{};
    engine::EncodeJournalHeader({engine::JournalState::Open, 1}, open);
    std::ofstream(Program() / "config.JNL", std::ios::binary)
        .write(reinterpret_cast<const char*>(open.data()), static_cast<std::streamsize>(open.size()));
    const SetupRun run = RunOnProgram({"--force"}, {"config"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(ReadWhole(Program() / "config.JNL").substr(0, open.size()),
              std::string(open.begin(), open.end()));
    auto config = OpenTable(InProgram("config.dat"));
    EXPECT_EQ(config->RecordCount(), 1);
}

TEST_F(SetupTest, ForceRecreatesAnIncompleteTable) {
    std::filesystem::create_directory(Program());
    std::ofstream(Program() / "config.DAT") << "half a table";
    const SetupRun run = RunOnProgram({"--force"}, {"config"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "created config.dat (1 record)\n");
    EXPECT_EQ(ProgramFiles(), (std::vector<std::string>{"config.DAT", "config.IDX", "config.JNL"}));
    auto config = OpenTable(InProgram("config.dat"));
    EXPECT_EQ(config->RecordCount(), 1);
}

TEST_F(SetupTest, ForceRenewsOnlyTheTableNamed) {
    ASSERT_EQ(RunOnProgram({"--invsort-records", "50", "--seed", "1"}).status, 0);
    const auto snapshot = [this] {
        std::vector<std::string> contents;
        for (const std::string& name : ProgramFiles()) {
            if (name.rfind("numeric.", 0) != 0) contents.push_back(ReadWhole(Program() / name));
        }
        return contents;
    };
    const std::vector<std::string> others = snapshot();
    std::vector<std::string> before;
    {
        auto numeric = OpenTable(InProgram("numeric.dat"));
        before = Column(*numeric, "n1");
    }

    const SetupRun run = RunOnProgram({"--force", "--seed", "2"}, {"numeric"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "created numeric.dat (200 records)\n");
    EXPECT_EQ(snapshot(), others);
    auto numeric = OpenTable(InProgram("numeric.dat"));
    EXPECT_EQ(numeric->RecordCount(), 200);
    EXPECT_NE(Column(*numeric, "n1"), before);
}

TEST_F(SetupTest, NumericWithoutConfigFailsAndLeavesNothing) {
    const SetupRun run = RunOnProgram({}, {"numeric"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("keyvale-setup: numeric.dat: numeric.dat takes its width from config.dat: ", 0),
              0u)
        << run.err;
    EXPECT_EQ(ProgramFiles(), std::vector<std::string>{});
}

TEST_F(SetupTest, ASeedGivesTheSameRecordsAndAnotherSeedOthers) {
    const auto setUp = [this](const std::string& directory, const std::string& seed) {
        const SetupRun run = Run({"--seed", seed, "--invsort-records", "50", InProgram(directory)});
        EXPECT_EQ(run.status, 0) << run.err;
    };
    setUp("a", "7");
    setUp("b", "7");
    setUp("c", "8");
    const auto records = [this](const std::string& directory, const std::string& table,
                                const std::string& index, const std::vector<std::string>& fields) {
        auto opened = OpenTable(InProgram(directory + "/" + table), index);
        std::vector<std::vector<std::string>> columns;
        for (const std::string& field : fields) columns.push_back(Column(*opened, field));
        return columns;
    };
    const std::vector<std::string> invsortFields = {"idxkey", "date", "invoice", "amount", "FIRST", "STREET"};
    EXPECT_EQ(records("a", "invsort.dat", "", invsortFields), records("b", "invsort.dat", "", invsortFields));
    EXPECT_EQ(records("a", "numeric.dat", "", {"n1", "nd25"}),
              records("b", "numeric.dat", "", {"n1", "nd25"}));
    EXPECT_NE(records("a", "invsort.dat", "idxkey", {"recordid"}),
              records("c", "invsort.dat", "idxkey", {"recordid"}));
    for (const char* directory : {"a", "b", "c"}) {
        EXPECT_TRUE(enginetest::AreCleanTables(Program() / directory)) << directory;
    }
}

}  // namespace
}  // namespace setuptest
