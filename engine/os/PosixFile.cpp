#include "engine/os/PosixFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <climits>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "rtl/Text.h"

namespace engine {

namespace {

// Files are created readable and writable by everybody the umask allows.
constexpr mode_t NewFileMode = 0666;
// A file whose mode has none of these bits is read-only for the engine, whoever runs it.
constexpr mode_t AnyWriteBit = 0222;
// The copy moves the file in pieces of this many bytes, the engine's copy buffer size.
// Every descriptor the engine opens: never inherited by a program it starts, and never blocking on a FIFO
// or a device that happens to carry a table's name.
constexpr int CommonOpenFlags = O_CLOEXEC | O_NONBLOCK;

int Fail() noexcept {
    return -errno;
}

// The armed fault of ArmIoFault; the flag keeps an unarmed call to one atomic load.
struct IoFault {
    IoCall call = IoCall::Read;
    dev_t device = 0;
    ino_t inode = 0;
    int nth = 0;
    int error = 0;
    int seen = 0;
    bool fired = false;
};
std::atomic<bool> ioFaultArmed{false};
std::mutex ioFaultMutex;
IoFault ioFault;

// The errno the call is to fail with, or 0 to run it.
int InjectedError(IoCall call, int fd) noexcept {
    if (!ioFaultArmed.load(std::memory_order_relaxed)) return 0;
    struct stat status {};
    if (fstat(fd, &status) != 0) return 0;
    const std::lock_guard<std::mutex> lock(ioFaultMutex);
    if (ioFault.call != call || ioFault.device != status.st_dev || ioFault.inode != status.st_ino) return 0;
    if (++ioFault.seen != ioFault.nth) return 0;
    ioFault.fired = true;
    if (ioFault.error == KillAtIoFault) raise(SIGKILL);
    return ioFault.error;
}

struct DirectoryCloser {
    void operator()(DIR* directory) const noexcept { closedir(directory); }
};
using DirectoryHandle = std::unique_ptr<DIR, DirectoryCloser>;

int AccessFlags(FileAccess access) noexcept {
    switch (access) {
        case FileAccess::Write:
            return O_WRONLY;
        case FileAccess::ReadWrite:
            return O_RDWR;
        case FileAccess::Read:
            break;
    }
    return O_RDONLY;
}

// 0 for a regular file; EISDIR for a directory and EPERM for anything else that is not one.
int CheckRegular(const struct stat& status) noexcept {
    if (S_ISREG(status.st_mode)) return 0;
    return S_ISDIR(status.st_mode) ? -EISDIR : -EPERM;
}

int CheckRegular(int fd) noexcept {
    struct stat status {};
    if (fstat(fd, &status) != 0) return Fail();
    return CheckRegular(status);
}

// A regular file that the engine may change: one with a write bit, for the superuser too.
int CheckChangeable(int fd) noexcept {
    struct stat status {};
    if (fstat(fd, &status) != 0) return Fail();
    const int result = CheckRegular(status);
    if (result != 0) return result;
    return (status.st_mode & AnyWriteBit) != 0 ? 0 : -EACCES;
}

int SetLock(int fd, short type, std::int64_t offset, std::int64_t length) noexcept {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = length;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 0 : Fail();
}

// Closes the descriptor and answers the failure it was opened under; the errno is kept from before close.
int CloseAndFail(int fd, int result) noexcept {
    close(fd);
    return result;
}

// Creates or empties the file at an already resolved path: never cut before the share byte is ours alone.
int CreateAtPath(const std::string& path, bool writeThrough) {
    const int flags = O_RDWR | O_CREAT | CommonOpenFlags | (writeThrough ? O_DSYNC : 0);
    const int fd = open(path.c_str(), flags, NewFileMode);
    if (fd < 0) return Fail();
    int result = CheckChangeable(fd);
    if (result == 0) result = LockShareByte(fd, true);
    if (result == 0) result = TruncateAt(fd, 0);
    return result == 0 ? fd : CloseAndFail(fd, result);
}

// Opens the file for removal or renaming, holding its share byte exclusively.
int OpenForRemoval(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | CommonOpenFlags);
    if (fd < 0) return Fail();
    int result = CheckChangeable(fd);
    if (result == 0) result = LockShareByte(fd, true);
    return result == 0 ? fd : CloseAndFail(fd, result);
}

// Renames without ever replacing the target.
int MoveNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return Fail();
    // A file system without the no-replace flag: a hard link refuses an existing name just as well.
    if (link(from.c_str(), to.c_str()) != 0) return Fail();
    if (unlink(from.c_str()) != 0) {
        const int result = Fail();
        unlink(to.c_str());
        return result;
    }
    return 0;
}

