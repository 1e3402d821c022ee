// The converters run for every packet of the stream and must never allocate. This
// program counts every global operator new, so a converter that allocates (directly
// or through a container) fails here.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "sync/SampleConverters.h"

namespace {
std::atomic<size_t> allocations{0};
}

// The replacements pair operator new with malloc and operator delete with free;
// GCC cannot see that pairing once they are inlined and warns about a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return ::operator new(size); }
// The nothrow forms too (the log allocates its lines so), or they would pair the library's
// allocation with the free() below.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return ::operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

TEST(ConverterAllocation, ConvertersAllocateNothing) {
    const size_t start = allocations.load();
    delete new std::vector<int>(3);
    ASSERT_GE(allocations.load() - start, 2u);  // the count works: the vector and its elements

    namespace c = VELMORA::converters;
    const VELMORA::SampleConverter all[] = {c::copy, c::invert, c::swap32, c::swap32Invert,
                                            c::swap32BitReverse, c::swap32BitReverseInvert,
                                            c::bitReverse, c::bitReverseInvert};
    std::vector<unsigned char> source(65536 + 3, 0x5A), destination(65536 + 3);
    const size_t before = allocations.load();
    for (auto convert : all)
        for (size_t n : {0u, 3u, 7u, 1428u, 65536u, 65539u}) convert(destination.data(), source.data(), n);
    // Switching polarity with logging off is part of the worker's path too.
    VELMORA::applyPolarity(c::swap32, true, false)(destination.data(), source.data(), 1428);
    EXPECT_EQ(allocations.load() - before, 0u);
}

}  // namespace
