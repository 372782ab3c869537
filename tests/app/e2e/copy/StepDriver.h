// StepDriver: runs a second copy of the program step by step, as read from the standard input, and answers
// each step on the standard output.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMessageBox;

namespace app {
class Program;
class Tzmain;
}  // namespace app
namespace components {
class TTARNISTable;
}
namespace testsupport {
class FakeTimeSource;
}

namespace e2ecopy {

// One step at a time; the next line waits until the step before has its answer. A step that opens a modal
// window runs as a command from a single-shot timer of its own, so that the polling goes on inside the
// window's exec() loop. Every message box met is answered with its OK (or Yes) and its text kept for the
// answer: "ok" when none came, "error <text>" when the step could not be done, else the texts joined by
// " | ". The start-up is answered the same way before the first step.
class StepDriver : public QObject {
public:
    // How long a step may take before it is answered as failed: generous for a loaded machine.
    static constexpr int kStepTimeoutMs = 60000;
    // How often the windows are looked at.
    static constexpr int kPollIntervalMs = 20;

    StepDriver(app::Program& program, testsupport::FakeTimeSource& time);
    ~StepDriver() override;
    StepDriver(const StepDriver&) = delete;
    StepDriver& operator=(const StepDriver&) = delete;

    // Shows the main window as the program's start-up does, then reads the steps.
    void Begin();
    // `quit` was read: its "ok" goes out once the program has shut down.
    bool QuitRequested() const { return quitRequested_; }

private:
    // Polled while a step runs: true once the step has its answer (given through Fail or left to Finish).
    using Progress = std::function<bool()>;

    void ReadInput();
    void NextStep();
    void Start(const std::string& line);
    void Poll();
    // Answers the current step: the error when one is given, else the boxes met or "ok".
    void Finish(const std::string& error = {});
    // Runs a command of the main window from a timer of its own; CommandRunning until it returns.
    void RunCommand(std::function<void()> command);
    void AnswerBox(QMessageBox& box);

    void RealNumeric(const std::string& name);
    void TimeOut();
    void ResultsOpen();
    void ResultsClose();
    void HoldResults();
    void ReleaseResults();
    void Quit();

    app::Program& program_;
    testsupport::FakeTimeSource& time_;
    app::Tzmain& main_;
    QSocketNotifier input_;
    std::string pending_;  // bytes read after the last whole line
    std::deque<std::string> lines_;
    bool inputEnded_ = false;
    bool stepRunning_ = false;
    std::string stepName_;
    Progress progress_;
    std::vector<std::string> boxes_;
    bool commandRunning_ = false;
    QTimer poll_;
    QElapsedTimer stepClock_;
    std::unique_ptr<components::TTARNISTable> held_;  // results.dat, held exclusively by `hold results`
    bool quitRequested_ = false;
};

}  // namespace e2ecopy
