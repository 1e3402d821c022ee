#pragma once
// Checks a sink's capture (every payload byte in sequence order) against the counter pattern
// that velmora-play --pattern counter sends, after the layout changes the stream may make on
// the way (narrowing or widening of samples, DSD word order, bit order, polarity).
//
// A capture across gaps (the stream was lost and came back; velmora-play reports the step at
// which the signal resumed each time) is a run of the pattern from step 0, then for each gap
// silence and a run that starts exactly at the reported step; a run may end anywhere before
// the next (what was in flight when the stream went is lost), but never has a wrong byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct WireLayout {
    unsigned channels = 2;
    unsigned hostBytes = 4;     // PCM: bytes per sample the host wrote
    unsigned wireBytes = 4;     // PCM: bytes per sample on the wire
    unsigned hostOffset = 0;    // PCM: the wire keeps host bytes from this one on (1: 24 of 32 bits)...
    unsigned zeroPrefix = 0;    // ... after this many zero bytes (4: a 32-bit sample widened to 64)
    bool dsd = false;           // DSD: host byte b of channel c is pattern sample b x channels + c
    bool dsdWords = false;      // DSD interleaved in 32-bit words rather than bytes
    bool swap32 = false;        // the bytes of each 32-bit word reversed on the way
    bool bitReverse = false;    // the bits of each byte reversed on the way
    bool invert = false;        // every byte complemented on the way (inverted polarity)
    uint8_t hostSilence = 0;    // what the host side's silence is made of (DSD: 0x69 or 0x96)
};

// Where the sink gave up on lost packets: the capture lacks `packets` packets at this byte
// offset (velmora-sink's report, "lost_at").
struct LostGap {
    uint64_t atByte = 0;
    uint64_t packets = 0;
};

// What the capture must hold beyond the pattern itself.
struct Expectation {
    uint64_t steps = 1;         // pattern steps that must have arrived (all the host produced)
    uint64_t blockSteps = 0;    // steps in one host block (to count underruns in blocks), 0: unknown
};

struct CheckResult {
    bool exact = false;             // the pattern started, ran without a wrong byte or inserted silence
                                    // (skipping ahead only where a gap is named), held every step
                                    // expected, and only silence followed
    uint64_t leadingBytes = 0;      // silence before the first pattern step
    uint64_t steps = 0;             // pattern steps (frames, DSD bytes or words) found, all runs
    uint64_t runs = 0;              // runs of the pattern (1 + the gaps the player reported)
    uint64_t missingSteps = 0;      // steps skipped at named gaps
    uint64_t gapsInPattern = 0;     // named gaps where the pattern skipped ahead
    uint64_t packetsLostAfterEnd = 0;   // named losses in the silence after the pattern
    uint64_t underruns = 0;         // places where silence interrupted the pattern, which then went on
    uint64_t silentSteps = 0;       // steps of silence at those places
    uint64_t trailingBytes = 0;     // silence after the last pattern step
    uint64_t firstUnderrun = 0;     // byte offset of the first underrun's silence
    uint64_t firstMismatch = 0;     // byte offset of the first wrong byte
    std::string message;
};

// The wire bytes of pattern step s (a frame; in DSD one byte or one 32-bit word per channel).
void expectedStep(const WireLayout& layout, uint64_t step, std::vector<uint8_t>& out);
// The wire bytes of one step of silence.
void silenceStep(const WireLayout& layout, std::vector<uint8_t>& out);

// gaps: the losses the sink named; the pattern may skip ahead there (and only there). A named
// gap inside the pattern where nothing is missing fails the check: the report would be wrong.
// Named gaps in the silence after a complete pattern are counted, not failed: they lost
// nothing the host played. Silence inside a run, after which the pattern goes on where it
// stopped, is an underrun (the driver's ring ran empty) and fails the check as such.
// resumeAt: the step at which the signal resumed after each gap of the stream, in order.
CheckResult checkCapture(const WireLayout& layout, const std::vector<uint8_t>& capture,
                         const std::vector<LostGap>& gaps = {}, const std::vector<uint64_t>& resumeAt = {},
                         const Expectation& expect = {});
