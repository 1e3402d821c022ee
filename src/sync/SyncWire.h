#pragma once
// Little-endian fields of Sync datagrams, read from and written into raw bytes.

#include <cstddef>
#include <cstdint>

namespace VELMORA::wire {

inline uint16_t u16(const uint8_t* bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline uint64_t u64(const uint8_t* bytes, size_t offset) {
    uint64_t value = 0;
    for (size_t i = 0; i < 8; ++i) value |= static_cast<uint64_t>(bytes[offset + i]) << (8 * i);
    return value;
}

inline void putU16(uint8_t* bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// Header fields shared by every frame.
inline uint16_t command(const uint8_t* frame) { return u16(frame, 4); }
inline uint16_t flags(const uint8_t* frame) { return u16(frame, 6); }

}  // namespace VELMORA::wire
