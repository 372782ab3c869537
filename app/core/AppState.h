// AppState: the program's process-wide variables, the settings read from config.dat and the few the windows
// set.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// One per running program, owned by its ProgramRuntime. Every member starts zero, empty or false: nothing
// supplies a default for a setting that config.dat has not given. Strings are Windows-1252 bytes.
struct AppState {
    // ---- The sixteen settings of config.dat, in the order they are read ----
    std::int32_t realtime = 0;      // minutes of a real-mode test
    std::int32_t practicetime = 0;  // minutes of a practice test
    std::string fname;              // first name of the last testee
    std::string lname;              // last name of the last testee
    std::string password;           // administrator password, held in upper case; empty: none
    bool useuppercase = false;
    bool usedecimal = false;
    bool presults = false;  // score and report a practice test
    bool rresults = false;  // show the report after a real-mode test
    bool showinstructions = false;
    bool remembername = false;
    std::int32_t scalefactor = 0;  // percent added to 100 for the test screens
    std::int32_t width = 0;        // digit width of the numeric test: 0 variable, else 4 to 8
    std::int32_t sort = 0;         // initial order of the results window
    std::int32_t filter = 0;
    bool autoadvance = false;

    // ---- Set by the program ----
    std::string progdir;      // the program's directory with its trailing "/"
    bool realmode = false;    // the test being started counts (true) or is practice
    bool passwordok = false;  // the password prompt's verdict
};

}  // namespace app
