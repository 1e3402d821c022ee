// The driver's answer to a stream that ended by itself while the host had not stopped it:
// the host is asked for a reset (after the back-off of the process's recovery record), and
// its callbacks go on at the nominal block rate with the audio discarded, so that its
// transport never freezes while it resets, or for good when it does not take reset requests.

#include <algorithm>
#include <chrono>

#include "driver/AsioVelmora.h"
#include "driver/SessionRecovery.h"
#include "log/LogLine.h"

void AsioVelmora::Sync::streamEnded(VELMORA::StreamEnd why) {
    AsioVelmora& d = *driver;
    if (!d.running.load(std::memory_order_acquire)) return;   // the host is stopping it anyway
    d.lostCause.store(why, std::memory_order_relaxed);
    d.resetRequester.request(SessionRecovery::process().streamLost(why, SessionRecovery::Clock::now()));
    keepTime();
}

void AsioVelmora::Sync::keepTime() {
    using Clock = std::chrono::steady_clock;
    AsioVelmora& d = *driver;
    const double frames = d.dsdMode ? d.bufferBytes * 8.0 : static_cast<double>(d.bufferBytes / std::max(d.sampleBytes, 1u));
    if (frames <= 0 || d.sampleRate == 0) return;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frames / d.sampleRate));
    LogLine(6) << "keep time " << std::chrono::duration_cast<std::chrono::microseconds>(period).count() << " us";
    // Absolute deadlines keep the average rate whatever each wait overshoots; after a stall
    // of several periods (a slow callback) the rate goes on from now instead of catching up.
    auto next = Clock::now() + period;
    while (!disconnecting.load(std::memory_order_relaxed)) {
        const auto now = Clock::now();
        if (now < next) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
            waitForWake(static_cast<uint32_t>(std::clamp<long long>(left, 1, 5)));
            continue;
        }
        d.hostSwitch();
        next += period;
        if (Clock::now() > next + 4 * period) next = Clock::now() + period;
    }
    LogLine(6) << "keep time end";
}
