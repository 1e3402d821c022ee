#include "lifecycle/AllocationCounter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

// GCC pairs the replaced operator new with free() and warns wrongly at -O2.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace lifecycle {

namespace {

std::atomic<int64_t> liveCount{0};
std::atomic<int64_t> liveBytes{0};
std::atomic<int64_t> totalCount{0};

void* counted(void* p) {
    if (p) {
        liveCount.fetch_add(1, std::memory_order_relaxed);
        totalCount.fetch_add(1, std::memory_order_relaxed);
        liveBytes.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    }
    return p;
}

void release(void* p) noexcept {
    if (!p) return;
    liveCount.fetch_sub(1, std::memory_order_relaxed);
    liveBytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    std::free(p);
}

void* allocate(std::size_t size) {
    if (void* p = counted(std::malloc(size ? size : 1))) return p;
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) {
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    if (void* p = counted(std::aligned_alloc(align, rounded ? rounded : align))) return p;
    throw std::bad_alloc();
}

}  // namespace

AllocationCount allocationCount() {
    return {liveCount.load(std::memory_order_relaxed), liveBytes.load(std::memory_order_relaxed),
            totalCount.load(std::memory_order_relaxed)};
}

}  // namespace lifecycle

using lifecycle::allocate;
using lifecycle::allocateAligned;
using lifecycle::release;

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t alignment) { return allocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return allocateAligned(size, alignment); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return allocateAligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return allocateAligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
