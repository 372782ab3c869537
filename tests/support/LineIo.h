// LineIo: the line-at-a-time talk between a test and a helper program it starts: whole writes, and lines read
// against a deadline. Used on both sides, so it needs neither Qt nor the test framework.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace testsupport {

// Writes all of `bytes` to `fd`, again after an interruption or a partial write; false on an error (errno
// says which). On a socket it sends without SIGPIPE, so that a peer that has gone is an error here rather
// than the end of this process.
inline bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written < 0 && errno == ENOTSOCK) written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// `text` and its line end, written whole.
inline bool WriteLine(int fd, std::string_view text) {
    std::string line(text);
    line += '\n';
    return WriteAll(fd, line);
}

// The lines coming in on a descriptor it does not own. It reads straight from the descriptor, keeping what
// follows the last whole line, so that poll sees every byte not yet taken.
class LineReader {
public:
    enum class Status { Line, End, TimeUp };
    using Clock = std::chrono::steady_clock;

    explicit LineReader(int fd) : fd_(fd) {}

    // The next line, without its line end, into `line`; End once the other side has closed (or on a read
    // error), TimeUp when no whole line came before `deadline`.
    Status Next(Clock::time_point deadline, std::string& line) {
        for (;;) {
            const std::size_t newline = buffer_.find('\n');
            if (newline != std::string::npos) {
                line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return Status::Line;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return Status::TimeUp;
            pollfd input{fd_, POLLIN, 0};
            const int ready = poll(&input, 1, static_cast<int>(left));
            if (ready < 0 && errno == EINTR) continue;
            if (ready == 0) return Status::TimeUp;
            char chunk[256];
            const ssize_t got = read(fd_, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return Status::End;
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

private:
    int fd_;
    std::string buffer_;
};

}  // namespace testsupport
