#include "app/program/Program.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

#include "app/controls/KvClock.h"
#include "app/forms/zmain.h"
#include "app/services/Application.h"
#include "app/services/ProgramRuntime.h"
#include "app/services/Services.h"
#include "components/SessionRuntime.h"
#include "components/TARNISSession.h"
#include "components/dialogs/TARNISPasswordDialog.h"
#include "db/widgets/Confirm.h"
#include "db/widgets/QtText.h"
#include "engine/base/EngineState.h"
#include "engine/table/DataFile.h"
#include "rtl/Exceptions.h"
#include "rtl/FormatSettings.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"

namespace app {
namespace {

// The program itself, run as a user runs it: copied with its tables and help file into a directory of its
// own, found on the PATH (so its argv[0] is the bare name) and started from another working directory. Its
// start-up ends in the main window's message loop, which runs until the window closes.
class KeyvaleProgramTest : public testsupport::AppFixture {};

TEST_F(KeyvaleProgramTest, StartsIntoItsMessageLoopFromAnotherWorkingDirectory) {
    InstallApplicationTables();
    InstallHelpFile();
    const QString program = ProgramDir() + QStringLiteral("keyvale");
    ASSERT_TRUE(QFile::copy(QStringLiteral(KEYVALE_PROGRAM), program));
    ASSERT_NE(QDir::currentPath() + '/', ProgramDir());
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("PATH", ProgramDir() + ':' + environment.value("PATH"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QDir::currentPath());
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec keyvale")});
    ASSERT_TRUE(process.waitForStarted());
    // It does not end by itself: the main window is up and waits for the user.
    EXPECT_FALSE(process.waitForFinished(3000));
    process.kill();
    process.waitForFinished();
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    EXPECT_FALSE(errors.contains("Sanitizer")) << errors.toStdString();
    EXPECT_FALSE(errors.contains("runtime error")) << errors.toStdString();
}

TEST(ProgramDirectoryTest, IsTheProgramFilesDirectoryWhateverTheWorkingDirectory) {
    const std::string expected = db::widgets::ToBytes(QCoreApplication::applicationDirPath() + '/');
    EXPECT_EQ(ProgramDirectory(), expected);
    EXPECT_NE(QDir::currentPath() + '/', QCoreApplication::applicationDirPath() + '/');
    EXPECT_EQ(ProgramDirectory().back(), '/');
}

TEST(ProgramDirectoryTest, ADirectoryOutsideTheCodePageIsRefusedByName) {
    EXPECT_EQ(ProgramDirectoryOf(QStringLiteral("/opt/caf\u00E9")), "/opt/caf\xE9/");
    EXPECT_EQ(ProgramDirectoryOf(QStringLiteral("/")), "/");
    try {
        ProgramDirectoryOf(QStringLiteral("/opt/\u65E5\u672C"));
        ADD_FAILURE() << "no exception";
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message(), "The program's directory has a character that Keyvale cannot use: /opt/?" "?/");
    }
}

// Each runtime starts from nothing and leaves nothing behind: no session, no started engine, and the
// format settings as it found them.
TEST(ProgramRuntimeTest, SeveralRuntimesInOneProcessEachStartAfreshAndLeaveNothing) {
    const rtl::FormatSettings before = rtl::CurrentFormatSettings();
    for (int i = 0; i < 3; ++i) {
        auto runtime = std::make_unique<ProgramRuntime>("/opt/keyvale/");
        const AppState& state = runtime->State();
        EXPECT_EQ(state.progdir, "/opt/keyvale/");
        EXPECT_EQ(state.realtime, 0);
        EXPECT_TRUE(state.password.empty());
        EXPECT_FALSE(state.realmode);
        EXPECT_FALSE(state.passwordok);
        EXPECT_EQ(rtl::CurrentFormatSettings().ShortDateFormat, "mm/dd/yy");
        components::TTARNISSession& session = runtime->Sessions().DefaultSession();
        EXPECT_FALSE(session.Active());  // not started until a table needs it
        EXPECT_FALSE(engine::EngineStarted());
        session.SetActive(true);
        EXPECT_TRUE(engine::EngineStarted());
        EXPECT_TRUE(static_cast<bool>(runtime->Sessions().GetPasswordHook()));
        runtime->State().realmode = true;
        runtime.reset();
        EXPECT_FALSE(components::SessionRuntime::Exists());
        EXPECT_FALSE(engine::EngineStarted());
        EXPECT_EQ(rtl::CurrentFormatSettings(), before);
    }
}

// What the program is at each step of its end.
struct Moment {
    std::string what;
    bool sessions;
    bool engine;

