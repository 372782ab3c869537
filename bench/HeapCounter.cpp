#include "bench/HeapCounter.h"

#include <malloc.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace bench {

namespace {

// Bytes held through operator new, by the allocator's own size of each block (the delete of an unsized
// operator does not know the size asked for).
std::atomic<std::int64_t> held{0};
std::atomic<std::int64_t> peak{0};
std::int64_t heldAtReset = 0;
std::int64_t sqliteAtReset = 0;

void* Counted(void* block) {
    if (!block) return nullptr;
    const std::int64_t now =
        held.fetch_add(static_cast<std::int64_t>(malloc_usable_size(block)), std::memory_order_relaxed) +
        static_cast<std::int64_t>(malloc_usable_size(block));
    std::int64_t top = peak.load(std::memory_order_relaxed);
    while (now > top && !peak.compare_exchange_weak(top, now, std::memory_order_relaxed)) {
    }
    return block;
}

void* Allocate(std::size_t size) {
    void* block = Counted(std::malloc(size == 0 ? 1 : size));
    if (!block) throw std::bad_alloc();
    return block;
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
    const auto align = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a size that is a multiple of the alignment.
    void* block = Counted(std::aligned_alloc(align, (size + align - 1) / align * align));
    if (!block) throw std::bad_alloc();
    return block;
}

void Free(void* block) noexcept {
    if (!block) return;
    held.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
    std::free(block);
}

}  // namespace

void ResetHeapPeak() noexcept {
    heldAtReset = held.load(std::memory_order_relaxed);
    peak.store(heldAtReset, std::memory_order_relaxed);
    sqlite3_memory_highwater(1);
    sqliteAtReset = sqlite3_memory_used();
}

std::size_t HeapPeakGrowth() noexcept {
    const std::int64_t growth =
        peak.load(std::memory_order_relaxed) - heldAtReset + (sqlite3_memory_highwater(0) - sqliteAtReset);
    return growth > 0 ? static_cast<std::size_t>(growth) : 0;
}

}  // namespace bench

// The replaceable allocation functions, all through the counter.
void* operator new(std::size_t size) {
    return bench::Allocate(size);
}
void* operator new[](std::size_t size) {
    return bench::Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return bench::Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return bench::AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return bench::AllocateAligned(size, alignment);
}
void operator delete(void* block) noexcept {
    bench::Free(block);
}
void operator delete[](void* block) noexcept {
    bench::Free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    bench::Free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    bench::Free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    bench::Free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    bench::Free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    bench::Free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    bench::Free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    bench::Free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    bench::Free(block);
}
