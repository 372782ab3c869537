// ScenarioTest: the fixture of every end-to-end scenario: its own program directory made by keyvale-setup,
// the program running in it, and tarnis-check over the four tables at the end.
#pragma once

#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/RunningProgram.h"
#include "tests/app/e2e/support/ScenarioDir.h"
#include "tests/app/e2e/support/TableReads.h"

namespace e2e {

// SetUp makes the directory in the test's own working directory (the test main gives each test one) and
// starts the program; a scenario that must act before the start (a table removed, a box expected) overrides
// StartsAtSetUp to return false and calls Start itself.
//
// A scenario prepares a ModalScript with a step per modal window it expects (ModalAnswers has the usual
// answers), then triggers the command (Trigger, Click on a Button): the windows' loops run inside that call,
// and the step of a test screen keys it there (Driving); ScreenRun's TakeTest does all that for a whole test.
// Checks of what was seen follow script.WaitDone(). TearDown ends the program and fails the scenario on
// anything tarnis-check finds in the four tables.
class ScenarioTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    virtual bool StartsAtSetUp() const { return true; }

    void Start();
    // Ends the program as its user does, by closing the main window.
    void Stop();
    // Stop, then Start in the same directory.
    void Restart();

    // The table (by base name: "results") is left damaged on purpose: tarnis-check skips it at the end.
    void SkipTableCheck(const QString& table) { skippedChecks_ << table; }

    ScenarioDir& Dir() { return *dir_; }
    RunningProgram& Program() { return *program_; }
    bool Running() const { return program_ != nullptr; }

    // Admin, Password while no password is set: `password` keyed twice and OK. Answers the box that follows;
    // a window that does not come fails the test.
    SeenBox SetPassword(const QString& password);

    // What config.dat and results.dat hold now.
    testsupport::ConfigValues StoredConfig() const;
    std::vector<testsupport::StoredResult> StoredResults() const;

private:
    std::unique_ptr<ScenarioDir> dir_;
    std::unique_ptr<RunningProgram> program_;
    QStringList skippedChecks_;
};

}  // namespace e2e
