// The second copy's own promises: a step it cannot do is answered as an error, never as done, so that a
// scenario cannot pass on a step that did not happen.
#include <gtest/gtest.h>

#include <string>

#include "tests/app/e2e/SecondCopy.h"
#include "tests/app/e2e/support/ScenarioTest.h"

namespace e2e {
namespace {

// Only the second copy runs here.
class SecondCopyTest : public ScenarioTest {
protected:
    bool StartsAtSetUp() const override { return false; }
};

TEST_F(SecondCopyTest, AStepItCannotDoIsAnsweredAsAnErrorAndTheNextStillRuns) {
    SecondCopy second(Dir().ProgramDir());
    ASSERT_EQ(second.Greeting(), "ok");
    const struct {
        const char* step;
        const char* answer;
    } cases[] = {
        {"time out", "error no test is running"},
        {"results close", "error the results window is not open"},
        {"release results", "error results.dat is not held"},
        {"real numeric", "error unknown step: real numeric"},
        {"delete everything", "error unknown step: delete everything"},
    };
    for (const auto& c : cases) EXPECT_EQ(second.Step(c.step), c.answer) << c.step;
    EXPECT_EQ(second.Step("results open"), "ok");
    EXPECT_EQ(second.Step("results open"), "error a window is open: app::TresultsForm \"Test Results\"");
    EXPECT_EQ(second.Quit(), 0);
}

}  // namespace
}  // namespace e2e
