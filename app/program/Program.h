// Program: the program from start-up to shut-down, in its fixed order.
#pragma once

#include <functional>
#include <string>

#include "app/forms/FormRegistry.h"
#include "app/screens/TestScreen.h"
#include "app/services/ProgramRuntime.h"
#include "app/services/Services.h"

namespace app {

class TApplication;

// Gives each form slot of the registry its factory. Forms reach the runtime and the services, which
// outlive them.
using TRegisterForms =
    std::function<void(FormRegistry& forms, ProgramRuntime& runtime, const Services& services)>;

// The program's forms, each with its slot's factory.
void RegisterForms(FormRegistry& forms, ProgramRuntime& runtime, const Services& services);
// The numeric, alphanumeric and alpha test screens' factories (slots 6, 11 and 12).
void RegisterTestScreens(FormRegistry& forms, AppState& state, const Services& services);
// The test screens' Cancel asks the main window's password gate.
TestScreen::TPasswordGate MainWindowGate(const FormRegistry& forms);

// What a run may put in place of the real keyboard state, clock and random source (a harness that scripts the
// program end to end); a null member keeps the real one. Whoever passes them outlives the program.
struct ServiceStandIns {
    KeyboardState* keyboard = nullptr;
    const controls::TimeSource* time = nullptr;
    RandomSource* random = nullptr;
};

// A running program's parts, made in the order of start-up and gone in reverse: the runtime (sessions,
// state, date format), the real services and their routes, then the forms in their order. At its end the
// forms go first (the main window, and with it the clock's thread, last), then the services, then the
// runtime (the sessions, and with the default one the engine).
class Program {
public:
    Program(TApplication& application, std::string progdir,
            const TRegisterForms& registerForms = RegisterForms, const ServiceStandIns& standIns = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    ProgramRuntime& Runtime() { return runtime_; }
    FormRegistry& Forms() { return forms_; }
    // The services the forms were given.
    const Services& View() const { return view_; }

private:
    ProgramRuntime runtime_;
    QtServices services_;
    Services view_;
    ServiceRoutes routes_;
    FormRegistry forms_;
};

// Start-up, then the message loop until the main window closes, then shut-down. Returns the exit code;
// 1 when start-up fails, after the stop box.
int RunProgram(TApplication& application);

}  // namespace app
