#include "engine/base/MemoryFile.h"

#include <algorithm>
#include <cstring>

#include "engine/base/EngineStrings.h"

namespace engine {

TMemoryFile::TMemoryFile(std::string_view name) : name_(ShortString(name)) {}

void TMemoryFile::SetName(std::string_view name) {
    name_ = ShortString(name);
}

bool TMemoryFile::SetSize(std::int64_t newSize) {
    if (newSize < 0 || newSize > MaxFileSize) return false;
    const std::int64_t capacity = (newSize + MemoryFileGrowth - 1) / MemoryFileGrowth * MemoryFileGrowth;
    if (newSize < size_) {
        // A later write past the end must show a gap of zeros, as a disk file does, not the old bytes.
        std::memset(buffer_.Data() + newSize, 0, static_cast<std::size_t>(size_ - newSize));
    }
    if (capacity != Capacity()) buffer_.Resize(static_cast<std::size_t>(capacity));
    size_ = static_cast<std::int32_t>(newSize);
    return true;
}

int TMemoryFile::FindHandle(std::int32_t handle) const noexcept {
    for (std::size_t i = 0; i < handles_.size(); ++i) {
        if (handles_[i].number == handle) return static_cast<int>(i);
    }
    return -1;
}

std::int32_t TMemoryFile::OpenHandle() {
    std::int32_t number = 1;
    for (const Handle& h : handles_) number = std::max(number, h.number + 1);
    handles_.insert(handles_.begin(), Handle{number, 0});
    return number;
}

void TMemoryFile::CloseHandle(std::int32_t handle) {
    const int index = FindHandle(handle);
    if (index >= 0) handles_.erase(handles_.begin() + index);
}

std::int32_t TMemoryFile::Read(std::int32_t handle, void* buffer, std::int32_t count) {
    const int index = FindHandle(handle);
    if (index < 0 || count <= 0) return 0;
    std::int64_t& position = handles_[static_cast<std::size_t>(index)].position;
    if (position < 0 || position > size_) return 0;
    const std::int64_t moved = std::min<std::int64_t>(count, size_ - position);
    if (moved > 0) std::memcpy(buffer, buffer_.Data() + position, static_cast<std::size_t>(moved));
    position += moved;
    return static_cast<std::int32_t>(moved);
}

std::int32_t TMemoryFile::Write(std::int32_t handle, const void* buffer, std::int32_t count) {
    const int index = FindHandle(handle);
    if (index < 0 || count < 0) return 0;
    std::int64_t& position = handles_[static_cast<std::size_t>(index)].position;
    if (count == 0) {
        SetSize(position);
        return 0;
    }
    const std::int64_t end = position + count;
    if (position < 0 || end > MaxFileSize) return 0;
    if (end > size_) SetSize(end);
    std::memcpy(buffer_.Data() + position, buffer, static_cast<std::size_t>(count));
    position = end;
    return count;
}

std::int64_t TMemoryFile::Seek(std::int32_t handle, std::int64_t offset, int origin) {
    const int index = FindHandle(handle);
    if (index < 0) return 0;
    std::int64_t& position = handles_[static_cast<std::size_t>(index)].position;
    const std::int64_t base = origin == 0 ? 0 : origin == 1 ? position : origin == 2 ? size_ : position;
    std::int64_t target = 0;
    // A position that would leave the 64-bit range stays where it was.
    if (origin >= 0 && origin <= 2 && !__builtin_add_overflow(base, offset, &target)) position = target;
    return position;
}

bool TMemoryFile::LockRange(std::int64_t offset, std::int64_t length) {
    if (RangeLocked(offset, length)) return false;
    locks_.push_back(Lock{offset, offset + length - 1, length});
    return true;
}

bool TMemoryFile::RangeLocked(std::int64_t offset, std::int64_t length) const {
    const std::int64_t end = offset + length - 1;
    for (const Lock& held : locks_) {
        const bool startInHeld = offset >= held.start && offset <= held.end;
        const bool heldInNew = held.start >= offset && held.start <= end;
        if (startInHeld || heldInNew) return true;
    }
    return false;
}

bool TMemoryFile::UnlockRange(std::int64_t offset, std::int64_t length) {
    const auto it = std::find_if(locks_.begin(), locks_.end(),
                                 [&](const Lock& l) { return l.start == offset && l.length == length; });
    if (it == locks_.end()) return false;
    locks_.erase(it);
    return true;
}

}  // namespace engine
