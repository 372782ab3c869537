#include "components/TARNISSession.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "components/ComponentTexts.h"
#include "components/SessionRuntime.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/base/EngineState.h"
#include "rtl/Component.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "tests/components/support/SessionFixture.h"

namespace {

using components::Session;
using components::SessionLockGuard;
using components::Sessions;
using components::TTARNISSession;
using componenttest::CreateProtectedTable;
using componenttest::kTablePassword;
using componenttest::OpenCode;

// The message of the database error the action raises; empty when it raises none.
std::string DatabaseErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const rtl::EDatabaseError& error) {
        return error.Message();
    }
    return {};
}

std::string Text(std::string_view pattern, std::string_view arg) {
    return rtl::Format(pattern, {arg});
}

// Whether another thread can take the session lock now (it leaves it again at once).
bool LockFreeForOtherThreads() {
    return std::async(std::launch::async,
                      [] {
                          std::recursive_mutex& lock = Sessions().Lock();
                          if (!lock.try_lock()) return false;
                          lock.unlock();
                          return true;
                      })
        .get();
}

class TARNISSessionTest : public componenttest::SessionTest {
protected:
    // A session without owner, freed by the runtime at the end.
    static TTARNISSession& NewSession(const std::string& name) {
        auto* session = new TTARNISSession(nullptr);
        session->SetSessionName(name);
        return *session;
    }
};

TEST_F(TARNISSessionTest, TheFirstSessionIsTheDefaultOneAndNamesAreFoundWithoutRegardToCase) {
    ASSERT_EQ(Sessions().Count(), 1);
    TTARNISSession& first = *Sessions().Sessions(0);
    EXPECT_EQ(&first, &Session());
    EXPECT_TRUE(first.IsDefault());
    EXPECT_EQ(first.SessionName(), "Default");
    EXPECT_FALSE(first.Active());
    EXPECT_FALSE(engine::EngineStarted());

    TTARNISSession& other = NewSession("Other");
    EXPECT_FALSE(other.IsDefault());
    EXPECT_EQ(Sessions().FindSession(""), &first);
    EXPECT_EQ(Sessions().FindSession("default"), &first);
    EXPECT_EQ(Sessions().FindSession("OTHER"), &other);
    EXPECT_EQ(Sessions().FindSession("x"), nullptr);
    EXPECT_EQ(&Sessions().GetSession(""), &first);
    EXPECT_EQ(&Sessions().GetSession("other"), &other);
    EXPECT_EQ(DatabaseErrorText([] { Sessions().GetSession("x"); }), "Session name x is not valid.");
}

TEST_F(TARNISSessionTest, ANameAnotherSessionHasIsRefused) {
    TTARNISSession& other = NewSession("Other");
    EXPECT_EQ(DatabaseErrorText([&] { other.SetSessionName("DEFAULT"); }),
              Text(components::kDuplicateSessionName, "DEFAULT"));
    EXPECT_EQ(other.SessionName(), "Other");
    // Its own name in another spelling is no conflict.
    other.SetSessionName("OTHER");
    EXPECT_EQ(other.SessionName(), "OTHER");
    other.SetActive(true);
    EXPECT_EQ(DatabaseErrorText([&] { other.SetSessionName("Third"); }), components::kSessionActive);
}

TEST_F(TARNISSessionTest, AnotherSessionStartsTheDefaultSessionAndTheEngineFirstWithAContextOfItsOwn) {
    TTARNISSession& other = NewSession("Other");
    other.MakeCurrent();
    EXPECT_TRUE(engine::EngineStarted());
    ASSERT_TRUE(Session().Active());
    ASSERT_TRUE(other.Active());
    EXPECT_NE(other.EngineSession(), Session().EngineSession());
    EXPECT_EQ(engine::CurrentEngineSession(), other.EngineSession());

    Session().MakeCurrent();
    EXPECT_EQ(engine::CurrentEngineSession(), Session().EngineSession());
    other.MakeCurrent();
    EXPECT_EQ(engine::CurrentEngineSession(), other.EngineSession());

    // Its stop makes the default session's context current again.
    other.SetActive(false);
    EXPECT_FALSE(other.Active());
    EXPECT_EQ(other.EngineSession(), nullptr);
    EXPECT_EQ(engine::CurrentEngineSession(), Session().EngineSession());
    EXPECT_TRUE(engine::EngineStarted());

    Session().SetActive(false);
    EXPECT_FALSE(engine::EngineStarted());
    EXPECT_EQ(engine::CurrentEngineSession(), nullptr);
    EXPECT_EQ(Session().EngineSession(), nullptr);
}

