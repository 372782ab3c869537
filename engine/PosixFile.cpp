#include "engine/PosixFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

#include "engine/EngineMemory.h"
#include "rtl/Text.h"

namespace engine {

namespace {

// Files are created readable and writable by everybody the umask allows.
constexpr mode_t NewFileMode = 0666;
// The copy moves the file in pieces of this many bytes, the engine's copy buffer size.
constexpr std::size_t CopyChunk = 65535;

int Fail() noexcept {
    return -errno;
}

// Writes all of the bytes at the offset, across short writes.
int WriteAll(int fd, const std::uint8_t* data, std::size_t count, off_t offset) noexcept {
    while (count > 0) {
        const ssize_t written = pwrite(fd, data, count, offset);
        if (written < 0) {
            if (errno == EINTR) continue;
            return Fail();
        }
        data += written;
        count -= static_cast<std::size_t>(written);
        offset += written;
    }
    return 0;
}

// Copies source into target from offset 0; answers 0 or minus the errno.
int CopyContents(int sourceFd, int targetFd) {
    EngineBlock chunk(CopyChunk);
    off_t offset = 0;
    for (;;) {
        const ssize_t got = pread(sourceFd, chunk.Data(), CopyChunk, offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            return Fail();
        }
        if (got == 0) return 0;
        const int result = WriteAll(targetFd, chunk.Data(), static_cast<std::size_t>(got), offset);
        if (result != 0) return result;
        offset += got;
    }
}

}  // namespace

std::string ToOsPath(std::string_view engineName) {
    std::string path = rtl::Cp1252ToUtf8(engineName);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr) return {};
    return rtl::Utf8ToCp1252(buffer);
}

int ReserveNewFile(std::string_view engineName) {
    const int fd = open(ToOsPath(engineName).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NewFileMode);
    if (fd < 0) return Fail();
    close(fd);
    return 0;
}

int LockShareByte(int fd, bool exclusive) noexcept {
    struct flock lock {};
    lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = ShareByteOffset;
    lock.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 0 : Fail();
}

int CopyFileByHandle(int sourceFd, std::string_view targetName) {
    const std::string path = ToOsPath(targetName);
    // Never truncate a file somebody has open: empty it only once its share byte is ours alone.
    const int targetFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, NewFileMode);
    if (targetFd < 0) return Fail();
    int result = LockShareByte(targetFd, true);
    if (result != 0) {
        close(targetFd);
        return result;
    }
    if (ftruncate(targetFd, 0) != 0) {
        result = Fail();
    } else {
        result = CopyContents(sourceFd, targetFd);
    }
    // The partial copy goes while the share byte is still held.
    if (result != 0) unlink(path.c_str());
    if (close(targetFd) != 0 && result == 0) {
        result = Fail();
        unlink(path.c_str());
    }
    return result;
}

void Delay(int milliseconds) {
    if (milliseconds < 0) return;
    // "More than n milliseconds" in whole milliseconds, as a millisecond tick count would show it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds) +
                          std::chrono::milliseconds(1);
    while (std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_until(deadline);
}

}  // namespace engine
