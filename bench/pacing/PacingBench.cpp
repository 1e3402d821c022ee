// bench_pacing: one stream through the engine to the reference sink over loopback, paced
// as the driver paces it (FixAuto at the given cycle, the given thread mode), measured at
// both ends. Prints one JSON object: the profile (cycle, packets per cycle, mean payload),
// the worker thread's CPU time per second of audio, and the sink's report, whose "bursts"
// carry the lateness of each burst against its deadline as the sink saw it.
//
// Usage: bench_pacing --format HEX --frames N [--thread-mode M] [--cycle-us C] [--seconds S]
//                     [--burst-log PATH]
//   --frames: frames per ring block, one cycle's worth
#include "EngineRun.h"

#include "sync/StreamFormat.h"

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <pthread.h>
#include <string>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using engine_test::PatternSource;

uint64_t nowUs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

uint64_t cpuNs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

// Records when the worker takes each block; no allocation. The worker's CPU clock is read on
// its first block and then from the main thread: a read of the thread's own CPU clock is a
// system call, which the worker would pay once per block and the minimal pacer does not.
class TimedSource : public PatternSource {
public:
    explicit TimedSource(size_t capacity) : PatternSource(0, 0), times_(capacity) {}
    bool getNewStream(VELMORA::StreamBlock& block) override {
        const size_t n = count_.load(std::memory_order_relaxed);
        if (n == 0) {
            clockid_t clock{};
            pthread_getcpuclockid(pthread_self(), &clock);
            firstCpuNs_ = cpuNs(clock);
            workerClock_ = clock;
        }
        if (n < times_.size()) {
            times_[n] = nowUs();
            count_.store(n + 1, std::memory_order_release);
        }
        return SyncBuffer::getNewStream(block);
    }
    std::vector<uint64_t> times() const {
        return {times_.begin(), times_.begin() + static_cast<long>(count_.load(std::memory_order_acquire))};
    }
    // The worker's CPU time since its first block, read while it still runs; false before that.
    bool cpuSecondsSoFar(double& seconds) const {
        if (count_.load(std::memory_order_acquire) == 0) return false;
        seconds = static_cast<double>(cpuNs(workerClock_) - firstCpuNs_) * 1e-9;
        return true;
    }

private:
    std::vector<uint64_t> times_;
    std::atomic<size_t> count_{0};
    uint64_t firstCpuNs_ = 0;   // written before the release store of the first count
    clockid_t workerClock_{};
};

struct Plan {
    uint64_t format = 0;
    uint32_t frames = 48, threadMode = 0, cycleUs = 1000;
    double seconds = 3.0;
    std::string burstLog;
};

int run(const Plan& p) {
    std::vector<std::string> sinkArgs{"--expected-cycle-us", std::to_string(p.cycleUs), "--feedback", "level"};
    if (!p.burstLog.empty()) {
        sinkArgs.push_back("--burst-log");
        sinkArgs.push_back(p.burstLog);
    }
    engine_test::SinkProcess sink(sinkArgs, p.seconds + 20.0, false);
    if (!sink.waitListening()) {
        std::fprintf(stderr, "bench_pacing: the sink did not start\n");
        return 1;
    }
    TimedSource source(static_cast<size_t>(p.seconds * 1e6 / p.cycleUs) * 2 + 2000);
    engine_test::StreamPlan plan;
    plan.hostFormat = p.format;
    plan.framesPerBlock = p.frames;
    plan.blockCount = 8;
    plan.cycleUs = p.cycleUs;
    plan.threadMode = p.threadMode;
    plan.infoCycleUs = 100000;
    const engine_test::StreamOutcome o = engine_test::openStream(source, sink, plan);
    if (o.stateAfterConnect != VELMORA::stateStreaming) {
        std::fprintf(stderr, "bench_pacing: no stream (%s)\n", o.failed.c_str());
        return 1;
    }
    const VELMORA::ProfileEntry profile = source.transfer.entry(0);
    source.play();
    std::this_thread::sleep_for(std::chrono::duration<double>(p.seconds));
    double cpuSeconds = 0;
    const bool cpuRead = source.cpuSecondsSoFar(cpuSeconds);
    const uint64_t cpuReadUs = nowUs();
    source.disconnect();
    source.close();
    if (sink.waitExit(std::chrono::milliseconds(10000)) != 0) {
        std::fprintf(stderr, "bench_pacing: the sink did not finish\n");
        return 1;
    }
    const std::vector<uint64_t> t = source.times();
    // The measure this benchmark used before: block k against k cycles from the earliest
    // phase of the last 256 blocks. It assumes one block per burst; when a packet carries a
    // little less than cycle / count of audio (the frame count per packet is truncated),
    // blocks are taken more slowly than bursts and the grid drifts.
    std::vector<double> gridLateness;
    std::deque<std::pair<size_t, double>> window;
    for (size_t k = 0; k < t.size(); ++k) {
        const double phase = static_cast<double>(t[k] - t[0]) - static_cast<double>(k) * p.cycleUs;
        while (!window.empty() && window.back().second >= phase) window.pop_back();
        window.emplace_back(k, phase);
        while (window.front().first + 256 <= k) window.pop_front();
        gridLateness.push_back(phase - window.front().second);
    }
    std::sort(gridLateness.begin(), gridLateness.end());
    const double gridP99 = gridLateness.empty() ? 0 : gridLateness[gridLateness.size() * 99 / 100];
    const double audioSeconds = cpuRead && !t.empty() ? static_cast<double>(cpuReadUs - t.front()) * 1e-6 : 0;
    const double cpu = audioSeconds > 0 ? cpuSeconds * 1000.0 / audioSeconds : 0;
    const double meanPayload = static_cast<double>(profile.framesPerPacket) / 16384.0 *
                               VELMORA::StreamFormat(o.sinkFormat).frameBytes();
    std::printf("{\"cycle_us\": %u, \"packets\": %u, \"payload\": %.0f, \"cpu_ms_per_s\": %.2f, "
                "\"frames_per_packet\": %.4f, \"block_grid_lateness_p99_us\": %.0f, \"sink\": %s}\n",
                profile.cycle, profile.count, profile.fixedPayload ? profile.fixedPayload : meanPayload, cpu,
                profile.framesPerPacket / 16384.0, gridP99,
                sink.report().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Plan p;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* v = argv[i + 1];
        if (key == "--format") p.format = std::strtoull(v, nullptr, 0);
        else if (key == "--frames") p.frames = static_cast<uint32_t>(std::strtoul(v, nullptr, 0));
        else if (key == "--thread-mode") p.threadMode = static_cast<uint32_t>(std::strtoul(v, nullptr, 0));
        else if (key == "--cycle-us") p.cycleUs = static_cast<uint32_t>(std::strtoul(v, nullptr, 0));
        else if (key == "--seconds") p.seconds = std::max(0.5, std::atof(v));
        else if (key == "--burst-log") p.burstLog = v;
    }
    if (p.format == 0) {
        std::fprintf(stderr, "usage: bench_pacing --format HEX --frames N [--thread-mode M] [--cycle-us C] "
                             "[--seconds S] [--burst-log PATH]\n");
        return 2;
    }
    return run(p);
}
