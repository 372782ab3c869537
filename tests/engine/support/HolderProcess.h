// A running engine-holder for one test: another program that holds an engine file and its locks; killed
// and reaped with the test, so that nothing stays held.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace enginetest {

class HolderProcess {
public:
    // How long a reply may take before the test gives up on it: generous for sanitized builds.
    static constexpr std::chrono::milliseconds ReplyTimeout{20000};

    // Starts the holder on the file ("shared" or "exclusive", "read" or "write"; the whole table through the
    // engine's table handle when asked) and waits for its first line, "ready" or "error <code>".
    HolderProcess(const std::string& fileName, std::string_view share, std::string_view access,
                  int lifetimeMs = 60000, bool wholeTable = false) {
        std::vector<std::string> arguments = {fileName, std::string(share), std::string(access), "--for",
                                              std::to_string(lifetimeMs)};
        if (wholeTable) arguments.push_back("--table");
        Start(arguments);
    }

    // Starts the holder in table mode: the table opened shared and writable through the table handle, whose
    // lock commands (lockrecord, beginwrite, retries ...) Send passes on.
    struct TableMode {};
    HolderProcess(TableMode, const std::string& tableName, int lifetimeMs = 60000) {
        Start({"table", tableName, "--for", std::to_string(lifetimeMs)});
    }

    ~HolderProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Reap();
        }
        if (socket_ >= 0) close(socket_);
    }

    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;

    // "ready" or "error <code>".
    const std::string& Greeting() const { return greeting_; }
    bool Ready() const { return greeting_ == "ready"; }

    // Sends one command line and answers the reply line.
    std::string Send(std::string_view command) {
        std::string line(command);
        line += '\n';
        std::string_view rest = line;
        while (!rest.empty()) {
            const ssize_t sent = send(socket_, rest.data(), rest.size(), MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR) continue;
                return {};
            }
            rest.remove_prefix(static_cast<std::size_t>(sent));
        }
        return ReadLine();
    }

    bool Lock(std::int64_t offset, std::int64_t length) { return Reply("lock", offset, length); }
    bool Unlock(std::int64_t offset, std::int64_t length) { return Reply("unlock", offset, length); }

    // Closes the holder's file and waits until the holder has exited; answers its exit status.
    int Release() {
        EXPECT_EQ(Send("release"), "ok");
        return WaitForExit();
    }

    // The next line the holder prints; empty once it has exited, or after ReplyTimeout (a failure).
    std::string ReadLine() {
        const auto deadline = std::chrono::steady_clock::now() + ReplyTimeout;
        for (;;) {
            const std::size_t newline = buffer_.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ADD_FAILURE() << "engine-holder did not answer in time";
                return {};
            }
            pollfd input{socket_, POLLIN, 0};
            const int ready = poll(&input, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) continue;
            char chunk[256];
            const ssize_t got = recv(socket_, chunk, sizeof chunk, 0);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return {};
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

    // Waits for the holder to exit; answers its exit status, or -1 when it was killed by a signal.
    int WaitForExit() {
        const int status = Reap();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    void Start(std::vector<std::string> arguments) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            ADD_FAILURE() << "socketpair failed, errno " << errno;
            return;
        }
        socket_ = ends[0];
        // The holder's standard input and output are both its end of the socket.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        std::string program = KEYVALE_ENGINE_HOLDER;
        std::vector<char*> argv = {program.data()};
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(ends[1]);
        if (spawned != 0) {
            pid_ = -1;
            ADD_FAILURE() << "cannot start " << program << ", error " << spawned;
            return;
        }
        greeting_ = ReadLine();
    }

    bool Reply(std::string_view command, std::int64_t offset, std::int64_t length) {
        const std::string reply =
            Send(std::string(command) + ' ' + std::to_string(offset) + ' ' + std::to_string(length));
        EXPECT_TRUE(reply == "ok" || reply == "fail") << command << " answered \"" << reply << '"';
        return reply == "ok";
    }

    int Reap() {
        int status = 0;
        if (pid_ <= 0) return status;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

    pid_t pid_ = -1;
    int socket_ = -1;
    std::string buffer_;
    std::string greeting_;
};

}  // namespace enginetest
