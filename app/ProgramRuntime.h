// ProgramRuntime: what one run of the program holds for its whole life: its state and its format settings.
#pragma once

#include <QString>

#include <string>

#include "app/core/AppState.h"
#include "rtl/FormatSettings.h"

namespace app {

// Made after the application object and before the services and forms; gone after the forms. While it
// lives the short date format is "mm/dd/yy"; the previous settings come back at its end.
class ProgramRuntime {
public:
    // `progdir`: the program's directory with its trailing "/", Windows-1252 bytes.
    explicit ProgramRuntime(std::string progdir);
    ~ProgramRuntime();
    ProgramRuntime(const ProgramRuntime&) = delete;
    ProgramRuntime& operator=(const ProgramRuntime&) = delete;

    AppState& State() { return state_; }
    const AppState& State() const { return state_; }

private:
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
