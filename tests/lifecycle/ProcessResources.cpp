#include "lifecycle/ProcessResources.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "lifecycle/AllocationCounter.h"

namespace lifecycle {

namespace {

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
    ProcessResources r;
    r.threads = entries("/proc/self/task");
    r.descriptors = entries("/proc/self/fd");
    r.residentKiB = residentKiB();
    const AllocationCount allocations = allocationCount();
    r.liveAllocations = allocations.live;
    r.liveBytes = allocations.bytes;
    return r;
}

}  // namespace lifecycle
