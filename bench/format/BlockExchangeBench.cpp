// Bytes per second of the per-block exchange (the driver's fillBlock: the host's bufferSwitch,
// then its buffer halves interleaved into a ring block), beside memcpy of the same block size.
// The host's callback does nothing, so the figure is the driver's own cost.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "com/Asio.h"
#include "driver/AsioVelmora.h"
#include "sync/StreamFormat.h"

namespace {

using VELMORA::StreamFormat;

void idleSwitch(std::int32_t, ASIOBool) {}
void idleRate(ASIOSampleRate) {}
std::int32_t noMessage(std::int32_t, std::int32_t, void*, double*) { return 0; }
ASIOCallbacks idleHost{&idleSwitch, &idleRate, &noMessage, nullptr};

// A driver as a host holds it after createBuffers: no sink, default settings (from a folder
// that holds none), buffers for `channels` outputs, running.
struct ExchangeDriver {
    ExchangeDriver(uint64_t pcmFormat, uint32_t sampleBytes, uint32_t channels, int32_t frames, bool dsd)
        : driver(nullptr, environment()) {
        driver.pcmFormat = pcmFormat;
        driver.sampleBytes = sampleBytes;
        driver.channelCount = channels;
        if (dsd) {
            ASIOIoFormat io{};
            io.FormatType = kASIODSDFormat;
            driver.future(kAsioSetIoFormat, &io);
            driver.sync.hostFormat = StreamFormat(StreamFormat::dsdLsbLittle | channels);
        }
        infos.resize(channels);
        for (uint32_t c = 0; c < channels; ++c) infos[c] = ASIOBufferInfo{0, static_cast<std::int32_t>(c), {}};
        ok = driver.createBuffers(infos.data(), static_cast<std::int32_t>(channels), frames, &idleHost) == ASE_OK;
        driver.running.store(true);
    }
    ~ExchangeDriver() { driver.running.store(false); }

    static SettingsEnvironment environment() {
        SettingsEnvironment e;
        e.settingsFolder = (std::filesystem::temp_directory_path() / "velmora-bench-no-settings").string();
        e.moduleFolder = e.settingsFolder + "/";
        e.coreCount = [] { return uint32_t{4}; };
        return e;
    }

    AsioVelmora driver;
    std::vector<ASIOBufferInfo> infos;
    bool ok = false;
};

// One host block layout; memcpy runs at the same block size.
struct Case {
    const char* name;
    uint64_t pcmFormat;
    uint32_t sampleBytes, channels;
    int32_t frames;
    bool dsd;
};
constexpr Case cases[] = {
    {"pcm16_2ch_512", StreamFormat::typeInt16, 2, 2, 512, false},
    {"pcm32_2ch_512", StreamFormat::typeInt32, 4, 2, 512, false},
    {"pcm32_8ch_512", StreamFormat::typeInt32, 4, 8, 512, false},
    {"float64_8ch_512", StreamFormat::typeFloat64, 8, 8, 512, false},
    {"dsd_8ch_4096", 0, 1, 8, 4096, true},
};

size_t blockBytes(const Case& c) {
    return c.dsd ? size_t{c.channels} * static_cast<size_t>(c.frames) / 8
                 : size_t{c.channels} * c.sampleBytes * static_cast<size_t>(c.frames);
}

void fillBlock(benchmark::State& state, const Case& c) {
    ExchangeDriver d(c.pcmFormat, c.sampleBytes, c.channels, c.frames, c.dsd);
    if (!d.ok) {
        state.SkipWithError("createBuffers failed");
        return;
    }
    std::vector<uint8_t> block(blockBytes(c));
    auto& ring = static_cast<VELMORA::SyncBuffer&>(d.driver.sync);
    for (auto _ : state) {
        ring.fillBlock(block, false);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block.size()));
    state.counters["block_bytes"] = static_cast<double>(block.size());
}

void memcpyBlock(benchmark::State& state, const Case& c) {
    std::vector<uint8_t> source(blockBytes(c), 0x5A), destination(source.size());
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), source.size());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}

const bool registered = [] {
    for (const Case& c : cases) {
        benchmark::RegisterBenchmark((std::string("BM_fillBlock/") + c.name).c_str(), fillBlock, c);
        benchmark::RegisterBenchmark((std::string("BM_memcpy/") + c.name).c_str(), memcpyBlock, c);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
