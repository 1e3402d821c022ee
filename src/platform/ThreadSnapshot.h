#pragma once
// The identifiers of the threads in the system's thread snapshot (for a debugging log line).

#include <cstdint>
#include <vector>

namespace platform {
std::vector<uint32_t> processThreadIds();
}
