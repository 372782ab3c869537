// The engine allocator: zero-filled blocks whose growth is zero-filled too, and their RAII owner.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

// A zero-filled block of the given size; null for size 0. Raises 11016 when the memory cannot be had.
void* AllocEngineMem(std::size_t size);
// Resizes a block from AllocEngineMem (null allocates): contents up to the smaller size stay and growth is
// zero-filled. Size 0 frees the block and returns null. Raises 11016, leaving the block as it was, when the
// memory cannot be had.
void* ReallocEngineMem(void* block, std::size_t newSize);
// Frees a block from AllocEngineMem; null does nothing.
void ReleaseEngineMem(void* block) noexcept;
// The size the block was last given; 0 for null.
std::size_t EngineMemSize(const void* block) noexcept;

// Frees the block and sets the variable to null.
template <class T>
void FreeEngineMem(T*& block) noexcept {
    ReleaseEngineMem(block);
    block = nullptr;
}

// Owns one engine block; an empty owner holds null.
class EngineBlock {
public:
    EngineBlock() = default;
    explicit EngineBlock(std::size_t size) : data_(static_cast<std::uint8_t*>(AllocEngineMem(size))) {}
    ~EngineBlock() { ReleaseEngineMem(data_); }

    EngineBlock(EngineBlock&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }
    EngineBlock& operator=(EngineBlock&& other) noexcept;
    EngineBlock(const EngineBlock&) = delete;
    EngineBlock& operator=(const EngineBlock&) = delete;

    std::uint8_t* Data() noexcept { return data_; }
    const std::uint8_t* Data() const noexcept { return data_; }
    std::size_t Size() const noexcept { return EngineMemSize(data_); }
    // Keeps the contents up to the smaller size and zero-fills growth; 0 frees the block.
    void Resize(std::size_t size) { data_ = static_cast<std::uint8_t*>(ReallocEngineMem(data_, size)); }
    void Reset() noexcept { FreeEngineMem(data_); }

private:
    std::uint8_t* data_ = nullptr;
};

}  // namespace engine
