// RunProgram: the program from start-up to shut-down, in its fixed order.
#pragma once

namespace app {

class TApplication;
class FormRegistry;
class ProgramRuntime;
struct Services;

// Gives each form slot of the registry its factory. Forms reach the runtime and the services, which
// outlive them.
void RegisterForms(FormRegistry& forms, ProgramRuntime& runtime, const Services& services);

// Start-up: the runtime (sessions, state, date format), the services, the forms in their order; then the
// message loop until the main window closes. Shut-down in reverse: the forms (the main window, and with
// it the clock's thread, last), the services, the runtime (the sessions, and with the default one the
// engine). Returns the exit code; 1 when start-up fails, after the stop box.
int RunProgram(TApplication& application);

}  // namespace app
