// bench_pacing: streams through the engine to the reference sink over loopback at 1000 µs
// cycles and reports the pacing as the sender and the sink see it.
//
// Sender side: the worker asks for exactly one block per burst (a block holds one cycle
// of frames), so the time of each getNewStream call marks a burst. Lateness is measured
// against the burst grid (k × cycle from the earliest phase seen in the last 256
// bursts), jitter as |interval − cycle|, CPU as the worker thread's CPU time per second
// of audio. Sink side: the sink's own report (burst intervals and datagram counts).
//
// Usage: bench_pacing [--seconds N]   (other arguments are ignored)

#include "EngineRun.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
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

uint64_t threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

// Records when the worker takes each block, and the worker's CPU clock; no allocation.
class TimedSource : public PatternSource {
public:
    explicit TimedSource(size_t capacity) : PatternSource(0, 0), times_(capacity) {}
    bool getNewStream(VELMORA::StreamBlock& block) override {
        const size_t n = count_.load(std::memory_order_relaxed);
        const uint64_t cpu = threadCpuNs();
        if (n == 0) firstCpuNs_.store(cpu, std::memory_order_relaxed);
        lastCpuNs_.store(cpu, std::memory_order_relaxed);
        if (n < times_.size()) {
            times_[n] = nowUs();
            count_.store(n + 1, std::memory_order_release);
        }
        return SyncBuffer::getNewStream(block);
    }
    std::vector<uint64_t> times() const {
        return {times_.begin(), times_.begin() + static_cast<long>(count_.load(std::memory_order_acquire))};
    }
    double cpuSeconds() const {
        return static_cast<double>(lastCpuNs_.load(std::memory_order_relaxed) - firstCpuNs_.load(std::memory_order_relaxed)) * 1e-9;
    }

private:
    std::vector<uint64_t> times_;
    std::atomic<size_t> count_{0};
    std::atomic<uint64_t> firstCpuNs_{0}, lastCpuNs_{0};
};

struct Quantiles {
    double p50 = 0, p99 = 0, max = 0;
};

Quantiles quantiles(std::vector<double> v) {
    Quantiles q;
    if (v.empty()) return q;
    std::sort(v.begin(), v.end());
    auto at = [&](double f) { return v[std::min(v.size() - 1, static_cast<size_t>(f * static_cast<double>(v.size() - 1) + 0.5))]; };
    q.p50 = at(0.5);
    q.p99 = at(0.99);
    q.max = v.back();
    return q;
}

struct Result {
    const char* name;
    bool ok = false;
    std::string problem;
    uint32_t cycleUs = 0, packetsPerCycle = 0;
    size_t bursts = 0;
    Quantiles lateness, jitter;
    double cpuMsPerAudioS = 0;
    double sinkP50 = 0, sinkP99 = 0, sinkMaxDev = 0, sinkDatagramsPerS = 0, sinkRateRatio = 0;
    double resends = 0;
};

Result run(const char* name, uint64_t format, uint32_t framesPerCycle, double seconds) {
    Result r;
    r.name = name;
    engine_test::SinkProcess sink({"--expected-cycle-us", "1000", "--feedback", "level"}, seconds + 20.0, false);
    if (!sink.waitListening()) {
        r.problem = "sink did not start";
        return r;
    }
    TimedSource source(static_cast<size_t>(seconds * 1000.0) + 2000);
    engine_test::StreamPlan plan;
    plan.hostFormat = format;
    plan.framesPerBlock = framesPerCycle;   // one block per burst
    plan.blockCount = 8;
    plan.cycleUs = 1000;
    plan.infoCycleUs = 100000;
    const engine_test::StreamOutcome o = engine_test::openStream(source, sink, plan);
    if (o.stateAfterConnect != VELMORA::stateStreaming) {
        r.problem = "no stream";
        return r;
    }
    r.cycleUs = source.transfer.entry(0).cycle;
    r.packetsPerCycle = source.transfer.entry(0).count;
    source.play();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    source.disconnect();
    source.close();
    if (sink.waitExit(std::chrono::milliseconds(10000)) != 0) {
        r.problem = "sink did not finish";
        return r;
    }

    const std::vector<uint64_t> t = source.times();
    r.bursts = t.size();
    if (t.size() < 100) {
        r.problem = "too few bursts";
        return r;
    }
    const double cycle = r.cycleUs;
    std::vector<double> late, jitter;
    std::deque<std::pair<size_t, double>> window;   // monotonic minimum of the phase
    for (size_t k = 0; k < t.size(); ++k) {
        const double phase = static_cast<double>(t[k] - t[0]) - static_cast<double>(k) * cycle;
        while (!window.empty() && window.back().second >= phase) window.pop_back();
        window.emplace_back(k, phase);
        while (window.front().first + 256 <= k) window.pop_front();
        late.push_back(phase - window.front().second);
        if (k > 0) jitter.push_back(std::fabs(static_cast<double>(t[k] - t[k - 1]) - cycle));
    }
    r.lateness = quantiles(late);
    r.jitter = quantiles(jitter);
    const double audioSeconds = static_cast<double>(t.back() - t.front()) * 1e-6;
    r.cpuMsPerAudioS = audioSeconds > 0 ? source.cpuSeconds() * 1000.0 / audioSeconds : 0;
    r.sinkP50 = sink.reportNumber("bursts.interval_p50_us");
    r.sinkP99 = sink.reportNumber("bursts.interval_p99_us");
    r.sinkMaxDev = sink.reportNumber("bursts.max_deviation_us");
    const double streamS = sink.reportNumber("stream_seconds");
    r.sinkDatagramsPerS = streamS > 0 ? sink.reportNumber("packets_received") / streamS : 0;
    r.sinkRateRatio = sink.reportNumber("rate_ratio");
    r.resends = sink.reportNumber("resend_requests");
    r.ok = true;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 3.0;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::max(0.5, std::atof(argv[i + 1]));

    // 2 ch / 8 ch, 32-bit integer, 48 kHz ×1 and ×8.
    const Result results[] = {
        run("48k/2ch/32bit", 0x0000000C00000802ull, 48, seconds),
        run("384k/8ch/32bit", 0x0000004400000810ull, 384, seconds),
    };
    std::printf("bench_pacing: %.1f s per stream, cycle 1000 us, loopback\n\n", seconds);
    std::printf("%-15s %5s %6s | sender lateness us p50/p99/max | sender jitter us p50/p99/max | worker CPU ms/s "
                "| sink interval us p50/p99, max dev | datagrams/s | rate ratio | resends\n",
                "stream", "pkts", "bursts");
    bool allOk = true;
    for (const Result& r : results) {
        if (!r.ok) {
            std::printf("%-15s FAILED: %s\n", r.name, r.problem.c_str());
            allOk = false;
            continue;
        }
        std::printf("%-15s %5u %6zu | %8.0f %8.0f %8.0f | %8.0f %8.0f %8.0f | %8.1f | %6.0f %6.0f %8.0f | %9.0f | %8.4f | %5.0f\n",
                    r.name, r.packetsPerCycle, r.bursts, r.lateness.p50, r.lateness.p99, r.lateness.max, r.jitter.p50,
                    r.jitter.p99, r.jitter.max, r.cpuMsPerAudioS, r.sinkP50, r.sinkP99, r.sinkMaxDev, r.sinkDatagramsPerS,
                    r.sinkRateRatio, r.resends);
    }
    return allOk ? 0 : 1;
}