TEST_F(TARNISSessionTest, AnActiveSessionThatIsFreedStopsAndLeavesTheDefaultCurrent) {
    TTARNISSession& other = NewSession("Other");
    other.MakeCurrent();
    delete &other;
    EXPECT_EQ(Sessions().Count(), 1);
    EXPECT_EQ(engine::CurrentEngineSession(), Session().EngineSession());
    EXPECT_EQ(Sessions().FindSession("Other"), nullptr);
}

TEST_F(TARNISSessionTest, OnStartupRunsBeforeTheNameCheck) {
    auto* session = new TTARNISSession(nullptr);
    int startups = 0;
    session->OnStartup = [&](rtl::TComponent& sender) {
        EXPECT_EQ(&sender, session);
        if (++startups == 2) session->SetSessionName("Named");
    };
    EXPECT_EQ(DatabaseErrorText([&] { session->SetActive(true); }), components::kSessionNameMissing);
    EXPECT_FALSE(session->Active());
    // The name check comes before the default session's start.
    EXPECT_FALSE(engine::EngineStarted());
    session->SetActive(true);
    EXPECT_EQ(startups, 2);
    EXPECT_TRUE(session->Active());
}

TEST_F(TARNISSessionTest, ThePasswordRequestIsAnsweredByOnPasswordThenTheHookElseRefused) {
    CreateProtectedTable(Session());
    TTARNISSession& session = Session();
    struct Case {
        const char* what;
        // What the handler adds on each call (empty: nothing) and whether it sets Continue; no handler when
        // the list is empty.
        std::vector<std::pair<std::string, bool>> handler;
        bool hook;
        int code;
        int calls;
    };
    const Case cases[] = {
        {"Continue untouched", {{"", false}}, false, engine::ErrInsufficientRights, 1},
        {"right password", {{kTablePassword, true}}, false, 0, 1},
        {"wrong, then untouched", {{"wrong", true}, {"", false}}, false, engine::ErrInsufficientRights, 2},
        {"no handler, no hook", {}, false, engine::ErrInsufficientRights, 1},
        {"no handler, the hook gives it", {}, true, 0, 1},
        {"the handler before the hook", {{"", false}}, true, engine::ErrInsufficientRights, 1},
    };
    for (const Case& c : cases) {
        session.RemoveAllPasswords();
        std::size_t handled = 0;
        session.OnPassword = nullptr;
        if (!c.handler.empty()) {
            session.OnPassword = [&](rtl::TComponent& sender, bool& Continue) {
                EXPECT_EQ(&sender, &session) << c.what;
                EXPECT_FALSE(Continue) << c.what;
                const auto& [password, answer] = c.handler.at(std::min(handled, c.handler.size() - 1));
                ++handled;
                if (!password.empty()) session.AddPassword(password);
                if (answer) Continue = true;
            };
        }
        runtime_.SetPasswordHook(nullptr);
        if (c.hook) {
            runtime_.SetPasswordHook([&](TTARNISSession& asked) {
                EXPECT_EQ(&asked, &session) << c.what;
                asked.AddPassword(kTablePassword);
                return true;
            });
        }
        int calls = 0;
        EXPECT_EQ(OpenCode(session, componenttest::kProtectedTable, &calls), c.code) << c.what;
        EXPECT_EQ(calls, c.calls) << c.what;
    }
}

TEST_F(TARNISSessionTest, PasswordsBelongToTheirSession) {
    CreateProtectedTable(Session());
    TTARNISSession& other = NewSession("Other");
    // An inactive session starts for it, and the password goes to its own context.
    other.AddPassword(kTablePassword);
    ASSERT_TRUE(other.Active());
    EXPECT_TRUE(other.EngineSession()->FindPassword(kTablePassword));
    EXPECT_FALSE(Session().EngineSession()->FindPassword(kTablePassword));

    EXPECT_EQ(OpenCode(other), 0);
    EXPECT_EQ(OpenCode(Session()), engine::ErrInsufficientRights);

    other.RemovePassword(kTablePassword);
    EXPECT_EQ(OpenCode(other), engine::ErrInsufficientRights);
    other.AddPassword("one");
    other.AddPassword("two");
    other.RemoveAllPasswords();
    EXPECT_EQ(other.EngineSession()->Passwords().Count(), 0);
}

