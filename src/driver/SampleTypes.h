#pragma once
// What the driver offers the host: PCM sample types, their host widths and ASIO names, and the
// choice of one sample type from the target's capability mask.

#include <cstdint>
#include <optional>

#include "com/Asio.h"

// Rates above this are DSD rates.
inline constexpr uint32_t maxPcmRate = 1536000;

// The ASIO sample type reported for a PCM sample type of the stream format word.
ASIOSampleType asioSampleType(uint64_t pcmSampleType);

struct PcmChoice {
    uint64_t pcmFormat;    // one sample type bit
    uint32_t sampleBytes;  // bytes per sample the host delivers
};

// The first sample type of the preference list for `request` (PCMRequest, in bits) that the
// mask holds; nothing when none is there.
std::optional<PcmChoice> choosePcmFormat(uint64_t pcmCaps, int32_t request, bool convertS32);

// The highest channel count whose bit is in the low five bits of a PCM mask (1, 2, 4, 6, 8), or 0.
uint32_t channelCountOf(uint64_t pcmCaps);
