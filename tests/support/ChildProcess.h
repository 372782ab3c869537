// ChildProcess: a helper program a test starts, its standard input and output both its end of a socket pair,
// spoken to a line at a time; killed and reaped with its owner, so that nothing it holds outlives the test.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/LineIo.h"

extern char** environ;

namespace testsupport {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() {
        Kill();
        if (socket_ >= 0) close(socket_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with `arguments` in this process's working directory and environment; its standard
    // error stays this process's. Answers 0, or the error number of the socket pair or the spawn.
    int Start(std::string program, std::vector<std::string> arguments) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return errno;
        socket_ = ends[0];
        reader_.emplace(socket_);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        std::vector<char*> argv = {program.data()};
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(ends[1]);
        if (spawned != 0) pid_ = -1;
        return spawned;
    }

    bool Running() const { return pid_ > 0; }
    // Its output has ended: it has exited, or closed its standard output.
    bool OutputEnded() const { return outputEnded_; }

    // Sends `text` and a line end; false (errno says why) when it does not take them.
    bool SendLine(std::string_view text) { return socket_ >= 0 && WriteLine(socket_, text); }

    // The next line it prints, waiting up to `timeout`.
    LineReader::Status ReadLine(std::chrono::milliseconds timeout, std::string& line) {
        if (!reader_ || outputEnded_) return LineReader::Status::End;
        const LineReader::Status status = reader_->Next(LineReader::Clock::now() + timeout, line);
        if (status == LineReader::Status::End) outputEnded_ = true;
        return status;
    }

    // Waits for its end; answers its wait status (0 when it was not running).
    int Wait() {
        int status = 0;
        if (pid_ <= 0) return status;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

    // Ends it at once, and reaps it.
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        Wait();
    }

private:
    pid_t pid_ = -1;
    int socket_ = -1;
    std::optional<LineReader> reader_;
    bool outputEnded_ = false;
};

}  // namespace testsupport
