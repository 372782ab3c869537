#include "engine/base/EngineMemory.h"

#include <cstdlib>
#include <cstring>

#include "engine/base/EngineError.h"

namespace engine {

namespace {

// Each block carries its size in front of the caller's bytes so that growth knows what to zero-fill. The
// header is as large as the strictest alignment, so the caller's bytes stay aligned for any type.
constexpr std::size_t HeaderSize = alignof(std::max_align_t);
static_assert(HeaderSize >= sizeof(std::size_t));

std::size_t& StoredSize(void* base) noexcept {
    return *static_cast<std::size_t*>(base);
}

void* BaseOf(const void* block) noexcept {
    return static_cast<std::uint8_t*>(const_cast<void*>(block)) - HeaderSize;
}

void* UserOf(void* base) noexcept {
    return static_cast<std::uint8_t*>(base) + HeaderSize;
}

[[noreturn]] void RaiseOutOfMemory() {
    RaiseEngineError(ErrOutOfMemory, "", "", "", "");
}

bool TooLarge(std::size_t size) noexcept {
    return size > SIZE_MAX - HeaderSize;
}

}  // namespace

void* AllocEngineMem(std::size_t size) {
    if (size == 0) return nullptr;
    if (TooLarge(size)) RaiseOutOfMemory();
    void* base = std::calloc(1, HeaderSize + size);
    if (base == nullptr) RaiseOutOfMemory();
    StoredSize(base) = size;
    return UserOf(base);
}

void* ReallocEngineMem(void* block, std::size_t newSize) {
    if (block == nullptr) return AllocEngineMem(newSize);
    if (newSize == 0) {
        ReleaseEngineMem(block);
        return nullptr;
    }
    if (TooLarge(newSize)) RaiseOutOfMemory();
    const std::size_t oldSize = EngineMemSize(block);
    void* base = std::realloc(BaseOf(block), HeaderSize + newSize);
    if (base == nullptr) RaiseOutOfMemory();
    StoredSize(base) = newSize;
    void* user = UserOf(base);
    if (newSize > oldSize) std::memset(static_cast<std::uint8_t*>(user) + oldSize, 0, newSize - oldSize);
    return user;
}

void ReleaseEngineMem(void* block) noexcept {
    if (block != nullptr) std::free(BaseOf(block));
}

std::size_t EngineMemSize(const void* block) noexcept {
    return block == nullptr ? 0 : StoredSize(BaseOf(block));
}

EngineBlock& EngineBlock::operator=(EngineBlock&& other) noexcept {
    if (this != &other) {
        ReleaseEngineMem(data_);
        data_ = other.data_;
        other.data_ = nullptr;
    }
    return *this;
}

}  // namespace engine
