// keyvale-e2e-copy: a second copy of the program for the end-to-end suite, run step by step.
//
//   keyvale-e2e-copy <program directory> [--for <ms>]
//
// It starts the program as main() does, on the program directory given, offscreen, with a fake clock of
// its own, the seeded random source and the keyboard state's double; it shows the main window and answers
// the start-up. Then it reads steps from its input, one per line, and answers each with one line: "ok",
// "error <text>" when the step could not be done, or the texts of the message boxes it met (each answered
// with OK), joined by " | ".
//
//   real numeric NAME   Tests, Numeric, Real: the name dialog gets NAME ("Last,First"; without a comma the
//                       first name is NAME too), then the numeric screen's first field is keyed and Enter
//                       pressed, which starts the countdown; answered while the screen stays open
//   time out            the fake clock moves on by the test's time: the screen ends the test, scores it,
//                       stores it and shows the report, which is closed; answered once the screen has gone
//   results open        File, Results: answered while the results window stays open
//   results close       the results window's Close
//   hold results        results.dat opened exclusively, as another program might hold it
//   release results     and closed again
//   quit                every window closed, then File, Exit; "ok" once the program has shut down
//
// It exits 0 after `quit` and at the end of its input, 1 when the program cannot start, 2 when its time
// runs out (--for, default 120000 ms), so that a test that dies leaves nothing held; usage errors exit 64.
#include <QByteArray>
#include <QString>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

#include "app/program/Program.h"
#include "app/services/Application.h"
#include "app/services/ProgramRuntime.h"
#include "rtl/Exceptions.h"
#include "tests/app/e2e/copy/StepDriver.h"
#include "tests/app/e2e/support/RunningProgram.h"
#include "tests/app/e2e/support/SeededRandomSource.h"
#include "tests/support/LineIo.h"
#include "tests/support/ServiceDoubles.h"

namespace {

constexpr int ExitDone = 0;
constexpr int ExitStartFailed = 1;
constexpr int ExitTimeUp = 2;
// The usage-error status of sysexits.h.
constexpr int ExitUsage = 64;
// A copy nobody ends gives up after two minutes.
constexpr int DefaultLifetimeMs = 120000;

struct Options {
    QString programDirectory;
    int lifetimeMs = DefaultLifetimeMs;
};

std::optional<Options> ParseArguments(int argc, char** argv) {
    if (argc < 2) return std::nullopt;
    Options options;
    options.programDirectory = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--for" && i + 1 < argc) {
            std::istringstream value(argv[++i]);
            if (!(value >> options.lifetimeMs) || options.lifetimeMs < 0) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// Ends the process when its time runs out, whatever the program is waiting for; ended early when the
// program ends first.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds lifetime)
        : thread_([lifetime](std::stop_token stop) {
              std::mutex mutex;
              std::condition_variable_any woken;
              std::unique_lock lock(mutex);
              woken.wait_for(lock, stop, lifetime, [] { return false; });
              if (!stop.stop_requested()) std::_Exit(ExitTimeUp);
          }) {}

private:
    std::jthread thread_;
};

void WriteLine(const std::string& text) {
    if (!testsupport::WriteLine(STDOUT_FILENO, text)) std::perror("keyvale-e2e-copy");
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseArguments(argc, argv);
    if (!options) {
        std::fputs("usage: keyvale-e2e-copy <program directory> [--for <ms>]\n", stderr);
        return ExitUsage;
    }
    const Deadline deadline{std::chrono::milliseconds(options->lifetimeMs)};
    // A copy draws no window on a screen, and its printing takes the PDF road.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("KEYVALE_PRINT_TO_PDF", "1");
    app::TApplication application(argc, argv);
    // The same stand-ins as the first copy's, its clock starting at the same moment.
    testsupport::FakeTimeSource time(e2e::kScenarioStart);
    testsupport::RecordingKeyboardState keyboard;
    e2e::SeededRandomSource random;
    bool quit = false;
    int status = ExitDone;
    {
        std::unique_ptr<app::Program> program;
        try {
            program = std::make_unique<app::Program>(application, app::ProgramDirectoryOf(options->programDirectory),
                                                     app::RegisterForms,
                                                     app::ServiceStandIns{&keyboard, &time, &random});
        } catch (const rtl::Exception& e) {
            WriteLine("error " + e.Message());
            return ExitStartFailed;
        } catch (const std::exception& e) {
            WriteLine(std::string("error ") + e.what());
            return ExitStartFailed;
        }
        e2ecopy::StepDriver driver(*program, time);
        driver.Begin();
        status = application.exec();
        quit = driver.QuitRequested();
    }
    if (quit) WriteLine("ok");
    return status;
}
