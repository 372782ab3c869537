#include "engine/file/FileHandler.h"

#include <cerrno>
#include <iterator>
#include <string>
#include <type_traits>
#include <utility>

#include "engine/base/EngineError.h"
#include "engine/base/EngineMemory.h"
#include "engine/base/EngineState.h"
#include "engine/base/EngineStrings.h"
#include "engine/base/EngineTexts.h"
#include "engine/file/Journal.h"
#include "engine/os/PosixFile.h"

namespace engine {

namespace {

// The low two bits of an open mode choose the access, the high four bits the sharing.
constexpr std::uint8_t AccessBits = 0x03;
constexpr int SharingShift = 4;
// Sharing values: 0 and 1 grant nobody else anything, 4 grants reading and writing.
constexpr int SharingNone = 0;
constexpr int SharingExclusive = 1;
constexpr int SharingReadWrite = 4;

// A trace line is a short string: the text keeps room for its CR LF.
constexpr std::string_view TraceLineEnd = "\r\n";
constexpr std::size_t MaxTraceText = MaxShortString - TraceLineEnd.size();

void AppendPiece(std::string& text, std::string_view piece) {
    text += piece;
}

template <class Number, class = std::enable_if_t<std::is_integral_v<Number>>>
void AppendPiece(std::string& text, Number number) {
    text += std::to_string(number);
}

}  // namespace

TFileHandler::TFileHandler() = default;

TFileHandler::~TFileHandler() {
    if (isOpen_) TFileHandler::Close();
}

std::string TFileHandler::TranslateFileName(std::string_view name) const {
    return std::string(name);
}

template <class... Pieces>
void TFileHandler::TraceLine(const Pieces&... pieces) noexcept {
    if (!trace_) return;
    try {
        std::string text;
        (AppendPiece(text, pieces), ...);
        WriteTrace(text);
    } catch (...) {
    }
}

void TFileHandler::Raise(std::uint16_t code) const {
    RaiseEngineError(code, fileName_);
}

void TFileHandler::RaiseWithOsError(std::uint16_t code, int error) const {
    SetOsErrorContext(error);
    Raise(code);
}

void TFileHandler::Open() {
    if (isOpen_) return;
    if (inMemory_) {
        OpenInMemory();
    } else {
        OpenOnDisk();
    }
    writable_ = !readOnly_;
    ResetPosition();
    isOpen_ = true;
    TraceLine(texts::TraceOpen, fileName_);
}

void TFileHandler::OpenInMemory() {
    attributeReadOnly_ = false;
    FileSectionGuard guard;
    const std::int32_t handle = GetEngineSession().MemoryFiles().OpenFile(fileName_, memoryFile_, exclusive_);
    if (handle < 0) Raise(static_cast<std::uint16_t>(-handle));
    memoryHandle_ = handle;
}

void TFileHandler::OpenOnDisk() {
    FileStatus status;
    const int found = StatFile(fileName_, status);
    // A file that is not there is no system failure: the message shows no system error number.
    if (found == -ENOENT || found == -ENOTDIR) Raise(ErrInvalidPath);
    attributeReadOnly_ = false;
    if (found < 0) Raise(MapOSError(-found));
    if (status.readOnly) {
        readOnly_ = true;
        attributeReadOnly_ = true;
    }
    const std::uint8_t mode = readOnly_ ? (exclusive_ ? OpenReadExclusive : OpenReadShared)
                                        : (exclusive_ ? OpenReadWriteExclusive : OpenReadWriteShared);
    const int fd = OpenHandle(fileName_, mode);
    if (fd < 0) Raise(MapOSError(-fd));
    const std::int64_t size = FileSize(fd);
    if (size < 0 || size > MaxFileSize) {
        CloseFileHandle(fd);
        if (size < 0) Raise(MapOSError(static_cast<int>(-size)));
        // Offsets are 32-bit signed: a longer file is damaged, not one with a negative size.
        Raise(ErrHeaderCorrupt);
    }
    fd_ = fd;
}

int TFileHandler::OpenHandle(std::string_view name, std::uint8_t mode) const {
    OpenOptions options;
    switch (mode & AccessBits) {
        case 0:
            options.access = FileAccess::Read;
            break;
        case 1:
            options.access = FileAccess::Write;
            break;
        case 2:
            options.access = FileAccess::ReadWrite;
            break;
        default:
            return -EINVAL;
    }
    switch (mode >> SharingShift) {
        case SharingNone:
        case SharingExclusive:
            options.exclusive = true;
            break;
        case SharingReadWrite:
            options.exclusive = false;
            break;
        default:
            // Sharing with readers only or writers only has no share-byte form; the engine never asks.
            return -EINVAL;
    }
    options.writeThrough = writeThrough_;
    options.append = append_;
    return OpenFileHandle(name, options);
}

int TFileHandler::CreateHandle(std::string_view name) const {
    return CreateFileHandle(name, writeThrough_);
}

void TFileHandler::Close() {
    if (inMemory_) {
        FileSectionGuard guard;
        if (memoryHandle_ > 0 && memoryFile_ != nullptr) memoryFile_->CloseHandle(memoryHandle_);
        memoryFile_ = nullptr;
        memoryHandle_ = 0;
    } else {
        if (fd_ >= 0) CloseFileHandle(fd_);
        fd_ = -1;
        // The kernel dropped the locks with the descriptor.
        lockedRanges_.clear();
    }
    isOpen_ = false;
    TraceLine(texts::TraceClose, fileName_);
}

void TFileHandler::CreateFile() {
    if (isOpen_) Raise(ErrFileInUse);
    if (!exclusive_) Raise(ErrMustBeExclusive);
    if (inMemory_) {
        FileSectionGuard guard;
        const std::int32_t handle = GetEngineSession().MemoryFiles().CreateFile(fileName_, memoryFile_);
        if (handle < 0) Raise(static_cast<std::uint16_t>(-handle));
        memoryHandle_ = handle;
    } else {
        const int fd = CreateHandle(fileName_);
        if (fd < 0) Raise(MapOSError(-fd));
        fd_ = fd;
    }
    attributeReadOnly_ = false;
    writable_ = true;
    ResetPosition();
    isOpen_ = true;
    TraceLine(texts::TraceCreate, fileName_);
}

void TFileHandler::DeleteFile() {
    if (isOpen_) Raise(ErrFileInUse);
    if (inMemory_) {
        FileSectionGuard guard;
        if (!GetEngineSession().MemoryFiles().DeleteFile(fileName_)) Raise(ErrDelete);
    } else {
        const int result = DeleteDiskFile(fileName_);
        if (result < 0) RaiseWithOsError(ErrDelete, -result);
    }
    TraceLine(texts::TraceDelete, fileName_);
}

void TFileHandler::RenameFile(std::string_view newName) {
    if (isOpen_) Raise(ErrFileInUse);
    std::string translated = TranslateFileName(newName);
    if (translated.size() > MaxShortString) RaiseEngineError(ErrInvalidPath, translated);
    if (inMemory_) {
        FileSectionGuard guard;
        // No system call failed: the message shows 0 rather than an older error's number.
        if (!GetEngineSession().MemoryFiles().RenameFile(fileName_, translated))
            RaiseWithOsError(ErrOsError, 0);
    } else {
        const int result = RenameDiskFile(fileName_, translated);
        if (result < 0) RaiseWithOsError(ErrOsError, -result);
    }
    TraceLine(texts::TraceRename, fileName_, texts::TraceTo, translated);
    fileName_ = std::move(translated);
}

void TFileHandler::CopyFile(std::string_view targetName) {
    if (!isOpen_) return;
    // An in-memory file's name would be cut, and the cut name could be another file's.
    if (targetName.size() > MaxShortString) RaiseEngineError(ErrInvalidPath, targetName);
    if (inMemory_) {
        FileSectionGuard guard;
        const std::int32_t result =
            GetEngineSession().MemoryFiles().CopyFile(*memoryFile_, memoryHandle_, targetName);
        if (result < 0) Raise(static_cast<std::uint16_t>(-result));
        // The copy read the source through this handler's own handle, which ends at the end.
        positionLost_ = false;
    } else {
        SpillJournal();
        EngineBlock chunk(CopyChunkSize);
        const int result =
            CopyFileByHandle(fd_, targetName, std::span<std::uint8_t>(chunk.Data(), CopyChunkSize));
        if (result < 0) Raise(MapOSError(-result));
        const std::int64_t size = FileSize(fd_);
        position_ = size;
        positionLost_ = size < 0;
    }
    TraceLine(texts::TraceCopy, fileName_, texts::TraceTo, targetName);
}

std::int32_t TFileHandler::Read(void* buffer, std::int32_t count, bool allowShortRead) {
    std::int64_t got = 0;
    if (inMemory_) {
        FileSectionGuard guard;
        if (memoryFile_ == nullptr || count < 0 || positionLost_) Raise(ErrRead);
        got = memoryFile_->Read(memoryHandle_, buffer, count);
    } else {
        if (!isOpen_) RaiseWithOsError(ErrRead, EBADF);
        if (count < 0 || positionLost_) RaiseWithOsError(ErrRead, EINVAL);
        SpillJournal();
        got = engine::ReadAt(fd_, buffer, static_cast<std::size_t>(count), position_);
        if (got < 0) RaiseWithOsError(ErrRead, static_cast<int>(-got));
        if (journal_ != nullptr) journal_->Remember(*this, position_, buffer, static_cast<std::size_t>(got));
        position_ += got;
    }
    // Fewer bytes than asked can only mean the end of the file.
    if (got < count && !allowShortRead) Raise(ErrRead);
    TraceLine(texts::TraceRead, fileName_, texts::TraceOf, count);
    return static_cast<std::int32_t>(got);
}

void TFileHandler::Write(const void* buffer, std::int32_t count) {
    if (inMemory_) {
        FileSectionGuard guard;
        if (memoryFile_ == nullptr || !writable_ || count < 0 || positionLost_) Raise(ErrWrite);
        if (count == 0) {
            // The memory file cuts silently at a position it cannot hold.
            const std::int64_t position = memoryFile_->Seek(memoryHandle_, 0, 1);
            if (position > MaxFileSize) Raise(ErrWrite);
            memoryFile_->Write(memoryHandle_, buffer, 0);
        } else if (memoryFile_->Write(memoryHandle_, buffer, count) != count) {
            Raise(ErrWrite);
        }
    } else {
        // A descriptor that may not write answers EBADF; the handler answers the same for its read-only mode.
        if (!isOpen_ || !writable_) RaiseWithOsError(ErrWrite, EBADF);
        if (count < 0 || positionLost_) RaiseWithOsError(ErrWrite, EINVAL);
        if (position_ > MaxFileSize - count) RaiseWithOsError(ErrWrite, EFBIG);
        if (journal_ != nullptr && journal_->Defer(*this, position_, buffer, count)) {
            position_ += count;
            TraceLine(texts::TraceWrite, fileName_, texts::TraceOf, count);
            return;
        }
        const int result = count == 0
                               ? TruncateAt(fd_, position_)
                               : engine::WriteAt(fd_, buffer, static_cast<std::size_t>(count), position_);
        if (result < 0) RaiseWithOsError(ErrWrite, -result);
        position_ += count;
    }
    TraceLine(texts::TraceWrite, fileName_, texts::TraceOf, count);
}

std::int32_t TFileHandler::ReadAt(std::int64_t offset, void* buffer, std::int32_t count,
                                  bool allowShortRead) {
    Seek(offset, 0);
    return Read(buffer, count, allowShortRead);
}

void TFileHandler::WriteAt(std::int64_t offset, const void* buffer, std::int32_t count) {
    Seek(offset, 0);
    Write(buffer, count);
}

void TFileHandler::Flush() {
    if (!inMemory_ && isOpen_) {
        SpillJournal();
        const int result = SyncFile(fd_);
        if (result < 0) RaiseWithOsError(ErrWrite, -result);
    }
    TraceLine(texts::TraceFlush, fileName_);
}

std::int64_t TFileHandler::CurrentPosition() const {
    if (!inMemory_) return position_;
    FileSectionGuard guard;
    return memoryFile_->Seek(memoryHandle_, 0, 1);
}

std::int64_t TFileHandler::CurrentSize() const {
    if (!inMemory_) {
        SpillJournal();
        return FileSize(fd_);
    }
    FileSectionGuard guard;
    return memoryFile_->Size();
}

void TFileHandler::SpillJournal() const {
    if (journal_ != nullptr) journal_->SpillFor(*this);
}

void TFileHandler::SetPosition(std::int64_t position) {
    if (!inMemory_) {
        position_ = position;
        return;
    }
    FileSectionGuard guard;
    memoryFile_->Seek(memoryHandle_, position, 0);
}

void TFileHandler::ResetPosition() noexcept {
    position_ = 0;
    positionLost_ = false;
}

std::int64_t TFileHandler::MoveTo(std::int64_t offset, int origin) {
    if (!isOpen_) return inMemory_ ? 0 : -1;
    std::int64_t base = -1;
    if (origin == 0) {
        base = 0;
    } else if (origin == 1 && !positionLost_) {
        base = CurrentPosition();
    } else if (origin == 2) {
        base = CurrentSize();
    }
    std::int64_t target = -1;
    if (base < 0 || __builtin_add_overflow(base, offset, &target) || target < 0) {
        // Keeping the old position would let the next write land where the caller did not mean it.
        positionLost_ = true;
        return -1;
    }
    SetPosition(target);
    positionLost_ = false;
    return target;
}

std::int64_t TFileHandler::Seek(std::int64_t offset, int origin) {
    const std::int64_t position = MoveTo(offset, origin);
    TraceLine(texts::TraceSeek, fileName_, texts::TraceSeekFrom, origin, texts::TraceSeekTo, offset);
    return position;
}

std::int64_t TFileHandler::GetSize() {
    const std::int64_t size = MoveTo(0, 2);
    TraceLine(texts::TraceGetSize, fileName_);
    return size;
}

bool TFileHandler::LockRange(std::int64_t offset, std::int64_t length, bool lock) {
    if (exclusive_) return true;
    bool done = false;
    // An empty range would lock to the end of every possible file, and the share byte is not the
    // caller's to touch.
    const bool validRange = offset >= 0 && length > 0 && offset <= ShareByteOffset - length;
    if (!validRange) {
        done = false;
    } else if (inMemory_) {
        FileSectionGuard guard;
        if (memoryFile_ == nullptr) {
            done = true;
        } else {
            done = lock ? memoryFile_->LockRange(offset, length) : memoryFile_->UnlockRange(offset, length);
        }
    } else if (isOpen_) {
        done = lock ? LockDiskRange(offset, length) : UnlockDiskRange(offset, length);
    }
    TraceLine(lock ? texts::TraceLock : texts::TraceUnlock, fileName_, texts::TraceRangeFrom, offset,
              texts::TraceRangeFor, length);
    return done;
}

bool TFileHandler::RangeLockedElsewhere(std::int64_t offset, std::int64_t length) {
    if (exclusive_) return false;
    if (inMemory_) {
        FileSectionGuard guard;
        return memoryFile_ != nullptr && memoryFile_->RangeLocked(offset, length);
    }
    return isOpen_ && BytesLockedElsewhere(fd_, offset, length) > 0;
}

bool TFileHandler::LockDiskRange(std::int64_t offset, std::int64_t length) {
    // The kernel merges a descriptor's own overlapping locks; the registry makes them conflict instead,
    // as they do between two handlers.
    const auto next = lockedRanges_.upper_bound(offset);
    if (next != lockedRanges_.end() && next->first < offset + length) return false;
    if (next != lockedRanges_.begin()) {
        const auto previous = std::prev(next);
        if (previous->first + previous->second > offset) return false;
    }
    // Only a shared handler locks: its descriptor can write exactly when the handler may.
    if (LockBytes(fd_, offset, length, writable_) != 0) return false;
    lockedRanges_.emplace_hint(next, offset, length);
    return true;
}

bool TFileHandler::UnlockDiskRange(std::int64_t offset, std::int64_t length) {
    const auto held = lockedRanges_.find(offset);
    if (held == lockedRanges_.end() || held->second != length) return false;
    if (UnlockBytes(fd_, offset, length) != 0) return false;
    lockedRanges_.erase(held);
    return true;
}

bool TFileHandler::FileExists() {
    bool exists = false;
    if (inMemory_) {
        FileSectionGuard guard;
        // Reports nothing: without a current session there are no in-memory files.
        TFileSession* const session = CurrentEngineSession();
        exists = session != nullptr && session->MemoryFiles().FileExists(fileName_);
    } else {
        exists = DiskFileExists(fileName_);
    }
    TraceLine(texts::TraceFileExists, fileName_);
    return exists;
}

void TFileHandler::SetInMemory(bool inMemory) {
    if (inMemory == inMemory_) return;
    if (isOpen_) Raise(ErrFileInUse);
    inMemory_ = inMemory;
}

void TFileHandler::SetExclusive(bool exclusive) {
    if (exclusive == exclusive_) return;
    if (isOpen_) Raise(ErrFileInUse);
    exclusive_ = exclusive;
}

void TFileHandler::SetReadOnly(bool readOnly) {
    if (readOnly == readOnly_) return;
    if (isOpen_) Raise(ErrFileInUse);
    readOnly_ = readOnly;
}

void TFileHandler::SetFileName(std::string_view name) {
    if (name == fileName_) return;
    if (isOpen_) Raise(ErrFileInUse);
    std::string translated = TranslateFileName(name);
    // A cut name could be another file's: open, create or delete would then act on that one.
    if (translated.size() > MaxShortString) RaiseEngineError(ErrInvalidPath, translated);
    fileName_ = std::move(translated);
}

void TFileHandler::SetWriteThrough(bool writeThrough) noexcept {
    if (!isOpen_) writeThrough_ = writeThrough;
}

std::uint16_t TFileHandler::MapOSError(int error) noexcept {
    SetOsErrorContext(error);
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return ErrInvalidPath;
        case EMFILE:
        case ENFILE:
            return ErrTooManyFilesOpen;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case EBUSY:
        case ETXTBSY:
        // How the share byte's lock refuses: another handle holds the file.
        case EAGAIN:
            return ErrAccessDenied;
        case EBADF:
            return ErrInvalidFileHandle;
        case ENOMEM:
            return ErrOutOfMemory;
        case ENODEV:
        case ENXIO:
            return ErrDeviceAccessDenied;
        case EXDEV:
            return ErrFileMoved;
        default:
            return ErrOsError;
    }
}

std::unique_ptr<TFileHandler> TFileHandler::OpenTraceLog() {
    // An existing log is kept: every handler and every program that traces appends to it.
    ReserveNewFile(texts::TraceLogName);
    auto log = std::make_unique<TFileHandler>();
    log->append_ = true;
    log->SetFileName(texts::TraceLogName);
    log->Open();
    return log;
}

void TFileHandler::WriteTrace(std::string_view text) noexcept {
    if (!trace_) return;
    try {
        // The traced operation's error context stays as that operation left it.
        const ErrorContext saved = CurrentErrorContext();
        try {
            if (!traceLog_) traceLog_ = OpenTraceLog();
            std::string line(text.substr(0, MaxTraceText));
            line += TraceLineEnd;
            traceLog_->GetSize();
            traceLog_->Write(line.data(), static_cast<std::int32_t>(line.size()));
        } catch (...) {
            // A trace that cannot be written never fails the operation it traces.
        }
        CurrentErrorContext() = saved;
    } catch (...) {
    }
}

}  // namespace engine
