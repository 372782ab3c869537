// TFileHandler: one engine file, on disk or among the current session's in-memory files, behind one set of
// operations.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "engine/base/MemoryFile.h"

namespace engine {

class TJournal;

// Open modes: the low two bits choose the access (0 read, 1 write, 2 read and write), the high four bits the
// sharing (0 and 1 none, 4 read and write; 2 and 3 are refused). These four are the ones the engine uses.
inline constexpr std::uint8_t OpenReadExclusive = 0x10;
inline constexpr std::uint8_t OpenReadShared = 0x40;
inline constexpr std::uint8_t OpenReadWriteExclusive = 0x12;
inline constexpr std::uint8_t OpenReadWriteShared = 0x42;

// The engine's record, index and large-object files derive from it and override TranslateFileName. Every
// failure raises an engine error naming FileName; Seek, GetSize, LockRange and FileExists report nothing.
// Operations on in-memory files run inside the engine's file critical section. Disk semantics (share
// modes, locks, case-insensitive names) live in PosixFile.
class TFileHandler {
public:
    TFileHandler();
    // Closes the file when it is open. A descendant that adds close steps closes itself in its own
    // destructor: only this class's Close runs from here.
    virtual ~TFileHandler();
    TFileHandler(const TFileHandler&) = delete;
    TFileHandler& operator=(const TFileHandler&) = delete;

    // The name the handler uses for a given name; this class keeps it unchanged.
    virtual std::string TranslateFileName(std::string_view name) const;
    // Opens FileName with the handler's flags; does nothing when open. A disk file whose mode has no write
    // bit opens read-only and sets ReadOnly and AttributeReadOnly. Raises 11010 for a missing file, 11013
    // for a sharing conflict or a file that is not a regular file, 8961 for a disk file larger than
    // MaxFileSize, and the mapped code of any other refusal.
    virtual void Open();
    // Raises nothing; the locks go with the file.
    virtual void Close();
    // Creates FileName empty, or empties it once nobody else has it open; leaves it open for reading and
    // writing whatever ReadOnly says. Raises 10031 when open and 10253 when not Exclusive.
    virtual void CreateFile();
    // Raise 10031 when open. A disk file is deleted or renamed only while nobody else has it open, and a
    // rename never replaces a file. Failures raise 9220 and 11047 with the system error stored.
    virtual void DeleteFile();
    virtual void RenameFile(std::string_view newName);
    // Copies the whole open file into a new file of the target name (not translated), then leaves the
    // position at the end. Does nothing while closed.
    virtual void CopyFile(std::string_view targetName);
    // Reads at the position and moves it on. Fewer bytes than asked mean the end of the file: allowed only
    // with allowShortRead, else 9217. A failed read, or a position lost by a failed seek, raises 9217.
    virtual std::int32_t Read(void* buffer, std::int32_t count, bool allowShortRead);
    // Writes at the position and moves it on; a count of 0 cuts or lengthens the file to the position.
    // Raises 9218 when the write fails, when the handler was opened read-only, when the position was lost
    // or when the file would pass MaxFileSize.
    virtual void Write(const void* buffer, std::int32_t count);
    // Forces a disk file's data to the device (9218 on failure); nothing for in-memory files.
    virtual void Flush();

    // Origin 0 from the start, 1 from the position, 2 from the end. Answers the new position, or -1 when
    // it would be negative or cannot be had; the position is then lost until the next successful seek.
    std::int64_t Seek(std::int64_t offset, int origin);
    // The size, with the position left at the end; -1 when it cannot be had.
    std::int64_t GetSize();
    // Locks or unlocks offset .. offset + length - 1. An exclusive handler answers true and takes nothing.
    // On disk a lock that overlaps one this handler holds, and an unlock of anything but a range it holds
    // exactly, answer false; so do empty ranges and ranges reaching the share byte. A read-only descriptor
    // takes a read lock, which conflicts with another's write lock but not with its read lock.
    bool LockRange(std::int64_t offset, std::int64_t length, bool lock);
    // Whether another handler holds a lock on a byte of the range, taking nothing; false for an exclusive
    // handler, one not open, and when the question cannot be asked. In memory every lock counts, this
    // handler's own too.
    bool RangeLockedElsewhere(std::int64_t offset, std::int64_t length);
    bool FileExists();

