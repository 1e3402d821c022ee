#pragma once
// Drives the engine through one streaming run against a sink process, the way the driver
// does (open, getInfo, format, profile, ring, connectPrepare, connect, play, disconnect),
// and checks what the sink wrote against the producer's pattern.

#include "PatternSource.h"
#include "SinkProcess.h"

#include "SinkConfig.h"

#include "terno/Address.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace engine_test {

struct StreamPlan {
    uint64_t hostFormat = 0x0000000C00000202ull;   // 2 ch, int16, 48 kHz
    uint32_t framesPerBlock = 256;
    uint32_t blockCount = 4;
    bool hostInvert = false;
    uint32_t cycleUs = 1000;
    uint32_t threadMode = 0;
    uint32_t infoCycleUs = 50000;
    // The capability sets the sink was started with (what getInfo must learn).
    uint64_t pcmCaps = sink::defaultPcmCaps();
    uint64_t dsdLsbCaps = sink::defaultDsdCaps(false);
    uint64_t dsdMsbCaps = sink::defaultDsdCaps(true);
    // Silence streamed after the pattern before disconnecting: a sink that fell behind (a
    // loaded machine, a sanitizer build) still asks for what it lost while the stream runs.
    std::chrono::milliseconds tail{400};
    // How long the stream may take before the run gives up.
    std::chrono::milliseconds deadline{8000};
};

struct StreamOutcome {
    std::string failed;             // the first step that failed; empty once streaming
    int infoAttempts = 0;
    uint32_t stateAfterConnect = 0;
    bool patternSent = false;       // every pattern block left the ring in time
    std::string converter;          // the converter in use once streaming
    uint64_t sinkFormat = 0;
};

TERNO::Address loopback(uint16_t port);

// Opens the session up to a streaming connection (state 2), without playing; stops early at
// the first step that fails.
StreamOutcome openStream(PatternSource& source, const SinkProcess& sink, const StreamPlan& plan);

// openStream, then plays until the whole pattern has left the ring, then disconnects.
StreamOutcome runStream(PatternSource& source, const SinkProcess& sink, const StreamPlan& plan);

// How the sink's raw output relates to the pattern.
struct PatternMatch {
    size_t blocksMatched = 0;       // pattern blocks found in order, bit for bit
    std::string problem;            // first mismatch, empty when all blocks matched
};

// raw: the sink's payload bytes; the pattern went out in hostFormat and arrived in
// sinkFormat, complemented when invert. DSD is compared in time order of the samples.
PatternMatch matchPattern(const std::vector<uint8_t>& raw, const PatternSource& source, uint64_t hostFormat,
                          uint64_t sinkFormat, bool invert);

}  // namespace engine_test