TEST_F(TARNISSessionTest, PasswordsAreCutTo255Bytes) {
    const std::string longPassword(300, 'p');
    Session().AddPassword(longPassword);
    engine::TFileSession& context = *Session().EngineSession();
    EXPECT_EQ(context.Passwords().Count(), 1);
    EXPECT_TRUE(context.FindPassword(longPassword.substr(0, 255)));
    Session().RemovePassword(longPassword);
    EXPECT_EQ(context.Passwords().Count(), 0);
}

TEST_F(TARNISSessionTest, TheLockIsEnteredAtTheFirstLevelAndLeftAtTheLast) {
    TTARNISSession& other = NewSession("Other");
    other.LockSession();
    EXPECT_TRUE(other.Active());
    EXPECT_EQ(engine::CurrentEngineSession(), other.EngineSession());
    other.LockSession();
    EXPECT_EQ(other.LockCount(), 2u);
    other.UnlockSession();
    EXPECT_FALSE(LockFreeForOtherThreads());
    other.UnlockSession();
    EXPECT_EQ(other.LockCount(), 0u);
    EXPECT_TRUE(LockFreeForOtherThreads());
    // At count 0 nothing happens.
    other.UnlockSession();
    EXPECT_EQ(other.LockCount(), 0u);
    EXPECT_TRUE(LockFreeForOtherThreads());
    {
        SessionLockGuard guard(other);
        EXPECT_EQ(other.LockCount(), 1u);
        EXPECT_FALSE(LockFreeForOtherThreads());
    }
    EXPECT_TRUE(LockFreeForOtherThreads());
}

TEST_F(TARNISSessionTest, AFailingFirstLevelLeavesTheLockFree) {
    auto* unnamed = new TTARNISSession(nullptr);
    EXPECT_EQ(DatabaseErrorText([&] { unnamed->LockSession(); }), components::kSessionNameMissing);
    EXPECT_EQ(unnamed->LockCount(), 0u);
    EXPECT_TRUE(LockFreeForOtherThreads());
    // The next lock tries again to make the session current instead of only counting.
    unnamed->SetSessionName("Named");
    {
        SessionLockGuard guard(*unnamed);
        EXPECT_EQ(engine::CurrentEngineSession(), unnamed->EngineSession());
    }
    EXPECT_TRUE(LockFreeForOtherThreads());
}

TEST_F(TARNISSessionTest, AutoNamesFollowTheComponentName) {
    rtl::TComponent form;
    auto* session = new TTARNISSession(&form);
    session->SetName("Session1");
    session->SetAutoSessionName(true);
    EXPECT_EQ(session->SessionName(), "Session1_1");
    EXPECT_EQ(DatabaseErrorText([&] { session->SetSessionName("x"); }), components::kAutoSessionActive);

    // Off and on again takes the freed number 0 again.
    session->SetAutoSessionName(false);
    session->SetAutoSessionName(true);
    EXPECT_EQ(session->SessionName(), "Session1_1");

    // Another owner's auto-session takes the next number.
    rtl::TComponent otherForm;
    auto* second = new TTARNISSession(&otherForm);
    second->SetName("Session1");
    second->SetAutoSessionName(true);
    EXPECT_EQ(second->SessionName(), "Session1_2");

    session->SetName("Renamed");
    EXPECT_EQ(session->SessionName(), "Renamed_1");

    // A freed auto-session gives its number back.
    delete second;
    auto* third = new TTARNISSession(&otherForm);
    third->SetName("Third");
    third->SetAutoSessionName(true);
    EXPECT_EQ(third->SessionName(), "Third_2");
    delete session;
    auto* fourth = new TTARNISSession(nullptr);
    fourth->SetName("Fourth");
    fourth->SetAutoSessionName(true);
    EXPECT_EQ(fourth->SessionName(), "Fourth_1");
}

