// RunningProgram: the real program on the test application, in a scenario's program directory, with only
// the clock, the random seed and the keyboard state replaced.
#pragma once

#include <memory>
#include <stdexcept>

#include "app/core/AppState.h"
#include "app/forms/FormRegistry.h"
#include "app/program/Program.h"
#include "rtl/DateTime.h"
#include "tests/app/e2e/support/ScenarioDir.h"
#include "tests/app/e2e/support/SeededRandomSource.h"
#include "tests/support/ServiceDoubles.h"

namespace app {
class Tzmain;
}

namespace e2e {

// The moment a scenario's clock starts at: a Monday morning.
inline const rtl::TDateTime kScenarioStart = rtl::EncodeDateTime(2026, 12, 7, 9, 30, 0, 0);

// Starts as the program's main() does (app::Program with every form of the registry, every service real but
// the stand-ins; printing switched to PDF files in the working directory) and shows the main window, whose first show loads config.dat, presets the results window
// and scales the test screens; then waits until the window is active. A message box at start-up opens
// inside the constructor: a scenario that expects one prepares its ModalScript first.
// Its end is the program's: the main window closes (saving the name when the settings say so), then the
// forms, services and runtime go. Another may start in the same directory afterwards (a restart); only one
// lives at a time. Raises std::runtime_error when the main window does not come up.
class RunningProgram {
public:
    explicit RunningProgram(const ScenarioDir& dir, rtl::TDateTime start = kScenarioStart);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    app::Program& Program() { return *program_; }
    app::FormRegistry& Forms() { return program_->Forms(); }
    app::AppState& State() { return program_->Runtime().State(); }
    app::Tzmain& Main() const { return *main_; }

    // A form of the registry by its slot; raises std::logic_error when the slot holds none of that class.
    template <class T>
    T& Form(app::FormSlot slot) {
        T* form = Forms().Get<T>(slot);
        if (form == nullptr) throw std::logic_error("the program has no such form in that slot");
        return *form;
    }

    // The fake clock: a scenario moves the time of day and the monotonic reading together.
    testsupport::FakeTimeSource& Clock() { return clock_; }
    testsupport::RecordingKeyboardState& Keyboard() { return keyboard_; }

private:
    // Before the program, which reads them until its end; the clock also pins the engine's Now.
    testsupport::FakeTimeSource clock_;
    testsupport::RecordingKeyboardState keyboard_;
    SeededRandomSource random_;
    std::unique_ptr<app::Program> program_;
    app::Tzmain* main_ = nullptr;
};

}  // namespace e2e