// Copies source into target from offset 0; answers 0 or minus the errno.
int CopyContents(int sourceFd, int targetFd, std::span<std::uint8_t> chunk) {
    std::int64_t offset = 0;
    for (;;) {
        const std::int64_t got = ReadAt(sourceFd, chunk.data(), chunk.size(), offset);
        if (got <= 0) return static_cast<int>(got);
        const int result = WriteAt(targetFd, chunk.data(), static_cast<std::size_t>(got), offset);
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

std::string ResolvePath(std::string_view engineName) {
    std::string path = ToOsPath(engineName);
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 || errno != ENOENT) return path;
    const std::size_t slash = path.rfind('/');
    const std::size_t lastStart = slash == std::string::npos ? 0 : slash + 1;
    if (lastStart == path.size()) return path;
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const DirectoryHandle listing(opendir(directory.c_str()));
    if (!listing) return path;
    const std::string wanted = rtl::Utf8ToCp1252(std::string_view(path).substr(lastStart));
    std::string best;
    while (const dirent* entry = readdir(listing.get())) {
        const std::string_view name = entry->d_name;
        const std::string spelled = rtl::Utf8ToCp1252(name);
        // A name that does not survive the trip through Windows-1252 is not one the engine can mean.
        if (!rtl::AnsiSameText(spelled, wanted) || rtl::Cp1252ToUtf8(spelled) != name) continue;
        if (best.empty() || name < best) best = name;
    }
    if (best.empty()) return path;
    return path.substr(0, lastStart) + best;
}

std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr) return {};
    return rtl::Utf8ToCp1252(buffer);
}

int StatFile(std::string_view engineName, FileStatus& status) {
    struct stat found {};
    if (stat(ResolvePath(engineName).c_str(), &found) != 0) return Fail();
    status.directory = S_ISDIR(found.st_mode);
    status.readOnly = (found.st_mode & AnyWriteBit) == 0;
    return 0;
}

bool DiskFileExists(std::string_view engineName) {
    FileStatus status;
    return StatFile(engineName, status) == 0 && !status.directory;
}

int OpenFileHandle(std::string_view engineName, const OpenOptions& options) {
    const std::string path = ResolvePath(engineName);
    FileAccess access = options.access;
    if (options.exclusive && access == FileAccess::Read) {
        struct stat status {};
        if (stat(path.c_str(), &status) == 0 && (status.st_mode & AnyWriteBit) != 0) {
            access = FileAccess::ReadWrite;
        }
    }
    int flags = AccessFlags(access) | CommonOpenFlags;
    if (options.writeThrough) flags |= O_DSYNC;
    if (options.append) flags |= O_APPEND;
    const int fd = open(path.c_str(), flags);
    if (fd < 0) return Fail();
    int result = CheckRegular(fd);
    if (result == 0) result = LockShareByte(fd, options.exclusive && access != FileAccess::Read);
    return result == 0 ? fd : CloseAndFail(fd, result);
}

int CreateFileHandle(std::string_view engineName, bool writeThrough) {
    return CreateAtPath(ResolvePath(engineName), writeThrough);
}

void CloseFileHandle(int fd) noexcept {
    close(fd);
}

std::int64_t FileSize(int fd) noexcept {
    struct stat status {};
    if (fstat(fd, &status) != 0) return Fail();
    return status.st_size;
}