TEST_F(TARNISSessionTest, AnAutoSessionIsTheOnlySessionOfItsOwner) {
    rtl::TComponent form;
    auto* first = new TTARNISSession(&form);
    first->SetName("First");
    auto* second = new TTARNISSession(&form);
    second->SetName("Second");
    EXPECT_EQ(DatabaseErrorText([&] { first->SetAutoSessionName(true); }), components::kAutoSessionExclusive);
    EXPECT_FALSE(first->AutoSessionName());
    delete second;

    first->SetAutoSessionName(true);
    EXPECT_EQ(DatabaseErrorText([&] { new TTARNISSession(&form); }), components::kAutoSessionExists);
    EXPECT_EQ(form.ComponentCount(), 1);
    EXPECT_EQ(Sessions().Count(), 2);

    // Not while active.
    first->SetAutoSessionName(false);
    first->SetActive(true);
    EXPECT_EQ(DatabaseErrorText([&] { first->SetAutoSessionName(true); }), components::kSessionActive);
    EXPECT_FALSE(first->AutoSessionName());
}

TEST_F(TARNISSessionTest, PrivateDirReadsBackAsGivenAndIsAppliedAtTheStart) {
    TTARNISSession& other = NewSession("Other");
    other.SetPrivateDir("Temp/Mixed Case");
    EXPECT_EQ(other.PrivateDir(), "Temp/Mixed Case");
    other.SetActive(true);
    {
        SessionLockGuard guard(other);
        EXPECT_EQ(engine::GetSessionDirectory(), "Temp/Mixed Case");
    }
    EXPECT_EQ(other.PrivateDir(), "Temp/Mixed Case");
    // The default session's context is not touched.
    EXPECT_EQ(Session().PrivateDir(), "");

    // Written while active, it reaches the context at once, cut to 255 bytes.
    const std::string longDir(300, 'd');
    other.SetPrivateDir(longDir);
    EXPECT_EQ(other.EngineSession()->Directory(), longDir.substr(0, 255));
    EXPECT_EQ(other.PrivateDir(), longDir.substr(0, 255));
}

TEST_F(TARNISSessionTest, ALockThatStartsTheSessionAppliesItsPrivateDirToItsOwnContext) {
    TTARNISSession& other = NewSession("Other");
    Session().SetActive(true);
    other.SetPrivateDir("OtherDir");
    {
        SessionLockGuard guard(other);
        EXPECT_EQ(engine::GetSessionDirectory(), "OtherDir");
    }
    EXPECT_EQ(Session().EngineSession()->Directory(), "");
}

TEST_F(TARNISSessionTest, TheDefaultSessionKeepsItsPrivateDirAcrossARestart) {
    Session().SetPrivateDir("Shared/Dir");
    Session().SetActive(true);
    EXPECT_EQ(Session().EngineSession()->Directory(), "Shared/Dir");
    Session().SetActive(false);
    EXPECT_FALSE(engine::EngineStarted());
    EXPECT_EQ(Session().PrivateDir(), "Shared/Dir");
    Session().SetActive(true);
    EXPECT_EQ(Session().EngineSession()->Directory(), "Shared/Dir");
}

TEST_F(TARNISSessionTest, PropertiesStartAsPublished) {
    TTARNISSession& other = NewSession("Other");
    EXPECT_EQ(other.EngineVersion(), "1.21");
    other.SetEngineVersion("9.99");
    EXPECT_EQ(other.EngineVersion(), "1.21");
    EXPECT_TRUE(other.KeepConnections());
    EXPECT_FALSE(other.AutoSessionName());
    EXPECT_FALSE(other.Active());
    EXPECT_EQ(other.PrivateDir(), "");
}

TEST_F(TARNISSessionTest, TheActiveFlagReadWhileLoadingIsAppliedByLoaded) {
    rtl::TComponent form;
    auto* session = new TTARNISSession(&form);
    session->SetSessionName("Loaded");
    form.BeginLoading();
    session->SetActive(true);
    EXPECT_FALSE(session->Active());
    session->Loaded();
    EXPECT_TRUE(session->Active());

    // A start that fails in Loaded passes the failure on.
    auto* unnamed = new TTARNISSession(&form);
    form.BeginLoading();
    unnamed->SetActive(true);
    EXPECT_EQ(DatabaseErrorText([&] { unnamed->Loaded(); }), components::kSessionNameMissing);
    EXPECT_FALSE(unnamed->Active());
}

}  // namespace
