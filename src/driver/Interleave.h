#pragma once
// Copying one host buffer half of every channel into a block of interleaved frames.

#include <cstddef>
#include <cstdint>

struct InterleaveLayout {
    uint32_t channels = 0;       // n: created buffers
    uint32_t bufferBytes = 0;    // bytes of one host buffer half
    bool dsd = false;
    bool dsdWords = false;       // DSD carried in 32-bit words (container of 4 bytes)
    uint32_t sampleBytes = 0;    // PCM: bytes per host sample (2, 3, 4, 8)
    bool narrow32 = false;       // PCM: host delivers 32-bit integers, the stream takes pcmFormat
    uint64_t pcmFormat = 0;      // with narrow32: 0x1000 (widen), 0x400 or 0x200 (narrow)
};

// Bytes one interleaved block of this layout takes.
std::size_t interleavedBytes(const InterleaveLayout& layout);

// Writes sources[c] (each bufferBytes long) interleaved into block, channel c at position
// i * n + c of each frame or word i. Bit patterns are copied, never scaled. Writes nothing past
// blockBytes.
void interleaveBlock(const InterleaveLayout& layout, const uint8_t* const* sources, uint8_t* block,
                     std::size_t blockBytes);
