// Runs the keyvale-setup command as a program, from a chosen working directory, and keeps what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace setuptest {

struct SetupRun {
    int status = -1;  // the exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

inline std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

inline std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The output goes through files in `scratch`, which must exist outside the directories the test checks.
inline SetupRun RunSetupProgram(const std::vector<std::string>& arguments,
                                const std::filesystem::path& workingDirectory,
                                const std::filesystem::path& scratch) {
    const std::filesystem::path out = scratch / "setup.out";
    const std::filesystem::path err = scratch / "setup.err";
    std::string command =
        "cd " + ShellQuoted(workingDirectory.string()) + " && " + ShellQuoted(KEYVALE_SETUP);
    for (const std::string& argument : arguments) command += ' ' + ShellQuoted(argument);
    command += " >" + ShellQuoted(out.string()) + " 2>" + ShellQuoted(err.string());
    SetupRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadWhole(out);
    run.err = ReadWhole(err);
    return run;
}

}  // namespace setuptest
