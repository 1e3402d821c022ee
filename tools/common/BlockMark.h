#pragma once
// Latency marks: velmora-play fills every byte of a marked host block with markByte, and
// velmora-sink notes the arrival of the datagram where a run of markRunBytes such bytes
// begins. 0xA5 reads the same with its bits reversed and its 16/32/64-bit words swapped, so
// it arrives as it left whatever the driver converts, and it is no format's silence.

#include <cstddef>
#include <cstdint>

namespace blockmark {

inline constexpr uint8_t markByte = 0xA5;
inline constexpr size_t markRunBytes = 32;

}  // namespace blockmark
