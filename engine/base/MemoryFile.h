// One in-memory engine file: its bytes, its open handles with their positions, and its locked regions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/EngineMemory.h"

namespace engine {

// Memory files grow in steps of this many bytes (not 65536): the engine's in-memory growth unit.
inline constexpr std::int64_t MemoryFileGrowth = 65535;
// The largest size of an engine file: offsets are 32-bit signed.
inline constexpr std::int64_t MaxFileSize = 0x7FFFFFFF;

// Not thread-safe: callers hold the engine's file critical section.
class TMemoryFile {
public:
    explicit TMemoryFile(std::string_view name);

    const std::string& Name() const noexcept { return name_; }
    void SetName(std::string_view name);
    bool Exclusive() const noexcept { return exclusive_; }
    void SetExclusive(bool exclusive) noexcept { exclusive_ = exclusive; }
    std::int32_t Size() const noexcept { return size_; }
    std::int64_t Capacity() const noexcept { return buffer_.Size(); }
    int OpenCount() const noexcept { return static_cast<int>(handles_.size()); }

    // Sets the size; the capacity is the size rounded up to a multiple of MemoryFileGrowth, and bytes past
    // the size read as zeros. A size outside 0 .. MaxFileSize changes nothing and answers false.
    bool SetSize(std::int64_t newSize);

    // A new handle with position 0. Numbers are positive and never that of a handle still open.
    std::int32_t OpenHandle();
    // Unknown numbers are ignored.
    void CloseHandle(std::int32_t handle);
    // The handle's index among the open handles, or -1.
    int FindHandle(std::int32_t handle) const noexcept;

    // Moves up to count bytes from the handle's position; fewer at the end. Unknown handles move nothing.
    std::int32_t Read(std::int32_t handle, void* buffer, std::int32_t count);
    // Writes count bytes at the handle's position, growing the file; count 0 cuts or lengthens the file to
    // the position. A negative position, or an end past MaxFileSize, changes nothing and answers 0.
    std::int32_t Write(std::int32_t handle, const void* buffer, std::int32_t count);
    // Origin 0 from the start, 1 from the position, 2 from the end (plus the offset). No bounds apply.
    std::int64_t Seek(std::int32_t handle, std::int64_t offset, int origin);

    // Locks belong to the file, not to a handle: any overlap with a held region fails.
    bool LockRange(std::int64_t offset, std::int64_t length);
    // Removes the first region with that start and length.
    bool UnlockRange(std::int64_t offset, std::int64_t length);
    // Whether a held region overlaps the range; nothing is taken.
    bool RangeLocked(std::int64_t offset, std::int64_t length) const;

private:
    struct Handle {
        std::int32_t number;
        std::int64_t position;
    };
    struct Lock {
        std::int64_t start;
        std::int64_t end;
        std::int64_t length;
    };

    bool exclusive_ = false;
    std::string name_;
    std::int32_t size_ = 0;
    EngineBlock buffer_;
    std::vector<Lock> locks_;
    std::vector<Handle> handles_;
};

}  // namespace engine
