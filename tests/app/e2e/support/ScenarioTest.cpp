#include "tests/app/e2e/support/ScenarioTest.h"

#include <QDir>

#include <exception>

#include "app/forms/zmain.h"

#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/TablesCheck.h"

namespace e2e {

void ScenarioTest::SetUp() {
    try {
        dir_ = std::make_unique<ScenarioDir>(QDir::currentPath());
    } catch (const std::exception& e) {
        FAIL() << "the scenario's directory: " << e.what();
    }
    if (StartsAtSetUp()) Start();
}

void ScenarioTest::TearDown() {
    Stop();
    if (dir_ == nullptr) return;
    for (const QString& finding : CheckTables(dir_->ProgramDir(), skippedChecks_))
        ADD_FAILURE() << finding.toStdString();
}

void ScenarioTest::Start() {
    ASSERT_NE(dir_, nullptr);
    ASSERT_EQ(program_, nullptr) << "the program runs already";
    try {
        program_ = std::make_unique<RunningProgram>(*dir_);
    } catch (const std::exception& e) {
        FAIL() << "the program did not start: " << e.what();
    }
}

void ScenarioTest::Stop() {
    program_.reset();
}

void ScenarioTest::Restart() {
    Stop();
    Start();
}

SeenBox ScenarioTest::SetPassword(const QString& password) {
    SeenBox box;
    testsupport::ModalScript script;
    script.Expect(kPasswordChange, ChangePassword(password, password)).Expect(kMessageBox, AnswerBox(&box));
    Trigger(Program().Main(), QStringLiteral("Admin/Password"));
    EXPECT_TRUE(script.WaitDone());
    return box;
}

testsupport::ConfigValues ScenarioTest::StoredConfig() const {
    return ReadConfig(dir_->Progdir());
}

std::vector<testsupport::StoredResult> ScenarioTest::StoredResults() const {
    return ReadResults(dir_->Progdir());
}

}  // namespace e2e
