#include "components/SessionRuntime.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/base/EngineState.h"
#include "rtl/Component.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/engine/support/TempDirectory.h"

namespace {

using components::Session;
using components::SessionRuntime;
using components::Sessions;
using components::TTARNISSession;

// Writes down the name of each session as it is freed, and whether the engine was still running then.
class FreeRecorder : public rtl::TComponent {
public:
    void Watch(rtl::TComponent& component) { FreeNotification(&component); }

    std::vector<std::pair<std::string, bool>> freed;

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override {
        rtl::TComponent::Notification(component, operation);
        if (operation == rtl::opRemove) freed.emplace_back(component->Name(), engine::EngineStarted());
    }
};

void ExpectNothingLeft() {
    EXPECT_FALSE(SessionRuntime::Exists());
    EXPECT_FALSE(engine::EngineStarted());
    EXPECT_EQ(engine::CurrentEngineSession(), nullptr);
    EXPECT_EQ(enginetest::EngineCode([] { engine::GetEngineSession(); }), engine::ErrEngineNotInitialized);
    EXPECT_THROW(Sessions(), std::logic_error);
    EXPECT_THROW(Session(), std::logic_error);
}

TEST(SessionRuntimeTest, WithoutARuntimeThereAreNoSessions) {
    ExpectNothingLeft();
    EXPECT_THROW(new TTARNISSession(nullptr), std::logic_error);
}

TEST(SessionRuntimeTest, ThereIsOneRuntimeAtATime) {
    SessionRuntime runtime;
    EXPECT_THROW(SessionRuntime(), std::logic_error);
    EXPECT_EQ(&SessionRuntime::Live(), &runtime);
    EXPECT_EQ(Sessions().Count(), 1);
}

TEST(SessionRuntimeTest, ARuntimeCanBeMadeAndFreedAgainAndLeavesNothingBehind) {
    enginetest::TempDirectory directory;
    for (int round = 0; round < 3; ++round) {
        {
            SessionRuntime runtime;
            EXPECT_EQ(Sessions().Count(), 1) << round;
            EXPECT_EQ(Session().SessionName(), "Default") << round;
            EXPECT_FALSE(Session().Active()) << round;
            EXPECT_FALSE(engine::EngineStarted()) << round;
            // Every runtime starts without a password hook.
            EXPECT_FALSE(runtime.GetPasswordHook()) << round;
            runtime.SetPasswordHook([](TTARNISSession&) { return true; });

            auto* other = new TTARNISSession(nullptr);
            other->SetSessionName("Other");
            other->AddPassword("secret");
            other->SetPrivateDir("Dir");
            EXPECT_TRUE(engine::EngineStarted()) << round;
        }
        ExpectNothingLeft();
    }
}

TEST(SessionRuntimeTest, ItsEndFreesTheSessionsLastToFirstAndTheDefaultStopsTheEngine) {
    FreeRecorder recorder;
    {
        SessionRuntime runtime;
        Session().SetName("Default");
        recorder.Watch(Session());
        for (const char* name : {"B", "C"}) {
            auto* session = new TTARNISSession(nullptr);
            session->SetName(name);
            session->SetSessionName(name);
            session->SetActive(true);
            recorder.Watch(*session);
        }
        // One that never started goes the same way.
        auto* idle = new TTARNISSession(nullptr);
        idle->SetName("Idle");
        recorder.Watch(*idle);
    }
    const std::vector<std::pair<std::string, bool>> expected = {
        {"Idle", true}, {"C", true}, {"B", true}, {"Default", false}};
    EXPECT_EQ(recorder.freed, expected);
    ExpectNothingLeft();
}

TEST(SessionRuntimeTest, AnInactiveDefaultSessionLeavesTheEngineStopped) {
    {
        SessionRuntime runtime;
        auto* other = new TTARNISSession(nullptr);
        other->SetSessionName("Other");
    }
    ExpectNothingLeft();
}

}  // namespace
