// ProgramRuntime: what one run of the program holds for its whole life: its sessions (and through them the
// engine), its state and its format settings.
#pragma once

#include <QString>

#include <string>

#include "app/core/AppState.h"
#include "components/SessionRuntime.h"
#include "rtl/FormatSettings.h"

namespace app {

// Made after the application object and before the services and forms; gone after the forms. It owns the
// session runtime, with the default session not started and the table-password dialog as the sessions'
// password hook; the sessions go last, and the engine stops with the default one. While it lives the short
// date format is "mm/dd/yy"; the previous settings come back at its end. One at a time, as the session
// runtime it holds.
class ProgramRuntime {
public:
    // `progdir`: the program's directory with its trailing "/", Windows-1252 bytes.
    explicit ProgramRuntime(std::string progdir);
    ~ProgramRuntime();
    ProgramRuntime(const ProgramRuntime&) = delete;
    ProgramRuntime& operator=(const ProgramRuntime&) = delete;

    AppState& State() { return state_; }
    const AppState& State() const { return state_; }
    components::SessionRuntime& Sessions() { return sessions_; }

private:
    // First made, last gone: everything else may hold an engine table.
    components::SessionRuntime sessions_;
    rtl::FormatSettingsGuard formatSettings_;
    AppState state_;
};

// The directory of the running program file with a trailing "/", in Windows-1252 bytes, whatever the
// working directory and however the program was started. Raises rtl::Exception naming the directory
// when it has a character the code page lacks.
std::string ProgramDirectory();
// The directory given with a trailing "/" in Windows-1252 bytes; raises as ProgramDirectory does.
std::string ProgramDirectoryOf(const QString& directory);

}  // namespace app
