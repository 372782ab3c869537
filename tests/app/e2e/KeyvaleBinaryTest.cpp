// The built program itself, as `make run` starts it: copied into a program directory keyvale-setup
// prepared, and started from another directory on the offscreen platform.
#include <QDir>
#include <QFile>
#include <QProcess>

#include <signal.h>

#include <gtest/gtest.h>

#include "tests/app/e2e/support/E2ePaths.h"
#include "tests/app/e2e/support/ScenarioTest.h"

namespace e2e {
namespace {

// How long the program must keep running: its start-up is over well before.
constexpr int kStillRunningAfterMs = 3000;
// How long its end may take once asked: a sanitized build on a loaded machine.
constexpr int kEndTimeoutMs = 60000;

// Only the built program runs here, in a process of its own.
class KeyvaleBinaryTest : public ScenarioTest {
protected:
    bool StartsAtSetUp() const override { return false; }
};

// It starts into its main window and waits for its user; ended by its process id, it leaves no sanitizer
// report behind and its tables clean (the fixture's tarnis-check).
TEST_F(KeyvaleBinaryTest, RunsUntilEndedByItsProcessId) {
    const QString program = Dir().ProgramFile(QStringLiteral("keyvale"));
    ASSERT_TRUE(QFile::copy(KeyvaleProgram(), program));
    ASSERT_NE(QDir::currentPath() + '/', Dir().ProgramDir());
    QProcess keyvale;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    keyvale.setProcessEnvironment(environment);
    keyvale.setWorkingDirectory(Dir().WorkDir());
    keyvale.start(program, {});
    ASSERT_TRUE(keyvale.waitForStarted()) << keyvale.errorString().toStdString();
    const qint64 pid = keyvale.processId();
    ASSERT_GT(pid, 0);

    EXPECT_FALSE(keyvale.waitForFinished(kStillRunningAfterMs)) << "it ended by itself, exit "
                                                                 << keyvale.exitCode();
    ASSERT_EQ(kill(static_cast<pid_t>(pid), SIGTERM), 0);
    if (!keyvale.waitForFinished(kEndTimeoutMs)) {
        ADD_FAILURE() << "it did not end on SIGTERM";
        keyvale.kill();
        keyvale.waitForFinished();
    }
    EXPECT_EQ(keyvale.exitStatus(), QProcess::CrashExit);  // ended by the signal, as asked
    const QString errors = QString::fromUtf8(keyvale.readAllStandardError());
    EXPECT_FALSE(errors.contains(QStringLiteral("Sanitizer"))) << errors.toStdString();
    EXPECT_FALSE(errors.contains(QStringLiteral("runtime error"))) << errors.toStdString();
    EXPECT_TRUE(QDir(Dir().WorkDir()).isEmpty());
}

}  // namespace
}  // namespace e2e
