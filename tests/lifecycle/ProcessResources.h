#pragma once
// What this process holds right now, for leak checks across many driver runs. The global
// operator new and delete are replaced in this program to count live allocations, and to make
// large ones fail on request.

#include <cstddef>
#include <cstdint>

namespace lifecycle {

struct ProcessResources {
    int threads = 0;              // entries of /proc/self/task
    int descriptors = 0;          // entries of /proc/self/fd
    int64_t residentKiB = 0;      // VmRSS of /proc/self/status
    int64_t liveAllocations = 0;  // operator new minus operator delete, program-wide
    int64_t liveBytes = 0;
};

ProcessResources sampleResources();
// Every allocation made since the program began.
int64_t allocationsMade();
// From now on allocations larger than `bytes` fail (~0: none does): operator new throws, its
// nothrow forms answer null.
void failAllocationsAbove(std::size_t bytes);

}  // namespace lifecycle
