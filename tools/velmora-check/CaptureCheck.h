#pragma once
// Checks a sink's capture (every payload byte in sequence order) against the counter pattern
// that velmora-play --pattern counter sends.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct WireLayout {
    unsigned channels = 2;
    unsigned hostBytes = 4;     // bytes per sample the host wrote (DSD: 1)
    unsigned wireBytes = 4;     // bytes per sample on the wire
    unsigned hostOffset = 0;    // the wire sample is host bytes [hostOffset, hostOffset + wireBytes)...
    unsigned zeroPrefix = 0;    // ... after this many zero bytes (a 32-bit sample widened to 64 bits)
    bool dsd = false;           // DSD: one byte per channel per step
};

struct CheckResult {
    bool exact = false;             // the pattern started, ran without a wrong byte, and only silence followed
    uint64_t leadingBytes = 0;      // silence before the first pattern frame
    uint64_t frames = 0;            // pattern frames found in order
    uint64_t trailingBytes = 0;     // silence after the last pattern frame
    uint64_t firstMismatch = 0;     // byte offset of the first wrong byte (when not exact)
    std::string message;
};

// The wire bytes of pattern frame f.
void expectedFrame(const WireLayout& layout, uint64_t frame, std::vector<uint8_t>& out);

CheckResult checkCapture(const WireLayout& layout, const std::vector<uint8_t>& capture);