std::int64_t ReadAt(int fd, void* buffer, std::size_t count, std::int64_t offset) noexcept {
    if (const int error = InjectedError(IoCall::Read, fd)) return -error;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(fd, bytes + done, count - done, offset + static_cast<std::int64_t>(done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return Fail();
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

int WriteAt(int fd, const void* buffer, std::size_t count, std::int64_t offset) noexcept {
    if (const int error = InjectedError(IoCall::Write, fd)) return -error;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t written = pwrite(fd, bytes, count, offset);
        if (written < 0) {
            if (errno == EINTR) continue;
            return Fail();
        }
        // A write that moves nothing would repeat for ever.
        if (written == 0) return -EIO;
        bytes += written;
        count -= static_cast<std::size_t>(written);
        offset += written;
    }
    return 0;
}

int TruncateAt(int fd, std::int64_t size) noexcept {
    while (ftruncate(fd, size) != 0) {
        if (errno != EINTR) return Fail();
    }
    return 0;
}

int SyncFile(int fd) noexcept {
    return fsync(fd) == 0 ? 0 : Fail();
}

int LockBytes(int fd, std::int64_t offset, std::int64_t length, bool writeLock) noexcept {
    return SetLock(fd, writeLock ? F_WRLCK : F_RDLCK, offset, length);
}

int UnlockBytes(int fd, std::int64_t offset, std::int64_t length) noexcept {
    return SetLock(fd, F_UNLCK, offset, length);
}

int BytesLockedElsewhere(int fd, std::int64_t offset, std::int64_t length) noexcept {
    struct flock lock {};
    // A write lock is what conflicts with any lock another description holds, a read lock included.
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = length;
    if (fcntl(fd, F_OFD_GETLK, &lock) != 0) return Fail();
    return lock.l_type == F_UNLCK ? 0 : 1;
}

int LockShareByte(int fd, bool exclusive) noexcept {
    return LockBytes(fd, ShareByteOffset, 1, exclusive);
}

int ReserveNewFile(std::string_view engineName) {
    const int fd = open(ToOsPath(engineName).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NewFileMode);
    if (fd < 0) return Fail();
    close(fd);
    return 0;
}

HeldFile::HeldFile(std::string_view engineName) noexcept {
    try {
        fd_ = open(ToOsPath(engineName).c_str(), O_RDONLY | O_CLOEXEC);
    } catch (...) {
        fd_ = -1;
    }
}

HeldFile::~HeldFile() {
    if (fd_ >= 0) close(fd_);
}

bool HeldFile::IsAt(std::string_view engineName) const {
    struct stat held {};
    struct stat named {};
    if (fd_ < 0 || fstat(fd_, &held) != 0) return false;
    if (stat(ResolvePath(engineName).c_str(), &named) != 0) return false;
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

int DeleteDiskFile(std::string_view engineName) {
    const std::string path = ResolvePath(engineName);
    const int fd = OpenForRemoval(path);
    if (fd < 0) return fd;
    const int result = unlink(path.c_str()) == 0 ? 0 : Fail();
    close(fd);
    return result;
}

int RenameDiskFile(std::string_view oldName, std::string_view newName) {
    const std::string from = ResolvePath(oldName);
    const int fd = OpenForRemoval(from);
    if (fd < 0) return fd;
    std::string to = ResolvePath(newName);
    // The new name differs from the old one in letter case only: the file takes the new spelling.
    if (to == from) to = ToOsPath(newName);
    const int result = MoveNoReplace(from, to);
    close(fd);
    return result;
}

int CopyFileByHandle(int sourceFd, std::string_view targetName, std::span<std::uint8_t> chunk) {
    if (chunk.empty()) return -EINVAL;
    const std::string path = ResolvePath(targetName);
    const int targetFd = CreateAtPath(path, false);
    if (targetFd < 0) return targetFd;
    int result = CopyContents(sourceFd, targetFd, chunk);
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

bool ArmIoFault(IoCall call, std::string_view engineName, int nth, int error) {
    struct stat status {};
    if (stat(ResolvePath(engineName).c_str(), &status) != 0) return false;
    const std::lock_guard<std::mutex> lock(ioFaultMutex);
    ioFault = IoFault{call, status.st_dev, status.st_ino, nth, error, 0, false};
    ioFaultArmed.store(true);
    return true;
}

void DisarmIoFault() noexcept {
    const std::lock_guard<std::mutex> lock(ioFaultMutex);
    ioFaultArmed.store(false);
    ioFault = IoFault{};
}

bool IoFaultFired() noexcept {
    const std::lock_guard<std::mutex> lock(ioFaultMutex);
    return ioFault.fired;
}

int IoFaultCallsSeen() noexcept {
    const std::lock_guard<std::mutex> lock(ioFaultMutex);
    return ioFault.seen;
}

}  // namespace engine
