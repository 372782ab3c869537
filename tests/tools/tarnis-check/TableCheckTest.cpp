#include "tools/tarnis-check/TableCheck.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome RunCommand(std::vector<std::string_view> arguments) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = tarnischeck::RunTarnisCheck(arguments, out, err);
    return {status, out.str(), err.str()};
}

using TableCheckTest = TableTest;

TEST_F(TableCheckTest, FileNamesComeFromTheBaseNameOrAnyFileName) {
    for (const char* name : {"dir/t", " dir/t.IDX ", "dir/t.blb", "dir/t.DAT"}) {
        const tarnischeck::TableFiles files = tarnischeck::TableFileNames(name);
        EXPECT_EQ(files.DataFile, "dir/t.DAT") << name;
        EXPECT_EQ(files.IndexFile, "dir/t.IDX") << name;
        EXPECT_EQ(files.BlobFile, "dir/t.BLB") << name;
    }
}

TEST_F(TableCheckTest, TheCommandAnswersZeroOneOrTwo) {
    CreateSimpleTable("t");
    Outcome clean = RunCommand({"t.idx"});
    EXPECT_EQ(clean.status, tarnischeck::ExitClean);
    EXPECT_EQ(clean.out, "");

    fs::create_directory("crafted");
    CreateSimpleTable("crafted/d");
    PatchFile("crafted/d.DAT", 8, 1, 4);
    Outcome damaged = RunCommand({"crafted/d"});
    EXPECT_EQ(damaged.status, tarnischeck::ExitErrors);
    EXPECT_EQ(damaged.out, "error: crafted/d.DAT: header: the version is 4, not 3\n");

    // Warnings alone leave the status at 0.
    PatchFile("crafted/d.DAT", 8, 1, 3);
    PatchFile("crafted/d.DAT", 120, 1, 1);
    Outcome warned = RunCommand({"crafted/d"});
    EXPECT_EQ(warned.status, tarnischeck::ExitClean);
    EXPECT_EQ(warned.out, "warning: crafted/d.DAT: header: bytes 114 to 126 are not all zero\n");

    Outcome missing = RunCommand({"nothing"});
    EXPECT_EQ(missing.status, tarnischeck::ExitUnreadable);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("cannot read nothing.DAT"), std::string::npos) << missing.err;

    for (const std::vector<std::string_view>& wrong :
         {std::vector<std::string_view>{}, std::vector<std::string_view>{"t", "u"}, {"  "}}) {
        Outcome usage = RunCommand(wrong);
        EXPECT_EQ(usage.status, tarnischeck::ExitUnreadable);
        EXPECT_EQ(usage.err, "usage: tarnis-check TABLE\n");
    }
}

TEST_F(TableCheckTest, ATableHeldExclusivelyCannotBeRead) {
    CreateSimpleTable("t");
    engine::TDataFile holder;
    holder.SetFileName("t");
    holder.SetExclusive(true);
    holder.SetReadOnly(true);
    holder.Open();
    Outcome held = RunCommand({"t"});
    EXPECT_EQ(held.status, tarnischeck::ExitUnreadable);
    EXPECT_NE(held.err.find("Access denied"), std::string::npos) << held.err;
    holder.Close();
    EXPECT_EQ(RunCommand({"t"}).status, tarnischeck::ExitClean);
}

TEST_F(TableCheckTest, TheProgramExitsWithTheCommandsStatus) {
    CreateSimpleTable("t");
    fs::create_directory("crafted");
    CreateSimpleTable("crafted/d");
    PatchFile("crafted/d.DAT", NextSlotAt, 4, 3);
    const std::string program = KEYVALE_TARNIS_CHECK;
    auto exitStatus = [&](const std::string& table) {
        const int status = std::system(("\"" + program + "\" " + table + " >/dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(exitStatus("t"), 0);
    EXPECT_EQ(exitStatus("crafted/d"), 1);
    EXPECT_EQ(exitStatus("missing"), 2);
}

}  // namespace
