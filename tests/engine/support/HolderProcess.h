// A running engine-holder for one test: another program that holds an engine file and its locks; killed
// and reaped with the test, so that nothing stays held.
#pragma once

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace enginetest {

class HolderProcess {
public:
    // How long a reply may take before the test gives up on it: generous for sanitized builds.
    static constexpr std::chrono::milliseconds ReplyTimeout{20000};

    // Starts the holder on the file ("shared" or "exclusive", "read" or "write"; the whole table through the
    // engine's table handle when asked) and waits for its first line, "ready" or "error <code>".
    HolderProcess(const std::string& fileName, std::string_view share, std::string_view access, int lifetimeMs = 60000,
                  bool wholeTable = false) {
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

    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;

    // "ready" or "error <code>".
    const std::string& Greeting() const { return greeting_; }
    bool Ready() const { return greeting_ == "ready"; }

    // Sends one command line and answers the reply line.
    std::string Send(std::string_view command) {
        if (!process_.SendLine(command)) return {};
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
        std::string line;
        const testsupport::LineReader::Status status = process_.ReadLine(ReplyTimeout, line);
        if (status == testsupport::LineReader::Status::TimeUp) ADD_FAILURE() << "engine-holder did not answer in time";
        return status == testsupport::LineReader::Status::Line ? line : std::string();
    }

    // Waits for the holder to exit; answers its exit status, or -1 when it was killed by a signal.
    int WaitForExit() {
        const int status = process_.Wait();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    // The holder's standard input and output are both its end of the socket.
    void Start(std::vector<std::string> arguments) {
        const int error = process_.Start(KEYVALE_ENGINE_HOLDER, std::move(arguments));
        if (error != 0) {
            ADD_FAILURE() << "cannot start " << KEYVALE_ENGINE_HOLDER << ", error " << error;
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

    testsupport::ChildProcess process_;
    std::string greeting_;
};

}  // namespace enginetest