    bool operator==(const Moment&) const = default;
};

Moment Now(const char* what) {
    return {what, components::SessionRuntime::Exists(), engine::EngineStarted()};
}

// A main window as the real one will be: a running clock and an engine table open while it lives.
class StandInMain : public QWidget {
public:
    StandInMain(components::TTARNISSession& session, const std::string& table, std::vector<Moment>& log)
        : log_(log) {
        clock = new controls::TKvClock(this);
        QObject::connect(&clock->Timer(), &QObject::destroyed,
                         [&log] { log.push_back(Now("clock thread")); });
        const components::SessionLockGuard lock(session);
        table_.SetFileName(table);
        table_.Open();
    }
    ~StandInMain() override {
        log_.push_back(Now("forms"));
        table_.Close();
    }

    controls::TKvClock* clock;

private:
    std::vector<Moment>& log_;
    engine::TDataFile table_;
};

TEST(ProgramTest, ShutsDownFormsThenTheClockThreadThenSessionsAndEngine) {
    QTemporaryDir directory;
    const std::string table = db::widgets::ToBytes(directory.filePath("standin"));
    std::vector<Moment> log;
    StandInMain* main = nullptr;
    auto program = std::make_unique<Program>(
        *Application(), db::widgets::ToBytes(directory.path() + '/'),
        [&](FormRegistry& forms, ProgramRuntime& runtime, const Services&) {
            components::TTARNISSession& session = runtime.Sessions().DefaultSession();
            {
                const components::SessionLockGuard lock(session);
                enginetest::CreateSimpleTable(table);
            }
            forms.SetFactory(FormSlot::zmain, [&, table](QWidget*) {
                auto form = std::make_unique<StandInMain>(session, table, log);
                main = form.get();
                return form;
            });
        });
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->clock->Timer().WorkerRunning());
    EXPECT_TRUE(engine::EngineStarted());
    program.reset();
    log.push_back(Now("end"));
    EXPECT_EQ(log, (std::vector<Moment>{
                       {"forms", true, true}, {"clock thread", true, true}, {"end", false, false}}));
}

// The program's own forms over its real services, in a program directory that is not the working
// directory: the main window opens with that directory's settings, Exit ends the message loop, and the
// shut-down leaves no session and no engine behind.
TEST(ProgramTest, RunsIntoTheMainWindowWithTheProgramDirectorysSettingsUntilExit) {
    QTemporaryDir directory;
    const std::string progdir = db::widgets::ToBytes(directory.path() + '/');
    ASSERT_NE(QDir::currentPath() + '/', directory.path() + '/');
    testsupport::ConfigValues values;
    values.realtime = 12;
    values.lname = "Lee";
    auto program = std::make_unique<Program>(
        *Application(), progdir, [&](FormRegistry& forms, ProgramRuntime& runtime, const Services& services) {
            SystemRandomSource draws;
            testsupport::CreateApplicationTables(progdir, values, draws);
            RegisterForms(forms, runtime, services);
        });
    auto* main = program->Forms().Get<Tzmain>(FormSlot::zmain);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(program->Forms().MainWindow(), main);
    main->show();
    EXPECT_EQ(program->Runtime().State().realtime, 12);
    EXPECT_EQ(program->Runtime().State().lname, "Lee");
    EXPECT_TRUE(main->KvClock1().Timer().WorkerRunning());
    QTimer::singleShot(0, main, [main] { main->Exit1Click(); });
    QTimer stuck;  // a loop that does not end fails the test rather than hanging it
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QApplication::exit(99); });
    stuck.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    program.reset();
    EXPECT_FALSE(components::SessionRuntime::Exists());
    EXPECT_FALSE(engine::EngineStarted());
}

