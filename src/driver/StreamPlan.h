#pragma once
// The arithmetic of start: channel codes, the buffer multiplier and the ASIO-cycle byte count.

#include <cstdint>

#include "sync/StreamFormat.h"

// Channel code of the stream format word for a count of created buffers; 0 for a count the
// stream cannot carry.
uint64_t channelCodeFor(uint32_t bufferCount);

// M: how many times the base rate (44100 or 48000 family) the rate is; for DSD counted in
// DSD64 steps, doubled.
uint32_t bufferMultiplier(uint32_t sampleRate, bool pcm);

// P: stream bytes per host buffer period for the ASIO-cycle profile.
uint32_t bytesPerAsioCycle(VELMORA::StreamFormat hostFormat, uint32_t bufferBytes, uint32_t sampleBytes,
                           uint32_t multiplier, bool pcm);

// How long the delayed start still sleeps before playback: playback begins no earlier than
// startDelayUs / 1000 + 10 milliseconds after start; 0 when that time has already passed.
uint32_t startDelaySleepMilliseconds(uint32_t elapsedMs, uint32_t startDelayUs);
