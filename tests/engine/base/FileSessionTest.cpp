#include "engine/base/FileSession.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/base/EngineState.h"
#include "tests/engine/support/TempDirectory.h"

namespace {

namespace fs = std::filesystem;

class TempFileNameTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = engine::SetThreadIdSource([]() -> std::int64_t { return 42; });
    }
    void TearDown() override { engine::SetThreadIdSource(previous_); }

    engine::EngineGuard engine_;
    enginetest::TempDirectory directory_;
    engine::ThreadIdSource previous_ = nullptr;
};

TEST_F(TempFileNameTest, DiskNamesAreReservedInTheCurrentDirectory) {
    engine::TFileSession& session = engine::GetEngineSession();
    const std::string first = session.GetTempFileName(false);
    EXPECT_EQ(first, fs::current_path().string() + "/420.DAT");
    ASSERT_TRUE(fs::exists(first));
    EXPECT_EQ(fs::file_size(first), 0u);
    EXPECT_EQ(session.GetTempFileName(false), fs::current_path().string() + "/421.DAT");
}

TEST_F(TempFileNameTest, MemoryNamesHaveNoDirectoryAndSkipExistingFiles) {
    engine::TFileSession& session = engine::GetEngineSession();
    EXPECT_EQ(session.GetTempFileName(true), "420.DAT");
    engine::TMemoryFile* file = nullptr;
    ASSERT_GT(session.MemoryFiles().CreateFile("420.dat", file), 0);
    EXPECT_EQ(session.GetTempFileName(true), "421.DAT");
    EXPECT_FALSE(fs::exists("420.DAT"));
}

TEST_F(TempFileNameTest, SessionDirectoryIsTrimmedAndGetsASeparator) {
    engine::TFileSession& session = engine::GetEngineSession();
    session.SetDirectory("  " + directory_.Path().string() + "  ");
    EXPECT_EQ(session.GetTempFileName(false), directory_.Path().string() + "/420.DAT");
    session.SetDirectory("mem\\");
    EXPECT_EQ(session.GetTempFileName(true), "mem\\420.DAT");
}

TEST_F(TempFileNameTest, ThreadIdIsMadeNonNegativeAndCutToFiveDigits) {
    engine::SetThreadIdSource([]() -> std::int64_t { return -1234567; });
    EXPECT_EQ(engine::GetEngineSession().GetTempFileName(true), "123450.DAT");
}

TEST_F(TempFileNameTest, NameOver255CharactersRaisesInsteadOfBeingCut) {
    engine::TFileSession& session = engine::GetEngineSession();
    session.SetDirectory(std::string(248, 'd'));
    try {
        session.GetTempFileName(true);
        FAIL();
    } catch (const engine::ETARNISEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), 11010);
    }
}

TEST_F(TempFileNameTest, UnwritableDirectoryRaisesWithTheSystemError) {
    engine::TFileSession& session = engine::GetEngineSession();
    session.SetDirectory("missing/dir");
    try {
        session.GetTempFileName(false);
        FAIL();
    } catch (const engine::ETARNISEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), 11047);
        EXPECT_EQ(e.Errors()[0].Message,
                  "An unknown operating system error #2 occurred with data file missing/dir/420.DAT");
    }
}

TEST_F(TempFileNameTest, FullCycleRaisesInsteadOfLooping) {
    for (int counter = 0; counter <= 0xFFFF; ++counter) {
        const std::string name = "42" + std::to_string(counter) + ".DAT";
        close(open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    }
    try {
        engine::GetEngineSession().GetTempFileName(false);
        FAIL();
    } catch (const engine::ETARNISEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), 11047);
        EXPECT_EQ(engine::CurrentErrorContext().FileName, fs::current_path().string() + "/4265535.DAT");
    }
}

TEST(FileSession, DirectoryKeepsAtMost255Characters) {
    engine::TFileSession session;
    session.SetDirectory(std::string(300, 'x'));
    EXPECT_EQ(session.Directory().size(), 255u);
}

}  // namespace