// A protected table asks through the password dialog, which the runtime installs.
TEST(ProgramTest, AProtectedTableAsksThroughThePasswordDialog) {
    QTemporaryDir directory;
    const std::string table = db::widgets::ToBytes(directory.filePath("secret"));
    ProgramRuntime runtime(db::widgets::ToBytes(directory.path() + '/'));
    components::TTARNISSession& session = runtime.Sessions().DefaultSession();
    const components::SessionLockGuard lock(session);
    std::vector<engine::TFieldDesc> fields = {enginetest::FieldDef(1, "ID", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
    enginetest::TableOptions options;
    options.isProtected = true;
    options.password = "Sesame";
    enginetest::CreateTable(table, fields, indexes, options);

    testsupport::ModalScript script;
    script.Expect("components::dialogs::TTARNISPasswordDialog", [](QWidget& modal) {
        auto& dialog = static_cast<components::dialogs::TTARNISPasswordDialog&>(modal);
        dialog.Edit->setText(QStringLiteral("Sesame"));
        dialog.OKButton->click();
    });
    engine::TDataFile file;
    file.SetFileName(table);
    file.SetPasswordEvent([&] { return session.GetPassword(); });
    EXPECT_EQ(enginetest::EngineCode([&] { file.Open(); }), 0);
    file.Close();
    EXPECT_TRUE(script.Done());
}

class ServiceRoutesTest : public testsupport::AppFixture {};

// The data-aware controls' delete question reaches the message service while the routes stand.
TEST_F(ServiceRoutesTest, TheControlsDeleteQuestionGoesToTheMessageService) {
    messages.AnswerConfirm(true);
    messages.AnswerConfirm(false);
    EXPECT_TRUE(db::widgets::Confirm(QStringLiteral("Delete record?")));
    EXPECT_FALSE(db::widgets::Confirm(QStringLiteral("Delete record?")));
    const testsupport::Box question{testsupport::BoxKind::Confirm, "Confirm", "Delete record?"};
    EXPECT_EQ(messages.Boxes(), (std::vector<testsupport::Box>{question, question}));
}

TEST_F(ServiceRoutesTest, TheFixturesProgramDirectoryIsNotTheWorkingDirectory) {
    EXPECT_NE(ProgramDir(), QDir::currentPath() + '/');
    EXPECT_EQ(State().progdir, db::widgets::ToBytes(ProgramDir()));
    EXPECT_TRUE(QFileInfo(ProgramDir()).isDir());
}

TEST_F(ServiceRoutesTest, TheFakeClockMovesTheTimeOfDayTheMonotonicReadingAndTheRuntimesNow) {
    const rtl::TDateTime start = time.Now();
    const double monotonic = time.MonotonicSeconds();
    EXPECT_EQ(rtl::Now(), start);
    time.Advance(90);
    EXPECT_DOUBLE_EQ(time.MonotonicSeconds() - monotonic, 90);
    EXPECT_NEAR((time.Now() - start) * rtl::SecsPerDay, 90, 1e-6);
    EXPECT_EQ(rtl::Now(), time.Now());
}

TEST_F(ServiceRoutesTest, TheScriptedRandomSourceDrawsItsScript) {
    random.Push(7);
    random.Push(0);
    random.Randomize();
    EXPECT_EQ(random.Random(10), 7);
    EXPECT_EQ(random.Random(1), 0);
    EXPECT_EQ(random.RandomizeCalls(), 1);
    EXPECT_EQ(random.Left(), 0u);
}

}  // namespace
}  // namespace app
