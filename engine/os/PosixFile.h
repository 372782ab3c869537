// The operating-system services the engine calls directly: names, opening with share modes, positioned
// input and output, byte-range locks, removal, renaming and copying of files, sleeping.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace engine {

// Every descriptor locks this one byte, above every lock range the engine uses, to express its share mode:
// shared opens read-lock it, exclusive opens and destructive operations write-lock it.
inline constexpr off_t ShareByteOffset = 0x80000000;

// An engine file name (Windows-1252, "\" or "/" between parts) as the operating system takes it: UTF-8 with
// "/".
std::string ToOsPath(std::string_view engineName);
// The engine name as a path to hand to the operating system: the name itself when it exists as spelled (or
// its directory cannot be searched), else the entry of its directory whose name matches the last part
// without regard to letter case (the first in byte order when several do), else the name as spelled.
std::string ResolvePath(std::string_view engineName);
// The process's current directory as an engine name; empty when it cannot be read.
std::string CurrentDirectory();

// What the file system says about an existing engine file.
struct FileStatus {
    bool directory = false;
    // No write bit in its mode: nobody, the superuser included, may change it through the engine.
    bool readOnly = false;
};
// Looks the (resolved) name up. Answers 0 or minus the errno.
int StatFile(std::string_view engineName, FileStatus& status);
// True when the (resolved) name is there and is not a directory.
bool DiskFileExists(std::string_view engineName);

enum class FileAccess : std::uint8_t { Read, Write, ReadWrite };

struct OpenOptions {
    FileAccess access = FileAccess::Read;
    // Exclusive opens write-lock the share byte; a file nobody may change is only read-locked, since no
    // writer can ever conflict with it. Shared opens read-lock it.
    bool exclusive = false;
    // Each write reaches the device before it returns (O_DSYNC).
    bool writeThrough = false;
    // Every write lands at the current end of the file, whatever its offset (O_APPEND).
    bool append = false;
};
// Opens an existing regular file, with its share byte taken without waiting. An exclusive open of a file
// with a write bit gets a read-write descriptor so that it can write-lock the share byte. Anything but a
// regular file is refused (EISDIR for a directory, EPERM otherwise), so that a FIFO or device named like a
// table neither blocks nor misleads the engine. Answers the descriptor or minus the errno; a share conflict
// answers the lock's errno (EAGAIN or EACCES).
int OpenFileHandle(std::string_view engineName, const OpenOptions& options);
// Creates the file, or empties an existing one (its letter case reused) once its share byte is
// write-locked, so that a file somebody has open is never cut. The descriptor is read-write and holds the
// share byte exclusively. A file with no write bit is refused with EACCES. Answers the descriptor or minus
// the errno.
int CreateFileHandle(std::string_view engineName, bool writeThrough);
// Closes a descriptor; its locks go with it.
void CloseFileHandle(int fd) noexcept;

// The file's size, or minus the errno.
std::int64_t FileSize(int fd) noexcept;
// Reads up to count bytes at the offset, across short reads and interruptions; fewer only at the end of
// the file. Answers the number read or minus the errno.
std::int64_t ReadAt(int fd, void* buffer, std::size_t count, std::int64_t offset) noexcept;
// Writes all count bytes at the offset. Answers 0 or minus the errno.
int WriteAt(int fd, const void* buffer, std::size_t count, std::int64_t offset) noexcept;
// Sets the file's size. Answers 0 or minus the errno.
int TruncateAt(int fd, std::int64_t size) noexcept;
// Forces the file's data to the device. Answers 0 or minus the errno.
int SyncFile(int fd) noexcept;

// Open-file-description locks on a byte range, without waiting: they belong to the descriptor, so two
// descriptors of one process exclude each other, and they go when the descriptor is closed. A write lock
// needs a descriptor open for writing. Answer 0 or minus the errno.
int LockBytes(int fd, std::int64_t offset, std::int64_t length, bool writeLock) noexcept;
int UnlockBytes(int fd, std::int64_t offset, std::int64_t length) noexcept;
// Whether another descriptor holds a lock on any byte of the range, taking nothing: 1 when one does, 0 when
// none does, or minus the errno.
int BytesLockedElsewhere(int fd, std::int64_t offset, std::int64_t length) noexcept;
// Takes the descriptor's share byte, exclusively or shared, without waiting. Answers 0 or minus the errno.
int LockShareByte(int fd, bool exclusive) noexcept;

// Creates the named file empty, failing when it exists. Answers 0 or minus the errno.
int ReserveNewFile(std::string_view engineName);
// A file held open, without any lock: while it is held no other file can take its device and inode number,
// so whether a name still leads to it tells whether the file there is still the one that was opened (and not
// a file made under the same name after it was deleted).
class HeldFile {
public:
    // Holds the named file; holds nothing when it cannot be opened.
    explicit HeldFile(std::string_view engineName) noexcept;
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    // The (resolved) name leads to the held file; false when nothing is held.
    bool IsAt(std::string_view engineName) const;

private:
    int fd_ = -1;
};

// Deletes the file while holding its share byte exclusively, so that a file somebody has open stays. A
// file with no write bit is refused with EACCES. Answers 0 or minus the errno.
int DeleteDiskFile(std::string_view engineName);
// Renames the file while holding its share byte exclusively, never replacing an existing file (a case
// variant of the new name included, unless it is the file itself). Answers 0 or minus the errno.
int RenameDiskFile(std::string_view oldName, std::string_view newName);

// The size of the buffer a copy moves the file through: what fits a 16-bit length.
inline constexpr std::size_t CopyChunkSize = 65535;

// Copies the whole open file, read from offset 0, into the named file, which is created or emptied once no
// other handle holds it, through the caller's buffer (which the caller takes from the engine's allocator).
// Answers 0, or minus the errno of the first failing call after removing the partial copy.
int CopyFileByHandle(int sourceFd, std::string_view targetName, std::span<std::uint8_t> chunk);

// Sleeps until more than the given number of milliseconds have passed on the steady clock.
void Delay(int milliseconds);

// ---- Failure injection for tests ----
//
// Tests make the Nth ReadAt or WriteAt on one named file fail with a chosen errno, to see what the engine
// leaves behind when the disk refuses a read or write part-way through an operation. Inert unless a test
// arms it: with nothing armed every call costs one relaxed atomic load. The file is recognised by its device
// and inode, taken when the fault is armed, so every descriptor of it counts.

enum class IoCall : std::uint8_t { Read, Write };
// Armed as the error, the fault kills the process (SIGKILL) at its call instead, before the call touches
// the file: a test runs the work in a child process to see what a program killed at that call leaves.
inline constexpr int KillAtIoFault = -1;
// Arms one fault: the nth call (from 1) of the kind on the named existing file answers minus the errno
// without touching the file; the calls before it and after it run as usual. Replaces a fault armed before.
// False when the file cannot be looked up.
bool ArmIoFault(IoCall call, std::string_view engineName, int nth, int error);
// Disarms the fault.
void DisarmIoFault() noexcept;
// Whether the armed fault has failed its call, and how many calls of its kind on its file have been seen.
bool IoFaultFired() noexcept;
int IoFaultCallsSeen() noexcept;

}  // namespace engine
