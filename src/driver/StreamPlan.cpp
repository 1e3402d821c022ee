#include "driver/StreamPlan.h"

uint64_t channelCodeFor(uint32_t bufferCount) {
    VELMORA::StreamFormat format;
    return format.setChannels(bufferCount) ? format.value() & VELMORA::StreamFormat::channelMask : 0;
}

uint32_t bufferMultiplier(uint32_t sampleRate, bool pcm) {
    const uint32_t base = sampleRate % 44100 == 0 ? 44100 : 48000;
    return pcm ? sampleRate / base : sampleRate / (base * 64) * 2;
}

uint32_t bytesPerAsioCycle(VELMORA::StreamFormat hostFormat, uint32_t bufferBytes, uint32_t sampleBytes,
                           uint32_t multiplier, bool pcm) {
    const uint64_t channels = hostFormat.channels();
    if (!pcm) return static_cast<uint32_t>(channels * bufferBytes * multiplier);
    if (sampleBytes == 0) return 0;
    const uint64_t bits = hostFormat.bitsPerSample();
    return static_cast<uint32_t>(channels * bufferBytes * bits / sampleBytes / 8 * multiplier);
}

uint32_t startDelaySleepMilliseconds(uint32_t elapsedMs, uint32_t startDelayUs) {
    const uint32_t wait = startDelayUs / 1000 + 10;
    return elapsedMs >= wait ? 0 : wait - elapsedMs;
}
