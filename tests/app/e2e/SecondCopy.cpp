#include "tests/app/e2e/SecondCopy.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

extern char** environ;

namespace e2e {

SecondCopy::SecondCopy(const QString& programDir) {
    Start(programDir);
}

SecondCopy::~SecondCopy() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        Reap();
    }
    if (toCopy_ >= 0) close(toCopy_);
    if (fromCopy_ >= 0) close(fromCopy_);
}

void SecondCopy::Start(const QString& programDir) {
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed, errno " << errno;
        return;
    }
    if (pipe2(output, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed, errno " << errno;
        close(input[0]);
        close(input[1]);
        return;
    }
    toCopy_ = input[1];
    fromCopy_ = output[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    std::string program = KEYVALE_E2E_COPY;
    std::string directory = programDir.toLocal8Bit().toStdString();
    std::string lifetimeOption = "--for";
    std::string lifetime = std::to_string(kLifetimeMs);
    std::vector<char*> argv = {program.data(), directory.data(), lifetimeOption.data(), lifetime.data(), nullptr};
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    if (spawned != 0) {
        pid_ = -1;
        ADD_FAILURE() << "cannot start " << program << ", error " << spawned;
        return;
    }
    greeting_ = ReadLine();
}

std::string SecondCopy::Step(std::string_view step) {
    if (pid_ <= 0) {
        ADD_FAILURE() << "the second copy is not running for the step \"" << step << '"';
        return {};
    }
    std::string line(step);
    line += '\n';
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t sent = write(toCopy_, rest.data(), rest.size());
        if (sent < 0) {
            if (errno == EINTR) continue;
            ADD_FAILURE() << "the second copy does not take the step \"" << step << "\", errno " << errno;
            return {};
        }
        rest.remove_prefix(static_cast<std::size_t>(sent));
    }
    std::string answer = ReadLine();
    if (answer.empty()) ADD_FAILURE() << "no answer from the second copy to \"" << step << '"';
    return answer;
}

int SecondCopy::Quit() {
    const std::string answer = Step("quit");
    EXPECT_EQ(answer, "ok") << "the second copy's quit";
    // Nothing more comes: its output ends as it exits.
    if (answer == "ok") {
        EXPECT_EQ(ReadLine(), "");
    }
    if (pid_ <= 0) return -1;
    if (fromCopy_ >= 0) kill(pid_, SIGKILL);  // no orderly end: not worth waiting for its deadline
    const int status = Reap();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string SecondCopy::ReadLine() {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    for (;;) {
        const std::size_t newline = buffer_.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffer_.substr(0, newline);
            buffer_.erase(0, newline + 1);
            return line;
        }
        if (fromCopy_ < 0) return {};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ADD_FAILURE() << "the second copy did not answer within " << kAnswerTimeout.count() << " ms";
            return {};
        }
        pollfd ready{fromCopy_, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(left.count()));
        if (polled <= 0) continue;  // EINTR, or the time is up: the loop decides
        char chunk[256];
        const ssize_t got = read(fromCopy_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            close(fromCopy_);
            fromCopy_ = -1;
            return {};
        }
        buffer_.append(chunk, static_cast<std::size_t>(got));
    }
}

int SecondCopy::Reap() {
    int status = 0;
    if (pid_ <= 0) return -1;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
}

}  // namespace e2e
