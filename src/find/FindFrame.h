#pragma once
// Reading the fields of a received Find frame. The exchanges hand out only valid frames
// (at least 16 bytes, magic 100, length word within the datagram); these readers stay
// inside the received bytes whatever the length word claims.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace VELMORA {

using FindFrame = std::vector<uint8_t>;

// Little-endian fields of the 16-byte header; 0 when the frame is too short for them.
uint16_t frameU16(const FindFrame& frame, size_t offset);
uint64_t frameU64(const FindFrame& frame, size_t offset);

inline uint16_t frameCommand(const FindFrame& frame) { return frameU16(frame, 4); }
inline uint16_t frameFlags(const FindFrame& frame) { return frameU16(frame, 6); }

// Payload bytes as text: (length word & 0xFFF8) - (length word & 7) - 16 bytes from offset
// 16. A pad count larger than the payload room, or a payload that would run past the
// received datagram, gives empty text.
std::string framePayloadText(const FindFrame& frame);

}  // namespace VELMORA
