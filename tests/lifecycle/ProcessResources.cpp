#include "lifecycle/ProcessResources.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

// GCC pairs the replaced operator new with free() and warns wrongly at -O2.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace lifecycle {
namespace {

std::atomic<int64_t> liveCount{0}, liveBytes{0}, totalCount{0};
std::atomic<std::size_t> failAbove{~std::size_t{0}};

void* counted(void* p) noexcept {
    if (p) {
        liveCount.fetch_add(1, std::memory_order_relaxed);
        totalCount.fetch_add(1, std::memory_order_relaxed);
        liveBytes.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    }
    return p;
}

void* tryAllocate(std::size_t size) noexcept {
    return size > failAbove.load(std::memory_order_relaxed) ? nullptr : counted(std::malloc(size ? size : 1));
}

void* tryAllocate(std::size_t size, std::align_val_t alignment) noexcept {
    if (size > failAbove.load(std::memory_order_relaxed)) return nullptr;
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    return counted(std::aligned_alloc(align, rounded ? rounded : align));
}

void release(void* p) noexcept {
    if (!p) return;
    liveCount.fetch_sub(1, std::memory_order_relaxed);
    liveBytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    std::free(p);
}

template <typename... Args>
void* allocate(Args... args) {
    if (void* p = tryAllocate(args...)) return p;
    throw std::bad_alloc();
}

int entries(const char* folder) {
    std::error_code error;
    int count = 0;
    for (auto it = std::filesystem::directory_iterator(folder, error); !error && it != std::filesystem::directory_iterator();
         it.increment(error))
        ++count;
    return count;
}

int64_t residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6));
    return -1;
}

}  // namespace

ProcessResources sampleResources() {
    return {entries("/proc/self/task"), entries("/proc/self/fd"), residentKiB(),
            liveCount.load(std::memory_order_relaxed), liveBytes.load(std::memory_order_relaxed)};
}

int64_t allocationsMade() { return totalCount.load(std::memory_order_relaxed); }

void failAllocationsAbove(std::size_t bytes) { failAbove.store(bytes, std::memory_order_relaxed); }

}  // namespace lifecycle

using lifecycle::allocate;
using lifecycle::release;
using lifecycle::tryAllocate;
using std::align_val_t;
using std::nothrow_t;
using std::size_t;

void* operator new(size_t n) { return allocate(n); }
void* operator new[](size_t n) { return allocate(n); }
void* operator new(size_t n, const nothrow_t&) noexcept { return tryAllocate(n); }
void* operator new[](size_t n, const nothrow_t&) noexcept { return tryAllocate(n); }
void* operator new(size_t n, align_val_t a) { return allocate(n, a); }
void* operator new[](size_t n, align_val_t a) { return allocate(n, a); }
void* operator new(size_t n, align_val_t a, const nothrow_t&) noexcept { return tryAllocate(n, a); }
void* operator new[](size_t n, align_val_t a, const nothrow_t&) noexcept { return tryAllocate(n, a); }

void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }
void operator delete(void* p, const nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const nothrow_t&) noexcept { release(p); }
void operator delete(void* p, align_val_t) noexcept { release(p); }
void operator delete[](void* p, align_val_t) noexcept { release(p); }
void operator delete(void* p, size_t, align_val_t) noexcept { release(p); }
void operator delete[](void* p, size_t, align_val_t) noexcept { release(p); }
void operator delete(void* p, align_val_t, const nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, align_val_t, const nothrow_t&) noexcept { release(p); }
