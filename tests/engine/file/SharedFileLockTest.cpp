#include "engine/file/SharedFileLock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/EngineState.h"
#include "engine/file/FileHandler.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/engine/support/TempDirectory.h"

namespace {

using engine::LockRetryPolicy;
using engine::TFileHandler;
using engine::TSharedFileLock;

constexpr std::int64_t ReaderByte(std::int64_t r) {
    return engine::ReadLockTop - r;
}

class SharedFileLockTest : public ::testing::Test {
protected:
    SharedFileLockTest() {
        TFileHandler creator;
        creator.SetFileName("locks.IDX");
        creator.SetExclusive(true);
        creator.CreateFile();
    }

    std::unique_ptr<TFileHandler> Open(bool exclusive = false) {
        auto file = std::make_unique<TFileHandler>();
        file->SetFileName("locks.IDX");
        file->SetExclusive(exclusive);
        file->Open();
        return file;
    }

    // Counts the sleeps and adds up their waits, and answers the draws in turn, the last one again once they
    // run out.
    LockRetryPolicy Counting(int retries, std::vector<std::int32_t> draws = {7}) {
        LockRetryPolicy policy;
        policy.Retries = retries;
        policy.Sleep = [this](std::chrono::microseconds wait) {
            ++sleeps_;
            waited_ += wait;
            EXPECT_LE(wait, std::chrono::milliseconds(engine::LockRetrySleepMs));
        };
        policy.Random = [this, draws](std::int32_t range) {
            EXPECT_EQ(range, engine::ReadSlotRange);
            const std::size_t at = std::min(draws_.size(), draws.size() - 1);
            draws_.push_back(draws[at]);
            return draws[at];
        };
        return policy;
    }

    engine::EngineGuard engine_;
    enginetest::TempDirectory directory_;
    int sleeps_ = 0;
    std::chrono::microseconds waited_{0};
    std::vector<std::int32_t> draws_;
};

TEST_F(SharedFileLockTest, AReaderInAnotherProgramMakesAWriterGiveUpAfterItsWholeWait) {
    enginetest::HolderProcess holder("locks.IDX", "shared", "write");
    ASSERT_TRUE(holder.Ready());
    ASSERT_TRUE(holder.Lock(ReaderByte(12345), 1));
    auto file = Open();
    TSharedFileLock locks(*file);
    locks.SetRetryPolicy(Counting(engine::LockRetries));
    EXPECT_FALSE(locks.LockWrite());
    EXPECT_EQ(waited_, engine::LockRetries * std::chrono::milliseconds(engine::LockRetrySleepMs));
    // The waits start short: a few more tries than steps.
    EXPECT_GT(sleeps_, engine::LockRetries);
    EXPECT_LT(sleeps_, engine::LockRetries + 8);
    EXPECT_FALSE(locks.WriteHeld());
    // Once the reader goes, the writer's range is free, and another program's reader waits for it.
    ASSERT_TRUE(holder.Unlock(ReaderByte(12345), 1));
    EXPECT_TRUE(locks.LockWrite());
    EXPECT_FALSE(holder.Lock(ReaderByte(1), 1));
    EXPECT_FALSE(holder.Lock(ReaderByte(65534), 1));
    EXPECT_TRUE(locks.UnlockWrite());
    EXPECT_TRUE(holder.Lock(ReaderByte(1), 1));
}

TEST_F(SharedFileLockTest, AReaderDrawsAFreshByteForEveryTry) {
    auto writerFile = Open();
    TSharedFileLock writer(*writerFile);
    writer.SetRetryPolicy(Counting(0));
    ASSERT_TRUE(writer.LockWrite());
    auto file = Open();
    TSharedFileLock reader(*file);
    reader.SetRetryPolicy(Counting(3, {5, 6, 7, 8}));
    EXPECT_FALSE(reader.LockRead());
    // Three steps of 3 ms: waits of 0.25, 0.5, 1, 2, 3 and 2.25 ms, seven tries.
    EXPECT_EQ(draws_, (std::vector<std::int32_t>{5, 6, 7, 8, 8, 8, 8}));
    EXPECT_EQ(sleeps_, 6);
    ASSERT_TRUE(writer.UnlockWrite());

    // A draw of 0 takes byte 0x7FFFFFFE; the byte is kept for the unlock.
    reader.SetRetryPolicy(Counting(3, {0}));
    ASSERT_TRUE(reader.LockRead());
    EXPECT_EQ(reader.ReadSlot(), 1);
    EXPECT_FALSE(writerFile->LockRange(0x7FFFFFFE, 1, true));
    EXPECT_FALSE(writer.LockWrite());
    EXPECT_TRUE(reader.UnlockRead());
    EXPECT_EQ(reader.ReadSlot(), 0);
    EXPECT_TRUE(writerFile->LockRange(0x7FFFFFFE, 1, true));
}

TEST_F(SharedFileLockTest, HeldLocksAndMissingUnlocksSucceedAtOnce) {
    auto file = Open();
    TSharedFileLock locks(*file);
    locks.SetRetryPolicy(Counting(0, {9, 10}));
    EXPECT_TRUE(locks.UnlockRead());
    EXPECT_TRUE(locks.UnlockWrite());
    ASSERT_TRUE(locks.LockRead());
    ASSERT_TRUE(locks.LockRead());
    EXPECT_EQ(draws_.size(), 1u);
    EXPECT_EQ(locks.ReadSlot(), 9);
    // Closing the file drops its locks; the object forgets them with it.
    file->Close();
    locks.Forget();
    EXPECT_FALSE(locks.ReadHeld());
    file->Open();
    EXPECT_TRUE(locks.LockWrite());
}

TEST_F(SharedFileLockTest, AnExclusiveFileTakesNoLock) {
    auto file = Open(true);
    TSharedFileLock locks(*file);
    locks.SetRetryPolicy(Counting(0));
    EXPECT_TRUE(locks.LockRead());
    EXPECT_TRUE(locks.LockWrite());
    EXPECT_TRUE(locks.WriteHeld());
    EXPECT_TRUE(locks.ReadHeld());
    EXPECT_TRUE(locks.UnlockWrite());
    EXPECT_TRUE(locks.UnlockRead());
}

}  // namespace
