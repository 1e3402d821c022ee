#pragma once
// What the calling process holds right now: its threads and its open handles (Windows) or
// file descriptors (POSIX). For leak checks of programs that load the driver many times.

#include <cstdint>

namespace platform {

struct ProcessUsage {
    uint32_t threads = 0;
    uint32_t handles = 0;
};

ProcessUsage processUsage();

}  // namespace platform