    // The setters raise 10031 for a change while the file is open; SetFileName and RenameFile raise 11010
    // for a translated name longer than 255 characters, which could only be cut into another file's name.
    void SetInMemory(bool inMemory);
    void SetExclusive(bool exclusive);
    void SetReadOnly(bool readOnly);
    void SetFileName(std::string_view name);
    // Ignored while open; applies from the next open or create.
    void SetWriteThrough(bool writeThrough) noexcept;
    void SetTrace(bool trace) noexcept { trace_ = trace; }
    // The journal that saves what each write of this disk file overwrites before it is written (none: nothing
    // is saved). The journal sets and clears it. A write it takes is made by the journal, later but before
    // anything of the file is read or its size asked for.
    void SetJournal(TJournal* journal) noexcept { journal_ = journal; }

    bool InMemory() const noexcept { return inMemory_; }
    TMemoryFile* MemoryFile() const noexcept { return memoryFile_; }
    const std::string& FileName() const noexcept { return fileName_; }
    // The descriptor (-1 while closed) or the in-memory handle number (0 while closed).
    std::int32_t Handle() const noexcept { return inMemory_ ? memoryHandle_ : fd_; }
    bool Exclusive() const noexcept { return exclusive_; }
    bool ReadOnly() const noexcept { return readOnly_; }
    bool AttributeReadOnly() const noexcept { return attributeReadOnly_; }
    bool IsOpen() const noexcept { return isOpen_; }
    bool WriteThrough() const noexcept { return writeThrough_; }
    bool Trace() const noexcept { return trace_; }

    // Stores the low 16 bits of the errno as the error context's operating-system error and answers the
    // engine code for it.
    static std::uint16_t MapOSError(int error) noexcept;

protected:
    // Reads or writes at an offset: Seek, then Read or Write (whose errors they raise); a seek that fails
    // loses the position, and the read or write then raises. ReadAt answers the bytes read.
    std::int32_t ReadAt(std::int64_t offset, void* buffer, std::int32_t count, bool allowShortRead = false);
    void WriteAt(std::int64_t offset, const void* buffer, std::int32_t count);
    // Open a descriptor for the mode byte or create the file; answer the descriptor or minus the errno.
    int OpenHandle(std::string_view name, std::uint8_t mode) const;
    int CreateHandle(std::string_view name) const;
    // Appends the text and CR LF to the trace log when Trace is set. Never fails and never disturbs the
    // error context.
    void WriteTrace(std::string_view text) noexcept;

private:
    // The shared trace log, created exclusively when it is missing; raises when it cannot be opened.
    static std::unique_ptr<TFileHandler> OpenTraceLog();
    // Writes the pieces (texts and decimal numbers) as one trace line; builds nothing while Trace is off.
    template <class... Pieces>
    void TraceLine(const Pieces&... pieces) noexcept;

    [[noreturn]] void Raise(std::uint16_t code) const;
    [[noreturn]] void RaiseWithOsError(std::uint16_t code, int error) const;
    // The new position, or -1 (position lost).
    std::int64_t MoveTo(std::int64_t offset, int origin);
    // The position and size as they stand, and the move itself; size -1 when it cannot be had.
    std::int64_t CurrentPosition() const;
    std::int64_t CurrentSize() const;
    void SetPosition(std::int64_t position);
    void ResetPosition() noexcept;
    // The journal's deferred writes of the table's files, made before this file is looked at when one of them
    // is of this file.
    void SpillJournal() const;
    bool LockDiskRange(std::int64_t offset, std::int64_t length);
    bool UnlockDiskRange(std::int64_t offset, std::int64_t length);
    void OpenInMemory();
    void OpenOnDisk();

    bool inMemory_ = false;
    TMemoryFile* memoryFile_ = nullptr;
    std::int32_t memoryHandle_ = 0;
    std::string fileName_;
    // Descriptor 0 is a valid descriptor: -1 marks a closed disk file.
    int fd_ = -1;
    bool exclusive_ = false;
    bool readOnly_ = false;
    bool attributeReadOnly_ = false;
    bool isOpen_ = false;
    bool writeThrough_ = false;
    bool trace_ = false;
    // Writes are allowed: opened with ReadOnly clear, or created.
    bool writable_ = false;
    // The trace log is written at its end whatever the position says.
    bool append_ = false;
    // A disk file's position; in-memory files keep theirs in their handle.
    std::int64_t position_ = 0;
    // A failed seek leaves no position to read or write at.
    bool positionLost_ = false;
    // The byte ranges this handler holds on disk, by offset; they never overlap.
    std::map<std::int64_t, std::int64_t> lockedRanges_;
    std::unique_ptr<TFileHandler> traceLog_;
    TJournal* journal_ = nullptr;
};

}  // namespace engine
