#pragma once
// The sink's own time base: 64-bit microseconds of the monotonic clock (a run is short,
// so there is no wrap-around to care about).

#include <chrono>
#include <cstdint>

namespace sink {

inline uint64_t nowUs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

}  // namespace sink
