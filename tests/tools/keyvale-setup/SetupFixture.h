// The base of keyvale-setup's tests: a session runtime in a fresh directory, the program directory "prog"
// beside a working directory "elsewhere", and checks of the tables left in "prog".
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/components/support/SessionFixture.h"
#include "tests/engine/support/TableChecker.h"
#include "tests/tools/keyvale-setup/SetupProgram.h"

namespace setuptest {

class SetupTest : public componenttest::SessionTest {
protected:
    void SetUp() override {
        std::filesystem::create_directory(Elsewhere());
        std::filesystem::create_directory(Scratch());
    }

    void TearDown() override {
        if (std::filesystem::is_directory(Program())) {
            EXPECT_TRUE(enginetest::AreCleanTables(Program()));
        }
        componenttest::SessionTest::TearDown();
    }

    std::filesystem::path Program() const { return directory_.Path() / "prog"; }
    std::filesystem::path Elsewhere() const { return directory_.Path() / "elsewhere"; }
    std::filesystem::path Scratch() const { return directory_.Path() / "scratch"; }
    // An engine name of a file in the program directory.
    std::string InProgram(const std::string& name) const { return (Program() / name).string(); }

    // The command with these arguments, run from "elsewhere".
    SetupRun Run(const std::vector<std::string>& arguments) const {
        return RunSetupProgram(arguments, Elsewhere(), Scratch());
    }
    // The command on the program directory, with the options and tables given.
    SetupRun RunOnProgram(std::vector<std::string> options,
                          const std::vector<std::string>& tables = {}) const {
        options.push_back(Program().string());
        options.insert(options.end(), tables.begin(), tables.end());
        return Run(options);
    }

    // The names of the files in the program directory, sorted.
    std::vector<std::string> ProgramFiles() const {
        std::vector<std::string> names;
        if (!std::filesystem::is_directory(Program())) return names;
        for (const auto& entry : std::filesystem::directory_iterator(Program())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace setuptest
