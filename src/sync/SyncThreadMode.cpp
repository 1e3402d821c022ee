// The worker thread: its prologue applies the thread mode (priority, pinning,
// flags that depend on the machine), then the stream runs, then the epilogue.
#include "log/LogLine.h"
#include "platform/Thread.h"
#include "sync/Sync.h"
#include "sync/SyncWorker.h"
#include "sync/ThreadMode.h"

namespace VELMORA {

void Sync::workerThread() {
    lowCpu = 0;
    const uint32_t cores = platform::coreCount();
    const ThreadModeDecision decision =
        decideThreadMode(threadMode, cores, transfer.entry(0).cycle, latency);
    threadMode = decision.mode;
    lowCpu = decision.lowCpu ? 1 : 0;
    if (logLevel() >= 6) LogLine(6) << threadModeLogText(threadMode, cores, infoCycle);

    const std::optional<int32_t> priority = workerPriorityLevel(threadMode, platform::processPriorityLevel());
    if (!priority) {
        LogLine(6) << "wth Rialtime Class not chnage priority";
    } else if (!platform::setThreadPriorityLevel(*priority)) {
        endCause.store(StreamEnd::workerError, std::memory_order_relaxed);
        setState(stateIdle);
        return;
    }

    if ((threadMode & threadmode::occupied) && !platform::pinToProcessor(2) && !platform::pinToProcessor(1)) {
        endCause.store(StreamEnd::workerError, std::memory_order_relaxed);
        setState(stateIdle);
        return;
    }

    StreamEnd end = StreamEnd::workerError;
    try {
        end = runStreamingWorker(*this);
    } catch (...) {
        // Memory for the packet ring is the only thing the stream can run out of; the
        // stream ends like on any other failure, never the host's process.
        try {
            LogLine(3) << "wth memory error";
        } catch (...) {
        }
    }

    // The cause goes before the state's release store: whoever reads state 0 with
    // acquire finds it.
    endCause.store(end, std::memory_order_relaxed);
    setState(stateIdle);
    LogLine(6) << "wth end";
}

}  // namespace VELMORA
