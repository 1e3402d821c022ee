// fillBlock: one host buffer period. Runs on the stream buffer's worker thread, which is also
// where the host's bufferSwitch callback runs (and where keepTime calls it once the stream
// has ended by itself).

#include <algorithm>
#include <array>
#include <atomic>

#include "driver/AsioVelmora.h"
#include "driver/Interleave.h"

bool AsioVelmora::hostSwitch() {
    const ASIOCallbacks* host = callbacks.load(std::memory_order_acquire);
    const bool called = running.load(std::memory_order_acquire) && host;
    if (called) {
        if (timeInfoMode) {
            if (host->bufferSwitchTimeInfo) {
                getSamplePosition(&asioTime.timeInfo.samplePosition, &asioTime.timeInfo.systemTime);
                if (timeCodeRead) asioTime.timeCode.timeCodeSamples = asioTime.timeInfo.samplePosition;
                host->bufferSwitchTimeInfo(&asioTime, static_cast<std::int32_t>(bufferIndex), 1);
            }
            // Rate and clock changes are reported once.
            std::atomic_ref<uint32_t>(asioTime.timeInfo.flags)
                .fetch_and(~uint32_t{kSampleRateChanged | kClockSourceChanged}, std::memory_order_relaxed);
        } else if (host->bufferSwitch) {
            host->bufferSwitch(static_cast<std::int32_t>(bufferIndex), 1);
        }
    }
    const uint64_t advance = dsdMode ? uint64_t{bufferBytes} * 8 : bufferBytes / (sampleBytes ? sampleBytes : 1);
    samplePosition.fetch_add(advance, std::memory_order_relaxed);
    bufferIndex = bufferIndex == 0 ? 1 : 0;
    return called;
}

void AsioVelmora::Sync::fillBlock(std::vector<uint8_t>& block, bool) {
    AsioVelmora& d = *driver;
    const bool hostCalled = d.hostSwitch();

    // The half the host filled one call earlier. Once the host is no longer called (stop),
    // that half goes out once more and then silence: the other half was sent already, and
    // sending it again would repeat old audio until the stream has ended.
    const bool fresh = d.hostFilledLastPeriod;
    d.hostFilledLastPeriod = hostCalled;
    if (!fresh) {
        std::fill(block.begin(), block.end(), silenceByte());
        return;
    }
    const std::size_t offset = d.bufferIndex == 1 ? d.bufferBytes : 0;
    std::array<const uint8_t*, maxBuffers> sources{};
    const uint32_t channels = std::min<uint32_t>(d.bufferCount, maxBuffers);
    for (uint32_t c = 0; c < channels; ++c) sources[c] = d.buffers[c].get() + offset;

    InterleaveLayout layout;
    layout.channels = channels;
    layout.bufferBytes = d.bufferBytes;
    layout.dsd = d.dsdMode;
    layout.dsdWords = hostFormat.containerBytes() == 4;
    layout.sampleBytes = d.sampleBytes;
    layout.narrow32 = d.settings.convertS32 && d.pcmFormat != 0x800;
    layout.pcmFormat = d.pcmFormat;
    interleaveBlock(layout, sources.data(), block.data(), block.size());
}
