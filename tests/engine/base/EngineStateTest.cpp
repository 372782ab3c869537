#include "engine/base/EngineState.h"

#include <gtest/gtest.h>

#include <thread>

#include "rtl/Random.h"

namespace {

TEST(EngineState, SessionRoutinesRaiseWhenNotStarted) {
    ASSERT_FALSE(engine::EngineStarted());
    EXPECT_EQ(engine::CurrentEngineSession(), nullptr);
    EXPECT_THROW(engine::GetEngineSession(), engine::ETARNISEngineError);
    EXPECT_THROW(engine::SetSessionDirectory("/data"), engine::ETARNISEngineError);
    EXPECT_THROW(engine::GetSessionDirectory(), engine::ETARNISEngineError);
}

TEST(EngineState, StartAndStopAreIdempotent) {
    engine::InitializeEngine();
    engine::TFileSession* const first = &engine::GetEngineSession();
    engine::SetSessionDirectory("/data/keyvale");
    engine::InitializeEngine();
    EXPECT_EQ(&engine::GetEngineSession(), first);
    EXPECT_EQ(engine::GetSessionDirectory(), "/data/keyvale");
    engine::FinalizeEngine();
    engine::FinalizeEngine();
    EXPECT_FALSE(engine::EngineStarted());
    EXPECT_EQ(engine::CurrentEngineSession(), nullptr);
}

TEST(EngineState, FinalizeFreesOnlyTheGlobalSession) {
    std::unique_ptr<engine::TFileSession> own = engine::CreateFileSession();
    {
        engine::EngineGuard engine;
        engine::SetEngineSession(own.get());
        engine::SetSessionDirectory("/own");
    }
    EXPECT_EQ(engine::CurrentEngineSession(), nullptr);
    // Still alive: the sanitizer would report a use after free here.
    EXPECT_EQ(own->Directory(), "/own");
    own->MemoryFiles().FileExists("X.DAT");
    engine::FreeFileSession(own);
    EXPECT_EQ(own, nullptr);
}

TEST(EngineState, RestartGivesAFreshSession) {
    {
        engine::EngineGuard engine;
        engine::SetSessionDirectory("/first");
    }
    engine::EngineGuard engine;
    EXPECT_EQ(engine::GetSessionDirectory(), "");
}

TEST(EngineState, FreeingTheCurrentSessionLeavesNoneCurrent) {
    engine::EngineGuard engine;
    std::unique_ptr<engine::TFileSession> own = engine::CreateFileSession();
    engine::SetEngineSession(own.get());
    engine::FreeFileSession(own);
    EXPECT_EQ(engine::CurrentEngineSession(), nullptr);
    EXPECT_THROW(engine::GetEngineSession(), engine::ETARNISEngineError);
}

// The generator is seeded once per process, so a seed set after starting the engine survives a restart.
TEST(EngineState, RestartLeavesTheRandomSeedAlone) {
    engine::InitializeEngine();
    rtl::SetRandSeed(12345);
    engine::FinalizeEngine();
    engine::EngineGuard engine;
    EXPECT_EQ(rtl::RandSeed(), 12345u);
}

TEST(EngineState, CriticalSectionsNestAndExcludeOtherThreads) {
    engine::FileSectionGuard outer;
    engine::FileSectionGuard inner;  // the file layer re-enters it through the temporary-name probe
    bool taken = true;
    std::thread other([&] { taken = engine::FileCriticalSection().try_lock(); });
    other.join();
    EXPECT_FALSE(taken);
}

}  // namespace
