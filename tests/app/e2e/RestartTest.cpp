// A restart in the same program directory: the program ends as its user ends it and starts again on the
// same tables, with a main window of its own.
#include <QPointer>

#include <gtest/gtest.h>

#include "app/forms/zmain.h"
#include "components/SessionRuntime.h"
#include "engine/base/EngineState.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/support/ModalScript.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

class RestartTest : public ScenarioTest {};

// The name a real test's dialog took (then cancelled without a password) is what the next run loads; the
// first run's end leaves no session and no engine behind, and the next has a main window of its own.
TEST_F(RestartTest, TheNextRunStartsAfreshOnTheSameTables) {
    ModalScript name;
    name.Expect(kNameDialog, EnterName(QStringLiteral("Ann"), QStringLiteral("Lee")))
        .Expect(kNumericScreen, PressButton(QStringLiteral("BitBtn1")));
    Trigger(Program().Main(), QStringLiteral("Tests/Numeric/Real"));
    EXPECT_TRUE(name.WaitDone());
    const QPointer<app::Tzmain> first(&Program().Main());

    Stop();
    EXPECT_TRUE(first.isNull());
    EXPECT_FALSE(components::SessionRuntime::Exists());
    EXPECT_FALSE(engine::EngineStarted());
    Start();
    ASSERT_TRUE(Running());
    EXPECT_TRUE(Program().Main().isActiveWindow());
    EXPECT_EQ(Program().State().fname, "Ann");
    EXPECT_EQ(Program().State().lname, "Lee");
    EXPECT_EQ(Program().State().realtime, StoredConfig().realtime);
}

}  // namespace
}  // namespace e2e
