#pragma once
// The counter test pattern: anyone can check a capture against it without this project's code.
// Sample n (n = frame x channels + channel, counted from the first bufferSwitch) carries as its
// raw bytes the low bytes, little-endian, of the 64-bit product (n + 1) x 0x9E3779B1, as many as
// the host sample type has. In DSD mode byte n of the interleaved stream (n = byte index x
// channels + channel) carries the lowest byte of that product.

#include <cstddef>
#include <cstdint>

namespace pattern {

inline constexpr uint64_t multiplier = 0x9E3779B1ull;

inline uint64_t counterValue(uint64_t n) { return (n + 1) * multiplier; }

// Byte k (0 = lowest) of sample n.
inline uint8_t counterByte(uint64_t n, unsigned k) { return static_cast<uint8_t>(counterValue(n) >> (8 * k)); }

// Writes `count` samples of `width` bytes each for channel `channel` of `channels`, starting at
// frame `firstFrame`, into a host buffer.
inline void fillCounterSamples(uint8_t* out, size_t count, unsigned width, uint64_t firstFrame, unsigned channel,
                               unsigned channels) {
    for (size_t i = 0; i < count; ++i) {
        const uint64_t value = counterValue((firstFrame + i) * channels + channel);
        for (unsigned k = 0; k < width; ++k) out[i * width + k] = static_cast<uint8_t>(value >> (8 * k));
    }
}

}  // namespace pattern
