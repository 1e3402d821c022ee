#pragma once
// Processor core count from the kernel's CPU topology folders.

#include <cstdint>
#include <string>

namespace platform::posix {

// Counts distinct (physical_package_id, core_id) pairs over <cpuRoot>/cpu<N>/topology/.
// 0 when no CPU folder has readable topology.
uint32_t countCoresInTopology(const std::string& cpuRoot);

}  // namespace platform::posix
