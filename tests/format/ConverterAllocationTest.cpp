// The converters run for every packet of the stream and must never allocate. This program
// counts every global operator new (ProcessResources replaces them), so a converter that
// allocates (directly or through a container) fails here.
#include <gtest/gtest.h>

#include <vector>

#include "lifecycle/ProcessResources.h"
#include "sync/SampleConverters.h"

namespace {

TEST(ConverterAllocation, ConvertersAllocateNothing) {
    const int64_t start = lifecycle::allocationsMade();
    delete new std::vector<int>(3);
    ASSERT_GE(lifecycle::allocationsMade() - start, 2);  // the count works: the vector and its elements

    namespace c = VELMORA::converters;
    const VELMORA::SampleConverter all[] = {c::copy, c::invert, c::swap32, c::swap32Invert,
                                            c::swap32BitReverse, c::swap32BitReverseInvert,
                                            c::bitReverse, c::bitReverseInvert};
    std::vector<unsigned char> source(65536 + 3, 0x5A), destination(65536 + 3);
    const int64_t before = lifecycle::allocationsMade();
    for (auto convert : all)
        for (size_t n : {0u, 3u, 7u, 1428u, 65536u, 65539u}) convert(destination.data(), source.data(), n);
    // Switching polarity with logging off is part of the worker's path too.
    VELMORA::applyPolarity(c::swap32, true, false)(destination.data(), source.data(), 1428);
    EXPECT_EQ(lifecycle::allocationsMade() - before, 0);
}

}  // namespace
